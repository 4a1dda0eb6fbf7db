// The print-size dialog and the print routine that the editor and the viewer share: a picture
// goes on one page at the whole paper area, a post card or half the paper, keeping its aspect
// ratio, an eighth of an inch from the top left of the printable area.
//
// A program creates one TOKBottomDlg at start-up and keeps it for the run (the choice lives in
// it), owns a TPrintDialog, and prints with PrintPicture:
//
//   if (PrintPicture(PrintDialog1, OKBottomDlg, Image1->Picture()->Bitmap(), kPostCardInches)) ...
//
// The post card's long side is the only difference between the programs: 6 inches
// (kPostCardInches) for the editor and the slide show, 5.5 (kPhotoPostCardInches) for the
// photo view.
#pragma once

#include "platform/core/bitmap.h"
#include "platform/gui/controls.h"
#include "platform/gui/printer.h"
#include "platform/gui/stdctrls.h"

// The sizes of the dialog; 0 is no choice.
inline constexpr const char* SNoPrintSize = "No print size was chosen, so nothing was printed.";
constexpr int kPrintNone = 0, kPrintFullPaper = 1, kPrintPostCard = 2, kPrintHalfPaper = 3;
// Long side of the post card in inches (its short side is 4).
constexpr double kPostCardInches = 6.0;
constexpr double kPhotoPostCardInches = 5.5;

class TOKBottomDlg : public TForm {
 public:
  explicit TOKBottomDlg(TComponent* AOwner);
  TBevel* Bevel1;
  TLabel* Label1;
  TRadioButton* RadioButton1;  // "Full paper area"
  TRadioButton* RadioButton3;  // "Halve of paper area"
  TRadioButton* RadioButton2;  // "Post card"
  TButton* OKBtn;
  TButton* CancelBtn;

  // The size to print (kPrintNone at start): the one ticked when the dialog was last left with
  // OK. Cancel, Escape and the close box clear it.
  int PrintChoice = kPrintNone;

  void RadioButton1Click(TObject* Sender);
  void RadioButton2Click(TObject* Sender);
  void RadioButton3Click(TObject* Sender);
  void CancelBtnClick(TObject* Sender);
  // Ticks the size that OK will print, or none.
  void FormActivate(TObject* Sender);
  void FormClose(TObject* Sender, TCloseAction& Action);
};

// Width / height of a picture; 0 when it has no pixels.
double PictureRatio(const TBitmap* Picture);

// The box the whole paper area fills, in inches: the printer's printable page less an eighth
// of an inch on every side (0 x 0 for a printer that tells no page or resolution).
struct TPaperBox {
  double Width = 0, Height = 0;
};
TPaperBox PaperBox(TPrinter* Device);

// Printed width in inches of a picture of aspect ratio Ratio (width / height) for a choice of
// the dialog; the height is the width / Ratio. Paper: the box of the whole paper area; half of
// it is that box cut across its longer side, turned to lie as the picture does and kept inside
// the paper (8.5 x 5.5 or 5.5 x 8.5 on a letter sheet). 0 for no choice, an unknown one, or a
// ratio or paper that is not a positive number.
double PrintWidth(int Choice, double Ratio, TPaperBox Paper, double PostCardLong = kPostCardInches);

// Prints Picture on one page of Printer(), Width inches wide and Width / Ratio high, an eighth
// of an inch from the top left. Prints nothing when the width or the ratio is not a positive
// number. Printer errors are raised as EPrinter; a document that fails halfway is dropped.
void PrintImage(TBitmap* Picture, double Width, double Ratio);

// Draws Picture stretched to Width x Height device pixels at (X, Y) on the page being printed.
void BltTBitmapAsDib(TPrinter* Device, int X, int Y, TBitmap* Picture, int Width, int Height);

// The print command once the picture is ready: the system's print dialog (cancelled: nothing),
// the size dialog (left without OK: nothing; OK with no size ticked: nothing, and a message that
// says so), then the picture at the chosen size. True when a page was printed.
bool PrintPicture(TPrintDialog* PrintDialog, TOKBottomDlg* SizeDialog, TBitmap* Picture,
                  double PostCardLong = kPostCardInches);
