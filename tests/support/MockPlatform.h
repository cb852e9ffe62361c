#pragma once
// gmock stand-ins for the three platform interfaces, and MockPlatform, which
// puts all three in place for its lifetime.

#include "platform/Platform.h"

#include <gmock/gmock.h>

namespace kivra::test {

class MockFileSystem : public platform::FileSystem {
public:
    MOCK_METHOD(platform::HANDLE, FindFirstFileA, (const char*, platform::WIN32_FIND_DATAA*), (override));
    MOCK_METHOD(platform::BOOL, FindNextFileA, (platform::HANDLE, platform::WIN32_FIND_DATAA*), (override));
    MOCK_METHOD(platform::BOOL, FindClose, (platform::HANDLE), (override));
    MOCK_METHOD(platform::DWORD, GetShortPathNameA, (const char*, char*, platform::DWORD), (override));
    MOCK_METHOD(platform::DWORD, GetFileAttributesA, (const char*), (override));
    MOCK_METHOD(platform::BOOL, SetFileAttributesA, (const char*, platform::DWORD), (override));
    MOCK_METHOD(platform::BOOL, SetCurrentDirectoryA, (const char*), (override));
    MOCK_METHOD(platform::DWORD, GetCurrentDirectoryA, (platform::DWORD, char*), (override));
    MOCK_METHOD(platform::HANDLE, CreateFileA,
                (const char*, platform::DWORD, platform::DWORD, platform::DWORD, platform::DWORD), (override));
    MOCK_METHOD(platform::BOOL, WriteFile, (platform::HANDLE, const void*, platform::DWORD, platform::DWORD*),
                (override));
    MOCK_METHOD(platform::BOOL, ReadFile, (platform::HANDLE, void*, platform::DWORD, platform::DWORD*), (override));
    MOCK_METHOD(platform::BOOL, CloseHandle, (platform::HANDLE), (override));
    MOCK_METHOD(platform::BOOL, MoveFileExA, (const char*, const char*, platform::DWORD), (override));
    MOCK_METHOD(platform::BOOL, DeleteFileA, (const char*), (override));
    MOCK_METHOD(platform::DWORD, GetModuleFileNameA, (char*, platform::DWORD), (override));
    MOCK_METHOD(platform::BOOL, GetFileIdentity, (const char*, platform::FileIdentity*), (override));
    MOCK_METHOD(platform::BOOL, WindowsPathFromSystemPath, (std::string_view, std::string&), (override));
    MOCK_METHOD(platform::BOOL, SystemPathFromWindowsPath, (std::string_view, std::string&), (override));
    MOCK_METHOD(platform::BOOL, FindRealName, (platform::HANDLE, std::string&), (override));
};

class MockVolumes : public platform::Volumes {
public:
    MOCK_METHOD(platform::DWORD, GetLogicalDrives, (), (override));
    MOCK_METHOD(platform::UINT, GetDriveTypeA, (const char*), (override));
    MOCK_METHOD(platform::BOOL, GetVolumeInformationA,
                (const char*, char*, platform::DWORD, platform::DWORD*, platform::DWORD*, platform::DWORD*, char*,
                 platform::DWORD),
                (override));
    MOCK_METHOD(platform::DWORD, WNetGetConnectionA, (const char*, char*, platform::DWORD*), (override));
    MOCK_METHOD(platform::UINT, SetErrorMode, (platform::UINT), (override));
};

class MockClock : public platform::Clock {
public:
    MOCK_METHOD(platform::DWORD, GetTickCount, (), (override));
};

// The three mocks, active from construction to destruction. Calls nobody
// expects are allowed and return zeros (NiceMock); a test states with
// EXPECT_CALL / ON_CALL what it cares about.
struct MockPlatform {
    ::testing::NiceMock<MockFileSystem> files;
    ::testing::NiceMock<MockVolumes> volumes;
    ::testing::NiceMock<MockClock> clock;
    platform::ScopedPlatform active{platform::Platform{&files, &volumes, &clock}};
};

} // namespace kivra::test
