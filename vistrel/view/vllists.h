// Growable lists of fixed-size items, and their integer and real forms with a value range
// and a current value. The lists remember which parts changed (items, range, current value),
// so that the TWAIN client sends a source only what the caller changed.
#pragma once
#include <cstdint>
#include <vector>

#include "platform/core/object.h"

// Bits of TVLList::Changed().
enum TVLListChange : uint8_t { lcItems = 1, lcRange = 2, lcCurrent = 4 };
using TVLListChanges = uint8_t;

// The item size is fixed when the list is made; only the typed lists below make lists.
class TVLList : public TObject {
 public:
  int Count() const { return FCount; }
  int ItemSize() const { return FItemSize; }
  TVLListChanges Changed() const { return FChanged; }
  void SetChanged(TVLListChanges Value) { FChanged = Value; }

  // Keeps the first min(old, N) items; added items are zero. Negative N counts as 0.
  virtual void SetCount(int N);
  // Nothing outside 0..Count-1.
  virtual void Delete(int Index);
  // No items, no change flags.
  virtual void Clear();

  // Index of the first item with the same bytes; -1 when none.
  int IndexOfItem(const void* Item) const;
  // Appends a copy of ItemSize bytes; returns its index.
  int AddItem(const void* Item);
  // Address of item Index; null outside 0..Count-1.
  void* GetItemPtr(int Index);
  const void* GetItemPtr(int Index) const;
  // Nothing outside 0..Count-1.
  void SetItem(int Index, const void* Item);

 protected:
  explicit TVLList(int ItemSize);
  // Count, items and change flags of a list of the same item size.
  void AssignItems(const TVLList& Source);

 private:
  int FCount = 0;
  int FItemSize = 0;
  std::vector<uint8_t> FData;
  TVLListChanges FChanged = 0;
};

// A list of T with a range (minimum, maximum, step) and a current value.
template <class T>
class TVLValueList : public TVLList {
 public:
  int Add(T Value) { return AddItem(&Value); }
  // Raises EListError outside 0..Count-1.
  T GetItem(int Index) const;
  void SetItem(int Index, T Value) { TVLList::SetItem(Index, &Value); }
  // Byte equality: for reals, 0.0 and -0.0 differ.
  int IndexOf(T Value) const { return IndexOfItem(&Value); }

  T RangeMin() const { return FRangeMin; }
  T RangeMax() const { return FRangeMax; }
  T RangeStep() const { return FRangeStep; }
  T CurrentValue() const { return FCurrentValue; }
  void SetRangeMin(T Value);
  void SetRangeMax(T Value);
  void SetRangeStep(T Value);
  void SetCurrentValue(T Value);

  // Also zeroes the range and the current value.
  void Clear() override;
  // Items, change flags, range and current value of a list of the same type.
  void Assign(const TVLValueList& Source);

 protected:
  TVLValueList() : TVLList(int(sizeof(T))) {}

 private:
  T FRangeMin{}, FRangeMax{}, FRangeStep{}, FCurrentValue{};
};

class TVLIntegerList final : public TVLValueList<int32_t> {
 public:
  TVLIntegerList() = default;
};

class TVLDoubleList final : public TVLValueList<double> {
 public:
  TVLDoubleList() = default;
};

extern template class TVLValueList<int32_t>;
extern template class TVLValueList<double>;
