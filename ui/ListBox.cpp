#include "ui/ListBox.h"

#include <QItemSelectionModel>
#include <QStyledItemDelegate>

namespace kivra::ui {

namespace {

// Every row is ItemHeight pixels high, whatever the font says.
class FixedHeightDelegate : public QStyledItemDelegate {
public:
    FixedHeightDelegate(const int& height, QObject* parent) : QStyledItemDelegate(parent), height_(height) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(height_);
        return size;
    }

private:
    const int& height_;
};

} // namespace

ListBoxModel::ListBoxModel(QObject* parent)
    : QAbstractListModel(parent), lines_(std::make_shared<const std::vector<platform::Text>>())
{
}

int ListBoxModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    return static_cast<int>(lines_->size());
}

QVariant ListBoxModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount())
        return {};
    const std::u16string utf16 = platform::Utf16FromCp932((*lines_)[static_cast<std::size_t>(index.row())]);
    return QString::fromUtf16(utf16.data(), static_cast<qsizetype>(utf16.size()));
}

void ListBoxModel::SetLines(Lines lines)
{
    beginResetModel();
    lines_ = lines ? std::move(lines) : std::make_shared<const std::vector<platform::Text>>();
    endResetModel();
}

TListBox::TListBox(QWidget* parent) : QListView(parent), model_(new ListBoxModel(this))
{
    setModel(model_);
    setItemDelegate(new FixedHeightDelegate(itemHeight_, this));
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTextElideMode(Qt::ElideNone);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

void TListBox::SetItemHeight(int height)
{
    if (height <= 0 || height == itemHeight_)
        return;
    itemHeight_ = height;
    doItemsLayout();
}

int TListBox::Count() const
{
    return model_->rowCount();
}

const platform::Text& TListBox::Line(int row) const
{
    return model_->CurrentLines()->at(static_cast<std::size_t>(row));
}

void TListBox::Clear()
{
    model_->SetLines(nullptr);
}

void TListBox::ReplaceLines(Lines lines)
{
    setUpdatesEnabled(false);
    model_->SetLines(nullptr);
    model_->SetLines(std::move(lines));
    setUpdatesEnabled(true);
    viewport()->repaint();
}

int TListBox::ItemIndex() const
{
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : selected.first().row();
}

void TListBox::SetItemIndex(int row)
{
    if (row < 0 || row >= Count() || ItemIndex() == row)
        return;
    const QModelIndex index = model_->index(row);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
}

} // namespace kivra::ui
