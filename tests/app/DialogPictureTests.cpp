// Pictures of the four dialogs the program shows, as the user sees them,
// written to the build directory (dialogs/*.png).
#include "app/Application.h"
#include "app/Fonts.h"
#include "app/MessageDialog.h"
#include "platform/memory/MemoryPlatform.h"
#include "resources/Texts.h"

#include <QDir>
#include <QImage>
#include <QLabel>
#include <QPixmap>

#include <gtest/gtest.h>

namespace kivra::test {
namespace {

using app::MessageDialogType;

// Counts the pixels of the label's area that differ from its background.
int InkIn(const QImage& picture, const QRect& area, QRgb background)
{
    int ink = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (picture.pixel(x, y) != background) ++ink;
    return ink;
}

TEST(DialogPictures, EachDialogInUseIsDrawnWithItsTextIconAndButtons)
{
    platform::MemoryPlatform files;
    files.SetModuleFileName("C:\\KIVRA\\KIVRA.EXE");
    platform::ScopedPlatform use(files.AsPlatform());
    app::TApplication application;
    app::InstallFontSubstitutions();
    const auto& texts = texts::Texts();
    struct Picture {
        const char* file;
        platform::Text text;
        MessageDialogType type;
        app::MessageDialogButtons buttons;
    };
    const Picture pictures[] = {
        {"root-missing-information-yes.png", texts.RootMissing, MessageDialogType::Information, app::YesButton},
        {"save-failed-warning-abort.png", texts.SaveFailedLongNames, MessageDialogType::Warning, app::AbortButton},
        {"verdict-found-warning-yes-no.png", texts.VerdictFound, MessageDialogType::Warning, app::YesNoButtons},
        {"verdict-normal-information-yes-no.png", texts.VerdictNormal, MessageDialogType::Information,
         app::YesNoButtons},
    };
    const QDir directory(QStringLiteral(KIVRA_DIALOG_PICTURES));
    ASSERT_TRUE(directory.mkpath(QStringLiteral(".")));
    for (const Picture& picture : pictures) {
        SCOPED_TRACE(picture.file);
        const auto dialog = app::BuildMessageDialog(picture.text, picture.type, picture.buttons);
        dialog->show();
        const QImage image = dialog->grab().toImage();
        dialog->hide();
        const QString path = directory.filePath(QString::fromLatin1(picture.file));
        ASSERT_TRUE(image.save(path));
        EXPECT_TRUE(QImage(path).size() == dialog->centralWidget()->size());

        const QRgb background = image.pixel(1, 1);
        const QRect text = dialog->Component("Message")->geometry();
        EXPECT_GT(InkIn(image, text, background), text.height()) << "the message is drawn";
        const QRect icon = dialog->Component("Image")->geometry();
        EXPECT_GT(InkIn(image, icon, background), 100) << "the icon is drawn";
    }
}

} // namespace
} // namespace kivra::test
