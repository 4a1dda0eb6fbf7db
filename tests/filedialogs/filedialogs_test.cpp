// The open and save dialogs, driven headless through the modal service: the answerer plays the
// user inside the dialog (selects, changes type, presses Advanced) and returns OK or Cancel.
#include <gtest/gtest.h>

#include <QDialog>
#include <QSlider>
#include <QTest>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/gui/controls.h"
#include "vistrel/codecs/ioparams.h"
#include "vistrel/io/filedialogs.h"
#include "vistrel/io/iopreviews.h"
#include "vistrel/io/vistrelio.h"
#include "vistrel/io/vistrelmview.h"
#include "vistrel/view/vistrelview.h"
#include "support/memcap.h"

namespace fs = std::filesystem;
using vistrel::TOpenVistrelDialog;
using vistrel::TSaveVistrelDialog;

namespace {

class FileDialogsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = std::string(VL_BUILD_DIR) + "/filedialogs_" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override {
    SetModalAnswer(nullptr);
    fs::remove_all(dir);
  }
  void Run(const std::string& cmd) { ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd; }
  std::string dir;
};

TEST_F(FileDialogsTest, FilterOfTheRegistry) {
  EXPECT_EQ(TOpenVistrelDialog::BuildFilter(),
            "All graphics|*.tif;*.tiff;*.gif;*.jpg;*.jpeg;*.jpe;*.pcx;*.bmp;*.ico;*.cur;*.png;*.wmf;*.emf;*.avi|"
            "TIFF Bitmap (TIF;TIFF)|*.tif;*.tiff|CompuServe Bitmap (GIF)|*.gif|JPEG Bitmap (JPG;JPEG;JPE)|"
            "*.jpg;*.jpeg;*.jpe|PaintBrush (PCX)|*.pcx|Windows Bitmap (BMP)|*.bmp|Windows Icon (ICO)|*.ico|"
            "Windows Cursor (CUR)|*.cur|Portable Network Graphics (PNG)|*.png|Windows Metafile (WMF)|*.wmf|"
            "Enhanced Windows Metafile (EMF)|*.emf|Video for Windows (AVI)|*.avi");
}

// Selection, preview lines, multi-image playing, missing files, and a refused close.
TEST_F(FileDialogsTest, OpenDialogSelectsPreviewsAndAsksBeforeClosing) {
  // 640 x 480 24-bit JPEG, padded after its end to exactly 10,000 bytes.
  const std::string jpg = dir + "/photo.jpg", tif = dir + "/two.tif", tiff = dir + "/two.tiff";
  Run("convert -size 640x480 gradient:red-blue -quality 20 " + jpg);
  ASSERT_LT(fs::file_size(jpg), 10000u);
  fs::resize_file(jpg, 10000);
  Run("convert -size 40x30 xc:red -size 40x30 xc:green -depth 8 -compress none " + tif);
  fs::copy_file(tif, tiff);

  {
    TBitmap big;
    big.SetPixelFormat(pf24bit);
    big.SetSize(3000, 2000);
    TVistrelIO writer(nullptr);
    writer.SetAttachedBitmap(&big);
    writer.SaveToFile(dir + "/big.bmp");
  }

  TOpenVistrelDialog dlg(nullptr);
  dlg.Options |= ofAllowMultiSelect;
  dlg.SetInitialDir(dir + "/");
  EXPECT_EQ(dlg.InitialDir(), dir);
  int shown = 0, selections = 0, types = 0, asked = 0;
  const int64_t before = vltest::HeldKB();
  int64_t previewed = 0;
  dlg.OnSelectionChange = [&](TObject*) { ++selections; };
  dlg.OnTypeChange = [&](TObject*) { ++types; };
  dlg.OnCanClose = [&](TObject*, bool& can) { can = ++asked > 1; };
  SetModalAnswer([&](TModalRequest& r) {
    EXPECT_EQ(r.Kind, mkOpenFile);
    ++shown;
    if (shown > 1) return int(mrOk);  // the second time up: OK again
    EXPECT_EQ(dlg.FilterIndex(), 1);
    dlg.ChangeFilterIndex(4);
    EXPECT_EQ(dlg.FilterIndex(), 4);
    EXPECT_EQ(types, 1);

    dlg.SelectFiles(dir, {"photo.jpg"});
    EXPECT_EQ(dlg.FileName(), jpg);
    EXPECT_TRUE(dlg.View()->Visible());
    EXPECT_FALSE(dlg.MView()->Visible());
    EXPECT_EQ(dlg.View()->Bitmap()->Width(), 640);
    EXPECT_EQ(dlg.PicLabel1->Caption(), "640 x 480 pixel");
    EXPECT_EQ(dlg.PicLabel2->Caption(), "16777216 Colors (24 bit)");
    EXPECT_EQ(dlg.InfoLabel2->Caption(), "File: 9 Kb   Mem: 900 Kb");
    EXPECT_FALSE(dlg.InfoLabel1->Caption().empty());
    EXPECT_TRUE(dlg.PreviewButton->Enabled());

    // Escape on the panel's button or picture (clicked, or back from the full-size preview)
    // goes on to the window that holds the panel.
    for (QWidget* focus : {dlg.PreviewButton->Widget(), dlg.View()->ClientWidget()}) {
      QDialog host;
      QWidget* panel = dlg.PicturePanel->Widget();
      panel->setParent(&host);
      panel->show();
      host.show();
      QTest::keyClick(focus, Qt::Key_Escape);
      EXPECT_FALSE(host.isVisible());
      panel->hide();
      panel->setParent(nullptr);
    }

    dlg.SelectFiles(dir, {"big.bmp"});
    previewed = vltest::HeldKB();

    dlg.SelectFiles(dir, {"two.tif"});
    EXPECT_TRUE(dlg.MView()->Visible());
    EXPECT_FALSE(dlg.View()->Visible());
    EXPECT_EQ(dlg.FrameCount(), 2);
    EXPECT_TRUE(dlg.PlayButton->Enabled());
    EXPECT_EQ(dlg.PicLabel1->Caption(), "40 x 30 pixel , 2 frames");
    dlg.PlayButton->Click();
    EXPECT_TRUE(dlg.PlayButton->Down());
    EXPECT_TRUE(dlg.MView()->Playing());
    EXPECT_FALSE(dlg.PreviewButton->Enabled());

    // Only ".tif" is looked into for pages.
    dlg.SelectFiles(dir, {"two.tiff"});
    EXPECT_TRUE(dlg.View()->Visible());
    EXPECT_EQ(dlg.FrameCount(), 1);

    dlg.SelectFiles(dir, {"missing.jpg"});
    EXPECT_EQ(dlg.PicLabel1->Caption(), "");
    EXPECT_EQ(dlg.InfoLabel2->Caption(), "");
    EXPECT_FALSE(dlg.PreviewButton->Enabled());

    dlg.SelectFiles(dir, {"photo.jpg", "two.tif", tiff});
    return int(mrOk);
  });
  ASSERT_TRUE(dlg.Execute());
  EXPECT_EQ(shown, 2);  // the first OK was refused
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(selections, 6);
  ASSERT_EQ(dlg.Files.size(), 3u);
  EXPECT_EQ(dlg.Files[0], jpg);
  EXPECT_EQ(dlg.Files[1], tif);
  EXPECT_EQ(dlg.Files[2], tiff);
  EXPECT_EQ(dlg.FileName(), jpg);
  // What the previews took is given back when the dialog closes.
  EXPECT_GT(previewed - before, 3000 * 2000 * 3 / 1024);
  EXPECT_LT(vltest::HeldKB() - before, 4 * 1024);
  EXPECT_EQ(dlg.FilterIndex(), 4);
  EXPECT_FALSE(dlg.MView()->Playing());
}

TEST_F(FileDialogsTest, SaveDialogFollowsTheTypeAndCancelUndoesAdvanced) {
  TBitmap bmp;
  bmp.SetPixelFormat(pf24bit);
  bmp.SetSize(32, 24);
  TVistrelIO* io = new TVistrelIO(nullptr);
  io->SetAttachedBitmap(&bmp);
  io->Params()->JPEGQuality = 75;
  TSaveVistrelDialog dlg(nullptr);
  dlg.SetAutoSetFilter(false);
  dlg.SetAttachedVistrelIO(nullptr);  // skipped
  dlg.SetAttachedVistrelIO(io);
  EXPECT_EQ(dlg.AttachedVistrelIO(), io);

  int previews = 0;
  SetModalAnswer([&](TModalRequest& r) {
    if (auto* p = dynamic_cast<TfIOPreviews*>(r.Form)) {
      ++previews;
      EXPECT_EQ(p->PageControl1->ActivePage(), p->TabSheet1);
      p->TrackBar13->Slider()->setValue(30);
      p->Button1->Click();
      return 0;
    }
    dlg.SelectFiles(dir, {"picture.bmp"});
    dlg.ChangeFilterIndex(5);  // PNG
    EXPECT_EQ(dlg.TypedName(), "picture.png");
    EXPECT_EQ(dlg.FileName(), dir + "/picture.png");
    dlg.SelectFiles(dir, {"my.holiday.bmp"});
    dlg.ChangeFilterIndex(6);  // BMP
    dlg.ChangeFilterIndex(5);
    EXPECT_EQ(dlg.TypedName(), "my.holiday.png");
    dlg.SelectFiles(dir, {"shot.jpg"});
    dlg.AdvancedClick(nullptr);
    EXPECT_EQ(io->Params()->JPEGQuality, 30);
    return int(mrCancel);
  });
  EXPECT_FALSE(dlg.Execute());
  EXPECT_EQ(previews, 1);
  EXPECT_EQ(io->Params()->JPEGQuality, 75);

  // A name typed without extension takes the chosen type's.
  SetModalAnswer([&](TModalRequest&) {
    dlg.ChangeFilterIndex(3);
    dlg.SelectFiles(dir, {"plain"});
    return int(mrOk);
  });
  EXPECT_TRUE(dlg.Execute());
  EXPECT_EQ(dlg.FileName(), dir + "/plain.tif");

  // A destroyed component is let go.
  delete io;
  EXPECT_EQ(dlg.AttachedVistrelIO(), nullptr);
}

// Advanced opens the page of the type that a name without extension is saved as, and is off
// for a name whose type has no settings.
TEST_F(FileDialogsTest, AdvancedFollowsTheTypeTheNameGets) {
  TBitmap bmp;
  bmp.SetPixelFormat(pf24bit);
  bmp.SetSize(8, 8);
  TVistrelIO io(nullptr);
  io.SetAttachedBitmap(&bmp);
  TSaveVistrelDialog dlg(nullptr);
  dlg.SetAutoSetFilter(false);
  dlg.SetAttachedVistrelIO(&io);
  int page = -1;
  SetModalAnswer([&](TModalRequest& r) {
    if (auto* p = dynamic_cast<TfIOPreviews*>(r.Form)) {
      for (int i = 0; i < 6; ++i)
        if (p->PageControl1->Pages(i) == p->PageControl1->ActivePage()) page = i;
      return int(mrCancel);
    }
    dlg.ChangeFilterIndex(5);  // PNG
    dlg.SelectFiles(dir, {"holiday"});
    EXPECT_TRUE(dlg.AdvancedButton->Enabled());
    dlg.AdvancedButton->Click();
    dlg.SelectFiles(dir, {"notes.txt"});
    EXPECT_FALSE(dlg.AdvancedButton->Enabled());
    return int(mrCancel);
  });
  EXPECT_FALSE(dlg.Execute());
  EXPECT_EQ(page, 5);
}

// Save As started on an existing picture shows it and its lines, as Open does for a selection.
TEST_F(FileDialogsTest, SaveDialogPreviewsTheFileItStartsOn) {
  const std::string png = dir + "/shown.png";
  Run("convert -size 64x48 xc:red " + png);
  TSaveVistrelDialog dlg(nullptr);
  dlg.SetAutoSetFilter(false);
  dlg.SetFileName(png);
  std::string size, file;
  SetModalAnswer([&](TModalRequest&) {
    size = dlg.PicLabel1->Caption();
    file = dlg.InfoLabel2->Caption();
    return int(mrCancel);
  });
  EXPECT_FALSE(dlg.Execute());
  EXPECT_EQ(size, "64 x 48 pixel");
  EXPECT_EQ(file.rfind("File: ", 0), 0u) << file;
}

// The file the dialog starts on is previewed once, as no choice of the user's: nobody is told
// of a selection, and a refused close brings the panel back as the user left it.
TEST_F(FileDialogsTest, StartingFileIsPreviewedOnceAndNotReported) {
  const std::string png = dir + "/start.png";
  Run("convert -size 64x48 xc:red " + png);
  TOpenVistrelDialog dlg(nullptr);
  dlg.SetFileName(png);
  int reported = 0, shown = 0, asked = 0;
  dlg.OnSelectionChange = [&](TObject*) { ++reported; };
  dlg.OnCanClose = [&](TObject*, bool& can) { can = ++asked > 1; };
  SetModalAnswer([&](TModalRequest&) {
    if (++shown == 1) {
      EXPECT_EQ(dlg.PicLabel1->Caption(), "64 x 48 pixel");
      for (TLabel* l : {dlg.PicLabel2, dlg.PicLabel3, dlg.InfoLabel1, dlg.InfoLabel2}) EXPECT_NE(l->Caption(), "");
      dlg.PicLabel1->SetCaption("as left");
    } else {
      EXPECT_EQ(dlg.PicLabel1->Caption(), "as left");
    }
    return int(mrOk);
  });
  ASSERT_TRUE(dlg.Execute());
  EXPECT_EQ(shown, 2);
  EXPECT_EQ(reported, 0);
  EXPECT_EQ(dlg.FileName(), png);
}

// A file that isn't a picture, and a two-frame GIF that can't be decoded (no LZW coder is
// installed), leave no line of the picture before them and say they can't be read.
TEST_F(FileDialogsTest, OpenDialogSaysWhichFilesItCantRead) {
  TBitmap red;
  red.SetPixelFormat(pf24bit);
  red.SetSize(40, 30);
  red.Canvas()->Brush()->SetColor(clRed);
  red.Canvas()->FillRect(Rect(0, 0, 40, 30));
  TVistrelIO writer(nullptr);
  writer.SetAttachedBitmap(&red);
  writer.SaveToFile(dir + "/red.bmp");
  std::ofstream(dir + "/notes.jpg") << "Shopping list: milk, bread.\n";
  const unsigned char frame[] = {0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x44, 0x01, 0};
  std::ofstream gif(dir + "/two.gif", std::ios::binary);
  gif.write("GIF89a\x01\x00\x01\x00\x80\x00\x00\xFF\xFF\xFF\x00\x00\x00", 19);
  for (int i = 0; i < 2; ++i) gif.write(reinterpret_cast<const char*>(frame), sizeof frame);
  gif.put(0x3B);
  gif.close();

  TOpenVistrelDialog dlg(nullptr);
  auto lines = [&] {
    std::string all;
    for (TLabel* l : {dlg.PicLabel1, dlg.PicLabel2, dlg.PicLabel3, dlg.InfoLabel1, dlg.InfoLabel2})
      all += l->Caption() + "|";
    return all;
  };
  SetModalAnswer([&](TModalRequest&) {
    for (const char* bad : {"notes.jpg", "two.gif"}) {
      dlg.SelectFiles(dir, {"red.bmp"});
      EXPECT_EQ(dlg.PicLabel1->Caption(), "40 x 30 pixel");
      EXPECT_FALSE(dlg.ReadErrorLabel->Visible());
      dlg.SelectFiles(dir, {bad});
      EXPECT_EQ(lines(), "|||||") << bad;
      EXPECT_TRUE(dlg.ReadErrorLabel->Visible()) << bad;
      EXPECT_EQ(dlg.ReadErrorLabel->Caption(), "This file can't be read.");
      EXPECT_FALSE(dlg.PreviewButton->Enabled());
    }
    return int(mrCancel);
  });
  EXPECT_FALSE(dlg.Execute());
}

// The preview sits in the middle of its view; the captions, the colours line and the preview
// button's tool tip speak the dialog's language; the buttons show pictures.
TEST_F(FileDialogsTest, PanelIsCentredAndSpeaksTheDialogsLanguage) {
  TBitmap red;
  red.SetPixelFormat(pf24bit);
  red.SetSize(40, 20);
  red.Canvas()->Brush()->SetColor(clRed);
  red.Canvas()->FillRect(Rect(0, 0, 40, 20));
  TVistrelIO writer(nullptr);
  writer.SetAttachedBitmap(&red);
  writer.SaveToFile(dir + "/red.bmp");

  TOpenVistrelDialog open(nullptr);
  open.SetMsgLanguage(msGerman);
  SetModalAnswer([&](TModalRequest&) {
    EXPECT_EQ(open.PreviewCheck->Caption(), "Vorschau");
    EXPECT_EQ(open.PreviewButton->Hint(), "Vorschau");
    open.SelectFiles(dir, {"red.bmp"});
    EXPECT_EQ(open.PicLabel2->Caption(), "16777216 Farben (24 bit)");
    // Wider than high: fitted to the width, with white above and below.
    TVistrelView* v = open.View();
    v->Repaint();
    TBitmap* s = v->Surface();
    const int x = s->Width() / 2, mid = s->Height() / 2;
    EXPECT_EQ(s->Canvas()->Pixels(x, mid), clRed);
    EXPECT_EQ(s->Canvas()->Pixels(x, 2), clWhite);
    EXPECT_EQ(s->Canvas()->Pixels(x, s->Height() - 3), clWhite);
    return int(mrCancel);
  });
  EXPECT_FALSE(open.Execute());
  for (TSpeedButton* b : {open.PreviewButton, open.PlayButton}) {
    EXPECT_EQ(b->NumGlyphs(), 4);
    EXPECT_GT(b->Glyph()->Width(), 0);
    EXPECT_TRUE(b->ShowHint());
    EXPECT_FALSE(b->Hint().empty());
  }

  TSaveVistrelDialog save(nullptr);
  save.SetMsgLanguage(msGerman);
  SetModalAnswer([&](TModalRequest&) {
    EXPECT_EQ(save.PreviewCheck->Caption(), "Vorschau");
    EXPECT_EQ(save.AdvancedButton->Caption(), "Erweitert...");
    return int(mrCancel);
  });
  EXPECT_FALSE(save.Execute());
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The editor opens and saves through the dialogs.

#include <QCoreApplication>

#include "quillon/mainform.h"
#include "quillon/mdichild.h"
#include "quillon/program.h"

namespace {

TEST_F(FileDialogsTest, EditorOpensAndSavesJpegWithTheQualityChosenInAdvanced) {
  const std::string src = dir + "/in.png", out = dir + "/out.jpg";
  Run("convert -size 64x48 gradient:yellow-navy " + src);
  quillon::TMainForm* main = quillon::StartQuillon();
  main->Show();
  QCoreApplication::processEvents();
  int opens = 0, saves = 0, previews = 0;
  SetModalAnswer([&](TModalRequest& r) {
    if (auto* p = dynamic_cast<TfIOPreviews*>(r.Form)) {
      ++previews;
      p->TrackBar13->Slider()->setValue(30);
      p->Button1->Click();
      return 0;
    }
    if (r.Kind == mkOpenFile) {
      ++opens;
      main->OpenVistrelDialog1->SelectFiles(dir, {"in.png"});
      EXPECT_EQ(main->OpenVistrelDialog1->PicLabel1->Caption(), "64 x 48 pixel");
      return int(mrOk);
    }
    if (r.Kind == mkSaveFile) {
      ++saves;
      main->SaveVistrelDialog1->SelectFiles(dir, {"out.png"});
      main->SaveVistrelDialog1->ChangeFilterIndex(3);  // PNG
      main->SaveVistrelDialog1->ChangeFilterIndex(1);  // JPEG
      EXPECT_EQ(main->SaveVistrelDialog1->TypedName(), "out.jpg");
      main->SaveVistrelDialog1->AdvancedClick(nullptr);
      return int(mrOk);
    }
    ADD_FAILURE() << "unexpected request " << r.Caption;
    return int(mrCancel);
  });
  main->FileOpenItemClick(nullptr);
  QCoreApplication::processEvents();
  ASSERT_NE(main->ActiveChild(), nullptr);
  EXPECT_EQ(main->ActiveChild()->Caption(), src);
  main->FileSaveAsItemClick(nullptr);
  EXPECT_EQ(opens, 1);
  EXPECT_EQ(saves, 1);
  EXPECT_EQ(previews, 1);
  EXPECT_EQ(main->ActiveChild()->Caption(), out);
  ASSERT_TRUE(fs::exists(out));
  TBitmap back;
  TVistrelIO io(nullptr);
  io.SetAttachedBitmap(&back);
  io.LoadFromFile(out);
  EXPECT_FALSE(io.Aborting());
  EXPECT_EQ(back.Width(), 64);
  // The quality as ImageMagick reads it from the tables.
  FILE* f = popen(("identify -format %Q " + out).c_str(), "r");
  ASSERT_NE(f, nullptr);
  char q[16] = {};
  ASSERT_NE(fgets(q, sizeof q, f), nullptr);
  pclose(f);
  EXPECT_EQ(std::string(q), "30");

  for (int i = Screen->FormCount() - 1; i >= 0; --i)
    if (auto* c = dynamic_cast<quillon::TMDIChild*>(Screen->Forms(i))) c->Free();
  Screen->OnActiveFormChange = nullptr;
  Application->OnHint = nullptr;
  TForm* rot = main->fRotate;
  TForm* rz = main->fResize;
  main->Free();
  rot->Free();
  rz->Free();
  Application->SetMainForm(nullptr);
  QCoreApplication::processEvents();
}

}  // namespace
