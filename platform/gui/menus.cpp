#include "platform/gui/menus.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <algorithm>
#include <cctype>

#include "platform/gui/qtwidget.h"

TShortCut ShortCut(Word key, TShiftState shift) {
  TShortCut s = key & 0xFF;
  if (shift & ssShift) s |= scShift;
  if (shift & ssCtrl) s |= scCtrl;
  if (shift & ssAlt) s |= scAlt;
  return s;
}

namespace {
struct KeyName {
  const char* name;
  Word key;
};
const KeyName kKeyNames[] = {{"BkSp", VK_BACK},   {"Tab", VK_TAB},    {"Enter", VK_RETURN}, {"Esc", VK_ESCAPE},
                             {"Space", VK_SPACE}, {"PgUp", VK_PRIOR}, {"PgDn", VK_NEXT},    {"End", VK_END},
                             {"Home", VK_HOME},   {"Left", VK_LEFT},  {"Up", VK_UP},        {"Right", VK_RIGHT},
                             {"Down", VK_DOWN},   {"Ins", VK_INSERT}, {"Del", VK_DELETE}};

bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower((unsigned char)x) == std::tolower((unsigned char)y);
         });
}
}  // namespace

TShortCut TextToShortCut(const std::string& text) {
  TShortCut mods = 0;
  std::string rest = text;
  for (;;) {
    size_t plus = rest.find('+');
    if (plus == std::string::npos || plus + 1 >= rest.size()) break;
    std::string m = rest.substr(0, plus);
    if (SameText(m, "Ctrl")) mods |= scCtrl;
    else if (SameText(m, "Shift")) mods |= scShift;
    else if (SameText(m, "Alt")) mods |= scAlt;
    else return 0;
    rest = rest.substr(plus + 1);
  }
  if (rest.size() == 1) {
    char c = char(std::toupper((unsigned char)rest[0]));
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return TShortCut(mods | Word(c));
    return 0;
  }
  if (rest.size() >= 2 && (rest[0] == 'F' || rest[0] == 'f')) {
    int n = std::atoi(rest.c_str() + 1);
    if (n >= 1 && n <= 24) return TShortCut(mods | Word(VK_F1 + n - 1));
  }
  for (auto& k : kKeyNames)
    if (SameText(rest, k.name)) return TShortCut(mods | k.key);
  return 0;
}

std::string ShortCutToText(TShortCut sc) {
  Word key = sc & 0xFF;
  std::string name;
  if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9')) name = std::string(1, char(key));
  else if (key >= VK_F1 && key < VK_F1 + 24) {
    name = "F";
    name += std::to_string(key - VK_F1 + 1);
  } else
    for (auto& k : kKeyNames)
      if (k.key == key) name = k.name;
  if (name.empty()) return "";
  std::string s;
  if (sc & scShift) s += "Shift+";
  if (sc & scCtrl) s += "Ctrl+";
  if (sc & scAlt) s += "Alt+";
  s += name;
  return s;
}

TMenuItem::TMenuItem(TComponent* owner) : TComponent(owner) {
  FAction = new QAction();
  QObject::connect(FAction, &QAction::triggered, FAction, [this] { Dispatch(this, [this] { Click(); }); });
  QObject::connect(FAction, &QAction::hovered, FAction, [this] {
    if (Application) Application->SetHint(GetLongHint(FHint));
  });
}

TMenuItem::~TMenuItem() {
  while (!FItems.empty()) {
    TMenuItem* c = FItems.back();
    Remove(c);
    c->Free();
  }
  if (FParent) FParent->Remove(this);
  FAction->disconnect();
  delete FMenu;
  delete FAction;
}

void TMenuItem::UpdateAction() {
  // A separator shows as a line; its caption "-" is only how it is named.
  const bool separator = FCaption == "-";
  FAction->setText(separator ? QString() : QString::fromStdString(FCaption));
  FAction->setSeparator(separator);
  FAction->setEnabled(FEnabled);
  FAction->setVisible(FVisible);
  FAction->setCheckable(FChecked || FRadioItem);
  FAction->setChecked(FChecked);
  if (FShortCut) {
    QKeyCombination k(Qt::KeyboardModifiers(((FShortCut & scShift) ? Qt::ShiftModifier : Qt::NoModifier) |
                                            ((FShortCut & scCtrl) ? Qt::ControlModifier : Qt::NoModifier) |
                                            ((FShortCut & scAlt) ? Qt::AltModifier : Qt::NoModifier)),
                      Qt::Key(QtKeyFromVirtual(FShortCut & 0xFF)));
    // Shown in the menu; the forms run shortcuts themselves.
    FAction->setShortcut(QKeySequence(k));
    FAction->setShortcutContext(Qt::WidgetShortcut);
  } else {
    FAction->setShortcut(QKeySequence());
  }
}

void TMenuItem::SetCaption(const std::string& c) {
  FCaption = c;
  UpdateAction();
}
void TMenuItem::SetShortCut(TShortCut s) {
  FShortCut = s;
  UpdateAction();
}
void TMenuItem::SetEnabled(bool v) {
  FEnabled = v;
  UpdateAction();
}
void TMenuItem::SetChecked(bool v) {
  FChecked = v;
  if (v && FRadioItem && FParent)
    for (TMenuItem* o : FParent->FItems)
      if (o != this && o->FRadioItem && o->FGroupIndex == FGroupIndex && o->FChecked) {
        o->FChecked = false;
        o->UpdateAction();
      }
  UpdateAction();
}
void TMenuItem::SetVisible(bool v) {
  FVisible = v;
  UpdateAction();
}

QMenu* TMenuItem::SubMenu() {
  if (!FMenu) {
    FMenu = new QMenu();
    FMenu->setTitle(QString::fromStdString(FCaption));
    FAction->setMenu(FMenu);
  }
  return FMenu;
}

void TMenuItem::Add(TMenuItem* item) { Insert(int(FItems.size()), item); }

void TMenuItem::Insert(int index, TMenuItem* item) {
  if (!item || item->FParent) return;
  index = std::clamp(index, 0, int(FItems.size()));
  FItems.insert(FItems.begin() + index, item);
  item->FParent = this;
  QMenu* m = SubMenu();
  QAction* before = index + 1 < int(FItems.size()) ? FItems[size_t(index + 1)]->FAction : nullptr;
  m->insertAction(before, item->FAction);
}

void TMenuItem::Remove(TMenuItem* item) {
  auto it = std::find(FItems.begin(), FItems.end(), item);
  if (it == FItems.end()) return;
  FItems.erase(it);
  item->FParent = nullptr;
  if (FMenu) FMenu->removeAction(item->FAction);
}

void TMenuItem::Delete(int index) {
  if (index < 0 || index >= int(FItems.size()))
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  Remove(FItems[size_t(index)]);
}

int TMenuItem::IndexOf(TMenuItem* item) const {
  auto it = std::find(FItems.begin(), FItems.end(), item);
  return it == FItems.end() ? -1 : int(it - FItems.begin());
}

TMenuItem* TMenuItem::AddItem(const std::string& caption, TNotifyEvent onClick, TShortCut sc, const std::string& hint) {
  auto* m = new TMenuItem(Owner());
  m->FCaption = caption;
  m->FShortCut = sc;
  m->FHint = hint;
  m->OnClick = std::move(onClick);
  m->UpdateAction();
  Add(m);
  return m;
}

TMenuItem* TMenuItem::Find(const std::string& caption) const {
  auto strip = [](const std::string& s) {
    std::string r;
    for (char c : s)
      if (c != '&') r += c;
    return r;
  };
  for (TMenuItem* m : FItems)
    if (SameText(strip(m->FCaption), strip(caption))) return m;
  return nullptr;
}

void TMenuItem::Click() {
  if (!FEnabled) return;
  if (OnClick) OnClick(this);
}

bool TMenuItem::IsShortCut(TShortCut sc) {
  if (!sc) return false;
  for (TMenuItem* m : std::vector<TMenuItem*>(FItems)) {
    if (!m->FEnabled || !m->FVisible) continue;
    if (m->FShortCut == sc) {
      m->Click();
      return true;
    }
    if (m->IsShortCut(sc)) return true;
  }
  return false;
}

TMenu::TMenu(TComponent* owner) : TComponent(owner), FItems(new TMenuItem(nullptr)) {}
TMenu::~TMenu() { delete FItems; }

TMainMenu::TMainMenu(TComponent* owner) : TMenu(owner) {}
TMainMenu::~TMainMenu() { delete FBar; }

QMenuBar* TMainMenu::MenuBar() {
  if (!FBar) {
    FBar = new QMenuBar();
    Rebuild();
  }
  return FBar;
}

void TMainMenu::Rebuild() {
  if (!FBar) return;
  FBar->clear();
  for (int i = 0; i < FItems->Count(); ++i) FBar->addAction(FItems->Items(i)->Action());
}

TPopupMenu::TPopupMenu(TComponent* owner) : TMenu(owner) {}

void TPopupMenu::Popup(int x, int y) {
  ++FPopupCount;
  if (OnPopup) OnPopup(this);
  // A menu with no items shows nothing, yet would take the next click to close it.
  if (HeadlessPlatform() || FItems->Count() == 0) return;
  FItems->SubMenu()->popup(QPoint(x, y));
}
