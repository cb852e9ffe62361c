#include "platform/memory/MemoryPlatform.h"

#include "platform/CodePage.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string_view>

namespace kivra::platform {

namespace {

constexpr DWORD ERROR_FILE_EXISTS_CODE = 80;
constexpr HANDLE FirstHandle = 0x100;

struct Node;

struct Entry {
    Text name;
    Text upperName;
    Text alias;
    Text upperAlias;
    Node* node = nullptr;
};

struct Node {
    std::uint64_t id = 0;
    bool directory = false;
    DWORD attributes = 0;
    std::vector<Entry> entries;
    std::string contents;
    DWORD searchError = ERROR_SUCCESS;
    bool denyWrites = false;
    bool heldOpen = false;
    int openHandles = 0;
    // Handles opened for reading only with FILE_SHARE_READ: others may
    // still open the file the same way.
    int sharedReaders = 0;
};

struct Drive {
    char letter = 0;
    UINT type = DRIVE_FIXED;
    Text label;
    DWORD fileSystemFlags = 0;
    DWORD serialNumber = 0;
    Node* root = nullptr;
    std::optional<Text> networkName;
    DWORD networkError = ERROR_SUCCESS;
    DWORD volumeError = ERROR_SUCCESS;
    bool notReady = false;
    std::optional<std::size_t> freeSpace;
    std::vector<Text> currentDirectory;
};

// A path broken into where it starts and the names below that start, with
// "." and ".." already applied, as GetFullPathNameA would give it.
struct FullPath {
    Drive* drive = nullptr;
    std::vector<Text> names;
};

struct Search {
    struct Item {
        Text name;
        Text alias;
        Node* node;
    };
    std::vector<Item> items;
    std::size_t next = 0;
};

struct OpenFile {
    Node* node;
    Drive* drive;
    bool writable;
    bool sharedReader;
    std::size_t readPosition = 0;
};

char UpperLetter(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Both separators as "\". A "/" (0x2F) is never the second byte of a
// double-byte character, so the byte-wise change leaves every character whole.
Text WithBackslashes(std::string_view text)
{
    Text result(text);
    std::replace(result.begin(), result.end(), '/', '\\');
    return result;
}

// Splits at single-byte "\" and "/" outside double-byte characters; empty
// pieces are dropped.
std::vector<Text> SplitNames(std::string_view text)
{
    const Text separated = WithBackslashes(text);
    std::vector<Text> names;
    for (std::size_t start = 0;;) {
        const std::size_t at = FindSeparator(separated, start);
        Text name = separated.substr(start, at == NoPosition ? Text::npos : at - start);
        if (!name.empty()) names.push_back(std::move(name));
        if (at == NoPosition) return names;
        start = at + 1;
    }
}

void ApplyNames(std::vector<Text>& base, const std::vector<Text>& names)
{
    for (const Text& name : names) {
        if (name == ".") continue;
        if (name == "..") {
            if (!base.empty()) base.pop_back();
            continue;
        }
        base.push_back(name);
    }
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool HasWildcard(std::string_view name) { return name.find_first_of("*?") != std::string_view::npos; }

// Wildcard match on upper-cased texts, "*" any run of bytes, "?" one byte.
bool Matches(std::string_view pattern, std::string_view name)
{
    if (pattern == "*" || pattern == "*.*") return true;
    std::size_t p = 0, n = 0, star = std::string_view::npos, mark = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            mark = n;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            n = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

DWORD CopyOut(const Text& text, char* buffer, DWORD capacity)
{
    if (buffer == nullptr || capacity <= text.size()) return static_cast<DWORD>(text.size() + 1);
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = '\0';
    return static_cast<DWORD>(text.size());
}

void CopyField(const Text& text, char* field, std::size_t fieldSize)
{
    const std::size_t n = std::min(text.size(), fieldSize - 1);
    std::memcpy(field, text.data(), n);
    std::memset(field + n, 0, fieldSize - n);
}

// Restores the caller's last error for inspection calls made by tests.
class KeepLastError {
public:
    KeepLastError() : saved_(GetLastError()) {}
    ~KeepLastError() { SetLastError(saved_); }
    KeepLastError(const KeepLastError&) = delete;
    KeepLastError& operator=(const KeepLastError&) = delete;

private:
    DWORD saved_;
};

} // namespace

struct MemoryPlatform::Impl {
    std::vector<std::unique_ptr<Node>> nodes;
    std::map<char, Drive> drives;
    DWORD extraDriveBits = 0;
    // The process's current drive; 0 before the first drive is added.
    char currentDrive = 0;
    // The current directory was entered by its network path, and reads so.
    bool currentByNetworkPath = false;
    bool workingDirectoryDeleted = false;
    Text moduleFileName;
    DWORD ticks = 0;
    DWORD tickStep = 0;
    UINT errorMode = 0;
    std::vector<AttributeCall> attributeCalls;
    std::map<HANDLE, Search> searches;
    std::map<HANDLE, OpenFile> files;
    HANDLE nextHandle = FirstHandle;
    std::size_t mostSearches = 0;
    std::size_t searchesStarted = 0;

    // The file a handle stands for; an unknown handle gives null and
    // ERROR_INVALID_HANDLE.
    OpenFile* FileOf(HANDLE handle)
    {
        const auto found = files.find(handle);
        if (found == files.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        return &found->second;
    }

    Node* NewNode(bool directory, DWORD attributes)
    {
        auto node = std::make_unique<Node>();
        node->id = nodes.size() + 1;
        node->directory = directory;
        node->attributes = directory ? (attributes | FILE_ATTRIBUTE_DIRECTORY) : attributes;
        nodes.push_back(std::move(node));
        return nodes.back().get();
    }

    Drive* FindDrive(char letter)
    {
        auto it = drives.find(UpperLetter(letter));
        return it == drives.end() ? nullptr : &it->second;
    }

    Drive* DriveOfNetworkPath(std::string_view host, std::string_view share)
    {
        const Text wanted = UpperCaseText("\\\\" + Text(host) + "\\" + Text(share));
        for (auto& [letter, drive] : drives)
            if (drive.networkName && UpperCaseText(*drive.networkName) == wanted) return &drive;
        return nullptr;
    }

    // Where a path starts (drive and names from the start) and the text after
    // that start. Fails with the Windows code.
    bool Parse(std::string_view path, FullPath& full, std::string_view& rest, DWORD& error)
    {
        if (path.empty()) {
            error = ERROR_PATH_NOT_FOUND;
            return false;
        }
        if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
            const std::vector<Text> parts = SplitNames(path.substr(2));
            if (parts.size() < 2) {
                error = ERROR_BAD_NETPATH;
                return false;
            }
            full.drive = DriveOfNetworkPath(parts[0], parts[1]);
            if (full.drive == nullptr) {
                error = ERROR_BAD_NETPATH;
                return false;
            }
            // Skip "\\host\share" in the text.
            std::size_t pos = 2, seen = 0;
            while (pos < path.size() && seen < 2) {
                while (pos < path.size() && IsSeparator(path[pos])) ++pos;
                if (pos >= path.size()) break;
                const std::size_t end = FindSeparatorOrSlash(path, pos);
                pos = end;
                ++seen;
            }
            rest = path.substr(pos);
            return true;
        }
        if (path.size() >= 2 && path[1] == ':' && IsLetter(path[0])) {
            full.drive = FindDrive(path[0]);
            rest = path.substr(2);
            if (full.drive == nullptr) {
                error = ERROR_PATH_NOT_FOUND;
                return false;
            }
            if (rest.empty() || !IsSeparator(rest[0])) full.names = full.drive->currentDirectory;
            return true;
        }
        full.drive = FindDrive(currentDrive);
        if (full.drive == nullptr) {
            error = ERROR_PATH_NOT_FOUND;
            return false;
        }
        rest = path;
        if (!IsSeparator(path[0])) full.names = full.drive->currentDirectory;
        return true;
    }

    static std::size_t FindSeparatorOrSlash(std::string_view text, std::size_t from)
    {
        const std::size_t at = FindSeparator(WithBackslashes(text), from);
        return at == NoPosition ? text.size() : at;
    }

    bool Full(std::string_view path, FullPath& full, DWORD& error)
    {
        std::string_view rest;
        if (!Parse(path, full, rest, error)) return false;
        ApplyNames(full.names, SplitNames(rest));
        if (full.drive->notReady) {
            error = ERROR_NOT_READY;
            return false;
        }
        return true;
    }

    static Entry* Lookup(Node* directory, std::string_view name)
    {
        for (Entry& e : directory->entries)
            if (e.name == name) return &e;
        const Text upper = UpperCaseText(name);
        for (Entry& e : directory->entries)
            if (e.upperName == upper) return &e;
        for (Entry& e : directory->entries)
            if (!e.upperAlias.empty() && e.upperAlias == upper) return &e;
        return nullptr;
    }

    // The node a full path leads to: missing last name gives 2, anything
    // missing or not a directory before it gives 3.
    Node* Walk(const FullPath& full, std::size_t count, DWORD& error)
    {
        Node* node = full.drive->root;
        for (std::size_t i = 0; i < count; ++i) {
            Entry* entry = node->directory ? Lookup(node, full.names[i]) : nullptr;
            if (entry == nullptr) {
                error = (i + 1 == count && node->directory) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
                return nullptr;
            }
            node = entry->node;
        }
        return node;
    }

    Node* Resolve(std::string_view path, DWORD& error)
    {
        FullPath full;
        return Resolve(path, full, error);
    }

    // The same, with the full path it was found under.
    Node* Resolve(std::string_view path, FullPath& full, DWORD& error)
    {
        if (!Full(path, full, error)) return nullptr;
        return Walk(full, full.names.size(), error);
    }

    // The directory holding a path's last name, and that name; the
    // directory must exist.
    Node* Parent(std::string_view path, FullPath& full, DWORD& error)
    {
        if (!Full(path, full, error)) return nullptr;
        if (full.names.empty()) {
            error = ERROR_ACCESS_DENIED;
            return nullptr;
        }
        DWORD walkError = ERROR_SUCCESS;
        Node* parent = Walk(full, full.names.size() - 1, walkError);
        if (parent == nullptr || !parent->directory) {
            error = ERROR_PATH_NOT_FOUND;
            return nullptr;
        }
        return parent;
    }

    Node* MustResolve(const Text& path)
    {
        DWORD error = ERROR_SUCCESS;
        Node* node = Resolve(path, error);
        if (node == nullptr) throw std::invalid_argument("memory file system: no such path: " + path);
        return node;
    }

    void AddEntry(const Text& path, Node* node, const Text& alias)
    {
        FullPath full;
        DWORD error = ERROR_SUCCESS;
        Node* parent = Parent(path, full, error);
        if (parent == nullptr) throw std::invalid_argument("memory file system: no parent for " + path);
        Entry entry;
        entry.name = full.names.back();
        entry.upperName = UpperCaseText(entry.name);
        entry.alias = alias;
        entry.upperAlias = UpperCaseText(alias);
        entry.node = node;
        parent->entries.push_back(std::move(entry));
    }

    static std::size_t IndexOf(Node* parent, const Entry* entry)
    {
        return static_cast<std::size_t>(entry - parent->entries.data());
    }

    bool Busy(const Node* node) const { return node->heldOpen || node->openHandles > 0; }

    HANDLE NewHandle() { return nextHandle++; }

    void Fill(const Search::Item& item, WIN32_FIND_DATAA* data) const
    {
        data->dwFileAttributes = item.node->attributes;
        CopyField(item.name, data->cFileName, sizeof data->cFileName);
        CopyField(item.alias, data->cAlternateFileName, sizeof data->cAlternateFileName);
    }
};

MemoryPlatform::MemoryPlatform() : impl_(std::make_unique<Impl>()) {}
MemoryPlatform::~MemoryPlatform() = default;

Platform MemoryPlatform::AsPlatform() { return Platform{this, this, this}; }

void MemoryPlatform::AddDrive(char letter, UINT type, const Text& label, DWORD fileSystemFlags, DWORD serialNumber)
{
    if (!IsLetter(letter)) throw std::invalid_argument("memory file system: bad drive letter");
    Drive drive;
    drive.letter = UpperLetter(letter);
    drive.type = type;
    drive.label = label;
    drive.fileSystemFlags = fileSystemFlags;
    drive.serialNumber = serialNumber;
    drive.root = impl_->NewNode(true, FILE_ATTRIBUTE_DIRECTORY);
    impl_->drives[drive.letter] = std::move(drive);
    if (impl_->currentDrive == 0) impl_->currentDrive = UpperLetter(letter);
}

void MemoryPlatform::SetExtraDriveBits(DWORD bits) { impl_->extraDriveBits = bits; }

namespace {
Drive& MustDrive(std::map<char, Drive>& drives, char letter)
{
    auto it = drives.find(UpperLetter(letter));
    if (it == drives.end()) throw std::invalid_argument("memory file system: no such drive");
    return it->second;
}
} // namespace

void MemoryPlatform::SetNetworkName(char letter, const Text& remoteName)
{
    MustDrive(impl_->drives, letter).networkName = remoteName;
}

void MemoryPlatform::FailNetworkName(char letter, DWORD error)
{
    MustDrive(impl_->drives, letter).networkError = error;
}

void MemoryPlatform::FailVolumeInformation(char letter, DWORD error)
{
    MustDrive(impl_->drives, letter).volumeError = error;
}

void MemoryPlatform::SetNotReady(char letter, bool notReady) { MustDrive(impl_->drives, letter).notReady = notReady; }

void MemoryPlatform::AddDirectory(const Text& path, DWORD attributes, const Text& alias)
{
    impl_->AddEntry(path, impl_->NewNode(true, attributes), alias);
}

void MemoryPlatform::AddFile(const Text& path, DWORD attributes, const Text& alias, const std::string& contents)
{
    Node* node = impl_->NewNode(false, attributes);
    node->contents = contents;
    impl_->AddEntry(path, node, alias);
}

void MemoryPlatform::AddLink(const Text& path, const Text& target, const Text& alias)
{
    impl_->AddEntry(path, impl_->MustResolve(target), alias);
}

void MemoryPlatform::FailSearch(const Text& directory, DWORD error)
{
    impl_->MustResolve(directory)->searchError = error;
}

void MemoryPlatform::DenyWrites(const Text& directory) { impl_->MustResolve(directory)->denyWrites = true; }

void MemoryPlatform::HoldOpen(const Text& path, bool held) { impl_->MustResolve(path)->heldOpen = held; }

void MemoryPlatform::SetFreeSpace(char letter, std::size_t bytes)
{
    MustDrive(impl_->drives, letter).freeSpace = bytes;
}

void MemoryPlatform::SetModuleFileName(const Text& path) { impl_->moduleFileName = path; }

void MemoryPlatform::DeleteWorkingDirectory() { impl_->workingDirectoryDeleted = true; }

void MemoryPlatform::SetTicks(DWORD ticks, DWORD step)
{
    impl_->ticks = ticks;
    impl_->tickStep = step;
}

bool MemoryPlatform::Exists(const Text& path) const
{
    KeepLastError keep;
    DWORD error = ERROR_SUCCESS;
    return impl_->Resolve(path, error) != nullptr;
}

std::optional<std::string> MemoryPlatform::FileContents(const Text& path) const
{
    KeepLastError keep;
    DWORD error = ERROR_SUCCESS;
    const Node* node = impl_->Resolve(path, error);
    if (node == nullptr || node->directory) return std::nullopt;
    return node->contents;
}

DWORD MemoryPlatform::AttributesOf(const Text& path) const
{
    KeepLastError keep;
    DWORD error = ERROR_SUCCESS;
    const Node* node = impl_->Resolve(path, error);
    return node == nullptr ? INVALID_FILE_ATTRIBUTES : node->attributes;
}

std::vector<Text> MemoryPlatform::EntryNames(const Text& directory) const
{
    KeepLastError keep;
    std::vector<Text> names;
    DWORD error = ERROR_SUCCESS;
    const Node* node = impl_->Resolve(directory, error);
    if (node == nullptr) return names;
    for (const Entry& e : node->entries) names.push_back(e.name);
    return names;
}

const std::vector<MemoryPlatform::AttributeCall>& MemoryPlatform::AttributeCalls() const
{
    return impl_->attributeCalls;
}

UINT MemoryPlatform::ErrorMode() const { return impl_->errorMode; }
std::size_t MemoryPlatform::OpenSearches() const { return impl_->searches.size(); }
std::size_t MemoryPlatform::MostOpenSearches() const { return impl_->mostSearches; }
std::size_t MemoryPlatform::OpenFiles() const { return impl_->files.size(); }
std::size_t MemoryPlatform::SearchesStarted() const { return impl_->searchesStarted; }

// ---- FileSystem ---------------------------------------------------------------

HANDLE MemoryPlatform::FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* data)
{
    ++impl_->searchesStarted;
    const std::string_view text = pattern ? pattern : "";
    FullPath full;
    std::string_view rest;
    DWORD error = ERROR_SUCCESS;
    if (!impl_->Parse(text, full, rest, error)) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    std::vector<Text> names = SplitNames(rest);
    if (names.empty() || (!rest.empty() && IsSeparator(rest.back()))) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    const Text wanted = UpperCaseText(names.back());
    names.pop_back();
    ApplyNames(full.names, names);
    if (full.drive->notReady) {
        SetLastError(ERROR_NOT_READY);
        return INVALID_HANDLE_VALUE;
    }
    Node* directory = impl_->Walk(full, full.names.size(), error);
    if (directory == nullptr || !directory->directory) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (directory->searchError != ERROR_SUCCESS) {
        SetLastError(directory->searchError);
        return INVALID_HANDLE_VALUE;
    }
    Search search;
    if (!full.names.empty()) {
        DWORD ignored = ERROR_SUCCESS;
        Node* parent = impl_->Walk(full, full.names.size() - 1, ignored);
        if (Matches(wanted, ".")) search.items.push_back({".", {}, directory});
        if (Matches(wanted, "..")) search.items.push_back({"..", {}, parent});
    }
    const bool wild = HasWildcard(wanted);
    for (const Entry& e : directory->entries) {
        const bool hit =
            wild ? (Matches(wanted, e.upperName) || (!e.upperAlias.empty() && Matches(wanted, e.upperAlias)))
                 : (e.upperName == wanted || e.upperAlias == wanted);
        if (hit) search.items.push_back({e.name, e.alias, e.node});
    }
    if (search.items.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
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

BOOL MemoryPlatform::FindClose(HANDLE search)
{
    if (impl_->searches.erase(search) == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    return true;
}

DWORD MemoryPlatform::GetShortPathNameA(const char* longPath, char* shortPath, DWORD capacity)
{
    const std::string_view text = longPath ? longPath : "";
    DWORD error = ERROR_SUCCESS;
    if (longPath == nullptr || impl_->Resolve(text, error) == nullptr) {
        SetLastError(longPath == nullptr ? ERROR_INVALID_PARAMETER : error);
        return 0;
    }
    // Walk the text as given: the start and the separators are kept, each
    // name is replaced by its entry's alias where it has one.
    FullPath full;
    std::string_view rest;
    impl_->Parse(text, full, rest, error);
    std::vector<Node*> stack{full.drive->root};
    for (const Text& name : full.names) {
        const Entry* entry = Impl::Lookup(stack.back(), name);
        if (entry == nullptr) {
            SetLastError(ERROR_PATH_NOT_FOUND);
            return 0;
        }
        stack.push_back(entry->node);
    }
    Text result(text.substr(0, text.size() - rest.size()));
    std::size_t i = 0;
    while (i < rest.size()) {
        if (IsSeparator(rest[i])) {
            result.push_back(rest[i++]);
            continue;
        }
        const std::size_t end = Impl::FindSeparatorOrSlash(rest, i);
        const std::string_view name = rest.substr(i, end - i);
        i = end;
        if (name == ".") {
            result += name;
        } else if (name == "..") {
            if (stack.size() > 1) stack.pop_back();
            result += name;
        } else {
            const Entry* entry = stack.back()->directory ? Impl::Lookup(stack.back(), name) : nullptr;
            if (entry == nullptr) {
                SetLastError(i >= rest.size() ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
                return 0;
            }
            stack.push_back(entry->node);
            result += entry->alias.empty() ? Text(name) : entry->alias;
        }
    }
    SetLastError(ERROR_SUCCESS);
    return CopyOut(result, shortPath, capacity);
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
    if (node == nullptr) {
        SetLastError(path ? error : ERROR_INVALID_PARAMETER);
        return false;
    }
    if (!node->directory) {
        SetLastError(ERROR_DIRECTORY);
        return false;
    }
    full.drive->currentDirectory = full.names;
    impl_->currentDrive = full.drive->letter;
    const std::string_view text = path;
    // A path relative to the current directory keeps the way it was entered.
    if (text.size() >= 2 && IsSeparator(text[0]) && IsSeparator(text[1]))
        impl_->currentByNetworkPath = true;
    else if (text.size() >= 2 && text[1] == ':')
        impl_->currentByNetworkPath = false;
    return true;
}

DWORD MemoryPlatform::GetCurrentDirectoryA(DWORD capacity, char* buffer)
{
    const Drive* drive = impl_->FindDrive(impl_->currentDrive);
    if (drive == nullptr) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return 0;
    }
    Text text =
        impl_->currentByNetworkPath && drive->networkName ? *drive->networkName + "\\" : Text{drive->letter, ':', '\\'};
    for (std::size_t i = 0; i < drive->currentDirectory.size(); ++i) {
        if (i) text.push_back('\\');
        text += drive->currentDirectory[i];
    }
    return CopyOut(text, buffer, capacity);
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
    Entry* entry = Impl::Lookup(parent, full.names.back());
    Node* node = entry ? entry->node : nullptr;
    if (node != nullptr) {
        if (node->directory) {
            SetLastError(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
        const bool othersShare = !node->heldOpen && node->openHandles == node->sharedReaders;
        if (impl_->Busy(node) && !(sharedReader && othersShare)) {
            SetLastError(ERROR_SHARING_VIOLATION);
            return INVALID_HANDLE_VALUE;
        }
        if (disposition == CREATE_NEW) {
            SetLastError(ERROR_FILE_EXISTS_CODE);
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
        added.name = full.names.back();
        added.upperName = UpperCaseText(added.name);
        added.node = node;
        parent->entries.push_back(std::move(added));
    }
    ++node->openHandles;
    if (sharedReader) ++node->sharedReaders;
    const HANDLE handle = impl_->NewHandle();
    impl_->files.emplace(handle, OpenFile{node, full.drive, writable, sharedReader});
    SetLastError(ERROR_SUCCESS);
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
    impl_->files.erase(handle);
    return true;
}

BOOL MemoryPlatform::MoveFileExA(const char* existing, const char* target, DWORD flags)
{
    FullPath from, to;
    DWORD error = ERROR_SUCCESS;
    Node* fromParent = existing ? impl_->Parent(existing, from, error) : nullptr;
    Entry* source = fromParent ? Impl::Lookup(fromParent, from.names.back()) : nullptr;
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
    Entry* replaced = Impl::Lookup(toParent, to.names.back());
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
    Entry moved;
    moved.name = to.names.back();
    moved.upperName = UpperCaseText(moved.name);
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
    Entry* entry = parent ? Impl::Lookup(parent, full.names.back()) : nullptr;
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
    const Text& name = impl_->moduleFileName;
    if (buffer == nullptr || capacity == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (name.size() >= capacity) {
        // As Windows: cut to fit, terminated, the capacity returned.
        std::memcpy(buffer, name.data(), capacity - 1);
        buffer[capacity - 1] = '\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return capacity;
    }
    std::memcpy(buffer, name.data(), name.size());
    buffer[name.size()] = '\0';
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(name.size());
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

BOOL MemoryPlatform::WindowsPathFromLinuxPath(std::string_view linuxPath, std::string& windowsPath)
{
    std::vector<Text> names;
    Text start = "C:";
    if (linuxPath.empty() || linuxPath[0] != '/') {
        if (impl_->workingDirectoryDeleted) {
            SetLastError(ERROR_PATH_NOT_FOUND);
            return false;
        }
        Text current(MAX_PATH, '\0');
        const DWORD length = GetCurrentDirectoryA(static_cast<DWORD>(current.size()), current.data());
        if (length == 0 || length >= current.size()) return false;
        current.resize(length);
        start = current.substr(0, 2);
        names = SplitNames(current.substr(2));
    }
    std::size_t at = 0;
    while (at <= linuxPath.size()) {
        std::size_t end = linuxPath.find('/', at);
        if (end == std::string_view::npos) end = linuxPath.size();
        const std::string_view name = linuxPath.substr(at, end - at);
        at = end + 1;
        if (name.empty() || name == ".") continue;
        if (name == "..") {
            if (!names.empty()) names.pop_back();
            continue;
        }
        names.push_back(Cp932FromUtf8(name));
    }
    windowsPath = start;
    for (const Text& name : names) windowsPath += "\\" + name;
    if (names.empty()) windowsPath += "\\";
    SetLastError(ERROR_SUCCESS);
    return true;
}

BOOL MemoryPlatform::LinuxPathFromWindowsPath(std::string_view windowsPath, std::string& linuxPath)
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
    for (const Text& name : full.names) {
        const Entry* entry = Impl::Lookup(const_cast<Node*>(node), name);
        linuxPath += "/" + Utf8FromCp932(entry->name);
        node = entry->node;
    }
    if (linuxPath.empty()) linuxPath = "/";
    SetLastError(ERROR_SUCCESS);
    return true;
}

// ---- Volumes --------------------------------------------------------------------

DWORD MemoryPlatform::GetLogicalDrives()
{
    DWORD bits = impl_->extraDriveBits;
    for (const auto& [letter, drive] : impl_->drives) bits |= DWORD{1} << (letter - 'A');
    return bits;
}

UINT MemoryPlatform::GetDriveTypeA(const char* root)
{
    FullPath full;
    std::string_view rest;
    DWORD error = ERROR_SUCCESS;
    const std::string_view text = root ? root : "\\";
    if (!impl_->Parse(text, full, rest, error)) return DRIVE_NO_ROOT_DIR;
    if (!SplitNames(rest).empty()) return DRIVE_NO_ROOT_DIR;
    return full.drive->type;
}

BOOL MemoryPlatform::GetVolumeInformationA(const char* root, char* volumeName, DWORD volumeNameSize,
                                           DWORD* serialNumber, DWORD* maxComponentLength, DWORD* fileSystemFlags,
                                           char* fileSystemName, DWORD fileSystemNameSize)
{
    FullPath full;
    std::string_view rest;
    DWORD error = ERROR_SUCCESS;
    const std::string_view text = root ? root : "\\";
    if (!impl_->Parse(text, full, rest, error)) {
        SetLastError(error);
        return false;
    }
    const Drive& drive = *full.drive;
    if (drive.notReady || drive.volumeError != ERROR_SUCCESS) {
        SetLastError(drive.notReady ? ERROR_NOT_READY : drive.volumeError);
        return false;
    }
    const Text fileSystem = drive.type == DRIVE_CDROM ? "CDFS" : "NTFS";
    if ((volumeName && volumeNameSize <= drive.label.size()) ||
        (fileSystemName && fileSystemNameSize <= fileSystem.size())) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return false;
    }
    if (volumeName) CopyOut(drive.label, volumeName, volumeNameSize);
    if (fileSystemName) CopyOut(fileSystem, fileSystemName, fileSystemNameSize);
    if (serialNumber) *serialNumber = drive.serialNumber;
    if (maxComponentLength) *maxComponentLength = 255;
    if (fileSystemFlags) *fileSystemFlags = drive.fileSystemFlags;
    return true;
}

DWORD MemoryPlatform::WNetGetConnectionA(const char* localName, char* remoteName, DWORD* length)
{
    const std::string_view text = localName ? localName : "";
    const Drive* drive = (text.size() == 2 && text[1] == ':') ? impl_->FindDrive(text[0]) : nullptr;
    if (drive == nullptr) return ERROR_NOT_CONNECTED;
    if (drive->networkError != ERROR_SUCCESS) return drive->networkError;
    if (!drive->networkName) return ERROR_NOT_CONNECTED;
    if (length == nullptr) return ERROR_INVALID_PARAMETER;
    const Text& name = *drive->networkName;
    if (remoteName == nullptr || *length <= name.size()) {
        *length = static_cast<DWORD>(name.size() + 1);
        return ERROR_MORE_DATA;
    }
    CopyOut(name, remoteName, *length);
    return ERROR_SUCCESS;
}

UINT MemoryPlatform::SetErrorMode(UINT mode)
{
    const UINT previous = impl_->errorMode;
    impl_->errorMode = mode;
    return previous;
}

// ---- Clock ------------------------------------------------------------------------

DWORD MemoryPlatform::GetTickCount()
{
    const DWORD now = impl_->ticks;
    impl_->ticks += impl_->tickStep;
    return now;
}

} // namespace kivra::platform
