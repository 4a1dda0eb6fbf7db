// The contract every codec keeps, checked over one table of rows: the caller's progress handler
// raises through the codec, bad data ends with the abort flag, a reason and a cause, every
// prefix of a good file is refused without an exception (or read through where the format's
// rules read damage through), and an image index past the last image aborts.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "pcxgif/lzw_coder.cpp"
#include "platform/core/core.h"
#include "tiff/tiff_support.cpp"
#include "vistrel/codecs/bmp.h"
#include "vistrel/codecs/gif.h"
#include "vistrel/codecs/ico.h"
#include "vistrel/codecs/jpeg.h"
#include "vistrel/codecs/pcx.h"
#include "vistrel/codecs/png.h"
#include "vistrel/codecs/tiff.h"
#include "vistrel/io/metafile.h"
#include "io/metafile_builders.h"

namespace {

using TBytes = std::vector<uint8_t>;
using TCall = std::function<void(TStream*, TBitmap*, TIOParamsVals&, TFilterProgress&)>;

// What a progress handler of the caller raises.
struct THandlerError : std::runtime_error {
  THandlerError() : std::runtime_error("from the handler") {}
};

struct TRow {
  const char* Name;
  std::function<TBytes()> Good;
  TCall Read;
  TCall Write;                                     // nullptr: no writer
  std::function<void(TIOParamsVals&, int)> Index;  // nullptr: one image a file
  bool Reports;                                    // the reader calls the progress handler
  std::function<void(TBytes&)> Spoil;              // bad data ...
  TVLCause SpoilCause;                             // ... and the cause it gives
  // Prefixes of n of size bytes that the format's rules read through.
  std::function<bool(size_t n, size_t size)> ReadsThrough;
};

struct TOutcome {
  bool Abort = false;
  std::string Reason;
  TVLCause Cause = vcNone;
};

TOutcome RunCodec(const TCall& call, TStream* s, TBitmap* b, TIOParamsVals& p, TProgressEvent handler = nullptr) {
  TOutcome o;
  TFilterProgress pr;
  pr.AbortFlag = &o.Abort;
  pr.OnProgress = handler;
  call(s, b, p, pr);
  o.Reason = pr.AbortReason;
  o.Cause = pr.AbortCause;
  return o;
}

TOutcome ReadBytes(const TRow& row, const uint8_t* data, size_t size, TProgressEvent handler = nullptr) {
  TReadOnlyMemoryStream s(data, int64_t(size));
  TBitmap b;
  TIOParamsVals p(nullptr);
  return RunCodec(row.Read, &s, &b, p, handler);
}

// A 24 x 16 picture of smooth colour with a few sharp edges.
void Picture(TBitmap& b) {
  b.SetPixelFormat(pf24bit);
  b.SetSize(24, 16);
  for (int y = 0; y < 16; ++y) {
    uint8_t* r = b.ScanLine(y);
    for (int x = 0; x < 24; ++x) {
      r[x * 3] = uint8_t(x * 10);
      r[x * 3 + 1] = uint8_t(y * 15);
      r[x * 3 + 2] = uint8_t((x + y) & 4 ? 255 : 20);
    }
  }
}

TBytes Written(const TCall& write, const std::function<void(TIOParamsVals&)>& set = nullptr) {
  TBitmap b;
  Picture(b);
  TIOParamsVals p(nullptr);
  if (set) set(p);
  TMemoryStream m;
  const TOutcome o = RunCodec(write, &m, &b, p);
  EXPECT_FALSE(o.Abort) << o.Reason;
  const auto* bytes = static_cast<const uint8_t*>(m.Memory());
  return TBytes(bytes, bytes + m.Size());
}

// An icon or cursor of one 8 x 8 24-bit image: directory, info header, colour rows, mask.
constexpr size_t kIconColourEnd = 6 + 16 + 40 + 8 * 24;
TBytes Icon(int type) {
  TBytesOut o;
  o.U16(0), o.U16(type), o.U16(1);
  o.U8(8), o.U8(8), o.U8(0), o.U8(0), o.U16(type == 2 ? 3 : 1), o.U16(type == 2 ? 4 : 24);
  o.U32(40 + 8 * 24 + 8 * 4), o.U32(22);
  o.U32(40), o.U32(8), o.U32(16), o.U16(1), o.U16(24);
  for (int i = 0; i < 6; ++i) o.U32(0);
  for (int i = 0; i < 8 * 24; ++i) o.U8(i * 7);
  for (int i = 0; i < 8 * 4; ++i) o.U8(0);
  return o.B;
}

TBytes Wmf() {
  TWmfBuilder w;
  w.CreateBrush(0, 200, 20, 20);
  w.Select(0);
  w.Rectangle(10, 10, 60, 40);
  return w.Build(0, 0, 100, 50, 96);
}

TBytes Emf() {
  TEmfBuilder e;
  return e.Build(2540, 2540);
}

void ReadMeta(TStream* s, TBitmap*, TIOParamsVals&, TFilterProgress& pr) {
  TVLMetafile m;
  VLReadMetafile(s, m, pr);
}

TCall Tiff(int compression) {
  (void)compression;
  return [](TStream* s, TBitmap* b, TIOParamsVals& p, TFilterProgress& pr) {
    p.TIFFLZWDecompress = tifftest::TestLZWDecode;
    int count = 0;
    ReadTIFFStream(b, s, count, p, pr, false);
  };
}

TBytes TiffFile(int compression) {
  return Written(
      [](TStream* s, TBitmap* b, TIOParamsVals& p, TFilterProgress& pr) { WriteTIFFStream(s, false, b, p, pr); },
      [compression](TIOParamsVals& p) {
        p.TIFFCompression = uint8_t(compression);
        p.TIFFLZWCompress = tifftest::TestLZWEncode;
        if (compression >= tpcHuffman && compression <= tpcGroup4) p.BitsPerSample = 1, p.SamplesPerPixel = 1;
      });
}

void SpoilFirst(TBytes& b) { b[0] ^= 0x5A; }
bool Never(size_t, size_t) { return false; }

std::vector<TRow> Rows() {
  std::vector<TRow> rows;
  const TCall readBMP = [](TStream* s, TBitmap* b, TIOParamsVals& p, TFilterProgress& pr) {
    ReadBMPStream(s, b, p, 0, pr, false);
  };
  const TCall writeBMP = WriteBMPStream;
  rows.push_back(
      {"BMP", [=] { return Written(writeBMP); }, readBMP, writeBMP, nullptr, true, SpoilFirst, vcNotFormat, Never});
  const auto ico = [](int type) {
    return [type](TStream* s, TBitmap* b, TIOParamsVals& p, TFilterProgress& pr) {
      if (type == 1) ReadICOStream(s, b, p, pr, false);
      else ReadCURStream(s, b, p, pr, false);
    };
  };
  // The colour bitmap alone is read: an icon cut in its mask reads through.
  const auto colourRead = [](size_t n, size_t) { return n >= kIconColourEnd; };
  rows.push_back({"ICO", [] { return Icon(1); }, ico(1), nullptr, [](TIOParamsVals& p, int i) { p.ICOImageIndex = i; },
                  false, [](TBytes& b) { b[2] = 7; }, vcNotFormat, colourRead});
  rows.push_back({"CUR", [] { return Icon(2); }, ico(2), nullptr, [](TIOParamsVals& p, int i) { p.CURImageIndex = i; },
                  false, [](TBytes& b) { b[2] = 7; }, vcNotFormat, colourRead});
  const TCall readPCX = [](TStream* s, TBitmap* b, TIOParamsVals& p, TFilterProgress& pr) {
    ReadPCXStream(s, b, p, s->Size(), pr, false);
  };
  const TCall writePCX = WritePCXStream;
  rows.push_back(
      {"PCX", [=] { return Written(writePCX); }, readPCX, writePCX, nullptr, true, SpoilFirst, vcNotFormat, Never});
  const TCall readGIF = [](TStream* s, TBitmap* b, TIOParamsVals& p, TFilterProgress& pr) {
    p.GIFLZWDecompress = TestGIFLZWDecode;
    int32_t count = 0;
    ReadGIFStream(s, b, count, p, pr, false);
  };
  const TCall writeGIF = [](TStream* s, TBitmap* b, TIOParamsVals& p, TFilterProgress& pr) {
    p.GIFLZWCompress = TestGIFLZWEncode;
    WriteGIFStream(s, b, p, pr);
  };
  // The coder hook's success is judged by the data it took: once one byte of the image's
  // data is there, what it decodes is shown (header, colour table, control extension and
  // descriptor come first, then the code size and the first block's length).
  rows.push_back({"GIF", [=] { return Written(writeGIF); }, readGIF, writeGIF,
                  [](TIOParamsVals& p, int i) { p.GIFImageIndex = i; }, true, SpoilFirst, vcNotFormat,
                  [](size_t n, size_t) { return n > 13 + 768 + 8 + 10 + 2; }});
  const TCall readJPEG = [](TStream* s, TBitmap* b, TIOParamsVals& p, TFilterProgress& pr) {
    LoadJpegFromStream(s, b, p, false, pr);
  };
  const TCall writeJPEG = SaveJpegToStream;
  rows.push_back(
      {"JPEG", [=] { return Written(writeJPEG); }, readJPEG, writeJPEG, nullptr, true, SpoilFirst, vcNotFormat, Never});
  const TCall readPNG = [](TStream* s, TBitmap* b, TIOParamsVals& p, TFilterProgress& pr) {
    LoadPngFromStream(s, b, p, false, pr);
  };
  const TCall writePNG = SavePngToStream;
  rows.push_back(
      {"PNG", [=] { return Written(writePNG); }, readPNG, writePNG, nullptr, true, SpoilFirst, vcNotFormat, Never});
  const TCall writeTIFF = [](TStream* s, TBitmap* b, TIOParamsVals& p, TFilterProgress& pr) {
    p.TIFFLZWCompress = tifftest::TestLZWEncode;
    WriteTIFFStream(s, false, b, p, pr);
  };
  // The IFD comes last; one cut only in its link to the next IFD has every entry.
  const auto linkCut = [](size_t n, size_t size) { return n + 4 >= size; };
  static const struct {
    const char* Name;
    int Compression;
  } kTiffs[] = {{"TIFF uncompressed", tpcNone},     {"TIFF Huffman", tpcHuffman}, {"TIFF Group 3", tpcGroup3},
                {"TIFF Group 3 2D", tpcGroup3TwoD}, {"TIFF Group 4", tpcGroup4},  {"TIFF LZW", tpcLZW},
                {"TIFF PackBits", tpcPackBits}};
  for (const auto& t : kTiffs) {
    const int c = t.Compression;
    rows.push_back({t.Name, [c] { return TiffFile(c); }, Tiff(c),
                    [c, writeTIFF](TStream* s, TBitmap* b, TIOParamsVals& p, TFilterProgress& pr) {
                      p.TIFFCompression = uint8_t(c);
                      writeTIFF(s, b, p, pr);
                    },
                    [](TIOParamsVals& p, int i) { p.TIFFImageIndex = i; }, true, SpoilFirst, vcNotFormat, linkCut});
  }
  rows.push_back({"WMF", Wmf, ReadMeta, nullptr, nullptr, false, SpoilFirst, vcNotFormat, Never});
  rows.push_back({"EMF", Emf, ReadMeta, nullptr, nullptr, false, [](TBytes& b) { b[40] ^= 0x5A; }, vcNotFormat, Never});
  return rows;
}

}  // namespace

TEST(CodecContract, TheHandlersExceptionLeavesEveryReaderAndWriter) {
  const TProgressEvent raise = [](TObject*, int) { throw THandlerError(); };
  for (const TRow& row : Rows()) {
    SCOPED_TRACE(row.Name);
    const TBytes good = row.Good();
    EXPECT_FALSE(ReadBytes(row, good.data(), good.size()).Abort);
    if (row.Reports) {
      EXPECT_THROW(ReadBytes(row, good.data(), good.size(), raise), THandlerError);
    }
    if (!row.Write) continue;
    TBitmap b;
    Picture(b);
    TIOParamsVals p(nullptr);
    TMemoryStream m;
    EXPECT_THROW(RunCodec(row.Write, &m, &b, p, raise), THandlerError);
  }
}

TEST(CodecContract, BadDataSetsTheAbortFlagWithAReasonAndACause) {
  for (const TRow& row : Rows()) {
    SCOPED_TRACE(row.Name);
    TBytes bad = row.Good();
    row.Spoil(bad);
    TOutcome o;
    EXPECT_NO_THROW(o = ReadBytes(row, bad.data(), bad.size()));
    EXPECT_TRUE(o.Abort);
    EXPECT_FALSE(o.Reason.empty());
    EXPECT_EQ(int(o.Cause), int(row.SpoilCause)) << o.Reason;
  }
}

TEST(CodecContract, EveryPrefixIsRefusedOrReadThroughByTheFormatsRules) {
  for (const TRow& row : Rows()) {
    SCOPED_TRACE(row.Name);
    const TBytes good = row.Good();
    for (size_t n = 0; n < good.size(); ++n) {
      TOutcome o;
      ASSERT_NO_THROW(o = ReadBytes(row, good.data(), n)) << n;
      if (row.ReadsThrough(n, good.size())) {
        EXPECT_FALSE(o.Abort) << n << " of " << good.size() << ": " << o.Reason;
      } else {
        EXPECT_TRUE(o.Abort) << n << " of " << good.size();
        EXPECT_NE(int(o.Cause), int(vcNone)) << n;
        EXPECT_FALSE(o.Reason.empty()) << n;
      }
    }
  }
}

TEST(CodecContract, AnIndexPastTheLastImageAborts) {
  for (const TRow& row : Rows()) {
    if (!row.Index) continue;
    SCOPED_TRACE(row.Name);
    const TBytes good = row.Good();
    TReadOnlyMemoryStream s(good.data(), int64_t(good.size()));
    TBitmap b;
    TIOParamsVals p(nullptr);
    row.Index(p, 1);
    const TOutcome o = RunCodec(row.Read, &s, &b, p);
    EXPECT_TRUE(o.Abort);
    EXPECT_EQ(int(o.Cause), int(vcNoImage)) << o.Reason;
  }
}
