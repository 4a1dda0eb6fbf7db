#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QMouseEvent>
#include <QWidget>
#include <cstdio>
#include <fstream>

#include "vistrel/view/vlutils.h"

namespace {

TEST(Utils, Bits) {
  uint32_t v = 1;
  VLReverseBits32(v);
  EXPECT_EQ(v, 0x80000000u);
  v = 0x12345678;
  VLReverseBits32(v);
  EXPECT_EQ(v, 0x1E6A2C48u);
  uint8_t b = 0x01;
  VLReverseBits8(b);
  EXPECT_EQ(b, 0x80);
  b = 0xC4;
  VLReverseBits8(b);
  EXPECT_EQ(b, 0x23);
  EXPECT_EQ(VLFloor(2.5L), 2);
  EXPECT_EQ(VLFloor(-2.5L), -3);
  EXPECT_EQ(VLFloor(-3.0L), -3);
}

TEST(Utils, HitTests) {
  EXPECT_TRUE(VLPointInRect(5, 5, 5, 5, 10, 10));
  EXPECT_TRUE(VLPointInRect(10, 10, 5, 5, 10, 10));
  EXPECT_FALSE(VLPointInRect(11, 10, 5, 5, 10, 10));
  EXPECT_FALSE(VLPointInRect(7, 7, 10, 10, 5, 5));             // not reordered
  EXPECT_EQ(VLRectsOverlap(10, 10, 0, 0, 10, 10, 20, 20), 1);  // A's corners in any order; edges touch
  EXPECT_EQ(VLRectsOverlap(0, 0, 9, 9, 10, 10, 20, 20), 0);
  EXPECT_EQ(VLRectsOverlap(0, 30, 30, 21, 10, 10, 20, 20), 0);
  // B inside A: 2; B crossing A's edge: 1; B around A: 0.
  EXPECT_EQ(VLRectVisibility(0, 0, 100, 100, 10, 10, 20, 20), 2);
  EXPECT_EQ(VLRectVisibility(0, 0, 100, 100, 90, 10, 120, 20), 1);
  EXPECT_EQ(VLRectVisibility(0, 0, 100, 100, -10, -10, 120, 120), 0);
  EXPECT_DOUBLE_EQ(VLPointSegmentDistance(0, 5, 0, 0, 0, 10), 0.0);
  EXPECT_DOUBLE_EQ(VLPointSegmentDistance(0, 15, 0, 0, 0, 10), 5.0);
  EXPECT_DOUBLE_EQ(VLPointSegmentDistance(3, -4, 0, 0, 0, 10), 5.0);
  EXPECT_DOUBLE_EQ(VLPointSegmentDistance(3, 4, 0, 0, 0, 0), 5.0);
  EXPECT_DOUBLE_EQ(VLPointLineDistance(7, 5, 0, 0, 0, 10), 7.0);
  EXPECT_DOUBLE_EQ(VLPointLineDistance(0, 15, 0, 0, 0, 10), 0.0);
  // Both ends the same: the distance to that point instead of a division by zero.
  EXPECT_DOUBLE_EQ(VLPointLineDistance(3, 4, 0, 0, 0, 0), 5.0);
}

TEST(Utils, RectPolygonAndSnapping) {
  const TPoint r1[4] = {{0, 0}, {10, 0}, {10, 5}, {0, 5}};
  const TPoint r2[4] = {{0, 0}, {0, 5}, {10, 5}, {10, 0}};
  const TPoint flat[4] = {{0, 0}, {10, 0}, {10, 0}, {0, 0}};
  const TPoint skew[4] = {{0, 0}, {10, 1}, {10, 5}, {0, 5}};
  EXPECT_TRUE(VLIsRectPolygon(r1, 4));
  EXPECT_TRUE(VLIsRectPolygon(r2, 4));
  EXPECT_FALSE(VLIsRectPolygon(flat, 4));
  EXPECT_FALSE(VLIsRectPolygon(skew, 4));
  EXPECT_FALSE(VLIsRectPolygon(r1, 3));
  auto snap = [](int x, int y) {
    VLSnapLine(0, 0, x, y);
    return Point(x, y);
  };
  EXPECT_EQ(snap(10, 100), Point(0, 100));
  EXPECT_EQ(snap(100, 10), Point(100, 0));
  EXPECT_EQ(snap(40, 30), Point(40, 40));
  EXPECT_EQ(snap(-40, -30), Point(-30, -30));
  EXPECT_EQ(snap(30, 40), Point(40, 40));
  EXPECT_EQ(snap(-40, 30), Point(-40, 40));
  EXPECT_EQ(snap(-30, 40), Point(-40, 40));
  EXPECT_EQ(snap(40, -30), Point(40, -40));
  EXPECT_EQ(snap(30, -40), Point(40, -40));
  EXPECT_EQ(snap(20, 0), Point(20, 0));
}

TEST(Utils, NulStreamAndFileSize) {
  TNulStream s;
  EXPECT_EQ(s.Position(), 0);
  EXPECT_EQ(s.Size(), 0);
  char buf[100] = {1};
  s.WriteBuffer(buf, 100);
  EXPECT_EQ(buf[0], 1);
  EXPECT_EQ(s.Seek(10, soBeginning), 10);
  EXPECT_EQ(s.Write(buf, 5), 5);
  EXPECT_EQ(s.Position(), 15);
  EXPECT_EQ(s.Size(), 100);
  EXPECT_EQ(s.Seek(20, soEnd), 80);
  EXPECT_EQ(s.Size(), 100);
  EXPECT_EQ(s.Seek(30, soCurrent), 110);
  EXPECT_EQ(s.Size(), 110);
  EXPECT_EQ(s.Read(buf, 4), 4);
  EXPECT_EQ(s.Size(), 114);

  std::string name = std::string(VL_BUILD_DIR) + "/viewbase_size.bin";
  {
    std::ofstream f(name, std::ios::binary);
    f << std::string(1234, 'x');
  }
  EXPECT_EQ(VLFileSize(name), 1234);
  std::remove(name.c_str());
  EXPECT_EQ(VLFileSize(name), -1);
  EXPECT_EQ(VLFileSize(VL_BUILD_DIR), -1);
}

TEST(Utils, OwnerWindow) {
  auto* form = new TForm(nullptr);
  auto* comp = new TComponent(form);
  EXPECT_EQ(VLOwnerWindow(comp), form->Widget());
  TComponent loose(nullptr);
  EXPECT_EQ(VLOwnerWindow(&loose), nullptr);
  form->Free();
}

QRgb At(const QImage& img, int x, int y) { return img.pixel(x, y) & 0xFFFFFF; }

TEST(Utils, HintShowsItsText) {
  TVLHint hint(nullptr);
  EXPECT_FALSE(hint.Visible());
  hint.SetText("12.5 mm");
  TSize e = hint.Canvas()->TextExtent("12.5 mm");
  EXPECT_EQ(hint.Width(), e.cx + 4);
  EXPECT_EQ(hint.Height(), e.cy + 4);
  EXPECT_EQ(hint.ClientWidth(), e.cx + 2);
  EXPECT_TRUE(hint.Widget()->testAttribute(Qt::WA_TransparentForMouseEvents));
  hint.SetBounds(100, 100, hint.Width(), hint.Height());
  hint.Show();
  EXPECT_TRUE(hint.Widget()->isVisible());
  QImage img = hint.Widget()->grab().toImage();
  ASSERT_EQ(img.width(), e.cx + 4);
  // Pale yellow ground, black text inside, a raised frame.
  EXPECT_EQ(At(img, img.width() - 2, img.height() - 2), 0xFFFFE0u);
  int ink = 0;
  for (int y = 1; y + 1 < img.height(); ++y)
    for (int x = 1; x + 1 < img.width(); ++x)
      if (At(img, x, y) == 0) {
        ++ink;
        EXPECT_TRUE(x >= 2 && y >= 2 && x < 2 + e.cx && y < 2 + e.cy) << x << "," << y;
      }
  EXPECT_GT(ink, 10);
  TColor light = ColorToRGB(cl3DLight), dark = ColorToRGB(cl3DDkShadow);
  EXPECT_EQ(At(img, 0, 0), qRgb(GetRValue(light), GetGValue(light), GetBValue(light)) & 0xFFFFFFu);
  EXPECT_EQ(At(img, img.width() - 1, img.height() - 1),
            qRgb(GetRValue(dark), GetGValue(dark), GetBValue(dark)) & 0xFFFFFFu);
  hint.SetText("7");
  EXPECT_LT(hint.Width(), e.cx + 4);
}

void SendMouse(QWidget* w, QEvent::Type t, int x, int y, Qt::MouseButtons held) {
  QPointF p(x, y);
  QMouseEvent e(t, p, w->mapToGlobal(p), t == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held, Qt::NoModifier);
  QCoreApplication::sendEvent(w, &e);
}

TEST(Utils, PaletteDialogPicksTheClickedSwatch) {
  uint8_t pal[40 * 3];
  for (int i = 0; i < 40; ++i) {
    pal[3 * i] = uint8_t(i);            // blue
    pal[3 * i + 1] = uint8_t(100 + i);  // green
    pal[3 * i + 2] = uint8_t(200 + i);  // red
  }
  TVistrelPaletteDialog dlg(nullptr);
  EXPECT_EQ(dlg.Width(), 539);
  EXPECT_EQ(dlg.Height(), 199);
  EXPECT_EQ(dlg.Position(), poScreenCenter);
  EXPECT_EQ(dlg.BorderStyle(), bsDialog);
  EXPECT_EQ(dlg.CancelButton()->Caption(), "&Cancel");
  EXPECT_EQ(dlg.CancelButton()->Left(), 8);
  EXPECT_EQ(dlg.CancelButton()->Top(), 144);
  dlg.SetPalette(pal, 40);
  QImage shown;
  SetModalAnswer([&](TModalRequest& r) {
    QWidget* w = dlg.ClientWidget();
    // A click without a highlighted swatch does nothing.
    SendMouse(w, QEvent::MouseButtonPress, 600, 150, Qt::LeftButton);
    SendMouse(w, QEvent::MouseButtonRelease, 600, 150, Qt::NoButton);
    EXPECT_EQ(dlg.ModalResult(), mrNone);
    // Right of the 32 columns nothing is highlighted either.
    SendMouse(w, QEvent::MouseMove, 16 * 32 + 5, 5, Qt::NoButton);
    EXPECT_EQ(dlg.HighlightedIndex(), -1);
    // Swatch 33: column 1 of row 1.
    SendMouse(w, QEvent::MouseMove, 16 + 5, 16 + 5, Qt::NoButton);
    EXPECT_EQ(dlg.HighlightedIndex(), 33);
    shown = w->grab().toImage();
    SendMouse(w, QEvent::MouseButtonPress, 16 + 5, 16 + 5, Qt::LeftButton);
    SendMouse(w, QEvent::MouseButtonRelease, 16 + 5, 16 + 5, Qt::NoButton);
    EXPECT_EQ(r.Form, &dlg);
    return 0;
  });
  EXPECT_TRUE(dlg.Execute());
  SetModalAnswer(nullptr);
  EXPECT_EQ(dlg.SelectedColor(), RGB(233, 133, 33));
  ASSERT_FALSE(shown.isNull());
  // Swatch 33 filled with its colour and bordered black; swatch 0 bordered white.
  EXPECT_EQ(At(shown, 16 + 8, 16 + 8), qRgb(233, 133, 33) & 0xFFFFFFu);
  EXPECT_EQ(At(shown, 16 + 1, 16 + 1), 0u);
  EXPECT_EQ(At(shown, 16 + 15, 16 + 15), 0u);
  EXPECT_NE(At(shown, 16 + 16, 16 + 16), 0u);
  EXPECT_EQ(At(shown, 1, 1), 0xFFFFFFu);
  EXPECT_EQ(At(shown, 8, 8), qRgb(200, 100, 0) & 0xFFFFFFu);
  // Cancel gives false.
  SetModalAnswer([&](TModalRequest&) {
    dlg.CancelButton()->Click();
    return 0;
  });
  EXPECT_FALSE(dlg.Execute());
  SetModalAnswer(nullptr);
}

}  // namespace
