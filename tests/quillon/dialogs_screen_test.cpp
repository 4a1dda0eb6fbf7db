// The editor's dialogs and the ruler on a real (virtual) X screen, saved as pictures beside
// the editor's screenshot (<out>-<name>.png) for a person to look at.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QSlider>
#include <QWidget>
#include <cstdlib>
#include <deque>
#include <functional>
#include <string>

#include "quillon/mainform.h"
#include "quillon/program.h"
#include "vistrel/view/rulerbox.h"
#include "support/apart.h"
#include "support/editor.h"
#include "support/pump.h"

using namespace quillon;

namespace {

using vltest::WaitOnScreen;

std::string ShotName(const char* name) {
  std::string out = std::getenv("QUILLON_SHOT");
  return out.substr(0, out.size() - 4) + "-" + name + ".png";
}

// The window of a form as it shows on the screen.
void GrabForm(TForm* f, const char* name) {
  ASSERT_TRUE(WaitOnScreen(f->Widget())) << name;
  QWidget* w = f->Widget()->window();
  const QRect r = w->frameGeometry();
  QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0, r.x(), r.y(), r.width(), r.height());
  ASSERT_FALSE(shot.isNull());
  ASSERT_TRUE(shot.save(QString::fromStdString(ShotName(name)), "PNG"));
  // Something is drawn: the picture has more than one colour.
  QImage img = shot.toImage();
  bool varied = false;
  for (int y = 0; y < img.height() && !varied; y += 3)
    for (int x = 0; x < img.width() && !varied; x += 3) varied = img.pixel(x, y) != img.pixel(0, 0);
  EXPECT_TRUE(varied) << name;
}

TEST(XvfbScreen, EditorDialogs) {
  const char* out = std::getenv("QUILLON_SHOT");
  if (!out || QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "runs under xvfb-run only";
  vltest::TScriptedAnswers answers;
  auto open = [&](const char* name) {
    answers.push_back([name](TModalRequest& r) {
      r.Value = std::string(VL_TESTDATA) + "/quillon/" + name;
      return int(mrOk);
    });
  };
  auto shoot = [&](const char* name, std::function<void(TForm*)> fill = nullptr, int result = mrCancel) {
    answers.push_back([=](TModalRequest& r) {
      if (fill) fill(r.Form);
      GrabForm(r.Form, name);
      // What the user sees: every control inside the dialog, none over another.
      vltest::ExpectControlsApart(r.Form, name);
      return result;
    });
  };
  TMainForm* main = StartQuillon();
  main->Show();
  ASSERT_TRUE(WaitOnScreen(main->Widget()));
  main->FileNewItemClick(nullptr);
  open("quad.png");
  main->FileOpenItemClick(nullptr);
  ASSERT_NE(main->ActiveChild(), nullptr);

  shoot("rotate", [](TForm* f) { static_cast<TfRotate*>(f)->Button5->Click(); });
  main->Rotate1Click(nullptr);
  shoot("rotate-wide", [](TForm* f) {
    f->SetClientWidth(640);
    f->SetClientHeight(420);
    static_cast<TfRotate*>(f)->Edit1->SetText("30");
    static_cast<TfRotate*>(f)->CheckBox1->SetChecked(true);
    static_cast<TfRotate*>(f)->Button3Click(f);
  });
  main->Rotate1Click(nullptr);
  shoot("resize");
  main->Resample1Click(nullptr);
  shoot("resize-border");
  main->Resize1Click(nullptr);
  shoot("merge", [](TForm* f) {
    auto* m = static_cast<TfMergeDialog*>(f);
    m->TrackBar1->Slider()->setValue(25);
    m->ListBox1->SetItemIndex(0);
  });
  main->Merge1Click(nullptr);
  shoot("histogram");
  main->Histogram1Click(nullptr);
  shoot("histogram-red-lines", [](TForm* f) {
    auto* h = static_cast<TfHistogram*>(f);
    h->ComboBox1->SetItemIndex(1);
    h->ComboBox1Change(h);
    h->ComboBox2->SetItemIndex(1);
    h->ComboBox2Change(h);
  });
  main->Histogram1Click(nullptr);
  shoot("convbw");
  main->ConverttoBW1Click(nullptr);
  shoot("convbw-typed", [](TForm* f) {
    auto* d = static_cast<TfConvBW*>(f);
    d->SpeedButton1->Click();
    d->Edit1->SetText("128");
  });
  main->ConverttoBW1Click(nullptr);
  shoot("convbw-ordered", [](TForm* f) { static_cast<TfConvBW*>(f)->RadioGroup1->SetItemIndex(1); });
  main->ConverttoBW1Click(nullptr);
  shoot("zoomprop");
  main->Zoomproperties1Click(nullptr);
  main->fColorSel->HSVBox1->SetRGB(40, 160, 220);
  main->fColorSel->HSVBox1Change(nullptr);
  shoot("colorsel");
  main->fColorSel->ShowModal();

  // Two rulers: 0..255 fitted with two grips over a band at the top, and a vertical one
  // with hex labels and its band at the right.
  auto* form = new TForm(nullptr);
  form->SetCaption("Rulers");
  form->SetClientWidth(420);
  form->SetClientHeight(220);
  auto* r1 = new TRulerBox(form);
  r1->SetParent(form);
  r1->SetBounds(10, 10, 289, 44);
  r1->SetViewMin(0);
  r1->SetViewMax(255);
  r1->SetFitInView(true);
  r1->SetLabelFreq(64);
  r1->SetFrequency(16);
  r1->SetGripsCount(2);
  r1->SetGripColor(0, clBlack);
  r1->SetGripColor(1, clWhite);
  r1->SetGripKind(1, 3);
  r1->SetGripPos(0, 40);
  r1->SetGripPos(1, 200);
  auto* r2 = new TRulerBox(form);
  r2->SetParent(form);
  r2->SetBounds(10, 70, 300, 44);
  r2->SetGripsDir(gdDown);
  r2->SetViewPos(-37.5);
  r2->SetDotPerUnit(2);
  r2->SetHexLabels(true);
  r2->SetGripsCount(3);
  for (int i = 0; i < 3; ++i) {
    r2->SetGripKind(i, Byte(i + 1 == 3 ? 4 : i + 1));
    r2->SetGripColor(i, TColor(0x0000FF << (8 * i)));
    r2->SetGripPos(i, -20 + 40 * i);
  }
  auto* r3 = new TRulerBox(form);
  r3->SetParent(form);
  r3->SetBounds(330, 10, 60, 200);
  r3->SetRulerDir(rdVertical);
  r3->SetGripsDir(gdDown);
  r3->SetLabelFreq(50);
  r3->SetGripPos(0, 120);
  auto* r4 = new TRulerBox(form);
  r4->SetParent(form);
  r4->SetBounds(10, 130, 300, 80);
  r4->SetViewPos(1e15);
  r4->SetDotPerUnit(1e-13);
  r4->SetFrequency(1e14);
  r4->SetLabelFreq(1e15);
  form->SetPosition(poScreenCenter);
  form->Show();
  GrabForm(form, "rulers");
  form->Free();

  SetModalAnswer(nullptr);
  StopQuillon(main);
  QCoreApplication::processEvents();
}

}  // namespace
