// The editor's dialogs, alone and through the commands that show them, with the modal
// service answering for the user.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMouseEvent>
#include <QSlider>
#include <QTest>
#include <deque>
#include <functional>

#include "components/scaler.h"
#include "platform/gui/canvas.h"
#include "quillon/mainform.h"
#include "quillon/program.h"
#include "support/editor.h"
#include "vistrel/proc/kernels/pixels.h"

using namespace quillon;

namespace {

constexpr TColor kRed = TColor(0x0000FF), kGreen = TColor(0x00FF00), kBlue = TColor(0xFF0000),
                 kWhite = TColor(0xFFFFFF), kBlack = TColor(0);

TColor Px(TBitmap* b, int x, int y) {
  const uint8_t* p = b->ScanLine(y) + 3 * x;
  return RGB(p[2], p[1], p[0]);
}

bool WhiteBit(TBitmap* b, int x, int y) { return (b->ScanLine(y)[x >> 3] & (0x80 >> (x & 7))) != 0; }

bool SamePixels(TBitmap* a, TBitmap* b) {
  if (a->Width() != b->Width() || a->Height() != b->Height()) return false;
  for (int y = 0; y < a->Height(); ++y)
    for (int x = 0; x < a->Width(); ++x)
      if (Px(a, x, y) != Px(b, x, y)) return false;
  return true;
}

class DialogsTest : public vltest::EditorTest {
 protected:
  // The dialog shown next: fill runs while it is up (its activation done), then it closes
  // with the result.
  template <class T>
  void Answer(std::function<void(T*)> fill, int result = mrOk) {
    answers.push_back([fill, result](TModalRequest& r) {
      EXPECT_EQ(r.Kind, mkForm);
      auto* f = dynamic_cast<T*>(r.Form);
      EXPECT_NE(f, nullptr) << r.Caption;
      if (f) fill(f);
      return result;
    });
  }

  TMDIChild* OpenQuad() { return Open(std::string(VL_TESTDATA) + "/quillon/quad.bmp"); }
};

}  // namespace

// quad.bmp: 40 x 30, red top left, green top right, blue bottom left, white bottom right,
// a black pixel at (0, 0).
TEST_F(DialogsTest, RotatePreviewTurnsClockwiseAndOkTurnsThePictureAlike) {
  TMDIChild* c = OpenQuad();
  ASSERT_NE(c, nullptr);
  Answer<TfRotate>([](TfRotate* r) {
    TBitmap* p = r->VistrelView1->Bitmap();
    const int w = p->Width(), h = p->Height();
    EXPECT_EQ(w, r->VistrelView1->Width());
    EXPECT_EQ(h, w * 30 / 40);
    // The angle has the keyboard as the dialog opens, its text selected: typing replaces it.
    QTest::keyClicks(r->Widget()->focusWidget(), "45");
    EXPECT_EQ(r->Edit1->Text(), "45");
    // "90": a quarter clockwise. Red moves to the top right, blue to the top left.
    r->Button5->Click();
    EXPECT_EQ(r->Edit1->Text(), "90");
    EXPECT_EQ(r->UpDown1->Position(), 90);
    ASSERT_EQ(p->Width(), h);
    ASSERT_EQ(p->Height(), w);
    EXPECT_EQ(Px(p, h * 3 / 4, w / 4), kRed);
    EXPECT_EQ(Px(p, h / 4, w / 4), kBlue);
    EXPECT_EQ(Px(p, h * 3 / 4, w * 3 / 4), kGreen);
    EXPECT_EQ(Px(p, h / 4, w * 3 / 4), kWhite);
    // Each try starts from the unrotated copy: twice at 30 degrees is the same picture.
    r->Edit1->SetText("30");
    r->Button3Click(r);
    TBitmap once;
    once.Assign(p);
    r->Button3Click(r);
    EXPECT_TRUE(SamePixels(&once, p));
    // Typed angles are held within the up-down's range, the edit showing what is used.
    r->Edit1->SetText("-400");
    EXPECT_EQ(r->Edit1->Text(), "-359");
    EXPECT_EQ(r->UpDown1->Position(), -359);
    r->Edit1->SetText("x");
    EXPECT_EQ(r->UpDown1->Position(), 0);  // no number: 0, as "Rotate now !" reads it
    r->Edit1->SetText("12345678901234567890");
    EXPECT_EQ(r->Edit1->Text(), "359");
    r->Edit1->SetText("90");
  });
  main->Rotate1Click(nullptr);
  TBitmap* b = c->VistrelVect1->Bitmap();
  ASSERT_EQ(b->Width(), 30);
  ASSERT_EQ(b->Height(), 40);
  EXPECT_EQ(Px(b, 29, 0), kBlack);
  EXPECT_EQ(Px(b, 20, 5), kRed);
  EXPECT_EQ(Px(b, 5, 5), kBlue);

  // A long thin picture gets a preview no larger than the preview's side.
  c->VistrelProc1->ResizeCanvas(2, 3000);
  Answer<TfRotate>(
      [](TfRotate* r) {
        EXPECT_EQ(r->VistrelView1->Bitmap()->Height(), r->VistrelView1->Width());
        EXPECT_EQ(r->VistrelView1->Bitmap()->Width(), 1);
      },
      mrCancel);
  main->Rotate1Click(nullptr);
  EXPECT_EQ(b->Height(), 3000);
}

TEST_F(DialogsTest, ResizeAspectWithoutAStartingSize) {
  TfResize* r = main->fResize;
  r->StartWidth = 0;
  r->StartHeight = 100;
  r->FormActivate(r);
  r->Edit1->SetText("50");  // no width to keep a proportion to
  EXPECT_EQ(r->Edit2->Text(), "100");
  r->Edit2->SetText("10");
  EXPECT_EQ(r->Edit1->Text(), "0");
}

TEST_F(DialogsTest, MergeTakesTheChosenDocumentAtTheChosenShare) {
  main->FileNewItemClick(nullptr);  // a white picture
  TMDIChild* c = OpenQuad();
  ASSERT_NE(c, nullptr);
  int white = -1;
  Answer<TfMergeDialog>([&](TfMergeDialog* m) {
    EXPECT_EQ(m->Caption(), "Merge...");
    ASSERT_EQ(m->ListBox1->Items()->Count(), 2);
    for (int i = 0; i < 2; ++i) {
      const std::string name = m->ListBox1->Items()->Strings(i);
      EXPECT_EQ(name, ExtractFileName(main->MDIChildren(i)->Caption()));
      if (name == "Velmora-New1.jpg") white = i;
    }
    EXPECT_EQ(m->GroupBox2->Caption(), " Merge 50% ");
    m->TrackBar1->Slider()->setValue(0);  // the thumb at the top
    EXPECT_EQ(m->GroupBox2->Caption(), " Merge 100%");
    m->TrackBar1->Slider()->setValue(75);
    EXPECT_EQ(m->GroupBox2->Caption(), " Merge 25%");
    m->ListBox1->SetItemIndex(white);
  });
  main->Merge1Click(nullptr);
  ASSERT_GE(white, 0);
  TBitmap* b = c->VistrelVect1->Bitmap();
  // The picture keeps 25%: 255 x 25 / 100 + 255 x 75 / 100 and 0 + 191.25.
  EXPECT_EQ(Px(b, 5, 5), RGB(255, 191, 191));
  EXPECT_EQ(Px(b, 0, 0), RGB(191, 191, 191));
  EXPECT_EQ(main->ProgressBar1->Position(), 0);
  // Without a chosen document nothing is merged, and the user is told.
  Answer<TfMergeDialog>([](TfMergeDialog* m) { m->ListBox1->SetItemIndex(-1); });
  std::string text;
  AnswerMessage(mrOk, &text);
  main->Merge1Click(nullptr);
  EXPECT_EQ(Px(b, 5, 5), RGB(255, 191, 191));
  EXPECT_EQ(text, "No source image was chosen, so nothing was merged.");
}

TEST_F(DialogsTest, BlackAndWhiteByThresholdOrderedOrAuto) {
  TMDIChild* c = OpenQuad();
  ASSERT_NE(c, nullptr);
  TBitmap* b = c->VistrelVect1->Bitmap();
  // A drawn green box, selected, goes into the picture before it turns black and white.
  vltest::DrawSelectedBox(c->VistrelVect1, 1, 1, 3, 3, kGreen);
  // A typed threshold of 100: red and blue fall below it, green and white stay white.
  Answer<TfConvBW>([](TfConvBW* d) {
    EXPECT_EQ(d->RadioGroup1->ItemIndex(), 0);
    EXPECT_TRUE(d->SpeedButton1->Down());
    EXPECT_FALSE(d->Edit1->Enabled());
    // Tab reaches "Auto" and Enter presses it, each time.
    d->RadioGroup1->SetFocus();
    for (int i = 0; i < 6 && d->Widget()->focusWidget() != d->SpeedButton1->Widget(); ++i)
      QTest::keyClick(d->Widget()->focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(d->Widget()->focusWidget(), d->SpeedButton1->Widget());
    QTest::keyClick(d->SpeedButton1->Widget(), Qt::Key_Return);
    EXPECT_TRUE(d->Edit1->Enabled());
    QTest::keyClick(d->SpeedButton1->Widget(), Qt::Key_Return);
    EXPECT_TRUE(d->SpeedButton1->Down());
    d->SpeedButton1->Click();  // "Auto" up: the threshold is typed
    EXPECT_TRUE(d->Edit1->Enabled());
    EXPECT_TRUE(d->Label1->Enabled());
    d->Edit1->SetText("100");
  });
  main->ConverttoBW1Click(nullptr);
  ASSERT_EQ(b->PixelFormat(), pf1bit);
  EXPECT_TRUE(WhiteBit(b, 1, 1));
  EXPECT_FALSE(WhiteBit(b, 5, 5));
  EXPECT_TRUE(WhiteBit(b, 30, 5));
  EXPECT_FALSE(WhiteBit(b, 5, 20));
  EXPECT_TRUE(WhiteBit(b, 30, 20));
  main->Undo1Click(nullptr);
  ASSERT_EQ(b->PixelFormat(), pf24bit);

  // The choices stay: an empty threshold is 0, so everything is white.
  Answer<TfConvBW>([](TfConvBW* d) {
    EXPECT_FALSE(d->SpeedButton1->Down());
    EXPECT_EQ(d->Edit1->Text(), "100");
    d->Edit1->SetText("");
  });
  main->ConverttoBW1Click(nullptr);
  ASSERT_EQ(b->PixelFormat(), pf1bit);
  EXPECT_TRUE(WhiteBit(b, 0, 0));
  EXPECT_TRUE(WhiteBit(b, 5, 5));
  main->Undo1Click(nullptr);

  // "Ordered" turns the threshold group off; Cancel leaves the picture alone.
  Answer<TfConvBW>(
      [](TfConvBW* d) {
        d->RadioGroup1->SetItemIndex(1);
        EXPECT_FALSE(d->GroupBox1->Enabled());
      },
      mrCancel);
  main->ConverttoBW1Click(nullptr);
  EXPECT_EQ(b->PixelFormat(), pf24bit);
  Answer<TfConvBW>([](TfConvBW* d) { EXPECT_EQ(d->RadioGroup1->ItemIndex(), 1); });
  main->ConverttoBW1Click(nullptr);
  ASSERT_EQ(b->PixelFormat(), pf1bit);
  // Ordered dithering of full red leaves a pattern, not one colour.
  int whites = 0;
  for (int y = 0; y < 8; ++y)
    for (int x = 4; x < 12; ++x) whites += WhiteBit(b, x, y);
  EXPECT_GT(whites, 0);
  EXPECT_LT(whites, 64);

  // Back to true colour as it shows; a second time only says so.
  main->ConverttoTruecolor1Click(nullptr);
  ASSERT_EQ(b->PixelFormat(), pf24bit);
  EXPECT_EQ(Px(b, 30, 20), kWhite);
  std::string text;
  AnswerMessage(mrOk, &text);
  main->ConverttoTruecolor1Click(nullptr);
  EXPECT_EQ(text, "The picture is already true colour.");
}

TEST_F(DialogsTest, HistogramOfTheActiveDocumentAndZoomProperties) {
  // Without a document the zoom properties show nothing.
  main->Zoomproperties1Click(nullptr);

  TMDIChild* c = OpenQuad();
  ASSERT_NE(c, nullptr);
  Answer<TfHistogram>([&](TfHistogram* h) {
    EXPECT_EQ(h->VistrelProc1->AttachedVistrel(), c->VistrelVect1);
    EXPECT_EQ(h->HistogramBox1->HistogramKind(), hkGray);
    // Gray bars in black over the silver ground.
    TBitmap* pic = h->HistogramBox1->Picture();
    int black = 0;
    for (int y = 0; y < pic->Height(); ++y)
      for (int x = 0; x < pic->Width(); ++x) black += Px(pic, x, y) == kBlack;
    EXPECT_GT(black, 50);
    h->ComboBox1->SetItemIndex(1);
    h->ComboBox1Change(h);
    h->ComboBox2->SetItemIndex(1);
    h->ComboBox2Change(h);
  });
  main->Histogram1Click(nullptr);
  EXPECT_EQ(main->fHistogram->HistogramBox1->HistogramKind(), hkRed);
  EXPECT_EQ(main->fHistogram->HistogramBox1->HistogramStyle(), hsLines);
  Answer<TfHistogram>([](TfHistogram* h) { EXPECT_EQ(h->ComboBox1->ItemIndex(), 1); });
  main->Histogram1Click(nullptr);

  TVistrelVect* v = c->VistrelVect1;
  v->SetZoomFilter(rfBell);
  Answer<TfZProp>([](TfZProp* z) {
    EXPECT_EQ(z->ComboBox1->ItemIndex(), int(rfBell));
    EXPECT_FALSE(z->CheckBox1->Checked());
    z->ComboBox1->SetItemIndex(int(rfLanczos3));
    z->CheckBox1->SetChecked(true);
  });
  main->Zoomproperties1Click(nullptr);
  EXPECT_EQ(v->ZoomFilter(), rfLanczos3);
  EXPECT_TRUE(v->DelayZoomFilter());
  Answer<TfZProp>(
      [](TfZProp* z) {
        EXPECT_TRUE(z->CheckBox1->Checked());  // kept from the last showing
        z->ComboBox1->SetItemIndex(0);
      },
      mrCancel);
  main->Zoomproperties1Click(nullptr);
  EXPECT_EQ(v->ZoomFilter(), rfLanczos3);

  // The document closes: the histogram no longer reads its picture.
  c->Free();
  QCoreApplication::processEvents();
  EXPECT_EQ(main->fHistogram->VistrelProc1->AttachedVistrel(), nullptr);
  main->fHistogram->HistogramBox1->Update();
}

TEST_F(DialogsTest, ColourSelectKeepsItsEditsInStep) {
  TfColorSel* s = main->fColorSel;
  EXPECT_EQ(s->Caption(), "Color select");
  EXPECT_EQ(s->HelpContext(), 540);
  s->EditRed->SetText("255");
  EXPECT_EQ(s->EditHue->Text(), "0");
  EXPECT_EQ(s->EditSat->Text(), "99");
  EXPECT_EQ(s->EditVal->Text(), "99");
  EXPECT_EQ(s->HSVBox1->Color(), kRed);
  // Past the range: held at its end.
  s->EditGreen->SetText("300");
  EXPECT_EQ(s->EditGreen->Text(), "255");
  EXPECT_EQ(s->UpDownGreen->Position(), 255);
  EXPECT_EQ(s->HSVBox1->Green(), 255);
  s->EditSat->SetText("150");
  EXPECT_EQ(s->EditSat->Text(), "99");
  s->EditHue->SetText("240");
  TRGB t;
  VLHSVToRGB(t, 240, 99, 99);
  EXPECT_EQ(s->EditRed->Text(), std::to_string(t.R));
  EXPECT_EQ(s->EditGreen->Text(), std::to_string(t.G));
  EXPECT_EQ(s->EditBlue->Text(), std::to_string(t.B));
  // Half typed: nothing changes until there is a number.
  s->EditBlue->SetText("-");
  EXPECT_EQ(s->HSVBox1->Blue(), t.B);
  // The up-down's arrows step the edit.
  s->EditVal->SetText("50");
  s->UpDownVal->ButtonClick(btNext);
  EXPECT_EQ(s->EditVal->Text(), "51");
  EXPECT_EQ(s->HSVBox1->Val(), 51);
  // A pick in the box: its bottom-left corner is black.
  QWidget* w = s->HSVBox1->ClientWidget();
  const QPointF at(0, s->HSVBox1->Height() - 1);
  for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
    QMouseEvent e(type, at, w->mapToGlobal(at), Qt::LeftButton,
                  type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &e);
  }
  EXPECT_EQ(s->EditSat->Text(), "0");
  EXPECT_EQ(s->EditVal->Text(), "0");
  EXPECT_EQ(s->EditRed->Text(), "0");
  EXPECT_EQ(s->EditBlue->Text(), "0");
}

TEST_F(DialogsTest, HiddenTextFormWritesAndReadsTheActivePicture) {
  TMDIChild* c = OpenQuad();
  ASSERT_NE(c, nullptr);
  TForm1* f = main->Form1;
  ASSERT_NE(f, nullptr);
  f->VistrelProc1->SetAttachedVistrel(c->VistrelVect1);
  f->FormActivate(nullptr);
  // 40 x 30: (40 x 3 - 2) x 30 div 8 - 8 bytes.
  EXPECT_EQ(f->Label2->Caption(), "Hidden text space: 434");
  f->Memo1->SetText("meet at noon");
  f->Button2Click(nullptr);
  f->Memo1->SetText("");
  f->Button1Click(nullptr);
  EXPECT_EQ(f->Memo1->Text(), "meet at noon\r\n");  // a memo's text ends its lines with CR LF
  // Too long: refused with a word, the picture keeps the old text.
  f->Memo1->SetText(std::string(435, 'x'));
  std::string said;
  answers.push_back([&said](TModalRequest& r) {
    said = r.Text;
    return int(mrOk);
  });
  f->Button2Click(nullptr);
  EXPECT_NE(said.find("longer than"), std::string::npos);
  f->Button1Click(nullptr);
  EXPECT_EQ(f->Memo1->Text(), "meet at noon\r\n");  // a memo's text ends its lines with CR LF
}

// The note shows whole in the hidden text dialog, and the dialog follows the screen's size.
TEST_F(DialogsTest, HiddenTextNoteShowsWhole) {
  TForm1* f = main->Form1;
  ASSERT_NE(f, nullptr);
  TCanvas* cv = f->Label1->Canvas();
  cv->SetFont(f->Label1->Font());
  const TSize text = cv->TextExtent(f->Label1->Caption());
  EXPECT_GE(f->Label1->Width(), text.cx);
  EXPECT_LE(f->Label1->Left() + f->Label1->Width(), f->ClientWidth());
  EXPECT_EQ(f->Memo1->Left() + f->Memo1->Width(), f->ClientWidth() - f->Memo1->Left());
  bool scaled = false;
  for (int i = 0; i < f->ComponentCount(); ++i) scaled = scaled || dynamic_cast<TCustomScaler*>(f->Components(i));
  EXPECT_TRUE(scaled);
}
