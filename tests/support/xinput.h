// Input as a user gives it on a real X screen: pointer moves, clicks and keys made by the X
// server itself (XTEST), and requests to the window manager (close, minimise), on a connection
// of the test's own. The libraries are loaded at run time, so the tests build without their
// headers; Available() is false where they or the display are missing.
#pragma once
#include <dlfcn.h>

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <string>

#include "support/pump.h"

namespace vltest {

class TXInput {
 public:
  TXInput() {
    FX11 = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
    FXtst = dlopen("libXtst.so.6", RTLD_NOW | RTLD_LOCAL);
    if (!FX11 || !FXtst) return;
    Load(FX11, "XOpenDisplay", OpenDisplay);
    Load(FX11, "XCloseDisplay", CloseDisplay);
    Load(FX11, "XSync", Sync);
    Load(FX11, "XInternAtom", InternAtom);
    Load(FX11, "XSendEvent", SendEvent);
    Load(FX11, "XDefaultRootWindow", RootWindow);
    Load(FX11, "XKeysymToKeycode", KeysymToKeycode);
    Load(FXtst, "XTestFakeMotionEvent", FakeMotion);
    Load(FXtst, "XTestFakeButtonEvent", FakeButton);
    Load(FXtst, "XTestFakeKeyEvent", FakeKey);
    if (OpenDisplay && CloseDisplay && Sync && InternAtom && SendEvent && RootWindow && KeysymToKeycode && FakeMotion &&
        FakeButton && FakeKey)
      FDisplay = OpenDisplay(nullptr);
  }
  ~TXInput() {
    if (FDisplay) CloseDisplay(FDisplay);
    if (FXtst) dlclose(FXtst);
    if (FX11) dlclose(FX11);
  }
  TXInput(const TXInput&) = delete;
  TXInput& operator=(const TXInput&) = delete;

  bool Available() const { return FDisplay != nullptr; }

  // Button 1 left, 3 right; x, y on the screen.
  void Click(int x, int y, unsigned button = 1) {
    FakeMotion(FDisplay, -1, x, y, 0);
    FakeButton(FDisplay, button, 1, 0);
    FakeButton(FDisplay, button, 0, 0);
    Sync(FDisplay, 0);
  }
  // A key by its X key symbol: 0xff1b Escape, 0xff09 Tab, 0xff0d Return, 0x20 space.
  void Key(unsigned long keysym) {
    const unsigned char code = KeysymToKeycode(FDisplay, keysym);
    FakeKey(FDisplay, code, 1, 0);
    FakeKey(FDisplay, code, 0, 0);
    Sync(FDisplay, 0);
  }
  static constexpr unsigned long kEscape = 0xff1b, kTab = 0xff09, kReturn = 0xff0d;

  // Asks the window manager to close the top-level window, as its close box does.
  void CloseWindow(unsigned long window) { ToWindowManager(window, "_NET_CLOSE_WINDOW", 0, 2); }
  // Asks the window manager to minimise it, as its minimise box does.
  void MinimiseWindow(unsigned long window) { ToWindowManager(window, "WM_CHANGE_STATE", 3, 0); }

 private:
  // The client message layout of the X protocol library, padded as its event union is.
  struct TClientMessage {
    int type;
    unsigned long serial;
    int send_event;
    void* display;
    unsigned long window;
    unsigned long message_type;
    int format;
    long l[5];
  };
  union TEvent {
    TClientMessage client;
    long pad[24];
  };

  void ToWindowManager(unsigned long window, const char* message, long l0, long l1) {
    TEvent e{};
    e.client.type = 33;  // ClientMessage
    e.client.send_event = 1;
    e.client.display = FDisplay;
    e.client.window = window;
    e.client.message_type = InternAtom(FDisplay, message, 0);
    e.client.format = 32;
    e.client.l[0] = l0;
    e.client.l[1] = l1;
    const long mask = (1L << 19) | (1L << 20);  // substructure notify and redirect
    SendEvent(FDisplay, RootWindow(FDisplay), 0, mask, &e);
    Sync(FDisplay, 0);
  }

  template <class F>
  static void Load(void* lib, const char* name, F& f) {
    f = reinterpret_cast<F>(dlsym(lib, name));
  }

  void* FX11 = nullptr;
  void* FXtst = nullptr;
  void* FDisplay = nullptr;
  void* (*OpenDisplay)(const char*) = nullptr;
  int (*CloseDisplay)(void*) = nullptr;
  int (*Sync)(void*, int) = nullptr;
  unsigned long (*InternAtom)(void*, const char*, int) = nullptr;
  int (*SendEvent)(void*, unsigned long, int, long, void*) = nullptr;
  unsigned long (*RootWindow)(void*) = nullptr;
  unsigned char (*KeysymToKeycode)(void*, unsigned long) = nullptr;
  int (*FakeMotion)(void*, int, int, int, unsigned long) = nullptr;
  int (*FakeButton)(void*, unsigned, int, unsigned long) = nullptr;
  int (*FakeKey)(void*, unsigned, int, unsigned long) = nullptr;
};

// What came of minimising a window through the window manager.
enum class TMinimised { Never, CameBack, Stayed };

// Asks the window manager to minimise w (again now and then, should a request be passed over)
// until w is seen minimised, then waits for it to be on the screen again: it stayed minimised
// only when it never is.
inline TMinimised Minimise(TXInput& x, QWidget* w, int TimeoutMs = 60000) {
  struct TSeen : QObject {
    bool Seen = false;
    bool eventFilter(QObject* o, QEvent* e) override {
      if (e->type() == QEvent::WindowStateChange && static_cast<QWidget*>(o)->isMinimized()) Seen = true;
      return false;
    }
  } seen;
  w->installEventFilter(&seen);
  QElapsedTimer t;
  t.start();
  while (!seen.Seen && t.elapsed() < TimeoutMs) {
    x.MinimiseWindow(w->winId());
    WaitFor([&] { return seen.Seen; }, 2000);
  }
  w->removeEventFilter(&seen);
  if (!seen.Seen) return TMinimised::Never;
  const bool back = WaitFor([w] { return !w->isMinimized(); }, TimeoutMs) && WaitOnScreen(w, TimeoutMs);
  return back ? TMinimised::CameBack : TMinimised::Stayed;
}

// Presses a key (Tab) and waits until the keyboard focus has moved; false when it never does.
inline bool KeyMovingFocus(TXInput& x, unsigned long keysym, int TimeoutMs = 60000) {
  QWidget* const before = QApplication::focusWidget();
  x.Key(keysym);
  return WaitFor([&] { return QApplication::focusWidget() != before; }, TimeoutMs);
}

}  // namespace vltest
