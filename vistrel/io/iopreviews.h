// The save-parameters dialog: one page of options per format (JPEG, TIFF, GIF, BMP, PCX,
// PNG) for a parameter record, with the picture encoded by those options shown beside the
// source and the encoded size in bytes. OK writes the active page's options into the record.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/gui/controls.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/stdctrls.h"
#include "vistrel/io/vistrel.h"

// Page set bits of SetPages and DoPreviews.
enum TIOPreviewsPage : uint8_t {
  iopAllPages = 1,
  iopFileTypePage = 2,  // the page of the record's file type
  iopJPEG = 4,
  iopTIFF = 8,
  iopGIF = 16,
  iopBMP = 32,
  iopPCX = 64,
  iopPNG = 128,
};

class TfIOPreviews : public TForm {
 public:
  explicit TfIOPreviews(TComponent* AOwner);
  ~TfIOPreviews() override;

  // What the caller gives before showing: the record (not owned; changed only by OK) and
  // whether the preview starts locked.
  TIOParamsVals* Params() const { return FParams; }
  void SetParams(TIOParamsVals* Value) { FParams = Value; }
  bool DefaultLockPreview() const { return FDefaultLock; }
  void SetDefaultLockPreview(bool Value) { FDefaultLock = Value; }
  // Stores the page set; false only for the set iopFileTypePage alone when the record's file
  // type has no page (the dialog is then not shown).
  bool SetPages(uint8_t Pages);
  uint8_t Pages() const { return FPages; }
  void SetLanguage(TMsgLanguage Language);
  // The font of the form and of every control that takes its parent's.
  void SetPreviewFont(TFont* AFont);
  // Renders the active page's options into Vistrel2.
  void RenderPreview();

  TPanel* Panel2;
  TLabel *Label1, *Label2;
  TVistrel *Vistrel1, *Vistrel2;
  TProgressBar* ProgressBar1;
  TButton *Button1, *Button2, *Button3;
  TSpeedButton* SpeedButton1;
  TPageControl* PageControl1;
  TTabSheet *TabSheet1, *TabSheet2, *TabSheet3, *TabSheet4, *TabSheet5, *TabSheet6;
  TColorDialog* ColorDialog1;

  // JPEG
  TLabel *Label23, *Label26, *Label27, *Label57, *Label3, *Label4, *Label24, *Label25;
  TTrackBar* TrackBar13;
  TEdit *Edit22, *Edit23;
  TUpDown* UpDown11;
  TComboBox *ComboBox13, *ComboBox1;
  TGroupBox* GroupBox5;
  TCheckBox *CheckBox2, *CheckBox3;
  // TIFF
  TLabel *Label5, *Label6, *Label7, *Label8, *Label9, *Label10, *Label11, *Label12, *Label13, *Label14, *Label15,
      *Label16, *Label17, *Label18, *Label19;
  TComboBox *ComboBox2, *ComboBox3, *ComboBox4;
  TEdit *Edit1, *Edit2, *Edit3, *Edit4, *Edit5, *Edit6, *Edit7, *Edit8;
  TUpDown* UpDown1;
  TGroupBox* GroupBox1;
  // GIF
  TLabel *Label20, *Label21, *Label22, *Label28, *Label29, *Label30, *Label31, *Label32, *Label33, *Label34, *Label35,
      *Label36;
  TComboBox* ComboBox5;
  TEdit *Edit9, *Edit10, *Edit11, *Edit12;
  TUpDown* UpDown2;
  TCheckBox *CheckBox4, *CheckBox5;
  TPanel *Panel3, *Panel4;
  TGroupBox* GroupBox2;
  // BMP
  TLabel *Label37, *Label38, *Label39, *Label40, *Label41, *Label42;
  TComboBox *ComboBox6, *ComboBox7;
  // PCX
  TLabel *Label43, *Label44, *Label45, *Label46, *Label47, *Label48;
  TComboBox *ComboBox8, *ComboBox9;
  // PNG
  TLabel *Label49, *Label50, *Label51, *Label52, *Label53, *Label54, *Label55, *Label56;
  TComboBox *ComboBox10, *ComboBox11, *ComboBox12;
  TCheckBox* CheckBox6;
  TPanel* Panel1;
  TGroupBox* GroupBox3;

  // Handlers.
  void FormActivate(TObject* Sender);
  void PageControl1Changing(TObject* Sender, bool& AllowChange);
  void PageControl1Change(TObject* Sender);
  void JpegEditChange(TObject* Sender);
  void JpegChange(TObject* Sender);
  void TiffChange(TObject* Sender);
  void GifChange(TObject* Sender);
  void BmpChange(TObject* Sender);
  void PcxChange(TObject* Sender);
  void PngChange(TObject* Sender);
  void SpeedButton1Click(TObject* Sender);
  void Button3Click(TObject* Sender);
  void Button1Click(TObject* Sender);
  void Vistrel1ViewChange(TObject* Sender, int Change);
  void Panel3Click(TObject* Sender);
  void Panel4Click(TObject* Sender);
  void Panel1Click(TObject* Sender);
  void IOProgress(TObject* Sender, int Percent);

  // The dialog's own I/O and processing components (they encode and reduce the result).
  TVistrelIO* PreviewIO() const { return FIO; }
  TVistrelProc* PreviewProc() const { return FProc; }
  // The options being edited, read from the record at activation and at each page change.
  const TIOParamsVals* Working() const { return FWork; }
  // How many times the result has been rendered.
  int RenderCount() const { return FRenderCount; }

 private:
  void BuildControls();
  void ReadWorking();
  void FillPage(TTabSheet* Page);
  void ApplyTiffColorRule();
  void SyncResultView();
  void SetColorPanel(TPanel* Panel, const TRGB& Color);
  // Runs the palette dialog over the preview's colour map (at most Count entries); false
  // when cancelled.
  bool PickFromPalette(TPanel* Panel, int64_t Count);
  void RenderIfLocked();
  void RunCodec(void (TVistrelIO::*Codec)(TStream*), TStream* Stream);
  // Rows of a label and its controls; the controls of a column start right of its widest
  // label, narrowed where a row would pass its right edge.
  struct TLayoutRow {
    TControl* Label;
    std::vector<TControl*> Controls;
    int Right;
  };
  void AddColumn(std::vector<TLayoutRow> Rows);
  void ArrangeColumns();

  TIOParamsVals* FParams = nullptr;
  TIOParamsVals* FWork = nullptr;
  uint8_t FPages = 0;
  bool FDefaultLock = false;
  bool FReady = false;  // false while controls are being filled: their handlers do nothing
  bool FActivated = false;
  TVistrelIO* FIO = nullptr;
  TVistrelProc* FProc = nullptr;
  std::string FPaletteCancel = "&Cancel";
  int FProgressDivisor = 1;
  int FProgressOffset = 0;
  int FRenderCount = 0;
  struct TDesign {
    TControl* Control;
    int Left, Width;
  };
  std::vector<std::vector<TLayoutRow>> FColumns;
  std::vector<TDesign> FDesign;
};

// Runs the dialog for a picture and a record, as the I/O components do: the dialog is owned by
// Owner, which is also the Sender of OnIOPreview; Source is copied into the source view. True
// when the dialog was shown and closed with OK.
bool ExecuteIOPreviews(TComponent* Owner, uint8_t Pages, TBitmap* Source, TIOParamsVals* Params, bool LockPreview,
                       TMsgLanguage Language, TFont* Font, const TVLIOPreviewEvent& OnIOPreview);
