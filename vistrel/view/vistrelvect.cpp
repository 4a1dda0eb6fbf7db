#include "vistrel/view/vistrelvect.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/gui/stdctrls.h"
#include "vistrel/proc/kernels/pixels.h"
#include "vistrel/view/vlutils.h"

namespace {
constexpr int kGrowStep = 512;
constexpr int kSpare = 10;
// Groups nest through their records; a corrupt chain must not recurse for ever.
constexpr int kMaxDepth = 256;
// The root group spans more than any picture.
constexpr int32_t kRootExtent = 100000000;
// The template's icon: the system's error icon id, and its size in pixels.
constexpr int kErrorIconId = 32513;
constexpr int kTemplateIconSize = 64;
// Font weights of the logical font record.
constexpr int32_t kNormalWeight = 400, kBoldWeight = 700;
// Line ends (BeginShape, EndShape) and text alignment (TextAlign) of an object.
constexpr uint8_t kShapeTriangle = 1, kShapeArrow = 2;
constexpr uint8_t kAlignRight = 1, kAlignCentre = 2;
// Half the side of an object's grip squares, in client pixels.
constexpr int kGripHalf = 4;

// The error sign drawn where the system icon would be: a red disc with a white cross.
void DrawErrorIcon(TBitmap* b) {
  TCanvas* c = b->Canvas();
  const int w = b->Width(), h = b->Height();
  c->Pen()->SetColor(RGB(128, 0, 0));
  c->Pen()->SetWidth(1);
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(RGB(220, 0, 0));
  c->Ellipse(w / 16, h / 16, w - w / 16, h - h / 16);
  c->Pen()->SetColor(clWhite);
  c->Pen()->SetWidth(std::max(1, w / 10));
  c->MoveTo(w * 5 / 16, h * 5 / 16);
  c->LineTo(w * 11 / 16, h * 11 / 16);
  c->MoveTo(w * 11 / 16, h * 5 / 16);
  c->LineTo(w * 5 / 16, h * 11 / 16);
  c->Pen()->SetWidth(1);
}

// The three points of a line-end shape at (px, py), the line arriving from (fx, fy):
// shape 1 a triangle whose base is centred on the end point, pointing away from the line;
// shape 2 an arrow head whose apex is the end point.
void EndShapePoints(int shape, int px, int py, int fx, int fy, long double base, long double length, TPoint* pts) {
  long double dx = px - fx, dy = py - fy;
  long double d = std::sqrt(dx * dx + dy * dy);
  if (d < 1e-9L) {
    dx = 1;
    dy = 0;
  } else {
    dx /= d;
    dy /= d;
  }
  const long double nx = -dy, ny = dx, hb = base / 2;
  if (shape == kShapeTriangle) {
    pts[0] = Point(TruncInt(px + nx * hb), TruncInt(py + ny * hb));
    pts[1] = Point(TruncInt(px - nx * hb), TruncInt(py - ny * hb));
    pts[2] = Point(TruncInt(px + dx * length), TruncInt(py + dy * length));
  } else {
    const long double bx = px - dx * length, by = py - dy * length;
    pts[0] = Point(px, py);
    pts[1] = Point(TruncInt(bx + nx * hb), TruncInt(by + ny * hb));
    pts[2] = Point(TruncInt(bx - nx * hb), TruncInt(by - ny * hb));
  }
}
}  // namespace

// ---------------------------------------------------------------------------------------------
// Construction

TVistrelVect::TVistrelVect(TComponent* AOwner) : TVistrelView(AOwner) {
  FRoot.Kind = vokGroup;
  FRoot.X1 = 0;
  FRoot.Y1 = 0;
  FRoot.X2 = kRootExtent;
  FRoot.Y2 = kRootExtent;
  FRoot.Parent = VL_OBJ_NONE;
  FRoot.Flags = vofHittable | vofMoveable | vofSizeable | vofVisible;
  FTemplate = TVLVObject();
  FTemplate.X1 = 0;
  FTemplate.Y1 = 0;
  FTemplate.X2 = kTemplateIconSize - 1;
  FTemplate.Y2 = kTemplateIconSize - 1;
  ComputeUnitScale();
  SetObjBitmapIcon(VL_OBJ_TEMPLATE, kErrorIconId, kTemplateIconSize, kTemplateIconSize);
  TFont f;
  f.Assign(Canvas()->Font());
  f.SetName("Arial");
  SetObjFont(VL_OBJ_TEMPLATE, &f);
  FHint = new TVLHint(this);
}

TVistrelVect::~TVistrelVect() {
  NotifyAttached();
  FDestroying = true;
  if (FHint) FHint->Free();
  FHint = nullptr;
  EndInteraction();
  for (auto& e : FBitmaps) delete e.Bitmap;
  FBitmaps.clear();
  FObjects.clear();
  FSelected.clear();
}

// ---------------------------------------------------------------------------------------------
// Geometry and refresh

void TVistrelVect::Update() {
  TVistrelView::Update();
  FRoot.X1 = 0;
  FRoot.Y1 = 0;
  FRoot.X2 = FBitmap->Width() - 1;
  FRoot.Y2 = FBitmap->Height() - 1;
}

void TVistrelVect::ComputeUnitScale() {
  const double dx = DpiX() > 0 ? DpiX() : ScreenPixelsPerInch();
  const double dy = DpiY() > 0 ? DpiY() : ScreenPixelsPerInch();
  switch (FMUnit) {
    case vluPIXELS:
      FScaleX = 1;
      FScaleY = 1;
      break;
    case vluINCHES:
      FScaleX = 1 / dx;
      FScaleY = 1 / dy;
      break;
    case vluCENTIMETERS:
      FScaleX = 2.54 / dx;
      FScaleY = 2.54 / dy;
      break;
    case vluMILLIMETERS:
      FScaleX = 25.4 / dx;
      FScaleY = 25.4 / dy;
      break;
    case vluMETERS:
      FScaleX = 2.54 / dx * 0.01;
      FScaleY = 2.54 / dy * 0.01;
      break;
    case vluKM:
      FScaleX = 2.54 / dx * 0.00001;
      FScaleY = 2.54 / dy * 0.00001;
      break;
  }
}

void TVistrelVect::SetDpiX(int Value) {
  TVistrelView::SetDpiX(Value);
  ComputeUnitScale();
  RefreshMeasureHint(-1, -1);
}

void TVistrelVect::SetDpiY(int Value) {
  TVistrelView::SetDpiY(Value);
  ComputeUnitScale();
  RefreshMeasureHint(-1, -1);
}

void TVistrelVect::SetDpi(int X, int Y) {
  TVistrelView::SetDpi(X, Y);
  ComputeUnitScale();
  RefreshMeasureHint(-1, -1);
}

void TVistrelVect::SetMUnit(TVLUnits Value) {
  FMUnit = Value;
  ComputeUnitScale();
  RefreshMeasureHint(-1, -1);
}

void TVistrelVect::SetFloatDigits(int Value) {
  FFloatDigits = Value;
  RefreshMeasureHint(-1, -1);
}

void TVistrelVect::SetFloatPrecision(int Value) {
  FFloatPrecision = Value;
  RefreshMeasureHint(-1, -1);
}

void TVistrelVect::SetZoomObjectsWidth(bool Value) {
  FZoomObjectsWidth = Value;
  Update();
}

// ---------------------------------------------------------------------------------------------
// Objects

TVLVObject* TVistrelVect::Object(int Index) {
  if (Index == VL_OBJ_ROOT) return &FRoot;
  if (Index == VL_OBJ_TEMPLATE) return &FTemplate;
  if (Index == VL_OBJ_LAST) Index = int(FObjects.size()) - 1;
  if (Index >= 0 && Index < int(FObjects.size())) return &FObjects[size_t(Index)];
  return nullptr;
}

int TVistrelVect::AddObject(int Group, const TVLVObject& Source) {
  TVLVObject* g = Object(Group);
  if (!g || g->Kind != vokGroup || g == &FTemplate) return VL_OBJ_NONE;
  if (Group == VL_OBJ_LAST) Group = int(FObjects.size()) - 1;
  // The source may live in the array that grows below.
  TVLVObject src = Source;
  if (g->Children.size() % kGrowStep == 0) g->Children.reserve(g->Children.size() + kGrowStep + kSpare);
  if (FObjects.size() % kGrowStep == 0) {
    FObjects.reserve(FObjects.size() + kGrowStep + kSpare);
    g = Object(Group);  // the group may have moved
  }
  const int index = int(FObjects.size());
  FObjects.push_back(src);
  g->Children.push_back(index);
  TVLVObject& o = FObjects.back();
  o.Parent = Group;
  // A copy holds no children of its own: the source's members belong to the source.
  o.Children.clear();
  o.BitmapIndex = -1;
  o.Text.clear();
  o.Font.reset();
  if (o.Kind == vokBitmap) SetObjBitmapIndex(index, src.BitmapIndex);
  if (o.Kind == vokText) {
    o.Text = src.Text;
    o.Font = src.Font;
  }
  o.Name = src.Name;
  if (o.Kind != vokLine) VLOrderCorners(o.X1, o.Y1, o.X2, o.Y2);
  ++FObjectsCount;
  return index;
}

void TVistrelVect::FreeObject(TVLVObject& O) {
  if (O.BitmapIndex >= 0) ReleaseEntry(O.BitmapIndex);
  O.BitmapIndex = -1;
  O.Text.clear();
  O.Name.clear();
  O.Font.reset();
  O.Children.clear();
}

void TVistrelVect::RemoveAllObjects() {
  EndInteraction();
  for (auto& o : FObjects) FreeObject(o);
  FRoot.Children.clear();
  FSelected.clear();
  FObjects.clear();
  FObjects.shrink_to_fit();
  for (auto& e : FBitmaps) delete e.Bitmap;
  FBitmaps.clear();
  FTemplate.BitmapIndex = -1;
  FObjectsCount = 0;
  Update();
}

void TVistrelVect::SetObjPenColor(int Index, TColor Value) {
  if (TVLVObject* o = Object(Index)) {
    o->PenColor = Value;
    if (Index != VL_OBJ_TEMPLATE) Update();
  }
}

void TVistrelVect::SetObjPenStyle(int Index, TPenStyle Value) {
  if (TVLVObject* o = Object(Index)) {
    o->PenStyle = uint8_t(Value);
    if (Index != VL_OBJ_TEMPLATE) Update();
  }
}

void TVistrelVect::SetObjPenWidth(int Index, int Value) {
  if (TVLVObject* o = Object(Index)) {
    o->PenWidth = Value;
    if (Index != VL_OBJ_TEMPLATE) Update();
  }
}

void TVistrelVect::SetObjBrushColor(int Index, TColor Value) {
  if (TVLVObject* o = Object(Index)) {
    o->BrushColor = Value;
    if (Index != VL_OBJ_TEMPLATE) Update();
  }
}

void TVistrelVect::SetObjBrushStyle(int Index, TBrushStyle Value) {
  if (TVLVObject* o = Object(Index)) {
    o->BrushStyle = uint8_t(Value);
    if (Index != VL_OBJ_TEMPLATE) Update();
  }
}

void TVistrelVect::SetObjText(int Index, const std::string& Text) {
  if (TVLVObject* o = Object(Index)) {
    o->Text = Text;
    if (Index != VL_OBJ_TEMPLATE) Update();
  }
}

void TVistrelVect::SetObjFont(int Index, TFont* Font) {
  TVLVObject* o = Object(Index);
  if (!o || !Font) return;
  if (!o->Font) o->Font.emplace();
  TVLLogFont& lf = *o->Font;
  lf = TVLLogFont();
  lf.lfHeight = Font->Height();
  lf.lfEscapement = Font->Orientation();
  lf.lfOrientation = Font->Orientation();
  lf.lfWeight = (Font->Style() & fsBold) ? kBoldWeight : kNormalWeight;
  lf.lfItalic = (Font->Style() & fsItalic) ? 1 : 0;
  lf.lfUnderline = (Font->Style() & fsUnderline) ? 1 : 0;
  lf.lfStrikeOut = (Font->Style() & fsStrikeOut) ? 1 : 0;
  std::strncpy(lf.lfFaceName, Font->Name().c_str(), sizeof(lf.lfFaceName) - 1);
  o->PenColor = Font->Color();
  if (Index != VL_OBJ_TEMPLATE) Update();
}

// ---------------------------------------------------------------------------------------------
// Shared bitmaps

const TVLVBitmapEntry* TVistrelVect::BitmapEntry(int Entry) const {
  if (Entry < 0 || Entry >= int(FBitmaps.size())) return nullptr;
  return &FBitmaps[size_t(Entry)];
}

void TVistrelVect::ReleaseEntry(int Entry) {
  if (Entry < 0 || Entry >= int(FBitmaps.size())) return;
  TVLVBitmapEntry& e = FBitmaps[size_t(Entry)];
  if (!e.Bitmap) return;
  if (e.RefCount <= 1) {
    delete e.Bitmap;
    e.Bitmap = nullptr;
    e.RefCount = 0;
  } else {
    --e.RefCount;
  }
}

int TVistrelVect::FreeEntry() {
  for (size_t i = 0; i < FBitmaps.size(); ++i)
    if (!FBitmaps[i].Bitmap) return int(i);
  FBitmaps.push_back(TVLVBitmapEntry());
  return int(FBitmaps.size()) - 1;
}

void TVistrelVect::SetObjBitmap(int Index, TBitmap* Bitmap) {
  TVLVObject* o = Object(Index);
  if (!o) return;
  if (o->BitmapIndex >= 0) ReleaseEntry(o->BitmapIndex);
  o->BitmapIndex = -1;
  if (!Bitmap) return;
  if (FShareBitmaps) {
    for (int i = int(FBitmaps.size()) - 1; i >= 0; --i) {
      TVLVBitmapEntry& e = FBitmaps[size_t(i)];
      if (e.Bitmap && VLSameBitmap(e.Bitmap, Bitmap)) {
        ++e.RefCount;
        o->BitmapIndex = i;
        return;
      }
    }
  }
  const int entry = FreeEntry();
  auto* copy = new TBitmap;
  VLCopyBitmap(Bitmap, copy);
  FBitmaps[size_t(entry)].Bitmap = copy;
  FBitmaps[size_t(entry)].RefCount = 1;
  o->BitmapIndex = entry;
}

void TVistrelVect::SetObjBitmapIndex(int Index, int Entry) {
  TVLVObject* o = Object(Index);
  if (!o) return;
  // Hold the entry first: releasing the object's own entry may free it otherwise.
  const bool valid = Entry >= 0 && Entry < int(FBitmaps.size()) && FBitmaps[size_t(Entry)].Bitmap;
  if (valid) ++FBitmaps[size_t(Entry)].RefCount;
  if (o->BitmapIndex >= 0) ReleaseEntry(o->BitmapIndex);
  o->BitmapIndex = -1;
  if (Entry < 0) {
    o->BitmapIndex = Entry;
    return;
  }
  if (!valid) return;  // an entry that holds no picture gives a placeholder
  if (FShareBitmaps) {
    o->BitmapIndex = Entry;
    return;
  }
  const int entry = FreeEntry();
  auto* copy = new TBitmap;
  VLCopyBitmap(FBitmaps[size_t(Entry)].Bitmap, copy);
  FBitmaps[size_t(entry)].Bitmap = copy;
  FBitmaps[size_t(entry)].RefCount = 1;
  o->BitmapIndex = entry;
  ReleaseEntry(Entry);
}

void TVistrelVect::SetObjBitmapIcon(int Index, int IconId, int Width, int Height) {
  if (!Object(Index) || Width < 1 || Height < 1) return;
  TBitmap tmp;
  tmp.SetPixelFormat(pf24bit);
  tmp.SetSize(Width, Height);
  // Only the error sign is known here; any other icon leaves the picture blank.
  if (IconId == kErrorIconId) DrawErrorIcon(&tmp);
  SetObjBitmap(Index, &tmp);
  if (Index != VL_OBJ_TEMPLATE) Update();
}

// ---------------------------------------------------------------------------------------------
// Selection list

void TVistrelVect::FireSelect() {
  // The grips belong to the picture a back buffer keeps.
  FBackDirty = true;
  if (OnSelectObject) OnSelectObject(this);
}

void TVistrelVect::SelectObject(int Index) {
  if (Index == VL_OBJ_LAST) Index = int(FObjects.size()) - 1;
  if (Index < 0 || Index >= int(FObjects.size())) return;
  FSelected.push_back(Index);
  FireSelect();
}

bool TVistrelVect::IsSelected(int Index) const {
  if (Index == VL_OBJ_LAST) Index = int(FObjects.size()) - 1;
  return std::find(FSelected.begin(), FSelected.end(), Index) != FSelected.end();
}

void TVistrelVect::UnSelectObject(int Index) {
  if (Index == VL_OBJ_LAST) Index = int(FObjects.size()) - 1;
  auto it = std::find(FSelected.begin(), FSelected.end(), Index);
  if (it != FSelected.end()) FSelected.erase(it);
  FireSelect();
}

void TVistrelVect::UnSelAllObjects() {
  FSelected.clear();
  FireSelect();
}

// ---------------------------------------------------------------------------------------------
// Painting

int TVistrelVect::ScrX(long double X) const {
  return int(std::clamp<int64_t>(Trunc(X * FZoom / 100) + FOffsetX - FViewX, INT32_MIN / 2, INT32_MAX / 2));
}

int TVistrelVect::ScrY(long double Y) const {
  return int(std::clamp<int64_t>(Trunc(Y * FZoom / 100) + FOffsetY - FViewY, INT32_MIN / 2, INT32_MAX / 2));
}

void TVistrelVect::PaintTo(TCanvas* Canvas) {
  TVistrelView::PaintTo(Canvas);
  if (!Canvas || FBitmap->Empty()) return;
  DrawObject(Canvas, FRoot, false, 0);
  for (int i : FSelected)
    if (i >= 0 && i < int(FObjects.size())) DrawGrips(Canvas, FObjects[size_t(i)], 0);
}

void TVistrelVect::CopyObjectsToBack() {
  if (!FBitmap->Empty()) {
    TCanvas* c = FBitmap->Canvas();
    c->ResetClipRegion();
    DrawObject(c, FRoot, true, 0);
    c->Pen()->SetMode(pmCopy);
  }
  Update();
}

void TVistrelVect::DrawObject(TCanvas* C, const TVLVObject& O, bool ToBitmap, int Depth) {
  if (Depth > kMaxDepth || !(O.Flags & vofVisible)) return;
  const long double scale = ToBitmap ? 1.0L : (long double)FZoom / 100;
  int x1, y1, x2, y2;
  if (ToBitmap) {
    // Kept far from the integer limits so that the + 1 of the inclusive corners can't wrap.
    auto clampCoord = [](int32_t v) { return std::clamp(v, INT32_MIN / 2, INT32_MAX / 2); };
    x1 = clampCoord(O.X1);
    y1 = clampCoord(O.Y1);
    x2 = clampCoord(O.X2);
    y2 = clampCoord(O.Y2);
  } else {
    x1 = ScrX(O.X1);
    y1 = ScrY(O.Y1);
    x2 = ScrX(O.X2);
    y2 = ScrY(O.Y2);
    // Skip what lies outside the displayed picture.
    const int l = std::min(x1, x2), r = std::max(x1, x2), t = std::min(y1, y2), b = std::max(y1, y2);
    if (r < FOffsetX || l >= FOffsetX + FDisplayedWidth || b < FOffsetY || t >= FOffsetY + FDisplayedHeight) return;
  }
  if (O.Kind == vokGroup) {
    for (int32_t child : O.Children)
      if (child >= 0 && child < int(FObjects.size()) && &FObjects[size_t(child)] != &O)
        DrawObject(C, FObjects[size_t(child)], ToBitmap, Depth + 1);
    return;
  }
  TPen* pen = C->Pen();
  pen->SetMode(pmCopy);
  pen->SetColor(O.PenColor);
  pen->SetStyle(O.PenStyle <= psInsideFrame ? TPenStyle(O.PenStyle) : psSolid);
  int pw = O.PenWidth;
  if (FZoomObjectsWidth) pw = int(std::max<int64_t>(1, Trunc(O.PenWidth * scale)));
  pen->SetWidth(pw);
  C->Brush()->SetColor(O.BrushColor);
  C->Brush()->SetStyle(O.BrushStyle <= bsDiagCross ? TBrushStyle(O.BrushStyle) : bsSolid);

  switch (O.Kind) {
    case vokLine: {
      C->MoveTo(x1, y1);
      C->LineTo(x2, y2);
      const long double base = TruncInt(O.ShapeWidth * scale), length = TruncInt(O.ShapeHeight * scale);
      TPoint pts[3];
      if (O.BeginShape == kShapeTriangle || O.BeginShape == kShapeArrow) {
        EndShapePoints(O.BeginShape, x1, y1, x2, y2, base, length, pts);
        C->Polygon(pts, 3);
      }
      if (O.EndShape == kShapeTriangle || O.EndShape == kShapeArrow) {
        EndShapePoints(O.EndShape, x2, y2, x1, y1, base, length, pts);
        C->Polygon(pts, 3);
      }
      break;
    }
    case vokBox: C->Rectangle(x1, y1, x2 + 1, y2 + 1); break;
    case vokEllipse: C->Ellipse(x1, y1, x2 + 1, y2 + 1); break;
    case vokArc: {
      const long double rx = (long double)(x2 - x1) / 2, ry = (long double)(y2 - y1) / 2;
      const int sx = x1 + TruncInt(rx + rx * std::cos((long double)O.StartAngle));
      const int sy = y1 + TruncInt(ry + ry * std::sin((long double)O.StartAngle));
      const int ex = x1 + TruncInt(rx + rx * std::cos((long double)O.EndAngle));
      const int ey = y1 + TruncInt(ry + ry * std::sin((long double)O.EndAngle));
      C->Arc(x1, y1, x2 + 1, y2 + 1, sx, sy, ex, ey);
      break;
    }
    case vokBitmap: {
      const TVLVBitmapEntry* e = BitmapEntry(O.BitmapIndex);
      if (!e || !e->Bitmap) {
        C->Brush()->SetStyle(bsClear);
        C->Rectangle(x1, y1, x2 + 1, y2 + 1);
        C->MoveTo(x1, y1);
        C->LineTo(x2, y2);
        C->MoveTo(x2, y1);
        C->LineTo(x1, y2);
      } else {
        int l = x1, t = y1, r = x2, b = y2;
        VLOrderCorners(l, t, r, b);
        C->StretchDraw(Rect(l, t, r + 1, b + 1), e->Bitmap);
      }
      break;
    }
    case vokText: {
      if (!ToBitmap && FEditedObject >= 0 && FEditedObject < int(FObjects.size()) &&
          &FObjects[size_t(FEditedObject)] == &O) {
        C->Brush()->SetStyle(bsClear);
        C->Rectangle(x1 - 1, y1 - 1, x2 + 2, y2 + 2);
        break;
      }
      TFont saved;
      saved.Assign(C->Font());
      TFont* f = C->Font();
      const TVLLogFont lf = O.Font ? *O.Font : TVLLogFont();
      const int boxW = x2 - x1, boxH = y2 - y1;
      f->SetName(lf.lfFaceName[0] ? std::string(lf.lfFaceName, strnlen(lf.lfFaceName, sizeof(lf.lfFaceName)))
                                  : saved.Name());
      f->SetHeight(lf.lfHeight != 0 ? TruncInt(lf.lfHeight * scale) : boxH);
      TFontStyles st = 0;
      if (lf.lfWeight >= kBoldWeight) st |= fsBold;
      if (lf.lfItalic) st |= fsItalic;
      if (lf.lfUnderline) st |= fsUnderline;
      if (lf.lfStrikeOut) st |= fsStrikeOut;
      f->SetStyle(st);
      f->SetOrientation(lf.lfEscapement);
      f->SetColor(O.PenColor);
      const long double e = (long double)lf.lfEscapement / 10 * 3.14159265358979323846L / 180;
      const TSize ext = C->TextExtent(O.Text);
      const long double w = ext.cx, h = ext.cy;
      const int voff = TruncInt(std::sin(e) * w + (boxH - std::cos(e) * h)) / 2;
      int hoff = 0;
      if (O.TextAlign == kAlignRight) hoff = TruncInt(boxW - std::cos(e) * w);
      else if (O.TextAlign == kAlignCentre) hoff = TruncInt(boxW - std::cos(e) * w - std::sin(e) * h) / 2;
      else hoff = std::abs(TruncInt(std::sin(e) * h));
      C->TextRect(Rect(x1, y1, x2 + 1, y2 + 1), x1 + hoff, y1 + voff, O.Text);
      C->Font()->Assign(&saved);
      break;
    }
    default: break;
  }
}

void TVistrelVect::DrawGrips(TCanvas* C, const TVLVObject& O, int Depth) {
  if (Depth > kMaxDepth) return;
  if (O.Kind == vokGroup) {
    for (int32_t child : O.Children)
      if (child >= 0 && child < int(FObjects.size()) && &FObjects[size_t(child)] != &O)
        DrawGrips(C, FObjects[size_t(child)], Depth + 1);
  }
  C->Pen()->SetMode(pmNot);
  C->Pen()->SetWidth(1);
  C->Pen()->SetStyle(psSolid);
  C->Brush()->SetStyle(bsClear);
  const int x1 = ScrX(O.X1), y1 = ScrY(O.Y1), x2 = ScrX(O.X2), y2 = ScrY(O.Y2);
  auto square = [&](int x, int y) { C->Rectangle(x - kGripHalf, y - kGripHalf, x + kGripHalf, y + kGripHalf); };
  square(x1, y1);
  square(x2, y2);
  const int cx = int(x1 + (int64_t(x2) - x1 + 1) / 2), cy = int(y1 + (int64_t(y2) - y1 + 1) / 2);
  const TPoint d[5] = {Point(cx, cy - kGripHalf), Point(cx + kGripHalf, cy), Point(cx, cy + kGripHalf),
                       Point(cx - kGripHalf, cy), Point(cx, cy - kGripHalf)};
  C->Polyline(d, 5);
  if (O.Kind != vokLine) {
    square(x2, y1);
    square(x1, y2);
  }
  C->Pen()->SetMode(pmCopy);
}
