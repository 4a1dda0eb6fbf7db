// The viewer's photo view prints on a right click on the photo, every time: on a real (virtual)
// screen, where a menu shown after the print would take the next click. Started by
// PrintSizeShot.DialogUnderXvfb with the other XvfbPrintSize tests.
#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QWindow>
#include <QtTest/QTest>
#include <cstdlib>

#include "components/printsize.h"
#include "corvelo/photoform.h"
#include "corvelo/viewerunit.h"
#include "support/pump.h"

using namespace corvelo;

namespace {

using vltest::WaitFor;

TEST(XvfbPrintSize, PhotoViewPrintsOnEveryRightClick) {
  if (!std::getenv("PRINT_SHOTS_XVFB") || QGuiApplication::platformName() != "xcb")
    GTEST_SKIP() << "runs on the virtual screen only";
  OKBottomDlg = new TOKBottomDlg(nullptr);
  ShowCatPhotoForm = new TShowCatPhotoForm(nullptr);
  TBitmap* b = ShowCatPhotoForm->Image1->Picture()->Bitmap();
  b->SetPixelFormat(pf24bit);
  b->SetSize(300, 200);
  int asked = 0;
  SetModalAnswer([&](TModalRequest& r) {
    EXPECT_EQ(r.Kind, mkPrint);
    ++asked;
    return int(mrCancel);
  });
  ShowCatPhotoForm->Show();
  QWidget* w = ShowCatPhotoForm->Widget();
  QWidget* photo = ShowCatPhotoForm->Image1->Widget();
  ASSERT_TRUE(WaitFor([&] { return w->windowHandle()->isExposed() && photo->isVisible() && photo->width() > 4; }));
  for (int i = 1; i <= 2; ++i) {
    QTest::mouseClick(w->windowHandle(), Qt::RightButton, {}, photo->mapTo(w, photo->rect().center()));
    EXPECT_TRUE(WaitFor([&] { return asked == i; })) << "right click " << i;
  }
  EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
  SetModalAnswer(nullptr);
  ShowCatPhotoForm->Free();
  OKBottomDlg->Free();
  ShowCatPhotoForm = nullptr;
  OKBottomDlg = nullptr;
}

}  // namespace
