#include "platform/WindowsPath.h"

namespace kivra::platform {

namespace {

constexpr std::size_t MaxPathBytes = 32767;

// Bytes of the character at `at`: two for a lead byte with a byte after it.
std::size_t CharacterLength(std::string_view text, std::size_t at)
{
    return IsDBCSLeadByte(static_cast<unsigned char>(text[at])) && at + 1 < text.size() ? 2 : 1;
}

// The first "\" or "/" at or after `at` (a character's start), or the end.
std::size_t NextSeparator(std::string_view text, std::size_t at)
{
    while (at < text.size() && !IsPathSeparator(text[at])) at += CharacterLength(text, at);
    return at < text.size() ? at : text.size();
}

// Where a path text starts, and what it starts with.
void ReadStart(std::string_view text, PathText& path)
{
    if (text.size() >= 2 && IsPathSeparator(text[0]) && IsPathSeparator(text[1])) {
        path.kind = PathStartKind::Network;
        const std::size_t hostEnd = NextSeparator(text, 2);
        path.host = Text(text.substr(2, hostEnd - 2));
        path.startLength = hostEnd;
        if (hostEnd < text.size() && !path.host.empty()) {
            const std::size_t shareEnd = NextSeparator(text, hostEnd + 1);
            path.share = Text(text.substr(hostEnd + 1, shareEnd - hostEnd - 1));
            path.startLength = shareEnd;
        }
    } else if (const char letter = DriveLetterOf(text); letter != 0) {
        path.letter = letter;
        path.startLength = 2;
        path.kind = text.size() > 2 && IsPathSeparator(text[2]) ? PathStartKind::Drive : PathStartKind::DriveRelative;
    } else {
        path.kind = !text.empty() && IsPathSeparator(text[0]) ? PathStartKind::RootRelative : PathStartKind::Relative;
    }
}

bool Glob(std::string_view pattern, std::string_view name)
{
    std::size_t p = 0, n = 0, starPattern = NoPosition, starName = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starPattern = ++p;
            starName = n;
            continue;
        }
        if (p < pattern.size()) {
            const std::size_t patternLength = CharacterLength(pattern, p);
            const std::size_t nameLength = CharacterLength(name, n);
            if ((pattern[p] == '?' && patternLength == 1) ||
                (patternLength == nameLength && pattern.compare(p, patternLength, name, n, nameLength) == 0)) {
                p += patternLength;
                n += nameLength;
                continue;
            }
        }
        if (starPattern == NoPosition) return false;
        starName += CharacterLength(name, starName);
        n = starName;
        p = starPattern;
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

// True when the last two characters are "." and "*": the "." must be a
// character of its own, not the second byte of a pair.
bool EndsWithDotStar(std::string_view pattern)
{
    if (pattern.size() < 2 || pattern.substr(pattern.size() - 2) != ".*") return false;
    std::size_t at = 0;
    while (at < pattern.size() - 2) at += CharacterLength(pattern, at);
    return at == pattern.size() - 2;
}

} // namespace

char DriveLetterOf(std::string_view text)
{
    if (text.size() < 2 || text[1] != ':') return 0;
    const char c = text[0];
    if (c >= 'a' && c <= 'z') return static_cast<char>(c - 'a' + 'A');
    return c >= 'A' && c <= 'Z' ? c : 0;
}

bool HasWildcard(std::string_view name) { return name.find_first_of("*?") != std::string_view::npos; }

PathText SplitPathText(std::string_view text, std::size_t baseDepth)
{
    PathText path;
    ReadStart(text, path);
    std::size_t base =
        path.kind == PathStartKind::Relative || path.kind == PathStartKind::DriveRelative ? baseDepth : 0;
    std::vector<std::size_t> kept; // pieces of the names that stay, in order
    for (std::size_t at = path.startLength; at < text.size();) {
        if (IsPathSeparator(text[at])) {
            path.pieces.push_back(PathPiece{at, 1, true});
            ++at;
            continue;
        }
        const std::size_t end = NextSeparator(text, at);
        const std::string_view name = text.substr(at, end - at);
        if (name == "..") {
            if (!kept.empty())
                kept.pop_back();
            else if (base > 0)
                --base;
        } else if (name != ".") {
            kept.push_back(path.pieces.size());
        }
        path.pieces.push_back(PathPiece{at, end - at, false});
        at = end;
    }
    for (std::size_t i = 0; i < kept.size(); ++i) path.pieces[kept[i]].level = base + i;
    return path;
}

Text WindowsPath::ToText() const
{
    Text text = driveText;
    if (names.empty()) return text + "\\";
    for (const Text& name : names) {
        text.push_back('\\');
        text += name;
    }
    return text;
}

CurrentDirectories::CurrentDirectories(char letter)
{
    WindowsPath root;
    root.letter = letter;
    root.driveText = Text{letter, ':'};
    current_ = root;
}

std::optional<WindowsPath> CurrentDirectories::OfDrive(char letter) const
{
    if (current_ && current_->letter == letter) return *current_;
    if (const auto found = drives_.find(letter); found != drives_.end()) return found->second;
    if (!current_) return std::nullopt;
    WindowsPath root;
    root.letter = letter;
    root.driveText = Text{letter, ':'};
    return root;
}

void CurrentDirectories::Enter(const WindowsPath& path)
{
    current_ = path;
    if (!path.IsNetwork()) drives_[path.letter] = path;
}

void CurrentDirectories::Forget() { current_.reset(); }

DWORD ParseWindowsPath(std::string_view text, const CurrentDirectories& current, WindowsPath& out)
{
    if (text.empty()) return ERROR_PATH_NOT_FOUND;
    if (text.size() >= MaxPathBytes) return ERROR_FILENAME_EXCED_RANGE;
    const PathText split = SplitPathText(text);
    WindowsPath path;
    switch (split.kind) {
    case PathStartKind::Network:
        if (split.host.empty()) return ERROR_INVALID_NAME;
        if (split.share.empty()) return ERROR_BAD_NETPATH;
        path.host = split.host;
        path.share = split.share;
        path.driveText = "\\\\" + split.host + "\\" + split.share;
        break;
    case PathStartKind::Drive:
        path.letter = split.letter;
        path.driveText = Text(text.substr(0, 2));
        break;
    case PathStartKind::DriveRelative: {
        std::optional<WindowsPath> base = current.OfDrive(split.letter);
        if (!base) return ERROR_PATH_NOT_FOUND;
        path = std::move(*base);
        break;
    }
    case PathStartKind::RootRelative:
    case PathStartKind::Relative:
        if (current.Current() == nullptr) return ERROR_PATH_NOT_FOUND;
        path = *current.Current();
        if (split.kind == PathStartKind::RootRelative) path.names.clear();
        break;
    }
    for (const PathPiece& piece : split.pieces) {
        if (piece.separator) continue;
        const std::string_view name = text.substr(piece.offset, piece.length);
        if (name == ".") continue;
        if (name == "..") {
            if (!path.names.empty()) path.names.pop_back();
            continue;
        }
        path.names.emplace_back(name);
    }
    out = std::move(path);
    return ERROR_SUCCESS;
}

bool MatchesPattern(std::string_view upperPattern, std::string_view upperName)
{
    if (upperPattern == "*" || upperPattern == "*.*") return true;
    if (Glob(upperPattern, upperName)) return true;
    return EndsWithDotStar(upperPattern) && Glob(upperPattern.substr(0, upperPattern.size() - 2), upperName);
}

} // namespace kivra::platform
