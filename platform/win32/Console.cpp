#include "platform/Console.h"

#include "platform/win32/Utf8.h"
#include "platform/win32/Windows.h"

#include <fcntl.h>
#include <io.h>

#include <atomic>
#include <cerrno>

namespace kivra::platform {

namespace {

// The console a standard stream is, or nothing when it is a file or a pipe.
::HANDLE ConsoleOf(std::FILE* stream)
{
    const ::HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    ::DWORD mode = 0;
    return handle != win32::NoSystemHandle && GetConsoleMode(handle, &mode) ? handle : nullptr;
}

// A Ctrl+C, Ctrl+Break or close of the console while interruptions are held
// is kept here and acted on when the last hold ends.
std::atomic<int> holds{0};
std::atomic<bool> interrupted{false};

::BOOL WINAPI HoldInterruption(::DWORD)
{
    if (holds.load() == 0) return FALSE; // the default: the process ends
    interrupted = true;
    return TRUE;
}

} // namespace

bool StandardErrorIsTerminal() { return ConsoleOf(stderr) != nullptr; }

bool WriteToStandardStream(std::FILE* stream, std::string_view text)
{
    const ::HANDLE console = ConsoleOf(stream);
    if (!console) return std::fwrite(text.data(), 1, text.size(), stream) == text.size();
    std::fflush(stream);
    const std::wstring wide = win32::WideFromUtf8(text);
    ::DWORD written = 0;
    if (!WriteConsoleW(console, wide.data(), static_cast<::DWORD>(wide.size()), &written, nullptr) ||
        written != wide.size()) {
        errno = EIO;
        return false;
    }
    return true;
}

// Windows has no signal masks: the hold is a console control handler that
// swallows the request, which the end of the hold then carries out as
// Windows would have (the process ends with STATUS_CONTROL_C_EXIT).
struct InterruptionsHeld::Mask {};

InterruptionsHeld::InterruptionsHeld() : previous_(std::make_unique<Mask>())
{
    if (holds++ == 0) SetConsoleCtrlHandler(HoldInterruption, TRUE);
}

InterruptionsHeld::~InterruptionsHeld()
{
    if (--holds != 0) return;
    SetConsoleCtrlHandler(HoldInterruption, FALSE);
    if (interrupted.exchange(false)) ExitProcess(STATUS_CONTROL_C_EXIT);
}

struct UserLocale::Converters {};

UserLocale::UserLocale()
{
    utf8_ = true;
    japanese_ = PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE;
    // Lines end in "\n" and --list writes its names byte for byte, as on
    // Linux; the progress line is redrawn with the console's VT sequences.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    if (const ::HANDLE console = ConsoleOf(stderr)) {
        ::DWORD mode = 0;
        if (GetConsoleMode(console, &mode)) SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    }
}

UserLocale::~UserLocale() = default;

bool UserLocale::MessagesInJapanese() const { return japanese_; }

bool UserLocale::FromProgramText(std::string_view text, std::string& local) const
{
    local = Utf8FromCp932(text);
    return true;
}

Text UserLocale::ToProgramText(std::string_view local) const { return Cp932FromUtf8(local); }

} // namespace kivra::platform
