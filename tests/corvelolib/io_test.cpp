// The viewer's readers and I/O component: its messages for files it can't read, the editor's
// pixels for those it can, icons and metafiles at the viewer's sizes.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

extern "C" {
#include <jpeglib.h>
#include <jerror.h>
}

#include "corvelo/library/readers.h"
#include "corvelo/library/vistrel.h"
#include "io/metafile_builders.h"
#include "pcxgif/lzw_coder.h"
#include "platform/gui/controls.h"
#include "platform/gui/stdctrls.h"
#include "tiff/tiff_support.h"
#include "vistrel/codecs/bmp.h"
#include "vistrel/codecs/gif.h"
#include "vistrel/codecs/jpeg.h"
#include "vistrel/codecs/pcx.h"
#include "vistrel/codecs/png.h"
#include "vistrel/codecs/tiff.h"

namespace lib = corvelo::lib;
namespace fs = std::filesystem;
using tifftest::ReadFileBytes;
using tifftest::WriteFileBytes;

namespace {

std::string Data(const std::string& name) { return std::string(VL_TESTDATA) + "/" + name; }

std::vector<uint8_t> Cut(const std::string& file, size_t keep) {
  std::vector<uint8_t> b = ReadFileBytes(file);
  b.resize(std::min(b.size(), keep));
  return b;
}

std::vector<uint8_t> Half(const std::string& file) { return Cut(file, ReadFileBytes(file).size() / 2); }

// A TIFF of one strip, in either byte order.
std::vector<uint8_t> Tiff(bool bigEndian, int w, int h, const std::vector<uint16_t>& bits, uint16_t compression,
                          uint16_t photometric, const std::vector<uint8_t>& strip) {
  std::vector<uint8_t> o;
  auto u16 = [&](uint32_t v) {
    if (bigEndian) o.insert(o.end(), {uint8_t(v >> 8), uint8_t(v)});
    else o.insert(o.end(), {uint8_t(v), uint8_t(v >> 8)});
  };
  auto u32 = [&](uint32_t v) {
    if (bigEndian) u16(v >> 16), u16(v & 0xFFFF);
    else u16(v & 0xFFFF), u16(v >> 16);
  };
  const int entries = 9;
  const uint32_t bitsAt = 8 + 2 + entries * 12 + 4;
  const uint32_t stripAt = bitsAt + uint32_t(bits.size() > 1 ? bits.size() * 2 : 0);
  o = {uint8_t(bigEndian ? 'M' : 'I'), uint8_t(bigEndian ? 'M' : 'I')};
  u16(42);
  u32(8);
  u16(entries);
  auto shortEntry = [&](uint16_t tag, uint32_t v) { u16(tag), u16(3), u32(1), u16(v), u16(0); };
  auto longEntry = [&](uint16_t tag, uint32_t v) { u16(tag), u16(4), u32(1), u32(v); };
  shortEntry(256, w);
  shortEntry(257, h);
  if (bits.size() == 1) shortEntry(258, bits[0]);
  else u16(258), u16(3), u32(uint32_t(bits.size())), u32(bitsAt);
  shortEntry(259, compression);
  shortEntry(262, photometric);
  longEntry(273, stripAt);
  shortEntry(277, uint32_t(bits.size()));
  shortEntry(278, h);
  longEntry(279, uint32_t(strip.size()));
  u32(0);
  if (bits.size() > 1)
    for (uint16_t b : bits) u16(b);
  o.insert(o.end(), strip.begin(), strip.end());
  return o;
}

// A GIF written by the editor with the test coder.
std::vector<uint8_t> Gif(TBitmap* picture, int bits) {
  TMemoryStream m;
  TIOParamsVals p(nullptr);
  p.BitsPerSample = bits;
  p.GIFLZWCompress = TestGIFLZWEncode;
  bool abort = false;
  TFilterProgress pr;
  pr.AbortFlag = &abort;
  WriteGIFStream(&m, picture, p, pr);
  const uint8_t* d = static_cast<const uint8_t*>(m.Memory());
  return std::vector<uint8_t>(d, d + m.Size());
}

void Stripes(TBitmap* b, int w, int h) {
  b->SetPixelFormat(pf24bit);
  b->SetSize(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = b->ScanLine(y) + x * 3;
      p[0] = p[1] = p[2] = ((x + y) & 1) ? 255 : 0;
    }
}

// An icon of 24-bit images, each of one colour, with the left half masked where asked.
struct TIconImage {
  int Size;
  TRGB Colour;
  bool MaskLeft;
};
std::vector<uint8_t> Icon(const std::vector<TIconImage>& images) {
  TBytesOut f, data;
  f.U16(0);
  f.U16(1);
  f.U16(int(images.size()));
  const int64_t first = 6 + 16 * int64_t(images.size());
  for (const TIconImage& im : images) {
    const int s = im.Size, xorRow = (s * 3 + 3) / 4 * 4, andRow = (s + 31) / 32 * 4;
    const int64_t bytes = 40 + int64_t(xorRow + andRow) * s;
    f.U8(s), f.U8(s), f.U8(0), f.U8(0), f.U16(1), f.U16(24), f.U32(bytes), f.U32(first + int64_t(data.B.size()));
    data.U32(40), data.U32(s), data.U32(2 * s), data.U16(1), data.U16(24);
    for (int i = 0; i < 6; ++i) data.U32(0);
    for (int y = 0; y < s; ++y) {
      for (int x = 0; x < s; ++x) {
        // Masked pixels are black, so the background shows unchanged.
        const bool masked = im.MaskLeft && x < s / 2;
        data.U8(masked ? 0 : im.Colour.B), data.U8(masked ? 0 : im.Colour.G), data.U8(masked ? 0 : im.Colour.R);
      }
      for (int p = s * 3; p < xorRow; ++p) data.U8(0);
    }
    for (int y = 0; y < s; ++y)
      for (int i = 0; i < andRow; ++i) {
        int byte = 0;
        for (int bit = 0; bit < 8; ++bit)
          if (im.MaskLeft && i * 8 + bit < s / 2) byte |= 0x80 >> bit;
        data.U8(byte);
      }
  }
  f.Bytes(data.B);
  return f.B;
}

TRGB Pixel(TBitmap* b, int x, int y) {
  const uint8_t* p = b->ScanLine(y) + x * 3;
  return TRGB{p[0], p[1], p[2]};
}

// Empty when both hold the same pixels in the same format (1-bit pixels taken inverted when
// asked); else what differs.
std::string Difference(TBitmap* a, TBitmap* b, bool inverted = false) {
  if (a->Width() != b->Width() || a->Height() != b->Height()) return "size";
  if (a->PixelFormat() != b->PixelFormat()) return "pixel format";
  const bool one = a->PixelFormat() == pf1bit;
  for (int y = 0; y < a->Height(); ++y)
    for (int x = 0; x < a->Width(); ++x) {
      if (one) {
        const int m = 0x80 >> (x & 7);
        const bool pa = a->ScanLine(y)[x >> 3] & m, pb = b->ScanLine(y)[x >> 3] & m;
        if (pa != (pb != inverted)) return Format("pixel %d, %d", x, y);
      } else if (!(Pixel(a, x, y) == Pixel(b, x, y))) {
        return Format("pixel %d, %d", x, y);
      }
    }
  return "";
}

std::string Ext(const std::string& name) { return LowerCase(ExtractFileExt(name)); }

// The viewer's reader of the file's extension on its bytes; its message, or "" when it read.
std::string ViewerRead(const std::string& ext, const std::vector<uint8_t>& bytes, TBitmap* b, lib::TIOParamsVals& p) {
  TReadOnlyMemoryStream s(bytes.data(), int64_t(bytes.size()));
  TFilterProgress progress;  // no abort flag: the readers lend one
  int count = 0;
  int32_t images = 0;
  try {
    if (ext == ".jpg") lib::LoadJpegFromStream(&s, b, p, progress);
    else if (ext == ".png") lib::LoadPngFromStream(&s, b, p, progress);
    else if (ext == ".bmp") lib::ReadBMPStream(&s, b, int64_t(bytes.size()), progress, p);
    else if (ext == ".gif") lib::ReadGIFStream(&s, b, images, p, progress);
    else if (ext == ".pcx") lib::ReadPCXStream(&s, b, p, int64_t(bytes.size()), progress);
    else if (ext == ".tif") lib::ReadTIFFStream(b, &s, count, p, progress);
  } catch (const EInvalidGraphic& e) {
    return e.Message();
  }
  return "";
}

// The editor's codec of the extension; false when it aborted.
bool EditorRead(const std::string& ext, const std::vector<uint8_t>& bytes, TBitmap* b, TIOParamsVals& p) {
  TReadOnlyMemoryStream s(bytes.data(), int64_t(bytes.size()));
  bool abort = false;
  TFilterProgress progress;
  progress.AbortFlag = &abort;
  int count = 0;
  int32_t images = 0;
  if (ext == ".jpg") LoadJpegFromStream(&s, b, p, false, progress);
  else if (ext == ".png") LoadPngFromStream(&s, b, p, false, progress);
  else if (ext == ".bmp") ReadBMPStream(&s, b, p, int64_t(bytes.size()), progress, false);
  else if (ext == ".gif") ReadGIFStream(&s, b, images, p, progress, false);
  else if (ext == ".pcx") ReadPCXStream(&s, b, p, int64_t(bytes.size()), progress, false);
  else if (ext == ".tif") ReadTIFFStream(b, &s, count, p, progress, false);
  return !abort;
}

class ViewerIOTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form = new TForm(nullptr);
    form->SetBounds(0, 0, 300, 200);
    view = new lib::TVistrel(form);
    view->SetParent(form);
    view->SetBounds(0, 0, 120, 100);
    dir = std::string(VL_BUILD_DIR) + "/corvelolib_" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override {
    FreeAndNil(form);
    fs::remove_all(dir);
  }
  std::string Path(const std::string& name) const { return dir + "/" + name; }
  // LoadFromFile's message, or "" when it read.
  std::string Load(const std::string& name) {
    try {
      view->LoadFromFile(Path(name));
    } catch (const EInvalidGraphic& e) {
      return e.Message();
    }
    return "";
  }

  TForm* form = nullptr;
  lib::TVistrel* view = nullptr;
  std::string dir;
};

struct TBadFile {
  std::string Name;  // its extension chooses the reader
  std::vector<uint8_t> Bytes;
  std::string ReaderMessage;  // empty: no reader of the viewer's own (icons, metafiles)
  std::string IOMessage;
  bool Coders = false;  // the test LZW coders installed
  int Page = 0;
};

TEST_F(ViewerIOTest, EveryUnreadableFileRaisesItsMessageInTheOrderOfTheChecks) {
  std::string text;
  for (int i = 0; i < 20; ++i) text += "This is a text file, not a picture.\n";
  const std::vector<uint8_t> txt(text.begin(), text.end());

  TBitmap stripes;
  Stripes(&stripes, 40, 30);
  const std::vector<uint8_t> gif = Gif(&stripes, 4);
  const std::vector<uint8_t> gifTable(gif.begin(), gif.begin() + 40);  // inside the colour table
  // An image larger than its data can fill (which the editor's codec reports first), and a
  // file without an image.
  std::vector<uint8_t> gifLarge = gif;
  const size_t descriptor = 13 + 16 * 3 + 8;
  ASSERT_EQ(gifLarge[descriptor], 0x2C);
  for (size_t at : {descriptor + 5, descriptor + 7}) gifLarge[at] = 4000 & 0xFF, gifLarge[at + 1] = 4000 >> 8;
  std::vector<uint8_t> gifEmpty(gif.begin(), gif.begin() + 13 + 16 * 3);
  gifEmpty.push_back(0x3B);
  const std::vector<uint8_t> rgb(3 * 4 * 2, 7);
  const std::string tiffFile = Data("tiff/rgb_none_le.tif");
  std::vector<uint8_t> png = ReadFileBytes(Data("pngsuite/basn2c08.png"));
  png[png.size() / 2] ^= 0x55;  // a byte of the image data that its checksum no longer matches

  TWmfBuilder w;
  w.Rectangle(0, 0, 10, 10);
  const std::vector<uint8_t> wmf = w.Build(0, 0, 100, 50, 96);

  const std::vector<TBadFile> files = {
      {"text.jpg", txt, Format("Unrecognized JPeg - JPEG error #%d", JERR_NO_SOI), "unrecognized JPEG"},
      {"cut.jpg", Half(Data("jpegpng/photo444.jpg")), Format("Unrecognized JPeg - JPEG error #%d", JERR_INPUT_EOF),
       "unrecognized JPEG"},
      {"text.png", txt, "Unrecognized PNG", "unrecognized PNG"},
      {"cut.png", Half(Data("pngsuite/basn2c08.png")), "Unrecognized PNG", "unrecognized PNG"},
      {"crc.png", png, "Unrecognized PNG", "unrecognized PNG"},
      {"text.bmp", txt, "unrecognized BMP", "unrecognized BMP"},
      {"cut.bmp", Half(Data("bmp/im_v3_24.bmp")), "unrecognized BMP", "unrecognized BMP"},
      {"text.gif", txt, "unrecognized GIF", "unrecognized GIF : unrecognized GIF"},
      {"nocoder.gif", gif, "LZW decompressor not found", "LZW decompressor not found : unrecognized GIF"},
      // The coder is looked for once the image is reached, before its data are.
      {"large.gif", gifLarge, "LZW decompressor not found", "LZW decompressor not found : unrecognized GIF"},
      {"empty.gif", gifEmpty, "unrecognized GIF", "unrecognized GIF : unrecognized GIF"},
      {"cut.gif", gifTable, "unrecognized GIF", "unrecognized GIF : unrecognized GIF", true},
      {"text.pcx", txt, "unrecognized PCX", "unrecognized PCX"},
      {"planes4.pcx", ReadFileBytes(Data("pcxgif/nb_16planar.pcx")), "unrecognized PCX", "unrecognized PCX"},
      {"cut.pcx", Half(Data("pcxgif/im_24.pcx")), "unrecognized PCX", "unrecognized PCX"},
      {"text.tif", txt, "unrecognized TIFF", "unrecognized TIFF : unrecognized TIFF"},
      // BitsPerSample is checked before the coder, the page before both.
      {"bits.tif", Tiff(true, 4, 2, {8, 8, 16}, 5, 2, rgb), "Invalid TIFF stream",
       "Invalid TIFF stream : unrecognized TIFF"},
      {"lzw.tif", Tiff(true, 4, 2, {8, 8, 8}, 5, 2, rgb), "LZW Decompressor not found",
       "LZW Decompressor not found : unrecognized TIFF"},
      {"page.tif", Tiff(false, 4, 2, {8, 8, 16}, 5, 2, rgb), "Invalid TIFF stream",
       "Invalid TIFF stream : unrecognized TIFF", false, 1},
      {"cut.tif", Cut(tiffFile, 12), "Invalid TIFF stream", "Invalid TIFF stream : unrecognized TIFF"},
      {"text.ico", txt, "", "unrecognized ICO"},
      {"cut.ico", Half(Data("pcxgif/hand_24.ico")), "", "unrecognized ICO"},
      {"text.cur", txt, "", "unrecognized CUR"},
      {"text.wmf", txt, "", "unrecognized WMF or EMF"},
      {"cut.emf", Half(Data("pcxgif/hand_24.ico")), "", "unrecognized WMF or EMF"},
      {"cut.wmf", std::vector<uint8_t>(wmf.begin(), wmf.begin() + 30), "", "unrecognized WMF or EMF"},
  };
  for (const TBadFile& f : files) {
    SCOPED_TRACE(f.Name);
    ASSERT_FALSE(f.Bytes.empty());
    auto setUp = [&](auto& p) {
      p.GIFLZWDecompress = f.Coders ? TestGIFLZWDecode : nullptr;
      p.TIFFLZWDecompress = f.Coders ? tifftest::TestLZWDecode : nullptr;
      p.TIFFImageIndex = f.Page;
    };
    if (!f.ReaderMessage.empty()) {
      TBitmap b;
      lib::TIOParamsVals p(nullptr);
      setUp(p);
      EXPECT_EQ(ViewerRead(Ext(f.Name), f.Bytes, &b, p), f.ReaderMessage);
    }
    WriteFileBytes(Path(f.Name), f.Bytes);
    setUp(*view->IOParams());
    EXPECT_EQ(Load(f.Name), f.IOMessage);
  }

  // The GIF without a coder has its screen and image in the parameters.
  view->IOParams()->GIFLZWDecompress = nullptr;
  EXPECT_EQ(Load("nocoder.gif"), "LZW decompressor not found : unrecognized GIF");
  EXPECT_EQ(view->IOParams()->GIFWinWidth, 40);
  EXPECT_EQ(view->IOParams()->Width, 40);
  EXPECT_EQ(view->IOParams()->Height, 30);

  // A file that can't be opened: the JPEG, PNG and TIFF loaders let the stream's error out,
  // the others say what they say; GIF puts the stream's message in front.
  EXPECT_THROW(view->LoadFromFile(Path("missing.jpg")), EFOpenError);
  EXPECT_THROW(view->LoadFromFile(Path("missing.tif")), EFOpenError);
  EXPECT_EQ(Load("missing.bmp"), "unrecognized BMP");
  EXPECT_EQ(Load("missing.pcx"), "unrecognized PCX");
  EXPECT_EQ(Load("missing.ico"), "unrecognized ICO");
  EXPECT_EQ(Load("missing.gif"), Format(SFOpenError, Path("missing.gif").c_str()) + " : unrecognized GIF");

  // Another extension reads nothing and raises nothing.
  WriteFileBytes(Path("a.bmp"), ReadFileBytes(Data("bmp/im_v3_24.bmp")));
  ASSERT_EQ(Load("a.bmp"), "");
  const int width = view->Bitmap()->Width();
  WriteFileBytes(Path("text.xyz"), txt);
  EXPECT_EQ(Load("text.xyz"), "");
  EXPECT_EQ(view->IOParams()->FileType, 0);
  EXPECT_EQ(view->IOParams()->FileName, "");
  EXPECT_EQ(view->Bitmap()->Width(), width);
}

TEST_F(ViewerIOTest, APCXThatCantBeOpenedStillNamesItself) {
  WriteFileBytes(Path("a.bmp"), ReadFileBytes(Data("bmp/im_v3_24.bmp")));
  ASSERT_EQ(Load("a.bmp"), "");
  EXPECT_EQ(Load("missing.pcx"), "unrecognized PCX");
  EXPECT_EQ(view->IOParams()->FileName, Path("missing.pcx"));
  EXPECT_EQ(view->IOParams()->FileType, 4);
}

TEST(ViewerReaders, GiveTheEditorsPixelsAndParameters) {
  std::vector<std::string> files;
  for (const char* folder : {"bmp", "jpegpng", "pcxgif", "tiff", "quillon"})
    for (const auto& e : fs::directory_iterator(Data(folder))) files.push_back(e.path().string());
  for (const char* folder : {"bmpsuite/g", "bmpsuite/q", "pngsuite"})
    for (const auto& e : fs::directory_iterator(Data(folder))) files.push_back(e.path().string());
  std::sort(files.begin(), files.end());
  const std::set<std::string> readable = {".jpg", ".png", ".bmp", ".gif", ".pcx", ".tif"};
  int compared = 0, inverted = 0, fourPlanes = 0, failedBoth = 0;
  for (const std::string& file : files) {
    const std::string ext = Ext(file);
    if (!readable.count(ext)) continue;
    SCOPED_TRACE(file);
    const std::vector<uint8_t> bytes = ReadFileBytes(file);
    TBitmap editor, viewer;
    TIOParamsVals ep(nullptr);
    lib::TIOParamsVals vp(nullptr);
    ep.GIFLZWDecompress = vp.GIFLZWDecompress = TestGIFLZWDecode;
    ep.TIFFLZWDecompress = vp.TIFFLZWDecompress = tifftest::TestLZWDecode;
    // The editor at full size; the viewer knows no other.
    ep.JPEGScale = 1;
    const bool read = EditorRead(ext, bytes, &editor, ep);
    const std::string message = ViewerRead(ext, bytes, &viewer, vp);
    if (ext == ".pcx" && bytes.size() > 65 && bytes[65] == 4) {
      EXPECT_TRUE(read);
      EXPECT_EQ(message, "unrecognized PCX");
      ++fourPlanes;
      continue;
    }
    EXPECT_EQ(read, message.empty()) << message;
    if (!read) {
      ++failedBoth;
      continue;
    }
    // A 1-bit BMP keeps its bits where the editor turns white, black into black, white.
    const TRGB white{255, 255, 255}, black{0, 0, 0};
    const bool invert = ext == ".bmp" && editor.PixelFormat() == pf1bit && ep.ColorMapCount == 2 &&
                        ep.ColorMap[0] == white && ep.ColorMap[1] == black;
    inverted += invert;
    EXPECT_EQ(Difference(&editor, &viewer, invert), "");
    EXPECT_EQ(vp.Width, ep.Width);
    EXPECT_EQ(vp.Height, ep.Height);
    EXPECT_EQ(vp.BitsPerSample, ep.BitsPerSample);
    EXPECT_EQ(vp.SamplesPerPixel, ep.SamplesPerPixel);
    EXPECT_EQ(vp.DpiX, ep.DpiX);
    ASSERT_EQ(vp.ColorMapCount, ep.ColorMapCount);
    for (int i = 0; i < vp.ColorMapCount; ++i) EXPECT_EQ(vp.ColorMap[i], ep.ColorMap[i]);
    ++compared;
  }
  EXPECT_GT(compared, 100);
  EXPECT_GE(inverted, 1);
  EXPECT_EQ(fourPlanes, 1);
  EXPECT_GE(failedBoth, 1);

  // A GIF of two colours, red and blue, is a 1-bit picture: 1 where the index is 1.
  TBitmap stripes;
  Stripes(&stripes, 13, 5);
  std::vector<uint8_t> gif = Gif(&stripes, 1);
  const uint8_t table[6] = {255, 0, 0, 0, 0, 255};
  std::copy(table, table + 6, gif.begin() + 13);
  TBitmap editor, viewer;
  TIOParamsVals ep(nullptr);
  lib::TIOParamsVals vp(nullptr);
  ep.GIFLZWDecompress = vp.GIFLZWDecompress = TestGIFLZWDecode;
  ASSERT_TRUE(EditorRead(".gif", gif, &editor, ep));
  ASSERT_EQ(ViewerRead(".gif", gif, &viewer, vp), "");
  ASSERT_EQ(editor.PixelFormat(), pf24bit);
  ASSERT_EQ(viewer.PixelFormat(), pf1bit);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 13; ++x)
      EXPECT_EQ(bool(viewer.ScanLine(y)[x >> 3] & (0x80 >> (x & 7))), Pixel(&editor, x, y).B == 255) << x << ", " << y;
}

TEST_F(ViewerIOTest, IconsAndMetafilesAtTheViewersSizes) {
  const TColor background = RGB(10, 20, 30);
  const TRGB bg{30, 20, 10}, red{0, 0, 255}, green{0, 255, 0};
  view->SetBackground(background);
  TBitmap* b = view->Bitmap();
  lib::TIOParamsVals* p = view->IOParams();

  // The image of the size asked for, its mask over the background; else the nearest image,
  // stretched.
  WriteFileBytes(Path("two.ico"), Icon({{32, green, false}, {16, red, true}}));
  ASSERT_EQ(Load("two.ico"), "");
  ASSERT_EQ(b->Width(), 16);
  ASSERT_EQ(b->Height(), 16);
  EXPECT_EQ(b->PixelFormat(), pf24bit);
  EXPECT_EQ(Pixel(b, 0, 0), bg);
  EXPECT_EQ(Pixel(b, 7, 15), bg);
  EXPECT_EQ(Pixel(b, 8, 0), red);
  EXPECT_EQ(p->FileType, ftICO);
  EXPECT_EQ(p->BitsPerSample, 8);
  EXPECT_EQ(p->SamplesPerPixel, 3);
  EXPECT_EQ(p->Width, 16);
  EXPECT_EQ(p->ColorMapCount, 0);
  p->ICOWidth = p->ICOHeight = 30;
  ASSERT_EQ(Load("two.ico"), "");
  ASSERT_EQ(b->Width(), 30);
  EXPECT_EQ(Pixel(b, 0, 0), green);
  p->ICOWidth = p->ICOHeight = 8;
  ASSERT_EQ(Load("two.ico"), "");
  ASSERT_EQ(b->Width(), 8);
  EXPECT_EQ(Pixel(b, 3, 3), bg);
  EXPECT_EQ(Pixel(b, 4, 3), red);

  // The project's fixtures at the default sizes: a 20 x 12 icon, a cursor of two sizes.
  p->ICOWidth = p->ICOHeight = 16;
  WriteFileBytes(Path("hand.ico"), ReadFileBytes(Data("pcxgif/hand_24.ico")));
  ASSERT_EQ(Load("hand.ico"), "");
  EXPECT_EQ(b->Width(), 16);
  EXPECT_EQ(b->Height(), 16);
  WriteFileBytes(Path("im.CUR"), ReadFileBytes(Data("pcxgif/im.cur")));
  ASSERT_EQ(Load("im.CUR"), "");
  EXPECT_EQ(b->Width(), 16);
  EXPECT_EQ(p->FileType, ftCUR);

  // A 100 x 50 metafile: 99 x 49 pixels, the background under the drawing.
  TWmfBuilder w;
  w.CreateBrush(0, 255, 0, 0);
  w.Select(0);
  w.CreatePen(5, 0, 0, 0, 0);
  w.Select(1);
  w.Rectangle(0, 0, 50, 25);
  WriteFileBytes(Path("m.wmf"), w.Build(0, 0, 100, 50, 96));
  ASSERT_EQ(Load("m.wmf"), "");
  EXPECT_EQ(b->Width(), 99);
  EXPECT_EQ(b->Height(), 49);
  EXPECT_EQ(Pixel(b, 10, 10), red);
  EXPECT_EQ(Pixel(b, 60, 30), bg);
  EXPECT_EQ(p->FileType, ftWMF);
  EXPECT_EQ(p->Width, 99);
  EXPECT_EQ(view->DpiX(), ScreenPixelsPerInch());

  // ".DIB" is the BMP it holds; its 1-bit picture becomes 24 bits whatever NColors is given.
  const std::vector<uint8_t> bmp = ReadFileBytes(Data("bmpsuite/g/pal1wb.bmp"));
  WriteFileBytes(Path("a.DIB"), bmp);
  ASSERT_EQ(Load("a.DIB"), "");
  EXPECT_EQ(p->FileType, ftBMP);
  TBitmap direct;
  lib::TIOParamsVals dp(nullptr);
  ASSERT_EQ(ViewerRead(".bmp", bmp, &direct, dp), "");
  EXPECT_EQ(Difference(b, &direct), "");
  ASSERT_EQ(b->PixelFormat(), pf1bit);
  view->SetNColors(lib::nc8bit);
  EXPECT_EQ(view->NColors(), lib::nc24bit);
  EXPECT_EQ(b->PixelFormat(), pf24bit);

  // A progress handler that sets the abort flag ends the read without an exception.
  int calls = 0;
  view->SetOnProgress([&](TObject* sender, int) {
    ++calls;
    static_cast<lib::TVistrelIO*>(sender)->SetAborting(true);
  });
  WriteFileBytes(Path("a.bmp"), ReadFileBytes(Data("bmp/im_v3_24.bmp")));
  EXPECT_EQ(Load("a.bmp"), "");
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(p->FileType, ftBMP);
  view->SetOnProgress(nullptr);

  // Straight into an image control.
  auto* image = new TImage(form);
  lib::TVistrelIO io(form);
  io.SetAttachedTImage(image);
  io.LoadFromFile(Path("a.bmp"));
  EXPECT_EQ(image->Picture()->Bitmap()->Width(), io.Params()->Width);
  EXPECT_GT(image->Picture()->Bitmap()->Width(), 1);
}

}  // namespace
