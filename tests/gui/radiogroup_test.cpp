// Radio groups: an item chosen from code scrolls into sight; a new font lays the items out anew.
#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QScrollBar>
#include <QWidget>
#include <QtTest/QTest>
#include <string>

#include "platform/gui/controls.h"
#include "platform/gui/stdctrls.h"

namespace {

// Shown whole in the group: visible, under the caption and inside.
void ExpectOnShow(TRadioGroup* g, int i) {
  TRadioButton* b = g->Buttons(i);
  ASSERT_TRUE(b->Visible()) << g->Items()->Strings(i);
  const TRect r = b->BoundsRect();
  EXPECT_GE(r.Top, QFontMetrics(g->Font()->QtFont()).height() / 2);
  EXPECT_LE(r.Bottom, g->ClientHeight());
}

TEST(RadioGroupLayout, AnItemChosenFromCodeScrollsIntoSight) {
  auto* form = new TForm(nullptr);
  form->SetBounds(0, 0, 300, 300);
  auto* g = new TRadioGroup(form);
  g->SetParent(form);
  g->SetBounds(10, 10, 200, 120);
  for (int i = 1; i <= 40; ++i) g->Items()->Add("Album " + std::to_string(i));
  form->Show();
  ASSERT_TRUE(g->ScrollBar()->isVisible());
  g->SetItemIndex(39);
  ExpectOnShow(g, 39);
  g->SetItemIndex(0);
  ExpectOnShow(g, 0);
  // Tab stops once in the group, on the chosen item; the arrows choose the next and the one before.
  int clicks = 0;
  g->OnClick = [&](TObject*) { ++clicks; };
  auto tabStop = [&](int i) { return bool(g->Buttons(i)->Widget()->focusPolicy() & Qt::TabFocus); };
  EXPECT_TRUE(tabStop(0));
  EXPECT_FALSE(tabStop(1));
  QTest::keyClick(g->Buttons(0)->Widget(), Qt::Key_Down);
  EXPECT_EQ(g->ItemIndex(), 1);
  EXPECT_TRUE(tabStop(1));
  EXPECT_FALSE(tabStop(0));
  QTest::keyClick(g->Buttons(1)->Widget(), Qt::Key_Up);
  QTest::keyClick(g->Buttons(0)->Widget(), Qt::Key_Up);
  EXPECT_EQ(g->ItemIndex(), 39);
  ExpectOnShow(g, 39);
  EXPECT_EQ(clicks, 3);
  form->Free();
}

TEST(RadioGroupLayout, ALargerFontLaysTheItemsOutForIt) {
  auto* form = new TForm(nullptr);
  form->SetBounds(0, 0, 500, 400);
  auto* g = new TRadioGroup(form);
  g->SetParent(form);
  g->SetBounds(10, 10, 440, 300);
  g->Items()->Assign({"None", "Triangle", "Lanczos3"});
  form->Show();
  g->Font()->SetSize(26);
  for (int i = 0; i < 3; ++i) {
    TRadioButton* b = g->Buttons(i);
    SCOPED_TRACE(g->Items()->Strings(i));
    EXPECT_GE(b->Height(), QFontMetrics(b->Font()->QtFont()).height());
    EXPECT_GE(b->Width(), b->Widget()->sizeHint().width());
    ExpectOnShow(g, i);
  }
  form->Free();
}

}  // namespace
