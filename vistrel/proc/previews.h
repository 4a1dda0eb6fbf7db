// The effects preview dialog: the picture being edited ("Source") and the effect of the
// active page on the part of it that is shown ("Result"), with twelve pages of colour, tone,
// filter, distortion, rotation and frequency-domain effects. "<<" applies the effect to the
// source, OK applies it and closes; the processing component takes the source back.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/gui/controls.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/stdctrls.h"
#include "vistrel/io/vistrel.h"
#include "vistrel/proc/kernels/effects.h"
#include "vistrel/proc/kernels/fourier.h"
#include "vistrel/proc/kernels/pixels.h"
#include "vistrel/proc/previews_controls.h"
#include "vistrel/proc/vistrelproc.h"
#include "vistrel/view/histogrambox.h"
#include "vistrel/view/hsvbox.h"
#include "vistrel/view/language.h"
#include "vistrel/view/rulerbox.h"

// The pages in tab order. Page p is shown when bit 0 or bit p + 1 of the page set is set.
enum TPreviewPage : int {
  ppContrast,
  ppHSV,
  ppHSL,
  ppRGB,
  ppUserFilter,
  ppEqualization,
  ppBumpMap,
  ppLens,
  ppWave,
  ppMorph,
  ppRotate,
  ppFFT,
  ppNone = -1
};
constexpr int VLPreviewPageCount = 12;
// Page-set bits.
constexpr uint16_t VLPreviewAllPages = 1;
constexpr uint16_t VLPreviewPageBit(TPreviewPage Page) { return uint16_t(2u << Page); }

// The parameters of every page.
struct TPreviewParams {
  int Contrast = 0, Brightness = 0;
  int AvgRed = 0, AvgGreen = 0, AvgBlue = 0;  // of the source, taken when Contrast starts
  int HSVHue = 0, HSVSat = 0, HSVVal = 0;
  int HSLHue = 0, HSLSat = 0, HSLLum = 0;
  int Red = 0, Green = 0, Blue = 0;
  TVLUserFilter UserFilter{{0, 0, 0, 0, 1, 0, 0, 0, 0}, 0};
  // Threshold and equalization limits, blue, green, red.
  TRGB ThresholdLow{0, 0, 0}, ThresholdHigh{255, 255, 255};
  TRGB EqualizeLow{0, 0, 0}, EqualizeHigh{255, 255, 255};
  int BumpLeft = 0, BumpTop = 0, BumpWidth = 0, BumpHeight = 0;
  int32_t BumpColor = 0xFFFFFF;  // packed RGB
  int BumpQuantity = 0;
  int LensLeft = 0, LensTop = 0, LensWidth = 0, LensHeight = 0;
  double Refraction = 1.7;
  int Amplitude = 10, WaveLength = 10, Phase = 0;
  bool Reflective = false;
  int MorphFilter = 0, MorphSize = 1;
  int Angle = 0;
};

class TfPreviews : public TForm {
 public:
  explicit TfPreviews(TComponent* AOwner);
  ~TfPreviews() override;

  // What the creator sets before the dialog is shown.
  uint16_t Pages = 0;
  bool DefaultLockPreview = false;
  // Progress of the effect applied to the source on OK, and its sender.
  TProgressEvent FinalProgress;
  TObject* FinalSender = nullptr;
  void SetLanguage(TMsgLanguage Language);
  // The dialog's font, for the form and every control that follows its parent's font.
  void SetDialogFont(TFont* Font);

  // The page whose effect applies: the active page when its tab is shown, else ppNone.
  TPreviewPage ActivePreviewPage() const;
  TTabSheet* Page(TPreviewPage P) const { return FTabs[size_t(P)]; }
  const TPreviewParams& Params() const { return P; }
  TVLFtImage* FtImage() const { return FFt.get(); }

  // The frame.
  TLabel *Label1, *Label2;
  TVistrel *Vistrel1, *Vistrel2;
  TVistrelProc *VistrelProc1, *VistrelProc2;
  TPageControl* PageControl1;
  TButton *Button1, *Button2, *Button3, *Button6;
  TSpeedButton* SpeedButton1;
  TOpenDialog* OpenDialog1;
  TSaveDialog* SaveDialog1;
  TTabSheet *TabContrast, *TabHSV, *TabHSL, *TabRGB, *TabUserFilter, *TabEqualization, *TabBumpMap, *TabLens, *TabWave,
      *TabMorph, *TabRotate, *TabFFT;

  // Contrast.
  TLabel *Label3, *Label22;
  TEdit *Edit1, *Edit21;
  TTrackBar *TrackBar1, *TrackBar12;
  // HSV.
  TLabel *Label10, *Label11, *Label12, *Label13, *Label14;
  TEdit *Edit19, *Edit18, *Edit17;
  TTrackBar *TrackBar9, *TrackBar10, *TrackBar11;
  THSVBox *HSVBox3, *HSVBox1;
  // HSL.
  TLabel *Label4, *Label5, *Label6;
  TEdit *Edit4, *Edit2, *Edit3;
  TTrackBar *TrackBar2, *TrackBar3, *TrackBar5;
  // RGB.
  TLabel *Label7, *Label8, *Label9;
  TEdit *Edit7, *Edit6, *Edit5;
  TTrackBar *TrackBar6, *TrackBar7, *TrackBar8;
  // User filter: FilterEdit[i] holds coefficient i (Edit8 .. Edit16 by position), then the
  // divisor Edit20 at index 9; each has an up-down.
  TGroupBox *GroupBox1, *GroupBox3;
  TLabel* Label15;
  TEdit *Edit8, *Edit9, *Edit10, *Edit11, *Edit12, *Edit13, *Edit14, *Edit15, *Edit16, *Edit20;
  std::array<TEdit*, 10> FilterEdit{};
  std::array<TUpDown*, 10> FilterUpDown{};
  TListBox* ListBox1;
  TButton *Button4, *Button5;
  // Equalization. Label16/Label17 show the threshold grips, Label20/Label21 the
  // equalization grips.
  TGroupBox* GroupBox4;
  THistogramBox* HistogramBox1;
  TVLCheckListBox* CheckListBox1;
  TSpeedButton* SpeedButton3;
  TLabel *Label18, *Label19, *Label16, *Label17, *Label20, *Label21;
  // Bump map.
  TGroupBox* GroupBox2;
  TLabel *Label23, *Label24, *Label25, *Label26, *Label27, *Label28;
  TEdit *Edit22, *Edit23, *Edit24, *Edit25, *Edit26;
  TUpDown *UpDown22, *UpDown23, *UpDown24, *UpDown25, *UpDown26;
  THSVBox* HSVBox2;
  // Lens.
  TGroupBox* GroupBox5;
  TLabel *Label29, *Label30, *Label31, *Label32, *Label33;
  TEdit *Edit27, *Edit28, *Edit29, *Edit30, *Edit31;
  TUpDown *UpDown27, *UpDown28, *UpDown29, *UpDown30, *UpDown31;
  // Wave.
  TGroupBox* GroupBox6;
  TLabel *Label34, *Label35, *Label36;
  TEdit *Edit32, *Edit33, *Edit34;
  TUpDown *UpDown32, *UpDown33, *UpDown34;
  TCheckBox* CheckBox2;
  // Morph filters.
  TGroupBox* GroupBox7;
  TLabel *Label37, *Label38;
  TListBox* ListBox2;
  TEdit* Edit35;
  TUpDown* UpDown35;
  // Rotate.
  TLabel *LabelRotate, *LabelFlip;
  TEdit* EditRotate;
  TTrackBar* TrackBarRotate;
  TSpeedButton *SpeedButtonFlipHor, *SpeedButtonFlipVer;
  // FFT.
  TGroupBox* GroupBox8;
  TVistrelView* VistrelView1;
  TProgressBar* ProgressBar1;
  TButton *Clear, *Button7;
  TCheckBox* CheckBox1;

  // Handlers of the frame.
  void FormActivate(TObject* Sender);
  void InitPage(bool Reset);
  void PageControl1Change(TObject* Sender);
  void RenderPreview();
  void ApplyEffect(TVistrel* View);
  void ApplyToSource();
  // Re-renders the result: back to the unprocessed rendering, the effect, paint.
  void RerenderPreview();
  void Button1Click(TObject* Sender);
  void Button3Click(TObject* Sender);
  void Button6Click(TObject* Sender);
  void ClearClick(TObject* Sender);
  void SpeedButton1Click(TObject* Sender);
  void Vistrel1ViewChange(TObject* Sender, int Change);
  void CheckBox1Click(TObject* Sender);
  void Button7Click(TObject* Sender);
  void VistrelProc2Progress(TObject* Sender, int Per);
  void Vistrel2MouseUp(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);

  // Handlers of the pages.
  void TrackBarsChange(TPreviewPage Page);
  void EditsChange(TPreviewPage Page);
  void HSVBoxChange(TObject* Sender);
  void FilterEditChange(TObject* Sender);
  void ListBox1Click(TObject* Sender);
  void Button4Click(TObject* Sender);
  void Button5Click(TObject* Sender);
  void CheckListBox1Click(TObject* Sender);
  void SpeedButton3Click(TObject* Sender);
  void BumpChange(TObject* Sender);
  void HSVBox2Change(TObject* Sender);
  void LensChange(TObject* Sender);
  void WaveChange(TObject* Sender);
  void MorphChange(TObject* Sender);
  void FlipClick(TObject* Sender);

  // The equalization rulers, RulerBox1 (threshold, 0) and RulerBox2 (equalization, 1), two
  // grips each over 0..255. Their OnRulerPosChange runs RulerPosChange with the ruler and
  // the grip moved; GripPos and SetGripPos read and move a grip as the ruler control does
  // (held within 0..255, then RulerPosChange).
  TRulerBox* RulerBox1 = nullptr;
  TRulerBox* RulerBox2 = nullptr;
  double GripPos(int Ruler, int Grip) const;
  void SetGripPos(int Ruler, int Grip, double Value);
  void RulerPosChange(int Ruler, int Grip);

 private:
  void CreatePages();
  void CreateColorPages();
  void CreateFilterPages();
  void CreateGeometryPages();
  void InitPageValues(TPreviewPage Page);
  void ShowFilterValues();
  // Re-renders when Lock preview is down.
  void RerenderWhenLocked();
  // The source picture as a thumbnail whose longer side is 128, transformed.
  void BuildThumbnailTransform();
  void ApplyFFT(TVistrel* View);
  // Sets the edit of an up-down as the dialog does (handlers off).
  void SetEditValue(TEdit* Edit, TUpDown* UpDown, int Value);
  // An edit's integer, Default when it is none, held within its up-down's range; an edit
  // that showed a value beyond the range is set to the value used.
  int ReadEdit(TEdit* Edit, TUpDown* UpDown, int Default);
  // The ruler controls' place and set-up (see the .cpp).
  void CreateRulers();
  void InitRulers();
  void PlaceRulers();
  void ShowGripLabel(int Ruler, int Grip);
  void PlaceGripLabels(int Ruler);

  TPreviewParams P;
  std::array<TTabSheet*, VLPreviewPageCount> FTabs{};
  std::array<bool, VLPreviewPageCount> FPageInit{};
  bool FHandlers = false;
  bool FFilterEdits = true;
  bool FApplyingToSource = false;
  bool FFlipClicked = false;
  std::unique_ptr<TVLFtImage> FFt;
};
