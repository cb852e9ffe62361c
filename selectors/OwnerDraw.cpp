#include "selectors/OwnerDraw.h"

#include "app/QtText.h"
#include "selectors/SelectorImages.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QWidget>

namespace kivra::selectors {

void DrawOwnerItem(const QWidget& control, const OwnerDrawn& list, QPainter& painter, int index, const QRect& item,
                   bool selected, bool focused)
{
    const QPalette& colours = control.palette();
    const QColor brush = selected ? colours.color(QPalette::Highlight) : colours.color(QPalette::Base);
    const QColor ink = selected ? colours.color(QPalette::HighlightedText) : colours.color(QPalette::Text);
    painter.save();
    painter.setClipRect(item);
    painter.fillRect(item, brush);
    if (index >= 0 && index < list.ItemCount()) {
        const ItemPicture picture = list.Picture(index, item);
        if (picture.image) DrawKeyedImage(painter, picture.imageAt, *picture.image, brush);
        painter.setFont(control.font());
        painter.setPen(ink);
        painter.drawText(picture.textRect, picture.textFlags, app::ToQString(picture.text));
    }
    if (focused) {
        QStyleOptionFocusRect option;
        option.initFrom(&control);
        option.rect = item;
        option.backgroundColor = brush;
        control.style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, &control);
    }
    painter.restore();
}

OwnerDrawDelegate::OwnerDrawDelegate(QWidget* control, const OwnerDrawn& list)
    : QStyledItemDelegate(control),
      control_(control),
      list_(list)
{}

void OwnerDrawDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    DrawOwnerItem(*control_, list_, *painter, index.row(), option.rect, option.state.testFlag(QStyle::State_Selected),
                  option.state.testFlag(QStyle::State_HasFocus));
}

QSize OwnerDrawDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const
{
    return QSize(0, list_.ItemHeight());
}

} // namespace kivra::selectors
