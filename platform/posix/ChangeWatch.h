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
//
// A directory read ahead on another thread (ReadAhead.h) is watched there,
// before it is read; the calls take it over later, and ask then whether any
// notice has come for its watch since it was set.

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
    std::size_t Count() const { return count_.load(std::memory_order_relaxed); }
    bool Full() const { return limit_ == 0 || Count() >= limit_; }

    // A watch set outside the calls, by another thread.
    struct Ticket {
        int watch = -1;          // -1: not watched
        std::uint64_t queue = 0; // the notice queue it was set on
        std::uint64_t from = 0;  // notices read from this tag on may concern it
    };
    // Watches the directory open on `fd` from another thread than the calls'
    // (while a call may run). The watch is counted; a call takes it over with
    // Quiet, or gives it back with Dispose. `ownDirectory`: the thread has a
    // working directory of its own (unshare CLONE_FS), which is moved there
    // to name it (cheaper for the kernel than the descriptor's /proc path).
    Ticket WatchAside(int fd, std::uint64_t device, bool ownDirectory);
    // True when no notice has come for the watch since it was set, as far as
    // the calls have read the queue (this call's start included), and the
    // watch still stands.
    bool Quiet(const Ticket& ticket) const;
    // A watch set aside that was found to be one a call already holds for
    // the same directory: counted once only.
    void CountedTwice() { count_.fetch_sub(1, std::memory_order_relaxed); }
    // Whether a watch of the present queue is being given back.
    bool Removing(int watch) const { return removed_.count(watch) != 0; }
    bool OfThisQueue(const Ticket& ticket) const { return ticket.queue == queueNumber_.load(); }

private:
    void WaitForIdle();
    void Close();
    // Enters or leaves the use of the queue (a call, or a watch set aside):
    // the idle thread closes it only while nobody uses it.
    void Enter();
    void Leave();
    bool Watchable(int fd, std::uint64_t device);

    std::size_t limit_;
    std::chrono::milliseconds idle_;
    std::atomic<int> queue_{-1};                // the inotify descriptor
    std::atomic<std::uint64_t> queueNumber_{0}; // counts the queues opened
    std::atomic<std::size_t> count_{0};
    std::mutex watchableMutex_;
    std::unordered_map<std::uint64_t, bool> watchable_; // by device
    std::unordered_set<int> removed_;                   // given back, their last notice not read yet

    // Every read of the queue gets a tag, taken before it reads; the tag of
    // the last notice read for each watch. Tickets from `forgotten_` or
    // before cannot be told apart any more (notices were lost, or the record
    // grew too long) and are not quiet.
    std::atomic<std::uint64_t> tag_{0};
    std::unordered_map<int, std::uint64_t> noticed_;
    std::uint64_t forgotten_ = 0;

    // Shared with the idle thread. A call starts without a lock: it counts
    // itself a user, then looks whether the thread is closing the queue (and
    // if so waits for the lock the thread holds meanwhile); the thread marks
    // itself closing, then looks whether anyone uses the queue. One of the
    // two always sees the other.
    std::mutex mutex_;
    std::condition_variable wake_;
    std::atomic<int> users_{0};
    std::atomic<bool> closing_{false};
    std::atomic<bool> released_{false};
    std::atomic<std::uint64_t> calls_{0};
    bool stopping_ = false;
    std::thread idleThread_;
};

} // namespace kivra::platform::posix
