#pragma once
// The program's texts by name, as code page 932 bytes. The table itself is
// Texts.def; nothing else in the program spells these texts.

#include "platform/CodePage.h"

namespace kivra::texts {

struct ProgramTexts {
#define KIVRA_TEXT(name, utf8) platform::Text name;
#include "resources/Texts.def"
#undef KIVRA_TEXT
};

// Converted from the table once, on first use; main() asks for it at start-up.
const ProgramTexts& Texts();

} // namespace kivra::texts
