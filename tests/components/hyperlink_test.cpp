// The hyperlink label driven with the mouse, the keyboard and the focus, with the shell's
// opener replaced.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <cstdlib>
#include <string>
#include <vector>

#include "components/hyperlink.h"
#include "platform/gui/canvas.h"

namespace {

void SendMouse(QWidget* w, QEvent::Type t, int x, int y, Qt::MouseButton b, Qt::MouseButtons held) {
  const QPointF p(x, y);
  QMouseEvent e(t, p, w->mapToGlobal(p), b, held, Qt::NoModifier);
  QCoreApplication::sendEvent(w, &e);
}

class HyperLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PlatformServices().ShellOpen = [this](const std::string& t) {
      opened.push_back(t);
      return true;
    };
    SetTextMeasure([](const TFont& f, const std::string& t) {
      const int h = std::abs(f.Height());
      return TSize{int(t.size()) * (h / 2), h + 3};
    });
    form = new TForm(nullptr);
    form->SetBounds(0, 0, 300, 200);
    bar = new TStatusBar(form);
    bar->SetParent(form);
    bar->AddPanel()->Text = "Ready";
    bar->AddPanel()->Text = "Page 1";
    ok = new TButton(form);
    ok->SetParent(form);
    ok->SetBounds(200, 100, 75, 25);
    ok->SetDefault(true);
    ok->OnClick = [this](TObject*) { ++okClicks; };
    link = new THyperLink(form);
    link->SetParent(form);
    link->SetBounds(10, 10, 55, 14);
    link->SetCaption("Velmora & co");
    link->SetHREF("https://www.velmora.example/");
    link->SetStatusBar(bar);
    link->SetStatusPanelNo(1);
    form->Show();
    QCoreApplication::processEvents();
    w = link->ClientWidget();
  }
  void TearDown() override {
    form->Free();
    PlatformServices().ShellOpen = nullptr;
    SetTextMeasure(nullptr);
    QCoreApplication::processEvents();
  }
  TForm* form = nullptr;
  TStatusBar* bar = nullptr;
  TButton* ok = nullptr;
  THyperLink* link = nullptr;
  QWidget* w = nullptr;
  std::vector<std::string> opened;
  int okClicks = 0;
};

TEST_F(HyperLinkTest, SizesToItsCaptionAndTakesAFontColourAsItsRestColour) {
  // 12 characters of 5 pixels, 11 + 3 high, one pixel of room; the ampersand is shown.
  EXPECT_EQ(link->Width(), 61);
  EXPECT_EQ(link->Height(), 15);
  link->Font()->SetStyle(fsItalic | fsUnderline);
  EXPECT_EQ(link->Width(), 66);  // a comma's room for the slant
  link->SetBorderStyle(sbsSingle);
  EXPECT_EQ(link->Width(), 69);
  EXPECT_EQ(link->Height(), 18);
  EXPECT_EQ(link->Font()->Color(), clBlue);
  link->Font()->SetColor(clPurple);
  EXPECT_EQ(link->NotPressedColor(), clPurple);
  link->SetNotPressedColor(clTeal);
  EXPECT_EQ(link->Font()->Color(), clTeal);
}

TEST_F(HyperLinkTest, ReleasedInsideOpensOnceDraggedOutOpensNothing) {
  SendMouse(w, QEvent::MouseMove, 5, 5, Qt::NoButton, Qt::NoButton);
  EXPECT_TRUE(link->Hovering());
  EXPECT_EQ(link->Font()->Color(), clGreen);
  // The target shows in panel 1 while the mouse is over the link.
  EXPECT_EQ(bar->Panels(1)->Text, "https://www.velmora.example/");
  SendMouse(w, QEvent::MouseButtonPress, 5, 5, Qt::LeftButton, Qt::LeftButton);
  EXPECT_EQ(link->Font()->Color(), clRed);
  SendMouse(w, QEvent::MouseButtonRelease, 5, 5, Qt::LeftButton, Qt::NoButton);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], "https://www.velmora.example/");
  EXPECT_EQ(link->Font()->Color(), clBlue);

  // Pressed, dragged out (the link shows at rest), released outside: nothing opens.
  SendMouse(w, QEvent::MouseButtonPress, 5, 5, Qt::LeftButton, Qt::LeftButton);
  SendMouse(w, QEvent::MouseMove, 8, 6, Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(link->Font()->Color(), clRed);
  SendMouse(w, QEvent::MouseMove, 150, 60, Qt::NoButton, Qt::LeftButton);
  EXPECT_FALSE(link->Pressed());
  EXPECT_EQ(link->Font()->Color(), clBlue);
  SendMouse(w, QEvent::MouseButtonRelease, 150, 60, Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(opened.size(), 1u);
  EXPECT_EQ(link->Font()->Color(), clBlue);

  // The mouse leaves: at rest again. Other buttons and an empty target open nothing.
  SendMouse(w, QEvent::MouseMove, 5, 5, Qt::NoButton, Qt::NoButton);
  QEvent leave(QEvent::Leave);
  QCoreApplication::sendEvent(w, &leave);
  EXPECT_FALSE(link->Hovering());
  EXPECT_EQ(link->Font()->Color(), clBlue);
  SendMouse(w, QEvent::MouseButtonPress, 5, 5, Qt::RightButton, Qt::RightButton);
  SendMouse(w, QEvent::MouseButtonRelease, 5, 5, Qt::RightButton, Qt::NoButton);
  link->SetHREF("");
  SendMouse(w, QEvent::MouseButtonPress, 5, 5, Qt::LeftButton, Qt::LeftButton);
  SendMouse(w, QEvent::MouseButtonRelease, 5, 5, Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(opened.size(), 1u);
}

TEST_F(HyperLinkTest, EnterOpensAndFocusShowsTheTargetUntilItLeaves) {
  QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
  QCoreApplication::sendEvent(w, &in);
  EXPECT_EQ(bar->Panels(1)->Text, "https://www.velmora.example/");
  EXPECT_EQ(bar->Panels(0)->Text, "Ready");
  // Enter opens the link; the form's default button doesn't take it.
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
  QCoreApplication::sendEvent(w, &enter);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], "https://www.velmora.example/");
  EXPECT_EQ(okClicks, 0);
  QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
  QCoreApplication::sendEvent(w, &out);
  EXPECT_EQ(bar->Panels(1)->Text, "Page 1");

  // What another control wrote meanwhile stays.
  QCoreApplication::sendEvent(w, &in);
  bar->SetPanelText(1, "Saved");
  QCoreApplication::sendEvent(w, &out);
  EXPECT_EQ(bar->Panels(1)->Text, "Saved");

  // A panel the bar doesn't have, and a bar that went away: nothing shows, nothing fails.
  for (int no : {5, -1}) {
    link->SetStatusPanelNo(no);
    QCoreApplication::sendEvent(w, &in);
    SendMouse(w, QEvent::MouseMove, 5, 5, Qt::NoButton, Qt::NoButton);
    QCoreApplication::sendEvent(w, &out);
  }
  EXPECT_EQ(bar->Panels(0)->Text, "Ready");
  EXPECT_EQ(bar->Panels(1)->Text, "Saved");
  bar->Free();
  EXPECT_EQ(link->StatusBar(), nullptr);
  QCoreApplication::sendEvent(w, &in);
  QCoreApplication::sendEvent(w, &out);
}

}  // namespace
