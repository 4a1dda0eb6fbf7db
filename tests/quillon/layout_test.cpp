// The rotate and black-and-white dialogs as the form scaler lays them out on real (virtual)
// screens of 1280 x 1024 and 800 x 600: no control covers another, every text fits, and
// "Ordered" can be chosen with the mouse. Grabs go beside <out> for a person to look at.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPixmap>
#include <QRadioButton>
#include <QScreen>
#include <QtTest/QTest>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "quillon/mainform.h"
#include "quillon/program.h"
#include "support/xvfb.h"
#include "vistrel/proc/kernels/pixels.h"
#include "support/editor.h"
#include "support/pump.h"

using namespace quillon;

namespace {

using vltest::WaitOnScreen;

std::string ShotName(const std::string& name) {
  const std::string out = std::getenv("QUILLON_LAYOUT_SHOT");
  return out.substr(0, out.size() - 4) + "-" + std::getenv("VL_SCREEN") + "-" + name + ".png";
}

void GrabForm(TForm* f, const std::string& name) {
  ASSERT_TRUE(WaitOnScreen(f->Widget())) << name;
  const QRect r = f->Widget()->window()->frameGeometry();
  const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0, r.x(), r.y(), r.width(), r.height());
  ASSERT_TRUE(shot.save(QString::fromStdString(ShotName(name)), "PNG"));
}

std::string Name(TControl* c) { return c->Caption().empty() ? c->ClassName() : c->Caption(); }

// The controls lie inside their parent's client area and none covers another.
void ExpectApart(TWinControl* parent, const std::vector<TControl*>& controls) {
  for (size_t i = 0; i < controls.size(); ++i) {
    const TRect a = controls[i]->BoundsRect();
    EXPECT_TRUE(a.Left >= 0 && a.Top >= 0 && a.Right <= parent->ClientWidth() && a.Bottom <= parent->ClientHeight())
        << Name(controls[i]) << " leaves " << Name(parent);
    for (size_t k = i + 1; k < controls.size(); ++k) {
      const TRect b = controls[k]->BoundsRect();
      EXPECT_TRUE(a.Right <= b.Left || b.Right <= a.Left || a.Bottom <= b.Top || b.Bottom <= a.Top)
          << Name(controls[i]) << " covers " << Name(controls[k]);
    }
  }
}

// The text of a button or label fits its control.
void ExpectTextFits(TControl* c) {
  const QFontMetrics m(c->Font()->QtFont());
  EXPECT_LE(m.horizontalAdvance(QString::fromStdString(Name(c))), c->Width()) << Name(c);
  EXPECT_LE(m.height(), c->Height()) << Name(c);
}

// Runs on the virtual screen (started by the test below).
TEST(XvfbLayout, RotateDialogApartAndOrderedDitheringChosen) {
  if (!std::getenv("QUILLON_LAYOUT_SHOT") || QGuiApplication::platformName() != "xcb")
    GTEST_SKIP() << "runs on the virtual screen only";
  vltest::TScriptedAnswers answers;
  TMainForm* main = StartQuillon();
  main->Show();
  ASSERT_TRUE(WaitOnScreen(main->Widget()));
  answers.push_back([](TModalRequest& r) {
    r.Value = std::string(VL_TESTDATA) + "/quillon/quad.png";
    return int(mrOk);
  });
  main->FileOpenItemClick(nullptr);
  TMDIChild* doc = main->ActiveChild();
  ASSERT_NE(doc, nullptr);
  const QRect screen = QGuiApplication::primaryScreen()->geometry();

  answers.push_back([&](TModalRequest& r) {
    auto* f = static_cast<TfRotate*>(r.Form);
    f->Button5->Click();
    EXPECT_TRUE(screen.contains(f->Widget()->window()->frameGeometry()));
    ExpectApart(f, {f->Label1, f->Edit1, f->UpDown1, f->CheckBox1, f->VistrelView1, f->Button3, f->Panel1, f->Button1,
                    f->Button2});
    ExpectApart(f->Panel1, {f->Label2, f->Button4, f->Button5, f->Button6, f->Button7});
    for (TControl* c : std::vector<TControl*>{f->Label2, f->Button3, f->Button4, f->Button1, f->Button2})
      ExpectTextFits(c);
    GrabForm(f, "rotate");
    return int(mrCancel);
  });
  main->Rotate1Click(nullptr);

  // "Ordered" shows inside its group and a click on it chooses it.
  auto original = std::make_unique<TBitmap>();
  original->Assign(doc->VistrelVect1->Bitmap());
  answers.push_back([&](TModalRequest& r) {
    auto* d = static_cast<TfConvBW*>(r.Form);
    TRadioGroup* g = d->RadioGroup1;
    ExpectApart(g, {g->Buttons(0), g->Buttons(1)});
    ExpectApart(d, {g, d->GroupBox1, d->Button1, d->Button2});
    for (int i = 0; i < 2; ++i) ExpectTextFits(g->Buttons(i));
    QWidget* ordered = g->Buttons(1)->Widget();
    EXPECT_TRUE(ordered->isVisible());
    QTest::mouseClick(ordered, Qt::LeftButton, {}, QPoint(8, ordered->height() / 2));
    EXPECT_EQ(g->ItemIndex(), 1);
    GrabForm(d, "convbw-ordered");
    return int(mrOk);
  });
  main->ConverttoBW1Click(nullptr);
  VLDitherOrderedTo1Bit(original.get());
  TBitmap* b = doc->VistrelVect1->Bitmap();
  ASSERT_EQ(b->PixelFormat(), pf1bit);
  ASSERT_EQ(b->Height(), original->Height());
  for (int y = 0; y < b->Height(); ++y)
    ASSERT_EQ(std::memcmp(b->ScanLine(y), original->ScanLine(y), size_t(b->Width() + 7) / 8), 0) << "row " << y;

  SetModalAnswer(nullptr);
  StopQuillon(main);
  QCoreApplication::processEvents();
}

TEST(Screens, DialogsLaidOutAt1280x1024And800x600) {
  const std::string out = std::string(VL_BUILD_DIR) + "/quillon-layout.png";
  VLTEST_RUN_ON_SCREEN("QUILLON_LAYOUT_SHOT", out, "1280x1024", "XvfbLayout.*");
  VLTEST_RUN_ON_SCREEN("QUILLON_LAYOUT_SHOT", out, "800x600", "XvfbLayout.*");
}

}  // namespace
