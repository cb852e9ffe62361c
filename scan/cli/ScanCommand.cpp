#include "scan/cli/ScanCommand.h"

#include "platform/WinApi.h"
#include "resources/Texts.h"
#include "scan/Classify.h"
#include "scan/ResultFiles.h"
#include "scan/TreeWalk.h"

#include <algorithm>
#include <string>

namespace kivra::scan {

namespace {

using platform::DWORD;
using platform::Text;

// How often the progress line may change, in milliseconds.
constexpr DWORD ProgressInterval = 100;
// At most this many bytes of the directory in the progress line, so that it
// stays on one line of a usual terminal.
constexpr std::size_t ProgressDirectoryBytes = 40;

// The end of a directory path, cut at a character boundary.
Text PathTail(const Text& path)
{
    if (path.size() <= ProgressDirectoryBytes) return path;
    std::size_t at = 0;
    while (at < path.size() - ProgressDirectoryBytes)
        at += platform::IsDBCSLeadByte(static_cast<unsigned char>(path[at])) ? 2 : 1;
    return "..." + path.substr(std::min(at, path.size()));
}

Text Trimmed(const Text& text)
{
    const std::size_t first = text.find_first_not_of(' ');
    if (first == Text::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

Text CurrentDirectory()
{
    std::string buffer(platform::MAX_PATH, '\0');
    for (;;) {
        const DWORD length = platform::GetCurrentDirectoryA(static_cast<DWORD>(buffer.size()), buffer.data());
        if (length == 0) return {};
        if (length < buffer.size()) return buffer.substr(0, length);
        buffer.assign(length, '\0');
    }
}

// Splits at "\" outside double-byte characters (a "/" has been turned into
// "\" already; it is never a second byte).
std::vector<Text> Names(const Text& text)
{
    std::vector<Text> names;
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = platform::FindSeparator(text, start);
        const Text name = text.substr(start, at == platform::NoPosition ? Text::npos : at - start);
        if (name == "..") {
            if (!names.empty()) names.pop_back();
        } else if (!name.empty() && name != ".") {
            names.push_back(name);
        }
        if (at == platform::NoPosition) return names;
        start = at + 1;
    }
}

bool IsDriveStart(const Text& text)
{
    return text.size() >= 2 && text[1] == ':' &&
           ((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z'));
}

class Progress : public WalkProgress {
public:
    explicit Progress(ScanConsole& console) : console_(console), last_(platform::GetTickCount()) {}

    void Searching(const Text& directory, std::size_t lines) override
    {
        const DWORD now = platform::GetTickCount();
        if (static_cast<DWORD>(now - last_) < ProgressInterval) return;
        last_ = now;
        console_.Progress(texts::Texts().ProgressLongNames + " " + std::to_string(lines) + "  " + PathTail(directory));
    }

private:
    ScanConsole& console_;
    DWORD last_;
};

class Reporter : public SaveFailureReporter {
public:
    explicit Reporter(ScanConsole& console) : console_(console) {}
    void ReportSaveFailure(const Text& message) override { console_.ErrorLine(Trimmed(message)); }

private:
    ScanConsole& console_;
};

int Usage(ScanConsole& console)
{
    const Text& usage = texts::Texts().ScanCommandUsage;
    console.ErrorLine(usage.substr(0, usage.find('\n')));
    return ScanError;
}

Text CountLine(const Text& counting, int count)
{
    return counting + std::to_string(count) + texts::Texts().CountSuffix;
}

} // namespace

Text WindowsPathOf(const Text& argument)
{
    Text text = argument;
    for (char& c : text)
        if (c == '/') c = '\\';
    Text start;
    std::vector<Text> names;
    if (!argument.empty() && argument[0] == '/') {
        start = "C:\\";
        names = Names(text);
    } else if (text.size() >= 2 && text[0] == '\\' && text[1] == '\\') {
        // \\host\share begins the path and stays as it is.
        names = Names(text.substr(2));
        if (names.size() < 2) return text;
        start = "\\\\" + names[0] + "\\" + names[1] + "\\";
        names.erase(names.begin(), names.begin() + 2);
    } else if (IsDriveStart(text) && text.size() >= 3 && text[2] == '\\') {
        start = text.substr(0, 2) + "\\";
        names = Names(text.substr(3));
    } else {
        // Relative, also "D:name" and "\name": against the current directory
        // (of that drive), as the platform keeps it.
        Text base = CurrentDirectory();
        Text rest = text;
        if (IsDriveStart(text)) {
            const Text saved = base;
            const Text drive = text.substr(0, 2);
            base = platform::SetCurrentDirectoryA(drive.c_str()) ? CurrentDirectory() : drive + "\\";
            platform::SetCurrentDirectoryA(saved.c_str());
            rest = text.substr(2);
        } else if (!text.empty() && text[0] == '\\') {
            base = base.substr(0, 3);
        }
        if (!IsDriveStart(base)) return base + "\\" + rest;
        start = base.substr(0, 2) + "\\";
        names = Names(base.substr(2) + "\\" + rest);
    }
    Text path = start;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i) path.push_back('\\');
        path += names[i];
    }
    return path;
}

int RunScanCommand(const std::vector<Text>& arguments, ScanConsole& console)
{
    const auto& texts = texts::Texts();
    Text rootArgument;
    Text outputArgument;
    bool haveRoot = false;
    bool haveOutput = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const Text& argument = arguments[i];
        if (argument == "--help" || argument == "-h") {
            Text usage = texts.ScanCommandUsage;
            std::size_t start = 0;
            for (;;) {
                const std::size_t end = usage.find('\n', start);
                console.Line(usage.substr(start, end == Text::npos ? Text::npos : end - start));
                if (end == Text::npos) break;
                start = end + 1;
            }
            return ScanNormal;
        }
        if (argument == "--output" || argument == "-o") {
            if (haveOutput || i + 1 >= arguments.size()) return Usage(console);
            outputArgument = arguments[++i];
            haveOutput = true;
        } else if (argument.rfind("--output=", 0) == 0 && !haveOutput) {
            outputArgument = argument.substr(9);
            haveOutput = true;
        } else if (argument == "--") {
            if (haveRoot || i + 2 != arguments.size()) return Usage(console);
            rootArgument = arguments[++i];
            haveRoot = true;
        } else if (!argument.empty() && argument[0] == '-') {
            return Usage(console);
        } else {
            if (haveRoot) return Usage(console);
            rootArgument = argument;
            haveRoot = true;
        }
    }
    if (!haveRoot || rootArgument.empty() || (haveOutput && outputArgument.empty())) return Usage(console);

    // As the run command: the existence check on the text as given, the
    // walk on its upper-case form.
    const Text rootText = WindowsPathOf(rootArgument);
    const DWORD attributes = platform::GetFileAttributesA(rootText.c_str());
    if (attributes == platform::INVALID_FILE_ATTRIBUTES || !(attributes & platform::FILE_ATTRIBUTE_DIRECTORY)) {
        console.ErrorLine(Trimmed(texts.RootMissing));
        return ScanError;
    }
    const Text outputDirectory = haveOutput ? WindowsPathOf(outputArgument) : CurrentDirectory();

    ScanLists lists;
    {
        Progress progress(console);
        ListFiles(platform::UpperCaseText(rootText), 0x3F, true, true, lists.LongNameList, true, true, false,
                  console.WantsProgress() ? &progress : nullptr);
        if (console.WantsProgress()) console.Progress(Text());
    }
    ClassifyPaths(lists.Refs());
    Reporter reporter(console);
    if (!SaveResultFiles(lists.Refs(), outputDirectory, reporter)) return ScanError;

    console.Line(CountLine(texts.CountLongNames, PathCount(lists.LongNameList)));
    console.Line(CountLine(texts.CountShortNames, PathCount(lists.ShortNameList)));
    console.Line(CountLine(texts.CountDifferent, GroupCount(lists.DifferentList)));
    console.Line(CountLine(texts.CountLongFiles, GroupCount(lists.LongFileList)));
    console.Line(CountLine(texts.CountKomojiFiles, GroupCount(lists.KomojiFileList)));
    const bool found = lists.DifferentList.Count() > 2;
    console.Line(Trimmed(found ? texts.VerdictFound : texts.VerdictNormal));
    return found ? ScanFound : ScanNormal;
}

} // namespace kivra::scan
