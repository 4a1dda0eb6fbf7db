// Commands that are cancelled, fail or find nothing to work on leave the documents as they
// were; the histogram box and the about box answer the keyboard and a failed link.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <cstdlib>
#include <string>

#include "platform/gui/clipboard.h"
#include "quillon/mainform.h"
#include "support/editor.h"

using namespace quillon;

namespace {

std::string Fixture(const char* name) { return std::string(VL_TESTDATA) + "/quillon/" + name; }

using DocumentsTest = vltest::EditorTest;

TEST_F(DocumentsTest, CancelledOrFailedCommandsLeaveNoTrace) {
  // "Reduce colors" cancelled: the picture keeps its colours and depth.
  TMDIChild* c = Open(Fixture("quad.bmp"));
  ASSERT_NE(c, nullptr);
  answers.push_back([](TModalRequest& r) {
    EXPECT_EQ(r.Kind, mkInputQuery);
    EXPECT_EQ(r.Caption, "Reduce Colors");
    return int(mrCancel);
  });
  main->Reducecolors1Click(nullptr);
  TBitmap* b = c->VistrelVect1->Bitmap();
  EXPECT_EQ(b->PixelFormat(), pf24bit);
  if (b->PixelFormat() == pf24bit) {
    const uint8_t* p = b->ScanLine(5) + 3 * 5;
    EXPECT_EQ(RGB(p[2], p[1], p[0]), TColor(0x0000FF));
  }
  EXPECT_FALSE(c->Modified);

  // Paste to new or into the picture with only text on the clipboard: no window, the picture
  // as it was, and the user is told.
  Clipboard()->SetAsText("only words");
  for (int rect = 0; rect < 2; ++rect) {
    std::string said;
    AnswerMessage(mrOk, &said);
    if (rect) main->PastetoRect1Click(nullptr);
    else main->PasteItemClick(nullptr);
    EXPECT_EQ(said, "The clipboard holds no picture: copy one first.");
  }
  EXPECT_EQ(main->MDIChildCount(), 1);
  EXPECT_FALSE(c->Modified);

  // Acquire from the speed bar with no scanner interface: the user is told, no empty window.
  const char* old = std::getenv("VISTREL_TWAIN_DSM");
  const std::string saved = old ? old : "";
  setenv("VISTREL_TWAIN_DSM", "/nonexistent/twain_dsm.so", 1);
  std::string text;
  AnswerMessage(mrOk, &text);
  main->AquireBtnClick(nullptr);
  QCoreApplication::processEvents();
  if (old) setenv("VISTREL_TWAIN_DSM", saved.c_str(), 1);
  else unsetenv("VISTREL_TWAIN_DSM");
  EXPECT_NE(text.find("scanner"), std::string::npos) << text;
  EXPECT_EQ(main->MDIChildCount(), 1);
  EXPECT_EQ(main->ActiveChild(), c);
}

TEST_F(DocumentsTest, HistogramClosesOnEscape) {
  ASSERT_NE(Open(Fixture("quad.bmp")), nullptr);
  bool closed = false;
  AnswerForm(
      [&](TForm* f) {
        EXPECT_EQ(f, main->fHistogram);
        QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(f->ClientWidget(), &esc);
        closed = f->ModalResult() != mrNone;
      },
      mrNone);
  main->Histogram1Click(nullptr);
  EXPECT_TRUE(closed);
}

TEST_F(DocumentsTest, AboutLinkThatCantBeOpenedSaysSo) {
  std::string opened, text;
  PlatformServices().ShellOpen = [&](const std::string& t) {
    opened = t;
    return false;
  };
  AnswerForm([&](TForm* f) {
    auto* about = static_cast<TAboutBox*>(f);
    QWidget* w = about->HyperLink1->ClientWidget();
    for (QEvent::Type t : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
      const QPointF at(2, 2);
      QMouseEvent e(t, at, w->mapToGlobal(at), Qt::LeftButton,
                    t == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
      QCoreApplication::sendEvent(w, &e);
    }
  });
  AnswerMessage(mrOk, &text);
  main->HelpAboutItemClick(nullptr);
  PlatformServices().ShellOpen = nullptr;
  ASSERT_FALSE(opened.empty());
  EXPECT_EQ(text, "The link " + opened + " could not be opened.");
}

}  // namespace
