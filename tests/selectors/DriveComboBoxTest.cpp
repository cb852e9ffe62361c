// The drive selector: its items for each kind of drive, the letter it holds,
// the selection operation and what a user's pick does, on the memory
// platform.

#include "selectors/DriveComboBox.h"
#include "selectors/DirectoryListBox.h"

#include "platform/Exceptions.h"
#include "platform/WinApi.h"
#include "platform/memory/MemoryPlatform.h"
#include "platform/posix/PosixPlatform.h"
#include "tests/support/Bytes.h"

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
using Image = TDriveComboBox::Image;
using Strings = std::vector<std::string>;

// The memory platform's drive calls, with the error mode in force at every
// label query recorded.
class RecordingVolumes : public platform::MemoryPlatform {
public:
    std::vector<std::pair<std::string, platform::UINT>> labelQueries;

    platform::BOOL GetVolumeInformationA(const char* root, char* name, platform::DWORD size, platform::DWORD* serial,
                                         platform::DWORD* length, platform::DWORD* flags, char* system,
                                         platform::DWORD systemSize) override
    {
        if (name) labelQueries.emplace_back(root, ErrorMode());
        return MemoryPlatform::GetVolumeInformationA(root, name, size, serial, length, flags, system, systemSize);
    }
};

class DriveSelector : public ::testing::Test {
protected:
    RecordingVolumes fs;
    platform::ScopedPlatform active{fs.AsPlatform()};
    Strings events;

    // A selector whose window exists; its events are recorded as
    // "click <Drive>" and "change <Drive>".
    std::unique_ptr<TDriveComboBox> Created(TTextCase textCase = TTextCase::tcLowerCase)
    {
        auto combo = std::make_unique<TDriveComboBox>();
        if (textCase != TTextCase::tcLowerCase) combo->SetTextCase(textCase);
        Record(*combo);
        combo->CreateHandle();
        return combo;
    }

    void Record(TDriveComboBox& combo)
    {
        auto letter = [&combo] { return combo.Drive() ? std::string(1, combo.Drive()) : std::string("none"); };
        combo.OnClick = [this, letter](QObject*) { events.push_back("click " + letter()); };
        combo.OnChange = [this, letter, &combo](QObject* sender) {
            EXPECT_EQ(sender, &combo);
            events.push_back("change " + letter());
        };
    }

    static Strings Texts(const TDriveComboBox& combo)
    {
        Strings texts;
        for (int i = 0; i < combo.ItemCount(); ++i) texts.push_back(combo.ItemText(i));
        return texts;
    }

    // Drops the list down and clicks the item, as a user does.
    static void PickWithMouse(TDriveComboBox& combo, int index)
    {
        combo.showPopup();
        QAbstractItemView* view = combo.view();
        ASSERT_TRUE(view->isVisible());
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                          view->visualRect(view->model()->index(index, 0)).center());
    }
};

// ---- Items ----------------------------------------------------------------------

TEST_F(DriveSelector, ShowsEachDriveTypeWithItsImageAndText)
{
    fs.AddDrive('A', platform::DRIVE_REMOVABLE, "FLOPPYDISK");
    fs.AddDrive('C', platform::DRIVE_FIXED, "System Disk");
    fs.AddDrive('D', platform::DRIVE_REMOTE, "Remote");
    fs.SetNetworkName('D', "\\\\Server\\Share");
    fs.AddDrive('E', platform::DRIVE_CDROM, "Disc");
    fs.AddDrive('F', platform::DRIVE_RAMDISK, "Ram");
    auto combo = Created();

    EXPECT_EQ(Texts(*combo), (Strings{"a:", "c: [system disk]", "d: \\\\server\\share", "e: [disc]", "f: [ram]"}));
    const std::vector<Image> images{Image::FloppyImage, Image::HardImage, Image::NetworkImage, Image::CdromImage,
                                    Image::RamImage};
    for (int i = 0; i < combo->ItemCount(); ++i) {
        EXPECT_EQ(combo->ItemImage(i), images[static_cast<std::size_t>(i)]) << "item " << i;
        EXPECT_NE(combo->ImageOf(combo->ItemImage(i)), nullptr) << "item " << i;
    }
}

TEST(DriveSelectorOnLinux, TellsEachDrivesMountPointAsItsTipAndTheSelectedOnesOnTheField)
{
    platform::PosixSources sources;
    sources.mountTable = "/dev/sda1 / ext4 rw 0 0\ntmpfs /tmp tmpfs rw 0 0\n";
    platform::PosixPlatform posix(sources);
    platform::ScopedPlatform active(posix.Interfaces());
    ASSERT_TRUE(platform::SetCurrentDirectoryA("D:\\"));
    TDriveComboBox combo;
    combo.CreateHandle();

    ASSERT_EQ(combo.ItemCount(), 2);
    EXPECT_EQ(combo.ItemText(1), "d: []") << "the label stays the volume's";
    const QString tips[] = {QStringLiteral("/"), QStringLiteral("/tmp")};
    for (int i = 0; i < combo.ItemCount(); ++i) {
        EXPECT_EQ(combo.itemData(i, Qt::ToolTipRole).toString(), tips[i]) << "item " << i;
        combo.SetDrive(combo.ItemText(i)[0]);
        EXPECT_EQ(combo.toolTip(), tips[i]) << "the field with item " << i << " selected";
    }
}

TEST_F(DriveSelector, UpperCaseTextGivesUpperCaseLettersAndLabels)
{
    fs.AddDrive('A', platform::DRIVE_REMOVABLE);
    fs.AddDrive('C', platform::DRIVE_FIXED, "System Disk");
    auto combo = Created(TTextCase::tcUpperCase);
    EXPECT_EQ(Texts(*combo), (Strings{"A:", "C: [SYSTEM DISK]"}));
    EXPECT_EQ(combo->Drive(), 'A');
}

TEST_F(DriveSelector, QueriesLabelsWithCriticalErrorsSuppressedButNeverARemovableDrive)
{
    fs.AddDrive('A', platform::DRIVE_REMOVABLE);
    fs.AddDrive('C', platform::DRIVE_FIXED, "SYS");
    fs.AddDrive('E', platform::DRIVE_CDROM, "OLD DISC");
    fs.SetNotReady('E');
    fs.SetErrorMode(0x8000);
    auto combo = Created();

    using Query = std::pair<std::string, platform::UINT>;
    EXPECT_EQ(fs.labelQueries, (std::vector<Query>{{"c:\\", platform::SEM_FAILCRITICALERRORS},
                                                   {"e:\\", platform::SEM_FAILCRITICALERRORS}}));
    EXPECT_EQ(fs.ErrorMode(), 0x8000u) << "the previous error mode is back";
    EXPECT_EQ(combo->ItemText(2), "e: []") << "a drive without its medium";
    EXPECT_EQ(combo->ItemImage(2), Image::CdromImage);
}

TEST_F(DriveSelector, ChangesTheCaseOfSingleByteLettersOnlyInLabels)
{
    // ア (83 41) and セ (83 5A) end in 'A' and 'Z'; ヂ (83 61) and ホ (83 7A)
    // in 'a' and 'z'.
    fs.AddDrive('C', platform::DRIVE_FIXED, Bytes("83 41") + "Ab" + Bytes("83 5A 83 61") + "Zz" + Bytes("83 7A"));
    EXPECT_EQ(Hex(Created()->ItemText(0)),
              Hex("c: [" + Bytes("83 41") + "ab" + Bytes("83 5A 83 61") + "zz" + Bytes("83 7A") + "]"));
    EXPECT_EQ(Hex(Created(TTextCase::tcUpperCase)->ItemText(0)),
              Hex("C: [" + Bytes("83 41") + "AB" + Bytes("83 5A 83 61") + "ZZ" + Bytes("83 7A") + "]"));
}

TEST_F(DriveSelector, ShowsANetworkDriveWhoseNameCannotBeReadByItsLabel)
{
    fs.AddDrive('N', platform::DRIVE_REMOTE, "Team");
    fs.FailNetworkName('N', platform::ERROR_NOT_CONNECTED);
    auto combo = Created();
    EXPECT_EQ(Texts(*combo), (Strings{"n: [team]"}));
    EXPECT_EQ(combo->ItemImage(0), Image::NetworkImage);
}

TEST_F(DriveSelector, LeavesOutDrivesWithoutRootOrTypeAndBitsAboveZ)
{
    fs.AddDrive('C', platform::DRIVE_FIXED, "SYS");
    fs.AddDrive('G', platform::DRIVE_NO_ROOT_DIR);
    fs.AddDrive('H', platform::DRIVE_UNKNOWN);
    fs.AddDrive('Z', platform::DRIVE_REMOVABLE);
    fs.SetExtraDriveBits((1u << 26) | (1u << 27) | (1u << 31));
    EXPECT_EQ(Texts(*Created()), (Strings{"c: [sys]", "z:"}));
}

// ---- The letter it holds ------------------------------------------------------------

TEST_F(DriveSelector, HoldsTheCurrentDrivesLetterUntilItsWindowIsCreatedOnFirstShow)
{
    fs.AddDrive('C', platform::DRIVE_FIXED);
    fs.AddDrive('D', platform::DRIVE_FIXED);
    fs.AddDirectory("D:\\Work");
    ASSERT_TRUE(platform::SetCurrentDirectoryA("D:\\Work"));

    TDriveComboBox combo;
    Record(combo);
    EXPECT_EQ(combo.Drive(), 'D');
    EXPECT_EQ(combo.ItemCount(), 0);

    combo.show();
    combo.hide();
    combo.show();
    EXPECT_EQ(combo.Drive(), 'd');
    EXPECT_EQ(combo.currentIndex(), 1);
    EXPECT_EQ(events, (Strings{"change d"})) << "created once";
}

TEST_F(DriveSelector, HoldsNoDriveWhenTheCurrentDirectoryIsANetworkPath)
{
    fs.AddDrive('C', platform::DRIVE_FIXED);
    fs.AddDrive('Z', platform::DRIVE_REMOTE);
    fs.SetNetworkName('Z', "\\\\srv\\share");
    ASSERT_TRUE(platform::SetCurrentDirectoryA("\\\\srv\\share"));

    TDriveComboBox combo;
    Record(combo);
    EXPECT_EQ(combo.Drive(), '\0');
    combo.CreateHandle();
    EXPECT_EQ(combo.currentIndex(), -1);
    EXPECT_EQ(events, (Strings{"change none"}));
}

TEST_F(DriveSelector, WritingALetterSelectsItsItemInTheCaseTextCaseAsks)
{
    fs.AddDrive('C', platform::DRIVE_FIXED);
    fs.AddDrive('D', platform::DRIVE_FIXED);
    fs.AddDrive('Q', platform::DRIVE_FIXED);
    auto combo = Created();
    events.clear();

    combo->SetDrive('D');
    EXPECT_EQ(combo->currentIndex(), 1);
    combo->SetDrive('d'); // the same drive: nothing
    combo->SetDrive('X'); // no item: the selection stays
    EXPECT_EQ(combo->currentIndex(), 1);
    combo->SetDrive('1'); // no letter: kept as it is, not taken for q
    EXPECT_EQ(combo->currentIndex(), 1);
    combo->SetDrive('\0');
    EXPECT_EQ(combo->currentIndex(), -1);
    EXPECT_EQ(events, (Strings{"change d", "change x", "change 1", "change none"}));

    auto upper = Created(TTextCase::tcUpperCase);
    upper->SetDrive('d');
    EXPECT_EQ(upper->Drive(), 'D');
    EXPECT_EQ(upper->currentIndex(), 1);
}

TEST_F(DriveSelector, ChangingTextCaseRebuildsTheItemsAndKeepsTheDrive)
{
    fs.AddDrive('C', platform::DRIVE_FIXED, "Sys");
    fs.AddDrive('D', platform::DRIVE_FIXED, "Data");
    auto combo = Created();
    combo->SetDrive('d');
    events.clear();

    combo->SetTextCase(TTextCase::tcUpperCase);
    EXPECT_EQ(Texts(*combo), (Strings{"C: [SYS]", "D: [DATA]"}));
    EXPECT_EQ(combo->currentIndex(), 1);
    EXPECT_EQ(events, (Strings{"change D"}));
}

// ---- A user's pick ------------------------------------------------------------------

TEST_F(DriveSelector, PickingWithTheMouseClicksThenChangesOnceAndNotForTheSameDrive)
{
    fs.AddDrive('C', platform::DRIVE_FIXED);
    fs.AddDrive('D', platform::DRIVE_FIXED);
    auto combo = Created();
    combo->show();
    events.clear();

    PickWithMouse(*combo, 1);
    EXPECT_EQ(combo->currentIndex(), 1);
    PickWithMouse(*combo, 1);
    EXPECT_EQ(events, (Strings{"click c", "change d", "click d"}));
}

TEST_F(DriveSelector, PickingWithTheKeyboardChangesOncePerStep)
{
    fs.AddDrive('C', platform::DRIVE_FIXED);
    fs.AddDrive('D', platform::DRIVE_FIXED);
    fs.AddDrive('E', platform::DRIVE_FIXED);
    auto combo = Created();
    combo->show();
    events.clear();

    QTest::keyClick(combo.get(), Qt::Key_Down);
    QTest::keyClick(combo.get(), Qt::Key_Down);
    EXPECT_EQ(events, (Strings{"click c", "change d", "click d", "change e"}));
}

// ---- The linked directory list ---------------------------------------------------------

TEST_F(DriveSelector, MovesALinkedDirectoryListAndForgetsItWhenReplacedOrDestroyed)
{
    fs.AddDrive('C', platform::DRIVE_FIXED);
    fs.AddDrive('D', platform::DRIVE_FIXED);
    fs.AddDirectory("D:\\Work");
    ASSERT_TRUE(platform::SetCurrentDirectoryA("D:\\Work"));
    ASSERT_TRUE(platform::SetCurrentDirectoryA("C:\\"));
    TDirectoryListBox first;
    auto second = std::make_unique<TDirectoryListBox>();
    auto combo = Created();

    combo->SetDirList(&first);
    EXPECT_EQ(first.DriveCombo(), combo.get());
    combo->SetDrive('d');
    EXPECT_EQ(first.Directory(), "D:\\Work");

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
        ADD_FAILURE() << "no error";
    } catch (const EInOutError& error) {
        EXPECT_EQ(error.ErrorCode(), platform::ERROR_NOT_READY);
    }
    EXPECT_EQ(combo->Drive(), 'd');
    EXPECT_EQ(combo->currentIndex(), 1);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(list.Directory(), "C:\\");
}

// ---- Item height -------------------------------------------------------------------------

TEST_F(DriveSelector, TakesItsItemHeightFromTheFontButNeverBelowTheImageAndRebuildsOnAChange)
{
    fs.AddDrive('C', platform::DRIVE_FIXED);
    auto combo = Created();
    fs.AddDrive('D', platform::DRIVE_FIXED, "NEW");
    events.clear();

    QFont large = combo->font();
    large.setPixelSize(30);
    combo->setFont(large);
    EXPECT_EQ(combo->ItemHeight(), QFontMetrics(large).height());
    EXPECT_EQ(combo->view()->sizeHintForRow(0), combo->ItemHeight());
    EXPECT_EQ(Texts(*combo), (Strings{"c: []", "d: [new]"}));
    EXPECT_EQ(events, (Strings{"change c"}));

    QFont tiny = combo->font();
    tiny.setPixelSize(4);
    combo->setFont(tiny);
    ASSERT_LT(QFontMetrics(tiny).height(), 11);
    EXPECT_EQ(combo->ItemHeight(), 11);
}

TEST_F(DriveSelector, InTheOpenListEachKeyMoveIsAPickAndTheListDropsBelowTheField)
{
    fs.AddDrive('C', platform::DRIVE_FIXED, "SYS");
    fs.AddDrive('D', platform::DRIVE_FIXED, "WORK");
    fs.AddDrive('E', platform::DRIVE_FIXED, "MORE");
    QWidget window;
    window.resize(300, 300);
    auto* combo = new TDriveComboBox(&window);
    combo->setGeometry(20, 10, 240, 24);
    Record(*combo);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    events.clear();
    combo->showPopup();
    QWidget* popup = combo->view()->window();
    ASSERT_TRUE(popup->isVisible());
    EXPECT_EQ(popup->geometry().top(), combo->mapToGlobal(QPoint(0, combo->height())).y()) << "below the field";

    QTest::keyClick(combo->view(), Qt::Key_Down);
    EXPECT_EQ(combo->Drive(), 'd');
    QTest::keyClick(combo->view(), Qt::Key_Down);
    EXPECT_EQ(combo->Drive(), 'e');
    EXPECT_TRUE(popup->isVisible()) << "the list stays open";
    EXPECT_EQ(events, (Strings{"click c", "change d", "click d", "change e"}))
        << "OnClick comes before the letter changes";
    combo->hidePopup();
}

} // namespace
} // namespace kivra::test
