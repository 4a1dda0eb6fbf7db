// The multi-image I/O component: AVI files made by ffmpeg read frame for frame, TIFF pages
// and GIF frames in order with their delays, the parameter list kept in step with the view.
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

#include "multipage_builders.h"
#include "mview_support.h"
#include "pcxgif/lzw_coder.h"
#include "platform/core/stream.h"
#include "vistrel/codecs/avi.h"
#include "vistrel/codecs/tiff.h"
#include "vistrel/io/vistrelmio.h"

using namespace mviewtest;

namespace {

class MIOTest : public MViewTest {
 protected:
  void SetUp() override {
    MViewTest::SetUp();
    view = MakeView(400, 300);
    mio = new TVistrelMIO(form);
    mio->SetAttachedMView(view);
    mio->OnProgress = [this](TObject*, int percent) { progress.push_back(percent); };
  }
  // The selected picture compared with a reference file.
  int64_t ItemDiff(int index, const std::string& ppm) {
    view->SelectImage(index);
    return Differences(view->GetBitmap(), ReadPpm(Data(ppm)));
  }

  TVistrelMView* view = nullptr;
  TVistrelMIO* mio = nullptr;
  std::vector<int> progress;
};

TEST_F(MIOTest, AviFramesAreThePixelsFfmpegDecodes) {
  struct TCase {
    const char* name;
    int bitsPerSample, samplesPerPixel;
  } cases[] = {{"bgr24", 8, 3}, {"pal8", 8, 1}, {"yuy2", 8, 3}, {"i420", 8, 3}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    view->Clear();
    progress.clear();
    const std::string file = Data(std::string(c.name) + ".avi");
    mio->LoadFromFile(file);
    EXPECT_FALSE(mio->Aborting());
    ASSERT_EQ(view->ImageCount(), 3);
    ASSERT_EQ(mio->ParamsCount(), 3);
    for (int f = 0; f < 3; ++f) {
      EXPECT_EQ(ItemDiff(f, std::string(c.name) + "_" + std::to_string(f) + ".ppm"), 0) << "frame " << f;
      // 15 frames per second.
      EXPECT_EQ(view->ImageDelayTime(f), 66);
      TIOParamsVals* p = mio->Params(f);
      EXPECT_EQ(p->GIFDelayTime, 66);
      EXPECT_EQ(p->Width, 37);
      EXPECT_EQ(p->Height, 23);
      EXPECT_EQ(p->BitsPerSample, c.bitsPerSample);
      EXPECT_EQ(p->SamplesPerPixel, c.samplesPerPixel);
      EXPECT_EQ(p->GIFImageIndex, f);
      EXPECT_EQ(p->TIFFImageIndex, f);
      EXPECT_EQ(p->FileType, 0);
      EXPECT_EQ(p->FileName, file);
    }
    EXPECT_EQ(progress, (std::vector<int>{0, 33, 66}));
  }
}

TEST_F(MIOTest, AviCutShortOrCompressedSetsAborting) {
  // Two pictures already there, the second selected: the frames go in before it.
  AddItems(view, {clRed, clBlue});
  view->SelectImage(1);
  // Cut in the middle of the third frame: the first two stay.
  std::vector<uint8_t> bytes = ReadFileBytes(Data("bgr24.avi"));
  TReadOnlyMemoryStream ms(bytes.data(), int64_t(bytes.size()));
  TAVIReader probe;
  ASSERT_TRUE(probe.Open(&ms));
  TBitmap b;
  ASSERT_NE(probe.ReadFrame(&b), 0);
  ASSERT_NE(probe.ReadFrame(&b), 0);
  const int64_t cut = ms.Position() + 8 + 1000;
  bytes.resize(size_t(cut));
  const std::string truncated = WriteTemp(bytes, ".avi");
  mio->LoadFromFile(truncated);
  unlink(truncated.c_str());
  EXPECT_TRUE(mio->Aborting());
  ASSERT_EQ(view->ImageCount(), 4);
  EXPECT_EQ(ItemDiff(1, "bgr24_0.ppm"), 0);
  EXPECT_EQ(ItemDiff(2, "bgr24_1.ppm"), 0);
  view->SelectImage(0);
  EXPECT_EQ(SelectedColour(view), clRed);
  view->SelectImage(3);
  EXPECT_EQ(SelectedColour(view), clBlue);
  EXPECT_EQ(mio->ParamsCount(), 4);

  // A compressed stream and a file that is not there: no picture, Aborting, no exception.
  view->Clear();
  mio->LoadFromFile(Data("mjpeg.avi"));
  EXPECT_TRUE(mio->Aborting());
  EXPECT_EQ(view->ImageCount(), 0);
  for (const char* missing : {"missing.avi", "missing.gif", "missing.tif"}) {
    mio->LoadFromFile(Data(missing));
    EXPECT_TRUE(mio->Aborting()) << missing;
  }
  EXPECT_EQ(view->ImageCount(), 0);
  // Another extension loads nothing and is no failure.
  mio->LoadFromFile(Data("src_0.ppm"));
  EXPECT_FALSE(mio->Aborting());
  EXPECT_EQ(mio->ParamsCount(), 0);
}

TEST_F(MIOTest, TiffPagesInOrderAndDeletingRenumbers) {
  mio->LoadFromFile(Data("pages3.tif"));
  EXPECT_FALSE(mio->Aborting());
  ASSERT_EQ(view->ImageCount(), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(ItemDiff(i, "src_" + std::to_string(i) + ".ppm"), 0) << i;
    EXPECT_EQ(view->ImageDelayTime(i), 100);
    EXPECT_EQ(mio->Params(i)->TIFFImageIndex, i);
    EXPECT_EQ(mio->Params(i)->GIFImageIndex, i);
    EXPECT_EQ(mio->Params(i)->FileType, 1);
  }
  EXPECT_EQ(progress, (std::vector<int>{0, 33, 66}));
  mio->Params(2)->TIFFDocumentName = "third";
  view->DeleteImage(1);
  ASSERT_EQ(mio->ParamsCount(), 2);
  EXPECT_EQ(mio->Params(1)->TIFFDocumentName, "third");
  EXPECT_EQ(mio->Params(1)->TIFFImageIndex, 1);
  EXPECT_EQ(mio->Params(1)->GIFImageIndex, 1);
  EXPECT_EQ(mio->Params(2), nullptr);
  // An inserted item copies the entry it goes in front of.
  view->InsertImage(1);
  ASSERT_EQ(mio->ParamsCount(), 3);
  EXPECT_EQ(mio->Params(1)->TIFFDocumentName, "third");
  EXPECT_EQ(mio->Params(2)->TIFFImageIndex, 2);
}

TEST_F(MIOTest, GifFramesNeedACoderAndKeepTheLastDelay) {
  // No coder: nothing is left and the load says it failed.
  mio->LoadFromFile(Data("anim.gif"));
  EXPECT_TRUE(mio->Aborting());
  EXPECT_EQ(view->ImageCount(), 0);
  EXPECT_EQ(mio->ParamsCount(), 0);
  EXPECT_TRUE(progress.empty());

  // A GIF file of no image fails too; an AVI file of no frame is empty, which is no
  // failure. Neither reports progress.
  const uint8_t empty[] = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x3B, 0};
  TReadOnlyMemoryStream es(empty, sizeof empty);
  mio->LoadFromStreamGIF(&es);
  EXPECT_TRUE(mio->Aborting());
  TAviBuilder a;
  a.BeginList("RIFF", "AVI ");
  a.Headers(2, 2, 24, 0, 15, 1, 0, 0);
  a.BeginList("LIST", "movi");
  a.EndList();
  a.EndList();
  const std::string none = WriteTemp(a.Bytes, ".avi");
  mio->LoadFromFile(none);
  unlink(none.c_str());
  EXPECT_FALSE(mio->Aborting());
  EXPECT_EQ(view->ImageCount(), 0);
  EXPECT_TRUE(progress.empty());

  // With a coder: the frames, the first without delay 10 ms, the third repeating 200 ms.
  DefaultGIFLZWDecompressor = TestGIFLZWDecode;
  mio->LoadFromFile(Data("anim.gif"));
  DefaultGIFLZWDecompressor = nullptr;
  EXPECT_FALSE(mio->Aborting());
  ASSERT_EQ(view->ImageCount(), 3);
  const int delays[] = {10, 200, 200};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(ItemDiff(i, "anim_" + std::to_string(i) + ".ppm"), 0) << i;
    EXPECT_EQ(view->ImageDelayTime(i), delays[i]);
    EXPECT_EQ(mio->Params(i)->FileType, 2);
    EXPECT_EQ(mio->Params(i)->GIFImageIndex, i);
  }
  EXPECT_EQ(progress, (std::vector<int>{0, 33, 66}));
}

// A stream over memory that counts the bytes it gives.
class TCountingStream : public TStream {
 public:
  explicit TCountingStream(const std::vector<uint8_t>& Bytes) : FBytes(Bytes) {}
  int64_t Read(void* Buffer, int64_t Count) override {
    const int64_t n = std::clamp<int64_t>(int64_t(FBytes.size()) - FPos, 0, std::max<int64_t>(Count, 0));
    if (n > 0) std::memcpy(Buffer, FBytes.data() + FPos, size_t(n));
    FPos += n;
    BytesRead += n;
    return n;
  }
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t Offset, int Origin) override {
    FPos = Origin == soBeginning ? Offset : Origin == soCurrent ? FPos + Offset : int64_t(FBytes.size()) + Offset;
    return FPos;
  }
  int64_t BytesRead = 0;

 private:
  const std::vector<uint8_t>& FBytes;
  int64_t FPos = 0;
};

TEST_F(MIOTest, ManyPicturesAreReadInOnePass) {
  constexpr int kPictures = 300;
  DefaultGIFLZWDecompressor = TestGIFLZWDecode;
  for (const bool gif : {false, true}) {
    SCOPED_TRACE(gif ? "GIF" : "TIFF");
    view->Clear();
    progress.clear();
    const std::vector<uint8_t> file = gif ? multipage::Gif(kPictures, 5, 4) : multipage::Tiff(kPictures, 5, 4);
    TCountingStream s(file);
    if (gif) mio->LoadFromStreamGIF(&s);
    else mio->LoadFromStreamTIFF(&s);
    EXPECT_FALSE(mio->Aborting());
    ASSERT_EQ(view->ImageCount(), kPictures);
    ASSERT_EQ(mio->ParamsCount(), kPictures);
    // One walk and each picture once: the file's bytes about twice at most, not once a picture.
    EXPECT_LT(s.BytesRead, 3 * int64_t(file.size()));
    ASSERT_EQ(progress.size(), size_t(kPictures));
    EXPECT_EQ(progress[150], 50);
    // Each picture and its parameters as the one-picture reader gives them.
    for (int i : {0, 1, 150, kPictures - 1}) {
      TReadOnlyMemoryStream ms(file.data(), int64_t(file.size()));
      TIOParamsVals p(nullptr);
      TBitmap b;
      bool abort = false;
      TFilterProgress pr;
      pr.AbortFlag = &abort;
      int count = 0;
      if (gif) {
        p.GIFImageIndex = i;
        ReadGIFStream(&ms, &b, count, p, pr, false);
        EXPECT_EQ(view->ImageDelayTime(i), (1 + i % 7) * 10) << i;
      } else {
        p.TIFFImageIndex = i;
        ReadTIFFStream(&b, &ms, count, p, pr, false);
      }
      ASSERT_FALSE(abort);
      view->SelectImage(i);
      TBitmap* got = view->GetBitmap();
      ASSERT_TRUE(got);
      ASSERT_EQ(got->ImageSize(), b.ImageSize()) << i;
      EXPECT_EQ(std::memcmp(got->Bits(), b.Bits(), size_t(b.ImageSize())), 0) << i;
      EXPECT_EQ(mio->Params(i)->Width, p.Width);
      EXPECT_EQ(mio->Params(i)->GIFDelayTime, p.GIFDelayTime);
      EXPECT_EQ(mio->Params(i)->DpiX, p.DpiX);
      EXPECT_EQ(mio->Params(i)->TIFFImageIndex, i);
    }
  }
  DefaultGIFLZWDecompressor = nullptr;
}

TEST_F(MIOTest, RaisingProgressHandlerStopsTheLoad) {
  AddItems(view, {clRed});
  const std::vector<uint8_t> file = multipage::Tiff(1000, 3, 2);
  const std::string name = WriteTemp(file, ".tif");
  mio->OnProgress = [](TObject*, int percent) {
    if (percent >= 1) throw std::runtime_error("stop");
  };
  EXPECT_THROW(mio->LoadFromFile(name), std::runtime_error);
  unlink(name.c_str());
  EXPECT_TRUE(mio->Aborting());
  // Pages 0 to 10 went in before the red item; the view and the list agree, laid out.
  ASSERT_EQ(view->ImageCount(), 12);
  ASSERT_EQ(mio->ParamsCount(), 12);
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(mio->Params(i)->TIFFImageIndex, i);
    EXPECT_EQ(view->ImageX(i), 4 + i * 104) << i;
  }
  EXPECT_EQ(mio->Params(10)->Width, 3);
  view->SelectImage(11);
  EXPECT_EQ(SelectedColour(view), clRed);
}

TEST_F(MIOTest, DetachingAndFreeingTheViewLeaveNoCallback) {
  EXPECT_EQ(view->BitmapChangeEventCount(), 1);
  mio->SetAttachedMView(nullptr);
  EXPECT_EQ(view->BitmapChangeEventCount(), 0);
  mio->SetAttachedMView(view);
  view->Free();
  EXPECT_EQ(mio->AttachedMView(), nullptr);
  mio->LoadFromFile(Data("bgr24.avi"));  // no view: nothing happens
  EXPECT_FALSE(mio->Aborting());
  EXPECT_FALSE(mio->DoPreviews(0, 4));
}

}  // namespace
