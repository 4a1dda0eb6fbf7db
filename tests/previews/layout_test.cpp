// The effects dialog's value edits typed into key by key, and the Equalization page's
// rulers and grip values as a user sees them.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPixmap>
#include <QScreen>
#include <QtTest/QTest>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "vistrel/proc/kernels/geometry.h"
#include "vistrel/proc/previews.h"
#include "vistrel/view/vistrelview.h"
#include "support/xvfb.h"

namespace {

TColor Px(const TBitmap* b, int x, int y) {
  const uint8_t* p = b->ScanLine(y) + 3 * x;
  return RGB(p[2], p[1], p[0]);
}

bool Same(TBitmap* a, TBitmap* b) {
  if (a->Width() != b->Width() || a->Height() != b->Height()) return false;
  for (int y = 0; y < a->Height(); ++y)
    for (int x = 0; x < a->Width(); ++x)
      if (Px(a, x, y) != Px(b, x, y)) return false;
  return true;
}

class PreviewsLayoutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form = new TForm(nullptr);
    form->SetBounds(0, 0, 400, 300);
    view = new TVistrelView(form);
    view->SetParent(form);
    view->SetBounds(0, 0, 300, 250);
    TBitmap* b = view->Bitmap();
    b->SetPixelFormat(pf24bit);
    b->SetSize(90, 60);
    for (int y = 0; y < 60; ++y)
      for (int x = 0; x < 90; ++x) {
        uint8_t* p = b->ScanLine(y) + 3 * x;
        p[0] = uint8_t(x * 2), p[1] = uint8_t(y * 4), p[2] = uint8_t((x * y) & 0xFF);
      }
    view->Update();
    proc = new TVistrelProc(form);
    proc->SetAttachedVistrel(view);
  }
  void TearDown() override {
    SetModalAnswer(nullptr);
    FreeAndNil(form);
    QCoreApplication::processEvents();
  }
  // Opens the dialog on the page and runs Act while it is up.
  void Run(uint16_t Pages, TPreviewPage Page, const std::function<void(TfPreviews*)>& Act) {
    SetModalAnswer([&](TModalRequest& r) {
      auto* f = dynamic_cast<TfPreviews*>(r.Form);
      if (!f) return int(mrCancel);
      int k = 0;
      for (int i = 0; i < Page; ++i) k += f->Page(TPreviewPage(i))->TabVisible() ? 1 : 0;
      f->PageControl1->SelectTab(k);
      Act(f);
      return int(mrCancel);
    });
    proc->DoPreviews(Pages);
  }
  TForm* form = nullptr;
  TVistrelView* view = nullptr;
  TVistrelProc* proc = nullptr;
};

// Keys typed into an edit over its selected text; the edit's text after each key.
std::vector<std::string> TypeOverSelection(TEdit* e, const char* keys) {
  QLineEdit* w = e->LineEdit();
  w->setFocus();
  w->selectAll();
  std::vector<std::string> shown;
  for (const char* k = keys; *k; ++k) {
    QTest::keyClick(w, *k);
    shown.push_back(e->Text());
  }
  return shown;
}

TEST_F(PreviewsLayoutTest, AMinusSignAndHalfTypedNumbersStayAsTypedAndApplyWhenTheyParse) {
  Run(4000, ppRotate, [](TfPreviews* f) {
    f->SpeedButton1->Click();  // Lock preview: each change shows
    auto plain = std::make_unique<TBitmap>();
    plain->Assign(f->Vistrel2->Bitmap());
    f->EditRotate->SetText("30");
    ASSERT_EQ(f->Params().Angle, 30);
    EXPECT_EQ(TypeOverSelection(f->EditRotate, "-60"), (std::vector<std::string>{"-", "-6", "-60"}));
    EXPECT_EQ(f->Params().Angle, -60);
    EXPECT_EQ(f->TrackBarRotate->Position(), -60);
    VLRotateBitmap(plain.get(), -60, true, f->Vistrel2->Background());
    EXPECT_TRUE(Same(f->Vistrel2->Bitmap(), plain.get()));
  });
  // A filter coefficient keeps its value while only "-" stands in its edit.
  Run(4000, ppUserFilter, [](TfPreviews* f) {
    EXPECT_EQ(TypeOverSelection(f->Edit12, "-"), (std::vector<std::string>{"-"}));
    EXPECT_EQ(f->Params().UserFilter.Coeffs[4], 1);
    EXPECT_EQ(TypeOverSelection(f->Edit12, "-2"), (std::vector<std::string>{"-", "-2"}));
    EXPECT_EQ(f->Params().UserFilter.Coeffs[4], -2);
  });
}

// Ink in the ruler's label row that no whole label accounts for: each of Texts, drawn alone
// in the ruler's font, is searched for, and the pixels it matches are taken as accounted.
int CutLabelInk(TRulerBox* r, const std::vector<std::string>& Texts) {
  r->Invalidate();
  r->SurfacePaint();
  const TBitmap* shot = r->Surface();
  // Rows above the long ticks, which reach up to half the band.
  const int band = int(std::abs(r->Font()->Height()) * 1.7) + 3;
  const int rows = std::min(shot->Height(), band - band / 2), w = shot->Width();
  std::vector<bool> whole(size_t(w * rows), false);
  for (const std::string& text : Texts) {
    TBitmap ref;
    ref.SetPixelFormat(pf24bit);
    TCanvas* c = ref.Canvas();
    c->SetFont(r->Font());
    const TSize ext = c->TextExtent(text);
    ref.SetSize(ext.cx, rows);
    c->Brush()->SetColor(r->RulerColor());
    c->FillRect(Rect(0, 0, ext.cx, rows));
    c->Brush()->SetStyle(bsClear);
    c->TextOut(0, 0, text);
    for (int x0 = 0; x0 + ext.cx <= w; ++x0) {
      bool same = true;
      for (int y = 0; y < rows && same; ++y)
        for (int x = 0; x < ext.cx && same; ++x) same = Px(&ref, x, y) == Px(shot, x0 + x, y);
      if (!same) continue;
      for (int y = 0; y < rows; ++y)
        for (int x = 0; x < ext.cx; ++x) whole[size_t(y * w + x0 + x)] = true;
    }
  }
  int cut = 0;
  for (int y = 0; y < rows; ++y)
    for (int x = 0; x < w; ++x) cut += !whole[size_t(y * w + x)] && Px(shot, x, y) != ColorToRGB(r->RulerColor());
  return cut;
}

TEST_F(PreviewsLayoutTest, EqualizationLabelsShowWholeAndTheGripValuesStandUnderTheGrips) {
  Run(4190, ppEqualization, [](TfPreviews* f) {
    TTabSheet* tab = f->TabEqualization;
    std::vector<std::string> labels;
    for (int v = 0; v <= 256; v += 32) labels.push_back(std::to_string(v));
    EXPECT_EQ(CutLabelInk(f->RulerBox1, labels), 0);
    // Every label inside the page, wide enough for its text and clear of the other controls.
    auto check = [&] {
      for (int i = 0; i < tab->ControlCount(); ++i) {
        auto* l = dynamic_cast<TLabel*>(tab->Controls(i));
        if (!l) continue;
        const TRect a = l->BoundsRect();
        EXPECT_TRUE(a.Left >= 0 && a.Top >= 0 && a.Right <= tab->ClientWidth() && a.Bottom <= tab->ClientHeight())
            << l->Caption();
        TBitmap b;
        b.Canvas()->SetFont(l->Font());
        EXPECT_LE(b.Canvas()->TextWidth(l->Caption()), l->Width()) << l->Caption();
        for (int k = 0; k < tab->ControlCount(); ++k) {
          TControl* o = tab->Controls(k);
          const TRect c = o->BoundsRect();
          if (o == l || !o->Visible()) continue;
          EXPECT_TRUE(a.Right <= c.Left || c.Right <= a.Left || a.Bottom <= c.Top || c.Bottom <= a.Top)
              << l->Caption() << " covers " << (o->Caption().empty() ? o->ClassName() : o->Caption());
        }
      }
      // Each grip's value under it: below the ruler, centred on the grip unless held apart
      // from the other value or inside the page.
      TLabel* values[2][2] = {{f->Label16, f->Label17}, {f->Label20, f->Label21}};
      for (int r = 0; r < 2; ++r) {
        TRulerBox* ruler = r ? f->RulerBox2 : f->RulerBox1;
        const TPoint bottom = tab->ScreenToClient(ruler->ClientToScreen(Point(0, ruler->Height())));
        for (int g = 0; g < 2; ++g) {
          TLabel* l = values[r][g];
          EXPECT_EQ(l->Caption(), std::to_string(int(f->GripPos(r, g))));
          EXPECT_GE(l->Top(), bottom.Y);
          EXPECT_LE(l->Top(), bottom.Y + 6);
          const int grip = bottom.X + int((f->GripPos(r, g) - ruler->ViewPos()) * ruler->DotPerUnit() + 0.5);
          EXPECT_LE(std::abs(l->Left() + l->Width() / 2 - grip), l->Width()) << r << "," << g;
        }
      }
    };
    check();
    f->SetGripPos(0, 0, 60);
    f->SetGripPos(0, 1, 200);
    f->SetGripPos(1, 0, 120);
    f->SetGripPos(1, 1, 123);
    check();
    // Apart from the page's edges, the values sit right under their grips.
    const TPoint bottom = tab->ScreenToClient(f->RulerBox1->ClientToScreen(Point(0, 0)));
    const int grip = bottom.X + int(60 * f->RulerBox1->DotPerUnit() + 0.5);
    EXPECT_LE(std::abs(f->Label16->Left() + f->Label16->Width() / 2 - grip), 1);
  });
}

// Runs on the virtual screen (started by the test below): the two mended pages grabbed.
TEST_F(PreviewsLayoutTest, XvfbPagesOnScreen) {
  const char* out = std::getenv("PREVIEWS_LAYOUT_SHOT");
  if (!out || QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "runs on the virtual screen only";
  auto grab = [&](TfPreviews* f, const char* name) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 500) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    const QRect r = f->Widget()->window()->frameGeometry();
    const std::string file =
        std::string(out).substr(0, std::string(out).size() - 4) + "-" + std::getenv("VL_SCREEN") + "-" + name + ".png";
    EXPECT_TRUE(QGuiApplication::primaryScreen()->grabWindow(0, r.x(), r.y(), r.width(), r.height()).save(
        QString::fromStdString(file), "PNG"));
  };
  form->Show();
  Run(4190, ppEqualization, [&](TfPreviews* f) {
    f->SpeedButton1->Click();
    f->SetGripPos(0, 0, 60);
    f->SetGripPos(0, 1, 200);
    f->SetGripPos(1, 1, 230);
    grab(f, "equalization");
  });
  Run(4000, ppRotate, [&](TfPreviews* f) {
    f->SpeedButton1->Click();
    f->EditRotate->SetText("30");
    TypeOverSelection(f->EditRotate, "-60");
    grab(f, "rotate");
  });
}

TEST(Screens, EffectsPagesAt1280x1024And800x600) {
  const std::string out = std::string(VL_BUILD_DIR) + "/previews-layout.png";
  VLTEST_RUN_ON_SCREEN("PREVIEWS_LAYOUT_SHOT", out, "1280x1024", "PreviewsLayoutTest.Xvfb*");
  VLTEST_RUN_ON_SCREEN("PREVIEWS_LAYOUT_SHOT", out, "800x600", "PreviewsLayoutTest.Xvfb*");
}

}  // namespace
