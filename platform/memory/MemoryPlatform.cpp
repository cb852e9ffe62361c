#include "platform/memory/MemoryPlatform.h"

#include "platform/CodePage.h"
#include "platform/memory/MemoryWorld.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string_view>

namespace kivra::platform {

using memory::Drive;
using memory::Entry;
using memory::FullPath;
using memory::Node;

namespace {

char UpperLetter(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

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

Drive& MustDrive(std::map<char, Drive>& drives, char letter)
{
    auto it = drives.find(UpperLetter(letter));
    if (it == drives.end()) throw std::invalid_argument("memory file system: no such drive");
    return it->second;
}

void CopyField(const Text& text, char* field, std::size_t fieldSize)
{
    const std::size_t n = std::min(text.size(), fieldSize - 1);
    std::memcpy(field, text.data(), n);
    std::memset(field + n, 0, fieldSize - n);
}

} // namespace

DWORD memory::CopyOut(const Text& text, char* buffer, DWORD capacity)
{
    if (buffer == nullptr || capacity <= text.size()) return static_cast<DWORD>(text.size() + 1);
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = '\0';
    return static_cast<DWORD>(text.size());
}

// ---- Paths in the world ---------------------------------------------------------

memory::OpenFile* MemoryPlatform::Impl::FileOf(HANDLE handle)
{
    const auto found = files.find(handle);
    if (found == files.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return &found->second;
}

Node* MemoryPlatform::Impl::NewNode(bool directory, DWORD attributes)
{
    auto node = std::make_unique<Node>();
    node->id = nodes.size() + 1;
    node->directory = directory;
    node->attributes = directory ? (attributes | FILE_ATTRIBUTE_DIRECTORY) : attributes;
    nodes.push_back(std::move(node));
    return nodes.back().get();
}

Drive* MemoryPlatform::Impl::FindDrive(char letter)
{
    auto it = drives.find(UpperLetter(letter));
    return it == drives.end() ? nullptr : &it->second;
}

Drive* MemoryPlatform::Impl::DriveOfNetworkPath(std::string_view host, std::string_view share)
{
    const Text wanted = UpperCaseText("\\\\" + Text(host) + "\\" + Text(share));
    for (auto& [letter, drive] : drives)
        if (drive.networkName && UpperCaseText(*drive.networkName) == wanted) return &drive;
    return nullptr;
}

bool MemoryPlatform::Impl::FullOf(const WindowsPath& path, FullPath& full, DWORD& error)
{
    full.path = path;
    full.drive = path.IsNetwork() ? DriveOfNetworkPath(path.host, path.share) : FindDrive(path.letter);
    if (full.drive == nullptr) {
        error = path.IsNetwork() ? ERROR_BAD_NETPATH : ERROR_PATH_NOT_FOUND;
        return false;
    }
    if (full.drive->notReady) {
        error = ERROR_NOT_READY;
        return false;
    }
    return true;
}

bool MemoryPlatform::Impl::Full(std::string_view path, FullPath& full, DWORD& error)
{
    WindowsPath parsed;
    error = ParseWindowsPath(path, current, parsed);
    return error == ERROR_SUCCESS && FullOf(parsed, full, error);
}

Entry* MemoryPlatform::Impl::Lookup(Node* directory, std::string_view name)
{
    const Text upper = UpperCaseText(name);
    for (Entry& e : directory->entries)
        if (e.upperName == upper) return &e;
    for (Entry& e : directory->entries)
        if (!e.upperAlias.empty() && e.upperAlias == upper) return &e;
    return nullptr;
}

Node* MemoryPlatform::Impl::Walk(const FullPath& full, std::size_t count, DWORD& error)
{
    Node* node = full.drive->root;
    for (std::size_t i = 0; i < count; ++i) {
        Entry* entry = node->directory ? Lookup(node, full.Names()[i]) : nullptr;
        if (entry == nullptr) {
            error = (i + 1 == count && node->directory) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
            if (error == ERROR_PATH_NOT_FOUND && HasWildcard(full.Names()[i])) error = ERROR_INVALID_NAME;
            if (error == ERROR_FILE_NOT_FOUND && HasWildcard(full.Names()[i])) error = ERROR_INVALID_NAME;
            return nullptr;
        }
        node = entry->node;
    }
    return node;
}

Node* MemoryPlatform::Impl::Resolve(std::string_view path, DWORD& error)
{
    FullPath full;
    return Resolve(path, full, error);
}

Node* MemoryPlatform::Impl::Resolve(std::string_view path, FullPath& full, DWORD& error)
{
    if (!Full(path, full, error)) return nullptr;
    return Walk(full, full.Names().size(), error);
}

Node* MemoryPlatform::Impl::Parent(std::string_view path, FullPath& full, DWORD& error)
{
    if (!Full(path, full, error)) return nullptr;
    if (full.Names().empty()) {
        error = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    DWORD walkError = ERROR_SUCCESS;
    Node* parent = Walk(full, full.Names().size() - 1, walkError);
    if (parent == nullptr || !parent->directory) {
        error = walkError == ERROR_INVALID_NAME ? walkError : ERROR_PATH_NOT_FOUND;
        return nullptr;
    }
    return parent;
}

Node* MemoryPlatform::Impl::MustResolve(const Text& path)
{
    DWORD error = ERROR_SUCCESS;
    Node* node = Resolve(path, error);
    if (node == nullptr) throw std::invalid_argument("memory file system: no such path: " + path);
    return node;
}

void MemoryPlatform::Impl::AddEntry(const Text& path, Node* node, const Text& alias)
{
    FullPath full;
    DWORD error = ERROR_SUCCESS;
    Node* parent = Parent(path, full, error);
    if (parent == nullptr) throw std::invalid_argument("memory file system: no parent for " + path);
    Entry entry;
    entry.name = full.Names().back();
    entry.upperName = UpperCaseText(entry.name);
    entry.alias = alias;
    entry.upperAlias = UpperCaseText(alias);
    entry.node = node;
    parent->entries.push_back(std::move(entry));
}

std::size_t MemoryPlatform::Impl::IndexOf(Node* parent, const Entry* entry)
{
    return static_cast<std::size_t>(entry - parent->entries.data());
}

void MemoryPlatform::Impl::Fill(const memory::Search::Item& item, WIN32_FIND_DATAA* data) const
{
    data->dwFileAttributes = item.node->attributes;
    CopyField(item.name, data->cFileName, sizeof data->cFileName);
    CopyField(item.alias, data->cAlternateFileName, sizeof data->cAlternateFileName);
}

Drive* MemoryPlatform::Impl::DriveOfRoot(const char* root, DWORD& error)
{
    Text text;
    if (root != nullptr) {
        text = root;
    } else if (const WindowsPath* now = current.Current()) {
        text = now->driveText + "\\";
    }
    const PathText split = SplitPathText(text);
    const bool driveRoot = split.kind == PathStartKind::Drive && text.size() == 3;
    const bool shareRoot = split.kind == PathStartKind::Network && split.pieces.size() == 1 && !split.share.empty();
    WindowsPath path;
    error = driveRoot || shareRoot ? ParseWindowsPath(text, current, path) : ERROR_INVALID_NAME;
    if (error != ERROR_SUCCESS) return nullptr;
    Drive* drive = path.IsNetwork() ? DriveOfNetworkPath(path.host, path.share) : FindDrive(path.letter);
    if (drive == nullptr) error = path.IsNetwork() ? ERROR_BAD_NETPATH : ERROR_PATH_NOT_FOUND;
    return drive;
}

// ---- Building and looking at the world ---------------------------------------------

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
    const bool first = impl_->drives.empty();
    impl_->drives[drive.letter] = std::move(drive);
    if (first) impl_->current = CurrentDirectories(UpperLetter(letter));
}

void MemoryPlatform::SetExtraDriveBits(DWORD bits) { impl_->extraDriveBits = bits; }

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

void MemoryPlatform::FailShortPath(const Text& path, DWORD error) { impl_->MustResolve(path)->shortPathError = error; }

void MemoryPlatform::DenyWrites(const Text& directory) { impl_->MustResolve(directory)->denyWrites = true; }

void MemoryPlatform::HoldOpen(const Text& path, bool held) { impl_->MustResolve(path)->heldOpen = held; }

void MemoryPlatform::FailClose(const Text& path, DWORD error)
{
    memory::FullPath full;
    DWORD parseError = ERROR_SUCCESS;
    if (!impl_->Full(path, full, parseError))
        throw std::invalid_argument("memory file system: no such drive for " + path);
    impl_->closeFailures[UpperCaseText(full.path.ToText())] = error;
}

void MemoryPlatform::SetFreeSpace(char letter, std::size_t bytes)
{
    MustDrive(impl_->drives, letter).freeSpace = bytes;
}

void MemoryPlatform::SetModuleFileName(const Text& path) { impl_->moduleFileName = path; }

void MemoryPlatform::DeleteWorkingDirectory() { impl_->current.Forget(); }

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

// ---- Volumes and clock ------------------------------------------------------------

DWORD MemoryPlatform::GetLogicalDrives()
{
    DWORD bits = impl_->extraDriveBits;
    for (const auto& [letter, drive] : impl_->drives) bits |= DWORD{1} << (letter - 'A');
    return bits;
}

UINT MemoryPlatform::GetDriveTypeA(const char* root)
{
    DWORD error = ERROR_SUCCESS;
    const Drive* drive = impl_->DriveOfRoot(root, error);
    return drive ? drive->type : DRIVE_NO_ROOT_DIR;
}

BOOL MemoryPlatform::GetVolumeInformationA(const char* root, char* volumeName, DWORD volumeNameSize,
                                           DWORD* serialNumber, DWORD* maxComponentLength, DWORD* fileSystemFlags,
                                           char* fileSystemName, DWORD fileSystemNameSize)
{
    DWORD error = ERROR_SUCCESS;
    const Drive* found = impl_->DriveOfRoot(root, error);
    if (found == nullptr) {
        SetLastError(error);
        return false;
    }
    const Drive& drive = *found;
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
    if (volumeName) memory::CopyOut(drive.label, volumeName, volumeNameSize);
    if (fileSystemName) memory::CopyOut(fileSystem, fileSystemName, fileSystemNameSize);
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
    memory::CopyOut(name, remoteName, *length);
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
