// The directory list: the items it shows for a directory, the paths they
// stand for, entering directories by path, by drive and by the user's
// double-click or Enter, and what it leaves behind when that fails.

#include "selectors/DirectoryListBox.h"

#include "app/Application.h"
#include "app/QtText.h"
#include "platform/Exceptions.h"
#include "tests/selectors/SelectorWorld.h"
#include "tests/support/Bytes.h"

#include <QApplication>
#include <QFontMetrics>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace kivra::test {
namespace {

using platform::MemoryPlatform;
using selectors::TDirectoryListBox;
using Image = TDirectoryListBox::Image;

struct Item {
    std::string text;
    Image image;
    friend bool operator==(const Item&, const Item&) = default;
    friend std::ostream& operator<<(std::ostream& out, const Item& item)
    {
        return out << '"' << item.text << "\" " << static_cast<int>(item.image);
    }
};

class DirectoryList : public ::testing::Test {
protected:
    MemoryPlatform fs;
    platform::ScopedPlatform active{fs.AsPlatform()};
    std::vector<std::string> changes;

    DirectoryList()
    {
        fs.AddDrive('C', platform::DRIVE_FIXED, "SYS");
        fs.AddDirectory("C:\\Data");
        fs.AddDirectory("C:\\Data\\Sub");
        fs.AddDirectory("C:\\Data\\Sub\\yankee");
        fs.AddDirectory("C:\\Data\\Sub\\Xray");
        fs.AddFile("C:\\Data\\readme.txt");
        fs.AddDirectory("C:\\Tools");
    }

    // A list started in `directory`, its window created, its OnChange
    // recorded with the Directory at that moment.
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
        EXPECT_TRUE(list->HandleAllocated());
        return list;
    }

    static std::vector<Item> Items(const TDirectoryListBox& list)
    {
        std::vector<Item> items;
        for (int i = 0; i < list.ItemCount(); ++i)
            items.push_back({list.ItemText(i), list.ItemImage(i)});
        return items;
    }

    static int ImageLeft(const TDirectoryListBox& list, int index)
    {
        return list.Layout(index, QRect(0, 0, 240, list.ItemHeight())).image.left();
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
    EXPECT_EQ(Items(*list), (std::vector<Item>{{"C:\\", Image::CurrentImage},
                                               {"Data", Image::ClosedImage},
                                               {"Tools", Image::ClosedImage}}));
    EXPECT_EQ(list->SelectedIndex(), 0);
    EXPECT_EQ(ImageLeft(*list, 0), 2);
    EXPECT_EQ(ImageLeft(*list, 1), 6);
    EXPECT_EQ(ImageLeft(*list, 2), 6);
    EXPECT_TRUE(changes.empty()) << "filling on creation raises nothing";
}

TEST_F(DirectoryList, ShowsTheRootAndEachAncestorOpenAndTheCurrentDirectorySelected)
{
    auto list = StartedIn("C:\\Data\\Sub");
    EXPECT_EQ(Items(*list), (std::vector<Item>{{"C:\\", Image::OpenImage},
                                               {"Data", Image::OpenImage},
                                               {"Sub", Image::CurrentImage},
                                               {"Xray", Image::ClosedImage},
                                               {"yankee", Image::ClosedImage}}));
    EXPECT_EQ(list->SelectedIndex(), 2);
    EXPECT_EQ(list->PathItemCount(), 3);
    const std::vector<int> indents{ImageLeft(*list, 0), ImageLeft(*list, 1), ImageLeft(*list, 2),
                                   ImageLeft(*list, 3), ImageLeft(*list, 4)};
    EXPECT_EQ(indents, (std::vector<int>{2, 6, 10, 14, 14}));
}

TEST_F(DirectoryList, ShowsANetworkDirectoryBelowItsShareRoot)
{
    fs.AddDrive('Z', platform::DRIVE_REMOTE);
    fs.SetNetworkName('Z', "\\\\srv\\share");
    fs.AddDirectory("Z:\\Docs");
    fs.AddDirectory("Z:\\Docs\\One");
    ShareView share(fs, 'Z', "\\\\srv\\share");
    platform::ScopedPlatform viaShare(platform::Platform{&share, nullptr, nullptr});

    auto list = StartedIn("\\\\srv\\share\\Docs");
    EXPECT_EQ(list->Directory(), "\\\\srv\\share\\Docs");
    EXPECT_EQ(list->Drive(), '\\');
    EXPECT_EQ(Items(*list), (std::vector<Item>{{"\\\\srv\\share\\", Image::OpenImage},
                                               {"Docs", Image::CurrentImage},
                                               {"One", Image::ClosedImage}}));
    EXPECT_EQ(list->SelectedIndex(), 1);
    EXPECT_EQ(list->ItemPath(0), "\\\\srv\\share\\");
    EXPECT_EQ(list->ItemPath(2), "\\\\srv\\share\\Docs\\One");

    list->OpenPath(list->ItemPath(2));
    EXPECT_EQ(list->Directory(), "\\\\srv\\share\\Docs\\One");
    EXPECT_EQ(Items(*list).at(1), (Item{"Docs", Image::OpenImage}));
}

TEST_F(DirectoryList, LeavesOutHiddenAndSystemSubdirectoriesFilesAndTheDotEntries)
{
    fs.AddDirectory("C:\\Data\\Sub\\Xray\\Shown");
    fs.AddDirectory("C:\\Data\\Sub\\Xray\\Hidden", platform::FILE_ATTRIBUTE_DIRECTORY | platform::FILE_ATTRIBUTE_HIDDEN);
    fs.AddDirectory("C:\\Data\\Sub\\Xray\\System", platform::FILE_ATTRIBUTE_DIRECTORY | platform::FILE_ATTRIBUTE_SYSTEM);
    fs.AddDirectory("C:\\Data\\Sub\\Xray\\Archived", platform::FILE_ATTRIBUTE_DIRECTORY | platform::FILE_ATTRIBUTE_ARCHIVE);
    fs.AddFile("C:\\Data\\Sub\\Xray\\file.txt");

    auto list = StartedIn("C:\\Data\\Sub\\Xray");
    std::vector<std::string> subdirectories;
    for (int i = list->PathItemCount(); i < list->ItemCount(); ++i)
        subdirectories.push_back(list->ItemText(i));
    EXPECT_EQ(subdirectories, (std::vector<std::string>{"Archived", "Shown"}));
}

TEST_F(DirectoryList, ListsNamesThatDifferOnlyInCaseOnceInCaseInsensitiveOrder)
{
    fs.AddDirectory("C:\\Tools\\beta");
    fs.AddDirectory("C:\\Tools\\Alpha");
    fs.AddDirectory("C:\\Tools\\BETA");
    fs.AddDirectory("C:\\Tools\\gamma");
    fs.AddDirectory("C:\\Tools\\ALPHA");

    std::vector<std::string> names;
    TDirectoryListBox::ReadSubdirectoryNames("C:\\Tools", names);
    EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "beta", "gamma"}));
}

TEST_F(DirectoryList, FindsNoSubdirectoriesWhereTheSearchFails)
{
    fs.FailSearch("C:\\Data\\Sub");
    auto list = StartedIn("C:\\Data\\Sub");
    EXPECT_EQ(list->ItemCount(), 3);
    EXPECT_EQ(list->PathItemCount(), 3);
}

TEST_F(DirectoryList, DrawsNamesInLowerCaseOnAVolumeThatNeitherPreservesNorHeedsCase)
{
    fs.AddDrive('F', platform::DRIVE_FIXED, "OLD", 0);
    fs.AddDirectory("F:\\MIXED");
    fs.AddDirectory("F:\\MIXED\\INNER");
    auto list = StartedIn("F:\\MIXED");

    EXPECT_FALSE(list->PreservesCase());
    EXPECT_FALSE(list->CaseSensitive());
    EXPECT_EQ(list->ItemText(1), "MIXED");
    EXPECT_EQ(list->DisplayText(list->ItemText(1)), "mixed");
    EXPECT_EQ(list->item(2)->text().toStdString(), "inner");
    EXPECT_EQ(list->ItemPath(2), "F:\\MIXED\\INNER");
    EXPECT_EQ(list->Directory(), "F:\\MIXED");
}

TEST_F(DirectoryList, KeepsNamesAsStoredOnAVolumeThatPreservesCase)
{
    auto list = StartedIn("C:\\Data");
    EXPECT_TRUE(list->PreservesCase());
    EXPECT_EQ(list->DisplayText("MiXeD"), "MiXeD");
}

TEST_F(DirectoryList, KeepsNamesAsStoredWhenTheVolumeCannotBeQueried)
{
    fs.AddDrive('E', platform::DRIVE_CDROM);
    fs.AddDirectory("E:\\Disc");
    fs.FailVolumeInformation('E');
    auto list = StartedIn("E:\\Disc");
    EXPECT_TRUE(list->PreservesCase());
    EXPECT_FALSE(list->CaseSensitive());
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

    EXPECT_EQ(Items(*list), (std::vector<Item>{{"C:\\", Image::OpenImage},
                                               {hyo, Image::OpenImage},
                                               {so, Image::CurrentImage},
                                               {hyo + so, Image::ClosedImage}}));
    EXPECT_EQ(Hex(list->ItemPath(1)), Hex("C:\\" + hyo));
    EXPECT_EQ(Hex(list->ItemPath(3)), Hex("C:\\" + hyo + "\\" + so + "\\" + hyo + so));
}

// ---- Paths of items ---------------------------------------------------------------------

TEST_F(DirectoryList, GivesEachItemThePathItStandsFor)
{
    fs.AddDirectory("C:\\Data\\Sub\\Xray\\Deep");
    auto list = StartedIn("C:\\Data\\Sub\\Xray");
    EXPECT_EQ(list->ItemPath(0), "C:\\");
    EXPECT_EQ(list->ItemPath(1), "C:\\Data");
    EXPECT_EQ(list->ItemPath(2), "C:\\Data\\Sub");
    EXPECT_EQ(list->ItemPath(3), "C:\\Data\\Sub\\Xray");
    EXPECT_EQ(list->ItemPath(4), "C:\\Data\\Sub\\Xray\\Deep");
    EXPECT_EQ(list->ItemPath(5), "");
    EXPECT_EQ(list->ItemPath(-1), "") << "no selection stands for nothing";
}

// ---- Entering directories ------------------------------------------------------------------

TEST_F(DirectoryList, EntersAPathRefillsAndMakesItTheProcesssCurrentDirectory)
{
    auto list = StartedIn("C:\\");
    list->SetDirectory("C:\\Data\\Sub");
    EXPECT_EQ(list->Directory(), "C:\\Data\\Sub");
    EXPECT_EQ(CurrentDirectoryNow(), "C:\\Data\\Sub");
    EXPECT_EQ(list->SelectedIndex(), 2);
    EXPECT_EQ(changes, (std::vector<std::string>{"C:\\Data\\Sub"}));
}

TEST_F(DirectoryList, DoesNothingForItsOwnDirectoryInAnyCaseOnACaseInsensitiveVolume)
{
    auto list = StartedIn("C:\\Data");
    list->SetDirectory("C:\\DATA");
    list->SetDirectory("");
    EXPECT_TRUE(changes.empty());
}

TEST_F(DirectoryList, TakesOtherCaseForAnotherPathOnACaseSensitiveVolume)
{
    fs.AddDrive('U', platform::DRIVE_FIXED, "UNIX", platform::FS_CASE_SENSITIVE | platform::FS_CASE_IS_PRESERVED);
    fs.AddDirectory("U:\\Home");
    auto list = StartedIn("U:\\Home");
    EXPECT_TRUE(list->CaseSensitive());
    EXPECT_NE(list->ComparePaths("U:\\HOME", "U:\\Home"), 0);
    EXPECT_EQ(list->ComparePaths("U:\\Home", "U:\\Home"), 0);
}

TEST_F(DirectoryList, EntersTheDirectoryOfAFilesPath)
{
    auto list = StartedIn("C:\\");
    list->SetDirectory("C:\\Data\\readme.txt");
    EXPECT_EQ(list->Directory(), "C:\\Data");
}

TEST_F(DirectoryList, EntersTheDirectoryBeforeAWildcardName)
{
    auto list = StartedIn("C:\\");
    list->SetDirectory("C:\\Data\\Sub\\*.txt");
    EXPECT_EQ(list->Directory(), "C:\\Data\\Sub");
    list->SetDirectory("C:\\Tools\\a?c");
    EXPECT_EQ(list->Directory(), "C:\\Tools");
}

TEST_F(DirectoryList, EntersARelativePathFromTheCurrentDirectory)
{
    auto list = StartedIn("C:\\Data");
    list->SetDirectory("Sub");
    EXPECT_EQ(list->Directory(), "C:\\Data\\Sub");
}

TEST_F(DirectoryList, EntersANameLongerThan255Bytes)
{
    std::string name;
    for (int i = 0; i < 150; ++i)
        name += Bytes("8A BF");  // 漢, 300 bytes in all
    fs.AddDirectory("C:\\Data\\" + name);
    auto list = StartedIn("C:\\");
    list->SetDirectory("C:\\Data\\" + name);
    EXPECT_EQ(list->Directory(), "C:\\Data\\" + name);
}

TEST_F(DirectoryList, RaisesForAMissingPathAndChangesNothing)
{
    auto list = StartedIn("C:\\Data\\Sub");
    list->setCurrentRow(3);
    const auto before = Items(*list);

    for (const std::string missing : {"C:\\Nowhere\\Deeper", "C:\\Data\\Nothing", "Q:\\"}) {
        EXPECT_THROW(list->SetDirectory(missing), EInOutError) << missing;
        EXPECT_EQ(list->Directory(), "C:\\Data\\Sub");
        EXPECT_EQ(Items(*list), before);
        EXPECT_EQ(list->SelectedIndex(), 3);
        EXPECT_EQ(CurrentDirectoryNow(), "C:\\Data\\Sub") << "the current directory is back";
    }
    EXPECT_TRUE(changes.empty());
}

TEST_F(DirectoryList, RestoresTheCurrentDirectoryItFoundWhenAPathFails)
{
    fs.AddDrive('D', platform::DRIVE_FIXED);
    fs.AddDirectory("D:\\Work");
    auto list = StartedIn("C:\\Data");
    ASSERT_TRUE(platform::SetCurrentDirectoryA("D:\\Work"));

    EXPECT_THROW(list->SetDirectory("C:\\Data\\Missing"), EInOutError);
    EXPECT_EQ(CurrentDirectoryNow(), "D:\\Work");
}

TEST_F(DirectoryList, CarriesTheSystemsErrorCode)
{
    fs.AddDrive('E', platform::DRIVE_CDROM);
    fs.SetNotReady('E');
    auto list = StartedIn("C:\\");
    try {
        list->SetDirectory("E:\\");
        FAIL() << "no error";
    } catch (const EInOutError& error) {
        EXPECT_EQ(error.ErrorCode(), platform::ERROR_NOT_READY);
    }
}

// ---- Drives ------------------------------------------------------------------------------

TEST_F(DirectoryList, MovesToAnotherDrivesOwnCurrentDirectory)
{
    fs.AddDrive('D', platform::DRIVE_FIXED);
    fs.AddDirectory("D:\\Work");
    ASSERT_TRUE(platform::SetCurrentDirectoryA("D:\\Work"));
    auto list = StartedIn("C:\\Data");

    list->SetDrive('d');
    EXPECT_EQ(list->Directory(), "D:\\Work");
    EXPECT_EQ(CurrentDirectoryNow(), "D:\\Work");
    EXPECT_EQ(list->ItemText(1), "Work");
    EXPECT_EQ(changes, (std::vector<std::string>{"D:\\Work"}));
}

TEST_F(DirectoryList, StaysForTheCurrentDrivesLetterInTheOtherCase)
{
    auto list = StartedIn("C:\\Data");
    list->SetDrive('c');
    list->SwitchDrive('c');
    EXPECT_EQ(list->Directory(), "C:\\Data");
    EXPECT_TRUE(changes.empty());
}

TEST_F(DirectoryList, RaisesForADriveThatIsNotReadyAndStays)
{
    fs.AddDrive('E', platform::DRIVE_CDROM);
    fs.SetNotReady('E');
    auto list = StartedIn("C:\\Data");
    EXPECT_THROW(list->SetDrive('e'), EInOutError);
    EXPECT_EQ(list->Directory(), "C:\\Data");
    EXPECT_TRUE(changes.empty());
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
    EXPECT_EQ(list->Directory(), "D:\\Work");
    EXPECT_EQ(changes, (std::vector<std::string>{"D:\\Work"})) << "one change for the whole move";
}

// ---- The user's actions -----------------------------------------------------------------------

TEST_F(DirectoryList, OpensAnAncestorASubdirectoryButNotTheCurrentItemOnDoubleClick)
{
    fs.AddDirectory("C:\\Data\\Archive");
    auto list = StartedIn("C:\\Data\\Sub");
    int doubleClicks = 0;
    list->OnDblClick = [&](QObject*) { ++doubleClicks; };

    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, CentreOf(*list, 2));
    EXPECT_EQ(list->Directory(), "C:\\Data\\Sub");
    EXPECT_TRUE(changes.empty());

    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, CentreOf(*list, 1));
    EXPECT_EQ(list->Directory(), "C:\\Data");
    EXPECT_EQ(list->SelectedIndex(), 1);

    ASSERT_EQ(list->ItemText(2), "Archive");
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, CentreOf(*list, 2));
    EXPECT_EQ(list->Directory(), "C:\\Data\\Archive");
    EXPECT_EQ(CurrentDirectoryNow(), "C:\\Data\\Archive");
    EXPECT_EQ(changes, (std::vector<std::string>{"C:\\Data", "C:\\Data\\Archive"}));
    EXPECT_EQ(doubleClicks, 3);
}

TEST_F(DirectoryList, OnlySelectsOnASingleClick)
{
    auto list = StartedIn("C:\\Data\\Sub");
    int clicks = 0;
    list->OnClick = [&](QObject*) { ++clicks; };
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, CentreOf(*list, 0));
    EXPECT_EQ(list->SelectedIndex(), 0);
    EXPECT_EQ(list->Directory(), "C:\\Data\\Sub");
    EXPECT_EQ(clicks, 1);
}

TEST_F(DirectoryList, OpensTheSelectedItemOnEnterButNotOnOtherKeys)
{
    auto list = StartedIn("C:\\Data\\Sub");
    list->setFocus();
    QTest::keyClick(list.get(), Qt::Key_Down);
    EXPECT_EQ(list->SelectedIndex(), 3);
    QTest::keyClick(list.get(), Qt::Key_Space);
    QTest::keyClick(list.get(), Qt::Key_Right);
    EXPECT_EQ(list->Directory(), "C:\\Data\\Sub");

    QTest::keyClick(list.get(), Qt::Key_Return);
    EXPECT_EQ(list->Directory(), "C:\\Data\\Sub\\Xray");
    EXPECT_EQ(changes, (std::vector<std::string>{"C:\\Data\\Sub\\Xray"}));
}

TEST_F(DirectoryList, LetsTheKeyPressHandlerReplaceOrDropTheKey)
{
    auto list = StartedIn("C:\\Data\\Sub");
    list->setFocus();
    list->OnKeyPress = [](QObject*, char& key) {
        if (key == 'o')
            key = '\r';
        else if (key == '\r')
            key = '\0';
    };
    QTest::keyClick(list.get(), Qt::Key_Return);
    EXPECT_EQ(list->Directory(), "C:\\Data\\Sub");

    list->setCurrentRow(0);
    QTest::keyClick(list.get(), Qt::Key_O);
    EXPECT_EQ(list->Directory(), "C:\\");
}

TEST_F(DirectoryList, SelectsTheItemWhoseNameBeginsWithTheLettersTyped)
{
    fs.AddDirectory("C:\\Tools\\alpha");
    fs.AddDirectory("C:\\Tools\\beta");
    fs.AddDirectory("C:\\Tools\\bravo");
    auto list = StartedIn("C:\\Tools");
    list->setFocus();
    QTest::keyClicks(list.get(), "br");
    EXPECT_EQ(list->ItemText(list->SelectedIndex()), "bravo");
    EXPECT_EQ(list->Directory(), "C:\\Tools");
}

TEST_F(DirectoryList, ShowsTheFailureOfADoubleClickThroughTheHandlerGuardAndStays)
{
    fs.SetModuleFileName("C:\\KIVRA.EXE");
    app::TApplication application;
    auto list = StartedIn("C:\\Data\\Sub");
    fs.SetNotReady('C');

    // The message box is modal: read it and close it from within its loop.
    std::string shown;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        answer.stop();
        shown = app::ToText(box->text());
        box->accept();
    });
    answer.start(5);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, CentreOf(*list, 3));
    answer.stop();

    EXPECT_EQ(shown, EInOutError(platform::ERROR_NOT_READY).Message() + ".");
    fs.SetNotReady('C', false);
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
    const QFontMetrics metrics(label.font());
    EXPECT_LE(metrics.horizontalAdvance(label.text()), 150);
    EXPECT_TRUE(label.text().endsWith(QStringLiteral("...\\Long directory name"))) << label.text().toStdString();

    list->resize(2000, 100);
    list->SetDirectory("C:\\Data\\Sub");
    EXPECT_EQ(label.text().toStdString(), "C:\\Data\\Sub");
}

TEST_F(DirectoryList, ShortensAPathByItsLeadingDirectoriesFirst)
{
    QFont font;
    font.setPixelSize(12);
    const QFontMetrics metrics(font);
    const std::string path = "C:\\Alpha\\Beta\\Gamma\\File";
    auto width = [&](const char* text) { return metrics.horizontalAdvance(QString::fromLatin1(text)); };

    EXPECT_EQ(selectors::ShortenPathToWidth(path, metrics, width("C:\\Alpha\\Beta\\Gamma\\File")), path);
    EXPECT_EQ(selectors::ShortenPathToWidth(path, metrics, width("C:\\...\\Beta\\Gamma\\File")),
              "C:\\...\\Beta\\Gamma\\File");
    EXPECT_EQ(selectors::ShortenPathToWidth(path, metrics, width("C:\\...\\Gamma\\File")), "C:\\...\\Gamma\\File");
    EXPECT_EQ(selectors::ShortenPathToWidth(path, metrics, width("C:\\...\\File")), "C:\\...\\File");
    EXPECT_EQ(selectors::ShortenPathToWidth(path, metrics, width("...\\File")), "...\\File");
    EXPECT_EQ(selectors::ShortenPathToWidth(path, metrics, 1), "File");
    EXPECT_EQ(selectors::ShortenPathToWidth("C:\\File", metrics, 1), "File");
}

// ---- Item height ---------------------------------------------------------------------------

TEST_F(DirectoryList, TakesItsItemHeightFromTheFontButNeverBelowTheImageAndALine)
{
    TDirectoryListBox list;
    QFont tiny = list.font();
    tiny.setPixelSize(6);
    list.setFont(tiny);
    EXPECT_EQ(list.ItemHeight(), 16);

    QFont large = list.font();
    large.setPixelSize(30);
    list.setFont(large);
    EXPECT_EQ(list.ItemHeight(), QFontMetrics(large).height());
}

TEST_F(DirectoryList, RefillsWhenANewFontChangesTheItemHeight)
{
    auto list = StartedIn("C:\\Tools");
    fs.AddDirectory("C:\\Tools\\Later");
    QFont large = list->font();
    large.setPixelSize(40);
    list->setFont(large);
    EXPECT_EQ(list->ItemText(list->ItemCount() - 1), "Later");
    EXPECT_EQ(list->SelectedIndex(), 1);
    EXPECT_EQ(list->visualItemRect(list->item(0)).height(), list->ItemHeight());
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

TEST(PathParts, DriveOfLetterAndNetworkPaths)
{
    EXPECT_EQ(selectors::PathDrive("C:\\Data"), "C:");
    EXPECT_EQ(selectors::PathDrive("C:"), "C:");
    EXPECT_EQ(selectors::PathDrive("\\\\host\\share\\dir\\x"), "\\\\host\\share");
    EXPECT_EQ(selectors::PathDrive("\\\\host\\share"), "\\\\host\\share");
    EXPECT_EQ(selectors::PathDrive("\\\\host"), "\\\\host");
    EXPECT_EQ(selectors::PathDrive("\\Data"), "");
    EXPECT_EQ(selectors::PathDrive("Data"), "");
    // 表 (95 5C) in the host name is no separator.
    EXPECT_EQ(Hex(selectors::PathDrive("\\\\" + Bytes("95 5C") + "\\s\\d")), Hex("\\\\" + Bytes("95 5C") + "\\s"));
}

TEST(PathParts, JoinAddsASeparatorUnlessTheDirectoryEndsInOne)
{
    EXPECT_EQ(selectors::JoinPath("C:\\", "x"), "C:\\x");
    EXPECT_EQ(selectors::JoinPath("C:\\Data", "x"), "C:\\Data\\x");
    EXPECT_EQ(Hex(selectors::JoinPath("C:\\" + Bytes("95 5C"), "x")), Hex("C:\\" + Bytes("95 5C") + "\\x"));
}

} // namespace
} // namespace kivra::test
