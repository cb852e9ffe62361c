// TStringList: an unsorted list of texts whose lines can be handed out
// without copying them; Line, the text of one line.

#include "scan/StringList.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

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

TEST(LineTest, HoldsAnyBytesWithATerminatingNul)
{
    const std::string bytes("C:\\\x95\x5C\0tail", 10);
    const Line line(bytes);
    EXPECT_EQ(line.size(), 10u);
    EXPECT_EQ(line.View(), bytes);
    EXPECT_EQ(line.c_str()[10], '\0');
    EXPECT_TRUE(Line().empty());
    EXPECT_STREQ(Line().c_str(), "");
    EXPECT_EQ(Line(""), Line());
    EXPECT_FALSE(Line("a") == Line("A"));
}

TEST(LineTest, CopiesShareTheBytesWhichOutliveTheListThatMadeThem)
{
    TStringList walked;
    walked.Add("C:\\DATA\\LONGFILENAME.TXT");
    TStringList group;
    group.Add(walked[0]);
    group.Add(walked[0]);
    EXPECT_EQ(group[0].data(), walked[0].data()) << "no copy of the bytes";
    EXPECT_EQ(group[1].data(), walked[0].data());

    walked.Clear();
    EXPECT_EQ(group[0], "C:\\DATA\\LONGFILENAME.TXT");
    Line kept = group[1];
    group.Clear();
    EXPECT_EQ(kept, "C:\\DATA\\LONGFILENAME.TXT");
    kept = kept;
    Line moved = std::move(kept);
    EXPECT_EQ(moved, "C:\\DATA\\LONGFILENAME.TXT");
}

} // namespace
} // namespace kivra::scan
