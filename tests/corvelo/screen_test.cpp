// The viewer on a real (virtual) X screen, started on its sample disc folder: the main form,
// an album and a slide, saved as pictures for a person to look at.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QWidget>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <filesystem>
#include <set>
#include <string>

#include "components/printsize.h"
#include "corvelo/aboutform.h"
#include "corvelo/categoryform.h"
#include "corvelo/mainform.h"
#include "corvelo/photoform.h"
#include "corvelo/slideshowform.h"
#include "corvelo/program.h"
#include "support/xvfb.h"
#include "support/pump.h"

using namespace corvelo;

namespace {

// Without a window manager nothing maximises a form: it takes the screen as it would under one.
void FillScreen(TForm* f) {
  QCoreApplication::processEvents(QEventLoop::AllEvents, 200);
  if (f->Widget()->isMaximized()) return;
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  f->SetBounds(0, 0, screen.width(), screen.height());
}

// Calls Seen for each event of one type that reaches a widget.
class TEventWatch : public QObject {
 public:
  TEventWatch(QWidget* w, QEvent::Type type, std::function<void()> seen) : FType(type), FSeen(std::move(seen)) {
    w->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == FType) FSeen();
    return false;
  }

 private:
  QEvent::Type FType;
  std::function<void()> FSeen;
};

using vltest::WaitFor;
using vltest::WaitOnScreen;

// Runs Act once Ready holds and the form lies on the screen as it draws itself; a failure
// when that never comes (Act runs all the same, so the show ends).
void WhenOnScreen(TForm* f, std::function<bool()> Ready, std::function<void()> Act) {
  vltest::WhenOnScreen([=]() -> QWidget* { return Ready() ? f->Widget() : nullptr; },
                       [=](QWidget* w) {
                         EXPECT_TRUE(w) << f->Caption() << " never came on the screen";
                         Act();
                       });
}

// The slide being shown is loaded and fitted: the form's caption names its file.
bool SlideUp() {
  return !CurrentImageFile.empty() && SlideShowForm->Caption().find(CurrentImageFile) != std::string::npos;
}

// The album on the screen first, then its fill: the fill starts on the album's next tick.
void FillAlbumOnScreen() {
  CategoryForm->Timer1->SetEnabled(false);
  EXPECT_TRUE(WaitOnScreen(CategoryForm->Widget())) << "the album";
  CategoryForm->Timer1->SetEnabled(true);
  EXPECT_TRUE(WaitFor([] { return !CategoryForm->Loading(); })) << "the album's fill";
  EXPECT_TRUE(WaitOnScreen(CategoryForm->Widget())) << "the filled album";
}

// Saves the whole screen as <out>-<step>.png.
void Grab(const std::string& step) {
  std::string out = std::getenv("CORVELO_SHOT");
  out = out.substr(0, out.size() - 4) + "-" + step + ".png";
  QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
  ASSERT_FALSE(shot.isNull());
  ASSERT_TRUE(shot.save(QString::fromStdString(out), "PNG"));
  // Photos are on show: far more colours than the controls alone have.
  QImage img = shot.toImage();
  std::set<QRgb> colours;
  for (int y = 0; y < img.height(); y += 3)
    for (int x = 0; x < img.width(); x += 3) colours.insert(img.pixel(x, y));
  EXPECT_GT(colours.size(), 500u) << step;
}

// Runs inside xvfb-run (started through screenshot.sh).
TEST(XvfbScreen, MainFormAlbumAndSlideOfTheSampleDisc) {
  const char* out = std::getenv("CORVELO_SHOT");
  if (!out || QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "runs under xvfb-run only";
  const std::filesystem::path oldCwd = std::filesystem::current_path();
  SetProgramFolder(std::filesystem::canonical(std::string(VL_TESTDATA) + "/../../corvelo/sample").string());
  TMainForm* main = StartCorvelo();
  main->Show();
  FillScreen(main);
  ASSERT_TRUE(WaitOnScreen(main->Widget()));
  Grab("main");

  // The first album, its thumbnails loaded by the album's timer, then its second photo alone.
  SetModalAnswer([](TModalRequest& r) {
    if (r.Kind != mkForm) return int(mrCancel);
    if (r.Form == SlideShowForm) {
      // The show runs inside the start timer's event, from any moment events are let run:
      // the picture is taken from within it, during the second slide, and the show closed there.
      bool done = false;
      WhenOnScreen(
          SlideShowForm, [] { return SlideShowForm->SlideIndex == 1 && SlideUp(); },
          [&] {
            Grab("slide");
            SlideShowForm->BitBtn1Click(nullptr);
            done = true;
          });
      FillScreen(r.Form);
      EXPECT_TRUE(WaitFor([&] { return done; }));
      return 0;
    }
    FillScreen(r.Form);
    if (r.Form == CategoryForm) FillAlbumOnScreen();
    else EXPECT_TRUE(WaitOnScreen(r.Form->Widget())) << r.Form->Caption();
    if (r.Form == CategoryForm) {
      Grab("album");
      CategoryForm->Image[1]->Click();
      CategoryForm->BitBtn1->Click();
    } else if (r.Form == ShowCatPhotoForm) {
      Grab("photo");
      ShowCatPhotoForm->SpeedButton1->Click();
    } else {
      r.Form->Close();
    }
    return 0;
  });
  main->RC->SetItemIndex(0);
  main->ShowCatClick(nullptr);
  // The space flight show.
  main->RS->SetItemIndex(1);
  main->ButtonGoToSlide1Click(nullptr);
  SetModalAnswer(nullptr);

  StopCorvelo();
  std::filesystem::current_path(oldCwd);
  QCoreApplication::processEvents();
}

// Runs on a virtual screen of VL_SCREEN's size with a window manager, on the sample disc: the
// main form, an album while its photos load, a photo and the album restored, and the slide show,
// which covers the whole screen every time it opens. Pictures: <out>-main.png, <out>-album.png,
// <out>-photo-restored.png, <out>-album-restored.png, <out>-slide<n>.png.
TEST(ViewerOnScreen, MainFormAlbumWhileLoadingAndSlideShowCoveringTheScreen) {
  const char* out = std::getenv("CORVELO_SCREEN_AT");
  if (!out || QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "runs on a virtual screen only";
  const std::string base = std::string(out).substr(0, std::strlen(out) - 4);
  auto save = [&](const std::string& step) {
    QGuiApplication::primaryScreen()->grabWindow(0).save(QString::fromStdString(base + "-" + step + ".png"), "PNG");
  };
  const std::filesystem::path oldCwd = std::filesystem::current_path();
  SetProgramFolder(std::filesystem::canonical(std::string(VL_TESTDATA) + "/../../corvelo/sample").string());
  TMainForm* main = StartCorvelo();
  main->Show();
  ASSERT_TRUE(WaitOnScreen(main->Widget()));
  save("main");

  // The album, grabbed from within its fill as the fourth photo starts loading.
  int photo = 0;
  std::string loading;
  CategoryForm->Vistrel1->SetOnProgress([&](TObject*, int) {
    if (CurrentImageFile == loading) return;
    loading = CurrentImageFile;
    if (++photo != 4) return;
    save("album");
    // The first three frames are on the screen while the fourth photo loads, as the album
    // itself paints them.
    for (int i = 0; i < 3; ++i) {
      QWidget* f = CategoryForm->PanelBase[i]->Widget();
      const QPoint at = f->mapToGlobal(QPoint(0, 0));
      const QImage shown = QGuiApplication::primaryScreen()
                               ->grabWindow(0, at.x(), at.y(), f->width(), f->height())
                               .toImage()
                               .convertToFormat(QImage::Format_RGB32);
      EXPECT_EQ(shown, f->grab().toImage().convertToFormat(QImage::Format_RGB32)) << "frame " << i + 1;
    }
  });
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  // Restored, a form laid out for the whole screen comes back inside it, title bar included.
  auto restore = [&](TForm* f, const std::string& step) {
    QWidget* w = f->Widget();
    // The window manager's restore comes as a resize: the design size, here never the screen's.
    int resized = 0;
    auto* watch = new TEventWatch(w, QEvent::Resize, [&] { ++resized; });
    f->SetWindowState(wsNormal);
    EXPECT_TRUE(WaitFor([&] { return resized > 0 && !w->isMaximized() && screen.contains(w->frameGeometry()); }))
        << step;
    delete watch;
    EXPECT_TRUE(WaitOnScreen(w)) << step;
    EXPECT_TRUE(screen.contains(w->frameGeometry())) << step << ": " << w->frameGeometry().x() << ","
                                                     << w->frameGeometry().y() << " "
                                                     << w->frameGeometry().width() << " x "
                                                     << w->frameGeometry().height();
    save(step);
  };
  int opened = 0;
  SetModalAnswer([&](TModalRequest& r) {
    if (r.Form == CategoryForm) {
      FillAlbumOnScreen();
      // The focused photo frame shows, the photo view and the album restored lie on the screen.
      CategoryForm->Panel[0]->SetFocus();
      CategoryForm->Image[0]->Click();
      restore(CategoryForm, "album-restored");
      CategoryForm->BitBtn1->Click();
      return 0;
    }
    if (r.Form == ShowCatPhotoForm) {
      EXPECT_TRUE(WaitOnScreen(ShowCatPhotoForm->Widget())) << "the photo";
      restore(ShowCatPhotoForm, "photo-restored");
      ShowCatPhotoForm->SpeedButton1->Click();
      return 0;
    }
    if (r.Form != SlideShowForm) return int(mrCancel);
    // The show runs from the start timer's tick, inside this wait.
    bool done = false;
    WhenOnScreen(SlideShowForm, SlideUp, [&] {
      EXPECT_EQ(SlideShowForm->Widget()->frameGeometry(), screen) << "opening " << opened + 1;
      save("slide" + std::to_string(++opened));
      SlideShowForm->BitBtn1Click(nullptr);
      done = true;
    });
    EXPECT_TRUE(WaitFor([&] { return done; }));
    return 0;
  });
  main->RC->SetItemIndex(0);
  main->ShowCatClick(nullptr);
  EXPECT_GE(photo, 4);
  for (int i = 0; i < 3; ++i) {
    main->RS->SetItemIndex(i % 2);
    main->ButtonGoToSlide1Click(nullptr);
    EXPECT_TRUE(WaitOnScreen(main->Widget())) << "back from show " << i + 1;
  }
  SetModalAnswer(nullptr);
  EXPECT_EQ(opened, 3);

  StopCorvelo();
  std::filesystem::current_path(oldCwd);
  QCoreApplication::processEvents();
}

// The normal run shows the viewer on screens of two sizes; the pictures stay in the build folder.
TEST(Screenshot, ViewerAtTwoScreenSizes) {
  for (const char* size : {"1280x1024", "800x600"}) {
    const std::string out = std::string(VL_BUILD_DIR) + "/corvelo-at-" + size + ".png";
    VLTEST_RUN_ON_SCREEN("CORVELO_SCREEN_AT", out, size, "ViewerOnScreen.*");
  }
}

// The normal run starts the screen run and keeps its pictures in the build folder.
TEST(Screenshot, ViewerUnderXvfb) {
  const std::string script = std::string(VL_TESTDATA) + "/../corvelo/screenshot.sh";
  const std::string out = std::string(VL_BUILD_DIR) + "/corvelo-screenshot.png";
  for (const char* step : {"main", "album", "photo", "slide"})
    std::filesystem::remove(out.substr(0, out.size() - 4) + "-" + step + ".png");
  VLTEST_RUN_SCREEN_SCRIPT("CORVELO_SHOT", script, out);
  for (const char* step : {"main", "album", "photo", "slide"}) {
    const QImage img(QString::fromStdString(out.substr(0, out.size() - 4) + "-" + step + ".png"));
    EXPECT_GE(img.width(), 1024) << step;
  }
}

}  // namespace
