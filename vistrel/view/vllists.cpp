#include "vistrel/view/vllists.h"

#include <cstring>
#include <string>

#include "platform/core/exceptions.h"

TVLList::TVLList(int ItemSize) : FItemSize(ItemSize < 0 ? 0 : ItemSize) {}

void TVLList::SetCount(int N) {
  if (N < 0) N = 0;
  FData.resize(size_t(N) * size_t(FItemSize));
  FCount = N;
  FChanged |= lcItems;
}

void TVLList::Delete(int Index) {
  if (Index < 0 || Index >= FCount) return;
  const auto at = FData.begin() + ptrdiff_t(Index) * FItemSize;
  FData.erase(at, at + FItemSize);
  --FCount;
  FChanged |= lcItems;
}

void TVLList::Clear() {
  FCount = 0;
  FData.clear();
  FData.shrink_to_fit();
  FChanged = 0;
}

int TVLList::IndexOfItem(const void* Item) const {
  if (FItemSize == 0) return FCount > 0 ? 0 : -1;
  for (int i = 0; i < FCount; ++i)
    if (std::memcmp(FData.data() + size_t(i) * size_t(FItemSize), Item, size_t(FItemSize)) == 0) return i;
  return -1;
}

int TVLList::AddItem(const void* Item) {
  // Item may lie in this list, whose storage the growth moves.
  const auto* bytes = static_cast<const uint8_t*>(Item);
  const std::vector<uint8_t> copy(bytes, bytes + FItemSize);
  SetCount(FCount + 1);
  if (FItemSize) std::memcpy(FData.data() + size_t(FCount - 1) * size_t(FItemSize), copy.data(), size_t(FItemSize));
  FChanged |= lcItems;
  return FCount - 1;
}

void* TVLList::GetItemPtr(int Index) {
  if (Index < 0 || Index >= FCount) return nullptr;
  return FData.data() + size_t(Index) * size_t(FItemSize);
}

const void* TVLList::GetItemPtr(int Index) const {
  if (Index < 0 || Index >= FCount) return nullptr;
  return FData.data() + size_t(Index) * size_t(FItemSize);
}

void TVLList::SetItem(int Index, const void* Item) {
  if (Index < 0 || Index >= FCount) return;
  if (FItemSize) std::memmove(FData.data() + size_t(Index) * size_t(FItemSize), Item, size_t(FItemSize));
  FChanged |= lcItems;
}

void TVLList::AssignItems(const TVLList& Source) {
  if (&Source == this) return;
  FCount = Source.FCount;
  FItemSize = Source.FItemSize;
  FData = Source.FData;
  FChanged = Source.FChanged;
}

// ---- typed lists

template <class T>
T TVLValueList<T>::GetItem(int Index) const {
  const void* p = GetItemPtr(Index);
  if (!p) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <class T>
void TVLValueList<T>::SetRangeMin(T Value) {
  FRangeMin = Value;
  SetChanged(Changed() | lcRange);
}

template <class T>
void TVLValueList<T>::SetRangeMax(T Value) {
  FRangeMax = Value;
  SetChanged(Changed() | lcRange);
}

template <class T>
void TVLValueList<T>::SetRangeStep(T Value) {
  FRangeStep = Value;
  SetChanged(Changed() | lcRange);
}

template <class T>
void TVLValueList<T>::SetCurrentValue(T Value) {
  FCurrentValue = Value;
  SetChanged(Changed() | lcCurrent);
}

template <class T>
void TVLValueList<T>::Clear() {
  TVLList::Clear();
  FRangeMin = FRangeMax = FRangeStep = FCurrentValue = T{};
}

template <class T>
void TVLValueList<T>::Assign(const TVLValueList& Source) {
  AssignItems(Source);
  FRangeMin = Source.FRangeMin;
  FRangeMax = Source.FRangeMax;
  FRangeStep = Source.FRangeStep;
  FCurrentValue = Source.FCurrentValue;
}

template class TVLValueList<int32_t>;
template class TVLValueList<double>;
