#include "scan/ResultFiles.h"

#include "platform/Exceptions.h"
#include "platform/Process.h"
#include "platform/WinApi.h"
#include "resources/Texts.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace kivra::scan {

namespace {

using platform::DWORD;
using platform::HANDLE;
using platform::Text;

// The text goes to WriteFile in pieces of about this size, put together in
// a few buffers that serve every piece of every file: the memory a save
// needs does not grow with the lists, and what it touches stays in the
// caches.
constexpr std::size_t PieceBytes = std::size_t{1} << 20;

// Names tried for the new file before the save gives up: only a folder that
// fills with such names as fast as they are tried gets there.
constexpr unsigned MostNewFileNames = 100000;

// The n-th name (from 1) the new file of `path` may take.
Text NewFileName(const Text& path, unsigned n)
{
    Text name = path + ".NEW";
    if (n > 1) name += std::to_string(n);
    return name;
}

// Creates the new file of `path` exclusively under the first of its names
// that nothing holds, and puts that name into `created`. Fails, with the
// platform's error code set, when a free name cannot be created.
HANDLE CreateNewFile(const Text& path, Text& created)
{
    for (unsigned n = 1; n <= MostNewFileNames; ++n) {
        created = NewFileName(path, n);
        const HANDLE file = platform::CreateFileA(created.c_str(), platform::GENERIC_READ | platform::GENERIC_WRITE, 0,
                                                  platform::CREATE_NEW, platform::FILE_ATTRIBUTE_NORMAL);
        if (file != platform::INVALID_HANDLE_VALUE) return file;
        const DWORD error = platform::LastErrorOr(platform::ERROR_ACCESS_DENIED);
        // Whatever holds the name (a file left by an interrupted run, a
        // user's file, a folder, a link, the new file of another run saving
        // into the same folder, which may have taken its place by now), it
        // is passed over untouched. Any other failure would be the same for
        // every name.
        if (error != platform::ERROR_FILE_EXISTS && error != platform::ERROR_ALREADY_EXISTS) {
            created.clear();
            platform::SetLastError(error);
            return platform::INVALID_HANDLE_VALUE;
        }
    }
    created.clear();
    platform::SetLastError(platform::ERROR_ALREADY_EXISTS);
    return platform::INVALID_HANDLE_VALUE;
}

// Closes the new file (when still open) and removes it. It was made with
// its owner's write bit, whatever the file mask, so nothing is changed by
// its name first: that name may lead elsewhere by now.
void Discard(HANDLE file, const Text& created)
{
    if (file != platform::INVALID_HANDLE_VALUE) platform::CloseHandle(file);
    platform::DeleteFileA(created.c_str());
}

// One WriteFile of `size` bytes (at most a DWORD's range); false, with the
// error code set, unless all of them were written.
bool WriteWhole(HANDLE file, const char* data, std::size_t size)
{
    if (size == 0) return true;
    DWORD written = 0;
    if (platform::WriteFile(file, data, static_cast<DWORD>(size), &written) && written == size) return true;
    platform::SetLastError(platform::LastErrorOr(platform::ERROR_WRITE_FAULT));
    return false;
}

// Lines put together so far, told to a progress every so many.
struct Written {
    SaveProgress* progress = nullptr;
    std::size_t lines = 0;

    void One()
    {
        if (++lines % SaveProgress::SavedEvery == 0 && progress) progress->Saved(lines);
    }
};

// The text of the lists to be saved, each line followed by CR LF, put
// together in pieces of about PieceBytes on a thread of its own while the
// pieces before are written: the writing thread makes every platform call,
// this one none. Three buffers go round, so the memory stays a few pieces
// whatever the lists.
class Pieces {
public:
    Pieces(std::vector<const TStringList*> lists, SaveProgress* progress) : lists_(std::move(lists)), written_{progress}
    {
        for (Text& buffer : buffers_) free_.push_back(&buffer);
        worker_ = platform::StartThread([this] { Run(); });
    }
    ~Pieces()
    {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        worker_.join();
    }
    Pieces(const Pieces&) = delete;
    Pieces& operator=(const Pieces&) = delete;

    // The next piece of the list being written, to be handed back with
    // Done; null at the list's end, after which the pieces of the next list
    // come. A failure in putting the text together is raised here.
    Text* Next()
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !ready_.empty() || failure_; });
        if (ready_.empty()) std::rethrow_exception(failure_);
        Text* piece = ready_.front();
        ready_.pop_front();
        return piece;
    }
    void Done(Text* piece)
    {
        {
            std::lock_guard lock(mutex_);
            free_.push_back(piece);
        }
        changed_.notify_all();
    }

private:
    void Run()
    {
        try {
            for (const TStringList* list : lists_) {
                Text* piece = nullptr;
                for (const Line& line : *list->Snapshot()) {
                    if (!piece && !(piece = Take())) return;
                    written_.One();
                    piece->append(line.data(), line.size());
                    *piece += "\r\n";
                    if (piece->size() >= PieceBytes) {
                        Put(piece);
                        piece = nullptr;
                    }
                }
                if (piece) Put(piece);
                Put(nullptr);
            }
        } catch (...) {
            std::lock_guard lock(mutex_);
            failure_ = std::current_exception();
        }
        changed_.notify_all();
    }

    // A free buffer, emptied; null when the save has stopped.
    Text* Take()
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !free_.empty() || stopping_; });
        if (stopping_) return nullptr;
        Text* piece = free_.back();
        free_.pop_back();
        lock.unlock();
        piece->clear();
        return piece;
    }
    void Put(Text* piece)
    {
        {
            std::lock_guard lock(mutex_);
            ready_.push_back(piece);
        }
        changed_.notify_all();
    }

    const std::vector<const TStringList*> lists_;
    Written written_;
    Text buffers_[3];
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Text*> free_;
    std::deque<Text*> ready_; // null marks a list's end
    std::exception_ptr failure_;
    bool stopping_ = false;
    std::thread worker_;
};

// The pieces of one list, written as they come.
bool WriteLines(HANDLE file, Pieces& pieces)
{
    while (Text* piece = pieces.Next()) {
        const bool written = WriteWhole(file, piece->data(), piece->size());
        pieces.Done(piece);
        if (!written) return false;
    }
    return true;
}

struct Outcome {
    DWORD error = platform::ERROR_SUCCESS;
    bool writing = false; // the failure came while the text was written
};

// Writes the file through its new file. Nothing of the attempt is left
// behind on any way out, exhausted memory included.
Outcome Save(const Text& path, Pieces& pieces)
{
    Text created;
    const HANDLE file = CreateNewFile(path, created);
    if (file == platform::INVALID_HANDLE_VALUE) return {platform::LastErrorOr(platform::ERROR_ACCESS_DENIED), false};
    bool written = false;
    try {
        written = WriteLines(file, pieces);
    } catch (...) {
        Discard(file, created);
        throw;
    }
    if (!written) {
        const DWORD error = platform::LastErrorOr(platform::ERROR_WRITE_FAULT);
        Discard(file, created);
        return {error, true};
    }
    if (!platform::CloseHandle(file)) {
        const DWORD error = platform::LastErrorOr(platform::ERROR_WRITE_FAULT);
        Discard(platform::INVALID_HANDLE_VALUE, created);
        return {error, true};
    }
    if (!platform::MoveFileExA(created.c_str(), path.c_str(), platform::MOVEFILE_REPLACE_EXISTING)) {
        const DWORD error = platform::LastErrorOr(platform::ERROR_ACCESS_DENIED);
        Discard(platform::INVALID_HANDLE_VALUE, created);
        return {error, false};
    }
    return {};
}

} // namespace

void SaveListToFile(const TStringList& list, const Text& path)
{
    Pieces pieces({&list}, nullptr);
    const Outcome outcome = Save(path, pieces);
    if (outcome.error == platform::ERROR_SUCCESS) return;
    const Text message = EInOutError(outcome.error).Message();
    if (outcome.writing) throw EWriteError(message);
    throw EFCreateError(message);
}

DWORD CheckResultDirectory(const Text& directory)
{
    Text created;
    const HANDLE file = CreateNewFile(directory + texts::Texts().ResultFileLongNames, created);
    if (file == platform::INVALID_HANDLE_VALUE) return platform::LastErrorOr(platform::ERROR_ACCESS_DENIED);
    const DWORD closed =
        platform::CloseHandle(file) ? platform::ERROR_SUCCESS : platform::LastErrorOr(platform::ERROR_WRITE_FAULT);
    if (!platform::DeleteFileA(created.c_str())) return platform::LastErrorOr(platform::ERROR_ACCESS_DENIED);
    return closed;
}

bool SaveResultFiles(const ResultLists& lists, const ResultDirectory& directory, SaveFailureReporter& reporter,
                     SaveProgress* progress)
{
    const auto& texts = texts::Texts();
    struct Row {
        const Text& fileName;
        const TStringList& list;
        const Text& failure;
    };
    const Row rows[] = {
        {texts.ResultFileLongNames, lists.LongNameList, texts.SaveFailedLongNames},
        {texts.ResultFileShortNames, lists.ShortNameList, texts.SaveFailedShortNames},
        {texts.ResultFileDifferent, lists.DifferentList, texts.SaveFailedDifferent},
        {texts.ResultFileLongFiles, lists.LongFileList, texts.SaveFailedLongFiles},
        {texts.ResultFileKomojiFiles, lists.KomojiFileList, texts.SaveFailedKomojiFiles},
    };
    std::vector<const TStringList*> inOrder;
    for (const Row& row : rows) inOrder.push_back(&row.list);
    Pieces pieces(std::move(inOrder), progress);
    for (const Row& row : rows) {
        Text path;
        Outcome outcome;
        try {
            path = directory() + row.fileName;
            outcome = Save(path, pieces);
        } catch (const std::bad_alloc&) {
            outcome.error = platform::ERROR_NOT_ENOUGH_MEMORY;
        } catch (...) {
            // Whatever went wrong, the user sees this file's own message and
            // not the failure's text.
            outcome.error = platform::ERROR_WRITE_FAULT;
        }
        if (outcome.error != platform::ERROR_SUCCESS) {
            reporter.SaveFailed(SaveFailure{row.failure, path, outcome.error});
            return false;
        }
    }
    return true;
}

bool SaveResultFiles(const ResultLists& lists, const Text& directory, SaveFailureReporter& reporter,
                     SaveProgress* progress)
{
    Text prefix = directory;
    if (!prefix.empty() && !platform::EndsWithSeparator(prefix) && prefix.back() != ':') prefix.push_back('\\');
    return SaveResultFiles(
        lists, [&prefix] { return prefix; }, reporter, progress);
}

bool SaveResultFiles(const ResultLists& lists, SaveFailureReporter& reporter, SaveProgress* progress)
{
    return SaveResultFiles(lists, ResultDirectory(platform::ExecutableDirectory), reporter, progress);
}

} // namespace kivra::scan
