// The executable's directory, from the path GetModuleFileNameA reports.
#include "platform/WinApi.h"
#include "tests/support/Bytes.h"
#include "tests/support/MockPlatform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace kivra::platform {
namespace {

using test::Bytes;
using ::testing::_;
using ::testing::Invoke;
using ::testing::Return;

// GetModuleFileNameA as Windows does it: a path that does not fit is cut to
// the buffer less one byte, zero-terminated, and the size is returned.
auto ReportsModulePath(std::string path)
{
    return Invoke([path](char* buffer, DWORD capacity) -> DWORD {
        const std::size_t length = std::min<std::size_t>(path.size(), capacity - 1);
        std::memcpy(buffer, path.data(), length);
        buffer[length] = '\0';
        return path.size() < capacity ? static_cast<DWORD>(length) : capacity;
    });
}

class ExecutableDirectoryTest : public ::testing::Test {
protected:
    std::string DirectoryOf(const std::string& path)
    {
        EXPECT_CALL(mock.files, GetModuleFileNameA(_, 261)).WillOnce(ReportsModulePath(path));
        return ExecutableDirectory();
    }

    test::MockPlatform mock;
};

TEST_F(ExecutableDirectoryTest, CutsAfterTheLastBackslash)
{
    EXPECT_EQ(DirectoryOf("C:\\TOOLS\\KIVRA\\KIVRA.EXE"), "C:\\TOOLS\\KIVRA\\");
    EXPECT_EQ(DirectoryOf("C:\\KIVRA.EXE"), "C:\\");
    EXPECT_EQ(DirectoryOf("\\\\host\\share\\KIVRA.EXE"), "\\\\host\\share\\");
}

TEST_F(ExecutableDirectoryTest, CutsAfterAColonWhenItComesLast) { EXPECT_EQ(DirectoryOf("C:KIVRA.EXE"), "C:"); }

TEST_F(ExecutableDirectoryTest, ASecondByteEqualToBackslashIsNoCut)
{
    EXPECT_EQ(DirectoryOf(Bytes("43 3A 5C 44 5C 95 5C")), "C:\\D\\");                                    // C:\D\表
    EXPECT_EQ(DirectoryOf(Bytes("43 3A 5C 83 5C 95 5C 5C 4B 2E 45")), Bytes("43 3A 5C 83 5C 95 5C 5C")); // C:\ソ表\K.E
}

TEST_F(ExecutableDirectoryTest, EmptyWithoutBackslashOrColon)
{
    EXPECT_EQ(DirectoryOf("KIVRA.EXE"), "");
    EXPECT_EQ(DirectoryOf(Bytes("95 5C 83 5C")), "");
}

TEST_F(ExecutableDirectoryTest, EmptyWhenThePathCannotBeHad)
{
    EXPECT_CALL(mock.files, GetModuleFileNameA(_, 261)).WillOnce(Return(0));
    EXPECT_EQ(ExecutableDirectory(), "");
}

TEST_F(ExecutableDirectoryTest, APathLongerThanTheBufferIsReadUpToItsEnd)
{
    // 300 bytes: the buffer holds the first 260, the cut is the last
    // backslash among them.
    const std::string path = "C:\\" + std::string(200, 'D') + "\\" + std::string(96, 'N');
    EXPECT_EQ(DirectoryOf(path), path.substr(0, 204));
    const std::string deep = "C:\\" + std::string(257, 'D') + "\\" + std::string(40, 'N');
    EXPECT_EQ(DirectoryOf(deep), "C:\\");
}

} // namespace
} // namespace kivra::platform
