#pragma once
// A front end of a run that writes down what the run tells it, in order.

#include "scan/Run.h"

#include <functional>
#include <string>
#include <vector>

namespace kivra::scan {

using Events = std::vector<std::string>;

class RecordingFrontEnd : public RunFrontEnd {
public:
    void Starting() override { events.push_back("starting, " + std::to_string(lists->LongNameList.Count())); }
    void BeforeStep(RunStep step) override
    {
        events.push_back("before " + Name(step));
        if (step == RunStep::Classify && beforeClassify) beforeClassify();
    }
    void Perform(RunStep step, const std::function<void()>& work) override
    {
        events.push_back("perform " + Name(step));
        work();
    }
    bool WantsRealPaths() const override { return true; }
    void Added(std::size_t line, std::string_view realPath) override
    {
        realPaths.resize(line + 1);
        realPaths[line] = realPath;
    }
    void CouldNotSearch(const platform::Text& directory, platform::DWORD error) override
    {
        events.push_back("not searched " + directory + " " + std::to_string(error));
    }
    void NoShortForm(std::size_t line, const Line& path, platform::DWORD error) override
    {
        events.push_back("no short form " + std::to_string(line) + " " + std::string(path.View()) + " " +
                         std::to_string(error));
    }
    void ReportSaveFailure(const platform::Text& message) override { events.push_back("save failed " + message); }

    static std::string Name(RunStep step)
    {
        return step == RunStep::Walk ? "walk" : step == RunStep::Classify ? "classify" : "save";
    }

    ScanLists* lists = nullptr;
    std::function<void()> beforeClassify;
    Events events;
    std::vector<std::string> realPaths;
};

} // namespace kivra::scan
