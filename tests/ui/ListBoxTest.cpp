// The result list box: rows from a shared snapshot of a result list.
#include "ui/ListBox.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace kivra::ui {
namespace {

using platform::Text;

Lines Snapshot(const std::vector<Text>& lines)
{
    return std::make_shared<const scan::TStringList::Lines>(lines.begin(), lines.end());
}

TEST(ListBoxTest, ShowsTheLinesInTheirOrderAsTheyAreWritten)
{
    TListBox box;
    // "ロングファイル一覧です" in 932, a path, an empty line, a line starting with "z".
    const Text header = platform::Cp932FromUtf8("ロングファイル一覧です");
    box.ReplaceLines(Snapshot({header, "C:\\DATA\\b.txt", "", "C:\\DATA\\A.TXT"}));
    ASSERT_EQ(box.Count(), 4);
    const auto* model = box.model();
    EXPECT_EQ(model->data(model->index(0, 0)).toString(), QStringLiteral("ロングファイル一覧です"));
    EXPECT_EQ(model->data(model->index(1, 0)).toString(), QStringLiteral("C:\\DATA\\b.txt"));
    EXPECT_EQ(model->data(model->index(2, 0)).toString(), QString());
    EXPECT_EQ(model->data(model->index(3, 0)).toString(), QStringLiteral("C:\\DATA\\A.TXT")) << "the box does not sort";
    EXPECT_EQ(box.Line(0), header);
}

TEST(ListBoxTest, TakesOverTheListsLinesWithoutCopyingThem)
{
    TListBox box;
    const Lines lines = Snapshot({"first", "second"});
    box.ReplaceLines(lines);
    EXPECT_EQ(&box.Line(0), &(*lines)[0]);
    EXPECT_EQ(&box.Line(1), &(*lines)[1]);
}

TEST(ListBoxTest, ReplacingTheRowsDropsTheOldOnesAndTheSelection)
{
    TListBox box;
    box.ReplaceLines(Snapshot({"a", "b", "c"}));
    box.SetItemIndex(2);
    ASSERT_EQ(box.ItemIndex(), 2);
    box.ReplaceLines(Snapshot({"x"}));
    EXPECT_EQ(box.Count(), 1);
    EXPECT_EQ(box.Line(0), "x");
    EXPECT_EQ(box.ItemIndex(), -1);
    box.Clear();
    EXPECT_EQ(box.Count(), 0);
}

TEST(ListBoxTest, SelectingTheSelectedRowAgainChangesNothing)
{
    TListBox box;
    box.ReplaceLines(Snapshot({"a", "b"}));
    QSignalSpy changes(box.selectionModel(), &QItemSelectionModel::selectionChanged);
    box.SetItemIndex(0);
    box.SetItemIndex(0);
    EXPECT_EQ(changes.count(), 1);
    box.SetItemIndex(1);
    EXPECT_EQ(box.ItemIndex(), 1);
    EXPECT_EQ(changes.count(), 2);
    box.SetItemIndex(5);
    EXPECT_EQ(box.ItemIndex(), 1) << "a row that does not exist is not selected";
}

TEST(ListBoxTest, HomeAndEndGoToTheFirstAndTheLastRowWithOrWithoutCtrl)
{
    for (const auto modifiers : {Qt::NoModifier, Qt::ControlModifier}) {
        TListBox box;
        box.ReplaceLines(Snapshot({"1", "2", "3", "4", "5"}));
        box.SetItemIndex(2);
        QTest::keyClick(&box, Qt::Key_End, modifiers);
        EXPECT_EQ(box.ItemIndex(), 4) << "modifiers " << modifiers;
        QTest::keyClick(&box, Qt::Key_Home, modifiers);
        EXPECT_EQ(box.ItemIndex(), 0) << "modifiers " << modifiers;
    }
}

TEST(ListBoxTest, EveryRowIsItemHeightPixelsHigh)
{
    TListBox box;
    box.resize(200, 100);
    box.ReplaceLines(Snapshot({"a", "b", "c"}));
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    EXPECT_EQ(box.ItemHeight(), 18);
    EXPECT_EQ(box.visualRect(box.model()->index(1, 0)).height(), 18);
    EXPECT_EQ(box.visualRect(box.model()->index(2, 0)).top(), 36);
    box.SetItemHeight(25);
    EXPECT_EQ(box.visualRect(box.model()->index(2, 0)).top(), 50);
}

TEST(ListBoxTest, RowsWiderThanTheBoxCanBeScrolledToSideways)
{
    TListBox box;
    box.resize(200, 100);
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    box.ReplaceLines(Snapshot({"short", "C:\\A"}));
    QTest::qWait(10);
    EXPECT_FALSE(box.horizontalScrollBar()->isVisible()) << "rows that fit need no scroll bar";
    EXPECT_EQ(box.horizontalHeader()->sectionSize(0), box.viewport()->width()) << "the one column spans the box";

    const Text path = "C:\\" + Text(120, 'X') + "\\END.TXT";
    box.ReplaceLines(Snapshot({"short", path, "x"}));
    QTest::qWait(10);
    ASSERT_TRUE(box.horizontalScrollBar()->isVisible());
    const int pathWidth = QFontMetrics(box.font()).horizontalAdvance(QString::fromStdString(path));
    EXPECT_GE(box.horizontalHeader()->sectionSize(0), pathWidth) << "the whole row can be brought into view";
    box.horizontalScrollBar()->setValue(box.horizontalScrollBar()->maximum());
    EXPECT_GT(box.horizontalScrollBar()->value(), 0);

    box.Clear();
    QTest::qWait(10);
    EXPECT_FALSE(box.horizontalScrollBar()->isVisible()) << "an empty box scrolls no more";
}

TEST(ListBoxTest, AMillionLinesCanBeShownAndScrolledToTheEnd)
{
    TListBox box;
    box.resize(300, 200);
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    auto lines = std::make_shared<scan::TStringList::Lines>();
    lines->reserve(1000000);
    for (int i = 0; i < 1000000; ++i) lines->push_back("C:\\DATA\\FILE" + std::to_string(i) + ".TXT");
    box.ReplaceLines(lines);
    ASSERT_EQ(box.Count(), 1000000);
    box.SetItemIndex(999999);
    box.scrollTo(box.model()->index(999999, 0));
    const QRect last = box.visualRect(box.model()->index(999999, 0));
    EXPECT_TRUE(box.viewport()->rect().contains(last.center()));
    EXPECT_EQ(box.model()->data(box.model()->index(999999, 0)).toString(), QStringLiteral("C:\\DATA\\FILE999999.TXT"));
}

} // namespace
} // namespace kivra::ui
