// Main and popup menus with shortcuts and hints.
#pragma once
#include <QPointer>
#include <QMenuBar>
#include <string>
#include <vector>

#include "platform/core/object.h"
#include "platform/gui/controls.h"

class QAction;
class QMenu;

using TShortCut = Word;
constexpr TShortCut scShift = 0x2000, scCtrl = 0x4000, scAlt = 0x8000;
TShortCut ShortCut(Word key, TShiftState shift);
// "Ctrl+N", "Alt+F4", "Shift+Del", "F1"; 0 when not understood.
TShortCut TextToShortCut(const std::string& text);
std::string ShortCutToText(TShortCut sc);

class TMenuItem : public TComponent {
 public:
  explicit TMenuItem(TComponent* owner);
  ~TMenuItem() override;

  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& c);
  TShortCut ShortCut() const { return FShortCut; }
  void SetShortCut(TShortCut s);
  const std::string& Hint() const { return FHint; }
  void SetHint(const std::string& h) { FHint = h; }
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool v);
  bool Checked() const { return FChecked; }
  void SetChecked(bool v);
  bool Visible() const { return FVisible; }
  void SetVisible(bool v);
  bool RadioItem() const { return FRadioItem; }
  void SetRadioItem(bool v) { FRadioItem = v; }
  int GroupIndex() const { return FGroupIndex; }
  void SetGroupIndex(int g) { FGroupIndex = g; }
  int HelpContext() const { return FHelpContext; }
  void SetHelpContext(int c) { FHelpContext = c; }

  int Count() const { return int(FItems.size()); }
  TMenuItem* Items(int i) const { return FItems.at(size_t(i)); }
  TMenuItem* Parent() const { return FParent; }
  void Add(TMenuItem* item);
  void Insert(int index, TMenuItem* item);
  void Remove(TMenuItem* item);
  void Delete(int index);
  int IndexOf(TMenuItem* item) const;
  // Adds a new item with a caption, shortcut, hint and handler; "-" makes a separator.
  TMenuItem* AddItem(const std::string& caption, TNotifyEvent onClick = nullptr, TShortCut sc = 0,
                     const std::string& hint = "");
  TMenuItem* Find(const std::string& caption) const;

  virtual void Click();
  TNotifyEvent OnClick;

  QAction* Action() const { return FAction; }
  QMenu* SubMenu();
  // Runs the item whose shortcut this is, here or below; true when one ran.
  bool IsShortCut(TShortCut sc);

 private:
  void UpdateAction();
  std::string FCaption;
  TShortCut FShortCut = 0;
  std::string FHint;
  bool FEnabled = true, FChecked = false, FVisible = true, FRadioItem = false;
  int FGroupIndex = 0;
  int FHelpContext = 0;
  std::vector<TMenuItem*> FItems;
  TMenuItem* FParent = nullptr;
  QAction* FAction = nullptr;
  QMenu* FMenu = nullptr;
};

class TMenu : public TComponent {
 public:
  explicit TMenu(TComponent* owner);
  ~TMenu() override;
  TMenuItem* Items() const { return FItems; }
  bool IsShortCut(TShortCut sc) { return FItems->IsShortCut(sc); }

 protected:
  TMenuItem* FItems;
};

class TMainMenu : public TMenu {
 public:
  explicit TMainMenu(TComponent* owner);
  ~TMainMenu() override;
  // The menu bar of the form that shows this menu.
  QMenuBar* MenuBar();
  void Rebuild();

 private:
  QPointer<QMenuBar> FBar;
};

class TPopupMenu : public TMenu {
 public:
  explicit TPopupMenu(TComponent* owner);
  bool AutoPopup() const { return FAutoPopup; }
  void SetAutoPopup(bool v) { FAutoPopup = v; }
  TComponent* PopupComponent() const { return FPopupComponent; }
  void SetPopupComponent(TComponent* c) { FPopupComponent = c; }
  // Shows the menu at a screen point (never blocks; headless it only fires OnPopup).
  virtual void Popup(int x, int y);
  TNotifyEvent OnPopup;
  int PopupCount() const { return FPopupCount; }

 private:
  bool FAutoPopup = true;
  TComponent* FPopupComponent = nullptr;
  int FPopupCount = 0;
};
