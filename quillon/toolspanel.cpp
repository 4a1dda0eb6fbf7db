// The tools panel at the left of the main form: what the mouse does in the active document's
// view (select, scroll, zoom, draw lines, rectangles, ellipses and texts, move objects), the
// pen, colour and font of new objects, and committing, wiping and taking back drawn objects.
#include <QPushButton>
#include <functional>

#include "quillon/mainform.h"

namespace quillon {

namespace {
constexpr int kToolSize = 26;
constexpr int kGlyphSize = 18;
constexpr TColor kLabelColor = clMaroon;

// A pictogram as a speed button's glyph strip: up, disabled, clicked and down, each drawn
// in its ink over the face the button shows then.
void MakeGlyph(TBitmap* Glyph, const std::function<void(TCanvas*, TColor)>& Draw) {
  const int s = kGlyphSize;
  Glyph->SetPixelFormat(pf24bit);
  Glyph->SetSize(4 * s, s);
  const struct {
    TColor Face, Ink;
  } states[4] = {{clBtnFace, clBlack}, {clBtnFace, clGrayText}, {clBtnFace, clBlack}, {clBtnHighlight, clBlack}};
  for (int i = 0; i < 4; ++i) {
    TBitmap one;
    one.SetPixelFormat(pf24bit);
    one.SetSize(s, s);
    TCanvas* c = one.Canvas();
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(states[i].Face);
    c->FillRect(Rect(0, 0, s, s));
    c->Pen()->SetColor(states[i].Ink);
    c->Brush()->SetStyle(bsClear);
    Draw(c, states[i].Ink);
    Glyph->Canvas()->Draw(i * s, 0, &one);
  }
}

void Arrow(TCanvas* c, int x, int y, int dx, int dy) {
  // A small filled head pointing along (dx, dy) with its tip at (x, y).
  const TPoint p[3] = {Point(x, y), Point(x - 3 * dx - 3 * dy, y - 3 * dy - 3 * dx),
                       Point(x - 3 * dx + 3 * dy, y - 3 * dy + 3 * dx)};
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(c->Pen()->Color());
  c->Polygon(p, 3);
  c->Brush()->SetStyle(bsClear);
}
}  // namespace

// ---------------------------------------------------------------------------------------------
// Building

TSpeedButton* TMainForm::AddTool(int X, int Y, const std::string& Hint, TNotifyEvent OnClick,
                                 const std::function<void(TCanvas*, TColor)>& Draw) {
  auto* b = new TSpeedButton(this);
  b->SetParent(PanelTools);
  b->SetBounds(X, Y, kToolSize, kToolSize);
  MakeGlyph(b->Glyph(), Draw);
  b->SetNumGlyphs(4);
  b->SetHint(Hint);
  b->SetShowHint(true);
  b->SetGroupIndex(1);
  b->SetAllowAllUp(true);
  b->OnClick = [this, b, OnClick](TObject* s) {
    // One group with the zoom button of the top panel: at most one is down.
    if (b->Down()) SetToolDown(b, true);
    if (OnClick) OnClick(s);
  };
  return b;
}

void TMainForm::BuildToolsPanel() {
  ColorDialog1 = new TColorDialog(this);
  ColorDialog1->SetOptions(cdFullOpen);
  FontDialog1 = new TFontDialog(this);
  FontDialog1->Font()->SetColor(clWindowText);

  PanelTools = new TPanel(this);
  PanelTools->SetParent(this);
  PanelTools->SetAlign(alLeft);
  PanelTools->SetWidth(60);
  PanelTools->SetShowHint(true);
  const int left = 4, right = 4 + kToolSize + 1, wide = 2 * kToolSize + 1;
  int y = 3;
  auto label = [&](const std::string& caption) {
    auto* l = new TLabel(this);
    l->SetParent(PanelTools);
    l->SetCaption(caption);
    l->Font()->SetColor(kLabelColor);
    l->Font()->SetStyle(fsBold);
    l->SetLeft(left);
    l->SetTop(y);
    y += 16;
    return l;
  };
  auto button = [&](const std::string& caption, const std::string& hint, TNotifyEvent onClick) {
    auto* b = new TButton(this);
    b->SetParent(PanelTools);
    b->SetBounds(left, y, wide, 24);
    y += 26;
    b->SetCaption(caption);
    b->SetHint(hint);
    b->SetShowHint(true);
    // Like the tools, the panel's buttons take no focus: a button that disables itself
    // while focused would hand the focus (and the activation) to another document.
    b->Button()->setFocusPolicy(Qt::NoFocus);
    b->OnClick = std::move(onClick);
    return b;
  };
  auto on = [this](void (TMainForm::*m)(TObject*)) -> TNotifyEvent { return [this, m](TObject* s) { (this->*m)(s); }; };
  const TNotifyEvent selectTool = on(&TMainForm::SpeedButton5Click), drawTool = on(&TMainForm::ToolButtonsClick);

  LabelSelect = label("Select");
  SpeedButton5 = AddTool(left, y, "Select", selectTool, [](TCanvas* c, TColor) {
    c->Pen()->SetStyle(psDot);
    c->Rectangle(2, 4, 16, 14);
  });
  SpeedButton8 = AddTool(right, y, "Select", selectTool, [](TCanvas* c, TColor) {
    c->Pen()->SetStyle(psDot);
    const TPoint p[6] = {Point(2, 8), Point(8, 2), Point(15, 5), Point(12, 10), Point(15, 15), Point(4, 15)};
    c->Polygon(p, 6);
  });
  y += kToolSize + 1;
  SpeedButton9 = AddTool(left, y, "Select", selectTool, [](TCanvas* c, TColor) {
    c->Pen()->SetStyle(psDot);
    c->Ellipse(1, 3, 17, 15);
  });
  SpeedButton6 = AddTool(right, y, "Scroll image across screen", selectTool, [](TCanvas* c, TColor) {
    c->MoveTo(9, 2);
    c->LineTo(9, 16);
    c->MoveTo(2, 9);
    c->LineTo(16, 9);
    Arrow(c, 9, 1, 0, -1);
    Arrow(c, 9, 16, 0, 1);
    Arrow(c, 1, 9, -1, 0);
    Arrow(c, 16, 9, 1, 0);
  });
  SpeedButton6->SetShowHint(false);
  y += kToolSize + 4;

  LabelDraw = label("Draw");
  SpeedButtonLine = AddTool(left, y, "Draw a line", drawTool, [](TCanvas* c, TColor) {
    c->Pen()->SetWidth(2);
    c->MoveTo(3, 15);
    c->LineTo(15, 3);
  });
  SpeedButtonRect = AddTool(right, y, "Draw a rectangle", drawTool, [](TCanvas* c, TColor) {
    c->Pen()->SetWidth(2);
    c->Rectangle(3, 4, 16, 15);
  });
  y += kToolSize + 1;
  SpeedButtonEllipse = AddTool(left, y, "Draw a ellipse or circle", drawTool, [](TCanvas* c, TColor) {
    c->Pen()->SetWidth(2);
    c->Ellipse(2, 4, 17, 15);
  });
  SpeedButtonScribble = AddTool(right, y, "Draw a scrible line", nullptr, [](TCanvas* c, TColor) {
    const TPoint p[5] = {Point(2, 12), Point(6, 5), Point(9, 12), Point(12, 5), Point(16, 12)};
    c->Polyline(p, 5);
  });
  SpeedButtonScribble->SetVisible(false);
  y += kToolSize + 4;

  LabelText = label("Text");
  SpeedButtonWrite = AddTool(left, y, "Insert text onto image", drawTool, [](TCanvas*, TColor) {});
  SpeedButtonWrite->Glyph()->SetSize(0, 0);
  SpeedButtonWrite->SetNumGlyphs(1);
  SpeedButtonWrite->SetCaption("Write");
  SpeedButtonWrite->SetWidth(wide);
  y += kToolSize + 4;

  LabelObject = label("Object");
  SpeedButton13 = AddTool(left, y, "Move object before it's pasted - click object to grab it", drawTool,
                          [](TCanvas* c, TColor ink) {
                            // An arrow pointer over a small frame.
                            c->Pen()->SetStyle(psDot);
                            c->Rectangle(7, 7, 17, 17);
                            c->Pen()->SetStyle(psSolid);
                            const TPoint p[7] = {Point(2, 2),  Point(2, 13), Point(5, 10), Point(7, 15),
                                                 Point(9, 14), Point(7, 9),  Point(11, 9)};
                            c->Brush()->SetStyle(bsSolid);
                            c->Brush()->SetColor(ink);
                            c->Polygon(p, 7);
                          });
  y += kToolSize + 4;

  LabelPen = label("Pen");
  PenEdit2 = new TEdit(this);
  PenEdit2->SetParent(PanelTools);
  PenEdit2->SetBounds(left, y, wide - 16, 22);
  PenEdit2->SetText("1");
  PenEdit2->SetHint("Set pen width");
  PenEdit2->SetShowHint(true);
  PenEdit2->OnChange = on(&TMainForm::PenEdit2Change);
  UpDownPen = new TUpDown(this);
  UpDownPen->SetParent(PanelTools);
  UpDownPen->SetWidth(16);
  UpDownPen->SetMin(1);
  UpDownPen->SetPosition(1);
  UpDownPen->SetWrap(false);
  UpDownPen->SetAssociate(PenEdit2);
  UpDownPen->SetHint("Set pen width");
  UpDownPen->SetShowHint(true);
  y += 27;

  PanelColor = new TPanel(this);
  PanelColor->SetParent(PanelTools);
  PanelColor->SetBounds(left, y, wide, 24);
  PanelColor->SetCaption("Color");
  PanelColor->SetHint("Select color");
  PanelColor->SetShowHint(true);
  PanelColor->SetBevelOuter(bvLowered);
  PanelColor->OnClick = on(&TMainForm::PanelColorClick);
  SetPanelColor(clBlue);
  y += 27;
  ButtonFont = button("Font", "Set text font", on(&TMainForm::ButtonFontClick));
  y += 4;
  WipeBtn = button("Wipe", "Remove objects before it's pasted", on(&TMainForm::WipeBtnClick));
  Paste = button("Paste", "Paste objects onto photo", on(&TMainForm::PasteClick));
  ObjectUndo = button("Undo", "Undo paste objects", on(&TMainForm::ObjectUndoClick));
  for (TControl* c : std::initializer_list<TControl*>{WipeBtn, Paste, ObjectUndo}) c->SetEnabled(false);

  SpeedButton5->SetDown(true);
  // The zoom button of the top panel belongs to the group.
  SpeedButton7->SetGroupIndex(1);
  SpeedButton7->SetAllowAllUp(true);
  SpeedButton7->OnClick = [this](TObject* s) {
    if (SpeedButton7->Down()) SetToolDown(SpeedButton7, true);
    SpeedButton5Click(s);
  };
}

std::vector<TSpeedButton*> TMainForm::ToolGroup() const {
  return {SpeedButton5,    SpeedButton8,       SpeedButton9,     SpeedButton6,        SpeedButton7, SpeedButtonLine,
          SpeedButtonRect, SpeedButtonEllipse, SpeedButtonWrite, SpeedButtonScribble, SpeedButton13};
}

void TMainForm::SetToolDown(TSpeedButton* Button, bool Down) {
  if (Down)
    for (TSpeedButton* b : ToolGroup())
      if (b != Button) b->SetDown(false);
  Button->SetDown(Down);
}

void TMainForm::EnableToolsPanel(bool Enabled) {
  for (TControl* c : std::initializer_list<TControl*>{
           SpeedButton5,  SpeedButton6,    SpeedButton7,    SpeedButton8,       SpeedButton9,     PenEdit2,
           UpDownPen,     ButtonFont,      PanelColor,      LabelSelect,        LabelDraw,        LabelPen,
           LabelText,     SpeedButtonLine, SpeedButtonRect, SpeedButtonEllipse, SpeedButtonWrite, SpeedButtonScribble,
           SpeedButton13, WipeBtn,         LabelObject})
    c->SetEnabled(Enabled);
}

void TMainForm::SetPanelColor(TColor Color) {
  PanelColor->SetColor(Color);
  // The caption stays readable on any colour.
  const TColor rgb = ColorToRGB(Color);
  const int light = GetRValue(rgb) * 299 + GetGValue(rgb) * 587 + GetBValue(rgb) * 114;
  PanelColor->Font()->SetColor(light < 128000 ? clWhite : clBlack);
}

// ---------------------------------------------------------------------------------------------
// Tools

void TMainForm::SpeedButton5Click(TObject*) {
  TMDIChild* c = ActiveChild();
  if (!c) return;
  TVistrelVect* v = c->VistrelVect1;
  v->SetPopupMenu(PopupMenu1);
  auto use = [&](TVLMouseInteract mi, TCursor cursor, bool popup) {
    v->SetMouseInteract(mi);
    v->SetCursor(cursor);
    PopupMenu1->SetAutoPopup(popup);
  };
  if (SpeedButton5->Down()) use(miSelect, crVLCross2, true);
  if (SpeedButton8->Down()) use(miSelectPolygon, crVLCross2, true);
  // Every tool but the polygon drops the selection.
  else v->DeSelect();
  if (SpeedButton9->Down()) use(miSelectCircle, crVLCross2, true);
  if (SpeedButton6->Down()) use(miScroll, crVLHand, true);
  if (SpeedButton7->Down()) {
    PasteClick(this);
    // The right button zooms out.
    use(miZoom | miScroll, crVLZoomIn, false);
  }
}

void TMainForm::ToolButtonsClick(TObject* Sender) {
  TMDIChild* c = ActiveChild();
  if (!c) return;
  TVistrelVect* v = c->VistrelVect1;
  v->SetCursor(SpeedButton13->Down() ? crVLCross : crVLCross2);
  const struct {
    TSpeedButton* Button;
    TVLMouseInteractVt Mode;
  } tools[] = {{SpeedButton13, mivSelectObjects},
               {SpeedButtonLine, mivPutLine},
               {SpeedButtonRect, mivPutBox},
               {SpeedButtonEllipse, mivPutEllipse},
               {SpeedButtonWrite, mivPutText}};
  for (const auto& t : tools)
    if (t.Button == Sender && t.Button->Down())
      v->SetMouseInteractVt(TVLMouseInteractVt(v->MouseInteractVt() | t.Mode));
  // The buttons follow the view; a drawing tool clicked again comes back down.
  if (v->MouseInteract() & miScroll) SetToolDown(SpeedButton6, true);
  else SpeedButton6->SetDown(false);
  for (const auto& t : tools) {
    if (v->MouseInteractVt() == t.Mode) SetToolDown(t.Button, true);
    else t.Button->SetDown(false);
  }
  if (!(v->MouseInteract() & (miSelect | miSelectPolygon | miSelectCircle))) v->DeSelect();
}

void TMainForm::PenEdit2Change(TObject*) {
  if (!DocumentCreated) return;
  TMDIChild* c = ActiveChild();
  if (!c) return;
  c->VistrelVect1->SetObjPenStyle(VL_OBJ_TEMPLATE, psSolid);
  c->VistrelVect1->SetObjPenWidth(VL_OBJ_TEMPLATE, StrToIntDef(PenEdit2->Text(), 1));
}

void TMainForm::PanelColorClick(TObject*) {
  ColorDialog1->SetColor(PanelColor->Color());
  if (ColorDialog1->Execute()) SetPanelColor(ColorDialog1->Color());
  // Confirmed or not, new texts and objects take the panel's colour.
  FontDialog1->Font()->SetColor(PanelColor->Color());
  if (TMDIChild* c = ActiveChild()) c->VistrelVect1->SetObjPenColor(VL_OBJ_TEMPLATE, PanelColor->Color());
}

void TMainForm::ButtonFontClick(TObject*) {
  if (!FontDialog1->Execute()) return;
  // The button shows the face at a fixed size.
  ButtonFont->Font()->Assign(FontDialog1->Font());
  ButtonFont->Font()->SetSize(10);
  SetPanelColor(FontDialog1->Font()->Color());
  if (TMDIChild* c = ActiveChild()) c->VistrelVect1->SetObjFont(VL_OBJ_TEMPLATE, FontDialog1->Font());
}

// ---------------------------------------------------------------------------------------------
// Drawn objects

bool TMainForm::CommitObjects(TMDIChild* Child) {
  if (!Child) return false;
  TVistrelVect* v = Child->VistrelVect1;
  // Only selected objects are committed; unselected ones stay over the picture.
  if (v->SelObjectCount() <= 0) return false;
  try {
    Child->Image1->Picture()->Bitmap()->Assign(v->Bitmap());
    v->CopyObjectsToBack();
    v->RemoveAllObjects();
    Child->VistrelIO1->SetAttachedVistrel(v);
  } catch (...) {}
  Child->Vistrel1ImageChange(v);
  return true;
}

void TMainForm::PasteClick(TObject*) {
  TMDIChild* c = ActiveChild();
  if (!c) return;
  WipeBtn->SetEnabled(false);
  Paste->SetEnabled(false);
  ObjectUndo->SetEnabled(true);
  // A commit with nothing to paint leaves the picture as it was: not modified.
  if (!CommitObjects(c)) {
    WipeBtn->SetEnabled(true);
    Paste->SetEnabled(true);
  }
}

void TMainForm::ObjectUndoClick(TObject*) {
  TMDIChild* c = ActiveChild();
  if (!c) return;
  TPicture* saved = c->Image1->Picture();
  // Nothing was kept (a new document): the picture stays.
  if (!saved->HasBitmap() || saved->Bitmap()->Empty()) return;
  try {
    // The kept picture may be of another size (a resize since): the window fits it.
    Refitting(c, [c, saved] {
      c->VistrelVect1->Bitmap()->Assign(saved->Bitmap());
      c->VistrelVect1->Refresh();
    });
  } catch (...) {}
  WipeBtn->SetEnabled(false);
  Paste->SetEnabled(false);
  ObjectUndo->SetEnabled(false);
  c->Vistrel1ImageChange(c->VistrelVect1);
}

void TMainForm::WipeBtnClick(TObject*) {
  Paste->SetEnabled(false);
  WipeBtn->SetEnabled(false);
  try {
    if (TMDIChild* c = ActiveChild()) c->VistrelVect1->RemoveAllObjects();
  } catch (...) {}
}

}  // namespace quillon
