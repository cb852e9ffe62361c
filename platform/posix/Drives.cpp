#include "platform/posix/Drives.h"

#include "platform/CodePage.h"
#include "platform/posix/NameText.h"

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <map>
#include <memory>

namespace kivra::platform::posix {

namespace {

std::string DecodeOctalEscapes(std::string_view field)
{
    std::string out;
    const auto isOctal = [](char c) { return c >= '0' && c <= '7'; };
    for (std::size_t at = 0; at < field.size(); ++at) {
        if (field[at] == '\\' && at + 3 < field.size() && isOctal(field[at + 1]) && isOctal(field[at + 2]) &&
            isOctal(field[at + 3])) {
            out.push_back(
                static_cast<char>(((field[at + 1] - '0') << 6) | ((field[at + 2] - '0') << 3) | (field[at + 3] - '0')));
            at += 3;
            continue;
        }
        out.push_back(field[at]);
    }
    return out;
}

std::string DecodeHexEscapes(std::string_view name)
{
    const auto hexValue = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string out;
    for (std::size_t at = 0; at < name.size(); ++at) {
        if (name[at] == '\\' && at + 3 < name.size() && name[at + 1] == 'x' && hexValue(name[at + 2]) >= 0 &&
            hexValue(name[at + 3]) >= 0) {
            out.push_back(static_cast<char>(hexValue(name[at + 2]) * 16 + hexValue(name[at + 3])));
            at += 3;
        } else {
            out.push_back(name[at]);
        }
    }
    return out;
}

bool IsUnder(std::string_view path, std::string_view directory)
{
    return path == directory || (path.size() > directory.size() && path.substr(0, directory.size()) == directory &&
                                 path[directory.size()] == '/');
}

bool ReadsOne(const std::string& path)
{
    std::ifstream file(path);
    std::string value;
    return file && std::getline(file, value) && value.substr(0, 1) == "1";
}

std::string BaseName(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

// The canonical path of an existing file, else the path as given.
std::string Canonical(const std::string& path)
{
    std::unique_ptr<char, decltype(&free)> resolved(realpath(path.c_str(), nullptr), &free);
    return resolved ? std::string(resolved.get()) : path;
}

constexpr std::string_view pseudoTypes[] = {
    "proc",      "sysfs",           "cgroup",      "cgroup2", "devpts",   "devtmpfs",   "mqueue",
    "debugfs",   "tracefs",         "securityfs",  "bpf",     "pstore",   "configfs",   "fusectl",
    "hugetlbfs", "autofs",          "binfmt_misc", "nsfs",    "efivarfs", "rpc_pipefs", "selinuxfs",
    "squashfs",  "fuse.gvfsd-fuse", "fuse.portal", "nfsd",    "rootfs"};

} // namespace

std::vector<Mount> ParseMountTable(std::string_view text)
{
    std::vector<Mount> mounts;
    std::size_t lineStart = 0;
    while (lineStart < text.size()) {
        std::size_t lineEnd = text.find('\n', lineStart);
        if (lineEnd == std::string_view::npos) lineEnd = text.size();
        const std::string_view line = text.substr(lineStart, lineEnd - lineStart);
        lineStart = lineEnd + 1;

        std::vector<std::string_view> fields;
        std::size_t at = 0;
        while (at < line.size() && fields.size() < 3) {
            while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
            const std::size_t start = at;
            while (at < line.size() && line[at] != ' ' && line[at] != '\t') ++at;
            if (at > start) fields.push_back(line.substr(start, at - start));
        }
        if (fields.size() < 3 || fields[1].empty() || fields[1][0] != '/') continue;
        mounts.push_back(Mount{DecodeOctalEscapes(fields[0]), DecodeOctalEscapes(fields[1]), std::string(fields[2])});
    }
    return mounts;
}

bool HoldsUserFiles(const Mount& mount)
{
    if (std::find(std::begin(pseudoTypes), std::end(pseudoTypes), mount.type) != std::end(pseudoTypes)) return false;
    if (IsUnder(mount.mountPoint, "/run/media")) return true;
    for (const std::string_view system : {"/proc", "/sys", "/dev", "/run"})
        if (IsUnder(mount.mountPoint, system)) return false;
    return true;
}

UINT DriveTypeOf(const Mount& mount, const DriveSources& sources)
{
    const std::string& type = mount.type;
    if (type == "iso9660" || type == "udf") return DRIVE_CDROM;
    for (const std::string_view remote :
         {"nfs", "nfs4", "cifs", "smb3", "smbfs", "9p", "sshfs", "fuse.sshfs", "davfs", "fuse.davfs"})
        if (type == remote) return DRIVE_REMOTE;
    if (type == "tmpfs" || type == "ramfs") return DRIVE_RAMDISK;
    if (IsUnder(mount.mountPoint, "/media") || IsUnder(mount.mountPoint, "/run/media")) return DRIVE_REMOVABLE;
    if (mount.source.rfind("/dev/", 0) == 0) {
        const std::string device = BaseName(Canonical(mount.source));
        const std::string block = sources.sysfsRoot + "/class/block/" + device;
        // A partition has no flag of its own; its disk is the directory above.
        if (ReadsOne(block + "/removable") ||
            (access((block + "/partition").c_str(), F_OK) == 0 && ReadsOne(block + "/../removable")))
            return DRIVE_REMOVABLE;
    }
    return DRIVE_FIXED;
}

std::string NetworkPathOf(const Mount& mount)
{
    const std::string& source = mount.source;
    std::string host;
    std::string path;
    if (source.rfind("//", 0) == 0) {
        const std::size_t slash = source.find('/', 2);
        host = source.substr(2, slash == std::string::npos ? std::string::npos : slash - 2);
        if (slash != std::string::npos) path = source.substr(slash + 1);
    } else if (const std::size_t colon = source.find(':');
               colon != std::string::npos && colon > 0 && source.find('/') > colon) {
        host = source.substr(0, colon);
        if (const std::size_t at = host.rfind('@'); at != std::string::npos) host = host.substr(at + 1);
        path = source.substr(colon + 1);
    } else {
        return {};
    }
    if (host.empty()) return {};
    std::string network = "\\\\" + host;
    std::size_t at = 0;
    while (at < path.size()) {
        std::size_t end = path.find('/', at);
        if (end == std::string::npos) end = path.size();
        if (end > at) network += "\\" + path.substr(at, end - at);
        at = end + 1;
    }
    return network;
}

std::string VolumeLabelOf(const Mount& mount, const DriveSources& sources)
{
    if (mount.source.empty() || mount.source[0] != '/') return {};
    DIR* directory = opendir(sources.byLabelDirectory.c_str());
    if (!directory) return {};
    const std::string device = Canonical(mount.source);
    std::string label;
    while (const dirent* entry = readdir(directory)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        const std::string link = sources.byLabelDirectory + "/" + name;
        std::string target = Canonical(link);
        if (target == link) {
            // The link leads nowhere on this system: compare device names.
            std::array<char, 4096> buffer{};
            const ssize_t length = readlink(link.c_str(), buffer.data(), buffer.size() - 1);
            if (length <= 0 ||
                BaseName(std::string_view(buffer.data(), static_cast<std::size_t>(length))) != BaseName(mount.source))
                continue;
        } else if (target != device) {
            continue;
        }
        label = DecodeHexEscapes(name);
        break;
    }
    closedir(directory);
    return label;
}

std::vector<Drive> AssignDrives(const std::vector<Mount>& mounts, const DriveSources& sources,
                                bool (*usable)(const std::string& mountPoint))
{
    std::vector<Drive> drives;
    Drive system;
    system.letter = 'C';
    system.mount = Mount{"", "/", ""};
    for (const Mount& mount : mounts)
        if (mount.mountPoint == "/") system.mount = mount;
    system.type = DRIVE_FIXED;
    system.label = Cp932FromUtf8(VolumeLabelOf(system.mount, sources));
    drives.push_back(system);

    // The last mount on a mount point is the one that shows there.
    std::map<std::string, Mount> byPoint;
    for (const Mount& mount : mounts) {
        if (mount.mountPoint == "/") continue;
        byPoint[mount.mountPoint] = mount;
    }
    char letter = 'D';
    for (const auto& [point, mount] : byPoint) {
        if (letter > 'Z') break;
        if (!HoldsUserFiles(mount) || (usable && !usable(point))) continue;
        Drive drive;
        drive.letter = letter++;
        drive.mount = mount;
        drive.type = DriveTypeOf(mount, sources);
        drive.label = Cp932FromUtf8(VolumeLabelOf(mount, sources));
        if (drive.type == DRIVE_REMOTE) drive.networkPath = Cp932FromUtf8(NetworkPathOf(mount));
        drives.push_back(drive);
    }
    return drives;
}

const Drive* DriveOfPath(const std::vector<Drive>& drives, const WindowsPath& path, std::size_t& consumed, DWORD* error)
{
    consumed = 0;
    if (!path.IsNetwork()) {
        for (const Drive& drive : drives)
            if (drive.letter == path.letter) return &drive;
        *error = ERROR_PATH_NOT_FOUND;
        return nullptr;
    }
    const auto folded = [](std::string_view text) { return UpperUnits(Utf16FromCp932(text)); };
    std::vector<std::u16string> given{folded(path.host), folded(path.share)};
    for (const Text& name : path.names) given.push_back(folded(name));
    const Drive* best = nullptr;
    std::size_t bestParts = 0;
    for (const Drive& candidate : drives) {
        if (candidate.type != DRIVE_REMOTE || candidate.networkPath.size() < 3) continue;
        std::vector<std::u16string> parts;
        const std::string& network = candidate.networkPath;
        for (std::size_t at = 2; at <= network.size();) {
            std::size_t end = FindSeparator(network, at);
            if (end == NoPosition) end = network.size();
            parts.push_back(folded(network.substr(at, end - at)));
            at = end + 1;
        }
        if (parts.size() < 2 || parts.size() > given.size() || parts.size() <= bestParts) continue;
        if (std::equal(parts.begin(), parts.end(), given.begin())) {
            bestParts = parts.size();
            best = &candidate;
        }
    }
    if (best == nullptr) *error = ERROR_BAD_NETPATH;
    consumed = bestParts > 2 ? bestParts - 2 : 0;
    return best;
}

} // namespace kivra::platform::posix
