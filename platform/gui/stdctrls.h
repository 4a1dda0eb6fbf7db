// The standard controls the forms use. Which value changes made from code fire events is
// decided in one table (stdctrls.cpp, CodeChangeFires): an edit's Text, a check box's or
// radio button's Checked and a radio group's ItemIndex do; a track bar's Position, a combo
// box's Text or ItemIndex, a list box's ItemIndex, an up-down's Position, a page control's
// page and a speed button's Down do not.
#pragma once
#include <QPointer>
#include <QTabBar>
#include <functional>
#include <string>
#include <vector>

#include "platform/gui/canvas.h"
#include "platform/gui/controls.h"

class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QCheckBox;
class QRadioButton;
class QComboBox;
class QListWidget;
class QSlider;
class QProgressBar;
class QScrollArea;

enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TTextLayout { tlTop, tlCenter, tlBottom };
enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };
enum TBevelShape { bsBox, bsFrame, bsTopLine, bsBottomLine, bsLeftLine, bsRightLine, bsSpacer };
enum TBevelStyle { bsLowered, bsRaised };
enum TComboBoxStyle { csDropDown, csSimple, csDropDownList };
enum TTrackBarOrientation { trHorizontal, trVertical };
enum TTickMark { tmBottomRight, tmTopLeft, tmBoth };
enum TUDBtnType { btNext, btPrev };
enum TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };

// A list of strings that tells its control when it changes.
class TStrings {
 public:
  int Count() const { return int(FItems.size()); }
  const std::string& Strings(int i) const;
  const std::string& operator[](int i) const { return Strings(i); }
  void SetStrings(int i, const std::string& s);
  int Add(const std::string& s);
  void Insert(int i, const std::string& s);
  void Delete(int i);
  void Clear();
  int IndexOf(const std::string& s) const;
  void Assign(const std::vector<std::string>& v);
  const std::vector<std::string>& Items() const { return FItems; }
  // Lines joined with CR LF; SetText splits at CR LF, LF or CR.
  std::string Text() const;
  void SetText(const std::string& t);
  std::function<void()> OnChange;

 private:
  void Changed() {
    if (OnChange) OnChange();
  }
  std::vector<std::string> FItems;
};

// Draws a 3D edge of a rectangle (raised or lowered), as the controls frame themselves.
void Frame3D(TCanvas* c, TRect& r, TColor topLeft, TColor bottomRight, int width);

class TPanel : public TCustomControl {
 public:
  explicit TPanel(TComponent* owner);
  TBevelCut BevelOuter() const { return FBevelOuter; }
  void SetBevelOuter(TBevelCut b) {
    FBevelOuter = b;
    Invalidate();
  }
  TBevelCut BevelInner() const { return FBevelInner; }
  void SetBevelInner(TBevelCut b) {
    FBevelInner = b;
    Invalidate();
  }
  int BevelWidth() const { return FBevelWidth; }
  void SetBevelWidth(int w) {
    FBevelWidth = w;
    Invalidate();
  }
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment a) {
    FAlignment = a;
    Invalidate();
  }

 protected:
  void Paint() override;

 private:
  TBevelCut FBevelOuter = bvRaised;
  TBevelCut FBevelInner = bvNone;
  int FBevelWidth = 1;
  TAlignment FAlignment = taCenter;
};

class TGroupBox : public TCustomControl {
 public:
  explicit TGroupBox(TComponent* owner);

 protected:
  void Paint() override;
};

class TLabel : public TGraphicControl {
 public:
  explicit TLabel(TComponent* owner);
  void SetText(const std::string& s) override;
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool v);
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment a) {
    FAlignment = a;
    Invalidate();
  }
  TTextLayout Layout() const { return FLayout; }
  void SetLayout(TTextLayout l) {
    FLayout = l;
    Invalidate();
  }
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool v) {
    FTransparent = v;
    Invalidate();
  }
  bool WordWrap() const { return FWordWrap; }
  void SetWordWrap(bool v) {
    FWordWrap = v;
    Invalidate();
  }
  void AdjustBounds();

 protected:
  void Paint() override;
  void ApplyFont() override;

 private:
  bool FAutoSize = true;
  TAlignment FAlignment = taLeftJustify;
  TTextLayout FLayout = tlTop;
  bool FTransparent = false;
  bool FWordWrap = false;
};

class TBevel : public TGraphicControl {
 public:
  explicit TBevel(TComponent* owner);
  TBevelShape Shape() const { return FShape; }
  void SetShape(TBevelShape s) {
    FShape = s;
    Invalidate();
  }
  TBevelStyle Style() const { return FStyle; }
  void SetStyle(TBevelStyle s) {
    FStyle = s;
    Invalidate();
  }

 protected:
  void Paint() override;

 private:
  TBevelShape FShape = bsBox;
  TBevelStyle FStyle = bsLowered;
};

// A picture holder; Bitmap() is created on demand.
class TPicture : public TPersistent {
 public:
  ~TPicture() override;
  TBitmap* Bitmap();
  bool HasBitmap() const { return FBitmap != nullptr; }
  void SetBitmap(TBitmap* b) { Bitmap()->Assign(b); }
  int Width() const { return FBitmap ? FBitmap->Width() : 0; }
  int Height() const { return FBitmap ? FBitmap->Height() : 0; }
  void Assign(TPersistent* source) override;
  TNotifyEvent OnChange;

 private:
  TBitmap* FBitmap = nullptr;
};

class TImage : public TGraphicControl {
 public:
  explicit TImage(TComponent* owner);
  TPicture* Picture() { return &FPicture; }
  // The picture's canvas, as the class library gives it.
  TCanvas* Canvas() { return FPicture.Bitmap()->Canvas(); }
  bool Stretch() const { return FStretch; }
  void SetStretch(bool v) {
    FStretch = v;
    Invalidate();
  }
  bool Center() const { return FCenter; }
  void SetCenter(bool v) {
    FCenter = v;
    Invalidate();
  }
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool v);
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool v) {
    FTransparent = v;
    Invalidate();
  }

 protected:
  void Paint() override;

 private:
  void PictureChanged();
  TPicture FPicture;
  bool FStretch = false, FCenter = false, FAutoSize = false, FTransparent = false;
};

class TSpeedButton : public TGraphicControl {
 public:
  explicit TSpeedButton(TComponent* owner);
  ~TSpeedButton() override;
  TBitmap* Glyph() { return &FGlyph; }
  void SetGlyph(TBitmap* b) {
    FGlyph.Assign(b);
    Invalidate();
  }
  int NumGlyphs() const { return FNumGlyphs; }
  void SetNumGlyphs(int n) {
    FNumGlyphs = n < 1 ? 1 : n;
    Invalidate();
  }
  int GroupIndex() const { return FGroupIndex; }
  void SetGroupIndex(int g) { FGroupIndex = g; }
  bool Down() const { return FDown; }
  // Setting Down from code fires no event; it releases the others of the group.
  void SetDown(bool v);
  bool AllowAllUp() const { return FAllowAllUp; }
  void SetAllowAllUp(bool v) { FAllowAllUp = v; }
  bool Flat() const { return FFlat; }
  void SetFlat(bool v) {
    FFlat = v;
    Invalidate();
  }
  // A button that stands alone (not on a tool bar) can be reached by Tab, never by a click:
  // Space and Enter then press it, and it shows the focus. Off by default.
  bool TabStop() const { return FTabStop; }
  void SetTabStop(bool v);
  void Click() override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  bool HandleEvent(QWidget* w, QEvent* e) override;

 protected:
  void Paint() override;

 private:
  TBitmap FGlyph;
  int FNumGlyphs = 1;
  int FGroupIndex = 0;
  bool FDown = false, FAllowAllUp = false, FFlat = false, FPushed = false, FTabStop = false;
};

// The icon Name of the desktop's icon theme as a speed button's glyph strip: four glyphs of
// Size pixels (up, disabled, clicked, down), each over the face the button shows then; set
// NumGlyphs to 4. False, with Glyph untouched, when no installed theme has the icon.
bool LoadThemeGlyph(const std::string& Name, int Size, TBitmap* Glyph);

class TButton : public TWinControl {
 public:
  explicit TButton(TComponent* owner);
  TModalResult ModalResult() const { return FModalResult; }
  void SetModalResult(TModalResult r) { FModalResult = r; }
  bool Default() const { return FDefault; }
  void SetDefault(bool v);
  bool Cancel() const { return FCancel; }
  void SetCancel(bool v) { FCancel = v; }
  void Click() override;
  bool DialogKey(Word key, bool focused) override;
  QPushButton* Button() const;

 protected:
  void ApplyText() override;

 private:
  TModalResult FModalResult = mrNone;
  bool FDefault = false, FCancel = false;
};

class TCheckBox : public TWinControl {
 public:
  explicit TCheckBox(TComponent* owner);
  bool Checked() const { return FChecked; }
  void SetChecked(bool v);
  TCheckBoxState State() const { return FChecked ? cbChecked : cbUnchecked; }
  void Toggle() { SetChecked(!FChecked); }
  // taRightJustify (the default): the text right of the box; taLeftJustify: left of it.
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment a);

 protected:
  void ApplyText() override;

 private:
  bool FChecked = false;
  TAlignment FAlignment = taRightJustify;
};

class TRadioButton : public TWinControl {
 public:
  explicit TRadioButton(TComponent* owner);
  bool Checked() const { return FChecked; }
  void SetChecked(bool v);

 protected:
  void ApplyText() override;
  // The caption takes the font's colour.
  void ApplyFont() override;

 private:
  bool FChecked = false;
};

class TRadioGroup : public TCustomControl {
 public:
  explicit TRadioGroup(TComponent* owner);
  ~TRadioGroup() override;
  TStrings* Items() { return &FItems; }
  int ItemIndex() const { return FItemIndex; }
  void SetItemIndex(int i);
  int Columns() const { return FColumns; }
  void SetColumns(int c);
  TRadioButton* Buttons(int i) const { return FButtons.at(size_t(i)); }
  // The buttons are laid out by the group, for its size and font: after a scaling too.
  void AlignControls() override;
  // The scroll bar that shows when the items need more rows than fit (made on first use).
  QScrollBar* ScrollBar();
  bool HandleEvent(QWidget* w, QEvent* e) override;

 protected:
  void Paint() override;
  void ClientResized() override;
  // The buttons take the group's font, as they do when they are made.
  void ApplyFont() override;

 private:
  void Rebuild();
  void Arrange();
  void ScrollTo(int Row);
  void ShowItem(int Index);
  void FixTabStops();
  void Step(int From, int Delta);
  TStrings FItems;
  int FItemIndex = -1;
  int FColumns = 1;
  std::vector<TRadioButton*> FButtons;
  bool FRebuilding = false;
  bool FArranging = false;
  int FTopRow = 0, FRows = 0, FRowsShown = 0;
  QPointer<QScrollBar> FScrollBar;
};

class TEdit : public TWinControl {
 public:
  explicit TEdit(TComponent* owner);
  const std::string& Text() const override;
  // Fires OnChange, as typing does.
  void SetText(const std::string& s) override;
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool v);
  int MaxLength() const { return FMaxLength; }
  void SetMaxLength(int n);
  void SelectAll();
  // bsNone: no frame round the text.
  TBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TBorderStyle v);
  TNotifyEvent OnChange;
  virtual void Change();
  QLineEdit* LineEdit() const;

 protected:
  // Color is the ground, the font's colour the text.
  void ApplyColor() override;
  void ApplyFont() override;

 private:
  bool FReadOnly = false;
  int FMaxLength = 0;
  TBorderStyle FBorderStyle = bsSingle;
  mutable std::string FCache;
};

// Several lines of text; Lines and Text stay in step. Text from code fires OnChange.
class TMemo : public TWinControl {
 public:
  explicit TMemo(TComponent* owner);
  ~TMemo() override;
  TStrings* Lines() { return &FLines; }
  const std::string& Text() const override;
  void SetText(const std::string& s) override;
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool v);
  bool WordWrap() const { return FWordWrap; }
  void SetWordWrap(bool v);
  int MaxLength() const { return FMaxLength; }
  void SetMaxLength(int n) { FMaxLength = n; }
  TNotifyEvent OnChange;
  virtual void Change();
  QPlainTextEdit* Editor() const;

 private:
  void LinesChanged();
  TStrings FLines;
  bool FReadOnly = false, FWordWrap = true, FSyncing = false;
  int FMaxLength = 0;
  mutable std::string FCache;
};

class TUpDown : public TCustomControl {
 public:
  explicit TUpDown(TComponent* owner);
  int Min() const { return FMin; }
  void SetMin(int v) {
    FMin = v;
    SetPosition(FPosition);
  }
  int Max() const { return FMax; }
  void SetMax(int v) {
    FMax = v;
    SetPosition(FPosition);
  }
  int Position() const { return FPosition; }
  // From code: no OnClick; the associated edit shows the value.
  void SetPosition(int v);
  int Increment() const { return FIncrement; }
  void SetIncrement(int v) { FIncrement = v; }
  TWinControl* Associate() const { return FAssociate; }
  void SetAssociate(TWinControl* c);
  bool Wrap() const { return FWrap; }
  void SetWrap(bool v) { FWrap = v; }
  // A press on one of the arrows.
  void ButtonClick(TUDBtnType b);
  std::function<void(TObject* sender, TUDBtnType button)> OnClick;
  std::function<void(TObject* sender, bool& allowChange)> OnChanging;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;

 protected:
  void Paint() override;
  void Notification(TComponent* c, TOperation op) override;

 private:
  int FMin = 0, FMax = 100, FPosition = 0, FIncrement = 1;
  bool FWrap = false;
  TWinControl* FAssociate = nullptr;
};

class TComboBox : public TWinControl {
 public:
  explicit TComboBox(TComponent* owner);
  TStrings* Items() { return &FItems; }
  int ItemIndex() const;
  void SetItemIndex(int i);
  const std::string& Text() const override;
  void SetText(const std::string& s) override;
  TComboBoxStyle Style() const { return FStyle; }
  void SetStyle(TComboBoxStyle s);
  int DropDownCount() const { return FDropDownCount; }
  void SetDropDownCount(int n) { FDropDownCount = n; }
  // Typing completes the text from the items (true at start).
  bool AutoComplete() const { return FAutoComplete; }
  void SetAutoComplete(bool v);
  // User changes only (typing, choosing an item). Choosing an item fires OnClick first.
  TNotifyEvent OnChange;
  virtual void Change();
  QComboBox* Combo() const;

 private:
  void Rebuild();
  TStrings FItems;
  TComboBoxStyle FStyle = csDropDown;
  int FDropDownCount = 8;
  bool FAutoComplete = true;
  mutable std::string FCache;
};

class TListBox : public TWinControl {
 public:
  explicit TListBox(TComponent* owner);
  TStrings* Items() { return &FItems; }
  int ItemIndex() const;
  void SetItemIndex(int i);
  bool Sorted() const { return FSorted; }
  void SetSorted(bool v);
  QListWidget* List() const;

 protected:
  // Color is the ground of the list.
  void ApplyColor() override;

 private:
  void Rebuild();
  TStrings FItems;
  bool FSorted = false;
};

class TTrackBar : public TWinControl {
 public:
  explicit TTrackBar(TComponent* owner);
  int Min() const { return FMin; }
  void SetMin(int v);
  int Max() const { return FMax; }
  void SetMax(int v);
  int Position() const { return FPosition; }
  // From code: kept within Min..Max, no OnChange.
  void SetPosition(int v);
  int Frequency() const { return FFrequency; }
  void SetFrequency(int f);
  TTrackBarOrientation Orientation() const { return FOrientation; }
  void SetOrientation(TTrackBarOrientation o);
  TTickMark TickMarks() const { return FTickMarks; }
  void SetTickMarks(TTickMark t);
  int PageSize() const { return FPageSize; }
  void SetPageSize(int p);
  int LineSize() const { return FLineSize; }
  void SetLineSize(int l);
  TNotifyEvent OnChange;
  virtual void Changed();
  QSlider* Slider() const;

 private:
  void Apply();
  int FMin = 0, FMax = 10, FPosition = 0, FFrequency = 1, FPageSize = 2, FLineSize = 1;
  TTrackBarOrientation FOrientation = trHorizontal;
  TTickMark FTickMarks = tmBottomRight;
};

class TProgressBar : public TWinControl {
 public:
  explicit TProgressBar(TComponent* owner);
  int Min() const { return FMin; }
  void SetMin(int v);
  int Max() const { return FMax; }
  void SetMax(int v);
  int Position() const { return FPosition; }
  void SetPosition(int v);
  void StepBy(int d) { SetPosition(FPosition + d); }
  QProgressBar* Bar() const;

 private:
  int FMin = 0, FMax = 100, FPosition = 0;
};

class TStatusPanel {
 public:
  std::string Text;
  int Width = 50;
  TAlignment Alignment = taLeftJustify;
};

class TStatusBar : public TCustomControl {
 public:
  explicit TStatusBar(TComponent* owner);
  bool SimplePanel() const { return FSimplePanel; }
  void SetSimplePanel(bool v) {
    FSimplePanel = v;
    Invalidate();
  }
  const std::string& SimpleText() const { return FSimpleText; }
  void SetSimpleText(const std::string& s);
  int PanelCount() const { return int(FPanels.size()); }
  TStatusPanel* Panels(int i) { return &FPanels.at(size_t(i)); }
  TStatusPanel* AddPanel();
  void SetPanelText(int i, const std::string& s);

 protected:
  void Paint() override;

 private:
  bool FSimplePanel = false;
  std::string FSimpleText;
  std::vector<TStatusPanel> FPanels;
};

class TPageControl;

class TTabSheet : public TCustomControl {
 public:
  explicit TTabSheet(TComponent* owner);
  ~TTabSheet() override;
  TPageControl* PageControl() const { return FPageControl; }
  void SetPageControl(TPageControl* p);
  int PageIndex() const;
  bool TabVisible() const { return FTabVisible; }
  void SetTabVisible(bool v);
  void SetText(const std::string& s) override;

 private:
  TPageControl* FPageControl = nullptr;
  bool FTabVisible = true;
  friend class TPageControl;
};

class TPageControl : public TWinControl {
 public:
  explicit TPageControl(TComponent* owner);
  ~TPageControl() override;
  int PageCount() const { return int(FPages.size()); }
  TTabSheet* Pages(int i) const { return FPages.at(size_t(i)); }
  TTabSheet* ActivePage() const { return FActive; }
  // From code: no OnChange.
  void SetActivePage(TTabSheet* p);
  int ActivePageIndex() const;
  void SetActivePageIndex(int i);
  TNotifyEvent OnChange;
  std::function<void(TObject* sender, bool& allowChange)> OnChanging;
  QTabBar* TabBar() const { return FTabBar; }
  // Chooses a tab as the user does: OnChanging, then OnChange.
  void SelectTab(int tab);

 protected:
  void ClientResized() override;

 private:
  void AddPage(TTabSheet* p);
  void RemovePage(TTabSheet* p);
  void RebuildTabs();
  void LayoutPages();
  std::vector<TTabSheet*> FPages;
  TTabSheet* FActive = nullptr;
  QPointer<QTabBar> FTabBar;
  bool FRebuilding = false;
  friend class TTabSheet;
};

class TScrollBox : public TWinControl {
 public:
  explicit TScrollBox(TComponent* owner);
  TBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TBorderStyle s);
  // The scrolled area holds the children; it grows to their extent.
  void AlignControls() override;
  QWidget* ClientWidget() const override { return FInner; }
  int ClientWidth() const override;
  int ClientHeight() const override;
  QScrollArea* ScrollArea() const;

 private:
  TBorderStyle FBorderStyle = bsSingle;
  QWidget* FInner = nullptr;
};
