// Frames of an indexed GIF take only the graphic control block written before them.
#include <cstring>
#include <vector>

#include "lzw_coder.h"
#include "support.h"
#include "vistrel/codecs/gif.h"

using namespace pcxgif;

namespace {

// A one-image GIF of the test coder, transparent or not.
std::vector<uint8_t> OneImage(TBitmap& b, bool transparent) {
  TIOParamsVals p(nullptr);
  p.BitsPerSample = 2;
  p.GIFTransparent = transparent;
  p.GIFLZWCompress = TestGIFLZWEncode;
  TTestProgress pr;
  TMemoryStream s;
  WriteGIFStream(&s, &b, p, pr.P);
  EXPECT_FALSE(pr.Abort);
  const auto* bytes = static_cast<const uint8_t*>(s.Memory());
  return std::vector<uint8_t>(bytes, bytes + s.Size());
}

TEST(GIFIndex, AFrameWithoutControlBlockIsOpaqueAfterATransparentOne) {
  TBitmap b;
  Pattern24(b, 6, 4);
  std::vector<uint8_t> file = OneImage(b, true);
  file.pop_back();  // the trailer
  const std::vector<uint8_t> second = OneImage(b, false);
  const size_t head = 13 + 3 * (size_t(2) << (second[10] & 7));
  ASSERT_EQ(second[head], 0x21);
  ASSERT_EQ(second[head + 1], 0xF9);
  // The second frame's descriptor and data, without its control block.
  file.insert(file.end(), second.begin() + long(head) + 8, second.end());

  TReadOnlyMemoryStream s(file.data(), int64_t(file.size()));
  TGIFImageIndex index;
  GIFIndexStream(&s, index);
  ASSERT_EQ(index.Images.size(), 2u);
  for (int i : {0, 1}) {
    TIOParamsVals p(nullptr);
    p.GIFLZWDecompress = TestGIFLZWDecode;
    TBitmap got;
    TTestProgress pr;
    ReadGIFImage(&s, index, i, &got, p, pr.P);
    ASSERT_FALSE(pr.Abort) << i;
    EXPECT_EQ(got.Width(), 6);
    EXPECT_EQ(p.GIFTransparent, i == 0) << "frame " << i;
  }
}

}  // namespace
