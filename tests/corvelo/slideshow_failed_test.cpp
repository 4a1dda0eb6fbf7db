// Slide shows with slides that fail: the "-" mark goes with the next good slide, and a show
// with nothing on it prints nothing and says so. The show's waits pass at once on a clock of the test's.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "corvelo/slideshowform.h"
#include "corvelo/viewerunit.h"

namespace fs = std::filesystem;
using namespace corvelo;

namespace {

class FailedSlideTest : public ::testing::Test {
 protected:
  fs::path dir;
  TSlideShowForm* form = nullptr;
  uint64_t now = 0;
  int waits = 0, requests = 0;
  std::vector<std::string> told;  // the messages said
  std::function<void()> onWait;  // runs in each slide's wait, the slide on show

  void SetUp() override {
    dir = fs::path(VL_BUILD_DIR) / "slideshow-failed" / ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(dir);
    fs::create_directories(dir);
    SetProgramFolder(dir.string());
    QImage red(60, 40, QImage::Format_RGB32);
    red.fill(qRgb(255, 0, 0));
    ASSERT_TRUE(red.save(QString::fromStdString((dir / "a.bmp").string()), "BMP"));
    std::ofstream(dir / "broken.bmp") << "BM this is no picture";
    Application->OnHint = nullptr;
    form = new TSlideShowForm(nullptr);
    form->TimerStart->SetEnabled(false);  // the test ticks it
    form->TrackBar1->SetPosition(2);
    // A wait's time is up as soon as it asks to be woken.
    form->SetClock({[this] { return now; },
                    [this](uint64_t at) {
                      now = at;
                      ++waits;
                      if (onWait) onWait();
                      QMetaObject::invokeMethod(
                          qApp, [] {}, Qt::QueuedConnection);
                    }});
    SetModalAnswer([this](TModalRequest& r) {
      if (r.Kind == mkMessage) {
        told.push_back(r.Text);
        return int(mrOk);
      }
      if (r.Form != form) {
        ++requests;
        return int(mrCancel);
      }
      form->TimerStart->Timer();
      if (Then) Then();
      return int(mrNone);
    });
  }

  void TearDown() override {
    form->Free();
    SetModalAnswer(nullptr);
    QCoreApplication::processEvents();
  }

  // The "-" mark over the picture.
  TControl* Mark() {
    for (int i = 0; i < form->Panel1->ControlCount(); ++i)
      if (auto* l = dynamic_cast<TLabel*>(form->Panel1->Controls(i)); l && l->Caption() == "-") return l;
    return nullptr;
  }

  std::function<void()> Then;  // after the show's start, the form up
};

TEST_F(FailedSlideTest, AGoodSlideAfterABrokenOneHidesTheMark) {
  form->ListBoxSlide->Items()->Assign({"broken.bmp", "a.bmp"});
  ASSERT_NE(Mark(), nullptr);
  onWait = [this] {
    if (waits == 1) {
      EXPECT_TRUE(Mark()->Visible()) << "the broken slide";
    } else {
      EXPECT_FALSE(form->Image1->Picture()->Bitmap()->Empty());
      EXPECT_FALSE(Mark()->Visible()) << "the good slide";
      form->BitBtn1->Click();
    }
  };
  form->ShowModal();
  EXPECT_EQ(waits, 2);
}

// Print is off while nothing is on show; a show none of whose slides can be read says so once,
// after each slide was tried.
TEST_F(FailedSlideTest, PrintWithNothingOnShowAsksNothing) {
  // A folder where a slide is expected is there, but can't be read.
  fs::create_directory(dir / "folder.bmp");
  form->ListBoxSlide->Items()->Assign({"broken.bmp", "folder.bmp"});
  form->ManualCheckBox->SetChecked(true);
  Then = [this] {
    EXPECT_FALSE(form->PrintBtn->Enabled());
    form->PrintBtn->Click();
    EXPECT_TRUE(told.empty());
    form->SpeedButtonDown->Click();
    EXPECT_NE(form->Caption().find("folder.bmp  can't be read"), std::string::npos) << form->Caption();
    form->PrintBtn->Click();
    form->SpeedButtonDown->Click();
    EXPECT_FALSE(form->PrintBtn->Enabled());
    EXPECT_TRUE(form->Image1->Picture()->Bitmap()->Empty());
    EXPECT_NE(form->Caption().find("broken.bmp"), std::string::npos) << form->Caption();
  };
  form->ShowModal();
  EXPECT_EQ(requests, 0) << "a print dialog opened";
  EXPECT_EQ(told, std::vector<std::string>{"None of the pictures of this slide show can be read."});
}

}  // namespace
