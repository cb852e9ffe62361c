#include "scan/Classify.h"

#include "platform/CodePage.h"
#include "platform/Process.h"
#include "platform/WinApi.h"
#include "resources/Texts.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace kivra::scan {

namespace {

using platform::DWORD;
using platform::Text;

// The capacity offered first: a 256-byte buffer of which the call is told
// 255 bytes.
constexpr DWORD FirstCapacity = 255;

void AddGroup(TStringList& to, const Line& longPath, const Line& shortPath)
{
    to.Add(longPath);
    to.Add(shortPath);
    to.Add(Line());
}

void FinishResultList(TStringList& list, const Text& header)
{
    if (list.Count() > 0) {
        list.Insert(0, Line());
        list.Insert(0, header);
    } else {
        list.Add(texts::Texts().NormalLine);
        list.Add(Line());
    }
}

} // namespace

Line ShortPathOf(const Line& LongPath, DWORD* error)
{
    const auto none = [&] {
        if (error) *error = platform::LastErrorOr(platform::ERROR_FILE_NOT_FOUND);
        return LongPath;
    };
    if (error) *error = platform::ERROR_SUCCESS;
    char first[FirstCapacity + 1];
    DWORD length = platform::GetShortPathNameA(LongPath.c_str(), first, FirstCapacity);
    if (length == 0) return none();
    // The same text shares the long path's bytes.
    if (length < FirstCapacity)
        return LongPath == std::string_view(first, length) ? LongPath : Line(std::string_view(first, length));

    // Too small: the call told the size it needs, zero included. The path
    // may change between the calls, so ask until the answer fits.
    std::string buffer(FirstCapacity, '\0');
    while (length >= buffer.size()) {
        // Grows on every round, whatever size the call names.
        buffer.assign(std::max<std::size_t>(length, buffer.size() + 1), '\0');
        length = platform::GetShortPathNameA(LongPath.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return none();
    }
    buffer.resize(length);
    return LongPath == buffer ? LongPath : Line(buffer);
}

namespace {

// The part of the classification that needs no platform call: each path
// against its upper case and its short form, and its groups. It runs on a
// thread of its own, a little behind the thread that asks the platform for
// the short forms, path by path.
class Sorter {
public:
    // `shorts` will point at the short forms, in ShortNameList.
    Sorter(const ResultLists& lists, const std::vector<const Line*>& shorts) : lists_(lists), shorts_(shorts) {}

    // Paths [0, count) have their short forms.
    void Ready(std::size_t count)
    {
        ready_.store(count, std::memory_order_release);
        if (count % Batch == 0 || count == shorts_.size()) Wake();
    }
    // No more short forms will come (the asking thread failed).
    void Abandon()
    {
        abandoned_.store(true);
        Wake();
    }
    // A failure of the sorting itself, raised again on the asking thread.
    std::exception_ptr failure;

    void Run()
    {
        try {
            Sort();
        } catch (...) {
            failure = std::current_exception();
        }
    }

private:
    static constexpr std::size_t Batch = 256;

    void Sort()
    {
        constexpr unsigned char LongName = 1;
        constexpr unsigned char LowerCase = 2;
        // The upper-case form of each path goes to one buffer, used again
        // for every path (the same as UpperCaseText without a text per path).
        Text upper;
        for (std::size_t i = 0; i < shorts_.size(); ++i) {
            if (ready_.load(std::memory_order_acquire) <= i) {
                std::unique_lock lock(mutex_);
                woken_.wait(lock, [&] { return abandoned_.load() || ready_.load(std::memory_order_acquire) > i; });
                if (abandoned_.load()) return;
            }
            const Line& longPath = lists_.LongNameList[i];
            const Line& shortPath = *shorts_[i];
            upper.assign(longPath.View());
            platform::CharUpperBuffA(upper.data(), static_cast<DWORD>(upper.size()));
            const unsigned char kinds =
                (longPath != shortPath ? LongName : 0) | (longPath != std::string_view(upper) ? LowerCase : 0);
            if (kinds & LongName) {
                AddGroup(lists_.DifferentList, longPath, shortPath);
                AddGroup(lists_.LongFileList, longPath, shortPath);
            }
            if (kinds & LowerCase) {
                AddGroup(lists_.DifferentList, longPath, shortPath);
                AddGroup(lists_.KomojiFileList, longPath, shortPath);
            }
        }
    }

    const ResultLists& lists_;
    const std::vector<const Line*>& shorts_;
    // The sorter sleeps on a condition variable rather than on the atomic
    // itself: libstdc++'s atomic waits on Windows (a table of waiters shared
    // by all atomics) lose a wake-up now and then under load. Waking takes
    // the mutex, so that a wake-up never falls between the sorter's look at
    // the count and its sleep.
    void Wake()
    {
        const std::lock_guard lock(mutex_);
        woken_.notify_one();
    }

    std::atomic<std::size_t> ready_{0};
    std::atomic<bool> abandoned_{false};
    std::mutex mutex_;
    std::condition_variable woken_;
};

} // namespace

void ClassifyPaths(const ResultLists& lists, ClassifyProgress* progress)
{
    const auto& texts = texts::Texts();
    // Room for every short form and for both headers up front, so that the
    // inserts at the end do not have to grow the lists' storage.
    const std::size_t count = lists.LongNameList.Count();
    lists.LongNameList.Reserve(count + 1);
    lists.ShortNameList.Reserve(lists.ShortNameList.Count() + count + 1);
    // The group lists are given room for the most groups they can get, once:
    // growing lists of a million lines step by step would move every line
    // several times and keep twice the room while it moves. Room not written
    // is never touched, so it takes no memory.
    lists.DifferentList.Reserve(lists.DifferentList.Count() + 6 * count + 2);
    lists.LongFileList.Reserve(lists.LongFileList.Count() + 3 * count + 2);
    lists.KomojiFileList.Reserve(lists.KomojiFileList.Count() + 3 * count + 2);

    // This thread asks the platform for the short forms; another compares
    // and groups them as they come. Neither changes LongNameList, and
    // ShortNameList has its room: their lines stay where they are.
    std::vector<const Line*> shorts(count);
    Sorter sorter(lists, shorts);
    std::thread sorting = platform::StartThread([&sorter] { sorter.Run(); });
    try {
        DWORD error = platform::ERROR_SUCCESS;
        for (std::size_t i = 0; i < count; ++i) {
            lists.ShortNameList.Add(ShortPathOf(lists.LongNameList[i], &error));
            if (error != platform::ERROR_SUCCESS && progress) progress->NoShortForm(i, lists.LongNameList[i], error);
            shorts[i] = &lists.ShortNameList[lists.ShortNameList.Count() - 1];
            sorter.Ready(i + 1);
            if (progress && (i + 1) % ClassifyProgress::ClassifiedEvery == 0) progress->Classified(i + 1);
        }
    } catch (...) {
        sorter.Abandon();
        sorting.join();
        throw;
    }
    sorting.join();
    if (sorter.failure) std::rethrow_exception(sorter.failure);

    lists.LongNameList.Insert(0, texts.LongNameHeader);
    lists.ShortNameList.Insert(0, texts.ShortNameHeader);
    FinishResultList(lists.DifferentList, texts.DifferentHeader);
    FinishResultList(lists.LongFileList, texts.LongFileHeader);
    FinishResultList(lists.KomojiFileList, texts.KomojiFileHeader);
}

int PathCount(const TStringList& list) { return static_cast<int>(list.Count()) - 1; }

int GroupCount(const TStringList& list) { return (static_cast<int>(list.Count()) - 2) / 3; }

} // namespace kivra::scan
