// The multi-image view on real (virtual) X screens of 1280 x 1024 and 800 x 600 with the frames
// of a few files: what the screen shows of it is checked, and grabbed beside <out> for a person
// to look at. tests/mview/screenshot.sh runs the same on a small screen without window manager.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QScrollBar>
#include <cstdlib>
#include <string>

#include "mview_support.h"
#include "pcxgif/lzw_coder.h"
#include "support/pump.h"
#include "support/xvfb.h"
#include "vistrel/io/vistrelmio.h"

using namespace mviewtest;

namespace {

// The screen once it shows the view as the view draws itself, saved to `file`. The form lies
// whole on the screen, its scroll bar inside it; the cells of the frames lie in the grid,
// apart, never under the scroll bar; each cell wholly in sight shows its picture at its middle
// (not the view's white). Playing, one frame alone is on show: all else is white.
void ExpectFrames(TForm* form, TVistrelMView* view, const std::string& file) {
  SCOPED_TRACE(file);
  ASSERT_TRUE(vltest::WaitOnScreen(view->Widget()));
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  EXPECT_TRUE(screen.contains(form->Widget()->frameGeometry())) << "the form is off the screen";
  QWidget* client = view->ClientWidget();
  const QPoint at = client->mapToGlobal(QPoint(0, 0));
  const QPixmap screenShot = QGuiApplication::primaryScreen()->grabWindow(0);
  ASSERT_TRUE(screenShot.save(QString::fromStdString(file), "PNG"));
  const QImage shot = screenShot.toImage().copy(QRect(at, client->size())).convertToFormat(QImage::Format_RGB32);
  const bool single = view->Playing();
  if (!single) {
    const QScrollBar* bar = view->ScrollBarWidget(SB_VERT);
    ASSERT_TRUE(bar && bar->isVisible());
    const QRect b(bar->mapTo(form->Widget(), QPoint(0, 0)), bar->size());
    EXPECT_TRUE(form->Widget()->rect().contains(b)) << "the scroll bar is cut";
  }
  const int tw = view->ThumbWidth(), th = view->ThumbHeight();
  const QRect room(0, 0, view->ClientWidth(), view->ClientHeight());
  int whole = 0;
  QRect shownCell;
  for (int i = 0; i < view->ImageCount(); ++i) {
    if (single && i > 0) break;  // every frame has the first cell then
    const QRect cell(int(view->ImageX(i) - view->ViewX()), int(view->ImageY(i) - view->ViewY()), tw, th);
    if (!single) {
      EXPECT_EQ(view->ImageCol(i), i % view->Columns()) << i;
      EXPECT_EQ(view->ImageRow(i), i / view->Columns()) << i;
      for (int k = 0; k < i; ++k)
        EXPECT_FALSE(
            cell.intersects(QRect(int(view->ImageX(k) - view->ViewX()), int(view->ImageY(k) - view->ViewY()), tw, th)))
            << i << " covers " << k;
    }
    EXPECT_LE(cell.left() + tw, room.width()) << "frame " << i << " is under the scroll bar";
    if (!room.contains(cell)) continue;
    ++whole;
    shownCell = cell;
    EXPECT_NE(shot.pixel(cell.center()) & 0xFFFFFF, 0xFFFFFFu) << "frame " << i << " shows no picture";
  }
  EXPECT_GE(whole, single ? 1 : 4);
  if (single) {
    int other = 0;
    for (int y = 0; y < shot.height(); ++y)
      for (int x = 0; x < shot.width(); ++x)
        other += !shownCell.contains(x, y) && (shot.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF;
    EXPECT_EQ(other, 0) << "more than the one frame on show";
  }
}

TEST(XvfbScreen, MultiImageViewWithFrames) {
  const char* out = std::getenv("MVIEW_SHOT");
  if (!out || QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "runs under xvfb-run only";
  std::string base = std::string(out).substr(0, std::string(out).size() - 4);
  if (const char* size = std::getenv("VL_SCREEN")) base += std::string("-") + size;
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
  ExpectFrames(form, view, base + ".png");
  // Scrolled to the end by the keys: the last frame, chosen, in sight.
  Word key = VK_END;
  view->KeyDown(key, 0);
  EXPECT_EQ(view->SelectedImage(), 8);
  EXPECT_EQ(view->ViewY(), view->MaxViewY());
  ExpectFrames(form, view, base + "-end.png");
  // Played: one picture at a time.
  view->SetPlaying(true);
  view->PlayTimer()->SetEnabled(false);  // the frame stays while the screen is looked at
  ExpectFrames(form, view, base + "-playing.png");
  view->SetPlaying(false);
  form->Free();
  QCoreApplication::processEvents();
}

TEST(Screens, MultiImageViewAt1280x1024And800x600) {
  const std::string out = std::string(VL_BUILD_DIR) + "/mview-screen.png";
  VLTEST_RUN_ON_SCREEN("MVIEW_SHOT", out, "1280x1024");
  VLTEST_RUN_ON_SCREEN("MVIEW_SHOT", out, "800x600");
}

}  // namespace
