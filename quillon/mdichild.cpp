#include "quillon/mdichild.h"

#include <algorithm>

#include <QCoreApplication>
#include <QMdiArea>
#include <QMdiSubWindow>

#include "quillon/mainform.h"

namespace quillon {

TChildMouse& ChildMouse() {
  static TChildMouse m;
  return m;
}

namespace {
TMainForm* Main() { return Application ? dynamic_cast<TMainForm*>(Application->MainForm()) : nullptr; }
}  // namespace

TMDIChild::TMDIChild(TComponent* AOwner) : TForm(AOwner) {
  // Forms made at run time take their class name, numbered when it is taken.
  std::string name = "MDIChild";
  for (int n = 1; AOwner && AOwner->FindComponent(name) != nullptr; ++n) name = "MDIChild_" + std::to_string(n);
  SetName(name);
  SetCaption("MDI Child");
  SetBounds(40, 67, 680, 480);
  SetHelpContext(310);
  SetHelpFile("Velmora.hlp");
  Font()->SetName("System");
  Font()->SetHeight(13);

  VistrelView1 = new TVistrelView(this);
  VistrelView1->SetName("VistrelView1");
  VistrelView1->SetParent(this);
  VistrelView1->SetBounds(0, 0, 20, 20);
  VistrelView1->SetBackground(clWhite);
  VistrelView1->SetScrollBars(ssBoth);
  VistrelView1->SetCenter(true);
  VistrelView1->SetMouseInteract(miSelect);
  VistrelView1->SetVisible(false);
  VistrelView1->OnImageChange = [this](TObject* s) { Vistrel1ImageChange(s); };

  VistrelVect1 = new TVistrelVect(this);
  VistrelVect1->SetName("VistrelVect1");
  VistrelVect1->SetParent(this);
  VistrelVect1->SetAlign(alClient);
  VistrelVect1->SetBackground(clWhite);
  // A picture larger than the window, however it grew, can be scrolled to its far edges.
  VistrelVect1->SetScrollBars(ssBoth);
  VistrelVect1->SetMouseInteract(miSelect);
  VistrelVect1->SetCursor(1785);
  VistrelVect1->OnViewChange = [this](TObject* s, int change) { Vistrel1Progress(s, change); };
  VistrelVect1->OnImageChange = [this](TObject* s) { Vistrel1ImageChange(s); };
  VistrelVect1->OnMouseDown = [this](TObject* s, TMouseButton b, TShiftState sh, int x, int y) {
    VistrelVect1MouseDown(s, b, sh, x, y);
  };
  VistrelVect1->OnMouseMove = [this](TObject* s, TShiftState sh, int x, int y) { VistrelVect1MouseMove(s, sh, x, y); };
  VistrelVect1->OnMouseUp = [this](TObject* s, TMouseButton b, TShiftState sh, int x, int y) {
    VistrelVect1MouseUp(s, b, sh, x, y);
  };

  Image1 = new TImage(this);
  Image1->SetParent(VistrelVect1);
  Image1->SetStretch(true);
  Image1->SetVisible(false);

  VistrelProc1 = new TVistrelProc(this);
  VistrelProc1->SetAttachedVistrel(VistrelVect1);
  VistrelProc1->SetBackground(clWhite);
  VistrelProc1->SetPreviewsParams(prppDefaultLockPreview);
  VistrelProc1->PreviewFont()->SetName("MS Sans Serif");
  VistrelProc1->PreviewFont()->SetHeight(11);
  VistrelProc1->OnProgress = [this](TObject* s, int v) { Vistrel1Progress(s, v); };

  VistrelIO1 = new TVistrelIO(this);
  VistrelIO1->SetAttachedVistrel(VistrelVect1);
  VistrelIO1->SetBackground(clWhite);
  VistrelIO1->SetPreviewsParams(ioppDefaultLockPreview);
  VistrelIO1->PreviewFont()->SetName("MS Sans Serif");
  VistrelIO1->PreviewFont()->SetHeight(11);
  VistrelIO1->OnProgress = [this](TObject* s, int v) { Vistrel1Progress(s, v); };

  OnClose = [this](TObject* s, TCloseAction& a) { FormClose(s, a); };
  OnCloseQuery = [this](TObject* s, bool& c) { FormCloseQuery(s, c); };
  SetFormStyle(fsMDIChild);
  Show();
  FPlaceLeft = CascadeSpot().x();
  FPlaceTop = CascadeSpot().y();
  FitInWorkspace();
  FFitLeft = Left();
  FFitTop = Top();
  FPlacePending = true;
}

void TMDIChild::FitInWorkspace() {
  TMainForm* m = Main();
  QMdiArea* area = m ? m->MdiArea() : nullptr;
  auto* sub = qobject_cast<QMdiSubWindow*>(Widget()->parentWidget());
  if (!area || !sub || WindowState() != wsNormal) return;
  // The window with its title bar and borders, close box included, inside the workspace: first
  // the whole area, then what its scroll bars leave when other windows still need them.
  for (const bool bars : {false, true}) {
    const QSize room = bars ? area->viewport()->size() : area->contentsRect().size();
    if (room.isEmpty()) return;
    const int overW = sub->width() - room.width(), overH = sub->height() - room.height();
    if (overW > 0) SetWidth(Width() - overW);
    if (overH > 0) SetHeight(Height() - overH);
    const int left = std::clamp(sub->x(), 0, std::max(0, room.width() - sub->width()));
    const int top = std::clamp(sub->y(), 0, std::max(0, room.height() - sub->height()));
    if (left != sub->x() || top != sub->y()) SetBounds(left, top, Width(), Height());
  }
}

void TMDIChild::FitToPicture() {
  if (WindowState() != wsNormal) return;
  // Twice: a side cut by the workspace brings a scroll bar that the other side makes room for.
  for (int round = 0; round < 2; ++round) {
    const int64_t w = VistrelVect1->IdealWidth(), h = VistrelVect1->IdealHeight();
    SetClientWidth(int(std::min<int64_t>(w, 1 << 20)));
    SetClientHeight(int(std::min<int64_t>(h, 1 << 20)));
    // Not once the user has moved it.
    if (FPlacePending && Left() == FFitLeft && Top() == FFitTop) SetBounds(FPlaceLeft, FPlaceTop, Width(), Height());
    FPlacePending = false;
    FitInWorkspace();
  }
}

TMDIChild::~TMDIChild() {
  // The views go before the components that watch them.
  VistrelVect1->OnImageChange = nullptr;
  VistrelVect1->OnViewChange = nullptr;
  VistrelView1->OnImageChange = nullptr;
  // Once the last document's pictures are freed (after this), their memory goes back to the
  // system instead of waiting in the pool for pictures that may never come.
  if (QCoreApplication* app = QCoreApplication::instance())
    QMetaObject::invokeMethod(
        app,
        [] {
          if (const TMainForm* m = Main(); !m || m->MDIChildCount() == 0) TBitmap::ReleaseFreedMemory();
        },
        Qt::QueuedConnection);
}

void TMDIChild::FormClose(TObject*, TCloseAction& Action) { Action = caFree; }

void TMDIChild::FormCloseQuery(TObject*, bool& CanClose) {
  CanClose = true;
  if (!Modified) return;
  const int r = MessageDlg("Save Changes to " + Caption() + "?", mtConfirmation, mbYesNoCancel, 0);
  if (r == mrCancel) {
    CanClose = false;
  } else if (r == mrYes) {
    TMainForm* m = Main();
    // The document that asks is saved, whichever window is active; a failed save keeps it.
    CanClose = m && m->SaveDocument(this);
  }
}

void TMDIChild::Vistrel1ImageChange(TObject*) {
  Modified = true;
  if (TMainForm* m = Main()) {
    m->WipeBtn->SetEnabled(true);
    m->Paste->SetEnabled(true);
  }
}

void TMDIChild::Vistrel1Progress(TObject*, int Value) {
  if (TMainForm* m = Main()) m->ProgressBar1->SetPosition(Value);
}

void TMDIChild::VistrelVect1MouseDown(TObject*, TMouseButton, TShiftState, int X, int Y) {
  TChildMouse& ms = ChildMouse();
  ms.PressX = X;
  ms.PressY = Y;
  if (TMainForm* m = Main()) m->SetCaption("     X: 0  Y: 0");
  ms.Pressed = true;
}

void TMDIChild::VistrelVect1MouseMove(TObject*, TShiftState, int X, int Y) {
  TMainForm* m = Main();
  if (m && VistrelVect1->SelObjectCount() > 0) {
    m->WipeBtn->SetEnabled(true);
    m->Paste->SetEnabled(true);
  }
  TChildMouse& ms = ChildMouse();
  ms.LastX = X;
  ms.LastY = Y;
  if (!m) return;
  if (ms.Pressed) m->SetCaption("     X: " + std::to_string(X - ms.PressX) + "  Y: " + std::to_string(Y - ms.PressY));
  else m->SetCaption("     X: " + std::to_string(X) + "  Y: " + std::to_string(Y));
}

void TMDIChild::VistrelVect1MouseUp(TObject*, TMouseButton, TShiftState, int, int) { ChildMouse().Pressed = false; }

}  // namespace quillon
