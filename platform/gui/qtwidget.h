// The Qt widget behind our own controls, and the filter that watches native widgets.
#pragma once
#include <QObject>
#include <QWidget>

class TControl;

class TQtWidget : public QWidget {
 public:
  TQtWidget(TControl* control, QWidget* parent, bool client);
  ~TQtWidget() override;
  TControl* Control() const { return FControl; }
  void Detach() { FControl = nullptr; }
  bool IsClient() const { return FClient; }

 protected:
  bool event(QEvent* e) override;

 private:
  TControl* FControl;
  bool FClient;
};

// Passes the events of a native widget to its control; the widget still handles them.
class TNativeFilter : public QObject {
 public:
  explicit TNativeFilter(TControl* control) : FControl(control) {}
  void Detach() { FControl = nullptr; }

 protected:
  bool eventFilter(QObject* o, QEvent* e) override;

 private:
  TControl* FControl;
};

// Maps between Qt and the class library.
class QMouseEvent;
class QKeyEvent;
unsigned ShiftFromQt(Qt::KeyboardModifiers m, Qt::MouseButtons b);
int VirtualKeyFromQt(int qtKey);
int QtKeyFromVirtual(int vk);
QColor QtColor(int tcolor);
