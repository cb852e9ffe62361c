#include "platform/posix/DirectoryCache.h"

#include "platform/posix/DirectoryReader.h"
#include "platform/posix/Errors.h"

#include <dirent.h>
#include <errno.h>

#include <algorithm>
#include <ctime>

namespace kivra::platform::posix {

namespace {

// Times are kept in clock ticks: a change within the tick that a directory
// last changed in would leave them as they are. True when that tick may not
// be over yet.
bool Recent(const DirectoryState& seen)
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const auto nanoseconds = [](const timespec& t) {
        return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
    };
    const long long latest = std::max(nanoseconds(seen.modified), nanoseconds(seen.changed));
    return nanoseconds(now) - latest < 100000000LL;
}

// Whether the listing shows subdirectories (or entries of unknown kind).
bool Passage(const DirectoryTable& table)
{
    for (std::size_t i = 0; i < table.Size(); ++i)
        if (table[i].kind == DT_DIR || table[i].kind == DT_UNKNOWN) return true;
    return false;
}

} // namespace

bool DirectoryCache::BeginCall()
{
    ++call_;
    const ChangeWatch::News news = watch_.BeginCall([this](int watch, bool gone) {
        const auto found = watched_.find(watch);
        if (found == watched_.end()) return;
        Drop(*found->second);
        if (!gone) return;
        found->second->watch = -1;
        watched_.erase(found);
    });
    if (news.lost)
        for (auto& [id, node] : nodes_) Drop(node);
    if (!news.released) return false;
    // Every watch is gone: so are the tables they kept, and the memory they
    // took while the program was idle.
    nodes_.clear();
    watched_.clear();
    leafWatches_.clear();
    return true;
}

DirectoryNode& DirectoryCache::NodeOf(const struct stat& st)
{
    const FileIdentity id = IdentityOf(st);
    DirectoryNode& node = nodes_[id];
    node.id = id;
    return node;
}

void DirectoryCache::Drop(DirectoryNode& node)
{
    node.table.reset();
    node.children.clear();
    node.serial = ++nextSerial_;
}

bool DirectoryCache::Current(DirectoryNode& node, int fd, const struct stat* fresh)
{
    if (fresh != nullptr) {
        node.now = DirectoryState::Of(*fresh);
        node.nowCall = call_;
    }
    if (!node.table) return false;
    if (node.watch >= 0 || node.checkedCall == call_) return true;
    const DirectoryState* now = StateOf(node, fd);
    if (now != nullptr && !node.unsettled && node.seen.Same(*now)) {
        node.checkedCall = call_;
        return true;
    }
    Drop(node);
    return false;
}

const DirectoryState* DirectoryCache::StateOf(DirectoryNode& node, int fd)
{
    if (node.nowCall == call_) return &node.now;
    struct stat st {};
    if (fstat(fd, &st) != 0) return nullptr;
    node.now = DirectoryState::Of(st);
    node.nowCall = call_;
    return &node.now;
}

bool DirectoryCache::StartWatch(DirectoryNode& node, int fd)
{
    node.watch = watch_.Watch(fd, node.id.volume);
    if (node.watch >= 0) watched_[node.watch] = &node;
    return node.watch >= 0;
}

// Reads the node's table from `fd`, its state taken first: a change made
// while the names are read shows in its times afterwards.
bool DirectoryCache::Read(DirectoryNode& node, int fd, bool rewind, DWORD& error)
{
    const DirectoryState* now = StateOf(node, fd);
    if (now == nullptr) {
        error = ErrorFromErrno(errno, ERROR_PATH_NOT_FOUND);
        return false;
    }
    node.seen = *now;
    node.table = ReadDirectoryTable(fd, rewind, &error);
    node.children.clear();
    node.serial = ++nextSerial_;
    if (!node.table) return false;
    node.passage = Passage(*node.table);
    node.checkedCall = call_;
    return true;
}

// Gives back the watch of the longest-watched directory without
// subdirectories; false when there is none. Notices up to the last call's
// start have been read; a later change shows in its times, but within the
// clock tick they stand at.
bool DirectoryCache::TakeLeafWatch()
{
    while (!leafWatches_.empty()) {
        DirectoryNode& leaf = *leafWatches_.front();
        leafWatches_.pop_front();
        if (leaf.watch < 0 || leaf.passage) continue;
        watch_.Unwatch(leaf.watch);
        watched_.erase(leaf.watch);
        leaf.watch = -1;
        leaf.unsettled = leaf.table && Recent(leaf.seen);
        return true;
    }
    return false;
}

const DirectoryTable* DirectoryCache::TableOf(DirectoryNode& node, int fd, bool rewind, DWORD& error)
{
    if (Current(node, fd)) return node.table.get();
    // Watched before it is read: no change can fall in between.
    if (node.watch < 0) StartWatch(node, fd);
    if (!Read(node, fd, rewind, error)) return nullptr;
    return Settle(node, fd, error) ? node.table.get() : nullptr;
}

// Watches a directory whose table has been read; the table is read again
// when its times have moved since, or cannot tell.
bool DirectoryCache::WatchRead(DirectoryNode& node, int fd, DWORD& error)
{
    if (!StartWatch(node, fd)) return true;
    node.nowCall = 0;
    const DirectoryState* now = StateOf(node, fd);
    if (now != nullptr && node.seen.Same(*now) && !Recent(node.seen)) return true;
    return Read(node, fd, true, error);
}

// What follows a table's reading. Past the limit, a directory that paths go
// through is watched after all, with the watch of one that only holds last
// names; a change made between its reading and its watch shows in its times.
bool DirectoryCache::Settle(DirectoryNode& node, int fd, DWORD& error)
{
    if (node.watch < 0 && node.passage && watch_.Full() && TakeLeafWatch() && !WatchRead(node, fd, error)) return false;
    if (node.watch >= 0 && !node.passage) leafWatches_.push_back(&node);
    node.unsettled = node.watch < 0 && Recent(node.seen);
    return true;
}

bool DirectoryCache::Adopt(DirectoryNode& node, int fd, const struct stat& st,
                           std::shared_ptr<const DirectoryTable> table, ChangeWatch::Ticket& ticket, DWORD& error)
{
    const DirectoryState seen = DirectoryState::Of(st);
    if (ticket.watch >= 0) {
        if (!watch_.Quiet(ticket)) return false;
        const auto held = watched_.find(ticket.watch);
        if (held != watched_.end()) {
            // The kernel gave the directory's own watch once more.
            if (held->second != &node) return false;
            watch_.CountedTwice();
        } else if (node.watch >= 0) {
            return false;
        } else {
            node.watch = ticket.watch;
            watched_[node.watch] = &node;
        }
        ticket.watch = -1;
        node.now = seen;
        node.nowCall = call_;
    } else {
        // Compared as any unwatched table is, and not within the clock tick
        // of a change, which its times cannot tell.
        node.nowCall = 0;
        const DirectoryState* now = StateOf(node, fd);
        if (now == nullptr || !seen.Same(*now) || Recent(seen)) return false;
    }
    node.seen = seen;
    node.table = std::move(table);
    node.children.clear();
    node.serial = ++nextSerial_;
    node.passage = Passage(*node.table);
    node.checkedCall = call_;
    // Read where no watch could be set: watched now, if it can be.
    if (node.watch < 0 && !watch_.Full() && !WatchRead(node, fd, error)) return false;
    return Settle(node, fd, error);
}

void DirectoryCache::Dispose(const ChangeWatch::Ticket& ticket)
{
    if (ticket.watch < 0 || !watch_.OfThisQueue(ticket)) return; // gone with its queue
    // The kernel gives a directory watched already its watch again: that one
    // stays, counted once. A watch being given back was counted once more.
    if (watched_.count(ticket.watch) != 0 || watch_.Removing(ticket.watch)) {
        watch_.CountedTwice();
        return;
    }
    watch_.Unwatch(ticket.watch);
}

} // namespace kivra::platform::posix
