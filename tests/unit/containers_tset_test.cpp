// TSet: case-insensitive identity, the walk orders, filtering walks, lookups, union, ownership.
#include "containers/TSet.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Forward(TSet& set) {
    std::vector<std::string> items;
    char* item = nullptr;
    for (DWORD r = set.GetFirst(&item); r == ERROR_SUCCESS; r = set.GetNext(&item))
        items.push_back(item);
    return items;
}

std::vector<std::string> Backward(TSet& set) {
    std::vector<std::string> items;
    char* item = nullptr;
    for (DWORD r = set.GetLast(&item); r == ERROR_SUCCESS; r = set.GetPrev(&item))
        items.push_back(item);
    return items;
}

using Items = std::vector<std::string>;

TEST(TSet, KeepsTheFirstFormOfItemsDifferingOnlyInCase) {
    TSet set;
    std::string text = "C:\\Temp";
    EXPECT_EQ(set.Add(text.c_str()), 0u);
    text[0] = 'X'; // the set holds its own copy
    EXPECT_EQ(set.Add("c:\\TEMP"), 0u);
    EXPECT_EQ(set.Count(), 1u);
    EXPECT_EQ(Forward(set), Items{"C:\\Temp"});
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

TEST(TSet, OrdersByLowerCaseFoldingSoPunctuationPrecedesLetters) {
    TSet set;
    for (const char* s : {"b", "A", "a_", "aB"})
        set.Add(s);
    EXPECT_EQ(set.IsEmpty(), 0);
    EXPECT_EQ(Forward(set), (Items{"A", "a_", "aB", "b"}));
    EXPECT_EQ(Backward(set), (Items{"b", "aB", "a_", "A"}));
}

TEST(TSet, BackwardWalkVisitsWhatLiesBeneathAPathBeforeThePath) {
    TSet set;
    for (const char* s : {"C:\\A", "C:\\A\\B", "C:\\A-B"})
        set.Add(s);
    EXPECT_EQ(Backward(set), (Items{"C:\\A\\B", "C:\\A-B", "C:\\A"}));
}

TEST(TSet, FilteringWalkRemovesSelectedItems) {
    TSet set;
    for (const char* s : {"K1", "DROP1", "K2", "DROP2", "DROP3"})
        set.Add(s);
    char* item = nullptr;
    DWORD r = set.GetFirst(&item);
    while (r == ERROR_SUCCESS)
        r = strncmp(item, "DROP", 4) == 0 ? set.RemoveCurrent(&item) : set.GetNext(&item);
    EXPECT_EQ(r, static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
    EXPECT_EQ(Forward(set), (Items{"K1", "K2"}));

    // Removing every item empties the set; the removal of the last one reports the end.
    r = set.GetFirst(&item);
    ASSERT_EQ(r, 0u);
    EXPECT_EQ(set.RemoveCurrent(&item), 0u);
    EXPECT_STREQ(item, "K2");
    EXPECT_EQ(set.RemoveCurrent(&item), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
    EXPECT_EQ(set.IsEmpty(), 1);
}

TEST(TSet, ItemAddedDuringAForwardWalkIsMetOnlyWhenItSortsLater) {
    TSet set;
    set.Add("B");
    set.Add("D");
    char* item = nullptr;
    ASSERT_EQ(set.GetFirst(&item), 0u);
    set.Add("A");
    set.Add("C");
    std::vector<std::string> seen{item};
    while (set.GetNext(&item) == ERROR_SUCCESS)
        seen.push_back(item);
    EXPECT_EQ(seen, (Items{"B", "C", "D"}));
}

TEST(TSet, ContainsIgnoresCaseAndNeverFindsNull) {
    TSet set;
    set.Add("service");
    EXPECT_EQ(set.Contains("SERVICE"), 1);
    EXPECT_EQ(set.Contains("SERVICES"), 0);
    EXPECT_EQ(set.Contains(nullptr), 0);
}

TEST(TSet, AddOfNullFailsWithANonZeroCodeAndChangesNothing) {
    TSet set;
    SetLastError(0);
    EXPECT_NE(set.Add(nullptr), 0u);
    SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(set.Add(nullptr), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(set.IsEmpty(), 1);
}

TEST(TSet, AddAllMakesTheUnionAndIgnoresItself) {
    TSet target, source;
    for (const char* s : {"a", "C"})
        target.Add(s);
    for (const char* s : {"A", "b"})
        source.Add(s);
    target.AddAll(source).AddAll(target);
    EXPECT_EQ(Forward(target), (Items{"a", "b", "C"}));
    EXPECT_EQ(Forward(source), (Items{"A", "b"}));

    // The copies are the target's own: the source may go away.
    TSet copy;
    {
        TSet temporary;
        temporary.Add("X:\\ONLY");
        copy.AddAll(temporary);
    }
    EXPECT_EQ(Forward(copy), Items{"X:\\ONLY"});
}

} // namespace
