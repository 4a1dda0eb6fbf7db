// A list of items with a check box each, as the effects dialog's equalization page uses it:
// a click on an item toggles its box and fires OnClick; Space toggles the current item.
#pragma once
#include <string>
#include <vector>

#include "platform/gui/controls.h"

class TVLCheckListBox : public TCustomControl {
 public:
  explicit TVLCheckListBox(TComponent* AOwner);

  int Count() const { return int(FItems.size()); }
  void Add(const std::string& Text);
  void Clear();
  const std::string& Items(int i) const { return FItems.at(size_t(i)).Text; }
  void SetItem(int i, const std::string& Text);
  // From code: no OnClick. Indexes outside the list are ignored (Checked answers false).
  bool Checked(int i) const;
  void SetChecked(int i, bool Value);
  int ItemIndex() const { return FItemIndex; }
  // Height of one row in pixels.
  int ItemHeight() const;

  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void KeyDown(Word& Key, TShiftState Shift) override;

 protected:
  void Paint() override;

 private:
  void Toggle(int i);
  struct TItem {
    std::string Text;
    bool Checked = false;
  };
  std::vector<TItem> FItems;
  int FItemIndex = -1;
};
