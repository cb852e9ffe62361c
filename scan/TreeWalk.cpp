#include "scan/TreeWalk.h"

#include "platform/WinApi.h"

#include <cstring>
#include <string_view>
#include <vector>

namespace kivra::scan {

namespace {

using platform::FileIdentity;
using platform::HANDLE;
using platform::Text;
using platform::WIN32_FIND_DATAA;

// A search that finds nothing at all (the root of an empty drive) is no
// failure to read the directory.
bool NothingToFind(platform::DWORD error)
{
    return error == platform::ERROR_FILE_NOT_FOUND || error == platform::ERROR_NO_MORE_FILES;
}

// One level of the walk: the open search of one directory.
struct Level {
    HANDLE search = platform::INVALID_HANDLE_VALUE;
    Text path;            // with its final "\"
    bool markDirs = true; // MarkDirs as this level was called with
    bool pending = false; // `entry` came with the start of the search and waits
    WIN32_FIND_DATAA entry;
    bool hasIdentity = false;
    FileIdentity identity;
    std::string realPath; // only when the progress wants real paths
};

// The levels of the current branch; whatever way the walk ends, every search
// still open is closed, deepest first.
class Branch {
public:
    Branch() = default;
    Branch(const Branch&) = delete;
    Branch& operator=(const Branch&) = delete;
    ~Branch()
    {
        while (!levels_.empty()) Pop();
    }

    bool Empty() const { return levels_.empty(); }
    Level& Top() { return levels_.back(); }

    // Starts the search of a directory (steps 1 and 3 of a call), whose
    // identity is known already or asked for here. A search that cannot
    // start leaves nothing on the branch.
    void Push(Text path, std::string realPath, bool markDirs, const FileIdentity* identity, WalkProgress* progress,
              std::size_t lines)
    {
        if (!platform::EndsWithSeparator(path)) path.push_back('\\');
        if (progress) progress->Searching(path, lines);
        levels_.emplace_back();
        Level& level = levels_.back();
        level.path = std::move(path);
        level.realPath = std::move(realPath);
        level.markDirs = markDirs;
        if (identity) {
            level.identity = *identity;
            level.hasIdentity = true;
        } else {
            level.hasIdentity = platform::GetFileIdentity(level.path.c_str(), &level.identity);
        }
        const Text pattern = level.path + "*.*";
        level.search = platform::FindFirstFileA(pattern.c_str(), &level.entry);
        if (level.search == platform::INVALID_HANDLE_VALUE) {
            const platform::DWORD error = platform::GetLastError();
            if (progress && !NothingToFind(error)) progress->NotSearched(level.path, level.realPath, error);
            levels_.pop_back();
            return;
        }
        level.pending = true;
    }

    // Ends the search of the deepest level: at the end of its directory, or
    // with the error that stopped it (told to `progress`).
    void Finish(WalkProgress* progress)
    {
        const platform::DWORD error = platform::GetLastError();
        const Level& level = levels_.back();
        if (progress && error != platform::ERROR_NO_MORE_FILES)
            progress->NotSearched(level.path, level.realPath, error);
        Pop();
    }

    void Pop()
    {
        platform::FindClose(levels_.back().search);
        levels_.pop_back();
    }

    // True when a directory with this identity is already being walked on
    // the current branch.
    bool OnBranch(const FileIdentity& identity) const
    {
        for (const Level& level : levels_)
            if (level.hasIdentity && level.identity == identity) return true;
        return false;
    }

private:
    std::vector<Level> levels_;
};

std::string_view NameOf(const WIN32_FIND_DATAA& entry)
{
    return {entry.cFileName, strnlen(entry.cFileName, sizeof entry.cFileName)};
}

// The real path of the walk's root, as the platform knows it now.
std::string RealPathOf(const Text& root)
{
    Text path = root;
    // A directory's final "\" is no name (a drive's root keeps it).
    if (platform::EndsWithSeparator(path) && path.size() > 1 && path[path.size() - 2] != ':') path.pop_back();
    std::string real;
    if (!platform::SystemPathFromWindowsPath(path, real)) real = platform::Utf8FromCp932(root);
    return real;
}

// The real path of an entry of a directory.
void JoinReal(std::string& full, const std::string& directory, std::string_view name)
{
    full.assign(directory);
    if (full.empty() || full.back() != platform::SystemPathSeparator) full.push_back(platform::SystemPathSeparator);
    full += name;
}

} // namespace

void ListFiles(Text Path, std::uint16_t Mask, bool TakeZeroAttr, bool ClearList, TStringList& List, bool Recurse,
               bool MarkDirs, bool ClearAttrs, WalkProgress* progress)
{
    if (ClearList) List.Clear();
    const bool wantsReal = progress && progress->WantsRealPaths();
    Branch branch;
    std::string rootReal = wantsReal ? RealPathOf(Path) : std::string();
    branch.Push(std::move(Path), std::move(rootReal), MarkDirs, nullptr, progress, List.Count());
    // Each full path is put together here, in storage used again for every
    // entry; the list keeps a copy of it. The same for the real path and
    // the real name, when wanted.
    Text full;
    std::string realName;
    std::string fullReal;

    while (!branch.Empty()) {
        Level& level = branch.Top();
        if (level.pending) {
            level.pending = false;
        } else if (!platform::FindNextFileA(level.search, &level.entry)) {
            // The end of the directory and any error alike end its search;
            // an error is told.
            branch.Finish(progress);
            continue;
        }

        const std::string_view name = NameOf(level.entry);
        if (name == "." || name == "..") continue;
        const platform::DWORD attributes = level.entry.dwFileAttributes;
        full.assign(level.path);
        full += name;

        if (ClearAttrs) {
            platform::SetFileAttributesA(
                full.c_str(), attributes & ~(platform::FILE_ATTRIBUTE_READONLY | platform::FILE_ATTRIBUTE_HIDDEN));
        }
        const bool directory = (attributes & platform::FILE_ATTRIBUTE_DIRECTORY) != 0;
        // The path before the name ends at a character's end, so the name
        // alone tells whether the whole ends with a separator.
        if (directory && level.markDirs && !platform::EndsWithSeparator(name)) full.push_back('\\');

        if (wantsReal) {
            if (!platform::FindRealName(level.search, realName)) realName = platform::Utf8FromCp932(name);
            JoinReal(fullReal, level.realPath, realName);
        }
        const bool selected = (Mask & (attributes & 0xFFFFu)) != 0 || (attributes == 0 && TakeZeroAttr);
        if (selected) {
            List.Add(full);
            if (wantsReal) progress->Added(List.Count() - 1, fullReal);
            if (progress && List.Count() % WalkProgress::ListedEvery == 0) progress->Listed(List.Count());
        }
        const bool reparsePoint = (attributes & platform::FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        if (Recurse && directory && !reparsePoint) {
            FileIdentity identity;
            const bool known = platform::GetFileIdentity(full.c_str(), &identity);
            if (known && branch.OnBranch(identity)) continue;
            // `level` may move when the branch grows; it is not used after this.
            branch.Push(full, fullReal, true, known ? &identity : nullptr, progress, List.Count());
        }
    }
}

bool CanSearchDirectory(const Text& directory)
{
    Text pattern = directory;
    if (!platform::EndsWithSeparator(pattern)) pattern.push_back('\\');
    pattern += "*.*";
    WIN32_FIND_DATAA entry;
    const HANDLE search = platform::FindFirstFileA(pattern.c_str(), &entry);
    if (search == platform::INVALID_HANDLE_VALUE) return NothingToFind(platform::GetLastError());
    platform::FindClose(search);
    return true;
}

} // namespace kivra::scan
