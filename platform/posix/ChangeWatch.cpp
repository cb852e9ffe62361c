#include "platform/posix/ChangeWatch.h"

#include <errno.h>
#include <limits.h>
#include <sys/inotify.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cstring>
#include <string>

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
    if (queue_ >= 0) close(queue_);
    queue_ = -1;
    count_ = 0;
    removed_.clear();
}

ChangeWatch::News ChangeWatch::BeginCall(const std::function<void(int, bool)>& changed)
{
    News news;
    calls_.fetch_add(1, std::memory_order_relaxed);
    inCall_.store(true);
    if (closing_.load()) {
        // The idle thread holds the lock while it closes the queue.
        std::lock_guard wait(mutex_);
    }
    if (released_.load()) {
        released_.store(false);
        news.released = true;
        return news;
    }
    if (queue_ < 0 || count_ == 0) return news;
    alignas(inotify_event) char buffer[16384];
    for (;;) {
        const ssize_t length = read(queue_, buffer, sizeof buffer);
        if (length <= 0) break;
        for (ssize_t at = 0; at < length;) {
            inotify_event event{};
            std::memcpy(&event, buffer + at, sizeof event);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event.len);
            if (event.mask & IN_Q_OVERFLOW) news.lost = true;
            const bool gone = (event.mask & IN_IGNORED) != 0;
            if (gone && removed_.erase(event.wd) > 0) continue; // counted when given back
            if (event.wd >= 0) changed(event.wd, gone);
            if (gone && count_ > 0) --count_;
        }
        // Room left for the longest event: the queue was empty.
        if (static_cast<std::size_t>(length) + sizeof(inotify_event) + NAME_MAX + 1 <= sizeof buffer) break;
    }
    return news;
}

void ChangeWatch::EndCall() { inCall_.store(false); }

int ChangeWatch::Watch(int fd, std::uint64_t device)
{
    if (Full()) return -1;
    if (queue_ < 0) {
        const int queue = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (queue < 0) return -1;
        {
            std::lock_guard lock(mutex_);
            queue_ = queue;
        }
        if (!idleThread_.joinable()) idleThread_ = std::thread([this] { WaitForIdle(); });
        wake_.notify_all();
    }
    auto known = watchable_.find(device);
    if (known == watchable_.end()) {
        struct statfs fs {};
        if (fstatfs(fd, &fs) != 0) return -1;
        known = watchable_.emplace(device, Reported(static_cast<unsigned long>(fs.f_type))).first;
    }
    if (!known->second) return -1;
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    const int watch = inotify_add_watch(queue_, path.c_str(), Changes);
    if (watch < 0) return -1; // out of watches: compared instead
    ++count_;
    return watch;
}

void ChangeWatch::Unwatch(int watch)
{
    if (queue_ < 0 || inotify_rm_watch(queue_, watch) != 0) return;
    removed_.insert(watch);
    if (count_ > 0) --count_;
}

// Gives every watch back once no call has come for the idle time: closing
// the queue removes them all at once.
void ChangeWatch::WaitForIdle()
{
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (queue_ < 0) {
            wake_.wait(lock);
            continue;
        }
        // Calls do not wake this thread: it counts them and looks again
        // after the idle time.
        const std::uint64_t calls = calls_.load(std::memory_order_relaxed);
        wake_.wait_for(lock, idle_);
        if (stopping_ || calls_.load(std::memory_order_relaxed) != calls) continue;
        closing_.store(true);
        if (!inCall_.load()) {
            Close();
            released_.store(true);
        }
        closing_.store(false);
    }
}

} // namespace kivra::platform::posix
