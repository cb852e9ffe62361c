#pragma once
// The tables of the directories the platform has read, kept by file
// identity, behind one question: does a directory's table still stand for
// the directory as it is now? A table read while its directory was watched
// stands until a notice says otherwise; any other is compared with its
// directory's times, at most once per call.

#include "platform/Win32.h"
#include "platform/posix/ChangeWatch.h"
#include "platform/posix/DirectoryTable.h"

#include <sys/stat.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <unordered_map>

namespace kivra::platform::posix {

// What a directory's stat tells of its state: enough to see that it has
// changed, and its mode.
struct DirectoryState {
    timespec modified{};
    timespec changed{};
    std::int64_t size = 0;
    std::uint64_t links = 0;
    mode_t mode = 0;

    static DirectoryState Of(const struct stat& st)
    {
        return DirectoryState{st.st_mtim, st.st_ctim, static_cast<std::int64_t>(st.st_size),
                              static_cast<std::uint64_t>(st.st_nlink), st.st_mode};
    }
    bool Same(const DirectoryState& other) const
    {
        return modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec &&
               changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec &&
               size == other.size && links == other.links;
    }
};

// One directory as last read.
struct DirectoryNode {
    FileIdentity id;
    DirectoryState seen; // when its table was read
    std::shared_ptr<const DirectoryTable> table;
    std::uint64_t serial = 0; // changes whenever the table is dropped or replaced
    int watch = -1;
    bool unsettled = false; // read within the clock tick of its last change: its times cannot tell
    std::uint64_t checkedCall = 0;
    bool passage = false; // it has subdirectories: paths go through it
    DirectoryState now;   // as taken in call `nowCall`
    std::uint64_t nowCall = 0;
    // The directories its table's entries were found to be, by entry; valid
    // with the table.
    std::unordered_map<std::size_t, DirectoryNode*> children;
};

struct IdentityHash {
    std::size_t operator()(const FileIdentity& id) const noexcept
    {
        return std::hash<std::uint64_t>()(id.volume * 0x9E3779B97F4A7C15ull ^ id.index);
    }
};

class DirectoryCache {
public:
    explicit DirectoryCache(ChangeWatch& watch) : watch_(watch) {}
    DirectoryCache(const DirectoryCache&) = delete;
    DirectoryCache& operator=(const DirectoryCache&) = delete;

    // Every call of the platform that looks at directories is one call here.
    // True when every node was forgotten (the program was idle): pointers to
    // nodes held from before are no longer valid.
    bool BeginCall();
    void EndCall() { watch_.EndCall(); }

    // The node of a directory with this stat.
    DirectoryNode& NodeOf(const struct stat& st);

    // Whether the node's table stands for the directory open on `fd` now
    // (`fresh`: its stat, when just taken). One that does not is dropped.
    bool Current(DirectoryNode& node, int fd, const struct stat* fresh = nullptr);

    // The node's table, read now from `fd` when it has none that stands
    // (`rewind`: the descriptor may be past the directory's start).
    const DirectoryTable* TableOf(DirectoryNode& node, int fd, bool rewind, DWORD& error);

    // The directory's state as of this call (taken now if not yet).
    const DirectoryState* StateOf(DirectoryNode& node, int fd);

    // Takes a table read ahead on another thread (ReadAhead.h) as the node's,
    // when it still stands for the directory open on `fd`: watched before it
    // was read, with no notice since; or, unwatched, its directory's times
    // (`st`, taken before it was read) unchanged and settled then. False
    // when it does not stand (the node keeps what it had, the ticket is
    // left to Dispose), or on a failure of the directory (error set).
    bool Adopt(DirectoryNode& node, int fd, const struct stat& st, std::shared_ptr<const DirectoryTable> table,
               ChangeWatch::Ticket& ticket, DWORD& error);
    // Gives back a watch set aside for a directory whose table was not taken
    // (unless it is the one a node holds).
    void Dispose(const ChangeWatch::Ticket& ticket);

    static FileIdentity IdentityOf(const struct stat& st)
    {
        return FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    }

private:
    void Drop(DirectoryNode& node);
    bool Read(DirectoryNode& node, int fd, bool rewind, DWORD& error);
    bool StartWatch(DirectoryNode& node, int fd);
    bool TakeLeafWatch();
    bool WatchRead(DirectoryNode& node, int fd, DWORD& error);
    bool Settle(DirectoryNode& node, int fd, DWORD& error);

    ChangeWatch& watch_;
    std::unordered_map<FileIdentity, DirectoryNode, IdentityHash> nodes_;
    std::unordered_map<int, DirectoryNode*> watched_;
    // Watched directories without subdirectories, oldest first: past the
    // limit, a directory that paths go through takes the watch of one of
    // these. (Entries whose node has lost its watch since are skipped.)
    std::deque<DirectoryNode*> leafWatches_;
    std::uint64_t call_ = 0;
    std::uint64_t nextSerial_ = 0;
};

} // namespace kivra::platform::posix
