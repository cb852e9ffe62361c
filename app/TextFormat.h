#pragma once
// Filling in the formats of the program's text table (ResourceNotFoundFormat
// and the like).

#include "platform/CodePage.h"

#include <initializer_list>

namespace kivra::app {

// Formats a text of the program: each "%s" and "%p" of `format`, in order,
// takes the next of `arguments`; "%d" too. Code page 932 never uses the byte
// "%" inside a double-byte character, so a plain scan finds them.
platform::Text FormatText(const platform::Text& format, std::initializer_list<platform::Text> arguments);

} // namespace kivra::app
