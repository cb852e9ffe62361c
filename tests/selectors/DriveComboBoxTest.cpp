// The drive selector: its items for each kind of drive, the letter it holds,
// the selection operation and what a user's pick does, on the memory
// platform.

#include "selectors/DirectoryListBox.h"
#include "selectors/DriveComboBox.h"

#include "platform/Exceptions.h"
#include "tests/support/Bytes.h"
#include "tests/selectors/SelectorWorld.h"

#include <QAbstractItemView>
#include <QFontMetrics>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace kivra::test {
namespace {

using platform::MemoryPlatform;
using selectors::TDirectoryListBox;
using selectors::TDriveComboBox;
using selectors::TTextCase;

class DriveSelector : public ::testing::Test {
protected:
    MemoryPlatform fs;
    RecordingVolumes volumes{fs};
    platform::ScopedPlatform active{platform::Platform{&fs, &volumes, &fs}};
    std::vector<std::string> events;

    // A selector whose window exists, with its events recorded as
    // "click <Drive>" and "change <Drive>".
    std::unique_ptr<TDriveComboBox> Created(TTextCase textCase = TTextCase::tcLowerCase)
    {
        auto combo = std::make_unique<TDriveComboBox>();
        Record(*combo);
        if (textCase != TTextCase::tcLowerCase)
            combo->SetTextCase(textCase);
        combo->CreateHandle();
        return combo;
    }

    void Record(TDriveComboBox& combo)
    {
        combo.OnClick = [this, &combo](QObject* sender) {
            EXPECT_EQ(sender, &combo);
            events.push_back(std::string("click ") + Letter(combo.Drive()));
        };
        combo.OnChange = [this, &combo](QObject* sender) {
            EXPECT_EQ(sender, &combo);
            events.push_back(std::string("change ") + Letter(combo.Drive()));
        };
    }

    static std::string Letter(char drive) { return drive ? std::string(1, drive) : std::string("(none)"); }

    static std::vector<std::string> Texts(const TDriveComboBox& combo)
    {
        std::vector<std::string> texts;
        for (int i = 0; i < combo.ItemCount(); ++i)
            texts.push_back(combo.ItemText(i));
        return texts;
    }

    static std::vector<TDriveComboBox::Image> Images(const TDriveComboBox& combo)
    {
        std::vector<TDriveComboBox::Image> images;
        for (int i = 0; i < combo.ItemCount(); ++i)
            images.push_back(combo.ItemImage(i));
        return images;
    }

    // Drops the list down and clicks the item, as a user does.
    static void PickWithMouse(TDriveComboBox& combo, int index)
    {
        combo.showPopup();
        QAbstractItemView* view = combo.view();
        ASSERT_TRUE(view->isVisible());
        const QRect item = view->visualRect(view->model()->index(index, 0));
        ASSERT_TRUE(item.isValid());
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, item.center());
    }
};

using Image = TDriveComboBox::Image;

// ---- Items ----------------------------------------------------------------------

TEST_F(DriveSelector, ListsARemovableDriveByItsLetterAndAFixedDriveWithItsLabel)
{
    fs.AddDrive('A', platform::DRIVE_REMOVABLE, "FLOPPYDISK");
    fs.AddDrive('C', platform::DRIVE_FIXED, "System Disk");
    auto combo = Created();

    EXPECT_EQ(Texts(*combo), (std::vector<std::string>{"a:", "c: [system disk]"}));
    EXPECT_EQ(Images(*combo), (std::vector<Image>{Image::FloppyImage, Image::HardImage}));
}

TEST_F(DriveSelector, NeverQueriesARemovableDriveAndQueriesLabelsWithCriticalErrorsSuppressed)
{
    fs.AddDrive('A', platform::DRIVE_REMOVABLE);
    fs.AddDrive('C', platform::DRIVE_FIXED, "SYS");
    fs.AddDrive('E', platform::DRIVE_CDROM);
    fs.SetNotReady('E');
    fs.SetErrorMode(0x8000);
    auto combo = Created();

    ASSERT_EQ(volumes.labelQueries.size(), 2u);
    EXPECT_EQ(volumes.labelQueries[0].root, "c:\\");
    EXPECT_EQ(volumes.labelQueries[1].root, "e:\\");
    for (const auto& query : volumes.labelQueries)
        EXPECT_EQ(query.errorMode, platform::SEM_FAILCRITICALERRORS) << query.root;
    EXPECT_EQ(fs.ErrorMode(), 0x8000u) << "the previous error mode is back afterwards";
}

TEST_F(DriveSelector, UpperCaseTextGivesUpperCaseLettersAndLabels)
{
    fs.AddDrive('A', platform::DRIVE_REMOVABLE);
    fs.AddDrive('C', platform::DRIVE_FIXED, "System Disk");
    auto combo = Created(TTextCase::tcUpperCase);

    EXPECT_EQ(Texts(*combo), (std::vector<std::string>{"A:", "C: [SYSTEM DISK]"}));
    EXPECT_EQ(combo->Drive(), 'A');
}

TEST_F(DriveSelector, ShowsEachDriveTypeWithItsImageAndText)
{
    fs.AddDrive('C', platform::DRIVE_FIXED, "Fixed");
    fs.AddDrive('D', platform::DRIVE_REMOTE, "Remote");
    fs.SetNetworkName('D', "\\\\Server\\Share");
    fs.AddDrive('E', platform::DRIVE_CDROM, "Disc");
    fs.AddDrive('F', platform::DRIVE_RAMDISK, "Ram");
    fs.AddDrive('G', platform::DRIVE_REMOVABLE, "Stick");
    auto combo = Created();

    EXPECT_EQ(Texts(*combo), (std::vector<std::string>{"c: [fixed]", "d: \\\\server\\share", "e: [disc]",
                                                        "f: [ram]", "g:"}));
    EXPECT_EQ(Images(*combo), (std::vector<Image>{Image::HardImage, Image::NetworkImage, Image::CdromImage,
                                                  Image::RamImage, Image::FloppyImage}));
    for (int i = 0; i < combo->ItemCount(); ++i)
        ASSERT_NE(combo->ImageOf(combo->ItemImage(i)), nullptr) << "image of item " << i << " is loaded";
}

TEST_F(DriveSelector, ShowsADriveWithoutItsMediumWithEmptyBrackets)
{
    fs.AddDrive('C', platform::DRIVE_FIXED, "SYS");
    fs.AddDrive('E', platform::DRIVE_CDROM, "OLD DISC");
    fs.SetNotReady('E');
    auto combo = Created();

    ASSERT_EQ(combo->ItemCount(), 2);
    EXPECT_EQ(combo->ItemText(1), "e: []");
    EXPECT_EQ(combo->ItemImage(1), Image::CdromImage);
}

TEST_F(DriveSelector, ChangesTheCaseOfSingleByteLettersOnlyInLabels)
{
    // ア (83 41) and セ (83 5A) have second bytes 'A' and 'Z'; ヂ (83 61)
    // and ホ (83 7A) have 'a' and 'z'.
    const std::string label = Bytes("83 41") + "Ab" + Bytes("83 5A 83 61") + "Zz" + Bytes("83 7A");
    fs.AddDrive('C', platform::DRIVE_FIXED, label);

    auto lower = Created();
    ASSERT_EQ(lower->ItemCount(), 1);
    EXPECT_EQ(Hex(lower->ItemText(0)), Hex("c: [" + Bytes("83 41") + "ab" + Bytes("83 5A 83 61") + "zz" + Bytes("83 7A") + "]"));

    auto upper = Created(TTextCase::tcUpperCase);
    ASSERT_EQ(upper->ItemCount(), 1);
    EXPECT_EQ(Hex(upper->ItemText(0)), Hex("C: [" + Bytes("83 41") + "AB" + Bytes("83 5A 83 61") + "ZZ" + Bytes("83 7A") + "]"));
}

TEST_F(DriveSelector, ShowsANetworkDriveWhoseNameCannotBeReadByItsLabel)
{
    fs.AddDrive('N', platform::DRIVE_REMOTE, "Team");
    fs.FailNetworkName('N', platform::ERROR_NOT_CONNECTED);
    auto combo = Created();

    ASSERT_EQ(combo->ItemCount(), 1);
    EXPECT_EQ(combo->ItemText(0), "n: [team]");
    EXPECT_EQ(combo->ItemImage(0), Image::NetworkImage);
}

TEST_F(DriveSelector, LeavesOutDrivesWithoutRootOrTypeAndBitsAboveZ)
{
    fs.AddDrive('C', platform::DRIVE_FIXED, "SYS");
    fs.AddDrive('G', platform::DRIVE_NO_ROOT_DIR);
    fs.AddDrive('H', platform::DRIVE_UNKNOWN);
    fs.AddDrive('Z', platform::DRIVE_REMOVABLE);
    fs.SetExtraDriveBits((1u << 26) | (1u << 27) | (1u << 31));
    auto combo = Created();

    EXPECT_EQ(Texts(*combo), (std::vector<std::string>{"c: [sys]", "z:"}));
}

// ---- The letter it holds ------------------------------------------------------------

TEST_F(DriveSelector, HoldsTheCurrentDrivesLetterFromConstructionAndSelectsItWhenCreated)
{
    fs.AddDrive('C', platform::DRIVE_FIXED);
    fs.AddDrive('D', platform::DRIVE_FIXED);
    fs.AddDirectory("D:\\Work");
    ASSERT_TRUE(platform::SetCurrentDirectoryA("D:\\Work"));

    TDriveComboBox combo;
    Record(combo);
    EXPECT_EQ(combo.Drive(), 'D');
    EXPECT_EQ(combo.ItemCount(), 0) << "no items before the window exists";

    combo.CreateHandle();
    EXPECT_EQ(combo.Drive(), 'd');
    EXPECT_EQ(combo.currentIndex(), 1);
    EXPECT_EQ(events, (std::vector<std::string>{"change d"}));
}

TEST_F(DriveSelector, IsCreatedWhenFirstShown)
{
    fs.AddDrive('C', platform::DRIVE_FIXED, "SYS");
    TDriveComboBox combo;
    Record(combo);
    EXPECT_FALSE(combo.HandleAllocated());

    combo.show();
    EXPECT_TRUE(combo.HandleAllocated());
    EXPECT_EQ(combo.ItemCount(), 1);
    EXPECT_EQ(combo.currentIndex(), 0);
    combo.hide();
    combo.show();
    EXPECT_EQ(events, (std::vector<std::string>{"change c"})) << "showing again creates nothing";
}

TEST_F(DriveSelector, HoldsNoDriveWhenTheCurrentDirectoryIsANetworkPath)
{
    fs.AddDrive('C', platform::DRIVE_FIXED);
    fs.AddDrive('Z', platform::DRIVE_REMOTE);
    fs.SetNetworkName('Z', "\\\\srv\\share");
    ShareView share(fs, 'Z', "\\\\srv\\share");
    platform::ScopedPlatform viaShare(platform::Platform{&share, nullptr, nullptr});
    ASSERT_TRUE(platform::SetCurrentDirectoryA("\\\\srv\\share"));

    TDriveComboBox combo;
    Record(combo);
    EXPECT_EQ(combo.Drive(), '\0');
    combo.CreateHandle();
    EXPECT_EQ(combo.currentIndex(), -1);
    EXPECT_EQ(events, (std::vector<std::string>{"change (none)"}));
}

TEST_F(DriveSelector, WritingALetterInEitherCaseSelectsItsItemInTheCaseTextCaseAsks)
{
    fs.AddDrive('C', platform::DRIVE_FIXED);
    fs.AddDrive('D', platform::DRIVE_FIXED);
    auto combo = Created();
    events.clear();

    combo->SetDrive('D');
    EXPECT_EQ(combo->Drive(), 'd');
    EXPECT_EQ(combo->currentIndex(), 1);
    EXPECT_EQ(events, (std::vector<std::string>{"change d"}));

    auto upper = Created(TTextCase::tcUpperCase);
    events.clear();
    upper->SetDrive('d');
    EXPECT_EQ(upper->Drive(), 'D');
    EXPECT_EQ(upper->currentIndex(), 1);
}

TEST_F(DriveSelector, WritingTheSelectedLetterAgainDoesNothing)
{
    fs.AddDrive('C', platform::DRIVE_FIXED);
    auto combo = Created();
    events.clear();

    combo->SetDrive('C');
    combo->SetDrive('c');
    EXPECT_EQ(combo->Drive(), 'c');
    EXPECT_TRUE(events.empty());
}

TEST_F(DriveSelector, WritingTheZeroCharacterSelectsNothingAndTellsOfTheChange)
{
    fs.AddDrive('C', platform::DRIVE_FIXED);
    auto combo = Created();
    events.clear();

    combo->SetDrive('\0');
    EXPECT_EQ(combo->Drive(), '\0');
    EXPECT_EQ(combo->currentIndex(), -1);
    EXPECT_EQ(events, (std::vector<std::string>{"change (none)"}));
}

TEST_F(DriveSelector, WritingALetterWithoutAnItemKeepsTheSelectionButStoresTheLetter)
{
    fs.AddDrive('C', platform::DRIVE_FIXED);
    fs.AddDrive('D', platform::DRIVE_FIXED);
    auto combo = Created();
    events.clear();

    combo->SetDrive('Q');
    EXPECT_EQ(combo->Drive(), 'q');
    EXPECT_EQ(combo->currentIndex(), 0);
    EXPECT_EQ(events, (std::vector<std::string>{"change q"}));
}

TEST_F(DriveSelector, StoresACharacterThatIsNoLetterAsGiven)
{
    fs.AddDrive('C', platform::DRIVE_FIXED);
    fs.AddDrive('Q', platform::DRIVE_FIXED);
    auto combo = Created();

    combo->SetDrive('1');
    EXPECT_EQ(combo->Drive(), '1');
    EXPECT_EQ(combo->currentIndex(), 0) << "not taken for drive q";
}

TEST_F(DriveSelector, ChangingTextCaseRebuildsTheItemsAndKeepsTheDrive)
{
    fs.AddDrive('C', platform::DRIVE_FIXED, "Sys");
    fs.AddDrive('D', platform::DRIVE_FIXED, "Data");
    auto combo = Created();
    combo->SetDrive('d');
    events.clear();

    combo->SetTextCase(TTextCase::tcUpperCase);
    EXPECT_EQ(Texts(*combo), (std::vector<std::string>{"C: [SYS]", "D: [DATA]"}));
    EXPECT_EQ(combo->Drive(), 'D');
    EXPECT_EQ(combo->currentIndex(), 1);
    EXPECT_EQ(events, (std::vector<std::string>{"change D"}));
}

// ---- A user's pick ------------------------------------------------------------------

TEST_F(DriveSelector, PickingAnotherDriveWithTheMouseClicksThenChangesOnce)
{
    fs.AddDrive('C', platform::DRIVE_FIXED);
    fs.AddDrive('D', platform::DRIVE_FIXED);
    auto combo = Created();
    combo->show();
    events.clear();

    PickWithMouse(*combo, 1);
    EXPECT_EQ(combo->Drive(), 'd');
    EXPECT_EQ(combo->currentIndex(), 1);
    EXPECT_EQ(events, (std::vector<std::string>{"click c", "change d"}));
}

TEST_F(DriveSelector, PickingTheSelectedDriveAgainChangesNothing)
{
    fs.AddDrive('C', platform::DRIVE_FIXED);
    fs.AddDrive('D', platform::DRIVE_FIXED);
    auto combo = Created();
    combo->show();
    events.clear();

    PickWithMouse(*combo, 0);
    EXPECT_EQ(combo->Drive(), 'c');
    EXPECT_EQ(events, (std::vector<std::string>{"click c"}));
}

TEST_F(DriveSelector, PickingWithTheKeyboardChangesOncePerStep)
{
    fs.AddDrive('C', platform::DRIVE_FIXED);
    fs.AddDrive('D', platform::DRIVE_FIXED);
    fs.AddDrive('E', platform::DRIVE_FIXED);
    auto combo = Created();
    combo->show();
    combo->setFocus();
    events.clear();

    QTest::keyClick(combo.get(), Qt::Key_Down);
    QTest::keyClick(combo.get(), Qt::Key_Down);
    EXPECT_EQ(combo->Drive(), 'e');
    EXPECT_EQ(events, (std::vector<std::string>{"click c", "change d", "click d", "change e"}));
}

// ---- The linked directory list ---------------------------------------------------------

TEST_F(DriveSelector, MovesALinkedDirectoryListToThePickedDrive)
{
    fs.AddDrive('C', platform::DRIVE_FIXED);
    fs.AddDrive('D', platform::DRIVE_FIXED);
    fs.AddDirectory("D:\\Work");
    ASSERT_TRUE(platform::SetCurrentDirectoryA("D:\\Work"));
    ASSERT_TRUE(platform::SetCurrentDirectoryA("C:\\"));
    TDirectoryListBox list;
    auto combo = Created();
    combo->SetDirList(&list);
    EXPECT_EQ(list.DriveCombo(), combo.get());

    combo->SetDrive('d');
    EXPECT_EQ(list.Directory(), "D:\\Work");
}

TEST_F(DriveSelector, ForgetsALinkedDirectoryListThatIsReplacedOrDestroyed)
{
    fs.AddDrive('C', platform::DRIVE_FIXED);
    auto combo = Created();
    TDirectoryListBox first;
    auto second = std::make_unique<TDirectoryListBox>();

    combo->SetDirList(&first);
    combo->SetDirList(second.get());
    EXPECT_EQ(first.DriveCombo(), nullptr);
    EXPECT_EQ(second->DriveCombo(), combo.get());

    second.reset();
    EXPECT_EQ(combo->DirList(), nullptr);
}

TEST_F(DriveSelector, LetsTheLinkedListsFailurePassAfterTheSelectionChangedAndBeforeOnChange)
{
    fs.AddDrive('C', platform::DRIVE_FIXED);
    fs.AddDrive('D', platform::DRIVE_CDROM);
    TDirectoryListBox list;
    auto combo = Created();
    combo->SetDirList(&list);
    fs.SetNotReady('D');
    events.clear();

    try {
        combo->SetDrive('d');
        FAIL() << "no error";
    } catch (const EInOutError& error) {
        EXPECT_EQ(error.ErrorCode(), platform::ERROR_NOT_READY);
    }
    EXPECT_EQ(combo->Drive(), 'd');
    EXPECT_EQ(combo->currentIndex(), 1);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(list.Directory(), "C:\\");
}

// ---- Item height -------------------------------------------------------------------------

TEST_F(DriveSelector, TakesItsItemHeightFromTheFontButNeverBelowTheImage)
{
    fs.AddDrive('C', platform::DRIVE_FIXED);
    TDriveComboBox combo;
    QFont large = combo.font();
    large.setPixelSize(30);
    combo.setFont(large);
    EXPECT_EQ(combo.ItemHeight(), QFontMetrics(large).height());

    QFont tiny = combo.font();
    tiny.setPixelSize(4);
    combo.setFont(tiny);
    ASSERT_LT(QFontMetrics(tiny).height(), 11);
    EXPECT_EQ(combo.ItemHeight(), 11);
}

TEST_F(DriveSelector, RebuildsTheListWhenTheFontChanges)
{
    fs.AddDrive('C', platform::DRIVE_FIXED);
    auto combo = Created();
    fs.AddDrive('D', platform::DRIVE_FIXED, "NEW");
    events.clear();

    QFont font = combo->font();
    font.setPixelSize(25);
    combo->setFont(font);
    EXPECT_EQ(Texts(*combo), (std::vector<std::string>{"c: []", "d: [new]"}));
    EXPECT_EQ(combo->currentIndex(), 0);
    EXPECT_EQ(events, (std::vector<std::string>{"change c"}));
    EXPECT_EQ(combo->view()->sizeHintForRow(0), QFontMetrics(font).height());
}

} // namespace
} // namespace kivra::test
