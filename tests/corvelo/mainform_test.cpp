// The viewer's main form on list files of its own: the settings, the albums and slide shows it
// offers, the lines an album reads, and the picture rule every form shares.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QtTest/QTest>
#include <QWidget>
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "corvelo/library/vistrel.h"
#include "components/printsize.h"
#include "corvelo/aboutform.h"
#include "corvelo/categoryform.h"
#include "corvelo/mainform.h"
#include "corvelo/photoform.h"
#include "corvelo/slideshowform.h"
#include "corvelo/program.h"
#include "corvelo/viewerunit.h"
#include "platform/core/stream.h"

namespace fs = std::filesystem;
using namespace corvelo;

namespace {

void Write(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << text;
}

// A 24-bit BMP of one colour (blue, green, red bytes).
void WriteBmp(const fs::path& file, int w, int h, uint8_t b, uint8_t g, uint8_t r) {
  const uint32_t row = uint32_t(w * 3 + 3) & ~3u, size = 54 + row * uint32_t(h);
  std::string s(size, '\0');
  auto put = [&](size_t at, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) s[at + size_t(i)] = char(v >> (8 * i));
  };
  s[0] = 'B', s[1] = 'M';
  put(2, size, 4), put(10, 54, 4), put(14, 40, 4), put(18, uint32_t(w), 4), put(22, uint32_t(h), 4);
  put(26, 1, 2), put(28, 24, 2);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) put(54 + size_t(y) * row + size_t(x) * 3, uint32_t(b | g << 8 | r << 16), 3);
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << s;
}

std::vector<std::string> Lines(TStrings* s) { return s->Items(); }

// The colours the form is designed with.
constexpr TColor kDesignedHeadline = TColor(0x5A3A1E), kDesignedPanel = TColor(0xE0E0E0);

class MainFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    oldCwd = fs::current_path();
    dir = fs::path(VL_BUILD_DIR) /
          ("corvelo_" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    SetProgramFolder(dir.string());
    // The form as designed, unscaled.
    PlatformServices().ScreenSize = [] { return TSize{800, 600}; };
  }
  void TearDown() override {
    FreeAndNil(form);
    PlatformServices().ScreenSize = nullptr;
    fs::current_path(oldCwd);
    fs::remove_all(dir);
  }
  TMainForm* Start() {
    form = new TMainForm(Application);
    return form;
  }
  TMainForm* form = nullptr;
  fs::path dir, oldCwd;
};

TEST_F(MainFormTest, ListFilesGiveTheAlbumsAndShowsAndChoosingAnAlbumReadsItsOwnList) {
  Write(dir / "Category.lst", "Family\r\n.\r\nTravel\r\n");
  Write(dir / "Slide.lst", "Summer\n.\n\nWinter");
  Write(dir / "RC1.lst", "pics\\beach.jpg\r\n\r\n.\r\nThe harbour\r\n");
  Start();
  EXPECT_EQ(fs::current_path(), dir);
  EXPECT_EQ(Lines(form->RC->Items()), (std::vector<std::string>{"Family", "Travel"}));
  EXPECT_EQ(form->RC->ItemIndex(), 0);
  // Empty lines are titles in the menus; a last line without its end still counts.
  EXPECT_EQ(Lines(form->RS->Items()), (std::vector<std::string>{"Summer", "", "Winter"}));

  form->RC->SetItemIndex(1);
  form->ShowCatClick(nullptr);
  EXPECT_EQ(CurrentListFile, (dir / "RC1.lst").string());
  EXPECT_EQ(ListKind, 3);
  EXPECT_EQ(ThumbsPending, 1);
  // An empty description becomes "-"; a dot is kept in an album's own list.
  EXPECT_EQ(Lines(form->CatList->Items()), (std::vector<std::string>{"pics\\beach.jpg", "-", ".", "The harbour"}));
  EXPECT_EQ(CatListLines(), form->CatList->Items());
  EXPECT_EQ(ListPath(form->CatList->Items()->Strings(0)), (dir / "pics/beach.jpg").string());

  // A missing album list leaves no lines behind, not those of the album before.
  form->RC->SetItemIndex(0);
  form->ShowCatClick(nullptr);
  EXPECT_EQ(CurrentListFile, (dir / "RC0.lst").string());
  EXPECT_EQ(form->CatList->Items()->Count(), 0);
}

TEST_F(MainFormTest, SettingsColourTheFormAndABadLineKeepsItsDesignedValue) {
  WriteBmp(dir / "art" / "head.bmp", 450, 225, 0, 0xC0, 0);
  // Line 2 is not a number, and the list ends after line 4.
  Write(dir / "Admin.lst", "art\\head.bmp\r\nSummer pictures\r\nteal\r\n255\r\n16777215\r\n");
  Write(dir / "Category.lst", "Family\r\n");
  Start();
  EXPECT_EQ(form->Headline->Caption(), "Summer pictures");
  EXPECT_EQ(form->Headline->Color(), kDesignedHeadline);
  EXPECT_EQ(form->Headline->Font()->Color(), clRed);
  EXPECT_EQ(form->RC->Font()->Color(), clRed);
  EXPECT_EQ(form->RS->Font()->Color(), clRed);
  EXPECT_EQ(form->Color(), clWhite);
  EXPECT_EQ(form->PanelBase1->Color(), clWhite);
  EXPECT_EQ(form->CatPanel->Color(), kDesignedPanel);
  // Start-up went on past the bad line.
  EXPECT_EQ(Lines(form->RC->Items()), (std::vector<std::string>{"Family"}));

  // The album's caption shows red.
  QImage shot = form->RC->Buttons(0)->Widget()->grab().toImage();
  int red = 0;
  for (int y = 0; y < shot.height(); ++y)
    for (int x = 0; x < shot.width(); ++x) {
      const QRgb p = shot.pixel(x, y);
      red += qRed(p) > 160 && qGreen(p) < 90 && qBlue(p) < 90;
    }
  EXPECT_GT(red, 5);

  // The 450 x 225 headline picture is shrunk into the 225 x 121 frame: 112.5 rounds to 112.
  EXPECT_EQ(form->Image1->Picture()->Width(), 450);
  EXPECT_EQ(form->Panel1->BoundsRect(), Bounds(0, 4, 225, 112));
  EXPECT_TRUE(form->Image1->Stretch());
  EXPECT_EQ(form->Image1->BoundsRect(), Bounds(0, 0, 225, 112));
}

TEST_F(MainFormTest, ProgramBlockMakesEveryFormAndTheMainFormOpensTheChosenAlbumAndShow) {
  Write(dir / "Category.lst", "Family\r\n.\r\nTravel\r\n");
  Write(dir / "Slide.lst", "Summer\r\nWinter\r\n");
  Write(dir / "RS0.lst", "pics\\boat.bmp\r\npics\\boat.bmp\r\n");
  WriteBmp(dir / "pics" / "boat.bmp", 60, 40, 0xFF, 0, 0);
  Write(dir / "RC1.lst", "pics\\boat.bmp\r\nThe boat\r\n");
  form = StartCorvelo();
  ASSERT_EQ(form, MainForm);
  EXPECT_EQ(Application->MainForm(), form);
  EXPECT_EQ(Application->HelpFile(), "Corvelo.hlp");
  EXPECT_EQ(Application->Title(), "Velmora");
  ASSERT_NE(CategoryForm, nullptr);
  ASSERT_NE(ShowCatPhotoForm, nullptr);
  ASSERT_NE(AboutBox, nullptr);
  ASSERT_NE(SlideShowForm, nullptr);
  ASSERT_NE(OKBottomDlg, nullptr);

  // A hint reaches the hint line of the main form, the album and the photo view.
  Application->SetHint("Select an Album to view");
  EXPECT_EQ(form->HelpPanel->Text(), "Select an Album to view");
  for (TPanel* line : {form->PanelHelp, CategoryForm->PanelcatHelp, ShowCatPhotoForm->PanelCatHelp})
    EXPECT_EQ(line->Caption(), "Select an Album to view");

  SetHelpService([](const THelpRequest&) { return true; });
  form->HelpMainCatClick(nullptr);
  SetHelpService(nullptr);
  EXPECT_EQ(LastHelpRequest().File, "Velmora.hlp");
  EXPECT_EQ(LastHelpRequest().Context, 10);

  // Tab reaches the five buttons, and Enter presses the focused one, again on the next Enter.
  form->Show();
  QApplication::setActiveWindow(form->Widget());
  form->RC->SetFocus();
  std::set<QWidget*> reached;
  for (int i = 0; i < 30; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    reached.insert(QApplication::focusWidget());
  }
  for (TSpeedButton* b : {form->HelpMainCat, form->Aboutbutton, form->SpeedButtonClose, form->ShowCat,
                          form->ButtonGoToSlide1})
    EXPECT_TRUE(reached.count(b->Widget())) << b->Hint();
  int abouts = 0;
  SetModalAnswer([&](TModalRequest& r) {
    abouts += r.Form == AboutBox;
    return int(mrOk);
  });
  form->Aboutbutton->Widget()->setFocus(Qt::TabFocusReason);
  for (int i = 0; i < 2; ++i) QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  SetModalAnswer(nullptr);
  EXPECT_EQ(abouts, 2);
  EXPECT_EQ(QApplication::focusWidget(), form->Aboutbutton->Widget());
  form->Hide();

  // Travel opens with its title, the frames hidden until its photos are in.
  CategoryForm->PanelBase[3]->Show();
  form->RC->SetItemIndex(1);
  int shown = 0;
  SetModalAnswer([&](TModalRequest& r) {
    EXPECT_EQ(r.Form, CategoryForm);
    if (r.Form != CategoryForm) return int(mrCancel);
    ++shown;
    EXPECT_EQ(CategoryForm->PanelCatName->Caption(), "Travel");
    EXPECT_EQ(CategoryForm->PanelcatHelp->Caption(), "Please wait while the photos load");
    EXPECT_EQ(ThumbsPending, 1);
    for (TPanel* frame : CategoryForm->PanelBase) EXPECT_FALSE(frame->Visible());
    CategoryForm->Timer1->Timer();
    EXPECT_TRUE(CategoryForm->PanelBase[0]->Visible());
    EXPECT_EQ(CategoryForm->Image[0]->Picture()->Width(), 60);
    EXPECT_FALSE(CategoryForm->PanelBase[1]->Visible());
    CategoryForm->BitBtn1->Click();
    return 0;
  });
  form->ShowCatClick(nullptr);
  SetModalAnswer(nullptr);
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(ThumbsPending, 0);

  // The first show plays its own list; a show whose list is missing has no slides, not the
  // slides of the show before.
  std::vector<std::vector<std::string>> played;
  SetModalAnswer([&](TModalRequest& r) {
    EXPECT_EQ(r.Form, SlideShowForm);
    if (r.Form != SlideShowForm) return int(mrCancel);
    played.push_back(Lines(SlideShowForm->ListBoxSlide->Items()));
    SlideShowForm->BitBtn1Click(nullptr);
    return 0;
  });
  form->ButtonGoToSlide1Click(nullptr);
  form->RS->SetItemIndex(1);
  form->ButtonGoToSlide1Click(nullptr);
  SetModalAnswer(nullptr);
  EXPECT_EQ(played, (std::vector<std::vector<std::string>>{{"pics\\boat.bmp", "pics\\boat.bmp"}, {}}));

  StopCorvelo();
  form = nullptr;  // freed with the others
}

TEST(ViewerPictureRule, FittingNumbers) {
  auto eq = [](TFit f, TFit g) {
    return f.Left == g.Left && f.Top == g.Top && f.Width == g.Width && f.Height == g.Height && f.Scaled == g.Scaled;
  };
  EXPECT_TRUE(eq(FitPicture(450, 225, 225, 121), {0, 4, 225, 112, true}));
  // Higher than the frame: the height decides.
  EXPECT_TRUE(eq(FitPicture(100, 300, 225, 121), {92, 0, 40, 121, true}));
  // Wider than the frame, then still too high for it.
  EXPECT_TRUE(eq(FitPicture(300, 290, 225, 121), {50, 0, 125, 121, true}));
  // Smaller both ways: natural size, centred.
  EXPECT_TRUE(eq(FitPicture(100, 50, 225, 121), {62, 35, 100, 50, false}));
  // Exactly as wide and not higher, or as high and not wider: the whole frame, unscaled.
  EXPECT_TRUE(eq(FitPicture(225, 100, 225, 121), {0, 0, 225, 121, false}));
  EXPECT_TRUE(eq(FitPicture(200, 121, 225, 121), {0, 0, 225, 121, false}));
  // An empty picture divides by nothing.
  EXPECT_FALSE(FitPicture(0, 0, 225, 121).Scaled);

  // On panels: an exact-width picture keeps the panel the frame gave and is drawn unscaled.
  TForm f(nullptr);
  auto* base = new TPanel(&f);
  base->SetParent(&f);
  base->SetBounds(10, 10, 225, 121);
  auto* inner = new TPanel(&f);
  inner->SetParent(base);
  auto* image = new TImage(&f);
  image->SetParent(inner);
  image->Picture()->Bitmap()->SetPixelFormat(pf24bit);
  image->Picture()->Bitmap()->SetSize(225, 100);
  EXPECT_FALSE(SetImage(base, inner, image));
  EXPECT_EQ(inner->BoundsRect(), Bounds(0, 0, 225, 121));
  EXPECT_FALSE(image->Stretch());
  EXPECT_FLOAT_EQ(corvelo::PictureRatio, 2.25f);
  // A smaller one afterwards: its own size, centred.
  image->Picture()->Bitmap()->SetSize(100, 50);
  EXPECT_FALSE(SetImage(base, inner, image));
  EXPECT_EQ(inner->BoundsRect(), Bounds(62, 35, 100, 50));
  EXPECT_EQ(image->BoundsRect(), Bounds(0, 0, 100, 50));
}

TEST_F(MainFormTest, OnlyTheEightExtensionsLoadAndAFailedLoadKeepsThePicture) {
  for (const char* ok : {"a.JPG", "b.jpg", "c.Bmp", "d.dib", "e.PCX", "f.ico", "g.cur", "h.wmf", "i.EMF"})
    EXPECT_TRUE(AcceptedExtension(ok)) << ok;
  for (const char* no : {"a.jpeg", "b.gif", "c.png", "d.tif", "noext", "e.jpg.txt", "f.JPE"})
    EXPECT_FALSE(AcceptedExtension(no)) << no;

  TForm f(nullptr);
  auto* decoder = new lib::TVistrel(&f);
  decoder->SetParent(&f);
  auto* image = new TImage(&f);
  const std::string photo = std::string(VL_TESTDATA) + "/jpegpng/photo444.jpg";
  fs::copy_file(photo, dir / "photo.jpeg");
  fs::copy_file(photo, dir / "photo.JPG");
  Write(dir / "broken.bmp", "BM not a picture at all");

  // A file the decoder could read, but with a refused extension.
  CurrentImageFile = (dir / "photo.jpeg").string();
  bool before = false;
  EXPECT_EQ(LoadImage(decoder, image, [&] { before = true; }), TLoadResult::Skipped);
  EXPECT_FALSE(before);
  EXPECT_EQ(image->Picture()->Width(), 0);
  CurrentImageFile = (dir / "missing.jpg").string();
  EXPECT_EQ(LoadImage(decoder, image), TLoadResult::Skipped);
  CurrentImageFile = (dir / "photo.JPG").string();
  EXPECT_EQ(LoadImage(decoder, image, [&] { before = true; }), TLoadResult::Loaded);
  EXPECT_TRUE(before);
  const int w = image->Picture()->Width(), h = image->Picture()->Height();
  EXPECT_GT(w, 0);
  const TColor corner = image->Picture()->Bitmap()->Canvas()->Pixels(0, 0);
  // A file that fails to decode leaves the picture before it.
  CurrentImageFile = (dir / "broken.bmp").string();
  EXPECT_EQ(LoadImage(decoder, image), TLoadResult::Failed);
  EXPECT_EQ(image->Picture()->Width(), w);
  EXPECT_EQ(image->Picture()->Height(), h);
  EXPECT_EQ(image->Picture()->Bitmap()->Canvas()->Pixels(0, 0), corner);
  EXPECT_EQ(Screen->Cursor(), crDefault);
}

TEST(ViewerSample, EveryListOfTheSampleFolderNamesFilesThatExist) {
  const fs::path sample = fs::path(VL_TESTDATA) / ".." / ".." / "corvelo" / "sample";
  auto read = [&](const std::string& name) {
    std::vector<std::string> lines;
    std::ifstream in(sample / name, std::ios::binary);
    for (std::string l; std::getline(in, l);) {
      if (!l.empty() && l.back() == '\r') l.pop_back();
      lines.push_back(l);
    }
    return lines;
  };
  auto exists = [&](const std::string& line) {
    std::string name = line;
    std::replace(name.begin(), name.end(), '\\', '/');
    return AcceptedExtension(name) && fs::is_regular_file(sample / name);
  };
  const auto admin = read("Admin.lst");
  ASSERT_GE(admin.size(), 7u);
  EXPECT_TRUE(exists(admin[0])) << admin[0];
  for (int i = 2; i <= 6; ++i) EXPECT_NO_THROW(StrToInt(admin[size_t(i)])) << admin[size_t(i)];
  int albums = 0, shows = 0;
  for (const auto& t : read("Category.lst")) {
    if (t == ".") continue;
    const auto lines = read("RC" + std::to_string(albums++) + ".lst");
    ASSERT_FALSE(lines.empty());
    for (size_t i = 0; i < lines.size() && i < 30; i += 2) EXPECT_TRUE(exists(lines[i])) << lines[i];
  }
  for (const auto& t : read("Slide.lst")) {
    if (t == ".") continue;
    const auto lines = read("RS" + std::to_string(shows++) + ".lst");
    ASSERT_FALSE(lines.empty());
    for (const auto& l : lines) EXPECT_TRUE(exists(l)) << l;
  }
  EXPECT_GE(albums, 2);
  EXPECT_GE(shows, 1);
}

}  // namespace
