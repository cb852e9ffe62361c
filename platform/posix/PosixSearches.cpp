// Directory searches: the entries matching a pattern are found and
// examined when the search starts, as Windows fills a search's buffer, so
// an open search holds no descriptor of its directory.

#include "platform/posix/PosixFileSystem.h"

#include "platform/Platform.h"
#include "platform/posix/DirectoryReader.h"
#include "platform/posix/Errors.h"

#include <unistd.h>

namespace kivra::platform::posix {

// "." and "..", when asked for: both carry the attribute word of the
// directory searched; the parent's own would cost a look at it for an entry
// that walks skip.
void PosixFileSystem::AddDots(const DirectoryState* directory, bool dot, bool dotDot, Search& search)
{
    const bool readOnly = directory != nullptr && (directory->mode & S_IWUSR) == 0;
    const DWORD attributes = FILE_ATTRIBUTE_DIRECTORY | (readOnly ? FILE_ATTRIBUTE_READONLY : 0);
    if (dot) search.items.push_back({Dot, attributes, {}});
    if (dotDot) search.items.push_back({DotDot, attributes, {}});
}

// The entries of a table that a pattern matches, with what a search reports
// of each; "." and ".." first, outside a drive's root.
bool PosixFileSystem::MatchItems(const DirectoryTable& table, int fd, std::uint64_t device,
                                 const DirectoryState* directory, std::string_view pattern, bool isRoot, Search& search)
{
    const auto add = [&](std::size_t entry) {
        DWORD attributes = 0;
        FileIdentity identity;
        if (EntryAttributes(fd, device, table[entry], attributes, &identity))
            search.items.push_back({entry, attributes, identity});
    };
    if (!HasWildcard(pattern)) {
        if (const std::size_t entry = table.Find(pattern); entry != DirectoryTable::NotFound) add(entry);
        return !search.items.empty();
    }
    const Text upper = UpperCaseText(pattern);
    const bool every = upper == "*" || upper == "*.*";
    const auto matches = [&](std::string_view upperName) { return every || MatchesPattern(upper, upperName); };
    if (!isRoot) AddDots(directory, matches("."), matches(".."), search);
    for (std::size_t i = 0; i < table.Size(); ++i) {
        const TableEntry entry = table[i];
        if (every || matches(UpperCaseText(entry.name)) || (!entry.alias.empty() && matches(entry.alias))) add(i);
    }
    return !search.items.empty();
}

void PosixFileSystem::Report(const Search& search, const Search::Item& item, WIN32_FIND_DATAA* data) const
{
    *data = WIN32_FIND_DATAA{};
    data->dwFileAttributes = item.attributes;
    if (item.entry == Dot || item.entry == DotDot) {
        std::string_view(item.entry == Dot ? "." : "..").copy(data->cFileName, MAX_PATH - 1);
        return;
    }
    const TableEntry entry = (*search.table)[item.entry];
    entry.name.copy(data->cFileName, MAX_PATH - 1);
    entry.alias.copy(data->cAlternateFileName, 13);
}

// The search a walk makes of a directory it goes down into: every entry
// ("*.*" or "*") of the directory that the last search has just reported.
const PosixFileSystem::Search* PosixFileSystem::DescentOf(std::string_view pattern)
{
    const auto found = searches_.find(lastSearch_);
    if (found == searches_.end()) return nullptr;
    const Search& search = found->second;
    if (search.prefix.empty() || search.position == 0) return nullptr;
    const Search::Item& item = search.items[search.position - 1];
    if (item.entry == Dot || item.entry == DotDot || (item.attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (item.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return nullptr;
    const std::string_view name = (*search.table)[item.entry].name;
    const std::string_view prefix = search.prefix;
    if (pattern.size() <= prefix.size() + name.size() || !pattern.starts_with(prefix) ||
        pattern.substr(prefix.size(), name.size()) != name)
        return nullptr;
    const std::string_view rest = pattern.substr(prefix.size() + name.size());
    if (rest != "\\*.*" && rest != "\\*") return nullptr;
    return &search;
}

// The directory a walk goes down into (`full`, without the name pattern; its
// last name is taken off), which the search `parent` has just reported: the
// path up to it must still lead to the directory searched, and the directory
// itself is entered from there as Descend enters it. ERROR_FILE_INVALID when
// either is another directory now.
DWORD PosixFileSystem::ResolveDescent(WindowsPath& full, const Search& parent, Place& place)
{
    full.names.pop_back();
    DWORD error = ResolveDirectory(full, place);
    if (error != ERROR_SUCCESS) return error;
    if (resolver_.Node(place.level).id != parent.directory) return ERROR_FILE_INVALID;
    const DirectoryTable* table = resolver_.Table(place.level, error);
    if (table == nullptr) return error;
    const Search::Item& item = parent.items[parent.position - 1];
    std::size_t entry = item.entry;
    if (table != parent.table.get()) {
        // The directory has changed since its search, elsewhere or here.
        entry = table->FindLinux((*parent.table)[item.entry].linuxName);
        if (entry == DirectoryTable::NotFound) return ERROR_PATH_NOT_FOUND;
    }
    int failure = 0;
    error = resolver_.Descend(place.level, entry, item.identity, failure);
    if (error != ERROR_SUCCESS) return error;
    place.level = resolver_.Depth();
    place.isRoot = false;
    place.dirFd = resolver_.Descriptor(place.level, &error);
    return place.dirFd < 0 ? error : ERROR_SUCCESS;
}

// The search of a directory a walk goes down into, from what was read ahead
// of the walk; false when nothing read ahead stands for it. The resolver
// still holds the searched directory's parent as it was when that was
// searched, through the same levels, each of which still stands: the path,
// which is the parent's search's own with one more name, leads where it did.
bool PosixFileSystem::SearchReadAhead(const Search& parent, Place& place, Search& search)
{
    place = Place{};
    place.level = parent.level;
    if (parent.generation != generation_ || resolver_.Depth() < place.level ||
        resolver_.Stamp(place.level) != parent.stamp || !resolver_.Stands(place.level))
        return false;
    DirectoryNode& parentNode = resolver_.Node(place.level);
    if (&parentNode != parent.node || parentNode.table != parent.table) return false;
    const std::size_t entry = parent.items[parent.position - 1].entry;
    PreparedDirectory prepared;
    switch (readAhead_.Take(parent.table.get(), entry, prepared)) {
    case ReadAhead::Outcome::NotQueued:
        // What was queued does not lead where the walk goes.
        StopReadingAhead();
        return false;
    case ReadAhead::Outcome::Unread: return false;
    case ReadAhead::Outcome::Read: break;
    }
    DirectoryNode& node = cache_.NodeOf(prepared.st);
    DWORD error = ERROR_SUCCESS;
    if (!cache_.Adopt(node, prepared.fd, prepared.st, prepared.table, prepared.watch, error)) {
        close(prepared.fd);
        cache_.Dispose(prepared.watch);
        return false;
    }
    ++adopted_;
    resolver_.Adopt(place.level, entry, node, prepared.fd);
    place.level = resolver_.Depth();
    place.dirFd = prepared.fd;
    search.table = node.table;
    const DirectoryState* state = cache_.StateOf(node, prepared.fd);
    if (node.table != prepared.table) {
        // Read again on the way (its times had moved).
        MatchItems(*node.table, prepared.fd, node.id.volume, state, "*", false, search);
        return true;
    }
    search.items.reserve(prepared.entries.size() + 2);
    AddDots(state, true, true, search);
    search.items.insert(search.items.end(), prepared.entries.begin(), prepared.entries.end());
    return true;
}

// A walk has gone down into the directory just searched (not read ahead):
// the directories it enters next are read ahead, those below it first, then,
// when nothing else is queued, those after it in its parent's search (when
// that still stands for the parent).
void PosixFileSystem::ReadAheadBelow(const Place& place, const Search& parent, const Search& search)
{
    if (readAhead_.Empty() && place.level > 0 && &resolver_.Node(place.level - 1) == parent.node &&
        parent.node->table == parent.table) {
        DWORD error = ERROR_SUCCESS;
        const int parentFd = resolver_.Descriptor(place.level - 1, &error);
        const auto after = SubdirectoriesOf(parent.items, parent.table->Size(), parent.position);
        if (parentFd >= 0 && !after.empty()) readAhead_.QueueFirst(parentFd, parent.table, after);
    }
    const auto below = SubdirectoriesOf(search.items, search.table->Size());
    if (!below.empty()) readAhead_.QueueFirst(place.dirFd, search.table, below);
}

HANDLE PosixFileSystem::FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* data)
{
    if (data == nullptr || pattern == nullptr) return Fail(ERROR_INVALID_PARAMETER), INVALID_HANDLE_VALUE;
    Call call(*this, true);
    const std::string_view given(pattern);
    // A walk going down: the directory is entered only as the search that
    // reported it found it, whether it was read ahead or not.
    const Search* parent = DescentOf(given);
    if (parent == nullptr) StopReadingAhead();
    Place place;
    Search search;
    if (parent == nullptr || !readingAhead_ || !SearchReadAhead(*parent, place, search)) {
        search = Search{};
        WindowsPath full;
        if (const DWORD error = Parse(pattern, full); error != ERROR_SUCCESS) return Fail(error), INVALID_HANDLE_VALUE;
        if (full.names.empty() || EndsWithSeparator(given) || given.back() == '/')
            return Fail(ERROR_FILE_NOT_FOUND), INVALID_HANDLE_VALUE;
        const Text namePattern = full.names.back();
        full.names.pop_back();
        DWORD error = parent != nullptr ? ResolveDescent(full, *parent, place) : ResolveDirectory(full, place);
        if (error != ERROR_SUCCESS) {
            if (error == ERROR_FILE_NOT_FOUND) error = ERROR_PATH_NOT_FOUND;
            return Fail(error), INVALID_HANDLE_VALUE;
        }
        const DirectoryTable* table = resolver_.Table(place.level, error);
        if (table == nullptr) return Fail(error), INVALID_HANDLE_VALUE;
        search.table = resolver_.Node(place.level).table;
        const int fd = resolver_.Descriptor(place.level, &error);
        if (fd < 0) return Fail(error), INVALID_HANDLE_VALUE;
        const DirectoryState* directory = cache_.StateOf(resolver_.Node(place.level), fd);
        const std::uint64_t device = resolver_.Node(place.level).id.volume;
        if (!MatchItems(*table, fd, device, directory, namePattern, place.isRoot, search))
            return Fail(ERROR_FILE_NOT_FOUND), INVALID_HANDLE_VALUE;
        place.dirFd = fd;
        if (parent != nullptr && readingAhead_) ReadAheadBelow(place, *parent, search);
    }
    if (search.items.empty()) return Fail(ERROR_FILE_NOT_FOUND), INVALID_HANDLE_VALUE;
    Report(search, search.items[0], data);
    search.position = 1;
    if (DriveLetterOf(given) != 0 && given[2] == '\\' && given.find('/') == std::string_view::npos) {
        search.prefix.assign(given.substr(0, LastSeparator(given) + 1));
        search.node = &resolver_.Node(place.level);
        search.directory = search.node->id;
        search.level = place.level;
        search.stamp = resolver_.Stamp(place.level);
        search.serial = search.node->serial;
        search.generation = generation_;
    }
    const HANDLE handle = NewHandle();
    searches_.emplace(handle, std::move(search));
    lastSearch_ = handle;
    SetLastError(ERROR_SUCCESS);
    return handle;
}

BOOL PosixFileSystem::FindNextFileA(HANDLE handle, WIN32_FIND_DATAA* data)
{
    const auto found = searches_.find(handle);
    if (found == searches_.end()) return Fail(ERROR_INVALID_HANDLE);
    if (data == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    Search& search = found->second;
    if (search.position >= search.items.size()) return Fail(ERROR_NO_MORE_FILES);
    Report(search, search.items[search.position++], data);
    lastSearch_ = handle;
    SetLastError(ERROR_SUCCESS);
    return true;
}

BOOL PosixFileSystem::FindRealName(HANDLE handle, std::string& realName)
{
    const auto found = searches_.find(handle);
    if (found == searches_.end() || found->second.position == 0) return Fail(ERROR_INVALID_HANDLE);
    const Search& search = found->second;
    const Search::Item& item = search.items[search.position - 1];
    if (item.entry == Dot || item.entry == DotDot)
        realName = item.entry == Dot ? "." : "..";
    else
        realName = (*search.table)[item.entry].linuxName;
    SetLastError(ERROR_SUCCESS);
    return true;
}

// The identity of the directory the last search step reported, when `path`
// names it through that search's own directory, which has not changed since:
// the search's look at the entry told it.
bool PosixFileSystem::IdentityOfLastFound(const char* path, FileIdentity& identity)
{
    const auto found = searches_.find(lastSearch_);
    if (path == nullptr || found == searches_.end()) return false;
    const Search& search = found->second;
    if (search.prefix.empty() || search.position == 0 || search.generation != generation_) return false;
    const Search::Item& item = search.items[search.position - 1];
    if (item.entry == Dot || item.entry == DotDot || (item.attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return false;
    const std::string_view text(path);
    if (!text.starts_with(search.prefix)) return false;
    // The prefix ends at a character's end: the name alone tells whether the
    // path ends with a separator.
    std::string_view name = text.substr(search.prefix.size());
    if (EndsWithSeparator(name)) name.remove_suffix(1);
    if (name != (*search.table)[item.entry].name) return false;
    DirectoryNode& node = *search.node;
    if (node.watch < 0) {
        // Unwatched: its times compared, when the resolver still holds it.
        DWORD error = ERROR_SUCCESS;
        if (resolver_.Depth() < search.level || &resolver_.Node(search.level) != &node) return false;
        const int fd = resolver_.Descriptor(search.level, &error);
        if (fd < 0 || !cache_.Current(node, fd)) return false;
    }
    if (node.table != search.table || node.serial != search.serial) return false;
    identity = item.identity;
    return true;
}

BOOL PosixFileSystem::FindClose(HANDLE handle)
{
    if (searches_.erase(handle) == 0) return Fail(ERROR_INVALID_HANDLE);
    if (lastSearch_ == handle) lastSearch_ = 0;
    SetLastError(ERROR_SUCCESS);
    return true;
}

} // namespace kivra::platform::posix
