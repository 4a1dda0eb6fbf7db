// The viewer on a real (virtual) screen with a window manager, driven by the X server's own
// pointer and keys: a large album left while it loads, views minimised through the window
// manager, Escape out of every view, and a second right click after the print dialog.
// Grabs go beside <out> as corvelo-leaving-<size>-<step>.png.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QMenuBar>
#include <QPixmap>
#include <QRandomGenerator>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <set>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "components/printsize.h"
#include "corvelo/categoryform.h"
#include "corvelo/library/vistrel.h"
#include "corvelo/mainform.h"
#include "corvelo/photoform.h"
#include "corvelo/program.h"
#include "corvelo/slideshowform.h"
#include "support/memcap.h"
#include "support/pump.h"
#include "support/xinput.h"
#include "support/xvfb.h"

namespace fs = std::filesystem;
using namespace corvelo;

namespace {

using vltest::TXInput;

QPoint Centre(TControl* c) {
  QWidget* w = c->Widget();
  return w->mapToGlobal(w->rect().center());
}

bool Focused(TForm* f) { return f->Visible() && QGuiApplication::focusWindow() == f->Widget()->windowHandle(); }

// Runs Then from the event loop as soon as Ready holds (or after TimeoutMs), so a step may
// open a modal view of its own while the next ones still come.
void When(std::function<bool()> Ready, std::function<void()> Then, int TimeoutMs = 60000) {
  auto* t = new QTimer();
  auto* clock = new QElapsedTimer();
  clock->start();
  QObject::connect(t, &QTimer::timeout, [=] {
    if (!Ready() && clock->elapsed() < TimeoutMs) return;
    t->stop();
    t->deleteLater();
    delete clock;
    QTimer::singleShot(0, Then);
  });
  t->start(50);
}
void After(int ms, std::function<void()> Then) { QTimer::singleShot(ms, Then); }

class XvfbLeaving : public ::testing::Test {
 protected:
  fs::path dir, oldCwd;
  std::string base;
  TXInput x;
  TMainForm* main = nullptr;
  int prints = 0;
  std::vector<std::string> messages;
  // Forms whose modal run had to be ended by the test.
  std::vector<std::string> stuck;

  void SetUp() override {
    const char* out = std::getenv("CORVELO_LEAVING_SHOT");
    if (!out || QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "runs on the virtual screen only";
    if (!x.Available()) GTEST_SKIP() << "no XTEST";
    const std::string size = std::getenv("VL_SCREEN");
    base = std::string(out).substr(0, std::string(out).size() - 4) + "-" + size;
    oldCwd = fs::current_path();
    dir = fs::path(VL_BUILD_DIR) / ("viewer-leaving-" + size) /
          ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(dir);
    fs::create_directories(dir);
    SetProgramFolder(dir.string());
    // A modal view runs until it is closed, as the program's own modal loop runs it.
    SetModalAnswer([this](TModalRequest& r) {
      if (r.Kind == mkPrint) return ++prints, int(mrCancel);
      if (r.Kind == mkMessage) return messages.push_back(r.Text), int(mrOk);
      if (r.Kind != mkForm) return int(mrCancel);
      QElapsedTimer t;
      t.start();
      while (r.Form->ModalResult() == mrNone && r.Form->Visible() && t.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
      if (r.Form->ModalResult() == mrNone && r.Form->Visible()) stuck.push_back(r.Form->Caption());
      return int(mrCancel);
    });
  }

  void TearDown() override {
    if (!main) return;
    StopCorvelo();
    SetModalAnswer(nullptr);
    QCoreApplication::processEvents();
    fs::current_path(oldCwd);
    fs::remove_all(dir);
  }

  void Grab(const std::string& step) {
    QGuiApplication::primaryScreen()->grabWindow(0).save(QString::fromStdString(base + "-" + step + ".png"), "PNG");
  }

  // Three photos, an album of them and a show of them; the program started on it.
  void StartSmall() {
    for (int i = 0; i < 3; ++i) {
      QImage img(400, 300, QImage::Format_RGB32);
      img.fill(QColor::fromHsv(i * 100, 200, 220));
      ASSERT_TRUE(img.save(QString::fromStdString((dir / ("p" + std::to_string(i) + ".bmp")).string()), "BMP"));
    }
    std::ofstream(dir / "Category.lst") << "Three\n";
    std::ofstream(dir / "RC0.lst") << "p0.bmp\nThe first\np1.bmp\nThe second\np2.bmp\nThe third\n";
    std::ofstream(dir / "Slide.lst") << "Three\n";
    std::ofstream(dir / "RS0.lst") << "p0.bmp\np1.bmp\np2.bmp\n";
    Start();
  }
  void Start() {
    main = StartCorvelo();
    main->Show();
    EXPECT_TRUE(vltest::WaitFor([&] { return Focused(main); }));
    EXPECT_TRUE(vltest::WaitOnScreen(main->Widget()));
  }
  bool AlbumReady() { return CategoryForm->Visible() && !CategoryForm->Loading() && Focused(CategoryForm); }
  bool ShowReady() { return SlideShowForm->ShowState == 4 && Focused(SlideShowForm); }
};

// Fifteen photos of 8000 x 6000: the album closed by its Close button, then by the window
// manager's close, while its second photo is read, begins no photo after the one being read,
// and its memory goes back.
TEST_F(XvfbLeaving, ALargeAlbumClosesWithinOnePhotoAndGivesItsMemoryBack) {
  const fs::path noise = fs::path(VL_BUILD_DIR) / "corvelo-noise-8000x6000.jpg";
  if (!fs::exists(noise)) {
    QImage img(8000, 6000, QImage::Format_RGB32);
    QRandomGenerator rng(5);
    for (int y = 0; y < img.height(); ++y) {
      auto* row = reinterpret_cast<quint32*>(img.scanLine(y));
      for (int i = 0; i < img.width(); ++i) row[i] = 0xFF000000u | (rng.generate() & 0xFFFFFFu);
    }
    ASSERT_TRUE(img.save(QString::fromStdString(noise.string()), "JPEG", 75));
  }
  std::ofstream list(dir / "RC0.lst");
  for (int i = 0; i < kThumbCount; ++i) {
    fs::create_symlink(noise, dir / ("p" + std::to_string(i) + ".jpg"));
    list << "p" << i << ".jpg\nPhoto " << i + 1 << "\n";
  }
  list.close();
  std::ofstream(dir / "Category.lst") << "Large\n";
  Start();

  for (const char* way : {"button", "close box"}) {
    SCOPED_TRACE(way);
    const int64_t before = vltest::HeldKB();
    std::vector<std::string> read;
    bool asked = false;
    int begunAfter = 0;
    CategoryForm->Vistrel1->SetOnProgress([&](TObject*, int) {
      if (!read.empty() && read.back() == CurrentImageFile) return;
      read.push_back(CurrentImageFile);
      if (asked) ++begunAfter;
      if (read.size() != 2) return;
      // The user leaves as the second photo is begun.
      asked = true;
      if (way[0] == 'b') x.Click(Centre(CategoryForm->BitBtn1).x(), Centre(CategoryForm->BitBtn1).y());
      else x.CloseWindow(CategoryForm->Widget()->winId());
    });
    // The fill starts once the window manager has put the album in its place.
    CategoryForm->Timer1->SetEnabled(false);
    When([] { return Focused(CategoryForm) && CategoryForm->Widget()->isMaximized(); },
         [] {
           vltest::WhenOnScreen([] { return CategoryForm->Widget(); }, [](QWidget*) { CategoryForm->Timer1->Timer(); });
         });
    main->RC->SetItemIndex(0);
    main->ShowCatClick(nullptr);
    CategoryForm->Vistrel1->SetOnProgress(nullptr);
    EXPECT_TRUE(vltest::WaitOnScreen(main->Widget()));
    Grab(std::string("album-closed-by-") + (way[0] == 'b' ? "button" : "closebox"));
    const int64_t after = vltest::HeldKB();
    std::printf("%s: %zu photos begun, %d after the request; held %lld MB before, %lld MB after\n", way, read.size(),
                begunAfter, (long long)before / 1024, (long long)after / 1024);
    EXPECT_TRUE(stuck.empty());
    stuck.clear();
    ASSERT_TRUE(asked);
    EXPECT_LE(begunAfter, 1);
    EXPECT_FALSE(CategoryForm->Visible());
    EXPECT_LT(after - before, 16 * 1024);
  }
}

// The album and the slide show minimised through the window manager: either they can't be, or
// the main window answers (its menu opens).
TEST_F(XvfbLeaving, AModalViewMinimisedLeavesNoDeadMainWindow) {
  StartSmall();
  for (TForm* view : std::initializer_list<TForm*>{CategoryForm, SlideShowForm}) {
    SCOPED_TRACE(view->Caption());
    bool minimised = false, menuOpened = false, asked = false;
    When([&] { return view == CategoryForm ? AlbumReady() : ShowReady(); },
         [&] {
           asked = true;
           minimised = vltest::Minimise(x, view->Widget()) == vltest::TMinimised::Stayed;
           Grab(std::string("minimised-") + (view == CategoryForm ? "album" : "show"));
           if (minimised) {
             // The main window's File menu, clicked where the user sees it.
             QMenuBar* bar = main->MainMenu1->MenuBar();
             const QPoint at = bar->mapToGlobal(bar->actionGeometry(main->File1->Action()).center());
             x.Click(at.x(), at.y());
             menuOpened = vltest::WaitFor([] { return QApplication::activePopupWidget() != nullptr; });
             if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
           }
           if (view == CategoryForm) CategoryForm->BitBtn1->Click();
           else SlideShowForm->BitBtn1Click(nullptr);
         });
    if (view == CategoryForm) main->ShowCatClick(nullptr);
    else main->ButtonGoToSlide1Click(nullptr);
    EXPECT_TRUE(asked);
    EXPECT_TRUE(!minimised || menuOpened) << "minimised: " << minimised << ", menu opened: " << menuOpened;
    EXPECT_TRUE(stuck.empty());
    EXPECT_TRUE(vltest::WaitFor([&] { return Focused(main); }));
  }
}

// A message box minimised through the window manager comes straight back.
TEST_F(XvfbLeaving, AMessageBoxCantBeMinimised) {
  StartSmall();
  SetModalAnswer(nullptr);
  bool minimised = true, asked = false;
  When([] { return QApplication::activeModalWidget() && QApplication::activeModalWidget()->isActiveWindow(); },
       [&] {
         QWidget* box = QApplication::activeModalWidget();
         asked = box != nullptr;
         if (!box) return;
         minimised = vltest::Minimise(x, box) == vltest::TMinimised::Stayed;
         Grab("message-box");
         box->close();
       });
  main->HelpMainCatClick(nullptr);
  EXPECT_TRUE(asked);
  EXPECT_FALSE(minimised);
}

// Escape closes the photo view, then the album, and the slide show; in the album and the show,
// Tab reaches every button the mouse can press.
TEST_F(XvfbLeaving, EscapeClosesTheAlbumThePhotoViewAndTheShow) {
  StartSmall();
  bool photoShown = false, photoClosed = false;
  std::set<TButton*> albumReached;
  When([&] { return AlbumReady(); },
       [&] { x.Click(Centre(CategoryForm->Image[0]).x(), Centre(CategoryForm->Image[0]).y()); });
  When([&] { return Focused(ShowCatPhotoForm); },
       [&] {
         photoShown = true;
         Grab("photo");
         x.Key(TXInput::kEscape);
         When([&] { return !ShowCatPhotoForm->Visible(); },
              [&] {
                photoClosed = !ShowCatPhotoForm->Visible();
                // Back in the album, the focus on the frame that was clicked: Tab goes on to
                // the buttons.
                When([&] { return Focused(CategoryForm); },
                     [&] {
                       for (int i = 0; i < 4; ++i) {
                         vltest::KeyMovingFocus(x, TXInput::kTab);
                         for (TButton* b : {CategoryForm->SpeedButton1, CategoryForm->BitBtn1})
                           if (b->Focused()) albumReached.insert(b);
                       }
                       x.Key(TXInput::kEscape);
                     });
              });
       });
  main->ShowCatClick(nullptr);
  EXPECT_TRUE(photoShown);
  EXPECT_TRUE(photoClosed);
  EXPECT_FALSE(CategoryForm->Visible());
  EXPECT_EQ(albumReached.size(), 2u) << "Tab in the album reached " << albumReached.size() << " of its 2 buttons";
  EXPECT_TRUE(stuck.empty());
  stuck.clear();

  // The show, by hand: Tab goes round every button that can be pressed, then Escape.
  SlideShowForm->ManualCheckBox->SetChecked(true);
  SlideShowForm->ManualCheckBoxClick(nullptr);
  std::vector<TControl*> reached;
  When([&] { return ShowReady(); },
       [&] {
         Grab("show");
         for (int left = 12;; --left) {
           for (int i = 0; i < SlideShowForm->ComponentCount(); ++i)
             if (auto* c = dynamic_cast<TWinControl*>(SlideShowForm->Components(i)); c && c->Focused())
               reached.push_back(c);
           if (left == 0) return x.Key(TXInput::kEscape);
           vltest::KeyMovingFocus(x, TXInput::kTab);
         }
       });
  main->ButtonGoToSlide1Click(nullptr);
  EXPECT_FALSE(SlideShowForm->Visible());
  EXPECT_TRUE(stuck.empty());
  for (TButton* b : {SlideShowForm->HelpSlideShow, SlideShowForm->BitBtnList, SlideShowForm->PrintBtn,
                     SlideShowForm->SpeedButtonUp, SlideShowForm->SpeedButtonDown, SlideShowForm->BitBtn1})
    EXPECT_NE(std::find(reached.begin(), reached.end(), b), reached.end())
        << "\"" << b->Caption() << "\" never reached by Tab";
  SlideShowForm->ManualCheckBox->SetChecked(false);
}

// Tab reaches the album's photos too; Enter on one opens it.
TEST_F(XvfbLeaving, TabReachesThePhotosAndEnterOpensOne) {
  StartSmall();
  TPanel* reached = nullptr;
  bool opened = false;
  When([&] { return AlbumReady(); },
       [&] {
         for (int i = 0; i < 6 && !CategoryForm->Panel[2]->Focused(); ++i) vltest::KeyMovingFocus(x, TXInput::kTab);
         if (CategoryForm->Panel[2]->Focused()) reached = CategoryForm->Panel[2];
         Grab("photo-focused");
         x.Key(TXInput::kReturn);
         When([&] { return Focused(ShowCatPhotoForm); },
              [&] {
                opened = ShowCatPhotoForm->PanelPhotoDescribe->Caption() == "The third";
                x.Key(TXInput::kEscape);
                When([&] { return Focused(CategoryForm); }, [&] { x.Key(TXInput::kEscape); });
              });
       });
  main->ShowCatClick(nullptr);
  EXPECT_EQ(reached, CategoryForm->Panel[2]);
  EXPECT_TRUE(opened);
  EXPECT_TRUE(stuck.empty());
}

// A right click on the photo opens the print dialog; cancelled, the next right click opens it
// again and a left click after that returns to the album.
TEST_F(XvfbLeaving, ARightClickAfterThePrintDialogOpensItAgain) {
  StartSmall();
  bool photoClosed = false;
  When([&] { return AlbumReady(); },
       [&] { x.Click(Centre(CategoryForm->Image[1]).x(), Centre(CategoryForm->Image[1]).y()); });
  When([&] { return Focused(ShowCatPhotoForm); },
       [&] {
         const QPoint at = Centre(ShowCatPhotoForm->Image1);
         x.Click(at.x(), at.y(), 3);
         When([&] { return prints == 1; },
              [&, at] {
                After(300, [&, at] {
                  x.Click(at.x(), at.y(), 3);
                  When([&] { return prints == 2; },
                       [&, at] {
                         Grab("after-print");
                         x.Click(at.x(), at.y());
                         When([&] { return !ShowCatPhotoForm->Visible(); },
                              [&] {
                                photoClosed = !ShowCatPhotoForm->Visible();
                                if (!photoClosed) ShowCatPhotoForm->SpeedButton1->Click();
                                CategoryForm->BitBtn1->Click();
                              });
                       });
                });
              });
       });
  main->ShowCatClick(nullptr);
  EXPECT_EQ(prints, 2);
  EXPECT_TRUE(photoClosed);
  EXPECT_TRUE(stuck.empty());
}

TEST(Screens, ViewerLeavingAt1280x1024And800x600) {
  for (const char* size : {"1280x1024", "800x600"}) {
    const std::string out = std::string(VL_BUILD_DIR) + "/corvelo-leaving.png";
    VLTEST_RUN_ON_SCREEN("CORVELO_LEAVING_SHOT", out, size, "XvfbLeaving.*");
  }
}

}  // namespace
