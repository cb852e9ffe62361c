// The Linux drive table, built from mount tables that the tests give.

#include "platform/posix/PosixPlatform.h"

#include "platform/WinApi.h"
#include "tests/support/Bytes.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <unistd.h>

namespace kivra::platform {
namespace {

using test::Bytes;
using test::TempDir;

// A platform over a mount table of the test's own, with empty label and
// sysfs folders unless the test fills them.
struct Drives {
    explicit Drives(const std::string& table, const std::string& labels = "/nonexistent",
                    const std::string& sysfs = "/nonexistent")
        : posix(Sources(table, labels, sysfs)),
          scoped(posix.Interfaces())
    {}
    static PosixSources Sources(const std::string& table, const std::string& labels, const std::string& sysfs)
    {
        PosixSources sources;
        sources.mountTable = table;
        sources.byLabelDirectory = labels;
        sources.sysfsRoot = sysfs;
        return sources;
    }
    PosixPlatform posix;
    ScopedPlatform scoped;
};

std::string Label(const char* root)
{
    char label[261] = {};
    DWORD flags = 0;
    if (!GetVolumeInformationA(root, label, sizeof label, nullptr, nullptr, &flags, nullptr, 0)) return "<failed>";
    return label;
}

TEST(PosixDrives, CIsTheRootAndTheOtherUserMountsFollowInOrderOfMountPoint)
{
    Drives drives("/dev/sda2 / ext4 rw 0 0\n"
                  "proc /proc proc rw 0 0\n"
                  "sysfs /sys sysfs rw 0 0\n"
                  "/dev/sda3 /srv ext4 rw 0 0\n"
                  "/dev/sda4 /home ext4 rw 0 0\n"
                  "tmpfs /run tmpfs rw 0 0\n"
                  "tmpfs /dev/shm tmpfs rw 0 0\n"
                  "cgroup2 /sys/fs/cgroup cgroup2 rw 0 0\n"
                  "/dev/sdb1 /run/media/user/STICK vfat rw 0 0\n");
    // C: /, D: /home, E: /run/media/user/STICK, F: /srv.
    EXPECT_EQ(GetLogicalDrives(), (1u << 2) | (1u << 3) | (1u << 4) | (1u << 5));
    EXPECT_EQ(GetDriveTypeA("C:\\"), DRIVE_FIXED);
    EXPECT_EQ(GetDriveTypeA("D:\\"), DRIVE_FIXED);
    EXPECT_EQ(GetDriveTypeA("E:\\"), DRIVE_REMOVABLE);
    EXPECT_EQ(GetDriveTypeA("f:\\"), DRIVE_FIXED);
    EXPECT_EQ(GetDriveTypeA("G:\\"), DRIVE_NO_ROOT_DIR);
}

TEST(PosixDrives, MountPointsAreReadWithTheirEscapesAndCountOnceWithTheirLastMount)
{
    TempDir temp;
    const std::string file = temp.MakeFile("hosts");
    const std::string spaced = temp.MakeDirectory("my disk");
    temp.MakeFile("my disk/inside.txt");
    Drives drives("/dev/sda1 / ext4 rw 0 0\n"
                  "/dev/sr0 /mnt/cd iso9660 ro 0 0\n"
                  "tmpfs /mnt/cd tmpfs rw 0 0\n"
                  "/dev/sda1 " +
                  file +
                  " ext4 rw 0 0\n"
                  "/dev/sdb1 " +
                  temp.Path() + "/my\\040disk ext4 rw 0 0\n");
    // D: /mnt/cd (its last mount, tmpfs); the bind-mounted file gets none;
    // E: the directory with the blank.
    EXPECT_EQ(GetLogicalDrives(), (1u << 2) | (1u << 3) | (1u << 4));
    EXPECT_EQ(GetDriveTypeA("D:\\"), DRIVE_RAMDISK);
    EXPECT_EQ(GetFileAttributesA("E:\\inside.txt"), FILE_ATTRIBUTE_ARCHIVE);
}

TEST(PosixDrives, OnlyTwentyThreeMountsGetLetters)
{
    std::string table = "/dev/sda1 / ext4 rw 0 0\n";
    for (int i = 0; i < 30; ++i)
        table += "/dev/sd" + std::to_string(i) + " /mnt/m" + std::to_string(10 + i) + " ext4 rw 0 0\n";
    Drives drives(table);
    EXPECT_EQ(GetLogicalDrives(), 0x03FFFFFCu); // C: to Z:
    EXPECT_EQ(GetDriveTypeA("Z:\\"), DRIVE_FIXED);
    EXPECT_EQ(GetDriveTypeA("A:\\"), DRIVE_NO_ROOT_DIR);
}

TEST(PosixDrives, TypesFollowTheFileSystemAndTheRemovableFlag)
{
    TempDir temp;
    temp.MakeFile("sys/class/block/sdc/removable", "1\n");
    temp.MakeFile("sys/class/block/sdd/removable", "0\n");
    Drives drives("/dev/sda1 / ext4 rw 0 0\n"
                  "/dev/sr0 /mnt/a iso9660 ro 0 0\n"
                  "/dev/sr1 /mnt/b udf ro 0 0\n"
                  "server:/export /mnt/c nfs4 rw 0 0\n"
                  "//host/share /mnt/d cifs rw 0 0\n"
                  "tmpfs /mnt/e tmpfs rw 0 0\n"
                  "/dev/sdc /mnt/f vfat rw 0 0\n"
                  "/dev/sdd /mnt/g ext4 rw 0 0\n"
                  "/dev/sde1 /media/h ext4 rw 0 0\n",
                  "/nonexistent", temp.Path() + "/sys");
    // /media/h sorts first.
    EXPECT_EQ(GetDriveTypeA("D:\\"), DRIVE_REMOVABLE);
    EXPECT_EQ(GetDriveTypeA("E:\\"), DRIVE_CDROM);
    EXPECT_EQ(GetDriveTypeA("F:\\"), DRIVE_CDROM);
    EXPECT_EQ(GetDriveTypeA("G:\\"), DRIVE_REMOTE);
    EXPECT_EQ(GetDriveTypeA("H:\\"), DRIVE_REMOTE);
    EXPECT_EQ(GetDriveTypeA("I:\\"), DRIVE_RAMDISK);
    EXPECT_EQ(GetDriveTypeA("J:\\"), DRIVE_REMOVABLE);
    EXPECT_EQ(GetDriveTypeA("K:\\"), DRIVE_FIXED);
}

TEST(PosixDrives, LabelsComeFromTheByLabelLinkOfTheSourceDevice)
{
    TempDir temp;
    const std::string device = temp.MakeFile("dev/sdx1");
    const std::string other = temp.MakeFile("dev/sdy1");
    const std::string labels = temp.MakeDirectory("by-label");
    ASSERT_EQ(symlink(device.c_str(), (labels + "/MY\\x20DISK").c_str()), 0);
    // ボリューム in UTF-8.
    ASSERT_EQ(
        symlink(other.c_str(), (labels + "/\xE3\x83\x9C\xE3\x83\xAA\xE3\x83\xA5\xE3\x83\xBC\xE3\x83\xA0").c_str()), 0);
    const std::string point = temp.MakeDirectory("mnt/x");
    const std::string point2 = temp.MakeDirectory("mnt/y");
    const std::string point3 = temp.MakeDirectory("mnt/z");
    Drives drives("/dev/sda1 / ext4 rw 0 0\n" + device + " " + point + " ext4 rw 0 0\n" + other + " " + point2 +
                      " ext4 rw 0 0\n/dev/none " + point3 + " ext4 rw 0 0\n",
                  labels);
    EXPECT_EQ(Label("D:\\"), "MY DISK");
    EXPECT_EQ(Label("E:\\"), Bytes("83 7B 83 8A 83 85 81 5B 83 80"));
    EXPECT_EQ(Label("F:\\"), "");
}

TEST(PosixDrives, VolumesPreserveCaseAndStoreUnicodeButAreNeverCaseSensitive)
{
    Drives drives("/dev/sda1 / ext4 rw 0 0\n");
    DWORD flags = 0;
    DWORD serial = 0;
    DWORD longest = 0;
    char type[32] = {};
    ASSERT_TRUE(GetVolumeInformationA("C:\\", nullptr, 0, &serial, &longest, &flags, type, sizeof type));
    EXPECT_EQ(flags, FS_CASE_IS_PRESERVED | FS_UNICODE_STORED_ON_DISK);
    EXPECT_EQ(longest, 255u);
    EXPECT_STREQ(type, "ext4");
}

TEST(PosixDrives, VolumeQueriesOfMissingOrMalformedRootsFail)
{
    Drives drives("/dev/sda1 / ext4 rw 0 0\n/dev/sdq /nonexistent/mount ext4 rw 0 0\n");
    char label[261] = {};
    EXPECT_FALSE(GetVolumeInformationA("Q:\\", label, sizeof label, nullptr, nullptr, nullptr, nullptr, 0));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_FALSE(GetVolumeInformationA("D:\\", label, sizeof label, nullptr, nullptr, nullptr, nullptr, 0));
    EXPECT_EQ(GetLastError(), ERROR_NOT_READY);
    EXPECT_FALSE(GetVolumeInformationA("C:", label, sizeof label, nullptr, nullptr, nullptr, nullptr, 0));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
}

TEST(PosixDrives, RemoteDrivesGiveTheirNetworkPath)
{
    Drives drives("/dev/sda1 / ext4 rw 0 0\n"
                  "//fileserver/share/dir /mnt/a cifs rw 0 0\n"
                  "nas:/export/home /mnt/b nfs rw 0 0\n"
                  "/dev/sdb1 /mnt/c ext4 rw 0 0\n");
    char remote[261] = {};
    DWORD length = sizeof remote;
    EXPECT_EQ(WNetGetConnectionA("D:", remote, &length), ERROR_SUCCESS);
    EXPECT_STREQ(remote, "\\\\fileserver\\share\\dir");
    length = sizeof remote;
    EXPECT_EQ(WNetGetConnectionA("e:", remote, &length), ERROR_SUCCESS);
    EXPECT_STREQ(remote, "\\\\nas\\export\\home");
    length = sizeof remote;
    EXPECT_EQ(WNetGetConnectionA("F:", remote, &length), ERROR_NOT_CONNECTED);
    EXPECT_EQ(WNetGetConnectionA("G:", remote, &length), ERROR_NOT_CONNECTED);
    length = 5;
    EXPECT_EQ(WNetGetConnectionA("D:", remote, &length), ERROR_MORE_DATA);
    EXPECT_EQ(length, 23u);
}

TEST(PosixDrives, NetworkPathsReachTheirRemoteMountWithoutRegardToCase)
{
    TempDir temp;
    const std::string point = temp.MakeDirectory("nfs");
    temp.MakeFile("nfs/data.txt", "x");
    Drives drives("/dev/sda1 / ext4 rw 0 0\nserver:/export " + point + " nfs4 rw 0 0\n");
    EXPECT_EQ(GetFileAttributesA("\\\\SERVER\\Export\\data.txt"), FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_EQ(GetDriveTypeA("\\\\server\\export\\"), DRIVE_REMOTE);
    EXPECT_EQ(GetFileAttributesA("\\\\server\\other\\data.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), ERROR_BAD_NETPATH);
    EXPECT_EQ(GetDriveTypeA("\\\\server\\other\\"), DRIVE_NO_ROOT_DIR);

    ASSERT_TRUE(SetCurrentDirectoryA("\\\\server\\export"));
    char current[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof current, current);
    EXPECT_STREQ(current, "\\\\server\\export\\");
    EXPECT_EQ(GetFileAttributesA("data.txt"), FILE_ATTRIBUTE_ARCHIVE);
}

TEST(PosixDrives, ErrorModeIsStoredAndTheOldOneReturned)
{
    Drives drives("/dev/sda1 / ext4 rw 0 0\n");
    SetErrorMode(0);
    EXPECT_EQ(SetErrorMode(SEM_FAILCRITICALERRORS), 0u);
    EXPECT_EQ(SetErrorMode(0), SEM_FAILCRITICALERRORS);
}

TEST(PosixDrives, TickCountFollowsTheMonotonicClock)
{
    Drives drives("/dev/sda1 / ext4 rw 0 0\n");
    const DWORD before = GetTickCount();
    usleep(30000);
    const DWORD elapsed = GetTickCount() - before;
    EXPECT_GE(elapsed, 30u);
    EXPECT_LT(elapsed, 10000u);
}

} // namespace
} // namespace kivra::platform
