#include "ui/ListBox.h"
#include "app/Accessible.h"

#include "selectors/DirectoryListBox.h"

#include <QAccessible>
#include <QEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QStyle>

#include <QItemSelectionModel>
#include <algorithm>

namespace kivra::ui {

ListBoxModel::ListBoxModel(QObject* parent)
    : QAbstractListModel(parent),
      lines_(std::make_shared<const scan::TStringList::Lines>())
{}

int ListBoxModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid()) return 0;
    return static_cast<int>(lines_->size());
}

QVariant ListBoxModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) return {};
    const std::u16string utf16 = platform::Utf16FromCp932((*lines_)[static_cast<std::size_t>(index.row())]);
    return QString::fromUtf16(utf16.data(), static_cast<qsizetype>(utf16.size()));
}

void ListBoxModel::SetLines(Lines lines)
{
    beginResetModel();
    lines_ = lines ? std::move(lines) : std::make_shared<const scan::TStringList::Lines>();
    endResetModel();
}

TListBox::TListBox(QWidget* parent) : QTableView(parent), model_(new ListBoxModel(this))
{
    setModel(model_);
    horizontalHeader()->hide();
    horizontalHeader()->setStretchLastSection(false);
    verticalHeader()->hide();
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(18);
    setShowGrid(false);
    setWordWrap(false);
    setTextElideMode(Qt::ElideNone);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab leaves the list box for the next control, as in any list box.
    setTabKeyNavigation(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
}

void TListBox::UpdateExtent()
{
    const Lines& lines = model_->CurrentLines();
    int extent = 0;
    if (widestLine_ < lines->size()) {
        const std::u16string widest = platform::Utf16FromCp932((*lines)[widestLine_]);
        // The text and the room the view leaves on either side of it.
        extent = QFontMetrics(font()).horizontalAdvance(
                     QString::fromUtf16(widest.data(), static_cast<qsizetype>(widest.size()))) +
                 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1);
    }
    // The column is as wide as the box, or as the widest row where that is
    // wider; the scroll bar shows then.
    horizontalHeader()->setMinimumSectionSize(std::max(extent, 1));
    horizontalHeader()->resizeSection(0, std::max(extent, viewport()->width()));
}

void TListBox::resizeEvent(QResizeEvent* event)
{
    QTableView::resizeEvent(event);
    UpdateExtent();
}

void TListBox::changeEvent(QEvent* event)
{
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange) UpdateExtent();
}

QModelIndex TListBox::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    const int rows = model_->rowCount();
    if (rows > 0 && action == MoveHome) return model_->index(0, 0);
    if (rows > 0 && action == MoveEnd) return model_->index(rows - 1, 0);
    return QTableView::moveCursor(action, modifiers);
}

void TListBox::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    // Past QTableView's own, which tells of the new current row whether or not
    // the list has the focus.
    QAbstractItemView::currentChanged(current, previous);
    app::AnnounceFocusedRow(*this, current);
}

QItemSelectionModel::SelectionFlags TListBox::selectionCommand(const QModelIndex& index, const QEvent* event) const
{
    const auto command = selectors::TDirectoryListBox::SelectionCommandOf(index, event);
    return command == QItemSelectionModel::NoUpdate ? command : command | QItemSelectionModel::Rows;
}

int TListBox::ItemHeight() const { return verticalHeader()->defaultSectionSize(); }

void TListBox::SetItemHeight(int height)
{
    if (height > 0) verticalHeader()->setDefaultSectionSize(height);
}

int TListBox::Count() const { return model_->rowCount(); }

const scan::Line& TListBox::Line(int row) const { return model_->CurrentLines()->at(static_cast<std::size_t>(row)); }

void TListBox::Clear()
{
    model_->SetLines(nullptr);
    widestLine_ = 0;
    UpdateExtent();
}

void TListBox::ReplaceLines(Lines lines)
{
    setUpdatesEnabled(false);
    model_->SetLines(nullptr);
    model_->SetLines(std::move(lines));
    const auto& shown = *model_->CurrentLines();
    widestLine_ = 0;
    for (std::size_t i = 1; i < shown.size(); ++i)
        if (shown[i].size() > shown[widestLine_].size()) widestLine_ = i;
    UpdateExtent();
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
    if (row < 0 || row >= Count() || ItemIndex() == row) return;
    const QModelIndex index = model_->index(row);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
}

} // namespace kivra::ui
