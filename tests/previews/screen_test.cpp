// The effects dialog on a real (virtual) X screen, open on a photograph-like picture, its
// pages grabbed as pictures under the build folder for a person to look at.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "vistrel/proc/previews.h"
#include "vistrel/view/vistrelview.h"
#include "support/xvfb.h"
#include "support/pump.h"

namespace {

using vltest::WaitOnScreen;

// A landscape: sky with clouds and a sun, hills, a lake and a meadow, from value noise.
void Landscape(TBitmap* b, int w, int h) {
  auto hash = [](int x, int y) {
    uint32_t n = uint32_t(x) * 374761393u + uint32_t(y) * 668265263u;
    n = (n ^ (n >> 13)) * 1274126177u;
    return double((n ^ (n >> 16)) & 0xFFFF) / 65535.0;
  };
  auto noise = [&](double x, double y) {
    const int xi = int(std::floor(x)), yi = int(std::floor(y));
    double fx = x - xi, fy = y - yi;
    fx = fx * fx * (3 - 2 * fx);
    fy = fy * fy * (3 - 2 * fy);
    const double a = hash(xi, yi), c = hash(xi + 1, yi), d = hash(xi, yi + 1), e = hash(xi + 1, yi + 1);
    return (a * (1 - fx) + c * fx) * (1 - fy) + (d * (1 - fx) + e * fx) * fy;
  };
  auto fbm = [&](double x, double y) {
    double s = 0, amp = 0.5;
    for (int o = 0; o < 5; ++o, x *= 2, y *= 2, amp /= 2) s += amp * noise(x, y);
    return s;
  };
  auto clamp = [](double v) { return uint8_t(std::lround(std::fmin(255, std::fmax(0, v)))); };
  b->SetPixelFormat(pf24bit);
  b->SetSize(w, h);
  const double horizon = h * 0.58;
  for (int y = 0; y < h; ++y) {
    uint8_t* p = b->ScanLine(y);
    for (int x = 0; x < w; ++x, p += 3) {
      double r, g, bl;
      const double ridge = horizon - 70 * fbm(x / 90.0, 3.1) - 12;
      const double far = horizon - 40 * fbm(x / 50.0, 7.7) - 4;
      if (y < ridge && y < far) {
        const double t = double(y) / horizon;
        r = 70 + 120 * t, g = 120 + 90 * t, bl = 205 + 30 * t;
        const double cloud = fbm(x / 70.0, y / 22.0);
        if (cloud > 0.5) {
          const double k = std::fmin(1, (cloud - 0.5) * 3.5);
          r += (245 - r) * k, g += (245 - g) * k, bl += (250 - bl) * k;
        }
        const double dx = x - w * 0.74, dy = y - h * 0.17, d = std::sqrt(dx * dx + dy * dy);
        const double sun = d < 16 ? 1 : std::exp(-(d - 16) / 22);
        r += (255 - r) * sun, g += (240 - g) * sun, bl += (200 - bl) * sun;
      } else if (y < horizon) {
        const double shade = fbm(x / 25.0, y / 25.0);
        if (y >= far) r = 60 + 50 * shade, g = 95 + 50 * shade, bl = 60 + 30 * shade;  // near hills
        else r = 95 + 40 * shade, g = 110 + 40 * shade, bl = 150 + 40 * shade;         // far hills
      } else {
        const double lx = (x - w * 0.35) / (w * 0.28), ly = (y - horizon - h * 0.1) / (h * 0.1);
        if (lx * lx + ly * ly < 1) {
          const double ripple = noise(x / 6.0, y / 1.5);
          r = 90 + 50 * ripple, g = 140 + 45 * ripple, bl = 190 + 40 * ripple;
        } else {
          const double t = (y - horizon) / (h - horizon), grass = fbm(x / 8.0, y / 3.0);
          r = 70 + 60 * grass - 30 * t, g = 130 + 70 * grass - 40 * t, bl = 40 + 30 * grass - 15 * t;
          if (fbm(x / 30.0 + 9, y / 12.0) > 0.66) r += 120, g += 60, bl += 20;  // flowers
        }
      }
      p[0] = clamp(bl), p[1] = clamp(g), p[2] = clamp(r);
    }
  }
}

std::string ShotName(const char* step) {
  std::string out = std::getenv("QUILLON_SHOT");
  return out.substr(0, out.size() - 4) + "-" + step + ".png";
}

// The screen once it shows the dialog as the dialog draws itself.
void Grab(TForm* f, const char* step) {
  ASSERT_TRUE(WaitOnScreen(f->Widget())) << step;
  QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
  ASSERT_FALSE(shot.isNull());
  ASSERT_TRUE(shot.save(QString::fromStdString(ShotName(step)), "PNG"));
}

void SelectTab(TfPreviews* f, TPreviewPage page) {
  int k = 0;
  for (int i = 0; i < page; ++i) k += f->Page(TPreviewPage(i))->TabVisible() ? 1 : 0;
  f->PageControl1->SelectTab(k);
}

// Runs inside xvfb-run (started by the test below through the editor's screenshot.sh).
TEST(XvfbScreen, EffectsDialogOnAPhoto) {
  const char* out = std::getenv("QUILLON_SHOT");
  if (!out || QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "runs under xvfb-run only";
  auto* doc = new TForm(nullptr);
  doc->SetCaption("Photo");
  doc->SetBounds(10, 10, 500, 400);
  auto* view = new TVistrelView(doc);
  view->SetParent(doc);
  view->SetAlign(alClient);
  Landscape(view->Bitmap(), 480, 360);
  view->Update();
  auto* proc = new TVistrelProc(doc);
  proc->SetAttachedVistrel(view);
  doc->Show();
  ASSERT_TRUE(WaitOnScreen(doc->Widget()));

  SetModalAnswer([](TModalRequest& r) {
    auto* f = dynamic_cast<TfPreviews*>(r.Form);
    if (!f) return int(mrCancel);
    Grab(f, "effects");
    f->SpeedButton1->Click();
    f->Edit12->SetText("3");
    f->ListBox1->SetItemIndex(3);
    f->ListBox1Click(nullptr);
    Grab(f, "effects-filter");
    SelectTab(f, ppLens);
    f->Edit29->SetText("260");
    f->Edit30->SetText("200");
    Grab(f, "effects-lens");
    SelectTab(f, ppBumpMap);
    f->Edit26->SetText("40");
    Grab(f, "effects-bump");
    SelectTab(f, ppWave);
    Grab(f, "effects-wave");
    SelectTab(f, ppMorph);
    Grab(f, "effects-morph");
    SelectTab(f, ppRotate);
    f->EditRotate->SetText("20");
    Grab(f, "effects-rotate");
    return int(mrCancel);
  });
  EXPECT_FALSE(proc->DoPreviews(4000));

  SetModalAnswer([](TModalRequest& r) {
    auto* f = dynamic_cast<TfPreviews*>(r.Form);
    if (!f) return int(mrCancel);
    f->SpeedButton1->Click();
    f->Edit1->SetText("40");
    Grab(f, "adjust");
    SelectTab(f, ppHSV);
    f->Edit19->SetText("60");
    Grab(f, "adjust-hsv");
    SelectTab(f, ppEqualization);
    f->SpeedButton3->Click();
    Grab(f, "adjust-equalization");
    SelectTab(f, ppFFT);
    f->VistrelView1->Select(50, 50, 78, 78);
    f->Clear->Click();
    Grab(f, "adjust-fft");
    return int(mrCancel);
  });
  EXPECT_FALSE(proc->DoPreviews(4190));
  SetModalAnswer(nullptr);
  QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
  ASSERT_TRUE(shot.save(QString::fromLocal8Bit(out), "PNG"));
  doc->Free();
  QCoreApplication::processEvents();
}

TEST(Screenshot, EffectsDialogUnderXvfb) {
  const std::string script = std::string(VL_TESTDATA) + "/../quillon/screenshot.sh";
  const std::string out = std::string(VL_BUILD_DIR) + "/previews-screenshot.png";
  std::filesystem::remove(out);
  VLTEST_RUN_SCREEN_SCRIPT("QUILLON_SHOT", script, out);
  for (const char* step : {"effects", "effects-lens", "adjust", "adjust-fft"}) {
    const std::string shot = out.substr(0, out.size() - 4) + "-" + step + ".png";
    QImage img(QString::fromStdString(shot));
    EXPECT_GE(img.width(), 800) << step;
  }
}

}  // namespace
