#include "app/QtText.h"

namespace kivra::app {

QString ToQString(std::string_view cp932)
{
    const std::u16string utf16 = platform::Utf16FromCp932(cp932);
    return QString::fromUtf16(utf16.data(), static_cast<qsizetype>(utf16.size()));
}

platform::Text ToText(const QString& text)
{
    return platform::Cp932FromUtf16(
        std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())));
}

} // namespace kivra::app
