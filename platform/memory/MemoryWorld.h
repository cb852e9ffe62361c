#pragma once
// The inside of the memory platform (MemoryPlatform.h): its nodes, drives,
// searches and open files, and how paths find them.

#include "platform/WindowsPath.h"
#include "platform/memory/MemoryPlatform.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kivra::platform::memory {

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
    DWORD shortPathError = ERROR_SUCCESS;
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
};

// A full path: its drive and names, "." and ".." applied.
struct FullPath {
    Drive* drive = nullptr;
    WindowsPath path;
    const std::vector<Text>& Names() const { return path.names; }
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
    DWORD closeError = ERROR_SUCCESS;
};

// Copies a text into a caller's buffer with the Windows rules: its length
// when it fits, else the size needed with the zero.
DWORD CopyOut(const Text& text, char* buffer, DWORD capacity);

} // namespace kivra::platform::memory

namespace kivra::platform {

struct MemoryPlatform::Impl {
    std::vector<std::unique_ptr<memory::Node>> nodes;
    std::map<char, memory::Drive> drives;
    DWORD extraDriveBits = 0;
    CurrentDirectories current{'C'};
    Text moduleFileName;
    DWORD ticks = 0;
    DWORD tickStep = 0;
    UINT errorMode = 0;
    std::vector<AttributeCall> attributeCalls;
    std::map<HANDLE, memory::Search> searches;
    std::map<HANDLE, memory::OpenFile> files;
    // FailClose: the code by the upper case of the full path.
    std::map<Text, DWORD> closeFailures;
    HANDLE nextHandle = 0x100;
    std::size_t mostSearches = 0;
    std::size_t searchesStarted = 0;

    memory::OpenFile* FileOf(HANDLE handle);
    memory::Node* NewNode(bool directory, DWORD attributes);
    memory::Drive* FindDrive(char letter);
    memory::Drive* DriveOfNetworkPath(std::string_view host, std::string_view share);

    // The full path a text names, on a drive that is ready.
    bool Full(std::string_view path, memory::FullPath& full, DWORD& error);
    bool FullOf(const WindowsPath& path, memory::FullPath& full, DWORD& error);
    // A name of a directory: its shown name without regard to case, then
    // its alias.
    static memory::Entry* Lookup(memory::Node* directory, std::string_view name);
    // The node the first `count` names of a full path lead to: a missing last
    // name gives 2, anything missing or not a directory before it 3.
    memory::Node* Walk(const memory::FullPath& full, std::size_t count, DWORD& error);
    memory::Node* Resolve(std::string_view path, DWORD& error);
    memory::Node* Resolve(std::string_view path, memory::FullPath& full, DWORD& error);
    // The directory holding a path's last name; it must exist.
    memory::Node* Parent(std::string_view path, memory::FullPath& full, DWORD& error);
    memory::Node* MustResolve(const Text& path);
    void AddEntry(const Text& path, memory::Node* node, const Text& alias);
    static std::size_t IndexOf(memory::Node* parent, const memory::Entry* entry);
    bool Busy(const memory::Node* node) const { return node->heldOpen || node->openHandles > 0; }
    HANDLE NewHandle() { return nextHandle++; }
    void Fill(const memory::Search::Item& item, WIN32_FIND_DATAA* data) const;
    // The drive a root text ("X:\" or "\\host\share\") names.
    memory::Drive* DriveOfRoot(const char* root, DWORD& error);
};

} // namespace kivra::platform
