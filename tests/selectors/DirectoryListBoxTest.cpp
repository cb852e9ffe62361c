// The directory list: the items it shows for a directory, the paths they
// stand for, entering directories by path, by drive and by the user's
// double-click or Enter, and what it leaves behind when that fails.

#include "selectors/DirectoryListBox.h"

#include "app/Application.h"
#include "app/QtText.h"
#include "platform/Exceptions.h"
#include "platform/WinApi.h"
#include "platform/memory/MemoryPlatform.h"
#include "tests/support/Bytes.h"

#include <QApplication>
#include <QFontMetrics>
#include <QMessageBox>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace kivra::test {
namespace {

using selectors::TDirectoryListBox;
using Image = TDirectoryListBox::Image;
using Strings = std::vector<std::string>;

struct Item {
    std::string text;
    Image image;
    friend bool operator==(const Item&, const Item&) = default;
    friend std::ostream& operator<<(std::ostream& out, const Item& item)
    {
        return out << '"' << item.text << "\" " << static_cast<int>(item.image);
    }
};
using Items = std::vector<Item>;

std::string CurrentDirectoryNow()
{
    char buffer[1024] = {};
    return std::string(buffer, platform::GetCurrentDirectoryA(sizeof buffer, buffer));
}

class DirectoryList : public ::testing::Test {
protected:
    platform::MemoryPlatform fs;
    platform::ScopedPlatform active{fs.AsPlatform()};
    Strings changes;

    DirectoryList()
    {
        fs.AddDrive('C', platform::DRIVE_FIXED, "SYS");
        for (const char* directory :
             {"C:\\Data", "C:\\Data\\Sub", "C:\\Data\\Sub\\yankee", "C:\\Data\\Sub\\Xray", "C:\\Tools"})
            fs.AddDirectory(directory);
        fs.AddFile("C:\\Data\\readme.txt");
    }

    // A list started and shown in `directory`, recording the Directory at
    // each OnChange.
    std::unique_ptr<TDirectoryListBox> StartedIn(const std::string& directory)
    {
        EXPECT_TRUE(platform::SetCurrentDirectoryA(directory.c_str())) << directory;
        auto list = std::make_unique<TDirectoryListBox>();
        list->OnChange = [this, raw = list.get()](QObject* sender) {
            EXPECT_EQ(sender, raw);
            changes.push_back(raw->Directory());
        };
        list->resize(240, 200);
        list->show();
        list->setFocus();
        return list;
    }

    static Items ItemsOf(const TDirectoryListBox& list)
    {
        Items items;
        for (int i = 0; i < list.ItemCount(); ++i) items.push_back({list.ItemText(i), list.ItemImage(i)});
        return items;
    }

    static std::vector<int> Indents(const TDirectoryListBox& list)
    {
        std::vector<int> indents;
        for (int i = 0; i < list.ItemCount(); ++i)
            indents.push_back(list.Layout(i, QRect(0, 0, 240, list.ItemHeight())).image.left());
        return indents;
    }

    static QPoint CentreOf(const TDirectoryListBox& list, int index)
    {
        return list.visualItemRect(list.item(index)).center();
    }
};

// ---- Items ----------------------------------------------------------------------

TEST_F(DirectoryList, ShowsADriveRootAsTheCurrentItemAndItsSubdirectoriesOneStepIn)
{
    auto list = StartedIn("C:\\");
    EXPECT_EQ(ItemsOf(*list),
              (Items{{"C:\\", Image::CurrentImage}, {"Data", Image::ClosedImage}, {"Tools", Image::ClosedImage}}));
    EXPECT_EQ(Indents(*list), (std::vector<int>{2, 6, 6}));
    EXPECT_EQ(list->SelectedIndex(), 0);
    EXPECT_TRUE(changes.empty()) << "filling on creation raises nothing";
}

TEST_F(DirectoryList, ShowsTheRootAndEachAncestorOpenAndTheCurrentDirectorySelected)
{
    auto list = StartedIn("C:\\Data\\Sub");
    EXPECT_EQ(ItemsOf(*list), (Items{{"C:\\", Image::OpenImage},
                                     {"Data", Image::OpenImage},
                                     {"Sub", Image::CurrentImage},
                                     {"Xray", Image::ClosedImage},
                                     {"yankee", Image::ClosedImage}}));
    EXPECT_EQ(Indents(*list), (std::vector<int>{2, 6, 10, 14, 14}));
    EXPECT_EQ(list->SelectedIndex(), 2);
}

TEST_F(DirectoryList, ShowsANetworkDirectoryBelowItsShareRoot)
{
    fs.AddDrive('Z', platform::DRIVE_REMOTE);
    fs.SetNetworkName('Z', "\\\\srv\\share");
    fs.AddDirectory("Z:\\Docs");
    fs.AddDirectory("Z:\\Docs\\One");

    auto list = StartedIn("\\\\srv\\share\\Docs");
    EXPECT_EQ(list->Drive(), '\\');
    EXPECT_EQ(
        ItemsOf(*list),
        (Items{{"\\\\srv\\share\\", Image::OpenImage}, {"Docs", Image::CurrentImage}, {"One", Image::ClosedImage}}));
    EXPECT_EQ(list->SelectedIndex(), 1);
    EXPECT_EQ(list->ItemPath(0), "\\\\srv\\share\\");
    EXPECT_EQ(list->ItemPath(2), "\\\\srv\\share\\Docs\\One");

    list->OpenPath(list->ItemPath(2));
    EXPECT_EQ(list->Directory(), "\\\\srv\\share\\Docs\\One");
    list->OpenPath(list->ItemPath(0));
    EXPECT_EQ(ItemsOf(*list), (Items{{"\\\\srv\\share\\", Image::OpenImage}, {"Docs", Image::ClosedImage}}));
    EXPECT_EQ(list->SelectedIndex(), 0) << "the share's root stands for the current directory";
}

TEST_F(DirectoryList, LeavesOutHiddenAndSystemSubdirectoriesFilesAndTheDotEntries)
{
    const std::string dir = "C:\\Data\\Sub\\Xray\\";
    fs.AddDirectory(dir + "Shown");
    fs.AddDirectory(dir + "Hidden", platform::FILE_ATTRIBUTE_DIRECTORY | platform::FILE_ATTRIBUTE_HIDDEN);
    fs.AddDirectory(dir + "System", platform::FILE_ATTRIBUTE_DIRECTORY | platform::FILE_ATTRIBUTE_SYSTEM);
    fs.AddDirectory(dir + "Archived", platform::FILE_ATTRIBUTE_DIRECTORY | platform::FILE_ATTRIBUTE_ARCHIVE);
    fs.AddFile(dir + "file.txt");

    Strings names;
    TDirectoryListBox::ReadSubdirectoryNames("C:\\Data\\Sub\\Xray", names);
    EXPECT_EQ(names, (Strings{"Archived", "Shown"}));
    fs.FailSearch("C:\\Data\\Sub\\Xray");
    names.clear();
    TDirectoryListBox::ReadSubdirectoryNames("C:\\Data\\Sub\\Xray", names);
    EXPECT_TRUE(names.empty()) << "a failed search gives no names";
}

TEST_F(DirectoryList, ListsNamesThatDifferOnlyInCaseOnceInCaseInsensitiveOrder)
{
    for (const char* name : {"beta", "Alpha", "BETA", "gamma", "ALPHA"})
        fs.AddDirectory(std::string("C:\\Tools\\") + name);
    Strings names;
    TDirectoryListBox::ReadSubdirectoryNames("C:\\Tools", names);
    EXPECT_EQ(names, (Strings{"Alpha", "beta", "gamma"}));
}

TEST_F(DirectoryList, DrawsNamesInLowerCaseOnlyOnAVolumeThatNeitherPreservesNorHeedsCase)
{
    fs.AddDrive('F', platform::DRIVE_FIXED, "OLD", 0);
    fs.AddDirectory("F:\\MIXED");
    fs.AddDirectory("F:\\MIXED\\INNER");
    auto list = StartedIn("F:\\MIXED");
    EXPECT_EQ(list->DisplayText(list->ItemText(1)), "mixed");
    EXPECT_EQ(list->item(2)->text(), QStringLiteral("inner"));
    EXPECT_EQ(list->ItemPath(2), "F:\\MIXED\\INNER");

    fs.AddDrive('E', platform::DRIVE_CDROM);
    fs.AddDirectory("E:\\Disc");
    fs.FailVolumeInformation('E');
    list->SetDirectory("E:\\Disc");
    EXPECT_TRUE(list->PreservesCase()) << "what a failed volume query leaves";
    EXPECT_EQ(list->DisplayText(list->ItemText(1)), "Disc");
}

TEST_F(DirectoryList, SplitsPathsAtBackslashesButNeverAtSecondBytes)
{
    // 表 (95 5C) and ソ (83 5C) end in the byte of a backslash.
    const std::string hyo = Bytes("95 5C");
    const std::string so = Bytes("83 5C");
    fs.AddDirectory("C:\\" + hyo);
    fs.AddDirectory("C:\\" + hyo + "\\" + so);
    fs.AddDirectory("C:\\" + hyo + "\\" + so + "\\" + hyo + so);
    auto list = StartedIn("C:\\" + hyo + "\\" + so);

    EXPECT_EQ(ItemsOf(*list), (Items{{"C:\\", Image::OpenImage},
                                     {hyo, Image::OpenImage},
                                     {so, Image::CurrentImage},
                                     {hyo + so, Image::ClosedImage}}));
    EXPECT_EQ(Hex(list->ItemPath(1)), Hex("C:\\" + hyo));
    EXPECT_EQ(Hex(list->ItemPath(3)), Hex("C:\\" + hyo + "\\" + so + "\\" + hyo + so));
}

TEST_F(DirectoryList, GivesEachItemThePathItStandsFor)
{
    fs.AddDirectory("C:\\Data\\Sub\\Xray\\Deep");
    auto list = StartedIn("C:\\Data\\Sub\\Xray");
    const Strings paths{list->ItemPath(0), list->ItemPath(1), list->ItemPath(2), list->ItemPath(3),
                        list->ItemPath(4), list->ItemPath(5), list->ItemPath(-1)};
    EXPECT_EQ(paths, (Strings{"C:\\", "C:\\Data", "C:\\Data\\Sub", "C:\\Data\\Sub\\Xray", "C:\\Data\\Sub\\Xray\\Deep",
                              "", ""}));
}

// ---- Entering directories ------------------------------------------------------------------

TEST_F(DirectoryList, EntersAPathRefillsAndMakesItTheProcesssCurrentDirectory)
{
    auto list = StartedIn("C:\\");
    list->SetDirectory("C:\\Data\\Sub");
    EXPECT_EQ(list->Directory(), "C:\\Data\\Sub");
    EXPECT_EQ(CurrentDirectoryNow(), "C:\\Data\\Sub");
    EXPECT_EQ(list->SelectedIndex(), 2);
    EXPECT_EQ(changes, (Strings{"C:\\Data\\Sub"}));
}

TEST_F(DirectoryList, EntersTheDirectoryThatAFileWildcardRelativeOrLongPathLeadsTo)
{
    std::string longName;
    for (int i = 0; i < 150; ++i) longName += Bytes("8A BF"); // 漢: 300 bytes in all
    fs.AddDirectory("C:\\Tools\\" + longName);
    const std::pair<std::string, std::string> cases[] = {
        {"C:\\Data\\readme.txt", "C:\\Data"},
        {"C:\\Data\\Sub\\*.txt", "C:\\Data\\Sub"},
        {"Xray", "C:\\Data\\Sub\\Xray"},
        {"C:\\Tools\\a?c", "C:\\Tools"},
        {"C:\\Tools\\" + longName, "C:\\Tools\\" + longName},
        {"C:", "C:\\Tools\\" + longName},
    };
    auto list = StartedIn("C:\\");
    for (const auto& [text, directory] : cases) {
        list->SetDirectory(text);
        EXPECT_EQ(list->Directory(), directory) << text;
    }
    EXPECT_EQ(changes.size(), std::size(cases)) << "entering raises OnChange even where it stays";
}

TEST_F(DirectoryList, DoesNothingForItsOwnDirectoryInTheVolumesIdeaOfCase)
{
    auto list = StartedIn("C:\\Data");
    list->SetDirectory("C:\\DATA");
    list->SetDirectory("");
    EXPECT_TRUE(changes.empty());

    fs.AddDrive('U', platform::DRIVE_FIXED, "UNIX", platform::FS_CASE_SENSITIVE | platform::FS_CASE_IS_PRESERVED);
    fs.AddDirectory("U:\\Home");
    list->SetDirectory("U:\\Home");
    EXPECT_TRUE(list->CaseSensitive());
    EXPECT_EQ(list->ComparePaths("U:\\Home", "U:\\Home"), 0);
    EXPECT_NE(list->ComparePaths("U:\\HOME", "U:\\Home"), 0);
}

TEST_F(DirectoryList, RaisesForAMissingPathWithTheSystemsCodeAndChangesNothing)
{
    fs.AddDrive('D', platform::DRIVE_FIXED);
    fs.AddDirectory("D:\\Work");
    fs.AddDrive('E', platform::DRIVE_CDROM);
    fs.SetNotReady('E');
    auto list = StartedIn("C:\\Data\\Sub");
    list->setCurrentRow(3);
    const Items before = ItemsOf(*list);
    ASSERT_TRUE(platform::SetCurrentDirectoryA("D:\\Work"));

    const std::pair<const char*, platform::DWORD> cases[] = {
        {"C:\\Nowhere\\Deeper\\Still", platform::ERROR_PATH_NOT_FOUND},
        {"C:\\Data\\Nothing", platform::ERROR_FILE_NOT_FOUND},
        {"Q:\\", platform::ERROR_PATH_NOT_FOUND},
        {"E:\\", platform::ERROR_NOT_READY}};
    for (const auto& [missing, code] : cases) {
        try {
            list->SetDirectory(missing);
            ADD_FAILURE() << "no error for " << missing;
        } catch (const EInOutError& error) {
            EXPECT_EQ(error.ErrorCode(), code) << missing;
        }
        EXPECT_EQ(list->Directory(), "C:\\Data\\Sub");
        EXPECT_EQ(ItemsOf(*list), before);
        EXPECT_EQ(list->SelectedIndex(), 3);
        EXPECT_EQ(CurrentDirectoryNow(), "D:\\Work") << "the current directory is back after " << missing;
    }
    EXPECT_TRUE(changes.empty());
}

// ---- Drives ------------------------------------------------------------------------------

TEST_F(DirectoryList, MovesToAnotherDrivesOwnCurrentDirectoryButNotToItsOwnInTheOtherCase)
{
    fs.AddDrive('D', platform::DRIVE_FIXED);
    fs.AddDirectory("D:\\Work");
    ASSERT_TRUE(platform::SetCurrentDirectoryA("D:\\Work"));
    fs.AddDrive('E', platform::DRIVE_CDROM);
    fs.SetNotReady('E');
    auto list = StartedIn("C:\\Data");

    list->SetDrive('c');
    EXPECT_THROW(list->SetDrive('e'), EInOutError);
    EXPECT_EQ(list->Directory(), "C:\\Data");
    list->SetDrive('d');
    EXPECT_EQ(list->Directory(), "D:\\Work");
    EXPECT_EQ(CurrentDirectoryNow(), "D:\\Work");
    EXPECT_EQ(list->ItemText(1), "Work");
    EXPECT_EQ(changes, (Strings{"D:\\Work"}));
}

TEST_F(DirectoryList, SwitchesThroughALinkedDriveSelectorWhenAPathNamesAnotherDrive)
{
    fs.AddDrive('D', platform::DRIVE_FIXED, "DATA");
    fs.AddDirectory("D:\\Work");
    auto list = StartedIn("C:\\");
    selectors::TDriveComboBox combo;
    combo.CreateHandle();
    combo.SetDirList(list.get());
    int comboChanges = 0;
    combo.OnChange = [&](QObject*) {
        ++comboChanges;
        EXPECT_TRUE(list->ChangingPath());
    };

    list->SetDirectory("D:\\Work");
    EXPECT_EQ(combo.Drive(), 'd');
    EXPECT_EQ(comboChanges, 1);
    EXPECT_FALSE(list->ChangingPath());
    EXPECT_EQ(changes, (Strings{"D:\\Work"})) << "one change for the whole move";
}

// ---- The user's actions -----------------------------------------------------------------------

TEST_F(DirectoryList, OpensAnAncestorOrASubdirectoryOnDoubleClickButNotTheCurrentItemOrOnAClick)
{
    fs.AddDirectory("C:\\Data\\Archive");
    auto list = StartedIn("C:\\Data\\Sub");
    Strings events;
    list->OnClick = [&](QObject*) { events.push_back("click"); };
    list->OnDblClick = [&](QObject*) { events.push_back("double-click"); };

    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, CentreOf(*list, 0));
    EXPECT_EQ(list->SelectedIndex(), 0);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, CentreOf(*list, 2));
    EXPECT_TRUE(changes.empty());

    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, CentreOf(*list, 1));
    EXPECT_EQ(list->Directory(), "C:\\Data");
    ASSERT_EQ(list->ItemText(2), "Archive");
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, CentreOf(*list, 2));
    EXPECT_EQ(CurrentDirectoryNow(), "C:\\Data\\Archive");
    EXPECT_EQ(changes, (Strings{"C:\\Data", "C:\\Data\\Archive"}));
    EXPECT_EQ(events, (Strings{"click", "click", "double-click", "click", "double-click", "click", "double-click"}));
}

TEST_F(DirectoryList, EntersASubdirectoryWhoseShownNameNoPathCanHoldByItsShortName)
{
    // "?" stands for a character the code page cannot hold; the alias is the
    // name any path reaches the directory by.
    fs.AddDirectory("C:\\Data\\?n?", platform::FILE_ATTRIBUTE_DIRECTORY, "_N_~1");
    auto list = StartedIn("C:\\Data");
    const Items items = ItemsOf(*list);
    const auto found = std::find(items.begin(), items.end(), Item{"?n?", Image::ClosedImage});
    ASSERT_NE(found, items.end()) << "the list shows the name as its directory does";
    const int row = static_cast<int>(found - items.begin());
    EXPECT_EQ(list->ItemPath(row), "C:\\Data\\_N_~1");
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, CentreOf(*list, row));
    EXPECT_EQ(list->Directory(), "C:\\Data\\_N_~1");
    EXPECT_EQ(changes, Strings{"C:\\Data\\_N_~1"});
}

TEST_F(DirectoryList, OpensTheSelectedItemOnEnterButNotOnOtherKeys)
{
    auto list = StartedIn("C:\\Data\\Sub");
    QTest::keyClick(list.get(), Qt::Key_Down);
    EXPECT_EQ(list->SelectedIndex(), 3);
    QTest::keyClick(list.get(), Qt::Key_Space);
    QTest::keyClick(list.get(), Qt::Key_Right);
    EXPECT_TRUE(changes.empty());

    QTest::keyClick(list.get(), Qt::Key_Return);
    EXPECT_EQ(changes, (Strings{"C:\\Data\\Sub\\Xray"}));
}

TEST_F(DirectoryList, LetsTheKeyPressHandlerReplaceOrDropTheKey)
{
    auto list = StartedIn("C:\\Data\\Sub");
    list->OnKeyPress = [](QObject*, char& key) { key = key == 'o' ? '\r' : key == '\r' ? '\0' : key; };
    QTest::keyClick(list.get(), Qt::Key_Return);
    EXPECT_EQ(list->Directory(), "C:\\Data\\Sub");

    list->setCurrentRow(0);
    QTest::keyClick(list.get(), Qt::Key_O);
    EXPECT_EQ(list->Directory(), "C:\\");
}

TEST_F(DirectoryList, SelectsTheItemWhoseNameBeginsWithTheLettersTyped)
{
    for (const char* name : {"C:\\Tools\\alpha", "C:\\Tools\\beta", "C:\\Tools\\bravo"}) fs.AddDirectory(name);
    auto list = StartedIn("C:\\Tools");
    QTest::keyClicks(list.get(), "br");
    EXPECT_EQ(list->ItemText(list->SelectedIndex()), "bravo");
    EXPECT_TRUE(changes.empty());
}

TEST_F(DirectoryList, ShowsTheFailureOfADoubleClickThroughTheHandlerGuardAndStays)
{
    fs.SetModuleFileName("C:\\KIVRA.EXE");
    app::TApplication application;
    auto list = StartedIn("C:\\Data\\Sub");
    fs.SetNotReady('C');

    // The message box is modal: read and close it from within its loop.
    std::string shown;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            answer.stop();
            shown = app::ToText(box->text());
            box->accept();
        }
    });
    answer.start(5);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, CentreOf(*list, 3));
    answer.stop();

    EXPECT_EQ(shown, EInOutError(platform::ERROR_NOT_READY).Message() + ".");
    EXPECT_EQ(list->Directory(), "C:\\Data\\Sub");
    EXPECT_EQ(list->ItemText(3), "Xray");
    EXPECT_TRUE(changes.empty());
}

// ---- Linked controls ---------------------------------------------------------------------

TEST_F(DirectoryList, GivesItsDirectoryToALinkedFileListAndForgetsItWhenDestroyed)
{
    auto list = StartedIn("C:\\");
    auto files = std::make_unique<selectors::TFileListBox>();
    list->SetFileList(files.get());
    EXPECT_EQ(files->DirList(), list.get());
    list->SetDirectory("C:\\Data");
    EXPECT_EQ(files->Directory(), "C:\\Data");

    files.reset();
    EXPECT_EQ(list->FileList(), nullptr);
    list->SetDirectory("C:\\Tools");
    EXPECT_EQ(list->Directory(), "C:\\Tools");
}

TEST_F(DirectoryList, ShowsItsDirectoryInALinkedLabelShortenedToTheListsWidth)
{
    fs.AddDirectory("C:\\Data\\Sub\\Xray\\Long directory name");
    auto list = StartedIn("C:\\Data\\Sub\\Xray\\Long directory name");
    list->resize(150, 100);
    selectors::TLabel label;
    list->SetDirLabel(&label);
    EXPECT_LE(QFontMetrics(label.font()).horizontalAdvance(label.text()), 150);
    EXPECT_TRUE(label.text().endsWith(QStringLiteral("...\\Long directory name"))) << label.text().toStdString();
    EXPECT_TRUE(changes.empty()) << "linking a label changes no directory";

    list->resize(2000, 100);
    list->SetDirectory("C:\\Data\\Sub");
    EXPECT_EQ(label.text(), QStringLiteral("C:\\Data\\Sub"));

    label.SetAutoSize(false);
    label.resize(60, 20);
    list->SetDirectory("C:\\Data\\Sub\\Xray");
    EXPECT_LE(QFontMetrics(label.font()).horizontalAdvance(label.text()), 60) << "its own width without AutoSize";
    EXPECT_EQ(label.width(), 60);
}

TEST(ShortenPathToWidth, ReplacesLeadingDirectoriesFirstThenDropsTheDrive)
{
    QFont font;
    font.setPixelSize(12);
    const QFontMetrics metrics(font);
    const std::string path = "C:\\Alpha\\Beta\\Gamma\\File";
    for (const char* fits : {"C:\\Alpha\\Beta\\Gamma\\File", "C:\\...\\Beta\\Gamma\\File", "C:\\...\\Gamma\\File",
                             "C:\\...\\File", "...\\File"})
        EXPECT_EQ(selectors::ShortenPathToWidth(path, metrics, metrics.horizontalAdvance(QString::fromLatin1(fits))),
                  fits);
    EXPECT_EQ(selectors::ShortenPathToWidth(path, metrics, 1), "File");
    EXPECT_EQ(selectors::ShortenPathToWidth("C:\\File", metrics, 1), "File");
}

// ---- Item height ---------------------------------------------------------------------------

TEST_F(DirectoryList, TakesItsItemHeightFromTheFontButNeverBelowTheImageAndRefillsOnAChange)
{
    auto list = StartedIn("C:\\Tools");
    fs.AddDirectory("C:\\Tools\\Later");
    QFont tiny = list->font();
    tiny.setPixelSize(6);
    list->setFont(tiny);
    EXPECT_EQ(list->ItemHeight(), 16);

    QFont large = list->font();
    large.setPixelSize(40);
    list->setFont(large);
    EXPECT_EQ(list->ItemHeight(), QFontMetrics(large).height());
    EXPECT_EQ(list->visualItemRect(list->item(0)).height(), list->ItemHeight());
    EXPECT_EQ(list->ItemText(list->ItemCount() - 1), "Later");
    EXPECT_EQ(list->SelectedIndex(), 1);
    EXPECT_TRUE(changes.empty());
}

// ---- Free routines ---------------------------------------------------------------------------

TEST_F(DirectoryList, TellsExistingDirectoriesFromFilesAndMissingOrUnreadyPaths)
{
    fs.AddDrive('E', platform::DRIVE_CDROM);
    fs.SetNotReady('E');
    EXPECT_TRUE(selectors::IsExistingDirectory("C:\\"));
    EXPECT_TRUE(selectors::IsExistingDirectory("C:\\Data\\Sub"));
    EXPECT_FALSE(selectors::IsExistingDirectory("C:\\Data\\readme.txt"));
    EXPECT_FALSE(selectors::IsExistingDirectory("C:\\Missing"));
    EXPECT_FALSE(selectors::IsExistingDirectory("E:\\"));
}

TEST(PathParts, DriveOfLetterAndNetworkPathsAndJoiningNeverSplitsACharacter)
{
    const std::string hyo = Bytes("95 5C"); // 表, whose second byte is a backslash's
    const std::pair<std::string, std::string> drives[] = {{"C:\\Data", "C:"},
                                                          {"C:", "C:"},
                                                          {"\\\\host\\share\\dir\\x", "\\\\host\\share"},
                                                          {"\\\\host\\share", "\\\\host\\share"},
                                                          {"\\\\host", "\\\\host"},
                                                          {"\\Data", ""},
                                                          {"Data", ""},
                                                          {"\\\\" + hyo + "\\s\\d", "\\\\" + hyo + "\\s"}};
    for (const auto& [path, drive] : drives) EXPECT_EQ(Hex(selectors::PathDrive(path)), Hex(drive)) << path;
    EXPECT_EQ(selectors::JoinPath("C:\\", "x"), "C:\\x");
    EXPECT_EQ(selectors::JoinPath("C:\\Data", "x"), "C:\\Data\\x");
    EXPECT_EQ(Hex(selectors::JoinPath("C:\\" + hyo, "x")), Hex("C:\\" + hyo + "\\x"));
}

TEST_F(DirectoryList, NeverLosesItsSelectionAndEnterOpensTheSelectedItem)
{
    auto list = StartedIn("C:\\Data");
    ASSERT_TRUE(QTest::qWaitForWindowExposed(list.get()));
    const QRect tools = list->visualItemRect(list->item(0));
    // Ctrl+click on the selected item, then on another: one item stays selected.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      list->visualItemRect(list->item(1)).center());
    EXPECT_EQ(list->SelectedIndex(), 1);
    EXPECT_EQ(list->selectedItems().size(), 1);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, tools.center());
    EXPECT_EQ(list->SelectedIndex(), 0);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, tools.center());
    EXPECT_EQ(list->SelectedIndex(), 0) << "a second Ctrl+click leaves it selected";
    QTest::keyClick(list.get(), Qt::Key_Return);
    EXPECT_EQ(list->Directory(), "C:\\") << "Enter opens the item that is shown selected";
}

TEST_F(DirectoryList, AListFilledAnewStartsAtItsTopAndShowsTheSelectedItem)
{
    for (int i = 0; i < 30; ++i) fs.AddDirectory("C:\\Data\\Sub\\Many" + std::to_string(10 + i));
    auto list = StartedIn("C:\\Data\\Sub");
    list->resize(240, 95);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(list.get()));
    list->scrollToItem(list->item(list->count() - 1));
    ASSERT_GT(list->verticalScrollBar()->value(), 0);
    list->OpenPath("C:\\Data");
    EXPECT_EQ(list->verticalScrollBar()->value(), 0);
    EXPECT_TRUE(list->viewport()->rect().contains(list->visualItemRect(list->item(list->SelectedIndex())).center()));

    // Deep enough that the selected item is below the first rows: it is shown.
    list->OpenPath("C:\\Data\\Sub");
    list->resize(240, 40);
    list->OpenPath("C:\\Data\\Sub\\Xray");
    EXPECT_TRUE(list->viewport()->rect().contains(list->visualItemRect(list->item(list->SelectedIndex())).center()));
}

TEST_F(DirectoryList, RowsAskForNoWidthSoTheListNeverScrollsSideways)
{
    fs.AddDirectory("C:\\Data\\" + std::string(80, 'W'));
    auto list = StartedIn("C:\\Data");
    ASSERT_TRUE(QTest::qWaitForWindowExposed(list.get()));
    QTest::qWait(20);
    EXPECT_FALSE(list->horizontalScrollBar()->isVisible());
}

} // namespace
} // namespace kivra::test
