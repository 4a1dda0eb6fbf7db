#include "vistrel/proc/previews_controls.h"

#include <algorithm>

#include "platform/gui/stdctrls.h"

TVLCheckListBox::TVLCheckListBox(TComponent* AOwner) : TCustomControl(AOwner) {
  FColor = clWindow;
  FTabStop = true;
  SetBounds(FLeft, FTop, 121, 97);
}

void TVLCheckListBox::Add(const std::string& Text) {
  FItems.push_back({Text, false});
  Invalidate();
}

void TVLCheckListBox::Clear() {
  FItems.clear();
  FItemIndex = -1;
  Invalidate();
}

void TVLCheckListBox::SetItem(int i, const std::string& Text) {
  if (i < 0 || i >= Count()) return;
  FItems[size_t(i)].Text = Text;
  Invalidate();
}

bool TVLCheckListBox::Checked(int i) const { return i >= 0 && i < Count() && FItems[size_t(i)].Checked; }

void TVLCheckListBox::SetChecked(int i, bool Value) {
  if (i < 0 || i >= Count() || FItems[size_t(i)].Checked == Value) return;
  FItems[size_t(i)].Checked = Value;
  Invalidate();
}

int TVLCheckListBox::ItemHeight() const { return std::max(16, std::abs(FFont.Height()) + 5); }

void TVLCheckListBox::Toggle(int i) {
  FItemIndex = i;
  FItems[size_t(i)].Checked = !FItems[size_t(i)].Checked;
  Invalidate();
  Click();
}

void TVLCheckListBox::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft || !FEnabled) return;
  if (CanFocus()) SetFocus();
  const int i = Y / ItemHeight();
  if (Y >= 0 && i < Count()) Toggle(i);
}

void TVLCheckListBox::KeyDown(Word& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  if (Key == VK_SPACE && FItemIndex >= 0 && FItemIndex < Count()) Toggle(FItemIndex);
  else if ((Key == VK_DOWN || Key == VK_UP) && Count() > 0) {
    FItemIndex = std::clamp(FItemIndex + (Key == VK_DOWN ? 1 : -1), 0, Count() - 1);
    Invalidate();
  }
}

void TVLCheckListBox::Paint() {
  TCanvas* c = Canvas();
  TRect r = ClientRect();
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(FColor);
  c->FillRect(r);
  c->SetFont(&FFont);
  const int h = ItemHeight();
  for (int i = 0; i < Count(); ++i) {
    const int top = i * h;
    // The box: 13 pixels, sunken, white inside.
    const int bx = 3, by = top + (h - 13) / 2;
    TRect box = Rect(bx, by, bx + 13, by + 13);
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(FEnabled ? clWindow : clBtnFace);
    c->FillRect(box);
    Frame3D(c, box, clBtnShadow, clBtnHighlight, 1);
    if (FItems[size_t(i)].Checked) {
      // A tick of three-pixel-thick strokes.
      c->Pen()->SetColor(FEnabled ? clWindowText : clGrayText);
      c->Pen()->SetWidth(1);
      for (int d = 0; d < 3; ++d) {
        c->MoveTo(bx + 3, by + 5 + d);
        c->LineTo(bx + 5, by + 7 + d);
        c->LineTo(bx + 10, by + 2 + d);
      }
    }
    c->Brush()->SetStyle(bsClear);
    c->Font()->SetColor(FEnabled ? clWindowText : clGrayText);
    c->TextOut(bx + 19, top + (h - c->TextHeight("Ag")) / 2, FItems[size_t(i)].Text);
  }
}
