// The file calls of the memory platform.

#include "platform/memory/MemoryPlatform.h"

#include "platform/CodePage.h"
#include "platform/memory/MemoryWorld.h"

#include <algorithm>
#include <cstring>

namespace kivra::platform {

using memory::Drive;
using memory::Entry;
using memory::FullPath;
using memory::Node;
using memory::OpenFile;
using memory::Search;

namespace {

// The entries of a directory a pattern (upper case) matches: "." and ".."
// first outside a drive's root.
Search MatchingItems(const FullPath& full, Node* directory, const Text& wanted)
{
    Search search;
    const bool wild = HasWildcard(wanted);
    if (!full.Names().empty() && wild) {
        if (MatchesPattern(wanted, ".")) search.items.push_back({".", {}, directory});
        if (MatchesPattern(wanted, "..")) search.items.push_back({"..", {}, directory});
    }
    for (const Entry& e : directory->entries) {
        const bool hit = wild ? (MatchesPattern(wanted, e.upperName) ||
                                 (!e.upperAlias.empty() && MatchesPattern(wanted, e.upperAlias)))
                              : (e.upperName == wanted || e.upperAlias == wanted);
        if (hit) search.items.push_back({e.name, e.alias, e.node});
        if (hit && !wild) break;
    }
    return search;
}

} // namespace

HANDLE MemoryPlatform::FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* data)
{
    ++impl_->searchesStarted;
    if (pattern == nullptr || data == nullptr) return SetLastError(ERROR_INVALID_PARAMETER), INVALID_HANDLE_VALUE;
    const std::string_view text = pattern;
    WindowsPath parsed;
    if (const DWORD error = ParseWindowsPath(text, impl_->current, parsed); error != ERROR_SUCCESS)
        return SetLastError(error), INVALID_HANDLE_VALUE;
    if (parsed.names.empty() || EndsWithSeparator(text) || text.back() == '/')
        return SetLastError(ERROR_FILE_NOT_FOUND), INVALID_HANDLE_VALUE;
    const Text wanted = UpperCaseText(parsed.names.back());
    parsed.names.pop_back();
    FullPath full;
    DWORD error = ERROR_SUCCESS;
    if (!impl_->FullOf(parsed, full, error)) return SetLastError(error), INVALID_HANDLE_VALUE;
    Node* directory = impl_->Walk(full, full.Names().size(), error);
    if (directory == nullptr || !directory->directory) {
        const bool file = directory != nullptr;
        return SetLastError(file                          ? ERROR_DIRECTORY
                            : error == ERROR_INVALID_NAME ? error
                                                          : ERROR_PATH_NOT_FOUND),
               INVALID_HANDLE_VALUE;
    }
    if (directory->searchError != ERROR_SUCCESS) return SetLastError(directory->searchError), INVALID_HANDLE_VALUE;
    Search search = MatchingItems(full, directory, wanted);
    if (search.items.empty()) return SetLastError(ERROR_FILE_NOT_FOUND), INVALID_HANDLE_VALUE;
    impl_->Fill(search.items[0], data);
    search.next = 1;
    const HANDLE handle = impl_->NewHandle();
    impl_->searches.emplace(handle, std::move(search));
    impl_->mostSearches = std::max(impl_->mostSearches, impl_->searches.size());
    SetLastError(ERROR_SUCCESS);
    return handle;
}

BOOL MemoryPlatform::FindNextFileA(HANDLE search, WIN32_FIND_DATAA* data)
{
    auto it = impl_->searches.find(search);
    if (it == impl_->searches.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    Search& s = it->second;
    if (s.next >= s.items.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return false;
    }
    impl_->Fill(s.items[s.next++], data);
    return true;
}

BOOL MemoryPlatform::FindRealName(HANDLE search, std::string& realName)
{
    const auto it = impl_->searches.find(search);
    if (it == impl_->searches.end() || it->second.next == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    // The name as stored; its Linux form is what SystemPathFromWindowsPath
    // gives for it.
    realName = Utf8FromCp932(it->second.items[it->second.next - 1].name);
    SetLastError(ERROR_SUCCESS);
    return true;
}

BOOL MemoryPlatform::FindClose(HANDLE search)
{
    if (impl_->searches.erase(search) == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    return true;
}

// The path as written, each name replaced by its entry's alias where it has
// one; ".", ".." and names a later ".." removes stay as written.
DWORD MemoryPlatform::GetShortPathNameA(const char* longPath, char* shortPath, DWORD capacity)
{
    if (longPath == nullptr) return SetLastError(ERROR_INVALID_PARAMETER), 0;
    const std::string_view text = longPath;
    FullPath full;
    DWORD error = ERROR_SUCCESS;
    const Node* target = impl_->Resolve(text, full, error);
    if (target == nullptr) return SetLastError(error), 0;
    if (target->shortPathError != ERROR_SUCCESS) return SetLastError(target->shortPathError), 0;
    const PathText start = SplitPathText(text);
    std::size_t baseDepth = 0;
    if (start.kind == PathStartKind::Relative) baseDepth = impl_->current.Current()->names.size();
    if (start.kind == PathStartKind::DriveRelative) baseDepth = impl_->current.OfDrive(start.letter)->names.size();
    const PathText split = SplitPathText(text, baseDepth);
    // The entry of each name of the full path.
    std::vector<const Entry*> entries;
    Node* node = full.drive->root;
    for (const Text& name : full.Names()) {
        entries.push_back(Impl::Lookup(node, name));
        node = entries.back()->node;
    }
    Text result(text.substr(0, split.startLength));
    for (const PathPiece& piece : split.pieces) {
        const std::string_view written = text.substr(piece.offset, piece.length);
        const bool replaced = !piece.separator && piece.level < entries.size() &&
                              full.Names()[piece.level] == written && !entries[piece.level]->alias.empty();
        result += replaced ? std::string_view(entries[piece.level]->alias) : written;
    }
    SetLastError(ERROR_SUCCESS);
    return memory::CopyOut(result, shortPath, capacity);
}

DWORD MemoryPlatform::GetFileAttributesA(const char* path)
{
    DWORD error = ERROR_SUCCESS;
    const Node* node = path ? impl_->Resolve(path, error) : nullptr;
    if (node == nullptr) {
        SetLastError(path ? error : ERROR_INVALID_PARAMETER);
        return INVALID_FILE_ATTRIBUTES;
    }
    return node->attributes;
}

BOOL MemoryPlatform::SetFileAttributesA(const char* path, DWORD attributes)
{
    impl_->attributeCalls.push_back({path ? path : "", attributes});
    DWORD error = ERROR_SUCCESS;
    Node* node = path ? impl_->Resolve(path, error) : nullptr;
    if (node == nullptr) {
        SetLastError(path ? error : ERROR_INVALID_PARAMETER);
        return false;
    }
    node->attributes =
        node->directory ? (attributes | FILE_ATTRIBUTE_DIRECTORY) : (attributes & ~FILE_ATTRIBUTE_DIRECTORY);
    return true;
}

BOOL MemoryPlatform::SetCurrentDirectoryA(const char* path)
{
    FullPath full;
    DWORD error = ERROR_SUCCESS;
    const Node* node = path ? impl_->Resolve(path, full, error) : nullptr;
    if (node == nullptr) return SetLastError(path ? error : ERROR_INVALID_PARAMETER), false;
    if (!node->directory) return SetLastError(ERROR_DIRECTORY), false;
    impl_->current.Enter(full.path);
    SetLastError(ERROR_SUCCESS);
    return true;
}

DWORD MemoryPlatform::GetCurrentDirectoryA(DWORD capacity, char* buffer)
{
    const WindowsPath* current = impl_->current.Current();
    if (current == nullptr || impl_->drives.empty()) return SetLastError(ERROR_PATH_NOT_FOUND), 0;
    SetLastError(ERROR_SUCCESS);
    return memory::CopyOut(current->ToText(), buffer, capacity);
}

HANDLE MemoryPlatform::CreateFileA(const char* path, DWORD access, DWORD shareMode, DWORD disposition,
                                   DWORD flagsAndAttributes)
{
    FullPath full;
    DWORD error = ERROR_SUCCESS;
    Node* parent = path ? impl_->Parent(path, full, error) : nullptr;
    if (parent == nullptr) {
        SetLastError(path ? error : ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const bool writable = (access & GENERIC_WRITE) != 0;
    const bool sharedReader = !writable && (shareMode & FILE_SHARE_READ) && disposition == OPEN_EXISTING;
    Entry* entry = Impl::Lookup(parent, full.Names().back());
    Node* node = entry ? entry->node : nullptr;
    if (node != nullptr) {
        if (disposition == CREATE_NEW) {
            SetLastError(ERROR_FILE_EXISTS);
            return INVALID_HANDLE_VALUE;
        }
        if (node->directory) {
            SetLastError(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
        const bool othersShare = !node->heldOpen && node->openHandles == node->sharedReaders;
        if (impl_->Busy(node) && !(sharedReader && othersShare)) {
            SetLastError(ERROR_SHARING_VIOLATION);
            return INVALID_HANDLE_VALUE;
        }
        if ((writable || disposition == CREATE_ALWAYS) &&
            (parent->denyWrites || (node->attributes & FILE_ATTRIBUTE_READONLY))) {
            SetLastError(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
        if (disposition == CREATE_ALWAYS) node->contents.clear();
    } else {
        if (disposition == OPEN_EXISTING) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        if (parent->denyWrites) {
            SetLastError(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
        const DWORD kept =
            flagsAndAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
        node = impl_->NewNode(false, FILE_ATTRIBUTE_ARCHIVE | kept);
        Entry added;
        added.name = full.Names().back();
        added.upperName = UpperCaseText(added.name);
        added.node = node;
        parent->entries.push_back(std::move(added));
    }
    ++node->openHandles;
    if (sharedReader) ++node->sharedReaders;
    const HANDLE handle = impl_->NewHandle();
    const auto closeFailure = impl_->closeFailures.find(UpperCaseText(full.path.ToText()));
    const DWORD closeError = closeFailure == impl_->closeFailures.end() ? ERROR_SUCCESS : closeFailure->second;
    impl_->files.emplace(handle, OpenFile{node, full.drive, writable, sharedReader, 0, closeError});
    // An existing file replaced: success, and Windows says so.
    SetLastError(entry != nullptr && disposition == CREATE_ALWAYS ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

BOOL MemoryPlatform::WriteFile(HANDLE file, const void* data, DWORD size, DWORD* written)
{
    if (written) *written = 0;
    OpenFile* const found = impl_->FileOf(file);
    if (found == nullptr) return false;
    OpenFile& open = *found;
    if (!open.writable) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    std::size_t fits = size;
    if (open.drive->freeSpace) fits = std::min<std::size_t>(size, *open.drive->freeSpace);
    open.node->contents.append(static_cast<const char*>(data), fits);
    if (open.drive->freeSpace) *open.drive->freeSpace -= fits;
    if (written) *written = static_cast<DWORD>(fits);
    if (fits < size) {
        SetLastError(ERROR_DISK_FULL);
        return false;
    }
    return true;
}

BOOL MemoryPlatform::ReadFile(HANDLE file, void* buffer, DWORD size, DWORD* read)
{
    if (read) *read = 0;
    OpenFile* const found = impl_->FileOf(file);
    if (found == nullptr) return false;
    OpenFile& open = *found;
    const std::string& contents = open.node->contents;
    const std::size_t n = std::min<std::size_t>(size, contents.size() - std::min(open.readPosition, contents.size()));
    if (n) std::memcpy(buffer, contents.data() + open.readPosition, n);
    open.readPosition += n;
    if (read) *read = static_cast<DWORD>(n);
    return true;
}

BOOL MemoryPlatform::CloseHandle(HANDLE handle)
{
    const OpenFile* const open = impl_->FileOf(handle);
    if (open == nullptr) return false;
    --open->node->openHandles;
    if (open->sharedReader) --open->node->sharedReaders;
    const DWORD error = open->closeError;
    impl_->files.erase(handle);
    if (error != ERROR_SUCCESS) return SetLastError(error), false;
    return true;
}

BOOL MemoryPlatform::MoveFileExA(const char* existing, const char* target, DWORD flags)
{
    FullPath from, to;
    DWORD error = ERROR_SUCCESS;
    Node* fromParent = existing ? impl_->Parent(existing, from, error) : nullptr;
    Entry* source = fromParent ? Impl::Lookup(fromParent, from.Names().back()) : nullptr;
    if (source == nullptr) {
        SetLastError(existing == nullptr     ? ERROR_INVALID_PARAMETER
                     : fromParent == nullptr ? error
                                             : ERROR_FILE_NOT_FOUND);
        return false;
    }
    Node* toParent = target ? impl_->Parent(target, to, error) : nullptr;
    if (toParent == nullptr) {
        SetLastError(target ? error : ERROR_INVALID_PARAMETER);
        return false;
    }
    Node* moving = source->node;
    if (impl_->Busy(moving) || fromParent->denyWrites || toParent->denyWrites) {
        SetLastError(impl_->Busy(moving) ? ERROR_SHARING_VIOLATION : ERROR_ACCESS_DENIED);
        return false;
    }
    Entry* replaced = Impl::Lookup(toParent, to.Names().back());
    if (replaced != nullptr && replaced->node == moving) replaced = nullptr;
    if (replaced != nullptr) {
        if (!(flags & MOVEFILE_REPLACE_EXISTING)) {
            SetLastError(ERROR_ALREADY_EXISTS);
            return false;
        }
        if (replaced->node->directory || (replaced->node->attributes & FILE_ATTRIBUTE_READONLY)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return false;
        }
        if (impl_->Busy(replaced->node)) {
            SetLastError(ERROR_SHARING_VIOLATION);
            return false;
        }
    }
    // A replaced entry keeps its name: the moved file takes its place.
    Entry moved;
    moved.name = replaced ? replaced->name : to.Names().back();
    moved.upperName = UpperCaseText(moved.name);
    moved.alias = replaced ? replaced->alias : Text();
    moved.upperAlias = UpperCaseText(moved.alias);
    moved.node = moving;
    // The replaced entry's place in the directory goes to the moved one.
    std::size_t place = replaced ? Impl::IndexOf(toParent, replaced) : toParent->entries.size();
    const std::size_t sourceIndex = Impl::IndexOf(fromParent, source);
    if (replaced) toParent->entries.erase(toParent->entries.begin() + static_cast<std::ptrdiff_t>(place));
    if (fromParent == toParent && replaced && sourceIndex > place) {
        fromParent->entries.erase(fromParent->entries.begin() + static_cast<std::ptrdiff_t>(sourceIndex - 1));
    } else {
        fromParent->entries.erase(fromParent->entries.begin() + static_cast<std::ptrdiff_t>(sourceIndex));
        if (fromParent == toParent && sourceIndex < place) --place;
    }
    toParent->entries.insert(toParent->entries.begin() + static_cast<std::ptrdiff_t>(place), std::move(moved));
    return true;
}

BOOL MemoryPlatform::DeleteFileA(const char* path)
{
    FullPath full;
    DWORD error = ERROR_SUCCESS;
    Node* parent = path ? impl_->Parent(path, full, error) : nullptr;
    Entry* entry = parent ? Impl::Lookup(parent, full.Names().back()) : nullptr;
    if (entry == nullptr) {
        SetLastError(path == nullptr ? ERROR_INVALID_PARAMETER : parent == nullptr ? error : ERROR_FILE_NOT_FOUND);
        return false;
    }
    if (entry->node->directory || parent->denyWrites || (entry->node->attributes & FILE_ATTRIBUTE_READONLY)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    if (impl_->Busy(entry->node)) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return false;
    }
    parent->entries.erase(parent->entries.begin() + static_cast<std::ptrdiff_t>(Impl::IndexOf(parent, entry)));
    return true;
}

DWORD MemoryPlatform::GetModuleFileNameA(char* buffer, DWORD capacity)
{
    return CopyModuleFileName(impl_->moduleFileName, buffer, capacity);
}

BOOL MemoryPlatform::GetFileIdentity(const char* path, FileIdentity* identity)
{
    FullPath full;
    DWORD error = ERROR_SUCCESS;
    const Node* node = path ? impl_->Resolve(path, full, error) : nullptr;
    if (node == nullptr) {
        SetLastError(path ? error : ERROR_INVALID_PARAMETER);
        return false;
    }
    if (identity) *identity = FileIdentity{static_cast<std::uint64_t>(full.drive->letter), node->id};
    return true;
}

BOOL MemoryPlatform::WindowsPathFromSystemPath(std::string_view linuxPath, std::string& windowsPath)
{
    WindowsPath path;
    path.letter = 'C';
    path.driveText = "C:";
    if (linuxPath.empty() || linuxPath[0] != '/') {
        const WindowsPath* current = impl_->current.Current();
        if (current == nullptr) return SetLastError(ERROR_PATH_NOT_FOUND), false;
        path = *current;
    }
    for (std::size_t at = 0; at <= linuxPath.size();) {
        std::size_t end = linuxPath.find('/', at);
        if (end == std::string_view::npos) end = linuxPath.size();
        const std::string_view name = linuxPath.substr(at, end - at);
        at = end + 1;
        if (name.empty() || name == ".") continue;
        if (name == "..") {
            if (!path.names.empty()) path.names.pop_back();
            continue;
        }
        path.names.push_back(Cp932FromUtf8(name));
    }
    windowsPath = path.ToText();
    SetLastError(ERROR_SUCCESS);
    return true;
}

BOOL MemoryPlatform::SystemPathFromWindowsPath(std::string_view windowsPath, std::string& linuxPath)
{
    FullPath full;
    DWORD error = ERROR_SUCCESS;
    if (impl_->Resolve(windowsPath, full, error) == nullptr) {
        SetLastError(error);
        return false;
    }
    if (full.drive->letter != 'C') {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    // The names as stored, whatever spelling the path used.
    linuxPath.clear();
    const Node* node = full.drive->root;
    for (const Text& name : full.Names()) {
        const Entry* entry = Impl::Lookup(const_cast<Node*>(node), name);
        linuxPath += "/" + Utf8FromCp932(entry->name);
        node = entry->node;
    }
    if (linuxPath.empty()) linuxPath = "/";
    SetLastError(ERROR_SUCCESS);
    return true;
}

} // namespace kivra::platform
