#pragma once
// The kernel's notices of changes to directories (inotify), so that a call
// through directories watched since their tables were read looks at none of
// them. Watches are shared by every program of the user: they are bounded,
// and all of them are given back once no call has come for a while (the
// program is idle); the tables they kept fresh are then dropped.
//
// No signal handler: each call asks the kernel once (one read of the notice
// queue, which is empty nearly always); a thread of its own only waits for
// the idle time to pass.

#include "platform/Win32.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <unordered_set>

namespace kivra::platform::posix {

class ChangeWatch {
public:
    // At most `limit` directories watched at once (0: none); all watches are
    // given back after `idle` without a call.
    ChangeWatch(std::size_t limit, std::chrono::milliseconds idle);
    ~ChangeWatch();
    ChangeWatch(const ChangeWatch&) = delete;
    ChangeWatch& operator=(const ChangeWatch&) = delete;

    // What a call learns when it starts.
    struct News {
        bool lost = false;     // notices were lost: any watched directory may have changed
        bool released = false; // every watch was given back while the program was idle
    };
    // Starts a call (calls do not nest): `changed` is told of each watched
    // directory that changed since the last call, its watch number given,
    // and whether the watch is gone with it. Watches stay until EndCall.
    News BeginCall(const std::function<void(int watch, bool gone)>& changed);
    void EndCall();

    // Watches the directory open on `fd`, before it is read: no change can
    // fall between. -1 when it is not watched (limit reached, a file system
    // whose changes elsewhere go unreported, no watches left).
    int Watch(int fd, std::uint64_t device);
    // Gives one watch back at once (its directory's table is dropped or kept
    // by comparing its times from now on).
    void Unwatch(int watch);
    std::size_t Count() const { return count_; }
    bool Full() const { return limit_ == 0 || count_ >= limit_; }

private:
    void WaitForIdle();
    void Close();

    std::size_t limit_;
    std::chrono::milliseconds idle_;
    int queue_ = -1; // the inotify descriptor
    std::size_t count_ = 0;
    std::unordered_map<std::uint64_t, bool> watchable_; // by device
    std::unordered_set<int> removed_;                   // given back, their last notice not read yet

    // Shared with the idle thread. A call starts without a lock: it marks
    // itself in a call, then looks whether the thread is closing the queue
    // (and if so waits for the lock the thread holds meanwhile); the thread
    // marks itself closing, then looks whether a call is in progress. One of
    // the two always sees the other.
    std::mutex mutex_;
    std::condition_variable wake_;
    std::atomic<bool> inCall_{false};
    std::atomic<bool> closing_{false};
    std::atomic<bool> released_{false};
    std::atomic<std::uint64_t> calls_{0};
    bool stopping_ = false;
    std::thread idleThread_;
};

} // namespace kivra::platform::posix
