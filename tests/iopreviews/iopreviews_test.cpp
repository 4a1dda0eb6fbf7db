// The save-parameters dialog, driven headless through the I/O component's DoPreviews: the
// controls reach the parameters, the preview renders when it should, OK writes back the active
// page only, and the size shown is the size of a real save.
#include <gtest/gtest.h>

#include <QSlider>
#include <QTabBar>
#include <filesystem>
#include <functional>
#include <set>
#include <string>

#include "platform/gui/controls.h"
#include "vistrel/io/iopreviews.h"
#include "vistrel/view/vlutils.h"

namespace fs = std::filesystem;

namespace {

// Smooth gradients under a few hard edges: JPEG loses something, quantizers have work.
void Picture(TBitmap* b, int w, int h) {
  b->SetPixelFormat(pf24bit);
  b->SetSize(w, h);
  for (int y = 0; y < h; ++y) {
    uint8_t* p = b->ScanLine(y);
    for (int x = 0; x < w; ++x, p += 3) {
      const bool box = x > w / 3 && x < w / 2 && y > h / 4 && y < h * 3 / 4;
      p[0] = uint8_t(box ? 30 : x * 255 / w);
      p[1] = uint8_t(box ? 200 : y * 255 / h);
      p[2] = uint8_t(box ? 40 : (x + y) * 127 / (w + h) + ((x / 4 + y / 4) % 2) * 60);
    }
  }
}

void Choose(TComboBox* c, int i) {
  c->SetItemIndex(i);
  c->Change();
}

int64_t Shown(TLabel* l) {
  const std::string& s = l->Caption();
  EXPECT_EQ(s.substr(s.find(' ')), " bytes") << s;
  return std::stoll(s);
}

std::set<uint32_t> ColorsOf(TBitmap* b) {
  std::set<uint32_t> c;
  for (int y = 0; y < b->Height(); ++y) {
    const uint8_t* p = b->ScanLine(y);
    for (int x = 0; x < b->Width(); ++x, p += 3) c.insert(p[0] | p[1] << 8 | p[2] << 16);
  }
  return c;
}

class IOPreviewsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    io = new TVistrelIO(nullptr);
    io->SetAttachedBitmap(&bitmap);
    io->SetMsgLanguage(msEnglish);
    Picture(&bitmap, 64, 48);
    dir = std::string(VL_BUILD_DIR) + "/iopreviews_" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override {
    SetModalAnswer(nullptr);
    delete io;
    fs::remove_all(dir);
  }
  // Runs DoPreviews; Drive gets the dialog while it is shown modally.
  bool Run(uint8_t pages, const std::function<void(TfIOPreviews*)>& drive) {
    shown = 0;
    SetModalAnswer([&](TModalRequest& r) {
      if (auto* d = dynamic_cast<TfIOPreviews*>(r.Form)) {
        ++shown;
        drive(d);
      } else if (palette) {
        return palette(r);
      }
      return 0;
    });
    return io->DoPreviews(pages);
  }

  TBitmap bitmap;
  TVistrelIO* io = nullptr;
  std::string dir;
  int shown = 0;
  std::function<int(TModalRequest&)> palette;
};

TEST_F(IOPreviewsTest, WithTheLockUpOnlyPreviewAndPageChangesRenderAndOkWritesTheActivePage) {
  TIOParamsVals* params = io->Params();
  TObject *sender = nullptr, *form = nullptr;
  io->OnIOPreview = [&](TObject* s, TObject* f) { sender = s, form = f; };
  const bool ok = Run(iopAllPages, [&](TfIOPreviews* d) {
    EXPECT_EQ(sender, io);
    EXPECT_EQ(form, d);
    EXPECT_EQ(d->Caption(), "Parameters Preview");
    EXPECT_EQ(d->ClientWidth(), 522);
    EXPECT_EQ(d->ClientHeight(), 383);
    EXPECT_EQ(d->PageControl1->ActivePage(), d->TabSheet1);
    EXPECT_FALSE(d->SpeedButton1->Down());
    EXPECT_TRUE(d->Button3->Enabled());
    // Activation renders once, whatever the lock says.
    EXPECT_EQ(d->RenderCount(), 1);
    EXPECT_EQ(d->Label4->Caption(), "9216 bytes");  // 64 x 3 x 48
    const int64_t first = Shown(d->Label25);
    EXPECT_GT(first, 0);

    // Changes are taken but not rendered.
    d->TrackBar13->Slider()->setValue(90);
    EXPECT_EQ(d->Working()->JPEGQuality, 90);
    EXPECT_EQ(d->Edit22->Text(), "90");
    Choose(d->ComboBox13, 1);  // GrayScale
    d->Edit23->SetText("500");
    EXPECT_EQ(d->Working()->JPEGSmooth, 100);
    EXPECT_EQ(d->Edit23->Text(), "100");
    d->Edit22->SetText("x");
    EXPECT_EQ(d->Working()->JPEGQuality, 50);
    EXPECT_EQ(d->TrackBar13->Position(), 50);
    EXPECT_EQ(d->RenderCount(), 1);
    EXPECT_EQ(Shown(d->Label25), first);
    EXPECT_GT(ColorsOf(d->Vistrel2->Bitmap()).size(), 256u);

    // Preview renders: the result is the grey file read back.
    d->Button3->Click();
    EXPECT_EQ(d->RenderCount(), 2);
    TBitmap* r = d->Vistrel2->Bitmap();
    ASSERT_EQ(r->Width(), 64);
    for (int y = 0; y < r->Height(); ++y)
      for (int x = 0; x < r->Width(); ++x) {
        const uint8_t* p = r->ScanLine(y) + 3 * x;
        ASSERT_TRUE(p[0] == p[1] && p[1] == p[2]) << x << "," << y;
      }

    // The result view follows the source's zoom.
    d->Vistrel1->SetZoom(200);
    EXPECT_EQ(d->Vistrel2->Zoom(), 200);
    // Locking renders at once and puts Preview out of use.
    d->SpeedButton1->Click();
    EXPECT_EQ(d->RenderCount(), 3);
    EXPECT_FALSE(d->Button3->Enabled());
    d->SpeedButton1->Click();
    EXPECT_TRUE(d->Button3->Enabled());

    // The TIFF page: CMYK fixes the colours at 16M and asks for 4 samples of 8 bits.
    d->PageControl1->SelectTab(1);
    EXPECT_EQ(d->RenderCount(), 4);
    EXPECT_EQ(d->Label11->Caption(), "9216 bytes");
    Choose(d->ComboBox3, 5);
    EXPECT_EQ(d->ComboBox4->ItemIndex(), 4);
    EXPECT_FALSE(d->ComboBox4->Enabled());
    EXPECT_EQ(d->Working()->SamplesPerPixel, 4);
    EXPECT_EQ(d->Working()->BitsPerSample, 8);
    d->Edit4->SetText("Scan 7");
    d->Edit7->SetText("99999");
    EXPECT_EQ(d->Working()->TIFFPageNumber, 65535);
    Choose(d->ComboBox3, 1);  // BLACKISZERO: black and white only
    EXPECT_EQ(d->ComboBox4->ItemIndex(), 0);
    EXPECT_FALSE(d->ComboBox4->Enabled());
    EXPECT_EQ(d->RenderCount(), 4);

    // Back on the JPEG page the edits of this visit are gone: the record is read again.
    d->PageControl1->SelectTab(0);
    EXPECT_EQ(d->RenderCount(), 5);
    EXPECT_EQ(d->Working()->JPEGColorSpace, 2);
    EXPECT_EQ(d->ComboBox13->ItemIndex(), 2);
    d->TrackBar13->Slider()->setValue(33);
    d->CheckBox3->SetChecked(true);
    d->Button1->Click();
  });
  EXPECT_EQ(shown, 1);
  EXPECT_TRUE(ok);
  EXPECT_EQ(params->JPEGQuality, 33);
  EXPECT_TRUE(params->JPEGProgressive);
  EXPECT_EQ(params->JPEGColorSpace, 2);
  EXPECT_EQ(params->JPEGSmooth, 0);
  // Nothing of the TIFF page.
  EXPECT_EQ(params->TIFFPhotometric, 2);
  EXPECT_EQ(params->TIFFDocumentName, "");
  EXPECT_EQ(params->TIFFPageNumber, 0);
  EXPECT_EQ(params->SamplesPerPixel, 3);

  // Cancel leaves the record alone.
  const bool cancelled = Run(iopJPEG, [&](TfIOPreviews* d) {
    d->TrackBar13->Slider()->setValue(70);
    d->Button2->Click();
  });
  EXPECT_FALSE(cancelled);
  EXPECT_EQ(params->JPEGQuality, 33);
}

// Each page with the lock down: its controls render at once, OK writes them into the record,
// and a save with the record writes a file of the size the page showed.
TEST_F(IOPreviewsTest, EveryPageShowsTheSizeOfARealSave) {
  io->SetPreviewsParams(ioppDefaultLockPreview);
  TIOParamsVals* params = io->Params();
  struct Case {
    const char* name;
    uint8_t page;
    std::function<void(TfIOPreviews*)> set;
    std::function<TLabel*(TfIOPreviews*)> size;
    std::function<void(const TIOParamsVals&, TBitmap*)> check;
  };
  const Case cases[] = {
      {"p.jpg", iopJPEG,
       [](TfIOPreviews* d) {
         d->TrackBar13->Slider()->setValue(30);
         d->CheckBox2->SetChecked(true);
         Choose(d->ComboBox1, 1);
         d->Edit23->SetText("20");
         d->CheckBox3->SetChecked(true);
       },
       [](TfIOPreviews* d) { return d->Label25; },
       [](const TIOParamsVals& p, TBitmap*) {
         EXPECT_EQ(p.JPEGQuality, 30);
         EXPECT_TRUE(p.JPEGOptimalHuffman);
         EXPECT_EQ(p.JPEGDCTMethod, 1);
         EXPECT_EQ(p.JPEGSmooth, 20);
         EXPECT_TRUE(p.JPEGProgressive);
       }},
      {"p.tif", iopTIFF,
       [](TfIOPreviews* d) {
         // The texts and numbers are taken without a new preview; the encoding choices after
         // them render.
         d->Edit4->SetText("Scan 7");
         d->Edit5->SetText("A test page");
         d->Edit7->SetText("2");
         d->Edit8->SetText("5");
         d->Edit2->SetText("3");
         Choose(d->ComboBox2, 8);  // PACKBITS
         Choose(d->ComboBox3, 5);  // CMYK
       },
       [](TfIOPreviews* d) { return d->Label18; },
       [](const TIOParamsVals& p, TBitmap*) {
         EXPECT_EQ(p.TIFFCompression, 8);
         EXPECT_EQ(p.TIFFPhotometric, 5);
         EXPECT_EQ(p.SamplesPerPixel, 4);
         EXPECT_EQ(p.BitsPerSample, 8);
         EXPECT_EQ(p.TIFFDocumentName, "Scan 7");
         EXPECT_EQ(p.TIFFImageDescription, "A test page");
         EXPECT_EQ(p.TIFFPageNumber, 2);
         EXPECT_EQ(p.TIFFPageCount, 5);
         EXPECT_EQ(p.TIFFXPos, 3);
       }},
      {"p.bmp", iopBMP,
       [](TfIOPreviews* d) {
         Choose(d->ComboBox7, 2);  // 256
         Choose(d->ComboBox6, 1);  // RLE
       },
       [](TfIOPreviews* d) { return d->Label42; },
       [](const TIOParamsVals& p, TBitmap* result) {
         EXPECT_TRUE(p.BMPCompression);
         EXPECT_EQ(p.BitsPerSample, 8);
         EXPECT_EQ(p.SamplesPerPixel, 1);
         EXPECT_LE(ColorsOf(result).size(), 256u);
       }},
      {"p.pcx", iopPCX,
       [](TfIOPreviews* d) {
         Choose(d->ComboBox8, 0);
         Choose(d->ComboBox9, 1);  // 16
       },
       [](TfIOPreviews* d) { return d->Label48; },
       [](const TIOParamsVals& p, TBitmap* result) {
         EXPECT_FALSE(p.PCXCompression);
         EXPECT_EQ(p.BitsPerSample, 4);
         EXPECT_EQ(p.SamplesPerPixel, 1);
         EXPECT_LE(ColorsOf(result).size(), 16u);
       }},
      {"p.png", iopPNG,
       [](TfIOPreviews* d) {
         Choose(d->ComboBox10, 0);  // B/W
         d->CheckBox6->SetChecked(true);
         Choose(d->ComboBox11, 2);
         Choose(d->ComboBox12, 9);
       },
       [](TfIOPreviews* d) { return d->Label53; },
       [](const TIOParamsVals& p, TBitmap* result) {
         EXPECT_EQ(p.BitsPerSample, 1);
         EXPECT_EQ(p.SamplesPerPixel, 1);
         EXPECT_TRUE(p.PNGInterlaced);
         EXPECT_EQ(p.PNGFilter, 2);
         EXPECT_EQ(p.PNGCompression, 9);
         EXPECT_EQ(result->PixelFormat(), pf1bit);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int64_t size = -1;
    TBitmap result;
    const bool ok = Run(c.page, [&](TfIOPreviews* d) {
      EXPECT_TRUE(d->SpeedButton1->Down());
      EXPECT_FALSE(d->Button3->Enabled());
      const int before = d->RenderCount();
      c.set(d);
      EXPECT_GT(d->RenderCount(), before);
      size = Shown(c.size(d));
      result.Assign(d->Vistrel2->Bitmap());
      d->Button1->Click();
    });
    ASSERT_TRUE(ok);
    c.check(*params, &result);
    const std::string file = dir + "/" + c.name;
    io->SaveToFile(file);
    ASSERT_FALSE(io->Aborting());
    EXPECT_EQ(int64_t(fs::file_size(file)), size);
  }
}

// The page of the file type, the palette of the colour panels, and what survives the palette
// dialog.
TEST_F(IOPreviewsTest, ThePaletteShowsOnlyTheColoursThePreviewMade) {
  TIOParamsVals* params = io->Params();
  // No page for an unknown file type: nothing is shown.
  params->FileType = 0;
  EXPECT_FALSE(Run(iopFileTypePage, [](TfIOPreviews*) {}));
  EXPECT_EQ(shown, 0);

  io->SetMsgLanguage(msGerman);
  params->FileType = ftGIF;
  params->BitsPerSample = 1;
  params->SamplesPerPixel = 1;
  std::string paletteCancel;
  int highlighted = -2;
  palette = [&](TModalRequest& r) {
    auto* p = dynamic_cast<TVistrelPaletteDialog*>(r.Form);
    if (!p) return int(mrCancel);
    paletteCancel = p->CancelButton()->Caption();
    // Swatch 5 would exist with 256 colours; the preview made two.
    p->FormMouseMove(p, 0, 16 * 5 + 4, 4);
    highlighted = p->HighlightedIndex();
    p->FormMouseMove(p, 0, 16 + 4, 4);
    p->FormClick(p);
    return 0;
  };
  const bool ok = Run(iopFileTypePage, [&](TfIOPreviews* d) {
    EXPECT_EQ(d->PageControl1->TabBar()->count(), 1);
    EXPECT_EQ(d->PageControl1->ActivePage(), d->TabSheet3);
    EXPECT_EQ(d->Button2->Caption(), "Abbrechen");
    // The preview reduced to black and white: a colour map of two.
    EXPECT_EQ(d->PreviewIO()->Params()->ColorMapCount, 2);
    Choose(d->ComboBox5, 7);  // 256, not rendered
    d->Edit12->SetText("20");
    d->Edit10->SetText("-5");
    d->Panel4->Click();
    EXPECT_EQ(highlighted, -1);
    EXPECT_EQ(d->Panel4->Color(), RGB(255, 255, 255));
    // The form is active again after the palette closed; the choices are still there.
    EXPECT_EQ(d->ComboBox5->ItemIndex(), 7);
    EXPECT_EQ(d->Working()->GIFDelayTime, 20);
    EXPECT_EQ(d->Working()->GIFXPos, 0);
    d->Button1->Click();
  });
  EXPECT_TRUE(ok);
  EXPECT_EQ(paletteCancel, "&Abbrechen");
  EXPECT_EQ(params->BitsPerSample, 8);
  EXPECT_EQ(params->GIFDelayTime, 20);
  EXPECT_EQ(params->GIFBackground, (TRGB{255, 255, 255}));
}

}  // namespace
