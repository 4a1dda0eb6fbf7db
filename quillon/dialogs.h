// The editor's dialogs, created once at start-up and reused by the commands, which fill them
// before showing and read their controls afterwards.
#pragma once
#include <cstdint>

#include "platform/core/stream.h"
#include "platform/gui/controls.h"
#include "platform/gui/stdctrls.h"
#include "vistrel/proc/vistrelproc.h"
#include "vistrel/view/histogrambox.h"
#include "vistrel/view/hsvbox.h"
#include "vistrel/view/vistrelview.h"

namespace quillon {

// "Rotate preview": the picture turns clockwise by the angle on "Rotate now !" or a quick
// button, each try from the unrotated copy.
class TfRotate : public TForm {
 public:
  explicit TfRotate(TComponent* AOwner);
  TLabel* Label1;
  TEdit* Edit1;
  TUpDown* UpDown1;
  TCheckBox* CheckBox1;
  TVistrelView* VistrelView1;
  TButton* Button3;
  TPanel* Panel1;
  TLabel* Label2;
  TButton *Button4, *Button5, *Button6, *Button7;
  TButton* Button1;
  TButton* Button2;
  TVistrelProc* VistrelProc1;

  void FormActivate(TObject* Sender);
  void FormResize(TObject* Sender);
  // The typed angle kept within the up-down's range (0 when it is no number); the up-down
  // follows the edit, so OK turns the picture as the preview showed.
  void Edit1Change(TObject* Sender);
  void Button3Click(TObject* Sender);
  void QuickClick(const char* Angle);

 private:
  int Angle() const;
  bool FBusy = false;
};

// "Resize/resample": width and height, kept in the starting proportion while "Aspect ratio"
// is checked, and the filter.
class TfResize : public TForm {
 public:
  explicit TfResize(TComponent* AOwner);
  TLabel *Label1, *Label2, *Label3;
  TEdit* Edit1;
  TEdit* Edit2;
  TCheckBox* CheckBox1;
  TComboBox* ComboBox1;
  TButton* Button1;
  TButton* Button2;
  // The picture's size, set by the main form before showing.
  int32_t StartWidth = 0;
  int32_t StartHeight = 0;

  void FormActivate(TObject* Sender);
  void Edit1Change(TObject* Sender);
  void Edit2Change(TObject* Sender);

 private:
  bool FBusy = false;
};

// "Merge...": the document to merge in and the share it takes.
class TfMergeDialog : public TForm {
 public:
  explicit TfMergeDialog(TComponent* AOwner);
  TGroupBox* GroupBox1;
  TListBox* ListBox1;
  TGroupBox* GroupBox2;
  TTrackBar* TrackBar1;
  TButton* Button1;
  TButton* Button2;

  // Lists the file names of the document windows in the frame's order.
  void FormActivate(TObject* Sender);
  void TrackBar1Change(TObject* Sender);
};

// "Histogram" of the picture of VistrelProc1's view.
class TfHistogram : public TForm {
 public:
  explicit TfHistogram(TComponent* AOwner);
  TLabel *Label1, *Label2;
  TPanel* Panel1;
  THistogramBox* HistogramBox1;
  TComboBox* ComboBox1;
  TComboBox* ComboBox2;
  TButton* Button1;
  TVistrelProc* VistrelProc1;

  void FormCreate(TObject* Sender);
  void ComboBox1Change(TObject* Sender);
  void ComboBox2Change(TObject* Sender);
};

// "Convert to Black/White": threshold (typed or automatic) or ordered dithering. The choices
// stay from one showing to the next.
class TfConvBW : public TForm {
 public:
  explicit TfConvBW(TComponent* AOwner);
  TRadioGroup* RadioGroup1;
  TGroupBox* GroupBox1;
  TLabel* Label1;
  TSpeedButton* SpeedButton1;
  TEdit* Edit1;
  TButton* Button1;
  TButton* Button2;

  void RadioGroup1Click(TObject* Sender);
  void SpeedButton1Click(TObject* Sender);
};

// "Zoom properties": the view's zoom filter and whether it is delayed.
class TfZProp : public TForm {
 public:
  explicit TfZProp(TComponent* AOwner);
  TLabel* Label1;
  TComboBox* ComboBox1;
  TCheckBox* CheckBox1;
  TButton* Button1;
  TButton* Button2;
};

// "Color select": the colour box with red, green and blue and hue, saturation and value
// edits kept in step with it. Created at start-up; no command shows it.
class TfColorSel : public TForm {
 public:
  explicit TfColorSel(TComponent* AOwner);
  THSVBox* HSVBox1;
  TLabel *LabelRed, *LabelGreen, *LabelBlue, *LabelHue, *LabelSat, *LabelVal;
  TEdit *EditRed, *EditGreen, *EditBlue, *EditHue, *EditSat, *EditVal;
  TUpDown *UpDownRed, *UpDownGreen, *UpDownBlue, *UpDownHue, *UpDownSat, *UpDownVal;
  TButton* Button1;
  TButton* Button2;

  void HSVBox1Change(TObject* Sender);
  void RGBChange(TObject* Sender);
  void HSVChange(TObject* Sender);

 private:
  // Writes the box's values into the edits, but for the one being typed into.
  void ShowValues(TEdit* Typed = nullptr);
  bool FBusy = false;
};

// "Hidden text": reads and writes the text hidden in the lowest bits of the picture that
// VistrelProc1 is attached to. Created at start-up; no command shows it.
class TForm1 : public TForm {
 public:
  explicit TForm1(TComponent* AOwner);
  TMemo* Memo1;
  TButton* Button1;  // "Read"
  TButton* Button2;  // "Write"
  TLabel* Label1;    // the note on lossy formats
  TLabel* Label2;    // "Hidden text space:" and the bytes free
  TVistrelProc* VistrelProc1;

  void FormActivate(TObject* Sender);
  void Button1Click(TObject* Sender);
  void Button2Click(TObject* Sender);

 private:
  void ShowSpace();
};

}  // namespace quillon
