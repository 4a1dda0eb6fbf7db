// The editor's acquisition commands, headless: a page from the test source manager into a new
// document window, and the message when no source manager is installed.
#include <QCoreApplication>
#include <deque>
#include <functional>

#include "quillon/mainform.h"
#include "quillon/program.h"
#include "twain/twain_support.h"

using namespace quillon;
using namespace vltest;

namespace {

class EditorAcquireTest : public FakeDsmTest {
 protected:
  TMainForm* main = nullptr;
  std::vector<TModalRequest> asked;

  void SetUp() override {
    FakeDsmTest::SetUp();
    if (HasFatalFailure()) return;
    SetModalAnswer([this](TModalRequest& r) {
      asked.push_back(r);
      return int(mrOk);
    });
    main = StartQuillon();
    main->Show();
    QCoreApplication::processEvents();
  }

  void TearDown() override {
    StopQuillon(main);
    SetModalAnswer(nullptr);
    QCoreApplication::processEvents();
    FakeDsmTest::TearDown();
  }
};

}  // namespace

TEST_F(EditorAcquireTest, TheScanButtonAcquiresAPageIntoANewDocument) {
  dsm->Info = ImageInfo(3, 2, 24, Fix(150, 0), Fix(150, 0));
  dsm->Strips = {Strip(0, 0, 3, 1, 9, {255, 0, 0, 0, 255, 0, 0, 0, 255}),
                 Strip(0, 1, 3, 1, 9, {9, 9, 9, 90, 90, 90, 200, 200, 200}, TWRC_XFERDONE)};
  const int before = main->MDIChildCount();
  main->AquireBtnClick(nullptr);
  QCoreApplication::processEvents();
  ASSERT_EQ(main->MDIChildCount(), before + 1);
  TMDIChild* c = main->ActiveChild();
  ASSERT_NE(c, nullptr);
  TBitmap* b = c->VistrelVect1->Bitmap();
  ASSERT_EQ(b->Width(), 3);
  ASSERT_EQ(b->Height(), 2);
  const uint8_t row0[9] = {0, 0, 255, 0, 255, 0, 255, 0, 0};
  const uint8_t row1[9] = {9, 9, 9, 90, 90, 90, 200, 200, 200};
  EXPECT_EQ(std::memcmp(b->ScanLine(0), row0, 9), 0);
  EXPECT_EQ(std::memcmp(b->ScanLine(1), row1, 9), 0);
  EXPECT_EQ(c->VistrelVect1->DpiX(), 150);
  EXPECT_TRUE(c->Modified);
  EXPECT_EQ(main->ProgressBar1->Position(), 100);
  EXPECT_TRUE(asked.empty()) << asked.front().Text;
  // The source's window had the editor's window as parent.
  for (const auto& call : dsm->Log)
    if (call.MSG == MSG_ENABLEDS) {
      EXPECT_NE(call.Parent, nullptr);
    }
}

TEST_F(EditorAcquireTest, WithoutASourceManagerTheUserIsTold) {
  setenv("VISTREL_TWAIN_DSM", "/nonexistent/libtwaindsm.so.2", 1);
  main->FileNewItemClick(nullptr);
  ASSERT_NE(main->ActiveChild(), nullptr);
  main->Acquire1Click(nullptr);
  main->Selectscanner1Click(nullptr);
  ASSERT_EQ(asked.size(), 2u);
  for (const auto& r : asked) {
    EXPECT_EQ(r.Kind, mkMessage);
    EXPECT_EQ(r.Text,
              "No scanner interface is installed: the TWAIN source manager /nonexistent/libtwaindsm.so.2 "
              "was not found.");
  }
  EXPECT_EQ(main->MDIChildCount(), 1);
}
