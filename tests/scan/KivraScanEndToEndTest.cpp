// kivra-scan as a user runs it: a child process over real directory trees,
// with the five files it leaves compared byte for byte.

#include "resources/Texts.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return "<missing>";
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void Write(const fs::path& path, const std::string& content) { std::ofstream(path, std::ios::binary) << content; }

// Lines, each with CR LF, as the files hold them.
std::string FileOf(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

class KivraScanEndToEndTest : public ::testing::Test {
protected:
    KivraScanEndToEndTest()
    {
        // A name that is its own short form, so the expected short paths do
        // not depend on what else lies in /tmp.
        char pattern[] = "/tmp/kvXXXXXX";
        if (!mkdtemp(pattern)) throw std::runtime_error("no temporary directory");
        base = pattern;
        root = base / "root";
        out = base / "out";
        fs::create_directories(root);
        fs::create_directories(out);
        rootText = "C:\\TMP\\" + Upper(base.filename().string()) + "\\ROOT\\";
    }

    ~KivraScanEndToEndTest() override
    {
        // rm copes with trees deeper than PATH_MAX.
        const std::string command = "rm -rf " + Quoted(base.string());
        if (std::system(command.c_str()) != 0) ADD_FAILURE() << "cannot remove " << base;
    }

    static std::string Upper(std::string text)
    {
        for (char& c : text)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        return text;
    }

    // Runs the program in the C.UTF-8 locale; returns its exit status.
    int Run(const std::vector<std::string>& arguments)
    {
        std::string command = "cd " + Quoted(base.string()) + " && LC_ALL=C.UTF-8 " + Quoted(KIVRA_SCAN_PATH);
        for (const std::string& argument : arguments) command += " " + Quoted(argument);
        command += " >stdout.txt 2>stderr.txt </dev/null";
        const int status = std::system(command.c_str());
        stdoutText = Read(base / "stdout.txt");
        stderrText = Read(base / "stderr.txt");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string Result(const char* name) { return Read(out / name); }

    const kivra::texts::ProgramTexts& t = kivra::texts::Texts();
    fs::path base, root, out;
    std::string rootText;
    std::string stdoutText, stderrText;
};

TEST_F(KivraScanEndToEndTest, LongLowerCaseAndJapaneseNamesAndALinkBackUp)
{
    Write(root / "README.TXT", "r");
    Write(root / "lower.txt", "l");
    Write(root / "LONGFILENAME.TXT", "f");
    Write(root / "Long Name Mixed.txt", "m");
    fs::create_directory(root / "SUB");
    fs::create_directory_symlink("..", root / "SUB" / "UP");
    fs::create_directory(root / "日本語フォルダ");
    Write(root / "日本語フォルダ" / "表.txt", "h");

    ASSERT_EQ(Run({"--output", out.string(), root.string()}), 1) << stderrText;

    const std::string folder = "\x93\xFA\x96\x7B\x8C\xEA\x83\x74\x83\x48\x83\x8B\x83\x5F"; // 日本語フォルダ
    const std::string folderShort = "\x93\xFA\x96\x7B\x8C\xEA~1";                          // 日本語~1
    const std::string hyou = "\x95\x5C.txt";                                               // 表.txt
    const std::string r = rootText;
    EXPECT_EQ(Result("KIVRALNG.TXT"),
              FileOf({t.LongNameHeader, r + "Long Name Mixed.txt", r + "LONGFILENAME.TXT", r + "lower.txt",
                      r + "README.TXT", r + "SUB\\", r + "SUB\\UP\\", r + folder + "\\", r + folder + "\\" + hyou}));
    EXPECT_EQ(Result("KIVRASHT.TXT"),
              FileOf({t.ShortNameHeader, r + "LONGNA~1.TXT", r + "LONGFI~1.TXT", r + "lower.txt", r + "README.TXT",
                      r + "SUB\\", r + "SUB\\UP\\", r + folderShort + "\\", r + folderShort + "\\" + hyou}));
    const std::vector<std::string> mixed{r + "Long Name Mixed.txt", r + "LONGNA~1.TXT", ""};
    const std::vector<std::string> longName{r + "LONGFILENAME.TXT", r + "LONGFI~1.TXT", ""};
    const std::vector<std::string> lower{r + "lower.txt", r + "lower.txt", ""};
    const std::vector<std::string> dir{r + folder + "\\", r + folderShort + "\\", ""};
    const std::vector<std::string> inDir{r + folder + "\\" + hyou, r + folderShort + "\\" + hyou, ""};
    auto list = [](const std::string& header, std::initializer_list<const std::vector<std::string>*> groups) {
        std::vector<std::string> lines{header, ""};
        for (const auto* group : groups) lines.insert(lines.end(), group->begin(), group->end());
        return FileOf(lines);
    };
    EXPECT_EQ(Result("KIVRADIF.TXT"),
              list(t.DifferentHeader, {&mixed, &mixed, &longName, &lower, &dir, &inDir, &inDir}));
    EXPECT_EQ(Result("KIVRALFN.TXT"), list(t.LongFileHeader, {&mixed, &longName, &dir, &inDir}));
    EXPECT_EQ(Result("KIVRAKOM.TXT"), list(t.KomojiFileHeader, {&mixed, &lower, &inDir}));

    EXPECT_NE(stdoutText.find("ﾛﾝｸﾞﾌｧｲﾙ または 小文字ﾌｧｲﾙ のﾌｧｲﾙ個数は 7 個です。\n"), std::string::npos) << stdoutText;
    EXPECT_NE(stdoutText.find("ロングファイル または 小文字ファイル が存在しています。"), std::string::npos);
    EXPECT_EQ(stderrText, "") << "no progress line when standard error is no terminal";
}

TEST_F(KivraScanEndToEndTest, ANormalTreeAndTheCurrentDirectoryAsDefault)
{
    Write(root / "README.TXT", "r");
    fs::create_directory(root / "SUB");
    Write(out / "KIVRADIF.TXT", std::string(100, 'x'));
    ASSERT_EQ(Run({"root"}), 0) << stderrText;
    EXPECT_EQ(Read(base / "KIVRADIF.TXT"), "\x90\xB3\x8F\xED\x82\xC5\x82\xB7\r\n\r\n");
    EXPECT_EQ(Read(base / "KIVRALNG.TXT"), FileOf({t.LongNameHeader, rootText + "README.TXT", rootText + "SUB\\"}));
    EXPECT_NE(stdoutText.find("正常です。"), std::string::npos);

    ASSERT_EQ(Run({"--output", out.string(), "C:" + rootText.substr(2)}), 0) << "a Windows path names the same tree";
    EXPECT_EQ(Result("KIVRADIF.TXT"), "\x90\xB3\x8F\xED\x82\xC5\x82\xB7\r\n\r\n") << "the old longer file replaced";
    EXPECT_EQ(Result("KIVRALNG.TXT"), Read(base / "KIVRALNG.TXT"));
}

TEST_F(KivraScanEndToEndTest, AMissingRootOrAnOutputThatCannotBeWrittenEndsWithStatusTwo)
{
    EXPECT_EQ(Run({"--output", out.string(), (base / "missing").string()}), 2);
    EXPECT_EQ(stderrText, "指定されたドライブまたはディレクトリが存在しません。\n");
    EXPECT_TRUE(fs::is_empty(out));

    Write(base / "notadir", "");
    EXPECT_EQ(Run({"--output", (base / "notadir").string(), root.string()}), 2);
    EXPECT_EQ(stderrText, "KIVRALNG.TXT のファイルが作成できませんでした。\n");
    EXPECT_EQ(stdoutText, "");

    EXPECT_EQ(Run({}), 2);
    EXPECT_EQ(Run({"--help"}), 0);
    EXPECT_EQ(stdoutText.rfind("使い方: kivra-scan [--output DIR] ROOT\n", 0), 0u) << stdoutText;
}

TEST_F(KivraScanEndToEndTest, ATreeDeeperThanPathMaxIsWalkedWhole)
{
    constexpr int Depth = 600;
    int dir = open(root.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(dir, 0);
    std::vector<std::string> lines{t.LongNameHeader};
    std::string path = rootText;
    for (int level = 0; level < Depth; ++level) {
        char name[16];
        std::snprintf(name, sizeof name, "D%07d", level);
        ASSERT_EQ(mkdirat(dir, name, 0755), 0);
        const int next = openat(dir, name, O_RDONLY | O_DIRECTORY);
        close(dir);
        ASSERT_GE(dir = next, 0);
        path += std::string(name) + "\\";
        lines.push_back(path);
    }
    const int file = openat(dir, "deep.txt", O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(file, 0);
    close(file);
    close(dir);
    lines.push_back(path + "deep.txt");
    ASSERT_GT(path.size(), 5000u) << "beyond PATH_MAX (4096)";

    ASSERT_EQ(Run({"--output", out.string(), root.string()}), 1) << stderrText;
    EXPECT_EQ(Result("KIVRALNG.TXT"), FileOf(lines));
    lines[0] = t.ShortNameHeader;
    EXPECT_EQ(Result("KIVRASHT.TXT"), FileOf(lines)) << "every name is its own short form";
    EXPECT_EQ(Result("KIVRAKOM.TXT"), FileOf({t.KomojiFileHeader, "", path + "deep.txt", path + "deep.txt", ""}));
    EXPECT_EQ(Result("KIVRALFN.TXT"), FileOf({t.NormalLine, ""}));
}

} // namespace
