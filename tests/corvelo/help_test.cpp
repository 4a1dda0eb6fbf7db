// Help in the viewer, whose help file is not installed: every way to it tells the user so.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <filesystem>
#include <string>
#include <vector>

#include "components/printsize.h"
#include "corvelo/aboutform.h"
#include "corvelo/categoryform.h"
#include "corvelo/mainform.h"
#include "corvelo/photoform.h"
#include "corvelo/program.h"
#include "corvelo/slideshowform.h"
#include "corvelo/viewerunit.h"
#include "platform/gui/menus.h"

namespace fs = std::filesystem;
using namespace corvelo;

namespace {

TEST(ViewerHelp, WithoutItsFileEveryWayToHelpSaysItIsNotInstalled) {
  const fs::path dir = fs::path(VL_BUILD_DIR) / "corvelo_help";
  fs::remove_all(dir);
  fs::create_directories(dir);
  const fs::path oldCwd = fs::current_path();
  SetProgramFolder(dir.string());
  std::vector<TModalRequest> asked;
  SetModalAnswer([&](TModalRequest& r) {
    asked.push_back(r);
    return int(mrOk);
  });
  TMainForm* form = StartCorvelo();
  ASSERT_TRUE(asked.empty());

  // The menu item, the main form's button, F1 on the main form, and the help buttons of the
  // album view, the photo view and the slide show.
  form->Help2->Click();
  form->HelpMainCat->Click();
  for (QEvent::Type t : {QEvent::KeyPress, QEvent::KeyRelease}) {
    QKeyEvent e(t, Qt::Key_F1, Qt::NoModifier);
    QCoreApplication::sendEvent(form->PanelHelp->ClientWidget(), &e);
  }
  EXPECT_EQ(LastHelpRequest().Context, 10);
  CategoryForm->SpeedButton1->Click();
  ShowCatPhotoForm->SpeedButton3->Click();
  SlideShowForm->HelpSlideShow->Click();
  EXPECT_EQ(LastHelpRequest().Context, 340);

  ASSERT_EQ(asked.size(), 6u);
  for (const TModalRequest& r : asked) {
    EXPECT_EQ(r.Kind, mkMessage);
    EXPECT_EQ(r.Caption, "Velmora");
    EXPECT_EQ(r.Text, "Help file Velmora.hlp is not installed.");
  }

  SetModalAnswer(nullptr);
  StopCorvelo();
  fs::current_path(oldCwd);
  fs::remove_all(dir);
}

}  // namespace
