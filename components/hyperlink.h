// The hyperlink label: an underlined, focusable text that opens its target (a web address, a
// mail address or a file) through the shell when it is clicked or Enter is pressed on it. It
// changes colour while hovered and pressed, shows its target in a status bar panel while
// hovered or focused, and sizes itself to its caption.
#pragma once
#include <string>

#include "platform/gui/controls.h"
#include "platform/gui/stdctrls.h"

enum TStaticBorderStyle { sbsNone, sbsSingle, sbsSunken };

class THyperLink : public TCustomControl {
 public:
  explicit THyperLink(TComponent* AOwner);

  // Target handed to the shell's "open".
  const std::string& HREF() const { return FHREF; }
  void SetHREF(const std::string& v) { FHREF = v; }
  // Font colour at rest; the font takes it when the link is neither pressed nor hovered.
  TColor NotPressedColor() const { return FNotPressedColor; }
  void SetNotPressedColor(TColor v);
  // Font colour while hovered or focused.
  TColor OverColor() const { return FOverColor; }
  void SetOverColor(TColor v);
  TColor PressedColor() const { return FPressedColor; }
  void SetPressedColor(TColor v) { FPressedColor = v; }
  // The status bar whose panel StatusPanelNo shows the target; null: none. A panel number
  // the bar doesn't have shows nothing.
  TStatusBar* StatusBar() const { return FStatusBar; }
  void SetStatusBar(TStatusBar* v);
  int StatusPanelNo() const { return FStatusPanelNo; }
  void SetStatusPanelNo(int v) { FStatusPanelNo = v; }
  TStaticBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TStaticBorderStyle v);
  bool Hovering() const { return FHovering; }
  bool Pressed() const { return FLinkPressed; }

  // Sizes the control to its caption in its font.
  void AdjustSize();
  void SetText(const std::string& s) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void KeyDown(Word& Key, TShiftState Shift) override;
  void KeyPress(char& Key) override;
  void DoEnter() override;
  void DoExit() override;
  bool HandleEvent(QWidget* w, QEvent* e) override;

 protected:
  void Paint() override;
  void ApplyFont() override;
  void CreateParams(TCreateParams& Params) override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  void MouseLeave();
  bool HasPanel() const;
  void SetFontColor(TColor c) { Font()->SetColor(c); }

  std::string FHREF;
  std::string FSavedPanelText;
  bool FAutoSize = true;
  bool FPressedInside = false;
  TColor FNotPressedColor = clBlue;
  TColor FOverColor = clGreen;
  TColor FPressedColor = clRed;
  bool FLinkPressed = false;
  bool FHovering = false;
  int FStatusPanelNo = 0;
  TStatusBar* FStatusBar = nullptr;
  TStaticBorderStyle FBorderStyle = sbsNone;
  bool FCreating = true;
};
