// The printer: one document of pages on the system's printer (or a PDF file) chosen in the
// print dialog. Programs reach it through Printer(); tests install a printer of their own
// with SetPrinter, so they can record what is printed or print to a file.
#pragma once
#include <memory>
#include <vector>

#include "platform/core/bitmap.h"
#include "platform/core/object.h"
#include "platform/core/types.h"
#include "platform/gui/dialogs.h"

class QPainter;
class QPrinter;

// Device facts that GetDeviceCaps answers.
constexpr int RASTERCAPS = 38, LOGPIXELSX = 88, LOGPIXELSY = 90;
// RASTERCAPS bit of a device that draws through a colour palette (never set here: Qt's devices
// are true colour).
constexpr int RC_PALETTE = 0x100;

inline constexpr const char* SPrinting = "Printing in progress";
inline constexpr const char* SNotPrinting = "Printer is not currently printing";
inline constexpr const char* SInvalidPrinter = "Printer selected is not valid";

class TPrinter : public TObject {
 public:
  TPrinter();
  ~TPrinter() override;

  // Starts a document; raises EPrinter when one is running or the printer can't start.
  virtual void BeginDoc();
  // Ends the document and sends it, as many copies as the print dialog asked for; raises
  // EPrinter when none is running.
  virtual void EndDoc();
  // Drops the document that is running.
  virtual void Abort();
  bool Printing() const { return FPrinting; }

  // The printable area of a page, in device pixels.
  virtual int PageWidth();
  virtual int PageHeight();
  // LOGPIXELSX, LOGPIXELSY (dots per inch) and RASTERCAPS of the device; 0 for other indexes.
  virtual int GetDeviceCaps(int Index);
  // Draws a bitmap stretched into Dest (device pixels from the printable area's top left) on
  // the page being printed; raises EPrinter when no document is running.
  virtual void StretchDraw(const TRect& Dest, TBitmap* Source);

  // The system printer the print dialog edits; null for a printer that is not Qt's.
  virtual QPrinter* QtPrinter();

 protected:
  bool FPrinting = false;

 private:
  struct TDrawn;
  std::unique_ptr<QPrinter> FPrinter;
  std::unique_ptr<QPainter> FPainter;
  // What the page shows, kept to be drawn again for copies the device doesn't make itself.
  std::vector<TDrawn> FDrawn;
};

// The printer of the program (made on first use).
TPrinter* Printer();
// Installs another printer and returns the one it replaces (null when none was made yet); the
// caller owns both. Null goes back to the system printer.
TPrinter* SetPrinter(TPrinter* p);

// The system's print dialog on Printer(): printer, page and copies as the system offers them.
class TPrintDialog : public TCommonDialog {
 public:
  explicit TPrintDialog(TComponent* owner) : TCommonDialog(owner) {}
  // The answerer sets up Printer() (its QtPrinter when it has one) and returns mrOk to print.
  bool Execute() override;
};
