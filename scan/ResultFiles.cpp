#include "scan/ResultFiles.h"

#include "platform/Exceptions.h"
#include "platform/WinApi.h"
#include "resources/Texts.h"

#include <algorithm>

namespace kivra::scan {

namespace {

using platform::DWORD;
using platform::HANDLE;
using platform::Text;

// The temporary beside a result file while its new text is written.
Text TemporaryPathFor(const Text& path) { return path + ".new"; }

// Closes the handle and removes the temporary file, keeping the error code
// of the failure that led here for the exception.
void Discard(HANDLE file, const Text& temporary)
{
    const DWORD error = platform::GetLastError();
    if (file != platform::INVALID_HANDLE_VALUE) platform::CloseHandle(file);
    platform::DeleteFileA(temporary.c_str());
    platform::SetLastError(error);
}

// The size of a list's file text.
std::size_t FileSize(const TStringList& list)
{
    std::size_t size = 0;
    for (const Line& line : *list.Snapshot()) size += line.size() + 2;
    return size;
}

} // namespace

void FileText(const TStringList& list, Text& text)
{
    text.clear();
    for (const Line& line : *list.Snapshot()) {
        text.append(line.data(), line.size());
        text += "\r\n";
    }
}

namespace {

void SaveListToFile(const TStringList& list, const Text& path, Text& text)
{
    const Text temporary = TemporaryPathFor(path);
    const HANDLE file = platform::CreateFileA(temporary.c_str(), platform::GENERIC_READ | platform::GENERIC_WRITE, 0,
                                              platform::CREATE_ALWAYS, platform::FILE_ATTRIBUTE_NORMAL);
    if (file == platform::INVALID_HANDLE_VALUE) throw EFCreateError(EInOutError(platform::GetLastError()).Message());

    try {
        FileText(list, text);
        if (!text.empty()) {
            DWORD written = 0;
            // A single write: the size must fit the call's 32-bit count.
            const bool fits = text.size() <= 0xFFFFFFFFu;
            if (!fits) platform::SetLastError(platform::ERROR_NOT_ENOUGH_MEMORY);
            if (!fits || !platform::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written) ||
                written != text.size()) {
                if (platform::GetLastError() == platform::ERROR_SUCCESS)
                    platform::SetLastError(platform::ERROR_WRITE_FAULT);
                throw EWriteError(EInOutError(platform::GetLastError()).Message());
            }
        }
    } catch (...) {
        Discard(file, temporary);
        throw;
    }
    if (!platform::CloseHandle(file)) {
        Discard(platform::INVALID_HANDLE_VALUE, temporary);
        throw EWriteError(EInOutError(platform::GetLastError()).Message());
    }
    if (!platform::MoveFileExA(temporary.c_str(), path.c_str(), platform::MOVEFILE_REPLACE_EXISTING)) {
        Discard(platform::INVALID_HANDLE_VALUE, temporary);
        throw EFCreateError(EInOutError(platform::GetLastError()).Message());
    }
}

} // namespace

void SaveListToFile(const TStringList& list, const Text& path)
{
    Text text;
    text.reserve(FileSize(list));
    SaveListToFile(list, path, text);
}

bool SaveResultFiles(const ResultLists& lists, const ResultDirectory& directory, SaveFailureReporter& reporter)
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
    // Room for the longest text at once, so that its memory is taken (and
    // touched) once for all five.
    Text text;
    std::size_t longest = 0;
    for (const Row& row : rows) longest = std::max(longest, FileSize(row.list));
    text.reserve(longest);
    for (const Row& row : rows) {
        bool failed = false;
        try {
            SaveListToFile(row.list, directory() + row.fileName, text);
        } catch (...) {
            // Whatever went wrong, the user sees this file's own message and
            // not the failure's text.
            failed = true;
        }
        if (failed) {
            reporter.ReportSaveFailure(row.failure);
            return false;
        }
    }
    return true;
}

bool SaveResultFiles(const ResultLists& lists, const Text& directory, SaveFailureReporter& reporter)
{
    Text prefix = directory;
    if (!prefix.empty() && !platform::EndsWithSeparator(prefix) && prefix.back() != ':') prefix.push_back('\\');
    return SaveResultFiles(
        lists, [&prefix] { return prefix; }, reporter);
}

bool SaveResultFiles(const ResultLists& lists, SaveFailureReporter& reporter)
{
    return SaveResultFiles(lists, ResultDirectory(platform::ExecutableDirectory), reporter);
}

} // namespace kivra::scan
