#include "platform/posix/ShortNames.h"

#include "platform/CodePage.h"
#include "platform/posix/NameText.h"

#include <algorithm>
#include <cstdio>

namespace kivra::platform::posix {

namespace {

bool IsForbiddenInShortName(unsigned char byte)
{
    if (byte < 0x20 || byte == ' ') return true;
    switch (byte) {
    case '"':
    case '*':
    case '+':
    case ',':
    case '/':
    case ':':
    case ';':
    case '<':
    case '=':
    case '>':
    case '?':
    case '[':
    case '\\':
    case ']':
    case '|': return true;
    default: return false;
    }
}

// The longest prefix of `text` (932) of at most `limit` bytes that does not
// end inside a double-byte character.
std::string_view CutBytes(std::string_view text, std::size_t limit)
{
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t step = IsDBCSLeadByte(static_cast<unsigned char>(text[at])) && at + 1 < text.size() ? 2 : 1;
        if (at + step > limit) break;
        at += step;
    }
    return text.substr(0, at);
}

std::string WithExtension(std::string name, const std::string& extension)
{
    if (!extension.empty()) {
        name.push_back('.');
        name += extension;
    }
    return name;
}

// The alias parts of a name of ASCII characters alone, which are their
// own 932 codes, one byte each: no byte can be cut in two.
AliasParts AsciiAliasParts(std::u16string_view name)
{
    std::size_t start = 0;
    while (start < name.size() && name[start] == u'.') ++start;
    const std::u16string_view rest = name.substr(start);
    const std::size_t lastDot = rest.rfind(u'.');
    const std::u16string_view base = lastDot == std::u16string_view::npos ? rest : rest.substr(0, lastDot);
    const std::u16string_view extension =
        lastDot == std::u16string_view::npos ? std::u16string_view() : rest.substr(lastDot + 1);
    const auto convert = [](std::u16string_view part, std::size_t limit) {
        std::string out;
        for (const char16_t unit : part) {
            if (out.size() == limit) break;
            if (unit == u'.' || unit == u' ') continue;
            const bool replaced = IsForbiddenInName(unit) || unit == u'+' || unit == u',' || unit == u';' ||
                                  unit == u'=' || unit == u'[' || unit == u']';
            out.push_back(replaced ? '_' : static_cast<char>(UpperUnit(unit)));
        }
        return out;
    };
    return AliasParts{convert(base, 6), convert(extension, 3)};
}

} // namespace

bool IsLegalShortName(std::string_view name)
{
    if (name == "." || name == "..") return true;
    if (name.empty()) return false;
    std::size_t baseLength = 0;
    std::size_t extensionLength = 0;
    bool dot = false;
    for (std::size_t at = 0; at < name.size();) {
        const auto byte = static_cast<unsigned char>(name[at]);
        std::size_t step = 1;
        if (byte >= 0x80 && IsDBCSLeadByte(byte)) {
            if (at + 1 >= name.size()) return false; // a lone lead byte is no character
            step = 2;
        } else if (byte == '.') {
            if (dot) return false;
            dot = true;
            ++at;
            continue;
        } else if (IsForbiddenInShortName(byte)) {
            return false;
        }
        (dot ? extensionLength : baseLength) += step;
        at += step;
    }
    if (baseLength < 1 || baseLength > 8) return false;
    if (dot && (extensionLength < 1 || extensionLength > 3)) return false;
    return true;
}

std::uint16_t ShortNameHash(std::u16string_view name)
{
    std::uint32_t hash = 2166136261u;
    for (const char16_t unit : name) {
        hash = (hash ^ (unit & 0xFFu)) * 16777619u;
        hash = (hash ^ (unit >> 8)) * 16777619u;
    }
    return static_cast<std::uint16_t>((hash >> 16) ^ (hash & 0xFFFFu));
}

AliasParts AliasPartsOf(std::u16string_view name)
{
    if (std::all_of(name.begin(), name.end(), [](char16_t unit) { return unit < 0x80; })) return AsciiAliasParts(name);
    std::u16string upper = UpperUnits(name);
    std::size_t start = 0;
    while (start < upper.size() && upper[start] == u'.') ++start;
    std::u16string_view rest = std::u16string_view(upper).substr(start);
    const std::size_t lastDot = rest.rfind(u'.');
    const std::u16string_view base = lastDot == std::u16string_view::npos ? rest : rest.substr(0, lastDot);
    const std::u16string_view extension =
        lastDot == std::u16string_view::npos ? std::u16string_view() : rest.substr(lastDot + 1);

    const auto convert = [](std::u16string_view part) {
        std::string out;
        for (std::size_t at = 0; at < part.size(); ++at) {
            const char16_t unit = part[at];
            if (unit == u'.' || unit == u' ') continue;
            const bool pair = unit >= 0xD800 && unit <= 0xDBFF && at + 1 < part.size() && part[at + 1] >= 0xDC00 &&
                              part[at + 1] <= 0xDFFF;
            if (pair) ++at;
            const Cp932Code code = pair ? Cp932Code{{0, 0}, 0} : Cp932Of(unit);
            const bool replaced = code.length == 0 || IsForbiddenInName(unit) || unit == u'+' || unit == u',' ||
                                  unit == u';' || unit == u'=' || unit == u'[' || unit == u']';
            if (replaced) {
                out.push_back('_');
            } else {
                out.append(reinterpret_cast<const char*>(code.bytes), code.length);
            }
        }
        return out;
    };
    return AliasParts{std::string(CutBytes(convert(base), 6)), std::string(CutBytes(convert(extension), 3))};
}

AliasAssigner::AliasAssigner(std::size_t expectedNames)
{
    std::size_t size = 16;
    while (size < expectedNames * 2) size <<= 1;
    slots_.resize(size);
}

AliasAssigner::Slot& AliasAssigner::At(std::string_view name)
{
    if ((used_ + 1) * 2 > slots_.size()) {
        std::vector<Slot> old(slots_.size() * 2);
        old.swap(slots_);
        used_ = 0;
        for (const Slot& slot : old)
            if (slot.length != Free) At(std::string_view(slot.bytes, slot.length)) = slot;
    }
    std::uint32_t hash = 2166136261u;
    for (const char c : name) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
        Slot& slot = slots_[at];
        if (slot.length == Free) {
            name.copy(slot.bytes, Longest);
            slot.length = static_cast<std::uint8_t>(name.size());
            ++used_;
            return slot;
        }
        if (std::string_view(slot.bytes, slot.length) == name) return slot;
    }
}

void AliasAssigner::Reserve(std::string_view upperCaseName)
{
    if (upperCaseName.size() <= Longest) At(upperCaseName).taken = true;
}

bool AliasAssigner::TryTake(std::string_view candidate)
{
    Slot& slot = At(candidate);
    if (slot.taken) return false;
    slot.taken = true;
    return true;
}

std::string AliasAssigner::Assign(std::u16string_view name)
{
    const AliasParts parts = AliasPartsOf(name);
    const std::string key = WithExtension(parts.basis, parts.extension);
    // Tails below the first one not yet seen taken stay taken: names never
    // leave the table. A slot is found again after each take, which may
    // have moved it.
    std::uint32_t numbered = At(key).firstNumbered;
    for (; numbered <= 4; ++numbered) {
        std::string candidate = WithExtension(parts.basis + "~" + std::to_string(numbered), parts.extension);
        if (TryTake(candidate)) {
            At(key).firstNumbered = numbered + 1;
            return candidate;
        }
    }
    At(key).firstNumbered = numbered;

    char hex[5];
    std::snprintf(hex, sizeof hex, "%04X", static_cast<unsigned>(ShortNameHash(name)));
    const std::string hashed = std::string(CutBytes(parts.basis, 2)) + hex;
    for (int tail = 1; tail <= 9; ++tail) {
        std::string candidate = WithExtension(hashed + "~" + std::to_string(tail), parts.extension);
        if (TryTake(candidate)) return candidate;
    }

    for (std::uint32_t next = At(key).nextTail;; ++next) {
        const std::string tail = "~" + std::to_string(next);
        std::string candidate =
            WithExtension(std::string(CutBytes(parts.basis, 8 - tail.size())) + tail, parts.extension);
        if (TryTake(candidate)) {
            At(key).nextTail = next + 1;
            return candidate;
        }
    }
}

} // namespace kivra::platform::posix
