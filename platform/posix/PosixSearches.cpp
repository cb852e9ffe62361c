// Directory searches: the entries matching a pattern are found and
// examined when the search starts, as Windows fills a search's buffer, so
// an open search holds no descriptor of its directory.

#include "platform/posix/PosixFileSystem.h"

#include "platform/Platform.h"
#include "platform/posix/DirectoryReader.h"
#include "platform/posix/Errors.h"

namespace kivra::platform::posix {

// The entries of a table that a pattern matches, with what a search reports
// of each; "." and ".." first, outside a drive's root. Both carry the
// attribute word of the directory searched: the parent's own would cost a
// look at it for an entry that walks skip.
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
    if (!isRoot && (matches(".") || matches(".."))) {
        const bool readOnly = directory != nullptr && (directory->mode & S_IWUSR) == 0;
        const DWORD attributes = FILE_ATTRIBUTE_DIRECTORY | (readOnly ? FILE_ATTRIBUTE_READONLY : 0);
        if (matches(".")) search.items.push_back({Dot, attributes, {}});
        if (matches("..")) search.items.push_back({DotDot, attributes, {}});
    }
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

HANDLE PosixFileSystem::FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* data)
{
    if (data == nullptr) return Fail(ERROR_INVALID_PARAMETER), INVALID_HANDLE_VALUE;
    Call call(*this);
    WindowsPath full;
    if (const DWORD error = Parse(pattern, full); error != ERROR_SUCCESS) return Fail(error), INVALID_HANDLE_VALUE;
    const std::string_view given(pattern);
    if (full.names.empty() || EndsWithSeparator(given) || given.back() == '/')
        return Fail(ERROR_FILE_NOT_FOUND), INVALID_HANDLE_VALUE;
    const Text namePattern = full.names.back();
    full.names.pop_back();

    Place place;
    if (DWORD error = ResolveDirectory(full, place); error != ERROR_SUCCESS) {
        if (error == ERROR_FILE_NOT_FOUND) error = ERROR_PATH_NOT_FOUND;
        return Fail(error), INVALID_HANDLE_VALUE;
    }
    DWORD error = ERROR_SUCCESS;
    const DirectoryTable* table = resolver_.Table(place.level, error);
    if (table == nullptr) return Fail(error), INVALID_HANDLE_VALUE;
    Search search;
    search.table = resolver_.Node(place.level).table;
    const int fd = resolver_.Descriptor(place.level, &error);
    if (fd < 0) return Fail(error), INVALID_HANDLE_VALUE;
    const DirectoryState* directory = cache_.StateOf(resolver_.Node(place.level), fd);
    const std::uint64_t device = resolver_.Node(place.level).id.volume;
    if (!MatchItems(*table, fd, device, directory, namePattern, place.isRoot, search))
        return Fail(ERROR_FILE_NOT_FOUND), INVALID_HANDLE_VALUE;
    Report(search, search.items[0], data);
    search.position = 1;
    if (DriveLetterOf(given) != 0 && given[2] == '\\' && given.find('/') == std::string_view::npos) {
        search.prefix.assign(given.substr(0, LastSeparator(given) + 1));
        search.node = &resolver_.Node(place.level);
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
    std::string_view text(path);
    if (EndsWithSeparator(text)) text.remove_suffix(1);
    if (!text.starts_with(search.prefix) || text.substr(search.prefix.size()) != (*search.table)[item.entry].name)
        return false;
    const DirectoryNode& node = *search.node;
    if (node.table != search.table || node.serial != search.serial || node.watch < 0) return false;
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
