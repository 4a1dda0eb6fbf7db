// Helpers of the multi-image tests: a form to hold the view, reference pictures, and small
// AVI files built byte by byte.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/gui/controls.h"
#include "vistrel/io/vistrelmview.h"

namespace mviewtest {

inline std::string Data(const std::string& name) { return std::string(VL_TESTDATA) + "/mview/" + name; }

inline std::vector<uint8_t> ReadFileBytes(const std::string& file) {
  std::ifstream f(file, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

inline std::string WriteTemp(const std::vector<uint8_t>& bytes, const std::string& ext) {
  static int n = 0;
  const std::string name =
      std::string(VL_BUILD_DIR) + "/mview_tmp_" + std::to_string(::getpid()) + "_" + std::to_string(n++) + ext;
  std::ofstream(name, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return name;
}

// Binary PPM (P6, maxval 255): red, green, blue.
struct TPpm {
  int Width = 0, Height = 0;
  std::vector<uint8_t> Rgb;
};
inline TPpm ReadPpm(const std::string& file) {
  TPpm p;
  std::ifstream f(file, std::ios::binary);
  std::string magic;
  int maxval = 0;
  f >> magic >> p.Width >> p.Height >> maxval;
  f.get();
  if (magic != "P6" || maxval != 255 || !f) return TPpm{};
  p.Rgb.resize(size_t(p.Width) * size_t(p.Height) * 3);
  f.read(reinterpret_cast<char*>(p.Rgb.data()), std::streamsize(p.Rgb.size()));
  return p;
}

// Pixels that differ between a 24-bit bitmap and a reference (-1 when the sizes differ).
inline int64_t Differences(TBitmap* b, const TPpm& ref) {
  if (!b || b->Width() != ref.Width || b->Height() != ref.Height || b->PixelFormat() != pf24bit) return -1;
  int64_t n = 0;
  for (int y = 0; y < ref.Height; ++y) {
    const uint8_t* row = b->ScanLine(y);
    for (int x = 0; x < ref.Width; ++x) {
      const uint8_t* r = ref.Rgb.data() + (size_t(y) * ref.Width + x) * 3;
      if (row[3 * x + 2] != r[0] || row[3 * x + 1] != r[1] || row[3 * x] != r[2]) ++n;
    }
  }
  return n;
}

inline TColor PixelOf(TBitmap* b, int x, int y) {
  if (x < 0 || y < 0 || x >= b->Width() || y >= b->Height()) return -1;
  const uint8_t* p = b->ScanLine(y) + 3 * x;
  return RGB(p[2], p[1], p[0]);
}

inline void Fill(TBitmap& b, int w, int h, TColor c) {
  b.SetPixelFormat(pf24bit);
  b.SetSize(w, h);
  const TRGB t = ColorToTriple(c);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) std::memcpy(b.ScanLine(y) + 3 * x, &t, 3);
}

class MViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form = new TForm(nullptr);
    form->SetBounds(0, 0, 900, 700);
  }
  void TearDown() override { FreeAndNil(form); }

  // A borderless view on the form: the client area is the whole control.
  TVistrelMView* MakeView(int w, int h) {
    auto* v = new TVistrelMView(form);
    v->SetParent(form);
    v->SetBorderStyle(bsNone);
    v->SetBounds(0, 0, w, h);
    v->Update();
    return v;
  }
  // Items of one colour each (w x h pictures).
  static void AddItems(TVistrelMView* v, const std::vector<TColor>& colours, int w = 20, int h = 10) {
    for (TColor c : colours) {
      v->InsertImage(v->ImageCount());
      TBitmap b;
      Fill(b, w, h, c);
      v->SetImage(v->ImageCount() - 1, &b);
    }
  }
  // The colour of the selected picture's first pixel; -1 without one.
  static TColor SelectedColour(TVistrelMView* v) {
    TBitmap* b = v->GetBitmap();
    return b ? PixelOf(b, 0, 0) : -1;
  }

  TForm* form = nullptr;
};

// An AVI file built chunk by chunk.
struct TAviBuilder {
  std::vector<uint8_t> Bytes;
  std::vector<size_t> Open;  // offsets of the size fields of open lists

  void U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) Bytes.push_back(uint8_t(v >> (8 * i)));
  }
  void U16(uint16_t v) {
    Bytes.push_back(uint8_t(v));
    Bytes.push_back(uint8_t(v >> 8));
  }
  void Code(const char* c) { Bytes.insert(Bytes.end(), c, c + 4); }
  void BeginList(const char* kind, const char* type) {
    Code(kind);
    Open.push_back(Bytes.size());
    U32(0);
    Code(type);
  }
  void EndList() {
    const size_t at = Open.back();
    Open.pop_back();
    const uint32_t size = uint32_t(Bytes.size() - at - 4);
    for (int i = 0; i < 4; ++i) Bytes[at + i] = uint8_t(size >> (8 * i));
  }
  // A chunk whose size field says size (the bytes given may be fewer).
  void Chunk(const char* id, const std::vector<uint8_t>& data, int64_t size = -1) {
    Code(id);
    U32(uint32_t(size < 0 ? data.size() : size));
    Bytes.insert(Bytes.end(), data.begin(), data.end());
    if (data.size() & 1) Bytes.push_back(0);
  }
  // Main header, one stream header and format: width x height, bits, compression, the colour
  // table entries (blue, green, red, 0) after the header.
  void Headers(int32_t width, int32_t height, uint16_t bits, uint32_t compression, uint32_t rate, uint32_t scale,
               uint32_t length, uint32_t usPerFrame, const std::vector<uint8_t>& table = {}) {
    BeginList("LIST", "hdrl");
    std::vector<uint8_t> avih(56, 0);
    for (int i = 0; i < 4; ++i) avih[size_t(i)] = uint8_t(usPerFrame >> (8 * i));
    Chunk("avih", avih);
    BeginList("LIST", "strl");
    TAviBuilder h;
    h.Code("vids");
    h.U32(0);
    h.U32(0);
    h.U16(0);
    h.U16(0);
    h.U32(0);
    h.U32(scale);
    h.U32(rate);
    h.U32(0);
    h.U32(length);
    h.Bytes.resize(56, 0);
    Chunk("strh", h.Bytes);
    TAviBuilder f;
    f.U32(40);
    f.U32(uint32_t(width));
    f.U32(uint32_t(height));
    f.U16(1);
    f.U16(bits);
    f.U32(compression);
    f.U32(0);
    f.U32(0);
    f.U32(0);
    f.U32(uint32_t(table.size() / 4));
    f.U32(0);
    f.Bytes.insert(f.Bytes.end(), table.begin(), table.end());
    Chunk("strf", f.Bytes);
    EndList();
    EndList();
  }
};

}  // namespace mviewtest
