// Windows path texts: taking them apart, making them full against a current
// directory, writing them back, and matching search patterns.
//
// Input: current directory, path text, pattern and name, separated by zero
// bytes. A current directory of "-" is unknown.

#include "platform/WindowsPath.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kivra::platform {
namespace {

using fuzz::Characters;

// A lead byte at the very end would take along whatever is written after the
// text: only texts of whole characters can be joined to others unchanged.
bool EndsWithWholeCharacter(std::string_view text)
{
    const std::vector<std::string_view> characters = Characters(text);
    return characters.empty() || characters.back().size() == 2 ||
           !IsDBCSLeadByte(static_cast<unsigned char>(characters.back()[0]));
}

bool HoldsSeparator(std::string_view name)
{
    for (const std::string_view c : Characters(name))
        if (c.size() == 1 && IsPathSeparator(c[0])) return true;
    return false;
}

bool SamePath(const WindowsPath& a, const WindowsPath& b)
{
    return a.letter == b.letter && a.driveText == b.driveText && a.host == b.host && a.share == b.share &&
           a.names == b.names;
}

void CheckSplit(std::string_view text, std::size_t baseDepth)
{
    const PathText split = SplitPathText(text, baseDepth);
    FUZZ_CHECK(split.startLength <= text.size());
    std::size_t at = split.startLength;
    std::size_t nextLevel = NoPosition;
    for (const PathPiece& piece : split.pieces) {
        FUZZ_CHECK(piece.offset == at);
        FUZZ_CHECK(piece.length > 0);
        const std::string_view written = text.substr(piece.offset, piece.length);
        if (piece.separator) {
            FUZZ_CHECK(piece.length == 1 && IsPathSeparator(written[0]));
            FUZZ_CHECK(piece.level == NoPosition);
        } else {
            FUZZ_CHECK(!HoldsSeparator(written));
            if (written == "." || written == "..") FUZZ_CHECK(piece.level == NoPosition);
            // The names that stay count up one by one.
            if (piece.level != NoPosition) {
                FUZZ_CHECK(nextLevel == NoPosition || piece.level == nextLevel);
                nextLevel = piece.level + 1;
            }
        }
        at += piece.length;
    }
    FUZZ_CHECK(at == text.size());

    // Case changes keep every character's length, so the upper-cased text
    // comes apart in the same places.
    const PathText upper = SplitPathText(UpperCaseText(text), baseDepth);
    FUZZ_CHECK(upper.kind == split.kind && upper.letter == split.letter && upper.startLength == split.startLength);
    FUZZ_CHECK(upper.pieces.size() == split.pieces.size());
    for (std::size_t i = 0; i < split.pieces.size(); ++i) {
        FUZZ_CHECK(upper.pieces[i].offset == split.pieces[i].offset);
        FUZZ_CHECK(upper.pieces[i].length == split.pieces[i].length);
        FUZZ_CHECK(upper.pieces[i].level == split.pieces[i].level);
    }
}

void CheckParse(std::string_view text, const CurrentDirectories& current)
{
    WindowsPath path;
    const DWORD error = ParseWindowsPath(text, current, path);
    if (text.empty()) FUZZ_CHECK(error == ERROR_PATH_NOT_FOUND);
    if (text.size() >= 32767) FUZZ_CHECK(error == ERROR_FILENAME_EXCED_RANGE);
    if (error != ERROR_SUCCESS) {
        FUZZ_CHECK(error == ERROR_PATH_NOT_FOUND || error == ERROR_FILENAME_EXCED_RANGE ||
                   error == ERROR_INVALID_NAME || error == ERROR_BAD_NETPATH);
        return;
    }
    FUZZ_CHECK(path.IsNetwork() ? !path.host.empty() && !path.share.empty() : path.letter >= 'A' && path.letter <= 'Z');
    for (const Text& name : path.names) {
        FUZZ_CHECK(!name.empty() && name != "." && name != "..");
        FUZZ_CHECK(!HoldsSeparator(name));
    }
    // The names that stay are those SplitPathText counts, after the current
    // directory's for a relative path.
    const PathText split = SplitPathText(text, 0);
    std::size_t kept = 0;
    for (const PathPiece& piece : split.pieces) kept += piece.level != NoPosition ? 1 : 0;
    if (split.kind == PathStartKind::Drive || split.kind == PathStartKind::Network ||
        split.kind == PathStartKind::RootRelative)
        FUZZ_CHECK(path.names.size() == kept);
    else
        FUZZ_CHECK(path.names.size() >= kept);

    // A full path written out reads back as itself, whatever the current
    // directory.
    if (EndsWithWholeCharacter(text)) {
        const Text written = path.ToText();
        WindowsPath again;
        const CurrentDirectories elsewhere('Q');
        if (written.size() < 32767) {
            FUZZ_CHECK(ParseWindowsPath(written, elsewhere, again) == ERROR_SUCCESS);
            FUZZ_CHECK(SamePath(again, path));
            FUZZ_CHECK(again.ToText() == written);
        }
    }
}

// The reference reading of a pattern: over whole characters, "*" any run of
// them, "?" exactly one, and every other character itself.
bool GlobByCharacters(const std::vector<std::string_view>& pattern, const std::vector<std::string_view>& name)
{
    // matches[j]: the pattern read so far matches the first j characters.
    std::vector<char> matches(name.size() + 1, 0);
    matches[0] = 1;
    for (const std::string_view p : pattern) {
        std::vector<char> next(name.size() + 1, 0);
        if (p == "*") {
            char any = 0;
            for (std::size_t j = 0; j <= name.size(); ++j) next[j] = any = static_cast<char>(any | matches[j]);
        } else {
            for (std::size_t j = 0; j < name.size(); ++j)
                if (matches[j] && (p == "?" || p == name[j])) next[j + 1] = 1;
        }
        matches = std::move(next);
    }
    return matches[name.size()] != 0;
}

bool ReferenceMatch(std::string_view pattern, std::string_view name)
{
    std::vector<std::string_view> p = Characters(pattern);
    const std::vector<std::string_view> n = Characters(name);
    if (pattern == "*" || pattern == "*.*" || GlobByCharacters(p, n)) return true;
    if (p.size() < 2 || p[p.size() - 2] != "." || p.back() != "*") return false;
    p.resize(p.size() - 2);
    return GlobByCharacters(p, n);
}

void CheckMatch(std::string_view pattern, std::string_view name)
{
    FUZZ_CHECK(MatchesPattern(pattern, name) == ReferenceMatch(pattern, name));
}

} // namespace
} // namespace kivra::platform

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace kivra::platform;
    const std::vector<std::string_view> fields = kivra::fuzz::Fields(kivra::fuzz::AsText(data, size), '\0', 4);
    const std::string_view currentText = fields[0];
    const std::string_view text = fields.size() > 1 ? fields[1] : std::string_view();

    CurrentDirectories current('C');
    if (currentText == "-") {
        current.Forget();
    } else if (!currentText.empty() && EndsWithWholeCharacter(currentText)) {
        WindowsPath entered;
        if (ParseWindowsPath(currentText, current, entered) == ERROR_SUCCESS) current.Enter(entered);
    }
    const std::size_t baseDepth = current.Current() ? current.Current()->names.size() : 0;
    CheckSplit(currentText, baseDepth);
    CheckSplit(text, baseDepth);
    CheckParse(text, current);

    // The reference match costs the product of both lengths.
    if (fields.size() == 4 && fields[2].size() <= 256 && fields[3].size() <= 256) CheckMatch(fields[2], fields[3]);
    return 0;
}
