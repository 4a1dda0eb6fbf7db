#include "components/hyperlink.h"

#include <QEvent>

namespace {
// The dotted frame that marks the focused control: every other pixel inverted.
void DrawFocusRect(TCanvas* c, const TRect& r) {
  auto invert = [c](int x, int y) {
    if ((x + y) % 2 != 0) return;
    const TColor p = c->Pixels(x, y);
    if (p != TColor(-1)) c->SetPixels(x, y, p ^ 0xFFFFFF);
  };
  if (r.Right <= r.Left || r.Bottom <= r.Top) return;
  for (int x = r.Left; x < r.Right; ++x) {
    invert(x, r.Top);
    if (r.Bottom - 1 > r.Top) invert(x, r.Bottom - 1);
  }
  for (int y = r.Top + 1; y < r.Bottom - 1; ++y) {
    invert(r.Left, y);
    if (r.Right - 1 > r.Left) invert(r.Right - 1, y);
  }
}
}  // namespace

THyperLink::THyperLink(TComponent* AOwner) : TCustomControl(AOwner) {
  SetBounds(Left(), Top(), 55, 14);
  SetColor(clSilver);
  Font()->SetColor(FNotPressedColor);
  Font()->SetStyle(Font()->Style() | fsUnderline);
  SetTabStop(true);
  // The hand the platform shows over links.
  SetCursor(crHandPoint);
  FCreating = false;
  AdjustSize();
}

void THyperLink::CreateParams(TCreateParams& Params) {
  TCustomControl::CreateParams(Params);
  if (FBorderStyle == sbsSingle) Params.Style |= WS_BORDER;
  if (FBorderStyle == sbsSunken) Params.ExStyle |= WS_EX_CLIENTEDGE;
}

void THyperLink::SetBorderStyle(TStaticBorderStyle v) {
  if (v == FBorderStyle) return;
  FBorderStyle = v;
  RecreateWnd();
  AdjustSize();
}

void THyperLink::AdjustSize() {
  if (FCreating || !FAutoSize) return;
  TCanvas* c = Canvas();
  c->SetFont(Font());
  // An italic caption leans past its last letter: room for one more character.
  const bool italic = (Font()->Style() & fsItalic) && Font()->Name() != "MS Sans Serif";
  const TSize e = c->TextExtent(italic ? FText + "," : FText);
  const int k = FBorderStyle != sbsNone ? 4 : 1;
  SetBounds(Left(), Top(), e.cx + k, e.cy + k);
}

void THyperLink::SetText(const std::string& s) {
  TCustomControl::SetText(s);
  AdjustSize();
}

void THyperLink::ApplyFont() {
  TCustomControl::ApplyFont();
  // A colour given to the font from outside becomes the colour at rest.
  if (!FCreating && Font()->Color() != FNotPressedColor && !FLinkPressed && !FHovering)
    FNotPressedColor = Font()->Color();
  AdjustSize();
}

void THyperLink::SetNotPressedColor(TColor v) {
  FNotPressedColor = v;
  if (!FLinkPressed && !FHovering) SetFontColor(v);
}

void THyperLink::SetOverColor(TColor v) {
  FOverColor = v;
  if (FHovering && !FLinkPressed) SetFontColor(v);
}

void THyperLink::SetStatusBar(TStatusBar* v) {
  if (FStatusBar) FStatusBar->RemoveFreeNotification(this);
  FStatusBar = v;
  if (v) v->FreeNotification(this);
}

void THyperLink::Notification(TComponent* AComponent, TOperation Operation) {
  TCustomControl::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FStatusBar) FStatusBar = nullptr;
}

bool THyperLink::HasPanel() const {
  return FStatusBar && FStatusPanelNo >= 0 && FStatusPanelNo < FStatusBar->PanelCount();
}

void THyperLink::Paint() {
  TCanvas* c = Canvas();
  const bool focused = Focused();
  if (focused && !FLinkPressed) {
    FHovering = true;
    SetFontColor(FOverColor);
  }
  // The caption as it stands: an ampersand is shown, not taken as an accelerator.
  c->SetFont(Font());
  if (!Enabled()) c->Font()->SetColor(clGrayText);
  c->Brush()->SetStyle(bsClear);
  c->TextOut(0, 0, FText);
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(Color());
  c->FrameRect(ClientRect());
  if (focused) DrawFocusRect(c, ClientRect());
}

void THyperLink::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft) {
    FLinkPressed = true;
    FHovering = false;
    SetFontColor(FPressedColor);
  }
  TCustomControl::MouseDown(Button, Shift, X, Y);
}

void THyperLink::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  FLinkPressed = false;
  SetFontColor(FNotPressedColor);
  TCustomControl::MouseUp(Button, Shift, X, Y);
  // The link shows at rest before the target opens.
  Repaint();
  if (X >= 0 && X <= Width() && Y >= 0 && Y <= Height() && !FHREF.empty() && Button == mbLeft && !ShellOpen(FHREF))
    // No browser or mail program took it: the user learns so rather than nothing happening.
    MessageDlg("The link " + FHREF + " could not be opened.", mtError, mbOK, 0);
}

void THyperLink::MouseMove(TShiftState Shift, int X, int Y) {
  TCustomControl::MouseMove(Shift, X, Y);
  const bool inside = X >= 0 && X < Width() && Y >= 0 && Y < Height();
  if (inside && HasPanel()) FStatusBar->SetPanelText(FStatusPanelNo, FHREF);
  if (!(Shift & (ssLeft | ssMiddle))) {
    FLinkPressed = false;
    FHovering = true;
    SetFontColor(FOverColor);
    return;
  }
  if (inside && !FPressedInside) {
    FPressedInside = true;
    FLinkPressed = true;
    SetFontColor(FPressedColor);
    Repaint();
  } else if (!inside && FPressedInside) {
    FPressedInside = false;
    FLinkPressed = false;
    SetFontColor(FNotPressedColor);
    Repaint();
  }
}

void THyperLink::MouseLeave() {
  if (!FHovering || !Enabled()) return;
  FHovering = false;
  SetFontColor(FNotPressedColor);
  Invalidate();
}

bool THyperLink::HandleEvent(QWidget* w, QEvent* e) {
  if (e->type() == QEvent::Leave && w == ClientWidget()) MouseLeave();
  return TCustomControl::HandleEvent(w, e);
}

void THyperLink::KeyDown(Word& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  // The link takes Enter itself, before a default button of its form could.
  if (Key == VK_RETURN && Shift == 0) {
    Key = 0;
    char ch = '\r';
    KeyPress(ch);
  }
}

void THyperLink::KeyPress(char& Key) {
  TCustomControl::KeyPress(Key);
  if (Key == '\r') MouseUp(mbLeft, 0, 1, 1);
}

void THyperLink::DoEnter() {
  TCustomControl::DoEnter();
  if (HasPanel()) {
    FSavedPanelText = FStatusBar->Panels(FStatusPanelNo)->Text;
    FStatusBar->SetPanelText(FStatusPanelNo, FHREF);
  }
  Repaint();
}

void THyperLink::DoExit() {
  SetFontColor(FNotPressedColor);
  TCustomControl::DoExit();
  if (HasPanel() && FStatusBar->Panels(FStatusPanelNo)->Text == FHREF)
    FStatusBar->SetPanelText(FStatusPanelNo, FSavedPanelText);
  Repaint();
}
