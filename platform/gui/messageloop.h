// The event loop as a party outside the program sees it: a message record for each event,
// a loop that offers every event to such a party before delivering it, and the few window
// services (validity, enabling, focus, a hidden proxy window) that go with it.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

class QWidget;

// One event of the loop. hwnd is the receiving widget (null for other objects), message the
// event's type, lParam the address of the event itself.
struct TMsg {
  void* hwnd = nullptr;
  uint32_t message = 0;
  uintptr_t wParam = 0;
  intptr_t lParam = 0;
  uint32_t time = 0;
  int32_t ptX = 0, ptY = 0;
};

// Runs the event loop while Continue() holds and the application is not terminating. Every
// event of the GUI thread is first offered to Offer; an event it claims (true) goes no further.
// Offer runs inside event delivery and must not raise; Continue runs between batches of
// events and may. The loop wakes at least every few milliseconds with a timer event, so a party
// that can only answer the events it is offered is heard while the screen is idle.
void RunMessageLoop(const std::function<bool()>& Continue, const std::function<bool(TMsg&)>& Offer);

// True for a live widget of this program.
bool IsWindow(QWidget* Window);
// Enables or disables input to a window; nothing for an invalid one.
void EnableWindow(QWidget* Window, bool Enable);
// The top-level window that holds a window; null for an invalid one.
QWidget* TopLevelWindow(QWidget* Window);
// Gives a window the focus; nothing for an invalid one.
void FocusWindow(QWidget* Window);
// A hidden top-level window with the title; null without an application object.
QWidget* CreateProxyWindow(const std::string& Title);
void DestroyProxyWindow(QWidget* Window);
