#pragma once
// kivra-scan: the window's scan (walk, classification, the five result
// files) run from the command line, as a Unix command: Linux paths in and
// out, messages that name what they are about in the user's language, and
// an exit status a script can act on.

#include "cli/CommandTexts.h"
#include "cli/Message.h"
#include "platform/CodePage.h"

#include <string>
#include <string_view>
#include <vector>

namespace kivra::scan {

// Where the command's texts go, and what it asks of the user's locale.
class ScanConsole {
public:
    virtual ~ScanConsole() = default;
    // The language of the user's messages.
    virtual Language UserLanguage() = 0;
    // An argument as typed, in the locale's characters, as program text.
    virtual platform::Text ProgramText(std::string_view argument) = 0;
    // One line on standard output; the line end is added.
    virtual void Line(const Message& line) = 0;
    // Bytes on standard output exactly as given.
    virtual void Bytes(std::string_view bytes) = 0;
    // One line on standard error; the line end is added.
    virtual void ErrorLine(const Message& line) = 0;
    // True when a progress line is wanted (standard error is a terminal).
    virtual bool WantsProgress() = 0;
    // Replaces the progress line; an empty message removes it.
    virtual void Progress(const Message& line) = 0;
};

enum ScanExit : int {
    ScanNormal = 0,     // neither long-name nor lower-case entries
    ScanFound = 1,      // long-name or lower-case entries exist
    ScanError = 2,      // bad arguments, ROOT or the output folder unusable, a file not written
    ScanIncomplete = 3, // a directory below ROOT could not be read
};

// Runs kivra-scan with the arguments after the program name (the bytes the
// user gave); its help text tells the forms. ROOT and the output folder are
// Linux paths, turned into the program's Windows paths by the platform name
// by name; an argument that begins "X:\" or "\\" is a Windows path already.
int RunScanCommand(const std::vector<std::string>& arguments, ScanConsole& console);

// An error message as kivra-scan puts it on standard error: its name first.
Message ErrorMessage(const Message& text);

} // namespace kivra::scan
