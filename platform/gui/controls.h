// Controls, forms, the application and the screen of the class library, over Qt widgets.
// Every control draws into a persistent surface of its own; every event handler runs inside
// one dispatcher that hands exceptions to Application->HandleException.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QScrollBar>
#include <QWidget>

#include "platform/core/bitmap.h"
#include "platform/core/object.h"
#include "platform/core/types.h"
#include "platform/gui/canvas.h"

class QCursor;
class QTimer;
class QEvent;
class TQtWidget;
class TWinControl;
class TForm;
class TPopupMenu;
class TMainMenu;
class TMenuItem;
class QAction;

using TCursor = int16_t;
constexpr TCursor crDefault = 0, crNone = -1, crArrow = -2, crCross = -3, crIBeam = -4, crSizeNESW = -6, crSizeNS = -7,
                  crSizeNWSE = -8, crSizeWE = -9, crUpArrow = -10, crHourGlass = -11, crDrag = -12, crNoDrop = -13,
                  crHSplit = -14, crVSplit = -15, crMultiDrag = -16, crSQLWait = -17, crNo = -18, crAppStart = -19,
                  crHelp = -20, crHandPoint = -21, crSizeAll = -22;

enum TMouseButton { mbLeft, mbRight, mbMiddle };
enum TShiftStateItem : unsigned {
  ssShift = 1,
  ssAlt = 2,
  ssCtrl = 4,
  ssLeft = 8,
  ssRight = 16,
  ssMiddle = 32,
  ssDouble = 64
};
using TShiftState = unsigned;
enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
// Border of forms; controls use the first two.
enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
using TBorderStyle = TFormBorderStyle;
enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };
enum TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
enum TPosition {
  poDesigned,
  poDefault,
  poDefaultPosOnly,
  poDefaultSizeOnly,
  poScreenCenter,
  poDesktopCenter,
  poMainFormCenter,
  poOwnerFormCenter
};
enum TWindowState { wsNormal, wsMinimized, wsMaximized };
enum TCloseAction { caNone, caHide, caFree, caMinimize };
enum TBorderIcon : unsigned { biSystemMenu = 1, biMinimize = 2, biMaximize = 4, biHelp = 8 };
using TBorderIcons = unsigned;

using TModalResult = int;
constexpr TModalResult mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5, mrYes = 6, mrNo = 7,
                       mrAll = 8, mrNoToAll = 9, mrYesToAll = 10;
constexpr TModalResult mrOK = mrOk;

// Control style bits.
enum TControlStyleItem : uint32_t {
  csAcceptsControls = 1u << 0,
  csCaptureMouse = 1u << 1,
  csClickEvents = 1u << 2,
  csFramed = 1u << 3,
  csSetCaption = 1u << 4,
  csOpaque = 1u << 5,
  csDoubleClicks = 1u << 6,
  csFixedWidth = 1u << 7,
  csFixedHeight = 1u << 8,
  csReplicatable = 1u << 9,
  csNoStdEvents = 1u << 10
};
using TControlStyle = uint32_t;

// Window creation parameters that the controls set, as the original window styles.
constexpr uint32_t WS_POPUP = 0x80000000u, WS_CHILD = 0x40000000u, WS_VISIBLE = 0x10000000u, WS_BORDER = 0x00800000u,
                   WS_VSCROLL = 0x00200000u, WS_HSCROLL = 0x00100000u, WS_CLIPCHILDREN = 0x02000000u,
                   WS_CLIPSIBLINGS = 0x04000000u, WS_TABSTOP = 0x00010000u;
constexpr uint32_t WS_EX_CLIENTEDGE = 0x200u, WS_EX_TOOLWINDOW = 0x80u, WS_EX_TOPMOST = 0x8u;
constexpr uint32_t CS_VREDRAW = 1u, CS_HREDRAW = 2u, CS_DBLCLKS = 8u, CS_SAVEBITS = 0x800u;
struct TCreateParams {
  uint32_t Style = 0;
  uint32_t ExStyle = 0;
  struct {
    uint32_t style = 0;
  } WindowClass;
};
// Whether the platform has 3D client edges.
constexpr bool NewStyleControls = true;

// Scroll bars of a window.
constexpr int SB_HORZ = 0, SB_VERT = 1, SB_BOTH = 3;
constexpr int SB_LINEUP = 0, SB_LINELEFT = 0, SB_LINEDOWN = 1, SB_LINERIGHT = 1, SB_PAGEUP = 2, SB_PAGELEFT = 2,
              SB_PAGEDOWN = 3, SB_PAGERIGHT = 3, SB_THUMBPOSITION = 4, SB_THUMBTRACK = 5, SB_TOP = 6, SB_LEFT = 6,
              SB_BOTTOM = 7, SB_RIGHT = 7, SB_ENDSCROLL = 8;

// Virtual key codes.
constexpr uint16_t VK_BACK = 8, VK_TAB = 9, VK_RETURN = 13, VK_SHIFT = 16, VK_CONTROL = 17, VK_MENU = 18,
                   VK_ESCAPE = 27, VK_SPACE = 32, VK_PRIOR = 33, VK_NEXT = 34, VK_END = 35, VK_HOME = 36, VK_LEFT = 37,
                   VK_UP = 38, VK_RIGHT = 39, VK_DOWN = 40, VK_INSERT = 45, VK_DELETE = 46, VK_ADD = 107,
                   VK_SUBTRACT = 109, VK_F1 = 112;

using TMouseEvent = std::function<void(TObject* sender, TMouseButton button, TShiftState shift, int x, int y)>;
using TMouseMoveEvent = std::function<void(TObject* sender, TShiftState shift, int x, int y)>;
using TKeyEvent = std::function<void(TObject* sender, Word& key, TShiftState shift)>;
using TKeyPressEvent = std::function<void(TObject* sender, char& key)>;
using TCloseEvent = std::function<void(TObject* sender, TCloseAction& action)>;
using TCloseQueryEvent = std::function<void(TObject* sender, bool& canClose)>;

// The parts of a hint "short|long"; without "|" both are the whole hint.
std::string GetShortHint(const std::string& hint);
std::string GetLongHint(const std::string& hint);
// No display to show real dialogs on (tests run offscreen).
bool HeadlessPlatform();

// Runs fn; an exception goes to Application->HandleException and stops there.
void Dispatch(TObject* sender, const std::function<void()>& fn);

// ---------------------------------------------------------------------------------------------

class TControl : public TComponent {
 public:
  explicit TControl(TComponent* owner);
  ~TControl() override;
  void BeforeDestruction() override;

  TWinControl* Parent() const { return FParent; }
  virtual void SetParent(TWinControl* p);

  int Left() const { return FLeft; }
  int Top() const { return FTop; }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  void SetLeft(int v) { SetBounds(v, FTop, FWidth, FHeight); }
  void SetTop(int v) { SetBounds(FLeft, v, FWidth, FHeight); }
  void SetWidth(int v) { SetBounds(FLeft, FTop, v, FHeight); }
  void SetHeight(int v) { SetBounds(FLeft, FTop, FWidth, v); }
  virtual void SetBounds(int left, int top, int width, int height);
  TRect BoundsRect() const { return Bounds(FLeft, FTop, FWidth, FHeight); }
  virtual int ClientWidth() const;
  virtual int ClientHeight() const;
  void SetClientWidth(int w);
  void SetClientHeight(int h);
  TRect ClientRect() const { return Rect(0, 0, ClientWidth(), ClientHeight()); }
  TPoint ClientToScreen(TPoint p) const;
  TPoint ScreenToClient(TPoint p) const;

  bool Visible() const { return FVisible; }
  virtual void SetVisible(bool v);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  // Visible, and every parent up to a shown window visible.
  bool Showing() const;
  bool Enabled() const { return FEnabled; }
  virtual void SetEnabled(bool v);
  TAlign Align() const { return FAlign; }
  void SetAlign(TAlign a);
  const std::string& Caption() const { return FText; }
  void SetCaption(const std::string& s) { SetText(s); }
  virtual const std::string& Text() const { return FText; }
  virtual void SetText(const std::string& s);
  TColor Color() const { return FColor; }
  virtual void SetColor(TColor c);
  TFont* Font() { return &FFont; }
  bool ParentFont() const { return FParentFont; }
  void SetParentFont(bool v) { FParentFont = v; }
  const std::string& Hint() const { return FHint; }
  void SetHint(const std::string& h);
  bool ShowHint() const { return FShowHint; }
  void SetShowHint(bool v);
  TCursor Cursor() const { return FCursor; }
  virtual void SetCursor(TCursor c);
  TPopupMenu* PopupMenu() const { return FPopupMenu; }
  void SetPopupMenu(TPopupMenu* m);
  bool Ctl3D() const { return FCtl3D; }
  virtual void SetCtl3D(bool v) { FCtl3D = v; }
  bool ParentCtl3D() const { return FParentCtl3D; }
  void SetParentCtl3D(bool v) { FParentCtl3D = v; }
  int HelpContext() const { return FHelpContext; }
  void SetHelpContext(int c) { FHelpContext = c; }
  TControlStyle ControlStyle() const { return FControlStyle; }
  void SetControlStyle(TControlStyle s) { FControlStyle = s; }
  // A button is down on the control (it gets the mouse until release).
  bool MouseCapture() const;
  void SetMouseCapture(bool v);

  virtual void Invalidate();
  // Paints what is invalid now.
  virtual void Update();
  void Repaint();
  void Refresh() { Repaint(); }
  void BringToFront();
  void SendToBack();

  // The outer widget (placed in the parent) and the one that holds children and paints.
  QWidget* Widget() const { return FWidget; }
  virtual QWidget* ClientWidget() const { return FWidget; }
  TForm* ParentForm() const;

  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TMouseEvent OnMouseDown;
  TMouseMoveEvent OnMouseMove;
  TMouseEvent OnMouseUp;
  TNotifyEvent OnResize;

  // Entry points of the widget layer (synthetic events come through them too).
  virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseMove(TShiftState shift, int x, int y);
  virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
  virtual void Click();
  virtual void DblClick();
  virtual void Resize();
  virtual void SurfacePaint() {}
  // Events of the control's widgets (w is the outer or the client widget); true: consumed.
  virtual bool HandleEvent(QWidget* w, QEvent* e);
  // Enter and Escape not taken by the focused control: a default or cancel button takes
  // them (focused says whether this control has the focus). True when taken.
  virtual bool DialogKey(Word key, bool focused);
  // A left double click: DblClick, then MouseDown with ssDouble.
  virtual void WMLButtonDblClk(TShiftState shift, int x, int y);

 protected:
  void Notification(TComponent* component, TOperation operation) override;
  // The new size is stored; runs before Resize.
  virtual void SizeChanged() {}
  void SetWidget(QWidget* w);
  virtual void ApplyFont();
  virtual void ApplyColor();
  virtual void ApplyText() {}
  void ApplyCursor();
  // Puts the widget where the bounds say.
  virtual void ApplyGeometry();
  void ShowPopup(int x, int y);

  TControlStyle FControlStyle = csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks;
  TWinControl* FParent = nullptr;
  int FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
  bool FVisible = true;
  bool FEnabled = true;
  TAlign FAlign = alNone;
  std::string FText;
  TColor FColor = clBtnFace;
  TFont FFont;
  bool FParentFont = true;
  std::string FHint;
  bool FShowHint = false;
  TCursor FCursor = crDefault;
  TPopupMenu* FPopupMenu = nullptr;
  bool FCtl3D = true;
  bool FParentCtl3D = true;
  int FHelpContext = 0;
  bool FPressed = false;
  QPointer<QWidget> FWidget;
  // The focus a disabled control had (FFocusHeld) and where the toolkit moved it (FFocusLent).
  QPointer<QWidget> FFocusHeld, FFocusLent;
  friend class TWinControl;
  friend class TQtWidget;
};

class TWinControl : public TControl {
 public:
  explicit TWinControl(TComponent* owner);
  ~TWinControl() override;

  int ControlCount() const { return int(FControls.size()); }
  TControl* Controls(int i) const { return FControls.at(size_t(i)); }
  void InsertControl(TControl* c);
  void RemoveControl(TControl* c);
  QWidget* ClientWidget() const override;
  int ClientWidth() const override;
  int ClientHeight() const override;

  bool TabStop() const { return FTabStop; }
  void SetTabStop(bool v);
  int TabOrder() const { return FTabOrder; }
  void SetTabOrder(int v) { FTabOrder = v; }
  bool Focused() const;
  bool CanFocus() const;
  virtual void SetFocus();
  void SetBounds(int left, int top, int width, int height) override;

  // Rebuilds the window from CreateParams (border and scroll bars).
  void RecreateWnd();
  // Scroll bars of the window itself (SB_HORZ, SB_VERT).
  void ShowScrollBar(int bar, bool show);
  bool ScrollBarVisible(int bar) const;
  void SetScrollRange(int bar, int min, int max, bool redraw);
  void SetScrollPage(int bar, int page, bool redraw);
  void SetScrollPos(int bar, int pos, bool redraw);
  int GetScrollPos(int bar) const;
  void GetScrollRange(int bar, int& min, int& max) const;
  int GetScrollPage(int bar) const;
  QScrollBar* ScrollBarWidget(int bar) const;
  // Lays out the aligned children.
  virtual void AlignControls();
  // While disabled (the calls nest), the aligned children wait; the last EnableAlign lays
  // them out once.
  void DisableAlign() { ++FAlignLevel; }
  void EnableAlign();

  TKeyEvent OnKeyDown;
  TKeyPressEvent OnKeyPress;
  TKeyEvent OnKeyUp;
  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;

  virtual void KeyDown(Word& key, TShiftState shift);
  virtual void KeyPress(char& key);
  virtual void KeyUp(Word& key, TShiftState shift);
  virtual void WMHScroll(int code, int pos);
  virtual void WMVScroll(int code, int pos);
  virtual void DoEnter();
  virtual void DoExit();
  bool HandleEvent(QWidget* w, QEvent* e) override;

 protected:
  virtual void CreateParams(TCreateParams& params);
  // Builds the frame: an outer widget with border and scroll bars round a client widget.
  void CreateFramed(QWidget* outer);
  void LayoutFrame();
  virtual void ClientResized() {}

  std::vector<TControl*> FControls;
  bool FTabStop = false;
  int FTabOrder = 0;
  QPointer<QWidget> FClient;  // null: the widget is its own client
  QPointer<QScrollBar> FScrollBars[2];
  bool FScrollShown[2] = {false, false};
  int FFrameWidth = 0;  // border pixels on each side
  int FTopInset = 0;    // a form's menu bar
  bool FRaisedFrame = false;
  TCreateParams FParams;
  bool FAligning = false;
  int FAlignLevel = 0;
  friend class TControl;
  friend class TQtWidget;
};

// The surfaces the painting controls and forms keep. ResizeSurface is true when the size
// changed; the surface is then blank, for the caller to repaint whole. RepaintSurface draws
// a surface marked for it: it fills it with *Back when Back is given, then calls Paint, with
// InPaint set meanwhile so canvas changes ask for no update.
bool ResizeSurface(TBitmap& Surface, int Width, int Height);
void RepaintSurface(TBitmap& Surface, bool& NeedPaint, bool& InPaint, const TColor* Back,
                    const std::function<void()>& Paint);

// A windowed control that paints itself on its Canvas.
class TCustomControl : public TWinControl {
 public:
  explicit TCustomControl(TComponent* owner);
  ~TCustomControl() override;
  TCanvas* Canvas();
  // The pixels on show (24 bits, client size).
  TBitmap* Surface() { return &FSurface; }
  void Invalidate() override;
  void Update() override;
  void SurfacePaint() override;
  TNotifyEvent OnPaint;

 protected:
  virtual void Paint();
  void ClientResized() override;
  void PaintNow();

  TBitmap FSurface;
  bool FNeedPaint = true;
  bool FInPaint = false;
};

// A control without a window of its own in the class library; here it still has a widget.
class TGraphicControl : public TControl {
 public:
  explicit TGraphicControl(TComponent* owner);
  ~TGraphicControl() override;
  TCanvas* Canvas();
  TBitmap* Surface() { return &FSurface; }
  void Invalidate() override;
  void Update() override;
  void SurfacePaint() override;

 protected:
  void SizeChanged() override;
  virtual void Paint();
  void PaintNow();
  TBitmap FSurface;
  bool FNeedPaint = true;
  bool FInPaint = false;
};

// ---------------------------------------------------------------------------------------------

class TForm : public TWinControl {
 public:
  explicit TForm(TComponent* owner);
  ~TForm() override;
  void BeforeDestruction() override;

  TFormStyle FormStyle() const { return FFormStyle; }
  void SetFormStyle(TFormStyle s);
  TBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TBorderStyle s);
  TBorderIcons BorderIcons() const { return FBorderIcons; }
  void SetBorderIcons(TBorderIcons b);
  TPosition Position() const { return FPosition; }
  void SetPosition(TPosition p) { FPosition = p; }
  TWindowState WindowState() const;
  void SetWindowState(TWindowState s);
  TModalResult ModalResult() const { return FModalResult; }
  void SetModalResult(TModalResult r) { FModalResult = r; }
  bool Modal() const { return FModal; }
  bool Active() const;
  bool KeyPreview() const { return FKeyPreview; }
  void SetKeyPreview(bool v) { FKeyPreview = v; }
  TMainMenu* Menu() const { return FMenu; }
  void SetMenu(TMainMenu* m);
  TWinControl* ActiveControl() const { return FActiveControl; }
  void SetActiveControl(TWinControl* c);
  const std::string& HelpFile() const { return FHelpFile; }
  void SetHelpFile(const std::string& f) { FHelpFile = f; }
  void SetVisible(bool v) override;
  void SetText(const std::string& s) override;

  TModalResult ShowModal();
  void Close();
  bool CloseQuery();
  // Frees the form once the events now running have finished.
  void Release();
  void BringToFront();

  // MDI frame.
  int MDIChildCount() const;
  TForm* MDIChildren(int i) const;
  TForm* ActiveMDIChild() const;
  // Cascade: the windows that are not minimised, oldest first, each a step below and right of
  // the one before, keeping its size as far as the area allows; the active one ends on top.
  void Cascade();
  void Tile();
  void ArrangeIcons();
  void Next();
  void Previous();
  QMdiArea* MdiArea() const { return FMdiArea; }
  // The menu that lists the open MDI children after its own items; choosing one activates it.
  TMenuItem* WindowMenu() const { return FWindowMenu; }
  void SetWindowMenu(TMenuItem* m);
  // Rebuilds the list of the window menu (children come, go, change caption or activate).
  void UpdateWindowMenu();
  void AlignControls() override;

  TNotifyEvent OnCreate;
  TNotifyEvent OnDestroy;
  TNotifyEvent OnShow;
  TNotifyEvent OnHide;
  TNotifyEvent OnActivate;
  TNotifyEvent OnDeactivate;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;
  TNotifyEvent OnPaint;

  // The form's own drawing surface (its client area), shown under the controls.
  TCanvas* Canvas() { return FSurface.Canvas(); }
  TBitmap* Surface() { return &FSurface; }
  void Invalidate() override;
  void Update() override;
  void SurfacePaint() override;

  // Activation (from Qt or from Show).
  void DoActivate();
  void DoDeactivate();
  bool HandleEvent(QWidget* w, QEvent* e) override;
  void KeyDown(Word& key, TShiftState shift) override;
  void KeyPress(char& key) override;
  void KeyUp(Word& key, TShiftState shift) override;
  // Runs OnCreate (the form's constructor calls it when its controls are built).
  void DoCreate();

  // An MDI child's place down the cascade, also when its size sent it to the top left.
  QPoint CascadeSpot() const { return FCascadeSpot; }

 protected:
  void Notification(TComponent* component, TOperation operation) override;
  void ApplyWindowFlags();
  void PlaceOnShow();
  void AttachToMdi();
  // The frame that holds this MDI child, when it has one.
  TForm* MdiFrame() const;
  // Where the k-th window of a cascade starts in the frame's MDI area.
  QPoint CascadePlace(int k, QMdiSubWindow* sub) const;
  // An MDI child places and sizes its frame so that the form gets its bounds inside it.
  void ApplyGeometry() override;
  void CloseModal();
  void ClientResized() override;
  virtual void Paint();

  TBitmap FSurface;
  bool FNeedPaint = true;
  bool FInPaint = false;

  TFormStyle FFormStyle = fsNormal;
  TBorderStyle FBorderStyle = bsSizeable;
  TBorderIcons FBorderIcons = biSystemMenu | biMinimize | biMaximize;
  TPosition FPosition = poDesigned;
  TWindowState FWindowState = wsNormal;
  TModalResult FModalResult = mrNone;
  bool FModal = false;
  bool FKeyPreview = false;
  bool FPlaced = false;
  bool FReleasing = false;
  bool FPlacingFrame = false;
  QPoint FCascadeSpot;
  TMainMenu* FMenu = nullptr;
  TMenuItem* FWindowMenu = nullptr;
  std::vector<QPointer<QAction>> FWindowList;
  TWinControl* FActiveControl = nullptr;
  std::string FHelpFile;
  QPointer<QMdiArea> FMdiArea;
  QPointer<QMdiSubWindow> FSubWindow;
  QPointer<QWidget> FMenuBar;
  friend class TApplication;
  friend class TScreen;
  friend class TWinControl;
};

// ---------------------------------------------------------------------------------------------

class TTimer : public TComponent {
 public:
  explicit TTimer(TComponent* owner);
  ~TTimer() override;
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool v);
  unsigned Interval() const { return FInterval; }
  void SetInterval(unsigned ms);
  TNotifyEvent OnTimer;
  // What the platform timer calls; tests may call it.
  void Timer();

 private:
  void UpdateTimer();
  bool FEnabled = true;
  unsigned FInterval = 1000;
  QTimer* FTimer = nullptr;
};

// ---------------------------------------------------------------------------------------------
// Machine facts and services that tests pin.

struct TPlatformServices {
  std::function<TSize()> ScreenSize;                         // default: the primary screen
  std::function<TPoint()> CursorPos;                         // default: the real cursor
  std::function<TShiftState()> MouseButtons;                 // ssLeft, ssRight, ssMiddle held now
  std::function<bool(const std::string& target)> ShellOpen;  // the shell's "open"
};
TPlatformServices& PlatformServices();
// The mouse buttons held now (ssLeft, ssRight, ssMiddle).
TShiftState MouseButtonsDown();
// Opens a document, folder or address with the desktop's "open".
bool ShellOpen(const std::string& target);

// What help would open.
struct THelpRequest {
  std::string File;
  int Context = 0;
};
using THelpService = std::function<bool(const THelpRequest&)>;
// The service that shows help; it returns false when it can't. Without one that can, a help
// request tells the user that the help file is not installed.
void SetHelpService(THelpService s);
const THelpRequest& LastHelpRequest();

// Modal requests: forms, message boxes, input queries and the common dialogs go through one
// answerer so tests decide them without blocking.
enum TModalKind {
  mkForm,
  mkMessage,
  mkError,
  mkInputQuery,
  mkColor,
  mkFont,
  mkPrint,
  mkPrinterSetup,
  mkOpenFile,
  mkSaveFile
};
enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
enum TMsgDlgBtn : unsigned {
  mbYes = 1,
  mbNo = 2,
  mbOK = 4,
  mbCancel = 8,
  mbAbort = 16,
  mbRetry = 32,
  mbIgnore = 64,
  mbAll = 128,
  mbNoToAll = 256,
  mbYesToAll = 512,
  mbHelp = 1024
};
using TMsgDlgButtons = unsigned;
constexpr TMsgDlgButtons mbYesNoCancel = mbYes | mbNo | mbCancel;
constexpr TMsgDlgButtons mbOKCancel = mbOK | mbCancel;
constexpr TMsgDlgButtons mbAbortRetryIgnore = mbAbort | mbRetry | mbIgnore;

struct TModalRequest {
  TModalKind Kind = mkForm;
  TForm* Form = nullptr;  // mkForm: shown while the answerer runs
  std::string Caption;
  std::string Text;  // message or prompt
  TMsgDlgType DlgType = mtCustom;
  TMsgDlgButtons Buttons = 0;
  int HelpContext = 0;
  std::string Value;          // input queries and file names: in and out
  TColor Color = clBlack;     // colour dialog: in and out
  TObject* Dialog = nullptr;  // the dialog component of a common dialog
};
// Returns the modal result (0 for a form: use the form's ModalResult).
using TModalAnswer = std::function<int(TModalRequest&)>;
void SetModalAnswer(TModalAnswer a);
bool HasModalAnswer();
// Runs a request: the answerer when set, else the real dialog (or mrCancel without a display).
int RunModal(TModalRequest& r);

int MessageDlg(const std::string& msg, TMsgDlgType type, TMsgDlgButtons buttons, int helpCtx);
void ShowMessage(const std::string& msg);
bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value);
std::string InputBox(const std::string& caption, const std::string& prompt, const std::string& def);
// A message box captioned with the application's title (Windows' MessageBox flags).
constexpr int MB_OK = 0, MB_OKCANCEL = 1, MB_YESNOCANCEL = 3, MB_YESNO = 4, MB_ICONERROR = 0x10, MB_ICONQUESTION = 0x20,
              MB_ICONWARNING = 0x30, MB_ICONINFORMATION = 0x40;
constexpr int IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7;

// ---------------------------------------------------------------------------------------------

using TExceptionEvent = std::function<void(TObject* sender, const std::exception& e)>;

class TApplication : public TComponent {
 public:
  explicit TApplication(TComponent* owner);
  ~TApplication() override;

  const std::string& Title() const { return FTitle; }
  void SetTitle(const std::string& t) { FTitle = t; }
  const std::string& HelpFile() const { return FHelpFile; }
  void SetHelpFile(const std::string& f) { FHelpFile = f; }
  bool HelpContext(int context);
  bool HelpCommand(int command, int data);
  TForm* MainForm() const { return FMainForm; }
  void SetMainForm(TForm* f) { FMainForm = f; }
  template <class T>
  void CreateForm(T*& ref) {
    ref = new T(this);
    if (!FMainForm) FMainForm = ref;
  }

  // The hint now shown in the status line: the part after "|", or the whole hint.
  const std::string& Hint() const { return FHint; }
  void SetHint(const std::string& h);
  TNotifyEvent OnHint;
  bool ShowHint() const { return FShowHint; }
  void SetShowHint(bool v) { FShowHint = v; }

  // Call inside a catch block: the current exception goes to OnException or the error box.
  void HandleException(TObject* sender);
  void ShowException(const std::exception& e);
  TExceptionEvent OnException;

  void ProcessMessages();
  void Run();
  void Terminate();
  bool Terminated() const { return FTerminated; }
  int MessageBox(const std::string& text, const std::string& caption, int flags);
  void Minimize() {}
  void BringToFront();

 private:
  std::string FTitle;
  std::string FHelpFile;
  std::string FHint;
  bool FShowHint = true;
  TForm* FMainForm = nullptr;
  bool FTerminated = false;
  friend class TForm;
};

class TScreen : public TComponent {
 public:
  explicit TScreen(TComponent* owner);
  int Width() const;
  int Height() const;
  int PixelsPerInch() const;
  TCursor Cursor() const { return FCursor; }
  void SetCursor(TCursor c);
  // Cursors by id: the built-in shapes, and images registered by the program.
  void SetCursorImage(TCursor id, const QCursor& c);
  bool HasCursor(TCursor id) const;
  QCursor QtCursor(TCursor id) const;
  TForm* ActiveForm() const { return FActiveForm; }
  int FormCount() const { return int(FForms.size()); }
  TForm* Forms(int i) const { return FForms.at(size_t(i)); }
  TNotifyEvent OnActiveFormChange;
  TPoint CursorPos() const;
  void SetActiveForm(TForm* f);
  void AddForm(TForm* f);
  void RemoveForm(TForm* f);

 private:
  TCursor FCursor = crDefault;
  std::vector<std::pair<TCursor, std::shared_ptr<QCursor>>> FCursors;
  TForm* FActiveForm = nullptr;
  std::vector<TForm*> FForms;
  friend class TForm;
};

extern TApplication* Application;
extern TScreen* Screen;

// The control that holds the mouse while a button is down.
TControl* GetCaptureControl();
void SetCaptureControl(TControl* c);

// A new control of type T, owned by owner, on parent at l, t, w x h.
template <class T>
T* NewControl(TComponent* owner, TWinControl* parent, int l, int t, int w, int h) {
  auto* c = new T(owner);
  c->SetParent(parent);
  c->SetBounds(l, t, w, h);
  return c;
}
