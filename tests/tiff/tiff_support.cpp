#include "tests/tiff/tiff_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <unordered_map>

namespace tifftest {

void TPnm::Rgb(int x, int y, uint8_t& r, uint8_t& g, uint8_t& b) const {
  const uint8_t* p = Pixels.data() + (size_t(y) * Width + x) * Channels;
  if (Channels == 3) r = p[0], g = p[1], b = p[2];
  else r = g = b = p[0];
}

TPnm DecodePnm(const std::vector<uint8_t>& d) {
  TPnm pnm;
  size_t pos = 0;
  auto skip = [&] {
    for (;;) {
      while (pos < d.size() && isspace(d[pos])) ++pos;
      if (pos < d.size() && d[pos] == '#') {
        while (pos < d.size() && d[pos] != '\n') ++pos;
      } else {
        break;
      }
    }
  };
  auto number = [&] {
    skip();
    int v = 0;
    while (pos < d.size() && isdigit(d[pos])) v = v * 10 + (d[pos++] - '0');
    return v;
  };
  if (d.size() < 3 || d[0] != 'P') return pnm;
  char kind = char(d[1]);
  pos = 2;
  int w = number(), h = number();
  int maxv = kind == '4' ? 1 : number();
  ++pos;  // one white space
  if (kind == '4') {
    pnm.Channels = 1;
    pnm.Pixels.resize(size_t(w) * h);
    int rb = (w + 7) / 8;
    if (pos + size_t(rb) * h > d.size()) return TPnm();
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        pnm.Pixels[size_t(y) * w + x] = (d[pos + size_t(y) * rb + x / 8] & (0x80 >> (x & 7))) ? 0 : 255;
  } else if (kind == '5' || kind == '6') {
    pnm.Channels = kind == '5' ? 1 : 3;
    size_t n = size_t(w) * h * pnm.Channels;
    int bps = maxv > 255 ? 2 : 1;
    if (pos + n * bps > d.size()) return TPnm();
    pnm.Pixels.resize(n);
    for (size_t i = 0; i < n; ++i) pnm.Pixels[i] = bps == 2 ? d[pos + 2 * i] : uint8_t(d[pos + i] * 255 / maxv);
  } else {
    return pnm;
  }
  pnm.Width = w, pnm.Height = h;
  return pnm;
}

TPnm LoadPnm(const std::string& fileName) { return DecodePnm(ReadFileBytes(fileName)); }

std::string DataPath(const std::string& name) { return std::string(VL_TESTDATA) + "/tiff/" + name; }

std::vector<uint8_t> ReadFileBytes(const std::string& fileName) {
  std::ifstream f(fileName, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& fileName, const std::vector<uint8_t>& data) {
  std::ofstream f(fileName, std::ios::binary);
  f.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
}

void BitmapRgb(TBitmap* bmp, int x, int y, uint8_t& r, uint8_t& g, uint8_t& b) {
  const uint8_t* row = bmp->ScanLine(y);
  if (bmp->PixelFormat() == pf1bit) {
    r = g = b = (row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
  } else {
    b = row[x * 3], g = row[x * 3 + 1], r = row[x * 3 + 2];
  }
}

int64_t CountDiff(TBitmap* bmp, const TPnm& pnm, int tolerance) {
  if (bmp->Width() != pnm.Width || bmp->Height() != pnm.Height) return -1;
  int64_t n = 0;
  for (int y = 0; y < pnm.Height; ++y)
    for (int x = 0; x < pnm.Width; ++x) {
      uint8_t r, g, b, R, G, B;
      BitmapRgb(bmp, x, y, r, g, b);
      pnm.Rgb(x, y, R, G, B);
      if (std::abs(r - R) > tolerance || std::abs(g - G) > tolerance || std::abs(b - B) > tolerance) ++n;
    }
  return n;
}

// ---- LZW, codes of 9 to 12 bits, most significant bit first, early width change ----

namespace {

struct TDecState {
  const uint8_t* Data = nullptr;
  int64_t BitPos = 0;
  int Width = 9;
  int Next = 258;
  int Prev = -1;
  bool Ended = false;
  uint16_t Prefix[4096];
  uint8_t Suffix[4096];
  uint8_t First[4096];
  uint16_t Length[4096];
  std::vector<uint8_t> Out;  // decoded bytes not yet handed out
  size_t OutPos = 0;
  std::vector<uint8_t> Row;
  TDecState() {
    for (int i = 0; i < 256; ++i) Prefix[i] = 0, Suffix[i] = uint8_t(i), First[i] = uint8_t(i), Length[i] = 1;
  }
  int ReadCode() {
    int v = 0;
    for (int i = 0; i < Width; ++i, ++BitPos) v = (v << 1) | ((Data[BitPos >> 3] >> (7 - (BitPos & 7))) & 1);
    return v;
  }
  void Emit(int code) {
    size_t n = Length[code], at = Out.size();
    Out.resize(at + n);
    for (size_t i = n; i-- > 0;) {
      Out[at + i] = Suffix[code];
      code = Prefix[code];
    }
  }
  // Decodes one more code; false at the end or on bad data.
  bool Step() {
    if (Ended) return false;
    int code = ReadCode();
    if (code == 257) {
      Ended = true;
      return false;
    }
    if (code == 256) {
      Width = 9, Next = 258, Prev = -1;
      return true;
    }
    if (Prev < 0) {
      if (code > 255) return Ended = true, false;
      Emit(code);
      Prev = code;
      return true;
    }
    if (code > Next || Next >= 4096) return Ended = true, false;
    if (code == Next) {
      Prefix[Next] = uint16_t(Prev), Suffix[Next] = First[Prev], First[Next] = First[Prev];
      Length[Next] = uint16_t(Length[Prev] + 1);
      Emit(code);
    } else {
      Emit(code);
      Prefix[Next] = uint16_t(Prev), Suffix[Next] = First[code], First[Next] = First[Prev];
      Length[Next] = uint16_t(Length[Prev] + 1);
    }
    ++Next;
    if (Next == 511) Width = 10;
    else if (Next == 1023) Width = 11;
    else if (Next == 2047) Width = 12;
    Prev = code;
    return true;
  }
};

struct TEncState {
  std::unordered_map<uint32_t, uint16_t> Dict;
  int Prefix = -1;
  int Next = 258;
  int Width = 9;
  uint32_t Acc = 0;
  int Bits = 0;
  std::vector<uint8_t> Out;
  void Put(int code) {
    Acc = (Acc << Width) | uint32_t(code);
    Bits += Width;
    while (Bits >= 8) {
      Bits -= 8;
      Out.push_back(uint8_t(Acc >> Bits));
    }
    Acc &= (1u << Bits) - 1;
  }
  void Reset() {
    Dict.clear();
    Next = 258;
  }
};

}  // namespace

uint8_t* TestLZWDecode(const uint8_t* data, int32_t rowBytes, void*& state) {
  if (!data) {
    delete static_cast<TDecState*>(state);
    state = nullptr;
    return nullptr;
  }
  auto* s = static_cast<TDecState*>(state);
  if (!s) state = s = new TDecState, s->Data = data;
  while (s->Out.size() - s->OutPos < size_t(rowBytes))
    if (!s->Step()) return nullptr;
  s->Row.assign(s->Out.begin() + std::ptrdiff_t(s->OutPos), s->Out.begin() + std::ptrdiff_t(s->OutPos) + rowBytes);
  s->OutPos += size_t(rowBytes);
  if (s->OutPos > 65536) {
    s->Out.erase(s->Out.begin(), s->Out.begin() + std::ptrdiff_t(s->OutPos));
    s->OutPos = 0;
  }
  return s->Row.data();
}

void TestLZWEncode(const uint8_t* data, int32_t count, TStream* stream, void*& state) {
  auto* s = static_cast<TEncState*>(state);
  if (!s) {
    state = s = new TEncState;
    s->Put(256);
  }
  if (!data) {
    if (s->Prefix >= 0) s->Put(s->Prefix);
    // The decoder adds an entry for that code: its width may change before EOI.
    if (s->Prefix >= 0) {
      ++s->Next;
      if (s->Next == 512) s->Width = 10;
      else if (s->Next == 1024) s->Width = 11;
      else if (s->Next == 2048) s->Width = 12;
    }
    s->Put(257);
    if (s->Bits > 0) s->Out.push_back(uint8_t(s->Acc << (8 - s->Bits)));
    stream->WriteBuffer(s->Out.data(), int64_t(s->Out.size()));
    delete s;
    state = nullptr;
    return;
  }
  for (int32_t i = 0; i < count; ++i) {
    uint8_t c = data[i];
    if (s->Prefix < 0) {
      s->Prefix = c;
      continue;
    }
    uint32_t key = uint32_t(s->Prefix) << 8 | c;
    auto it = s->Dict.find(key);
    if (it != s->Dict.end()) {
      s->Prefix = it->second;
      continue;
    }
    s->Put(s->Prefix);
    s->Dict.emplace(key, uint16_t(s->Next++));
    if (s->Next == 512) s->Width = 10;
    else if (s->Next == 1024) s->Width = 11;
    else if (s->Next == 2048) s->Width = 12;
    if (s->Next >= 4094) {
      s->Put(256);
      s->Reset();
      s->Width = 9;
    }
    s->Prefix = c;
  }
  if (s->Out.size() > 4096) {
    stream->WriteBuffer(s->Out.data(), int64_t(s->Out.size()));
    s->Out.clear();
  }
}

bool RunTool(const std::string& command, std::string* output) {
  FILE* f = popen(("( " + command + " ) 2>&1").c_str(), "r");
  if (!f) return false;
  std::string out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  int rc = pclose(f);
  if (output) *output = out;
  return rc == 0;
}

bool HaveTool(const std::string& name) { return RunTool("command -v " + name + " >/dev/null"); }

std::string TempDir() {
  static std::string dir;
  if (dir.empty()) {
    char tmpl[] = "/tmp/vl_tiff_XXXXXX";
    char* d = mkdtemp(tmpl);
    dir = d ? d : "/tmp";
  }
  return dir;
}

}  // namespace tifftest
