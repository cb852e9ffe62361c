#include "platform/posix/NameText.h"

#include "platform/CodePage.h"
#include "platform/SystemCodePage.h"

#include <algorithm>
#include <array>
#include <vector>

namespace kivra::platform::posix {

namespace {

// Sequence length and value of the UTF-8 character at `at`, or 0 when the
// bytes there are not a valid, shortest-form character.
std::size_t ReadUtf8(std::string_view s, std::size_t at, char32_t& out)
{
    const auto b0 = static_cast<unsigned char>(s[at]);
    if (b0 < 0x80) {
        out = b0;
        return 1;
    }
    std::size_t length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2, value = b0 & 0x1F, minimum = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3, value = b0 & 0x0F, minimum = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4, value = b0 & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (at + length > s.size()) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const auto b = static_cast<unsigned char>(s[at + i]);
        if ((b & 0xC0) != 0x80) return 0;
        value = (value << 6) | (b & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    out = value;
    return length;
}

// Every BMP unit's 932 code, read from one conversion of all of them: in the
// output each character is one byte, or two when the first is a lead byte.
struct CodeTable {
    std::array<Cp932Code, 0x10000> codes{};

    CodeTable()
    {
        std::u16string all;
        all.reserve(0x10000);
        for (unsigned unit = 1; unit < 0x10000; ++unit) {
            if (unit >= 0xD800 && unit <= 0xDFFF) continue;
            all.push_back(static_cast<char16_t>(unit));
        }
        const std::string encoded = Cp932FromUtf16(all);
        std::size_t at = 0;
        bool inStep = true;
        for (const char16_t unit : all) {
            if (at >= encoded.size()) {
                inStep = false;
                break;
            }
            const auto first = static_cast<unsigned char>(encoded[at]);
            Cp932Code code{{first, 0}, 1};
            if (IsDBCSLeadByte(first) && at + 1 < encoded.size()) {
                code.bytes[1] = static_cast<unsigned char>(encoded[at + 1]);
                code.length = 2;
            }
            at += code.length;
            if (code.length == 1 && first == '?' && unit != u'?') code.length = 0;
            codes[unit] = code;
        }
        if (!inStep || at != encoded.size()) FillOneByOne(all);
    }

    // Slow but sure, should the converter ever give anything but one code
    // per unit.
    void FillOneByOne(const std::u16string& all)
    {
        for (const char16_t unit : all) {
            const std::string one = Cp932FromUtf16(std::u16string_view(&unit, 1));
            Cp932Code code{{0, 0}, 0};
            if ((one.size() == 1 && (one[0] != '?' || unit == u'?')) || one.size() == 2) {
                code.length = static_cast<unsigned char>(one.size());
                code.bytes[0] = static_cast<unsigned char>(one[0]);
                if (one.size() == 2) code.bytes[1] = static_cast<unsigned char>(one[1]);
            }
            codes[unit] = code;
        }
    }
};

const CodeTable& Codes()
{
    static const CodeTable table;
    return table;
}

} // namespace

std::u16string DecodeLinuxName(std::string_view bytes)
{
    std::u16string out;
    AppendLinuxName(bytes, out);
    return out;
}

void AppendLinuxName(std::string_view bytes, std::u16string& out)
{
    out.reserve(out.size() + bytes.size());
    for (std::size_t at = 0; at < bytes.size();) {
        char32_t c = 0;
        const std::size_t length = ReadUtf8(bytes, at, c);
        if (length == 0) {
            out.push_back(static_cast<char16_t>(0xDC00 + static_cast<unsigned char>(bytes[at])));
            ++at;
            continue;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
        at += length;
    }
}

char16_t UpperUnit(char16_t unit)
{
    if (unit < 0x80) return (unit >= u'a' && unit <= u'z') ? static_cast<char16_t>(unit - 0x20) : unit;
    if (unit >= 0xD800 && unit <= 0xDFFF) return unit;
    return system::UpperUnit(unit);
}

std::u16string UpperUnits(std::u16string_view text)
{
    std::u16string out(text);
    for (char16_t& unit : out) unit = UpperUnit(unit);
    return out;
}

bool IsForbiddenInName(char16_t unit)
{
    if (unit < 0x20) return true;
    switch (unit) {
    case u'\\':
    case u'/':
    case u':':
    case u'*':
    case u'?':
    case u'"':
    case u'<':
    case u'>':
    case u'|': return true;
    default: return false;
    }
}

Cp932Code Cp932Of(char16_t unit)
{
    if (unit < 0x80) return Cp932Code{{static_cast<unsigned char>(unit), 0}, 1};
    if (unit >= 0xD800 && unit <= 0xDFFF) return Cp932Code{{0, 0}, 0};
    return Codes().codes[unit];
}

std::string EncodeCp932(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size() * 2);
    for (const char16_t unit : text) {
        const Cp932Code code = Cp932Of(unit);
        if (code.length == 0) {
            out.push_back('?');
        } else {
            out.append(reinterpret_cast<const char*>(code.bytes), code.length);
        }
    }
    return out;
}

ShownName ShowName(std::u16string_view linuxName)
{
    ShownName shown;
    // Most names are printable ASCII, which is shown as it is.
    if (std::all_of(linuxName.begin(), linuxName.end(),
                    [](char16_t unit) { return unit >= 0x20 && unit < 0x80 && !IsForbiddenInName(unit); })) {
        shown.text.assign(linuxName.begin(), linuxName.end());
        return shown;
    }
    shown.utf16.reserve(linuxName.size());
    shown.text.reserve(linuxName.size() * 2);
    for (std::size_t at = 0; at < linuxName.size(); ++at) {
        const char16_t unit = linuxName[at];
        const bool pair = unit >= 0xD800 && unit <= 0xDBFF && at + 1 < linuxName.size() &&
                          linuxName[at + 1] >= 0xDC00 && linuxName[at + 1] <= 0xDFFF;
        if (pair) ++at; // one character beyond the BMP: one "?"
        const Cp932Code code = pair ? Cp932Code{{0, 0}, 0} : Cp932Of(unit);
        if (code.length == 0 || IsForbiddenInName(unit)) {
            shown.utf16.push_back(u'?');
            shown.text.push_back('?');
            shown.lossy = true;
        } else {
            shown.utf16.push_back(unit);
            shown.text.append(reinterpret_cast<const char*>(code.bytes), code.length);
        }
    }
    if (!shown.lossy) shown.utf16.clear();
    return shown;
}

bool NameAsWritten(std::string_view linuxName, std::string& text)
{
    ShownName shown = ShowName(DecodeLinuxName(linuxName));
    if (shown.lossy || Utf8FromCp932(shown.text) != linuxName) return false;
    text = std::move(shown.text);
    return true;
}

} // namespace kivra::platform::posix
