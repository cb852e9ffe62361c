#pragma once
// The 8.3 rules: which names are already short names, and the aliases that
// every other name of a directory gets.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kivra::platform::posix {

// A legal 8.3 name in 932, in any letter case: one to eight bytes, optionally
// a "." and one to three bytes; no second "."; no blank, no control
// character and none of " * + , / : ; < = > ? [ \ ] |. "." and ".." count
// as legal. Double-byte characters count two bytes and their second bytes
// are never taken for one of those characters.
bool IsLegalShortName(std::string_view name);

// FNV-1a (32 bits) over the UTF-16LE bytes of a name, its halves combined by
// exclusive or.
std::uint16_t ShortNameHash(std::u16string_view name);

// The alias parts of a name: upper-cased, leading periods removed, split at
// the last period, other periods and blanks removed, + , ; = [ ] and every
// character that a Windows name or 932 cannot hold made "_"; the basis cut
// to six bytes, the extension to three, never inside a double-byte character.
struct AliasParts {
    std::string basis;
    std::string extension;
};
AliasParts AliasPartsOf(std::u16string_view name);

// Hands out the aliases of one directory. Every legal 8.3 name of the
// directory is reserved first; then each other name, in enumeration order,
// gets the first free of basis~1 … basis~4, the hash form XXhhhh~1 … ~9, then
// basis~5, basis~6 … (basis shortened to keep eight bytes). Comparisons
// ignore case. The tail searches for one basis resume where they stopped, so a
// directory whose names all share their first six characters costs time in
// proportion to its size.
class AliasAssigner {
public:
    explicit AliasAssigner(std::size_t expectedNames = 0);
    void Reserve(std::string_view upperCaseName);
    std::string Assign(std::u16string_view name);

private:
    // Every alias and every legal 8.3 name fits in twelve bytes, and so does
    // a basis with its extension; a longer name can never be handed out, so
    // reserving it changes nothing.
    static constexpr std::size_t Longest = 12;
    static constexpr std::uint8_t Free = 0xFF;

    // One name in an open-addressing table: whether it is taken, and, as a
    // basis with its extension, where its searches for a free tail resume.
    struct Slot {
        char bytes[Longest];
        std::uint8_t length = Free;
        bool taken = false;
        std::uint32_t firstNumbered = 1; // ~1 to ~4
        std::uint32_t nextTail = 5;      // after the hash form
    };

    Slot& At(std::string_view name);
    bool TryTake(std::string_view candidate);

    std::vector<Slot> slots_;
    std::size_t used_ = 0;
};

} // namespace kivra::platform::posix
