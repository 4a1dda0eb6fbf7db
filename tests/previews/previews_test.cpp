// The effects preview dialog, driven as a user drives it: its page sets, the preview cycle
// with Lock preview, "<<" and OK on a document with a selection, and every page's controls
// reaching their kernel.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QListWidget>
#include <QSlider>
#include <QTest>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/stream.h"
#include "vistrel/proc/kernels/color.h"
#include "vistrel/proc/kernels/geometry.h"
#include "vistrel/proc/previews.h"
#include "vistrel/view/vistrelview.h"

namespace fs = std::filesystem;

namespace {

// Gradients with hashed detail, every channel different.
void Picture(TBitmap* b, int w, int h) {
  b->SetPixelFormat(pf24bit);
  b->SetSize(w, h);
  for (int y = 0; y < h; ++y) {
    uint8_t* p = b->ScanLine(y);
    for (int x = 0; x < w; ++x, p += 3) {
      const uint32_t n = ((uint32_t(x) * 73856093u) ^ (uint32_t(y) * 19349663u)) >> 11;
      p[0] = uint8_t(x * 255 / (w - 1) / 2 + (n & 63));
      p[1] = uint8_t(y * 255 / (h - 1) / 2 + ((n >> 6) & 63));
      p[2] = uint8_t((x + y) * 255 / (w + h - 2) / 2 + ((n >> 12) & 127));
    }
  }
}

std::unique_ptr<TBitmap> Copy(TBitmap* b) {
  auto c = std::make_unique<TBitmap>();
  VLCopyBitmap(b, c.get());
  return c;
}

// Where two pictures first differ, or "" when they are the same.
std::string Diff(TBitmap* a, TBitmap* b) {
  if (a->Width() != b->Width() || a->Height() != b->Height())
    return "size " + std::to_string(a->Width()) + "x" + std::to_string(a->Height()) + " vs " +
           std::to_string(b->Width()) + "x" + std::to_string(b->Height());
  for (int y = 0; y < a->Height(); ++y)
    for (int x = 0; x < a->Width() * 3; ++x)
      if (a->ScanLine(y)[x] != b->ScanLine(y)[x])
        return "pixel " + std::to_string(x / 3) + "," + std::to_string(y) + " byte " + std::to_string(x % 3) + ": " +
               std::to_string(a->ScanLine(y)[x]) + " vs " + std::to_string(b->ScanLine(y)[x]);
  return "";
}

// What the source view shows, as the dialog renders it before any effect.
std::unique_ptr<TBitmap> Unprocessed(TfPreviews* f) {
  auto b = std::make_unique<TBitmap>();
  b->SetPixelFormat(pf24bit);
  b->SetSize(f->Vistrel1->DisplayedWidth(), f->Vistrel1->DisplayedHeight());
  f->Vistrel1->DrawImageTo(b->Canvas());
  return b;
}

// The user's hands.
void Type(TEdit* e, const std::string& s) { e->SetText(s); }
void Slide(TTrackBar* t, int v) { t->Slider()->setValue(v); }
void Pick(TListBox* l, int row) { l->List()->setCurrentRow(row); }
void Tab(TfPreviews* f, TPreviewPage page) {
  int k = 0;
  for (int i = 0; i < page; ++i) k += f->Page(TPreviewPage(i))->TabVisible() ? 1 : 0;
  f->PageControl1->SelectTab(k);
  ASSERT_EQ(f->ActivePreviewPage(), page);
}
void Tick(TVLCheckListBox* l, int item) { l->MouseDown(mbLeft, 0, 10, item * l->ItemHeight() + 2); }
int32_t Rgb(int r, int g, int b) { return (r << 16) | (g << 8) | b; }

class PreviewsTest : public ::testing::Test {
 protected:
  TForm* form = nullptr;
  TVistrelView* view = nullptr;
  TVistrelProc* proc = nullptr;
  std::deque<std::string> files;  // answers to file dialogs
  fs::path dir;

  void SetUp() override {
    form = new TForm(nullptr);
    form->SetBounds(0, 0, 400, 300);
    view = new TVistrelView(form);
    view->SetParent(form);
    view->SetBounds(0, 0, 300, 250);
    view->SetSelectionBase(vlsbBitmap);
    Picture(view->Bitmap(), 160, 120);
    view->Update();
    proc = new TVistrelProc(form);
    proc->SetAttachedVistrel(view);
    dir = fs::path(VL_BUILD_DIR) / "previews-test" / ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override {
    SetModalAnswer(nullptr);
    FreeAndNil(form);
    QCoreApplication::processEvents();
    fs::remove_all(dir);
  }

  // Opens the dialog on the document; Act drives it and gives the modal result.
  bool Run(uint16_t Pages, const std::function<int(TfPreviews*)>& Act) {
    int shown = 0;
    SetModalAnswer([&](TModalRequest& r) {
      if (r.Kind == mkOpenFile || r.Kind == mkSaveFile) {
        if (files.empty()) return int(mrCancel);
        r.Value = files.front();
        files.pop_front();
        return int(mrOk);
      }
      auto* f = dynamic_cast<TfPreviews*>(r.Form);
      EXPECT_NE(f, nullptr);
      ++shown;
      return f ? Act(f) : int(mrCancel);
    });
    const bool ok = proc->DoPreviews(Pages);
    EXPECT_EQ(shown, 1);
    SetModalAnswer(nullptr);
    QCoreApplication::processEvents();
    return ok;
  }
};

TEST_F(PreviewsTest, PageSetsShowTheirTabsAndTheFirstIsActive) {
  struct Case {
    uint16_t Pages;
    std::vector<std::string> Tabs;
    TPreviewPage Active;
  } cases[] = {
      {0, {}, ppNone},
      {1,
       {"Contrast", "HSV", "HSL", "RGB", "User filter", "Equalization", "Bump map", "Lens", "Wave", "Morphing filters",
        "Rotate", "FFT"},
       ppContrast},
      {4000, {"User filter", "Bump map", "Lens", "Wave", "Morphing filters", "Rotate"}, ppUserFilter},
      {4190, {"Contrast", "HSV", "HSL", "RGB", "Equalization", "FFT"}, ppContrast},
  };
  auto before = Copy(view->Bitmap());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Pages);
    TObject* previewed = nullptr;
    proc->OnPreview = [&](TObject* sender, TObject* f) {
      EXPECT_EQ(sender, proc);
      previewed = f;
    };
    TfPreviews* seen = nullptr;
    EXPECT_TRUE(Run(c.Pages, [&](TfPreviews* f) {
      seen = f;
      std::vector<std::string> tabs;
      for (int i = 0; i < f->PageControl1->TabBar()->count(); ++i)
        tabs.push_back(f->PageControl1->TabBar()->tabText(i).toStdString());
      EXPECT_EQ(tabs, c.Tabs);
      EXPECT_EQ(f->ActivePreviewPage(), c.Active);
      EXPECT_EQ(f->Caption(), "Preview");
      EXPECT_EQ(f->Label2->Caption(), "Result:");
      // The frequency page was the one open at activation: "Gray scale" is ticked.
      EXPECT_TRUE(f->CheckBox1->Checked());
      // Lock preview starts up, so "Preview" is there to press.
      EXPECT_FALSE(f->SpeedButton1->Down());
      EXPECT_TRUE(f->Button3->Enabled());
      f->Button1->Click();
      return int(mrOk);
    }));
    EXPECT_EQ(previewed, seen);
    // Every first page starts at values that change nothing; no page changes nothing.
    EXPECT_EQ(Diff(view->Bitmap(), before.get()), "");
  }
  proc->OnPreview = nullptr;

  // Lock preview down by default; a picture too small is refused without the dialog.
  proc->SetPreviewsParams(prppDefaultLockPreview);
  Run(4000, [](TfPreviews* f) {
    EXPECT_TRUE(f->SpeedButton1->Down());
    EXPECT_FALSE(f->Button3->Enabled());
    // Tab reaches the lock, which Enter lifts, not the default OK.
    f->Button2->SetFocus();
    for (int i = 0; i < 30 && f->Widget()->focusWidget() != f->SpeedButton1->Widget(); ++i)
      QTest::keyClick(f->Widget()->focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(f->Widget()->focusWidget(), f->SpeedButton1->Widget());
    QTest::keyClick(f->Widget()->focusWidget(), Qt::Key_Return);
    EXPECT_FALSE(f->SpeedButton1->Down());
    EXPECT_TRUE(f->Button3->Enabled());
    return int(mrCancel);
  });
  view->Bitmap()->SetSize(1, 100);
  SetModalAnswer([](TModalRequest&) {
    ADD_FAILURE() << "no dialog for a 1-pixel-wide picture";
    return int(mrCancel);
  });
  EXPECT_FALSE(proc->DoPreviews(1));
  SetModalAnswer(nullptr);
}

TEST_F(PreviewsTest, LockPreviewAccumulateOkAndUndo) {
  // A rectangle selection: the dialog works on that part only.
  view->Select(20, 10, 119, 89);
  auto original = Copy(view->Bitmap());
  TBitmap box;
  VLCopyBitmapRect(original.get(), &box, 20, 10, 119, 89);
  std::vector<int> progress;
  proc->OnProgress = [&](TObject* sender, int per) {
    EXPECT_EQ(sender, proc);
    progress.push_back(per);
  };
  EXPECT_TRUE(Run(1, [&](TfPreviews* f) {
    EXPECT_EQ(Diff(f->Vistrel1->Bitmap(), &box), "");
    Tab(f, ppRGB);
    auto plain = Unprocessed(f);
    EXPECT_EQ(Diff(f->Vistrel2->Bitmap(), plain.get()), "");
    // Lock up: a change waits for "Preview".
    Type(f->Edit7, "40");
    EXPECT_EQ(f->Params().Red, 40);
    EXPECT_EQ(f->TrackBar6->Position(), 40);
    EXPECT_EQ(Diff(f->Vistrel2->Bitmap(), plain.get()), "");
    f->Button3->Click();
    auto expected = Copy(plain.get());
    VLAddRGB(expected.get(), 0, 0, expected->Width() - 1, expected->Height() - 1, 40, 0, 0);
    EXPECT_EQ(Diff(f->Vistrel2->Bitmap(), expected.get()), "");
    // Every render starts again from the unprocessed picture.
    f->Button3->Click();
    EXPECT_EQ(Diff(f->Vistrel2->Bitmap(), expected.get()), "");
    // Lock down renders at once and takes "Preview" away.
    Slide(f->TrackBar7, -30);
    EXPECT_EQ(f->Edit6->Text(), "-30");
    f->SpeedButton1->Click();
    EXPECT_TRUE(f->SpeedButton1->Down());
    EXPECT_FALSE(f->Button3->Enabled());
    VLAddRGB(expected.get(), 0, 0, expected->Width() - 1, expected->Height() - 1, 0, -30, 0);
    EXPECT_EQ(Diff(f->Vistrel2->Bitmap(), expected.get()), "");
    // A value beyond the track bar is held by it.
    Type(f->Edit5, "300");
    EXPECT_EQ(f->Edit5->Text(), "255");
    EXPECT_EQ(f->Params().Blue, 255);
    Type(f->Edit5, "0");

    // "<<" applies to the source and starts the page again; twice accumulates.
    f->Button6->Click();
    EXPECT_EQ(f->Edit7->Text(), "0");
    EXPECT_EQ(f->Params().Red, 0);
    Type(f->Edit7, "40");
    f->Button6->Click();
    TBitmap twice;
    VLCopyBitmap(&box, &twice);
    VLAddRGB(&twice, 0, 0, twice.Width() - 1, twice.Height() - 1, 40, -30, 0);
    VLAddRGB(&twice, 0, 0, twice.Width() - 1, twice.Height() - 1, 40, 0, 0);
    EXPECT_EQ(Diff(f->Vistrel1->Bitmap(), &twice), "");
    // The page started again: the result shows the source as it now is.
    EXPECT_EQ(Diff(f->Vistrel2->Bitmap(), Unprocessed(f).get()), "");
    Type(f->Edit7, "10");
    EXPECT_TRUE(progress.empty()) << "previews report no progress";
    f->Button1->Click();
    return int(mrOk);
  }));
  // OK: the selection only, with the final step's progress.
  EXPECT_FALSE(progress.empty());
  EXPECT_EQ(progress.back(), 99);
  TBitmap result;
  VLCopyBitmap(&box, &result);
  VLAddRGB(&result, 0, 0, result.Width() - 1, result.Height() - 1, 40, -30, 0);
  VLAddRGB(&result, 0, 0, result.Width() - 1, result.Height() - 1, 40, 0, 0);
  VLAddRGB(&result, 0, 0, result.Width() - 1, result.Height() - 1, 10, 0, 0);
  auto expected = Copy(original.get());
  expected->Canvas()->Draw(20, 10, &result);
  EXPECT_EQ(Diff(view->Bitmap(), expected.get()), "");
  proc->Undo();
  EXPECT_EQ(Diff(view->Bitmap(), original.get()), "");

  // Cancel leaves the document and its undo copy alone.
  proc->ClearUndo();
  EXPECT_FALSE(Run(1, [](TfPreviews* f) {
    Tab(f, ppRGB);
    Type(f->Edit7, "90");
    f->Button6->Click();
    return int(mrCancel);
  }));
  EXPECT_EQ(Diff(view->Bitmap(), original.get()), "");
  EXPECT_FALSE(proc->CanUndo());

  // A polygon selection: only its inside changes.
  view->DeSelect();
  view->AddSelPoint(10, 10);
  view->AddSelPoint(90, 10);
  view->AddSelPoint(10, 90);
  ASSERT_TRUE(view->Selected());
  EXPECT_TRUE(Run(1, [](TfPreviews* f) {
    Tab(f, ppRGB);
    Type(f->Edit6, "100");
    f->Button1->Click();
    return int(mrOk);
  }));
  int changed = 0;
  for (int y = 0; y < 120; ++y)
    for (int x = 0; x < 160; ++x) {
      const bool same = view->Bitmap()->ScanLine(y)[x * 3 + 1] == original->ScanLine(y)[x * 3 + 1];
      if (!same) ++changed;
      if (x + y > 102 || x > 90 || y > 90) {
        EXPECT_TRUE(same) << x << "," << y;
      }
    }
  EXPECT_GT(changed, 2500);
}

TEST_F(PreviewsTest, EachPageReachesItsKernel) {
  TBitmap* source = view->Bitmap();
  EXPECT_TRUE(Run(1, [&](TfPreviews* f) {
    f->SpeedButton1->Click();  // Lock preview down: every change renders
    const int z = f->Vistrel1->Zoom();
    EXPECT_GT(z, 100);
    auto check = [&](TPreviewPage page, const std::function<void()>& act,
                     const std::function<void(TBitmap*, int)>& kernel) {
      SCOPED_TRACE(page);
      Tab(f, page);
      act();
      auto plain = Unprocessed(f);
      ASSERT_GT(plain->Width(), 100);
      auto expected = Copy(plain.get());
      kernel(expected.get(), z);
      EXPECT_NE(Diff(plain.get(), expected.get()), "") << "the effect shows";
      EXPECT_EQ(Diff(f->Vistrel2->Bitmap(), expected.get()), "");
      // And the result view shows it on screen, 1:1.
      TVistrel* v = f->Vistrel2;
      v->SurfacePaint();
      const int dw = v->DisplayedWidth(), dh = v->DisplayedHeight();
      ASSERT_GT(dw, 1);
      TBitmap shown, part;
      VLCopyBitmapRect(v->Surface(), &shown, v->ImageOffsetX(), v->ImageOffsetY(), v->ImageOffsetX() + dw - 1,
                       v->ImageOffsetY() + dh - 1);
      VLCopyBitmapRect(expected.get(), &part, 0, 0, dw - 1, dh - 1);
      EXPECT_EQ(Diff(&shown, &part), "");
    };
    auto all = [](TBitmap* b) { return std::pair(b->Width() - 1, b->Height() - 1); };

    int ar = 0, ag = 0, ab = 0;
    VLAverageColor(source, ar, ag, ab);
    check(
        ppContrast,
        [&] {
          Type(f->Edit1, "30");
          Slide(f->TrackBar12, -20);
        },
        [&](TBitmap* b, int) {
          auto [x2, y2] = all(b);
          VLContrast(b, 30, ar, ag, ab, 0, 0, x2, y2);
          VLAddRGB(b, 0, 0, x2, y2, -20, -20, -20);
        });
    check(
        ppHSV,
        [&] {
          Type(f->Edit19, "40");
          Type(f->Edit18, "-20");
          Slide(f->TrackBar11, 10);
        },
        [&](TBitmap* b, int) { VLAdjustHSV(b, 0, 0, all(b).first, all(b).second, 40, -20, 10); });
    check(
        ppHSL,
        [&] {
          Slide(f->TrackBar2, 90);
          Type(f->Edit2, "15");
          Type(f->Edit3, "-10");
        },
        [&](TBitmap* b, int) { VLAdjustHSL(b, 0, 0, all(b).first, all(b).second, 90, 15, -10); });
    check(
        ppUserFilter,
        [&] {
          Pick(f->ListBox1, 2);   // "Edges"
          Type(f->Edit12, "-7");  // the centre
          Type(f->Edit20, "2");
        },
        [&](TBitmap* b, int) {
          VLApplyFilter3x3(b, 0, 0, all(b).first, all(b).second, TVLUserFilter{{1, 1, 1, 1, -7, 1, 1, 1, 1}, 2});
        });
    check(
        ppEqualization,
        [&] {
          EXPECT_EQ(f->Label16->Caption(), "0");
          EXPECT_EQ(f->Label21->Caption(), "255");
          EXPECT_EQ(f->HistogramBox1->HistogramKind(), hkGray);
          // Red only, then the threshold's upper grip below the lower: the lower follows.
          Tick(f->CheckListBox1, 3);
          Tick(f->CheckListBox1, 0);
          EXPECT_EQ(f->HistogramBox1->HistogramKind(), hkRed);
          f->SetGripPos(0, 0, 60.9);
          EXPECT_EQ(f->Label16->Caption(), "60");
          f->SetGripPos(0, 1, 30.2);
          EXPECT_EQ(f->GripPos(0, 0), 30.2);
          EXPECT_EQ(f->Label16->Caption(), "30");
          EXPECT_EQ(f->Label17->Caption(), "30");
          f->SetGripPos(1, 1, 200.5);
          EXPECT_EQ(f->Label21->Caption(), "200");
          f->SpeedButton3->Click();
        },
        [&](TBitmap* b, int) {
          auto [x2, y2] = all(b);
          VLThreshold(b, 0, 0, x2, y2, Rgb(30, 0, 0), Rgb(30, 255, 255), 0, 0xFFFFFF);
          VLEqualizeRange(b, 0, 0, x2, y2, 0, Rgb(200, 255, 255));
          VLAutoEqualize(b, 0, 0, x2, y2);
        });
    check(
        ppBumpMap,
        [&] {
          EXPECT_EQ(f->Edit22->Text(), "80");  // half the source's width
          EXPECT_EQ(f->Edit24->Text(), "80");  // half its longer side
          Type(f->Edit23, "40");
          Type(f->Edit25, "50");
          Type(f->Edit26, "30");
          // The light's colour picked in its box.
          f->HSVBox2->MouseDown(mbLeft, 0, 30, 12);
          f->HSVBox2->MouseUp(mbLeft, 0, 30, 12);
          EXPECT_NE(f->HSVBox2->Blue(), 255);
        },
        [&](TBitmap* b, int z) {
          VLBumpMap(b, 0, 0, all(b).first, all(b).second, 80 * z / 100, 40 * z / 100, 80 * z / 100, 50 * z / 100,
                    Rgb(f->HSVBox2->Red(), f->HSVBox2->Green(), f->HSVBox2->Blue()), 30);
        });
    check(
        ppLens,
        [&] {
          EXPECT_EQ(f->Edit31->Text(), "7");  // refraction 1.7
          Type(f->Edit31, "5");
          Type(f->Edit29, "100");
        },
        [&](TBitmap* b, int z) { VLLens(b, 80 * z / 100, 60 * z / 100, 100 * z / 100, 80 * z / 100, 1.5); });
    check(
        ppWave,
        [&] {
          Type(f->Edit32, "4");
          Type(f->Edit33, "12");
          Type(f->Edit34, "30");
          f->CheckBox2->SetChecked(true);
        },
        [&](TBitmap* b, int z) { VLWave(b, 4 * z / 100, 12 * z / 100, 30, true); });
    check(
        ppMorph,
        [&] {
          Pick(f->ListBox2, 1);  // minimum
          Type(f->Edit35, "2");
        },
        [&](TBitmap* b, int) { VLMorphFilter(b, 0, 0, all(b).first, all(b).second, 2, 1); });
    check(
        ppRotate, [&] { Type(f->EditRotate, "30"); },
        [&](TBitmap* b, int) { VLRotateBitmap(b, 30, true, f->Vistrel2->Background()); });
    // The frequency page: the transform of a 128-pixel thumbnail, back; a zone selected in
    // the spectrum and "Clear" takes those frequencies out.
    auto thumbnail = [&](TVLFtImage& ft) {
      TBitmap thumb;
      thumb.SetPixelFormat(pf24bit);
      thumb.SetSize(128, 96);
      VLStretchHalftone(source, &thumb);
      ft.BuildFT(&thumb, 2);
    };
    check(
        ppFFT, [&] {},
        [&](TBitmap* b, int) {
          TVLFtImage ft;
          thumbnail(ft);
          ft.GetInverse(b);
        });
    EXPECT_EQ(f->VistrelView1->Bitmap()->Width(), 128);
    f->VistrelView1->Select(60, 60, 68, 68);
    f->Clear->Click();
    TVLFtImage ft;
    thumbnail(ft);
    TBitmap spectrum;
    ft.ClearZone(60, 60, 68, 68);
    ft.DrawSpectrum(&spectrum);
    EXPECT_EQ(Diff(f->VistrelView1->Bitmap(), &spectrum), "");
    TBitmap cleaned;
    ft.GetInverse(&cleaned);
    EXPECT_EQ(Diff(f->Vistrel2->Bitmap(), &cleaned), "");
    // "Reset" drops the zone; OK transforms the whole source with the zone scaled to it.
    f->Button7->Click();
    EXPECT_FALSE(f->VistrelView1->Selected());
    f->VistrelView1->Select(60, 60, 68, 68);
    f->Button1->Click();
    return int(mrOk);
  }));
  TVLFtImage whole;
  auto original = std::make_unique<TBitmap>();
  Picture(original.get(), 160, 120);
  whole.BuildFT(original.get(), 2);
  ASSERT_EQ(whole.Side(), 256);
  whole.ClearZone(120, 120, 136, 136);
  TBitmap expected;
  whole.GetInverse(&expected);
  EXPECT_EQ(Diff(view->Bitmap(), &expected), "");
}

// OK applies the page's geometry to the source unscaled; rotation and flips reach it.
TEST_F(PreviewsTest, SourceGeometryRotationAndFlips) {
  auto original = Copy(view->Bitmap());
  EXPECT_TRUE(Run(4000, [](TfPreviews* f) {
    Tab(f, ppLens);
    Type(f->Edit30, "40");
    f->Button1->Click();
    return int(mrOk);
  }));
  auto lens = Copy(original.get());
  VLLens(lens.get(), 80, 60, 80, 40, 7 * 0.1 + 1);
  EXPECT_EQ(Diff(view->Bitmap(), lens.get()), "");

  // A flip shows when clicked with Lock preview down, and only then; OK applies the
  // rotation and every flip that is down. The whole picture grows with the rotation.
  EXPECT_TRUE(Run(4000, [](TfPreviews* f) {
    Tab(f, ppRotate);
    f->SpeedButton1->Click();
    auto plain = Unprocessed(f);
    f->SpeedButtonFlipHor->Click();
    auto flipped = Copy(plain.get());
    VLFlip(flipped.get(), 0);
    EXPECT_EQ(Diff(f->Vistrel2->Bitmap(), flipped.get()), "");
    f->SpeedButtonFlipVer->Click();
    VLFlip(flipped.get(), 1);
    EXPECT_EQ(Diff(f->Vistrel2->Bitmap(), flipped.get()), "");
    Type(f->EditRotate, "90");
    auto turned = Copy(plain.get());
    VLRotateBitmap(turned.get(), 90, true, f->Vistrel2->Background());
    EXPECT_EQ(Diff(f->Vistrel2->Bitmap(), turned.get()), "");
    f->Button1->Click();
    return int(mrOk);
  }));
  VLRotateBitmap(lens.get(), 90, true, clBtnFace);
  VLFlip(lens.get(), 0);
  VLFlip(lens.get(), 1);
  EXPECT_EQ(view->Bitmap()->Width(), 120);
  EXPECT_EQ(Diff(view->Bitmap(), lens.get()), "");
}

// A click in the result: the bump light and the lens go where the click maps back to in
// the source; on the HSV page it picks the base colour.
TEST_F(PreviewsTest, ClicksInTheResult) {
  EXPECT_FALSE(Run(1, [](TfPreviews* f) {
    Tab(f, ppBumpMap);
    f->SpeedButton1->Click();
    f->Vistrel1->SetZoom(300);
    f->Vistrel1->SetViewXY(40, 31);
    EXPECT_EQ(f->Vistrel1->ImageOffsetX(), 0);
    f->Vistrel2->MouseDown(mbLeft, 0, 50, 20);
    // Trunc((x - offset + view origin) x 100 / zoom).
    EXPECT_EQ(f->Edit22->Text(), "30");
    EXPECT_EQ(f->Edit23->Text(), "17");
    EXPECT_EQ(f->Params().BumpLeft, 30);
    auto expected = Unprocessed(f);
    VLBumpMap(expected.get(), 0, 0, expected->Width() - 1, expected->Height() - 1, 30 * 3 - 40, 17 * 3 - 31, 80 * 3,
              80 * 3, 0xFFFFFF, 0);
    EXPECT_EQ(Diff(f->Vistrel2->Bitmap(), expected.get()), "");

    // A picture smaller than the view is centred: the offset counts.
    Tab(f, ppLens);
    f->Vistrel1->SetZoom(50);
    const int ox = f->Vistrel1->ImageOffsetX(), oy = f->Vistrel1->ImageOffsetY();
    EXPECT_GT(ox, 0);
    f->Vistrel2->MouseUp(mbRight, 0, ox + 21, oy + 9);
    EXPECT_EQ(f->Edit27->Text(), "42");
    EXPECT_EQ(f->Edit28->Text(), "18");

    Tab(f, ppHSV);
    f->Vistrel2->SurfacePaint();
    const TColor c = f->Vistrel2->Surface()->Canvas()->Pixels(ox + 30, oy + 20);
    int h, s, v;
    VLRGBToHSV(h, s, v, Rgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF));
    f->HSVBox1->SetHue(h + 25);
    f->HSVBox1->SetSat(s);
    f->HSVBox1->SetVal(std::max(0, v - 12));
    f->Vistrel2->MouseDown(mbLeft, 0, ox + 30, oy + 20);
    EXPECT_EQ(f->HSVBox3->Hue(), h);
    EXPECT_EQ(f->HSVBox3->Sat(), s);
    EXPECT_EQ(f->TrackBar9->Position(), f->HSVBox1->Hue() - h);
    EXPECT_EQ(f->Edit17->Text(), std::to_string(f->HSVBox1->Val() - v));
    return int(mrCancel);
  }));
}

TEST_F(PreviewsTest, UserFilterEditsPresetsAndFiles) {
  const std::string saved = (dir / "edges.flt").string(), other = (dir / "other.flt").string();
  {
    std::ofstream o(other, std::ios::binary);
    const char bytes[43] = {2, 3, 3, 9};
    o.write(bytes, 43);
  }
  files = {saved, saved, other, (dir / "missing.flt").string()};
  Run(4000, [&](TfPreviews* f) {
    EXPECT_EQ(f->ListBox1->ItemIndex(), 0);
    EXPECT_EQ(f->Edit12->Text(), "1");
    Pick(f->ListBox1, 3);  // "Emboss"
    const char* shown[10] = {"-1", "0", "1", "-1", "1", "1", "-1", "0", "1", "1"};
    for (int i = 0; i < 10; ++i) EXPECT_EQ(f->FilterEdit[size_t(i)]->Text(), shown[i]) << i;
    // Text that is no number leaves the divisor as it was; a coefficient re-reads it.
    Type(f->Edit20, "x");
    EXPECT_EQ(f->Params().UserFilter.Divisor, 1);
    Type(f->Edit20, "3");
    EXPECT_EQ(f->Params().UserFilter.Divisor, 3);
    Type(f->Edit16, "4");
    EXPECT_EQ(f->Params().UserFilter.Divisor, 3);
    EXPECT_EQ(f->Params().UserFilter.Coeffs[8], 4);
    // Beyond the up-down's range: held to it.
    Type(f->Edit8, "-500");
    EXPECT_EQ(f->Edit8->Text(), "-100");
    EXPECT_EQ(f->Params().UserFilter.Coeffs[0], -100);
    const TVLUserFilter mine = f->Params().UserFilter;
    f->Button5->Click();
    EXPECT_EQ(fs::file_size(saved), 43u);
    Pick(f->ListBox1, 0);
    f->Button4->Click();
    EXPECT_EQ(f->Params().UserFilter, mine);
    EXPECT_EQ(f->Edit8->Text(), "-100");
    // Another header changes nothing; a missing file is the file system's error.
    f->Button4->Click();
    EXPECT_EQ(f->Params().UserFilter, mine);
    EXPECT_THROW(f->Button4Click(nullptr), std::exception);
    EXPECT_EQ(f->Params().UserFilter, mine);
    return int(mrCancel);
  });
  std::ifstream in(saved, std::ios::binary);
  char head[3] = {};
  in.read(head, 3);
  EXPECT_EQ(std::string(head, 3), std::string("\x01\x03\x03", 3));
}

// A picture far wider than high: its thumbnail keeps a row, and the whole picture's
// transform, too large for memory, leaves the picture as it was on OK.
TEST_F(PreviewsTest, FrequencyPageOnAVeryWidePicture) {
  Picture(view->Bitmap(), 10000, 10);
  view->Update();
  auto original = Copy(view->Bitmap());
  EXPECT_TRUE(Run(4096, [](TfPreviews* f) {
    EXPECT_EQ(f->ActivePreviewPage(), ppFFT);
    EXPECT_EQ(f->FtImage()->SourceWidth(), 128);
    EXPECT_EQ(f->FtImage()->SourceHeight(), 1);
    f->Button1->Click();
    return int(mrOk);
  }));
  EXPECT_EQ(Diff(view->Bitmap(), original.get()), "");
}

}  // namespace
