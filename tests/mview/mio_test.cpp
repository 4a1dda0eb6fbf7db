// The multi-image I/O component: AVI files made by ffmpeg read frame for frame, TIFF pages
// and GIF frames in order with their delays, the parameter list kept in step with the view.
#include <unistd.h>

#include "mview_support.h"
#include "pcxgif/lzw_coder.h"
#include "platform/core/stream.h"
#include "vistrel/codecs/avi.h"
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
