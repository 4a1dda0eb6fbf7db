// The vector object view: a single-image view that holds lines, boxes, ellipses, arcs,
// bitmaps, texts and groups over its picture, in bitmap pixels, drawn at the view's zoom
// and burnt into the picture on request.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "vistrel/view/vistrelview.h"

class TEdit;
class TVLHint;

// Font description of a text object (the 60-byte logical font record).
struct TVLLogFont {
  int32_t lfHeight = 0;
  int32_t lfWidth = 0;
  int32_t lfEscapement = 0;  // tenths of a degree
  int32_t lfOrientation = 0;
  int32_t lfWeight = 400;
  uint8_t lfItalic = 0;
  uint8_t lfUnderline = 0;
  uint8_t lfStrikeOut = 0;
  uint8_t lfCharSet = 0;
  uint8_t lfOutPrecision = 0;
  uint8_t lfClipPrecision = 0;
  uint8_t lfQuality = 0;
  uint8_t lfPitchAndFamily = 0;
  char lfFaceName[32] = {};
};
static_assert(sizeof(TVLLogFont) == 60);

enum TVLVObjectKind : uint8_t { vokGroup, vokLine, vokBox, vokEllipse, vokArc, vokBitmap, vokText };

// Object flags.
enum : uint8_t { vofHittable = 1, vofMoveable = 2, vofSizeable = 4, vofVisible = 8 };

// Object indexes with a meaning of their own.
constexpr int VL_OBJ_NONE = -4, VL_OBJ_ROOT = -3, VL_OBJ_LAST = -2, VL_OBJ_TEMPLATE = -1;

struct TVLVObject {
  int32_t X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
  TVLVObjectKind Kind = vokBox;
  int32_t Parent = VL_OBJ_NONE;
  std::vector<int32_t> Children;  // groups: children in drawing order
  uint8_t BeginShape = 0, EndShape = 0;
  int32_t ShapeWidth = 10, ShapeHeight = 20;
  TColor PenColor = TColor(0xFFFFFF);
  uint8_t PenStyle = psSolid;
  int32_t PenWidth = 1;
  TColor BrushColor = TColor(0xFFFFFF);
  uint8_t BrushStyle = bsClear;
  double StartAngle = 0, EndAngle = 6.283185307179586;
  int32_t BitmapIndex = -1;
  std::string Text;
  std::optional<TVLLogFont> Font;
  uint8_t TextAlign = 0;  // 0 left, 1 right, 2 centred
  std::string Name;
  uint32_t Reserved = 0;
  uint8_t Flags = vofHittable | vofMoveable | vofSizeable | vofVisible;

  int32_t ChildCount() const { return int32_t(Children.size()); }
};

// One shared picture of bitmap objects; a nil bitmap marks a free entry.
struct TVLVBitmapEntry {
  TBitmap* Bitmap = nullptr;
  int32_t RefCount = 0;
};

enum TVLUnits : uint8_t { vluPIXELS, vluINCHES, vluKM, vluMETERS, vluCENTIMETERS, vluMILLIMETERS };

// Vector mouse modes (one at a time).
enum : uint16_t {
  mivMeasureArea = 1,
  mivMeasureLength = 2,
  mivPutLine = 4,
  mivPutBox = 8,
  mivPutEllipse = 16,
  mivPutBitmap = 32,
  mivPutText = 64,
  mivSelectObjects = 128,
  mivMeasureLine = 256
};
using TVLMouseInteractVt = uint16_t;

using TVLVMeasureHintEvent = std::function<void(TObject* Sender, std::string& Text, double Value)>;

class TVistrelVect : public TVistrelView {
 public:
  explicit TVistrelVect(TComponent* AOwner);
  ~TVistrelVect() override;

  void Update() override;
  void PaintTo(TCanvas* Canvas) override;
  void SetDpiX(int Value) override;
  void SetDpiY(int Value) override;
  void SetDpi(int X, int Y) override;
  void SetMouseInteract(TVLMouseInteract Value) override;
  void Paint() override;

  // Mouse and keys: put, select, move and resize objects, edit texts, measure.
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void KeyDown(Word& Key, TShiftState Shift) override;

  // Objects. Every index is checked: an index that names no object does nothing (getters
  // return nullptr, -4 or false).
  int AddObject(int Group, const TVLVObject& Source);
  // The record of an index (-3 root, -2 last, -1 template, 0.. objects); nullptr for none.
  TVLVObject* Object(int Index);
  int ObjectsCount() const { return FObjectsCount; }
  int ObjectArrayCount() const { return int(FObjects.size()); }
  size_t ObjectArrayCapacity() const { return FObjects.capacity(); }
  void RemoveAllObjects();
  // Draws every object into the picture at scale 1, then refreshes.
  void CopyObjectsToBack();

  void SetObjPenColor(int Index, TColor Value);
  void SetObjPenStyle(int Index, TPenStyle Value);
  void SetObjPenWidth(int Index, int Value);
  void SetObjBrushColor(int Index, TColor Value);
  void SetObjBrushStyle(int Index, TBrushStyle Value);
  void SetObjFont(int Index, TFont* Font);
  void SetObjText(int Index, const std::string& Text);
  void SetObjBitmap(int Index, TBitmap* Bitmap);
  void SetObjBitmapIndex(int Index, int Entry);
  void SetObjBitmapIcon(int Index, int IconId, int Width, int Height);

  // Shared bitmaps.
  int BitmapListCount() const { return int(FBitmaps.size()); }
  const TVLVBitmapEntry* BitmapEntry(int Entry) const;

  // Selection list.
  void SelectObject(int Index);
  bool IsSelected(int Index) const;
  void UnSelectObject(int Index);
  void UnSelAllObjects();
  int SelObjectCount() const { return int(FSelected.size()); }
  int SelObject(int i) const { return i >= 0 && i < int(FSelected.size()) ? FSelected[size_t(i)] : VL_OBJ_NONE; }

  // Properties.
  TVLUnits MUnit() const { return FMUnit; }
  void SetMUnit(TVLUnits Value);
  int FloatDigits() const { return FFloatDigits; }
  void SetFloatDigits(int Value);
  int FloatPrecision() const { return FFloatPrecision; }
  void SetFloatPrecision(int Value);
  bool ShareBitmaps() const { return FShareBitmaps; }
  void SetShareBitmaps(bool Value) { FShareBitmaps = Value; }
  bool ZoomObjectsWidth() const { return FZoomObjectsWidth; }
  void SetZoomObjectsWidth(bool Value);
  double UnitScaleX() const { return FScaleX; }
  double UnitScaleY() const { return FScaleY; }

  TVLMouseInteractVt MouseInteractVt() const { return FMouseInteractVt; }
  void SetMouseInteractVt(TVLMouseInteractVt Value);

  // The object nearest to a point in bitmap pixels among those that can be hit and meet the
  // shown part of the picture (group members, not groups); VL_OBJ_NONE when there is none.
  int FindNearestObject(int X, int Y, double* Distance = nullptr);
  // Grip of the selected objects under a client point: 0 none, 1 first corner, 2 second
  // corner, 3 centre, 4 corner (X2, Y1), 5 corner (X1, Y2).
  int ObjectGripAt(int X, int Y);
  // In-place editing of a text object: opened over its box, ended with its text stored.
  void OpenTextEditor(int Index);
  void EndTextEditing();
  int EditedObject() const { return FEditedObject; }
  TEdit* TextEditor() const { return FEdit; }
  // The measuring hint, refreshed at a client point ((-1, -1): where it stands).
  TVLHint* MeasureHint() const { return FHint; }
  void RefreshMeasureHint(int X, int Y);

  TNotifyEvent OnSelectObject;
  TVLVMeasureHintEvent OnMeasureHint;
  TNotifyEvent OnVectorialChanged;

 protected:
  void DoViewChange(int Change) override;
  void OffsetDragOrigin(int DX, int DY) override;

  // Ends any put, drag or text editing.
  void EndInteraction();
  // The edited text's box grows with what is typed.
  void GrowTextBox();
  // The edit's text goes to the object and the edit is hidden; the object stays the edited one.
  void StoreTextEdit();
  // Rubber shapes drawn with an inverting pen (drawing twice erases them).
  enum TRubberKind { rkNone, rkLine, rkRect, rkEllipse };
  void XorRubber();
  void DrawRubber(TRubberKind Kind);
  void EraseRubber();
  void SetRubberEnd(int X, int Y);
  // Grips of every selected object, inverted.
  void XorSelectedGrips();
  double ObjectDistance(const TVLVObject& O, int X, int Y) const;
  void NearestIn(const TVLVObject& Group, int X, int Y, int Depth, const TRect& Shown, double& Best, int& Found);
  void SelectInside(const TVLVObject& Group, int X1, int Y1, int X2, int Y2, int Depth);
  void DragSelected(int DX, int DY);
  void ComputeUnitScale();
  void FireSelect();
  void ReleaseEntry(int Entry);
  int FreeEntry();
  void FreeObject(TVLVObject& O);
  // Objects of a group drawn onto a canvas: on screen at the zoom, or into the bitmap.
  void DrawObject(TCanvas* C, const TVLVObject& O, bool ToBitmap, int Depth);
  void DrawGrips(TCanvas* C, const TVLVObject& O, int Depth);
  int ScrX(long double X) const;
  int ScrY(long double Y) const;

  TVLVObject FRoot;
  TVLVObject FTemplate;
  std::vector<TVLVObject> FObjects;
  int FObjectsCount = 0;
  std::vector<int> FSelected;
  std::vector<TVLVBitmapEntry> FBitmaps;
  TVLMouseInteractVt FMouseInteractVt = 0;
  int FPutMode = 0;
  int FDragMode = 0;
  int FEditedObject = -1;
  TVLUnits FMUnit = vluPIXELS;
  int FFloatDigits = 2;
  int FFloatPrecision = 15;
  bool FShareBitmaps = true;
  bool FZoomObjectsWidth = true;
  double FScaleX = 1, FScaleY = 1;
  bool FDestroying = false;
  TPoint FRubberEnd;                           // client pixels
  int64_t FRubberViewX = 0, FRubberViewY = 0;  // the view origin FRubberEnd belongs to
  TRubberKind FRubberKind = rkNone;
  bool FRubberShown = false;
  long double FDragRestX = 0, FDragRestY = 0;  // bitmap pixels of a drag not yet applied
  TEdit* FEdit = nullptr;
  std::string FEditOldText;
  TVLHint* FHint = nullptr;
};
