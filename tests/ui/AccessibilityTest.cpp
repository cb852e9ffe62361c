// The main window as assistive technology (a screen reader) sees it through
// Qt's accessibility interfaces: every control named in the window's own
// language, the root field labelled by its label, the directory list's rows
// telling open folders from subfolders, and focus events only for the
// control that has the focus.
#include "app/Application.h"
#include "app/QtText.h"
#include "app/TextFormat.h"
#include "platform/WinApi.h"
#include "platform/memory/MemoryPlatform.h"
#include "resources/Texts.h"
#include "selectors/DirectoryListBox.h"
#include "selectors/DriveComboBox.h"
#include "tests/support/AccessibilityEvents.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/ListBox.h"
#include "ui/Main.h"

#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace kivra::ui {
namespace {

using testing::Readable;
using texts::Texts;

QString Q(const platform::Text& text) { return app::ToQString(text); }

QAccessibleInterface* Interface(QObject* object)
{
    QAccessibleInterface* found = QAccessible::queryAccessibleInterface(object);
    EXPECT_NE(found, nullptr);
    return found;
}

class AccessibilityTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        world.AddDrive('C', platform::DRIVE_FIXED, "SYSTEM");
        world.AddDrive('D', platform::DRIVE_FIXED, "DATA");
        world.AddDirectory("C:\\BIN");
        world.SetModuleFileName("C:\\BIN\\KIVRA.EXE");
        world.AddDirectory("C:\\DATA");
        world.AddDirectory("C:\\DATA\\Docs");
        world.AddFile("C:\\DATA\\Docs\\note.txt");
        world.AddDirectory("C:\\DATA\\MORE");
        world.SetTicks(0, 50);
        scoped.emplace(world.AsPlatform());
        platform::SetCurrentDirectoryA("C:\\DATA");
        window = &testing::OpenMainWindow(application);
        window->DirectoryListBox1->OpenPath("C:\\DATA");
    }

    void TearDown() override
    {
        if (application) application->Shutdown();
        application.reset();
        scoped.reset();
    }

    test::AccessibilityEvents events;
    platform::MemoryPlatform world;
    std::optional<platform::ScopedPlatform> scoped;
    std::optional<app::TApplication> application;
    TForm1* window = nullptr;
};

TEST_F(AccessibilityTest, EveryControlIsNamedInTheWindowsLanguageWithItsRole)
{
    struct Case {
        QWidget* control;
        QAccessible::Role role;
        QString name;
    };
    const Case cases[] = {
        {window->Edit1, QAccessible::EditableText, Q(Texts().Label1Caption)},
        {window->DriveComboBox1, QAccessible::ComboBox, Q(Texts().AccessibleDriveSelector)},
        {window->DirectoryListBox1, QAccessible::List, Q(Texts().AccessibleDirectoryList)},
        {window->ListBox1, QAccessible::Table, Q(Texts().AccessibleResultList)},
        {window->BtnRun, QAccessible::Button, QString::fromUtf8("検索開始(O)")},
    };
    for (const Case& test : cases) {
        QAccessibleInterface* control = Interface(test.control);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->role(), test.role) << test.control->objectName().toStdString();
        EXPECT_EQ(control->text(QAccessible::Name), test.name) << test.control->objectName().toStdString();
    }
    EXPECT_EQ(Interface(window->DriveComboBox1)->text(QAccessible::Value), QStringLiteral("c: [system]"))
        << "the selected drive is the selector's value, not its name";
}

TEST_F(AccessibilityTest, TheRootFieldIsLabelledByTheLabelAboveIt)
{
    const auto relations = Interface(window->Edit1)->relations(QAccessible::Label);
    ASSERT_EQ(relations.size(), 1);
    EXPECT_EQ(relations[0].first->object(), window->Label1);
}

TEST_F(AccessibilityTest, DirectoryRowsTellOpenFoldersFromSubfoldersWithTheirLevel)
{
    struct Row {
        QString name;
        const platform::Text& format;
        int level;
        bool expanded;
    };
    const Row rows[] = {{QStringLiteral("C:\\"), Texts().AccessibleOpenDirectoryFormat, 1, true},
                        {QStringLiteral("DATA"), Texts().AccessibleCurrentDirectoryFormat, 2, true},
                        {QStringLiteral("Docs"), Texts().AccessibleSubdirectoryFormat, 3, false},
                        {QStringLiteral("MORE"), Texts().AccessibleSubdirectoryFormat, 3, false}};
    QAccessibleInterface* list = Interface(window->DirectoryListBox1);
    ASSERT_EQ(list->childCount(), 4);
    for (int i = 0; i < 4; ++i) {
        const Row& expected = rows[i];
        QAccessibleInterface* row = list->child(i);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->role(), QAccessible::ListItem);
        EXPECT_EQ(row->text(QAccessible::Name), expected.name) << "row " << i;
        EXPECT_EQ(row->text(QAccessible::Description),
                  Q(app::FormatText(expected.format, {std::to_string(expected.level)})))
            << "row " << i;
        EXPECT_TRUE(row->state().expandable);
        EXPECT_EQ(row->state().expanded, expected.expanded) << "row " << i;
        EXPECT_EQ(row->state().collapsed, !expected.expanded) << "row " << i;
        EXPECT_EQ(row->parent()->object(), window->DirectoryListBox1);
        EXPECT_EQ(list->indexOfChild(row), i);
    }
    EXPECT_TRUE(list->child(1)->state().selected) << "the current directory's row";
}

TEST_F(AccessibilityTest, TheResultListIsNamedByTheViewItShows)
{
    testing::DialogAnswerer answerer(window);
    QTest::mouseClick(window->BtnRun, Qt::LeftButton);
    QAccessibleInterface* list = Interface(window->ListBox1);
    EXPECT_EQ(list->text(QAccessible::Name),
              Q(Texts().AccessibleResultList + " " + platform::Cp932FromUtf8("結果表示")))
        << "the run ends in the difference view";
    QTest::mouseClick(window->BtnLongName, Qt::LeftButton);
    EXPECT_EQ(list->text(QAccessible::Name),
              Q(Texts().AccessibleResultList + " " + platform::Cp932FromUtf8("ﾛﾝｸﾞ一覧")));
}

TEST_F(AccessibilityTest, OnlyTheControlWithTheFocusSendsFocusEvents)
{
    selectors::TDirectoryListBox& list = *window->DirectoryListBox1;
    // In the list itself, each move of the current row is one.
    list.setFocus();
    events.Clear();
    QTest::keyClick(&list, Qt::Key_Down);
    ASSERT_EQ(list.currentRow(), 2);
    EXPECT_EQ(events.FocusedChildren(&list), std::vector<int>{2});
    EXPECT_EQ(Interface(&list)->focusChild(), Interface(&list)->child(2));

    // A drive picked with the keyboard refills the directory list, whose new
    // current row is no focus of the user's.
    window->DriveComboBox1->setFocus();
    events.Clear();
    QTest::keyClick(window->DriveComboBox1, Qt::Key_Down);
    ASSERT_EQ(list.Drive(), 'D');
    EXPECT_EQ(events.FocusedChildren(&list), std::vector<int>{});
    EXPECT_EQ(Interface(&list)->focusChild(), nullptr);
}

} // namespace
} // namespace kivra::ui
