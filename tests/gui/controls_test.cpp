#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QListWidget>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTabBar>
#include <QWidget>

#include "platform/gui/controls.h"
#include "platform/gui/menus.h"
#include "platform/gui/stdctrls.h"

namespace {

QRgb At(const QImage& img, int x, int y) { return img.pixel(x, y) & 0xFFFFFF; }

void Click(QWidget* w, int x, int y, Qt::MouseButton b = Qt::LeftButton) {
  QPointF p(x, y);
  QMouseEvent press(QEvent::MouseButtonPress, p, w->mapToGlobal(p), b, b, Qt::NoModifier);
  QCoreApplication::sendEvent(w, &press);
  QMouseEvent release(QEvent::MouseButtonRelease, p, w->mapToGlobal(p), b, Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(w, &release);
}

class TScrolled : public TCustomControl {
 public:
  using TCustomControl::TCustomControl;
  std::vector<std::pair<int, int>> h;
  void WMHScroll(int code, int pos) override { h.push_back({code, pos}); }
};

TEST(Controls, ImagesLabelsAndBevelsDrawWhatTheyHold) {
  auto* form = new TForm(nullptr);
  form->SetBounds(0, 0, 200, 150);
  form->SetColor(clWhite);
  auto* img = new TImage(form);
  img->SetParent(form);
  img->SetBounds(10, 10, 40, 20);
  img->SetStretch(true);
  TBitmap* b = img->Picture()->Bitmap();
  b->SetSize(2, 1);
  b->Canvas()->SetPixels(0, 0, clRed);
  b->Canvas()->SetPixels(1, 0, clBlue);
  auto* label = new TLabel(form);
  label->SetParent(form);
  label->SetBounds(10, 60, 10, 10);
  label->SetCaption("Zoom %");
  TSize e = label->Canvas()->TextExtent("Zoom %");
  EXPECT_EQ(label->Width(), e.cx);
  EXPECT_EQ(label->Height(), e.cy);
  auto* bevel = new TBevel(form);
  bevel->SetParent(form);
  bevel->SetBounds(100, 10, 30, 30);
  form->Show();
  QImage shot = form->Widget()->grab().toImage();
  EXPECT_EQ(At(shot, 10, 10), 0xFF0000u);
  EXPECT_EQ(At(shot, 29, 29), 0xFF0000u);
  EXPECT_EQ(At(shot, 30, 10), 0x0000FFu);
  EXPECT_EQ(At(shot, 49, 29), 0x0000FFu);
  EXPECT_EQ(At(shot, 50, 10), 0xFFFFFFu);
  // The label's text is black on the form's colour.
  int ink = 0;
  for (int y = 60; y < 60 + e.cy; ++y)
    for (int x = 10; x < 10 + e.cx; ++x) ink += At(shot, x, y) == 0;
  EXPECT_GT(ink, 10);
  // Lowered bevel: shadow at the top left, highlight at the bottom right.
  TColor sh = ColorToRGB(clBtnShadow), hi = ColorToRGB(clBtnHighlight);
  EXPECT_EQ(At(shot, 100, 10), qRgb(GetRValue(sh), GetGValue(sh), GetBValue(sh)) & 0xFFFFFFu);
  EXPECT_EQ(At(shot, 129, 39), qRgb(GetRValue(hi), GetGValue(hi), GetBValue(hi)) & 0xFFFFFFu);
  // Changing the picture repaints the image.
  b->Canvas()->SetPixels(0, 0, clLime);
  b->Changed();
  shot = form->Widget()->grab().toImage();
  EXPECT_EQ(At(shot, 12, 12), 0x00FF00u);
  form->Free();
}

TEST(Controls, PagesGroupsListsAndScrollBoxes) {
  auto* form = new TForm(nullptr);
  form->SetBounds(0, 0, 400, 300);
  auto* pages = new TPageControl(form);
  pages->SetParent(form);
  pages->SetBounds(0, 0, 300, 200);
  auto* p1 = new TTabSheet(form);
  p1->SetCaption("Colour");
  p1->SetPageControl(pages);
  auto* p2 = new TTabSheet(form);
  p2->SetCaption("Size");
  p2->SetPageControl(pages);
  EXPECT_EQ(pages->PageCount(), 2);
  EXPECT_EQ(pages->ActivePage(), p1);
  EXPECT_TRUE(p1->Visible());
  EXPECT_FALSE(p2->Visible());
  int changes = 0;
  pages->OnChange = [&](TObject*) { ++changes; };
  pages->SetActivePageIndex(1);
  EXPECT_EQ(changes, 0);
  EXPECT_TRUE(p2->Visible());
  pages->TabBar()->setCurrentIndex(0);  // the user picks the first tab
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(pages->ActivePage(), p1);
  bool allow = false;
  pages->OnChanging = [&](TObject*, bool& a) { a = allow; };
  pages->TabBar()->setCurrentIndex(1);
  EXPECT_EQ(pages->ActivePage(), p1);
  EXPECT_EQ(pages->TabBar()->currentIndex(), 0);
  delete p2;
  EXPECT_EQ(pages->PageCount(), 1);

  auto* group = new TRadioGroup(form);
  group->SetParent(form);
  group->Items()->Assign({"None", "Triangle", "Lanczos3"});
  int clicks = 0;
  group->OnClick = [&](TObject*) { ++clicks; };
  group->SetItemIndex(2);
  EXPECT_EQ(clicks, 1);
  EXPECT_TRUE(group->Buttons(2)->Checked());
  group->Buttons(0)->SetChecked(true);  // as a click on it does
  EXPECT_EQ(group->ItemIndex(), 0);
  EXPECT_EQ(clicks, 2);
  EXPECT_FALSE(group->Buttons(2)->Checked());

  auto* list = new TListBox(form);
  list->SetParent(form);
  list->Items()->Add("b");
  list->Items()->Add("a");
  int listClicks = 0;
  list->OnClick = [&](TObject*) { ++listClicks; };
  list->SetItemIndex(1);
  EXPECT_EQ(listClicks, 0);
  list->List()->setCurrentRow(0);
  EXPECT_EQ(listClicks, 1);
  list->SetSorted(true);
  EXPECT_EQ(list->Items()->Strings(0), "a");

  auto* box = new TScrollBox(form);
  box->SetParent(form);
  box->SetBounds(0, 200, 100, 80);
  auto* inner = new TPanel(form);
  inner->SetParent(box);
  inner->SetBounds(0, 0, 300, 300);
  box->AlignControls();
  EXPECT_EQ(box->ClientWidget()->width(), 300);
  form->Free();
}

TEST(Controls, ScrollBarsPopupMenusAndClosing) {
  auto* form = new TForm(nullptr);
  form->SetBounds(0, 0, 300, 200);
  auto* c = new TScrolled(form);
  c->SetParent(form);
  c->SetBounds(0, 0, 200, 100);
  EXPECT_EQ(c->ClientWidth(), 200);
  c->ShowScrollBar(SB_HORZ, true);
  EXPECT_EQ(c->ClientHeight(), 84);
  EXPECT_EQ(c->Surface()->Height(), 84);
  c->SetScrollRange(SB_HORZ, 0, 499, false);
  c->SetScrollPage(SB_HORZ, 200, true);
  c->SetScrollPos(SB_HORZ, 50, false);
  EXPECT_EQ(c->GetScrollPos(SB_HORZ), 50);
  EXPECT_EQ(c->ScrollBarWidget(SB_HORZ)->maximum(), 300);
  c->ScrollBarWidget(SB_HORZ)->triggerAction(QAbstractSlider::SliderPageStepAdd);
  ASSERT_EQ(c->h.size(), 1u);
  EXPECT_EQ(c->h[0].first, SB_PAGEDOWN);
  // The bar stays where the control leaves it.
  EXPECT_EQ(c->GetScrollPos(SB_HORZ), 50);

  auto* popup = new TPopupMenu(form);
  int unselect = 0;
  popup->Items()->AddItem("&Unselect", [&](TObject*) { ++unselect; });
  c->SetPopupMenu(popup);
  form->Show();
  Click(c->ClientWidget(), 20, 20, Qt::RightButton);
  EXPECT_EQ(popup->PopupCount(), 1);
  EXPECT_EQ(popup->PopupComponent(), c);
  popup->SetAutoPopup(false);
  Click(c->ClientWidget(), 20, 20, Qt::RightButton);
  EXPECT_EQ(popup->PopupCount(), 1);
  popup->Items()->Find("Unselect")->Click();
  EXPECT_EQ(unselect, 1);
  delete popup;
  EXPECT_EQ(c->PopupMenu(), nullptr);

  // The close question can keep a form up; the main form's close ends the run.
  bool can = false;
  form->OnCloseQuery = [&](TObject*, bool& ok) { ok = can; };
  form->Close();
  EXPECT_TRUE(form->Visible());
  can = true;
  TForm* oldMain = Application->MainForm();
  Application->SetMainForm(form);
  form->Close();
  EXPECT_FALSE(form->Visible());
  EXPECT_TRUE(Application->Terminated());
  Application->SetMainForm(oldMain);
  form->Free();
}

TEST(Controls, CursorsAndScreen) {
  auto* form = new TForm(nullptr);
  auto* p = new TPanel(form);
  p->SetParent(form);
  p->SetCursor(crHandPoint);
  EXPECT_EQ(p->ClientWidget()->cursor().shape(), Qt::PointingHandCursor);
  QPixmap pm(16, 16);
  pm.fill(Qt::black);
  Screen->SetCursorImage(1785, QCursor(pm, 3, 4));
  EXPECT_TRUE(Screen->HasCursor(1785));
  p->SetCursor(1785);
  EXPECT_EQ(p->ClientWidget()->cursor().hotSpot(), QPoint(3, 4));
  PlatformServices().ScreenSize = [] { return TSize{1024, 768}; };
  PlatformServices().CursorPos = [] { return TPoint{17, 23}; };
  EXPECT_EQ(Screen->Width(), 1024);
  EXPECT_EQ(Screen->Height(), 768);
  EXPECT_EQ(Screen->CursorPos(), Point(17, 23));
  PlatformServices().ScreenSize = nullptr;
  PlatformServices().CursorPos = nullptr;
  Screen->SetCursor(crHourGlass);
  EXPECT_EQ(Screen->Cursor(), crHourGlass);
  Screen->SetCursor(crDefault);
  form->Free();
}

}  // namespace
