// The about boxes of both programs: opened by their commands, looked at headless and on a
// real (virtual) X screen, where the pictures are saved for a person to look at.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "corvelo/aboutform.h"
#include "quillon/mainform.h"
#include "quillon/program.h"
#include "support/xvfb.h"
#include "support/pump.h"

namespace {

using vltest::WaitOnScreen;

// Pixels of the picture in one colour: the links' blue at rest, green when hovered or focused.
constexpr QRgb kRestBlue = 0x0000FF, kOverGreen = 0x008000;
int PixelsOf(const QImage& img, QRgb rgb) {
  int n = 0;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x)
      if ((img.pixel(x, y) & 0xFFFFFF) == rgb) ++n;
  return n;
}

// Both links lie inside the box, below its other texts and above its button, apart.
void ExpectLaidOut(TForm* box, THyperLink* a, THyperLink* b, TLabel* lastText, TButton* ok) {
  for (THyperLink* l : {a, b}) {
    EXPECT_GE(l->Left(), 0);
    EXPECT_LE(l->Left() + l->Width(), l->Parent()->ClientWidth());
    EXPECT_FALSE(l->HREF().empty());
    EXPECT_GT(l->Width(), 60);
  }
  EXPECT_GE(a->Top(), lastText->Top() + lastText->Height());
  EXPECT_GE(b->Top(), a->Top() + a->Height());
  EXPECT_LE(b->Top() + b->Height(), b->Parent()->ClientHeight());
  EXPECT_GE(ok->Top(), b->Parent()->Top() + b->Parent()->Height());
  EXPECT_LE(ok->Top() + ok->Height(), box->ClientHeight());
}

TEST(AboutBox, TheEditorsAboutCommandShowsItsBoxWithTwoLinks) {
  int shown = 0, messages = 0;
  QImage look;
  SetModalAnswer([&](TModalRequest& r) {
    if (r.Kind != mkForm) {
      ++messages;
      return int(mrOk);
    }
    ++shown;
    EXPECT_EQ(r.Caption, "About");
    look = r.Form->Widget()->grab().toImage();
    return int(mrOk);
  });
  quillon::TMainForm* main = quillon::StartQuillon();
  main->HelpAboutItem->Click();
  main->HelpAboutItem->Click();
  EXPECT_EQ(shown, 2);
  EXPECT_EQ(messages, 0);  // no "not available" any more
  quillon::TAboutBox* box = main->AboutBox;
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->HelpContext(), 80);
  EXPECT_EQ(box->BorderStyle(), bsDialog);
  EXPECT_TRUE(box->Scaler1->ScaleRuntime());
  ExpectLaidOut(box, box->HyperLink1, box->HyperLink2, box->Comments2, box->OKButton);
  ASSERT_FALSE(look.isNull());
  EXPECT_EQ(look.width(), box->Width());
  EXPECT_GT(PixelsOf(look, kRestBlue), 100);
  look.save(QString::fromStdString(std::string(VL_BUILD_DIR) + "/about-editor-headless.png"));
  SetModalAnswer(nullptr);
  quillon::StopQuillon(main);
  QCoreApplication::processEvents();
}

TEST(AboutBox, TheViewersBoxShowsItsDescriptionAndTwoLinks) {
  auto* box = new corvelo::TAboutBox(nullptr);
  EXPECT_EQ(box->HelpContext(), 330);
  EXPECT_TRUE(box->Scaler1->ScaleRuntime());
  ExpectLaidOut(box, box->HyperLink1, box->HyperLink2, box->Comments3, box->OKButton);
  QImage look;
  SetModalAnswer([&](TModalRequest& r) {
    look = r.Form->Widget()->grab().toImage();
    return int(mrOk);
  });
  EXPECT_EQ(box->ShowModal(), mrOk);
  SetModalAnswer(nullptr);
  ASSERT_FALSE(look.isNull());
  EXPECT_GT(PixelsOf(look, kRestBlue), 100);
  look.save(QString::fromStdString(std::string(VL_BUILD_DIR) + "/about-viewer-headless.png"));
  box->Free();
}

// Runs inside xvfb-run (started by the test below): both boxes on a 1024 x 768 screen, at
// rest and with a link hovered and the other focused.
TEST(XvfbScreen, AboutBoxes) {
  const char* out = std::getenv("QUILLON_SHOT");
  if (!out || QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "runs under xvfb-run only";
  auto grab = [](TForm* box, const std::string& name) {
    ASSERT_TRUE(WaitOnScreen(box->Widget()));
    QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
    ASSERT_FALSE(shot.isNull());
    // The box with a margin of the screen round it.
    QRect r = box->Widget()->frameGeometry().adjusted(-20, -20, 20, 20);
    ASSERT_TRUE(shot.copy(r).save(QString::fromStdString(name), "PNG"));
  };
  auto* editor = new quillon::TAboutBox(nullptr);
  auto* viewer = new corvelo::TAboutBox(nullptr);
  // Laid out for 800 pixels, shown on 1024.
  EXPECT_EQ(editor->Scaler1->TargetWidth(), 1024);
  EXPECT_EQ(editor->ClientWidth(), 423);  // Trunc(330 * 1.28 + 0.95)
  const std::string base = std::string(out).substr(0, std::string(out).size() - 4);
  editor->Show();
  grab(editor, out);
  QWidget* w = editor->HyperLink1->ClientWidget();
  QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), w->mapToGlobal(QPointF(5, 5)), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QCoreApplication::sendEvent(w, &move);
  editor->Widget()->activateWindow();
  editor->HyperLink2->SetFocus();
  grab(editor, base + "-editor-links.png");
  editor->Hide();
  viewer->Show();
  grab(viewer, base + "-viewer.png");
  viewer->Hide();
  editor->Free();
  viewer->Free();
  QCoreApplication::processEvents();
}

TEST(Screenshot, AboutBoxesUnderXvfb) {
  const std::string script = std::string(VL_TESTDATA) + "/../quillon/screenshot.sh";
  const std::string out = std::string(VL_BUILD_DIR) + "/about.png";
  std::filesystem::remove(out);
  VLTEST_RUN_SCREEN_SCRIPT("QUILLON_SHOT", script, out);
  for (const char* step : {"", "-editor-links", "-viewer"}) {
    const std::string name = out.substr(0, out.size() - 4) + step + ".png";
    QImage img(QString::fromStdString(name));
    EXPECT_FALSE(img.isNull()) << name;
    const bool over = std::string(step) == "-editor-links";
    EXPECT_GT(PixelsOf(img, over ? kOverGreen : kRestBlue), 100) << name;
  }
}

}  // namespace
