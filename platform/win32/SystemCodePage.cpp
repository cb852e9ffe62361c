// Code page 932 from Windows itself: its own conversion for code page 932,
// whatever the system's ANSI code page is, the invariant locale's simple
// case mapping and the Japanese collation.

#include "platform/SystemCodePage.h"

#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

namespace kivra::platform::system {

namespace {

constexpr UINT Japanese = 932;

char16_t MapUnit(char16_t unit, DWORD how)
{
    wchar_t in = static_cast<wchar_t>(unit);
    wchar_t out = in;
    if (LCMapStringEx(LOCALE_NAME_INVARIANT, how, &in, 1, &out, 1, nullptr, nullptr, 0) != 1) return unit;
    return static_cast<char16_t>(out);
}

} // namespace

std::u16string ReadCp932(std::string_view character)
{
    wchar_t units[4];
    const int length = MultiByteToWideChar(Japanese, MB_ERR_INVALID_CHARS, character.data(),
                                           static_cast<int>(character.size()), units, 4);
    if (length <= 0) return {};
    return std::u16string(reinterpret_cast<const char16_t*>(units), static_cast<std::size_t>(length));
}

std::string WriteCp932(char16_t unit)
{
    const wchar_t in = static_cast<wchar_t>(unit);
    char bytes[4];
    BOOL usedDefault = FALSE;
    const int length =
        WideCharToMultiByte(Japanese, WC_NO_BEST_FIT_CHARS, &in, 1, bytes, sizeof bytes, nullptr, &usedDefault);
    if (length <= 0 || usedDefault) return {};
    return std::string(bytes, static_cast<std::size_t>(length));
}

char16_t UpperUnit(char16_t unit) { return MapUnit(unit, LCMAP_UPPERCASE); }
char16_t LowerUnit(char16_t unit) { return MapUnit(unit, LCMAP_LOWERCASE); }

std::optional<int> Collate(std::u16string_view a, std::u16string_view b, bool ignoreCase)
{
    const int result =
        CompareStringEx(L"ja-JP", ignoreCase ? NORM_IGNORECASE : 0, reinterpret_cast<const wchar_t*>(a.data()),
                        static_cast<int>(a.size()), reinterpret_cast<const wchar_t*>(b.data()),
                        static_cast<int>(b.size()), nullptr, nullptr, 0);
    if (result == 0) return std::nullopt;
    return result - CSTR_EQUAL;
}

} // namespace kivra::platform::system
