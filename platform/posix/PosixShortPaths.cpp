// GetShortPathNameA: the path as written, each name that is no legal 8.3
// name replaced by its alias.

#include "platform/posix/PosixFileSystem.h"

#include "platform/Platform.h"
#include "platform/posix/ShortNames.h"

#include <cstring>

namespace kivra::platform::posix {

// The short form of a path resolved to `place`: the start, the separators,
// ".", "..", names that a later ".." removes, names a network drive's root
// covers and legal 8.3 names are copied as written.
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
            result += place.table->ShortName(place.entry);
        } else {
            const std::size_t holder = level - place.consumed;
            result += resolver_.Node(holder).table->ShortName(resolver_.Entry(holder + 1));
        }
    }
    return result;
}

DWORD PosixFileSystem::GetShortPathNameA(const char* longPath, char* shortPath, DWORD capacity)
{
    if (longPath == nullptr) return Fail(ERROR_INVALID_PARAMETER), 0;
    Call call(*this);
    WindowsPath full;
    Place place;
    DWORD error = Parse(longPath, full);
    if (error == ERROR_SUCCESS) error = Resolve(full, place);
    if (error == ERROR_SUCCESS && !place.isRoot && place.entry == DirectoryTable::NotFound)
        error = HasWildcard(place.name) ? ERROR_INVALID_NAME : ERROR_FILE_NOT_FOUND;
    if (error != ERROR_SUCCESS) return Fail(error), 0;
    const std::string& result = ShortPathOf(longPath, full, place);
    SetLastError(ERROR_SUCCESS);
    if (shortPath == nullptr || capacity <= result.size()) return static_cast<DWORD>(result.size() + 1);
    std::memcpy(shortPath, result.data(), result.size());
    shortPath[result.size()] = '\0';
    return static_cast<DWORD>(result.size());
}

} // namespace kivra::platform::posix
