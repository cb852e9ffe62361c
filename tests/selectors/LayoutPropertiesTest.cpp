// The selectors' published properties, set by name from a stored layout.
#include "app/Application.h"
#include "app/Form.h"
#include "platform/WinApi.h"
#include "platform/memory/MemoryPlatform.h"
#include "selectors/DirectoryListBox.h"
#include "selectors/DriveComboBox.h"
#include "selectors/Registration.h"

#include <QTest>

#include <gtest/gtest.h>

namespace kivra::test {
namespace {

using selectors::TDirectoryListBox;
using selectors::TDriveComboBox;

class TSelectorForm : public app::TForm {
public:
    TSelectorForm() : TForm(Prepared()) {}

private:
    static const char* Prepared()
    {
        selectors::RegisterSelectorWidgets();
        return "TSelectorForm";
    }
};

class LayoutProperties : public ::testing::Test {
protected:
    LayoutProperties()
    {
        fs.AddDrive('C', platform::DRIVE_FIXED, "SYS");
        fs.AddDrive('D', platform::DRIVE_FIXED, "WORK");
        fs.AddDirectory("C:\\DATA");
        fs.AddDirectory("D:\\PROJECTS");
        platform::SetCurrentDirectoryA("C:\\DATA");
    }

    platform::MemoryPlatform fs;
    platform::ScopedPlatform active{fs.AsPlatform()};
    app::TApplication application;
};

TEST_F(LayoutProperties, ALayoutSetsTheSelectorsPublishedPropertiesByName)
{
    TSelectorForm form;
    auto* drives = form.Component<TDriveComboBox>("Drives");
    auto* directories = form.Component<TDirectoryListBox>("Directories");
    ASSERT_NE(drives, nullptr);
    ASSERT_NE(directories, nullptr);
    EXPECT_EQ(drives->TextCase(), selectors::TTextCase::tcUpperCase);
    EXPECT_EQ(drives->DirList(), directories) << "named in the layout, linked once it was loaded";
    EXPECT_EQ(directories->DriveCombo(), drives);
    EXPECT_EQ(directories->FileList(), form.Component<selectors::TFileListBox>("Files"));
    EXPECT_EQ(directories->DirLabel(), form.Component<selectors::TLabel>("Where"));
    EXPECT_EQ(directories->ItemHeight(), 24);

    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(drives->Drive(), 'C') << "upper case, as the layout asks";
    EXPECT_EQ(directories->visualItemRect(directories->item(0)).height(), 24);
    // The links work: a drive picked moves the list, which tells its file
    // list and its label.
    drives->SetDrive('D');
    EXPECT_EQ(directories->Directory(), "D:\\");
    EXPECT_EQ(directories->FileList()->Directory(), "D:\\");
    EXPECT_EQ(directories->DirLabel()->text(), QStringLiteral("D:\\"));
}

} // namespace
} // namespace kivra::test
