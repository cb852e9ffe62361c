#pragma once
// The program's texts are code page 932 bytes; Qt's are UTF-16. Every text
// crosses between them here.

#include "platform/CodePage.h"

#include <QString>

#include <string_view>

namespace kivra::app {

QString ToQString(std::string_view cp932);
// A character that 932 cannot hold becomes "?", as on Windows.
platform::Text ToText(const QString& text);

} // namespace kivra::app
