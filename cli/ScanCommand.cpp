#include "cli/ScanCommand.h"

#include "platform/Console.h"
#include "platform/WinApi.h"
#include "resources/Texts.h"
#include "scan/Run.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// "X:\..." and "\\host\share\...": a path of the program's own kind,
// where the system's paths are not (on Windows every path the user gives is
// the system's own, and may hold any character).
bool IsWindowsPath(std::string_view argument)
{
    if (platform::SystemPathSeparator == '\\') return false;
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

std::string JoinedSystemPath(const std::string& directory, std::string_view rest)
{
    std::string path = directory;
    if (!path.empty() && path.back() != platform::SystemPathSeparator) path.push_back(platform::SystemPathSeparator);
    path += rest;
    return path;
}

// The end of a path, quoted, cut where a UTF-8 character begins.
Message PathTail(const std::string& path)
{
    if (path.size() <= ProgressDirectoryBytes) return Message::Quoted(path);
    std::size_t at = path.size() - ProgressDirectoryBytes;
    while (at < path.size() && (static_cast<unsigned char>(path[at]) & 0xC0) == 0x80) ++at;
    return Message::AsIs("...").Add(Message::Quoted(std::string_view(path).substr(at)));
}

// How the command names the program's paths to the user: by the Linux
// paths the walk read, and those below a Linux ROOT beginning with ROOT as
// the user gave it, as find does.
class PathNames {
public:
    PathNames(const std::string& rootGiven, bool rootIsLinux, const Text& rootWindows)
    {
        if (!platform::SystemPathFromWindowsPath(rootWindows, rootLinux_)) {
            rootLinux_ = platform::Utf8FromCp932(rootWindows);
        } else if (rootIsLinux) {
            rootGiven_ = rootGiven;
            belowGiven_ = true;
        }
    }

    // ROOT as the user is shown it.
    std::string Root() const { return belowGiven_ ? rootGiven_ : rootLinux_; }

    // A real path as the user is shown it; a path the walk could not name
    // that way (none given) by the program's own path.
    std::string Shown(std::string_view realPath, const Text& windowsPath) const
    {
        if (realPath.empty()) return platform::Utf8FromCp932(windowsPath);
        if (!belowGiven_) return std::string(realPath);
        if (realPath == rootLinux_) return rootGiven_;
        const std::string prefix = JoinedSystemPath(rootLinux_, "");
        if (realPath.starts_with(prefix)) return JoinedSystemPath(rootGiven_, realPath.substr(prefix.size()));
        return std::string(realPath);
    }

private:
    bool belowGiven_ = false;
    std::string rootGiven_;
    std::string rootLinux_;
};

// The real path of every line the walk added. The walk goes depth first,
// so a path mostly repeats the one before it: each is kept as the length it
// shares with that one and the bytes after, every Restart-th whole, so that
// a million paths cost little more than their names and any one is put
// together again from at most Restart pieces.
class RealPaths {
public:
    void Add(std::string_view path)
    {
        std::size_t shared = 0;
        if (shared_.size() % Restart != 0) {
            const std::size_t most = std::min(path.size(), last_.size());
            while (shared < most && path[shared] == last_[shared]) ++shared;
        }
        shared_.push_back(static_cast<std::uint32_t>(shared));
        text_.append(path.substr(shared));
        ends_.push_back(text_.size());
        last_.assign(path);
    }
    std::size_t Count() const { return ends_.size(); }
    std::string At(std::size_t line) const
    {
        std::string path;
        for (std::size_t i = line - line % Restart; i <= line; ++i) {
            const std::size_t begin = i == 0 ? 0 : ends_[i - 1];
            path.resize(shared_[i]);
            path.append(text_, begin, ends_[i] - begin);
        }
        return path;
    }
    const std::string& Last() const { return last_; }

private:
    static constexpr std::size_t Restart = 64;
    std::string text_;
    std::vector<std::size_t> ends_;
    std::vector<std::uint32_t> shared_; // paths of 4 GiB are beyond any file system
    std::string last_;
};

// kivra-scan around the run's steps: the walk's progress on a terminal, and
// on standard error each directory that could not be read, each path whose
// short form could not be had, and the result file that could not be
// written, with the reason. Paths are named by the Linux paths the walk
// read, whatever became of them since.
class CommandRun : public RunFrontEnd {
public:
    // `outputDirectory` is the folder of the result files as the user is
    // shown it; none when the run writes no files.
    CommandRun(ScanConsole& console, const CommandTexts& texts, const PathNames& names,
               std::optional<std::string> outputDirectory, char separator)
        : console_(console),
          texts_(texts),
          names_(names),
          outputDirectory_(std::move(outputDirectory)),
          separator_(separator),
          progress_(console.WantsProgress()),
          last_(progress_ ? platform::GetTickCount() : 0)
    {}

    bool WantsResultFiles() const override { return outputDirectory_.has_value(); }
    bool WantsRealPaths() const override { return true; }
    // The walk adds its lines in order from the first, into emptied lists.
    void Added(std::size_t, std::string_view realPath) override { realPaths_.Add(realPath); }

    void Searching(const Text& directory, std::size_t lines) override
    {
        if (!progress_) return;
        const DWORD now = platform::GetTickCount();
        if (static_cast<DWORD>(now - last_) < ProgressInterval) return;
        last_ = now;
        // The walk adds a directory's line just before it searches it.
        const std::string shown = realPaths_.Count() == 0 ? names_.Root() : names_.Shown(realPaths_.Last(), directory);
        Message line(texts_.progress + " " + std::to_string(lines) + "  ");
        line.Add(PathTail(shown));
        console_.Progress(line);
        shown_ = true;
    }

    void NotSearched(const Text& directory, std::string_view realPath, DWORD error) override
    {
        const std::string shown = names_.Shown(realPath, directory);
        if (unsearched_++ == 0) firstUnsearched_ = shown;
        console_.ErrorLine(
            ErrorMessage(Message::Format(texts_.cannotSearch, {Message::Quoted(shown), texts_.Reason(error)})));
    }

    void NoShortForm(std::size_t line, const Line& path, DWORD error) override
    {
        const std::string shown =
            names_.Shown(line < realPaths_.Count() ? realPaths_.At(line) : std::string(), Text(path.View()));
        if (noShortForm_++ == 0) firstNoShortForm_ = shown;
        console_.ErrorLine(
            ErrorMessage(Message::Format(texts_.cannotShortForm, {Message::Quoted(shown), texts_.Reason(error)})));
    }

    void BeforeStep(RunStep step) override
    {
        // The progress line tells the walk only.
        if (step != RunStep::Classify || !shown_) return;
        console_.Progress(Message());
        shown_ = false;
    }

    void ReportSaveFailure(const Text& message) override { console_.ErrorLine(ErrorMessage(Trimmed(message))); }

    void SaveFailed(const SaveFailure& failure) override
    {
        const std::size_t name = platform::LastSeparatorOrColon(failure.path);
        // Only a run that writes files saves.
        std::string path = *outputDirectory_;
        if (!path.empty() && path.back() != separator_) path.push_back(separator_);
        path += failure.path.substr(name == platform::NoPosition ? 0 : name + 1);
        console_.ErrorLine(ErrorMessage(Message::Format(
            texts_.saveFailed, {Message::Quoted(path), texts_.Reason(failure.error), Trimmed(failure.message)})));
    }

    // The last lines of the verdict when the tree was not read whole.
    void TellNotWhole() const
    {
        if (unsearched_ > 0)
            console_.Line(Message::Format(texts_.verdictNotReadWhole,
                                          {Message(std::to_string(unsearched_)), Message::Quoted(firstUnsearched_)}));
        if (noShortForm_ > 0)
            console_.Line(Message::Format(texts_.verdictNoShortForm,
                                          {Message(std::to_string(noShortForm_)), Message::Quoted(firstNoShortForm_)}));
    }

    // The Linux path of each entry of a result list, each once, in the order
    // they were classified. The groups stand in walk order, so the entries
    // are found in the full list (after its header) going forward.
    void PrintEntries(const TStringList& list, const TStringList& allPaths, char end) const
    {
        const auto lines = list.Snapshot();
        const auto all = allPaths.Snapshot();
        std::size_t at = 1;
        const Line* previous = nullptr;
        for (std::size_t i = 2; i + 1 < lines->size(); i += 3) {
            const Line& entry = (*lines)[i];
            // An entry of both kinds stands twice in a row in the difference list.
            if (previous && *previous == entry) continue;
            previous = &entry;
            while (at < all->size() && (*all)[at] != entry) ++at;
            const std::size_t line = at - 1;
            std::string bytes =
                names_.Shown(line < realPaths_.Count() ? realPaths_.At(line) : std::string(), Text(entry.View()));
            bytes.push_back(end);
            console_.Bytes(bytes);
        }
    }

private:
    ScanConsole& console_;
    const CommandTexts& texts_;
    const PathNames& names_;
    std::optional<std::string> outputDirectory_;
    char separator_;
    bool progress_;
    bool shown_ = false;
    DWORD last_;
    RealPaths realPaths_;
    std::size_t unsearched_ = 0;
    std::string firstUnsearched_;
    std::size_t noShortForm_ = 0;
    std::string firstNoShortForm_;
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

// The program's path for a path the user gave; false when it cannot be
// placed (GetLastError tells why).
bool ProgramPath(const std::string& given, ScanConsole& console, Text& path)
{
    if (IsWindowsPath(given)) {
        path = console.ProgramText(given);
        return true;
    }
    return platform::WindowsPathFromSystemPath(given, path);
}

// Why a Linux path the user gave could not be placed: the working directory
// a relative path starts at is gone, or the platform's reason.
Text PlacingProblem(const std::string& given, const CommandTexts& texts)
{
    const DWORD error = platform::LastErrorOr(platform::ERROR_PATH_NOT_FOUND);
    std::string here;
    if (!given.starts_with('/') && !platform::WindowsPathFromSystemPath(".", here)) return texts.workingDirectoryGone;
    return texts.Reason(error);
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
    if (!ProgramPath(root, console, rootPath)) return rootMissing(PlacingProblem(root, texts));
    if (const DWORD problem = DirectoryProblem(rootPath); problem != platform::ERROR_SUCCESS)
        return rootMissing(texts.Reason(problem));
    if (!CanSearchDirectory(rootPath)) return rootMissing(texts.Reason(platform::GetLastError()));

    // The output folder, before the walk: it exists, is a folder, and a file
    // can be made in it. A list goes to standard output alone, with no
    // result files unless a folder is given for them.
    Text outputPath;
    std::string outputShown;
    const auto outputUnusable = [&](const Message& folder, const Text& reason) {
        console.ErrorLine(ErrorMessage(Message::Format(texts.outputUnusable, {folder, reason})));
        return ScanError;
    };
    const bool savesFiles = !options.list || options.output;
    if (savesFiles) {
        if (options.output) {
            outputShown = *options.output;
            if (outputShown.empty())
                return outputUnusable(Message::Quoted(outputShown), texts.Reason(platform::ERROR_FILE_NOT_FOUND));
            if (!ProgramPath(outputShown, console, outputPath))
                return outputUnusable(Message::Quoted(outputShown), PlacingProblem(outputShown, texts));
        } else {
            if (!platform::WindowsPathFromSystemPath(".", outputPath))
                return outputUnusable(Message(texts.workingDirectory), texts.workingDirectoryGone);
            if (!platform::SystemPathFromWindowsPath(outputPath, outputShown)) outputShown = ".";
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
        if (problem != platform::ERROR_SUCCESS)
            return outputUnusable(Message::Quoted(outputShown), texts.Reason(problem));
    }

    const PathNames names(root, !IsWindowsPath(root), rootPath);
    ScanLists lists;
    CommandRun run(console, texts, names, savesFiles ? std::optional(outputShown) : std::nullopt,
                   IsWindowsPath(outputShown) ? '\\' : platform::SystemPathSeparator);
    const RunOutcome outcome = RunScan(
        rootPath, lists.Refs(), [&outputPath] { return outputPath; }, run);
    if (savesFiles && !outcome.saved) return ScanError;

    if (options.list) {
        const char end = options.null.empty() ? '\n' : '\0';
        const TStringList& list = *options.list == ListKind::Long    ? lists.LongFileList
                                  : *options.list == ListKind::Lower ? lists.KomojiFileList
                                                                     : lists.DifferentList;
        run.PrintEntries(list, lists.LongNameList, end);
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
    const bool found = outcome.found;
    const bool whole = outcome.Whole();
    if (!options.list) {
        // A tree not read whole is never called normal.
        if (found || whole) console.Line(Message(found ? texts.verdictFound : texts.verdictNormal));
        run.TellNotWhole();
    }
    if (!whole) return ScanIncomplete;
    return found ? ScanFound : ScanNormal;
}

} // namespace kivra::scan
