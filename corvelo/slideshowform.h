// The slide show: the photos of one show's list, one after another by timer (a number of
// seconds per slide, round and round until stopped) or by hand (previous, next, printing).
//
// The main form fills ListBoxSlide and shows the form modally. The show starts on the first
// tick of TimerStart after the form is shown; between slides it sleeps in the event loop, so
// the buttons, the list and the check box act from inside that wait. A handler that starts a
// timed show while another one waits takes over: the older loop ends as soon as control comes
// back to it, without touching the slide index. Closing the form in any way ends the show.
#pragma once
#include <cstdint>
#include <functional>

#include "platform/gui/controls.h"
#include "platform/gui/printer.h"
#include "platform/gui/stdctrls.h"

class QTimer;

namespace corvelo {

namespace lib {
class TVistrel;
}

// The show's time: milliseconds from any start, and a way to have the event loop woken once
// Now() reaches a given moment. Empty members stand for the steady clock and a one-shot timer.
struct TSlideClock {
  std::function<uint64_t()> Now;
  std::function<void(uint64_t At)> WakeAt;
};

class TSlideShowForm : public TForm {
 public:
  explicit TSlideShowForm(TComponent* AOwner);
  ~TSlideShowForm() override;

  // Top bar: push buttons, so Tab reaches them and Enter presses them; Escape presses Close.
  TPanel* Panel3;
  TButton* HelpSlideShow;
  TButton* BitBtnList;
  TButton* PrintBtn;
  TButton* SpeedButtonUp;    // "Previous"
  TButton* SpeedButtonDown;  // "Next"
  TTrackBar* TrackBar1;      // seconds per slide, 2..15
  TCheckBox* ManualCheckBox;
  TButton* BitBtn1;  // close
  // The slide: Image1 in Panel1 in PanelBase; the list of the show's lines over it.
  TPanel* PanelBase;
  TPanel* Panel1;
  TImage* Image1;
  lib::TVistrel* Vistrel1;  // hidden decoder
  TListBox* ListBoxSlide;
  TTimer* TimerStart;
  TPrintDialog* PrintDialog1;

  // State of the show.
  int StopShow = 0;     // 1: the show was closed; waits end at once
  int SlideIndex = 0;   // line of ListBoxSlide shown now
  int SlideCount = 0;   // lines of ListBoxSlide when the form was shown
  int ShowStarted = 0;  // 1 once the loop showed a slide (later passes keep SlideIndex)
  int ShowState = 0;    // 2: start pending, 4: started

  void FormActivate(TObject* Sender);
  void TimerStartTimer(TObject* Sender);
  // Manual mode: shows the line of SlideIndex (the selected line on a fresh start). Timed
  // mode: shows the lines in turn, each for the track bar's seconds, until Manual is ticked,
  // the form closes, or another timed loop takes over.
  void StartShow();
  // Lets the events run, sleeping in the event loop, until ms milliseconds have passed or the
  // show is closed; events are processed at least once, also for 0.
  void WaitMs(int ms);

  void TrackBar1Change(TObject* Sender);
  void ManualCheckBoxClick(TObject* Sender);
  void SpeedButtonUpClick(TObject* Sender);
  void SpeedButtonDownClick(TObject* Sender);
  void ListBoxSlideClick(TObject* Sender);
  void BitBtnListClick(TObject* Sender);
  void BitBtn1Click(TObject* Sender);
  void Image1Click(TObject* Sender);
  void Panel1Click(TObject* Sender);
  void PanelBaseClick(TObject* Sender);
  void HelpSlideShowClick(TObject* Sender);
  void PrintBtnClick(TObject* Sender);

  // CurrentImageFile into Image1; a picture that can't be decoded leaves the old one, marked.
  void LoadImage();
  // Fits Image1 into PanelBase and captions the form with the file and its size.
  void SetImage();

  // Replaces the clock of the waits (tests run the show on a clock of their own).
  void SetClock(TSlideClock Clock);

 private:
  void BuildControls();
  void FormShow(TObject* Sender);
  void FormClose(TObject* Sender, TCloseAction& Action);
  void PanelBaseResize(TObject* Sender);
  // True once the show is over: closed by the button, or the form closing or hidden in any
  // other way (then StopShow becomes 1 too).
  bool ShowClosed();
  // The wait of the timed loop of generation Loop: it also ends when a newer loop started.
  void Wait(int ms, uint64_t Loop);
  void HideList();
  // Shows the "-" mark in the middle of the frame, over the picture.
  void PlaceMark();
  void Step(TButton* Button, int Delta);
  // Previous, Next and Print as the mode, the list and the slide on show allow.
  void UpdateButtons();
  // "None of the pictures ... can be read.", once a show.
  void TellUnreadable();

  TLabel* FMark = nullptr;
  TSlideClock FClock;
  QTimer* FWakeTimer = nullptr;
  // Counts the timed loops started; a loop whose number is not the last one is over.
  uint64_t FLoopGeneration = 0;
  // Set when the form is shown; the first activation after it starts the show, later ones
  // (coming back from the print dialogs, from another window) leave the show as it is.
  bool FFreshShow = false;
  // Slides in a row that could not be shown, and whether the show said it has none to show.
  int FUnread = 0;
  bool FToldUnreadable = false;
};

}  // namespace corvelo
