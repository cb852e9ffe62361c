// Windows paths as text: starts, names, "." and "..", the current directory
// of each drive, and search patterns.

#include "platform/WindowsPath.h"

#include "tests/support/Bytes.h"

#include <gtest/gtest.h>

namespace kivra::platform {
namespace {

using test::Bytes;

// The full path a text names, or "<error N>".
std::string Full(std::string_view text, const CurrentDirectories& current = CurrentDirectories('C'))
{
    WindowsPath path;
    const DWORD error = ParseWindowsPath(text, current, path);
    return error == ERROR_SUCCESS ? path.ToText() : "<error " + std::to_string(error) + ">";
}

WindowsPath PathOf(std::string_view text)
{
    WindowsPath path;
    EXPECT_EQ(ParseWindowsPath(text, CurrentDirectories('C'), path), ERROR_SUCCESS) << text;
    return path;
}

TEST(WindowsPath, FullPathsKeepTheirDriveAsWrittenAndApplyDotsToTheirNames)
{
    EXPECT_EQ(Full("C:\\DATA\\sub"), "C:\\DATA\\sub");
    EXPECT_EQ(Full("c:/data//./x/../sub/"), "c:\\data\\sub");
    EXPECT_EQ(Full("C:\\..\\..\\a"), "C:\\a") << "\"..\" stops at the root";
    EXPECT_EQ(Full("D:\\"), "D:\\");
    EXPECT_EQ(PathOf("d:\\x").letter, 'D');
    EXPECT_EQ(Full("\\\\host\\share\\dir\\..\\f"), "\\\\host\\share\\f");
    EXPECT_EQ(Full("//host/share"), "\\\\host\\share\\");
    const WindowsPath network = PathOf("\\\\Host\\Share\\a");
    EXPECT_TRUE(network.IsNetwork());
    EXPECT_EQ(network.host, "Host");
    EXPECT_EQ(network.share, "Share");
}

TEST(WindowsPath, SecondBytesEqualToABackslashNeverSeparate)
{
    // 表 (95 5C) and ソ (83 5C).
    const WindowsPath path = PathOf("C:\\" + Bytes("95 5C") + "\\" + Bytes("83 5C") + ".txt");
    EXPECT_EQ(path.names, (std::vector<Text>{Bytes("95 5C"), Bytes("83 5C 2E 74 78 74")}));
    EXPECT_EQ(PathOf("C:\\" + Bytes("95 5C")).names.size(), 1u);
    EXPECT_EQ(PathOf("\\\\" + Bytes("95 5C") + "\\s").host, Bytes("95 5C"));
}

TEST(WindowsPath, BadPathsGetWindowsErrorCodes)
{
    EXPECT_EQ(Full(""), "<error 3>");
    EXPECT_EQ(Full("\\\\"), "<error 123>");
    EXPECT_EQ(Full("\\\\\\\\"), "<error 123>");
    EXPECT_EQ(Full("\\\\host"), "<error 53>");
    EXPECT_EQ(Full("\\\\host\\"), "<error 53>");
    EXPECT_EQ(Full(std::string(32767, 'a')), "<error 206>");
    EXPECT_EQ(Full("C:\\" + std::string(32000, 'a')), "C:\\" + std::string(32000, 'a'));
}

TEST(WindowsPath, RelativePathsStartAtTheCurrentDirectoryOfTheirDrive)
{
    CurrentDirectories current('C');
    EXPECT_EQ(Full("x", current), "C:\\x");
    current.Enter(PathOf("d:\\work\\sub"));
    current.Enter(PathOf("C:\\Users"));
    EXPECT_EQ(Full("x\\..\\y", current), "C:\\Users\\y");
    EXPECT_EQ(Full("..\\..\\..", current), "C:\\");
    EXPECT_EQ(Full("\\top", current), "C:\\top");
    EXPECT_EQ(Full("D:file", current), "d:\\work\\sub\\file") << "the drive's own directory, as it was written";
    EXPECT_EQ(Full("D:", current), "d:\\work\\sub");
    EXPECT_EQ(Full("e:x", current), "E:\\x") << "a drive never made current: its root";
    current.Enter(PathOf("\\\\host\\share\\dir"));
    EXPECT_EQ(Full("f", current), "\\\\host\\share\\dir\\f");
    EXPECT_EQ(Full("\\f", current), "\\\\host\\share\\f");
}

TEST(WindowsPath, AnUnknownCurrentDirectoryFailsThePathsThatNeedIt)
{
    CurrentDirectories current('C');
    current.Enter(PathOf("D:\\kept"));
    current.Forget();
    EXPECT_EQ(Full("x", current), "<error 3>");
    EXPECT_EQ(Full("\\x", current), "<error 3>");
    EXPECT_EQ(Full("C:x", current), "<error 3>");
    EXPECT_EQ(Full("D:x", current), "D:\\kept\\x");
    EXPECT_EQ(Full("C:\\x", current), "C:\\x");
}

TEST(WindowsPath, PiecesKeepTheTextAsWrittenAndTellWhereEachNameLands)
{
    const std::string text = "..\\a/./b\\..\\c\\";
    const PathText split = SplitPathText(text, 2);
    EXPECT_EQ(split.kind, PathStartKind::Relative);
    std::string rebuilt;
    std::vector<std::size_t> levels;
    for (const PathPiece& piece : split.pieces) {
        rebuilt += text.substr(piece.offset, piece.length);
        if (!piece.separator) levels.push_back(piece.level);
    }
    EXPECT_EQ(rebuilt, text);
    // "..", "a", ".", "b", "..", "c", and an empty last name is no piece.
    EXPECT_EQ(levels, (std::vector<std::size_t>{NoPosition, 1, NoPosition, NoPosition, NoPosition, 2}));

    const PathText network = SplitPathText("\\\\h\\s\\x");
    EXPECT_EQ(network.startLength, 5u);
    ASSERT_EQ(network.pieces.size(), 2u);
    EXPECT_EQ(network.pieces[1].level, 0u);
    EXPECT_EQ(SplitPathText("C:x").kind, PathStartKind::DriveRelative);
    EXPECT_EQ(SplitPathText("C:\\x").kind, PathStartKind::Drive);
    EXPECT_EQ(SplitPathText("\\x").kind, PathStartKind::RootRelative);
}

TEST(WindowsPath, PatternsMatchCharactersNotBytes)
{
    EXPECT_TRUE(MatchesPattern("*", "ANY"));
    EXPECT_TRUE(MatchesPattern("*.*", "README")) << "names without a period too";
    EXPECT_TRUE(MatchesPattern("*.TXT", "NOTES.TXT"));
    EXPECT_FALSE(MatchesPattern("*.TXT", "NOTES.TXT.BAK"));
    EXPECT_TRUE(MatchesPattern("README.*", "README"));
    EXPECT_TRUE(MatchesPattern("README.*", "README.MD"));
    EXPECT_FALSE(MatchesPattern("README.*", "READMEX"));
    EXPECT_TRUE(MatchesPattern("?EADME", "README"));
    EXPECT_FALSE(MatchesPattern("?EADME", "EADME"));
    EXPECT_TRUE(MatchesPattern("A?B", "A" + Bytes("95 5C") + "B")) << "one double-byte character";
    EXPECT_FALSE(MatchesPattern("A??B", "A" + Bytes("95 5C") + "B"));
    EXPECT_TRUE(MatchesPattern("*" + Bytes("95 5C"), "X" + Bytes("95 5C")));
    EXPECT_FALSE(MatchesPattern("*\\", "X" + Bytes("95 5C"))) << "a second byte is no backslash";
}

} // namespace
} // namespace kivra::platform
