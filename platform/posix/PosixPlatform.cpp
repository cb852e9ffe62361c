#include "platform/posix/PosixPlatform.h"

#include "platform/posix/Drives.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/PosixVolumes.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace kivra::platform {

namespace {

bool MountPointUsable(const std::string& mountPoint)
{
    struct stat st {};
    return stat(mountPoint.c_str(), &st) != 0 || S_ISDIR(st.st_mode);
}

std::vector<posix::Drive> DrivesOf(const PosixSources& sources)
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
    return posix::AssignDrives(posix::ParseMountTable(table),
                               posix::DriveSources{sources.byLabelDirectory, sources.sysfsRoot}, &MountPointUsable);
}

std::string ExecutableOf(const PosixSources& sources)
{
    if (!sources.executablePath.empty()) return sources.executablePath;
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) return {};
        if (static_cast<std::size_t>(length) < buffer.size()) return std::string(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
}

posix::FileSystemLimits LimitsOf(const PosixSources& sources)
{
    posix::FileSystemLimits limits;
    limits.watches = sources.watchLimit;
    if (!sources.watchChanges) {
        limits.watches = 0;
    } else if (limits.watches == 0) {
        // Watches are shared by all programs of a user; the kernel sizes the
        // allowance by memory (192,543 on a machine with 24 GiB). A quarter
        // of it covers the directories of a large scan and leaves the rest to
        // the desktop's indexers and editors; all are given back when idle.
        std::size_t allowance = 8192;
        std::ifstream("/proc/sys/fs/inotify/max_user_watches") >> allowance;
        limits.watches = std::clamp<std::size_t>(allowance / 4, 1024, 65536);
    }
    // Directory descriptors: a few, whatever the depth of the paths, out of
    // what the process may open.
    rlimit limit{};
    const std::size_t open = getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY
                                 ? static_cast<std::size_t>(limit.rlim_cur)
                                 : 1024;
    limits.descriptors = std::clamp<std::size_t>(open / 8, 4, 32);
    limits.idle = std::chrono::milliseconds(sources.idleMilliseconds);
    limits.readAhead = sources.readAhead;
    return limits;
}

} // namespace

class PosixPlatform::Impl {
public:
    explicit Impl(const PosixSources& sources)
        : drives(DrivesOf(sources)),
          files(drives, current, ExecutableOf(sources), LimitsOf(sources)),
          volumes(drives, current)
    {
        char* cwd = get_current_dir_name();
        files.StartIn(cwd);
        free(cwd);
    }

    std::vector<posix::Drive> drives;
    CurrentDirectories current{'C'};
    posix::PosixFileSystem files;
    posix::PosixVolumes volumes;
    posix::PosixClock clock;
};

PosixPlatform::PosixPlatform(const PosixSources& sources) : impl_(std::make_unique<Impl>(sources)) {}
PosixPlatform::~PosixPlatform() = default;

Platform PosixPlatform::Interfaces() const { return Platform{&impl_->files, &impl_->volumes, &impl_->clock}; }

std::size_t PosixPlatform::DirectoriesReadAhead() const { return impl_->files.DirectoriesReadAhead(); }

} // namespace kivra::platform
