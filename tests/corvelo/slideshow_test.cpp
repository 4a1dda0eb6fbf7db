// The slide show on a clock of the test's own: time passes only while the show sleeps in the
// event loop, and scripted user actions arrive as events at their moments, so a show of many
// seconds runs at once and a wait that spun instead of sleeping would be seen.
#include <gtest/gtest.h>

#include <QAbstractEventDispatcher>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QListWidget>
#include <QPixmap>
#include <QScreen>
#include <QThread>
#include <QWidget>
#include <algorithm>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "components/printsize.h"
#include "components/scaler.h"
#include "corvelo/slideshowform.h"
#include "corvelo/viewerunit.h"
#include "platform/gui/printer.h"

namespace fs = std::filesystem;
using namespace corvelo;

namespace {

// Virtual milliseconds. When the event loop is about to block after the show asked to be
// woken at some moment, time jumps to that moment, or to the next scripted action if that
// comes first (the action is then delivered as an event). A wait that never sleeps never moves
// this clock; after kLeak reads it creeps on its own, so such a wait still ends and fails.
class TFakeClock {
 public:
  static constexpr int kLeak = 100000;
  uint64_t Now = 0;
  int Reads = 0, Sleeps = 0;

  TFakeClock() {
    FConnection = QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                                   [this] { Sleep(); });
  }
  ~TFakeClock() { QObject::disconnect(FConnection); }

  TSlideClock Clock() {
    return {[this] {
              if (++Reads > kLeak) Creep();
              return Now;
            },
            [this](uint64_t At) { FWake = At; }};
  }
  // Runs Action at virtual time At (from inside whatever wait is running then).
  void At(uint64_t At, std::function<void()> Action) { FActions.emplace(At, std::move(Action)); }
  // Runs once when time passes Horizon: a show that should have ended but goes on.
  uint64_t Horizon = 100000;
  std::function<void()> Runaway;
  bool Idle() const { return FActions.empty(); }

 private:
  // Time passing without a sleep: one millisecond a read, with the actions that come due.
  void Creep() {
    ++Now;
    if (!FActions.empty() && FActions.begin()->first <= Now) {
      QMetaObject::invokeMethod(qApp, FActions.begin()->second, Qt::QueuedConnection);
      FActions.erase(FActions.begin());
    }
  }

  void Sleep() {
    if (!FWake) return;
    ++Sleeps;
    const uint64_t wake = *FWake;
    FWake.reset();
    std::function<void()> action = [] {};
    if (!FActions.empty() && FActions.begin()->first < wake) {
      Now = std::max(Now, FActions.begin()->first);
      action = FActions.begin()->second;
      FActions.erase(FActions.begin());
    } else {
      Now = std::max(Now, wake);
    }
    if (Now > Horizon && Runaway) action = std::exchange(Runaway, nullptr);
    QMetaObject::invokeMethod(qApp, action, Qt::QueuedConnection);
  }

  QMetaObject::Connection FConnection;
  std::optional<uint64_t> FWake;
  std::multimap<uint64_t, std::function<void()>> FActions;
};

// A printer that keeps what it is asked to print.
class TRecordingPrinter : public TPrinter {
 public:
  std::vector<TRect> Drawn;
  TBitmap LastPicture;
  void BeginDoc() override { FPrinting = true; }
  void EndDoc() override { FPrinting = false; }
  void Abort() override { FPrinting = false; }
  int PageWidth() override { return 600 * 8; }
  int PageHeight() override { return 600 * 11; }
  int GetDeviceCaps(int Index) override { return Index == LOGPIXELSX || Index == LOGPIXELSY ? 600 : 0; }
  void StretchDraw(const TRect& Dest, TBitmap* Source) override {
    Drawn.push_back(Dest);
    LastPicture.Assign(Source);
  }
  QPrinter* QtPrinter() override { return nullptr; }
};

void WriteSolid(const fs::path& file, int w, int h, QRgb colour) {
  QImage img(w, h, QImage::Format_RGB32);
  img.fill(colour);
  ASSERT_TRUE(img.save(QString::fromStdString(file.string()), "BMP"));
}

class SlideShowTest : public ::testing::Test {
 protected:
  fs::path dir;
  TSlideShowForm* form = nullptr;
  std::optional<TFakeClock> clock;
  std::deque<std::function<int(TModalRequest&)>> answers;

  void SetUp() override {
    dir = fs::path(VL_BUILD_DIR) / "slideshow-test" / ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(dir);
    fs::create_directories(dir);
    SetProgramFolder(dir.string());
    // Three slides told apart by colour: red 60 x 40, green 80 x 40, and a blue one far wider
    // than any screen.
    WriteSolid(dir / "a.bmp", 60, 40, qRgb(255, 0, 0));
    WriteSolid(dir / "b.bmp", 80, 40, qRgb(0, 255, 0));
    WriteSolid(dir / "c.bmp", 3000, 100, qRgb(0, 0, 255));
    std::ofstream(dir / "broken.bmp") << "BM this is no picture";
    SetModalAnswer([this](TModalRequest& r) {
      if (answers.empty()) {
        ADD_FAILURE() << "unexpected modal request " << r.Kind << ": " << r.Caption;
        return int(mrCancel);
      }
      auto a = answers.front();
      answers.pop_front();
      return a(r);
    });
    // The slide show has no hint line; a handler that an earlier test's main form left behind
    // must not hear the hints of this one.
    Application->OnHint = nullptr;
    clock.emplace();
    form = new TSlideShowForm(nullptr);
    form->TimerStart->SetEnabled(false);  // the test ticks it
    // The scaler rescales the form a real moment after the window is maximised, which would
    // move the picture at any point of the show.
    for (int i = 0; i < form->ComponentCount() && !KeepScaler(); ++i)
      if (auto* s = dynamic_cast<TCustomScaler*>(form->Components(i))) {
        s->Free();
        break;
      }
    form->SetClock(clock->Clock());
    clock->Runaway = [this] {
      ADD_FAILURE() << "the show ran on";
      form->StopShow = 1;
    };
  }

  void TearDown() override {
    form->Free();
    clock.reset();
    SetModalAnswer(nullptr);
    QCoreApplication::processEvents();
    EXPECT_TRUE(answers.empty()) << "answers left over";
  }

  virtual bool KeepScaler() { return false; }

  void Lines(std::vector<std::string> lines) { form->ListBoxSlide->Items()->Assign(lines); }

  // Shows the form modally; while it is up the start timer ticks once (the show runs), then
  // Then runs; the form closes when both are done unless the show closed it before.
  TModalResult Play(std::function<void()> Then = nullptr) {
    answers.push_back([this, Then](TModalRequest& r) {
      EXPECT_EQ(r.Form, form);
      form->TimerStart->Timer();
      if (Then) Then();
      return int(mrNone);
    });
    return form->ShowModal();
  }

  // The colour of the slide on show: 'r', 'g', 'b', or '?'.
  char Shown() {
    TBitmap* b = form->Image1->Picture()->Bitmap();
    if (b->Empty()) return '?';
    const uint8_t* p = b->ScanLine(0);
    if (p[2] == 255 && p[1] == 0 && p[0] == 0) return 'r';
    if (p[1] == 255 && p[0] == 0 && p[2] == 0) return 'g';
    if (p[0] == 255 && p[1] == 0 && p[2] == 0) return 'b';
    return '?';
  }

  std::string Path(const std::string& name) { return (dir / name).string(); }
  // The list line the user clicks, as a click on the list does it.
  void ClickLine(int i) { form->ListBoxSlide->List()->setCurrentRow(i); }
};

TEST_F(SlideShowTest, TimedShowPlaysInTurnAndARestartNeitherSkipsNorRepeats) {
  Lines({"a.bmp", "b.bmp", "c.bmp"});
  form->TrackBar1->SetPosition(2);
  std::string seen;
  std::vector<std::string> captions;
  auto look = [&] {
    seen += Shown();
    captions.push_back(form->Caption());
  };
  // Slides change at 0, 2000, 4000, ...; the test looks half way through each.
  for (uint64_t t : {1000, 3000, 5000, 7000, 9000}) clock->At(t, look);
  // At 9500, showing b (line 1), the user picks line 2 in the list: a new loop starts there.
  clock->At(9500, [&] { ClickLine(2); });
  for (uint64_t t : {10500, 12500}) clock->At(t, look);
  // Manual at 13000: the loop ends after the wait of its slide, at 13500.
  clock->At(13000, [&] { form->ManualCheckBox->SetChecked(true); });
  Play();

  EXPECT_EQ(seen, "rgbrgbr");
  ASSERT_EQ(captions.size(), 7u);
  EXPECT_EQ(captions[0], "   " + Path("a.bmp") + "  60 x 40      ");
  EXPECT_EQ(captions[1], "   " + Path("b.bmp") + "  80 x 40      ");
  EXPECT_EQ(captions[2], "   " + Path("c.bmp") + "  3000 x 100     Image scaled to fit screen area");
  EXPECT_EQ(clock->Now, 13500u);
  EXPECT_TRUE(clock->Idle());
  // The loop that was waiting under the restarted one ended without moving on: the show
  // resumes after the last slide shown (a, line 0), not one further.
  EXPECT_EQ(form->SlideIndex, 1);
  EXPECT_TRUE(form->SpeedButtonDown->Enabled() && form->PrintBtn->Enabled());

  // Every wait slept in the event loop: a handful of clock reads for the seven slide waits
  // and the nine actions, where a spinning wait reads the clock without end.
  EXPECT_LE(clock->Reads, 100);
  EXPECT_GE(clock->Sleeps, 6 + 9);
}

TEST_F(SlideShowTest, ClosingInAnyWayEndsTheShowAtOnce) {
  Lines({"a.bmp", "b.bmp", "c.bmp"});
  form->TrackBar1->SetPosition(15);
  // The window's close box one second into a 15 s slide; the closed show keeps no picture.
  char closedOn = 0;
  clock->At(1000, [&] {
    closedOn = Shown();
    QCloseEvent e;
    QCoreApplication::sendEvent(form->Widget(), &e);
  });
  EXPECT_EQ(Play(), mrCancel);
  EXPECT_EQ(clock->Now, 1000u);
  EXPECT_EQ(form->StopShow, 1);
  EXPECT_FALSE(form->Visible());
  EXPECT_EQ(closedOn, 'r');
  EXPECT_EQ(Shown(), '?');

  // Shown again, the show starts over at line 0; the close button half a second in.
  clock->At(1500, [&] {
    closedOn = Shown();
    form->BitBtn1->Click();
  });
  EXPECT_EQ(Play(), mrCancel);
  EXPECT_EQ(clock->Now, 1500u);
  EXPECT_EQ(closedOn, 'r');
}

TEST_F(SlideShowTest, AMissingOrBrokenSlideKeepsThePictureAndItsTime) {
  Lines({"a.bmp", "missing.bmp", "broken.bmp", "notes.txt"});
  form->TrackBar1->SetPosition(2);
  TRect place;
  std::string caption;
  clock->At(1000, [&] {
    EXPECT_EQ(Shown(), 'r');
    place = form->Image1->ClientRect();
    place = Rect(form->Panel1->Left(), form->Panel1->Top(), form->Panel1->Left() + place.Right,
                 form->Panel1->Top() + place.Bottom);
    caption = form->Caption();
  });
  // The missing file: nothing changes, and its two seconds are kept.
  clock->At(3000, [&] {
    EXPECT_EQ(form->SlideIndex, 1);
    EXPECT_EQ(Shown(), 'r');
    EXPECT_EQ(form->Panel1->Caption(), " ");
    EXPECT_EQ(form->Caption(), caption);
  });
  // The file that can't be decoded: marked "-", the panel fills the frame, the old picture
  // stays where it was at the size it had.
  clock->At(5000, [&] {
    EXPECT_EQ(form->SlideIndex, 2);
    EXPECT_EQ(Shown(), 'r');
    EXPECT_EQ(form->Panel1->Caption(), "-");
    EXPECT_EQ(form->Panel1->BoundsRect(), form->PanelBase->ClientRect());
    const TRect now = form->Image1->BoundsRect();
    EXPECT_EQ(now, place);
  });
  // A refused extension is passed over like a missing file.
  clock->At(7000, [&] {
    EXPECT_EQ(form->SlideIndex, 3);
    EXPECT_EQ(Shown(), 'r');
  });
  clock->At(7500, [&] { form->BitBtn1->Click(); });
  Play();
  EXPECT_TRUE(clock->Idle());
}

// Where the picture lies on the form as drawn: the box of its red and blue pixels; and how many
// black pixels (the "-" mark) lie around the frame's middle.
struct TSeen {
  QRect Picture;
  int Mark = 0;
};
TSeen Look(TSlideShowForm* f) {
  const QImage shot = f->Widget()->grab().toImage();
  TSeen s;
  for (int y = 0; y < shot.height(); ++y)
    for (int x = 0; x < shot.width(); ++x) {
      const QRgb p = shot.pixel(x, y);
      if ((qRed(p) > 200 || qBlue(p) > 200) && qGreen(p) < 60) s.Picture |= QRect(x, y, 1, 1);
    }
  const QPoint mid = f->PanelBase->Widget()->mapTo(f->Widget(), f->PanelBase->Widget()->rect().center());
  for (int y = mid.y() - 20; y <= mid.y() + 20; ++y)
    for (int x = mid.x() - 20; x <= mid.x() + 20; ++x) {
      const QRgb p = shot.pixel(x, y);
      s.Mark += qRed(p) < 60 && qGreen(p) < 60 && qBlue(p) < 60;
    }
  return s;
}

// A slide that can't be decoded, once or twice in a row, leaves the picture before it where
// and as large as it was on the screen, with the "-" mark over it.
TEST_F(SlideShowTest, AFailedSlideKeepsThePicturesPlaceAndSizeAndShowsTheMark) {
  QImage halves(1200, 800, QImage::Format_RGB32);
  for (int y = 0; y < 800; ++y)
    for (int x = 0; x < 1200; ++x) halves.setPixel(x, y, x < 600 ? 0xFF0000 : 0x0000FF);
  ASSERT_TRUE(halves.save(QString::fromStdString(Path("big.bmp")), "BMP"));
  Lines({"big.bmp", "broken.bmp", "broken.bmp"});
  form->TrackBar1->SetPosition(2);
  std::vector<TSeen> seen;
  for (uint64_t t : {1000, 3000, 5000}) clock->At(t, [&] { seen.push_back(Look(form)); });
  clock->At(5500, [&] { form->BitBtn1->Click(); });
  Play();
  ASSERT_EQ(seen.size(), 3u);
  // Scaled to the frame: wider than 1000 pixels.
  EXPECT_GT(seen[0].Picture.width(), 700);
  EXPECT_EQ(seen[0].Mark, 0);
  for (size_t i : {1u, 2u}) {
    EXPECT_EQ(seen[i].Picture, seen[0].Picture) << "failure " << i;
    EXPECT_GT(seen[i].Mark, 10) << "failure " << i;
  }
  EXPECT_EQ(form->Panel1->Caption(), "-");
}

// A show starts on an empty picture: a show whose slides are all missing shows nothing of the
// show before, neither its picture nor its path, and says once that it has nothing to show.
TEST_F(SlideShowTest, AShowOfMissingSlidesStartsEmpty) {
  Lines({"a.bmp"});
  clock->At(1000, [&] {
    EXPECT_EQ(Shown(), 'r');
    form->BitBtn1->Click();
  });
  Play();
  Lines({"gone1.bmp", "gone2.jpg"});
  form->TrackBar1->SetPosition(2);
  int told = 0;
  clock->At(clock->Now + 7000, [&] {
    EXPECT_EQ(form->SlideIndex, 1);
    EXPECT_EQ(Shown(), '?');
    EXPECT_EQ(form->Caption().find("a.bmp"), std::string::npos) << form->Caption();
    EXPECT_TRUE(Look(form).Picture.isEmpty());
    form->BitBtn1->Click();
  });
  answers.push_back([&](TModalRequest&) {
    answers.push_back([&](TModalRequest& m) {
      EXPECT_EQ(m.Text, "None of the pictures of this slide show can be read.");
      ++told;
      return int(mrOk);
    });
    form->TimerStart->Timer();
    return int(mrNone);
  });
  form->ShowModal();
  EXPECT_EQ(told, 1);
}

// A show without slides says so once; Previous, Next and Print are then disabled and do nothing.
TEST_F(SlideShowTest, AnEmptyShowSaysSoOnceAndTheButtonsDoNothing) {
  Lines({});
  int told = 0;
  answers.push_back([&](TModalRequest& r) {
    EXPECT_EQ(r.Form, form);
    answers.push_back([&](TModalRequest& m) {
      EXPECT_EQ(m.Text, "This slide show has no pictures.");
      ++told;
      return int(mrOk);
    });
    form->TimerStart->Timer();
    form->TimerStart->Timer();
    form->ManualCheckBox->SetChecked(true);
    EXPECT_FALSE(form->SpeedButtonDown->Enabled() || form->SpeedButtonUp->Enabled() || form->PrintBtn->Enabled());
    // Anything these asked for would be an unexpected request.
    form->SpeedButtonDown->Click();
    form->SpeedButtonUp->Click();
    form->PrintBtn->Click();
    form->ManualCheckBox->SetChecked(false);
    EXPECT_EQ(Shown(), '?');
    return int(mrCancel);
  });
  form->ShowModal();
  EXPECT_EQ(told, 1);
}

class ManualSlideShowTest : public SlideShowTest {
 protected:
  TRecordingPrinter printer;
  TPrinter* before = nullptr;
  void SetUp() override {
    SlideShowTest::SetUp();
    before = SetPrinter(&printer);
    OKBottomDlg = new TOKBottomDlg(nullptr);
    Lines({"a.bmp", "b.bmp", "c.bmp"});
    form->ManualCheckBox->SetChecked(true);
  }
  void TearDown() override {
    OKBottomDlg->Free();
    OKBottomDlg = nullptr;
    SetPrinter(before);
    SlideShowTest::TearDown();
  }
};

TEST_F(ManualSlideShowTest, PreviousAndNextGoRound) {
  std::string seen;
  Play([&] {
    seen += Shown();
    form->SpeedButtonUp->Click();
    seen += Shown();
    EXPECT_EQ(form->ListBoxSlide->ItemIndex(), 2);
    form->SpeedButtonDown->Click();
    seen += Shown();
    EXPECT_EQ(form->ListBoxSlide->ItemIndex(), 0);
    form->SpeedButtonDown->Click();
    seen += Shown();
    EXPECT_TRUE(form->SpeedButtonUp->Enabled() && form->SpeedButtonDown->Enabled());
    // Enter on Next steps once per Enter, the focus staying on the button.
    form->SpeedButtonDown->SetFocus();
    for (int i = 0; i < 2; ++i) {
      QWidget* focused = form->Widget()->focusWidget();
      ASSERT_EQ(focused, form->SpeedButtonDown->Widget());
      for (QEvent::Type t : {QEvent::KeyPress, QEvent::KeyRelease}) {
        QKeyEvent key(t, Qt::Key_Return, Qt::NoModifier, "\r");
        QCoreApplication::sendEvent(focused, &key);
      }
      seen += Shown();
    }
    EXPECT_EQ(form->Widget()->focusWidget(), form->SpeedButtonDown->Widget());
  });
  EXPECT_EQ(seen, "rbrgbr");
  // Nothing in manual mode waited.
  EXPECT_EQ(clock->Now, 0u);
}

TEST_F(ManualSlideShowTest, PrintingKeepsTheSlideAndPrintsAPostCard) {
  Lines({"a.bmp", "b.bmp", "c.bmp", "gone.bmp"});
  Play([&] {
    form->SpeedButtonDown->Click();
    ASSERT_EQ(Shown(), 'g');
    answers.push_back([](TModalRequest& r) {
      EXPECT_EQ(r.Kind, mkPrint);
      EXPECT_EQ(r.HelpContext, 360);
      return int(mrOk);
    });
    answers.push_back([](TModalRequest& r) {
      auto* d = dynamic_cast<TOKBottomDlg*>(r.Form);
      EXPECT_NE(d, nullptr);
      if (!d) return int(mrCancel);
      EXPECT_EQ(d->HelpContext(), 360);
      d->RadioButton2->SetChecked(true);  // "Post card"
      return int(mrOk);
    });
    form->PrintBtn->Click();
    // The dialogs gave the form back its activation, and the start timer ticks on.
    form->TimerStart->Timer();
    EXPECT_EQ(Shown(), 'g');
    EXPECT_EQ(form->SlideIndex, 1);
    form->SpeedButtonDown->Click();
    EXPECT_EQ(Shown(), 'b');
    // A missing file stepped onto is a failed slide of its own: marked, named, nothing of the
    // slide before to see or to print.
    form->SpeedButtonDown->Click();
    EXPECT_EQ(Shown(), '?');
    EXPECT_EQ(form->Panel1->Caption(), "-");
    EXPECT_NE(form->Caption().find(Path("gone.bmp")), std::string::npos) << form->Caption();
    EXPECT_FALSE(form->PrintBtn->Enabled());
    form->PrintBtn->Click();
    form->SpeedButtonDown->Click();
    EXPECT_EQ(Shown(), 'r');
    EXPECT_TRUE(form->PrintBtn->Enabled());
  });
  // 80 x 40 on a post card: 6 inches wide, 3 high, at 600 dpi an eighth of an inch in.
  ASSERT_EQ(printer.Drawn.size(), 1u);
  EXPECT_EQ(printer.Drawn[0], Rect(75, 75, 75 + 3600, 75 + 1800));
  EXPECT_EQ(printer.LastPicture.Width(), 80);
  EXPECT_EQ(printer.LastPicture.ScanLine(0)[1], 255);
}

}  // namespace
