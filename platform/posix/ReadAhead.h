#pragma once
// Directories read ahead of a tree walk, on a thread of their own.
//
// A walk searches a directory, then each of its subdirectories in the order
// the search reported them, depth first. Once the walk has gone down into a
// directory, the directories it will search next are known: those below it,
// then those after it in its parent's search. They are queued in that order;
// a worker thread, and the calls themselves while they would otherwise wait,
// open each of them, watch it, read it into its table and examine its
// entries, exactly as a search of it would (DirectoryReader.h). The walk's
// search of a directory then takes what was read, if it still stands
// (DirectoryCache::Adopt), instead of reading it itself.
//
// The entries of a large directory are examined in parts by every thread
// that would otherwise wait.
//
// Bounds: the descriptors held here (each directory read ahead keeps one
// until the walk takes it, or while its own subdirectories wait to be opened
// from it) and the entries of the directories read ahead and not yet taken.
// Nothing here touches the directory cache or the path resolver: the calls
// take what was read, on their own thread.

#include "platform/Win32.h"
#include "platform/posix/ChangeWatch.h"
#include "platform/posix/DirectoryTable.h"

#include <sys/stat.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace kivra::platform::posix {

// What a search reports of one entry of a directory.
struct EntryLook {
    std::size_t entry = 0;
    DWORD attributes = 0;
    FileIdentity identity; // of what the entry is (a link's target)
};

// A subdirectory a walk will enter: its entry in its parent's table, and the
// identity the parent's search found.
struct Subdirectory {
    std::size_t entry = 0;
    FileIdentity identity;
};

// The subdirectories a walk enters from what a search reports of a table of
// `tableSize` entries: directories that are no reparse points, in the order
// reported, from `from` on ("." and ".." left out).
std::vector<Subdirectory> SubdirectoriesOf(const std::vector<EntryLook>& looks, std::size_t tableSize,
                                           std::size_t from = 0);

// A directory read ahead, as a search of all its entries finds it.
struct PreparedDirectory {
    int fd = -1;       // open on the directory: the taker's to keep or close
    struct stat st {}; // taken before it was read
    ChangeWatch::Ticket watch;
    std::shared_ptr<const DirectoryTable> table;
    std::vector<EntryLook> entries; // every entry still there, in table order
};

class ReadAhead {
public:
    // At most `descriptors` descriptors held (at least two), twice as many
    // for directories needed before any read ahead already.
    ReadAhead(ChangeWatch& watch, std::size_t descriptors);
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // Queues subdirectories of the directory with table `table`, open on
    // `fd` (duplicated: the caller keeps its own), in front of everything
    // queued: the walk enters them next, in this order.
    void QueueFirst(int fd, const std::shared_ptr<const DirectoryTable>& table,
                    const std::vector<Subdirectory>& subdirectories);
    // True when nothing is queued or read ahead.
    bool Empty() const;
    // True when nothing is queued, read ahead, being read or dropped with a
    // watch to give back: a call has nothing to do here (no lock taken).
    bool Idle() const { return !attention_.load(std::memory_order_acquire); }

    enum class Outcome {
        NotQueued, // not among the directories queued
        Unread,    // queued, but could not be read ahead: the caller reads it
        Read,      // read ahead: in `prepared`
    };
    // The subdirectory `entry` of the directory with table `parent`, which the
    // walk now enters: waited for if another thread is reading it (helping
    // with the directories queued after it meanwhile), read here if nobody
    // has started it. Directories queued before it are dropped (the walk
    // passed them by).
    Outcome Take(const DirectoryTable* parent, std::size_t entry, PreparedDirectory& prepared);

    // Drops everything queued or read ahead, and gives back the descriptors
    // held (those of directories being read are given back when they are
    // done).
    void Cancel();

    // Closes a descriptor, on the worker when it runs (a few wait for it
    // there; past those, here at once).
    void CloseLater(int fd);

    // Watches of directories read ahead and dropped since the last time: the
    // caller gives them back (DirectoryCache::Dispose).
    std::vector<ChangeWatch::Ticket> DroppedWatches();

private:
    // A descriptor held here: of a directory read ahead, until the walk
    // takes it, and while its subdirectories wait to be opened from it.
    struct Descriptor {
        int fd = -1;
        std::size_t users = 0;
    };
    using Descriptors = std::list<Descriptor>;
    struct Job;
    using Jobs = std::list<Job>;
    struct Sharing;

    Descriptors::iterator Hold(int fd, std::size_t users);
    void Release(Descriptors::iterator descriptor);
    bool Startable(Jobs::iterator& found);
    void Read(Jobs::iterator job, std::unique_lock<std::mutex>& lock);
    bool ReadSubdirectory(int parentFd, const TableEntry& entry, const FileIdentity& identity, PreparedDirectory& out,
                          int& error);
    void Examine(int fd, std::uint64_t device, const DirectoryTable& table, std::vector<EntryLook>& entries);
    bool Help(std::unique_lock<std::mutex>& lock);
    void Drop(Jobs::iterator job);
    void Wake();
    void Work();
    void CloseNow(std::unique_lock<std::mutex>& lock);

    ChangeWatch& watch_;
    const std::size_t budget_;

    mutable std::mutex mutex_;
    std::condition_variable workerWake_; // the worker waits for room or work
    std::condition_variable takerWake_;  // a call waits for a directory another thread reads
    Jobs jobs_;
    Descriptors descriptors_;
    std::size_t readEntries_ = 0; // entries of directories read and not taken
    std::size_t reading_ = 0;     // directories being read
    std::size_t read_ = 0;        // directories read and not taken
    bool workerWaiting_ = false;
    std::size_t takersWaiting_ = 0;
    bool starved_ = false; // out of descriptors: nothing more is started until queued anew
    bool running_ = false; // the worker runs
    bool stopping_ = false;
    std::vector<ChangeWatch::Ticket> dropped_;
    std::vector<Sharing*> sharing_; // large directories whose entries others may help examine
    std::vector<int> closing_;      // descriptors the worker is to close
    std::atomic<bool> attention_{false};
    std::thread worker_;
};

} // namespace kivra::platform::posix
