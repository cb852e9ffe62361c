// kivra-scan: the command-line front end for Linux users and scripts. This
// file is the one place where the program meets its terminal: it converts
// between the user's locale and code page 932 and asks whether standard
// error is a terminal for the progress line.

#include "platform/CodePage.h"
#include "platform/Console.h"
#include "resources/Texts.h"
#include "scan/cli/ScanCommand.h"

#include <algorithm>
#include <cctype>
#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using kivra::platform::Text;

// Code page 932 itself when the locale's character set is Shift-JIS, UTF-8
// in every other locale.
bool LocaleIsShiftJis()
{
    const char* name = std::setlocale(LC_CTYPE, nullptr);
    std::string upper = name ? name : "";
    std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
    for (const char* codeset : {"SJIS", "SHIFT_JIS", "SHIFT-JIS", "CP932", "WINDOWS-31J", "PCK"})
        if (upper.find(codeset) != std::string::npos) return true;
    return false;
}

class TerminalConsole : public kivra::scan::ScanConsole {
public:
    TerminalConsole() : shiftJis_(LocaleIsShiftJis()), terminal_(kivra::platform::StandardErrorIsTerminal()) {}

    std::string Local(const Text& text) const { return shiftJis_ ? text : kivra::platform::Utf8FromCp932(text); }
    Text FromLocal(const std::string& text) const { return shiftJis_ ? text : kivra::platform::Cp932FromUtf8(text); }

    void Line(const Text& text) override
    {
        const std::string line = Local(text) + "\n";
        std::fwrite(line.data(), 1, line.size(), stdout);
    }

    void ErrorLine(const Text& text) override
    {
        Progress(Text());
        const std::string line = Local(text) + "\n";
        std::fwrite(line.data(), 1, line.size(), stderr);
    }

    bool WantsProgress() override { return terminal_; }

    void Progress(const Text& text) override
    {
        if (!terminal_ || (text.empty() && !shown_)) return;
        // Carriage return and "erase to end of line": the line is redrawn in place.
        const std::string line = "\r\x1b[K" + Local(text);
        std::fwrite(line.data(), 1, line.size(), stderr);
        std::fflush(stderr);
        shown_ = !text.empty();
    }

private:
    bool shiftJis_;
    bool terminal_;
    bool shown_ = false;
};

} // namespace

int main(int argc, char** argv)
{
    std::setlocale(LC_ALL, "");
    TerminalConsole console;
    std::vector<Text> arguments;
    for (int i = 1; i < argc; ++i) arguments.push_back(console.FromLocal(argv[i]));
    try {
        const int status = kivra::scan::RunScanCommand(arguments, console);
        std::fflush(stdout);
        return status;
    } catch (const std::exception& failure) {
        // A failure nobody expected (exhausted memory during the walk): its
        // text, and the error status.
        console.ErrorLine(failure.what());
        return kivra::scan::ScanError;
    }
}
