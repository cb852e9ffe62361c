#include "scan/cli/ScanCommand.h"

#include "platform/Console.h"
#include "platform/WinApi.h"
#include "resources/Texts.h"
#include "scan/Classify.h"
#include "scan/ResultFiles.h"
#include "scan/TreeWalk.h"

#include <optional>
#include <string>

#ifndef KIVRA_VERSION
#define KIVRA_VERSION "0"
#endif

namespace kivra::scan {

namespace {

using platform::DWORD;
using platform::Text;

// How often the progress line may change, in milliseconds.
constexpr DWORD ProgressInterval = 100;
// At most this many bytes of the directory in the progress line, so that it
// stays on one line of a usual terminal.
constexpr std::size_t ProgressDirectoryBytes = 40;

enum class ListKind { Long, Lower, Different };

struct Options {
    bool help = false;
    bool version = false;
    std::optional<std::string> root;
    std::optional<std::string> output;
    std::optional<ListKind> list;
    std::string null; // "-0" or "--null" as given, or empty
};

// "X:\..." and "\\host\share\...": a path of the program's own kind.
bool IsWindowsPath(std::string_view argument)
{
    const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    if (argument.size() >= 3 && letter(argument[0]) && argument[1] == ':' && argument[2] == '\\') return true;
    return argument.starts_with("\\\\");
}

// A directory path with its final "\".
Text WithSeparator(Text path)
{
    if (!path.empty() && !platform::EndsWithSeparator(path)) path.push_back('\\');
    return path;
}

std::string JoinedLinux(const std::string& directory, std::string_view rest)
{
    std::string path = directory;
    if (!path.empty() && path.back() != '/') path.push_back('/');
    path += rest;
    return path;
}

// The end of a path, cut where a UTF-8 character begins.
std::string PathTail(const std::string& path)
{
    if (path.size() <= ProgressDirectoryBytes) return path;
    std::size_t at = path.size() - ProgressDirectoryBytes;
    while (at < path.size() && (static_cast<unsigned char>(path[at]) & 0xC0) == 0x80) ++at;
    return "..." + path.substr(at);
}

// How the command names the program's paths to the user: as Linux paths,
// and those below a Linux ROOT beginning with ROOT as the user gave it, as
// find does.
class PathNames {
public:
    PathNames(const std::string& rootGiven, bool rootIsLinux, const Text& rootWindows)
    {
        if (rootIsLinux && platform::LinuxPathFromWindowsPath(rootWindows, rootLinux_)) {
            rootGiven_ = rootGiven;
            belowGiven_ = true;
        }
    }

    // The Linux path of an existing file or directory (a directory's final
    // "\" does not count). Should the platform not find it any more, its
    // Windows path in UTF-8.
    std::string Of(const Text& windowsPath) const
    {
        Text path = windowsPath;
        if (platform::EndsWithSeparator(path) && path.size() > 1 && path[path.size() - 2] != ':') path.pop_back();
        std::string linux;
        if (!platform::LinuxPathFromWindowsPath(path, linux)) return platform::Utf8FromCp932(windowsPath);
        if (!belowGiven_) return linux;
        if (linux == rootLinux_) return rootGiven_;
        const std::string prefix = JoinedLinux(rootLinux_, "");
        if (linux.starts_with(prefix)) return JoinedLinux(rootGiven_, std::string_view(linux).substr(prefix.size()));
        return linux;
    }

private:
    bool belowGiven_ = false;
    std::string rootGiven_;
    std::string rootLinux_;
};

// Shows the walk's progress on a terminal, and names on standard error each
// directory whose entries could not be read.
class WalkReport : public WalkProgress {
public:
    WalkReport(ScanConsole& console, const CommandTexts& texts, const PathNames& names)
        : console_(console),
          texts_(texts),
          names_(names),
          progress_(console.WantsProgress()),
          last_(progress_ ? platform::GetTickCount() : 0)
    {}

    void Searching(const Text& directory, std::size_t lines) override
    {
        if (!progress_) return;
        const DWORD now = platform::GetTickCount();
        if (static_cast<DWORD>(now - last_) < ProgressInterval) return;
        last_ = now;
        Message line(texts_.progress + " " + std::to_string(lines) + "  ");
        line.AddAsIs(PathTail(names_.Of(directory)));
        console_.Progress(line);
        shown_ = true;
    }

    void CouldNotSearch(const Text& directory, DWORD error) override
    {
        const std::string shown = names_.Of(directory);
        if (failures_++ == 0) first_ = shown;
        console_.ErrorLine(
            ErrorMessage(Message::Format(texts_.cannotSearch, {Message::Quoted(shown), texts_.Reason(error)})));
    }

    void End()
    {
        if (shown_) console_.Progress(Message());
        shown_ = false;
    }

    std::size_t Failures() const { return failures_; }
    const std::string& FirstFailure() const { return first_; }

private:
    ScanConsole& console_;
    const CommandTexts& texts_;
    const PathNames& names_;
    bool progress_;
    bool shown_ = false;
    DWORD last_;
    std::size_t failures_ = 0;
    std::string first_;
};

// Names the result file that could not be written, with the reason.
class SaveReport : public SaveFailureReporter {
public:
    SaveReport(ScanConsole& console, const CommandTexts& texts, std::string directory, char separator)
        : console_(console),
          texts_(texts),
          directory_(std::move(directory)),
          separator_(separator)
    {}

    void ReportSaveFailure(const Text& message) override { console_.ErrorLine(ErrorMessage(Trimmed(message))); }

    void SaveFailed(const SaveFailure& failure) override
    {
        const std::size_t name = platform::LastSeparatorOrColon(failure.path);
        std::string path = directory_;
        if (!path.empty() && path.back() != separator_) path.push_back(separator_);
        path += failure.path.substr(name == platform::NoPosition ? 0 : name + 1);
        console_.ErrorLine(ErrorMessage(Message::Format(
            texts_.saveFailed, {Message::Quoted(path), texts_.Reason(failure.error), Trimmed(failure.message)})));
    }

private:
    ScanConsole& console_;
    const CommandTexts& texts_;
    std::string directory_;
    char separator_;
};

int UsageError(ScanConsole& console, const CommandTexts& texts, const Message& what)
{
    console.ErrorLine(ErrorMessage(what));
    console.ErrorLine(Message(texts.tryHelp));
    return ScanError;
}

// Reads the arguments into `options`; on a bad one, says so and returns
// ScanError.
std::optional<int> ParseArguments(const std::vector<std::string>& arguments, Options& options, ScanConsole& console,
                                  const CommandTexts& texts)
{
    const auto about = [&](const Text& pattern, std::initializer_list<Message> what) {
        return UsageError(console, texts, Message::Format(pattern, what));
    };
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            if (options.root) return about(texts.extraOperand, {Message::Quoted(argument)});
            options.root = argument;
            continue;
        }
        // The value of an option: after "=", or the next argument.
        const auto value = [&](std::string_view name, std::optional<std::string>& into) -> bool {
            if (argument.size() > name.size() && argument[name.size()] == '=') {
                into = argument.substr(name.size() + 1);
                return true;
            }
            if (i + 1 >= arguments.size()) return false;
            into = arguments[++i];
            return true;
        };
        const bool isLong = argument.starts_with("--");
        const std::string name = isLong ? argument.substr(0, argument.find('=')) : argument.substr(0, 2);
        if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "-h" || argument == "--help") {
            options.help = true;
            return std::nullopt;
        } else if (argument == "--version") {
            options.version = true;
            return std::nullopt;
        } else if (argument == "-0" || argument == "--null") {
            options.null = argument;
        } else if (name == "-o" && argument.size() > 2) {
            options.output = argument.substr(2);
        } else if (name == "-o" || name == "--output") {
            if (!value(name, options.output)) return about(texts.missingArgument, {Message::Quoted(name)});
        } else if (name == "--list") {
            std::optional<std::string> kind;
            if (!value(name, kind)) return about(texts.missingArgument, {Message::Quoted(name)});
            if (*kind == "long")
                options.list = ListKind::Long;
            else if (*kind == "lower")
                options.list = ListKind::Lower;
            else if (*kind == "different")
                options.list = ListKind::Different;
            else
                return about(texts.badListKind, {Message::Quoted(*kind), Message::Quoted(name)});
        } else {
            return about(texts.unknownOption, {Message::Quoted(argument)});
        }
    }
    if (!options.root) return UsageError(console, texts, Message(texts.missingRoot));
    if (!options.null.empty() && !options.list) return about(texts.nullWithoutList, {Message::Quoted(options.null)});
    return std::nullopt;
}

// The program's path for a path the user gave; false when a Linux path
// cannot be placed because the working directory it starts at is gone.
bool ProgramPath(const std::string& given, ScanConsole& console, Text& path)
{
    if (IsWindowsPath(given)) {
        path = console.ProgramText(given);
        return true;
    }
    return platform::WindowsPathFromLinuxPath(given, path);
}

// The reason the directory at `path` cannot be used, or ERROR_SUCCESS.
DWORD DirectoryProblem(const Text& path)
{
    const DWORD attributes = platform::GetFileAttributesA(path.c_str());
    if (attributes == platform::INVALID_FILE_ATTRIBUTES) {
        const DWORD error = platform::GetLastError();
        return error != platform::ERROR_SUCCESS ? error : platform::ERROR_FILE_NOT_FOUND;
    }
    if ((attributes & platform::FILE_ATTRIBUTE_DIRECTORY) == 0) return platform::ERROR_DIRECTORY;
    return platform::ERROR_SUCCESS;
}

// The entries of a result list, each once, in the order they were
// classified: the first line of each group.
void PrintEntries(ScanConsole& console, const TStringList& list, const PathNames& names, char end)
{
    const auto lines = list.Snapshot();
    const Line* previous = nullptr;
    for (std::size_t i = 2; i + 1 < lines->size(); i += 3) {
        const Line& entry = (*lines)[i];
        // An entry of both kinds stands twice in a row in the difference list.
        if (previous && *previous == entry) continue;
        previous = &entry;
        std::string bytes = names.Of(Text(entry.View()));
        bytes.push_back(end);
        console.Bytes(bytes);
    }
}

} // namespace

Message ErrorMessage(const Message& text) { return Message("kivra-scan: ").Add(text); }

int RunScanCommand(const std::vector<std::string>& arguments, ScanConsole& console)
{
    const CommandTexts& texts = CommandTextsIn(console.UserLanguage());
    Options options;
    if (const std::optional<int> status = ParseArguments(arguments, options, console, texts)) return *status;
    if (options.help) {
        console.Line(Message(texts.help));
        return ScanNormal;
    }
    if (options.version) {
        console.Line(Message("kivra-scan (Kivra) " KIVRA_VERSION));
        return ScanNormal;
    }

    // ROOT: an existing directory whose entries can be read.
    const std::string& root = *options.root;
    const auto rootMissing = [&](const Text& reason) {
        console.ErrorLine(ErrorMessage(
            Message::Format(texts.rootMissing, {Message::Quoted(root), reason, Trimmed(texts::Texts().RootMissing)})));
        return ScanError;
    };
    Text rootPath;
    if (root.empty()) return rootMissing(texts.Reason(platform::ERROR_FILE_NOT_FOUND));
    if (!ProgramPath(root, console, rootPath)) return rootMissing(texts.workingDirectoryGone);
    if (const DWORD problem = DirectoryProblem(rootPath); problem != platform::ERROR_SUCCESS)
        return rootMissing(texts.Reason(problem));
    if (!CanSearchDirectory(rootPath)) return rootMissing(texts.Reason(platform::GetLastError()));

    // The output folder, before the walk: it exists, is a folder, and a file
    // can be made in it.
    Text outputPath;
    std::string outputShown;
    const auto outputUnusable = [&](const Message& folder, const Text& reason) {
        console.ErrorLine(ErrorMessage(Message::Format(texts.outputUnusable, {folder, reason})));
        return ScanError;
    };
    if (options.output) {
        outputShown = *options.output;
        if (outputShown.empty())
            return outputUnusable(Message::Quoted(outputShown), texts.Reason(platform::ERROR_FILE_NOT_FOUND));
        if (!ProgramPath(outputShown, console, outputPath))
            return outputUnusable(Message::Quoted(outputShown), texts.workingDirectoryGone);
    } else {
        if (!platform::WindowsPathFromLinuxPath(".", outputPath))
            return outputUnusable(Message(texts.workingDirectory), texts.workingDirectoryGone);
        if (!platform::LinuxPathFromWindowsPath(outputPath, outputShown)) outputShown = ".";
    }
    if (const DWORD missing = DirectoryProblem(outputPath); missing != platform::ERROR_SUCCESS)
        return outputUnusable(Message::Quoted(outputShown), texts.Reason(missing));
    outputPath = WithSeparator(outputPath);
    // A stop asked for meanwhile waits until the files made here are gone
    // again or in their places, so that none is left behind.
    DWORD problem = platform::ERROR_SUCCESS;
    {
        const platform::InterruptionsHeld held;
        problem = CheckResultDirectory(outputPath);
    }
    if (problem != platform::ERROR_SUCCESS) return outputUnusable(Message::Quoted(outputShown), texts.Reason(problem));

    // As the run command: the walk from the upper-case form of ROOT.
    const PathNames names(root, !IsWindowsPath(root), rootPath);
    ScanLists lists;
    WalkReport walk(console, texts, names);
    ListFiles(platform::UpperCaseText(rootPath), 0x3F, true, true, lists.LongNameList, true, true, false, &walk);
    walk.End();
    ClassifyPaths(lists.Refs());
    SaveReport save(console, texts, outputShown, IsWindowsPath(outputShown) ? '\\' : '/');
    bool saved = false;
    {
        const platform::InterruptionsHeld held;
        saved = SaveResultFiles(lists.Refs(), outputPath, save);
    }
    if (!saved) return ScanError;

    if (options.list) {
        const char end = options.null.empty() ? '\n' : '\0';
        const TStringList& list = *options.list == ListKind::Long    ? lists.LongFileList
                                  : *options.list == ListKind::Lower ? lists.KomojiFileList
                                                                     : lists.DifferentList;
        PrintEntries(console, list, names, end);
    } else {
        const auto count = [&](const Text& pattern, int n) {
            console.Line(Message::Format(pattern, {Message(std::to_string(n))}));
        };
        count(texts.countLongNames, PathCount(lists.LongNameList));
        count(texts.countShortNames, PathCount(lists.ShortNameList));
        count(texts.countDifferent, GroupCount(lists.DifferentList));
        count(texts.countLongFiles, GroupCount(lists.LongFileList));
        count(texts.countKomojiFiles, GroupCount(lists.KomojiFileList));
    }
    const bool found = lists.DifferentList.Count() > 2;
    const bool whole = walk.Failures() == 0;
    if (!options.list) {
        // A tree not read whole is never called normal.
        if (found || whole) console.Line(Message(found ? texts.verdictFound : texts.verdictNormal));
        if (!whole)
            console.Line(Message::Format(texts.verdictNotReadWhole, {Message(std::to_string(walk.Failures())),
                                                                     Message::Quoted(walk.FirstFailure())}));
    }
    if (!whole) return ScanIncomplete;
    return found ? ScanFound : ScanNormal;
}

} // namespace kivra::scan
