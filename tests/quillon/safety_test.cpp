// What a new user runs into: the document chosen stays the one commands act on, a document
// with no file asks where it goes, commands that can't act say why, and dialogs answer Escape.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMenu>
#include <QTest>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>

#include "platform/core/stream.h"
#include "platform/gui/clipboard.h"
#include "quillon/mainform.h"
#include "support/editor.h"
#include "vistrel/proc/previews.h"

namespace fs = std::filesystem;
using namespace quillon;

namespace {

std::string Fixture(const std::string& name) { return std::string(VL_TESTDATA) + "/" + name; }

TColor Px(TBitmap* b, int x, int y) {
  const uint8_t* p = b->ScanLine(y) + 3 * x;
  return RGB(p[2], p[1], p[0]);
}

class SafetyTest : public vltest::EditorInFolderTest {
 protected:
  SafetyTest() : EditorInFolderTest("quillon-safety") {}

  std::set<std::string> Listing() const {
    std::set<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(dir)) names.insert(e.path().string());
    return names;
  }

  // The Window menu's entries: the caption of the checked one; Choose triggers the named one.
  std::string Checked() {
    main->UpdateWindowMenu();
    const QList<QAction*> all = main->WindowMenu->SubMenu()->actions();
    for (qsizetype i = main->WindowMenu->Count(); i < all.size(); ++i)
      if (all[i]->isChecked()) return all[i]->text().toStdString().substr(3);
    return "";
  }
  void Choose(const std::string& caption) {
    main->UpdateWindowMenu();
    for (QAction* a : main->WindowMenu->SubMenu()->actions())
      if (a->text().toStdString().size() > 3 && a->text().toStdString().substr(3) == caption) a->trigger();
    QCoreApplication::processEvents();
  }
};

TEST_F(SafetyTest, FailedOpenAndFailedAcquireKeepTheChosenDocument) {
  TMDIChild* first = Open(Fixture("quillon/quad.bmp"));
  TMDIChild* middle = Open(Fixture("quillon/quad.png"));
  TMDIChild* last = Open(Fixture("tiff/bw_none_mw.tif"));
  ASSERT_TRUE(first && middle && last);
  Choose(middle->Caption());
  ASSERT_EQ(main->ActiveChild(), middle);

  // A text file under a picture's name: the user is told, and the chosen document stays chosen.
  const std::string text = (dir / ".jpg").string();
  {
    TFileStream f(text, fmCreate);
    f.Write("words, not a picture\n", 21);
  }
  AnswerFile(text);
  AnswerMessage(mrOk);
  main->FileOpenItemClick(nullptr);
  QCoreApplication::processEvents();
  EXPECT_EQ(main->ActiveChild(), middle);
  EXPECT_EQ(Checked(), middle->Caption());

  // The speed bar's Acquire with no scanner interface.
  const char* old = std::getenv("VISTREL_TWAIN_DSM");
  const std::string saved = old ? old : "";
  setenv("VISTREL_TWAIN_DSM", "/nonexistent/twain_dsm.so", 1);
  AnswerMessage(mrOk);
  main->AquireBtnClick(nullptr);
  QCoreApplication::processEvents();
  if (old) setenv("VISTREL_TWAIN_DSM", saved.c_str(), 1);
  else unsetenv("VISTREL_TWAIN_DSM");
  EXPECT_EQ(main->MDIChildCount(), 3);
  EXPECT_EQ(main->ActiveChild(), middle);
  EXPECT_EQ(Checked(), middle->Caption());

  // The next command changes the chosen document only.
  main->Negative1Click(nullptr);
  EXPECT_TRUE(middle->Modified);
  EXPECT_FALSE(first->Modified);
  EXPECT_FALSE(last->Modified);
}

TEST_F(SafetyTest, DocumentWithNoFileAsksWhereItGoes) {
  main->FileNewItemClick(nullptr);
  TMDIChild* c = main->ActiveChild();
  ASSERT_NE(c, nullptr);
  c->VistrelProc1->Negative();
  const auto before = Listing();
  // Ctrl+S: Save As, on the document's name; Cancel writes nothing anywhere.
  std::string start;
  answers.push_back([&](TModalRequest& r) {
    EXPECT_EQ(r.Kind, mkSaveFile);
    start = r.Value;
    return int(mrCancel);
  });
  EXPECT_TRUE(main->MainMenu1->IsShortCut(ShortCut('S', ssCtrl)));
  EXPECT_EQ(start, "Velmora-New1.jpg");
  EXPECT_EQ(Listing(), before);
  EXPECT_TRUE(c->Modified);
  // The speed bar's Save asks the same.
  answers.push_back([](TModalRequest& r) {
    EXPECT_EQ(r.Kind, mkSaveFile);
    return int(mrCancel);
  });
  main->SaveBtn->Click();
  EXPECT_EQ(Listing(), before);

  // The close question's Yes on an HSV channel: Save As; Cancel keeps the window.
  main->GetHSVchannels1Click(nullptr);
  TMDIChild* value = main->ActiveChild();
  ASSERT_NE(value, c);
  value->Modified = true;
  AnswerMessage(mrYes);
  answers.push_back([&](TModalRequest& r) {
    EXPECT_EQ(r.Kind, mkSaveFile);
    start = r.Value;
    return int(mrCancel);
  });
  value->Close();
  QCoreApplication::processEvents();
  EXPECT_EQ(start, value->Caption());
  EXPECT_EQ(main->MDIChildCount(), 4);
  EXPECT_EQ(Listing(), before);
}

TEST_F(SafetyTest, CommandsForTrueColourOnAOneBitPictureSayWhy) {
  TMDIChild* c = Open(Fixture("tiff/bw_none_mw.tif"));
  ASSERT_NE(c, nullptr);
  ASSERT_EQ(c->VistrelVect1->Bitmap()->PixelFormat(), pf1bit);
  const std::string tail = " on true-colour pictures: use Image > Convert to True color first.";
  TMainForm* m = main;
  const std::pair<std::function<void()>, std::string> said[] = {
      {[m] { m->Effects1Click(nullptr); }, "Effects work" + tail},
      {[m] { m->ColorAdjust1Click(nullptr); }, "Effects work" + tail},
      {[m] { m->Grayscale1Click(nullptr); }, "Gray scale works" + tail},
      {[m] { m->Reducecolors1Click(nullptr); }, "Reduce colors works" + tail},
      {[m] { m->Merge1Click(nullptr); }, "Merge works" + tail},
      {[m] { m->Histogram1Click(nullptr); }, "Histogram works" + tail},
      {[m] { m->ConverttoBW1Click(nullptr); }, "The picture is already black and white."}};
  for (const auto& [command, words] : said) {
    std::string text;
    AnswerMessage(mrOk, &text);
    command();
    EXPECT_EQ(text, words);
  }
  EXPECT_FALSE(c->Modified);

  // True-colour pictures too small for the effects dialog in either side.
  main->FileNewItemClick(nullptr);
  for (const auto& [w, h] : {std::pair{1, 1}, {5, 1}, {1, 5}}) {
    main->ActiveChild()->VistrelProc1->ResizeCanvas(w, h);
    std::string text;
    AnswerMessage(mrOk, &text);
    main->Effects1Click(nullptr);
    EXPECT_EQ(text, "Effects need a picture of at least 2 x 2 pixels.") << w << " x " << h;
  }
}

TEST_F(SafetyTest, EffectsDialogClosesOnTheFirstEscape) {
  TMDIChild* c = Open(Fixture("quillon/quad.bmp"));
  ASSERT_NE(c, nullptr);
  TModalResult result = mrNone;
  AnswerForm(
      [&](TForm* f) {
        ASSERT_NE(dynamic_cast<TfPreviews*>(f), nullptr);
        // The key as the window system hands it over: to whatever has the focus.
        QTest::keyClick(f->Widget()->windowHandle(), Qt::Key_Escape);
        result = f->ModalResult();
      },
      mrNone);
  main->Effects1Click(nullptr);
  EXPECT_EQ(result, mrCancel);
  EXPECT_FALSE(c->Modified);
  EXPECT_EQ(Px(c->VistrelVect1->Bitmap(), 5, 5), TColor(0x0000FF));
}

TEST_F(SafetyTest, CropWithoutASelectionAndPasteToNew) {
  TMDIChild* c = Open(Fixture("quillon/quad.bmp"));
  ASSERT_NE(c, nullptr);
  c->VistrelVect1->DeSelect();
  std::string text;
  AnswerMessage(mrOk, &text);
  main->Crop1Click(nullptr);
  QCoreApplication::processEvents();
  EXPECT_EQ(text, "Select an area of the picture first.");
  EXPECT_EQ(main->MDIChildCount(), 1);

  // A picture on the clipboard pasted to new: the window is the picture's size.
  TBitmap picture;
  picture.SetPixelFormat(pf24bit);
  picture.SetSize(300, 200);
  TVistrelProc proc(nullptr);
  proc.SetAttachedBitmap(&picture);
  proc.CopyToClipboard();
  main->PasteItemClick(nullptr);
  QCoreApplication::processEvents();
  TMDIChild* p = main->ActiveChild();
  ASSERT_NE(p, c);
  EXPECT_EQ(p->VistrelVect1->Bitmap()->Width(), 300);
  // As a loaded picture's: the view shows the picture and no more.
  EXPECT_EQ(p->ClientWidth(), p->VistrelVect1->IdealWidth());
  EXPECT_EQ(p->ClientHeight(), p->VistrelVect1->IdealHeight());
  EXPECT_LT(p->ClientWidth(), 310);

  // A crop and the HSV channels open at their pictures' size too, with no white band around.
  c->BringToFront();
  c->VistrelVect1->SetSelectionBase(vlsbBitmap);
  c->VistrelVect1->Select(0, 0, 19, 14);
  main->Crop1Click(nullptr);
  main->GetHSVchannels1Click(nullptr);
  QCoreApplication::processEvents();
  ASSERT_EQ(main->MDIChildCount(), 6);
  for (int i = 2; i < 6; ++i) {
    auto* d = static_cast<TMDIChild*>(main->MDIChildren(i));
    // (no narrower than the title bar's buttons need)
    EXPECT_LE(d->ClientWidth(), std::max<int64_t>(d->VistrelVect1->IdealWidth(), 120)) << d->Caption();
    EXPECT_EQ(d->ClientHeight(), d->VistrelVect1->IdealHeight()) << d->Caption();
  }
}

TEST_F(SafetyTest, ReduceColorsWithAnAnswerThatIsNotANumberLeavesThePicture) {
  TMDIChild* c = Open(Fixture("quillon/quad.bmp"));
  ASSERT_NE(c, nullptr);
  for (const char* typed : {"many", "", "12x"}) {
    answers.push_back([typed](TModalRequest& r) {
      EXPECT_EQ(r.Kind, mkInputQuery);
      r.Value = typed;
      return int(mrOk);
    });
    main->Reducecolors1Click(nullptr);
    EXPECT_EQ(c->VistrelVect1->Bitmap()->PixelFormat(), pf24bit) << typed;
    EXPECT_FALSE(c->Modified) << typed;
  }
}

}  // namespace
