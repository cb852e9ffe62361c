// The desktop's icons: the program's icon drawn at every size the desktop
// asks for, the 32 x 32 one being the very icon the window shows.

#include <QColor>
#include <QImage>
#include <QPoint>
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

TEST(DesktopIcon, EverySizeIsSquareAndDrawnWhollyInsideItsCanvas)
{
    // Nothing on the outermost rows and columns: no part of the drawing is
    // cut off at an edge.
    for (const int size : kSizes) {
        SCOPED_TRACE("size " + std::to_string(size));
        const QImage icon = DesktopIcon(size);
        ASSERT_FALSE(icon.isNull());
        ASSERT_EQ(icon.width(), size);
        ASSERT_EQ(icon.height(), size);
        for (int i = 0; i < size; ++i) {
            for (const QPoint edge : {QPoint(i, 0), QPoint(i, size - 1), QPoint(0, i), QPoint(size - 1, i)})
                ASSERT_EQ(icon.pixelColor(edge).alpha(), 0) << "at " << edge.x() << "," << edge.y();
        }
    }
}

TEST(DesktopIcon, EverySizeShowsTheFolderUnderTheMagnifyingGlass)
{
    // Points well inside each part of the drawing keep its colour at every
    // size, drawn pixel by pixel or smoothed.
    for (const int size : kSizes) {
        SCOPED_TRACE("size " + std::to_string(size));
        const QImage icon = DesktopIcon(size);
        ASSERT_FALSE(icon.isNull());
        EXPECT_EQ(Rgba(At(icon, 19.5, 15.5)), "190,230,255,255") << "the glass";
        EXPECT_EQ(Rgba(At(icon, 8.5, 20.5)), "250,204,70,255") << "the folder's front";
        EXPECT_EQ(Rgba(At(icon, 8.5, 12.5)), "214,160,30,255") << "the folder's back";
        EXPECT_EQ(Rgba(At(icon, 26.0, 22.5)), "120,70,20,255") << "the handle";
    }
}

} // namespace
