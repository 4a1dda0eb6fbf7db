// The processing component's clipboard operations and hidden text, headless, over the
// system clipboard as other programs see it; and the editor's clipboard commands.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/gui/clipboard.h"
#include "platform/gui/controls.h"
#include "quillon/mainform.h"
#include "quillon/program.h"
#include "vistrel/proc/kernels/packeddib.h"
#include "vistrel/proc/kernels/pixels.h"
#include "vistrel/proc/vistrelproc.h"
#include "vistrel/view/vistrelview.h"

namespace {

void Pattern(TBitmap* b, int w, int h, uint32_t seed = 1) {
  b->SetPixelFormat(pf24bit);
  b->SetSize(w, h);
  for (int y = 0; y < h; ++y) {
    uint8_t* p = b->ScanLine(y);
    for (int x = 0; x < w * 3; ++x) p[x] = uint8_t((seed = seed * 1103515245u + 12345u) >> 16);
  }
}

TRGB Px(TBitmap* b, int x, int y) {
  const uint8_t* p = b->ScanLine(y) + 3 * x;
  return TRGB{p[0], p[1], p[2]};
}

// The box X1..X2, Y1..Y2 of Source as a new picture.
std::unique_ptr<TBitmap> Box(TBitmap* Source, int X1, int Y1, int X2, int Y2) {
  auto b = std::make_unique<TBitmap>();
  VLCopyBitmapRect(Source, b.get(), X1, Y1, X2, Y2);
  return b;
}

std::unique_ptr<TBitmap> Copy(TBitmap* Source) {
  auto b = std::make_unique<TBitmap>();
  VLCopyBitmap(Source, b.get());
  return b;
}

// What a paste into a fresh picture gives.
std::unique_ptr<TBitmap> Pasted() {
  auto b = std::make_unique<TBitmap>();
  Pattern(b.get(), 1, 1);
  TVistrelProc p(nullptr);
  p.SetAttachedBitmap(b.get());
  p.PasteFromClipboard();
  return b;
}

QImage ToImage(TBitmap* b) {
  return QImage(b->Bits(), b->Width(), b->Height(), int(b->RowBytes()), QImage::Format_BGR888).copy();
}

bool SameImage(const QImage& a, const QImage& b) {
  if (a.size() != b.size()) return false;
  const QImage x = a.convertToFormat(QImage::Format_RGB888), y = b.convertToFormat(QImage::Format_RGB888);
  for (int r = 0; r < x.height(); ++r)
    if (std::memcmp(x.constScanLine(r), y.constScanLine(r), size_t(x.width()) * 3) != 0) return false;
  return true;
}

class ClipboardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Clipboard()->Clear();
    form = new TForm(nullptr);
    form->SetBounds(0, 0, 400, 300);
    view = new TVistrelView(form);
    view->SetParent(form);
    view->SetBounds(0, 0, 200, 200);
    view->SetSelectionBase(vlsbBitmap);
    Pattern(view->Bitmap(), 40, 30);
    view->Update();
    proc = new TVistrelProc(form);
    proc->SetAttachedVistrel(view);
  }
  void TearDown() override {
    TClipboard::SetHeldElsewhere(false);
    FreeAndNil(form);
    Clipboard()->Clear();
  }

  TForm* form = nullptr;
  TVistrelView* view = nullptr;
  TVistrelProc* proc = nullptr;
};

}  // namespace

TEST_F(ClipboardTest, CopyThenPasteGivesTheSamePixelsHereAndElsewhere) {
  TBitmap* b = view->Bitmap();
  proc->CopyToClipboard();
  EXPECT_FALSE(proc->CanUndo());
  auto back = Pasted();
  EXPECT_EQ(back->PixelFormat(), pf24bit);
  EXPECT_TRUE(VLSameBitmap(back.get(), b));
  // Other programs find the same picture as PNG and as Qt's own image.
  const QMimeData* m = QGuiApplication::clipboard()->mimeData();
  ASSERT_NE(m, nullptr);
  ASSERT_TRUE(m->formats().contains("image/png"));
  EXPECT_TRUE(SameImage(QImage::fromData(m->data("image/png"), "PNG"), ToImage(b)));
  EXPECT_TRUE(SameImage(qvariant_cast<QImage>(m->imageData()), ToImage(b)));

  // A 1-bit picture comes back 1-bit, bit for bit, into a true-colour one.
  TBitmap mono;
  mono.SetPixelFormat(pf1bit);
  mono.SetSize(21, 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 21; ++x) VLSetBit(mono.ScanLine(y), x, (x * 7 + y) % 3 == 0);
  TVistrelProc p(nullptr);
  p.SetAttachedBitmap(&mono);
  p.CopyToClipboard();
  back = Pasted();
  ASSERT_EQ(back->PixelFormat(), pf1bit);
  ASSERT_EQ(back->Width(), 21);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 21; ++x) EXPECT_EQ(!VLGetBit(back->ScanLine(y), x), !VLGetBit(mono.ScanLine(y), x));
  const QImage png = QImage::fromData(QGuiApplication::clipboard()->mimeData()->data("image/png"), "PNG");
  EXPECT_EQ(png.pixelColor(0, 0), QColor(Qt::white));
  EXPECT_EQ(png.pixelColor(1, 0), QColor(Qt::black));
}

TEST_F(ClipboardTest, ASelectionCopiesOnlyItsBox) {
  TBitmap* b = view->Bitmap();
  view->Select(5, 4, 14, 10);
  proc->CopySelectionToClipboard();
  auto back = Pasted();
  EXPECT_TRUE(VLSameBitmap(back.get(), Box(b, 5, 4, 14, 10).get()));
  // A selection reaching past the picture copies what lies inside.
  view->Select(30, 20, 60, 50);
  proc->CopySelectionToClipboard();
  back = Pasted();
  EXPECT_TRUE(VLSameBitmap(back.get(), Box(b, 30, 20, 39, 29).get()));
  // A polygon: its box, black outside it.
  view->DeSelect();
  view->AddSelPoint(4, 4);
  view->AddSelPoint(24, 4);
  view->AddSelPoint(4, 24);
  proc->CopySelectionToClipboard();
  back = Pasted();
  ASSERT_EQ(back->Width(), 21);
  ASSERT_EQ(back->Height(), 21);
  EXPECT_EQ(Px(back.get(), 2, 2), Px(b, 6, 6));
  EXPECT_EQ(Px(back.get(), 18, 18), (TRGB{0, 0, 0}));
}

TEST_F(ClipboardTest, CutClearsOnlyAfterASuccessfulCopy) {
  TBitmap* b = view->Bitmap();
  const auto before = Copy(b);
  view->SetBackground(TColor(0x0000FF));  // red
  // Without a selection nothing happens, not even to the undo copy.
  proc->CutSelectionToClipboard();
  EXPECT_TRUE(VLSameBitmap(b, before.get()));
  EXPECT_FALSE(proc->CanUndo());
  EXPECT_FALSE(Clipboard()->HasFormat(CF_DIB));
  // A clipboard held by another program: nothing is copied, so nothing is cleared.
  view->Select(2, 3, 11, 8);
  Clipboard()->SetAsText("theirs");
  TClipboard::SetHeldElsewhere(true);
  proc->CutSelectionToClipboard();
  TClipboard::SetHeldElsewhere(false);
  EXPECT_TRUE(VLSameBitmap(b, before.get()));
  EXPECT_FALSE(proc->CanUndo());
  EXPECT_EQ(Clipboard()->AsText(), "theirs");
  // Copied, then cleared to the background; undo gives the picture back.
  proc->CutSelectionToClipboard();
  EXPECT_TRUE(VLSameBitmap(Pasted().get(), Box(before.get(), 2, 3, 11, 8).get()));
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) {
      const bool inside = x >= 2 && x <= 11 && y >= 3 && y <= 8;
      ASSERT_EQ(Px(b, x, y), inside ? (TRGB{0, 0, 255}) : Px(before.get(), x, y)) << x << "," << y;
    }
  proc->Undo();
  EXPECT_TRUE(VLSameBitmap(b, before.get()));

  // Clear fills the whole picture.
  proc->ClearImage();
  EXPECT_EQ(Px(b, 0, 0), (TRGB{0, 0, 255}));
  EXPECT_EQ(Px(b, 39, 29), (TRGB{0, 0, 255}));
  proc->Undo();
  EXPECT_TRUE(VLSameBitmap(b, before.get()));
}

TEST_F(ClipboardTest, GarbageLeavesThePictureAndItsUndo) {
  TBitmap* b = view->Bitmap();
  const auto original = Copy(b);
  proc->Negative();
  const auto negative = Copy(b);
  const std::vector<std::vector<uint8_t>> garbage = {
      {1, 2, 3},
      std::vector<uint8_t>(200, 0xFF),
      VLPackedDIBBytes(original.get(), 0, 0, 39, 29),
  };
  for (size_t i = 0; i < garbage.size(); ++i) {
    std::vector<uint8_t> g = garbage[i];
    if (i == 2) g.resize(g.size() - 100);  // rows missing
    Clipboard()->SetDIB(g);
    proc->PasteFromClipboard();
    view->Select(1, 1, 5, 5);
    proc->PasteToSelection();
    view->DeSelect();
    EXPECT_TRUE(VLSameBitmap(b, negative.get())) << i;
  }
  // Text only: nothing either.
  Clipboard()->SetAsText("no picture");
  proc->PasteFromClipboard();
  EXPECT_TRUE(VLSameBitmap(b, negative.get()));
  proc->Undo();
  EXPECT_TRUE(VLSameBitmap(b, original.get()));
}

TEST_F(ClipboardTest, AnotherProgramsPngPastes) {
  // Another client offers PNG alone.
  QImage theirs(6, 4, QImage::Format_RGB888);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) theirs.setPixelColor(x, y, QColor(40 * x, 60 * y, 255 - 30 * x));
  QByteArray png;
  QBuffer buf(&png);
  buf.open(QIODevice::WriteOnly);
  ASSERT_TRUE(theirs.save(&buf, "PNG"));
  auto offer = [&png] {
    auto* m = new QMimeData;
    m->setData("image/png", png);
    QGuiApplication::clipboard()->setMimeData(m);
  };
  offer();
  ASSERT_TRUE(Clipboard()->HasFormat(CF_DIB));
  proc->PasteFromClipboard();
  TBitmap* b = view->Bitmap();
  ASSERT_EQ(b->PixelFormat(), pf24bit);
  EXPECT_TRUE(SameImage(ToImage(b), theirs));
  EXPECT_TRUE(proc->CanUndo());
  // Stretched into a selection twice its size: each of their pixels covers 2 x 2 of ours.
  Pattern(b, 20, 20);
  view->Update();
  view->Select(4, 2, 15, 9);
  offer();
  proc->PasteToSelection();
  EXPECT_EQ(b->Width(), 20);
  EXPECT_EQ(Px(b, 4, 2), (TRGB{255, 0, 0}));
  EXPECT_EQ(Px(b, 15, 9), (TRGB{105, 180, 200}));
  EXPECT_EQ(Px(b, 7, 5), (TRGB{225, 60, 40}));
  // A picture over the bitmap limit is not taken.
  const auto before = Copy(b);
  const int64_t limit = TBitmap::MaxBytes();
  TBitmap::SetMaxBytes(50);
  offer();
  proc->PasteFromClipboard();
  TBitmap::SetMaxBytes(limit);
  EXPECT_TRUE(VLSameBitmap(b, before.get()));
}

TEST_F(ClipboardTest, HiddenTextReadsBackAndNeverOverflows) {
  TBitmap* b = view->Bitmap();
  // The carriers are every byte of a row but the last pixel's green and red.
  EXPECT_EQ(proc->GetHiddenTextSpace(), (40 * 3 - 2) * 30 / 8 - 8);
  const uint8_t msg[10] = {'V', 'e', 'l', 'm', 'o', 'r', 'a', 0, 0xFF, 0x81};
  // Extremes: a 255 carrier taking a 0 bit and a 254 one taking a 1 stay within 1.
  b->ScanLine(0)[0] = 255;  // first header bit is 0
  b->ScanLine(8)[3 * 4] = 254;
  const auto edited = Copy(b);
  ASSERT_EQ(proc->WriteHiddenText(msg, 10), 10);
  EXPECT_EQ(b->ScanLine(0)[0], 254);
  for (int y = 0; y < 30; ++y)
    for (int i = 0; i < 120; ++i) {
      ASSERT_LE(std::abs(b->ScanLine(y)[i] - edited->ScanLine(y)[i]), 1) << y << "," << i;
      if (i >= 118) {
        ASSERT_EQ(b->ScanLine(y)[i], edited->ScanLine(y)[i]);  // not carriers
      }
    }
  uint8_t out[16] = {};
  EXPECT_EQ(proc->ReadHiddenText(out, 16), 10);
  EXPECT_EQ(std::memcmp(out, msg, 10), 0);
  EXPECT_EQ(proc->ReadHiddenText(nullptr, 0), 10);
  std::memset(out, 0, sizeof out);
  EXPECT_EQ(proc->ReadHiddenText(out, 4), 10);
  EXPECT_EQ(std::memcmp(out, msg, 4), 0);
  EXPECT_EQ(out[4], 0);
  proc->Undo();
  EXPECT_TRUE(VLSameBitmap(b, edited.get()));

  // The whole space is usable, and one byte more is refused, not cut short.
  const int space = proc->GetHiddenTextSpace();
  std::vector<uint8_t> text(size_t(space) + 1);
  for (size_t i = 0; i < text.size(); ++i) text[i] = uint8_t(i * 7 + 3);
  proc->ClearUndo();
  EXPECT_EQ(proc->WriteHiddenText(text.data(), space + 1), 0);
  EXPECT_TRUE(VLSameBitmap(b, edited.get()));
  EXPECT_FALSE(proc->CanUndo());
  ASSERT_EQ(proc->WriteHiddenText(text.data(), space), space);
  std::vector<uint8_t> read(size_t(space) + 1, 0);
  EXPECT_EQ(proc->ReadHiddenText(read.data(), space + 1), space);
  EXPECT_EQ(std::memcmp(read.data(), text.data(), size_t(space)), 0);

  // Low bits that claim more than the picture holds are no hidden text: the length is
  // carried by bytes 32..63 of row 0.
  for (int i = 32; i < 64; ++i) b->ScanLine(0)[i] |= 1;
  EXPECT_EQ(proc->ReadHiddenText(read.data(), space), 0);
  // Other formats hold none.
  proc->ConvertToBWThreshold(128);
  EXPECT_EQ(proc->GetHiddenTextSpace(), 0);
  EXPECT_EQ(proc->WriteHiddenText(msg, 10), 0);
  EXPECT_EQ(proc->ReadHiddenText(out, 10), 0);
}

TEST(HiddenText, SmallPicturesRefuseWhatTheirCarriersCantHold) {
  for (int w = 1; w <= 8; ++w)
    for (int h = 1; h <= 8; ++h) {
      TBitmap b;
      Pattern(&b, w, h, uint32_t(w * 16 + h));
      TVistrelProc p(nullptr);
      p.SetAttachedBitmap(&b);
      const int64_t bytes = (int64_t(w) * 3 - 2) * h / 8;  // header included
      const int space = p.GetHiddenTextSpace();
      ASSERT_EQ(space, std::max<int64_t>(bytes - 8, 0)) << w << "x" << h;
      for (int len = 0; len <= space + 1; ++len) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + " length " + std::to_string(len));
        Pattern(&b, w, h, uint32_t(len + 7));
        const auto before = Copy(&b);
        std::vector<uint8_t> text(size_t(len) + 1);
        for (int i = 0; i < len; ++i) text[size_t(i)] = uint8_t(0xA5 ^ (i * 31));
        p.ClearUndo();
        if (bytes < 8 + len) {
          EXPECT_EQ(p.WriteHiddenText(text.data(), len), 0);
          EXPECT_TRUE(VLSameBitmap(&b, before.get()));
          EXPECT_FALSE(p.CanUndo());
          continue;
        }
        ASSERT_EQ(p.WriteHiddenText(text.data(), len), len);
        // Only carriers changed: the last pixel's green and red and the row padding did not.
        for (int y = 0; y < h; ++y)
          for (int64_t i = w * 3 - 2; i < b.RowBytes(); ++i)
            ASSERT_EQ(b.ScanLine(y)[i], before->ScanLine(y)[i]) << y << "," << i;
        std::vector<uint8_t> read(size_t(len) + 1, 0);
        EXPECT_EQ(p.ReadHiddenText(read.data(), len), len);
        EXPECT_EQ(std::memcmp(read.data(), text.data(), size_t(len)), 0);
      }
    }
}

TEST(EditorClipboard, CopyThenPasteToNewGivesTheSelection) {
  Clipboard()->Clear();
  SetModalAnswer([](TModalRequest&) { return int(mrCancel); });
  quillon::TMainForm* main = quillon::StartQuillon();
  main->Show();
  QCoreApplication::processEvents();
  main->FileNewItemClick(nullptr);
  quillon::TMDIChild* src = main->ActiveChild();
  ASSERT_NE(src, nullptr);
  TBitmap* b = src->VistrelVect1->Bitmap();
  Pattern(b, 30, 20);
  src->VistrelVect1->Update();
  src->VistrelVect1->SetSelectionBase(vlsbBitmap);
  src->VistrelVect1->Select(3, 2, 12, 9);
  main->CopyItemClick(nullptr);
  main->PasteItemClick(nullptr);
  quillon::TMDIChild* pasted = main->ActiveChild();
  ASSERT_NE(pasted, src);
  EXPECT_EQ(pasted->Caption(), "Velmora-New2.jpg");
  EXPECT_TRUE(VLSameBitmap(pasted->VistrelVect1->Bitmap(), Box(b, 3, 2, 12, 9).get()));
  // Cut clears the selection to the view's background; Clear the whole picture.
  src->BringToFront();
  ASSERT_EQ(main->ActiveChild(), src);
  // Activating a document drops its selection; select again.
  src->VistrelVect1->Select(3, 2, 12, 9);
  const TColor bg = src->VistrelVect1->Background();
  main->CutItemClick(nullptr);
  const uint8_t* p = b->ScanLine(5) + 3 * 5;
  EXPECT_EQ(RGB(p[2], p[1], p[0]), ColorToRGB(bg));
  main->Clear1Click(nullptr);
  p = b->ScanLine(0);
  EXPECT_EQ(RGB(p[2], p[1], p[0]), ColorToRGB(bg));

  quillon::StopQuillon(main);
  SetModalAnswer(nullptr);
  QCoreApplication::processEvents();
  Clipboard()->Clear();
}
