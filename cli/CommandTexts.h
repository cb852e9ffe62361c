#pragma once
// kivra-scan's texts in the user's language: the program's Japanese texts
// for a Japanese user, English for everyone else.

#include "cli/Message.h"
#include "platform/CodePage.h"

namespace kivra::scan {

enum class Language { English, Japanese };

// Patterns take "%1" (the path or argument the message is about), "%2" (the
// reason) and "%3" (the program's own message), as each states.
struct CommandTexts {
    platform::Text help;
    platform::Text tryHelp;
    platform::Text unknownOption;   // %1 the option
    platform::Text missingArgument; // %1 the option
    platform::Text badListKind;     // %1 the argument, %2 the option
    platform::Text nullWithoutList; // %1 the option
    platform::Text extraOperand;    // %1 the argument
    platform::Text missingRoot;
    platform::Text rootMissing;    // %1 ROOT, %2 reason, %3 the window's message
    platform::Text outputUnusable; // %1 the folder, %2 reason
    platform::Text workingDirectory;
    platform::Text workingDirectoryGone;
    platform::Text saveFailed;      // %1 the file, %2 reason, %3 the file's own message
    platform::Text cannotSearch;    // %1 the directory, %2 reason
    platform::Text cannotShortForm; // %1 the path, %2 reason
    platform::Text threadFailed;    // %1 reason
    platform::Text writeError;      // %1 reason
    // Counts (%1 the number), in the order of the five lists.
    platform::Text countLongNames, countShortNames, countDifferent, countLongFiles, countKomojiFiles;
    platform::Text verdictFound, verdictNormal;
    // In place of the normal verdict, or after the found one, when
    // directories could not be read: %1 how many, %2 the first.
    platform::Text verdictNotReadWhole;
    // The same when short forms could not be had.
    platform::Text verdictNoShortForm;
    platform::Text progress; // followed by the count and the directory

    // The reason for a platform error code, in this language.
    platform::Text Reason(platform::DWORD error) const;

    Language language = Language::English;
};

const CommandTexts& CommandTextsIn(Language language);

// A text without the blanks at either end (the window's messages carry
// them for their dialog).
platform::Text Trimmed(const platform::Text& text);

} // namespace kivra::scan
