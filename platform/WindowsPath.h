#pragma once
// Windows paths as text: where a path starts (a drive, a network share, the
// current directory), its names as written, the full path they make once
// "." and ".." are applied, and the wildcard patterns of directory searches.
// Every scan is double-byte aware, so a second byte of 0x5C is never taken
// for a separator; "/" separates like "\".

#include "platform/CodePage.h"

#include <cstddef>
#include <map>
#include <optional>
#include <string_view>
#include <vector>

namespace kivra::platform {

inline bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

// The upper-case letter of a text that begins with a letter and a colon
// ("c:..."), or 0.
char DriveLetterOf(std::string_view text);

// True when a name holds "*" or "?".
bool HasWildcard(std::string_view name);

// How a path text begins.
enum class PathStartKind {
    Relative,      // "name...": the current directory
    RootRelative,  // "\name...": the root of the current directory's drive
    Drive,         // "C:\...": a drive's root
    DriveRelative, // "C:name...": the current directory of that drive
    Network,       // "\\host\share...": a network share's root
};

// One piece of a path text after its start: a separator or a name, as
// written. `level` is, for a name that stays in the full path, its place
// among the full path's names; NoPosition for ".", ".." and a name that a
// later ".." removes.
struct PathPiece {
    std::size_t offset = 0;
    std::size_t length = 0;
    bool separator = false;
    std::size_t level = NoPosition;
};

// A path text taken apart as written: its start and the pieces after it.
struct PathText {
    PathStartKind kind = PathStartKind::Relative;
    char letter = 0;             // Drive and DriveRelative
    std::size_t startLength = 0; // bytes of the text the start takes ("C:" 2, "\\host\share" all of it)
    Text host, share;            // Network; empty when missing
    std::vector<PathPiece> pieces;
};

// Takes a path text apart; the levels of its names count from `baseDepth`,
// the number of names of the directory a relative path starts from.
PathText SplitPathText(std::string_view text, std::size_t baseDepth = 0);

// A full Windows path: a drive or a network share, and the names below its
// root with "." and ".." applied.
struct WindowsPath {
    char letter = 0;  // upper case; 0 for a network path
    Text driveText;   // the start as written: "c:", or "\\host\share"
    Text host, share; // of a network path
    std::vector<Text> names;

    bool IsNetwork() const { return letter == 0; }
    // "C:\a\b"; a root alone is "C:\" or "\\host\share\".
    Text ToText() const;
};

// The current directory of each drive, as Windows keeps them, and the one
// the process is in. The process's directory is unknown when it has been
// deleted or cannot be named: a path that needs it cannot be made full.
class CurrentDirectories {
public:
    // Starts in the root of drive `letter`.
    explicit CurrentDirectories(char letter = 'C');

    // The process's current directory, or null when it is unknown.
    const WindowsPath* Current() const { return current_ ? &*current_ : nullptr; }
    // The current directory of a drive (upper-case letter): the one last
    // made current on it, else its root; nothing for a drive never made
    // current while the process's own directory is unknown (it may be on it).
    std::optional<WindowsPath> OfDrive(char letter) const;

    // Makes a directory current (and, for a drive, that drive's own).
    void Enter(const WindowsPath& path);
    void Forget();

private:
    std::optional<WindowsPath> current_;
    std::map<char, WindowsPath> drives_;
};

// The full path a text names. Fails with 3 for an empty text or one that
// needs an unknown current directory, 206 for 32,767 bytes or more, 123 for
// "\\" without a host, 53 for a network path without a share.
DWORD ParseWindowsPath(std::string_view text, const CurrentDirectories& current, WindowsPath& out);

// A search pattern against a name, both upper-cased (UpperCaseText): "*"
// any run of characters, "?" one character; "*.*" matches every name, and
// a pattern ending in ".*" also matches the names its part before ".*"
// matches ("README.*" finds README).
bool MatchesPattern(std::string_view upperPattern, std::string_view upperName);

} // namespace kivra::platform
