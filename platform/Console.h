#pragma once
// What the command-line program asks of its terminal and of the user's
// locale.

#include "platform/CodePage.h"

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace kivra::platform {

// True when the process's standard error is a terminal: a progress line
// redrawn in place there is seen by a person, while in a file or a pipe it
// would only be clutter.
bool StandardErrorIsTerminal();

// Writes text in the locale's character set to standard output or standard
// error: on a Windows console as the console's own characters, elsewhere as
// the bytes they are. False, with errno set where the C library sets it,
// when not all of it got there.
bool WriteToStandardStream(std::FILE* stream, std::string_view text);

// While it lives, the signals with which a user or the system asks the
// program to stop (interrupt, quit, hang-up, terminate) wait, and are
// delivered when it ends: a step that must not be cut short (a result file
// being put in its place) finishes or cleans up first.
class InterruptionsHeld {
public:
    InterruptionsHeld();
    ~InterruptionsHeld();
    InterruptionsHeld(const InterruptionsHeld&) = delete;
    InterruptionsHeld& operator=(const InterruptionsHeld&) = delete;

private:
    struct Mask;
    std::unique_ptr<Mask> previous_;
};

// The user's locale as the C library holds it once the program has taken it
// from the environment (setlocale(LC_ALL, "")): the language its messages
// are to be in, and the character set of the terminal's texts. On Windows
// the language is the user's display language and the character set UTF-8
// (a console is written in its own characters, WriteToStandardStream).
class UserLocale {
public:
    UserLocale();
    ~UserLocale();
    UserLocale(const UserLocale&) = delete;
    UserLocale& operator=(const UserLocale&) = delete;

    // True when the language of the locale's messages (LC_MESSAGES) is
    // Japanese.
    bool MessagesInJapanese() const;
    // Program text (code page 932) in the locale's character set. False when
    // some character has no code there; `local` then shows it as "?".
    bool FromProgramText(std::string_view text, std::string& local) const;
    // Text in the locale's character set as program text: a character that
    // 932 cannot hold, or a byte that is no character, becomes "?".
    Text ToProgramText(std::string_view local) const;

private:
    struct Converters;
    bool japanese_ = false;
    bool utf8_ = false;
    std::unique_ptr<Converters> converters_;
};

} // namespace kivra::platform
