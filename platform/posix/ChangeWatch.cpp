#include "platform/posix/ChangeWatch.h"

#include "platform/Process.h"

#include <errno.h>
#include <limits.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace kivra::platform::posix {

namespace {

// Changes made elsewhere on network and FUSE file systems go unreported.
bool Reported(unsigned long type)
{
    switch (type) {
    case 0x6969:                   // nfs
    case 0x517B:                   // smb
    case 0xFE534D42:               // smb2
    case 0xFF534D42:               // cifs
    case 0x65735546:               // fuse
    case 0x01021997:               // 9p
    case 0x00C36400:               // ceph
    case 0x5346414F:               // afs
    case 0x73757245:               // coda
    case 0x0BD00BD0:               // lustre
    case 0x7461636F:               // ocfs2
    case 0x01161970: return false; // gfs2
    default: return true;
    }
}

constexpr std::uint32_t Changes =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

} // namespace

ChangeWatch::ChangeWatch(std::size_t limit, std::chrono::milliseconds idle) : limit_(limit), idle_(idle) {}

ChangeWatch::~ChangeWatch()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (idleThread_.joinable()) idleThread_.join();
    Close();
}

void ChangeWatch::Close()
{
    const int queue = queue_.exchange(-1);
    if (queue >= 0) close(queue);
    count_.store(0);
    removed_.clear();
    noticed_.clear();
}

void ChangeWatch::Enter()
{
    users_.fetch_add(1);
    if (closing_.load()) {
        // The idle thread holds the lock while it closes the queue.
        std::lock_guard wait(mutex_);
    }
}

void ChangeWatch::Leave() { users_.fetch_sub(1); }

ChangeWatch::News ChangeWatch::BeginCall(const std::function<void(int, bool)>& changed)
{
    News news;
    calls_.fetch_add(1, std::memory_order_relaxed);
    Enter();
    if (released_.load()) {
        released_.store(false);
        noticed_.clear();
        news.released = true;
        return news;
    }
    const int queue = queue_.load();
    if (queue < 0 || Count() == 0) return news;
    // Tagged before it reads: a notice of a watch set aside after the tag was
    // taken comes with this tag or a later one.
    const std::uint64_t tag = tag_.fetch_add(1) + 1;
    // Nearly always empty: asking how much it holds costs the kernel less
    // than a read that finds nothing.
    int pending = 0;
    if (ioctl(queue, FIONREAD, &pending) == 0 && pending == 0) return news;
    alignas(inotify_event) char buffer[16384];
    for (;;) {
        const ssize_t length = read(queue, buffer, sizeof buffer);
        if (length <= 0) break;
        for (ssize_t at = 0; at < length;) {
            inotify_event event{};
            std::memcpy(&event, buffer + at, sizeof event);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event.len);
            if (event.mask & IN_Q_OVERFLOW) {
                news.lost = true;
                forgotten_ = tag;
            }
            if (event.wd < 0) continue;
            noticed_[event.wd] = tag;
            const bool gone = (event.mask & IN_IGNORED) != 0;
            if (gone && removed_.erase(event.wd) > 0) continue; // counted when given back
            changed(event.wd, gone);
            if (gone && Count() > 0) count_.fetch_sub(1, std::memory_order_relaxed);
        }
        // Room left for the longest event: the queue was empty.
        if (static_cast<std::size_t>(length) + sizeof(inotify_event) + NAME_MAX + 1 <= sizeof buffer) break;
    }
    // The record is kept short: past its size, what it held is forgotten.
    if (noticed_.size() > 4096) {
        noticed_.clear();
        forgotten_ = tag;
    }
    return news;
}

void ChangeWatch::EndCall() { Leave(); }

bool ChangeWatch::Watchable(int fd, std::uint64_t device)
{
    std::lock_guard lock(watchableMutex_);
    auto known = watchable_.find(device);
    if (known == watchable_.end()) {
        struct statfs fs {};
        if (fstatfs(fd, &fs) != 0) return false;
        known = watchable_.emplace(device, Reported(static_cast<unsigned long>(fs.f_type))).first;
    }
    return known->second;
}

namespace {

// The descriptor's directory named through the process's own number:
// resolving "self" costs the kernel a third of the whole look-up. Asked each
// time, so that a forked child names its own descriptors.
int AddWatch(int queue, int fd)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/fd/%d", static_cast<int>(getpid()), fd);
    return inotify_add_watch(queue, path, Changes);
}

// The same from a thread whose working directory is its own.
int AddWatchHere(int queue, int fd)
{
    if (fchdir(fd) != 0) return AddWatch(queue, fd);
    return inotify_add_watch(queue, ".", Changes);
}

} // namespace

int ChangeWatch::Watch(int fd, std::uint64_t device)
{
    if (Full()) return -1;
    if (queue_.load() < 0) {
        const int queue = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (queue < 0) return -1;
        {
            std::lock_guard lock(mutex_);
            queue_.store(queue);
            queueNumber_.fetch_add(1);
        }
        if (!idleThread_.joinable()) idleThread_ = StartThread([this] { WaitForIdle(); });
        wake_.notify_all();
    }
    if (!Watchable(fd, device)) return -1;
    count_.fetch_add(1, std::memory_order_relaxed);
    const int watch = AddWatch(queue_.load(), fd);
    if (watch < 0) count_.fetch_sub(1, std::memory_order_relaxed); // out of watches: compared instead
    return watch;
}

ChangeWatch::Ticket ChangeWatch::WatchAside(int fd, std::uint64_t device, bool ownDirectory)
{
    Ticket ticket;
    Enter();
    const int queue = queue_.load();
    if (queue >= 0 && !Full() && Watchable(fd, device)) {
        ticket.queue = queueNumber_.load();
        ticket.from = tag_.load();
        // Counted before it exists: a call that finds no watch counted reads
        // no notices, and this watch's first notice must not be missed.
        count_.fetch_add(1, std::memory_order_relaxed);
        ticket.watch = ownDirectory ? AddWatchHere(queue, fd) : AddWatch(queue, fd);
        if (ticket.watch < 0) count_.fetch_sub(1, std::memory_order_relaxed);
    }
    Leave();
    return ticket;
}

bool ChangeWatch::Quiet(const Ticket& ticket) const
{
    if (ticket.watch < 0 || !OfThisQueue(ticket) || ticket.from <= forgotten_ || Removing(ticket.watch)) return false;
    const auto noticed = noticed_.find(ticket.watch);
    return noticed == noticed_.end() || noticed->second < ticket.from;
}

void ChangeWatch::Unwatch(int watch)
{
    const int queue = queue_.load();
    if (queue < 0 || inotify_rm_watch(queue, watch) != 0) return;
    removed_.insert(watch);
    if (Count() > 0) count_.fetch_sub(1, std::memory_order_relaxed);
}

// Gives every watch back once no call has come for the idle time: closing
// the queue removes them all at once.
void ChangeWatch::WaitForIdle()
{
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (queue_.load() < 0) {
            wake_.wait(lock);
            continue;
        }
        // Calls do not wake this thread: it counts them and looks again
        // after the idle time.
        const std::uint64_t calls = calls_.load(std::memory_order_relaxed);
        wake_.wait_for(lock, idle_);
        if (stopping_ || calls_.load(std::memory_order_relaxed) != calls) continue;
        closing_.store(true);
        if (users_.load() == 0) {
            Close();
            released_.store(true);
        }
        closing_.store(false);
    }
}

} // namespace kivra::platform::posix
