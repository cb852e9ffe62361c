#include "platform/posix/ReadAhead.h"

#include "platform/Process.h"
#include "platform/posix/DirectoryCache.h"
#include "platform/posix/DirectoryReader.h"
#include "platform/posix/Errors.h"

#include <errno.h>
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <utility>

namespace kivra::platform::posix {

namespace {

// The entries of the directories read ahead and not yet taken, at most
// (beyond one directory, however large).
constexpr std::size_t MostReadEntries = 65536;

// The worker ends after this long without anything to read.
constexpr std::chrono::seconds WorkerIdle{2};

// True on the worker once it has a working directory of its own, which it
// may move (the process's stays where the calls keep it). It goes with the
// worker when that ends, idle.
thread_local bool ownDirectory = false;

// Directories of more entries than this have them examined by every thread
// that would otherwise wait, in parts of ExaminedTogether entries.
constexpr std::size_t ShareAbove = 256;
constexpr std::size_t ExaminedTogether = 64;

} // namespace

std::vector<Subdirectory> SubdirectoriesOf(const std::vector<EntryLook>& looks, std::size_t tableSize, std::size_t from)
{
    std::vector<Subdirectory> subdirectories;
    for (std::size_t i = from; i < looks.size(); ++i) {
        const EntryLook& look = looks[i];
        if (look.entry < tableSize && (look.attributes & FILE_ATTRIBUTE_DIRECTORY) &&
            !(look.attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            subdirectories.push_back(Subdirectory{look.entry, look.identity});
    }
    return subdirectories;
}

// Reads the subdirectory `entry` of the directory open on `parentFd` as a
// search of all its entries would: opened (never through a link, and only
// when it is the directory the parent's search found), its stat taken,
// watched, read into its table, each entry examined. False when it cannot be
// (what was set up is in `out`, the descriptor closed); `error` is the errno
// of a failed open, else 0. Called without the lock.
bool ReadAhead::ReadSubdirectory(int parentFd, const TableEntry& entry, const FileIdentity& identity,
                                 PreparedDirectory& out, int& error)
{
    error = 0;
    out.fd = openat(parentFd, entry.linuxName.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (out.fd < 0) {
        error = errno;
        return false;
    }
    const auto fail = [&out] {
        close(out.fd);
        out.fd = -1;
        return false;
    };
    // The directory the parent's search found, and no other put in its place.
    if (fstat(out.fd, &out.st) != 0 || DirectoryCache::IdentityOf(out.st) != identity) return fail();
    out.watch = watch_.WatchAside(out.fd, static_cast<std::uint64_t>(out.st.st_dev), ownDirectory);
    DWORD failure = ERROR_SUCCESS;
    out.table = ReadDirectoryTable(out.fd, false, &failure);
    if (!out.table) return fail();
    Examine(out.fd, static_cast<std::uint64_t>(out.st.st_dev), *out.table, out.entries);
    return true;
}

// The entries of a large directory, examined by several threads.
struct ReadAhead::Sharing {
    int fd = -1;
    std::uint64_t device = 0;
    const DirectoryTable* table = nullptr;
    std::size_t parts = 0;
    std::atomic<std::size_t> next{0};     // the next part nobody examines yet
    std::atomic<std::size_t> finished{0}; // parts examined
    std::atomic<std::size_t> helpers{0};  // threads of others that may still touch this
    std::vector<EntryLook> looks;         // by entry
    std::vector<unsigned char> present;   // by entry: still there

    // Examines parts until none is left.
    void Examine()
    {
        for (std::size_t part = next.fetch_add(1); part < parts; part = next.fetch_add(1)) {
            const std::size_t end = std::min(table->Size(), (part + 1) * ExaminedTogether);
            for (std::size_t i = part * ExaminedTogether; i < end; ++i) {
                looks[i].entry = i;
                present[i] = EntryAttributes(fd, device, (*table)[i], looks[i].attributes, &looks[i].identity);
            }
            finished.fetch_add(1, std::memory_order_release);
        }
    }
};

// Examines every entry of the directory open on `fd`; a large one is offered
// to the threads that would wait meanwhile.
void ReadAhead::Examine(int fd, std::uint64_t device, const DirectoryTable& table, std::vector<EntryLook>& entries)
{
    entries.reserve(table.Size());
    if (table.Size() <= ShareAbove) {
        for (std::size_t i = 0; i < table.Size(); ++i) {
            EntryLook look;
            look.entry = i;
            if (EntryAttributes(fd, device, table[i], look.attributes, &look.identity)) entries.push_back(look);
        }
        return;
    }
    Sharing sharing;
    sharing.fd = fd;
    sharing.device = device;
    sharing.table = &table;
    sharing.parts = (table.Size() + ExaminedTogether - 1) / ExaminedTogether;
    sharing.looks.resize(table.Size());
    sharing.present.resize(table.Size());
    {
        std::lock_guard lock(mutex_);
        sharing_.push_back(&sharing);
        if (takersWaiting_ > 0) takerWake_.notify_all();
        if (workerWaiting_) workerWake_.notify_one();
    }
    sharing.Examine();
    {
        std::lock_guard lock(mutex_);
        sharing_.erase(std::find(sharing_.begin(), sharing_.end(), &sharing));
    }
    // Parts others took are done soon.
    while (sharing.finished.load(std::memory_order_acquire) < sharing.parts || sharing.helpers.load() > 0)
        std::this_thread::yield();
    for (std::size_t i = 0; i < table.Size(); ++i)
        if (sharing.present[i]) entries.push_back(sharing.looks[i]);
}

// Helps examine the entries of a large directory another thread reads, with
// the lock let go meanwhile; false when there is none.
bool ReadAhead::Help(std::unique_lock<std::mutex>& lock)
{
    for (Sharing* sharing : sharing_) {
        if (sharing->next.load() >= sharing->parts) continue;
        sharing->helpers.fetch_add(1);
        lock.unlock();
        sharing->Examine();
        sharing->helpers.fetch_sub(1);
        lock.lock();
        return true;
    }
    return false;
}

struct ReadAhead::Job {
    enum class State { Queued, Reading, Read, Unread };

    std::shared_ptr<const DirectoryTable> parentTable;
    std::size_t entry = 0;
    FileIdentity identity;
    Descriptors::iterator parent; // where it is opened from; held until it is read
    State state = State::Queued;
    bool dropped = false;                        // dropped while being read: thrown away once read
    std::unique_ptr<PreparedDirectory> prepared; // once read (a queued one is small)
    Descriptors::iterator own;                   // once read: its descriptor, held until taken
};

ReadAhead::ReadAhead(ChangeWatch& watch, std::size_t descriptors)
    : watch_(watch),
      budget_(descriptors < 2 ? 2 : descriptors)
{}

ReadAhead::~ReadAhead()
{
    std::unique_lock lock(mutex_);
    stopping_ = true;
    workerWake_.notify_all();
    lock.unlock();
    if (worker_.joinable()) worker_.join();
    lock.lock();
    for (auto job = jobs_.begin(); job != jobs_.end();) Drop(job++);
    for (const Descriptor& descriptor : descriptors_) close(descriptor.fd);
    for (const int fd : closing_) close(fd);
}

ReadAhead::Descriptors::iterator ReadAhead::Hold(int fd, std::size_t users)
{
    return descriptors_.insert(descriptors_.end(), Descriptor{fd, users});
}

void ReadAhead::Release(Descriptors::iterator descriptor)
{
    if (--descriptor->users > 0) return;
    close(descriptor->fd);
    descriptors_.erase(descriptor);
}

// After a change: wakes who waits for one, and tells the calls whether
// there is anything here for them. The worker, once the descriptors ran out,
// is woken when a quarter of them are free again (or nothing it read waits
// to be taken), not for each one the walk gives back.
void ReadAhead::Wake()
{
    attention_.store(!jobs_.empty() || !dropped_.empty() || reading_ > 0, std::memory_order_release);
    if (takersWaiting_ > 0) takerWake_.notify_all();
    Jobs::iterator job;
    if (workerWaiting_ &&
        (read_ == 0 || descriptors_.size() + reading_ + budget_ / 4 <= budget_ ||
         jobs_.front().state == Job::State::Queued) &&
        Startable(job))
        workerWake_.notify_one();
}

void ReadAhead::QueueFirst(int fd, const std::shared_ptr<const DirectoryTable>& table,
                           const std::vector<Subdirectory>& subdirectories)
{
    if (subdirectories.empty()) return;
    std::lock_guard lock(mutex_);
    if (stopping_ || descriptors_.size() + reading_ >= budget_) return;
    const int copy = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0) return;
    starved_ = false;
    const Descriptors::iterator parent = Hold(copy, subdirectories.size());
    Jobs queued;
    for (const Subdirectory& subdirectory : subdirectories) {
        Job& job = queued.emplace_back();
        job.parentTable = table;
        job.entry = subdirectory.entry;
        job.identity = subdirectory.identity;
        job.parent = parent;
        job.own = descriptors_.end();
    }
    jobs_.splice(jobs_.begin(), queued);
    if (!running_) {
        if (worker_.joinable()) worker_.join(); // it has ended
        running_ = true;
        worker_ = StartThread([this] { Work(); });
    }
    Wake();
}

bool ReadAhead::Empty() const
{
    std::lock_guard lock(mutex_);
    for (const Job& job : jobs_)
        if (!job.dropped) return false;
    return true;
}

// The first directory queued that nobody reads yet, near enough to the front
// and within the bounds. When the walk reads a directory itself, those below
// it are queued before what was read ahead already, and are needed first:
// such a directory may take up to twice the descriptors, so that what was
// read ahead does not keep the worker from them.
bool ReadAhead::Startable(Jobs::iterator& found)
{
    const std::size_t held = descriptors_.size() + reading_;
    if (starved_ || stopping_ || held >= 2 * budget_ || readEntries_ >= MostReadEntries) return false;
    bool beforeAnyRead = true;
    std::size_t looked = 0;
    for (auto job = jobs_.begin(); job != jobs_.end() && looked < 4 * budget_; ++job, ++looked) {
        if (job->state == Job::State::Read) beforeAnyRead = false;
        if (job->state != Job::State::Queued) continue;
        if (held >= budget_ && !beforeAnyRead) return false;
        found = job;
        return true;
    }
    return false;
}

// Reads a queued directory with the lock let go meanwhile; the directories
// below it are queued right after it.
void ReadAhead::Read(Jobs::iterator job, std::unique_lock<std::mutex>& lock)
{
    job->state = Job::State::Reading;
    ++reading_;
    const int parentFd = job->parent->fd;
    const TableEntry entry = (*job->parentTable)[job->entry];
    const FileIdentity identity = job->identity;
    lock.unlock();
    auto read = std::make_unique<PreparedDirectory>();
    PreparedDirectory& prepared = *read;
    int error = 0;
    const bool wasRead = ReadSubdirectory(parentFd, entry, identity, prepared, error);
    lock.lock();
    --reading_;
    Release(job->parent);
    job->parent = descriptors_.end();
    if (OutOfDescriptors(error)) starved_ = true;
    if (job->dropped) {
        if (prepared.fd >= 0) close(prepared.fd);
        if (prepared.watch.watch >= 0) dropped_.push_back(prepared.watch);
        jobs_.erase(job);
        Wake();
        return;
    }
    if (!wasRead) {
        if (prepared.watch.watch >= 0) dropped_.push_back(prepared.watch);
        job->state = Job::State::Unread;
        Wake();
        return;
    }
    const std::vector<Subdirectory> below = SubdirectoriesOf(prepared.entries, prepared.table->Size());
    job->own = Hold(prepared.fd, 1 + below.size());
    ++read_;
    readEntries_ += prepared.entries.size();
    job->prepared = std::move(read);
    job->state = Job::State::Read;
    const auto after = std::next(job);
    for (const Subdirectory& subdirectory : below) {
        Job& queued = *jobs_.emplace(after);
        queued.parentTable = job->prepared->table;
        queued.entry = subdirectory.entry;
        queued.identity = subdirectory.identity;
        queued.parent = job->own;
        queued.own = descriptors_.end();
    }
    Wake();
}

void ReadAhead::Drop(Jobs::iterator job)
{
    switch (job->state) {
    case Job::State::Reading: job->dropped = true; return;
    case Job::State::Queued: Release(job->parent); break;
    case Job::State::Read:
        --read_;
        readEntries_ -= job->prepared->entries.size();
        if (job->prepared->watch.watch >= 0) dropped_.push_back(job->prepared->watch);
        Release(job->own);
        break;
    case Job::State::Unread: break;
    }
    jobs_.erase(job);
}

ReadAhead::Outcome ReadAhead::Take(const DirectoryTable* parent, std::size_t entry, PreparedDirectory& prepared)
{
    std::unique_lock lock(mutex_);
    auto job = jobs_.begin();
    for (std::size_t looked = 0; job != jobs_.end(); ++job, ++looked) {
        if (looked >= 4 * budget_) return Outcome::NotQueued;
        if (!job->dropped && job->parentTable.get() == parent && job->entry == entry) break;
    }
    if (job == jobs_.end()) return Outcome::NotQueued;
    // The walk passed these by.
    for (auto before = jobs_.begin(); before != job;) Drop(before++);
    for (;;) {
        if (job->state == Job::State::Queued) {
            Read(job, lock);
            continue;
        }
        if (job->state != Job::State::Reading) break;
        // Another thread reads it: read what comes after it meanwhile, or
        // help with the entries of a large directory.
        Jobs::iterator other;
        if (Startable(other)) {
            Read(other, lock);
            continue;
        }
        if (Help(lock)) continue;
        ++takersWaiting_;
        takerWake_.wait(lock);
        --takersWaiting_;
    }
    if (job->state == Job::State::Unread) {
        jobs_.erase(job);
        Wake();
        return Outcome::Unread;
    }
    --read_;
    readEntries_ -= job->prepared->entries.size();
    prepared = std::move(*job->prepared);
    const Descriptors::iterator own = job->own;
    jobs_.erase(job);
    if (own->users == 1) {
        // Nothing else needs it: the caller's from now on.
        descriptors_.erase(own);
    } else {
        // Subdirectories still to be opened from it keep it.
        prepared.fd = fcntl(own->fd, F_DUPFD_CLOEXEC, 0);
        Release(own);
        if (prepared.fd < 0) {
            if (prepared.watch.watch >= 0) dropped_.push_back(prepared.watch);
            Wake();
            return Outcome::Unread;
        }
    }
    Wake();
    return Outcome::Read;
}

void ReadAhead::Cancel()
{
    std::unique_lock lock(mutex_);
    for (auto job = jobs_.begin(); job != jobs_.end();) Drop(job++);
    CloseNow(lock);
    Wake();
}

void ReadAhead::CloseLater(int fd)
{
    std::unique_lock lock(mutex_);
    if (!running_ || stopping_ || closing_.size() >= budget_ / 2) {
        lock.unlock();
        close(fd);
        return;
    }
    closing_.push_back(fd);
    if (workerWaiting_ && closing_.size() >= budget_ / 4) workerWake_.notify_one();
}

// Closes the descriptors waiting to be closed, with the lock let go.
void ReadAhead::CloseNow(std::unique_lock<std::mutex>& lock)
{
    if (closing_.empty()) return;
    std::vector<int> fds = std::exchange(closing_, {});
    lock.unlock();
    for (const int fd : fds) close(fd);
    lock.lock();
}

std::vector<ChangeWatch::Ticket> ReadAhead::DroppedWatches()
{
    std::lock_guard lock(mutex_);
    std::vector<ChangeWatch::Ticket> dropped = std::exchange(dropped_, {});
    Wake();
    return dropped;
}

void ReadAhead::Work()
{
    ownDirectory = unshare(CLONE_FS) == 0;
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        CloseNow(lock);
        Jobs::iterator job;
        if (Startable(job)) {
            Read(job, lock);
            continue;
        }
        if (Help(lock)) continue;
        workerWaiting_ = true;
        const bool woken = workerWake_.wait_for(lock, WorkerIdle) == std::cv_status::no_timeout;
        workerWaiting_ = false;
        if (!woken && !Startable(job) && closing_.empty()) break;
    }
    running_ = false;
    CloseNow(lock);
}

} // namespace kivra::platform::posix
