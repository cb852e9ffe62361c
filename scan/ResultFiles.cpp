#include "scan/ResultFiles.h"

#include "platform/Exceptions.h"
#include "platform/WinApi.h"
#include "resources/Texts.h"

#include <new>
#include <string>
#include <string_view>

namespace kivra::scan {

namespace {

using platform::DWORD;
using platform::HANDLE;
using platform::Text;

// The text goes to WriteFile in pieces of about this size, put together in
// one buffer that serves every piece of every file: the memory a save needs
// does not grow with the lists, and what it touches stays in the caches.
constexpr std::size_t PieceBytes = std::size_t{1} << 20;

// Names tried for the new file before the save gives up: only a folder that
// fills with such names as fast as they are tried gets there.
constexpr unsigned MostNewFileNames = 100000;

// The error code the last call left, or `otherwise` when it left none.
DWORD LastErrorOr(DWORD otherwise)
{
    const DWORD error = platform::GetLastError();
    return error != platform::ERROR_SUCCESS ? error : otherwise;
}

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
        const DWORD error = LastErrorOr(platform::ERROR_ACCESS_DENIED);
        // Whatever holds the name (a file left by an interrupted run, a
        // user's file, a folder, a link), it is passed over untouched. A
        // name nothing holds failed for a reason no other name would change.
        if (platform::GetFileAttributesA(created.c_str()) == platform::INVALID_FILE_ATTRIBUTES) {
            created.clear();
            platform::SetLastError(error);
            return platform::INVALID_HANDLE_VALUE;
        }
    }
    created.clear();
    platform::SetLastError(platform::ERROR_ALREADY_EXISTS);
    return platform::INVALID_HANDLE_VALUE;
}

// Closes the new file (when still open) and removes it; a file mask that
// leaves new files read-only does not keep it there.
void Discard(HANDLE file, const Text& created)
{
    if (file != platform::INVALID_HANDLE_VALUE) platform::CloseHandle(file);
    platform::SetFileAttributesA(created.c_str(), platform::FILE_ATTRIBUTE_NORMAL);
    platform::DeleteFileA(created.c_str());
}

// One WriteFile of `size` bytes (at most a DWORD's range); false, with the
// error code set, unless all of them were written.
bool WriteWhole(HANDLE file, const char* data, std::size_t size)
{
    if (size == 0) return true;
    DWORD written = 0;
    if (platform::WriteFile(file, data, static_cast<DWORD>(size), &written) && written == size) return true;
    platform::SetLastError(LastErrorOr(platform::ERROR_WRITE_FAULT));
    return false;
}

bool Flush(HANDLE file, Text& buffer)
{
    const bool written = WriteWhole(file, buffer.data(), buffer.size());
    buffer.clear();
    return written;
}

// Lines written so far, told to a progress every so many.
struct Written {
    SaveProgress* progress = nullptr;
    std::size_t lines = 0;

    void One()
    {
        if (++lines % SaveProgress::SavedEvery == 0 && progress) progress->Saved(lines);
    }
};

// The lines, each followed by CR LF.
bool WriteLines(HANDLE file, const TStringList& list, Text& buffer, Written& written)
{
    buffer.clear();
    for (const Line& line : *list.Snapshot()) {
        written.One();
        if (line.size() >= PieceBytes) {
            // A line as long as a piece goes out as it is.
            if (!Flush(file, buffer) || !WriteWhole(file, line.data(), line.size())) return false;
        } else {
            buffer.append(line.data(), line.size());
        }
        buffer += "\r\n";
        if (buffer.size() >= PieceBytes && !Flush(file, buffer)) return false;
    }
    return Flush(file, buffer);
}

struct Outcome {
    DWORD error = platform::ERROR_SUCCESS;
    bool writing = false; // the failure came while the text was written
};

// Writes the file through its new file. Nothing of the attempt is left
// behind on any way out, exhausted memory included.
Outcome Save(const TStringList& list, const Text& path, Text& buffer, Written& counted)
{
    Text created;
    const HANDLE file = CreateNewFile(path, created);
    if (file == platform::INVALID_HANDLE_VALUE) return {LastErrorOr(platform::ERROR_ACCESS_DENIED), false};
    bool written = false;
    try {
        written = WriteLines(file, list, buffer, counted);
    } catch (...) {
        Discard(file, created);
        throw;
    }
    if (!written) {
        const DWORD error = LastErrorOr(platform::ERROR_WRITE_FAULT);
        Discard(file, created);
        return {error, true};
    }
    if (!platform::CloseHandle(file)) {
        const DWORD error = LastErrorOr(platform::ERROR_WRITE_FAULT);
        Discard(platform::INVALID_HANDLE_VALUE, created);
        return {error, true};
    }
    if (!platform::MoveFileExA(created.c_str(), path.c_str(), platform::MOVEFILE_REPLACE_EXISTING)) {
        const DWORD error = LastErrorOr(platform::ERROR_ACCESS_DENIED);
        Discard(platform::INVALID_HANDLE_VALUE, created);
        return {error, false};
    }
    return {};
}

} // namespace

void SaveListToFile(const TStringList& list, const Text& path)
{
    Text buffer;
    Written written;
    const Outcome outcome = Save(list, path, buffer, written);
    if (outcome.error == platform::ERROR_SUCCESS) return;
    const Text message = EInOutError(outcome.error).Message();
    if (outcome.writing) throw EWriteError(message);
    throw EFCreateError(message);
}

DWORD CheckResultDirectory(const Text& directory)
{
    Text created;
    const HANDLE file = CreateNewFile(directory + texts::Texts().ResultFileLongNames, created);
    if (file == platform::INVALID_HANDLE_VALUE) return LastErrorOr(platform::ERROR_ACCESS_DENIED);
    platform::CloseHandle(file);
    platform::SetFileAttributesA(created.c_str(), platform::FILE_ATTRIBUTE_NORMAL);
    if (!platform::DeleteFileA(created.c_str())) return LastErrorOr(platform::ERROR_ACCESS_DENIED);
    return platform::ERROR_SUCCESS;
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
    Text buffer;
    Written written{progress};
    for (const Row& row : rows) {
        Text path;
        Outcome outcome;
        try {
            path = directory() + row.fileName;
            outcome = Save(row.list, path, buffer, written);
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
