// kivra-scan's command: its arguments, the paths it accepts and names, what
// it prints in either language and its exit status, run in-process on a file
// system held in memory (whose Linux paths are drive C:'s names in UTF-8).

#include "cli/ScanCommand.h"

#include "platform/WinApi.h"
#include "platform/memory/MemoryPlatform.h"
#include "resources/Texts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace kivra::scan {
namespace {

using namespace kivra::platform;
using Lines = std::vector<std::string>;
using namespace std::string_literals;

// Program text and bytes as they are, one after the other: what a terminal
// whose character set is code page 932 would show.
class RecordingConsole : public ScanConsole {
public:
    Language UserLanguage() override { return language; }
    Text ProgramText(std::string_view argument) override { return Cp932FromUtf8(argument); }
    void Line(const Message& line) override { out.push_back(line.Joined()); }
    void Bytes(std::string_view text) override { bytes += text; }
    void ErrorLine(const Message& line) override { err.push_back(line.Joined()); }
    bool WantsProgress() override { return terminal; }
    void Progress(const Message& line) override
    {
        progress.push_back(line.Joined());
        // The line is removed once the walk is over, before the classification.
        if (line.Empty() && afterWalk) afterWalk();
    }

    std::function<void()> afterWalk;
    Language language = Language::English;
    bool terminal = false;
    Lines out, err, progress;
    std::string bytes;
};

class ScanCommandTest : public ::testing::Test {
protected:
    ScanCommandTest()
    {
        fs.AddDrive('C', DRIVE_FIXED);
        fs.AddDrive('D', DRIVE_FIXED);
        fs.AddDirectory("C:\\HOME");
        fs.AddDirectory("C:\\HOME\\U");
        fs.AddDirectory("C:\\HOME\\U\\DATA");
        fs.AddDirectory("C:\\OUT");
        fs.AddDirectory("D:\\WORK");
    }

    int Run(const Lines& arguments)
    {
        console.out.clear();
        console.err.clear();
        console.bytes.clear();
        return RunScanCommand(arguments, console);
    }

    // A tree with one entry of each kind below C:\HOME\U\DATA.
    void MixedTree()
    {
        fs.AddFile("C:\\HOME\\U\\DATA\\README.TXT");
        fs.AddFile("C:\\HOME\\U\\DATA\\LongName.txt", 0x20, "LONGNA~1.TXT");
        fs.AddDirectory("C:\\HOME\\U\\DATA\\sub");
        fs.AddFile("C:\\HOME\\U\\DATA\\sub\\LONGFILENAME.TXT", 0x20, "LONGFI~1.TXT");
    }

    const texts::ProgramTexts& t = texts::Texts();
    MemoryPlatform fs;
    ScopedPlatform use{fs.AsPlatform()};
    RecordingConsole console;
};

TEST_F(ScanCommandTest, ANormalTreePrintsTheFiveCountsAndTheVerdictInTheUsersLanguage)
{
    fs.AddFile("C:\\HOME\\U\\DATA\\README.TXT");
    EXPECT_EQ(Run({"--output", "/OUT", "/home/u/data"}), ScanNormal);
    EXPECT_EQ(console.out, (Lines{"Paths found: 1", "Short forms: 1", "Long-name or lower-case entries: 0",
                                  "Long-name entries: 0", "Lower-case entries: 0", "All is normal."}));
    EXPECT_EQ(fs.FileContents("C:\\OUT\\KIVRALNG.TXT"), t.LongNameHeader + "\r\nC:\\HOME\\U\\DATA\\README.TXT\r\n")
        << "the root is walked upper-cased";
    EXPECT_TRUE(console.err.empty());
    EXPECT_TRUE(console.progress.empty()) << "no progress line off a terminal";

    console.language = Language::Japanese;
    EXPECT_EQ(Run({"--output=/OUT", "/home/u/data"}), ScanNormal);
    EXPECT_EQ(console.out,
              (Lines{t.CountLongNames + "1" + t.CountSuffix, t.CountShortNames + "1" + t.CountSuffix,
                     t.CountDifferent + "0" + t.CountSuffix, t.CountLongFiles + "0" + t.CountSuffix,
                     t.CountKomojiFiles + "0" + t.CountSuffix, "\x90\xB3\x8F\xED\x82\xC5\x82\xB7\x81\x42"}))
        << "the window's texts, the verdict 正常です。 without its blanks";
}

TEST_F(ScanCommandTest, EntriesOfEitherKindGiveStatusOneAndFilesInTheCurrentDirectory)
{
    fs.AddFile("C:\\HOME\\U\\DATA\\LongName.txt", 0x20, "LONGNA~1.TXT");
    std::string hyou20;
    for (int i = 0; i < 20; ++i) hyou20 += "\x95\x5C"; // 表, whose second byte is "\\"
    fs.AddDirectory("C:\\HOME\\U\\DATA\\" + hyou20);
    ASSERT_TRUE(SetCurrentDirectoryA("D:\\WORK"));
    console.terminal = true;
    fs.SetTicks(0, 100); // every reading of the clock is 100 ms later
    EXPECT_EQ(Run({"C:\\HOME\\U\\DATA"}), ScanFound);
    ASSERT_EQ(console.out.size(), 6u);
    EXPECT_EQ(console.out[2], "Long-name or lower-case entries: 2");
    EXPECT_EQ(console.out[5], "Long-name or lower-case entries exist.");
    EXPECT_EQ(fs.EntryNames("D:\\WORK").size(), 5u);
    // 表 is three bytes in UTF-8; the last 40 bytes of the path begin
    // within one, so the tail starts at the next.
    const std::string hyouUtf8 = "\xE8\xA1\xA8";
    std::string tail;
    for (int i = 0; i < 13; ++i) tail += hyouUtf8;
    EXPECT_EQ(console.progress, (Lines{"Getting the long file names... 0  '/HOME/U/DATA'",
                                       "Getting the long file names... 2  ...'" + tail + "'", ""}))
        << "the directory as a quoted Linux path, its end cut between characters; the line removed at the end";
}

TEST_F(ScanCommandTest, ARootThatCannotBeScannedIsNamedWithTheReason)
{
    fs.AddFile("C:\\HOME\\U\\FILE.TXT");
    EXPECT_EQ(Run({"--output", "/OUT", "/home/u/missing"}), ScanError);
    EXPECT_EQ(console.err, Lines{"kivra-scan: cannot scan '/home/u/missing': No such file or directory"});
    EXPECT_EQ(Run({"--output", "/OUT", "/home/u/file.txt"}), ScanError);
    EXPECT_EQ(console.err, Lines{"kivra-scan: cannot scan '/home/u/file.txt': Not a directory"});
    EXPECT_EQ(Run({"--output", "/OUT", ""}), ScanError) << "an empty ROOT is no directory, not the current one";
    EXPECT_EQ(console.err, Lines{"kivra-scan: cannot scan '': No such file or directory"});

    fs.FailSearch("C:\\HOME\\U\\DATA", ERROR_ACCESS_DENIED);
    const std::size_t searches = fs.SearchesStarted();
    EXPECT_EQ(Run({"--output", "/OUT", "/home/u/data"}), ScanError);
    EXPECT_EQ(console.err, Lines{"kivra-scan: cannot scan '/home/u/data': Permission denied"});
    EXPECT_EQ(fs.SearchesStarted(), searches + 1) << "one look whether it can be read, no walk";

    console.language = Language::Japanese;
    EXPECT_EQ(Run({"--output", "/OUT", "/home/u/data"}), ScanError);
    EXPECT_EQ(console.err, Lines{"kivra-scan: '/home/u/data': " + t.RootMissing.substr(4, t.RootMissing.size() - 15) +
                                 " (" + t.InOutAccessDenied + ")"});
    EXPECT_TRUE(fs.EntryNames("C:\\OUT").empty());
    EXPECT_TRUE(console.out.empty());
}

TEST_F(ScanCommandTest, TheOutputFolderIsCheckedBeforeTheWalk)
{
    MixedTree();
    fs.AddFile("C:\\HOME\\U\\NOTES.TXT");
    const std::size_t searches = fs.SearchesStarted();
    EXPECT_EQ(Run({"-o", "/missing", "/home/u/data"}), ScanError);
    EXPECT_EQ(console.err,
              Lines{"kivra-scan: cannot write the result files into '/missing': No such file or directory"});
    EXPECT_EQ(Run({"-o/home/u/notes.txt", "/home/u/data"}), ScanError);
    EXPECT_EQ(console.err,
              Lines{"kivra-scan: cannot write the result files into '/home/u/notes.txt': Not a directory"});
    fs.DenyWrites("C:\\OUT");
    EXPECT_EQ(Run({"--output=/OUT", "/home/u/data"}), ScanError);
    EXPECT_EQ(console.err, Lines{"kivra-scan: cannot write the result files into '/OUT': Permission denied"});
    EXPECT_EQ(fs.SearchesStarted(), searches + 3) << "ROOT looked at each time, never walked";
    EXPECT_TRUE(fs.EntryNames("C:\\OUT").empty());
    EXPECT_TRUE(console.out.empty());
}

TEST_F(ScanCommandTest, AFileThatCannotBeWrittenIsNamedWithTheReasonAndNoCountsFollow)
{
    MixedTree();
    fs.AddFile("C:\\OUT\\KIVRADIF.TXT");
    fs.HoldOpen("C:\\OUT\\KIVRADIF.TXT");
    EXPECT_EQ(Run({"--output", "C:\\OUT", "/home/u/data"}), ScanError);
    EXPECT_EQ(console.err,
              Lines{"kivra-scan: cannot write 'C:\\OUT\\KIVRADIF.TXT': File is in use by another program"});
    EXPECT_TRUE(console.out.empty());

    console.language = Language::Japanese;
    EXPECT_EQ(Run({"--output", "/OUT/", "/home/u/data"}), ScanError);
    EXPECT_EQ(console.err, Lines{"kivra-scan: '/OUT/KIVRADIF.TXT': " +
                                 t.SaveFailedDifferent.substr(3, t.SaveFailedDifferent.size() - 14) + " (" +
                                 t.ScanReasonInUse + ")"});
    EXPECT_EQ(fs.EntryNames("C:\\OUT"), (Lines{"KIVRADIF.TXT", "KIVRALNG.TXT", "KIVRASHT.TXT"}))
        << "the files before it written, nothing else left";
}

TEST_F(ScanCommandTest, EachDirectoryThatCannotBeReadIsNamedAndTheStatusSaysSoWhateverWasFound)
{
    MixedTree();
    fs.AddDirectory("C:\\HOME\\U\\DATA\\LOCKED");
    fs.AddFile("C:\\HOME\\U\\DATA\\LOCKED\\HIDDEN.TXT");
    fs.FailSearch("C:\\HOME\\U\\DATA\\LOCKED", ERROR_ACCESS_DENIED);
    fs.FailSearch("C:\\HOME\\U\\DATA\\sub", ERROR_NOT_READY);
    EXPECT_EQ(Run({"--output", "/OUT", "/home/u/data/"}), ScanIncomplete);
    EXPECT_EQ(console.err, (Lines{"kivra-scan: cannot read directory '/home/u/data/sub': Device not ready",
                                  "kivra-scan: cannot read directory '/home/u/data/LOCKED': Permission denied"}))
        << "as Linux paths below ROOT as given, in the order the walk met them";
    ASSERT_EQ(console.out.size(), 7u) << "the counts and the verdicts of what could be read";
    EXPECT_EQ(console.out[0], "Paths found: 4");
    EXPECT_EQ(console.out[5], "Long-name or lower-case entries exist.");
    EXPECT_EQ(console.out[6],
              "Not read whole: 2 of the directories could not be read; the first is '/home/u/data/sub'.");

    fs.FailSearch("C:\\HOME\\U\\DATA\\sub", ERROR_SUCCESS);
    EXPECT_EQ(Run({"--output", "/OUT", "C:\\HOME\\U\\DATA"}), ScanIncomplete) << "even when all is normal";
    EXPECT_EQ(console.err, (Lines{"kivra-scan: cannot read directory '/HOME/U/DATA/LOCKED': Permission denied"}))
        << "below a Windows ROOT, the whole Linux path";
    ASSERT_FALSE(console.out.empty());
    EXPECT_EQ(console.out.back(),
              "Not read whole: 1 of the directories could not be read; the first is '/HOME/U/DATA/LOCKED'.")
        << "never called normal";
    EXPECT_EQ(std::count(console.out.begin(), console.out.end(), "All is normal."), 0);

    console.language = Language::Japanese;
    EXPECT_EQ(Run({"--output", "/OUT", "C:\\HOME\\U\\DATA"}), ScanIncomplete);
    ASSERT_FALSE(console.out.empty());
    const std::string& notWhole = console.out.back();
    EXPECT_TRUE(notWhole.starts_with("1 \x8C\xC2")) << "the count, then 個";
    EXPECT_NE(notWhole.find(" '/HOME/U/DATA/LOCKED' "), std::string::npos) << "the first directory";
    EXPECT_EQ(notWhole.find('%'), std::string::npos);
}

TEST_F(ScanCommandTest, ADeletedWorkingDirectoryIsRefusedForARelativeRootAndForTheDefaultOutput)
{
    MixedTree();
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\HOME\\U"));
    fs.DeleteWorkingDirectory();
    EXPECT_EQ(Run({"-o", "/OUT", "data"}), ScanError);
    EXPECT_EQ(console.err, Lines{"kivra-scan: cannot scan 'data': the working directory no longer exists"});
    EXPECT_EQ(Run({"/home/u/data"}), ScanError);
    EXPECT_EQ(console.err, Lines{"kivra-scan: cannot write the result files into the working directory: the working "
                                 "directory no longer exists"});
    EXPECT_TRUE(console.out.empty());
    EXPECT_TRUE(fs.EntryNames("C:\\OUT").empty());
    EXPECT_EQ(fs.EntryNames("C:\\"), (Lines{"HOME", "OUT"})) << "nothing written into the root either";

    EXPECT_EQ(Run({"-o", "/OUT", "/home/u/data"}), ScanFound) << "full paths need no working directory";
}

TEST_F(ScanCommandTest, AListPrintsItsEntriesOnceEachAsLinuxPathsFromRootAsGiven)
{
    MixedTree();
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\HOME\\U"));
    EXPECT_EQ(Run({"--list", "different", "-o", "/OUT", "data"}), ScanFound);
    EXPECT_EQ(console.bytes, "data/LongName.txt\ndata/sub\ndata/sub/LONGFILENAME.TXT\n")
        << "LongName.txt is of both kinds and stands once";
    EXPECT_TRUE(console.out.empty()) << "no counts beside the list";
    EXPECT_EQ(fs.EntryNames("C:\\OUT").size(), 5u) << "the files are written all the same";

    EXPECT_EQ(Run({"--list=long", "-0", "-o", "/OUT", "./data/"}), ScanFound);
    EXPECT_EQ(console.bytes, "./data/LongName.txt\0./data/sub/LONGFILENAME.TXT\0"s);
    EXPECT_EQ(Run({"--null", "--list", "lower", "-o", "/OUT", "C:\\HOME\\U\\DATA"}), ScanFound);
    EXPECT_EQ(console.bytes, "/HOME/U/DATA/LongName.txt\0/HOME/U/DATA/sub\0/HOME/U/DATA/sub/LONGFILENAME.TXT\0"s)
        << "below a Windows ROOT, whole Linux paths";

    fs.AddDirectory("C:\\EMPTY");
    EXPECT_EQ(Run({"--list", "different", "-o", "/OUT", "/EMPTY"}), ScanNormal);
    EXPECT_EQ(console.bytes, "");

    // Many paths, in nested folders whose names share their beginnings.
    std::string expected;
    for (int i = 0; i < 150; ++i) {
        const std::string folder = "C:\\EMPTY\\Folder" + std::to_string(i / 10);
        if (i % 10 == 0) {
            fs.AddDirectory(folder, FILE_ATTRIBUTE_DIRECTORY, "FOLDER~" + std::to_string(i / 10));
            expected += "/EMPTY/Folder" + std::to_string(i / 10) + "\n";
        }
        fs.AddFile(folder + "\\Name" + std::to_string(i) + ".txt");
        expected += "/EMPTY/Folder" + std::to_string(i / 10) + "/Name" + std::to_string(i) + ".txt\n";
    }
    EXPECT_EQ(Run({"--list", "lower", "-o", "/OUT", "/EMPTY"}), ScanFound);
    EXPECT_EQ(console.bytes, expected);
}

TEST_F(ScanCommandTest, AnEntryGoneBeforeItsShortFormIsNamedByItsWalkedPathAndTheTreeIsNotCalledNormal)
{
    fs.AddFile("C:\\HOME\\U\\DATA\\README.TXT");
    fs.AddFile("C:\\HOME\\U\\DATA\\Gone.txt");
    console.terminal = true;
    fs.SetTicks(0, 100);
    console.afterWalk = [] { ASSERT_TRUE(DeleteFileA("C:\\HOME\\U\\DATA\\Gone.txt")); };
    EXPECT_EQ(Run({"--list", "lower", "-o", "/OUT", "/home/u/data"}), ScanIncomplete);
    EXPECT_EQ(console.bytes, "/home/u/data/Gone.txt\n") << "the Linux path the walk read, though gone since";
    EXPECT_EQ(console.err,
              Lines{"kivra-scan: cannot get the short form of '/home/u/data/Gone.txt': No such file or directory"});

    console.afterWalk = [] { ASSERT_TRUE(DeleteFileA("C:\\HOME\\U\\DATA\\README.TXT")); };
    EXPECT_EQ(Run({"-o", "/OUT", "/home/u/data"}), ScanIncomplete);
    ASSERT_EQ(console.out.size(), 6u);
    EXPECT_EQ(console.out[5], "Not read whole: the short form of 1 of the paths could not be had; the first is "
                              "'/home/u/data/README.TXT'.")
        << "in place of the normal verdict";
}

TEST_F(ScanCommandTest, ABadArgumentIsNamedAndTheUserIsPointedToTheHelp)
{
    const std::string tryHelp = "Try 'kivra-scan --help' for more information.";
    const std::vector<std::pair<Lines, std::string>> cases = {
        {{}, "kivra-scan: missing ROOT, the directory to scan"},
        {{"--output"}, "kivra-scan: option '--output' needs an argument"},
        {{"/", "-o"}, "kivra-scan: option '-o' needs an argument"},
        {{"-x", "/"}, "kivra-scan: unknown option '-x'"},
        {{"--verbose=2", "/"}, "kivra-scan: unknown option '--verbose=2'"},
        {{"/", "/home"}, "kivra-scan: extra operand '/home'"},
        {{"--list", "all", "/"}, "kivra-scan: invalid argument 'all' for '--list' (it is long, lower or different)"},
        {{"-0", "/"}, "kivra-scan: option '-0' goes with --list only"},
        {{"--output", "C:\\OUT"}, "kivra-scan: missing ROOT, the directory to scan"},
        {{"it's\n"}, "kivra-scan: extra operand 'it'\\''s'$'\\n'"},
    };
    for (const auto& [arguments, message] : cases) {
        Lines given = arguments;
        if (message.find("extra operand") != std::string::npos && given.size() == 1) given.insert(given.begin(), "/");
        EXPECT_EQ(Run(given), ScanError);
        EXPECT_EQ(console.err, (Lines{message, tryHelp})) << message;
    }
    EXPECT_TRUE(console.out.empty());

    console.language = Language::Japanese;
    EXPECT_EQ(Run({"-x", "/"}), ScanError);
    EXPECT_EQ(console.err, (Lines{"kivra-scan: " + Cp932FromUtf8("'-x' というオプションはありません"), t.ScanTryHelp}));
}

TEST_F(ScanCommandTest, HelpAndVersionComeBeforeAnythingAfterThem)
{
    EXPECT_EQ(Run({"--help", "--bogus"}), ScanNormal);
    ASSERT_EQ(console.out.size(), 1u);
    const std::string& help = console.out[0];
    EXPECT_EQ(help.rfind("Usage: kivra-scan [OPTION]... ROOT\n", 0), 0u);
    for (const char* form : {"-o, --output=DIR", "--list=KIND", "-0, --null", "-h, --help", "--version", "  --  ",
                             "\n  0  ", "\n  1  ", "\n  2  ", "\n  3  "})
        EXPECT_NE(help.find(form), std::string::npos) << form;
    EXPECT_TRUE(console.err.empty());

    EXPECT_EQ(Run({"-h"}), ScanNormal);
    EXPECT_EQ(console.out, Lines{help});
    console.language = Language::Japanese;
    EXPECT_EQ(Run({"-h"}), ScanNormal);
    EXPECT_EQ(console.out, Lines{t.ScanHelp});

    EXPECT_EQ(Run({"/", "--version"}), ScanNormal);
    ASSERT_EQ(console.out.size(), 1u);
    EXPECT_EQ(console.out[0].rfind("kivra-scan (Kivra) ", 0), 0u);
    EXPECT_TRUE(fs.EntryNames("C:\\OUT").empty()) << "nothing scanned";
}

TEST_F(ScanCommandTest, OptionsAfterRootAndARootThatLooksLikeAnOptionAfterTwoDashes)
{
    fs.AddDirectory("C:\\-DASH");
    fs.AddFile("C:\\-DASH\\A.TXT");
    EXPECT_EQ(Run({"/home/u/data", "--output", "/OUT"}), ScanNormal);
    EXPECT_EQ(Run({"-o", "/OUT", "--", "/-DASH"}), ScanNormal);
    EXPECT_EQ(fs.FileContents("C:\\OUT\\KIVRALNG.TXT"), t.LongNameHeader + "\r\nC:\\-DASH\\A.TXT\r\n");
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\"));
    EXPECT_EQ(Run({"-o", "/OUT", "--", "-DASH"}), ScanNormal) << "relative to the working directory";
    EXPECT_EQ(Run({"-o", "/OUT", "-DASH"}), ScanError) << "without \"--\", an option";
}

TEST(MessageQuotedTest, ANameReachesTheTerminalAsAShellWouldReadItBackWithNothingTheTerminalWouldObey)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"plain", "'plain'"},
        {"", "''"},
        {"it's", "'it'\\''s'"},
        {"a\nb", "'a'$'\\n''b'"},
        {"\x1b[2Jx", "$'\\033''[2Jx'"}, // an escape sequence
        {"\xC2\x9B"
         "31m",
         "$'\\302\\233''31m'"}, // the C1 control CSI in UTF-8
        {"\x9B"
         "31m",
         "$'\\233''31m'"},                                  // a stray byte that 8-bit terminals take for CSI
        {"\xE8\xA1\xA8\xC3\xBC", "'\xE8\xA1\xA8\xC3\xBC'"}, // 表ü stay as they are
        {"\xED\xA0\x80", "$'\\355'$'\\240'$'\\200'"},       // a surrogate is no character
    };
    for (const auto& [bytes, shown] : cases) EXPECT_EQ(Message::Quoted(bytes).Joined(), shown) << shown;
}

} // namespace
} // namespace kivra::scan
