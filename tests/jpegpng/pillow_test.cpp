// Our files read by another decoder: Debian's Python with Pillow (skipped when absent).
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "helpers.h"
#include "vistrel/codecs/jpeg.h"
#include "vistrel/codecs/png.h"

namespace {

const char* kPython = "/usr/bin/python3";

const char* kScript = R"PY(
import struct, sys
from PIL import Image
for path in sys.argv[1:]:
    im = Image.open(path)
    im.load()
    info = im.info
    dpi = info.get("dpi", (0, 0))
    if path.endswith(".jpg"):
        q = im.quantization.get(0, [])
        prog = 1 if (info.get("progressive") or info.get("progression")) else 0
        print("jpeg", im.size[0], im.size[1], im.mode, round(dpi[0]), round(dpi[1]), prog, *q)
    else:
        data = open(path, "rb").read()
        pos, bkgd = 8, ""
        while pos + 8 <= len(data):
            n, kind = struct.unpack(">I4s", data[pos:pos + 8])
            if kind == b"bKGD":
                bkgd = data[pos + 8:pos + 8 + n].hex()
            pos += 12 + n
        print("png", im.size[0], im.size[1], im.mode, info.get("interlace", 0),
              round(dpi[0]), round(dpi[1]), bkgd or "-")
        open(path + ".rgb", "wb").write(im.convert("RGB").tobytes())
)PY";

// The baseline luminance table of the JPEG standard, in natural order.
const int kLuminance[64] = {16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
                            14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
                            18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
                            49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
const int kZigzag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
                         41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
                         30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

std::vector<int> ScaledTable(int quality, bool zigzag) {
  int scale = quality < 50 ? 5000 / quality : 200 - quality * 2;
  std::vector<int> t(64);
  for (int i = 0; i < 64; ++i) {
    int v = (kLuminance[zigzag ? kZigzag[i] : i] * scale + 50) / 100;
    t[i] = v < 1 ? 1 : v > 255 ? 255 : v;
  }
  return t;
}

std::vector<std::string> RunPillow(const std::vector<std::string>& files) {
  std::string dir = files.empty() ? "" : std::filesystem::path(files[0]).parent_path().string();
  std::string script = dir + "/probe.py";
  FILE* f = std::fopen(script.c_str(), "w");
  std::fputs(kScript, f);
  std::fclose(f);
  std::string cmd = std::string(kPython) + " " + script;
  for (auto& p : files) cmd += " " + p;
  std::vector<std::string> lines;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return lines;
  char buf[4096];
  while (std::fgets(buf, sizeof(buf), p)) lines.emplace_back(buf);
  pclose(p);
  return lines;
}

bool HasPillow() {
  if (access(kPython, X_OK) != 0) return false;
  return std::system((std::string(kPython) + " -c 'import PIL' 2>/dev/null").c_str()) == 0;
}

void SaveTo(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

}  // namespace

TEST(Pillow, ReadsOurJpegAndPngFilesWithTheirOptions) {
  if (!HasPillow()) GTEST_SKIP() << "no Pillow under /usr/bin/python3";
  std::filesystem::path dir = std::filesystem::temp_directory_path() / ("jpegpng_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  TBitmap src;
  MakeTestPicture(src, 50, 30);
  struct TJob {
    std::string Name;
    int Quality;
    bool Progressive;
    uint8_t Space;
  };
  const std::vector<TJob> jpegs = {{"q75.jpg", 75, false, 2}, {"q30p.jpg", 30, true, 2}, {"q90g.jpg", 90, false, 1}};
  std::vector<std::string> files;
  for (const TJob& j : jpegs) {
    TIOParamsVals p(nullptr);
    p.JPEGQuality = j.Quality;
    p.JPEGProgressive = j.Progressive;
    p.JPEGColorSpace = j.Space;
    p.DpiX = 300;
    p.DpiY = 150;
    TMemoryStream out;
    TTestProgress tp;
    SaveJpegToStream(&out, &src, p, tp.P);
    ASSERT_FALSE(tp.Abort);
    files.push_back((dir / j.Name).string());
    SaveTo(files.back(), StreamBytes(out));
  }
  for (int interlaced = 0; interlaced < 2; ++interlaced) {
    TIOParamsVals p(nullptr);
    p.PNGInterlaced = interlaced != 0;
    p.PNGBackground = TRGB{10, 20, 30};
    p.DpiX = 72;
    p.DpiY = 96;
    TMemoryStream out;
    TTestProgress tp;
    SavePngToStream(&out, &src, p, tp.P);
    files.push_back((dir / (interlaced ? "i.png" : "n.png")).string());
    SaveTo(files.back(), StreamBytes(out));
  }
  std::vector<std::string> lines = RunPillow(files);
  ASSERT_EQ(lines.size(), files.size());
  for (size_t i = 0; i < jpegs.size(); ++i) {
    SCOPED_TRACE(jpegs[i].Name);
    std::istringstream in(lines[i]);
    std::string kind, mode;
    int w, h, dx, dy, prog;
    in >> kind >> w >> h >> mode >> dx >> dy >> prog;
    std::vector<int> table;
    for (int v; in >> v;) table.push_back(v);
    EXPECT_EQ(kind, "jpeg");
    EXPECT_EQ(w, 50);
    EXPECT_EQ(h, 30);
    EXPECT_EQ(mode, jpegs[i].Space == 1 ? "L" : "RGB");
    EXPECT_EQ(dx, 300);
    EXPECT_EQ(dy, 150);
    EXPECT_EQ(prog, jpegs[i].Progressive ? 1 : 0);
    EXPECT_TRUE(table == ScaledTable(jpegs[i].Quality, false) || table == ScaledTable(jpegs[i].Quality, true));
  }
  for (int interlaced = 0; interlaced < 2; ++interlaced) {
    std::istringstream in(lines[jpegs.size() + interlaced]);
    std::string kind, mode, bkgd;
    int w, h, il, dx, dy;
    in >> kind >> w >> h >> mode >> il >> dx >> dy >> bkgd;
    EXPECT_EQ(kind, "png");
    EXPECT_EQ(w, 50);
    EXPECT_EQ(mode, "RGB");
    EXPECT_EQ(il, interlaced);
    EXPECT_EQ(dx, 72);
    EXPECT_EQ(dy, 96);
    EXPECT_EQ(bkgd, "001e0014000a");  // red 30, green 20, blue 10 at the file's 8 bits
    std::vector<uint8_t> rgb = ReadAll(files[jpegs.size() + interlaced] + ".rgb");
    ASSERT_EQ(rgb.size(), 50u * 30 * 3);
    int bad = 0;
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 50; ++x)
        for (int c = 0; c < 3; ++c)
          if (rgb[(y * 50 + x) * 3 + c] != src.ScanLine(y)[3 * x + 2 - c]) ++bad;
    EXPECT_EQ(bad, 0);
  }
  std::filesystem::remove_all(dir);
}
