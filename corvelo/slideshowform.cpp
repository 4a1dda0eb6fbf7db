#include "corvelo/slideshowform.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QIcon>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <climits>
#include <filesystem>
#include <string>

#include "components/printsize.h"
#include "components/scaler.h"
#include "corvelo/library/vistrel.h"
#include "corvelo/viewerunit.h"
#include "platform/core/stream.h"

namespace corvelo {

namespace {

constexpr int kHelpContext = 340;
constexpr int kPrintHelpContext = 360;
constexpr int kListWidth = 417;
// The start timer's first tick comes after the platform's default second; once a show has
// started it ticks every 100 ms, so later shows start sooner.
constexpr unsigned kStartedInterval = 100;
constexpr int kMsPerSecond = 1000;
const char* const kNoPictures = "This slide show has no pictures.";
const char* const kNoneReadable = "None of the pictures of this slide show can be read.";

uint64_t SteadyMs() {
  using namespace std::chrono;
  return uint64_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace

TSlideShowForm::TSlideShowForm(TComponent* AOwner) : TForm(AOwner) {
  SetCaption("Slide Show ");
  SetPosition(poScreenCenter);
  SetClientWidth(792);
  SetClientHeight(566);
  SetColor(clSilver);
  SetHelpContext(kHelpContext);
  SetHelpFile("Velmora.hlp");
  FWakeTimer = new QTimer();
  FWakeTimer->setSingleShot(true);
  SetClock({});
  BuildControls();
  TimerStart = new TTimer(this);
  TimerStart->OnTimer = [this](TObject* s) { TimerStartTimer(s); };
  PrintDialog1 = new TPrintDialog(this);
  PrintDialog1->SetHelpContext(kPrintHelpContext);
  OnShow = [this](TObject* s) { FormShow(s); };
  OnActivate = [this](TObject* s) { FormActivate(s); };
  OnClose = [this](TObject* s, TCloseAction& a) { FormClose(s, a); };
  SetWindowState(wsMaximized);
  TScaler::Attach(this, {.ScaleRuntime = true, .MaximizeFullscreen = true});
}

TSlideShowForm::~TSlideShowForm() { delete FWakeTimer; }

void TSlideShowForm::BuildControls() {
  auto on = [this](void (TSlideShowForm::*m)(TObject*)) { return [this, m](TObject* s) { (this->*m)(s); }; };
  auto tip = [](TControl* c, const std::string& hint) {
    c->SetHint(hint);
    c->SetShowHint(true);
  };

  Panel3 = NewControl<TPanel>(this, this, 0, 0, 792, 41);
  Panel3->SetAlign(alTop);

  HelpSlideShow = NewControl<TButton>(this, Panel3, 8, 8, 25, 25);
  if (const QIcon icon = QIcon::fromTheme("help-browser"); !icon.isNull()) HelpSlideShow->Button()->setIcon(icon);
  else HelpSlideShow->SetCaption("?");
  tip(HelpSlideShow, "Get help Slide show");
  HelpSlideShow->OnClick = on(&TSlideShowForm::HelpSlideShowClick);

  BitBtnList = NewControl<TButton>(this, Panel3, 44, 8, 75, 25);
  BitBtnList->SetCaption("List");
  tip(BitBtnList, "List photos in show");
  BitBtnList->OnClick = on(&TSlideShowForm::BitBtnListClick);

  PrintBtn = NewControl<TButton>(this, Panel3, 126, 8, 75, 25);
  PrintBtn->SetCaption("Print");
  tip(PrintBtn, "Print this Photo (Only in Manual mode)");
  PrintBtn->SetEnabled(false);
  PrintBtn->OnClick = on(&TSlideShowForm::PrintBtnClick);

  SpeedButtonUp = NewControl<TButton>(this, Panel3, 216, 8, 75, 25);
  SpeedButtonUp->SetCaption("Previous");
  tip(SpeedButtonUp, "Show previous slide (Only in Manual mode)");
  SpeedButtonUp->SetEnabled(false);
  SpeedButtonUp->OnClick = on(&TSlideShowForm::SpeedButtonUpClick);

  SpeedButtonDown = NewControl<TButton>(this, Panel3, 292, 8, 75, 25);
  SpeedButtonDown->SetCaption("Next");
  tip(SpeedButtonDown, "Show next slide (Only in Manual mode)");
  SpeedButtonDown->SetEnabled(false);
  SpeedButtonDown->OnClick = on(&TSlideShowForm::SpeedButtonDownClick);

  TrackBar1 = NewControl<TTrackBar>(this, Panel3, 384, 6, 170, 30);
  TrackBar1->SetMin(2);
  TrackBar1->SetMax(15);
  TrackBar1->SetPosition(4);
  TrackBar1->SetFrequency(1);
  TrackBar1->SetLineSize(1);
  tip(TrackBar1, "Set show interval");
  TrackBar1->OnChange = on(&TSlideShowForm::TrackBar1Change);

  ManualCheckBox = NewControl<TCheckBox>(this, Panel3, 570, 12, 80, 17);
  ManualCheckBox->SetCaption("Manual");
  tip(ManualCheckBox, "Switch  manual mode on/off");
  ManualCheckBox->OnClick = on(&TSlideShowForm::ManualCheckBoxClick);

  BitBtn1 = NewControl<TButton>(this, Panel3, 704, 8, 75, 25);
  BitBtn1->SetCaption("&Close");
  BitBtn1->SetCancel(true);
  tip(BitBtn1, "Close the show and returned to the main application window");
  BitBtn1->OnClick = on(&TSlideShowForm::BitBtn1Click);

  PanelBase = NewControl<TPanel>(this, this, 0, 41, 792, 525);
  PanelBase->SetAlign(alClient);
  PanelBase->SetBevelOuter(bvNone);
  PanelBase->SetColor(clSilver);
  PanelBase->OnClick = on(&TSlideShowForm::PanelBaseClick);
  PanelBase->OnResize = [this](TObject* s) { PanelBaseResize(s); };

  Panel1 = NewControl<TPanel>(this, PanelBase, 0, 0, 792, 525);
  Panel1->SetBevelOuter(bvNone);
  Panel1->SetColor(clSilver);
  Panel1->OnClick = on(&TSlideShowForm::Panel1Click);

  Image1 = NewControl<TImage>(this, Panel1, 0, 0, 792, 525);
  Image1->SetAlign(alClient);
  Image1->OnClick = on(&TSlideShowForm::Image1Click);

  // The mark of a slide that could not be shown, over the picture left from the one before.
  FMark = NewControl<TLabel>(this, Panel1, 0, 0, 40, 40);
  FMark->SetAutoSize(false);
  FMark->SetCaption("-");
  FMark->SetAlignment(taCenter);
  FMark->SetLayout(tlCenter);
  FMark->SetParentFont(false);
  FMark->Font()->SetSize(20);
  FMark->Font()->SetStyle(fsBold);
  FMark->SetColor(clSilver);
  FMark->SetBounds(0, 0, 40, 40);
  FMark->SetVisible(false);

  Vistrel1 = NewControl<lib::TVistrel>(this, PanelBase, 0, 0, 32, 32);
  Vistrel1->SetVisible(false);

  ListBoxSlide = NewControl<TListBox>(this, PanelBase, 0, 0, kListWidth, 525);
  ListBoxSlide->SetVisible(false);
  ListBoxSlide->OnClick = on(&TSlideShowForm::ListBoxSlideClick);
}

void TSlideShowForm::SetClock(TSlideClock Clock) {
  FClock.Now = Clock.Now ? std::move(Clock.Now) : SteadyMs;
  if (Clock.WakeAt) {
    FClock.WakeAt = std::move(Clock.WakeAt);
  } else {
    // A timer wakes the event loop when the time is up; its timeout needs no handler.
    FClock.WakeAt = [this](uint64_t At) {
      const uint64_t now = FClock.Now();
      FWakeTimer->start(int(std::min<uint64_t>(At > now ? At - now : 0, INT_MAX)));
    };
  }
}

// ---------------------------------------------------------------------------------------------
// Starting, the loop and the wait

void TSlideShowForm::FormShow(TObject*) { FFreshShow = true; }

void TSlideShowForm::FormActivate(TObject*) {
  // Coming back from the print dialogs or from another window is no new show.
  if (!FFreshShow) return;
  FFreshShow = false;
  // A new show starts on an empty picture, never on the last show's.
  Image1->Picture()->Assign(nullptr);
  Panel1->SetCaption(" ");
  FMark->Hide();
  corvelo::SetImage(PanelBase, Panel1, Image1);
  SetCaption("Slide Show ");
  StopShow = 0;
  ListBoxSlide->SetItemIndex(0);
  SlideCount = ListBoxSlide->Items()->Count();
  SlideIndex = 0;
  ShowStarted = 0;
  ShowState = 2;
  FUnread = 0;
  FToldUnreadable = false;
  UpdateButtons();
}

void TSlideShowForm::FormClose(TObject*, TCloseAction&) {
  StopShow = 1;
  // The last slide is not kept for a show that may never come (a large photo is a lot of
  // memory); the next show starts on an empty picture anyway.
  Image1->Picture()->Assign(nullptr);
  Vistrel1->Blank();
  TBitmap::ReleaseFreedMemory();
}

void TSlideShowForm::TimerStartTimer(TObject*) {
  // The timer runs for the whole program; a start pending on a form that was closed before
  // its first tick is dropped.
  if (ShowState != 2 || !Visible()) return;
  TimerStart->SetInterval(kStartedInterval);
  ShowState = 4;
  // Said once; the buttons then find nothing to show or print.
  if (ListBoxSlide->Items()->Count() == 0) {
    ShowMessage(kNoPictures);
    return;
  }
  // So is a show none of whose files is there; a timed one still runs, passing them over.
  bool any = false;
  for (int i = 0; i < ListBoxSlide->Items()->Count() && !any; ++i) {
    const std::string file = ListPath(ListBoxSlide->Items()->Strings(i));
    any = AcceptedExtension(file) && FileExists(file);
  }
  if (!any) TellUnreadable();
  if (!ManualCheckBox->Checked()) {
    StartShow();
  } else {
    CurrentImageFile = ListPath(ListBoxSlide->Items()->Strings(0));
    LoadImage();
  }
}

void TSlideShowForm::StartShow() {
  if (ListBoxSlide->Items()->Count() == 0) return;
  Panel1->SetCaption(" ");
  FMark->Hide();
  if (ManualCheckBox->Checked()) {
    if (ShowStarted == 0) SlideIndex = ListBoxSlide->ItemIndex();
    CurrentImageFile = ListPath(ListBoxSlide->Items()->Strings(SlideIndex));
    LoadImage();
    ShowStarted = 1;
    return;
  }
  // This loop is the newest; any loop waiting below it on the stack ends when it gets control
  // back, so a restarted show neither skips nor repeats a slide.
  const uint64_t loop = ++FLoopGeneration;
  do {
    if (ListBoxSlide->ItemIndex() < 0) ListBoxSlide->SetItemIndex(0);
    if (SlideIndex >= SlideCount || SlideIndex < 0) SlideIndex = 0;
    if (ShowStarted == 0) SlideIndex = ListBoxSlide->ItemIndex();
    else ListBoxSlide->SetItemIndex(SlideIndex);
    if (SlideIndex < 0) SlideIndex = 0;
    CurrentImageFile = ListPath(ListBoxSlide->Items()->Strings(SlideIndex));
    try {
      LoadImage();
    } catch (const std::exception&) {
      // The slide is passed over; its wait is still made, so a show of bad slides doesn't
      // race round its list.
    }
    if (loop != FLoopGeneration) return;
    Wait(TrackBar1->Position() * kMsPerSecond, loop);
    if (loop != FLoopGeneration) return;
    ++SlideIndex;  // past the last line, the next pass starts at line 0
    ShowStarted = 1;
  } while (!ManualCheckBox->Checked() && !ShowClosed());
}

void TSlideShowForm::WaitMs(int ms) { Wait(ms, FLoopGeneration); }

void TSlideShowForm::Wait(int ms, uint64_t Loop) {
  const uint64_t start = FClock.Now();
  const uint64_t end = start + uint64_t(std::max(ms, 0));
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  while (!ShowClosed() && Loop == FLoopGeneration && FClock.Now() < end) {
    // Sleep until an event comes (a click, a repaint) or the time is up.
    FClock.WakeAt(end);
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  FWakeTimer->stop();
}

bool TSlideShowForm::ShowClosed() {
  if (StopShow != 1 &&
      (!Visible() || (Modal() && ModalResult() != mrNone) || (Application && Application->Terminated())))
    StopShow = 1;
  return StopShow == 1;
}

// ---------------------------------------------------------------------------------------------
// Slides

void TSlideShowForm::LoadImage() {
  const TLoadResult result = corvelo::LoadImage(Vistrel1, Image1, [this] { HideList(); });
  // A missing file is passed over by a timed show; stepped onto by hand, it is a failed slide
  // of its own, nothing of the slide before left to see or print.
  const bool missing = result == TLoadResult::Skipped && ManualCheckBox->Checked();
  if (missing) Image1->Picture()->Assign(nullptr);
  if (result == TLoadResult::Loaded) {
    FUnread = 0;
    SetImage();
  } else if (result == TLoadResult::Failed || missing) {
    // The old picture stays where and as large as it was on the screen (also after a failure
    // before it); the panel under it, marked "-", takes the whole frame.
    const int left = Panel1->Left() + Image1->Left(), top = Panel1->Top() + Image1->Top();
    const int width = Image1->Width(), height = Image1->Height();
    Image1->SetAlign(alNone);
    Panel1->SetAlign(alClient);
    Image1->SetBounds(left - Panel1->Left(), top - Panel1->Top(), width, height);
    Panel1->SetCaption("-");
    PlaceMark();
    // A folder of the slide's name is there too, only not a picture.
    std::error_code there;
    SetCaption("   " + CurrentImageFile +
               (std::filesystem::exists(CurrentImageFile, there) ? "  can't be read" : "  not found"));
    WaitMs(0);
  }
  // A whole round of slides that could not be shown: said once.
  if (result != TLoadResult::Loaded && ++FUnread >= SlideCount) TellUnreadable();
  UpdateButtons();
}

void TSlideShowForm::TellUnreadable() {
  if (FToldUnreadable) return;
  FToldUnreadable = true;
  ShowMessage(kNoneReadable);
}

void TSlideShowForm::UpdateButtons() {
  // By hand, with something to show; Print only with a slide of its own on show.
  const bool manual = ManualCheckBox->Checked() && ListBoxSlide->Items()->Count() > 0;
  const bool picture = Image1->Picture()->HasBitmap() && !Image1->Picture()->Bitmap()->Empty();
  SpeedButtonUp->SetEnabled(manual);
  SpeedButtonDown->SetEnabled(manual);
  PrintBtn->SetEnabled(manual && picture && Panel1->Caption() != "-");
}

void TSlideShowForm::PlaceMark() {
  FMark->SetBounds((Panel1->Width() - FMark->Width()) / 2, (Panel1->Height() - FMark->Height()) / 2, FMark->Width(),
                   FMark->Height());
  FMark->Show();
  FMark->BringToFront();
}

void TSlideShowForm::SetImage() {
  FMark->Hide();
  const int w = Image1->Picture()->Width(), h = Image1->Picture()->Height();
  const bool scaled = corvelo::SetImage(PanelBase, Panel1, Image1);
  if (StopShow == 1) Close();
  SetCaption("   " + CurrentImageFile + "  " + std::to_string(w) + " x " + std::to_string(h) + "     " +
             (scaled ? "Image scaled to fit screen area" : " "));
}

void TSlideShowForm::PanelBaseResize(TObject*) {
  // The list reaches down the whole frame; the picture on show keeps fitting the frame when
  // the window changes size; a picture left from a slide that failed stays as it is.
  ListBoxSlide->SetHeight(PanelBase->ClientHeight());
  if (Panel1->Caption() == "-") {
    PlaceMark();
    return;
  }
  if (!Image1->Picture()->HasBitmap() || Image1->Picture()->Bitmap()->Empty()) return;
  corvelo::SetImage(PanelBase, Panel1, Image1);
}

void TSlideShowForm::HideList() {
  if (!ListBoxSlide->Visible()) return;
  ListBoxSlide->Hide();
  Image1->Repaint();
}

// ---------------------------------------------------------------------------------------------
// Controls

void TSlideShowForm::TrackBar1Change(TObject*) {
  // The new time counts from the next slide's wait on.
  SetCaption("Seconds per slide: " + std::to_string(TrackBar1->Position()));
}

void TSlideShowForm::ManualCheckBoxClick(TObject*) {
  const bool manual = ManualCheckBox->Checked();
  UpdateButtons();
  // Ticked: a running timed loop ends after its current wait. Unticked during a show: the
  // timed show goes on from the slide index.
  if (manual || !Visible() || ShowState != 4 || ListBoxSlide->Items()->Count() == 0) return;
  LoadImage();
  StartShow();
}

void TSlideShowForm::Step(TButton* Button, int Delta) {
  if (!ManualCheckBox->Checked() || ListBoxSlide->Items()->Count() == 0) return;
  // Pressed again only once this slide is in; enabled again, it keeps the focus.
  Button->SetEnabled(false);
  struct TEnableAgain {
    TSlideShowForm* f;
    ~TEnableAgain() { f->UpdateButtons(); }
  } again{this};
  SlideIndex = ListBoxSlide->ItemIndex() + Delta;
  if (SlideIndex < 0) SlideIndex = SlideCount - 1;
  if (SlideIndex > SlideCount - 1) SlideIndex = 0;
  ListBoxSlide->SetItemIndex(SlideIndex);
  StartShow();
}

void TSlideShowForm::SpeedButtonUpClick(TObject*) { Step(SpeedButtonUp, -1); }
void TSlideShowForm::SpeedButtonDownClick(TObject*) { Step(SpeedButtonDown, +1); }

void TSlideShowForm::ListBoxSlideClick(TObject*) {
  HideList();
  ShowStarted = 0;
  StartShow();
}

void TSlideShowForm::BitBtnListClick(TObject*) {
  ListBoxSlide->SetBounds(0, 0, kListWidth, PanelBase->ClientHeight());
  ListBoxSlide->Show();
  ListBoxSlide->BringToFront();
}

void TSlideShowForm::BitBtn1Click(TObject*) {
  SlideIndex = 0;
  StopShow = 1;
  Close();
}

void TSlideShowForm::Image1Click(TObject*) { HideList(); }
void TSlideShowForm::Panel1Click(TObject*) { HideList(); }
void TSlideShowForm::PanelBaseClick(TObject*) { HideList(); }

void TSlideShowForm::HelpSlideShowClick(TObject*) {
  Application->SetHelpFile("Velmora.hlp");
  Application->HelpContext(kHelpContext);
}

void TSlideShowForm::PrintBtnClick(TObject*) {
  // Nothing on show, nothing to print.
  if (!ManualCheckBox->Checked() || ListBoxSlide->Items()->Count() == 0 || Image1->Picture()->Bitmap()->Empty()) return;
  if (!OKBottomDlg) OKBottomDlg = new TOKBottomDlg(Application);
  OKBottomDlg->SetHelpContext(kPrintHelpContext);
  TBitmap* picture = Image1->Picture()->Bitmap();
  if (picture->Width() > 0 && picture->Height() > 0) PictureRatio = float(picture->Width()) / float(picture->Height());
  PrintPicture(PrintDialog1, OKBottomDlg, picture, kPostCardInches);
}

}  // namespace corvelo
