#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStyleOptionButton>
#include <QTest>
#include <QWidget>

#include "platform/gui/controls.h"
#include "platform/gui/menus.h"
#include "platform/gui/stdctrls.h"

namespace {

// A control that paints a red square and draws a xor cross on mouse down, outside Paint.
class TBoard : public TCustomControl {
 public:
  using TCustomControl::TCustomControl;
  int paints = 0;
  std::vector<std::string> log;

 protected:
  void Paint() override {
    ++paints;
    Canvas()->Brush()->SetColor(clWhite);
    Canvas()->FillRect(ClientRect());
    Canvas()->Brush()->SetColor(clRed);
    Canvas()->FillRect(Rect(10, 10, 20, 20));
  }

 public:
  void MouseDown(TMouseButton b, TShiftState s, int x, int y) override {
    TCustomControl::MouseDown(b, s, x, y);
    Canvas()->Pen()->SetMode(pmXor);
    Canvas()->Pen()->SetColor(clWhite);
    Canvas()->MoveTo(x - 3, y);
    Canvas()->LineTo(x + 4, y);
    Canvas()->Pen()->SetMode(pmCopy);
  }
};

QRgb At(const QImage& img, int x, int y) { return img.pixel(x, y) & 0xFFFFFF; }

void SendMouse(QWidget* w, QEvent::Type t, int x, int y, Qt::MouseButton b, Qt::MouseButtons held,
               Qt::KeyboardModifiers mods = Qt::NoModifier) {
  QPointF p(x, y);
  QMouseEvent e(t, p, w->mapToGlobal(p), b, held, mods);
  QCoreApplication::sendEvent(w, &e);
}

void SendKey(QWidget* w, int key, Qt::KeyboardModifiers mods, const QString& text) {
  QKeyEvent press(QEvent::KeyPress, key, mods, text);
  QCoreApplication::sendEvent(w, &press);
  QKeyEvent release(QEvent::KeyRelease, key, mods, text);
  QCoreApplication::sendEvent(w, &release);
}

class FormTest : public ::testing::Test {
 protected:
  void TearDown() override {
    SetModalAnswer(nullptr);
    Application->OnHint = nullptr;
    Screen->OnActiveFormChange = nullptr;
    QCoreApplication::processEvents();
  }
};

TEST_F(FormTest, ControlsLayOutPaintAndTakeMouseAndKeys) {
  auto* form = new TForm(nullptr);
  form->SetBounds(0, 0, 300, 200);
  auto* top = new TPanel(form);
  top->SetParent(form);
  top->SetAlign(alTop);
  top->SetHeight(30);
  auto* bottom = new TStatusBar(form);
  bottom->SetParent(form);
  bottom->SetSimplePanel(true);
  auto* board = new TBoard(form);
  board->SetParent(form);
  board->SetAlign(alClient);
  EXPECT_EQ(top->BoundsRect(), Rect(0, 0, 300, 30));
  EXPECT_EQ(bottom->BoundsRect(), Rect(0, 181, 300, 200));
  EXPECT_EQ(board->BoundsRect(), Rect(0, 30, 300, 181));
  EXPECT_EQ(board->ClientWidth(), 300);

  form->Show();
  QImage img = form->Widget()->grab().toImage();
  EXPECT_GE(board->paints, 1);
  EXPECT_EQ(At(img, 15, 45), 0xFF0000u);  // the red square at 10,10 of the board
  EXPECT_EQ(At(img, 25, 45), 0xFFFFFFu);
  EXPECT_EQ(At(img, 20, 40), 0xFFFFFFu);  // right and bottom edges excluded

  std::vector<std::string> events;
  board->OnMouseDown = [&](TObject*, TMouseButton b, TShiftState s, int x, int y) {
    events.push_back("down " + std::to_string(b) + " " + std::to_string(x) + "," + std::to_string(y) +
                     ((s & ssShift) ? " shift" : "") + ((s & ssLeft) ? " left" : ""));
  };
  board->OnMouseUp = [&](TObject*, TMouseButton, TShiftState, int x, int y) {
    events.push_back("up " + std::to_string(x) + "," + std::to_string(y));
  };
  board->OnClick = [&](TObject*) { events.push_back("click"); };
  QWidget* bw = board->ClientWidget();
  SendMouse(bw, QEvent::MouseButtonPress, 50, 60, Qt::LeftButton, Qt::LeftButton, Qt::ShiftModifier);
  EXPECT_TRUE(board->MouseCapture());
  SendMouse(bw, QEvent::MouseButtonRelease, 51, 60, Qt::LeftButton, Qt::NoButton);
  EXPECT_FALSE(board->MouseCapture());
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0], "down 0 50,60 shift left");
  EXPECT_EQ(events[1], "up 51,60");
  EXPECT_EQ(events[2], "click");

  // The cross drawn on mouse down is on show without a new Paint; drawing it again erases it.
  int paints = board->paints;
  img = form->Widget()->grab().toImage();
  EXPECT_EQ(board->paints, paints);
  EXPECT_EQ(At(img, 50, 90), 0x000000u);  // white xor white
  EXPECT_EQ(At(img, 54, 90), 0xFFFFFFu);
  board->MouseDown(mbLeft, 0, 50, 60);
  img = form->Widget()->grab().toImage();
  EXPECT_EQ(At(img, 50, 90), 0xFFFFFFu);
  // Invalidate paints afresh.
  board->Invalidate();
  img = form->Widget()->grab().toImage();
  EXPECT_GT(board->paints, paints);

  // Keys: virtual key codes, then the character.
  std::string keys;
  board->OnKeyDown = [&](TObject*, Word& k, TShiftState s) {
    keys += "d" + std::to_string(k) + ((s & ssCtrl) ? "c" : "") + " ";
  };
  board->OnKeyPress = [&](TObject*, char& c) { keys += std::string("p") + c + " "; };
  board->OnKeyUp = [&](TObject*, Word& k, TShiftState) { keys += "u" + std::to_string(k) + " "; };
  SendKey(bw, Qt::Key_A, Qt::NoModifier, "a");
  SendKey(bw, Qt::Key_Left, Qt::ControlModifier, "");
  EXPECT_EQ(keys, "d65 pa u65 d37c u37 ");
  form->Free();
}

TEST_F(FormTest, ModalFormsAndMessageBoxesAreAnsweredWithoutBlocking) {
  Application->SetTitle("Test title");
  auto* dlg = new TForm(nullptr);
  dlg->SetText("Question");
  dlg->SetPosition(poScreenCenter);
  auto* ok = new TButton(dlg);
  ok->SetParent(dlg);
  ok->SetText("OK");
  ok->SetModalResult(mrOk);
  int queries = 0, closes = 0;
  dlg->OnCloseQuery = [&](TObject*, bool& can) {
    ++queries;
    can = true;
  };
  dlg->OnClose = [&](TObject*, TCloseAction&) { ++closes; };
  bool sawForm = false;
  SetModalAnswer([&](TModalRequest& r) {
    if (r.Kind != mkForm) return int(mrCancel);
    sawForm = r.Form == dlg && dlg->Showing() && dlg->Modal();
    // The user presses OK through Qt.
    static_cast<QPushButton*>(ok->Widget())->click();
    return 0;
  });
  EXPECT_EQ(dlg->ShowModal(), mrOk);
  EXPECT_TRUE(sawForm);
  EXPECT_FALSE(dlg->Visible());
  EXPECT_FALSE(dlg->Modal());
  EXPECT_EQ(queries, 1);
  EXPECT_EQ(closes, 1);
  // Centred on the screen.
  EXPECT_EQ(dlg->Left(), (Screen->Width() - dlg->Width()) / 2);

  // Enter in an edit runs the default button; Escape the cancel button.
  auto* edit = new TEdit(dlg);
  edit->SetParent(dlg);
  auto* cancel = new TButton(dlg);
  cancel->SetParent(dlg);
  cancel->SetCancel(true);
  cancel->SetModalResult(mrAbort);
  ok->SetDefault(true);
  for (int key : {Qt::Key_Return, Qt::Key_Escape}) {
    SetModalAnswer([&](TModalRequest&) {
      SendKey(edit->Widget(), key, Qt::NoModifier, key == Qt::Key_Return ? "\r" : "\x1b");
      return 0;
    });
    EXPECT_EQ(dlg->ShowModal(), key == Qt::Key_Return ? mrOk : mrAbort);
  }
  // A speed button let take the focus is reached by Tab, shows it, and Enter presses it, not the
  // default button, and again on the next Enter; a tool bar's speed button is never reached.
  auto* tool = new TSpeedButton(dlg);
  tool->SetParent(dlg);
  auto* speed = new TSpeedButton(dlg);
  speed->SetParent(dlg);
  speed->SetBounds(100, 0, 40, 24);
  speed->SetFlat(true);
  speed->SetTabStop(true);
  int speeds = 0;
  speed->OnClick = [&](TObject*) { ++speeds; };
  bool reachedTool = false;
  QImage focusedLook, unfocusedLook;
  SetModalAnswer([&](TModalRequest&) {
    edit->SetFocus();
    unfocusedLook = speed->Widget()->grab().toImage();
    for (int i = 0; i < 10 && QApplication::focusWidget() != speed->Widget(); ++i) {
      QTest::keyClick(dlg->Widget()->windowHandle(), Qt::Key_Tab);
      reachedTool = reachedTool || QApplication::focusWidget() == tool->Widget();
    }
    focusedLook = speed->Widget()->grab().toImage();
    for (int i = 0; i < 2; ++i) QTest::keyClick(dlg->Widget()->windowHandle(), Qt::Key_Return);
    EXPECT_EQ(QApplication::focusWidget(), speed->Widget());
    QTest::keyClick(dlg->Widget()->windowHandle(), Qt::Key_Escape);
    return 0;
  });
  EXPECT_EQ(dlg->ShowModal(), mrAbort);
  EXPECT_EQ(speeds, 2);
  EXPECT_FALSE(reachedTool);
  EXPECT_NE(focusedLook, unfocusedLook);
  EXPECT_EQ(speed->Widget()->focusPolicy(), Qt::TabFocus);

  // Opened with no click and no minimise box, a dialog takes typed digits in its first field,
  // and Enter that no control took presses the default button. Neither Enter nor Escape
  // presses a disabled button, or one on a disabled panel.
  auto* ask = new TForm(nullptr);
  auto* field = new TEdit(ask);
  field->SetParent(ask);
  field->SetText("1");
  auto* bar = new TPanel(ask);
  bar->SetParent(ask);
  bar->SetBounds(0, 40, 200, 40);
  auto button = [&](TModalResult result) {
    auto* b = new TButton(ask);
    b->SetParent(bar);
    b->SetModalResult(result);
    return b;
  };
  TButton *yes = button(mrOk), *no = button(mrAbort);
  yes->SetDefault(true);
  no->SetCancel(true);
  SetModalAnswer([&](TModalRequest&) {
    EXPECT_FALSE(ask->Widget()->windowFlags() & Qt::WindowMinimizeButtonHint);
    for (char digit : {'4', '2'}) QTest::keyClick(ask->Widget()->windowHandle(), digit);
    SendKey(ask->Widget(), Qt::Key_Return, Qt::NoModifier, "\r");
    return 0;
  });
  EXPECT_EQ(ask->ShowModal(), mrOk);
  EXPECT_TRUE(field->Text().ends_with("42")) << field->Text();
  // The focus shows on the default button too, which looks the same unfocused.
  auto drawYes = [&](QStyle::State focus) {
    QStyleOptionButton o;
    o.initFrom(yes->Button());
    o.rect = QRect(0, 0, 75, 25);
    o.text = "OK";
    o.features = QStyleOptionButton::DefaultButton;
    o.state = QStyle::State_Enabled | QStyle::State_Raised | focus;
    QImage img(75, 25, QImage::Format_RGB32);
    img.fill(Qt::gray);
    QPainter p(&img);
    yes->Button()->style()->drawControl(QStyle::CE_PushButton, &o, &p, yes->Button());
    return img;
  };
  EXPECT_NE(drawYes(QStyle::State_HasFocus), drawYes(QStyle::State_None));
  // A focused radio button shows it before any key was pressed.
  QRadioButton radio("Threshold");
  auto drawRadio = [&](QStyle::State focus) {
    QStyleOptionButton o;
    o.initFrom(&radio);
    o.rect = QRect(0, 0, 90, 20);
    o.text = radio.text();
    o.state = QStyle::State_Enabled | QStyle::State_On | focus;
    QImage img(90, 20, QImage::Format_RGB32);
    img.fill(Qt::gray);
    QPainter p(&img);
    radio.style()->drawControl(QStyle::CE_RadioButton, &o, &p, &radio);
    return img;
  };
  EXPECT_NE(drawRadio(QStyle::State_HasFocus), drawRadio(QStyle::State_None));
  SetModalAnswer([&](TModalRequest&) {
    for (QWidget* to : {ask->Widget(), field->Widget()})
      for (int key : {Qt::Key_Return, Qt::Key_Escape})
        SendKey(to, key, Qt::NoModifier, key == Qt::Key_Return ? "\r" : "\x1b");
    return 0;
  });
  yes->SetEnabled(false);
  no->SetEnabled(false);
  EXPECT_EQ(ask->ShowModal(), mrCancel);
  yes->SetEnabled(true);
  no->SetEnabled(true);
  bar->SetEnabled(false);
  EXPECT_EQ(ask->ShowModal(), mrCancel);
  ask->Free();

  // The answerer may give the result itself; a second run works the same.
  SetModalAnswer([](TModalRequest&) { return int(mrCancel); });
  EXPECT_EQ(dlg->ShowModal(), mrCancel);

  std::vector<TModalRequest> seen;
  SetModalAnswer([&](TModalRequest& r) {
    seen.push_back(r);
    if (r.Kind == mkInputQuery) {
      r.Value = "42";
      return int(mrOk);
    }
    return int(mrYes);
  });
  EXPECT_EQ(MessageDlg("Save Changes to x?", mtConfirmation, mbYesNoCancel, 0), mrYes);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].Caption, "Confirm");
  EXPECT_EQ(seen[0].Text, "Save Changes to x?");
  EXPECT_EQ(seen[0].Buttons, unsigned(mbYesNoCancel));
  ShowMessage("Done");
  EXPECT_EQ(seen.back().Caption, "Test title");
  std::string v = "1";
  EXPECT_TRUE(InputQuery("Zoom", "Percent:", v));
  EXPECT_EQ(v, "42");
  EXPECT_EQ(seen.back().Value, "1");  // the answerer saw the value offered
  dlg->Free();
}

TEST_F(FormTest, AnExceptionInAHandlerReachesTheErrorBox) {
  Application->SetTitle("Quillon");
  auto* form = new TForm(nullptr);
  auto* b = new TButton(form);
  b->SetParent(form);
  form->Show();
  std::vector<TModalRequest> boxes;
  SetModalAnswer([&](TModalRequest& r) {
    boxes.push_back(r);
    return int(mrOk);
  });
  b->OnClick = [](TObject*) { throw EInvalidGraphic("Bitmap image is not valid"); };
  static_cast<QPushButton*>(b->Widget())->click();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].Kind, mkError);
  EXPECT_EQ(boxes[0].Caption, "Quillon");
  EXPECT_EQ(boxes[0].Text, "Bitmap image is not valid.");
  // The silent exception shows nothing; a plain C++ exception shows its text.
  b->OnClick = [](TObject*) { throw EAbort(); };
  static_cast<QPushButton*>(b->Widget())->click();
  EXPECT_EQ(boxes.size(), 1u);
  b->OnClick = [](TObject*) { throw std::runtime_error("bad."); };
  static_cast<QPushButton*>(b->Widget())->click();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1].Text, "bad.");
  // Mouse handlers of our own controls go through the same dispatcher.
  auto* p = new TPanel(form);
  p->SetParent(form);
  p->OnMouseDown = [](TObject*, TMouseButton, TShiftState, int, int) { throw Exception("From the mouse"); };
  SendMouse(p->ClientWidget(), QEvent::MouseButtonPress, 5, 5, Qt::LeftButton, Qt::LeftButton);
  SendMouse(p->ClientWidget(), QEvent::MouseButtonRelease, 5, 5, Qt::LeftButton, Qt::NoButton);
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(boxes[2].Text, "From the mouse.");
  form->Free();
}

TEST_F(FormTest, ChangeEventsFromCodeFollowTheOneRule) {
  auto* form = new TForm(nullptr);
  int edit = 0, track = 0, combo = 0, speed = 0, check = 0;
  auto* e = new TEdit(form);
  e->SetParent(form);
  e->OnChange = [&](TObject*) { ++edit; };
  e->SetText("12");
  EXPECT_EQ(edit, 1);
  EXPECT_EQ(e->Text(), "12");
  auto* t = new TTrackBar(form);
  t->SetParent(form);
  t->SetMin(1);
  t->SetMax(2000);
  t->OnChange = [&](TObject*) { ++track; };
  t->SetPosition(5000);
  EXPECT_EQ(t->Position(), 2000);
  EXPECT_EQ(track, 0);
  t->Slider()->setValue(100);  // the user drags
  EXPECT_EQ(track, 1);
  EXPECT_EQ(t->Position(), 100);
  auto* c = new TComboBox(form);
  c->SetParent(form);
  c->Items()->Assign({"Fit", "25", "100"});
  c->OnChange = [&](TObject*) { ++combo; };
  c->SetText("100");
  c->SetItemIndex(1);
  EXPECT_EQ(combo, 0);
  EXPECT_EQ(c->Text(), "25");
  c->SetText("77");
  EXPECT_EQ(c->Text(), "77");
  EXPECT_EQ(c->ItemIndex(), -1);
  auto* s1 = new TSpeedButton(form);
  auto* s2 = new TSpeedButton(form);
  s1->SetParent(form);
  s2->SetParent(form);
  s1->SetGroupIndex(1);
  s2->SetGroupIndex(1);
  s1->OnClick = [&](TObject*) { ++speed; };
  s1->SetDown(true);
  EXPECT_EQ(speed, 0);
  s2->SetDown(true);
  EXPECT_FALSE(s1->Down());
  s1->Click();
  EXPECT_EQ(speed, 1);
  EXPECT_TRUE(s1->Down());
  EXPECT_FALSE(s2->Down());
  auto* cb = new TCheckBox(form);
  cb->SetParent(form);
  cb->OnClick = [&](TObject*) { ++check; };
  cb->SetChecked(true);
  EXPECT_EQ(check, 1);
  // An up-down moves its edit's number within its limits.
  auto* ud = new TUpDown(form);
  ud->SetParent(form);
  ud->SetMin(1);
  ud->SetMax(3);
  ud->SetAssociate(e);
  ud->ButtonClick(btNext);
  ud->ButtonClick(btNext);
  ud->ButtonClick(btNext);
  EXPECT_EQ(ud->Position(), 3);
  EXPECT_EQ(e->Text(), "3");
  form->Free();
}

TEST_F(FormTest, HintsMenusShortcutsHelpAndTimers) {
  auto* form = new TForm(nullptr);
  auto* open = new TSpeedButton(form);
  open->SetParent(form);
  open->SetHint("Open|");
  open->SetShowHint(true);
  auto* print = new TSpeedButton(form);
  print->SetParent(form);
  print->SetHint("Print this photo");
  print->SetShowHint(true);
  int hints = 0;
  Application->OnHint = [&](TObject*) { ++hints; };
  QEvent enter(QEvent::Enter);
  QCoreApplication::sendEvent(print->Widget(), &enter);
  EXPECT_EQ(Application->Hint(), "Print this photo");
  QCoreApplication::sendEvent(open->Widget(), &enter);
  EXPECT_EQ(Application->Hint(), "");
  EXPECT_EQ(open->Widget()->toolTip().toStdString(), "Open");
  EXPECT_EQ(print->Widget()->toolTip().toStdString(), "Print this photo");
  EXPECT_EQ(hints, 2);

  auto* menu = new TMainMenu(form);
  TMenuItem* file = menu->Items()->AddItem("&File");
  int news = 0;
  TMenuItem* item = file->AddItem(
      "&New", [&](TObject*) { ++news; }, TextToShortCut("Ctrl+N"), "Create a new file");
  EXPECT_EQ(ShortCutToText(item->ShortCut()), "Ctrl+N");
  EXPECT_EQ(TextToShortCut("Alt+F4"), TShortCut(scAlt | (VK_F1 + 3)));
  form->SetMenu(menu);
  auto* box = new TPanel(form);
  box->SetParent(form);
  SendKey(box->ClientWidget(), Qt::Key_N, Qt::ControlModifier, QString(QChar(14)));
  EXPECT_EQ(news, 1);
  item->SetEnabled(false);
  SendKey(box->ClientWidget(), Qt::Key_N, Qt::ControlModifier, QString(QChar(14)));
  EXPECT_EQ(news, 1);
  item->SetEnabled(true);
  item->Action()->trigger();
  EXPECT_EQ(news, 2);

  Application->SetHelpFile("Velmora.hlp");
  SetHelpService([](const THelpRequest&) { return true; });
  EXPECT_TRUE(Application->HelpContext(310));
  SetHelpService(nullptr);
  EXPECT_EQ(LastHelpRequest().File, "Velmora.hlp");
  EXPECT_EQ(LastHelpRequest().Context, 310);

  auto* timer = new TTimer(form);
  int ticks = 0;
  timer->OnTimer = [&](TObject*) { ++ticks; };
  timer->SetInterval(5);
  QElapsedTimer clock;
  clock.start();
  while (ticks < 2 && clock.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  EXPECT_GE(ticks, 2);
  timer->SetEnabled(false);
  form->Free();
}

TEST_F(FormTest, MdiChildrenAndActiveFormChanges) {
  auto* frame = new TForm(nullptr);
  TForm* oldMain = Application->MainForm();
  Application->SetMainForm(frame);
  frame->SetFormStyle(fsMDIForm);
  frame->SetBounds(0, 0, 500, 400);
  frame->Show();
  int changes = 0;
  Screen->OnActiveFormChange = [&](TObject*) { ++changes; };
  auto* child = new TForm(frame);
  child->SetFormStyle(fsMDIChild);
  child->SetText("Velmora-New1.jpg");
  child->Show();
  EXPECT_EQ(frame->MDIChildCount(), 1);
  EXPECT_EQ(frame->ActiveMDIChild(), child);
  EXPECT_EQ(Screen->ActiveForm(), child);
  EXPECT_GE(changes, 1);
  // caFree closes and frees it once the events have run.
  child->OnClose = [](TObject*, TCloseAction& a) { a = caFree; };
  child->Close();
  QCoreApplication::processEvents();
  EXPECT_EQ(frame->MDIChildCount(), 0);
  EXPECT_EQ(frame->ComponentCount(), 0);
  Application->SetMainForm(oldMain);
  frame->Free();
}

}  // namespace

// The window manager takes a maximised window out of its state: a form without a maximise
// button goes back, one with the button keeps what the user chose.
TEST(FormStateTest, MaximisedFormWithoutMaximiseButtonStaysMaximised) {
  for (const bool button : {false, true}) {
    auto* f = new TForm(nullptr);
    f->SetBorderIcons(button ? TBorderIcons(biSystemMenu | biMaximize) : TBorderIcons(biSystemMenu));
    f->SetWindowState(wsMaximized);
    f->Show();
    QCoreApplication::processEvents();
    QWidget* w = f->Widget()->window();
    ASSERT_TRUE(w->isMaximized()) << button;
    w->setWindowState(Qt::WindowNoState);
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    EXPECT_EQ(w->isMaximized(), !button) << button;
    delete f;
  }
}
