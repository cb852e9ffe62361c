#include "platform/posix/PathResolver.h"

#include "platform/WindowsPath.h"
#include "platform/posix/Errors.h"
#include "platform/posix/NameText.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

namespace kivra::platform::posix {

namespace {
constexpr int DirectoryFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
// A directory its user may search but not list can still be made current,
// as Windows lets one pass into a folder with traverse rights alone; such a
// descriptor names the directory and reads nothing.
constexpr int TraverseFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
} // namespace

PathResolver::PathResolver(DirectoryCache& cache, std::size_t descriptors)
    : cache_(cache),
      budget_(std::max<std::size_t>(descriptors, 3))
{}

PathResolver::~PathResolver() { Reset(); }

void PathResolver::Reset()
{
    Truncate(0);
    root_.clear();
}

void PathResolver::Close(std::size_t level)
{
    if (levels_[level].fd < 0) return;
    if (close_)
        close_(levels_[level].fd);
    else
        close(levels_[level].fd);
    levels_[level].fd = -1;
    --held_;
}

void PathResolver::Truncate(std::size_t size)
{
    while (levels_.size() > size) {
        Close(levels_.size() - 1);
        levels_.pop_back();
    }
}

// Gives a level its descriptor; past the budget, the shallowest levels above
// it that have one give theirs up (never the root): a level is opened from
// the one above it, which is not needed once it is.
void PathResolver::Keep(std::size_t level, int fd)
{
    levels_[level].fd = fd;
    levels_[level].read = false;
    ++held_;
    for (std::size_t i = 1; held_ > budget_ && i < level; ++i) Close(i);
}

// Out of descriptors: every level but the root and `spare` lets its go.
void PathResolver::ReleaseDescriptors(std::size_t spare)
{
    for (std::size_t i = 1; i < levels_.size(); ++i)
        if (i != spare) Close(i);
}

// Opens an entry of level `parent` as a directory, for reading or else, when
// reading is refused, for passing into it alone (`noFollow`: never through
// a link); out of descriptors, the levels' descriptors are let go and the
// open is tried once more.
int PathResolver::OpenChild(std::size_t parent, const char* linuxName, bool noFollow, int& error, bool& traverseOnly)
{
    traverseOnly = false;
    const int follow = noFollow ? O_NOFOLLOW : 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
        int fd = openat(levels_[parent].fd, linuxName, DirectoryFlags | follow);
        if (fd < 0 && errno == EACCES) {
            fd = openat(levels_[parent].fd, linuxName, TraverseFlags | follow);
            traverseOnly = fd >= 0;
            if (fd < 0 && errno != EACCES && !OutOfDescriptors(errno)) errno = EACCES;
        }
        if (fd >= 0) return fd;
        error = errno;
        if (!OutOfDescriptors(error)) return -1;
        if (releaseOthers_) releaseOthers_();
        ReleaseDescriptors(parent);
    }
    return -1;
}

int PathResolver::Descriptor(std::size_t level, DWORD* error)
{
    if (levels_[level].fd >= 0) return levels_[level].fd;
    std::size_t from = level;
    while (levels_[from].fd < 0) --from; // the root always has one
    for (std::size_t i = from + 1; i <= level; ++i) {
        DirectoryNode& parent = *levels_[i - 1].node;
        const char* linuxName = nullptr;
        if (levels_[i].exact)
            linuxName = (*levels_[i].exact)[0].linuxName.c_str();
        else if (parent.table && parent.serial == levels_[i].parentSerial)
            linuxName = (*parent.table)[levels_[i].entry].linuxName.c_str();
        int failure = ENOENT;
        bool traverseOnly = false;
        const int fd = linuxName ? OpenChild(i - 1, linuxName, levels_[i].noFollow, failure, traverseOnly) : -1;
        struct stat st {};
        if (fd >= 0 && (fstat(fd, &st) != 0 || DirectoryCache::IdentityOf(st) != levels_[i].node->id)) {
            close(fd);
            failure = ENOENT;
        } else if (fd >= 0) {
            Keep(i, fd);
            levels_[i].traverseOnly = traverseOnly;
            continue;
        }
        // Gone or replaced since it was a level: so is everything below it.
        Truncate(i);
        *error = ErrorFromErrno(failure, ERROR_PATH_NOT_FOUND);
        return -1;
    }
    return levels_[level].fd;
}

const DirectoryTable* PathResolver::Table(std::size_t level, DWORD& error)
{
    DirectoryNode& node = *levels_[level].node;
    if (node.table && node.watch >= 0) return node.table.get();
    const int fd = Descriptor(level, &error);
    if (fd < 0) return nullptr;
    if (levels_[level].traverseOnly) {
        error = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    const bool rewind = levels_[level].read;
    levels_[level].read = true;
    return cache_.TableOf(node, fd, rewind, error);
}

void PathResolver::Reached(const FileIdentity& directory, const std::string& linuxName)
{
    std::vector<std::string>& names = reached_[directory];
    if (std::find(names.begin(), names.end(), linuxName) == names.end()) names.push_back(linuxName);
}

// The Linux name a name of a path stands for in level `level`, which has no
// table: its text converted back, or else a name reached there before that
// differs from it only in letter case; empty when only a table could tell
// which entry it stands for ("?" and the like).
std::string PathResolver::ExactLinuxName(std::size_t level, const Text& name)
{
    std::string linuxName = Utf8FromCp932(name);
    std::string shown;
    if (!NameAsWritten(linuxName, shown)) return {};
    struct stat st {};
    if (fstatat(levels_[level].fd, linuxName.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT)
        return linuxName;
    const auto reached = reached_.find(levels_[level].node->id);
    if (reached == reached_.end()) return linuxName;
    const std::u16string upper = UpperUnits(DecodeLinuxName(linuxName));
    for (const std::string& known : reached->second)
        if (UpperUnits(DecodeLinuxName(known)) == upper) return known;
    return linuxName;
}

// Whether a table was refused to a level because it can be searched but not
// listed.
bool PathResolver::Unlisted(std::size_t level, DWORD error) const
{
    return error == ERROR_ACCESS_DENIED && level < levels_.size() && levels_[level].traverseOnly;
}

const DirectoryTable* PathResolver::TableFor(std::size_t level, const Text& name, bool& exact, DWORD& error)
{
    exact = false;
    const DirectoryTable* table = Table(level, error);
    if (table != nullptr || !Unlisted(level, error)) return table;
    exact = true;
    const std::string linuxName = ExactLinuxName(level, name);
    std::vector<std::string> names;
    std::vector<unsigned char> kinds;
    struct stat st {};
    if (!linuxName.empty()) {
        if (fstatat(levels_[level].fd, linuxName.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
            Reached(levels_[level].node->id, linuxName);
            names.push_back(linuxName);
            kinds.push_back(static_cast<unsigned char>(IFTODT(st.st_mode)));
        } else if (errno != ENOENT) {
            error = ErrorFromErrno(errno, ERROR_FILE_NOT_FOUND);
            return nullptr;
        }
    }
    lookedUp_ = std::make_shared<const DirectoryTable>(std::move(names), kinds);
    return lookedUp_.get();
}

DWORD PathResolver::OpenRoot(const std::string& root)
{
    Reset();
    int fd = open(root.c_str(), DirectoryFlags);
    if (fd < 0 && OutOfDescriptors(errno)) return ERROR_TOO_MANY_OPEN_FILES;
    if (fd < 0) return errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_NOT_READY;
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        close(fd);
        return ERROR_NOT_READY;
    }
    Push(Level{-1, &cache_.NodeOf(st), 0, 0});
    Keep(0, fd);
    root_ = root;
    return ERROR_SUCCESS;
}

// From level `depth` to its entry `name`, as the next level.
DWORD PathResolver::Step(std::size_t depth, const Text& name, bool last, DWORD lastMissing)
{
    DWORD error = ERROR_SUCCESS;
    const DirectoryTable* table = Table(depth, error);
    if (table == nullptr) return Unlisted(depth, error) ? StepExactly(depth, name, last, lastMissing) : error;
    const std::size_t entry = table->Find(name);
    if (entry == DirectoryTable::NotFound) {
        Truncate(depth + 1);
        if (HasWildcard(name)) return ERROR_INVALID_NAME;
        return last ? lastMissing : ERROR_PATH_NOT_FOUND;
    }
    int failure = 0;
    error = Enter(depth, entry, failure);
    if (failure == ENOTDIR) return last ? ERROR_DIRECTORY : ERROR_PATH_NOT_FOUND;
    if (failure == ENOENT) return last ? lastMissing : ERROR_PATH_NOT_FOUND;
    return error;
}

DWORD PathResolver::Enter(std::size_t depth, std::size_t entry, int& failure)
{
    return EnterEntry(depth, entry, nullptr, failure);
}

DWORD PathResolver::Descend(std::size_t depth, std::size_t entry, const FileIdentity& expected, int& failure)
{
    return EnterEntry(depth, entry, &expected, failure);
}

// Enter, or with `expected` Descend.
DWORD PathResolver::EnterEntry(std::size_t depth, std::size_t entry, const FileIdentity* expected, int& failure)
{
    DWORD error = ERROR_SUCCESS;
    const DirectoryTable* table = Table(depth, error);
    if (table == nullptr) return error;
    const std::uint64_t serial = levels_[depth].node->serial;
    if (levels_.size() > depth + 1 && !levels_[depth + 1].exact && levels_[depth + 1].parentSerial == serial &&
        levels_[depth + 1].entry == entry) {
        // The same as last time, and the levels below it too; a walk takes it
        // only as it entered it before.
        const Level& next = levels_[depth + 1];
        if (expected == nullptr || (next.noFollow && next.node->id == *expected)) return ERROR_SUCCESS;
    }
    Truncate(depth + 1);
    if (Descriptor(depth, &error) < 0) return error;
    bool traverseOnly = false;
    const int fd = OpenChild(depth, (*table)[entry].linuxName.c_str(), expected != nullptr, failure, traverseOnly);
    if (fd < 0) {
        // Not followed, a link is no directory.
        if (expected != nullptr && (failure == ENOTDIR || failure == ELOOP)) return ERROR_FILE_INVALID;
        return ErrorFromErrno(failure, ERROR_PATH_NOT_FOUND);
    }
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        close(fd);
        return ERROR_PATH_NOT_FOUND;
    }
    if (expected != nullptr && DirectoryCache::IdentityOf(st) != *expected) {
        close(fd);
        return ERROR_FILE_INVALID;
    }
    DirectoryNode& node = cache_.NodeOf(st);
    cache_.Current(node, fd, &st);
    levels_[depth].node->children[entry] = &node;
    Push(Level{-1, &node, serial, entry});
    Keep(depth + 1, fd);
    levels_.back().traverseOnly = traverseOnly;
    levels_.back().noFollow = expected != nullptr;
    return ERROR_SUCCESS;
}

// From level `depth`, which has no table, to its entry `name` as written.
DWORD PathResolver::StepExactly(std::size_t depth, const Text& name, bool last, DWORD lastMissing)
{
    const std::string linuxName = ExactLinuxName(depth, name);
    if (linuxName.empty()) {
        Truncate(depth + 1);
        if (HasWildcard(name)) return ERROR_INVALID_NAME;
        return last ? lastMissing : ERROR_PATH_NOT_FOUND;
    }
    const int parentFd = levels_[depth].fd; // Table() has just opened it
    if (levels_.size() > depth + 1 && levels_[depth + 1].exact &&
        (*levels_[depth + 1].exact)[0].linuxName == linuxName) {
        // Nothing tells when such a directory changes: the entry is looked at
        // again, and is the same directory as last time.
        struct stat st {};
        if (fstatat(parentFd, linuxName.c_str(), &st, 0) == 0 &&
            DirectoryCache::IdentityOf(st) == levels_[depth + 1].node->id)
            return ERROR_SUCCESS;
    }
    Truncate(depth + 1);
    int failure = 0;
    bool traverseOnly = false;
    const int fd = OpenChild(depth, linuxName.c_str(), false, failure, traverseOnly);
    if (fd < 0) {
        if (failure == ENOTDIR) return last ? ERROR_DIRECTORY : ERROR_PATH_NOT_FOUND;
        if (failure == ENOENT) return last ? lastMissing : ERROR_PATH_NOT_FOUND;
        return ErrorFromErrno(failure, ERROR_PATH_NOT_FOUND);
    }
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        close(fd);
        return ERROR_PATH_NOT_FOUND;
    }
    Reached(levels_[depth].node->id, linuxName);
    DirectoryNode& node = cache_.NodeOf(st);
    cache_.Current(node, fd, &st);
    Push(Level{-1, &node, levels_[depth].node->serial, 0});
    Keep(depth + 1, fd);
    levels_.back().traverseOnly = traverseOnly;
    levels_.back().exact =
        std::make_shared<const DirectoryTable>(std::vector<std::string>{linuxName}, std::vector<unsigned char>{DT_DIR});
    return ERROR_SUCCESS;
}

TableEntry PathResolver::EnteredBy(std::size_t level) const
{
    const Level& entered = levels_[level];
    return entered.exact ? (*entered.exact)[0] : (*levels_[level - 1].node->table)[entered.entry];
}

void PathResolver::Push(Level level)
{
    level.stamp = ++stamps_;
    levels_.push_back(level);
}

bool PathResolver::Stands(std::size_t level)
{
    DWORD error = ERROR_SUCCESS;
    for (std::size_t i = 0; i <= level; ++i) {
        if (i > 0 && levels_[i].parentSerial != levels_[i - 1].node->serial) return false;
        if (Table(i, error) == nullptr) return false;
    }
    return true;
}

void PathResolver::Adopt(std::size_t depth, std::size_t entry, DirectoryNode& node, int fd)
{
    Truncate(depth + 1);
    levels_[depth].node->children[entry] = &node;
    Push(Level{-1, &node, levels_[depth].node->serial, entry});
    Keep(depth + 1, fd);
    levels_.back().read = true;
    levels_.back().noFollow = true;
}

DWORD PathResolver::Walk(const std::string& root, const std::vector<Text>& names, std::size_t begin, std::size_t end,
                         DWORD lastMissing)
{
    if (levels_.empty() || root_ != root)
        if (const DWORD error = OpenRoot(root); error != ERROR_SUCCESS) return error;
    for (std::size_t i = begin; i < end; ++i) {
        const std::size_t depth = i - begin;
        if (const DWORD error = Step(depth, names[i], i + 1 == end, lastMissing); error != ERROR_SUCCESS) {
            Truncate(std::min(levels_.size(), depth + 1));
            return error;
        }
    }
    Truncate(end - begin + 1);
    return ERROR_SUCCESS;
}

} // namespace kivra::platform::posix
