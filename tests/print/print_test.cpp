// Printing: the sizes of the print-size dialog, the editor's Print command on a printer that
// records what it is asked to draw, and a real print to a PDF file read back with pdftoppm.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QWindow>
#include <QtTest/QTest>
#include <algorithm>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "components/printsize.h"
#include "quillon/mainform.h"
#include "quillon/program.h"
#include "support/editor.h"
#include "support/pump.h"
#include "support/xvfb.h"

namespace fs = std::filesystem;
using namespace quillon;

namespace {

// A printer that keeps what it is asked to print.
class TRecordingPrinter : public TPrinter {
 public:
  int Dpi = 600;
  int DpiY = 0;  // 0: as Dpi
  bool Landscape = false;
  int Docs = 0;
  std::vector<TRect> Drawn;
  TBitmap LastPicture;

  void BeginDoc() override {
    if (FPrinting) throw EPrinter(SPrinting);
    FPrinting = true;
  }
  void EndDoc() override {
    if (!FPrinting) throw EPrinter(SNotPrinting);
    FPrinting = false;
    ++Docs;
  }
  void Abort() override { FPrinting = false; }
  int PageWidth() override { return Dpi * (Landscape ? 11 : 8); }
  int PageHeight() override { return (DpiY ? DpiY : Dpi) * (Landscape ? 8 : 11); }
  int GetDeviceCaps(int Index) override {
    return Index == LOGPIXELSX ? Dpi : Index == LOGPIXELSY ? (DpiY ? DpiY : Dpi) : 0;
  }
  void StretchDraw(const TRect& Dest, TBitmap* Source) override {
    if (!FPrinting) throw EPrinter(SNotPrinting);
    Drawn.push_back(Dest);
    LastPicture.Assign(Source);
  }
  QPrinter* QtPrinter() override { return nullptr; }
};

// Writes a picture of four quadrants: red, green / blue, black.
void WriteQuadrants(const fs::path& file, int w, int h) {
  QImage img(w, h, QImage::Format_RGB32);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      img.setPixel(x, y, y < h / 2 ? (x < w / 2 ? 0xFF0000 : 0x00FF00) : (x < w / 2 ? 0x0000FF : 0x000000));
  ASSERT_TRUE(img.save(QString::fromStdString(file.string())));
}

void Click(TWinControl* c) { static_cast<QAbstractButton*>(c->Widget())->click(); }

class PrintTest : public ::testing::Test {
 protected:
  TMainForm* main = nullptr;
  fs::path dir;
  std::deque<std::function<int(TModalRequest&)>> answers;
  std::vector<TModalKind> asked;
  TRecordingPrinter rec;
  TPrinter* before = nullptr;

  void SetUp() override {
    dir = fs::path(VL_BUILD_DIR) / "print-test" / ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(dir);
    fs::create_directories(dir);
    SetModalAnswer([this](TModalRequest& r) {
      asked.push_back(r.Kind);
      if (answers.empty()) {
        ADD_FAILURE() << "unexpected modal request " << r.Kind << ": " << r.Caption << " / " << r.Text;
        return int(mrCancel);
      }
      auto a = answers.front();
      answers.pop_front();
      return a(r);
    });
    before = SetPrinter(&rec);
    main = StartQuillon();
    main->Show();
    QCoreApplication::processEvents();
  }

  void TearDown() override {
    StopQuillon(main);
    SetModalAnswer(nullptr);
    SetPrinter(before);
    QCoreApplication::processEvents();
    EXPECT_TRUE(answers.empty()) << "answers left over";
  }

  TMDIChild* Open(int w, int h) {
    const fs::path file = dir / "picture.png";
    WriteQuadrants(file, w, h);
    answers.push_back([file](TModalRequest& r) {
      EXPECT_EQ(r.Kind, mkOpenFile);
      r.Value = file.string();
      return int(mrOk);
    });
    main->FileOpenItemClick(nullptr);
    return main->ActiveChild();
  }

  // The system's print dialog: OK (after Setup, as a user's choices there) or cancelled.
  void AnswerPrintDialog(int result, std::function<void()> Setup = nullptr) {
    answers.push_back([result, Setup](TModalRequest& r) {
      EXPECT_EQ(r.Kind, mkPrint);
      EXPECT_EQ(r.HelpContext, 210);
      if (Setup) Setup();
      return result;
    });
  }
  // The message that OK with no size ever chosen prints nothing.
  void AnswerNoSize() {
    answers.push_back([](TModalRequest& r) {
      EXPECT_EQ(r.Text, SNoPrintSize);
      return int(mrOk);
    });
  }
  // The print dialog answered as a user printing to a PDF file would: the paper given,
  // portrait, half-inch margins, 600 dpi, the copies given.
  void AnswerPrintToPdf(const fs::path& out, QPageSize::PageSizeId paper, int copies = 1) {
    AnswerPrintDialog(mrOk, [out, paper, copies] {
      QPrinter* q = Printer()->QtPrinter();
      ASSERT_NE(q, nullptr);
      q->setOutputFormat(QPrinter::PdfFormat);
      q->setOutputFileName(QString::fromStdString(out.string()));
      q->setResolution(600);
      q->setPageSize(QPageSize(paper));
      q->setPageOrientation(QPageLayout::Portrait);
      q->setPageMargins(QMarginsF(0.5, 0.5, 0.5, 0.5), QPageLayout::Inch);
      q->setCopyCount(copies);
    });
  }
  // The size dialog: Pick clicks one of its controls (or nothing), then the answer closes it.
  void AnswerSize(std::function<TWinControl*(TOKBottomDlg*)> Pick, int result = mrOk) {
    answers.push_back([Pick, result](TModalRequest& r) {
      EXPECT_EQ(r.Kind, mkForm);
      auto* d = dynamic_cast<TOKBottomDlg*>(r.Form);
      EXPECT_NE(d, nullptr);
      if (!d) return int(mrCancel);
      // Every showing ticks the size that OK prints, or none.
      EXPECT_EQ(d->RadioButton1->Checked(), d->PrintChoice == kPrintFullPaper);
      EXPECT_EQ(d->RadioButton3->Checked(), d->PrintChoice == kPrintHalfPaper);
      EXPECT_EQ(d->RadioButton2->Checked(), d->PrintChoice == kPrintPostCard);
      if (TWinControl* c = Pick ? Pick(d) : nullptr) Click(c);
      return result;
    });
  }
};

// ---------------------------------------------------------------------------------------------

TEST(PrintSize, EachChoiceFitsItsBoxTouchingOneSide) {
  const TPaperBox tall{8.5, 11}, wide{11, 8.5};
  struct Row {
    int choice;
    double r;
    TPaperBox paper;
    double postCard;
    double width;
  } rows[] = {
      {kPrintFullPaper, 1.5, tall, 6, 8.5},                         // 8.5 x 5.667 in a tall box
      {kPrintFullPaper, 1.5, wide, 6, 11},                          // 11 x 7.333 in a wide one
      {kPrintFullPaper, 400.0 / 600, tall, 6, 11 * (400.0 / 600)},  // 7.333 x 11
      {kPrintFullPaper, 0.5, wide, 6, 4.25},                        // 11 / 0.5 = 22 > 8.5
      {kPrintPostCard, 1.5, tall, 6, 6},                            // 6 / 1.5 = 4 is not above 4
      {kPrintPostCard, 1.5, tall, 5.5, 5.5},                        // the photo view's card
      {kPrintPostCard, 1.2, tall, 6, 4.8},
      {kPrintPostCard, 1.0, tall, 6, 4},       // square: 4 x 4
      {kPrintPostCard, 0.5, tall, 5.5, 2.75},  // 4 / 0.5 = 8 > 5.5
      {kPrintPostCard, 0.5, tall, 6, 3},
      {kPrintHalfPaper, 1.0, wide, 6, 5.5},          // square: 5.5 x 5.5
      {kPrintHalfPaper, 2.0, tall, 6, 8.5},          // 8.5 / 2 = 4.25 fits 5.5
      {kPrintHalfPaper, 1.25, tall, 6, 5.5 * 1.25},  // 8.5 / 1.25 = 6.8 > 5.5
      {kPrintHalfPaper, 1.5, {4, 12}, 6, 4},         // half is 6 x 4: no wider than the paper
      {kPrintHalfPaper, 0.5, {12, 4}, 6, 2},         // nor higher
  };
  for (const Row& w : rows)
    EXPECT_DOUBLE_EQ(PrintWidth(w.choice, w.r, w.paper, w.postCard), w.width)
        << "choice " << w.choice << " r " << w.r << " paper " << w.paper.Width << " x " << w.paper.Height;
  // No choice, an unknown one, and ratios or paper that can't be printed give no width.
  EXPECT_EQ(PrintWidth(kPrintNone, 1.5, tall), 0);
  EXPECT_EQ(PrintWidth(4, 1.5, tall), 0);
  for (double bad : {0.0, -1.0, 1.0 / 0.0, 0.0 / 0.0}) EXPECT_EQ(PrintWidth(kPrintFullPaper, bad, tall), 0);
  EXPECT_EQ(PrintWidth(kPrintFullPaper, 1.5, TPaperBox{}), 0);
  TBitmap empty;
  EXPECT_EQ(PictureRatio(&empty), 0);
  EXPECT_EQ(PictureRatio(nullptr), 0);
}

// The size, the place and the picture that reach the printer.
TEST_F(PrintTest, EditorPrintsTheCommittedPictureAtTheChosenSize) {
  TMDIChild* c = Open(600, 400);
  ASSERT_NE(c, nullptr);
  EXPECT_TRUE(main->Print1->Enabled());

  // A cancelled print dialog asks nothing more and prints nothing.
  AnswerPrintDialog(mrCancel);
  main->PrintBtnClick(nullptr);
  // OK in the size dialog before any size was ever chosen prints nothing either, and says why.
  AnswerPrintDialog(mrOk);
  AnswerSize(nullptr);
  AnswerNoSize();
  main->Print1->Click();
  EXPECT_EQ(rec.Docs, 0);
  EXPECT_EQ(asked.size(), 5u);  // open, print, print, size, message

  // A drawn object is burnt into the picture before it prints.
  vltest::DrawSelectedBox(c->VistrelVect1, 10, 10, 20, 20, clWhite);
  AnswerPrintDialog(mrOk);
  AnswerSize([](TOKBottomDlg* d) { return d->RadioButton1; });
  main->PrintBtnClick(nullptr);
  ASSERT_EQ(rec.Docs, 1);
  ASSERT_EQ(rec.Drawn.size(), 1u);
  // The 8 x 11 inch page less an eighth of an inch all round: 7.75 x 5.167 inches at 600 dpi,
  // an eighth of an inch in.
  EXPECT_EQ(rec.Drawn[0], Rect(75, 75, 75 + 4650, 75 + 3100));
  ASSERT_EQ(rec.LastPicture.Width(), 600);
  EXPECT_EQ(rec.LastPicture.Canvas()->Pixels(10, 10), clWhite);
  EXPECT_EQ(rec.LastPicture.Canvas()->Pixels(5, 5), clRed);
  EXPECT_EQ(c->VistrelVect1->ObjectsCount(), 0);

  // OK without a new choice prints at the last size; a landscape page takes 10.75 inches.
  rec.Landscape = true;
  AnswerPrintDialog(mrOk);
  AnswerSize(nullptr);
  main->PrintBtnClick(nullptr);
  ASSERT_EQ(rec.Drawn.size(), 2u);
  EXPECT_EQ(rec.Drawn[1], Rect(75, 75, 75 + 6450, 75 + 4300));

  // Cancel in the size dialog forgets the choice: nothing prints, now or on the next OK.
  AnswerPrintDialog(mrOk);
  AnswerSize(
      [](TOKBottomDlg* d) {
        Click(d->RadioButton3);  // even a size just chosen
        return d->CancelBtn;
      },
      0);
  main->PrintBtnClick(nullptr);
  EXPECT_EQ(main->OKBottomDlg->PrintChoice, kPrintNone);
  AnswerPrintDialog(mrOk);
  AnswerSize(nullptr);
  AnswerNoSize();
  main->PrintBtnClick(nullptr);
  EXPECT_EQ(rec.Docs, 2);
}

// Device sizes are rounded halves to even from long double; offsets are dpi div 8.
TEST_F(PrintTest, DeviceSizesRoundHalvesToEven) {
  struct Row {
    int w, h, dpi;
    std::function<TWinControl*(TOKBottomDlg*)> pick;
    TRect expect;
    int dpiY = 0;
  } rows[] = {
      // 78 x (8 - 1/4) = 604.5 exactly: the even neighbour, not 605; 78 div 8 = 9.
      {600, 400, 78, [](TOKBottomDlg* d) { return d->RadioButton1; }, Rect(9, 9, 9 + 604, 9 + 403)},
      // 4 x 640 / 480 inches at 600 dpi is a hair under 3200 and rounds up to it.
      {640, 480, 600, [](TOKBottomDlg* d) { return d->RadioButton2; }, Rect(75, 75, 75 + 3200, 75 + 2400)},
      // 300 div 8 is 37; half of the 7.75 x 10.75 inch paper box for a tall picture is
      // 5.375 x 7.75: 7.75 high, 7.75 x 0.6 wide.
      {300, 500, 300, [](TOKBottomDlg* d) { return d->RadioButton3; }, Rect(37, 37, 37 + 1395, 37 + 2325)},
      // A device of 600 x 300 dpi: the top margin is an eighth of the vertical resolution.
      {600, 400, 600, [](TOKBottomDlg* d) { return d->RadioButton2; }, Rect(75, 37, 75 + 3600, 37 + 1200), 300},
  };
  for (const Row& row : rows) {
    Open(row.w, row.h);
    rec.Dpi = row.dpi;
    rec.DpiY = row.dpiY;
    AnswerPrintDialog(mrOk);
    AnswerSize(row.pick);
    main->PrintBtnClick(nullptr);
    ASSERT_FALSE(rec.Drawn.empty());
    EXPECT_EQ(rec.Drawn.back(), row.expect) << row.w << " x " << row.h << " at " << row.dpi;
  }
}

// A real print: the editor's picture goes into a PDF file through the system printer, and the
// page rendered back shows it at the computed place and size.
TEST_F(PrintTest, EditorPrintsToAPdfFileAtThePlaceAndSize) {
  if (std::system("command -v pdftoppm >/dev/null 2>&1") != 0) GTEST_SKIP() << "pdftoppm missing";
  TPrinter pdf;
  SetPrinter(&pdf);
  Open(600, 400);
  const fs::path out = dir / "print.pdf";
  AnswerPrintToPdf(out, QPageSize::Letter);
  AnswerSize([](TOKBottomDlg* d) { return d->RadioButton2; });
  main->PrintBtnClick(nullptr);
  EXPECT_FALSE(pdf.Printing());
  ASSERT_TRUE(fs::exists(out));

  // A file that can't be written is the printer's error, and the printer is free again after it.
  AnswerPrintDialog(mrOk, [&] {
    Printer()->QtPrinter()->setOutputFileName(QString::fromStdString((dir / "missing" / "x.pdf").string()));
  });
  AnswerSize(nullptr);
  EXPECT_THROW(main->PrintBtnClick(nullptr), EPrinter);
  EXPECT_FALSE(pdf.Printing());
  SetPrinter(&rec);
  ASSERT_GT(fs::file_size(out), 0u);

  const std::string cmd = "pdftoppm -r 50 -png -singlefile '" + out.string() + "' '" + (dir / "page").string() + "'";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  QImage page(QString::fromStdString((dir / "page.png").string()));
  ASSERT_FALSE(page.isNull());
  EXPECT_EQ(page.width(), 425);  // letter at 50 dpi
  EXPECT_EQ(page.height(), 550);
  // Post card: 6 x 4 inches from (0.5 + 1/8) inch, i.e. 300 x 200 pixels from 31.25.
  auto at = [&](int x, int y) { return page.pixel(x, y) & 0xFFFFFF; };
  // The PDF may keep the picture in a lossy coding: colours within a few levels.
  auto near = [&](int x, int y, QRgb want) {
    const QRgb p = page.pixel(x, y);
    return std::abs(qRed(p) - qRed(want)) <= 8 && std::abs(qGreen(p) - qGreen(want)) <= 8 &&
           std::abs(qBlue(p) - qBlue(want)) <= 8;
  };
  const double x0 = 31.25, y0 = 31.25, x1 = x0 + 300, y1 = y0 + 200;
  struct Corner {
    double x, y;
    int dx, dy;
    QRgb inside;
  } corners[] = {{x0, y0, 1, 1, 0xFF0000}, {x1, y0, -1, 1, 0x00FF00}, {x0, y1, 1, -1, 0x0000FF}, {x1, y1, -1, -1, 0}};
  for (const Corner& k : corners) {
    const int ix = int(k.x + 2 * k.dx), iy = int(k.y + 2 * k.dy);
    const int ox = int(k.x - 2 * k.dx), oy = int(k.y - 2 * k.dy);
    EXPECT_TRUE(near(ix, iy, k.inside)) << "inside " << ix << "," << iy << ": " << std::hex << at(ix, iy);
    EXPECT_EQ(at(ox, oy), 0xFFFFFFu) << "outside " << ox << "," << oy;
    EXPECT_EQ(at(ix, oy), 0xFFFFFFu) << "above or below " << ix << "," << oy;
    EXPECT_EQ(at(ox, iy), 0xFFFFFFu) << "beside " << ox << "," << iy;
  }
}

// "Full paper area" on A4 fits the printer's own page, not a letter page: the whole picture
// lies on the paper, an eighth of an inch inside the printable area on every side it touches.
TEST_F(PrintTest, FullPaperAreaFitsAnA4Page) {
  if (std::system("command -v pdftoppm >/dev/null 2>&1") != 0) GTEST_SKIP() << "pdftoppm missing";
  TPrinter pdf;
  SetPrinter(&pdf);
  Open(600, 400);
  const fs::path out = dir / "a4.pdf";
  AnswerPrintToPdf(out, QPageSize::A4);
  AnswerSize([](TOKBottomDlg* d) { return d->RadioButton1; });
  main->PrintBtnClick(nullptr);
  SetPrinter(&rec);
  ASSERT_TRUE(fs::exists(out));
  const std::string cmd = "pdftoppm -r 50 -png -singlefile '" + out.string() + "' '" + (dir / "page").string() + "'";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  const QImage page(QString::fromStdString((dir / "page.png").string()));
  ASSERT_EQ(page.height(), 585);  // A4 at 50 dpi
  auto near = [&](int x, int y, QRgb want) {
    const QRgb p = page.pixel(x, y);
    return std::abs(qRed(p) - qRed(want)) <= 8 && std::abs(qGreen(p) - qGreen(want)) <= 8 &&
           std::abs(qBlue(p) - qBlue(want)) <= 8;
  };
  // The printable area is 8.27 - 1 inches wide; less the margins the picture fills 7.02 inches
  // of it from 0.5 + 1/8 inch: 351 x 234 pixels from 31.25.
  const double inches = (8.2677 - 1) - 0.25;
  const int x0 = 31, y0 = 31, x1 = int(31.25 + inches * 50), y1 = int(31.25 + inches / 1.5 * 50);
  EXPECT_TRUE(near(x0 + 3, y0 + 3, 0xFF0000));
  EXPECT_TRUE(near(x1 - 3, y0 + 3, 0x00FF00)) << std::hex << page.pixel(x1 - 3, y0 + 3);
  EXPECT_TRUE(near(x1 - 3, y1 - 3, 0x000000));
  EXPECT_TRUE(near(x0 + 3, y1 - 3, 0x0000FF));
  for (auto [x, y] : {std::pair{x1 + 3, y0 + 3}, {x1 + 3, y1 - 3}, {x1 - 3, y1 + 3}, {page.width() - 2, y0 + 3}})
    EXPECT_EQ(page.pixel(x, y) & 0xFFFFFF, 0xFFFFFFu) << x << "," << y;
}

// The pages of a PDF file rendered at 50 dpi, in order.
std::vector<QImage> RenderPages(const fs::path& pdf) {
  const fs::path prefix = pdf.parent_path() / (pdf.stem().string() + "-page");
  if (std::system(("pdftoppm -r 50 -png '" + pdf.string() + "' '" + prefix.string() + "'").c_str()) != 0) return {};
  std::vector<std::string> files;
  for (const auto& e : fs::directory_iterator(pdf.parent_path()))
    if (e.path().filename().string().rfind(prefix.filename().string(), 0) == 0) files.push_back(e.path().string());
  std::sort(files.begin(), files.end());
  std::vector<QImage> pages;
  for (const std::string& f : files) pages.emplace_back(QString::fromStdString(f));
  return pages;
}

// The box around everything printed on a page.
QRect InkBox(const QImage& page) {
  QRect box;
  for (int y = 0; y < page.height(); ++y)
    for (int x = 0; x < page.width(); ++x) {
      const QRgb p = page.pixel(x, y);
      if (std::min({qRed(p), qGreen(p), qBlue(p)}) < 200) box |= QRect(x, y, 1, 1);
    }
  return box;
}

// The size dialog prints only on OK, and only the size it shows: after a print, its close box
// prints nothing, and OK with no size ticked prints nothing and says so, each time.
TEST_F(PrintTest, SizeDialogLeftWithoutAShownSizePrintsNothing) {
  TPrinter pdf;
  SetPrinter(&pdf);
  Open(60, 40);
  AnswerPrintToPdf(dir / "card.pdf", QPageSize::Letter);
  AnswerSize([](TOKBottomDlg* d) { return d->RadioButton2; });
  main->PrintBtnClick(nullptr);
  ASSERT_TRUE(fs::exists(dir / "card.pdf"));

  AnswerPrintToPdf(dir / "closed.pdf", QPageSize::Letter);
  answers.push_back([](TModalRequest& r) {
    EXPECT_TRUE(static_cast<TOKBottomDlg*>(r.Form)->RadioButton2->Checked());
    r.Form->Widget()->close();  // as the window manager's close box and Alt+F4 do
    return int(mrNone);
  });
  main->PrintBtnClick(nullptr);
  EXPECT_FALSE(fs::exists(dir / "closed.pdf"));

  AnswerPrintToPdf(dir / "card.pdf", QPageSize::Letter);
  AnswerSize([](TOKBottomDlg* d) { return d->RadioButton2; });
  main->PrintBtnClick(nullptr);
  for (int i = 0; i < 2; ++i) {
    AnswerPrintToPdf(dir / "unticked.pdf", QPageSize::Letter);
    AnswerSize([](TOKBottomDlg* d) {
      for (TRadioButton* b : {d->RadioButton1, d->RadioButton2, d->RadioButton3}) b->SetChecked(false);
      return nullptr;
    });
    AnswerNoSize();
    main->PrintBtnClick(nullptr);
    EXPECT_FALSE(fs::exists(dir / "unticked.pdf"));
  }
  SetPrinter(&rec);
}

// "Halve of paper area" on A4 is half of that page: the whole picture lies inside the
// printable area, which begins half an inch (25 pixels) from each edge.
TEST_F(PrintTest, HalfPaperAreaFitsAnA4Page) {
  if (std::system("command -v pdftoppm >/dev/null 2>&1") != 0) GTEST_SKIP() << "pdftoppm missing";
  TPrinter pdf;
  SetPrinter(&pdf);
  Open(600, 400);
  AnswerPrintToPdf(dir / "half.pdf", QPageSize::A4);
  AnswerSize([](TOKBottomDlg* d) { return d->RadioButton3; });
  main->PrintBtnClick(nullptr);
  SetPrinter(&rec);
  const std::vector<QImage> pages = RenderPages(dir / "half.pdf");
  ASSERT_EQ(pages.size(), 1u);
  const QRect ink = InkBox(pages[0]);
  EXPECT_TRUE(QRect(25, 25, pages[0].width() - 50, pages[0].height() - 50).contains(ink))
      << ink.x() << "," << ink.y() << " " << ink.width() << " x " << ink.height();
  EXPECT_NEAR(double(ink.width()) / ink.height(), 1.5, 0.03);
}

// Three copies asked in the print dialog give three pages, each with the picture.
TEST_F(PrintTest, CopiesAskedArePrinted) {
  if (std::system("command -v pdftoppm >/dev/null 2>&1") != 0) GTEST_SKIP() << "pdftoppm missing";
  TPrinter pdf;
  SetPrinter(&pdf);
  Open(60, 40);
  AnswerPrintToPdf(dir / "copies.pdf", QPageSize::Letter, 3);
  AnswerSize([](TOKBottomDlg* d) { return d->RadioButton2; });
  main->PrintBtnClick(nullptr);
  SetPrinter(&rec);
  const std::vector<QImage> pages = RenderPages(dir / "copies.pdf");
  ASSERT_EQ(pages.size(), 3u);
  // A post card of 6 x 4 inches from (0.5 + 1/8) inch: 300 x 200 pixels from 31.25.
  for (const QImage& page : pages) {
    const QRect ink = InkBox(page);
    EXPECT_TRUE(std::abs(ink.x() - 31) <= 1 && std::abs(ink.width() - 300) <= 1 && std::abs(ink.height() - 200) <= 1)
        << ink.x() << "," << ink.y() << " " << ink.width() << " x " << ink.height();
  }
}

// ---------------------------------------------------------------------------------------------
// Pictures of the dialog for a person to look at: offscreen here, on a virtual X screen below.

std::string ShotFolder() {
  const char* env = std::getenv("PRINT_SHOTS");
  const std::string d = env ? env : std::string(VL_BUILD_DIR) + "/print-shots";
  fs::create_directories(d);
  return d;
}

// Shows the dialog modally with Post card chosen and saves what Grab returns.
QImage GrabDialog(const std::function<QImage(TOKBottomDlg*)>& Grab) {
  auto* d = new TOKBottomDlg(nullptr);
  QImage shot;
  SetModalAnswer([&](TModalRequest&) {
    Click(d->RadioButton2);
    shot = Grab(d);
    return int(mrOk);
  });
  d->ShowModal();
  SetModalAnswer(nullptr);
  d->Free();
  return shot;
}

TEST(PrintSizeShot, DialogOffscreen) {
  if (QGuiApplication::platformName() != "offscreen") GTEST_SKIP() << "offscreen only";
  QImage img = GrabDialog([](TOKBottomDlg* d) {
    EXPECT_EQ(d->Caption(), "Print size");
    EXPECT_EQ(d->HelpContext(), 210);
    QCoreApplication::processEvents();
    return d->Widget()->grab().toImage();
  });
  ASSERT_FALSE(img.isNull());
  EXPECT_EQ(img.width(), 313);
  EXPECT_EQ(img.height(), 214);
  EXPECT_TRUE(img.save(QString::fromStdString(ShotFolder() + "/printsize-offscreen.png")));
  // The blue label and the framed bevel show on the dialog's face.
  int blue = 0;
  for (int y = 14; y < 40; ++y)
    for (int x = 20; x < 200; ++x) {
      const QRgb p = img.pixel(x, y);
      if (qBlue(p) > 150 && qRed(p) < 80 && qGreen(p) < 80) ++blue;
    }
  EXPECT_GT(blue, 20);
}

using vltest::WaitFor;

// Shows the dialog in its own modal loop and runs Step once it is on the screen with the keyboard;
// returns ShowModal's result. A step that leaves the dialog up fails and is ended.
int ShowOnScreen(TOKBottomDlg* d, const std::function<void()>& Step) {
  QWidget* w = d->Widget();
  // A window shown again before the window manager has taken it down stays unmapped.
  EXPECT_TRUE(WaitFor([] { return !QGuiApplication::focusWindow(); }));
  QTimer::singleShot(0, w, [w, Step] {
    // The window system has given it the keyboard.
    EXPECT_TRUE(WaitFor([w] {
      return w->windowHandle() && w->windowHandle()->isExposed() && QGuiApplication::focusWindow() == w->windowHandle();
    }));
    Step();
  });
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [d] {
    ADD_FAILURE() << "the dialog is still up";
    d->SetModalResult(mrAbort);
  });
  guard.start(120000);
  return d->ShowModal();
}

// What the dialog shows, checked on the grab of its window: the blue label, a tick in the
// chosen size only, and a text on every radio button and button.
void ExpectShown(TOKBottomDlg* d, const QImage& shot, const QPoint& face, int ticked) {
  auto inside = [&](TControl* c, const std::function<bool(QRgb)>& ink) {
    int n = 0;
    for (int y = c->Top(); y < c->Top() + c->Height(); ++y)
      for (int x = c->Left(); x < c->Left() + c->Width(); ++x) n += ink(shot.pixel(face + QPoint(x, y)));
    return n;
  };
  auto dark = [](QRgb p) { return qGray(p) < 90; };
  EXPECT_GT(inside(d->Label1, [](QRgb p) { return qBlue(p) > 150 && qRed(p) < 90 && qGreen(p) < 90; }), 20);
  for (TControl* c : std::vector<TControl*>{d->RadioButton1, d->RadioButton3, d->RadioButton2, d->OKBtn, d->CancelBtn})
    EXPECT_GT(inside(c, dark), 20) << c->Caption() << " shows no text";
  // The tick is the darkest part of the round box at the button's left.
  TRadioButton* radios[] = {d->RadioButton1, d->RadioButton2, d->RadioButton3};
  for (int k = 0; k < 3; ++k) {
    TRadioButton* r = radios[k];
    const QWidget* w = r->Widget();
    const int box = w->style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, w);
    const QPoint mid = face + QPoint(r->Left() + box / 2, r->Top() + r->Height() / 2);
    int filled = 0;
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx) filled += qGray(shot.pixel(mid + QPoint(dx, dy))) < 128;
    EXPECT_EQ(filled >= 5, k + 1 == ticked) << r->Caption() << " tick";
  }
}

// Runs on the virtual screen, started by the test after it: the dialog lies on the screen with
// every control whole, inside its frame, apart from the others and showing its whole text; it
// shows the size OK will print; Escape and the window's close box never choose one.
TEST(XvfbPrintSize, DialogOnScreen) {
  const char* out = std::getenv("PRINT_SHOTS_XVFB");
  if (!out || QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "runs on the virtual screen only";
  const std::string base = std::string(out).substr(0, std::string(out).size() - 4) + "-" + std::getenv("VL_SCREEN");
  auto* d = new TOKBottomDlg(nullptr);
  QWidget* w = d->Widget();
  auto grab = [&](const std::string& name, int ticked) {
    EXPECT_TRUE(vltest::WaitOnScreen(w));  // the last paint has reached the screen
    const QRect frame = w->frameGeometry();
    const QImage shot =
        QGuiApplication::primaryScreen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height()).toImage();
    ASSERT_TRUE(shot.save(QString::fromStdString(base + "-" + name + ".png")));
    ExpectShown(d, shot, w->mapToGlobal(QPoint(0, 0)) - frame.topLeft(), ticked);
  };
  // Keys and clicks come through the window, as the window system delivers them.
  auto key = [&](Qt::Key k) { QTest::keyClick(w->windowHandle(), k); };
  auto click = [&](TControl* c) {
    QTest::mouseClick(w->windowHandle(), Qt::LeftButton, {}, c->Widget()->mapTo(w, QPoint(8, c->Height() / 2)));
  };

  // First showing: nothing ticked; Escape leaves without a size.
  EXPECT_EQ(
      ShowOnScreen(
          d,
          [&] {
            EXPECT_TRUE(QGuiApplication::primaryScreen()->availableGeometry().contains(w->frameGeometry()));
            const std::vector<TControl*> inBevel{d->Label1, d->RadioButton1, d->RadioButton3, d->RadioButton2};
            for (TControl* c : inBevel) {
              const TRect a = c->BoundsRect(), b = d->Bevel1->BoundsRect();
              EXPECT_TRUE(a.Left > b.Left && a.Top > b.Top && a.Right < b.Right && a.Bottom < b.Bottom)
                  << c->Caption() << " leaves the frame";
            }
            std::vector<TControl*> all = inBevel;
            all.insert(all.end(), {d->OKBtn, d->CancelBtn});
            for (size_t i = 0; i < all.size(); ++i) {
              const TRect a = all[i]->BoundsRect();
              EXPECT_TRUE(a.Left >= 0 && a.Top >= 0 && a.Right <= d->ClientWidth() && a.Bottom <= d->ClientHeight())
                  << all[i]->Caption() << " leaves the dialog";
              const QFontMetrics m(all[i]->Font()->QtFont());
              EXPECT_LE(m.height(), a.Bottom - a.Top) << all[i]->Caption();
              const int text = m.horizontalAdvance(QString::fromStdString(all[i]->Caption()));
              const int need = dynamic_cast<TRadioButton*>(all[i]) ? all[i]->Widget()->sizeHint().width()
                               : dynamic_cast<TButton*>(all[i])    ? text + 8
                                                                   : text;
              EXPECT_LE(need, a.Right - a.Left) << all[i]->Caption() << " is cut";
              for (size_t k = i + 1; k < all.size(); ++k) {
                const TRect b = all[k]->BoundsRect();
                EXPECT_TRUE(a.Right <= b.Left || b.Right <= a.Left || a.Bottom <= b.Top || b.Bottom <= a.Top)
                    << all[i]->Caption() << " covers " << all[k]->Caption();
              }
            }
            grab("none", 0);
            key(Qt::Key_Escape);
          }),
      mrCancel);
  EXPECT_EQ(d->PrintChoice, kPrintNone);

  // Post card chosen with the mouse, OK with Enter.
  EXPECT_EQ(ShowOnScreen(d,
                         [&] {
                           click(d->RadioButton2);
                           key(Qt::Key_Return);
                         }),
            mrOk);
  EXPECT_EQ(d->PrintChoice, kPrintPostCard);

  // The next showing ticks it; the close box leaves without a size, even one just clicked.
  EXPECT_NE(ShowOnScreen(d,
                         [&] {
                           grab("card", 2);
                           click(d->RadioButton1);
                           w->windowHandle()->close();
                         }),
            mrOk);
  EXPECT_EQ(d->PrintChoice, kPrintNone);
  d->Free();
}

TEST(PrintSizeShot, DialogUnderXvfb) {
  const std::string out = ShotFolder() + "/printsize-xvfb.png";
  VLTEST_RUN_ON_SCREEN("PRINT_SHOTS_XVFB", out, "1280x1024", "XvfbPrintSize.*");
  VLTEST_RUN_ON_SCREEN("PRINT_SHOTS_XVFB", out, "800x600", "XvfbPrintSize.*");
}

}  // namespace
