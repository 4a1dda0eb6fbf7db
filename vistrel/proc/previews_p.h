// Private to the effects preview dialog (previews*.cpp): no API here.
// Helpers that build its controls.
#pragma once
#include <string>

#include "platform/gui/controls.h"
#include "platform/gui/stdctrls.h"

namespace vlpreviews {

template <class T>
T* Make(TWinControl* Parent, TComponent* Owner, int L, int T_, int W, int H) {
  auto* c = new T(Owner);
  c->SetParent(Parent);
  c->SetBounds(L, T_, W, H);
  return c;
}

inline TLabel* MakeLabel(TWinControl* Parent, TComponent* Owner, const std::string& Caption, int L, int T_) {
  auto* l = Make<TLabel>(Parent, Owner, L, T_, 60, 16);
  l->SetCaption(Caption);
  return l;
}

inline TButton* MakeButton(TWinControl* Parent, TComponent* Owner, const std::string& Caption, int L, int T_, int W,
                           TModalResult Result = mrNone) {
  auto* b = Make<TButton>(Parent, Owner, L, T_, W, 25);
  b->SetCaption(Caption);
  b->SetModalResult(Result);
  return b;
}

inline TGroupBox* MakeGroup(TWinControl* Parent, TComponent* Owner, const std::string& Caption, int L, int T_, int W,
                            int H) {
  auto* g = Make<TGroupBox>(Parent, Owner, L, T_, W, H);
  g->SetCaption(Caption);
  return g;
}

// A toggle: one group of its own, may be up.
inline TSpeedButton* MakeToggle(TWinControl* Parent, TComponent* Owner, const std::string& Caption, int Group, int L,
                                int T_, int W, int H) {
  auto* b = Make<TSpeedButton>(Parent, Owner, L, T_, W, H);
  b->SetCaption(Caption);
  b->SetGroupIndex(Group);
  b->SetAllowAllUp(true);
  return b;
}

// An edit of W pixels with an up-down at its right over Min..Max.
inline TEdit* MakeUpDownEdit(TWinControl* Parent, TComponent* Owner, int L, int T_, int W, int Min, int Max,
                             int Increment, TUpDown*& UpDown) {
  auto* e = Make<TEdit>(Parent, Owner, L, T_, W, 22);
  UpDown = Make<TUpDown>(Parent, Owner, L + W, T_, 16, 22);
  UpDown->SetMin(Min);
  UpDown->SetMax(Max);
  UpDown->SetIncrement(Increment);
  UpDown->SetAssociate(e);
  return e;
}

// A track bar over Min..Max with ticks every Frequency.
inline TTrackBar* MakeTrackBar(TWinControl* Parent, TComponent* Owner, int L, int T_, int W, int Min, int Max,
                               int Frequency) {
  auto* t = Make<TTrackBar>(Parent, Owner, L, T_, W, 30);
  t->SetMin(Min);
  t->SetMax(Max);
  t->SetFrequency(Frequency);
  t->SetPageSize(Frequency);
  return t;
}

}  // namespace vlpreviews
