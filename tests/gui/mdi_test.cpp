// MDI children sized and placed from code: the frame follows, and the child's drawing
// shows inside it.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionTitleBar>

#include "platform/gui/controls.h"

namespace {

class MdiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    oldMain = Application->MainForm();
    frame = new TForm(nullptr);
    Application->SetMainForm(frame);
    frame->SetFormStyle(fsMDIForm);
    frame->SetBounds(0, 0, 800, 600);
    frame->Show();
  }
  void TearDown() override {
    frame->Free();
    Application->SetMainForm(oldMain);
    Screen->OnActiveFormChange = nullptr;
    QCoreApplication::processEvents();
  }
  // A child painting yellow, with a red square at its top left and a blue one at its bottom right.
  TForm* NewChild() {
    auto* c = new TForm(frame);
    c->SetFormStyle(fsMDIChild);
    c->OnPaint = [c](TObject*) {
      TCanvas* k = c->Canvas();
      const int w = c->ClientWidth(), h = c->ClientHeight();
      k->Brush()->SetColor(clYellow);
      k->FillRect(Rect(0, 0, w, h));
      k->Brush()->SetColor(clRed);
      k->FillRect(Rect(0, 0, 10, 10));
      k->Brush()->SetColor(clBlue);
      k->FillRect(Rect(w - 10, h - 10, w, h));
    };
    return c;
  }
  static QMdiSubWindow* Sub(TForm* c) { return qobject_cast<QMdiSubWindow*>(c->Widget()->parentWidget()); }
  // The frame's content holds exactly the form, at its bounds.
  static void ExpectFramed(TForm* c, int left, int top, int w, int h) {
    QMdiSubWindow* sub = Sub(c);
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(c->Width(), w);
    EXPECT_EQ(c->Height(), h);
    EXPECT_EQ(sub->contentsRect().size(), QSize(w, h));
    EXPECT_EQ(c->Widget()->geometry(), sub->contentsRect());
    EXPECT_EQ(sub->pos(), QPoint(left, top));
    EXPECT_EQ(c->Left(), left);
    EXPECT_EQ(c->Top(), top);
  }

  TForm* oldMain = nullptr;
  TForm* frame = nullptr;
};

TEST_F(MdiTest, ChildSizedFromCodeResizesItsFrame) {
  TForm* c = NewChild();
  c->SetBounds(0, 0, 300, 200);
  c->Show();
  QCoreApplication::processEvents();
  ASSERT_NE(Sub(c), nullptr);
  EXPECT_EQ(Sub(c)->contentsRect().size(), QSize(300, 200));
  int resizes = 0;
  c->OnResize = [&](TObject*) { ++resizes; };

  c->SetBounds(30, 40, 250, 150);
  ExpectFramed(c, 30, 40, 250, 150);
  EXPECT_EQ(resizes, 1);
  QCoreApplication::processEvents();
  ExpectFramed(c, 30, 40, 250, 150);

  c->SetClientWidth(123);
  c->SetClientHeight(77);
  QCoreApplication::processEvents();
  ExpectFramed(c, 30, 40, 123, 77);
  EXPECT_EQ(c->ClientWidth(), 123);
  EXPECT_EQ(c->ClientHeight(), 77);
  EXPECT_EQ(c->Surface()->Width(), 123);

  c->SetWidth(410);
  c->SetHeight(260);
  c->SetLeft(5);
  c->SetTop(7);
  QCoreApplication::processEvents();
  ExpectFramed(c, 5, 7, 410, 260);

  // The frame resized by the user: the form follows.
  Sub(c)->resize(Sub(c)->width() - 100, Sub(c)->height() - 50);
  QCoreApplication::processEvents();
  EXPECT_EQ(c->Width(), 310);
  EXPECT_EQ(c->Height(), 210);
  EXPECT_EQ(c->Widget()->size(), QSize(310, 210));

  // Maximized, the frame keeps the area's size; the form reports what it has.
  c->SetWindowState(wsMaximized);
  QCoreApplication::processEvents();
  c->SetBounds(1, 2, 50, 60);
  EXPECT_TRUE(Sub(c)->isMaximized());
  EXPECT_EQ(c->Width(), c->Widget()->width());
  EXPECT_EQ(c->Height(), c->Widget()->height());
  EXPECT_GT(c->Width(), 50);
  c->Free();
}

TEST_F(MdiTest, GrabShowsTheChildDrawingInsideItsFrame) {
  TForm* c = NewChild();
  c->Show();
  c->SetBounds(20, 30, 200, 120);
  c->Invalidate();
  QCoreApplication::processEvents();
  ExpectFramed(c, 20, 30, 200, 120);

  QImage img = frame->Widget()->grab().toImage();
  const QPoint o = c->ClientWidget()->mapTo(frame->Widget(), QPoint(0, 0));
  // The client's top left is the frame's content's top left.
  QMdiSubWindow* sub = Sub(c);
  EXPECT_EQ(o, sub->mapTo(frame->Widget(), sub->contentsRect().topLeft()));
  auto at = [&](int x, int y) { return img.pixel(o.x() + x, o.y() + y) & 0xFFFFFF; };
  EXPECT_EQ(at(0, 0), 0xFF0000u);
  EXPECT_EQ(at(9, 9), 0xFF0000u);
  EXPECT_EQ(at(100, 60), 0xFFFF00u);
  EXPECT_EQ(at(199, 119), 0x0000FFu);
  EXPECT_EQ(at(190, 110), 0x0000FFu);
  // Just past the client: the frame's border, not the drawing.
  EXPECT_NE(at(200, 119), 0x0000FFu);
  EXPECT_NE(at(199, 120), 0x0000FFu);

  // Made smaller from code: the drawing follows to the new corner, and the frame shrinks round it.
  c->SetClientWidth(140);
  c->SetClientHeight(70);
  c->Invalidate();
  QCoreApplication::processEvents();
  img = frame->Widget()->grab().toImage();
  EXPECT_EQ(at(139, 69), 0x0000FFu);
  EXPECT_EQ(at(70, 35), 0xFFFF00u);
  EXPECT_NE(at(140, 69), 0x0000FFu);
  EXPECT_NE(at(160, 100), 0xFFFF00u);  // inside the old frame, outside the new one
  const QSize margins(sub->contentsMargins().left() + sub->contentsMargins().right(),
                      sub->contentsMargins().top() + sub->contentsMargins().bottom());
  EXPECT_EQ(sub->size(), QSize(140, 70) + margins);

  // Narrower than its title bar allows: the frame keeps the title bar whole, the form fills it.
  c->SetClientWidth(10);
  QCoreApplication::processEvents();
  EXPECT_EQ(sub->width(), sub->minimumSizeHint().width());
  EXPECT_EQ(c->ClientWidth(), sub->width() - margins.width());
  EXPECT_GT(c->ClientWidth(), 10);
  c->Free();
}

// A dialog's border is fixed; its size set from code while it shows still reaches the window.
TEST(FixedBorder, FormSizedFromCodeWhileShown) {
  auto* f = new TForm(nullptr);
  f->SetBorderStyle(bsDialog);
  f->SetBounds(10, 10, 200, 100);
  f->Show();
  f->SetBounds(10, 10, 260, 140);
  QCoreApplication::processEvents();
  EXPECT_EQ(f->Widget()->size(), QSize(260, 140));
  EXPECT_EQ(f->Widget()->maximumSize(), QSize(260, 140));
  EXPECT_EQ(f->Width(), 260);
  EXPECT_EQ(f->Surface()->Width(), f->ClientWidth());
  f->SetClientHeight(90);
  QCoreApplication::processEvents();
  EXPECT_EQ(f->Widget()->height(), f->Height());
  EXPECT_EQ(f->ClientHeight(), 90);
  f->Free();
}

// A click on a document's close box closes it even when the pointer came to rest there while
// another window had the mouse (a box that just closed): no move reached the title bar first.
TEST_F(MdiTest, CloseBoxAnswersAClickWithNoMoveBeforeIt) {
  TForm* c = NewChild();
  c->SetBounds(10, 10, 300, 200);
  c->Show();
  QCoreApplication::processEvents();
  int asked = 0;
  c->OnCloseQuery = [&](TObject*, bool& can) { ++asked, can = false; };
  QMdiSubWindow* sub = Sub(c);
  QStyleOptionTitleBar opt;
  opt.initFrom(sub);
  opt.subControls = QStyle::SC_All;
  opt.titleBarFlags = sub->windowFlags();
  opt.titleBarState = int(sub->windowState());
  opt.rect = QRect(0, 0, sub->width(), sub->style()->pixelMetric(QStyle::PM_TitleBarHeight, &opt, sub));
  const QPoint at = sub->style()->subControlRect(QStyle::CC_TitleBar, &opt, QStyle::SC_TitleBarCloseButton, sub).center();
  for (QEvent::Type t : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
    QMouseEvent e(t, QPointF(at), QPointF(sub->mapToGlobal(at)), Qt::LeftButton,
                  t == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(sub, &e);
  }
  QCoreApplication::processEvents();
  EXPECT_EQ(asked, 1);
}

}  // namespace
