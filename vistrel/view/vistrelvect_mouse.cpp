// Mouse and keys of the vector view: putting objects from the template, selecting them by
// click or rubber band, moving and resizing them by their grips, editing texts in place, and
// measuring lengths and areas in the hint window.
#include <algorithm>
#include <cmath>
#include <cstring>

#include <QFontMetrics>
#include <QLineEdit>

#include "platform/gui/stdctrls.h"
#include "vistrel/view/vistrelvect.h"
#include "vistrel/view/vlutils.h"

namespace {
constexpr int kMaxDepth = 256;
// Half the side of a grip's square, in client pixels.
constexpr int kGrip = 4;
// An ellipse is hit-tested along a chain of at most this many points.
constexpr int64_t kMaxChainPoints = 1 << 16;
constexpr long double kTwoPi = 6.283185307179586476925286766559L;
const char* const kUnitNames[] = {"Pixels", "Inches", "Km", "Mt", "CM", "MM"};
const char* const kSquared = "\xC2\xB2";  // superscript two

int Clamp32(int64_t v) { return int(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }
int32_t AddSat(int32_t a, int b) { return Clamp32(int64_t(a) + b); }

const char* UnitName(TVLUnits u) { return u <= vluMILLIMETERS ? kUnitNames[u] : ""; }
}  // namespace

// ---------------------------------------------------------------------------------------------
// Modes

void TVistrelVect::EndInteraction() {
  FPutMode = 0;
  FDragMode = 0;
  if (!FDestroying) EraseRubber();
  FRubberShown = false;
  StoreTextEdit();
  if (FEditedObject != -1) {
    FEditedObject = -1;
    if (!FDestroying) Update();
  }
}

void TVistrelVect::SetMouseInteract(TVLMouseInteract Value) {
  TVistrelView::SetMouseInteract(Value);
  // The measure modes stay; putting and selecting objects end.
  FMouseInteractVt &= 0xFF03;
  EndInteraction();
}

void TVistrelVect::SetMouseInteractVt(TVLMouseInteractVt Value) {
  EndInteraction();
  if (Value == FMouseInteractVt) return;
  TVLMouseInteractVt next = Value;
  for (unsigned bit = 1; bit <= 256; bit <<= 1) {
    if (!(Value & bit) || (FMouseInteractVt & bit)) continue;
    next = TVLMouseInteractVt(bit);
    FMouseInteractVt = next;
    if (bit == mivMeasureArea || bit == mivMeasureLength) {
      RefreshMeasureHint(Width() / 2, Height() / 2);
      if (FHint) FHint->Show();
    } else {
      TVistrelView::SetMouseInteract(0);
    }
    break;
  }
  FMouseInteractVt = next;
  if (!(next & (mivMeasureArea | mivMeasureLength)) && FHint) FHint->Hide();
}

// ---------------------------------------------------------------------------------------------
// Rubber shapes and grips

void TVistrelVect::XorRubber() {
  TCanvas* c = Canvas();
  TPen* pen = c->Pen();
  const TPenMode mode = pen->Mode();
  pen->SetMode(pmNot);
  pen->SetWidth(1);
  pen->SetStyle(psSolid);
  c->Brush()->SetStyle(bsClear);
  const TPoint a = FDragOrigin, b = FRubberEnd;
  const int l = std::min(a.X, b.X), t = std::min(a.Y, b.Y), r = std::max(a.X, b.X), btm = std::max(a.Y, b.Y);
  switch (FRubberKind) {
    case rkLine:
      c->MoveTo(a.X, a.Y);
      c->LineTo(b.X, b.Y);
      break;
    case rkRect: c->Rectangle(l, t, AddSat(r, 1), AddSat(btm, 1)); break;
    case rkEllipse: c->Ellipse(l, t, AddSat(r, 1), AddSat(btm, 1)); break;
    default: break;
  }
  pen->SetMode(mode);
}

void TVistrelVect::DrawRubber(TRubberKind Kind) {
  FRubberKind = Kind;
  XorRubber();
  FRubberShown = true;
}

void TVistrelVect::EraseRubber() {
  if (FRubberShown) XorRubber();
  FRubberShown = false;
}

void TVistrelVect::SetRubberEnd(int X, int Y) {
  FRubberEnd = Point(X, Y);
  FRubberViewX = FViewX;
  FRubberViewY = FViewY;
}

void TVistrelVect::OffsetDragOrigin(int DX, int DY) {
  TVistrelView::OffsetDragOrigin(DX, DY);
  // The end point keeps to its place on the picture by the amount actually scrolled.
  FRubberEnd.X = Clamp32(int64_t(FRubberEnd.X) - (FViewX - FRubberViewX));
  FRubberEnd.Y = Clamp32(int64_t(FRubberEnd.Y) - (FViewY - FRubberViewY));
  FRubberViewX = FViewX;
  FRubberViewY = FViewY;
}

void TVistrelVect::Paint() {
  TVistrelView::Paint();
  // A full repaint wipes the rubber shape: draw it again so that the next erase finds it.
  if (FRubberShown && FUpdateLock == 0) XorRubber();
}

void TVistrelVect::XorSelectedGrips() {
  if (FBitmap->Empty()) return;
  for (int i : FSelected)
    if (i >= 0 && i < int(FObjects.size())) DrawGrips(Canvas(), FObjects[size_t(i)], 0);
}

int TVistrelVect::ObjectGripAt(int X, int Y) {
  auto near = [&](int gx, int gy) { return X >= gx - kGrip && X < gx + kGrip && Y >= gy - kGrip && Y < gy + kGrip; };
  for (int i : FSelected) {
    if (i < 0 || i >= int(FObjects.size())) continue;
    const TVLVObject& o = FObjects[size_t(i)];
    const int x1 = ScrX(o.X1), y1 = ScrY(o.Y1), x2 = ScrX(o.X2), y2 = ScrY(o.Y2);
    if (!VLRectsOverlap(x1, y1, x2, y2, FOffsetX, FOffsetY, FOffsetX + FDisplayedWidth - 1,
                        FOffsetY + FDisplayedHeight - 1))
      continue;
    const int cx = int(x1 + (int64_t(x2) - x1 + 1) / 2), cy = int(y1 + (int64_t(y2) - y1 + 1) / 2);
    int grip = 0;
    if (near(x1, y1)) grip = 1;
    else if (near(x2, y2)) grip = 2;
    else if (near(cx, cy)) grip = 3;
    if (o.Kind != vokLine) {
      if (near(x2, y1)) grip = 4;
      else if (near(x1, y2)) grip = 5;
    }
    if (grip) return grip;
  }
  return 0;
}

// ---------------------------------------------------------------------------------------------
// Hit tests

double TVistrelVect::ObjectDistance(const TVLVObject& O, int X, int Y) const {
  switch (O.Kind) {
    case vokLine: return VLPointSegmentDistance(X, Y, O.X1, O.Y1, O.X2, O.Y2);
    case vokEllipse:
    case vokArc: {
      // Along a chain of points on the whole ellipse; the closing segment is not part of it.
      const int64_t rx = (int64_t(O.X2) - O.X1) / 2, ry = (int64_t(O.Y2) - O.Y1) / 2;
      int64_t n = Trunc(std::min(rx, ry) * kTwoPi) / 8;
      if (n < 2) return 1e7;
      n = std::min(n, kMaxChainPoints);
      const int64_t cx = O.X1 + rx, cy = O.Y1 + ry;
      auto at = [&](int64_t k) {
        const long double a = kTwoPi * k / n;
        return Point(Clamp32(cx + Trunc(rx * std::cos(a))), Clamp32(cy + Trunc(ry * std::sin(a))));
      };
      double best = 1e9;
      TPoint prev = at(0);
      for (int64_t k = 1; k < n; ++k) {
        const TPoint p = at(k);
        best = std::min(best, VLPointSegmentDistance(X, Y, prev.X, prev.Y, p.X, p.Y));
        prev = p;
      }
      return best;
    }
    default: {
      const int l = std::min(O.X1, O.X2), r = std::max(O.X1, O.X2), t = std::min(O.Y1, O.Y2), b = std::max(O.Y1, O.Y2);
      const bool solid = O.Kind != vokBox || O.BrushStyle != bsClear;
      if (solid && VLPointInRect(X, Y, l, t, r, b)) return 0;
      return std::min({VLPointSegmentDistance(X, Y, l, t, r, t), VLPointSegmentDistance(X, Y, r, t, r, b),
                       VLPointSegmentDistance(X, Y, l, b, r, b), VLPointSegmentDistance(X, Y, l, t, l, b)});
    }
  }
}

void TVistrelVect::NearestIn(const TVLVObject& Group, int X, int Y, int Depth, const TRect& Shown, double& Best,
                             int& Found) {
  if (Depth > kMaxDepth) return;
  for (auto it = Group.Children.rbegin(); it != Group.Children.rend(); ++it) {
    const int i = *it;
    if (i < 0 || i >= int(FObjects.size()) || &FObjects[size_t(i)] == &Group) continue;
    const TVLVObject& o = FObjects[size_t(i)];
    if (!(o.Flags & vofHittable)) continue;
    if (!VLRectsOverlap(o.X1, o.Y1, o.X2, o.Y2, Shown.Left, Shown.Top, Shown.Right, Shown.Bottom)) continue;
    if (o.Kind == vokGroup) {
      NearestIn(o, X, Y, Depth + 1, Shown, Best, Found);
      continue;
    }
    const double d = ObjectDistance(o, X, Y);
    if (d < Best) {
      Best = d;
      Found = i;
    }
  }
}

int TVistrelVect::FindNearestObject(int X, int Y, double* Distance) {
  // The shown part of the picture, in bitmap pixels.
  const TRect shown = Rect(XScr2Bmp(FOffsetX), YScr2Bmp(FOffsetY), XScr2Bmp(FOffsetX + FDisplayedWidth - 1),
                           YScr2Bmp(FOffsetY + FDisplayedHeight - 1));
  double best = 1e9;
  int found = VL_OBJ_NONE;
  if (FDisplayedWidth > 0 && FDisplayedHeight > 0) NearestIn(FRoot, X, Y, 0, shown, best, found);
  if (Distance) *Distance = best;
  return found;
}

void TVistrelVect::SelectInside(const TVLVObject& Group, int X1, int Y1, int X2, int Y2, int Depth) {
  if (Depth > kMaxDepth) return;
  for (int i : Group.Children) {
    if (i < 0 || i >= int(FObjects.size()) || &FObjects[size_t(i)] == &Group) continue;
    const TVLVObject& o = FObjects[size_t(i)];
    if (!(o.Flags & vofHittable)) continue;
    if (o.Kind == vokGroup) {
      SelectInside(o, X1, Y1, X2, Y2, Depth + 1);
    } else if (std::min(o.X1, o.X2) >= X1 && std::max(o.X1, o.X2) <= X2 && std::min(o.Y1, o.Y2) >= Y1 &&
               std::max(o.Y1, o.Y2) <= Y2) {
      FSelected.push_back(i);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Mouse

void TVistrelVect::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TVistrelView::MouseDown(Button, Shift, X, Y);
  EndTextEditing();
  FRubberShown = false;
  FDragRestX = FDragRestY = 0;
  FPutMode = 0;
  FDragMode = 0;
  const TVLMouseInteractVt m = FMouseInteractVt;
  if (m & mivPutLine) FPutMode = vokLine;
  else if (m & mivPutBox) FPutMode = vokBox;
  else if (m & mivPutEllipse) FPutMode = vokEllipse;
  else if (m & mivPutBitmap) FPutMode = vokBitmap;
  else if (m & mivPutText) FPutMode = vokText;
  else if (m & mivMeasureLine) FPutMode = vokLine;
  // The press point is the view's (kept inside the shown picture).
  const TPoint p = FDragOrigin;
  if (!FPutMode && (m & mivSelectObjects)) {
    if (Shift & ssDouble) {
      double d = 0;
      const int i = FindNearestObject(XScr2Bmp(p.X), YScr2Bmp(p.Y), &d);
      if (i >= 0 && FObjects[size_t(i)].Kind == vokText && d == 0) {
        XorSelectedGrips();
        UnSelAllObjects();
        SelectObject(i);
        XorSelectedGrips();
        OpenTextEditor(i);
        Update();
      }
    } else {
      FDragMode = ObjectGripAt(p.X, p.Y);
    }
  }
  SetRubberEnd(p.X, p.Y);
}

void TVistrelVect::DragSelected(int DX, int DY) {
  for (int i : FSelected) {
    if (i < 0 || i >= int(FObjects.size())) continue;
    TVLVObject& o = FObjects[size_t(i)];
    if (o.Flags & vofSizeable) {
      switch (FDragMode) {
        case 1: o.X1 = AddSat(o.X1, DX), o.Y1 = AddSat(o.Y1, DY); break;
        case 2: o.X2 = AddSat(o.X2, DX), o.Y2 = AddSat(o.Y2, DY); break;
        case 4: o.X2 = AddSat(o.X2, DX), o.Y1 = AddSat(o.Y1, DY); break;
        case 5: o.X1 = AddSat(o.X1, DX), o.Y2 = AddSat(o.Y2, DY); break;
        default: break;
      }
    }
    if ((o.Flags & vofMoveable) && FDragMode == 3) {
      o.X1 = AddSat(o.X1, DX), o.X2 = AddSat(o.X2, DX);
      o.Y1 = AddSat(o.Y1, DY), o.Y2 = AddSat(o.Y2, DY);
    }
  }
}

void TVistrelVect::MouseMove(TShiftState Shift, int X, int Y) {
  TVistrelView::MouseMove(Shift, X, Y);
  int x = X, y = Y;
  ClampToPicture(x, y);
  RefreshMeasureHint(x, y);
  if (!FButtonDown) return;
  if (FPutMode == vokLine) {
    EraseRubber();
    AutoScrollDrag();
    if (Shift & ssCtrl) VLSnapLine(FDragOrigin.X, FDragOrigin.Y, x, y);
    SetRubberEnd(x, y);
    DrawRubber(rkLine);
    if (FMouseInteractVt & mivMeasureLine) {
      if (FHint) FHint->Show();
      RefreshMeasureHint(x, y);
    }
  } else if (FPutMode == vokBox || FPutMode == vokBitmap || FPutMode == vokText) {
    EraseRubber();
    AutoScrollDrag();
    SetRubberEnd(x, y);
    DrawRubber(rkRect);
  } else if (FPutMode == vokEllipse) {
    EraseRubber();
    AutoScrollDrag();
    if (Shift & ssCtrl) {
      // A circle as large as the longer of the two distances.
      const int64_t dx = int64_t(x) - FDragOrigin.X, dy = int64_t(y) - FDragOrigin.Y;
      const int64_t d = std::llabs(dy) < std::llabs(dx) ? dx : dy;
      SetRubberEnd(Clamp32(FDragOrigin.X + d), Clamp32(FDragOrigin.Y + d));
    } else {
      SetRubberEnd(x, y);
    }
    DrawRubber(rkEllipse);
  } else if (FDragMode) {
    AutoScrollDrag();
    // Steps smaller than a bitmap pixel add up instead of being lost, so slow drags move at
    // every zoom.
    const long double fx = (long double)(int64_t(x) - FRubberEnd.X) * 100 / FZoom + FDragRestX;
    const long double fy = (long double)(int64_t(y) - FRubberEnd.Y) * 100 / FZoom + FDragRestY;
    const int dx = RoundInt(fx), dy = RoundInt(fy);
    FDragRestX = fx - dx;
    FDragRestY = fy - dy;
    SetRubberEnd(x, y);
    DragSelected(dx, dy);
    Update();
  } else if (FMouseInteractVt & mivSelectObjects) {
    EraseRubber();
    AutoScrollDrag();
    SetRubberEnd(x, y);
    XorSelectedGrips();
    FSelected.clear();
    int x1 = XScr2Bmp(FDragOrigin.X), y1 = YScr2Bmp(FDragOrigin.Y), x2 = XScr2Bmp(x), y2 = YScr2Bmp(y);
    VLOrderCorners(x1, y1, x2, y2);
    SelectInside(FRoot, x1, y1, x2, y2, 0);
    FireSelect();
    XorSelectedGrips();
    DrawRubber(rkRect);
  }
}

void TVistrelVect::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TVistrelView::MouseUp(Button, Shift, X, Y);
  if (FEditedObject != -1) return;
  FRubberShown = false;
  const TPoint p = FDragOrigin, e = FRubberEnd;
  const bool click = p.X == e.X && p.Y == e.Y;
  if (FPutMode) {
    TVLVObject& t = FTemplate;
    if (click) {
      // The template's last size at the click point.
      const int64_t w = int64_t(t.X2) - t.X1, h = int64_t(t.Y2) - t.Y1;
      t.X1 = XScr2Bmp(p.X);
      t.Y1 = YScr2Bmp(p.Y);
      t.X2 = Clamp32(t.X1 + w);
      t.Y2 = Clamp32(t.Y1 + h);
    } else {
      t.X1 = XScr2Bmp(p.X);
      t.Y1 = YScr2Bmp(p.Y);
      t.X2 = XScr2Bmp(e.X);
      t.Y2 = YScr2Bmp(e.Y);
    }
    t.Kind = TVLVObjectKind(FPutMode);
    if (FMouseInteractVt & mivMeasureLine) {
      if (FHint) FHint->Hide();
    } else {
      const int added = AddObject(VL_OBJ_ROOT, t);
      UnSelAllObjects();
      SelectObject(VL_OBJ_LAST);
      if (FPutMode == vokText) OpenTextEditor(added);
      if (OnVectorialChanged) OnVectorialChanged(this);
    }
  } else if (!FDragMode && (FMouseInteractVt & mivSelectObjects) && click) {
    const int i = FindNearestObject(XScr2Bmp(p.X), YScr2Bmp(p.Y));
    if (i >= 0) {
      XorSelectedGrips();
      if (!IsSelected(i)) {
        if (!(Shift & ssShift)) UnSelAllObjects();
        SelectObject(i);
      } else if (Shift & ssShift) {
        UnSelectObject(i);
      } else {
        UnSelAllObjects();
        SelectObject(i);
      }
      XorSelectedGrips();
    }
  } else if (FDragMode) {
    for (int i : FSelected)
      if (i >= 0 && i < int(FObjects.size()) && FObjects[size_t(i)].Kind != vokLine) {
        TVLVObject& o = FObjects[size_t(i)];
        VLOrderCorners(o.X1, o.Y1, o.X2, o.Y2);
      }
    if (OnVectorialChanged) OnVectorialChanged(this);
  }
  Update();
  FPutMode = 0;
  FDragMode = 0;
}

// ---------------------------------------------------------------------------------------------
// Keys and in-place text editing

void TVistrelVect::KeyDown(Word& Key, TShiftState Shift) {
  if (Key == VK_ESCAPE) {
    EndTextEditing();
  } else if (Key == VK_F1 + 1 && !FSelected.empty()) {
    const TVLVObject* o = Object(FSelected[0]);
    if (o && o->Kind == vokText) OpenTextEditor(FSelected[0]);
  }
  TVistrelView::KeyDown(Key, Shift);
}

void TVistrelVect::OpenTextEditor(int Index) {
  if (Index == VL_OBJ_LAST) Index = int(FObjects.size()) - 1;
  if (Index < 0 || Index >= int(FObjects.size()) || FObjects[size_t(Index)].Kind != vokText) return;
  StoreTextEdit();
  FEditedObject = Index;
  const TVLVObject& o = FObjects[size_t(Index)];
  if (!FEdit) {
    FEdit = new TEdit(this);
    FEdit->SetVisible(false);
    FEdit->SetParent(this);
    FEdit->SetBorderStyle(bsNone);
    FEdit->SetCtl3D(false);
    FEdit->OnChange = [this](TObject*) { GrowTextBox(); };
    FEdit->OnKeyDown = [this](TObject*, Word& key, TShiftState) {
      if (key == VK_RETURN) {
        key = 0;
        EndTextEditing();
        if (OnVectorialChanged) OnVectorialChanged(this);
      } else if (key == VK_ESCAPE) {
        // Back to the text it opened with.
        key = 0;
        if (FEdit) FEdit->SetText(FEditOldText);
        EndTextEditing();
      }
    };
  }
  const int x1 = ScrX(o.X1), y1 = ScrY(o.Y1), x2 = ScrX(o.X2), y2 = ScrY(o.Y2);
  FEdit->SetBounds(x1, y1, x2 - x1, y2 - y1);
  FEdit->SetColor(o.BrushStyle != bsSolid ? Background() : o.BrushColor);
  TFont* f = FEdit->Font();
  const TVLLogFont lf = o.Font ? *o.Font : TVLLogFont();
  if (lf.lfFaceName[0]) f->SetName(std::string(lf.lfFaceName, strnlen(lf.lfFaceName, sizeof(lf.lfFaceName))));
  f->SetHeight(lf.lfHeight != 0 ? TruncInt((long double)lf.lfHeight * FZoom / 100) : y2 - y1);
  TFontStyles st = 0;
  if (lf.lfWeight >= 700) st |= fsBold;
  if (lf.lfItalic) st |= fsItalic;
  if (lf.lfUnderline) st |= fsUnderline;
  if (lf.lfStrikeOut) st |= fsStrikeOut;
  f->SetStyle(st);
  f->SetColor(o.PenColor);
  FEditOldText = o.Text;
  FEdit->SetText(o.Text);
  FEdit->Show();
  FEdit->BringToFront();
  FEdit->SetFocus();
}

void TVistrelVect::GrowTextBox() {
  if (!FEdit || FEditedObject < 0 || FEditedObject >= int(FObjects.size())) return;
  TVLVObject& o = FObjects[size_t(FEditedObject)];
  if (o.Kind != vokText) return;
  // Room for all of the text in the editor (its margins, two pixels each side and the
  // cursor), so its start never scrolls away and the drawn text is never cut.
  QLineEdit* le = FEdit->LineEdit();
  const QFontMetrics fm(le->font());
  const QMargins tm = le->textMargins(), cm = le->contentsMargins();
  const int needW = fm.horizontalAdvance(le->text()) + tm.left() + tm.right() + cm.left() + cm.right() + 6;
  // A text without a height of its own is as high as its box.
  const int needH = o.Font && o.Font->lfHeight != 0 ? fm.height() + tm.top() + tm.bottom() + cm.top() + cm.bottom() : 0;
  const int w = std::max(FEdit->Width(), needW), h = std::max(FEdit->Height(), needH);
  if (w == FEdit->Width() && h == FEdit->Height()) return;
  FEdit->SetBounds(FEdit->Left(), FEdit->Top(), w, h);
  o.X2 = std::max(o.X2, XScr2Bmp(Clamp32(int64_t(FEdit->Left()) + w)));
  o.Y2 = std::max(o.Y2, YScr2Bmp(Clamp32(int64_t(FEdit->Top()) + h)));
  Invalidate();
}

void TVistrelVect::StoreTextEdit() {
  if (!FEdit || !FEdit->Visible()) return;
  if (FEditedObject >= 0 && FEditedObject < int(FObjects.size())) FObjects[size_t(FEditedObject)].Text = FEdit->Text();
  // The edit is hidden, not freed: this may run inside its own key handler.
  FEdit->Hide();
  if (!FDestroying && !(ComponentState() & csDestroying)) SetFocus();
}

void TVistrelVect::EndTextEditing() {
  StoreTextEdit();
  // The stored text shows at once.
  if (FEditedObject != -1) {
    FEditedObject = -1;
    if (!FDestroying) Update();
  }
}

void TVistrelVect::DoViewChange(int Change) {
  TVistrelView::DoViewChange(Change);
  // The editor follows its object to the new place.
  if (FEdit && FEdit->Visible() && FEditedObject >= 0) {
    const int i = FEditedObject;
    StoreTextEdit();
    OpenTextEditor(i);
  }
}

// ---------------------------------------------------------------------------------------------
// Measuring

void TVistrelVect::RefreshMeasureHint(int X, int Y) {
  if (!FHint) return;
  const TVLMouseInteractVt m = FMouseInteractVt;
  std::string text;
  if (m & (mivMeasureArea | mivMeasureLength)) {
    const TPoint* v = PolySelPoints();
    const int n = PolySelCount();
    long double value = 0;
    if (m & mivMeasureArea) {
      if (n >= 3) {
        long double sum = 0;
        for (int i = 0; i + 1 < n; ++i)
          sum += (long double)(int64_t(v[i].X) - v[i + 1].X) * ((long double)v[i + 1].Y + v[i].Y);
        sum += (long double)(int64_t(v[n - 1].X) - v[0].X) * ((long double)v[n - 1].Y + v[0].Y);
        value = std::fabs(sum) / 2 * FScaleX * FScaleY;
      }
      text = VLFloatToStrF(value, FFloatPrecision, FFloatDigits) + " " + UnitName(FMUnit) + kSquared;
    } else {
      auto seg = [&](long double ax, long double ay, long double bx, long double by) {
        const long double dx = (bx - ax) * FScaleX, dy = (by - ay) * FScaleY;
        return std::sqrt(dx * dx + dy * dy);
      };
      for (int i = 0; i + 1 < n; ++i) value += seg(v[i].X, v[i].Y, v[i + 1].X, v[i + 1].Y);
      if (!FPolyInProgress && n > 2) value += seg(v[n - 1].X, v[n - 1].Y, v[0].X, v[0].Y);
      if ((FPolyInProgress || FRectDrawing || FCircleDrawing) && n >= 1) {
        // To where the mouse is now.
        const TPoint at = X >= 0 && Y >= 0 ? Point(X, Y) : FLastPos;
        value += seg(v[n - 1].X, v[n - 1].Y, XScr2Bmp(at.X), YScr2Bmp(at.Y));
      }
      text = VLFloatToStrF(value, FFloatPrecision, FFloatDigits) + " " + UnitName(FMUnit);
    }
    if (OnMeasureHint) OnMeasureHint(this, text, double(value));
    FHint->SetText(text);
    if (X >= 0 && Y >= 0) {
      const int hx = std::min(X, ClientWidth() - FHint->Width() - 1);
      const int hy = std::min(Y, ClientHeight() - FHint->Height() - 1);
      const TPoint s = ClientToScreen(Point(hx, hy));
      FHint->SetBounds(s.X, s.Y, FHint->Width(), FHint->Height());
    }
    FHint->Repaint();
  } else if (m & mivMeasureLine) {
    const TPoint at = X >= 0 && Y >= 0 ? Point(X, Y) : FRubberEnd;
    const long double dx = (long double)(int64_t(at.X) - FDragOrigin.X) * 100 / FZoom * FScaleX;
    const long double dy = (long double)(int64_t(at.Y) - FDragOrigin.Y) * 100 / FZoom * FScaleY;
    text = VLFloatToStrF(std::sqrt(dx * dx + dy * dy), FFloatPrecision, FFloatDigits) + " " + UnitName(FMUnit);
    FHint->SetText(text);
    const TPoint s = ClientToScreen(Point(FOffsetX, FOffsetY));
    FHint->SetBounds(s.X, s.Y, FHint->Width(), FHint->Height());
    FHint->Repaint();
  }
}
