// The viewer as a new user meets it, off screen: an album left while it loads, an album with
// nothing to show, a photo of a few pixels, "&" in the disc's lists, a closed slide show.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFontMetrics>
#include <QImage>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QtTest/QTest>
#include <QWidget>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "components/printsize.h"
#include "corvelo/categoryform.h"
#include "corvelo/mainform.h"
#include "corvelo/photoform.h"
#include "corvelo/program.h"
#include "corvelo/slideshowform.h"
#include "corvelo/viewerunit.h"
#include "corvelo/library/vistrel.h"
#include "platform/gui/qtwidget.h"
#include "support/memcap.h"

namespace fs = std::filesystem;
using namespace corvelo;

namespace {

void WriteNoise(const fs::path& file, int w, int h) {
  QImage noise(w, h, QImage::Format_RGB32);
  QRandomGenerator rng(11);
  for (int y = 0; y < h; ++y) {
    auto* row = reinterpret_cast<quint32*>(noise.scanLine(y));
    for (int x = 0; x < w; ++x) row[x] = 0xFF000000u | (rng.generate() & 0xFFFFFFu);
  }
  ASSERT_TRUE(noise.save(QString::fromStdString(file.string()), "JPEG", 80));
}

// What a caption shows of its text: "&&" is one "&", a single "&" marks the next letter.
std::string Shown(const std::string& caption) {
  std::string s;
  for (size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] != '&') s += caption[i];
    else if (i + 1 < caption.size() && caption[i + 1] == '&') s += '&', ++i;
  }
  return s;
}

class ViewerFaults : public ::testing::Test {
 protected:
  fs::path dir, oldCwd;
  std::deque<std::function<int(TModalRequest&)>> answers;
  std::vector<std::string> messages;

  void SetUp() override {
    oldCwd = fs::current_path();
    dir = fs::path(VL_BUILD_DIR) / "viewer-faults" / ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(dir);
    fs::create_directories(dir);
    SetProgramFolder(dir.string());
    SetModalAnswer([this](TModalRequest& r) {
      if (r.Kind == mkMessage) {
        messages.push_back(r.Text);
        return int(mrOk);
      }
      if (answers.empty()) {
        ADD_FAILURE() << "unexpected modal request " << r.Kind << ": " << r.Caption;
        return int(mrCancel);
      }
      auto a = answers.front();
      answers.pop_front();
      return a(r);
    });
  }

  void TearDown() override {
    StopCorvelo();
    SetModalAnswer(nullptr);
    CatListLines()->Clear();
    ThumbsPending = 0;
    QCoreApplication::processEvents();
    fs::current_path(oldCwd);
    fs::remove_all(dir);
    EXPECT_TRUE(answers.empty()) << "answers left over";
  }

  void Write(const std::string& name, const std::string& text) { std::ofstream(dir / name, std::ios::binary) << text; }

  // The program on this folder; the album chosen opens, Check looks at it after its fill.
  TMainForm* Start() {
    TMainForm* main = StartCorvelo();
    CategoryForm->SetWindowState(wsNormal);
    return main;
  }
  void OpenAlbum(TMainForm* main, int album, const std::function<void(TCategoryForm*)>& Check) {
    answers.push_back([Check](TModalRequest& r) {
      EXPECT_EQ(r.Form, CategoryForm);
      CategoryForm->Timer1->Timer();
      if (Check) Check(CategoryForm);
      CategoryForm->BitBtn1->Click();
      return 0;
    });
    main->RC->SetItemIndex(album);
    main->ShowCatClick(nullptr);
  }
};

// Closed while its second photo is being read, the album reads no further photo, keeps none
// of those it read, and the memory they took goes back.
TEST_F(ViewerFaults, AnAlbumClosedWhileItsSecondPhotoLoadsLoadsNoMoreAndKeepsNone) {
  WriteNoise(dir / "p0.jpg", 2400, 1800);
  std::string list;
  for (int i = 0; i < kThumbCount; ++i) {
    if (i > 0) fs::create_hard_link(dir / "p0.jpg", dir / ("p" + std::to_string(i) + ".jpg"));
    list += "p" + std::to_string(i) + ".jpg\nPhoto " + std::to_string(i + 1) + "\n";
  }
  Write("RC0.lst", list);
  Write("Category.lst", "Large\n");
  TMainForm* main = Start();
  const int64_t before = vltest::HeldKB();
  std::vector<std::string> read;
  CategoryForm->Vistrel1->SetOnProgress([&](TObject*, int) {
    if (!read.empty() && read.back() == CurrentImageFile) return;
    read.push_back(CurrentImageFile);
    if (read.size() == 2) CategoryForm->BitBtn1->Click();
  });
  answers.push_back([](TModalRequest&) {
    CategoryForm->Timer1->Timer();
    return 0;
  });
  main->ShowCatClick(nullptr);
  EXPECT_EQ(read.size(), 2u);
  EXPECT_FALSE(CategoryForm->Visible());
  for (int i = 0; i < kThumbCount; ++i) {
    EXPECT_EQ(ThumbFilled[i], 0) << "frame " << i + 1;
    EXPECT_TRUE(CategoryForm->Image[i]->Picture()->Bitmap()->Empty()) << "frame " << i + 1;
  }
  const int64_t after = vltest::HeldKB();
  std::printf("held: %lld KB before, %lld KB after\n", (long long)before, (long long)after);
  EXPECT_LT(after - before, 8 * 1024);
  // Nothing of the fill is left to go on when the album opens again.
  EXPECT_EQ(ThumbsPending, 0);
}

// An album list that is empty or missing says once that the album has no photos, one that names
// no photo that loads that none can be read, on its hint line and in a message.
TEST_F(ViewerFaults, AnAlbumWithNoPhotosSaysSoOnce) {
  Write("Category.lst", "Empty\nMissing\nNo photo\n");
  Write("RC0.lst", "");
  Write("RC2.lst", "gone.jpg\nA photo that is not there\nnotes.txt\nNot a photo\n");
  TMainForm* main = Start();
  for (int album : {0, 1, 2}) {
    SCOPED_TRACE(album);
    messages.clear();
    const std::string said =
        album == 2 ? "None of the photos of this album can be read." : "This album has no photos.";
    OpenAlbum(main, album, [&](TCategoryForm* f) {
      EXPECT_EQ(f->PanelcatHelp->Caption(), said);
      for (int i = 0; i < kThumbCount; ++i) EXPECT_FALSE(f->PanelBase[i]->Visible());
    });
    EXPECT_EQ(messages, std::vector<std::string>{said});
  }
}

// A photo of 3 x 2 pixels (and one of 1 x 1) gets a frame of 16 x 16 in the middle of its
// place, the photo centred in it at its own shape and on show, and a click on it opens the
// photo view. The focus shows on every frame, on one that a square photo fills too.
TEST_F(ViewerFaults, ATinyPhotoGetsAFrameItCanBeSeenAndClickedIn) {
  QImage tiny(3, 2, QImage::Format_RGB32);
  tiny.fill(qRgb(255, 0, 0));
  ASSERT_TRUE(tiny.save(QString::fromStdString((dir / "tiny.bmp").string()), "BMP"));
  QImage dot(1, 1, QImage::Format_RGB32);
  dot.fill(qRgb(0, 0, 255));
  ASSERT_TRUE(dot.save(QString::fromStdString((dir / "dot.bmp").string()), "BMP"));
  Write("Category.lst", "Tiny\n");
  QImage square(200, 200, QImage::Format_RGB32);
  square.fill(qRgb(0, 160, 0));
  ASSERT_TRUE(square.save(QString::fromStdString((dir / "square.bmp").string()), "BMP"));
  Write("RC0.lst", "tiny.bmp\nThree by two\ndot.bmp\nOne pixel\nsquare.bmp\nSquare\n");
  TMainForm* main = Start();
  OpenAlbum(main, 0, [&](TCategoryForm* f) {
    ASSERT_EQ(f->PanelBase[0]->Width(), 145);
    for (int i : {0, 1}) {
      EXPECT_EQ(f->Panel[i]->BoundsRect(), Bounds(64, 64, 16, 16)) << "frame " << i + 1;
      QCoreApplication::processEvents();
      const QImage shot = f->PanelBase[i]->Widget()->grab().toImage();
      const QRgb colour = i == 0 ? 0xFF0000u : 0x0000FFu;
      QRect photo;
      int pixels = 0;
      for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
          if ((shot.pixel(x, y) & 0xFFFFFF) == colour) photo |= QRect(x, y, 1, 1), ++pixels;
      EXPECT_EQ(photo.size(), i == 0 ? QSize(3, 2) : QSize(1, 1)) << "frame " << i + 1;
      EXPECT_EQ(pixels, photo.width() * photo.height()) << "frame " << i + 1;
      EXPECT_LE((photo.center() - QPoint(72, 72)).manhattanLength(), 2) << "frame " << i + 1;
    }
    // Laid out anew in a larger form, it keeps its shape.
    const TRect was = f->BoundsRect();
    f->SetBounds(0, 0, 1200, 900);
    EXPECT_EQ(f->Image[0]->BoundsRect().Right - f->Image[0]->BoundsRect().Left, 3);
    EXPECT_EQ(f->Image[0]->BoundsRect().Bottom - f->Image[0]->BoundsRect().Top, 2);
    f->SetBounds(was.Left, was.Top, was.Right - was.Left, was.Bottom - was.Top);
    // The focused frame, whatever its photo: its edge takes the highlight, the others' not.
    const QRgb highlight = QtColor(clHighlight).rgb() & 0xFFFFFF;
    for (int i : {2, 0}) {
      f->Panel[i]->SetFocus();
      QCoreApplication::processEvents();
      for (int k : {0, 2}) {
        const QImage shot = f->PanelBase[k]->Widget()->grab().toImage();
        EXPECT_EQ((shot.pixel(1, 72) & 0xFFFFFF) == highlight, k == i) << "frame " << k + 1 << ", focus on " << i + 1;
        EXPECT_EQ(shot.pixel(72, 72) & 0xFFFFFF, k == 2 ? 0x00A000u : 0xFF0000u) << "frame " << k + 1;
      }
    }
    answers.push_back([](TModalRequest& r) {
      EXPECT_EQ(r.Form, ShowCatPhotoForm);
      EXPECT_EQ(ShowCatPhotoForm->Image1->Picture()->Width(), 3);
      return int(mrCancel);
    });
    f->Image[0]->Click();
    EXPECT_TRUE(answers.empty());
    // A click on the frame beside the one pixel opens it as well.
    answers.push_back([](TModalRequest&) {
      EXPECT_EQ(ShowCatPhotoForm->Image1->Picture()->Width(), 1);
      return int(mrCancel);
    });
    QTest::mouseClick(f->Panel[1]->ClientWidget(), Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_TRUE(answers.empty());
  });
}

// "&" in the headline, the albums' and shows' titles and a photo's description shows as
// written, nowhere taken for a mnemonic.
TEST_F(ViewerFaults, AnAmpersandInTheListsShowsAsWritten) {
  QImage photo(40, 30, QImage::Format_RGB32);
  photo.fill(qRgb(0, 128, 0));
  ASSERT_TRUE(photo.save(QString::fromStdString((dir / "cat.bmp").string()), "BMP"));
  Write("Admin.lst", "none.jpg\nSmith & Sons photos\n");
  Write("Category.lst", "Tom & Jerry\nR&D lab\n");
  Write("Slide.lst", "Rock && roll\n");
  Write("RC0.lst", "cat.bmp\nCat & mouse\n");
  TMainForm* main = Start();
  EXPECT_EQ(Shown(main->Headline->Caption()), "Smith & Sons photos");
  const std::vector<std::string> albums = {"Tom & Jerry", "R&D lab"};
  for (int i = 0; i < 2; ++i) {
    auto* b = qobject_cast<QRadioButton*>(main->RC->Buttons(i)->Widget());
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(Shown(b->text().toStdString()), albums[size_t(i)]);
  }
  auto* show = qobject_cast<QRadioButton*>(main->RS->Buttons(0)->Widget());
  ASSERT_NE(show, nullptr);
  EXPECT_EQ(Shown(show->text().toStdString()), "Rock && roll");
  main->Show();
  QCoreApplication::processEvents();
  main->Widget()->grab().save(QString::fromStdString(std::string(VL_BUILD_DIR) + "/corvelo-ampersand-main.png"));
  OpenAlbum(main, 0, [&](TCategoryForm* f) {
    EXPECT_EQ(Shown(f->PanelCatName->Caption()), "Tom & Jerry");
    answers.push_back([](TModalRequest&) {
      EXPECT_EQ(Shown(ShowCatPhotoForm->PanelPhotoDescribe->Caption()), "Cat & mouse");
      return int(mrCancel);
    });
    f->Image[0]->Click();
  });
}

// A closed slide show keeps no picture: what its last slide took goes back.
TEST_F(ViewerFaults, AClosedSlideShowFreesItsPicture) {
  WriteNoise(dir / "big.jpg", 3000, 2000);
  Write("Slide.lst", "Big\n");
  Write("RS0.lst", "big.jpg\n");
  TMainForm* main = Start();
  SlideShowForm->TimerStart->SetEnabled(false);
  SlideShowForm->ManualCheckBox->SetChecked(true);
  const int64_t before = vltest::HeldKB();
  int64_t shown = 0;
  answers.push_back([&](TModalRequest&) {
    SlideShowForm->TimerStart->Timer();
    EXPECT_EQ(SlideShowForm->Image1->Picture()->Width(), 3000);
    shown = vltest::HeldKB();
    SlideShowForm->BitBtn1->Click();
    return 0;
  });
  main->ButtonGoToSlide1Click(nullptr);
  EXPECT_TRUE(SlideShowForm->Image1->Picture()->Bitmap()->Empty());
  const int64_t after = vltest::HeldKB();
  std::printf("held: %lld KB before, %lld KB showing, %lld KB closed\n", (long long)before, (long long)shown,
              (long long)after);
  EXPECT_GT(shown - before, 3000 * 2000 * 3 / 1024);
  EXPECT_LT(after - before, 4 * 1024);
}

// The About button's star and its caption lie side by side, the star's last column left of
// the caption's first.
TEST_F(ViewerFaults, TheAboutButtonsStarKeepsClearOfItsCaption) {
  TMainForm* main = Start();
  TSpeedButton* b = main->Aboutbutton;
  if (b->NumGlyphs() != 4) GTEST_SKIP() << "no icon theme with the star";
  main->Show();
  QCoreApplication::processEvents();
  const QImage shot = b->Widget()->grab().toImage();
  shot.save(QString::fromStdString(std::string(VL_BUILD_DIR) + "/corvelo-about-button.png"));
  int starRight = -1, textLeft = shot.width();
  for (int y = 0; y < shot.height(); ++y)
    for (int x = 0; x < shot.width(); ++x) {
      const QRgb p = shot.pixel(x, y);
      if (qRed(p) > 180 && qGreen(p) > 150 && qBlue(p) < 110) starRight = std::max(starRight, x);
      if (qBlue(p) > qRed(p) + 50 && qRed(p) < 90) textLeft = std::min(textLeft, x);
    }
  ASSERT_GE(starRight, 0);
  ASSERT_LT(textLeft, shot.width());
  EXPECT_LT(starRight, textLeft);
}

// A disc without albums, or without shows, offers no command that would open one.
TEST_F(ViewerFaults, WithNothingToOpenTheCommandsThatWouldAreOff) {
  Write("Slide.lst", "Only a show\n");
  TMainForm* main = Start();
  EXPECT_FALSE(main->ShowCat->Enabled());
  EXPECT_FALSE(main->Panel3->Enabled());
  EXPECT_FALSE(main->ShowAlbum1->Enabled());
  EXPECT_TRUE(main->ButtonGoToSlide1->Enabled());
  EXPECT_TRUE(main->Panel4->Enabled());
  EXPECT_TRUE(main->Showslides1->Enabled());
}

// A headline longer than its panel is set smaller, whole; a short one keeps its size.
TEST_F(ViewerFaults, ALongHeadlineShowsWhole) {
  const std::string line = "Ærø & Café, summer photos from the islands of the south, all of them";
  Write("Admin.lst", "none.jpg\n" + line + "\n");
  TMainForm* main = Start();
  const int wide = QFontMetrics(main->Headline->Font()->QtFont()).horizontalAdvance(QString::fromStdString(line));
  EXPECT_LE(wide, main->Headline->ClientWidth() - 8);
  EXPECT_GE(main->Headline->Font()->Size(), 8);
  main->Show();
  QCoreApplication::processEvents();
  main->Headline->Widget()->grab().save(
      QString::fromStdString(std::string(VL_BUILD_DIR) + "/corvelo-long-headline.png"));
  StopCorvelo();
  Write("Admin.lst", "none.jpg\nShort\n");
  main = Start();
  EXPECT_EQ(main->Headline->Font()->Size(), 18);
}

}  // namespace
