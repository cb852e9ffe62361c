#include "selectors/SelectorImages.h"

#include "resources/GuiResources.h"

#include <QFontMetrics>
#include <QPainter>
#include <QString>

namespace kivra::selectors {

QImage LoadSelectorImage(const char* resourceName)
{
    QImage image(resources::ImagePath(QLatin1String(resourceName), QStringLiteral("bmp")));
    if (image.isNull()) return image;
    return image.convertToFormat(QImage::Format_RGB32);
}

QImage WithKeyColourReplaced(const QImage& image, const QColor& background)
{
    if (image.isNull()) return image;
    QImage result = image.convertToFormat(QImage::Format_RGB32);
    const QRgb key = result.pixel(0, result.height() - 1);
    const QRgb fill = background.rgb();
    for (int y = 0; y < result.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(result.scanLine(y));
        for (int x = 0; x < result.width(); ++x) {
            if (line[x] == key) line[x] = fill;
        }
    }
    return result;
}

void DrawKeyedImage(QPainter& painter, QPoint at, const QImage& image, const QColor& background)
{
    if (image.isNull()) return;
    painter.drawImage(at, WithKeyColourReplaced(image, background));
}

int FontCellHeight(const QFont& font) { return QFontMetrics(font).height(); }

} // namespace kivra::selectors
