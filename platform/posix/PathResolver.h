#pragma once
// Resolution of a path's names, one directory table after the other, from
// a drive's root. The directories of the last path resolved stay as levels,
// so that the next path, which mostly goes the same way, reuses them. Only
// a bounded number of them keep a descriptor open, whatever the depth: a
// level without one is opened again from the nearest ancestor that has one.
//
// A directory that may be searched but not listed has no table: a name in it
// is looked up exactly as written (its Linux name is its text converted
// back), so that any directory a Linux user can reach can be named; a name
// reached there once is then found by any spelling that differs only in
// letter case, as the upper-cased form of a path must name the same entry.

#include "platform/CodePage.h"
#include "platform/posix/DirectoryCache.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace kivra::platform::posix {

class PathResolver {
public:
    // At most `descriptors` levels keep a descriptor (the root's among them).
    PathResolver(DirectoryCache& cache, std::size_t descriptors);
    ~PathResolver();
    PathResolver(const PathResolver&) = delete;
    PathResolver& operator=(const PathResolver&) = delete;

    // Goes from the directory `root` (a mount point) through names[begin,
    // end) as directories. A missing name is 3, or `lastMissing` when it is
    // the last; a name with wildcards that matches no shown name 123; a file
    // on the way 3, or 267 when it is the last; a directory that can be
    // neither listed nor searched 5. The directory reached is the deepest
    // level afterwards.
    DWORD Walk(const std::string& root, const std::vector<Text>& names, std::size_t begin, std::size_t end,
               DWORD lastMissing);

    // Levels of the last walk: 0 is the root, level i + 1 the entry Entry(i
    // + 1) of level i's table, or, when level i has none, the name it was
    // looked up by (EnteredExactly).
    std::size_t Depth() const { return levels_.size() - 1; }
    DirectoryNode& Node(std::size_t level) { return *levels_[level].node; }
    std::size_t Entry(std::size_t level) const { return levels_[level].entry; }
    bool EnteredExactly(std::size_t level) const { return levels_[level].exact != nullptr; }
    // The entry a level (past the root) stands for in the level above it.
    TableEntry EnteredBy(std::size_t level) const;
    // A level's stamp: it stays the same level, with the same levels above
    // it, while the stamp is the same.
    std::uint64_t Stamp(std::size_t level) const { return levels_[level].stamp; }
    // Whether each level down to `level` was entered from its parent's table
    // as that stands now, and stands for its directory now (looked at once
    // per call where unwatched).
    bool Stands(std::size_t level);
    // An open descriptor of a level (opened again when it has none); -1
    // with *error set when that fails.
    int Descriptor(std::size_t level, DWORD* error);
    // The current table of a level.
    const DirectoryTable* Table(std::size_t level, DWORD& error);
    // The table a last name `name` is looked up in: the level's own; or, when
    // the level can be searched but not listed (`exact` then), one that
    // holds that name as written if it exists, valid until the next call.
    const DirectoryTable* TableFor(std::size_t level, const Text& name, bool& exact, DWORD& error);

    // Goes from level `depth` (of the last walk) to the entry `entry` of its
    // table as the next level (the levels below it stay when that is where
    // they were). On failure, `failure` holds the errno of the open, 0 when
    // it did not come to that.
    DWORD Enter(std::size_t depth, std::size_t entry, int& failure);
    // Enters the entry `entry` of level `depth`'s table as a walk goes down
    // into a directory that a search of level `depth` found to be
    // `expected`: opened without following a link, and only when it is still
    // that directory (ERROR_FILE_INVALID when another directory, a link or a
    // file stands under its name now). The level is opened again the same
    // way whenever it has given up its descriptor.
    DWORD Descend(std::size_t depth, std::size_t entry, const FileIdentity& expected, int& failure);

    // Enters the entry `entry` of level `depth`'s table as the next level,
    // the directory `node` already open on `fd` (which the level takes; its
    // position is past the directory's start), opened and found to be the
    // directory a search reported there, as Descend would.
    void Adopt(std::size_t depth, std::size_t entry, DirectoryNode& node, int fd);

    // Records that the directory `directory`, which cannot be listed, holds
    // `linuxName`, reached as written.
    void Reached(const FileIdentity& directory, const std::string& linuxName);

    // Closes every level: the nodes they point to are gone.
    void Reset();

    // Asked to give its descriptors back when the process runs out of them,
    // before the levels give theirs.
    void OnOutOfDescriptors(std::function<void()> release) { releaseOthers_ = std::move(release); }
    // Closes the descriptors the levels give up (by default, at once).
    void CloseWith(std::function<void(int)> close) { close_ = std::move(close); }

private:
    struct Level {
        int fd = -1;
        DirectoryNode* node = nullptr;
        std::uint64_t parentSerial = 0;
        std::size_t entry = 0;
        bool read = false;         // its descriptor has been read from
        bool traverseOnly = false; // may be passed into but not listed: its descriptor only names it
        bool noFollow = false;     // entered by Descend: never through a link
        std::uint64_t stamp = 0;   // told apart from every level before it at that depth
        // Entered by its name as written (entry 0), from a level without a table.
        std::shared_ptr<const DirectoryTable> exact = nullptr;
    };
    void Push(Level level);

    DWORD OpenRoot(const std::string& root);
    DWORD Step(std::size_t depth, const Text& name, bool last, DWORD lastMissing);
    DWORD StepExactly(std::size_t depth, const Text& name, bool last, DWORD lastMissing);
    bool Unlisted(std::size_t level, DWORD error) const;
    std::string ExactLinuxName(std::size_t level, const Text& name);
    int OpenChild(std::size_t parent, const char* linuxName, bool noFollow, int& error, bool& traverseOnly);
    DWORD EnterEntry(std::size_t depth, std::size_t entry, const FileIdentity* expected, int& failure);
    void Truncate(std::size_t size);
    void Keep(std::size_t level, int fd);
    void Close(std::size_t level);
    void ReleaseDescriptors(std::size_t spare);

    DirectoryCache& cache_;
    std::size_t budget_;
    std::size_t held_ = 0;
    std::string root_;
    std::vector<Level> levels_;
    std::uint64_t stamps_ = 0;
    std::function<void()> releaseOthers_;
    std::function<void(int)> close_;
    std::shared_ptr<const DirectoryTable> lookedUp_;
    // The names reached in directories that cannot be listed, by directory:
    // few, and kept when the nodes are forgotten.
    std::unordered_map<FileIdentity, std::vector<std::string>, IdentityHash> reached_;
};

} // namespace kivra::platform::posix
