// The main window as a screen reader sees it through Qt's accessibility
// interfaces: controls named in the window's language, the root field
// labelled by its label, directory rows that tell open folders from
// subfolders, focus events only from the control that has the focus.
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

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace kivra::ui {
namespace {

using texts::Texts;

QString Q(const platform::Text& text) { return app::ToQString(text); }
QAccessibleInterface* Interface(QObject* object) { return QAccessible::queryAccessibleInterface(object); }

class AccessibilityTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        world.AddDrive('C', platform::DRIVE_FIXED, "SYSTEM");
        world.AddDrive('D', platform::DRIVE_FIXED, "DATA");
        world.AddDirectory("C:\\BIN");
        world.SetModuleFileName("C:\\BIN\\KIVRA.EXE");
        for (const char* directory : {"C:\\DATA", "C:\\DATA\\Docs", "C:\\DATA\\MORE"}) world.AddDirectory(directory);
        world.AddFile("C:\\DATA\\Docs\\note.txt");
        world.SetTicks(0, 50);
        scoped.emplace(world.AsPlatform());
        platform::SetCurrentDirectoryA("C:\\DATA");
        window = &testing::OpenMainWindow(application);
        window->DirectoryListBox1->OpenPath("C:\\DATA");
    }
    void TearDown() override
    {
        if (application) application->Shutdown();
    }

    test::AccessibilityEvents events;
    platform::MemoryPlatform world;
    std::optional<platform::ScopedPlatform> scoped;
    std::optional<app::TApplication> application;
    TForm1* window = nullptr;
};

TEST_F(AccessibilityTest, EveryControlIsNamedInTheWindowsLanguageWithItsRole)
{
    const struct {
        QWidget* control;
        QAccessible::Role role;
        QString name;
    } cases[] = {
        {window->Edit1, QAccessible::EditableText, Q(Texts().Label1Caption)},
        {window->DriveComboBox1, QAccessible::ComboBox, Q(Texts().AccessibleDriveSelector)},
        {window->DirectoryListBox1, QAccessible::List, Q(Texts().AccessibleDirectoryList)},
        {window->ListBox1, QAccessible::Table, Q(Texts().AccessibleResultList)},
    };
    for (const auto& test : cases) {
        EXPECT_EQ(Interface(test.control)->role(), test.role) << test.control->objectName().toStdString();
        EXPECT_EQ(Interface(test.control)->text(QAccessible::Name), test.name);
    }
    EXPECT_EQ(Interface(window->DriveComboBox1)->text(QAccessible::Value), QStringLiteral("c: [system]"));
    const auto labels = Interface(window->Edit1)->relations(QAccessible::Label);
    ASSERT_EQ(labels.size(), 1);
    EXPECT_EQ(labels[0].first->object(), window->Label1) << "the root field is labelled by its label";

    // The result list is named by the view it shows too.
    testing::DialogAnswerer answerer(window);
    QTest::mouseClick(window->BtnRun, Qt::LeftButton);
    QTest::mouseClick(window->BtnLongName, Qt::LeftButton);
    EXPECT_EQ(Interface(window->ListBox1)->text(QAccessible::Name),
              Q(Texts().AccessibleResultList + " " + platform::Cp932FromUtf8("ﾛﾝｸﾞ一覧")));
}

TEST_F(AccessibilityTest, DirectoryRowsTellOpenFoldersFromSubfoldersWithTheirLevel)
{
    const struct {
        QString name;
        const platform::Text& format;
        int level;
        bool expanded;
    } rows[] = {{QStringLiteral("C:\\"), Texts().AccessibleOpenDirectoryFormat, 1, true},
                {QStringLiteral("DATA"), Texts().AccessibleCurrentDirectoryFormat, 2, true},
                {QStringLiteral("Docs"), Texts().AccessibleSubdirectoryFormat, 3, false},
                {QStringLiteral("MORE"), Texts().AccessibleSubdirectoryFormat, 3, false}};
    QAccessibleInterface* list = Interface(window->DirectoryListBox1);
    ASSERT_EQ(list->childCount(), 4);
    for (int i = 0; i < 4; ++i) {
        QAccessibleInterface* row = list->child(i);
        EXPECT_EQ(row->role(), QAccessible::ListItem);
        EXPECT_EQ(row->text(QAccessible::Name), rows[i].name);
        EXPECT_EQ(row->text(QAccessible::Description),
                  Q(app::FormatText(rows[i].format, {std::to_string(rows[i].level)})));
        EXPECT_EQ(row->state().expanded, rows[i].expanded) << "row " << i;
        EXPECT_EQ(row->state().collapsed, !rows[i].expanded) << "row " << i;
        EXPECT_EQ(row->state().selected, i == 1) << "row " << i;
        EXPECT_EQ(list->indexOfChild(row), i);
    }
}

TEST_F(AccessibilityTest, OnlyTheControlWithTheFocusSendsFocusEvents)
{
    selectors::TDirectoryListBox& list = *window->DirectoryListBox1;
    list.setFocus();
    events.Clear();
    QTest::keyClick(&list, Qt::Key_Down);
    EXPECT_EQ(events.FocusedChildren(&list), std::vector<int>{2});
    EXPECT_EQ(Interface(&list)->focusChild(), Interface(&list)->child(2));

    // A drive picked with the keyboard refills the list: its new current row
    // is no focus of the user's.
    window->DriveComboBox1->setFocus();
    events.Clear();
    QTest::keyClick(window->DriveComboBox1, Qt::Key_Down);
    ASSERT_EQ(list.Drive(), 'D');
    EXPECT_EQ(events.FocusedChildren(&list), std::vector<int>{});
    EXPECT_EQ(Interface(&list)->focusChild(), nullptr);
}

} // namespace
} // namespace kivra::ui
