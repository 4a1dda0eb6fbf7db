// Small writers of WMF and EMF records for the tests.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct TBytesOut {
  std::vector<uint8_t> B;
  void U8(int v) { B.push_back(uint8_t(v)); }
  void U16(int v) {
    U8(v & 0xFF);
    U8((v >> 8) & 0xFF);
  }
  void U32(int64_t v) {
    U16(int(v & 0xFFFF));
    U16(int((v >> 16) & 0xFFFF));
  }
  void Bytes(const std::vector<uint8_t>& v) { B.insert(B.end(), v.begin(), v.end()); }
};

// A packed DIB of 24-bit pixels given top-down as {b, g, r} triples; stored bottom-up.
inline std::vector<uint8_t> PackedDIB24(int w, int h, const std::vector<uint8_t>& bgrTopDown) {
  TBytesOut o;
  o.U32(40);
  o.U32(w);
  o.U32(h);
  o.U16(1);
  o.U16(24);
  for (int i = 0; i < 6; ++i) o.U32(0);
  int rowBytes = (w * 3 + 3) / 4 * 4;
  for (int y = h - 1; y >= 0; --y) {
    for (int x = 0; x < w * 3; ++x) o.U8(bgrTopDown[size_t(y * w * 3 + x)]);
    for (int p = w * 3; p < rowBytes; ++p) o.U8(0);
  }
  return o.B;
}

// A packed 1-bit DIB of w x h pixels, all of them colour 0 (black); white is colour 1.
inline std::vector<uint8_t> PackedDIB1(int w, int h) {
  TBytesOut o;
  o.U32(40);
  o.U32(w);
  o.U32(h);
  o.U16(1);
  o.U16(1);
  for (int i = 0; i < 6; ++i) o.U32(0);
  o.U32(0);
  o.U32(0xFFFFFF);
  o.B.resize(o.B.size() + size_t((w + 31) / 32 * 4) * size_t(h));
  return o.B;
}

// Placeable WMF: records are added as function + 16-bit parameter words.
struct TWmfBuilder {
  TBytesOut Body;
  int MaxRecord = 0;
  void Record(int fn, const std::vector<int>& words, const std::vector<uint8_t>& tail = {}) {
    int64_t size = 3 + int64_t(words.size()) + int64_t((tail.size() + 1) / 2);
    Body.U32(size);
    Body.U16(fn);
    for (int w : words) Body.U16(w);
    Body.Bytes(tail);
    if (tail.size() & 1) Body.U8(0);
    if (size > MaxRecord) MaxRecord = int(size);
  }
  static std::vector<int> Color(int r, int g, int b) { return {r | (g << 8), b}; }
  void CreatePen(int style, int width, int r, int g, int b) {
    std::vector<int> w{style, width, 0};
    for (int c : Color(r, g, b)) w.push_back(c);
    Record(0x02FA, w);
  }
  void CreateBrush(int style, int r, int g, int b, int hatch = 0) {
    std::vector<int> w{style};
    for (int c : Color(r, g, b)) w.push_back(c);
    w.push_back(hatch);
    Record(0x02FC, w);
  }
  void Select(int i) { Record(0x012D, {i}); }
  void Delete(int i) { Record(0x01F0, {i}); }
  void Rectangle(int l, int t, int r, int b) { Record(0x041B, {b, r, t, l}); }
  void Ellipse(int l, int t, int r, int b) { Record(0x0418, {b, r, t, l}); }
  void MoveTo(int x, int y) { Record(0x0214, {y, x}); }
  void LineTo(int x, int y) { Record(0x0213, {y, x}); }
  void Polygon(const std::vector<int>& xy) {
    std::vector<int> w{int(xy.size() / 2)};
    w.insert(w.end(), xy.begin(), xy.end());
    Record(0x0324, w);
  }
  void TextOut(int x, int y, const std::string& s) {
    std::vector<uint8_t> bytes(s.begin(), s.end());
    if (bytes.size() & 1) bytes.push_back(0);
    TBytesOut t;
    t.Bytes(bytes);
    t.U16(y);
    t.U16(x);
    Record(0x0521, {int(s.size())}, t.B);
  }
  void StretchDIB(int x, int y, int w, int h, int sw, int sh, const std::vector<uint8_t>& dib) {
    Record(0x0F43, {0x0020, 0x00CC, 0, sh, sw, 0, 0, h, w, y, x}, dib);
  }
  std::vector<uint8_t> Build(int left, int top, int right, int bottom, int inch) {
    TBytesOut f;
    f.U32(0x9AC6CDD7u);
    f.U16(0);
    f.U16(left);
    f.U16(top);
    f.U16(right);
    f.U16(bottom);
    f.U16(inch);
    f.U32(0);
    f.U16(0);  // checksum: not checked
    TBytesOut body = Body;
    body.U32(3);
    body.U16(0);  // end of file
    f.U16(1);
    f.U16(9);
    f.U16(0x300);
    f.U32(int64_t(9 + body.B.size() / 2));
    f.U16(4);
    f.U32(MaxRecord);
    f.U16(0);
    f.Bytes(body.B);
    return f.B;
  }
};

// EMF: records are type + 32-bit words (+ raw tail), sizes filled in.
struct TEmfBuilder {
  TBytesOut Body;
  int Count = 0;
  void Record(int type, const std::vector<int64_t>& dwords, const std::vector<uint8_t>& tail = {}) {
    size_t size = 8 + dwords.size() * 4 + (tail.size() + 3) / 4 * 4;
    Body.U32(type);
    Body.U32(int64_t(size));
    for (int64_t d : dwords) Body.U32(d);
    Body.Bytes(tail);
    for (size_t p = tail.size(); p % 4; ++p) Body.U8(0);
    ++Count;
  }
  static int64_t Color(int r, int g, int b) { return r | (g << 8) | (b << 16); }
  void CreatePen(int ih, int style, int width, int r, int g, int b) {
    Record(38, {ih, style, width, 0, Color(r, g, b)});
  }
  void CreateBrush(int ih, int style, int r, int g, int b) { Record(39, {ih, style, Color(r, g, b), 0}); }
  void Select(int64_t ih) { Record(37, {ih}); }
  void Rectangle(int l, int t, int r, int b) { Record(43, {l, t, r, b}); }
  void Ellipse(int l, int t, int r, int b) { Record(42, {l, t, r, b}); }
  void MoveTo(int x, int y) { Record(27, {x, y}); }
  void LineTo(int x, int y) { Record(54, {x, y}); }
  void Polygon16(const std::vector<int>& xy) {
    TBytesOut t;
    for (int v : xy) t.U16(v);
    Record(86, {0, 0, 0, 0, int64_t(xy.size() / 2)}, t.B);
  }
  // infoBytes: the info header and colour table in front of the rows.
  void StretchDIBits(int x, int y, int w, int h, int sw, int sh, const std::vector<uint8_t>& dib, int infoBytes = 40) {
    // Header 80 bytes, then the info header and the rows.
    const int64_t bmi = 80, cbBmi = infoBytes, bits = 80 + infoBytes, cbBits = int64_t(dib.size()) - infoBytes;
    Record(81, {0, 0, 0, 0, x, y, 0, 0, sw, sh, bmi, cbBmi, bits, cbBits, 0, 0x00CC0020, w, h}, dib);
  }
  // Frame in hundredths of a millimetre; reference device 960 x 960 pixels on 254 x 254 mm
  // (96 pixels per inch).
  std::vector<uint8_t> Build(int frameRight, int frameBottom) {
    TBytesOut f;
    TBytesOut body = Body;
    body.U32(14);
    body.U32(20);
    body.U32(0);
    body.U32(0);
    body.U32(20);
    const int64_t total = 88 + int64_t(body.B.size());
    f.U32(1);
    f.U32(88);
    for (int v : {0, 0, frameRight * 96 / 2540, frameBottom * 96 / 2540}) f.U32(v);
    for (int v : {0, 0, frameRight, frameBottom}) f.U32(v);
    f.U32(0x464D4520u);
    f.U32(0x10000);
    f.U32(total);
    f.U32(Count + 2);
    f.U16(4);
    f.U16(0);
    f.U32(0);
    f.U32(0);
    f.U32(0);
    f.U32(960);
    f.U32(960);
    f.U32(254);
    f.U32(254);
    f.Bytes(body.B);
    return f.B;
  }
};
