// The main window on a file system held in memory, with a tick counter that
// moves 50 ms at every reading, so each one-second wait lasts a few dozen
// passes instead of a real second.
#include "app/Application.h"
#include "app/Fonts.h"
#include "app/QtText.h"
#include "app/TextFormat.h"
#include "platform/WinApi.h"
#include "platform/memory/MemoryPlatform.h"
#include "resources/Texts.h"
#include "selectors/DirectoryListBox.h"
#include "selectors/DriveComboBox.h"
#include "tests/ui/HeldPlatform.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/ListBox.h"
#include "ui/Main.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <new>
#include <optional>

namespace kivra::ui {
namespace {

using platform::Text;
using testing::AllDisabled;
using testing::AllEnabled;
using testing::DialogAnswerer;
using testing::OnlyRunEnabled;
using testing::Readable;
using testing::StateOf;
using testing::WindowState;
using texts::Texts;

QRect Geometry(const QWidget* widget) { return widget->geometry(); }

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        world.AddDrive('C', platform::DRIVE_FIXED, "SYSTEM");
        world.AddDirectory("C:\\BIN");
        world.SetModuleFileName("C:\\BIN\\KIVRA.EXE");
        world.AddDirectory("C:\\DATA");
        world.AddFile("C:\\DATA\\README.TXT");
        world.AddFile("C:\\DATA\\LONGNAME.TXT", platform::FILE_ATTRIBUTE_ARCHIVE, "LONGNA~1.TXT");
        world.AddDirectory("C:\\DATA\\Docs");
        world.AddFile("C:\\DATA\\Docs\\NOTE.TXT");
        world.AddDirectory("C:\\EMPTY");
        world.SetTicks(0, 50);
        scoped.emplace(world.AsPlatform());
        platform::SetCurrentDirectoryA("C:\\DATA");
    }

    void TearDown() override
    {
        if (application) application->Shutdown();
        application.reset();
        scoped.reset();
    }

    TForm1& OpenWindow()
    {
        window = &testing::OpenMainWindow(application);
        return *window;
    }

    // Picks a directory below the drive root shown at start-up by
    // double-clicking it in the directory list.
    void PickRootDirectory(const Text& name)
    {
        testing::EnterSubdirectory(*window->DirectoryListBox1, name, testing::Gesture::DoubleClick);
        ASSERT_EQ(Readable(window->DirectoryListBox1->Directory()), "C:\\" + Readable(name));
    }

    void RunScan(DialogAnswerer& answerer)
    {
        const auto dialogsBefore = answerer.Seen().size();
        QTest::mouseClick(window->BtnRun, Qt::LeftButton);
        ASSERT_EQ(answerer.Seen().size(), dialogsBefore + 1) << "the run ends with one verdict";
    }

    Text Memory(const char* name) const { return world.FileContents(Text("C:\\BIN\\") + name).value_or("(missing)"); }

    platform::MemoryPlatform world;
    std::optional<platform::ScopedPlatform> scoped;
    std::optional<app::TApplication> application;
    TForm1* window = nullptr;
};

TEST_F(MainWindowTest, ControlsSitWhereTheLayoutPutsThem)
{
    TForm1& form = OpenWindow();
    EXPECT_EQ(Geometry(form.Panel2), QRect(0, 0, Geometry(form.Panel2).width(), 140));
    EXPECT_EQ(Geometry(form.Label1), QRect(10, 10, 230, 18));
    EXPECT_EQ(Geometry(form.Edit1), QRect(10, 30, 230, 26));
    EXPECT_EQ(Geometry(form.DriveComboBox1), QRect(250, 10, 240, 24));
    EXPECT_EQ(Geometry(form.DirectoryListBox1), QRect(250, 40, 240, 95));
    EXPECT_EQ(Geometry(form.BtnRun), QRect(10, 60, 115, 25));
    EXPECT_EQ(Geometry(form.BtnLongName), QRect(10, 85, 115, 25));
    EXPECT_EQ(Geometry(form.BtnShortName), QRect(10, 110, 115, 25));
    EXPECT_EQ(Geometry(form.BtnDifferent), QRect(125, 60, 115, 25));
    EXPECT_EQ(Geometry(form.BtnLongFile), QRect(125, 85, 115, 25));
    EXPECT_EQ(Geometry(form.BtnKomojiFile), QRect(125, 110, 115, 25));
    EXPECT_EQ(Geometry(form.Panel1), QRect(0, 0, Geometry(form.Panel2).width(), 3));
    EXPECT_EQ(form.Panel1->frameShadow(), QFrame::Raised);
    EXPECT_EQ(form.Panel2->frameShape(), QFrame::NoFrame);
    EXPECT_EQ(form.ListBox1->ItemHeight(), 18);
    EXPECT_TRUE(form.Edit1->isReadOnly());
    EXPECT_EQ(form.Edit1->focusPolicy() & Qt::TabFocus, 0) << "the root field is no tab stop";
    // "System" with characters 19 pixels high, drawn by its stand-in.
    EXPECT_EQ(form.font(), app::DesignedFont(app::ToQString(Texts().FormFontName), -19));
    EXPECT_EQ(form.ListBox1->font(), form.font()) << "every control uses the window's font";
    EXPECT_EQ(form.MenuFile->font(), form.font()) << "the menus' drop-downs too";
    EXPECT_EQ(form.MenuHelp->font(), form.font());
    EXPECT_EQ(form.DirectoryListBox1->ItemHeight(), 18) << "as the layout sets it";
    ASSERT_GT(form.DirectoryListBox1->count(), 1);
    EXPECT_EQ(form.DirectoryListBox1->visualItemRect(form.DirectoryListBox1->item(1)).height(), 18);
    EXPECT_LE(QFontMetrics(form.Label1->font()).horizontalAdvance(form.Label1->text()), form.Label1->width())
        << "the label's text is drawn whole";
}

TEST_F(MainWindowTest, CaptionsComeFromTheTextTable)
{
    TForm1& form = OpenWindow();
    EXPECT_EQ(form.Caption(), Texts().FormCaption);
    EXPECT_EQ(app::ToText(form.Label1->text()), Texts().Label1Caption);
    EXPECT_EQ(app::ToText(form.BtnRun->text()), Texts().BtnRunCaption);
    EXPECT_EQ(app::ToText(form.BtnLongName->text()), Texts().BtnLongNameCaption);
    EXPECT_EQ(app::ToText(form.BtnShortName->text()), Texts().BtnShortNameCaption);
    EXPECT_EQ(app::ToText(form.BtnDifferent->text()), Texts().BtnDifferentCaption);
    EXPECT_EQ(app::ToText(form.BtnLongFile->text()), Texts().BtnLongFileCaption);
    EXPECT_EQ(app::ToText(form.BtnKomojiFile->text()), Texts().BtnKomojiFileCaption);
    EXPECT_EQ(app::ToText(form.MenuFile->title()), Texts().MenuFileCaption);
    EXPECT_EQ(app::ToText(form.MenuExit->text()), Texts().MenuExitCaption);
    EXPECT_EQ(app::ToText(form.MenuHelp->title()), Texts().MenuHelpCaption);
    EXPECT_EQ(app::ToText(form.MenuHelpDsp->text()), Texts().MenuHelpDspCaption);
    ASSERT_EQ(form.MainMenu1->actions().size(), 2);
    EXPECT_EQ(form.MainMenu1->actions()[0]->menu(), form.MenuFile);
    EXPECT_EQ(form.MainMenu1->actions()[1]->menu(), form.MenuHelp);
    EXPECT_EQ(form.MenuExit->shortcut(), QKeySequence()) << "menu items have no shortcut keys";
    EXPECT_EQ(form.MenuHelpDsp->shortcut(), QKeySequence());
}

TEST_F(MainWindowTest, TabVisitsTheSelectorsTheButtonsAndThenTheListBox)
{
    TForm1& form = OpenWindow();
    form.DriveComboBox1->setFocus();
    const QWidget* expected[] = {form.DirectoryListBox1, form.BtnRun, form.ListBox1};
    for (const QWidget* next : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next) << next->objectName().toStdString();
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), form.DriveComboBox1) << "the root field is skipped";
}

TEST_F(MainWindowTest, ResizingKeepsThePanelHeightAndGivesTheRestToTheListBox)
{
    TForm1& form = OpenWindow();
    form.resize(700, 500);
    QTest::qWait(20);
    const QWidget* client = form.centralWidget();
    EXPECT_EQ(form.Panel2->height(), 140);
    EXPECT_EQ(form.Panel2->width(), client->width());
    EXPECT_EQ(form.Panel1->width(), client->width());
    EXPECT_EQ(form.ListBox1->geometry(), QRect(0, 140, client->width(), client->height() - 140));
    EXPECT_EQ(Geometry(form.BtnKomojiFile), QRect(125, 110, 115, 25)) << "controls inside the panel stay put";
}

TEST_F(MainWindowTest, IsCreatedCentredWithOnlyTheRunButtonEnabled)
{
    application.emplace();
    application->CreateOwnedForm(Form1);
    TForm1& form = *Form1;
    EXPECT_EQ(StateOf(form).buttons, OnlyRunEnabled);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(form.Left(), (screen.width() - form.Width()) / 2);
    EXPECT_EQ(form.Top(), (screen.height() - form.Height()) / 2);
    EXPECT_EQ(form.Width(), 500);
    EXPECT_EQ(form.Height(), 370);
    ASSERT_NE(form.LongNameList, nullptr);
    EXPECT_EQ(form.LongNameList->Count(), 0u);
    EXPECT_EQ(form.KomojiFileList->Count(), 0u);
    EXPECT_EQ(form.BaseCaption, Texts().FormCaption);
}

TEST_F(MainWindowTest, StaysCentredWithItsDesignedOuterSizeOnceShown)
{
    TForm1& form = OpenWindow();
    QTest::qWait(50);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(form.Width(), 500);
    EXPECT_EQ(form.Height(), 370);
    EXPECT_EQ(form.Left(), (screen.width() - 500) / 2);
    EXPECT_EQ(form.Top(), (screen.height() - 370) / 2);
    EXPECT_EQ(form.frameGeometry(), QRect(form.Left(), form.Top(), 500, 370)) << "the frame the desktop shows";
}

TEST_F(MainWindowTest, TheDriveSelectorHoldsItsLetterInLowerCaseWhenTheWindowIsShown)
{
    application.emplace();
    application->CreateOwnedForm(Form1);
    window = Form1;
    EXPECT_EQ(window->DriveComboBox1->Drive(), 'C') << "as the current directory gives it, before its window exists";
    char driveAtShow = '?';
    const app::TNotifyEvent formShow = window->OnShow;
    window->OnShow = [&](QObject* sender) {
        driveAtShow = window->DriveComboBox1->Drive();
        formShow(sender);
    };
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    EXPECT_EQ(driveAtShow, 'c');
    EXPECT_EQ(window->DriveComboBox1->Drive(), 'c');
    EXPECT_EQ(window->DriveComboBox1->currentIndex(), 0) << "the drive's item is selected";
}

TEST_F(MainWindowTest, RootFieldShowsTheCurrentDrivesRootInCapitalsAtStart)
{
    TForm1& form = OpenWindow();
    EXPECT_EQ(Readable(app::ToText(form.Edit1->text())), "C:\\");
    EXPECT_EQ(Readable(form.DirectoryListBox1->Directory()), "C:\\")
        << "the list shows the drive root, not the current directory";
}

TEST_F(MainWindowTest, ARootThatCannotBeReadAtStartIsReportedOnceAndTheWindowStillOpens)
{
    platform::SetCurrentDirectoryA("C:\\");
    world.SetNotReady('C');
    DialogAnswerer answerer(nullptr);
    TForm1& form = OpenWindow();
    QTest::qWait(50);
    ASSERT_EQ(answerer.Seen().size(), 1u);
    EXPECT_EQ(Readable(answerer.Seen()[0].text), Readable(Texts().RootMissing));
    EXPECT_EQ(answerer.Seen()[0].title, Texts().TitleInformation);
    EXPECT_EQ(answerer.Seen()[0].buttons, std::vector<std::string>{"Yes"});
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(Readable(app::ToText(form.Edit1->text())), "C:\\");
}

TEST_F(MainWindowTest, RootFieldFollowsTheDirectoryListAndTheDriveSelector)
{
    world.AddDrive('D', platform::DRIVE_FIXED, "WORK");
    world.AddDirectory("D:\\PROJECTS");
    TForm1& form = OpenWindow();
    DialogAnswerer answerer(&form);

    PickRootDirectory("DATA");
    EXPECT_EQ(Readable(app::ToText(form.Edit1->text())), "C:\\DATA");

    form.DriveComboBox1->setFocus();
    QTest::keyClick(form.DriveComboBox1, Qt::Key_Down);
    EXPECT_EQ(form.DriveComboBox1->Drive(), 'd');
    EXPECT_EQ(Readable(app::ToText(form.Edit1->text())), "D:\\");
    EXPECT_TRUE(answerer.Seen().empty());
}

TEST_F(MainWindowTest, AnUnreadableDriveLeavesTheRootFieldWithoutAMessage)
{
    world.AddDrive('E', platform::DRIVE_CDROM, "");
    world.SetNotReady('E');
    TForm1& form = OpenWindow();
    DialogAnswerer answerer(&form);
    PickRootDirectory("DATA");

    form.DriveComboBox1->setFocus();
    QTest::keyClick(form.DriveComboBox1, Qt::Key_Down);
    ASSERT_EQ(form.DriveComboBox1->Drive(), 'e');
    QTest::qWait(50);
    EXPECT_EQ(Readable(app::ToText(form.Edit1->text())), "C:\\DATA");
    EXPECT_TRUE(answerer.Seen().empty()) << "a failure of a selector handler is dropped silently";
}

TEST_F(MainWindowTest, EachViewOfAnEmptyListSaysSoAndChangesNothing)
{
    // Before the first run the view buttons are disabled; the handlers are
    // reached directly, as the run command reaches the difference view.
    TForm1& form = OpenWindow();
    DialogAnswerer answerer(&form, QStringLiteral("No"));
    const WindowState before = StateOf(form);
    struct View {
        void (TForm1::*handler)(QObject*);
        Text message;
    } views[] = {
        {&TForm1::BtnLongNameClick, Texts().EmptyLongNames},     {&TForm1::BtnShortNameClick, Texts().EmptyShortNames},
        {&TForm1::BtnDifferentClick, Texts().EmptyDifferent},    {&TForm1::BtnLongFileClick, Texts().EmptyLongFiles},
        {&TForm1::BtnKomojiFileClick, Texts().EmptyKomojiFiles},
    };
    for (const View& view : views) {
        const auto seen = answerer.Seen().size();
        (form.*view.handler)(nullptr);
        ASSERT_EQ(answerer.Seen().size(), seen + 1);
        const auto& dialog = answerer.Seen().back();
        EXPECT_EQ(Readable(dialog.text), Readable(view.message));
        EXPECT_EQ(dialog.title, Texts().TitleInformation);
        EXPECT_EQ(dialog.buttons, (std::vector<std::string>{"Yes", "No"}));
        EXPECT_EQ(StateOf(form), before);
    }
}

TEST_F(MainWindowTest, RunFillsTheFiveFilesAndShowsTheDifferenceView)
{
    TForm1& form = OpenWindow();
    DialogAnswerer answerer(&form);
    PickRootDirectory("DATA");
    RunScan(answerer);

    const auto& verdict = answerer.Seen().back();
    EXPECT_EQ(Readable(verdict.text), Readable(Texts().VerdictFound));
    EXPECT_EQ(verdict.title, Texts().TitleWarning);
    EXPECT_EQ(verdict.buttons, (std::vector<std::string>{"Yes", "No"}));
    // LONGNAME.TXT is a long-name entry; Docs\ and Docs\NOTE.TXT hold lower case.
    EXPECT_EQ(verdict.window.caption,
              Texts().FormCaption + Texts().ProgressGap + Texts().CountDifferent + "3" + Texts().CountSuffix);
    EXPECT_EQ(verdict.window.buttons, AllEnabled);
    EXPECT_EQ(verdict.window.rows, 2 + 3 * 3);
    EXPECT_EQ(verdict.window.selectedRow, 0);
    EXPECT_EQ(form.ListBox1->Line(0), Texts().DifferentHeader);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    QTest::qWait(20);
    EXPECT_EQ(QApplication::focusWidget(), form.ListBox1) << "the view's focus is back once the verdict is answered";

    const Text crlf = "\r\n";
    EXPECT_EQ(Readable(Memory("KIVRALNG.TXT")),
              Readable(Texts().LongNameHeader + crlf + "C:\\DATA\\README.TXT" + crlf + "C:\\DATA\\LONGNAME.TXT" + crlf +
                       "C:\\DATA\\Docs\\" + crlf + "C:\\DATA\\Docs\\NOTE.TXT" + crlf));
    EXPECT_EQ(Readable(Memory("KIVRASHT.TXT")),
              Readable(Texts().ShortNameHeader + crlf + "C:\\DATA\\README.TXT" + crlf + "C:\\DATA\\LONGNA~1.TXT" +
                       crlf + "C:\\DATA\\Docs\\" + crlf + "C:\\DATA\\Docs\\NOTE.TXT" + crlf));
    const Text longGroup = "C:\\DATA\\LONGNAME.TXT" + crlf + "C:\\DATA\\LONGNA~1.TXT" + crlf + crlf;
    const Text lowerGroups = "C:\\DATA\\Docs\\" + crlf + "C:\\DATA\\Docs\\" + crlf + crlf + "C:\\DATA\\Docs\\NOTE.TXT" +
                             crlf + "C:\\DATA\\Docs\\NOTE.TXT" + crlf + crlf;
    EXPECT_EQ(Readable(Memory("KIVRADIF.TXT")),
              Readable(Texts().DifferentHeader + crlf + crlf + longGroup + lowerGroups));
    EXPECT_EQ(Readable(Memory("KIVRALFN.TXT")), Readable(Texts().LongFileHeader + crlf + crlf + longGroup));
    EXPECT_EQ(Readable(Memory("KIVRAKOM.TXT")), Readable(Texts().KomojiFileHeader + crlf + crlf + lowerGroups));
}

TEST_F(MainWindowTest, EachViewCountsWhatItsListDescribes)
{
    TForm1& form = OpenWindow();
    DialogAnswerer answerer(&form);
    PickRootDirectory("DATA");
    RunScan(answerer);

    struct View {
        QPushButton* button;
        Text countingText;
        int count;
        int rows;
    } views[] = {
        {form.BtnLongName, Texts().CountLongNames, 4, 5},     {form.BtnShortName, Texts().CountShortNames, 4, 5},
        {form.BtnDifferent, Texts().CountDifferent, 3, 11},   {form.BtnLongFile, Texts().CountLongFiles, 1, 5},
        {form.BtnKomojiFile, Texts().CountKomojiFiles, 2, 8},
    };
    for (const View& view : views) {
        QTest::mouseClick(view.button, Qt::LeftButton);
        const WindowState after = StateOf(form);
        EXPECT_EQ(after.caption, Texts().FormCaption + Texts().ProgressGap + view.countingText +
                                     std::to_string(view.count) + Texts().CountSuffix);
        EXPECT_EQ(after.rows, view.rows);
        EXPECT_EQ(after.selectedRow, 0);
        EXPECT_EQ(after.buttons, AllEnabled);
    }
    EXPECT_EQ(answerer.Seen().size(), 1u) << "no view of a filled list shows a message";
}

TEST_F(MainWindowTest, AViewPressedTwiceWaitsAgainAndShowsTheSameRows)
{
    TForm1& form = OpenWindow();
    DialogAnswerer answerer(&form);
    PickRootDirectory("DATA");
    RunScan(answerer);

    const Text caption = Texts().FormCaption + Texts().ProgressGap + Texts().CountLongNames + "4" + Texts().CountSuffix;
    for (int press = 0; press < 2; ++press) {
        std::optional<WindowState> duringWait;
        QTimer::singleShot(0, &form, [&] { duringWait = StateOf(form); });
        QTest::mouseClick(form.BtnLongName, Qt::LeftButton);
        ASSERT_TRUE(duringWait.has_value()) << "the view waits with the messages dispatched";
        EXPECT_EQ(duringWait->caption, caption);
        EXPECT_EQ(duringWait->buttons, AllDisabled);
        EXPECT_EQ(duringWait->rows, 0);

        EXPECT_EQ(StateOf(form), (WindowState{caption, AllEnabled, 5, 0}));
        EXPECT_EQ(form.ListBox1->Line(1), "C:\\DATA\\README.TXT");
        EXPECT_EQ(QApplication::focusWidget(), form.ListBox1);
    }
}

TEST_F(MainWindowTest, AnEmptyTreeGivesTheNormalVerdict)
{
    TForm1& form = OpenWindow();
    DialogAnswerer answerer(&form);
    PickRootDirectory("EMPTY");
    RunScan(answerer);

    const auto& verdict = answerer.Seen().back();
    EXPECT_EQ(Readable(verdict.text), Readable(Texts().VerdictNormal));
    EXPECT_EQ(verdict.title, Texts().TitleInformation);
    EXPECT_EQ(verdict.buttons, (std::vector<std::string>{"Yes", "No"}));
    EXPECT_EQ(verdict.window.caption,
              Texts().FormCaption + Texts().ProgressGap + Texts().CountDifferent + "0" + Texts().CountSuffix);
    EXPECT_EQ(verdict.window.rows, 2);
    EXPECT_EQ(form.ListBox1->Line(0), Texts().NormalLine);
    EXPECT_EQ(form.ListBox1->Line(1), "");
}

TEST_F(MainWindowTest, AReadOnlyExecutableDirectoryStopsTheRunAtTheFirstFile)
{
    world.DenyWrites("C:\\BIN");
    TForm1& form = OpenWindow();
    DialogAnswerer answerer(&form, QStringLiteral("Abort"));
    PickRootDirectory("DATA");
    RunScan(answerer);

    const auto& failure = answerer.Seen().back();
    EXPECT_EQ(Readable(failure.text), Readable(Texts().SaveFailedLongNames));
    EXPECT_EQ(failure.title, Texts().TitleWarning);
    EXPECT_EQ(failure.buttons, (std::vector<std::string>{"Abort"}));
    const WindowState saving{Texts().FormCaption + Texts().ProgressGap + Texts().ProgressSaving, AllEnabled, 0, -1};
    EXPECT_EQ(failure.window, saving);
    const WindowState idle{Texts().FormCaption, AllEnabled, 0, -1};
    EXPECT_EQ(StateOf(form), idle) << "no difference view and no verdict after the failure, and the window's own "
                                      "caption once it has been told";
    EXPECT_TRUE(world.EntryNames("C:\\BIN").empty()) << "no result file was written";

    // The lists are complete all the same: the views show this run's results.
    QTest::mouseClick(form.BtnLongFile, Qt::LeftButton);
    EXPECT_EQ(StateOf(form).rows, 5);
}

TEST_F(MainWindowTest, ARootWhoseEntriesCannotBeListedIsReportedAsMissing)
{
    TForm1& form = OpenWindow();
    DialogAnswerer answerer(&form);
    PickRootDirectory("DATA");
    world.FailSearch("C:\\DATA");
    const WindowState before = StateOf(form);
    RunScan(answerer);

    const auto& shown = answerer.Seen().back();
    EXPECT_EQ(Readable(shown.text), Readable(Texts().RootMissing));
    EXPECT_EQ(shown.title, Texts().TitleInformation);
    EXPECT_EQ(shown.buttons, std::vector<std::string>{"Yes"});
    EXPECT_EQ(StateOf(form), before) << "the run changes nothing";
    EXPECT_TRUE(world.EntryNames("C:\\BIN").empty()) << "no result file was written";
}

TEST_F(MainWindowTest, DirectoriesThatCouldNotBeSearchedAreToldInPlaceOfTheNormalVerdict)
{
    world.AddDirectory("C:\\EMPTY\\LOCKED");
    world.AddDirectory("C:\\EMPTY\\OPEN");
    world.AddDirectory("C:\\EMPTY\\OPEN\\SHUT");
    world.FailSearch("C:\\EMPTY\\LOCKED");
    world.FailSearch("C:\\EMPTY\\OPEN\\SHUT");
    TForm1& form = OpenWindow();
    DialogAnswerer answerer(&form);
    PickRootDirectory("EMPTY");
    RunScan(answerer);

    const auto& warning = answerer.Seen().back();
    EXPECT_EQ(Readable(warning.text),
              Readable(app::FormatText(Texts().NotSearchedFormat, {"2", "C:\\EMPTY\\LOCKED\\"})));
    EXPECT_EQ(warning.title, Texts().TitleWarning);
    EXPECT_EQ(warning.buttons, std::vector<std::string>{"OK"});
    EXPECT_EQ(warning.window.caption,
              Texts().FormCaption + Texts().ProgressGap + Texts().CountDifferent + "0" + Texts().CountSuffix)
        << "the run went on as always: the difference view is shown";
    EXPECT_EQ(Readable(Memory("KIVRALNG.TXT")),
              Readable(Texts().LongNameHeader + "\r\nC:\\EMPTY\\LOCKED\\\r\nC:\\EMPTY\\OPEN\\\r\n" +
                       "C:\\EMPTY\\OPEN\\SHUT\\\r\n"));
}

TEST_F(MainWindowTest, PathsWithoutAShortFormAreToldInPlaceOfTheNormalVerdict)
{
    world.AddFile("C:\\EMPTY\\A.TXT");
    world.AddFile("C:\\EMPTY\\B.TXT");
    world.FailShortPath("C:\\EMPTY\\A.TXT", platform::ERROR_FILE_NOT_FOUND);
    world.FailShortPath("C:\\EMPTY\\B.TXT", platform::ERROR_FILE_NOT_FOUND);
    TForm1& form = OpenWindow();
    DialogAnswerer answerer(&form);
    PickRootDirectory("EMPTY");
    const auto before = answerer.Seen().size();
    QTest::mouseClick(form.BtnRun, Qt::LeftButton);

    ASSERT_EQ(answerer.Seen().size(), before + 1) << "no normal verdict";
    const auto& warning = answerer.Seen().back();
    EXPECT_EQ(Readable(warning.text), Readable(app::FormatText(Texts().NoShortFormFormat, {"2", "C:\\EMPTY\\A.TXT"})));
    EXPECT_EQ(warning.title, Texts().TitleWarning);
    EXPECT_EQ(warning.buttons, std::vector<std::string>{"OK"});
}

TEST_F(MainWindowTest, WhenEntriesWereFoundTheirVerdictComesBeforeTheWarning)
{
    world.FailSearch("C:\\DATA\\Docs");
    TForm1& form = OpenWindow();
    DialogAnswerer answerer(&form);
    PickRootDirectory("DATA");
    const auto before = answerer.Seen().size();
    QTest::mouseClick(form.BtnRun, Qt::LeftButton);

    ASSERT_EQ(answerer.Seen().size(), before + 2);
    const auto& verdict = answerer.Seen()[before];
    EXPECT_EQ(Readable(verdict.text), Readable(Texts().VerdictFound));
    EXPECT_EQ(verdict.buttons, (std::vector<std::string>{"Yes", "No"}));
    const auto& warning = answerer.Seen()[before + 1];
    EXPECT_EQ(Readable(warning.text), Readable(app::FormatText(Texts().NotSearchedFormat, {"1", "C:\\DATA\\Docs\\"})));
    EXPECT_EQ(warning.title, Texts().TitleWarning);
    EXPECT_EQ(warning.buttons, std::vector<std::string>{"OK"});
}

TEST_F(MainWindowTest, ARunCanBeStartedFromTheKeyboard)
{
    TForm1& form = OpenWindow();
    DialogAnswerer answerer(&form);
    PickRootDirectory("EMPTY");
    QTest::keyClick(&form, Qt::Key_O, Qt::AltModifier);
    // An access key presses its button the way a click does, a moment later.
    for (int waited = 0; waited < 5000 && answerer.Seen().empty(); waited += 10) QTest::qWait(10);
    ASSERT_EQ(answerer.Seen().size(), 1u);
    EXPECT_EQ(Readable(answerer.Seen().back().text), Readable(Texts().VerdictNormal));
}

TEST_F(MainWindowTest, AFocusedCommandButtonTakesEnter)
{
    TForm1& form = OpenWindow();
    DialogAnswerer answerer(&form);
    PickRootDirectory("EMPTY");
    form.BtnRun->setFocus();
    QTest::keyClick(form.BtnRun, Qt::Key_Return);
    ASSERT_EQ(answerer.Seen().size(), 1u) << "Enter ran the search";
    EXPECT_EQ(Readable(answerer.Seen()[0].text), Readable(Texts().VerdictNormal));
}

TEST_F(MainWindowTest, ARootTooLongForTheFieldShowsItsBeginning)
{
    Text path = "C:\\DATA";
    for (int i = 0; i < 12; ++i) {
        path += "\\SUBDIR" + std::to_string(i);
        world.AddDirectory(path);
    }
    TForm1& form = OpenWindow();
    form.DirectoryListBox1->OpenPath(path);
    ASSERT_EQ(Readable(app::ToText(form.Edit1->text())), Readable(path));
    EXPECT_EQ(form.Edit1->cursorPosition(), 0) << "the drive and the first names are in view";
}

TEST_F(MainWindowTest, TheMenuItemAndF1OpenTheHelpFileBesideTheExecutable)
{
    for (const bool key : {false, true}) {
        TForm1& form = OpenWindow();
        if (key)
            QTest::keyClick(form.DirectoryListBox1, Qt::Key_F1);
        else
            form.MenuHelpDsp->trigger();
        EXPECT_EQ(Readable(app::Application().HelpFilePath()), "C:\\BIN\\KIVRA.HLP");
        const auto windows = QApplication::topLevelWidgets();
        EXPECT_TRUE(std::any_of(windows.begin(), windows.end(),
                                [](QWidget* w) { return qobject_cast<app::HelpViewer*>(w) && w->isVisible(); }))
            << "the viewer shows (the missing file said in it), F1 " << key;
        application.reset();
    }
}

TEST_F(MainWindowTest, ExitAsksTheProgramToEndAndLeavesTheWindowShown)
{
    TForm1& form = OpenWindow();
    form.MenuExit->trigger();
    app::Application().PumpPendingMessages();
    EXPECT_TRUE(app::Application().QuitRequested());
    EXPECT_TRUE(form.isVisible());
}

// ---- The run's long steps, off the GUI thread ---------------------------------

// The walk reaches C:\DATA\SLOW after 3,000 files and waits there, in the
// file system, until the test lets it go (or the save waits so in its first
// write to one of the result files); meanwhile the test acts on the window
// from timers, which the window still dispatches.
class LongStepsTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        world.AddDirectory("C:\\DATA\\MANY");
        for (int i = 0; i < 3000; ++i) world.AddFile("C:\\DATA\\MANY\\F" + std::to_string(i) + ".TXT");
        world.AddDirectory("C:\\DATA\\SLOW");
        world.AddDirectory("C:\\DATA\\SLOW\\DEEP");
        world.AddDrive('D', platform::DRIVE_FIXED, "WORK");
        world.AddDirectory("D:\\OTHER");
        scoped.reset();
        scoped.emplace(held.AsPlatform());
        platform::SetCurrentDirectoryA("C:\\DATA");
    }

    // Calls `whileHeld` once the walk waits in the search of C:\DATA\SLOW,
    // then lets the walk go on.
    void RunWhileTheWalkIsHeld(const std::function<void()>& whileHeld)
    {
        held.HoldSearchOf("C:\\DATA\\SLOW\\");
        RunWhileHeld(whileHeld);
        EXPECT_TRUE(done) << "the walk reached the held directory";
    }

    // Calls `whileHeld` once the save waits in its first write to `file`,
    // then lets the write go on (or fail with `error`).
    void RunWhileTheSaveIsHeld(const Text& file, const std::function<void()>& whileHeld, platform::DWORD error = 0)
    {
        held.HoldWriteTo(file, error);
        RunWhileHeld(whileHeld);
        EXPECT_TRUE(done) << "the save reached the held file";
    }

    void RunWhileHeld(const std::function<void()>& whileHeld)
    {
        done = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (done || !held.Holding()) return;
            done = true;
            whileHeld();
            held.Release();
        });
        poll.start(5);
        QTest::mouseClick(window->BtnRun, Qt::LeftButton);
    }

    // A directory opened with the mouse and with Enter, the File menu by its
    // access key and Exit by its letter, a view button, the run button, and
    // a drive picked with the keyboard.
    static void TryEverything(TForm1& form)
    {
        testing::EnterSubdirectory(*form.DirectoryListBox1, "SLOW", testing::Gesture::DoubleClick);
        testing::EnterSubdirectory(*form.DirectoryListBox1, "MANY", testing::Gesture::TypeAndEnter);
        QTest::keyClick(&form, Qt::Key_F, Qt::AltModifier);
        if (QWidget* menu = QApplication::activePopupWidget()) QTest::keyClick(menu, Qt::Key_X);
        QTest::mouseClick(form.BtnLongName, Qt::LeftButton);
        QTest::mouseClick(form.BtnRun, Qt::LeftButton);
        form.DriveComboBox1->setFocus();
        QTest::keyClick(form.DriveComboBox1, Qt::Key_Down);
        Wait(100);
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr) << "no menu opened";
    }

    // None of that took effect: one run, ended by its verdict, and nothing
    // else used the platform meanwhile.
    void ExpectNothingTookEffect(TForm1& form, int currentRow, const DialogAnswerer& answerer)
    {
        EXPECT_EQ(form.DriveComboBox1->Drive(), 'c');
        EXPECT_EQ(Readable(form.DirectoryListBox1->Directory()), "C:\\DATA");
        EXPECT_EQ(form.DirectoryListBox1->currentRow(), currentRow);
        EXPECT_EQ(Readable(app::ToText(form.Edit1->text())), "C:\\DATA");
        EXPECT_FALSE(app::Application().QuitRequested());
        ASSERT_EQ(answerer.Seen().size(), 1u) << "one run, ended by its verdict";
        EXPECT_EQ(Readable(answerer.Seen()[0].text), Readable(Texts().VerdictFound));
        EXPECT_EQ(held.CallsWhileHeld(), std::vector<std::string>{});
    }

    // Lets the window's event loop run for a while, as a user waits.
    static void Wait(int milliseconds)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < milliseconds)
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    }

    testing::HeldPlatform held{world};
    bool done = false;
};

// Counts the paint events that reach the widgets of one window.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* window) : window_(window) { qApp->installEventFilter(this); }
    ~PaintCounter() override { qApp->removeEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject* receiver, QEvent* event) override
    {
        auto* widget = qobject_cast<QWidget*>(receiver);
        if (event->type() == QEvent::Paint && widget && widget->window() == window_) ++paints;
        return false;
    }

private:
    QWidget* window_;
};

// Asks every control of the window, the selectors too, to be drawn again,
// and lets the window run a while: the paints that came.
int PaintsWhenAsked(TForm1& form, const PaintCounter& counter)
{
    const int before = counter.paints;
    form.repaint();
    for (QWidget* control : form.findChildren<QWidget*>()) control->update();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 300)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    return counter.paints - before;
}

TEST_F(LongStepsTest, TheWindowRepaintsAndCountsTheEntriesWhileTheWalkWaits)
{
    TForm1& form = OpenWindow();
    DialogAnswerer answerer(&form);
    PickRootDirectory("DATA");
    PaintCounter counter(&form);
    int paintsWhileHeld = 0;
    Text captionWhileHeld;
    RunWhileTheWalkIsHeld([&] {
        paintsWhileHeld = PaintsWhenAsked(form, counter);
        captionWhileHeld = form.Caption();
    });

    EXPECT_GT(paintsWhileHeld, 10);
    // What DATA holds before SLOW: four entries of its own, MANY and its
    // 3,000 files, and SLOW itself.
    EXPECT_EQ(Readable(captionWhileHeld),
              Readable(Texts().FormCaption + Texts().ProgressGap + Texts().ProgressLongNames +
                       app::FormatText(Texts().ProgressCountFormat, {"3006"})));
    EXPECT_EQ(held.CallsWhileHeld(), std::vector<std::string>{})
        << "nothing on the window's thread used the platform while the walk did";
    ASSERT_EQ(answerer.Seen().size(), 1u);
    EXPECT_EQ(Readable(answerer.Seen()[0].text), Readable(Texts().VerdictFound));
    EXPECT_EQ(form.LongNameList->Count(), 1u + 3006 + 1) << "the walk went on to its end: header, ..., DEEP";
}

TEST_F(LongStepsTest, UserInputDuringTheWalkDoesNothing)
{
    TForm1& form = OpenWindow();
    DialogAnswerer answerer(&form);
    PickRootDirectory("DATA");
    const int currentRow = form.DirectoryListBox1->currentRow();
    RunWhileTheWalkIsHeld([&] { TryEverything(form); });
    ExpectNothingTookEffect(form, currentRow, answerer);
}

TEST_F(LongStepsTest, AWindowCloseDuringTheWalkTakesEffectOnceTheWalkIsOver)
{
    TForm1& form = OpenWindow();
    DialogAnswerer answerer(&form);
    PickRootDirectory("DATA");
    bool quitWhileHeld = true;
    std::optional<WindowState> whenQuitTaken;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!whenQuitTaken && app::Application().QuitRequested()) whenQuitTaken = StateOf(form);
    });
    watch.start(1);
    RunWhileTheWalkIsHeld([&] {
        // The window manager's close box.
        form.windowHandle()->close();
        Wait(100);
        quitWhileHeld = app::Application().QuitRequested();
    });

    EXPECT_FALSE(quitWhileHeld) << "the close waits for the walk";
    ASSERT_TRUE(whenQuitTaken) << "and is taken after it";
    EXPECT_EQ(whenQuitTaken->caption, Texts().FormCaption + Texts().ProgressGap + Texts().ProgressShortNames)
        << "in the wait that follows the walk, as if it had come then";
    EXPECT_TRUE(form.isVisible()) << "the main window stays until the program ends";
    EXPECT_TRUE(world.FileContents("C:\\BIN\\KIVRAKOM.TXT").has_value()) << "the run went on to its end";
    EXPECT_TRUE(app::Application().QuitRequested());
}

TEST_F(LongStepsTest, RunningOutOfMemoryInTheWalkIsReportedByTheGuardAndTheProgramGoesOn)
{
    TForm1& form = OpenWindow();
    DialogAnswerer answerer(&form);
    PickRootDirectory("DATA");
    held.HoldSearchOf("C:\\DATA\\SLOW\\", [] { throw std::bad_alloc(); });
    held.Release();
    std::optional<QString> boxText;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || boxText) return;
        boxText = box->text();
        box->buttons().front()->click();
    });
    answer.start(5);
    QTest::mouseClick(form.BtnRun, Qt::LeftButton);

    ASSERT_TRUE(boxText) << "the guard's box came up";
    EXPECT_EQ(*boxText, app::ToQString(Texts().OutOfMemory + "."));
    EXPECT_TRUE(answerer.Seen().empty()) << "the rest of the run is skipped";
    EXPECT_EQ(StateOf(form).caption, Texts().FormCaption + Texts().ProgressGap + Texts().ProgressLongNames)
        << "the step's caption stays, as after any failure of the walk";
    EXPECT_EQ(StateOf(form).buttons, AllDisabled);
    form.DriveComboBox1->setFocus();
    QTest::keyClick(form.DriveComboBox1, Qt::Key_Down);
    EXPECT_EQ(form.DriveComboBox1->Drive(), 'd') << "the window goes on taking input";
}

TEST_F(LongStepsTest, TheWindowRepaintsAndCountsTheLinesWrittenWhileTheSaveWaits)
{
    TForm1& form = OpenWindow();
    DialogAnswerer answerer(&form);
    PickRootDirectory("DATA");
    PaintCounter counter(&form);
    int paintsWhileHeld = 0;
    Text captionWhileHeld;
    bool longNamesWrittenWhileHeld = false;
    RunWhileTheSaveIsHeld("KIVRASHT.TXT", [&] {
        paintsWhileHeld = PaintsWhenAsked(form, counter);
        captionWhileHeld = form.Caption();
        longNamesWrittenWhileHeld = world.FileContents("C:\\BIN\\KIVRALNG.TXT").has_value();
    });

    EXPECT_GT(paintsWhileHeld, 10);
    EXPECT_TRUE(longNamesWrittenWhileHeld) << "the first file was written before the second waited";
    // The lines of the first file and of the second (all put together before
    // its first write), counted in steps.
    // of all the lines of the five files.
    const std::size_t lines = form.LongNameList->Count() + form.ShortNameList->Count();
    const std::size_t shown = lines / scan::SaveProgress::SavedEvery * scan::SaveProgress::SavedEvery;
    const std::size_t all =
        lines + form.DifferentList->Count() + form.LongFileList->Count() + form.KomojiFileList->Count();
    EXPECT_EQ(Readable(captionWhileHeld),
              Readable(Texts().FormCaption + Texts().ProgressGap + Texts().ProgressSaving +
                       app::FormatText(Texts().ProgressLinesFormat, {std::to_string(shown), std::to_string(all)})));
    EXPECT_EQ(held.CallsWhileHeld(), std::vector<std::string>{})
        << "nothing on the window's thread used the platform while the save did";
    ASSERT_EQ(answerer.Seen().size(), 1u);
    EXPECT_EQ(Readable(answerer.Seen()[0].text), Readable(Texts().VerdictFound));
    EXPECT_TRUE(world.FileContents("C:\\BIN\\KIVRAKOM.TXT").has_value()) << "the save went on to its end";
}

TEST_F(LongStepsTest, UserInputDuringTheSaveDoesNothing)
{
    TForm1& form = OpenWindow();
    DialogAnswerer answerer(&form);
    PickRootDirectory("DATA");
    const int currentRow = form.DirectoryListBox1->currentRow();
    std::optional<WindowState> whileHeld;
    RunWhileTheSaveIsHeld("KIVRADIF.TXT", [&] {
        // The command buttons are enabled by now, and still nothing starts.
        TryEverything(form);
        whileHeld = StateOf(form);
    });

    ASSERT_TRUE(whileHeld);
    EXPECT_EQ(whileHeld->buttons, AllEnabled);
    EXPECT_EQ(whileHeld->rows, 0) << "no view was shown";
    ExpectNothingTookEffect(form, currentRow, answerer);
}

TEST_F(LongStepsTest, AFileThatCannotBeWrittenIsToldOnceTheSaveHasStopped)
{
    TForm1& form = OpenWindow();
    DialogAnswerer answerer(&form);
    PickRootDirectory("DATA");
    std::size_t dialogsWhileHeld = 1;
    RunWhileTheSaveIsHeld(
        "KIVRASHT.TXT",
        [&] {
            Wait(100);
            dialogsWhileHeld = answerer.Seen().size();
        },
        platform::ERROR_DISK_FULL);

    EXPECT_EQ(dialogsWhileHeld, 0u);
    ASSERT_EQ(answerer.Seen().size(), 1u) << "the failure alone: no verdict follows";
    EXPECT_EQ(Readable(answerer.Seen()[0].text), Readable(Texts().SaveFailedShortNames));
    EXPECT_EQ(answerer.Seen()[0].buttons, std::vector<std::string>{"Abort"});
    EXPECT_EQ(answerer.Seen()[0].window.caption, Texts().FormCaption + Texts().ProgressGap + Texts().ProgressSaving)
        << "the saving caption, without a count, while the failure is told";
    EXPECT_EQ(StateOf(form).caption, Texts().FormCaption) << "then the window's own caption";
    EXPECT_EQ(StateOf(form).buttons, AllEnabled);
    EXPECT_TRUE(world.FileContents("C:\\BIN\\KIVRALNG.TXT").has_value());
    EXPECT_FALSE(world.FileContents("C:\\BIN\\KIVRADIF.TXT").has_value()) << "no file after the failed one";
}

// ---- The cooperative wait ---------------------------------------------------

class DelayTimeTest : public MainWindowTest {
protected:
    // How many events that were pending when the wait began it handled.
    int PendingHandledDuring(std::int32_t milliseconds)
    {
        int handled = 0;
        QTimer::singleShot(0, window, [&] { ++handled; });
        window->DelayTime(milliseconds);
        return handled;
    }
    std::int32_t Counter() { return static_cast<std::int32_t>(platform::GetTickCount()); }
};

TEST_F(DelayTimeTest, WaitsUntilTheCounterPassesTheDeadline)
{
    OpenWindow();
    world.SetTicks(1000, 10);
    EXPECT_EQ(PendingHandledDuring(1000), 1);
    const std::int32_t after = Counter();
    EXPECT_GT(after, 2000);
    EXPECT_LT(after, 2100) << "the wait ends at the first reading past the deadline";
}

TEST_F(DelayTimeTest, AZeroWaitStillDispatchesOnceAndEndsWhenTheCounterMoves)
{
    OpenWindow();
    world.SetTicks(500, 1);
    EXPECT_EQ(PendingHandledDuring(0), 1);
    EXPECT_LT(Counter(), 510);
}

TEST_F(DelayTimeTest, EndsWhenTheCounterWrapsToNegative)
{
    OpenWindow();
    // The deadline 0x7FFFFFF0 fits, but the counter read as signed jumps from
    // the largest value to the smallest before it can pass it.
    world.SetTicks(0x7FFFFF00, 0x40);
    EXPECT_EQ(PendingHandledDuring(0xF0), 1);
    const std::int32_t after = Counter();
    EXPECT_LT(after, 0) << "the counter has wrapped";
    EXPECT_LT(after, INT32_MIN + 0x1000) << "the wait ended at the wrap, not a whole turn later";
}

TEST_F(DelayTimeTest, ADeadlineBeyondTheSignedRangeEndsTheWaitAtOnce)
{
    OpenWindow();
    world.SetTicks(0x7FFFFF00, 1);
    EXPECT_EQ(PendingHandledDuring(1000), 1) << "the one pass still dispatches";
    EXPECT_LT(Counter(), 0x7FFFFF10);
}

} // namespace
} // namespace kivra::ui
