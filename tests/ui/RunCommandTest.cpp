// The run command on real directory trees, through the Linux platform, with
// real one-second waits: the window is driven as a user drives it and the
// result files are read where the program writes them, beside the executable.
#include "app/Application.h"
#include "app/QtText.h"
#include "app/TextFormat.h"
#include "platform/WinApi.h"
#include "platform/posix/PosixPlatform.h"
#include "resources/Texts.h"
#include "selectors/DirectoryListBox.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/ListBox.h"
#include "ui/Main.h"

#include <QApplication>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

namespace kivra::ui {
namespace {

using platform::Text;
using testing::AllDisabled;
using testing::AllEnabled;
using testing::DialogAnswerer;
using testing::Gesture;
using testing::OnlyRunEnabled;
using testing::Readable;
using testing::StateOf;
using testing::StateRecorder;
using testing::WindowState;
using texts::Texts;

const char* const ResultFiles[] = {"KIVRALNG.TXT", "KIVRASHT.TXT", "KIVRADIF.TXT", "KIVRALFN.TXT", "KIVRAKOM.TXT"};

Text Caption(const Text& step) { return Texts().FormCaption + Texts().ProgressGap + step; }

Text CountCaption(const Text& countingText, int count)
{
    return Caption(countingText + std::to_string(count) + Texts().CountSuffix);
}

Text Lines(std::initializer_list<Text> lines)
{
    Text text;
    for (const Text& line : lines) text += line + "\r\n";
    return text;
}

std::string ResultFile(const char* name) { return testing::ReadLinuxFile(testing::ExecutableLinuxDirectory() + name); }

class RunCommandTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::PosixSources sources;
        sources.mountTable = testing::RootOnlyMountTable();
        posix.emplace(sources);
        scoped.emplace(posix->Interfaces());
        ASSERT_TRUE(platform::SetCurrentDirectoryA("C:\\tmp"));
    }

    void TearDown() override
    {
        if (application) application->Shutdown();
        application.reset();
        scoped.reset();
        posix.reset();
    }

    TForm1& OpenWindow()
    {
        window = &testing::OpenMainWindow(application);
        return *window;
    }

    // From the drive root shown at start-up to the tree: "tmp" by a
    // double-click, the tree's own directory by typing its name and Enter.
    void PickTree()
    {
        testing::EnterSubdirectory(*window->DirectoryListBox1, "tmp", Gesture::DoubleClick);
        testing::EnterSubdirectory(*window->DirectoryListBox1, tree.Name(), Gesture::TypeAndEnter);
        ASSERT_EQ(Readable(app::ToText(window->Edit1->text())), "C:\\tmp\\" + tree.Name());
    }

    Text Root() const { return platform::UpperCaseText("C:\\TMP\\" + tree.Name() + "\\"); }

    testing::ShortTempDir tree;
    std::optional<platform::PosixPlatform> posix;
    std::optional<platform::ScopedPlatform> scoped;
    std::optional<app::TApplication> application;
    TForm1* window = nullptr;
};

TEST_F(RunCommandTest, AFullRunShowsItsStepsWritesTheFiveFilesAndWarns)
{
    tree.MakeFile("DOC.TXT", "plain");
    tree.MakeFile("readme.txt");
    tree.MakeDirectory("LongDirectoryName");
    tree.MakeFile("LongDirectoryName/INNER.TXT");
    tree.MakeFile("日本語ファイル名.txt");
    TForm1& form = OpenWindow();
    DialogAnswerer answerer(&form, QStringLiteral("No"));
    PickTree();

    StateRecorder recorder(&form);
    answerer.OnDialog = [&](const testing::SeenDialog&) { recorder.Sample(); };
    QTest::mouseClick(form.BtnRun, Qt::LeftButton);

    const Text differentCaption = CountCaption(Texts().CountDifferent, 7);
    const std::vector<WindowState> steps = {
        {Texts().FormCaption, OnlyRunEnabled, 0, -1},
        {Caption(Texts().ProgressLongNames), AllDisabled, 0, -1},
        {Caption(Texts().ProgressShortNames), AllDisabled, 0, -1},
        {Caption(Texts().ProgressSaving), AllEnabled, 0, -1},
        {differentCaption, AllDisabled, 0, -1},
        {differentCaption, AllEnabled, 23, 0},
    };
    // A walk or classification that lasts long enough shows its entries so
    // far after the step's text; on a tree this small it seldom does.
    std::vector<WindowState> seen;
    for (WindowState state : recorder.States()) {
        for (const Text& step : {Texts().ProgressLongNames, Texts().ProgressShortNames}) {
            const Text stepCaption = Caption(step);
            if (state.caption.rfind(stepCaption + " ", 0) == 0) state.caption = stepCaption;
        }
        if (seen.empty() || !(seen.back() == state)) seen.push_back(state);
    }
    EXPECT_EQ(seen, steps);

    ASSERT_EQ(answerer.Seen().size(), 1u);
    const auto& verdict = answerer.Seen()[0];
    EXPECT_EQ(Readable(verdict.text), Readable(Texts().VerdictFound));
    EXPECT_EQ(verdict.title, Texts().TitleWarning);
    EXPECT_EQ(verdict.buttons, (std::vector<std::string>{"Yes", "No"}));
    EXPECT_EQ(verdict.window, steps.back());

    const Text root = Root();
    const Text japanese = platform::Cp932FromUtf8("日本語ファイル名.txt");
    const Text japaneseShort = platform::Cp932FromUtf8("日本語~1.TXT");
    const Text longDir = root + "LongDirectoryName\\", shortDir = root + "LONGDI~1\\";
    EXPECT_EQ(Readable(ResultFile("KIVRALNG.TXT")),
              Readable(Lines({Texts().LongNameHeader, root + "DOC.TXT", longDir, longDir + "INNER.TXT",
                              root + "readme.txt", root + japanese})));
    EXPECT_EQ(Readable(ResultFile("KIVRASHT.TXT")),
              Readable(Lines({Texts().ShortNameHeader, root + "DOC.TXT", shortDir, shortDir + "INNER.TXT",
                              root + "readme.txt", root + japaneseShort})));
    const Text dirGroup = Lines({longDir, shortDir, ""});
    const Text innerGroup = Lines({longDir + "INNER.TXT", shortDir + "INNER.TXT", ""});
    const Text readmeGroup = Lines({root + "readme.txt", root + "readme.txt", ""});
    const Text japaneseGroup = Lines({root + japanese, root + japaneseShort, ""});
    EXPECT_EQ(Readable(ResultFile("KIVRADIF.TXT")),
              Readable(Lines({Texts().DifferentHeader, ""}) + dirGroup + dirGroup + innerGroup + innerGroup +
                       readmeGroup + japaneseGroup + japaneseGroup));
    EXPECT_EQ(Readable(ResultFile("KIVRALFN.TXT")),
              Readable(Lines({Texts().LongFileHeader, ""}) + dirGroup + innerGroup + japaneseGroup));
    EXPECT_EQ(Readable(ResultFile("KIVRAKOM.TXT")),
              Readable(Lines({Texts().KomojiFileHeader, ""}) + dirGroup + innerGroup + readmeGroup + japaneseGroup));

    EXPECT_EQ(form.ListBox1->Line(0), Texts().DifferentHeader);
    EXPECT_EQ(form.ListBox1->Line(2), longDir);
    EXPECT_EQ(form.ListBox1->Line(21), root + japaneseShort);
}

TEST_F(RunCommandTest, AnEmptyTreeIsNormal)
{
    TForm1& form = OpenWindow();
    DialogAnswerer answerer(&form);
    PickTree();
    QTest::mouseClick(form.BtnRun, Qt::LeftButton);

    ASSERT_EQ(answerer.Seen().size(), 1u);
    const auto& verdict = answerer.Seen()[0];
    EXPECT_EQ(Readable(verdict.text), Readable(Texts().VerdictNormal));
    EXPECT_EQ(verdict.title, Texts().TitleInformation);
    EXPECT_EQ(verdict.buttons, (std::vector<std::string>{"Yes", "No"}));
    EXPECT_EQ(verdict.window, (WindowState{CountCaption(Texts().CountDifferent, 0), AllEnabled, 2, 0}));

    const Text normal = Lines({Texts().NormalLine, ""});
    EXPECT_EQ(ResultFile("KIVRALNG.TXT"), Lines({Texts().LongNameHeader}));
    EXPECT_EQ(ResultFile("KIVRASHT.TXT"), Lines({Texts().ShortNameHeader}));
    EXPECT_EQ(ResultFile("KIVRADIF.TXT"), normal);
    EXPECT_EQ(ResultFile("KIVRALFN.TXT"), normal);
    EXPECT_EQ(ResultFile("KIVRAKOM.TXT"), normal);
    EXPECT_EQ(ResultFile("KIVRADIF.TXT").size(), 12u);
}

TEST_F(RunCommandTest, AFolderWhoseNameTheCodePageCannotHoldIsPickedByItsShortNameAndScanned)
{
    tree.MakeDirectory("Ünï");
    tree.MakeFile("Ünï/INNER.TXT");
    TForm1& form = OpenWindow();
    DialogAnswerer answerer(&form);
    PickTree();
    testing::EnterSubdirectory(*form.DirectoryListBox1, "?n?", Gesture::DoubleClick);

    // Reached by its short name, and shown so in the list and the field alike.
    std::string folder;
    ASSERT_TRUE(platform::WindowsPathFromSystemPath(tree.Path() + "/Ünï", folder));
    char alias[300] = {};
    ASSERT_GT(platform::GetShortPathNameA(folder.c_str(), alias, sizeof alias), 0u);
    const Text picked = "C:\\tmp\\" + tree.Name() + "\\" + Text(alias).substr(Text(alias).rfind('\\') + 1);
    EXPECT_EQ(Readable(form.DirectoryListBox1->Directory()), Readable(picked));
    EXPECT_EQ(Readable(app::ToText(form.Edit1->text())), Readable(picked));

    QTest::mouseClick(form.BtnRun, Qt::LeftButton);
    ASSERT_EQ(answerer.Seen().size(), 1u);
    EXPECT_EQ(Readable(answerer.Seen()[0].text), Readable(Texts().VerdictNormal));
    EXPECT_EQ(ResultFile("KIVRALNG.TXT"),
              Lines({Texts().LongNameHeader, platform::UpperCaseText(picked) + "\\INNER.TXT"}));
}

TEST_F(RunCommandTest, ARootThatVanishedBeforeTheRunIsReportedAndChangesNothing)
{
    tree.MakeDirectory("GONE");
    TForm1& form = OpenWindow();
    DialogAnswerer answerer(&form);
    PickTree();
    testing::EnterSubdirectory(*form.DirectoryListBox1, "GONE", Gesture::DoubleClick);
    ASSERT_EQ(Readable(app::ToText(form.Edit1->text())), "C:\\tmp\\" + tree.Name() + "\\GONE");
    platform::SetCurrentDirectoryA("C:\\tmp");
    std::filesystem::remove(tree.Path() + "/GONE");

    std::vector<std::string> filesBefore;
    for (const char* name : ResultFiles) filesBefore.push_back(ResultFile(name));
    const WindowState before = StateOf(form);
    QTest::mouseClick(form.BtnRun, Qt::LeftButton);

    ASSERT_EQ(answerer.Seen().size(), 1u);
    EXPECT_EQ(Readable(answerer.Seen()[0].text), Readable(Texts().RootMissing));
    EXPECT_EQ(answerer.Seen()[0].title, Texts().TitleInformation);
    EXPECT_EQ(answerer.Seen()[0].buttons, std::vector<std::string>{"Yes"});
    EXPECT_EQ(StateOf(form), before);
    EXPECT_EQ(form.LongNameList->Count(), 0u);
    for (std::size_t i = 0; i < std::size(ResultFiles); ++i)
        EXPECT_EQ(ResultFile(ResultFiles[i]), filesBefore[i]) << ResultFiles[i] << " was touched";
}

// What a run as a user who may not pass over permissions shows: the
// dialogs' titles and texts, one a line.
std::string RunAsUser(const std::string& root)
{
    QProcess child;
    child.start(QString::fromStdString(testing::ExecutableLinuxDirectory() + "kivra_ui_run_child"),
                {QString::fromStdString(root)});
    EXPECT_TRUE(child.waitForFinished(60000)) << "the program did not end";
    EXPECT_EQ(child.exitCode(), 0) << child.readAllStandardError().toStdString();
    return child.readAllStandardOutput().toStdString();
}

std::string DialogLine(const Text& title, const Text& text)
{
    return "dialog " + Readable(title) + ": " + Readable(text);
}

TEST_F(RunCommandTest, DirectoriesThatCannotBeReadAreToldAfterTheVerdict)
{
    tree.MakeFile("LowerCase.txt");
    tree.MakeDirectory("LOCKED");
    tree.MakeFile("LOCKED/INSIDE.TXT");
    tree.MakeDirectory("OPEN");
    std::filesystem::permissions(tree.Path() + "/LOCKED", std::filesystem::perms::none);
    const std::string report = RunAsUser("C:\\tmp\\" + tree.Name());
    std::filesystem::permissions(tree.Path() + "/LOCKED", std::filesystem::perms::owner_all);

    const Text warning = app::FormatText(Texts().NotSearchedFormat, {"1", Root() + "LOCKED\\"});
    EXPECT_EQ(report, DialogLine(Texts().TitleWarning, Texts().VerdictFound) + "\n" +
                          DialogLine(Texts().TitleWarning, warning) + "\n");
    EXPECT_EQ(Readable(ResultFile("KIVRALNG.TXT")), Readable(Lines({Texts().LongNameHeader, Root() + "LOCKED\\",
                                                                    Root() + "LowerCase.txt", Root() + "OPEN\\"})))
        << "the run went on as always";
}

TEST_F(RunCommandTest, ExitDuringAWaitLetsTheRunFinishAndEndsTheProgramNormally)
{
    tree.MakeFile("LowerCase.txt");
    for (const char* name : ResultFiles) std::filesystem::remove(testing::ExecutableLinuxDirectory() + name);

    QProcess child;
    child.setProcessChannelMode(QProcess::SeparateChannels);
    child.start(QString::fromStdString(testing::ExecutableLinuxDirectory() + "kivra_ui_exit_child"),
                {QString::fromStdString("C:\\tmp\\" + tree.Name())});
    ASSERT_TRUE(child.waitForFinished(60000)) << "the program did not end";
    const std::string report = child.readAllStandardOutput().toStdString();
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 0) << report << child.readAllStandardError().toStdString();

    EXPECT_NE(report.find("quit requested during the run\n"), std::string::npos) << report;
    EXPECT_NE(report.find("dialog \"" + Readable(Texts().VerdictFound) + "\" closed with 2\n"), std::string::npos)
        << report;
    EXPECT_EQ(report.find("answered by the watcher"), std::string::npos) << report;
    EXPECT_EQ(Readable(ResultFile("KIVRALNG.TXT")), Readable(Lines({Texts().LongNameHeader, Root() + "LowerCase.txt"})))
        << "the run went on to its end";
}

} // namespace
} // namespace kivra::ui
