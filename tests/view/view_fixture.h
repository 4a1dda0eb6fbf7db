// Helpers of the view tests: a form to hold views, pictures, grabs and synthetic mouse input.
#pragma once
#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWidget>
#include <cstring>

#include "platform/gui/controls.h"
#include "vistrel/view/vistrelview.h"

namespace viewtest {

class ViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form = new TForm(nullptr);
    form->SetBounds(0, 0, 900, 700);
  }
  void TearDown() override { FreeAndNil(form); }

  // A borderless view of the given size on the form: the client area is the whole control.
  TVistrelView* MakeView(int w, int h) {
    auto* v = new TVistrelView(form);
    v->SetParent(form);
    v->SetBorderStyle(bsNone);
    v->SetBounds(0, 0, w, h);
    v->Update();
    return v;
  }

  TForm* form = nullptr;
};

inline void FillPicture(TVistrelView* v, int w, int h, TColor c = clGray) {
  TBitmap* b = v->Bitmap();
  b->SetPixelFormat(pf24bit);
  b->SetSize(w, h);
  const TRGB t = ColorToTriple(c);
  for (int y = 0; y < h; ++y) {
    uint8_t* p = b->ScanLine(y);
    for (int x = 0; x < w; ++x, p += 3) {
      p[0] = t.B;
      p[1] = t.G;
      p[2] = t.R;
    }
  }
  v->Update();
}

// The client area as shown; with repaint the view paints first.
inline void Grab(TVistrelView* v, TBitmap& shot, bool repaint = true) {
  if (repaint) v->Paint();
  shot.Assign(v->Surface());
}

inline TColor PixelOf(const TBitmap* b, int x, int y) {
  if (x < 0 || y < 0 || x >= b->Width() || y >= b->Height()) return -1;
  const uint8_t* row = b->ScanLine(y);
  if (b->PixelFormat() == pf1bit) return (row[x >> 3] & (0x80 >> (x & 7))) ? clWhite : clBlack;
  const uint8_t* p = row + 3 * x;
  return RGB(p[2], p[1], p[0]);
}

inline bool OnlyBlackAndWhite(const TBitmap* b, int x0, int y0, int x1, int y1) {
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) {
      TColor c = PixelOf(b, x, y);
      if (c != clBlack && c != clWhite) return false;
    }
  return true;
}

// Synthetic mouse input through the view's widget, as the window system would send it.
inline Qt::MouseButton QtButton(TMouseButton b) {
  return b == mbLeft ? Qt::LeftButton : b == mbRight ? Qt::RightButton : Qt::MiddleButton;
}
inline Qt::KeyboardModifiers QtMods(TShiftState s) {
  Qt::KeyboardModifiers m;
  if (s & ssCtrl) m |= Qt::ControlModifier;
  if (s & ssShift) m |= Qt::ShiftModifier;
  return m;
}
inline void SendMouse(TVistrelView* v, QEvent::Type type, int x, int y, Qt::MouseButton button,
                      Qt::MouseButtons buttons, TShiftState shift) {
  QWidget* w = v->ClientWidget();
  QPointF local(x, y);
  QMouseEvent e(type, local, w->mapToGlobal(local), button, buttons, QtMods(shift));
  QApplication::sendEvent(w, &e);
}
inline Qt::MouseButtons gHeld;
inline void Press(TVistrelView* v, int x, int y, TMouseButton b, TShiftState shift = 0) {
  gHeld |= QtButton(b);
  SendMouse(v, QEvent::MouseButtonPress, x, y, QtButton(b), gHeld, shift);
}
inline void Release(TVistrelView* v, int x, int y, TMouseButton b, TShiftState shift = 0) {
  gHeld &= ~QtButton(b);
  SendMouse(v, QEvent::MouseButtonRelease, x, y, QtButton(b), gHeld, shift);
}
inline void Move(TVistrelView* v, int x, int y, TShiftState shift = 0) {
  SendMouse(v, QEvent::MouseMove, x, y, Qt::NoButton, gHeld, shift);
}
inline void Click(TVistrelView* v, int x, int y, TMouseButton b, TShiftState shift = 0) {
  Press(v, x, y, b, shift);
  Release(v, x, y, b, shift);
}
// The second click of a double click.
inline void DoubleClick(TVistrelView* v, int x, int y) {
  gHeld |= Qt::LeftButton;
  SendMouse(v, QEvent::MouseButtonDblClick, x, y, Qt::LeftButton, gHeld, 0);
  Release(v, x, y, mbLeft);
}

}  // namespace viewtest
