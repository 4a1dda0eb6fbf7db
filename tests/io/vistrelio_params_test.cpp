#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "io/metafile_builders.h"
#include "vistrel/io/vistrelio.h"
#include "vistrel/view/vlview.h"

namespace fs = std::filesystem;

namespace {

class TDpiView : public TVLView {
 public:
  using TVLView::TVLView;
  ~TDpiView() override { NotifyAttached(); }
  TBitmap* GetBitmap() override { return Current; }
  TBitmap* Current = nullptr;
};

std::string TestDir() {
  std::string d = std::string(VL_BUILD_DIR) + "/vistrelio_params_" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name();
  fs::remove_all(d);
  fs::create_directories(d);
  return d;
}

void WriteBytes(const std::string& name, const std::vector<uint8_t>& bytes) {
  std::ofstream f(name, std::ios::binary);
  f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

void Gray(TBitmap* b, int w, int h) {
  b->SetPixelFormat(pf24bit);
  b->SetSize(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w * 3; ++x) b->ScanLine(y)[x] = uint8_t(x + y * 7);
}

}  // namespace

TEST(VistrelIOParams, DefaultsFollowTheOwner) {
  TBitmap b;
  Gray(&b, 7, 5);
  TVistrelIO io(nullptr);
  io.Params()->Width = 1;
  io.Params()->DpiX = 33;
  io.SetAttachedBitmap(&b);
  io.Params()->SetDefaults();
  EXPECT_EQ(io.Params()->Width, 7);
  EXPECT_EQ(io.Params()->Height, 5);
  EXPECT_EQ(io.Params()->DpiX, 33);  // no view: kept

  auto* view = new TDpiView(nullptr);
  view->Current = &b;
  view->SetDpi(120, 60);
  io.SetAttachedVistrel(view);
  io.Params()->SetDefaults();
  EXPECT_EQ(io.Params()->DpiX, 120);
  EXPECT_EQ(io.Params()->DpiY, 60);
  delete view;
}

TEST(VistrelIOParams, ParamsOnlyReadsRecoverAfterAFailure) {
  const std::string dir = TestDir();
  TBitmap src;
  Gray(&src, 11, 6);
  TVistrelIO out(nullptr);
  out.SetAttachedBitmap(&src);
  out.SaveToFile(dir + "/p.png");
  ASSERT_FALSE(out.Aborting());

  // No bitmap attached: parameter reads still work and the bitmap of nobody is touched.
  TVistrelIO io(nullptr);
  io.Params()->FileName = "kept";
  TMemoryStream bad;
  std::vector<uint8_t> junk(40, 0xEE);
  junk[0] = 'B';
  junk[1] = 'M';
  bad.WriteBuffer(junk.data(), int64_t(junk.size()));
  bad.SetPosition(0);
  io.ParamsFromStream(&bad);
  EXPECT_EQ(io.Params()->FileType, ftBMP);
  EXPECT_TRUE(VLEmptyProgressAbort);
  EXPECT_EQ(io.Params()->FileName, "kept");  // streams leave the name alone

  TFileStream good(dir + "/p.png", fmOpenRead);
  io.ParamsFromStream(&good);
  EXPECT_FALSE(VLEmptyProgressAbort);
  EXPECT_EQ(io.Params()->FileType, ftPNG);
  EXPECT_EQ(io.Params()->Width, 11);
  EXPECT_EQ(io.Params()->Height, 6);

  io.ParamsFromFile(dir + "/missing.png");
  EXPECT_EQ(io.Params()->FileType, 0);
  EXPECT_EQ(io.Params()->FileName, dir + "/missing.png");
  fs::remove_all(dir);
}

TEST(VistrelIOParams, MetafileSizesKeepTheAspect) {
  const std::string dir = TestDir();
  TWmfBuilder w;
  w.CreateBrush(0, 255, 0, 0);
  w.Select(0);
  w.Rectangle(0, 0, 400, 300);
  WriteBytes(dir + "/m.wmf", w.Build(0, 0, 400, 300, ScreenPixelsPerInch()));

  TBitmap b;
  TVistrelIO io(nullptr);
  io.SetAttachedBitmap(&b);
  struct Case {
    int w, h, bw, bh;
  } cases[] = {{-1, 150, 199, 149}, {100, -5, 99, 74}, {30, 20, 29, 19}, {-1, -1, 399, 299}, {-7, 77, 101, 76}};
  for (const Case& c : cases) {
    io.ImportMetafile(dir + "/m.wmf", c.w, c.h);
    EXPECT_EQ(b.Width(), c.bw) << c.w << " " << c.h;
    EXPECT_EQ(b.Height(), c.bh) << c.w << " " << c.h;
    EXPECT_EQ(io.Params()->Width, c.bw);
    EXPECT_EQ(io.Params()->FileName, dir + "/m.wmf");
  }
  // 77 x 400 div 300 = 102 (truncated), so 101 x 76, with the drawing stretched over it.
  EXPECT_EQ(b.ScanLine(38)[50 * 3 + 2], 255);
  EXPECT_EQ(b.ScanLine(38)[50 * 3], 0);
  io.ImportMetafile(dir + "/m.wmf", 50, 0);
  EXPECT_EQ(b.Width(), 101);
  fs::remove_all(dir);
}
