#pragma once
// Owner drawing as both selectors do it: the framework's part of drawing an
// item (the brush and text colour by selection, the fill, a focus rectangle
// last when focused) around the control's own part (one image with its key
// colour showing the brush, and the item's text).

#include "platform/CodePage.h"

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QStyledItemDelegate>

class QPainter;
class QWidget;

namespace kivra::selectors {

// The control's own part of one item, laid out in the item's rectangle.
struct ItemPicture {
    const QImage* image = nullptr; // none when null
    QPoint imageAt;
    QRect textRect;
    int textFlags = 0; // Qt alignment and text flags
    platform::Text text;
};

// A list whose items are drawn by its own code, all of one fixed height.
class OwnerDrawn {
public:
    virtual ~OwnerDrawn() = default;
    virtual int ItemHeight() const = 0;
    virtual int ItemCount() const = 0;
    virtual ItemPicture Picture(int index, const QRect& item) const = 0;
};

// Draws one item of `list` (the widget `control`); an index outside the
// items is only filled.
void DrawOwnerItem(const QWidget& control, const OwnerDrawn& list, QPainter& painter, int index, const QRect& item,
                   bool selected, bool focused);

// Hands a view's item drawing and measuring to the control: every row is
// ItemHeight high and asks for no width of its own, so the view never
// scrolls sideways for it.
class OwnerDrawDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    OwnerDrawDelegate(QWidget* control, const OwnerDrawn& list);
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    const QWidget* control_;
    const OwnerDrawn& list_;
};

} // namespace kivra::selectors
