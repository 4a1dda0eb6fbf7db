// The histogram in fewer columns than levels: every level still shows.
#include <gtest/gtest.h>

#include "platform/gui/canvas.h"
#include "platform/gui/controls.h"
#include "vistrel/proc/vistrelproc.h"
#include "vistrel/view/histogrambox.h"

namespace {

TEST(HistogramColumns, NarrowPlotShowsTheLastLevel) {
  auto* form = new TForm(nullptr);
  TBitmap picture;
  picture.SetPixelFormat(pf24bit);
  picture.SetSize(20, 10);
  // Mostly red 255, a little red 0.
  for (int y = 0; y < 10; ++y) {
    uint8_t* row = picture.ScanLine(y);
    for (int x = 0; x < 20; ++x) row[3 * x + 2] = y < 9 ? 255 : 0;
  }
  auto* proc = new TVistrelProc(form);
  proc->SetAttachedBitmap(&picture);
  auto* box = new THistogramBox(form);
  box->SetParent(form);
  box->SetLabels(0);
  box->SetCompBar(false);
  box->SetHistogramKind(hkRed);
  box->SetAttachedVistrelProc(proc);
  box->SetBounds(0, 0, 236, 100);
  box->Update();
  TBitmap* shot = box->Picture();
  // The last column holds level 255: a full red bar up to the top.
  auto px = [&](int x, int y) {
    const uint8_t* p = shot->ScanLine(y) + 3 * x;
    return RGB(p[2], p[1], p[0]);
  };
  EXPECT_EQ(px(235, 50), TColor(0x0000FF));
  EXPECT_EQ(px(235, 2), TColor(0x0000FF));
  EXPECT_EQ(px(120, 50), clWhite);
  delete form;
}

}  // namespace
