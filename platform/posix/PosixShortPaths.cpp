// GetShortPathNameA: the path as written, each name that is no legal 8.3
// name replaced by its alias.

#include "platform/posix/PosixFileSystem.h"

#include "platform/Platform.h"
#include "platform/posix/ShortNames.h"

#include <algorithm>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace kivra::platform::posix {

// The short form of a path resolved to `place`: the start, the separators,
// ".", "..", names that a later ".." removes, names a network drive's root
// covers, legal 8.3 names and names looked up as written in a directory that
// cannot be listed (no alias is known there) are copied as written.
std::string PosixFileSystem::ShortPathOf(std::string_view text, const WindowsPath& path, const Place& place)
{
    std::size_t baseDepth = 0;
    const PathText start = SplitPathText(text);
    if (start.kind == PathStartKind::Relative && current_.Current())
        baseDepth = current_.Current()->names.size();
    else if (start.kind == PathStartKind::DriveRelative)
        baseDepth = current_.OfDrive(start.letter).value_or(WindowsPath{}).names.size();
    const PathText split = SplitPathText(text, baseDepth);

    std::string& result = shortResult_;
    result.assign(text.substr(0, split.startLength));
    const std::size_t count = path.names.size();
    for (const PathPiece& piece : split.pieces) {
        const std::string_view written = text.substr(piece.offset, piece.length);
        const std::size_t level = piece.level;
        if (piece.separator || level == NoPosition || level < place.consumed || level >= count ||
            path.names[level] != written || IsLegalShortName(written)) {
            result += written;
        } else if (level + 1 == count) {
            result += place.exact ? written : std::string_view(place.table->ShortName(place.entry));
        } else {
            const std::size_t holder = level - place.consumed;
            result += resolver_.EnteredExactly(holder + 1)
                          ? written
                          : std::string_view(resolver_.Node(holder).table->ShortName(resolver_.Entry(holder + 1)));
        }
    }
    return result;
}

namespace {

// "X:\name\name...": "\" alone between names, no "." or "..", no empty
// name but a last one (a final "\").
bool IsPlainDrivePath(std::string_view text)
{
    if (text.size() < 3 || DriveLetterOf(text) == 0 || text[2] != '\\' || text.find('/') != std::string_view::npos)
        return false;
    for (std::size_t at = 3; at < text.size();) {
        const std::size_t end = std::min(FindSeparator(text, at), text.size());
        const std::string_view name = text.substr(at, end - at);
        if (name.empty() || name == "." || name == "..") return false;
        at = end + 1;
    }
    return true;
}

} // namespace

// A path that goes on from a directory of the last plain path, through
// directories whose tables are known and stand (watched): look-ups in those
// tables alone, no resolution.
bool PosixFileSystem::ShortPathThroughKnownDirectories(std::string_view text)
{
    if (known_.empty()) return false;
    std::size_t level = known_.size();
    while (level > 0 &&
           (known_[level - 1].textLength > text.size() ||
            text.compare(0, known_[level - 1].textLength, knownText_, 0, known_[level - 1].textLength) != 0))
        --level;
    if (level == 0) return false;
    for (std::size_t i = 0; i < level; ++i) {
        const KnownDirectory& known = known_[i];
        if (!known.node->table || known.node->serial != known.serial || !KnownDirectoryStands(i)) return false;
    }
    // The part after the known directories must be plain too: names
    // separated by backslashes alone.
    const std::string_view rest = text.substr(known_[level - 1].textLength);
    if (rest.find('/') != std::string_view::npos) return false;
    known_.resize(level);
    knownText_.assign(text);
    knownShort_.resize(known_.back().shortLength);
    for (std::size_t at = known_.back().textLength; at < text.size();) {
        const std::size_t end = std::min(FindSeparator(text, at), text.size());
        const std::string_view name = text.substr(at, end - at);
        if (name.empty() || name == "." || name == "..") return false;
        DirectoryNode& directory = *known_.back().node;
        const std::size_t entry = directory.table->Find(name);
        if (entry == DirectoryTable::NotFound) return false;
        knownShort_ += IsLegalShortName(name) ? name : std::string_view(directory.table->ShortName(entry));
        if (end == text.size()) break;
        knownShort_.push_back('\\');
        if (end + 1 == text.size()) break; // a directory's own path: its table is not needed
        const auto child = directory.children.find(entry);
        if (child != directory.children.end() && child->second->table && child->second->watch >= 0) {
            known_.push_back(KnownDirectory{end + 1, knownShort_.size(), child->second, child->second->serial});
        } else if (EnterKnownDirectory(entry)) {
            known_.back().textLength = end + 1;
            known_.back().shortLength = knownShort_.size();
        } else {
            return false;
        }
        at = end + 1;
    }
    shortResult_ = knownShort_;
    return true;
}

// Whether a known directory still stands: watched since its table was read,
// or, when it is also the resolver's level of that depth, its times
// unchanged.
bool PosixFileSystem::KnownDirectoryStands(std::size_t level)
{
    DirectoryNode& node = *known_[level].node;
    if (node.watch >= 0) return true;
    if (resolver_.Depth() < level || &resolver_.Node(level) != &node) return false;
    DWORD error = ERROR_SUCCESS;
    const int fd = resolver_.Descriptor(level, &error);
    return fd >= 0 && cache_.Current(node, fd);
}

// The subdirectory `entry` of the deepest known directory, which the
// resolver holds at the same depth, entered by the resolver and known from
// now on (its lengths set by the caller).
bool PosixFileSystem::EnterKnownDirectory(std::size_t entry)
{
    const std::size_t level = known_.size() - 1;
    if (resolver_.Depth() < level || &resolver_.Node(level) != known_.back().node) return false;
    int failure = 0;
    DWORD error = resolver_.Enter(level, entry, failure);
    if (error != ERROR_SUCCESS || resolver_.Table(level + 1, error) == nullptr) return false;
    DirectoryNode& node = resolver_.Node(level + 1);
    known_.push_back(KnownDirectory{0, 0, &node, node.serial});
    return true;
}

// Keeps the directories a plain path went through, for the paths after it.
void PosixFileSystem::KeepKnownDirectories(std::string_view text, const Place& place)
{
    known_.clear();
    if (!IsPlainDrivePath(text) || place.isRoot || place.consumed != 0) return;
    knownText_.assign(text);
    knownShort_ = shortResult_;
    std::size_t textAt = 2;
    std::size_t shortAt = 2;
    for (std::size_t level = 0; level <= place.level; ++level) {
        DirectoryNode& node = resolver_.Node(level);
        known_.push_back(KnownDirectory{textAt + 1, shortAt + 1, &node, node.serial});
        if (level == place.level) break;
        textAt = FindSeparator(knownText_, textAt + 1);
        shortAt = FindSeparator(knownShort_, shortAt + 1);
        if (textAt == NoPosition || shortAt == NoPosition) {
            known_.clear();
            return;
        }
    }
}

DWORD PosixFileSystem::GetShortPathNameA(const char* longPath, char* shortPath, DWORD capacity)
{
    if (longPath == nullptr) return Fail(ERROR_INVALID_PARAMETER), 0;
    Call call(*this);
    if (!ShortPathThroughKnownDirectories(longPath)) {
        WindowsPath full;
        Place place;
        DWORD error = Parse(longPath, full);
        if (error == ERROR_SUCCESS) error = Resolve(full, place);
        if (error == ERROR_SUCCESS && !place.isRoot && place.entry == DirectoryTable::NotFound)
            error = HasWildcard(place.name) ? ERROR_INVALID_NAME : ERROR_FILE_NOT_FOUND;
        if (error != ERROR_SUCCESS) return Fail(error), 0;
        ShortPathOf(longPath, full, place);
        KeepKnownDirectories(longPath, place);
    }
    const std::string& result = shortResult_;
    SetLastError(ERROR_SUCCESS);
    if (shortPath == nullptr || capacity <= result.size()) return static_cast<DWORD>(result.size() + 1);
    std::memcpy(shortPath, result.data(), result.size());
    shortPath[result.size()] = '\0';
    return static_cast<DWORD>(result.size());
}

} // namespace kivra::platform::posix
