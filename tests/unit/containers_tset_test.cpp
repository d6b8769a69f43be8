// TSet: case-insensitive identity, the walk orders, filtering walks, lookups, union, ownership.
#include "containers/TSet.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using Items = std::vector<std::string>;

void Fill(TSet& set, const Items& items) {
    for (const std::string& item : items)
        EXPECT_EQ(set.Add(item.c_str()), 0u);
}

Items Forward(TSet& set) {
    Items items;
    char* item = nullptr;
    for (DWORD r = set.GetFirst(&item); r == ERROR_SUCCESS; r = set.GetNext(&item))
        items.push_back(item);
    return items;
}

Items Backward(TSet& set) {
    Items items;
    char* item = nullptr;
    for (DWORD r = set.GetLast(&item); r == ERROR_SUCCESS; r = set.GetPrev(&item))
        items.push_back(item);
    return items;
}

TEST(TSet, KeepsOwnCopyOfTheFirstFormOfItemsDifferingOnlyInCase) {
    TSet set;
    std::string text = "C:\\Temp";
    Fill(set, {text, "c:\\TEMP"});
    text[0] = 'X';
    EXPECT_EQ(set.Count(), 1u);
    EXPECT_EQ(Forward(set), Items{"C:\\Temp"});
    EXPECT_EQ(set.Contains("c:\\temp"), 1);
    EXPECT_EQ(set.Contains("C:\\Temp2"), 0);
    EXPECT_EQ(set.Contains(nullptr), 0);
}

TEST(TSet, EmptySetEndsEveryWalkAndLeavesTheItemAlone) {
    TSet set;
    char marker[] = "marker";
    char* item = marker;
    EXPECT_EQ(set.IsEmpty(), 1);
    EXPECT_EQ(set.GetFirst(&item), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
    EXPECT_EQ(set.GetLast(&item), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
    EXPECT_EQ(item, marker);
}

TEST(TSet, WalksInLowerCaseFoldedOrderWithPathsBeforeWhatLiesBeneath) {
    TSet set;
    Fill(set, {"b", "A", "a_", "aB"});
    EXPECT_EQ(Forward(set), (Items{"A", "a_", "aB", "b"}));
    EXPECT_EQ(Backward(set), (Items{"b", "aB", "a_", "A"}));

    TSet paths;
    Fill(paths, {"C:\\A", "C:\\A\\B", "C:\\A-B"});
    EXPECT_EQ(Backward(paths), (Items{"C:\\A\\B", "C:\\A-B", "C:\\A"}));
}

TEST(TSet, FilteringWalkRemovesSelectedItemsAndMeetsLaterAdditions) {
    TSet set;
    Fill(set, {"K1", "DROP1", "K3", "DROP2"});
    char* item = nullptr;
    DWORD r = set.GetFirst(&item); // DROP1
    set.Add("K2");                 // sorts after the cursor: the walk meets it
    set.Add("A");                  // sorts before: it does not
    Items seen;
    while (r == ERROR_SUCCESS) {
        seen.push_back(item);
        r = strncmp(item, "DROP", 4) == 0 ? set.RemoveCurrent(&item) : set.GetNext(&item);
    }
    EXPECT_EQ(seen, (Items{"DROP1", "DROP2", "K1", "K2", "K3"}));
    EXPECT_EQ(Forward(set), (Items{"A", "K1", "K2", "K3"}));

    // Removing every item empties the set; the removal of the last one reports the end.
    for (r = set.GetFirst(&item); r == ERROR_SUCCESS;)
        r = set.RemoveCurrent(&item);
    EXPECT_EQ(r, static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
    EXPECT_EQ(set.IsEmpty(), 1);
}

TEST(TSet, AddOfNullFailsWithANonZeroCodeAndChangesNothing) {
    TSet set;
    SetLastError(0);
    EXPECT_NE(set.Add(nullptr), 0u);
    SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(set.Add(nullptr), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(set.IsEmpty(), 1);
}

TEST(TSet, AddAllMakesTheUnionOfOwnCopiesAndIgnoresItself) {
    TSet target;
    Fill(target, {"a", "C"});
    {
        TSet source;
        Fill(source, {"A", "b"});
        target.AddAll(source).AddAll(target);
        EXPECT_EQ(Forward(source), (Items{"A", "b"}));
    }
    EXPECT_EQ(Forward(target), (Items{"a", "b", "C"}));
}

} // namespace
