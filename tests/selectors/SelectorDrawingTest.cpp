// Where the selectors draw an item's image and text, and what the drawn
// pixels show: the images' key colour shows the item's background.

#include "selectors/DirectoryListBox.h"
#include "selectors/DriveComboBox.h"
#include "selectors/SelectorImages.h"

#include "platform/WinApi.h"
#include "platform/memory/MemoryPlatform.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

namespace kivra::test {
namespace {

using platform::MemoryPlatform;
using selectors::TDirectoryListBox;
using selectors::TDriveComboBox;

const QRgb KeyBlue = qRgb(0, 0, 255);

// Draws one item into an image of its own size.
template <class Control>
QImage Rendered(const Control& control, int index, QSize size, bool selected)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::magenta);
    QPainter painter(&image);
    control.DrawItem(painter, index, QRect(QPoint(0, 0), size), selected, false);
    painter.end();
    return image;
}

class SelectorDrawing : public ::testing::Test {
protected:
    MemoryPlatform fs;
    platform::ScopedPlatform active{fs.AsPlatform()};

    SelectorDrawing()
    {
        fs.AddDrive('A', platform::DRIVE_REMOVABLE);
        fs.AddDrive('C', platform::DRIVE_FIXED, "R&D");
        fs.AddDirectory("C:\\Data");
        fs.AddDirectory("C:\\Data\\Sub");
        fs.AddDirectory("C:\\Data\\Sub\\Inner");
    }

    static void UseBackground(QWidget& control, QColor base, QColor highlight)
    {
        QPalette colours = control.palette();
        colours.setColor(QPalette::Base, base);
        colours.setColor(QPalette::Highlight, highlight);
        control.setPalette(colours);
    }
};

TEST_F(SelectorDrawing, LoadsEveryImageAtItsSizeWithTheKeyColourAtTheBottomLeft)
{
    for (const char* name : {"FLOPPY", "HARD", "NETWORK", "CDROM", "RAM"}) {
        const QImage image = selectors::LoadSelectorImage(name);
        ASSERT_FALSE(image.isNull()) << name;
        EXPECT_EQ(image.size(), QSize(16, 11)) << name;
        EXPECT_EQ(image.pixel(0, 10), KeyBlue) << name;
    }
    for (const char* name : {"OPENFOLDER", "CLOSEDFOLDER", "CURRENTFOLDER"}) {
        const QImage image = selectors::LoadSelectorImage(name);
        ASSERT_FALSE(image.isNull()) << name;
        EXPECT_EQ(image.size(), QSize(16, 15)) << name;
        EXPECT_EQ(image.pixel(0, 14), KeyBlue) << name;
    }
    EXPECT_TRUE(selectors::LoadSelectorImage("NOSUCHIMAGE").isNull());
}

TEST_F(SelectorDrawing, DriveItemsPutTheImageTwoInCentredAndTheTextSixAfterIt)
{
    const QImage image(16, 11, QImage::Format_RGB32);
    const auto first = TDriveComboBox::Layout(QRect(0, 0, 200, 20), &image);
    EXPECT_EQ(first.image, QRect(2, 4, 16, 11));
    EXPECT_EQ(first.text.left(), 22);
    EXPECT_EQ(first.text.top(), 0);
    EXPECT_EQ(first.text.bottom(), 19);

    const auto second = TDriveComboBox::Layout(QRect(5, 20, 200, 20), &image);
    EXPECT_EQ(second.image.topLeft(), QPoint(7, 24));
    EXPECT_EQ(second.text.left(), 27);

    const auto odd = TDriveComboBox::Layout(QRect(0, 0, 200, 14), &image);
    EXPECT_EQ(odd.image.top(), 1) << "(0 + 14 - 11) / 2 truncates";

    const auto plain = TDriveComboBox::Layout(QRect(0, 0, 200, 20), nullptr);
    EXPECT_TRUE(plain.image.isEmpty());
    EXPECT_EQ(plain.text.left(), 22);
}

TEST_F(SelectorDrawing, DriveImagesShowTheItemBackgroundWhereTheKeyColourIs)
{
    TDriveComboBox combo;
    combo.CreateHandle();
    UseBackground(combo, Qt::white, Qt::darkGreen);
    ASSERT_EQ(combo.ItemText(0), "a:");
    const QImage floppy = *combo.ImageOf(TDriveComboBox::FloppyImage);
    const QSize size(200, 20);
    const QRect at = TDriveComboBox::Layout(QRect(QPoint(0, 0), size), &floppy).image;

    for (bool selected : {false, true}) {
        const QImage drawn = Rendered(combo, 0, size, selected);
        const QRgb background = selected ? QColor(Qt::darkGreen).rgb() : QColor(Qt::white).rgb();
        int keyPixels = 0;
        for (int y = 0; y < floppy.height(); ++y) {
            for (int x = 0; x < floppy.width(); ++x) {
                const QRgb expected = floppy.pixel(x, y) == KeyBlue ? background : floppy.pixel(x, y);
                keyPixels += floppy.pixel(x, y) == KeyBlue;
                ASSERT_EQ(drawn.pixel(at.left() + x, at.top() + y), expected) << x << "," << y;
            }
        }
        EXPECT_GT(keyPixels, 0);
        EXPECT_EQ(drawn.pixel(0, 0), background) << "the rest of the item is filled";
        EXPECT_EQ(drawn.pixel(1, at.top() + 5), background) << "left of the image";
    }
}

TEST_F(SelectorDrawing, DriveTextsShowAnAmpersandAsItself)
{
    TDriveComboBox combo;
    QFont font = combo.font();
    font.setPixelSize(16);
    combo.setFont(font);
    combo.CreateHandle();
    UseBackground(combo, Qt::white, Qt::darkGreen);
    ASSERT_EQ(combo.ItemText(1), "c: [r&d]");
    const QImage drawn = Rendered(combo, 1, QSize(400, 24), false);

    int rightmostInk = -1;
    for (int y = 0; y < drawn.height(); ++y)
        for (int x = 22; x < drawn.width(); ++x)
            if (qGray(drawn.pixel(x, y)) < 128) rightmostInk = std::max(rightmostInk, x);
    const QFontMetrics metrics(font);
    const int withAmpersand = 22 + metrics.horizontalAdvance(QStringLiteral("c: [r&d]"));
    const int withoutAmpersand = 22 + metrics.horizontalAdvance(QStringLiteral("c: [rd]"));
    ASSERT_LT(withoutAmpersand + 3, withAmpersand);
    EXPECT_GT(rightmostInk, withoutAmpersand + 2);
    EXPECT_LE(rightmostInk, withAmpersand + 1);
}

TEST_F(SelectorDrawing, DirectoryItemsIndentByDepthAndPutTheTextAtTheTop)
{
    ASSERT_TRUE(platform::SetCurrentDirectoryA("C:\\Data\\Sub"));
    TDirectoryListBox list;
    list.CreateHandle();
    ASSERT_EQ(list.ItemCount(), 4);
    const QRect row(0, 36, 240, 18);

    struct Expected {
        int imageLeft;
        int textLeft;
    };
    const Expected expected[] = {{2, 22}, {6, 26}, {10, 30}, {14, 34}};
    for (int i = 0; i < 4; ++i) {
        const auto geometry = list.Layout(i, row);
        EXPECT_EQ(geometry.image.left(), expected[i].imageLeft) << "item " << i;
        EXPECT_EQ(geometry.image.top(), (36 + 54 - 15) / 2) << "item " << i;
        EXPECT_EQ(geometry.image.size(), QSize(16, 15));
        EXPECT_EQ(geometry.text, QPoint(expected[i].textLeft, 36)) << "item " << i;
    }
}

TEST_F(SelectorDrawing, FolderImagesShowTheItemBackgroundWhereTheKeyColourIs)
{
    ASSERT_TRUE(platform::SetCurrentDirectoryA("C:\\Data"));
    TDirectoryListBox list;
    list.CreateHandle();
    UseBackground(list, Qt::white, Qt::darkGreen);
    const QSize size(240, 18);

    for (int index = 0; index < list.ItemCount(); ++index) {
        const QImage folder = *list.ImageOf(list.ItemImage(index));
        const QRect at = list.Layout(index, QRect(QPoint(0, 0), size)).image;
        const bool selected = index == 1;
        const QImage drawn = Rendered(list, index, size, selected);
        const QRgb background = selected ? QColor(Qt::darkGreen).rgb() : QColor(Qt::white).rgb();
        for (int y = 0; y < folder.height(); ++y)
            for (int x = 0; x < folder.width(); ++x) {
                const QRgb expected = folder.pixel(x, y) == KeyBlue ? background : folder.pixel(x, y);
                ASSERT_EQ(drawn.pixel(at.left() + x, at.top() + y), expected) << index << ": " << x << "," << y;
            }
        EXPECT_EQ(drawn.pixel(at.left() - 1, at.top()), background);
    }
}

TEST_F(SelectorDrawing, KeyColourIsTakenFromEachImagesBottomLeftPixel)
{
    QImage image(3, 2, QImage::Format_RGB32);
    image.fill(Qt::red);
    image.setPixel(0, 1, qRgb(1, 2, 3));
    image.setPixel(2, 0, qRgb(1, 2, 3));
    const QImage replaced = selectors::WithKeyColourReplaced(image, Qt::yellow);
    EXPECT_EQ(replaced.pixel(0, 1), QColor(Qt::yellow).rgb());
    EXPECT_EQ(replaced.pixel(2, 0), QColor(Qt::yellow).rgb());
    EXPECT_EQ(replaced.pixel(1, 0), QColor(Qt::red).rgb());
}

} // namespace
} // namespace kivra::test
