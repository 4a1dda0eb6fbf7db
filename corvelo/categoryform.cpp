#include "corvelo/categoryform.h"

#include <QCoreApplication>
#include <QWidget>
#include <algorithm>
#include <string>

#include "platform/core/stream.h"
#include "platform/core/types.h"

namespace corvelo {

int ThumbFilled[kThumbCount] = {};

namespace {
const char* const kHelpFile = "Velmora.hlp";
constexpr int kHelpContext = 230;
constexpr int kThumbSize = 145;
// The design: an 800 x 600 client under a hint line 30 high.
constexpr int kDesignWidth = 800, kDesignHeight = 600, kDesignBar = 30;
// The grid: left edges of the five columns, top edges of the three rows.
constexpr int kColumnLeft[5] = {16, 170, 324, 478, 632};
constexpr int kRowTop[3] = {88, 240, 392};
constexpr unsigned kFirstTick = 1000, kNextTicks = 100;

// A panel framed by a single dark line.
class TFramedPanel : public TPanel {
 public:
  explicit TFramedPanel(TComponent* AOwner) : TPanel(AOwner) { RecreateWnd(); }

 protected:
  void CreateParams(TCreateParams& Params) override {
    TPanel::CreateParams(Params);
    Params.Style |= WS_BORDER;
  }
};

// The placeholder: a plain grey card with a darker edge.
void DrawPlaceholder(TBitmap* b) {
  b->SetPixelFormat(pf24bit);
  b->SetSize(kThumbSize, kThumbSize);
  TCanvas* c = b->Canvas();
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(clSilver);
  c->Pen()->SetColor(clGray);
  c->Rectangle(0, 0, kThumbSize, kThumbSize);
}

const char* const kNoPhotos = "This album has no photos.";
const char* const kNoPhotoReadable = "None of the photos of this album can be read.";
// The smallest frame a photo gets, so that a tiny one can be seen and clicked.
constexpr int kLeastFrame = 16;

// Paints a control and what it holds at once, so the screen shows it while a long job is
// still running in this event. The pending events go first: the window manager's expose and
// resize of a window just shown maximised, and the user's clicks and keys, so Close, the close
// box and Escape answer between two photos (also what came while the frame was painted).
void PaintNow(TControl* c) {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  if (QWidget* w = c->Widget()) w->repaint();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

// The inner panel of a photo fitted into a frame: never smaller than the least frame, a
// smaller photo centred in it.
TFit AtLeastLeastFrame(TFit f, int frameWidth, int frameHeight) {
  const int w = std::min(std::max(f.Width, kLeastFrame), std::max(frameWidth, f.Width));
  const int h = std::min(std::max(f.Height, kLeastFrame), std::max(frameHeight, f.Height));
  if (w != f.Width) f.Left = (frameWidth - w) / 2;
  if (h != f.Height) f.Top = (frameHeight - h) / 2;
  f.Width = w;
  f.Height = h;
  return f;
}

// The inner panel of a photo fitted into a frame, at least the least frame; the photo fills it,
// or, where the panel is larger than the fitted photo, lies at its fitted size in the middle.
void PlacePhoto(TPanel* panel, TImage* image, const TFit& fit, int frameWidth, int frameHeight) {
  const TFit place = AtLeastLeastFrame(fit, frameWidth, frameHeight);
  panel->SetBounds(place.Left, place.Top, place.Width, place.Height);
  if (place.Width == fit.Width && place.Height == fit.Height) {
    image->SetAlign(alClient);
    return;
  }
  image->SetAlign(alNone);
  const int w = std::min(fit.Width, panel->ClientWidth()), h = std::min(fit.Height, panel->ClientHeight());
  image->SetBounds((panel->ClientWidth() - w) / 2, (panel->ClientHeight() - h) / 2, w, h);
}

// A line of the album list without the CR of a CR LF file.
std::string ListLine(TStrings* lines, int i) {
  if (i < 0 || i >= lines->Count()) return std::string();
  std::string s = lines->Strings(i);
  if (!s.empty() && s.back() == '\r') s.pop_back();
  return s;
}
}  // namespace

TCategoryForm::TCategoryForm(TComponent* AOwner) : TForm(AOwner) {
  SetCaption("Album view ");
  SetBorderIcons(biSystemMenu);
  SetColor(clSilver);
  SetHelpContext(kHelpContext);
  SetHelpFile(kHelpFile);
  Font()->SetName("Arial");
  Font()->SetSize(8);
  // Laid out for the whole of an 800 x 600 screen.
  SetClientWidth(kDesignWidth);
  SetClientHeight(kDesignHeight);
  SetShowHint(true);
  BuildControls();
  FBuilt = true;
  OnCreate = [this](TObject* s) { FormCreate(s); };
  OnActivate = [this](TObject* s) { FormActivate(s); };
  // However the form closes, a fill that did not start yet is not wanted any more, and the
  // album's photos are let go.
  OnClose = [this](TObject*, TCloseAction&) {
    ThumbsPending = 0;
    FFilling = false;
    FreePhotos();
  };
  // Maximised, the form keeps the screen's height; the grid fits into it.
  Scaler1 = TScaler::Attach(this, {.ScaleRuntime = true, .MaximizeFullscreen = true});
  DoCreate();
}

void TCategoryForm::BuildControls() {
  PanelcatHelp = NewControl<TPanel>(this, this, 0, 0, kDesignWidth, kDesignBar);
  PanelcatHelp->SetAlign(alTop);
  PanelcatHelp->Font()->SetColor(clNavy);
  PanelcatHelp->SetShowHint(true);
  SpeedButton1 = NewControl<TButton>(this, PanelcatHelp, 4, 3, 60, 24);
  SpeedButton1->SetCaption("Help");
  SpeedButton1->SetHint("Get help on Album view");
  SpeedButton1->SetShowHint(true);
  SpeedButton1->OnClick = [this](TObject* s) { SpeedButton1Click(s); };
  BitBtn1 = NewControl<TButton>(this, PanelcatHelp, 736, 3, 60, 24);
  BitBtn1->SetCaption("Close");
  BitBtn1->SetCancel(true);
  BitBtn1->SetHint("Close and return to Main application page");
  BitBtn1->SetShowHint(true);
  BitBtn1->OnClick = [this](TObject* s) { BitBtnCloseClick(s); };

  PanelCatName = NewControl<TPanel>(this, this, 16, 42, 761, 34);
  PanelCatName->SetParentFont(false);
  PanelCatName->Font()->SetName("Arial");
  PanelCatName->Font()->SetSize(14);
  PanelCatName->Font()->SetStyle(fsBold);
  PanelCatName->Font()->SetColor(clMaroon);
  PanelCatName->SetBevelOuter(bvLowered);

  for (int i = 0; i < kThumbCount; ++i) {
    PanelBase[i] = NewControl<TPanel>(this, this, kColumnLeft[i % 5], kRowTop[i / 5], kThumbSize, kThumbSize);
    PanelBase[i]->SetBevelOuter(bvNone);
    PanelBase[i]->SetColor(clSilver);
    PanelBase[i]->SetVisible(false);
    Panel[i] = NewControl<TFramedPanel>(this, PanelBase[i], 0, 0, kThumbSize, kThumbSize);
    Panel[i]->SetBevelOuter(bvNone);
    Panel[i]->SetColor(clGray);
    Image[i] = NewControl<TPhotoImage>(this, Panel[i], 0, 0, kThumbSize, kThumbSize);
    Image[i]->SetAlign(alClient);
    Image[i]->SetStretch(true);
    Image[i]->SetHint("Click to view photo full screen");
    Image[i]->SetShowHint(true);
    Image[i]->OnClick = [this](TObject* s) { ImageClick(s); };
    // A tiny photo lies in a larger frame: a click on the frame opens it too.
    Panel[i]->OnClick = [this, i](TObject*) { ImageClick(Image[i]); };
    // The keyboard reaches each photo too: Tab to its frame, which lights up, Enter or Space
    // to open it.
    Panel[i]->SetTabStop(true);
    Panel[i]->OnEnter = [this, i](TObject*) {
      PanelBase[i]->SetColor(clHighlight);
      Image[i]->SetFocusRing(true);
    };
    Panel[i]->OnExit = [this, i](TObject*) {
      PanelBase[i]->SetColor(clSilver);
      Image[i]->SetFocusRing(false);
    };
    Panel[i]->OnKeyDown = [this, i](TObject*, Word& key, TShiftState shift) {
      if ((key != VK_RETURN && key != VK_SPACE) || shift != 0) return;
      key = 0;
      ImageClick(Image[i]);
    };
  }

  PanelBase16 = NewControl<TPanel>(this, this, 16, 88, kThumbSize, kThumbSize);
  PanelBase16->SetBevelOuter(bvNone);
  PanelBase16->SetVisible(false);
  Panel16 = NewControl<TPanel>(this, PanelBase16, 0, 0, kThumbSize, kThumbSize);
  Panel16->SetBevelOuter(bvNone);
  Panel16->SetColor(clGray);
  Image16 = NewControl<TImage>(this, Panel16, 0, 0, kThumbSize, kThumbSize);

  Image17 = NewControl<TImage>(this, this, 0, 0, kThumbSize, kThumbSize);
  Image17->SetVisible(false);
  DrawPlaceholder(Image17->Picture()->Bitmap());

  Vistrel1 = NewHiddenDecoder(this, this);

  Timer1 = new TTimer(this);
  Timer1->SetInterval(kFirstTick);
  Timer1->OnTimer = [this](TObject* s) { Timer1Timer(s); };
}

void TCategoryForm::AlignControls() {
  TForm::AlignControls();
  if (FBuilt && FAlignLevel == 0) ArrangeFrames();
}

void TCategoryForm::ArrangeFrames() {
  const int bar = PanelcatHelp->Visible() ? PanelcatHelp->Top() + PanelcatHelp->Height() : 0;
  const long double s = std::min((long double)ClientWidth() / kDesignWidth,
                                 (long double)(ClientHeight() - bar) / (kDesignHeight - kDesignBar));
  if (!(s > 0)) return;
  const long double left = (ClientWidth() - kDesignWidth * s) / 2;
  auto X = [&](int x) { return RoundInt(left + x * s); };
  auto Y = [&](int y) { return RoundInt(bar + (y - kDesignBar) * s); };
  PanelCatName->SetBounds(X(16), Y(42), X(16 + 761) - X(16), Y(42 + 34) - Y(42));
  const int side = RoundInt(kThumbSize * s);
  for (int i = 0; i < kThumbCount; ++i) {
    PanelBase[i]->SetBounds(X(kColumnLeft[i % 5]), Y(kRowTop[i / 5]), side, side);
    // A photo keeps its fitted place in the frame's new size.
    TFit f{0, 0, side, side, false};
    if (ThumbFilled[i] > 0) f = FitPicture(Image[i]->Picture()->Width(), Image[i]->Picture()->Height(), side, side);
    PlacePhoto(Panel[i], Image[i], f, side, side);
  }
}

void TCategoryForm::FormCreate(TObject* Sender) {
  SetWindowState(wsMaximized);
  FormActivate(Sender);
}

void TCategoryForm::FormActivate(TObject*) {
  if (ThumbsPending != 1) return;
  for (int& f : ThumbFilled) f = 0;
  SetCursor(crHourGlass);
  auto reset = [this](TPanel* panel, TImage* image) {
    image->Picture()->Assign(Image17->Picture());
    panel->SetAlign(alClient);
    panel->SetAlign(alNone);
  };
  for (int i = 0; i < kThumbCount; ++i) reset(Panel[i], Image[i]);
  reset(Panel16, Image16);
}

void TCategoryForm::Timer1Timer(TObject*) {
  Timer1->SetInterval(kNextTicks);
  if (ThumbsPending != 1) return;
  ThumbsPending = 0;
  ShowThumbs();
}

void TCategoryForm::ShowThumbs() {
  struct TDone {
    TCategoryForm* f;
    ~TDone() {
      // The decoded photos live on in the thumbnails; the work copy is not needed.
      f->Image16->Picture()->Assign(nullptr);
      f->SetCursor(crDefault);
      f->FFilling = false;
    }
  } done{this};
  FFilling = true;
  // The wait text is on the screen before the first photo is read.
  PaintNow(PanelcatHelp);
  if (Leaving()) return;
  PanelBase16->SetBounds(PanelBase16->Left(), PanelBase16->Top(), PanelBase[0]->Width(), PanelBase[0]->Height());
  // Said once, on the page, when the album turns out to have nothing to show.
  auto nothing = [this](const char* Why) {
    PanelcatHelp->SetCaption(Why);
    ShowMessage(Why);
  };
  if (!FileExists(CurrentListFile)) {
    for (TPanel* p : PanelBase) p->Hide();
    nothing(kNoPhotos);
    return;
  }
  TStrings* lines = CatListLines();
  bool any = false, named = false;
  for (int i = 0; i < kThumbCount; ++i) {
    ThumbFilled[i] = 0;
    // An album with fewer lines shows what it has.
    if (2 * i >= lines->Count()) {
      PanelBase[i]->Hide();
      continue;
    }
    CurrentImageFile = ListPath(lines->Strings(2 * i));
    named = named || !Trim(lines->Strings(2 * i)).empty();
    // A photo that is missing, refused or can't be decoded leaves its frame empty and hidden.
    const TLoadResult loaded = LoadImage(Vistrel1, Image16);
    // Closed while the photo was read: the fill ends here.
    if (Leaving()) return;
    if (loaded != TLoadResult::Loaded) {
      PanelBase[i]->Hide();
      continue;
    }
    SetImage(PanelBase16, Panel16, Image16);
    Image[i]->Picture()->Assign(Image16->Picture());
    // Scaled or at its own size, the photo fills the framed panel; one exactly as wide or as
    // high as the frame stays unscaled at the top left, as in the work frame.
    const bool natural =
        Panel16->Width() == Image16->Picture()->Width() && Panel16->Height() == Image16->Picture()->Height();
    Image[i]->SetStretch(Image16->Stretch() || natural);
    Image[i]->SetCenter(true);
    PlacePhoto(Panel[i], Image[i], {Panel16->Left(), Panel16->Top(), Panel16->Width(), Panel16->Height(), false},
               PanelBase16->Width(), PanelBase16->Height());
    ThumbFilled[i] = 1;
    PanelBase[i]->Show();
    // Each photo shows as soon as it is in, not all of them when the fill is over.
    any = true;
    PaintNow(PanelBase[i]);
    // Closed meanwhile (its button, the close box, Escape): the fill ends.
    if (Leaving()) return;
  }
  if (any) PanelcatHelp->SetCaption(Image[0]->Hint());
  else nothing(named ? kNoPhotoReadable : kNoPhotos);
}

bool TCategoryForm::Leaving() const {
  return !FFilling || !Visible() || (Modal() && ModalResult() != mrNone) || (Application && Application->Terminated());
}

void TCategoryForm::FreePhotos() {
  for (int i = 0; i < kThumbCount; ++i) {
    ThumbFilled[i] = 0;
    PanelBase[i]->Hide();
    Image[i]->Picture()->Assign(nullptr);
  }
  Image16->Picture()->Assign(nullptr);
  Vistrel1->Blank();
  // The photo view held one of them.
  if (ShowCatPhotoForm) ShowCatPhotoForm->Image1->Picture()->Assign(nullptr);
  // An album of large photos is a lot of memory to keep for pictures that may never come.
  TBitmap::ReleaseFreedMemory();
}

void TCategoryForm::ImageClick(TObject* Sender) {
  int i = 0;
  while (i < kThumbCount && Image[i] != Sender) ++i;
  if (i == kThumbCount || ThumbFilled[i] <= 0 || !ShowCatPhotoForm) return;
  TStrings* lines = CatListLines();
  if (2 * i >= lines->Count()) return;
  ShowCatPhotoForm->Image1->Picture()->Assign(Image[i]->Picture());
  CurrentImageFile = ListPath(lines->Strings(2 * i));
  // A photo on the album's last line has no description.
  ShowCatPhotoForm->PanelPhotoDescribe->SetCaption(AsWritten(ListLine(lines, 2 * i + 1)));
  ShowCatPhotoForm->ShowModal();
}

void TCategoryForm::BitBtnCloseClick(TObject*) {
  ThumbsPending = 0;
  Close();
}

void TCategoryForm::SpeedButton1Click(TObject*) {
  Application->SetHelpFile(kHelpFile);
  Application->HelpContext(kHelpContext);
}

}  // namespace corvelo
