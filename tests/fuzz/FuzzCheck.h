#pragma once
// What the harnesses share: a broken invariant is a finding, and the fuzz
// input is cut into fields.

#include "platform/CodePage.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace kivra::fuzz {

// Says which invariant broke and aborts: libFuzzer reports the abort as a
// crash and keeps the input.
[[noreturn]] inline void Fail(const char* what, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, what);
    std::abort();
}

// The fields of `input` between `separator` bytes; the last of `most` fields
// takes the rest, separators included.
inline std::vector<std::string_view> Fields(std::string_view input, char separator, std::size_t most)
{
    std::vector<std::string_view> fields;
    while (fields.size() + 1 < most) {
        const std::size_t end = input.find(separator);
        if (end == std::string_view::npos) break;
        fields.push_back(input.substr(0, end));
        input.remove_prefix(end + 1);
    }
    fields.push_back(input);
    return fields;
}

// The characters of a 932 text as the double-byte-aware scans read it: a
// lead byte takes the byte after it along.
inline std::vector<std::string_view> Characters(std::string_view text)
{
    std::vector<std::string_view> characters;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length =
            platform::IsDBCSLeadByte(static_cast<unsigned char>(text[at])) && at + 1 < text.size() ? 2 : 1;
        characters.push_back(text.substr(at, length));
        at += length;
    }
    return characters;
}

inline std::string_view AsText(const std::uint8_t* data, std::size_t size)
{
    return {reinterpret_cast<const char*>(data), size};
}

} // namespace kivra::fuzz

#define FUZZ_CHECK(condition) ((condition) ? void() : ::kivra::fuzz::Fail(#condition, __FILE__, __LINE__))
