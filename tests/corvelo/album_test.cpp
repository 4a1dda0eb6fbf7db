// The album view and the photo view: thumbnails in their grid places at their fitted sizes,
// short and damaged albums, opening a photo with its description, and printing it.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QGuiApplication>
#include <QRandomGenerator>
#include <QScreen>
#include <QWidget>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "components/printsize.h"
#include "corvelo/aboutform.h"
#include "corvelo/categoryform.h"
#include "corvelo/mainform.h"
#include "corvelo/photoform.h"
#include "corvelo/program.h"
#include "corvelo/slideshowform.h"
#include "corvelo/viewerunit.h"
#include "support/memcap.h"

namespace fs = std::filesystem;
using namespace corvelo;

namespace {

class TRecordingPrinter : public TPrinter {
 public:
  int Dpi = 600;
  std::vector<TRect> Drawn;
  TBitmap LastPicture;
  void BeginDoc() override { FPrinting = true; }
  void EndDoc() override { FPrinting = false; }
  void Abort() override { FPrinting = false; }
  int PageWidth() override { return Dpi * 8; }
  int PageHeight() override { return Dpi * 11; }
  int GetDeviceCaps(int Index) override { return Index == LOGPIXELSX || Index == LOGPIXELSY ? Dpi : 0; }
  void StretchDraw(const TRect& Dest, TBitmap* Source) override {
    Drawn.push_back(Dest);
    LastPicture.Assign(Source);
  }
  QPrinter* QtPrinter() override { return nullptr; }
};

// A picture of two halves side by side (wide) or one above the other (tall); Stripes: the
// second half's columns alternate with white.
void WriteHalves(const fs::path& file, int w, int h, QRgb first, QRgb second, bool Stripes = false) {
  QImage img(w, h, QImage::Format_RGB888);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      img.setPixel(x, y, (w >= h ? x < w / 2 : y < h / 2) ? first : Stripes && x % 2 ? 0xFFFFFF : second);
  ASSERT_TRUE(img.save(QString::fromStdString(file.string())));
}

bool Near(QRgb p, QRgb want) {
  return std::abs(qRed(p) - qRed(want)) <= 12 && std::abs(qGreen(p) - qGreen(want)) <= 12 &&
         std::abs(qBlue(p) - qBlue(want)) <= 12;
}

class AlbumTest : public ::testing::Test {
 protected:
  fs::path dir;
  std::deque<std::function<int(TModalRequest&)>> answers;
  TRecordingPrinter rec;
  TPrinter* before = nullptr;

  void SetUp() override {
    dir = fs::path(VL_BUILD_DIR) / "album-test" / ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(dir);
    fs::create_directories(dir);
    SetProgramFolder(dir.string());
    SetModalAnswer([this](TModalRequest& r) {
      if (answers.empty()) {
        ADD_FAILURE() << "unexpected modal request " << r.Kind << ": " << r.Caption;
        return int(mrCancel);
      }
      auto a = answers.front();
      answers.pop_front();
      return a(r);
    });
    before = SetPrinter(&rec);
    OKBottomDlg = new TOKBottomDlg(nullptr);
    ShowCatPhotoForm = new TShowCatPhotoForm(nullptr);
    CategoryForm = new TCategoryForm(nullptr);
    // At their design size, the places are the design's.
    ShowCatPhotoForm->SetWindowState(wsNormal);
    CategoryForm->SetWindowState(wsNormal);
  }

  void TearDown() override {
    SetHelpService(nullptr);
    CategoryForm->Free();
    ShowCatPhotoForm->Free();
    OKBottomDlg->Free();
    CategoryForm = nullptr;
    ShowCatPhotoForm = nullptr;
    OKBottomDlg = nullptr;
    SetModalAnswer(nullptr);
    SetPrinter(before);
    CatListLines()->Clear();
    CurrentImageFile.clear();
    CurrentListFile.clear();
    ThumbsPending = 0;
    QCoreApplication::processEvents();
    EXPECT_TRUE(answers.empty()) << "answers left over";
  }

  // What the main form does to open an album: its list into the lines, the frames hidden,
  // the thumbnails asked for; then the album view shows modally and Check looks at it
  // after the timer's tick.
  void OpenAlbum(const std::vector<std::string>& lines, const std::function<void(TCategoryForm*)>& Check) {
    CurrentListFile = (dir / "RC0.lst").string();
    std::ofstream(CurrentListFile) << "";
    CatListLines()->Assign(lines);
    ThumbsPending = 1;
    for (TPanel* p : CategoryForm->PanelBase) p->Hide();
    answers.push_back([Check](TModalRequest& r) {
      auto* f = dynamic_cast<TCategoryForm*>(r.Form);
      EXPECT_EQ(f, CategoryForm);
      if (!f) return int(mrCancel);
      EXPECT_EQ(f->Cursor(), crHourGlass);
      f->Timer1->Timer();
      EXPECT_EQ(f->Timer1->Interval(), 100u);
      EXPECT_EQ(f->Cursor(), crDefault);
      Check(f);
      f->BitBtn1->Click();
      return 0;
    });
    CategoryForm->ShowModal();
    EXPECT_EQ(ThumbsPending, 0);
  }
};

// 30 lines naming 3 photos that load, among missing, refused and undecodable ones: exactly
// those 3 frames show, in their own grid places, each photo fitted and centred in its frame.
TEST_F(AlbumTest, ShowsTheLoadableFramesInTheirPlacesAtTheirFittedSizes) {
  WriteHalves(dir / "wide.bmp", 290, 145, 0xFF0000, 0x0000FF, true);  // slot 1
  WriteHalves(dir / "small.bmp", 100, 60, 0x00FF00, 0xFFFF00);        // slot 5
  WriteHalves(dir / "tall.jpg", 145, 290, 0x00FF00, 0xFF00FF);        // slot 12
  WriteHalves(dir / "refused.png", 50, 50, 0, 0);                     // slot 3: not an accepted type
  std::ofstream(dir / "broken.jpg") << "not a picture at all";        // slot 7: can't be decoded
  std::vector<std::string> lines;
  for (int i = 1; i <= 15; ++i) {
    std::string file = "missing" + std::to_string(i) + ".jpg";
    if (i == 1) file = "wide.bmp";
    if (i == 3) file = "refused.png";
    if (i == 5) file = "small.bmp\r";  // a list written with CR LF
    if (i == 7) file = "broken.jpg";
    if (i == 12) file = "tall.jpg";
    lines.push_back(file);
    lines.push_back("Photo " + std::to_string(i));
  }
  ASSERT_EQ(lines.size(), 30u);

  OpenAlbum(lines, [](TCategoryForm* f) {
    ASSERT_EQ(f->Width(), 800);  // the design size: nothing scaled
    for (int i = 0; i < kThumbCount; ++i) {
      const bool shown = i == 0 || i == 4 || i == 11;
      EXPECT_EQ(f->PanelBase[i]->Visible(), shown) << "frame " << i + 1;
      EXPECT_EQ(ThumbFilled[i], shown ? 1 : 0) << "frame " << i + 1;
    }
    EXPECT_EQ(f->PanelBase[0]->BoundsRect(), Bounds(16, 88, 145, 145));
    EXPECT_EQ(f->PanelBase[4]->BoundsRect(), Bounds(632, 88, 145, 145));
    EXPECT_EQ(f->PanelBase[11]->BoundsRect(), Bounds(170, 392, 145, 145));
    // 290 x 145 is shown 145 x 72 (72.5 to the even 72) at top 36; 100 x 60 at its own size,
    // centred; 145 x 290 is 72 wide at left 36.
    EXPECT_EQ(f->Panel[0]->BoundsRect(), Bounds(0, 36, 145, 72));
    EXPECT_EQ(f->Panel[4]->BoundsRect(), Bounds(22, 42, 100, 60));
    EXPECT_EQ(f->Panel[11]->BoundsRect(), Bounds(36, 0, 72, 145));
    // The thumbnail keeps the whole decoded photo for the photo view.
    EXPECT_EQ(f->Image[0]->Picture()->Width(), 290);
    EXPECT_EQ(f->Image[11]->Picture()->Height(), 290);

    // What a user sees: each photo's halves inside its panel, the form's grey around it.
    QCoreApplication::processEvents();
    const QImage shot = f->Widget()->grab().toImage();
    auto at = [&](int x, int y) { return shot.pixel(x, y); };
    EXPECT_TRUE(Near(at(16 + 36, 88 + 72), 0xFF0000));
    // Fine detail shrinks to its mean, not to whichever column a pixel happens to hit.
    for (int x = 16 + 100; x < 16 + 110; ++x) {
      const QRgb p = at(x, 88 + 72);
      EXPECT_TRUE(std::abs(qRed(p) - 128) < 48 && std::abs(qGreen(p) - 128) < 48 && qBlue(p) > 240) << std::hex << p;
    }
    EXPECT_TRUE(Near(at(16 + 72, 88 + 20), 0xC0C0C0));   // above the wide photo
    EXPECT_TRUE(Near(at(632 + 47, 88 + 72), 0x00FF00));  // the small photo's halves
    EXPECT_TRUE(Near(at(632 + 97, 88 + 72), 0xFFFF00));
    EXPECT_TRUE(Near(at(632 + 10, 88 + 72), 0xC0C0C0));  // beside it
    EXPECT_TRUE(Near(at(170 + 72, 392 + 36), 0x00FF00));
    EXPECT_TRUE(Near(at(170 + 72, 392 + 108), 0xFF00FF));
    EXPECT_TRUE(Near(at(170 + 20, 392 + 72), 0xC0C0C0));
    EXPECT_TRUE(Near(at(170 + 72, 88 + 72), 0xC0C0C0));  // frame 2 is hidden

    // A wider form centres the grid; a larger one enlarges it, each photo fitted anew.
    f->SetBounds(0, 0, 1200, 600);
    EXPECT_EQ(f->PanelBase[0]->BoundsRect(), Bounds(216, 88, 145, 145));
    f->SetBounds(0, 0, 1200, 900);  // 1.5 times: 217.5 to the even 218
    EXPECT_EQ(f->PanelBase[11]->BoundsRect(), Bounds(255, 30 + 543, 218, 218));
    EXPECT_EQ(f->Panel[11]->BoundsRect(), Bounds(54, 0, 109, 218));
  });

  // Closed while the tall photo is read: the fill ends and that photo stays out of its frame.
  CategoryForm->Vistrel1->SetOnProgress([](TObject*, int) {
    if (CurrentImageFile.ends_with("tall.jpg")) CategoryForm->BitBtn1->Click();
  });
  OpenAlbum(lines, [](TCategoryForm* f) {
    EXPECT_EQ(ThumbFilled[11], 0);
    EXPECT_FALSE(f->PanelBase[11]->Visible());
  });
}

// A short album shows what it has; a click opens the photo view with the photo's path, its
// description and the whole picture fitted to the screen, and a right click prints it.
TEST_F(AlbumTest, ClickingAFrameOpensThePhotoWithItsDescriptionAndPrintsIt) {
  WriteHalves(dir / "first.bmp", 60, 40, 0xFF0000, 0x0000FF);
  WriteHalves(dir / "second.bmp", 1200, 800, 0x00FF00, 0xFF00FF);
  WriteHalves(dir / "third.bmp", 30, 30, 0, 0);
  const std::vector<std::string> lines = {"first.bmp", "The first", "second.bmp", "The second photo", "third.bmp"};
  SetHelpService([](const THelpRequest&) { return true; });
  OpenAlbum(lines, [&](TCategoryForm* f) {
    for (int i = 0; i < kThumbCount; ++i) EXPECT_EQ(f->PanelBase[i]->Visible(), i < 3) << "frame " << i + 1;
    EXPECT_EQ(f->Panel[1]->BoundsRect(), Bounds(0, 24, 145, 97));  // 1200 x 800: 96.67 high

    answers.push_back([&](TModalRequest& r) {
      TShowCatPhotoForm* p = ShowCatPhotoForm;
      EXPECT_EQ(r.Form, p);
      const std::string path = (dir / "second.bmp").string();
      EXPECT_EQ(CurrentImageFile, path);
      EXPECT_EQ(p->PanelPhotoDescribe->Caption(), "The second photo");
      // The whole photo, fitted into the 800 x 542 under the bars: 800 x 533 at top 4.
      EXPECT_EQ(p->Image1->Picture()->Width(), 1200);
      EXPECT_EQ(p->PanelBase1->BoundsRect(), Bounds(0, 58, 800, 542));
      EXPECT_EQ(p->Panel1->BoundsRect(), Bounds(0, 4, 800, 533));
      EXPECT_EQ(p->Caption(), path + "  1200 x 800     Image scaled to fit screen area");
      QCoreApplication::processEvents();
      const QImage shot = p->Widget()->grab().toImage();
      EXPECT_TRUE(Near(shot.pixel(200, 58 + 270), 0x00FF00));
      EXPECT_TRUE(Near(shot.pixel(600, 58 + 270), 0xFF00FF));
      // Resized, the photo is fitted again: 900 x 600 in 1000 x 600.
      p->SetBounds(p->Left(), p->Top(), 1000, 658);
      EXPECT_EQ(p->Panel1->BoundsRect(), Bounds(50, 0, 900, 600));

      // A right click on the photo: the print dialog, then the size dialog, post card.
      answers.push_back([](TModalRequest& q) {
        EXPECT_EQ(q.Kind, mkPrint);
        EXPECT_EQ(q.HelpContext, 360);
        return int(mrOk);
      });
      answers.push_back([](TModalRequest& q) {
        auto* d = dynamic_cast<TOKBottomDlg*>(q.Form);
        EXPECT_NE(d, nullptr);
        if (!d) return int(mrCancel);
        EXPECT_EQ(d->HelpContext(), 360);
        d->RadioButton2->SetChecked(true);  // as a click ticks it
        return int(mrOk);
      });
      QWidget* w = p->Image1->Widget();
      for (QEvent::Type t : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent e(t, QPointF(100, 100), w->mapToGlobal(QPointF(100, 100)), Qt::RightButton,
                      t == QEvent::MouseButtonPress ? Qt::RightButton : Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(w, &e);
      }
      // Ratio 1.5: 5.5 inches wide (5.5 / 1.5 is not above 4), 3.67 high, at 600 dpi.
      EXPECT_FLOAT_EQ(corvelo::PictureRatio, 1.5f);
      EXPECT_EQ(rec.Drawn, std::vector<TRect>{Bounds(75, 75, 3300, 2200)});
      EXPECT_EQ(rec.LastPicture.Width(), 1200);

      p->SpeedButton3->Click();
      EXPECT_EQ(LastHelpRequest().File, "Velmora.hlp");
      EXPECT_EQ(LastHelpRequest().Context, 320);
      p->Image1->Click();  // a click on the photo returns
      EXPECT_EQ(p->ModalResult(), mrCancel);
      return 0;
    });
    f->Image[1]->Click();
    EXPECT_TRUE(answers.empty());

    // The last photo has no description line; an empty frame opens nothing.
    answers.push_back([](TModalRequest& r) {
      EXPECT_EQ(ShowCatPhotoForm->PanelPhotoDescribe->Caption(), "");
      EXPECT_EQ(r.Form->Caption(), CurrentImageFile + "  30 x 30     ");
      return int(mrCancel);
    });
    f->Image[2]->Click();
    f->Image[3]->Click();

    f->SpeedButton1->Click();
    EXPECT_EQ(LastHelpRequest().Context, 230);
  });
}

// A real print of the photo view: into a PDF file through the system printer, the page rendered
// back showing the photo as a 5.5-inch post card at the computed place.
TEST_F(AlbumTest, PhotoViewPrintsToAPdfFileAsAPhotoPostCard) {
  if (std::system("command -v pdftoppm >/dev/null 2>&1") != 0) GTEST_SKIP() << "pdftoppm missing";
  TPrinter pdf;
  SetPrinter(&pdf);
  // 600 x 400: red left half, blue right half.
  TBitmap* b = ShowCatPhotoForm->Image1->Picture()->Bitmap();
  b->SetPixelFormat(pf24bit);
  b->SetSize(600, 400);
  for (int y = 0; y < 400; ++y)
    for (int x = 0; x < 600; ++x) {
      uint8_t* px = b->ScanLine(y) + 3 * x;
      px[0] = x < 300 ? 0 : 255;
      px[1] = 0;
      px[2] = x < 300 ? 255 : 0;
    }
  const fs::path out = dir / "photo.pdf";
  answers.push_back([&](TModalRequest& q) {
    EXPECT_EQ(q.Kind, mkPrint);
    QPrinter* p = Printer()->QtPrinter();
    EXPECT_NE(p, nullptr);
    if (!p) return int(mrCancel);
    p->setOutputFormat(QPrinter::PdfFormat);
    p->setOutputFileName(QString::fromStdString(out.string()));
    p->setResolution(600);
    p->setPageSize(QPageSize(QPageSize::Letter));
    p->setPageOrientation(QPageLayout::Portrait);
    p->setPageMargins(QMarginsF(0.5, 0.5, 0.5, 0.5), QPageLayout::Inch);
    return int(mrOk);
  });
  answers.push_back([](TModalRequest& q) {
    auto* d = dynamic_cast<TOKBottomDlg*>(q.Form);
    if (!d) return int(mrCancel);
    d->RadioButton2->SetChecked(true);  // as a click ticks it
    return int(mrOk);
  });
  ShowCatPhotoForm->PopupMenu1Popup(nullptr);
  SetPrinter(&rec);
  ASSERT_TRUE(fs::exists(out));
  const std::string cmd = "pdftoppm -r 50 -png -singlefile '" + out.string() + "' '" + (dir / "page").string() + "'";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  const QImage page(QString::fromStdString((dir / "page.png").string()));
  ASSERT_EQ(page.size(), QSize(425, 550));  // letter at 50 dpi
  // 5.5 x 3.67 inches from (0.5 + 1/8) inch: 275 x 183 pixels from 31.25.
  const int x0 = 31, y0 = 31, x1 = 31 + 275, y1 = 31 + 183;
  EXPECT_TRUE(Near(page.pixel(x0 + 3, y0 + 3), 0xFF0000));
  EXPECT_TRUE(Near(page.pixel(x1 - 3, y1 - 3), 0x0000FF));
  for (auto [x, y] : {std::pair{x0 - 3, y0 + 3}, {x0 + 3, y0 - 3}, {x1 + 3, y1 - 3}, {x1 - 3, y1 + 3}})
    EXPECT_EQ(page.pixel(x, y) & 0xFFFFFF, 0xFFFFFFu) << x << "," << y;
}

TEST(LargeAlbum, FramesReachTheScreenOneByOneAndClosingFreesThePhotos) {
  const fs::path oldCwd = fs::current_path();
  const fs::path dir = fs::path(VL_BUILD_DIR) / "album-test" / "large";
  fs::remove_all(dir);
  fs::create_directories(dir);
  {
    QImage noise(4000, 3000, QImage::Format_RGB32);
    QRandomGenerator rng(7);
    for (int y = 0; y < noise.height(); ++y) {
      auto* row = reinterpret_cast<quint32*>(noise.scanLine(y));
      for (int x = 0; x < noise.width(); ++x) row[x] = 0xFF000000u | (rng.generate() & 0xFFFFFFu);
    }
    ASSERT_TRUE(noise.save(QString::fromStdString((dir / "p0.jpg").string()), "JPEG", 80));
  }
  std::ofstream list(dir / "RC0.lst");
  for (int i = 0; i < kThumbCount; ++i) {
    if (i > 0) fs::copy_file(dir / "p0.jpg", dir / ("p" + std::to_string(i) + ".jpg"));
    list << "p" << i << ".jpg\nPhoto " << i + 1 << "\n";
  }
  list.close();
  std::ofstream(dir / "Category.lst") << "Large\n";
  SetProgramFolder(dir.string());
  TMainForm* main = StartCorvelo();
  main->Show();
  QCoreApplication::processEvents();

  // What the screen shows of the album now, and whether a frame shows a photo there.
  TCategoryForm* f = CategoryForm;
  auto screen = [f] { return QGuiApplication::primaryScreen()->grabWindow(f->Widget()->winId()).toImage(); };
  auto at = [](TControl* c) { return c->Widget()->mapTo(c->Widget()->window(), QPoint(0, 0)); };
  auto photoIn = [&](const QImage& shot, int i) {
    const QPoint o = at(f->PanelBase[i]);
    std::set<QRgb> colours;
    for (int y = 10; y < f->PanelBase[i]->Height() - 10; y += 7)
      for (int x = 10; x < f->PanelBase[i]->Width() - 10; x += 7) colours.insert(shot.pixel(o.x() + x, o.y() + y));
    return colours.size() > 50;
  };
  auto waitText = [&](const QImage& shot) {
    const QPoint o = at(f->PanelcatHelp);
    int navy = 0;
    for (int y = 0; y < f->PanelcatHelp->Height(); ++y)
      for (int x = 80; x < f->PanelcatHelp->Width() - 80; ++x) {
        const QRgb p = shot.pixel(o.x() + x, o.y() + y);
        navy += qBlue(p) > qRed(p) + 40 && qBlue(p) > qGreen(p) + 40;
      }
    return navy > 30;
  };

  std::vector<QImage> shots;
  std::vector<std::string> hints;
  std::string loading;
  f->Vistrel1->SetOnProgress([&](TObject*, int) {
    // The first news of each photo's decoding.
    if (CurrentImageFile == loading) return;
    loading = CurrentImageFile;
    shots.push_back(screen());
    hints.push_back(f->PanelcatHelp->Caption());
  });
  const int64_t before = vltest::HeldKB(), residentBefore = vltest::ResidentKB();
  int64_t loaded = 0, residentLoaded = 0;
  SetModalAnswer([&](TModalRequest& r) {
    if (r.Form != CategoryForm) return int(mrCancel);
    // The pointer crosses the album's title, which has no hint.
    QEvent enter(QEvent::Enter);
    QCoreApplication::sendEvent(f->PanelCatName->Widget(), &enter);
    QCoreApplication::processEvents();
    f->Timer1->Timer();
    loaded = vltest::HeldKB();
    residentLoaded = vltest::ResidentKB();
    shots.push_back(screen());
    f->BitBtn1->Click();
    return 0;
  });
  Application->SetHint("View the selected Album");
  main->RC->SetItemIndex(0);
  main->ShowCatClick(nullptr);
  SetModalAnswer(nullptr);

  ASSERT_EQ(shots.size(), size_t(kThumbCount + 1));
  for (int k = 0; k < kThumbCount; ++k) {
    EXPECT_EQ(hints[size_t(k)], "Please wait while the photos load");
    EXPECT_TRUE(waitText(shots[size_t(k)])) << "while loading photo " << k + 1;
    for (int i = 0; i < kThumbCount; ++i)
      EXPECT_EQ(photoIn(shots[size_t(k)], i), i < k) << "frame " << i + 1 << " while loading photo " << k + 1;
  }
  for (int i = 0; i < kThumbCount; ++i) EXPECT_TRUE(photoIn(shots.back(), i)) << "frame " << i + 1;
  shots.back().save(QString::fromStdString(std::string(VL_BUILD_DIR) + "/corvelo-album-filled.png"));
  shots[8].save(QString::fromStdString(std::string(VL_BUILD_DIR) + "/corvelo-album-filling.png"));
  shots = {};
  const int64_t after = vltest::HeldKB(), residentAfter = vltest::ResidentKB();

  // Fifteen photos of 36 MB each were held; closed, next to nothing is left of them.
  std::printf("held: %lld MB before, %lld MB loaded, %lld MB closed; resident: %lld, %lld, %lld MB\n",
              (long long)before / 1024, (long long)loaded / 1024, (long long)after / 1024,
              (long long)residentBefore / 1024, (long long)residentLoaded / 1024, (long long)residentAfter / 1024);
  EXPECT_GT(loaded - before, 15 * 36 * 1024);
  EXPECT_LT(after - before, 16 * 1024);
  for (int i = 0; i < kThumbCount; ++i) EXPECT_EQ(ThumbFilled[i], 0);

  StopCorvelo();
  QCoreApplication::processEvents();
  fs::current_path(oldCwd);
  fs::remove_all(dir);
}

}  // namespace
