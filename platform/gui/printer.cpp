#include "platform/gui/printer.h"

#include <QImage>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <algorithm>

#include "platform/core/exceptions.h"
#include "platform/gui/controls.h"

namespace {
TPrinter* gInstalled = nullptr;

// The copies this side of the device has to print: a PDF file takes every copy as a page;
// a system printer makes its copies itself.
int CopiesToDraw(QPrinter* p) { return p && !p->supportsMultipleCopies() ? std::max(p->copyCount(), 1) : 1; }
}  // namespace

struct TPrinter::TDrawn {
  QRect To;
  QImage Picture;
};

TPrinter::TPrinter() = default;

TPrinter::~TPrinter() {
  // A document still running when the printer goes is dropped, not sent half-made.
  if (FPainter) {
    if (FPrinter) FPrinter->abort();
    FPainter->end();
  }
}

QPrinter* TPrinter::QtPrinter() {
  if (!FPrinter) FPrinter = std::make_unique<QPrinter>(QPrinter::HighResolution);
  return FPrinter.get();
}

void TPrinter::BeginDoc() {
  if (FPrinting) throw EPrinter(SPrinting);
  QPrinter* p = QtPrinter();
  auto painter = std::make_unique<QPainter>();
  if (!p || !painter->begin(p)) throw EPrinter(SInvalidPrinter);
  FPainter = std::move(painter);
  FDrawn.clear();
  FPrinting = true;
}

void TPrinter::EndDoc() {
  if (!FPrinting) throw EPrinter(SNotPrinting);
  bool sent = true;
  for (int copy = 1; sent && copy < CopiesToDraw(FPrinter.get()); ++copy) {
    sent = FPrinter->newPage();
    for (const TDrawn& d : FDrawn)
      if (sent) FPainter->drawImage(d.To, d.Picture);
  }
  FDrawn.clear();
  FPrinting = false;
  if (!sent) FPrinter->abort();
  sent = FPainter->end() && sent;
  FPainter.reset();
  if (!sent) throw EPrinter("The document could not be printed");
}

void TPrinter::Abort() {
  if (!FPrinting) return;
  FPrinting = false;
  FDrawn.clear();
  if (FPrinter) FPrinter->abort();
  FPainter->end();
  FPainter.reset();
}

int TPrinter::PageWidth() {
  QPrinter* p = QtPrinter();
  return p ? p->width() : 0;
}

int TPrinter::PageHeight() {
  QPrinter* p = QtPrinter();
  return p ? p->height() : 0;
}

int TPrinter::GetDeviceCaps(int Index) {
  QPrinter* p = QtPrinter();
  if (!p) return 0;
  switch (Index) {
    case LOGPIXELSX: return p->logicalDpiX();
    case LOGPIXELSY: return p->logicalDpiY();
    case RASTERCAPS: return 0;
    default: return 0;
  }
}

void TPrinter::StretchDraw(const TRect& Dest, TBitmap* Source) {
  if (!FPrinting) throw EPrinter(SNotPrinting);
  if (!Source || Source->Empty() || !Source->Bits()) return;
  // The page takes 24-bit rows; other formats go through their palette first.
  TBitmap rows;
  TBitmap* src = Source;
  if (Source->BitsPerPixel() != 24) {
    rows.Assign(Source);
    rows.SetPixelFormat(pf24bit);
    src = &rows;
  }
  const QImage img(src->Bits(), src->Width(), src->Height(), qsizetype(src->RowBytes()), QImage::Format_BGR888);
  const QRect to(Dest.Left, Dest.Top, Dest.Right - Dest.Left, Dest.Bottom - Dest.Top);
  FPainter->drawImage(to, img);
  if (CopiesToDraw(FPrinter.get()) > 1) FDrawn.push_back({to, img.copy()});
}

TPrinter* Printer() {
  if (gInstalled) return gInstalled;
  // The system printer lives to the end of the run.
  static TPrinter* system = new TPrinter;
  return system;
}

TPrinter* SetPrinter(TPrinter* p) {
  TPrinter* old = gInstalled;
  gInstalled = p;
  return old;
}

bool TPrintDialog::Execute() {
  TModalRequest r;
  r.Kind = mkPrint;
  r.HelpContext = FHelpContext;
  r.Dialog = this;
  if (OnShow) OnShow(this);
  bool ok;
  if (HasModalAnswer() || HeadlessPlatform()) {
    ok = RunModal(r) == mrOk;
  } else if (QPrinter* q = Printer()->QtPrinter()) {
    QPrintDialog d(q);
    ok = d.exec() == QDialog::Accepted;
  } else {
    ok = false;
  }
  if (OnClose) OnClose(this);
  return ok;
}
