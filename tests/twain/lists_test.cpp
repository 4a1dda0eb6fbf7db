// The typed lists that carry capability values: items, change flags, copies.
#include <gtest/gtest.h>

#include "platform/core/exceptions.h"
#include "vistrel/view/vllists.h"

TEST(TypedLists, ItemsAndChangeFlagsFollowEveryOperation) {
  TVLIntegerList l;
  EXPECT_EQ(l.ItemSize(), 4);
  for (int v : {10, 20, 30, 40}) l.Add(v);
  l.SetChanged(0);
  l.Delete(-1);
  l.Delete(4);
  EXPECT_EQ(l.Count(), 4);
  EXPECT_EQ(l.Changed(), 0) << "a delete outside the list changed it";
  l.Delete(1);
  EXPECT_EQ(l.Count(), 3);
  EXPECT_EQ(l.GetItem(1), 30);
  EXPECT_EQ(l.Changed(), lcItems);
  l.SetCount(2);
  EXPECT_EQ(l.GetItem(0), 10);
  EXPECT_EQ(l.GetItem(1), 30);
  l.SetCount(5);
  EXPECT_EQ(l.GetItem(1), 30);
  EXPECT_THROW(l.GetItem(5), EListError);
  EXPECT_THROW(l.GetItem(-1), EListError);
  EXPECT_EQ(l.GetItemPtr(5), nullptr);
  l.SetItem(7, 99);  // outside: nothing
  EXPECT_EQ(l.Count(), 5);
  l.SetRangeMax(8);
  l.SetCurrentValue(30);
  EXPECT_EQ(l.Changed(), lcItems | lcRange | lcCurrent);

  TVLIntegerList copy;
  copy.Assign(l);
  EXPECT_EQ(copy.Count(), 5);
  EXPECT_EQ(copy.Changed(), l.Changed());
  EXPECT_EQ(copy.RangeMax(), 8);
  EXPECT_EQ(copy.IndexOf(30), 1);
  copy.SetItem(0, 11);
  EXPECT_EQ(l.GetItem(0), 10) << "the copy shares its items";

  l.Clear();
  EXPECT_EQ(l.Count(), 0);
  EXPECT_EQ(l.Changed(), 0);
  EXPECT_EQ(l.RangeMax(), 0);
  EXPECT_EQ(l.CurrentValue(), 0);
}

TEST(TypedLists, RealsCompareByTheirBytes) {
  TVLDoubleList l;
  EXPECT_EQ(l.ItemSize(), 8);
  l.Add(-0.0);
  l.Add(72.25);
  EXPECT_EQ(l.IndexOf(0.0), -1);
  EXPECT_EQ(l.IndexOf(-0.0), 0);
  EXPECT_EQ(l.IndexOf(72.25), 1);
}

TEST(TypedLists, AnItemOfTheListItselfIsAddedAndSetWhole) {
  TVLDoubleList l;
  l.Add(1.5);
  // Each add grows the storage, so a pointer into the list goes stale unless copied first.
  for (int i = 0; i < 40; ++i) l.AddItem(l.GetItemPtr(i));
  ASSERT_EQ(l.Count(), 41);
  for (int i = 0; i < 41; ++i) ASSERT_EQ(l.GetItem(i), 1.5) << i;
  l.Add(-2.0);
  l.TVLList::SetItem(41, l.GetItemPtr(41));
  l.TVLList::SetItem(0, l.GetItemPtr(41));
  EXPECT_EQ(l.GetItem(0), -2.0);
  EXPECT_EQ(l.GetItem(41), -2.0);
}
