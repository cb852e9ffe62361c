#pragma once
// The 8.3 rules: which names are already short names, and the aliases that
// every other name of a directory gets.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

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
    explicit AliasAssigner(std::size_t expectedNames = 0) { taken_.reserve(expectedNames); }
    void Reserve(std::string_view upperCaseName);
    std::string Assign(std::u16string_view name);

private:
    bool TryTake(const std::string& candidate);

    std::unordered_set<std::string> taken_;
    std::unordered_map<std::string, std::uint32_t> firstNumbered_;  // by basis and extension: ~1 to ~4
    std::unordered_map<std::string, std::uint32_t> nextTail_;
};

} // namespace kivra::platform::posix
