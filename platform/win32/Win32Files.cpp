#include "platform/win32/Win32Files.h"

#include "platform/Platform.h"
#include "platform/win32/Utf8.h"
#include "platform/win32/Win32Names.h"
#include "platform/win32/Windows.h"

#include <cstring>
#include <vector>

namespace kivra::platform::win32 {

namespace {

// The Windows error of the call just made, as the platform's last error.
void KeepLastError() { SetLastError(static_cast<DWORD>(::GetLastError())); }

template <typename Result>
Result Failed(DWORD error, Result result)
{
    SetLastError(error);
    return result;
}

// Copies a text with its zero into a caller's buffer by Windows' rules: the
// length without the zero, or the size needed with it when the buffer is
// too small (and the buffer untouched).
DWORD CopyOut(const Text& text, char* buffer, DWORD capacity)
{
    if (!buffer || text.size() + 1 > capacity) return static_cast<DWORD>(text.size() + 1);
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<DWORD>(text.size());
}

void CopyName(const Text& name, char* field, std::size_t size)
{
    const std::size_t length = std::min(name.size(), size - 1);
    std::memcpy(field, name.data(), length);
    field[length] = '\0';
}

// Where the name pattern of a search pattern begins: after its last
// separator or the colon of a bare drive.
std::size_t PatternStart(std::string_view pattern)
{
    const std::size_t at = LastSeparatorOrColon(pattern);
    if (at == NoPosition) return 0;
    return at + 1;
}

// The wide forms of paths, or the error that stops the call.
bool Wide(const char* path, std::wstring& wide)
{
    if (!path) return Failed(ERROR_INVALID_PARAMETER, false);
    DWORD error = ERROR_SUCCESS;
    if (!WindowsPathOf(path, wide, &error)) return Failed(error, false);
    return true;
}

} // namespace

struct Win32Files::Object {
    virtual ~Object() = default;
};

// A search reads its whole answer at the start, so that the names it shows
// are unique in their directory (Win32Names.h) before the first is told.
struct Win32Files::Search : Object {
    std::vector<FoundEntry> entries;
    std::vector<Text> shown;
    std::size_t next = 0;
    std::size_t last = 0;
};

struct Win32Files::File : Object {
    explicit File(::HANDLE handle) : handle(handle) {}
    ~File() override
    {
        if (handle != NoSystemHandle) ::CloseHandle(handle);
    }
    ::HANDLE handle;
};

Win32Files::Win32Files() = default;
Win32Files::~Win32Files() = default;

HANDLE Win32Files::Keep(std::unique_ptr<Object> object)
{
    const std::lock_guard lock(mutex_);
    const HANDLE handle = next_++;
    objects_.emplace(handle, std::move(object));
    return handle;
}

Win32Files::Search* Win32Files::SearchOf(HANDLE handle)
{
    const std::lock_guard lock(mutex_);
    const auto found = objects_.find(handle);
    return found == objects_.end() ? nullptr : dynamic_cast<Search*>(found->second.get());
}

void* Win32Files::FileOf(HANDLE handle)
{
    const std::lock_guard lock(mutex_);
    const auto found = objects_.find(handle);
    if (found == objects_.end()) return nullptr;
    auto* file = dynamic_cast<File*>(found->second.get());
    return file ? file->handle : nullptr;
}

HANDLE Win32Files::FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* data)
{
    if (!pattern || !data) return Failed(ERROR_INVALID_PARAMETER, InvalidHandle);
    const std::string_view text(pattern);
    const std::size_t nameAt = PatternStart(text);
    std::wstring directory;
    DWORD error = ERROR_SUCCESS;
    if (!WindowsPathOf(text.substr(0, nameAt), directory, &error)) return Failed(error, InvalidHandle);
    auto search = std::make_unique<Search>();
    if (!ReadDirectory(directory, WideFromText(text.substr(nameAt)), search->entries, &error))
        return Failed(error, InvalidHandle);
    search->shown = ShownNames(search->entries);
    const HANDLE handle = Keep(std::move(search));
    FindNextFileA(handle, data);
    SetLastError(ERROR_SUCCESS);
    return handle;
}

BOOL Win32Files::FindNextFileA(HANDLE handle, WIN32_FIND_DATAA* data)
{
    Search* search = SearchOf(handle);
    if (!search || !data) return Failed(ERROR_INVALID_HANDLE, false);
    if (search->next >= search->entries.size()) return Failed(ERROR_NO_MORE_FILES, false);
    const std::size_t at = search->next++;
    search->last = at;
    const FoundEntry& entry = search->entries[at];
    data->dwFileAttributes = entry.attributes;
    CopyName(search->shown[at], data->cFileName, sizeof data->cFileName);
    CopyName(TextFromWide(entry.shortName), data->cAlternateFileName, sizeof data->cAlternateFileName);
    return true;
}

BOOL Win32Files::FindClose(HANDLE handle)
{
    const std::lock_guard lock(mutex_);
    const auto found = objects_.find(handle);
    if (found == objects_.end() || !dynamic_cast<Search*>(found->second.get()))
        return Failed(ERROR_INVALID_HANDLE, false);
    objects_.erase(found);
    return true;
}

BOOL Win32Files::FindRealName(HANDLE handle, std::string& realName)
{
    Search* search = SearchOf(handle);
    if (!search || search->next == 0) return Failed(ERROR_INVALID_HANDLE, false);
    realName = Utf8FromWide(search->entries[search->last].name);
    return true;
}

DWORD Win32Files::GetShortPathNameA(const char* longPath, char* shortPath, DWORD capacity)
{
    std::wstring wide;
    if (!Wide(longPath, wide)) return 0;
    const ::DWORD needed = GetShortPathNameW(wide.c_str(), nullptr, 0);
    if (needed == 0) return Failed(static_cast<DWORD>(::GetLastError()), DWORD{0});
    std::wstring result(needed, L'\0');
    const ::DWORD length = GetShortPathNameW(wide.c_str(), result.data(), needed);
    if (length == 0 || length >= needed) return Failed(static_cast<DWORD>(::GetLastError()), DWORD{0});
    result.resize(length);
    result = WithGivenSpelling(wide, result);
    // A name the volume keeps no short form of stays long; where 932 cannot
    // hold it, the path has no short form the program could use.
    // The "\\?\" that a long path is given to Windows with is no name.
    if (!HoldableIn932(WithoutLongPrefix(result))) return Failed(ERROR_NO_UNICODE_TRANSLATION, DWORD{0});
    const Text path = ProgramPathOf(result);
    return CopyOut(path, shortPath, capacity);
}

DWORD Win32Files::GetFileAttributesA(const char* path)
{
    std::wstring wide;
    if (!Wide(path, wide)) return InvalidAttributes;
    const ::DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) KeepLastError();
    return static_cast<DWORD>(attributes);
}

BOOL Win32Files::SetFileAttributesA(const char* path, DWORD attributes)
{
    std::wstring wide;
    if (!Wide(path, wide)) return false;
    if (SetFileAttributesW(wide.c_str(), attributes)) return true;
    KeepLastError();
    return false;
}

BOOL Win32Files::SetCurrentDirectoryA(const char* path)
{
    std::wstring wide;
    if (!Wide(path, wide)) return false;
    if (!SetCurrentDirectoryW(wide.c_str())) {
        KeepLastError();
        return false;
    }
    // Each drive keeps its own current directory, in the environment
    // variable "=X:" that Windows reads for "X:name", as the C run-time's
    // chdir keeps it.
    const std::wstring here = FullPath(L".");
    if (here.size() >= 2 && here[1] == L':') {
        const wchar_t variable[] = {L'=', static_cast<wchar_t>(towupper(here[0])), L':', L'\0'};
        SetEnvironmentVariableW(variable, here.c_str());
    }
    return true;
}

DWORD Win32Files::GetCurrentDirectoryA(DWORD capacity, char* buffer)
{
    const ::DWORD needed = GetCurrentDirectoryW(0, nullptr);
    if (needed == 0) return Failed(static_cast<DWORD>(::GetLastError()), DWORD{0});
    std::wstring wide(needed, L'\0');
    const ::DWORD length = GetCurrentDirectoryW(needed, wide.data());
    if (length == 0 || length >= needed) return Failed(static_cast<DWORD>(::GetLastError()), DWORD{0});
    wide.resize(length);
    return CopyOut(ProgramPathOf(wide), buffer, capacity);
}

HANDLE Win32Files::CreateFileA(const char* path, DWORD access, DWORD shareMode, DWORD disposition,
                               DWORD flagsAndAttributes)
{
    std::wstring wide;
    if (!Wide(path, wide)) return InvalidHandle;
    const ::HANDLE file =
        CreateFileW(wide.c_str(), access, shareMode, nullptr, disposition, flagsAndAttributes, nullptr);
    if (file == NoSystemHandle) {
        KeepLastError();
        return InvalidHandle;
    }
    const DWORD error = static_cast<DWORD>(::GetLastError()); // 183 where CREATE_ALWAYS replaced a file
    const HANDLE handle = Keep(std::make_unique<File>(file));
    SetLastError(error);
    return handle;
}

BOOL Win32Files::WriteFile(HANDLE handle, const void* data, DWORD size, DWORD* written)
{
    void* file = FileOf(handle);
    if (!file) return Failed(ERROR_INVALID_HANDLE, false);
    ::DWORD done = 0;
    const BOOL ok = ::WriteFile(file, data, size, &done, nullptr) != 0;
    if (written) *written = static_cast<DWORD>(done);
    if (!ok) KeepLastError();
    return ok;
}

BOOL Win32Files::ReadFile(HANDLE handle, void* buffer, DWORD size, DWORD* read)
{
    void* file = FileOf(handle);
    if (!file) return Failed(ERROR_INVALID_HANDLE, false);
    ::DWORD done = 0;
    const BOOL ok = ::ReadFile(file, buffer, size, &done, nullptr) != 0;
    if (read) *read = static_cast<DWORD>(done);
    if (!ok) KeepLastError();
    return ok;
}

BOOL Win32Files::CloseHandle(HANDLE handle)
{
    std::unique_ptr<Object> object;
    {
        const std::lock_guard lock(mutex_);
        const auto found = objects_.find(handle);
        if (found == objects_.end() || !dynamic_cast<File*>(found->second.get()))
            return Failed(ERROR_INVALID_HANDLE, false);
        object = std::move(found->second);
        objects_.erase(found);
    }
    auto* file = static_cast<File*>(object.get());
    const ::HANDLE system = file->handle;
    file->handle = NoSystemHandle;
    if (::CloseHandle(system)) return true;
    KeepLastError();
    return false;
}

BOOL Win32Files::MoveFileExA(const char* existing, const char* target, DWORD flags)
{
    std::wstring from;
    std::wstring to;
    if (!Wide(existing, from) || !Wide(target, to)) return false;
    if (MoveFileExW(from.c_str(), to.c_str(), flags)) return true;
    KeepLastError();
    return false;
}

BOOL Win32Files::DeleteFileA(const char* path)
{
    std::wstring wide;
    if (!Wide(path, wide)) return false;
    if (DeleteFileW(wide.c_str())) return true;
    KeepLastError();
    return false;
}

DWORD Win32Files::GetModuleFileNameA(char* buffer, DWORD capacity)
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const ::DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<::DWORD>(path.size()));
        if (length == 0) return Failed(static_cast<DWORD>(::GetLastError()), DWORD{0});
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    return CopyModuleFileName(ProgramPathOf(path), buffer, capacity);
}

BOOL Win32Files::GetFileIdentity(const char* path, FileIdentity* identity)
{
    std::wstring wide;
    if (!Wide(path, wide)) return false;
    // FILE_FLAG_BACKUP_SEMANTICS opens directories too; no access asked for.
    const ::HANDLE file = CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == NoSystemHandle) {
        KeepLastError();
        return false;
    }
    BY_HANDLE_FILE_INFORMATION information;
    const bool ok = GetFileInformationByHandle(file, &information) != 0;
    if (!ok) KeepLastError();
    ::CloseHandle(file);
    if (!ok) return false;
    if (identity) {
        identity->volume = information.dwVolumeSerialNumber;
        identity->index = (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow;
    }
    return true;
}

BOOL Win32Files::WindowsPathFromSystemPath(std::string_view systemPath, std::string& windowsPath)
{
    const std::wstring given = WideFromUtf8(systemPath);
    if (given.empty()) return Failed(ERROR_PATH_NOT_FOUND, false);
    windowsPath = ProgramPathOf(FullPath(given));
    return true;
}

BOOL Win32Files::SystemPathFromWindowsPath(std::string_view windowsPath, std::string& systemPath)
{
    std::wstring wide;
    DWORD error = ERROR_SUCCESS;
    if (!WindowsPathOf(windowsPath, wide, &error)) return Failed(error, false);
    if (GetFileAttributesW(wide.c_str()) == INVALID_FILE_ATTRIBUTES) {
        KeepLastError();
        return false;
    }
    systemPath = Utf8FromWide(WithoutLongPrefix(StoredPath(FullPath(wide))));
    return true;
}

} // namespace kivra::platform::win32
