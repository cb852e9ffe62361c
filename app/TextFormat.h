#pragma once
// Filling in the formats of the program's text table (ResourceNotFoundFormat,
// the drive selector's item texts and the like).

#include "platform/CodePage.h"

#include <initializer_list>

namespace kivra::app {

// Formats a text of the program: each "%s", "%p" and "%d" of `format`, in
// order, takes the next of `arguments` as it is (the arguments may hold any
// bytes, "%" included; they are not scanned); "%%" is one "%". Code page 932
// never uses the byte "%" inside a double-byte character, so a plain scan
// finds the places.
platform::Text FormatText(const platform::Text& format, std::initializer_list<platform::Text> arguments);

} // namespace kivra::app
