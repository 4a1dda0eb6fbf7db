// The editor driven as a user drives it: menu commands on document windows, with the modal
// service answering the file dialogs, message boxes and dialogs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>
#include <deque>
#include <filesystem>
#include <functional>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/core/stream.h"
#include "quillon/mainform.h"
#include "quillon/program.h"
#include "support/editor.h"
#include "vistrel/io/vistrelio.h"
#include "vistrel/proc/kernels/geometry.h"
#include "vistrel/proc/kernels/pixels.h"
#include "vistrel/proc/previews.h"

namespace fs = std::filesystem;
using namespace quillon;

namespace {

constexpr TColor kRed = TColor(0x0000FF), kGreen = TColor(0x00FF00), kBlue = TColor(0xFF0000),
                 kWhite = TColor(0xFFFFFF), kBlack = TColor(0);

TColor Px(TBitmap* b, int x, int y) {
  const uint8_t* p = b->ScanLine(y) + 3 * x;
  return RGB(p[2], p[1], p[0]);
}

bool Near(TColor a, TColor b, int tol) {
  return std::abs(GetRValue(a) - GetRValue(b)) <= tol && std::abs(GetGValue(a) - GetGValue(b)) <= tol &&
         std::abs(GetBValue(a) - GetBValue(b)) <= tol;
}

std::string Fixture(const char* name) { return std::string(VL_TESTDATA) + "/quillon/" + name; }

QMdiSubWindow* Sub(TForm* f) { return qobject_cast<QMdiSubWindow*>(f->Widget()->parentWidget()); }

// The narrowest client a document window's title bar allows.
int LeastClientWidth(TForm* f) {
  QMdiSubWindow* sub = Sub(f);
  const QMargins m = sub->contentsMargins();
  return sub->minimumSizeHint().width() - m.left() - m.right();
}

class EditorTest : public vltest::EditorInFolderTest {
 protected:
  EditorTest() : EditorInFolderTest("quillon-test") {}

  // Closes a child as the Close item does and lets the queued free run.
  void CloseActive() {
    main->FileCloseItemClick(nullptr);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
  }
};

TEST_F(EditorTest, StartUpAndItemsWithoutDocuments) {
  EXPECT_EQ(Application->Title(), "Quillon");
  EXPECT_EQ(Application->HelpFile(), "Velmora.hlp");
  EXPECT_EQ(Application->MainForm(), main);
  EXPECT_EQ(main->Caption(), "Aquire and Edit utility for Velmora");
  ASSERT_NE(main->fRotate, nullptr);
  ASSERT_NE(main->fResize, nullptr);
  EXPECT_FALSE(main->fRotate->Visible());
  main->UpdateMenuItems(nullptr);
  for (TMenuItem* m : {main->FileCloseItem,
                       main->FileSaveItem,
                       main->FileSaveAsItem,
                       main->CutItem,
                       main->CopyItem,
                       main->PasteItem,
                       main->PastetoRect1,
                       main->WindowCascadeItem,
                       main->WindowTileItem,
                       main->WindowArrangeItem,
                       main->WindowMinimizeItem,
                       main->Effects1,
                       main->Negative1,
                       main->Grayscale1,
                       main->Rotate1,
                       main->Verticalflip1,
                       main->Horizontalflip1,
                       main->Undo1,
                       main->Resample1,
                       main->Clear1,
                       main->Merge1,
                       main->Selectscanner1,
                       main->Acquire1,
                       main->ColorAdjust1,
                       main->Print1,
                       main->Histogram1,
                       main->Calccolornumber1,
                       main->ConverttoBW1,
                       main->Reducecolors1,
                       main->GetHSVchannels1,
                       main->Crop1,
                       main->ConverttoTruecolor1,
                       main->Resize1,
                       main->Zoomproperties1})
    EXPECT_FALSE(m->Enabled()) << m->Caption();
  for (TControl* c : std::initializer_list<TControl*>{main->SaveBtn, main->CutBtn, main->CopyBtn, main->PasteBtn,
                                                      main->ComboBox1, main->TrackBar1, main->SpeedButton2,
                                                      main->PrintBtn, main->SpeedButton3, main->SpeedButton4})
    EXPECT_FALSE(c->Enabled());
  for (TMenuItem* m : {main->FileNewItem, main->FileOpenItem, main->FileExitItem, main->HelpAboutItem, main->HelpItem})
    EXPECT_TRUE(m->Enabled()) << m->Caption();
  EXPECT_TRUE(main->AquireBtn->Enabled());
  EXPECT_TRUE(main->OpenBtn->Enabled());
  // Commands without a document do nothing.
  main->Negative1Click(nullptr);
  main->Undo1Click(nullptr);
  main->PasteClick(nullptr);
  main->TrackBar1Change(nullptr);

  // A document enables them, closing it disables them again.
  TMDIChild* c = Open(Fixture("quad.bmp"));
  ASSERT_NE(c, nullptr);
  EXPECT_TRUE(main->Negative1->Enabled());
  EXPECT_TRUE(main->FileSaveItem->Enabled());
  EXPECT_TRUE(main->TrackBar1->Enabled());
  EXPECT_FALSE(main->Undo1->Enabled());  // nothing to undo yet
  CloseActive();
  EXPECT_EQ(main->MDIChildCount(), 0);
  main->UpdateMenuItems(nullptr);
  EXPECT_FALSE(main->Negative1->Enabled());

  // Hints: the long part goes to the status bar.
  Application->SetHint("Print this photo");
  EXPECT_EQ(main->StatusBar->SimpleText(), "Print this photo");
}

TEST_F(EditorTest, OpensBmpJpegAndPngSizedToThePicture) {
  for (const char* name : {"quad.bmp", "quad.jpg", "quad.png"}) {
    SCOPED_TRACE(name);
    TMDIChild* c = Open(Fixture(name));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->Caption(), Fixture(name));
    TBitmap* b = c->VistrelVect1->Bitmap();
    ASSERT_EQ(b->Width(), 40);
    ASSERT_EQ(b->Height(), 30);
    const int tol = std::string(name).find(".jpg") != std::string::npos ? 40 : 0;
    EXPECT_TRUE(Near(Px(b, 5, 5), kRed, tol));
    EXPECT_TRUE(Near(Px(b, 30, 5), kGreen, tol));
    EXPECT_TRUE(Near(Px(b, 5, 25), kBlue, tol));
    EXPECT_TRUE(Near(Px(b, 30, 25), kWhite, tol));
    // As wide as the picture, unless that is narrower than the title bar needs.
    EXPECT_EQ(c->ClientWidth(), std::max<int64_t>(c->VistrelVect1->IdealWidth(), LeastClientWidth(c)));
    EXPECT_GT(LeastClientWidth(c), 40);
    EXPECT_EQ(c->ClientHeight(), c->VistrelVect1->IdealHeight());
    EXPECT_FALSE(c->Modified);
    EXPECT_EQ(c->VistrelIO1->Params()->JPEGQuality, 100);
    // The picture before any drawing is kept for object undo.
    EXPECT_EQ(c->Image1->Picture()->Width(), 40);
    EXPECT_EQ(main->ProgressBar1->Position(), 0);
  }
  EXPECT_EQ(main->MDIChildCount(), 3);
  // A cancelled open leaves everything as it was.
  answers.push_back([](TModalRequest&) { return int(mrCancel); });
  main->FileOpenItemClick(nullptr);
  EXPECT_EQ(main->MDIChildCount(), 3);
}

TEST_F(EditorTest, PictureCommandsAndUndo) {
  TMDIChild* c = Open(Fixture("quad.bmp"));
  ASSERT_NE(c, nullptr);
  TBitmap* b = c->VistrelVect1->Bitmap();

  main->Negative1Click(nullptr);
  EXPECT_EQ(Px(b, 0, 0), kWhite);
  EXPECT_EQ(Px(b, 5, 5), TColor(0xFFFF00));  // red becomes cyan
  EXPECT_TRUE(c->Modified);
  main->UpdateMenuItems(nullptr);
  EXPECT_TRUE(main->Undo1->Enabled());
  main->Undo1Click(nullptr);
  EXPECT_EQ(Px(b, 0, 0), kBlack);
  EXPECT_EQ(Px(b, 5, 5), kRed);
  EXPECT_FALSE(main->Undo1->Enabled());

  main->Horizontalflip1Click(nullptr);
  EXPECT_EQ(Px(b, 39, 0), kBlack);
  EXPECT_EQ(Px(b, 5, 5), kGreen);
  main->Verticalflip1Click(nullptr);
  EXPECT_EQ(Px(b, 39, 29), kBlack);
  EXPECT_EQ(Px(b, 5, 5), kWhite);

  main->Grayscale1Click(nullptr);
  const int lumRed = 255 * 21 / 100;
  EXPECT_EQ(Px(b, 30, 25), RGB(lumRed, lumRed, lumRed));  // the red quadrant, now bottom right
  EXPECT_EQ(main->ProgressBar1->Position(), 0);

  // Rotate by 90 degrees clockwise: the 40 x 30 picture stands up, its bottom-right corner
  // (black since the flips) moves to the bottom-left.
  AnswerForm([](TForm* f) {
    auto* r = static_cast<TfRotate*>(f);
    EXPECT_EQ(r->Caption(), "Rotate preview");
    EXPECT_EQ(r->VistrelView1->Bitmap()->Width(), r->VistrelView1->Width());
    r->Edit1->SetText("90");
    r->Button3Click(r);  // the preview turns too
    EXPECT_GT(r->VistrelView1->Bitmap()->Height(), r->VistrelView1->Bitmap()->Width());
  });
  main->Rotate1Click(nullptr);
  ASSERT_EQ(b->Width(), 30);
  ASSERT_EQ(b->Height(), 40);
  EXPECT_EQ(Px(b, 0, 39), kBlack);
  // The window takes the turned picture's size, as after Undo and Resize borders.
  EXPECT_EQ(c->ClientHeight(), c->VistrelVect1->IdealHeight());
  // Cancel leaves the picture alone.
  AnswerForm([](TForm* f) { static_cast<TfRotate*>(f)->Edit1->SetText("45"); }, mrCancel);
  main->Rotate1Click(nullptr);
  EXPECT_EQ(b->Width(), 30);

  // Resize with the aspect ratio kept: width 15 gives height 20.
  AnswerForm([](TForm* f) {
    auto* r = static_cast<TfResize*>(f);
    EXPECT_EQ(r->Caption(), "Resize photo - scaling used");
    EXPECT_EQ(r->Edit1->Text(), "30");
    EXPECT_EQ(r->Edit2->Text(), "40");
    // The width has the keyboard, its text selected: what is typed replaces it.
    ASSERT_EQ(r->Widget()->focusWidget(), r->Edit1->ClientWidget());
    QTest::keyClicks(r->Edit1->ClientWidget(), "15");
    EXPECT_EQ(r->Edit1->Text(), "15");
    EXPECT_EQ(r->Edit2->Text(), "20");
  });
  main->Resample1Click(nullptr);
  EXPECT_EQ(b->Width(), 15);
  EXPECT_EQ(b->Height(), 20);
  EXPECT_EQ(c->ClientHeight(), c->VistrelVect1->IdealHeight());
  main->Undo1Click(nullptr);
  EXPECT_EQ(b->Width(), 30);
  EXPECT_EQ(b->Height(), 40);

  // Resize borders: the picture keeps its pixels; width 0 changes nothing and says why.
  AnswerForm([](TForm* f) {
    auto* r = static_cast<TfResize*>(f);
    EXPECT_EQ(r->Caption(), "Resize border - no scaling");
    r->CheckBox1->SetChecked(false);
    r->Edit1->SetText("150");
    r->Edit2->SetText("45");
  });
  main->Resize1Click(nullptr);
  EXPECT_EQ(b->Width(), 150);
  EXPECT_EQ(b->Height(), 45);
  EXPECT_EQ(Px(b, 0, 39), kBlack);
  EXPECT_EQ(Px(b, 145, 42), kWhite);
  AnswerForm([](TForm* f) { static_cast<TfResize*>(f)->Edit1->SetText("0"); });
  std::string zero;
  AnswerMessage(mrOk, &zero);
  main->Resize1Click(nullptr);
  EXPECT_EQ(zero, "The width and height must be whole numbers above 0.");
  EXPECT_EQ(b->Width(), 150);
  AnswerForm([](TForm* f) {
    static_cast<TfResize*>(f)->Edit1->SetText("2147483647");
    static_cast<TfResize*>(f)->Edit2->SetText("2147483647");
  });
  std::string large;
  AnswerMessage(mrOk, &large);
  main->Resample1Click(nullptr);
  EXPECT_EQ(large, "A picture of 2147483647 x 2147483647 pixels is too large to make.");
  EXPECT_EQ(b->Width(), 150);
  // The window shows the picture, its ideal size, and no band around it.
  EXPECT_EQ(c->VistrelVect1->ClientWidth(), 151);
  EXPECT_EQ(c->VistrelVect1->ClientHeight(), 46);
  // Borders in width only, then Undo: the window fits the picture again.
  AnswerForm([](TForm* f) {
    static_cast<TfResize*>(f)->CheckBox1->SetChecked(false);
    static_cast<TfResize*>(f)->Edit1->SetText("200");
  });
  main->Resize1Click(nullptr);
  ASSERT_EQ(b->Width(), 200);
  main->Undo1Click(nullptr);
  ASSERT_EQ(b->Width(), 150);
  EXPECT_EQ(c->VistrelVect1->ClientWidth(), 151);

  // Colour count and the answer of "Reduce colors" cancelled (0: nothing).
  std::string text;
  AnswerMessage(mrOk, &text);
  main->Calccolornumber1Click(nullptr);
  EXPECT_EQ(text.rfind("The active images has ", 0), 0u) << text;
  EXPECT_NE(text.find(" colors."), std::string::npos);
  answers.push_back([](TModalRequest& r) {
    EXPECT_EQ(r.Kind, mkInputQuery);
    EXPECT_EQ(r.Caption, "Reduce Colors");
    EXPECT_EQ(r.Text, "Insert colors of image:");
    return int(mrCancel);
  });
  main->Reducecolors1Click(nullptr);
  EXPECT_EQ(b->Width(), 150);
}

TEST_F(EditorTest, SavesUnderEachFormatAndReadsBack) {
  for (const char* ext : {".bmp", ".png", ".jpg", ".pcx", ".tif"}) {
    SCOPED_TRACE(ext);
    TMDIChild* c = Open(Fixture("quad.bmp"));
    ASSERT_NE(c, nullptr);
    main->Negative1Click(nullptr);
    EXPECT_TRUE(c->Modified);
    const std::string out = (dir / (std::string("saved") + ext)).string();
    AnswerFile(out);
    main->FileSaveAsItemClick(nullptr);
    EXPECT_EQ(c->Caption(), out);
    EXPECT_FALSE(c->Modified);
    ASSERT_TRUE(FileExists(out));
    // Read back through the I/O component.
    TBitmap back;
    TVistrelIO io(nullptr);
    io.SetAttachedBitmap(&back);
    io.LoadFromFile(out);
    EXPECT_FALSE(io.Aborting());
    ASSERT_EQ(back.Width(), 40);
    ASSERT_EQ(back.Height(), 30);
    back.SetPixelFormat(pf24bit);
    const int tol = std::string(ext) == ".jpg" ? 40 : 0;
    // One pixel of its own survives only the lossless formats.
    if (tol == 0) {
      EXPECT_EQ(Px(&back, 0, 0), kWhite);
    }
    EXPECT_TRUE(Near(Px(&back, 5, 5), TColor(0xFFFF00), tol));
    EXPECT_TRUE(Near(Px(&back, 30, 25), kBlack, tol));
    // "&Save" writes the same name again, without asking: the file is the document's own.
    main->Horizontalflip1Click(nullptr);
    main->FileSaveItemClick(nullptr);
    EXPECT_FALSE(c->Modified);
    CloseActive();
  }
  EXPECT_TRUE(answers.empty());
}

TEST_F(EditorTest, NewDocumentsAreNamedAndAskBeforeOverwriting) {
  main->FileNewItemClick(nullptr);
  TMDIChild* a = main->ActiveChild();
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->Caption(), "Velmora-New1.jpg");
  TBitmap* b = a->VistrelVect1->Bitmap();
  // The blank picture takes the window's client size; the view shows no scroll bars.
  EXPECT_EQ(b->Width(), a->ClientWidth());
  EXPECT_EQ(b->Height(), a->ClientHeight());
  EXPECT_FALSE(a->VistrelVect1->ViewScrollBarVisible(true));
  EXPECT_FALSE(a->VistrelVect1->ViewScrollBarVisible(false));
  EXPECT_EQ(Px(b, b->Width() / 2, b->Height() / 2), kWhite);
  EXPECT_FALSE(a->Modified);
  EXPECT_FALSE(main->Undo1->Enabled());
  main->FileNewItemClick(nullptr);
  EXPECT_EQ(main->ActiveChild()->Caption(), "Velmora-New2.jpg");

  // A file of that name exists in the working folder: "&Save" goes through Save As, on the
  // document's name, and writes where that dialog says (it asked about replacing).
  {
    TFileStream f("Velmora-New2.jpg", fmCreate);
    f.Write("keep", 4);
  }
  answers.push_back([](TModalRequest& r) {
    EXPECT_EQ(r.Kind, mkSaveFile);
    EXPECT_EQ(r.Value, "Velmora-New2.jpg");
    return int(mrCancel);
  });
  EXPECT_FALSE(main->FileSaveItemClick(nullptr));
  EXPECT_EQ(fs::file_size("Velmora-New2.jpg"), 4u);
  AnswerFile((dir / "Velmora-New2.jpg").string());
  EXPECT_TRUE(main->FileSaveItemClick(nullptr));
  EXPECT_GT(fs::file_size("Velmora-New2.jpg"), 100u);

  // "&New" with a name that exists as a file still makes a blank picture.
  CloseActive();
  EXPECT_EQ(main->MDIChildCount(), 1);
  main->FileNewItemClick(nullptr);
  TMDIChild* n = main->ActiveChild();
  EXPECT_EQ(n->Caption(), "Velmora-New2.jpg");
  EXPECT_EQ(Px(n->VistrelVect1->Bitmap(), 0, 0), kWhite);
}

TEST_F(EditorTest, CloseQuestion) {
  // Unmodified: closes without a question.
  Open(Fixture("quad.bmp"));
  CloseActive();
  EXPECT_EQ(main->MDIChildCount(), 0);
  EXPECT_TRUE(asked.size() == 1);  // the open dialog only

  // Cancel keeps the window and its picture.
  TMDIChild* c = Open(Fixture("quad.png"));
  main->Negative1Click(nullptr);
  std::string text;
  AnswerMessage(mrCancel, &text);
  CloseActive();
  EXPECT_EQ(text, "Save Changes to " + Fixture("quad.png") + "?");
  EXPECT_EQ(asked.back().Buttons, unsigned(mbYesNoCancel));
  EXPECT_EQ(main->MDIChildCount(), 1);
  EXPECT_TRUE(c->Modified);

  // No closes without saving.
  AnswerMessage(mrNo);
  CloseActive();
  EXPECT_EQ(main->MDIChildCount(), 0);

  // Yes saves the window that asks, even when another window is active.
  const std::string target = (dir / "first.png").string();
  fs::copy_file(Fixture("quad.png"), target);
  TMDIChild* first = Open(target);
  main->Negative1Click(nullptr);
  // A drawn object left selected in it goes into the file too.
  vltest::DrawSelectedBox(first->VistrelVect1, 1, 1, 3, 3, kGreen);
  TMDIChild* second = Open(Fixture("quad.bmp"));
  ASSERT_NE(first, second);
  ASSERT_EQ(main->ActiveChild(), second);
  AnswerMessage(mrYes);
  first->Close();
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
  EXPECT_EQ(main->MDIChildCount(), 1);
  EXPECT_FALSE(second->Modified);
  {
    TBitmap back;
    TVistrelIO io(nullptr);
    io.SetAttachedBitmap(&back);
    io.LoadFromFile(target);
    ASSERT_EQ(back.Width(), 40);
    EXPECT_EQ(Px(&back, 0, 0), kWhite);  // the negative was saved
    EXPECT_EQ(Px(&back, 1, 1), kGreen);  // with its drawn object
  }

  // A save that fails keeps the window open and modified, and tells the user.
  main->Negative1Click(nullptr);
  second->SetCaption((dir / "no-such-folder" / "x.bmp").string());
  second->HasFile = true;
  AnswerMessage(mrYes);
  std::string error;
  AnswerMessage(mrOk, &error);
  CloseActive();
  EXPECT_EQ(main->MDIChildCount(), 1);
  EXPECT_TRUE(second->Modified);
  EXPECT_NE(error.find("x.bmp"), std::string::npos);
  // Answering No at last lets it go.
  AnswerMessage(mrNo);
  CloseActive();
  EXPECT_EQ(main->MDIChildCount(), 0);
}

TEST_F(EditorTest, CropMakesANewDocumentOfTheSelection) {
  Open(Fixture("quad.bmp"));
  main->FileNewItemClick(nullptr);
  // Back to the picture, select its red quadrant (inclusive box).
  TMDIChild* src = nullptr;
  for (int i = 0; i < main->MDIChildCount(); ++i)
    if (main->MDIChildren(i)->Caption() == Fixture("quad.bmp")) src = static_cast<TMDIChild*>(main->MDIChildren(i));
  ASSERT_NE(src, nullptr);
  src->BringToFront();
  ASSERT_EQ(main->ActiveChild(), src);
  src->VistrelVect1->SetSelectionBase(vlsbBitmap);
  src->VistrelVect1->Select(0, 0, 19, 14);
  main->Crop1Click(nullptr);
  TMDIChild* crop = main->ActiveChild();
  ASSERT_NE(crop, src);
  EXPECT_EQ(crop->Caption(), "3.jpg");
  TBitmap* b = crop->VistrelVect1->Bitmap();
  ASSERT_EQ(b->Width(), 20);
  ASSERT_EQ(b->Height(), 15);
  EXPECT_EQ(Px(b, 0, 0), kBlack);
  EXPECT_EQ(Px(b, 19, 14), kRed);
}

TEST_F(EditorTest, ZoomControlsAndLaterCommands) {
  TMDIChild* c = Open(Fixture("quad.bmp"));
  ASSERT_NE(c, nullptr);
  main->UpdateMenuItems(nullptr);
  EXPECT_EQ(main->ComboBox1->Text(), "100");
  EXPECT_EQ(main->TrackBar1->Position(), 100);
  main->ComboBox1->SetText("abc");
  main->ComboBox1Change(nullptr);
  EXPECT_EQ(c->VistrelVect1->Zoom(), 100);
  main->ComboBox1->SetText("5000");
  main->ComboBox1Change(nullptr);
  EXPECT_EQ(c->VistrelVect1->Zoom(), 2000);
  main->ComboBox1->SetText("Fit");
  main->ComboBox1Change(nullptr);
  EXPECT_EQ(main->TrackBar1->Position(), c->VistrelVect1->Zoom());
  main->TrackBar1->SetPosition(250);
  main->TrackBar1Change(nullptr);
  EXPECT_EQ(c->VistrelVect1->Zoom(), 250);
  EXPECT_EQ(main->ComboBox1->Text(), "250");
  // The view's change codes reach the progress bar: 1 for a zoom, 0 for a scroll.
  EXPECT_EQ(main->ProgressBar1->Position(), 1);
  c->VistrelVect1->SetViewXY(5, 5);
  EXPECT_EQ(main->ProgressBar1->Position(), 0);

  // Drawn objects are burnt in before a command changes the picture.
  vltest::DrawSelectedBox(c->VistrelVect1, 1, 1, 3, 3, kGreen);
  main->Verticalflip1Click(nullptr);
  EXPECT_EQ(c->VistrelVect1->ObjectsCount(), 0);
  EXPECT_EQ(Px(c->VistrelVect1->Bitmap(), 1, 28), kGreen);
  EXPECT_EQ(Px(c->Image1->Picture()->Bitmap(), 1, 1), kRed);  // the picture before the commit

  // Color Adjust and Effects open the effects dialog with their pages; its OK changes the
  // picture, and the progress bar is back at 0 afterwards.
  uint16_t pages[2] = {};
  AnswerForm([&](TForm* f) { pages[0] = dynamic_cast<TfPreviews&>(*f).Pages; }, mrCancel);
  main->ColorAdjust1Click(nullptr);
  AnswerForm([&](TForm* f) { pages[1] = dynamic_cast<TfPreviews&>(*f).Pages; }, mrCancel);
  main->Effects1Click(nullptr);
  EXPECT_EQ(pages[0], 4190);
  EXPECT_EQ(pages[1], 4000);
  EXPECT_EQ(Px(c->VistrelVect1->Bitmap(), 1, 28), kGreen);
  AnswerForm([](TForm* f) {
    auto* p = static_cast<TfPreviews*>(f);
    p->PageControl1->SelectTab(3);  // RGB
    p->Edit6->SetText("-255");      // green taken out
    p->Button1->Click();
  });
  main->ColorAdjust1Click(nullptr);
  QCoreApplication::processEvents();
  EXPECT_EQ(Px(c->VistrelVect1->Bitmap(), 1, 28), kBlack);
  EXPECT_EQ(main->ProgressBar1->Position(), 0);
  // The Rotate page turns the picture; the window takes the turned picture's size.
  AnswerForm([](TForm* f) {
    auto* p = static_cast<TfPreviews*>(f);
    p->PageControl1->SelectTab(5);
    EXPECT_EQ(p->ActivePreviewPage(), ppRotate);
    p->EditRotate->SetText("90");
    p->Button1->Click();
  });
  main->Effects1Click(nullptr);
  QCoreApplication::processEvents();
  EXPECT_EQ(c->VistrelVect1->Bitmap()->Height(), 40);
  EXPECT_EQ(c->ClientHeight(), c->VistrelVect1->IdealHeight());

  // The mouse over the view writes its coordinates into the frame's caption.
  c->VistrelVect1MouseMove(nullptr, 0, 12, 7);
  EXPECT_EQ(main->Caption(), "     X: 12  Y: 7");
  c->VistrelVect1MouseDown(nullptr, mbLeft, 0, 10, 10);
  EXPECT_EQ(main->Caption(), "     X: 0  Y: 0");
  c->VistrelVect1MouseMove(nullptr, 0, 4, 13);
  EXPECT_EQ(main->Caption(), "     X: -6  Y: 3");
  c->VistrelVect1MouseUp(nullptr, mbLeft, 0, 4, 13);

  // Help opens the editor's help file at its context.
  SetHelpService([](const THelpRequest&) { return true; });
  main->SpeedButtonHelpClick(nullptr);
  SetHelpService(nullptr);
  EXPECT_EQ(LastHelpRequest().File, "Velmora.hlp");
  EXPECT_EQ(LastHelpRequest().Context, 310);
}

}  // namespace

namespace {

TEST_F(EditorTest, LargePictureWindowKeepsInsideTheFrame) {
  // A picture larger than the frame, written here.
  const std::string big = (dir / "big.bmp").string();
  {
    TBitmap b;
    b.SetPixelFormat(pf24bit);
    b.SetSize(2000, 1500);
    TVistrelIO io(nullptr);
    io.SetAttachedBitmap(&b);
    io.SaveToFile(big);
    ASSERT_FALSE(io.Aborting());
  }
  TMDIChild* c = Open(big);
  ASSERT_NE(c, nullptr);
  // As large as the workspace lets it be, frame and title bar inside.
  const QRect room(QPoint(0, 0), main->MdiArea()->viewport()->size());
  EXPECT_TRUE(room.contains(Sub(c)->geometry()));
  EXPECT_GE(Sub(c)->width(), room.width() - 10);
  EXPECT_GE(Sub(c)->height(), room.height() - 10);
  // Larger than its window: the scroll tool is chosen.
  EXPECT_TRUE(main->SpeedButton6->Down());
  EXPECT_EQ(c->VistrelVect1->MouseInteract(), miScroll);

  // In a small frame, where the design size fills the workspace, a small picture's window
  // still opens down the cascade instead of over the one before.
  main->SetBounds(0, 0, 800, 600);
  QCoreApplication::processEvents();
  TMDIChild* a = Open(Fixture("quad.bmp"));
  TMDIChild* b = Open(Fixture("quad.png"));
  ASSERT_TRUE(a && b);
  EXPECT_NE(Sub(a)->y(), Sub(b)->y());
  EXPECT_TRUE(room.contains(Sub(b)->geometry()));
}

TEST_F(EditorTest, RotatePreviewIsTheDocumentReducedToItsWidth) {
  // Wider than the preview, with detail that any other reduction would change.
  const std::string name = (dir / "wide.bmp").string();
  TBitmap pic;
  pic.SetPixelFormat(pf24bit);
  pic.SetSize(900, 500);
  for (int y = 0; y < 500; ++y) {
    uint8_t* p = pic.ScanLine(y);
    for (int i = 0; i < 900 * 3; ++i) p[i] = uint8_t(i * 7 + y * 13 + (i * y) % 11);
  }
  {
    TVistrelIO io(nullptr);
    io.SetAttachedBitmap(&pic);
    io.SaveToFile(name);
    ASSERT_FALSE(io.Aborting());
  }
  TMDIChild* c = Open(name);
  ASSERT_NE(c, nullptr);
  AnswerForm(
      [&](TForm* f) {
        TVistrelView* v = static_cast<TfRotate*>(f)->VistrelView1;
        // What a whole copy reduced with the processing component's Resample gives.
        TBitmap expected;
        VLCopyBitmap(&pic, &expected);
        const int w = v->Bitmap()->Width();
        VLResampleToSize(&expected, w, 500 * w / 900, rfNone);
        EXPECT_TRUE(VLSameBitmap(v->Bitmap(), &expected));
        EXPECT_EQ(v->Background(), c->VistrelVect1->Background());
      },
      mrCancel);
  main->Rotate1Click(nullptr);
  EXPECT_EQ(c->VistrelVect1->Bitmap()->Width(), 900);
}

TEST_F(EditorTest, HsvChannelsMakeThreeNamedDocuments) {
  TMDIChild* c = Open(Fixture("quad.bmp"));
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->Name(), "MDIChild");
  main->GetHSVchannels1Click(nullptr);
  EXPECT_EQ(main->MDIChildCount(), 4);
  std::vector<std::string> captions;
  for (int i = 0; i < main->MDIChildCount(); ++i) captions.push_back(main->MDIChildren(i)->Caption());
  for (const char* want : {"MDIChild Hue", "MDIChild Saturation", "MDIChild Value"})
    EXPECT_NE(std::find(captions.begin(), captions.end(), want), captions.end()) << want;
  // The value channel of pure red is full, of black zero.
  TMDIChild* v = main->ActiveChild();
  ASSERT_EQ(v->Caption(), "MDIChild Value");
  TBitmap* b = v->VistrelVect1->Bitmap();
  ASSERT_EQ(b->Width(), 40);
  EXPECT_EQ(Px(b, 0, 0), kBlack);
  EXPECT_NE(Px(b, 5, 5), kBlack);
}

// A black-and-white picture splits as the black and white it shows, and the bar is emptied after.
TEST_F(EditorTest, HsvChannelsOfABlackAndWhitePicture) {
  TMDIChild* c = Open(Fixture("quad.bmp"));
  ASSERT_NE(c, nullptr);
  c->VistrelProc1->ConvertToBWThreshold(128);
  TBitmap* bw = c->VistrelVect1->Bitmap();
  ASSERT_EQ(bw->PixelFormat(), pf1bit);
  TBitmap shown;
  VLCopyBitmap(bw, &shown);
  shown.SetPixelFormat(pf24bit);
  ASSERT_EQ(Px(&shown, 0, 0), kBlack);
  ASSERT_EQ(Px(&shown, 30, 25), kWhite);
  main->GetHSVchannels1Click(nullptr);
  ASSERT_EQ(main->MDIChildCount(), 4);
  for (int i = 0; i < main->MDIChildCount(); ++i) {
    auto* w = static_cast<TMDIChild*>(main->MDIChildren(i));
    if (w == c) continue;
    TBitmap* b = w->VistrelVect1->Bitmap();
    ASSERT_EQ(b->Width(), 40) << w->Caption();
    ASSERT_EQ(b->Height(), bw->Height()) << w->Caption();
    if (w->Caption() == "MDIChild Value") {
      EXPECT_TRUE(VLSameBitmap(b, &shown));
    } else {
      for (int y = 0; y < b->Height(); ++y)
        for (int x = 0; x < b->Width(); ++x) ASSERT_EQ(Px(b, x, y), kBlack) << w->Caption() << " " << x << "," << y;
    }
  }
  EXPECT_EQ(main->ProgressBar1->Position(), 0);
}

TEST_F(EditorTest, ClosingTheFrameAsksEachModifiedDocument) {
  TMDIChild* a = Open(Fixture("quad.bmp"));
  main->Negative1Click(nullptr);
  TMDIChild* b = Open(Fixture("quad.png"));
  main->Negative1Click(nullptr);
  ASSERT_TRUE(a->Modified && b->Modified);
  // No for the first, Cancel for the second: the frame stays.
  AnswerMessage(mrNo);
  AnswerMessage(mrCancel);
  main->FileExitItemClick(nullptr);
  EXPECT_FALSE(Application->Terminated());
  EXPECT_TRUE(main->Visible());
  EXPECT_EQ(main->MDIChildCount(), 2);
}

}  // namespace

namespace {

TEST_F(EditorTest, ResizeDialogKeepsTheAspectRatio) {
  TfResize* r = main->fResize;
  r->StartWidth = 200;
  r->StartHeight = 100;
  r->ComboBox1->SetItemIndex(3);
  r->FormActivate(r);
  EXPECT_EQ(r->Edit1->Text(), "200");
  EXPECT_EQ(r->Edit2->Text(), "100");
  EXPECT_EQ(r->ComboBox1->ItemIndex(), 0);  // the filter is not kept between showings
  r->Edit1->SetText("50");
  EXPECT_EQ(r->Edit2->Text(), "25");
  r->Edit2->SetText("33");
  EXPECT_EQ(r->Edit1->Text(), "66");
  r->Edit1->SetText("x");
  EXPECT_EQ(r->Edit2->Text(), "0");
  r->CheckBox1->SetChecked(false);
  r->Edit1->SetText("7");
  EXPECT_EQ(r->Edit2->Text(), "0");
}

TEST_F(EditorTest, RotatePreviewStartsFromTheUnrotatedPicture) {
  TfRotate* r = main->fRotate;
  TBitmap pic;
  pic.SetPixelFormat(pf24bit);
  pic.SetSize(40, 20);
  r->VistrelView1->Assign(&pic);
  r->FormActivate(r);
  r->Edit1->SetText("90");
  r->Button3Click(r);
  EXPECT_EQ(r->VistrelView1->Bitmap()->Width(), 20);
  r->Button3Click(r);
  EXPECT_EQ(r->VistrelView1->Bitmap()->Width(), 20);  // the same picture, not turned twice
  EXPECT_EQ(r->UpDown1->Position(), 90);
  r->QuickClick("180");
  EXPECT_EQ(r->Edit1->Text(), "180");
  EXPECT_EQ(r->VistrelView1->Bitmap()->Width(), 40);
}

}  // namespace

namespace {

// Every menu item as "caption|shortcut|hint", disabled items marked with "!", separators "-".
std::string MenuText(TMenuItem* m) {
  std::string s;
  for (int i = 0; i < m->Count(); ++i) {
    TMenuItem* it = m->Items(i);
    if (it->Caption() == "-") {
      s += "-\n";
      continue;
    }
    s += (it->Enabled() ? "" : "!") + it->Caption() + "|" + ShortCutToText(it->ShortCut()) + "|" + it->Hint() + "\n";
  }
  return s;
}

TEST_F(EditorTest, MenusButtonsAndFiltersAsLaidOut) {
  // As start-up leaves them: no document, so every item the active-form hook rules is off.
  main->UpdateMenuItems(nullptr);
  TMenuItem* bar = main->MainMenu1->Items();
  ASSERT_EQ(bar->Count(), 6);
  EXPECT_EQ(MenuText(bar),
            "&File||File related commands\n&Edit||\n&Image||\n&Tools||\n"
            "&Window||Window related commands such as Tile and Cascade\n&About||Help topics\n");
  EXPECT_EQ(MenuText(bar->Items(0)),
            "&New|Ctrl+N|Create a new file\n-\n!&Select source||\n!&Acquire||\n-\n"
            "&Open|Ctrl+O|Open an existing file\n!&Close||Close current file\n!&Save|Ctrl+S|Save current file\n"
            "!Save &As...||Save current file as...\n!&Print||\n-\nE&xit|Alt+F4|Exit the application\n");
  EXPECT_EQ(
      MenuText(bar->Items(1)),
      "!&Undo||\n-\n!Cu&t|Ctrl+X|Cut to clipboard\n!&Copy|Ctrl+C|Copy to clipboard\n"
      "!&Paste to new|Ctrl+V|Paste from clipboard\n!P&aste to Rectangle (stretched)||\n-\n!Crop (paste to new)||\n");
  EXPECT_EQ(MenuText(bar->Items(2)),
            "!Color &Adjust...||\n!&Histogram||\n!Calc Image colors||\n-\n!&Negative||\n!&Gray scale (B+W)||\n"
            "!Reduce colors||\n!Convert to BW (No grays)||\n!Convert to True color||\n!Get HSV channels||\n-\n"
            "!&Resize Image||\n!Resize borders||\n!&Clear||\n");
  EXPECT_EQ(MenuText(bar->Items(3)),
            "!&Effects...||\n-\n!&Rotate||\n!&Vertical flip||\n!&Horizontal flip||\n!&Merge...||\n-\n"
            "!Zoom properties...||\n");
  EXPECT_EQ(MenuText(bar->Items(4)),
            "!&Cascade||Arrange windows to overlap\n!&Tile||Arrange windows without overlap\n"
            "!&Arrange Icons||Arrange window icons at bottom of main window\n!&Minimize All||Minimize all windows\n");
  EXPECT_EQ(MenuText(bar->Items(5)), "&About||\n&Help||\n");
  EXPECT_EQ(MenuText(main->PopupMenu1->Items()), "&Unselect||\n-\nCu&t||\n&Copy||\n&Paste||\nP&aste Rect||\n");
  EXPECT_FALSE(main->PopupMenu1->AutoPopup());

  std::string hints;
  for (TSpeedButton* b : {main->OpenBtn, main->SaveBtn, main->CutBtn, main->CopyBtn, main->PasteBtn, main->SpeedButton1,
                          main->SpeedButton2, main->SpeedButton3, main->SpeedButton4, main->SpeedButton7,
                          main->AquireBtn, main->PrintBtn, main->SpeedButtonHelp, main->SpeedButton1Close})
    hints += (b->Enabled() ? "" : "!") + b->Hint() + "\n";
  EXPECT_EQ(hints,
            "Open|\n!Save|\n!Cut|\n!Copy|\n!Paste|\nNew|\n!Effects|\n!Undo|\n!Color Adjust|\n"
            "!Zoom - left click=Up, right click=Down|\n"
            "Aquire from selected source (select under File/select source)\n!Print this photo\nHelp|\nExit|\n");
  EXPECT_FALSE(main->SpeedButton7->Down());
  EXPECT_EQ(main->TrackBar1->Min(), 1);
  EXPECT_EQ(main->TrackBar1->Max(), 2000);
  EXPECT_EQ(main->TrackBar1->Position(), 1);
  ASSERT_EQ(main->ComboBox1->Items()->Count(), 15);
  EXPECT_EQ(main->ComboBox1->Items()->Strings(0), "Fit");
  EXPECT_EQ(main->ComboBox1->Items()->Strings(14), "1600");

  EXPECT_EQ(main->OpenVistrelDialog1->Filter(),
            "All graphics|*.jpg;*.jpeg;*.pcx;*.png;*.bmp;*.wmf;*.emf;*.ico;*.cur|JPEG Bitmap (JPG;JPEG; JPE)|"
            "*.jpg;*.jpeg;*.jpe|PaintBrush (PCX)|*.pcx|Portable Network Graphics (PNG)|*.png|Windows Bitmap "
            "(BMP)|*.bmp|OS/2 Bitmap (BMP)|*.bmp|Enhanced Windows Metafile (EMF)|*.emf|Windows Metafile "
            "(WMF)|*.wmf|Icon resource (ICO)|*.ico|Cursor Resource (CUR)|*.cur");
  EXPECT_EQ(main->SaveVistrelDialog1->Filter(),
            "JPEG Bitmap (JPG)|*.jpg|PaintBrush (PCX)|*.pcx|Portable Network Graphics (PNG)|*.png|Windows "
            "Bitmap (BMP)|*.bmp|OS/2 Bitmap (BMP)|*.bmp");
}

}  // namespace

namespace {

// The texts of the Window menu's entries after its own four items.
std::vector<std::string> WindowList(TMainForm* main, std::vector<QAction*>* actions = nullptr) {
  std::vector<std::string> texts;
  const QList<QAction*> all = main->WindowMenu->SubMenu()->actions();
  for (qsizetype i = main->WindowMenu->Count(); i < all.size(); ++i) {
    texts.push_back(all[i]->isSeparator() ? "-" : (all[i]->isChecked() ? "*" : "") + all[i]->text().toStdString());
    if (actions) actions->push_back(all[i]);
  }
  return texts;
}

TEST_F(EditorTest, WindowMenuPlacesArrangesAndListsTheDocuments) {
  std::vector<TMDIChild*> docs;
  for (const char* name : {"quad.bmp", "quad.png", "quad.jpg"}) docs.push_back(Open(Fixture(name)));
  main->FileNewItemClick(nullptr);
  docs.push_back(main->ActiveChild());
  QMdiArea* area = main->MdiArea();
  // New windows start at the top left, each a step below and right of the one before; one that
  // would run past the area there starts again at the top left.
  EXPECT_EQ(docs[0]->Left(), 0);
  EXPECT_EQ(docs[0]->Top(), 0);
  for (size_t i = 1; i < 3; ++i) {
    EXPECT_GT(docs[i]->Left(), docs[i - 1]->Left());
    EXPECT_GT(docs[i]->Top(), docs[i - 1]->Top());
  }
  for (TMDIChild* d : docs) {
    EXPECT_LE(Sub(d)->geometry().right(), area->viewport()->width() - 1);
  }
  // The new picture's window is too large for the fourth step.
  EXPECT_EQ(docs[3]->Left(), 0);
  EXPECT_EQ(docs[3]->Top(), 0);

  // Cascade, twice: every window keeps its picture in view, title bars step down in turn and
  // the active window ends on top.
  docs[1]->BringToFront();
  std::vector<QSize> sizes;
  for (TMDIChild* d : docs) sizes.push_back(QSize(d->ClientWidth(), d->ClientHeight()));
  for (int round = 0; round < 2; ++round) {
    main->WindowCascadeItemClick(nullptr);
    QCoreApplication::processEvents();
    std::vector<int> tops;
    for (size_t i = 0; i < docs.size(); ++i) {
      SCOPED_TRACE(i);
      TMDIChild* d = docs[i];
      EXPECT_GE(d->ClientHeight(), 30);
      EXPECT_GE(d->ClientWidth(), 40);
      // Small windows keep their size; none reaches past the area.
      if (sizes[i].height() < 100) {
        EXPECT_EQ(QSize(d->ClientWidth(), d->ClientHeight()), sizes[i]);
      }
      EXPECT_LE(Sub(d)->geometry().right(), area->viewport()->width() - 1);
      EXPECT_LE(Sub(d)->geometry().bottom(), area->viewport()->height() - 1);
      tops.push_back(d->Top());
    }
    std::sort(tops.begin(), tops.end());
    EXPECT_EQ(std::unique(tops.begin(), tops.end()), tops.end());
    EXPECT_EQ(main->ActiveChild(), docs[1]);
    EXPECT_EQ(docs[1]->Top(), tops.back());
  }

  // Minimize All minimises every one of them.
  main->WindowMinimizeItemClick(nullptr);
  QCoreApplication::processEvents();
  for (TMDIChild* d : docs) {
    EXPECT_EQ(d->WindowState(), wsMinimized) << d->Caption();
    EXPECT_TRUE(Sub(d)->isMinimized()) << d->Caption();
  }

  // The Window menu lists every document in the order they came, the active one checked;
  // choosing one activates it and brings it back from its icon.
  std::vector<QAction*> entries;
  std::vector<std::string> texts = WindowList(main, &entries);
  for (std::string& t : texts)
    if (!t.empty() && t[0] == '*') t.erase(0, 1);
  EXPECT_EQ(texts, (std::vector<std::string>{"-", "&1 " + Fixture("quad.bmp"), "&2 " + Fixture("quad.png"),
                                             "&3 " + Fixture("quad.jpg"), "&4 Velmora-New4.jpg"}));
  ASSERT_EQ(entries.size(), 5u);
  entries[3]->trigger();
  QCoreApplication::processEvents();
  EXPECT_EQ(main->ActiveChild(), docs[2]);
  EXPECT_EQ(docs[2]->WindowState(), wsNormal);
  EXPECT_EQ(WindowList(main)[3], "*&3 " + Fixture("quad.jpg"));

  // A closed document leaves the list.
  CloseActive();
  EXPECT_EQ(WindowList(main).size(), 4u);
}

TEST_F(EditorTest, WorkspaceScrollsToWindowsPastItsEdge) {
  TMDIChild* c = Open(Fixture("quad.bmp"));
  QMdiArea* area = main->MdiArea();
  EXPECT_FALSE(area->horizontalScrollBar()->isVisible());
  c->SetLeft(area->viewport()->width() + 50);
  c->SetTop(area->viewport()->height() + 50);
  QCoreApplication::processEvents();
  EXPECT_TRUE(area->horizontalScrollBar()->isVisible());
  EXPECT_TRUE(area->verticalScrollBar()->isVisible());
  EXPECT_GT(area->horizontalScrollBar()->maximum(), 50);
}

void Mouse(QWidget* w, QEvent::Type t, Qt::MouseButton b, int x, int y) {
  const QPointF p(x, y);
  QMouseEvent e(t, p, w->mapToGlobal(p), b, t == QEvent::MouseButtonPress ? b : Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(w, &e);
}

TEST_F(EditorTest, RightClickOnTheViewOffersUnselect) {
  TMDIChild* c = Open(Fixture("quad.bmp"));
  TVistrelVect* v = c->VistrelVect1;
  v->SetSelectionBase(vlsbBitmap);
  v->Select(2, 2, 19, 14);
  ASSERT_TRUE(v->Selected());
  const int shown = main->PopupMenu1->PopupCount();
  Mouse(v->ClientWidget(), QEvent::MouseButtonPress, Qt::RightButton, 5, 5);
  Mouse(v->ClientWidget(), QEvent::MouseButtonRelease, Qt::RightButton, 5, 5);
  EXPECT_EQ(main->PopupMenu1->PopupCount(), shown + 1);
  EXPECT_EQ(main->PopupMenu1->PopupComponent(), v);
  EXPECT_TRUE(v->Selected());
  main->PopupMenu1->Items()->Find("&Unselect")->Click();
  EXPECT_FALSE(v->Selected());

  // With the zoom tool the right button zooms out instead.
  main->SpeedButton7->Click();
  EXPECT_TRUE(main->SpeedButton7->Down());
  Mouse(v->ClientWidget(), QEvent::MouseButtonPress, Qt::RightButton, 5, 5);
  Mouse(v->ClientWidget(), QEvent::MouseButtonRelease, Qt::RightButton, 5, 5);
  EXPECT_EQ(main->PopupMenu1->PopupCount(), shown + 1);
  EXPECT_LT(v->Zoom(), 100);
}

void Key(QWidget* w, Qt::Key key, const QString& text) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
  QCoreApplication::sendEvent(w, &press);
  QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
  QCoreApplication::sendEvent(w, &release);
}

TEST_F(EditorTest, OpenDialogCountsTrueColourForPicturesDeeperThan24Bits) {
  // 16 bits a sample with alpha: 64 bits a pixel.
  std::string colours;
  answers.push_back([&](TModalRequest& r) {
    EXPECT_EQ(r.Kind, mkOpenFile);
    main->OpenVistrelDialog1->SelectFiles(std::string(VL_TESTDATA) + "/quillon", {"rgba16.png"});
    colours = main->OpenVistrelDialog1->PicLabel2->Caption();
    return int(mrOk);
  });
  main->FileOpenItemClick(nullptr);
  EXPECT_EQ(colours, "16777216 Colors (64 bit)");
  ASSERT_NE(main->ActiveChild(), nullptr);
  EXPECT_EQ(main->ActiveChild()->VistrelVect1->Bitmap()->Width(), 8);
}

TEST_F(EditorTest, HelpWithoutItsFileSaysItIsNotInstalled) {
  // The menu item, the tool button, F1 on the frame's tool bar, and F1 in a dialog.
  std::string said[4];
  for (int i = 0; i < 3; ++i) AnswerMessage(mrOk, &said[i]);
  main->HelpItem->Click();
  main->SpeedButtonHelp->Click();
  Key(main->SpeedPanel->ClientWidget(), Qt::Key_F1, "");
  EXPECT_EQ(LastHelpRequest().Context, 310);
  AnswerForm([](TForm* f) { Key(static_cast<TfResize*>(f)->Edit1->ClientWidget(), Qt::Key_F1, ""); }, mrCancel);
  AnswerMessage(mrOk, &said[3]);
  main->fResize->ShowModal();
  EXPECT_EQ(LastHelpRequest().Context, 580);
  ASSERT_EQ(asked.size(), 5u);
  for (int i : {0, 1, 2, 4}) EXPECT_EQ(asked[size_t(i)].Caption, "Quillon") << i;
  for (const std::string& text : said) EXPECT_EQ(text, "Help file Velmora.hlp is not installed.");
}

TEST_F(EditorTest, TypedZoomAppliesOnEnterAndShowsWhatWasApplied) {
  TMDIChild* c = Open(Fixture("quad.bmp"));
  QComboBox* box = main->ComboBox1->Combo();
  QApplication::setActiveWindow(main->Widget());
  box->setFocus();
  QCoreApplication::processEvents();
  auto type = [&](const std::string& digits) {
    main->ComboBox1->SetText("");
    for (char d : digits) Key(box, Qt::Key(Qt::Key_0 + (d - '0')), QString(QChar(d)));
  };
  // "20" is not completed to "200", and nothing zooms before Enter.
  type("20");
  EXPECT_EQ(main->ComboBox1->Text(), "20");
  EXPECT_EQ(c->VistrelVect1->Zoom(), 100);
  Key(box, Qt::Key_Return, "\r");
  EXPECT_EQ(c->VistrelVect1->Zoom(), 20);
  EXPECT_EQ(main->TrackBar1->Position(), 20);
  // Past the limit: the combo shows the zoom the view took.
  type("5000");
  Key(box, Qt::Key_Return, "\r");
  EXPECT_EQ(c->VistrelVect1->Zoom(), 2000);
  EXPECT_EQ(main->ComboBox1->Text(), "2000");
  // An item chosen from the list applies at once.
  box->setCurrentIndex(main->ComboBox1->Items()->IndexOf("300"));
  emit box->activated(box->currentIndex());
  EXPECT_EQ(c->VistrelVect1->Zoom(), 300);
  EXPECT_EQ(main->ComboBox1->Text(), "300");
}

TEST_F(EditorTest, FileThatCantBeReadOrWrittenSaysWhyAndKeepsTheDocument) {
  TMDIChild* doc = Open(Fixture("quad.bmp"));
  ASSERT_NE(doc, nullptr);
  // A text file under a picture's name, a PNG cut short, and a picture under a name of no format.
  const std::string text = (dir / "notes.jpg").string();
  {
    TFileStream f(text, fmCreate);
    const std::string words = "These are words, not a picture.\n";
    f.Write(words.data(), int(words.size()));
  }
  const std::string cut = (dir / "cut.png").string();
  {
    const auto whole = fs::file_size(Fixture("quad.png"));
    fs::copy_file(Fixture("quad.png"), cut);
    fs::resize_file(cut, whole / 2);
  }
  const std::string odd = (dir / "quad.xyz").string();
  fs::copy_file(Fixture("quad.bmp"), odd);
  const std::pair<std::string, std::string> opens[] = {
      {text, "The file is not in JPG format."},
      {cut, "The file is damaged: it ends before its picture does."},
      {odd, "The file format is not known."}};
  for (const auto& [bad, why] : opens) {
    SCOPED_TRACE(bad);
    std::string said;
    AnswerFile(bad);
    AnswerMessage(mrOk, &said);
    main->FileOpenItemClick(nullptr);
    QCoreApplication::processEvents();
    EXPECT_EQ(said, "Could not open " + bad + ".\n" + why);
    EXPECT_EQ(asked.back().DlgType, mtError);
    EXPECT_EQ(main->MDIChildCount(), 1);
    EXPECT_EQ(main->ActiveChild(), doc);
    EXPECT_EQ(WindowList(main).size(), 2u);
  }
  // The document that was open keeps its picture and its picture before drawing.
  EXPECT_EQ(Px(doc->VistrelVect1->Bitmap(), 5, 5), kRed);
  EXPECT_EQ(doc->Image1->Picture()->Width(), 40);

  // A save that fails says why, keeps the document modified and keeps its name.
  main->Negative1Click(nullptr);
  const std::string name = doc->Caption();
  // A folder the other user reaches wherever the build lies.
  char folder[] = "/tmp/quillon-test-XXXXXX";
  ASSERT_NE(::mkdtemp(folder), nullptr);
  const fs::path open = folder;
  struct TRemove {
    fs::path Path;
    ~TRemove() { fs::remove_all(Path); }
  } remove{open};
  ASSERT_EQ(::chmod(folder, 0755), 0);
  const fs::path locked = open / "locked";
  fs::create_directories(locked);
  ASSERT_EQ(::chmod(locked.c_str(), 0555), 0);
  const std::pair<std::string, std::string> saves[] = {
      {(open / "no-such-folder" / "x.png").string(), "The folder does not exist."},
      {(open / "x.xyz").string(), "The file format is not known."},
      {(locked / "x.png").string(), "Permission denied: the folder or the file may not be written."}};
  for (const auto& [target, why] : saves) {
    SCOPED_TRACE(target);
    std::string said;
    AnswerFile(target);
    AnswerMessage(mrOk, &said);
    {
      // Root may write anywhere: the save runs as nobody.
      const bool root = ::geteuid() == 0;
      if (root) {
        ASSERT_EQ(::seteuid(65534), 0);
      }
      main->FileSaveAsItemClick(nullptr);
      if (root) {
        ASSERT_EQ(::seteuid(0), 0);
      }
    }
    EXPECT_EQ(said, "Could not save " + target + ".\n" + why);
    EXPECT_TRUE(doc->Modified);
    EXPECT_EQ(doc->Caption(), name);
    EXPECT_EQ(Sub(doc)->windowTitle().toStdString(), name);
    EXPECT_FALSE(fs::exists(target));
  }
  EXPECT_TRUE(fs::is_empty(locked));
  ::chmod(locked.c_str(), 0755);
}

// Every action of a menu and its submenus, as Qt shows them.
void CollectActions(QMenu* m, std::vector<QAction*>& out) {
  for (QAction* a : m->actions()) {
    out.push_back(a);
    if (a->menu()) CollectActions(a->menu(), out);
  }
}

TEST_F(EditorTest, MenusShowLinesForSeparatorsAndButtonsShowPictures) {
  std::vector<QAction*> actions;
  for (int i = 0; i < main->MainMenu1->Items()->Count(); ++i)
    CollectActions(main->MainMenu1->Items()->Items(i)->SubMenu(), actions);
  CollectActions(main->PopupMenu1->Items()->SubMenu(), actions);
  int separators = 0;
  for (QAction* a : actions) {
    EXPECT_NE(a->text(), "-");
    if (a->isSeparator()) {
      ++separators;
      EXPECT_TRUE(a->text().isEmpty());
    }
  }
  EXPECT_EQ(separators, 10);

  for (TSpeedButton* b : {main->OpenBtn, main->SaveBtn, main->CutBtn, main->CopyBtn, main->PasteBtn, main->SpeedButton1,
                          main->SpeedButton2, main->SpeedButton3, main->SpeedButton4, main->SpeedButton7,
                          main->AquireBtn, main->PrintBtn, main->SpeedButtonHelp, main->SpeedButton1Close}) {
    SCOPED_TRACE(b->Hint());
    // A picture with more than the face in it, and no word beside it; the word is the tool tip.
    TBitmap* g = b->Glyph();
    ASSERT_EQ(b->NumGlyphs(), 4);
    ASSERT_EQ(g->Width(), 4 * kSpeedIconSize);
    ASSERT_EQ(g->Height(), kSpeedIconSize);
    int drawn = 0;
    const TColor face = ColorToRGB(clBtnFace);
    for (int y = 0; y < kSpeedIconSize; ++y)
      for (int x = 0; x < kSpeedIconSize; ++x) drawn += Px(g, x, y) != face;
    EXPECT_GT(drawn, kSpeedIconSize * kSpeedIconSize / 8);
    EXPECT_TRUE(b->Caption().empty());
    EXPECT_EQ(b->Widget()->toolTip().toStdString(), GetShortHint(b->Hint()));
    EXPECT_FALSE(b->Widget()->toolTip().isEmpty());
  }
  // The disabled picture differs from the usable one.
  TBitmap* g = main->SaveBtn->Glyph();
  int differ = 0;
  for (int y = 0; y < kSpeedIconSize; ++y)
    for (int x = 0; x < kSpeedIconSize; ++x) differ += Px(g, x, y) != Px(g, kSpeedIconSize + x, y);
  EXPECT_GT(differ, 0);
}

}  // namespace
