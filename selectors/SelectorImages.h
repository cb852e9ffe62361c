#pragma once
// The bitmaps both selectors draw and the measures they share. The images
// are 16-colour bitmaps whose bottom-left pixel holds the key colour: every
// pixel of that colour shows the item's background when drawn.

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPoint>

class QPainter;

namespace kivra::selectors {

// One bitmap resource (":/images/<NAME>.bmp"), loaded by the control that
// owns it. A resource that cannot be loaded gives a null image, which the
// controls draw as an item without an image.
QImage LoadSelectorImage(const char* resourceName);

// The images a control owns, numbered as the control numbers them and
// loaded by their resource names in that order.
template <int Count>
class SelectorImageSet {
public:
    void Load(const char* const (&resourceNames)[Count])
    {
        for (int i = 0; i < Count; ++i) images_[i] = LoadSelectorImage(resourceNames[i]);
    }

    // The image with that number, or null for no image (a negative number,
    // or a resource that could not be loaded).
    const QImage* Find(int image) const
    {
        if (image < 0 || image >= Count || images_[image].isNull()) return nullptr;
        return &images_[image];
    }

    // The image's height, or `otherwise` when it could not be loaded.
    int HeightOr(int image, int otherwise) const
    {
        const QImage* found = Find(image);
        return found ? found->height() : otherwise;
    }

private:
    QImage images_[Count];
};

// The image with every pixel of its key colour (the bottom-left pixel's)
// replaced by `background`.
QImage WithKeyColourReplaced(const QImage& image, const QColor& background);

// Draws `image` at its own size with its top-left corner at `at`, the key
// colour showing `background`.
void DrawKeyedImage(QPainter& painter, QPoint at, const QImage& image, const QColor& background);

// The height of a text cell of the font: ascent plus descent.
int FontCellHeight(const QFont& font);

// Vertical position of an image of `imageHeight` centred in [top, bottom),
// by integer division truncating toward zero.
inline int CentredImageTop(int top, int bottom, int imageHeight) { return (top + bottom - imageHeight) / 2; }

} // namespace kivra::selectors
