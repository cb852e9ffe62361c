#include "platform/posix/PosixPlatform.h"

#include "platform/CodePage.h"
#include "platform/posix/DirectoryTable.h"
#include "platform/posix/Drives.h"
#include "platform/posix/NameText.h"
#include "platform/posix/ShortNames.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstddef>
#include <cstring>
#include <ctime>
#include <deque>
#include <fstream>
#include <map>
#include <sstream>
#include <unordered_map>

namespace kivra::platform {

using posix::DirectoryTable;
using posix::Drive;

namespace {

constexpr DWORD ERROR_NOT_SAME_DEVICE = 17;
constexpr DWORD ERROR_FILE_EXISTS = 80;
constexpr std::size_t MaxPathBytes = 32767;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The text with "/" as "\", for the double-byte-aware scans, which know "\"
// alone. The positions are those of the text: "/" is one byte wherever it
// stands, as the scans take it.
std::string_view WithBackslashes(std::string_view text, std::string& storage)
{
    if (text.find('/') == std::string_view::npos) return text;
    storage.assign(text);
    std::replace(storage.begin(), storage.end(), '/', '\\');
    return storage;
}

// "X:\..." with "\" alone as separator: its meaning depends on no current
// directory, and its last separator is found by the usual scan.
bool IsFullDrivePath(std::string_view text)
{
    return text.size() >= 3 && text[1] == ':' && text[2] == '\\' &&
           ((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z')) &&
           text.find('/') == std::string_view::npos;
}

bool HasWildcard(std::string_view name) { return name.find_first_of("*?") != std::string_view::npos; }

// A name a new file cannot take on Windows.
bool IsInvalidNewName(std::string_view name)
{
    for (std::size_t at = 0; at < name.size(); ++at) {
        const auto byte = static_cast<unsigned char>(name[at]);
        if (IsDBCSLeadByte(byte) && at + 1 < name.size()) {
            ++at;
            continue;
        }
        if (byte < 0x20 || std::strchr("<>:\"|?*", byte) != nullptr) return true;
    }
    return name.empty();
}

DWORD ErrorFromErrno(int error, DWORD notFound = ERROR_FILE_NOT_FOUND)
{
    switch (error) {
    case ENOENT: return notFound;
    case ENOTDIR:
    case ELOOP: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return ERROR_DISK_FULL;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case EXDEV: return ERROR_NOT_SAME_DEVICE;
    case EBUSY:
    case EWOULDBLOCK: return ERROR_SHARING_VIOLATION;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EINVAL: return ERROR_INVALID_NAME;
    case ENXIO:
    case ENODEV:
    case ENOMEDIUM: return ERROR_NOT_READY;
    default: return ERROR_WRITE_FAULT;
    }
}

// The attribute word of a Linux entry (stat of the link's target).
DWORD AttributesOf(const struct stat& st, std::string_view linuxName)
{
    DWORD attributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    if ((st.st_mode & S_IWUSR) == 0) attributes |= FILE_ATTRIBUTE_READONLY;
    if (!linuxName.empty() && linuxName[0] == '.') attributes |= FILE_ATTRIBUTE_HIDDEN;
    return attributes;
}

struct IdentityHash {
    std::size_t operator()(const FileIdentity& id) const noexcept
    {
        return std::hash<std::uint64_t>()(id.volume * 0x9E3779B97F4A7C15ull ^ id.index);
    }
};

// Counts the kernel's notices that some watched directory has changed, so
// that a call finds out without asking the kernel whether anything did.
std::atomic<unsigned> changeNotices{0};
static_assert(std::atomic<unsigned>::is_always_lock_free);

extern "C" void NoteChange(int) { changeNotices.fetch_add(1, std::memory_order_release); }

// SIGIO tells of changes, unless the program handles that signal itself.
bool ChangeNoticesBySignal()
{
    static const bool installed = [] {
        struct sigaction previous {};
        if (sigaction(SIGIO, nullptr, &previous) != 0) return false;
        if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) return false;
        struct sigaction action {};
        action.sa_handler = NoteChange;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        return sigaction(SIGIO, &action, nullptr) == 0;
    }();
    return installed;
}

bool SameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

// Times are kept in clock ticks: a change within the tick that a directory
// last changed in would leave them as they are. True when that tick may not
// be over yet.
bool Recent(const struct stat& seen)
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const auto nanoseconds = [](const timespec& t) {
        return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
    };
    const long long latest = std::max(nanoseconds(seen.st_mtim), nanoseconds(seen.st_ctim));
    return nanoseconds(now) - latest < 100000000LL;
}

// Upper case of a name for comparisons of network paths.
std::u16string Folded(std::string_view text) { return posix::UpperUnits(Utf16FromCp932(text)); }

bool MountPointUsable(const std::string& mountPoint)
{
    struct stat st {};
    return stat(mountPoint.c_str(), &st) != 0 || S_ISDIR(st.st_mode);
}

// A place in the Windows name space after lexical resolution: a drive (or a
// network share) and the names below its root, "." and ".." already applied.
struct Location {
    bool network = false;
    char letter = 0;         // drive letter, upper case
    std::string driveText;   // the drive as written ("c:") or "\\host\share"
    std::string host, share; // of a network path
    std::vector<std::string> names;
};

} // namespace

class PosixPlatform::Impl final : public FileSystem, public Volumes, public Clock {
public:
    explicit Impl(const PosixSources& sources);
    ~Impl() override;

    HANDLE FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* data) override;
    BOOL FindNextFileA(HANDLE search, WIN32_FIND_DATAA* data) override;
    BOOL FindClose(HANDLE search) override;
    DWORD GetShortPathNameA(const char* longPath, char* shortPath, DWORD capacity) override;
    DWORD GetFileAttributesA(const char* path) override;
    BOOL SetFileAttributesA(const char* path, DWORD attributes) override;
    BOOL SetCurrentDirectoryA(const char* path) override;
    DWORD GetCurrentDirectoryA(DWORD capacity, char* buffer) override;
    HANDLE CreateFileA(const char* path, DWORD access, DWORD shareMode, DWORD disposition,
                       DWORD flagsAndAttributes) override;
    BOOL WriteFile(HANDLE file, const void* data, DWORD size, DWORD* written) override;
    BOOL ReadFile(HANDLE file, void* buffer, DWORD size, DWORD* read) override;
    BOOL CloseHandle(HANDLE handle) override;
    BOOL MoveFileExA(const char* existing, const char* target, DWORD flags) override;
    BOOL DeleteFileA(const char* path) override;
    DWORD GetModuleFileNameA(char* buffer, DWORD capacity) override;
    BOOL GetFileIdentity(const char* path, FileIdentity* identity) override;
    BOOL WindowsPathFromLinuxPath(std::string_view linuxPath, std::string& windowsPath) override;
    BOOL LinuxPathFromWindowsPath(std::string_view windowsPath, std::string& linuxPath) override;

    DWORD GetLogicalDrives() override;
    UINT GetDriveTypeA(const char* root) override;
    BOOL GetVolumeInformationA(const char* root, char* volumeName, DWORD volumeNameSize, DWORD* serialNumber,
                               DWORD* maxComponentLength, DWORD* fileSystemFlags, char* fileSystemName,
                               DWORD fileSystemNameSize) override;
    DWORD WNetGetConnectionA(const char* localName, char* remoteName, DWORD* length) override;
    UINT SetErrorMode(UINT mode) override;

    DWORD GetTickCount() override;

private:
    // A directory's table as last read, and what its stat said then.
    struct Node {
        struct stat seen {};
        bool unsettled = false;     // changed too recently for its times to show a later change
        int watch = -1;             // inotify watch: a change is reported, no need to look
        bool passedThrough = false; // a path has gone through it to a name below
        std::uint64_t serial = 0;
        std::shared_ptr<const DirectoryTable> table;
        // The directories its table's entries were found to be, by entry
        // index; valid with the table.
        std::unordered_map<std::size_t, Node*> children;
    };

    // One directory on the path last resolved: level 0 is a drive's root,
    // level i + 1 the entry `entry` of level i's table `parentSerial`.
    struct Level {
        int fd = -1; // -1 beyond the descriptor budget
        FileIdentity id;
        std::uint64_t parentSerial = 0;
        std::size_t entry = 0;
        Node* node = nullptr;
        struct stat st {}; // the directory's stat as of walk number `statWalk`
        std::uint64_t statWalk = 0;
        bool namesRead = false; // `fd` is past the start of its directory
    };

    // The result of a resolution: the directory holding the last name, and
    // that name's entry (NotFound when it does not exist).
    struct Target {
        int dirFd = -1;
        const DirectoryTable* table = nullptr;
        std::size_t entry = DirectoryTable::NotFound;
        bool isRoot = false; // the location is a drive's or share's root itself
        std::string name;    // the last name as given
    };

    // A directory of a resolved path as it stood then: still the same while
    // its table is the one of that serial and a watch would have told of any
    // change since.
    struct Held {
        Node* node = nullptr;
        std::uint64_t serial = 0;
    };
    static bool StillCurrent(const std::vector<Held>& levels)
    {
        for (const Held& held : levels)
            if (!held.node->table || held.node->serial != held.serial || held.node->watch < 0) return false;
        return true;
    }
    std::vector<Held> HeldLevels(std::size_t depth) const
    {
        std::vector<Held> levels;
        levels.reserve(depth + 1);
        for (std::size_t i = 0; i <= depth && i < chain_.size(); ++i)
            levels.push_back(Held{chain_[i].node, chain_[i].node ? chain_[i].node->serial : 0});
        return levels;
    }

    struct Search {
        int fd = -1;
        std::shared_ptr<const DirectoryTable> table;
        std::vector<std::size_t> items; // Dot, DotDot or an entry index
        std::size_t position = 0;
        // The pattern up to its last separator when it is a full drive path,
        // with the directories it went through: a walk asks next for the
        // identity of the directory just found, which is then known.
        std::string prefix;
        std::vector<Held> levels;
        bool lastIsDirectory = false; // the item last reported is a directory, not a link
        FileIdentity lastIdentity;
        // The directory's stat from the resolution that started the search,
        // for its "." and ".." entries.
        std::optional<struct stat> dot;
    };

    // One directory of the last short path asked for, root first: a scan
    // asks for the paths of a tree in its order, each a name or two away
    // from the one before.
    struct ShortLevel {
        std::string text;      // the path up to and including the separator after the directory
        std::string shortText; // the short form of that part
        Held held;
        std::shared_ptr<const DirectoryTable> table;
    };
    static constexpr std::size_t Dot = static_cast<std::size_t>(-2);
    static constexpr std::size_t DotDot = static_cast<std::size_t>(-3);

    struct OpenFile {
        int fd = -1;
        bool read = false;
        bool write = false;
    };

    static BOOL Fail(DWORD code)
    {
        SetLastError(code);
        return false;
    }

    // Paths.
    DWORD Parse(const char* path, Location& out) const;
    std::string LocationText(const Location& location) const;
    const Drive* DriveOf(char letter) const;
    DWORD RootOf(const Location& location, const Drive*& drive, std::size_t& consumed) const;
    std::string WindowsPathOf(const std::string& linuxPath);

    // Resolution.
    DWORD Walk(const std::string& rootPath, const std::vector<std::string>& names, std::size_t begin, std::size_t end,
               int& fd, DWORD lastMissing);
    DWORD Validate(Level& level, int fd, bool reused, bool rewatch = true, bool passage = false);
    bool UnchangedSince(const Node& node, const struct stat& st) const;
    bool StillAsRead(std::size_t level, bool passedThrough);
    void Watch(Node& node, int fd);
    bool ReleaseWatchForPassage();
    void Forget(Node& node);
    void TakeChanges();
    DWORD TableOf(Level& level, int fd, const DirectoryTable*& table);
    DWORD ReadNames(int fd, bool rewind, std::vector<std::string>& names);
    DWORD Resolve(const Location& location, Target& target, DWORD lastMissing = ERROR_PATH_NOT_FOUND);
    DWORD ResolveDirectory(const Location& location, int& fd, bool& isRoot);
    void TruncateChain(std::size_t size);
    void CloseTemporary();
    DWORD StatTarget(const Target& target, struct stat& st, std::string& linuxName);
    DWORD StatPath(const char* path, Target& target, struct stat& st, std::string& linuxName);

    bool FillFindData(Search& search, WIN32_FIND_DATAA* data);
    bool IdentityOfLastFound(const char* path, FileIdentity& identity);
    bool ShortPathThroughKnownDirectories(std::string_view text, std::string& result);
    bool OpenOnChain(std::size_t entry, bool passedThrough);
    bool ShortPathResolved(const char* longPath, std::string& result);
    HANDLE NewHandle() { return nextHandle_ += 4; }

    // A directory's descriptor held by a level and by searches at once
    // (searches only name entries relative to it): closed by the last.
    int Share(int fd)
    {
        ++holders_.try_emplace(fd, 1u).first->second;
        return fd;
    }
    void Release(int fd)
    {
        if (const auto held = holders_.find(fd); held != holders_.end()) {
            if (--held->second > 0) return;
            holders_.erase(held);
        }
        close(fd);
    }
    DWORD HeldOpenElsewhere(int dirFd, const std::string& linuxName);

    std::vector<Drive> drives_;
    std::string executablePath_;
    UINT errorMode_ = 0;

    Location current_;
    std::map<char, Location> driveCurrent_;

    std::unordered_map<FileIdentity, Node, IdentityHash> nodes_;
    std::uint64_t nextSerial_ = 0;
    std::vector<Level> chain_;
    std::string chainRoot_;
    int temporary_ = -1;
    std::size_t levelBudget_ = 64;
    std::size_t walkDepth_ = 0; // the level the last walk ended on
    std::uint64_t walks_ = 0;
    int changes_ = -1; // inotify descriptor
    std::size_t watchLimit_ = 1024;
    bool noticed_ = false; // its events raise SIGIO
    unsigned noticesSeen_ = 0;
    std::unordered_map<int, FileIdentity> watched_;
    std::deque<int> watchOrder_; // watches of directories no path has gone through, oldest first
    std::unordered_map<std::uint64_t, bool> watchableDevices_; // by st_dev

    HANDLE nextHandle_ = 0x1000;
    HANDLE lastSearch_ = 0;
    std::vector<char> readBuffer_; // for directory records
    std::string shortResult_;      // the answer GetShortPathNameA puts together
    std::unordered_map<int, unsigned>
        holders_; // descriptors held more than once, by holders  // the search that reported last
    std::vector<ShortLevel> shortLevels_;
    std::map<HANDLE, Search> searches_;
    std::map<HANDLE, OpenFile> files_;
};

// ---------------------------------------------------------------------------
// Start-up

PosixPlatform::Impl::Impl(const PosixSources& sources)
{
    std::string table;
    if (sources.mountTable) {
        table = *sources.mountTable;
    } else {
        std::ifstream file(sources.mountTablePath);
        std::stringstream text;
        text << file.rdbuf();
        table = text.str();
    }
    drives_ = posix::AssignDrives(posix::ParseMountTable(table),
                                  posix::DriveSources{sources.byLabelDirectory, sources.sysfsRoot}, &MountPointUsable);

    changes_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    watchLimit_ = sources.watchLimit;
    if (watchLimit_ == 0) {
        // Watches are shared by all programs of a user; the kernel sizes the
        // allowance by memory (192,543 on a machine with 24 GiB). A quarter
        // of it covers the directories of a large scan and leaves the rest to
        // the desktop's indexers and editors.
        std::size_t allowance = 8192;
        std::ifstream("/proc/sys/fs/inotify/max_user_watches") >> allowance;
        watchLimit_ = std::clamp<std::size_t>(allowance / 4, 1024, 65536);
    }
    // A thread that blocks SIGIO would hold the notices back: look every time.
    sigset_t blocked;
    sigemptyset(&blocked);
    const bool sigioBlocked = pthread_sigmask(SIG_BLOCK, nullptr, &blocked) != 0 || sigismember(&blocked, SIGIO) == 1;
    if (changes_ >= 0 && !sigioBlocked && ChangeNoticesBySignal()) {
        const int flags = fcntl(changes_, F_GETFL);
        noticed_ =
            flags >= 0 && fcntl(changes_, F_SETOWN, getpid()) == 0 && fcntl(changes_, F_SETFL, flags | O_ASYNC) == 0;
    }

    // Every level of a resolved path keeps its directory open while later
    // calls go the same way; leave plenty of descriptors for the program.
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        const auto available = static_cast<std::size_t>(limit.rlim_cur);
        levelBudget_ = std::clamp<std::size_t>(available > 512 ? available - 256 : available / 2, 16, 65536);
    } else {
        levelBudget_ = 4096;
    }

    executablePath_ = sources.executablePath;
    if (executablePath_.empty()) {
        std::vector<char> buffer(4096);
        for (;;) {
            const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
            if (length < 0) break;
            if (static_cast<std::size_t>(length) < buffer.size()) {
                executablePath_.assign(buffer.data(), static_cast<std::size_t>(length));
                break;
            }
            buffer.resize(buffer.size() * 2);
        }
    }

    // The process's working directory, seen through C:.
    current_.letter = 'C';
    current_.driveText = "C:";
    if (char* cwd = get_current_dir_name()) {
        const std::string windows = WindowsPathOf(cwd);
        free(cwd);
        Location location;
        if (Parse(windows.c_str(), location) == ERROR_SUCCESS) current_ = location;
    }
    driveCurrent_[current_.letter] = current_;
}

PosixPlatform::Impl::~Impl()
{
    TruncateChain(0);
    CloseTemporary();
    for (auto& [handle, search] : searches_) Release(search.fd);
    for (auto& [handle, file] : files_) close(file.fd);
    if (changes_ >= 0) close(changes_);
}

// The Windows form (through C:) of an absolute Linux path: each name as its
// directory shows it.
std::string PosixPlatform::Impl::WindowsPathOf(const std::string& linuxPath)
{
    std::string out = "C:";
    int fd = open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
    std::size_t at = 0;
    while (at < linuxPath.size()) {
        std::size_t end = linuxPath.find('/', at);
        if (end == std::string::npos) end = linuxPath.size();
        const std::string name = linuxPath.substr(at, end - at);
        at = end + 1;
        if (name.empty()) continue;
        std::string shown = posix::ShowName(posix::DecodeLinuxName(name)).text;
        int next = -1;
        if (fd >= 0) {
            const int reading = openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (DIR* directory = reading >= 0 ? fdopendir(reading) : nullptr) {
                std::vector<std::string> names;
                while (const dirent* entry = readdir(directory)) {
                    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                        names.emplace_back(entry->d_name);
                }
                closedir(directory);
                const DirectoryTable table(std::move(names));
                if (const std::size_t index = table.FindLinux(name); index != DirectoryTable::NotFound)
                    shown = table[index].name;
            } else if (reading >= 0) {
                close(reading);
            }
            next = openat(fd, name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
            close(fd);
        }
        fd = next;
        out += "\\" + shown;
    }
    if (fd >= 0) close(fd);
    if (out == "C:") out += "\\";
    return out;
}

// ---------------------------------------------------------------------------
// Paths

const Drive* PosixPlatform::Impl::DriveOf(char letter) const
{
    for (const Drive& drive : drives_)
        if (drive.letter == letter) return &drive;
    return nullptr;
}

DWORD PosixPlatform::Impl::Parse(const char* path, Location& out) const
{
    if (path == nullptr) return ERROR_INVALID_PARAMETER;
    const std::string_view text(path);
    if (text.empty()) return ERROR_PATH_NOT_FOUND;
    if (text.size() >= MaxPathBytes) return ERROR_FILENAME_EXCED_RANGE;

    // Split into names, double-byte aware: a second byte is never a separator.
    // Separators in a row leave empty names, and a final one an empty last name.
    std::vector<std::string> tokens;
    std::size_t leadingCount = 0;
    {
        std::string storage;
        const std::string_view scan = WithBackslashes(text, storage);
        std::size_t at = 0;
        while (at < scan.size() && scan[at] == '\\') ++at;
        leadingCount = at;
        while (at < scan.size()) {
            const std::size_t end = FindSeparator(scan, at);
            if (end == NoPosition) {
                tokens.emplace_back(text.substr(at));
                break;
            }
            tokens.emplace_back(text.substr(at, end - at));
            at = end + 1;
            if (at == scan.size()) tokens.emplace_back();
        }
    }
    const bool leadingSeparators = leadingCount > 0;

    Location location;
    std::size_t first = 0;
    if (leadingCount >= 2) {
        // \\host\share\...
        if (tokens.empty() || tokens[0].empty()) return ERROR_INVALID_NAME;
        if (tokens.size() < 2 || tokens[1].empty()) return ERROR_BAD_NETPATH;
        location.network = true;
        location.host = tokens[0];
        location.share = tokens[1];
        location.driveText = "\\\\" + tokens[0] + "\\" + tokens[1];
        first = 2;
    } else if (!leadingSeparators && text.size() >= 2 && text[1] == ':' &&
               ((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z'))) {
        const char letter = static_cast<char>(text[0] & ~0x20);
        const bool absolute = text.size() > 2 && IsSeparator(text[2]);
        tokens[0].erase(0, 2);
        if (tokens[0].empty()) first = 1;
        if (absolute) {
            location.letter = letter;
            location.driveText = std::string(text.substr(0, 2));
        } else {
            const auto stored = driveCurrent_.find(letter);
            if (stored != driveCurrent_.end()) {
                location = stored->second;
            } else {
                location.letter = letter;
                location.driveText = std::string(1, letter) + ":";
            }
        }
    } else if (leadingSeparators) {
        location = current_;
        location.names.clear();
    } else {
        location = current_;
    }

    for (std::size_t i = first; i < tokens.size(); ++i) {
        const std::string& name = tokens[i];
        if (name.empty() || name == ".") continue;
        if (name == "..") {
            if (!location.names.empty()) location.names.pop_back();
            continue;
        }
        location.names.push_back(name);
    }
    out = std::move(location);
    return ERROR_SUCCESS;
}

std::string PosixPlatform::Impl::LocationText(const Location& location) const
{
    std::string text = location.driveText;
    if (location.names.empty()) return text + "\\";
    for (const std::string& name : location.names) text += "\\" + name;
    return text;
}

// The drive whose root a location starts from, and how many of its names
// the root covers (a network mount may stand for a directory of a share).
DWORD PosixPlatform::Impl::RootOf(const Location& location, const Drive*& drive, std::size_t& consumed) const
{
    consumed = 0;
    drive = nullptr;
    if (!location.network) {
        drive = DriveOf(location.letter);
        return drive ? ERROR_SUCCESS : ERROR_PATH_NOT_FOUND;
    }
    // \\host\share and the names after it, against each remote drive's
    // network path, without regard to case; the longest match wins.
    std::vector<std::u16string> given;
    {
        given.push_back(Folded(location.host));
        given.push_back(Folded(location.share));
        for (const std::string& name : location.names) given.push_back(Folded(name));
    }
    std::size_t best = 0;
    for (const Drive& candidate : drives_) {
        if (candidate.type != DRIVE_REMOTE || candidate.networkPath.size() < 3) continue;
        std::vector<std::u16string> parts;
        std::size_t at = 2;
        const std::string& network = candidate.networkPath;
        while (at <= network.size()) {
            std::size_t end = FindSeparator(network, at);
            if (end == NoPosition) end = network.size();
            parts.push_back(Folded(network.substr(at, end - at)));
            at = end + 1;
        }
        if (parts.size() < 2 || parts.size() > given.size() || parts.size() <= best) continue;
        if (std::equal(parts.begin(), parts.end(), given.begin())) {
            best = parts.size();
            drive = &candidate;
        }
    }
    if (!drive) return ERROR_BAD_NETPATH;
    consumed = best - 2;
    return ERROR_SUCCESS;
}

// ---------------------------------------------------------------------------
// Resolution through the per-directory tables

void PosixPlatform::Impl::TruncateChain(std::size_t size)
{
    while (chain_.size() > size) {
        if (chain_.back().fd >= 0) Release(chain_.back().fd);
        chain_.pop_back();
    }
}

void PosixPlatform::Impl::CloseTemporary()
{
    if (temporary_ >= 0) Release(temporary_);
    temporary_ = -1;
}

void PosixPlatform::Impl::Forget(Node& node)
{
    node.table.reset();
    node.children.clear();
    node.serial = ++nextSerial_;
}

// Directories on file systems whose changes the kernel reports are watched,
// so that a path through them costs no look at the directories at all; the
// others are compared with their stat on every use.
//
// Once the limit is reached, a directory that paths go through takes the
// watch of the longest-watched directory that no path has gone through yet;
// any other goes unwatched. Every level of a path is checked on each use, so
// an unwatched directory that paths go through costs a look per path below
// it, while one that only holds the last names costs a look per path in it.
// And a scan passes the directories of a tree in the same order twice (walk,
// then short forms): handing the watches of the first to the last would
// leave each pass a watch and a removal per directory behind the other.
void PosixPlatform::Impl::Watch(Node& node, int fd)
{
    if (changes_ < 0 || node.watch >= 0) return;
    if (watched_.size() >= watchLimit_ && !(node.passedThrough && ReleaseWatchForPassage())) return;
    // The kind of file system is the same for every directory of a device.
    const auto device = static_cast<std::uint64_t>(node.seen.st_dev);
    auto known = watchableDevices_.find(device);
    if (known == watchableDevices_.end()) {
        struct statfs fs {};
        if (fstatfs(fd, &fs) != 0) return;
        // Changes made elsewhere on network and FUSE file systems go unreported.
        bool watchable = true;
        switch (static_cast<unsigned long>(fs.f_type)) {
        case 0x6969:
        case 0x517B:
        case 0xFE534D42:
        case 0xFF534D42:
        case 0x65735546:
        case 0x01021997:
        case 0x00C36400:
        case 0x5346414F:
        case 0x73757245:
        case 0x0BD00BD0:
        case 0x7461636F:
        case 0x01161970: watchable = false; break;
        default: break;
        }
        known = watchableDevices_.emplace(device, watchable).first;
    }
    if (!known->second) return;
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    const int watch = inotify_add_watch(changes_, path.c_str(),
                                        IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF |
                                            IN_MOVE_SELF | IN_ONLYDIR);
    if (watch < 0) return; // out of watches: compared instead
    node.watch = watch;
    watched_.emplace(watch, FileIdentity{static_cast<std::uint64_t>(node.seen.st_dev),
                                         static_cast<std::uint64_t>(node.seen.st_ino)});
    if (!node.passedThrough) watchOrder_.push_back(watch);
}

// Removes the watch of the longest-watched directory that no path has gone
// through and that is not on the path in use; false when there is none.
bool PosixPlatform::Impl::ReleaseWatchForPassage()
{
    // Each watch is looked at once at most: those of the path in use go back
    // to the end.
    for (std::size_t turns = watchOrder_.size(); turns > 0; --turns) {
        const int watch = watchOrder_.front();
        watchOrder_.pop_front();
        const auto found = watched_.find(watch);
        if (found == watched_.end()) continue; // gone with its directory
        const auto node = nodes_.find(found->second);
        if (node == nodes_.end()) continue;
        Node& candidate = node->second;
        if (candidate.passedThrough) continue; // keeps its watch for good
        if (std::any_of(chain_.begin(), chain_.end(), [&](const Level& level) { return level.node == &candidate; })) {
            watchOrder_.push_back(watch);
            continue;
        }
        inotify_rm_watch(changes_, watch);
        watched_.erase(found);
        // Every change up to now has been reported; later ones show in its
        // times, except within the clock tick its times already stand at.
        candidate.watch = -1;
        candidate.unsettled = candidate.table && Recent(candidate.seen);
        return true;
    }
    return false;
}

// Drops the tables of the directories that have changed since the last call.
void PosixPlatform::Impl::TakeChanges()
{
    if (changes_ < 0) return;
    if (noticed_) {
        // The kernel queues an event before it signals it: no notice since
        // the last look means nothing to read.
        const unsigned notices = changeNotices.load(std::memory_order_acquire);
        if (notices == noticesSeen_) return;
        noticesSeen_ = notices;
    }
    alignas(inotify_event) char buffer[16384];
    for (;;) {
        const ssize_t length = read(changes_, buffer, sizeof buffer);
        if (length <= 0) break;
        for (ssize_t at = 0; at < length;) {
            inotify_event event{};
            std::memcpy(&event, buffer + at, sizeof event);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event.len);
            if (event.mask & IN_Q_OVERFLOW) {
                for (auto& [id, node] : nodes_) Forget(node);
                continue;
            }
            const auto found = watched_.find(event.wd);
            if (found == watched_.end()) continue;
            const auto node = nodes_.find(found->second);
            if (node != nodes_.end()) {
                Forget(node->second);
                if (event.mask & IN_IGNORED) node->second.watch = -1;
            }
            if (event.mask & IN_IGNORED) watched_.erase(found);
        }
        // Room left for the longest event: the queue was empty.
        if (static_cast<std::size_t>(length) + sizeof(inotify_event) + NAME_MAX + 1 <= sizeof buffer) break;
    }
}

bool PosixPlatform::Impl::UnchangedSince(const Node& node, const struct stat& st) const
{
    return !node.unsettled && SameTime(node.seen.st_mtim, st.st_mtim) && SameTime(node.seen.st_ctim, st.st_ctim) &&
           node.seen.st_size == st.st_size && node.seen.st_nlink == st.st_nlink;
}

// Checks a level against its directory as it is now; a directory that has
// changed since its table was read loses the table. A level kept from an
// earlier walk over a watched directory needs no look. With `rewatch` false,
// a directory no longer watched whose table is kept is only compared with
// its stat and stays unwatched. `passage`: the path goes on through it.
DWORD PosixPlatform::Impl::Validate(Level& level, int fd, bool reused, bool rewatch, bool passage)
{
    if (reused && level.node && level.node->watch >= 0) return ERROR_SUCCESS;
    struct stat& st = level.st;
    level.statWalk = walks_;
    if (fstat(fd, &st) != 0) return ErrorFromErrno(errno, ERROR_PATH_NOT_FOUND);
    level.id = FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    Node& node = nodes_[level.id];
    if (passage) node.passedThrough = true;
    bool rewatched = false;
    if (rewatch && node.table && node.watch < 0 && !node.unsettled) {
        // Watched again before it is compared, so that no change falls in
        // between; the table stays when the directory is as it was.
        Watch(node, fd);
        rewatched = node.watch >= 0;
        if (rewatched && fstat(fd, &st) != 0) return ErrorFromErrno(errno, ERROR_PATH_NOT_FOUND);
    }
    const bool unchanged = UnchangedSince(node, st);
    const bool same = node.table && ((node.watch >= 0 && !rewatched) || unchanged);
    if (!same) {
        Forget(node);
        node.seen = st;
    }
    level.node = &node;
    return ERROR_SUCCESS;
}

// The names of a directory, read from its own descriptor (which the levels
// use for nothing else), from the start, without a second descriptor.
DWORD PosixPlatform::Impl::ReadNames(int fd, bool rewind, std::vector<std::string>& names)
{
    if (rewind && lseek(fd, 0, SEEK_SET) != 0) return ErrorFromErrno(errno, ERROR_PATH_NOT_FOUND);
    if (readBuffer_.empty()) readBuffer_.resize(65536);
    for (;;) {
        const ssize_t length = getdents64(fd, readBuffer_.data(), readBuffer_.size());
        if (length < 0) {
            if (errno == EINTR) continue;
            return ErrorFromErrno(errno, ERROR_PATH_NOT_FOUND);
        }
        if (length == 0) return ERROR_SUCCESS;
        for (ssize_t at = 0; at < length;) {
            // d_reclen and the name's offset, read without assuming the
            // buffer holds aligned records.
            const char* record = readBuffer_.data() + at;
            unsigned short recordLength = 0;
            std::memcpy(&recordLength, record + offsetof(dirent64, d_reclen), sizeof recordLength);
            const char* name = record + offsetof(dirent64, d_name);
            at += recordLength;
            if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0) names.emplace_back(name);
        }
    }
}

DWORD PosixPlatform::Impl::TableOf(Level& level, int fd, const DirectoryTable*& table)
{
    Node& node = *level.node;
    if (!node.table) {
        // Watched before it is read: no change can fall in between.
        Watch(node, fd);
        std::vector<std::string> names;
        const bool fresh = level.fd == fd && !level.namesRead;
        level.namesRead = level.fd == fd;
        if (const DWORD error = ReadNames(fd, !fresh, names); error != ERROR_SUCCESS) return error;
        node.table = std::make_shared<const DirectoryTable>(std::move(names));
        node.serial = ++nextSerial_;
        // An unwatched table read within its directory's last tick is read
        // again on its next use.
        node.unsettled = node.watch < 0 && Recent(node.seen);
    }
    table = node.table.get();
    return ERROR_SUCCESS;
}

// Goes from a drive's root through names[begin, end) as directories, leaving
// chain_ on the way and `fd` on the last one (valid until the next walk).
// A missing name is reported as 3, or `lastMissing` when it is the last.
DWORD PosixPlatform::Impl::Walk(const std::string& rootPath, const std::vector<std::string>& names, std::size_t begin,
                                std::size_t end, int& fd, DWORD lastMissing)
{
    ++walks_;
    CloseTemporary();
    TakeChanges();
    bool reused = true;
    if (chain_.empty() || chainRoot_ != rootPath) {
        reused = false;
        TruncateChain(0);
        const int root = open(rootPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (root < 0) return errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_NOT_READY;
        chain_.push_back(Level{root, {}, 0, 0, nullptr});
        chainRoot_ = rootPath;
    }
    if (const DWORD error = Validate(chain_[0], chain_[0].fd, reused, true, begin < end); error != ERROR_SUCCESS) {
        TruncateChain(0);
        return error == ERROR_PATH_NOT_FOUND ? ERROR_NOT_READY : error;
    }
    int current = chain_[0].fd;
    for (std::size_t i = begin; i < end; ++i) {
        const std::size_t depth = i - begin; // level of the directory holding names[i]
        const bool last = i + 1 == end;
        const DirectoryTable* table = nullptr;
        if (const DWORD error = TableOf(chain_[depth], current, table); error != ERROR_SUCCESS) {
            TruncateChain(depth + 1);
            return error;
        }
        const std::size_t entry = table->Find(names[i]);
        if (entry == DirectoryTable::NotFound) {
            TruncateChain(depth + 1);
            if (HasWildcard(names[i])) return ERROR_INVALID_NAME;
            return last ? lastMissing : ERROR_PATH_NOT_FOUND;
        }
        const std::uint64_t serial = chain_[depth].node->serial;
        Level* next = nullptr;
        if (chain_.size() > depth + 1 && chain_[depth + 1].parentSerial == serial && chain_[depth + 1].entry == entry &&
            chain_[depth + 1].fd >= 0) {
            next = &chain_[depth + 1];
            current = next->fd;
            reused = true;
        } else {
            reused = false;
            TruncateChain(depth + 1);
            const int opened = openat(current, (*table)[entry].linuxName.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (opened < 0) {
                const int error = errno;
                if (error == ENOTDIR) return last ? ERROR_DIRECTORY : ERROR_PATH_NOT_FOUND;
                if (error == ENOENT) return last ? lastMissing : ERROR_PATH_NOT_FOUND;
                return ErrorFromErrno(error, ERROR_PATH_NOT_FOUND);
            }
            const bool held = chain_.size() < levelBudget_;
            chain_.push_back(Level{held ? opened : -1, {}, serial, entry, nullptr});
            next = &chain_.back();
            if (!held) {
                CloseTemporary();
                temporary_ = opened;
            }
            current = opened;
        }
        if (const DWORD error = Validate(*next, current, reused, true, !last); error != ERROR_SUCCESS) {
            TruncateChain(depth + 1);
            return error;
        }
        chain_[depth].node->children[entry] = next->node;
    }
    fd = current;
    walkDepth_ = end - begin;
    return ERROR_SUCCESS;
}

DWORD PosixPlatform::Impl::Resolve(const Location& location, Target& target, DWORD lastMissing)
{
    const Drive* drive = nullptr;
    std::size_t consumed = 0;
    if (const DWORD error = RootOf(location, drive, consumed); error != ERROR_SUCCESS) return error;
    target = Target{};
    const std::size_t count = location.names.size();
    if (count <= consumed) {
        int fd = -1;
        if (const DWORD error = Walk(drive->mount.mountPoint, location.names, consumed, consumed, fd, lastMissing);
            error != ERROR_SUCCESS)
            return error;
        target.dirFd = fd;
        target.isRoot = true;
        return ERROR_SUCCESS;
    }
    int fd = -1;
    if (const DWORD error =
            Walk(drive->mount.mountPoint, location.names, consumed, count - 1, fd, ERROR_PATH_NOT_FOUND);
        error != ERROR_SUCCESS)
        return error == ERROR_DIRECTORY ? ERROR_PATH_NOT_FOUND : error;
    const DirectoryTable* table = nullptr;
    if (const DWORD error = TableOf(chain_[count - 1 - consumed], fd, table); error != ERROR_SUCCESS) return error;
    target.dirFd = fd;
    target.table = table;
    target.name = location.names.back();
    target.entry = table->Find(target.name);
    return ERROR_SUCCESS;
}

DWORD PosixPlatform::Impl::ResolveDirectory(const Location& location, int& fd, bool& isRoot)
{
    const Drive* drive = nullptr;
    std::size_t consumed = 0;
    if (const DWORD error = RootOf(location, drive, consumed); error != ERROR_SUCCESS) return error;
    isRoot = location.names.size() <= consumed;
    return Walk(drive->mount.mountPoint, location.names, consumed, std::max(consumed, location.names.size()), fd,
                ERROR_FILE_NOT_FOUND);
}

// The stat (of a link's target) and Linux name of a resolved path.
DWORD PosixPlatform::Impl::StatTarget(const Target& target, struct stat& st, std::string& linuxName)
{
    if (target.isRoot) {
        linuxName.clear();
        return fstat(target.dirFd, &st) == 0 ? ERROR_SUCCESS : ErrorFromErrno(errno);
    }
    if (target.entry == DirectoryTable::NotFound)
        return HasWildcard(target.name) ? ERROR_INVALID_NAME : ERROR_FILE_NOT_FOUND;
    linuxName = (*target.table)[target.entry].linuxName;
    if (fstatat(target.dirFd, linuxName.c_str(), &st, 0) == 0) return ERROR_SUCCESS;
    // A link that leads nowhere is a file of its own.
    if (fstatat(target.dirFd, linuxName.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return ERROR_SUCCESS;
    return ErrorFromErrno(errno);
}

// Parse, resolve and stat a path in one go, for the calls that only need
// what it is.
DWORD PosixPlatform::Impl::StatPath(const char* path, Target& target, struct stat& st, std::string& linuxName)
{
    Location location;
    DWORD error = Parse(path, location);
    if (error == ERROR_SUCCESS) error = Resolve(location, target);
    if (error == ERROR_SUCCESS) error = StatTarget(target, st, linuxName);
    return error;
}

// ---------------------------------------------------------------------------
// Directory searches

HANDLE PosixPlatform::Impl::FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* data)
{
    if (data == nullptr) return Fail(ERROR_INVALID_PARAMETER), INVALID_HANDLE_VALUE;
    Location location;
    if (const DWORD error = Parse(pattern, location); error != ERROR_SUCCESS) return Fail(error), INVALID_HANDLE_VALUE;
    const std::string_view given(pattern);
    if (location.names.empty() || EndsWithSeparator(given) || given.back() == '/')
        return Fail(ERROR_FILE_NOT_FOUND), INVALID_HANDLE_VALUE;
    const std::string namePattern = location.names.back();
    location.names.pop_back();

    int fd = -1;
    bool isRoot = false;
    if (DWORD error = ResolveDirectory(location, fd, isRoot); error != ERROR_SUCCESS) {
        if (error == ERROR_FILE_NOT_FOUND) error = ERROR_PATH_NOT_FOUND;
        return Fail(error), INVALID_HANDLE_VALUE;
    }
    const DirectoryTable* table = nullptr;
    Level& level = chain_[walkDepth_];
    if (const DWORD error = TableOf(level, fd, table); error != ERROR_SUCCESS) return Fail(error), INVALID_HANDLE_VALUE;

    Search search;
    search.table = level.node->table;
    if (level.statWalk == walks_) search.dot = level.st;
    if (!HasWildcard(namePattern)) {
        const std::size_t entry = table->Find(namePattern);
        if (entry == DirectoryTable::NotFound) return Fail(ERROR_FILE_NOT_FOUND), INVALID_HANDLE_VALUE;
        search.items.push_back(entry);
    } else {
        // "*.*" is every name; a final ".*" also takes names without a period.
        std::u16string wanted = posix::UpperUnits(Utf16FromCp932(namePattern));
        if (wanted == u"*.*") wanted.assign(1, u'*');
        const auto matches = [&wanted](std::u16string_view name) {
            const auto glob = [](std::u16string_view p, std::u16string_view n) {
                std::size_t pi = 0, ni = 0, star = std::u16string_view::npos, mark = 0;
                while (ni < n.size()) {
                    if (pi < p.size() && (p[pi] == u'?' || p[pi] == n[ni])) {
                        ++pi, ++ni;
                    } else if (pi < p.size() && p[pi] == u'*') {
                        star = pi++;
                        mark = ni;
                    } else if (star != std::u16string_view::npos) {
                        pi = star + 1;
                        ni = ++mark;
                    } else {
                        return false;
                    }
                }
                while (pi < p.size() && p[pi] == u'*') ++pi;
                return pi == p.size();
            };
            if (glob(wanted, name)) return true;
            const std::u16string_view p(wanted);
            return p.size() >= 2 && p.substr(p.size() - 2) == u".*" && glob(p.substr(0, p.size() - 2), name);
        };
        if (!isRoot) {
            if (matches(u".")) search.items.push_back(Dot);
            if (matches(u"..")) search.items.push_back(DotDot);
        }
        for (std::size_t i = 0; i < table->Size(); ++i) {
            const posix::TableEntry& entry = (*table)[i];
            if (matches(entry.upperName) || (!entry.alias.empty() && matches(Utf16FromCp932(entry.alias))))
                search.items.push_back(i);
        }
    }
    search.fd = Share(fd);
    if (!FillFindData(search, data)) {
        Release(search.fd);
        return Fail(ERROR_FILE_NOT_FOUND), INVALID_HANDLE_VALUE;
    }
    if (IsFullDrivePath(given)) {
        search.prefix.assign(given.substr(0, LastSeparator(given) + 1));
        search.levels = HeldLevels(walkDepth_);
    }
    const HANDLE handle = NewHandle();
    searches_.emplace(handle, std::move(search));
    lastSearch_ = handle;
    SetLastError(ERROR_SUCCESS);
    return handle;
}

// Reports the next item of a search that still exists; false at the end.
bool PosixPlatform::Impl::FillFindData(Search& search, WIN32_FIND_DATAA* data)
{
    while (search.position < search.items.size()) {
        const std::size_t item = search.items[search.position++];
        struct stat st {};
        std::string_view name;
        std::string_view alias;
        DWORD attributes = 0;
        search.lastIsDirectory = false;
        if (item == Dot || item == DotDot) {
            // Both describe the directory searched: a search of every
            // directory of a tree would otherwise pay a stat of each parent
            // for an entry that walks skip.
            if (search.dot) {
                st = *search.dot;
            } else if (fstat(search.fd, &st) != 0) {
                continue;
            }
            if (!search.dot) search.dot = st;
            name = item == Dot ? "." : "..";
            attributes = AttributesOf(st, {});
        } else {
            const posix::TableEntry& entry = (*search.table)[item];
            // A link counts as its target; one that leads nowhere as a file.
            if (fstatat(search.fd, entry.linuxName.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
                continue; // gone since the directory was read
            if (S_ISLNK(st.st_mode)) {
                struct stat target {};
                if (fstatat(search.fd, entry.linuxName.c_str(), &target, 0) == 0) st = target;
            } else if (S_ISDIR(st.st_mode)) {
                search.lastIsDirectory = true;
                search.lastIdentity =
                    FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
            }
            name = entry.name;
            alias = entry.alias;
            attributes = AttributesOf(st, entry.linuxName);
        }
        *data = WIN32_FIND_DATAA{};
        data->dwFileAttributes = attributes;
        name.copy(data->cFileName, MAX_PATH - 1);
        alias.copy(data->cAlternateFileName, 13);
        return true;
    }
    return false;
}

BOOL PosixPlatform::Impl::FindNextFileA(HANDLE handle, WIN32_FIND_DATAA* data)
{
    const auto found = searches_.find(handle);
    if (found == searches_.end()) return Fail(ERROR_INVALID_HANDLE);
    if (data == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    if (!FillFindData(found->second, data)) return Fail(ERROR_NO_MORE_FILES);
    lastSearch_ = handle;
    SetLastError(ERROR_SUCCESS);
    return true;
}

BOOL PosixPlatform::Impl::FindClose(HANDLE handle)
{
    const auto found = searches_.find(handle);
    if (found == searches_.end()) return Fail(ERROR_INVALID_HANDLE);
    Release(found->second.fd);
    searches_.erase(found);
    if (lastSearch_ == handle) lastSearch_ = 0;
    return true;
}

// ---------------------------------------------------------------------------
// Short names

// Opens the directory of entry `entry` below the last of shortLevels_, when
// the open directories of chain_ are those levels, and checks it as a walk
// would: the step of a walk without the resolution of the path before it.
// A directory that only holds the last name is not watched again: the
// watches would be taken from the directories the walk left, one directory
// after the other, at the cost of a watch and its removal each; its stat is
// compared on every later use instead (StillAsRead).
bool PosixPlatform::Impl::OpenOnChain(std::size_t entry, bool passedThrough)
{
    const std::size_t depth = shortLevels_.size() - 1;
    if (chain_.size() <= depth || depth + 1 >= levelBudget_) return false;
    for (std::size_t i = 0; i <= depth; ++i)
        if (chain_[i].node != shortLevels_[i].held.node || chain_[i].fd < 0) return false;
    Node* parent = chain_[depth].node;
    const bool reused = chain_.size() > depth + 1 && chain_[depth + 1].parentSerial == parent->serial &&
                        chain_[depth + 1].entry == entry && chain_[depth + 1].fd >= 0;
    if (!reused) {
        TruncateChain(depth + 1);
        const int opened =
            openat(chain_[depth].fd, (*parent->table)[entry].linuxName.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (opened < 0) return false;
        chain_.push_back(Level{opened, {}, parent->serial, entry, nullptr});
    }
    TruncateChain(depth + 2);
    const int opened = chain_.back().fd;
    const DirectoryTable* table = nullptr;
    if (Validate(chain_.back(), opened, reused, passedThrough, passedThrough) != ERROR_SUCCESS ||
        TableOf(chain_.back(), opened, table) != ERROR_SUCCESS ||
        (chain_.back().node->watch < 0 && (passedThrough || chain_.back().node->unsettled))) {
        TruncateChain(depth + 1);
        return false;
    }
    parent->children[entry] = chain_.back().node;
    return true;
}

// Whether the unwatched directory of shortLevels_[level], still open on
// chain_, is as its table was read. One the path goes through is watched
// again first, as a walk would, so that later paths through it need no look;
// the last one is compared with its stat alone.
bool PosixPlatform::Impl::StillAsRead(std::size_t level, bool passedThrough)
{
    Node* node = shortLevels_[level].held.node;
    if (chain_.size() <= level || chain_[level].node != node || chain_[level].fd < 0 || node->unsettled) return false;
    if (passedThrough) {
        node->passedThrough = true;
        Watch(*node, chain_[level].fd);
    }
    struct stat st {};
    if (fstat(chain_[level].fd, &st) == 0 && UnchangedSince(*node, st)) return true;
    // Dropped here: once watched again, a table would pass for current.
    Forget(*node);
    return false;
}

// The short form of a path that goes on from a directory of the last one
// asked for, through directories whose tables are known and unchanged: no
// resolution, only look-ups in those tables.
bool PosixPlatform::Impl::ShortPathThroughKnownDirectories(std::string_view text, std::string& result)
{
    if (shortLevels_.empty() || !IsFullDrivePath(text)) return false;
    std::size_t known = shortLevels_.size();
    while (known > 0) {
        const std::string& prefix = shortLevels_[known - 1].text;
        if (text.size() > prefix.size() && text.compare(0, prefix.size(), prefix) == 0) break;
        --known;
    }
    if (known == 0) return false;
    CloseTemporary();
    TakeChanges();
    for (std::size_t i = 0; i < known; ++i) {
        const Held& held = shortLevels_[i].held;
        const bool passedThrough = i + 1 < known || FindSeparator(text, shortLevels_[i].text.size()) != NoPosition;
        if (!held.node->table || held.node->serial != held.serial ||
            (held.node->watch < 0 && !StillAsRead(i, passedThrough))) {
            shortLevels_.resize(i);
            return false;
        }
    }
    shortLevels_.resize(known);
    std::size_t at = shortLevels_.back().text.size();
    for (;;) {
        const std::size_t end = FindSeparator(text, at);
        const std::string_view name = text.substr(at, (end == NoPosition ? text.size() : end) - at);
        const DirectoryTable& table = *shortLevels_.back().table;
        const std::size_t entry = name.empty() ? DirectoryTable::NotFound : table.Find(name);
        if (entry == DirectoryTable::NotFound) return false;
        const std::string_view shortName =
            posix::IsLegalShortName(name) ? name : std::string_view(table.ShortName(entry));
        if (end == NoPosition) {
            result.reserve(shortLevels_.back().shortText.size() + shortName.size());
            result = shortLevels_.back().shortText;
            result += shortName;
            return true;
        }
        Node& directory = *shortLevels_.back().held.node;
        auto child = directory.children.find(entry);
        if (child == directory.children.end() || !child->second->table || child->second->watch < 0) {
            if (!OpenOnChain(entry, FindSeparator(text, end + 1) != NoPosition)) return false;
            child = directory.children.find(entry);
            if (child == directory.children.end()) return false;
        }
        ShortLevel next;
        next.text.assign(text.substr(0, end + 1));
        next.shortText.reserve(shortLevels_.back().shortText.size() + shortName.size() + 1);
        next.shortText = shortLevels_.back().shortText;
        next.shortText += shortName;
        next.shortText.push_back('\\');
        next.held = Held{child->second, child->second->serial};
        next.table = child->second->table;
        shortLevels_.push_back(std::move(next));
        at = end + 1;
        if (at == text.size()) {
            result = shortLevels_.back().shortText;
            return true;
        }
    }
}

DWORD PosixPlatform::Impl::GetShortPathNameA(const char* longPath, char* shortPath, DWORD capacity)
{
    if (longPath == nullptr) return Fail(ERROR_INVALID_PARAMETER), 0;
    const std::string_view text(longPath);
    // Storage used again by every call: a scan asks once per path.
    std::string& result = shortResult_;
    result.clear();
    if (!ShortPathThroughKnownDirectories(text, result) && !ShortPathResolved(longPath, result)) return 0;
    if (shortPath == nullptr || capacity <= result.size()) {
        SetLastError(ERROR_SUCCESS);
        return static_cast<DWORD>(result.size() + 1);
    }
    std::memcpy(shortPath, result.data(), result.size());
    shortPath[result.size()] = '\0';
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(result.size());
}

// The short form of a path resolved name by name; false with the error set
// when it cannot be resolved.
bool PosixPlatform::Impl::ShortPathResolved(const char* longPath, std::string& result)
{
    Location location;
    if (const DWORD error = Parse(longPath, location); error != ERROR_SUCCESS) return Fail(error);
    const std::string_view text(longPath);

    // The names as written, each with the place it takes in the location.
    struct Piece {
        std::size_t start, length;
        bool name;
        std::size_t level; // index in location.names, or npos
    };
    std::vector<Piece> pieces;
    std::string storage;
    const std::string_view scan = WithBackslashes(text, storage);
    std::size_t at = 0;
    std::size_t depth = 0;
    if (text.size() >= 2 && IsSeparator(text[0]) && IsSeparator(text[1])) {
        // \\host\share: copied as written (up to the fourth separator); the
        // share's names come after.
        std::size_t end = text.size();
        std::size_t separators = 0;
        for (std::size_t found = FindSeparator(scan); found != NoPosition; found = FindSeparator(scan, found + 1)) {
            if (++separators == 4) {
                end = found;
                break;
            }
        }
        pieces.push_back(Piece{0, end, false, std::string::npos});
        at = end;
    } else if (text.size() >= 2 && text[1] == ':' &&
               ((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z'))) {
        pieces.push_back(Piece{0, 2, false, std::string::npos});
        at = 2;
        if (at >= text.size() || !IsSeparator(text[at])) {
            const auto stored = driveCurrent_.find(static_cast<char>(text[0] & ~0x20));
            depth = stored != driveCurrent_.end() ? stored->second.names.size() : 0;
        }
    } else if (!IsSeparator(text[0])) {
        depth = current_.names.size();
    }
    while (at < text.size()) {
        const std::size_t start = at;
        if (IsSeparator(text[at])) {
            pieces.push_back(Piece{start, 1, false, std::string::npos});
            ++at;
            continue;
        }
        at = FindSeparator(scan, at);
        if (at == NoPosition) at = text.size();
        const std::string_view name = text.substr(start, at - start);
        std::size_t level = std::string::npos;
        if (name == "..") {
            if (depth > 0) --depth;
        } else if (name != ".") {
            level = depth++;
        }
        pieces.push_back(Piece{start, at - start, true, level});
    }

    Target target;
    if (const DWORD error = Resolve(location, target, ERROR_FILE_NOT_FOUND); error != ERROR_SUCCESS) return Fail(error);
    if (!target.isRoot && target.entry == DirectoryTable::NotFound)
        return Fail(HasWildcard(target.name) ? ERROR_INVALID_NAME : ERROR_FILE_NOT_FOUND);

    const Drive* drive = nullptr;
    std::size_t consumed = 0;
    RootOf(location, drive, consumed);
    const std::size_t count = location.names.size();
    result.clear();
    result.reserve(text.size());
    std::vector<std::size_t> resultAt; // the result's length before each piece
    resultAt.reserve(pieces.size() + 1);
    for (const Piece& piece : pieces) {
        resultAt.push_back(result.size());
        const std::string_view written = text.substr(piece.start, piece.length);
        // Names removed again by a later "..", and names the root covers,
        // stay as written.
        if (!piece.name || piece.level == std::string::npos || piece.level < consumed || piece.level >= count ||
            location.names[piece.level] != written || posix::IsLegalShortName(written)) {
            result += written;
            continue;
        }
        const std::size_t level = piece.level - consumed;
        if (piece.level + 1 == count) {
            result += target.table->ShortName(target.entry);
        } else if (level + 1 < chain_.size() && chain_[level].node && chain_[level].node->table) {
            result += chain_[level].node->table->ShortName(chain_[level + 1].entry);
        } else {
            result += written;
        }
    }

    resultAt.push_back(result.size());

    // The directories on the way, kept for the next paths, when the path is
    // a plain "X:\name\name..." (pieces: drive, separator, name, separator...).
    shortLevels_.clear();
    if (!IsFullDrivePath(text) || target.isRoot || consumed != 0 || chain_.size() < count) return true;
    for (std::size_t i = 1; i < pieces.size(); ++i) {
        const bool separator = i % 2 == 1;
        if (pieces[i].name == separator || (!separator && pieces[i].level != (i - 2) / 2)) return true;
    }
    if (chain_[count - 1].node == nullptr || chain_[count - 1].node->table.get() != target.table) return true;
    for (std::size_t depth = 0; depth < count; ++depth) {
        Node* node = chain_[depth].node;
        if (node == nullptr || !node->table) break;
        const Piece& separator = pieces[2 * depth + 1];
        shortLevels_.push_back(ShortLevel{std::string(text.substr(0, separator.start + 1)),
                                          result.substr(0, resultAt[2 * depth + 2]), Held{node, node->serial},
                                          node->table});
    }
    return true;
}

// ---------------------------------------------------------------------------
// Attributes, identity

DWORD PosixPlatform::Impl::GetFileAttributesA(const char* path)
{
    Target target;
    struct stat st {};
    std::string linuxName;
    const DWORD error = StatPath(path, target, st, linuxName);
    if (error != ERROR_SUCCESS) return Fail(error), INVALID_FILE_ATTRIBUTES;
    return AttributesOf(st, linuxName);
}

BOOL PosixPlatform::Impl::SetFileAttributesA(const char* path, DWORD attributes)
{
    Target target;
    struct stat st {};
    std::string linuxName;
    const DWORD error = StatPath(path, target, st, linuxName);
    if (error != ERROR_SUCCESS) return Fail(error);
    if (S_ISLNK(st.st_mode)) return Fail(ERROR_FILE_NOT_FOUND);
    // Read-only is the owner's write bit, both ways. Hidden follows the name
    // alone and cannot be set.
    mode_t mode = st.st_mode & 07777;
    mode = (attributes & FILE_ATTRIBUTE_READONLY) ? (mode & ~S_IWUSR) : (mode | S_IWUSR);
    const int result = target.isRoot ? fchmod(target.dirFd, mode) : fchmodat(target.dirFd, linuxName.c_str(), mode, 0);
    if (result != 0) return Fail(ErrorFromErrno(errno));
    SetLastError(ERROR_SUCCESS);
    return true;
}

// The identity of the directory the last search step reported, when `path`
// names it through that search's own directory and nothing has changed there
// since: the stat of the search step told it.
bool PosixPlatform::Impl::IdentityOfLastFound(const char* path, FileIdentity& identity)
{
    if (path == nullptr || lastSearch_ == 0) return false;
    const auto found = searches_.find(lastSearch_);
    if (found == searches_.end()) return false;
    const Search& search = found->second;
    if (search.prefix.empty() || !search.lastIsDirectory || search.position == 0) return false;
    std::string_view text(path);
    if (EndsWithSeparator(text)) text.remove_suffix(1);
    if (text.size() <= search.prefix.size() || text.substr(0, search.prefix.size()) != search.prefix) return false;
    const std::size_t item = search.items[search.position - 1];
    if (item == Dot || item == DotDot || text.substr(search.prefix.size()) != (*search.table)[item].name) return false;
    TakeChanges();
    if (!StillCurrent(search.levels)) return false;
    identity = search.lastIdentity;
    return true;
}

BOOL PosixPlatform::Impl::GetFileIdentity(const char* path, FileIdentity* identity)
{
    if (identity == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    if (IdentityOfLastFound(path, *identity)) {
        SetLastError(ERROR_SUCCESS);
        return true;
    }
    Target target;
    struct stat st {};
    std::string linuxName;
    const DWORD error = StatPath(path, target, st, linuxName);
    if (error != ERROR_SUCCESS) return Fail(error);
    *identity = FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    SetLastError(ERROR_SUCCESS);
    return true;
}

// ---------------------------------------------------------------------------
// Current directories

BOOL PosixPlatform::Impl::SetCurrentDirectoryA(const char* path)
{
    Location location;
    if (const DWORD error = Parse(path, location); error != ERROR_SUCCESS) return Fail(error);
    int fd = -1;
    bool isRoot = false;
    if (const DWORD error = ResolveDirectory(location, fd, isRoot); error != ERROR_SUCCESS) return Fail(error);
    if (fchdir(fd) != 0) return Fail(ErrorFromErrno(errno, ERROR_PATH_NOT_FOUND));
    current_ = location;
    if (!location.network) driveCurrent_[location.letter] = location;
    SetLastError(ERROR_SUCCESS);
    return true;
}

DWORD PosixPlatform::Impl::GetCurrentDirectoryA(DWORD capacity, char* buffer)
{
    const std::string text = LocationText(current_);
    if (buffer == nullptr || capacity <= text.size()) return static_cast<DWORD>(text.size() + 1);
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = '\0';
    return static_cast<DWORD>(text.size());
}

// ---------------------------------------------------------------------------
// Files

// 32 when another open file description holds a lock on the entry. A link
// is no file held open: it is never followed (its target is not opened).
DWORD PosixPlatform::Impl::HeldOpenElsewhere(int dirFd, const std::string& linuxName)
{
    const int probe = openat(dirFd, linuxName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW);
    if (probe < 0) return ERROR_SUCCESS;
    const bool locked = flock(probe, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    close(probe);
    return locked ? ERROR_SHARING_VIOLATION : ERROR_SUCCESS;
}

HANDLE PosixPlatform::Impl::CreateFileA(const char* path, DWORD access, DWORD shareMode, DWORD disposition, DWORD)
{
    Location location;
    if (const DWORD error = Parse(path, location); error != ERROR_SUCCESS) return Fail(error), INVALID_HANDLE_VALUE;
    if (disposition != CREATE_ALWAYS && disposition != CREATE_NEW && disposition != OPEN_EXISTING)
        return Fail(ERROR_INVALID_PARAMETER), INVALID_HANDLE_VALUE;
    Target target;
    if (const DWORD error = Resolve(location, target); error != ERROR_SUCCESS) return Fail(error), INVALID_HANDLE_VALUE;
    if (target.isRoot) return Fail(ERROR_ACCESS_DENIED), INVALID_HANDLE_VALUE;

    const bool write = (access & GENERIC_WRITE) != 0;
    const bool read = (access & GENERIC_READ) != 0;
    std::string linuxName;
    const bool exists = target.entry != DirectoryTable::NotFound;
    if (exists) {
        linuxName = (*target.table)[target.entry].linuxName;
        struct stat st {};
        if (fstatat(target.dirFd, linuxName.c_str(), &st, 0) == 0) {
            if (S_ISDIR(st.st_mode)) return Fail(ERROR_ACCESS_DENIED), INVALID_HANDLE_VALUE;
            if (write && (st.st_mode & S_IWUSR) == 0) return Fail(ERROR_ACCESS_DENIED), INVALID_HANDLE_VALUE;
        }
        if (disposition == CREATE_NEW) return Fail(ERROR_FILE_EXISTS), INVALID_HANDLE_VALUE;
    } else {
        if (disposition == OPEN_EXISTING)
            return Fail(HasWildcard(target.name) ? ERROR_INVALID_NAME : ERROR_FILE_NOT_FOUND), INVALID_HANDLE_VALUE;
        if (IsInvalidNewName(target.name)) return Fail(ERROR_INVALID_NAME), INVALID_HANDLE_VALUE;
        linuxName = Utf8FromCp932(target.name);
    }

    int flags = O_CLOEXEC | O_NOCTTY | (write ? (read ? O_RDWR : O_WRONLY) : O_RDONLY);
    if (disposition == CREATE_ALWAYS) flags |= O_CREAT;
    if (disposition == CREATE_NEW) flags |= O_CREAT | O_EXCL;
    const int fd = openat(target.dirFd, linuxName.c_str(), flags, 0666);
    if (fd < 0) {
        const int error = errno;
        return Fail(error == EEXIST ? ERROR_FILE_EXISTS : ErrorFromErrno(error)), INVALID_HANDLE_VALUE;
    }
    // No sharing: no other opener may hold the file, in this process or
    // another that locks as we do; the truncation waits until we hold it.
    if (flock(fd, (shareMode == 0 ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        const int error = errno;
        close(fd);
        return Fail(error == EWOULDBLOCK ? ERROR_SHARING_VIOLATION : ErrorFromErrno(error)), INVALID_HANDLE_VALUE;
    }
    if (disposition == CREATE_ALWAYS && ftruncate(fd, 0) != 0) {
        const int error = errno;
        close(fd);
        return Fail(ErrorFromErrno(error)), INVALID_HANDLE_VALUE;
    }
    const HANDLE handle = NewHandle();
    files_.emplace(handle, OpenFile{fd, read, write});
    SetLastError(exists && disposition == CREATE_ALWAYS ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

BOOL PosixPlatform::Impl::WriteFile(HANDLE handle, const void* data, DWORD size, DWORD* written)
{
    const auto found = files_.find(handle);
    if (found == files_.end()) return Fail(ERROR_INVALID_HANDLE);
    if (written) *written = 0;
    if (!found->second.write) return Fail(ERROR_ACCESS_DENIED);
    if (data == nullptr && size > 0) return Fail(ERROR_INVALID_PARAMETER);
    const auto* bytes = static_cast<const char*>(data);
    DWORD done = 0;
    while (done < size) {
        const ssize_t result = write(found->second.fd, bytes + done, size - done);
        if (result < 0) {
            if (errno == EINTR) continue;
            if (written) *written = done;
            return Fail(ErrorFromErrno(errno));
        }
        if (result == 0) {
            if (written) *written = done;
            return Fail(ERROR_DISK_FULL);
        }
        done += static_cast<DWORD>(result);
    }
    if (written) *written = done;
    SetLastError(ERROR_SUCCESS);
    return true;
}

BOOL PosixPlatform::Impl::ReadFile(HANDLE handle, void* buffer, DWORD size, DWORD* read)
{
    const auto found = files_.find(handle);
    if (found == files_.end()) return Fail(ERROR_INVALID_HANDLE);
    if (read) *read = 0;
    if (!found->second.read) return Fail(ERROR_ACCESS_DENIED);
    if (buffer == nullptr && size > 0) return Fail(ERROR_INVALID_PARAMETER);
    ssize_t result = 0;
    do {
        result = ::read(found->second.fd, buffer, size);
    } while (result < 0 && errno == EINTR);
    if (result < 0) return Fail(ErrorFromErrno(errno));
    if (read) *read = static_cast<DWORD>(result);
    SetLastError(ERROR_SUCCESS);
    return true;
}

BOOL PosixPlatform::Impl::CloseHandle(HANDLE handle)
{
    const auto found = files_.find(handle);
    if (found == files_.end()) return Fail(ERROR_INVALID_HANDLE);
    close(found->second.fd);
    files_.erase(found);
    return true;
}

BOOL PosixPlatform::Impl::MoveFileExA(const char* existing, const char* target, DWORD flags)
{
    Location from;
    Location to;
    Target source;
    DWORD error = Parse(existing, from);
    if (error == ERROR_SUCCESS) error = Parse(target, to);
    if (error == ERROR_SUCCESS) error = Resolve(from, source);
    if (error != ERROR_SUCCESS) return Fail(error);
    if (source.isRoot) return Fail(ERROR_ACCESS_DENIED);
    if (source.entry == DirectoryTable::NotFound)
        return Fail(HasWildcard(source.name) ? ERROR_INVALID_NAME : ERROR_FILE_NOT_FOUND);
    const std::string sourceName = (*source.table)[source.entry].linuxName;
    struct stat sourceStat {};
    if (fstatat(source.dirFd, sourceName.c_str(), &sourceStat, AT_SYMLINK_NOFOLLOW) != 0)
        return Fail(ErrorFromErrno(errno));
    // The next resolution may close the source's directory: keep our own.
    const int sourceDir = openat(source.dirFd, ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (sourceDir < 0) return Fail(ErrorFromErrno(errno));

    Target destination;
    error = Resolve(to, destination);
    std::string destinationName;
    if (error == ERROR_SUCCESS && destination.isRoot) error = ERROR_ACCESS_DENIED;
    if (error == ERROR_SUCCESS) {
        if (destination.entry != DirectoryTable::NotFound) {
            destinationName = (*destination.table)[destination.entry].linuxName;
            struct stat st {};
            if (fstatat(destination.dirFd, destinationName.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
                const bool same = st.st_dev == sourceStat.st_dev && st.st_ino == sourceStat.st_ino;
                if (same) {
                    // A new spelling of the same name: renamed to it.
                    if (destinationName == sourceName) {
                        close(sourceDir);
                        SetLastError(ERROR_SUCCESS);
                        return true;
                    }
                } else if ((flags & MOVEFILE_REPLACE_EXISTING) == 0) {
                    error = ERROR_ALREADY_EXISTS;
                } else if (S_ISDIR(st.st_mode) || (st.st_mode & S_IWUSR) == 0) {
                    error = ERROR_ACCESS_DENIED;
                } else {
                    error = HeldOpenElsewhere(destination.dirFd, destinationName);
                }
            }
        } else if (IsInvalidNewName(destination.name)) {
            error = ERROR_INVALID_NAME;
        } else {
            destinationName = Utf8FromCp932(destination.name);
        }
    }
    if (error == ERROR_SUCCESS &&
        renameat(sourceDir, sourceName.c_str(), destination.dirFd, destinationName.c_str()) != 0)
        error = ErrorFromErrno(errno);
    close(sourceDir);
    if (error != ERROR_SUCCESS) return Fail(error);
    SetLastError(ERROR_SUCCESS);
    return true;
}

BOOL PosixPlatform::Impl::DeleteFileA(const char* path)
{
    Target target;
    struct stat st {};
    std::string linuxName;
    const DWORD error = StatPath(path, target, st, linuxName);
    if (error != ERROR_SUCCESS) return Fail(error);
    if (target.isRoot || S_ISDIR(st.st_mode) || (!S_ISLNK(st.st_mode) && (st.st_mode & S_IWUSR) == 0))
        return Fail(ERROR_ACCESS_DENIED);
    if (const DWORD held = HeldOpenElsewhere(target.dirFd, linuxName); held != ERROR_SUCCESS) return Fail(held);
    if (unlinkat(target.dirFd, linuxName.c_str(), 0) != 0) return Fail(ErrorFromErrno(errno));
    SetLastError(ERROR_SUCCESS);
    return true;
}

BOOL PosixPlatform::Impl::WindowsPathFromLinuxPath(std::string_view linuxPath, std::string& windowsPath)
{
    std::string full;
    if (linuxPath.empty() || linuxPath[0] != '/') {
        char* cwd = get_current_dir_name();
        // A deleted working directory has no name to start from.
        if (cwd == nullptr || cwd[0] != '/') {
            free(cwd);
            return Fail(ERROR_PATH_NOT_FOUND);
        }
        full = cwd;
        free(cwd);
        full += '/';
    }
    full += linuxPath;
    // "." and ".." as written, as for a Windows path.
    std::vector<std::string_view> names;
    for (std::size_t at = 0; at <= full.size();) {
        std::size_t end = full.find('/', at);
        if (end == std::string::npos) end = full.size();
        const std::string_view name(full.data() + at, end - at);
        at = end + 1;
        if (name.empty() || name == ".") continue;
        if (name == "..") {
            if (!names.empty()) names.pop_back();
            continue;
        }
        names.push_back(name);
    }
    std::string normal;
    for (const std::string_view name : names) {
        normal += '/';
        normal += name;
    }
    windowsPath = WindowsPathOf(normal);
    SetLastError(ERROR_SUCCESS);
    return true;
}

BOOL PosixPlatform::Impl::LinuxPathFromWindowsPath(std::string_view windowsPath, std::string& linuxPath)
{
    Location location;
    Target target;
    const std::string text(windowsPath);
    DWORD error = Parse(text.c_str(), location);
    if (error == ERROR_SUCCESS) error = Resolve(location, target, ERROR_FILE_NOT_FOUND);
    if (error == ERROR_SUCCESS && !target.isRoot && target.entry == DirectoryTable::NotFound)
        error = HasWildcard(target.name) ? ERROR_INVALID_NAME : ERROR_FILE_NOT_FOUND;
    const Drive* drive = nullptr;
    std::size_t consumed = 0;
    if (error == ERROR_SUCCESS) error = RootOf(location, drive, consumed);
    if (error != ERROR_SUCCESS) return Fail(error);
    // The levels the resolution went through, each an entry of the table
    // of the level before it.
    linuxPath = drive->mount.mountPoint;
    const auto append = [&linuxPath](std::string_view name) {
        if (linuxPath.empty() || linuxPath.back() != '/') linuxPath += '/';
        linuxPath += name;
    };
    for (std::size_t level = 1; level <= walkDepth_ && level < chain_.size(); ++level)
        append((*chain_[level - 1].node->table)[chain_[level].entry].linuxName);
    if (!target.isRoot) append((*target.table)[target.entry].linuxName);
    SetLastError(ERROR_SUCCESS);
    return true;
}

DWORD PosixPlatform::Impl::GetModuleFileNameA(char* buffer, DWORD capacity)
{
    const std::string path = WindowsPathOf(executablePath_);
    if (buffer == nullptr || capacity == 0) return Fail(ERROR_INSUFFICIENT_BUFFER), 0;
    if (capacity <= path.size()) {
        // As Windows does: cut to the buffer, with its zero, and say so.
        std::memcpy(buffer, path.data(), capacity - 1);
        buffer[capacity - 1] = '\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return capacity;
    }
    std::memcpy(buffer, path.data(), path.size());
    buffer[path.size()] = '\0';
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(path.size());
}

// ---------------------------------------------------------------------------
// Drives and volumes

DWORD PosixPlatform::Impl::GetLogicalDrives()
{
    DWORD mask = 0;
    for (const Drive& drive : drives_) mask |= 1u << (drive.letter - 'A');
    return mask;
}

UINT PosixPlatform::Impl::GetDriveTypeA(const char* root)
{
    std::string text;
    if (root == nullptr) {
        text = current_.driveText + "\\";
    } else {
        text = root;
    }
    if (text.size() == 3 && text[1] == ':' && IsSeparator(text[2])) {
        const Drive* drive = DriveOf(static_cast<char>(text[0] & ~0x20));
        return drive ? drive->type : DRIVE_NO_ROOT_DIR;
    }
    if (text.size() > 2 && IsSeparator(text[0]) && IsSeparator(text[1]) && EndsWithSeparator(text)) {
        Location location;
        const Drive* drive = nullptr;
        std::size_t consumed = 0;
        if (Parse(text.c_str(), location) == ERROR_SUCCESS && location.network && location.names.empty() &&
            RootOf(location, drive, consumed) == ERROR_SUCCESS)
            return DRIVE_REMOTE;
    }
    return DRIVE_NO_ROOT_DIR;
}

BOOL PosixPlatform::Impl::GetVolumeInformationA(const char* root, char* volumeName, DWORD volumeNameSize,
                                                DWORD* serialNumber, DWORD* maxComponentLength, DWORD* fileSystemFlags,
                                                char* fileSystemName, DWORD fileSystemNameSize)
{
    const std::string text = root ? std::string(root) : current_.driveText + "\\";
    const Drive* drive = nullptr;
    if (text.size() == 3 && text[1] == ':' && IsSeparator(text[2]) &&
        ((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z'))) {
        drive = DriveOf(static_cast<char>(text[0] & ~0x20));
        if (!drive) return Fail(ERROR_PATH_NOT_FOUND);
    } else if (text.size() > 2 && IsSeparator(text[0]) && IsSeparator(text[1]) && EndsWithSeparator(text)) {
        Location location;
        std::size_t consumed = 0;
        if (const DWORD error = Parse(text.c_str(), location); error != ERROR_SUCCESS) return Fail(error);
        if (!location.network || !location.names.empty()) return Fail(ERROR_INVALID_NAME);
        if (const DWORD error = RootOf(location, drive, consumed); error != ERROR_SUCCESS) return Fail(error);
    } else {
        return Fail(ERROR_INVALID_NAME);
    }
    struct stat st {};
    if (stat(drive->mount.mountPoint.c_str(), &st) != 0) return Fail(ERROR_NOT_READY);
    const std::string label = drive->type == DRIVE_REMOTE ? std::string() : drive->label;
    const std::string type = drive->mount.type.empty() ? std::string("unknown") : drive->mount.type;
    if ((volumeName && volumeNameSize <= label.size()) || (fileSystemName && fileSystemNameSize <= type.size()))
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    if (volumeName) std::memcpy(volumeName, label.c_str(), label.size() + 1);
    if (fileSystemName) std::memcpy(fileSystemName, type.c_str(), type.size() + 1);
    const auto device = static_cast<std::uint64_t>(st.st_dev);
    if (serialNumber) *serialNumber = static_cast<DWORD>(device ^ (device >> 32));
    if (maxComponentLength) *maxComponentLength = 255;
    if (fileSystemFlags) *fileSystemFlags = FS_CASE_IS_PRESERVED | FS_UNICODE_STORED_ON_DISK;
    SetLastError(ERROR_SUCCESS);
    return true;
}

DWORD PosixPlatform::Impl::WNetGetConnectionA(const char* localName, char* remoteName, DWORD* length)
{
    if (localName == nullptr || length == nullptr) return ERROR_INVALID_PARAMETER;
    const std::string_view name(localName);
    if (name.size() != 2 || name[1] != ':') return ERROR_NOT_CONNECTED;
    const Drive* drive = DriveOf(static_cast<char>(name[0] & ~0x20));
    if (!drive || drive->type != DRIVE_REMOTE || drive->networkPath.empty()) return ERROR_NOT_CONNECTED;
    const std::string& network = drive->networkPath;
    if (remoteName == nullptr || *length <= network.size()) {
        *length = static_cast<DWORD>(network.size() + 1);
        return ERROR_MORE_DATA;
    }
    std::memcpy(remoteName, network.c_str(), network.size() + 1);
    return ERROR_SUCCESS;
}

UINT PosixPlatform::Impl::SetErrorMode(UINT mode)
{
    const UINT previous = errorMode_;
    errorMode_ = mode;
    return previous;
}

DWORD PosixPlatform::Impl::GetTickCount()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const std::uint64_t milliseconds =
        static_cast<std::uint64_t>(now.tv_sec) * 1000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<DWORD>(milliseconds);
}

// ---------------------------------------------------------------------------

PosixPlatform::PosixPlatform(const PosixSources& sources) : impl_(std::make_unique<Impl>(sources)) {}
PosixPlatform::~PosixPlatform() = default;

Platform PosixPlatform::Interfaces() const { return Platform{impl_.get(), impl_.get(), impl_.get()}; }

Platform SystemPlatform()
{
    // Lives as long as the process and is never destroyed: at exit, freeing
    // the tables of every directory a scan has read (a million entries and
    // more) one by one would only keep the user waiting for the end.
    static PosixPlatform& system = *new PosixPlatform;
    return system.Interfaces();
}

} // namespace kivra::platform
