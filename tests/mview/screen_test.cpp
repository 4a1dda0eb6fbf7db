// The multi-image view on a real (virtual) X screen with the frames of a few files, grabbed
// for a person to look at: run tests/mview/screenshot.sh.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdlib>
#include <string>

#include "mview_support.h"
#include "pcxgif/lzw_coder.h"
#include "vistrel/io/vistrelmio.h"
#include "support/pump.h"

using namespace mviewtest;

namespace {

using vltest::Pump;

void Grab(const std::string& file) {
  Pump(700);
  QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
  ASSERT_FALSE(shot.isNull());
  ASSERT_TRUE(shot.save(QString::fromStdString(file), "PNG"));
}

TEST(XvfbScreen, MultiImageViewWithFrames) {
  const char* out = std::getenv("MVIEW_SHOT");
  if (!out || QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "runs under xvfb-run only";
  const std::string base = std::string(out).substr(0, std::string(out).size() - 4);
  auto* form = new TForm(nullptr);
  form->SetCaption("Frames");
  form->SetBounds(40, 40, 480, 300);
  auto* view = new TVistrelMView(form);
  view->SetParent(form);
  view->SetAlign(alClient);
  view->SetBackground(clWhite);
  view->SetStoreType(vltThumb);
  view->SetGridWidth(-1);
  view->SetScrollBars(ssVertical);
  view->SetMouseInteract(mmiScroll | mmiSelect);
  auto* mio = new TVistrelMIO(form);
  mio->SetAttachedMView(view);
  form->Show();
  DefaultGIFLZWDecompressor = TestGIFLZWDecode;
  mio->LoadFromFile(Data("anim.gif"));
  mio->LoadFromFile(Data("pages3.tif"));
  mio->LoadFromFile(Data("i420.avi"));
  DefaultGIFLZWDecompressor = nullptr;
  ASSERT_EQ(view->ImageCount(), 9);
  view->SetFocus();
  view->SelectImage(4);
  Grab(std::string(out));
  // Scrolled to the end by the keys.
  Word key = VK_END;
  view->KeyDown(key, 0);
  Grab(base + "-end.png");
  // Played: one picture at a time.
  view->SetPlaying(true);
  Grab(base + "-playing.png");
  view->SetPlaying(false);
  form->Free();
  QCoreApplication::processEvents();
}

}  // namespace
