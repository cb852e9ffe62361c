// kivra-scan: the command-line front end for Linux users and scripts. This
// file is the one place where the program meets its terminal: it takes the
// user's locale, shows the program's texts in the locale's character set,
// draws the progress line when standard error is a terminal, and makes sure
// that everything written to standard output got there.

#include "cli/CommandTexts.h"
#include "cli/ScanCommand.h"
#include "platform/Console.h"
#include "platform/Process.h"
#include "platform/SystemPlatform.h"
#include "platform/Win32.h"
#ifdef _WIN32
#include "platform/win32/Utf8.h"
#endif

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <system_error>
#include <vector>

namespace {

using kivra::platform::Text;
using kivra::scan::Language;
using kivra::scan::Message;

class TerminalConsole : public kivra::scan::ScanConsole {
public:
    explicit TerminalConsole(const kivra::platform::UserLocale& locale)
        : locale_(locale),
          terminal_(kivra::platform::StandardErrorIsTerminal())
    {
        // Japanese where the locale's language is Japanese and its character
        // set can show the program's Japanese texts.
        std::string shown;
        const bool japanese = locale.MessagesInJapanese() &&
                              locale.FromProgramText(kivra::scan::CommandTextsIn(Language::Japanese).help, shown);
        language_ = japanese ? Language::Japanese : Language::English;
    }

    Language UserLanguage() override { return language_; }

    Text ProgramText(std::string_view argument) override { return locale_.ToProgramText(argument); }

    void Line(const Message& line) override { Write(stdout, Local(line) + "\n"); }

    void Bytes(std::string_view bytes) override { Write(stdout, bytes); }

    void ErrorLine(const Message& line) override
    {
        Progress(Message());
        Write(stderr, Local(line) + "\n");
    }

    bool WantsProgress() override { return terminal_; }

    void Progress(const Message& line) override
    {
        if (!terminal_ || (line.Empty() && !shown_)) return;
        // Carriage return and "erase to end of line": the line is redrawn in place.
        Write(stderr, "\r\x1b[K" + Local(line));
        std::fflush(stderr);
        shown_ = !line.Empty();
    }

    // The first failure to write to standard output, as the C library gave
    // it (0 when none).
    int OutputError() const { return outputError_; }

private:
    std::string Local(const Message& message) const
    {
        std::string text;
        std::string local;
        for (const Message::Piece& piece : message.Pieces()) {
            if (piece.asIs) {
                text += piece.bytes;
            } else {
                locale_.FromProgramText(piece.bytes, local);
                text += local;
            }
        }
        return text;
    }

    void Write(std::FILE* stream, std::string_view bytes)
    {
        if (!kivra::platform::WriteToStandardStream(stream, bytes) && stream == stdout && outputError_ == 0)
            outputError_ = errno;
    }

    const kivra::platform::UserLocale& locale_;
    Language language_;
    bool terminal_;
    bool shown_ = false;
    int outputError_ = 0;
};

// Standard output flushed and closed: false, after saying why, when any of
// it could not be written.
bool CloseStandardOutput(TerminalConsole& console)
{
    int error = console.OutputError();
    bool failed = std::ferror(stdout) != 0;
    errno = 0;
    if (std::fflush(stdout) != 0) {
        failed = true;
        if (error == 0) error = errno;
    }
    errno = 0;
    if (std::fclose(stdout) != 0) {
        failed = true;
        if (error == 0) error = errno;
    }
    if (!failed) return true;
    const auto& texts = kivra::scan::CommandTextsIn(console.UserLanguage());
    // The C library's own words for the failure, already in the locale's
    // language and character set.
    const Message reason =
        error != 0 ? Message::AsIs(std::strerror(error)) : Message(texts.Reason(kivra::platform::ERROR_WRITE_FAULT));
    console.ErrorLine(kivra::scan::ErrorMessage(Message::Format(texts.writeError, {reason})));
    return false;
}

int Main(const std::vector<std::string>& arguments)
{
    kivra::platform::FailWritesPastFileSizeLimit();
    const kivra::platform::ScopedPlatform system(kivra::platform::SystemPlatform());
    std::setlocale(LC_ALL, "");
    const kivra::platform::UserLocale locale;
    TerminalConsole console(locale);
    int status = kivra::scan::ScanError;
    try {
        status = kivra::scan::RunScanCommand(arguments, console);
    } catch (const std::bad_alloc&) {
        const auto& texts = kivra::scan::CommandTextsIn(console.UserLanguage());
        console.ErrorLine(kivra::scan::ErrorMessage(Message(texts.Reason(kivra::platform::ERROR_NOT_ENOUGH_MEMORY))));
    } catch (const std::system_error& failure) {
        // The threads the scan starts beside this one are the only system
        // resources it asks for this way; the C library's words say why.
        const auto& texts = kivra::scan::CommandTextsIn(console.UserLanguage());
        console.ErrorLine(kivra::scan::ErrorMessage(
            Message::Format(texts.threadFailed, {Message::AsIs(std::strerror(failure.code().value()))})));
    } catch (const std::exception& failure) {
        // A failure nobody expected: its text (the program's, in 932).
        console.ErrorLine(kivra::scan::ErrorMessage(Message(failure.what())));
    }
    if (!CloseStandardOutput(console)) status = kivra::scan::ScanError;
    // Nowhere is left to say that standard error failed; the status says it.
    if (std::fflush(stderr) != 0 || std::ferror(stderr) != 0) status = kivra::scan::ScanError;
    return status;
}

} // namespace

#ifdef _WIN32
// Windows gives the arguments in UTF-16; they reach the command in UTF-8,
// the character set of the system's paths there.
int wmain(int argc, wchar_t** argv)
{
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) arguments.push_back(kivra::platform::win32::Utf8FromWide(argv[i]));
    return Main(arguments);
}
#else
int main(int argc, char** argv) { return Main(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
