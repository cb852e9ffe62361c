// The desktop's icons: the program's icon drawn at every size the desktop
// asks for, the 32 x 32 one being the very icon the window shows.

#include <QColor>
#include <QImage>
#include <QString>

#include <gtest/gtest.h>

namespace {

constexpr int kSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

QImage DesktopIcon(int size)
{
    return QImage(QStringLiteral(KIVRA_ICON_DIR "/%1x%1/apps/kivra.png").arg(size))
        .convertToFormat(QImage::Format_ARGB32);
}

// The pixel that holds the point (x, y) of the drawing's 32-unit square.
QColor At(const QImage& icon, double x, double y)
{
    const double scale = icon.width() / 32.0;
    return icon.pixelColor(static_cast<int>(x * scale), static_cast<int>(y * scale));
}

std::string Rgba(const QColor& colour)
{
    return std::to_string(colour.red()) + "," + std::to_string(colour.green()) + "," + std::to_string(colour.blue()) +
           "," + std::to_string(colour.alpha());
}

TEST(DesktopIcon, At32PixelsIsTheWindowsOwnIcon)
{
    const QImage desktop = DesktopIcon(32);
    const QImage window = QImage(QStringLiteral(KIVRA_MAIN_ICON)).convertToFormat(QImage::Format_ARGB32);
    ASSERT_FALSE(desktop.isNull());
    ASSERT_FALSE(window.isNull());
    ASSERT_EQ(desktop.size(), window.size());
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            ASSERT_EQ(Rgba(desktop.pixelColor(x, y)), Rgba(window.pixelColor(x, y))) << "at " << x << "," << y;
}

TEST(DesktopIcon, EverySizeIsSquareWithATransparentGround)
{
    for (const int size : kSizes) {
        SCOPED_TRACE("size " + std::to_string(size));
        const QImage icon = DesktopIcon(size);
        ASSERT_FALSE(icon.isNull());
        EXPECT_EQ(icon.width(), size);
        EXPECT_EQ(icon.height(), size);
        EXPECT_EQ(icon.pixelColor(size - 1, 0).alpha(), 0);
        EXPECT_EQ(icon.pixelColor(0, size - 1).alpha(), 0);
        EXPECT_EQ(icon.pixelColor(0, 0).alpha(), 0);
    }
}

TEST(DesktopIcon, EverySizeShowsTheFolderUnderTheMagnifyingGlass)
{
    // Points well inside each part of the drawing keep its colour at every
    // size, smoothing or not.
    for (const int size : kSizes) {
        SCOPED_TRACE("size " + std::to_string(size));
        const QImage icon = DesktopIcon(size);
        ASSERT_FALSE(icon.isNull());
        EXPECT_EQ(Rgba(At(icon, 20.5, 16.5)), "190,230,255,255") << "the glass";
        EXPECT_EQ(Rgba(At(icon, 8.5, 20.5)), "250,204,70,255") << "the folder's front";
        EXPECT_EQ(Rgba(At(icon, 8.5, 11.0)), "214,160,30,255") << "the folder's back";
        EXPECT_EQ(Rgba(At(icon, 28.5, 24.5)), "120,70,20,255") << "the handle";
    }
}

} // namespace
