// TStringList: an unsorted list of texts whose lines can be handed out
// without copying them.

#include "scan/StringList.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace kivra::scan {
namespace {

TEST(StringListTest, KeepsLinesInOrderWithDuplicatesAndEmptyLines)
{
    TStringList list;
    list.Add("b");
    list.Add("");
    list.Add("b");
    list.Insert(0, "head");
    list.Insert(4, "tail");
    ASSERT_EQ(list.Count(), 5u);
    EXPECT_EQ(*list.Snapshot(), (TStringList::Lines{"head", "b", "", "b", "tail"}));
    EXPECT_EQ(list[2], "");
    EXPECT_THROW(list.Insert(7, "x"), std::out_of_range);
    EXPECT_THROW(static_cast<void>(list[5]), std::out_of_range);
    list.Clear();
    EXPECT_EQ(list.Count(), 0u);
}

TEST(StringListTest, ASnapshotIsTheListsOwnStorageUntilTheListChanges)
{
    TStringList list;
    for (int i = 0; i < 1000; ++i) list.Add(std::to_string(i));
    const auto first = list.Snapshot();
    EXPECT_EQ(first.get(), list.Snapshot().get()) << "handing out lines copies nothing";

    list.Add("more");
    list.Insert(0, "header");
    EXPECT_EQ(first->size(), 1000u) << "a snapshot does not see later changes";
    EXPECT_EQ(first->front(), "0");
    EXPECT_EQ(list.Count(), 1002u);
    EXPECT_EQ(list[0], "header");

    const auto second = list.Snapshot();
    list.Clear();
    EXPECT_EQ(second->size(), 1002u) << "clearing leaves a snapshot whole";
    EXPECT_EQ(list.Count(), 0u);
}

} // namespace
} // namespace kivra::scan
