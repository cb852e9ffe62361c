// Draws both selectors, as the main window places them, into PNG files for
// the documentation: the drive selector closed and dropped down, and the
// directory list inside a directory with Japanese names. The world they show
// is the memory platform's, so the pictures are the same on every machine.
//
//     kivra_selectors_pictures OUTPUT_DIRECTORY

#include "app/Fonts.h"
#include "platform/WinApi.h"
#include "platform/memory/MemoryPlatform.h"
#include "selectors/DirectoryListBox.h"
#include "selectors/DriveComboBox.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QPixmap>

#include <cstdio>

using namespace kivra;
using platform::Cp932FromUtf8;

int main(int argc, char** argv)
{
    QApplication qt(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIRECTORY\n", argv[0]);
        return 2;
    }
    app::InstallFontSubstitutions();
    const QDir output(QString::fromLocal8Bit(argv[1]));

    platform::MemoryPlatform fs;
    fs.AddDrive('A', platform::DRIVE_REMOVABLE);
    fs.AddDrive('C', platform::DRIVE_FIXED, Cp932FromUtf8("Windows"));
    fs.AddDrive('D', platform::DRIVE_CDROM, Cp932FromUtf8("写真 2026"));
    fs.AddDrive('E', platform::DRIVE_RAMDISK, Cp932FromUtf8("RAMDISK"));
    fs.AddDrive('F', platform::DRIVE_REMOTE);
    fs.SetNetworkName('F', Cp932FromUtf8("\\\\Server\\共有"));
    const char* const names[] = {"C:\\ユーザー",
                                 "C:\\ユーザー\\表計算",
                                 "C:\\ユーザー\\表計算\\見積書",
                                 "C:\\ユーザー\\表計算\\ﾃﾞｰﾀ",
                                 "C:\\ユーザー\\表計算\\Archive",
                                 "C:\\ユーザー\\表計算\\月次 Reports"};
    for (const char* name : names) fs.AddDirectory(Cp932FromUtf8(name));
    platform::ScopedPlatform active(fs.AsPlatform());
    platform::SetCurrentDirectoryA(Cp932FromUtf8("C:\\ユーザー\\表計算").c_str());

    QWidget window;
    window.resize(500, 150);
    // The main window's font: "System" with characters 19 pixels high, as
    // its stand-in draws it.
    window.setFont(app::DesignedFont(QStringLiteral("System"), -19));
    auto* combo = new selectors::TDriveComboBox(&window);
    combo->setGeometry(250, 10, 240, 24);
    auto* list = new selectors::TDirectoryListBox(&window);
    list->setGeometry(250, 40, 240, 95);
    list->SetItemHeight(18); // as the main window's layout sets it
    window.show();
    QApplication::processEvents();

    bool saved = combo->grab().save(output.filePath(QStringLiteral("DriveComboBox.png")));
    saved = list->grab().save(output.filePath(QStringLiteral("DirectoryListBox.png"))) && saved;
    combo->showPopup();
    QApplication::processEvents();
    saved = combo->view()->window()->grab().save(output.filePath(QStringLiteral("DriveComboBoxDropped.png"))) && saved;
    combo->hidePopup();
    if (!saved) {
        std::fprintf(stderr, "could not write the pictures to %s\n", argv[1]);
        return 1;
    }
    return 0;
}
