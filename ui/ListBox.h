#pragma once
// The window's result list box: a one-column view over a model that holds a
// shared, read-only snapshot of a result list. Showing a list hands over the
// snapshot; no line is copied, only the rows on screen are ever converted
// for display, and the rows all have one fixed height, so the view never
// measures them one by one: a million lines appear as fast as a dozen.
// Rows wider than the box can be scrolled to sideways, as in a Windows list
// box given a horizontal extent: the extent is the width of the line with
// the most bytes (in a code-page-932 text each byte is half a character
// cell, so with the window's fixed-pitch face that line is the widest).

#include "platform/CodePage.h"
#include "scan/StringList.h"

#include <QAbstractListModel>
#include <QTableView>

#include <memory>
#include <vector>

namespace kivra::ui {

using Lines = std::shared_ptr<const scan::TStringList::Lines>;

// Rows of a TListBox: the lines of one snapshot, shown in their order.
class ListBoxModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit ListBoxModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    void SetLines(Lines lines);
    const Lines& CurrentLines() const { return lines_; }

private:
    Lines lines_;
};

class TListBox : public QTableView {
    Q_OBJECT
    Q_PROPERTY(int ItemHeight READ ItemHeight WRITE SetItemHeight)
public:
    explicit TListBox(QWidget* parent = nullptr);

    int ItemHeight() const;
    void SetItemHeight(int height);

    // Number of rows and the 932 text of one row.
    int Count() const;
    const scan::Line& Line(int row) const;

    // Removes all rows.
    void Clear();
    // Replaces all rows with the given lines as one update: drawing is
    // switched off, the rows are exchanged, drawing comes back on and the
    // list box is repainted at once.
    void ReplaceLines(Lines lines);

    // The selected row, -1 when none.
    int ItemIndex() const;
    // Selects a row and makes it current; touches nothing when it already is.
    void SetItemIndex(int row);

protected:
    // Never deselects: a click, with Ctrl or without, selects the row.
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event = nullptr) const override;

    // Home and End go to the first and the last row, as in any list box
    // (a table view would move along the row).
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void UpdateExtent();

    ListBoxModel* model_;
    std::size_t widestLine_ = 0; // the row with the most bytes
};

} // namespace kivra::ui
