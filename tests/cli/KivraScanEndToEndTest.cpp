// kivra-scan as a user runs it: a child process over real directory trees,
// with the five files it leaves compared byte for byte, its messages in the
// user's locale, its exit status, and what it leaves in the output folder
// when a hostile neighbour has planted links there or a write fails.

#include "resources/Texts.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <iconv.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

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

// The names in a folder, sorted.
std::set<std::string> Names(const fs::path& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

std::vector<std::string> Split(const std::string& text, char end)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t at = text.find(end); at != std::string::npos; at = text.find(end, start)) {
        parts.push_back(text.substr(start, at - start));
        start = at + 1;
    }
    EXPECT_EQ(start, text.size()) << "every entry ends with its end mark";
    return parts;
}

std::string EucJpFromUtf8(const std::string& text)
{
    iconv_t cd = iconv_open("EUC-JP", "UTF-8");
    std::string out(text.size() * 2, '\0');
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    const std::size_t result = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    EXPECT_NE(result, static_cast<std::size_t>(-1));
    out.resize(out.size() - outLeft);
    return out;
}

// Japanese locales made for these tests in a folder of their own (LOCPATH),
// so that they run wherever the locale sources are installed.
class JapaneseLocales {
public:
    static const std::string& Folder()
    {
        static JapaneseLocales locales;
        return locales.folder_;
    }

private:
    JapaneseLocales()
    {
        char pattern[] = "/tmp/kvlocXXXXXX";
        if (!mkdtemp(pattern)) throw std::runtime_error("no temporary directory");
        folder_ = pattern;
        chmod(folder_.c_str(), 0755);
        // The C library's setlocale keeps a few bytes of LOCPATH for good,
        // which a leak-checking build of the program would report. The
        // frame is named "__argz_add_sep" where the C library's debugging
        // symbols are installed and "argz_add_sep" where they are not; a
        // suppression matches part of a name, so this one takes both.
        Write(folder_ + "/leaks", "leak:argz_add_sep\n");
        for (const char* charset : {"UTF-8", "EUC-JP"}) {
            const std::string command =
                "localedef -i ja_JP -f "s + charset + " " + folder_ + "/ja_JP." + charset + " >/dev/null 2>&1";
            if (std::system(command.c_str()) != 0 && !fs::exists(folder_ + "/ja_JP." + charset))
                ADD_FAILURE() << "cannot make the locale ja_JP." << charset << " (localedef, package locales)";
        }
    }
    ~JapaneseLocales()
    {
        const std::string command = "rm -rf " + Quoted(folder_);
        if (std::system(command.c_str()) != 0) std::fprintf(stderr, "cannot remove %s\n", folder_.c_str());
    }

    std::string folder_;
};

struct RunOptions {
    std::string locale = "C.UTF-8";
    // The child gives up root for "nobody" before it runs the program.
    bool asNobody = false;
    // The child's working directory is removed before it runs the program.
    bool workingDirectoryDeleted = false;
    // The largest file the program may write (0: no limit).
    rlim_t fileSizeLimit = 0;
    // Standard output goes here instead of being read back ("/dev/full").
    std::string standardOutput;
    // The file mode creation mask of the child (umask).
    mode_t fileMask = 022;
};

RunOptions InLocale(std::string locale)
{
    RunOptions options;
    options.locale = std::move(locale);
    return options;
}

RunOptions AsNobody()
{
    RunOptions options;
    options.asNobody = true;
    return options;
}

class KivraScanEndToEndTest : public ::testing::Test {
protected:
    KivraScanEndToEndTest()
    {
        // A name that is its own short form, so the expected short paths do
        // not depend on what else lies in /tmp; open to "nobody".
        char pattern[] = "/tmp/kvXXXXXX";
        if (!mkdtemp(pattern)) throw std::runtime_error("no temporary directory");
        base = pattern;
        chmod(base.c_str(), 0755);
        root = base / "root";
        out = base / "out";
        fs::create_directories(root);
        fs::create_directories(out);
        rootText = "C:\\TMP\\" + Upper(base.filename().string()) + "\\ROOT\\";
    }

    ~KivraScanEndToEndTest() override
    {
        // rm copes with trees deeper than PATH_MAX; chmod first with what
        // a test took away.
        const std::string command =
            "chmod -R u+rwx " + Quoted(base.string()) + " 2>/dev/null; rm -rf " + Quoted(base.string());
        if (std::system(command.c_str()) != 0) ADD_FAILURE() << "cannot remove " << base;
    }

    static std::string Upper(std::string text)
    {
        for (char& c : text)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        return text;
    }

    // Runs the program in `base` with the arguments; returns its exit status
    // (-1 when it did not exit) and keeps what it wrote.
    int Run(const std::vector<std::string>& arguments, const RunOptions& options = {})
    {
        const fs::path outPath = base / "stdout.txt";
        const fs::path errPath = base / "stderr.txt";
        const int outFd = options.standardOutput.empty()
                              ? open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)
                              : open(options.standardOutput.c_str(), O_WRONLY | O_CLOEXEC);
        const int errFd = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        EXPECT_GE(outFd, 0);
        EXPECT_GE(errFd, 0);
        std::vector<std::string> environment{"PATH=/usr/bin:/bin", "LC_ALL=" + options.locale};
        for (const char* variable : {"ASAN_OPTIONS", "UBSAN_OPTIONS"})
            if (const char* value = std::getenv(variable)) environment.push_back(variable + "="s + value);
        if (options.locale.starts_with("ja_JP")) {
            environment.push_back("LOCPATH=" + JapaneseLocales::Folder());
            environment.push_back("LSAN_OPTIONS=print_suppressions=0:suppressions=" + JapaneseLocales::Folder() +
                                  "/leaks");
        }
        std::vector<char*> argv{const_cast<char*>(KIVRA_SCAN_PATH)};
        for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (std::string& variable : environment) envp.push_back(variable.data());
        envp.push_back(nullptr);
        const fs::path gone = base / "gone";
        if (options.workingDirectoryDeleted) fs::create_directory(gone);
        // Opened while the test may still reach it: a child that has become
        // "nobody" may not pass through the folders above the build (/root).
        const int program = open(KIVRA_SCAN_PATH, O_RDONLY | O_CLOEXEC);
        EXPECT_GE(program, 0);

        const pid_t child = fork();
        if (child == 0) {
            const int input = open("/dev/null", O_RDONLY);
            if (input < 0 || dup2(input, 0) < 0 || dup2(outFd, 1) < 0 || dup2(errFd, 2) < 0) _exit(126);
            if (chdir(base.c_str()) != 0) _exit(126);
            umask(options.fileMask);
            if (options.workingDirectoryDeleted && (chdir(gone.c_str()) != 0 || rmdir(gone.c_str()) != 0)) _exit(126);
            if (options.fileSizeLimit) {
                const rlimit limit{options.fileSizeLimit, options.fileSizeLimit};
                if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
            }
            if (options.asNobody && getuid() == 0 &&
                (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
                _exit(126);
            fexecve(program, argv.data(), envp.data());
            _exit(127);
        }
        close(program);
        close(outFd);
        close(errFd);
        int status = 0;
        waitpid(child, &status, 0);
        stdoutText = options.standardOutput.empty() ? Read(outPath) : "";
        stderrText = Read(errPath);
        fs::remove(outPath);
        fs::remove(errPath);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string Result(const char* name) { return Read(out / name); }

    const kivra::texts::ProgramTexts& t = kivra::texts::Texts();
    fs::path base, root, out;
    std::string rootText;
    std::string stdoutText, stderrText;
};

const std::string NormalFile = "\x90\xB3\x8F\xED\x82\xC5\x82\xB7\r\n\r\n"; // 正常です, CR LF, CR LF
const char* const ResultNames[] = {"KIVRALNG.TXT", "KIVRASHT.TXT", "KIVRADIF.TXT", "KIVRALFN.TXT", "KIVRAKOM.TXT"};

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

    EXPECT_EQ(stdoutText, "Paths found: 8\nShort forms: 8\nLong-name or lower-case entries: 7\n"
                          "Long-name entries: 4\nLower-case entries: 3\nLong-name or lower-case entries exist.\n");
    EXPECT_EQ(stderrText, "") << "no progress line when standard error is no terminal";
    EXPECT_EQ(Names(out), std::set<std::string>(std::begin(ResultNames), std::end(ResultNames)));
}

TEST_F(KivraScanEndToEndTest, ANormalTreeAndTheWorkingDirectoryAsDefault)
{
    Write(root / "README.TXT", "r");
    fs::create_directory(root / "SUB");
    Write(out / "KIVRADIF.TXT", std::string(100, 'x'));
    ASSERT_EQ(Run({"root"}), 0) << stderrText;
    EXPECT_EQ(Read(base / "KIVRADIF.TXT"), NormalFile);
    EXPECT_EQ(Read(base / "KIVRALNG.TXT"), FileOf({t.LongNameHeader, rootText + "README.TXT", rootText + "SUB\\"}));
    EXPECT_EQ(stdoutText.substr(stdoutText.rfind("Lower")), "Lower-case entries: 0\nAll is normal.\n");

    ASSERT_EQ(Run({"--output", out.string(), "C:" + rootText.substr(2)}), 0) << "a Windows path names the same tree";
    EXPECT_EQ(Result("KIVRADIF.TXT"), NormalFile) << "the old longer file replaced";
    EXPECT_EQ(Result("KIVRALNG.TXT"), Read(base / "KIVRALNG.TXT"));
}

TEST_F(KivraScanEndToEndTest, MessagesAreInTheUsersLanguageAndCharacterSet)
{
    Write(root / "lower.txt", "l");
    const std::string missing = (base / "missing").string();
    EXPECT_EQ(Run({"--output", out.string(), missing}), 2);
    EXPECT_EQ(stderrText, "kivra-scan: cannot scan '" + missing + "': No such file or directory\n");
    EXPECT_EQ(Run({"-x", "root"}), 2);
    EXPECT_EQ(stderrText, "kivra-scan: unknown option '-x'\nTry 'kivra-scan --help' for more information.\n");

    const RunOptions japanese = InLocale("ja_JP.UTF-8");
    EXPECT_EQ(Run({"--output", out.string(), missing}, japanese), 2);
    const std::string missingJapanese =
        "kivra-scan: '" + missing + "': 指定されたドライブまたはディレクトリが存在しません。 (ﾌｧｲﾙが見つかりません)\n";
    EXPECT_EQ(stderrText, missingJapanese);
    EXPECT_EQ(Run({"-x", "root"}, japanese), 2);
    EXPECT_EQ(stderrText,
              "kivra-scan: '-x' というオプションはありません\n詳しくは 'kivra-scan --help' を実行してください。\n");
    EXPECT_EQ(Run({"-o", out.string(), "root"}, japanese), 1);
    EXPECT_EQ(stdoutText, "検索したﾛﾝｸﾞﾌｧｲﾙのﾌｧｲﾙ個数は 1 個です。\n検索したｼｮｰﾄﾌｧｲﾙのﾌｧｲﾙ個数は 1 個です。\n"
                          "ﾛﾝｸﾞﾌｧｲﾙ または 小文字ﾌｧｲﾙ のﾌｧｲﾙ個数は 1 個です。\nﾛﾝｸﾞﾌｧｲﾙのﾌｧｲﾙ個数は 0 個です。\n"
                          "ｺﾓｼﾞﾌｧｲﾙのﾌｧｲﾙ個数は 1 個です。\nロングファイル または 小文字ファイル が存在しています。\n");
    EXPECT_EQ(Run({"--help"}, japanese), 0);
    EXPECT_EQ(stdoutText.rfind("使い方: kivra-scan [オプション]... ROOT\n", 0), 0u);

    EXPECT_EQ(Run({"--output", out.string(), missing}, InLocale("ja_JP.EUC-JP")), 2);
    EXPECT_EQ(stderrText, EucJpFromUtf8(missingJapanese)) << "the same message in the locale's character set";
}

TEST_F(KivraScanEndToEndTest, ArgumentsAndFoldersThatCannotBeUsedEndWithStatusTwoBeforeTheWalk)
{
    Write(base / "notadir", "");
    EXPECT_EQ(Run({"--output", (base / "notadir").string(), root.string()}), 2);
    EXPECT_EQ(stderrText, "kivra-scan: cannot write the result files into '" + (base / "notadir").string() +
                              "': Not a directory\n");
    EXPECT_EQ(stdoutText, "");
    EXPECT_EQ(Run({"-o", "nowhere", "root"}), 2);
    EXPECT_EQ(stderrText, "kivra-scan: cannot write the result files into 'nowhere': No such file or directory\n");
    EXPECT_TRUE(fs::is_empty(out));

    EXPECT_EQ(Run({}), 2);
    EXPECT_EQ(stderrText,
              "kivra-scan: missing ROOT, the directory to scan\nTry 'kivra-scan --help' for more information.\n");
    EXPECT_EQ(Run({"--help"}), 0);
    EXPECT_EQ(stdoutText.rfind("Usage: kivra-scan [OPTION]... ROOT\n", 0), 0u) << stdoutText;

    // Each ROOT that cannot be scanned is named as given, with what is wrong.
    fs::create_symlink("missing", base / "dangling");
    fs::create_symlink("loop", base / "loop");
    const std::vector<std::pair<std::string, std::string>> roots = {
        {"nope-\xC3\xBC", "No such file or directory"}, // ü, which code page 932 cannot hold
        {"dangling", "No such file or directory"},
        {"loop", "Too many levels of symbolic links"},
        {"notadir", "Not a directory"},
        {"\\\\nohost\\share", "No mounted network share of that name"},
    };
    for (const auto& [given, reason] : roots) {
        EXPECT_EQ(Run({"-o", "out", given}), 2);
        EXPECT_EQ(stderrText, "kivra-scan: cannot scan '" + given + "': " + reason + "\n");
    }
}

TEST_F(KivraScanEndToEndTest, ALinkFollowedByDotDotNamesTheParentOfItsTarget)
{
    fs::create_directories(base / "other" / "target");
    Write(base / "other" / "Long name.txt", "");
    fs::create_symlink(base / "other" / "target", root / "lk");
    ASSERT_EQ(Run({"--list", "long", "-o", "out", "root/lk/.."}), 1) << stderrText;
    EXPECT_EQ(stdoutText, "root/lk/../Long name.txt\n") << "the parent of the link's target, as Linux means it";
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

TEST_F(KivraScanEndToEndTest, LinksPlantedAtEveryNameTheWriterMightUseAreNeverFollowed)
{
    Write(root / "README.TXT", "r");
    // Someone else's file (root's, readable by its owner alone), a folder,
    // and a place where no file is yet.
    const fs::path secret = base / "secret";
    Write(secret, "secret");
    ASSERT_EQ(chmod(secret.c_str(), 0600), 0);
    const fs::path folder = base / "folder";
    fs::create_directory(folder);
    std::set<std::string> planted;
    for (const char* name : ResultNames) {
        const std::string stem = name;
        fs::create_symlink(secret, out / (stem + ".NEW"));
        fs::create_symlink(base / ("created-" + stem), out / (stem + ".NEW2"));
        fs::create_symlink(folder, out / (stem + ".NEW3"));
        for (const char* suffix : {".NEW", ".NEW2", ".NEW3"}) planted.insert(stem + suffix);
    }
    // A result file that is a link to the same file, which its owner holds
    // open and locked: the link goes, the file is not even looked at.
    fs::create_symlink(secret, out / "KIVRAKOM.TXT");
    const int held = open(secret.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(held, LOCK_EX), 0);

    const int status = Run({"-o", out.string(), root.string()});
    close(held);
    ASSERT_EQ(status, 0) << stderrText;
    EXPECT_EQ(Read(secret), "secret");
    struct stat st {};
    ASSERT_EQ(stat(secret.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(st.st_uid, getuid());
    EXPECT_TRUE(fs::is_empty(folder));
    for (const char* name : ResultNames) EXPECT_FALSE(fs::exists(base / ("created-"s + name))) << name;
    for (const std::string& name : planted) {
        EXPECT_TRUE(fs::is_symlink(out / name)) << name << " is still the link it was";
    }
    for (const char* name : ResultNames) {
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(out / name))) << name << " is a plain file";
    }
    EXPECT_EQ(Result("KIVRALNG.TXT"), FileOf({t.LongNameHeader, rootText + "README.TXT"}));
    EXPECT_EQ(Result("KIVRAKOM.TXT"), NormalFile);
    std::set<std::string> expected = planted;
    expected.insert(std::begin(ResultNames), std::end(ResultNames));
    EXPECT_EQ(Names(out), expected) << "nothing else made, nothing left";
}

TEST_F(KivraScanEndToEndTest, AUsersFilesAndLeftoversOfAnyKindAtThoseNamesStayAsTheyAre)
{
    Write(root / "README.TXT", "r");
    Write(out / "kivralng.txt", "the user's results"); // another file on Linux
    Write(out / "kivralng.txt.new", "the user's own");
    Write(out / "Kivrasht.Txt.New", "the user's too");
    fs::create_directory(out / "KIVRADIF.TXT.NEW");
    Write(out / "KIVRADIF.TXT.NEW" / "inside", "kept");
    ASSERT_EQ(mkfifo((out / "KIVRALFN.TXT.NEW").c_str(), 0644), 0);
    Write(out / "KIVRAKOM.TXT.NEW", "read-only");
    ASSERT_EQ(chmod((out / "KIVRAKOM.TXT.NEW").c_str(), 0444), 0);
    const std::set<std::string> before = Names(out);

    for (int run = 0; run < 2; ++run) {
        ASSERT_EQ(Run({"-o", out.string(), root.string()}), 0) << stderrText;
        EXPECT_EQ(Read(out / "kivralng.txt"), "the user's results");
        EXPECT_EQ(Read(out / "kivralng.txt.new"), "the user's own");
        EXPECT_EQ(Read(out / "Kivrasht.Txt.New"), "the user's too");
        EXPECT_EQ(Read(out / "KIVRADIF.TXT.NEW" / "inside"), "kept");
        EXPECT_TRUE(fs::is_fifo(out / "KIVRALFN.TXT.NEW"));
        EXPECT_EQ(Read(out / "KIVRAKOM.TXT.NEW"), "read-only");
        EXPECT_EQ(Result("KIVRASHT.TXT"), FileOf({t.ShortNameHeader, rootText + "README.TXT"}));
        std::set<std::string> expected = before;
        expected.insert(std::begin(ResultNames), std::end(ResultNames));
        EXPECT_EQ(Names(out), expected);
    }
}

TEST_F(KivraScanEndToEndTest, NothingNewIsLeftWhenAFileCannotBeWritten)
{
    Write(root / "README.TXT", "r");

    // The new file cannot take the result file's place: a folder is there.
    fs::create_directory(out / "KIVRASHT.TXT");
    EXPECT_EQ(Run({"-o", out.string(), root.string()}), 2);
    EXPECT_EQ(stderrText, "kivra-scan: cannot write '" + (out / "KIVRASHT.TXT").string() + "': Permission denied\n");
    EXPECT_EQ(stdoutText, "");
    EXPECT_EQ(Names(out), (std::set<std::string>{"KIVRALNG.TXT", "KIVRASHT.TXT"}));
    EXPECT_TRUE(fs::is_empty(out / "KIVRASHT.TXT"));

    // The text cannot be written: files may not grow past 4 KiB ("ulimit
    // -f"), and the first file is larger. The program is not ended by the
    // signal for it: it says so.
    for (int i = 0; i < 200; ++i) Write(root / ("FILE" + std::to_string(i) + ".TXT"), "");
    const fs::path small = base / "small";
    fs::create_directory(small);
    Write(small / "KIVRALNG.TXT", "earlier");
    RunOptions limited;
    limited.fileSizeLimit = 4096;
    EXPECT_EQ(Run({"-o", "small", "root"}, limited), 2);
    EXPECT_EQ(stderrText, "kivra-scan: cannot write 'small/KIVRALNG.TXT': File too large\n");
    EXPECT_EQ(Names(small), std::set<std::string>{"KIVRALNG.TXT"});
    EXPECT_EQ(Read(small / "KIVRALNG.TXT"), "earlier") << "the earlier file whole";

    // The folder cannot take a new file (for anyone but root).
    const fs::path closed = base / "closed";
    fs::create_directory(closed);
    ASSERT_EQ(chmod(closed.c_str(), 0555), 0);
    EXPECT_EQ(Run({"-o", "closed", "root"}, AsNobody()), 2);
    if (getuid() == 0 || access(closed.c_str(), W_OK) != 0) {
        EXPECT_EQ(stderrText, "kivra-scan: cannot write the result files into 'closed': Permission denied\n");
        EXPECT_TRUE(fs::is_empty(closed));
    }
}

TEST_F(KivraScanEndToEndTest, AMaskThatTakesAwayWriteBitsStillLetsTheNextRunReplaceTheFiles)
{
    Write(root / "README.TXT", "r");
    RunOptions readOnly;
    readOnly.fileMask = 0222;
    // The program's own files keep their owner's write bit, run after run...
    for (int run = 1; run <= 2; ++run) {
        ASSERT_EQ(Run({"-o", out.string(), root.string()}, readOnly), 0) << run << " " << stderrText;
        EXPECT_EQ(Names(out), (std::set<std::string>(std::begin(ResultNames), std::end(ResultNames))));
        EXPECT_EQ(Result("KIVRADIF.TXT"), NormalFile);
    }
    struct stat st {};
    ASSERT_EQ(stat((out / "KIVRALNG.TXT").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u) << "the mask's other bits kept";
    // ...but a result file its user made read-only is not replaced, as on
    // Windows; the new file made for it does not stay.
    ASSERT_EQ(chmod((out / "KIVRALNG.TXT").c_str(), 0444), 0);
    EXPECT_EQ(Run({"-o", out.string(), root.string()}, readOnly), 2);
    EXPECT_EQ(stderrText, "kivra-scan: cannot write '" + (out / "KIVRALNG.TXT").string() + "': Permission denied\n");
    EXPECT_EQ(Names(out), (std::set<std::string>(std::begin(ResultNames), std::end(ResultNames))));
}

TEST_F(KivraScanEndToEndTest, StandardOutputThatCannotBeWrittenEndsWithStatusTwo)
{
    Write(root / "README.TXT", "r");
    RunOptions full;
    full.standardOutput = "/dev/full";
    EXPECT_EQ(Run({"-o", out.string(), "root"}, full), 2);
    EXPECT_EQ(stderrText, "kivra-scan: write error on standard output: No space left on device\n");
    EXPECT_EQ(Run({"--help"}, full), 2);
    EXPECT_EQ(stderrText, "kivra-scan: write error on standard output: No space left on device\n");
    EXPECT_EQ(Run({"--list", "different", "-o", out.string(), "root"}, full), 0) << "nothing to print, nothing lost";
    Write(root / "lower.txt", "l");
    EXPECT_EQ(Run({"--list", "different", "-o", out.string(), "root"}, full), 2);
}

TEST_F(KivraScanEndToEndTest, AListGivesTheExactLinuxNamesWhateverTheCodePageCouldShow)
{
    const std::vector<std::string> names{"nl\nname.txt", "\xFF\xFE.TXT", "a:b.TXT", "\xF0\x9F\x98\x80.TXT"};
    for (const std::string& name : names) Write(root / name, "x");
    fs::create_directory(root / "\xC3\xBC"); // ü
    Write(root / "\xC3\xBC" / "X.TXT", "x");
    Write(root / "PLAIN.TXT", "x");

    ASSERT_EQ(Run({"--list", "different", "-0", "-o", out.string(), "root"}), 1) << stderrText;
    std::vector<std::string> listed = Split(stdoutText, '\0');
    std::vector<std::string> expected{"root/\xC3\xBC", "root/\xC3\xBC/X.TXT"};
    for (const std::string& name : names) expected.push_back("root/" + name);
    std::sort(listed.begin(), listed.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(listed, expected) << "every name a Windows volume could not hold, each once, none other";

    ASSERT_EQ(Run({"--list=lower", "--null", "-o", out.string(), root.string() + "/"}), 1);
    listed = Split(stdoutText, '\0');
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, (std::vector<std::string>{root.string() + "/a:b.TXT", root.string() + "/nl\nname.txt"}))
        << "from ROOT as given";

    fs::remove_all(root);
    fs::create_directories(root / "SUB");
    Write(root / "SUB" / "LONGFILENAME.TXT", "x");
    Write(root / "ok.txt", "x");
    ASSERT_EQ(Run({"--list", "long", "-o", out.string(), "root"}), 1);
    EXPECT_EQ(stdoutText, "root/SUB/LONGFILENAME.TXT\n");
}

TEST_F(KivraScanEndToEndTest, AListWritesNoResultFilesUnlessAnOutputFolderIsGiven)
{
    Write(root / "lower.txt", "l");
    Write(root / "README.TXT", "r");
    const std::set<std::string> results(std::begin(ResultNames), std::end(ResultNames));
    const struct {
        std::vector<std::string> arguments;
        std::set<std::string> inWorkingDirectory, inOut;
    } runs[] = {
        {{"--list", "lower", "root"}, {}, {}},
        {{"--list=different", "-0", "root"}, {}, {}},
        {{"--list", "lower", "-o", ".", "root"}, results, {}},
        {{"--list", "lower", "--output=out", "root"}, {}, results},
    };
    for (const auto& run : runs) {
        SCOPED_TRACE(::testing::PrintToString(run.arguments));
        // The working directory holds ROOT and the folder out.
        std::set<std::string> inWorkingDirectory = run.inWorkingDirectory;
        inWorkingDirectory.insert({"root", "out"});
        EXPECT_EQ(Run(run.arguments), 1) << stderrText;
        EXPECT_EQ(stdoutText.substr(0, 14), "root/lower.txt") << "the verdict and the list as ever";
        EXPECT_EQ(Names(base), inWorkingDirectory);
        EXPECT_EQ(Names(out), run.inOut);
        for (const char* name : ResultNames) {
            fs::remove(base / name);
            fs::remove(out / name);
        }
    }
}

TEST_F(KivraScanEndToEndTest, ARootIsTheFolderItsLinuxPathNamesWhateverItsNameHolds)
{
    // Names a Windows path could not hold as they are; each folder holds a
    // file of its own name.
    const std::vector<std::pair<std::string, std::string>> folders{
        {"x\\y", "A.TXT"}, {"*", "B.TXT"}, {"\xF0\x9F\x98\x80", "C.TXT"}, {"\xF0\x9F\x8E\x89", "D.TXT"}};
    for (const auto& [folder, file] : folders) {
        fs::create_directories(root / folder);
        Write(root / folder / file, "x");
    }
    for (const auto& [folder, file] : folders) {
        const int status = Run({"-o", out.string(), "root/" + folder});
        EXPECT_TRUE(status == 0 || status == 1) << folder << ": " << status << " " << stderrText;
        const std::string lines = Result("KIVRALNG.TXT");
        EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 2) << folder << ": one entry";
        EXPECT_TRUE(lines.ends_with("\\" + file + "\r\n")) << folder << " is the folder scanned";
    }
}

TEST_F(KivraScanEndToEndTest, DirectoriesThatCannotBeReadAreNamedAndTheStatusIsThree)
{
    Write(root / "OPEN.TXT", "o");
    fs::create_directory(root / "CLOSED");
    Write(root / "CLOSED" / "INSIDE.TXT", "i");
    ASSERT_EQ(chmod((root / "CLOSED").c_str(), 0), 0);
    ASSERT_EQ(chmod(out.c_str(), 0777), 0);
    const RunOptions nobody = AsNobody();
    if (getuid() != 0 && access((root / "CLOSED").c_str(), R_OK) == 0) GTEST_SKIP() << "permissions not enforced";

    EXPECT_EQ(Run({"-o", "out", "root"}, nobody), 3);
    EXPECT_EQ(stderrText, "kivra-scan: cannot read directory 'root/CLOSED': Permission denied\n");
    EXPECT_EQ(Result("KIVRALNG.TXT"), FileOf({t.LongNameHeader, rootText + "CLOSED\\", rootText + "OPEN.TXT"}));
    EXPECT_EQ(stdoutText.substr(stdoutText.rfind('\n', stdoutText.size() - 2) + 1),
              "Not read whole: 1 of the directories could not be read; the first is 'root/CLOSED'.\n")
        << "a tree not read whole is never called normal";

    ASSERT_EQ(chmod(root.c_str(), 0), 0);
    EXPECT_EQ(Run({"-o", "out", "root"}, nobody), 2);
    EXPECT_EQ(stderrText, "kivra-scan: cannot scan 'root': Permission denied\n");
    EXPECT_EQ(stdoutText, "");
}

TEST_F(KivraScanEndToEndTest, ADeletedWorkingDirectoryIsNeverTakenForAnotherFolder)
{
    Write(root / "lower.txt", "l");
    RunOptions gone;
    gone.workingDirectoryDeleted = true;
    const bool rootHadResults = fs::exists("/KIVRALNG.TXT");
    EXPECT_EQ(Run({"-o", out.string(), "root"}, gone), 2);
    EXPECT_EQ(stderrText, "kivra-scan: cannot scan 'root': the working directory no longer exists\n");
    EXPECT_EQ(Run({root.string()}, gone), 2);
    EXPECT_EQ(stderrText, "kivra-scan: cannot write the result files into the working directory: the working "
                          "directory no longer exists\n");
    EXPECT_TRUE(fs::is_empty(out));
    EXPECT_EQ(fs::exists("/KIVRALNG.TXT"), rootHadResults) << "nothing written into /";

    EXPECT_EQ(Run({"-o", out.string(), root.string()}, gone), 1) << "full paths need no working directory";
    EXPECT_EQ(Run({"--list", "lower", root.string()}, gone), 1) << "nor does a list, which writes no files";
}

TEST_F(KivraScanEndToEndTest, TheManualPageDescribesEveryOptionAndStatus)
{
#ifndef KIVRA_SCAN_MANUAL
    GTEST_SKIP() << "built without the manual page";
#else
    const std::string page = Read(KIVRA_SCAN_MANUAL);
    ASSERT_NE(page, "<missing>");
    EXPECT_NE(page.find(".TH KIVRA-SCAN \"1\""), std::string::npos);
    for (const char* entry :
         {"\\fB\\-o\\fR, \\fB\\-\\-output\\fR=\\fI\\,DIR\\/\\fR", "\\fB\\-\\-list\\fR=\\fI\\,KIND",
          "\\fB\\-0\\fR, \\fB\\-\\-null\\fR", "\\fB\\-h\\fR, \\fB\\-\\-help\\fR", "\\fB\\-\\-version\\fR",
          ".SH SYNOPSIS", ".SH EXAMPLES", ".TP\n0\n", ".TP\n1\n", ".TP\n2\n", ".TP\n3\n"})
        EXPECT_NE(page.find(entry), std::string::npos) << entry;
#endif
}

} // namespace
