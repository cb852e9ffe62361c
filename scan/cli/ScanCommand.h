#pragma once
// kivra-scan: the window's scan (walk, classification, the five result
// files) run from the command line. Everything here speaks code page 932;
// the console converts to and from the user's locale.

#include "platform/CodePage.h"

#include <vector>

namespace kivra::scan {

// Where the command's texts go. All texts are code page 932 bytes without a
// final line end.
class ScanConsole {
public:
    virtual ~ScanConsole() = default;
    // One line of the result on standard output.
    virtual void Line(const platform::Text& text) = 0;
    // One line of an error message on standard error.
    virtual void ErrorLine(const platform::Text& text) = 0;
    // True when a progress line is wanted (standard error is a terminal).
    virtual bool WantsProgress() = 0;
    // Replaces the progress line; an empty text removes it.
    virtual void Progress(const platform::Text& text) = 0;
};

enum ScanExit : int {
    ScanNormal = 0, // neither long-name nor lower-case entries
    ScanFound = 1,  // long-name or lower-case entries exist
    ScanError = 2,  // bad arguments, missing root, a file not written
};

// Runs `kivra-scan [--output DIR] ROOT` with the arguments after the program
// name. ROOT and DIR are Linux paths ("/home/u/data" is C:\home\u\data) or
// Windows paths ("C:\DATA", "D:\"); relative ones start at the current
// directory. DIR defaults to the current directory.
int RunScanCommand(const std::vector<platform::Text>& arguments, ScanConsole& console);

// The Windows path a command-line path names, made full and with "." and
// ".." applied: a path beginning with "/" is seen through drive C:, a drive
// or network path is taken as it is, anything else is relative to the
// current directory.
platform::Text WindowsPathOf(const platform::Text& argument);

} // namespace kivra::scan
