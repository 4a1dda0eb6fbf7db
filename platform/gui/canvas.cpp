#include "platform/gui/canvas.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/core/system.h"

using Spans = std::vector<std::pair<int, int>>;

namespace {

TTextMeasure gTextMeasure;

// Windows' MulDiv: the rounded quotient, halves away from zero.
int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  long long n = (long long)a * b;
  long long q = (std::llabs(n) * 2 + std::llabs(c)) / (2 * std::llabs((long long)c));
  return int(((n < 0) != (c < 0)) ? -q : q);
}

Spans IntersectSpans(const Spans& a, const Spans& b) {
  Spans r;
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    int lo = std::max(a[i].first, b[j].first), hi = std::min(a[i].second, b[j].second);
    if (lo < hi) r.push_back({lo, hi});
    if (a[i].second < b[j].second) ++i;
    else ++j;
  }
  return r;
}

Spans SubtractSpans(const Spans& a, const Spans& b) {
  Spans r;
  size_t j = 0;
  for (auto s : a) {
    int x = s.first;
    while (j < b.size() && b[j].second <= x) ++j;
    size_t k = j;
    while (k < b.size() && b[k].first < s.second) {
      if (b[k].first > x) r.push_back({x, b[k].first});
      x = std::max(x, b[k].second);
      ++k;
    }
    if (x < s.second) r.push_back({x, s.second});
  }
  return r;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Pens, brushes, fonts

void TPen::SetColor(TColor c) {
  if (c != FColor) {
    FColor = c;
    Changed();
  }
}
void TPen::SetWidth(int w) {
  if (w != FWidth) {
    FWidth = w;
    Changed();
  }
}
void TPen::SetStyle(TPenStyle s) {
  if (s != FStyle) {
    FStyle = s;
    Changed();
  }
}
void TPen::SetMode(TPenMode m) {
  if (m != FMode) {
    FMode = m;
    Changed();
  }
}
void TPen::Assign(TPersistent* source) {
  if (auto* p = dynamic_cast<TPen*>(source)) {
    FColor = p->FColor;
    FWidth = p->FWidth;
    FStyle = p->FStyle;
    FMode = p->FMode;
    Changed();
    return;
  }
  TPersistent::Assign(source);
}

void TBrush::SetColor(TColor c) {
  if (c == FColor && FStyle != bsClear) return;
  FColor = c;
  if (FStyle == bsClear) FStyle = bsSolid;
  Changed();
}
void TBrush::SetStyle(TBrushStyle s) {
  if (s != FStyle) {
    FStyle = s;
    Changed();
  }
}
void TBrush::Assign(TPersistent* source) {
  if (auto* b = dynamic_cast<TBrush*>(source)) {
    FColor = b->FColor;
    FStyle = b->FStyle;
    Changed();
    return;
  }
  TPersistent::Assign(source);
}

TFont::TFont() : FName("DejaVu Sans"), FPixelsPerInch(ScreenPixelsPerInch()) {}
TFont::~TFont() = default;
void TFont::SetName(const std::string& n) {
  if (n != FName) {
    FName = n;
    FQFont.reset();
    Changed();
  }
}
void TFont::SetHeight(int h) {
  if (h != FHeight) {
    FHeight = h;
    FQFont.reset();
    Changed();
  }
}
int TFont::Size() const { return -MulDiv(FHeight, 72, FPixelsPerInch); }
void TFont::SetSize(int points) { SetHeight(-MulDiv(points, FPixelsPerInch, 72)); }
void TFont::SetStyle(TFontStyles s) {
  if (s != FStyle) {
    FStyle = s;
    FQFont.reset();
    Changed();
  }
}
void TFont::SetColor(TColor c) {
  if (c != FColor) {
    FColor = c;
    Changed();
  }
}
void TFont::SetOrientation(int t) {
  if (t != FOrientation) {
    FOrientation = t;
    Changed();
  }
}
void TFont::Assign(TPersistent* source) {
  if (auto* f = dynamic_cast<TFont*>(source)) {
    FName = f->FName;
    FHeight = f->FHeight;
    FPixelsPerInch = f->FPixelsPerInch;
    FStyle = f->FStyle;
    FColor = f->FColor;
    FOrientation = f->FOrientation;
    FQFont.reset();
    Changed();
    return;
  }
  TPersistent::Assign(source);
}

const QFont& TFont::QtFont() const {
  if (FQFont) return *FQFont;
  auto f = std::make_unique<QFont>(QString::fromStdString(FName));
  int h = FHeight == 0 ? -11 : FHeight;
  f->setPixelSize(std::max(1, std::abs(h)));
  f->setBold(FStyle & fsBold);
  f->setItalic(FStyle & fsItalic);
  f->setUnderline(FStyle & fsUnderline);
  f->setStrikeOut(FStyle & fsStrikeOut);
  f->setStyleStrategy(QFont::NoAntialias);
  f->setKerning(false);
  if (h > 0 && QGuiApplication::instance()) {
    // A positive height is the whole cell: scale the character size to fit it.
    QFontMetrics fm(*f);
    if (fm.height() > 0 && fm.height() != h) f->setPixelSize(std::max(1, h * h / fm.height()));
  }
  FQFont = std::move(f);
  return *FQFont;
}

// ---------------------------------------------------------------------------------------------
// Clip regions

TClipRegion TClipRegion::FromRect(const TRect& r0) {
  TRect r{std::min(r0.Left, r0.Right), std::min(r0.Top, r0.Bottom), std::max(r0.Left, r0.Right),
          std::max(r0.Top, r0.Bottom)};
  TClipRegion g;
  if (r.Left >= r.Right || r.Top >= r.Bottom) return g;
  g.FTop = r.Top;
  g.FRows.assign(size_t(r.Bottom - r.Top), Spans{{r.Left, r.Right}});
  return g;
}

namespace {

__extension__ typedef __int128 Wide;

// An edge of a polygon that covers rows lo..hi - 1 (their centres lie between its ends).
struct TPolyEdge {
  int lo, hi;
  int64_t ax, ay, dx, dy;  // start, and the step to the end (dy != 0)
  int dir;                 // +1 downwards, -1 upwards
  // The first pixel column whose centre lies at or right of the edge on row y:
  // ceil(ax + (y + 0.5 - ay) dx / dy - 0.5), exactly.
  int Column(int y) const {
    Wide num = (Wide(2) * ax - 1) * dy + (Wide(2) * y + 1 - Wide(2) * ay) * dx;
    Wide den = Wide(2) * dy;
    if (den < 0) {
      num = -num;
      den = -den;
    }
    Wide q = num / den;
    if (num % den != 0 && num > 0) ++q;
    return int(q);
  }
};

}  // namespace

TClipRegion TClipRegion::FromPolygon(const TPoint* pts, int count, TFillMode mode) {
  if (!pts || count < 3) return {};
  TRect box{pts[0].X, pts[0].Y, pts[0].X, pts[0].Y};
  for (int i = 1; i < count; ++i) {
    box.Left = std::min(box.Left, pts[i].X);
    box.Right = std::max(box.Right, pts[i].X);
    box.Top = std::min(box.Top, pts[i].Y);
    box.Bottom = std::max(box.Bottom, pts[i].Y);
  }
  // Every crossing lies between two vertices; a span ends at most at the right-most one.
  return FromPolygon(pts, count, mode, box);
}

TClipRegion TClipRegion::FromPolygon(const TPoint* pts, int count, TFillMode mode, const TRect& bounds) {
  TClipRegion g;
  if (!pts || count < 3) return g;
  std::vector<TPolyEdge> edges;
  edges.reserve(size_t(count));
  int minY = INT32_MAX, maxY = INT32_MIN;
  for (int i = 0; i < count; ++i) {
    const TPoint& a = pts[i];
    const TPoint& b = pts[(i + 1) % count];
    minY = std::min(minY, a.Y);
    maxY = std::max(maxY, a.Y);
    if (a.Y == b.Y) continue;
    TPolyEdge e;
    e.lo = std::min(a.Y, b.Y);
    e.hi = std::max(a.Y, b.Y);
    e.ax = a.X;
    e.ay = a.Y;
    e.dx = int64_t(b.X) - a.X;
    e.dy = int64_t(b.Y) - a.Y;
    e.dir = b.Y > a.Y ? 1 : -1;
    edges.push_back(e);
  }
  // Only the rows and columns within bounds are built.
  const int top = std::max(minY, bounds.Top), bottom = std::min(maxY, bounds.Bottom);
  const int left = bounds.Left, right = bounds.Right;
  if (top >= bottom || left >= right) return g;
  g.FTop = top;
  g.FRows.resize(size_t(int64_t(bottom) - top));
  std::sort(edges.begin(), edges.end(), [](const TPolyEdge& a, const TPolyEdge& b) { return a.lo < b.lo; });
  std::vector<const TPolyEdge*> active;
  std::vector<std::pair<int, int>> xs;  // column, direction
  size_t next = 0;
  for (int y = top; y < bottom; ++y) {
    while (next < edges.size() && edges[next].lo <= y) active.push_back(&edges[next++]);
    std::erase_if(active, [y](const TPolyEdge* e) { return e->hi <= y; });
    xs.clear();
    for (const TPolyEdge* e : active) xs.push_back({e->Column(y), e->dir});
    std::sort(xs.begin(), xs.end());
    Spans& row = g.FRows[size_t(y - top)];
    auto add = [&](int x0, int x1) {
      x0 = std::max(x0, left);
      x1 = std::min(x1, right);
      if (x0 >= x1) return;
      if (!row.empty() && row.back().second >= x0) row.back().second = std::max(row.back().second, x1);
      else row.push_back({x0, x1});
    };
    if (mode == fmAlternate) {
      for (size_t k = 0; k + 1 < xs.size(); k += 2) add(xs[k].first, xs[k + 1].first);
    } else {
      int wind = 0;
      for (size_t k = 0; k + 1 < xs.size(); ++k) {
        wind += xs[k].second;
        if (wind != 0) add(xs[k].first, xs[k + 1].first);
      }
    }
  }
  return g;
}

bool TClipRegion::Empty() const {
  for (auto& r : FRows)
    if (!r.empty()) return false;
  return true;
}

TRect TClipRegion::Bounds() const {
  TRect b;
  bool any = false;
  for (size_t i = 0; i < FRows.size(); ++i) {
    if (FRows[i].empty()) continue;
    int y = FTop + int(i);
    int l = FRows[i].front().first, r = FRows[i].back().second;
    if (!any) b = TRect{l, y, r, y + 1};
    else {
      b.Left = std::min(b.Left, l);
      b.Right = std::max(b.Right, r);
      b.Bottom = y + 1;
    }
    any = true;
  }
  return b;
}

const Spans* TClipRegion::Row(int y) const {
  int64_t i = int64_t(y) - FTop;
  if (i < 0 || i >= int64_t(FRows.size())) return nullptr;
  return &FRows[size_t(i)];
}

bool TClipRegion::Contains(int x, int y) const {
  const Spans* r = Row(y);
  if (!r) return false;
  for (auto& s : *r)
    if (x >= s.first && x < s.second) return true;
  return false;
}

void TClipRegion::Intersect(const TClipRegion& o) {
  for (size_t i = 0; i < FRows.size(); ++i) {
    const Spans* b = o.Row(FTop + int(i));
    FRows[i] = b ? IntersectSpans(FRows[i], *b) : Spans{};
  }
}

void TClipRegion::Exclude(const TRect& r0) {
  int l = std::min(r0.Left, r0.Right), r = std::max(r0.Left, r0.Right);
  int t = std::min(r0.Top, r0.Bottom), b = std::max(r0.Top, r0.Bottom);
  if (l >= r) return;
  const Spans cut{{l, r}};
  for (size_t i = 0; i < FRows.size(); ++i) {
    int64_t y = int64_t(FTop) + int64_t(i);
    if (y >= t && y < b) FRows[i] = SubtractSpans(FRows[i], cut);
  }
}

void TClipRegion::Offset(int dx, int dy) {
  FTop += dy;
  for (auto& r : FRows)
    for (auto& s : r) {
      s.first += dx;
      s.second += dx;
    }
}

TClipRegion TClipRegion::FromRows(int top, std::vector<Spans> rows) {
  TClipRegion g;
  g.FTop = top;
  g.FRows = std::move(rows);
  return g;
}

TClipRegion TClipRegion::FromPixels(std::vector<TPoint> pts) {
  if (pts.empty()) return {};
  std::sort(pts.begin(), pts.end(),
            [](const TPoint& a, const TPoint& b) { return a.Y != b.Y ? a.Y < b.Y : a.X < b.X; });
  int top = pts.front().Y;
  std::vector<Spans> rows(size_t(int64_t(pts.back().Y) - top + 1));
  for (auto& p : pts) {
    Spans& r = rows[size_t(p.Y - top)];
    if (!r.empty() && r.back().second >= p.X) r.back().second = std::max(r.back().second, p.X + 1);
    else r.push_back({p.X, p.X + 1});
  }
  return FromRows(top, std::move(rows));
}

void TClipRegion::Subtract(const TClipRegion& o) {
  for (size_t i = 0; i < FRows.size(); ++i) {
    const Spans* b = o.Row(FTop + int(i));
    if (b) FRows[i] = SubtractSpans(FRows[i], *b);
  }
}

// ---------------------------------------------------------------------------------------------
// Pixel writing

int NearestPaletteIndex(const std::vector<TRGBQuad>& pal, TColor c) {
  c = ColorToRGB(c);
  int r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
  int best = 0;
  long bestD = -1;
  for (size_t i = 0; i < pal.size(); ++i) {
    long dr = pal[i].R - r, dg = pal[i].G - g, db = pal[i].B - b;
    long d = dr * dr + dg * dg + db * db;
    if (bestD < 0 || d < bestD) {
      bestD = d;
      best = int(i);
    }
  }
  return best;
}

struct TCanvas::TPaint {
  TPenMode rop = pmCopy;
  uint8_t b = 0, g = 0, r = 0;  // 24 and 32-bit surfaces
  unsigned index = 0;           // palette surfaces
  int hatch = -1;               // a hatch brush style, or -1 for every pixel
};

namespace {

inline uint8_t Rop(TPenMode m, uint8_t d, uint8_t s) {
  switch (m) {
    case pmBlack: return 0;
    case pmWhite: return 0xFF;
    case pmNop: return d;
    case pmNot: return uint8_t(~d);
    case pmCopy: return s;
    case pmNotCopy: return uint8_t(~s);
    case pmMergePenNot: return uint8_t(s | ~d);
    case pmMaskPenNot: return uint8_t(s & ~d);
    case pmMergeNotPen: return uint8_t(~s | d);
    case pmMaskNotPen: return uint8_t(~s & d);
    case pmMerge: return uint8_t(s | d);
    case pmNotMerge: return uint8_t(~(s | d));
    case pmMask: return uint8_t(s & d);
    case pmNotMask: return uint8_t(~(s & d));
    case pmXor: return uint8_t(s ^ d);
    case pmNotXor: return uint8_t(~(s ^ d));
  }
  return s;
}

// 8 x 8 hatch patterns, aligned to the surface origin.
inline bool HatchAt(int style, int x, int y) {
  int hx = x & 7, hy = y & 7;
  switch (style) {
    case bsHorizontal: return hy == 7;
    case bsVertical: return hx == 7;
    case bsFDiagonal: return hx == hy;
    case bsBDiagonal: return hx + hy == 7;
    case bsCross: return hx == 7 || hy == 7;
    case bsDiagCross: return hx == hy || hx + hy == 7;
  }
  return true;
}

TPenMode CopyModeRop(TCopyMode m) {
  switch (m) {
    case cmSrcCopy: return pmCopy;
    case cmSrcInvert: return pmXor;
    case cmSrcAnd: return pmMask;
    case cmSrcPaint: return pmMerge;
    case cmNotSrcCopy: return pmNotCopy;
    case cmDstInvert: return pmNot;
    case cmBlackness: return pmBlack;
    case cmWhiteness: return pmWhite;
  }
  return pmCopy;
}

// Reads one pixel of any stored format as blue, green, red.
TRGB ReadPixel(const TBitmap* bm, const uint8_t* row, int x) {
  const auto& pal = bm->Palette();
  auto entry = [&](unsigned i) {
    if (i < pal.size()) return TRGB{pal[i].B, pal[i].G, pal[i].R};
    return i ? TRGB{255, 255, 255} : TRGB{};
  };
  switch (bm->BitsPerPixel()) {
    case 1: return entry((row[x >> 3] >> (7 - (x & 7))) & 1);
    case 4: return entry((x & 1) ? (row[x >> 1] & 15) : (row[x >> 1] >> 4));
    case 8: return entry(row[x]);
    case 16: {
      unsigned v = unsigned(row[2 * x]) | (unsigned(row[2 * x + 1]) << 8);
      unsigned r, g, b;
      if (bm->PixelFormat() == pf15bit) {
        r = (v >> 10) & 31;
        g = (v >> 5) & 31;
        b = v & 31;
        return TRGB{uint8_t((b << 3) | (b >> 2)), uint8_t((g << 3) | (g >> 2)), uint8_t((r << 3) | (r >> 2))};
      }
      r = (v >> 11) & 31;
      g = (v >> 5) & 63;
      b = v & 31;
      return TRGB{uint8_t((b << 3) | (b >> 2)), uint8_t((g << 2) | (g >> 4)), uint8_t((r << 3) | (r >> 2))};
    }
    case 24: return TRGB{row[3 * x], row[3 * x + 1], row[3 * x + 2]};
    case 32: return TRGB{row[4 * x], row[4 * x + 1], row[4 * x + 2]};
  }
  return {};
}

// Dash patterns of one-pixel pens: on, off, on, off ...
const std::vector<int>& DashPattern(TPenStyle s) {
  static const std::vector<int> solid, dash{18, 6}, dot{3, 3}, dashDot{9, 6, 3, 6}, dashDotDot{9, 3, 3, 3, 3, 3};
  switch (s) {
    case psDash: return dash;
    case psDot: return dot;
    case psDashDot: return dashDot;
    case psDashDotDot: return dashDotDot;
    default: return solid;
  }
}

// The pixels of a line by the integer midpoint rule, in closed form: step i of n lies at
// the major coordinate start + i and the minor offset ceil((2 d_minor i - d_major) / 2 d_major),
// so a walk can start anywhere along the line.
struct TLineWalk {
  int64_t x1, y1, dx, dy;
  int sx, sy;
  bool xMajor;
  int64_t n;
  TLineWalk(int ax, int ay, int bx, int by)
      : x1(ax),
        y1(ay),
        dx(std::llabs(int64_t(bx) - ax)),
        dy(std::llabs(int64_t(by) - ay)),
        sx(ax < bx ? 1 : -1),
        sy(ay < by ? 1 : -1),
        xMajor(dx >= dy),
        n(xMajor ? dx : dy) {}
  static int64_t CeilDiv(int64_t a, int64_t b) { return a >= 0 ? (a + b - 1) / b : -((-a) / b); }
  void At(int64_t i, int& x, int& y) const {
    int64_t major = xMajor ? dx : dy, minor = xMajor ? dy : dx;
    int64_t off = i == 0 ? 0 : std::max<int64_t>(0, CeilDiv(2 * minor * i - major, 2 * major));
    if (xMajor) {
      x = int(x1 + sx * i);
      y = int(y1 + sy * off);
    } else {
      x = int(x1 + sx * off);
      y = int(y1 + sy * i);
    }
  }
  // The steps whose major coordinate lies in lo..hi (inclusive), within 0..n-1.
  void Range(int64_t lo, int64_t hi, int64_t& i0, int64_t& i1) const {
    int64_t start = xMajor ? x1 : y1;
    int s = xMajor ? sx : sy;
    int64_t a = s > 0 ? lo - start : start - hi, b = s > 0 ? hi - start : start - lo;
    i0 = std::max<int64_t>(0, a);
    i1 = std::min<int64_t>(n, b + 1);
  }
};

template <class F>
void WalkLine(int x1, int y1, int x2, int y2, bool last, F f) {
  TLineWalk w(x1, y1, x2, y2);
  int x, y;
  for (int64_t i = 0; i < w.n; ++i) {
    w.At(i, x, y);
    f(x, y);
  }
  if (last) f(x2, y2);
}

// The same walk limited to the steps that can reach a surface of W x H; f gets the step too.
template <class F>
void WalkLineOn(int x1, int y1, int x2, int y2, bool last, int W, int H, F f) {
  TLineWalk w(x1, y1, x2, y2);
  int64_t i0, i1;
  if (w.xMajor) w.Range(-1, W, i0, i1);
  else w.Range(-1, H, i0, i1);
  int x, y;
  for (int64_t i = i0; i < i1; ++i) {
    w.At(i, x, y);
    if (x < -1 || y < -1 || x > W || y > H) continue;
    f(x, y, i);
  }
  if (last) f(x2, y2, w.n);
}

// A rectangle grown by m on each side, held within the integer range.
TRect Grown(int64_t l, int64_t t, int64_t r, int64_t b, int64_t m) {
  auto c = [](int64_t v) { return int(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
  return TRect{c(l - m), c(t - m), c(r + m), c(b + m)};
}

// The first x from `x` on, below `end`, whose mask byte is not set (set: not clear), eight
// bytes at a time where it can.
int SkipWhile(const uchar* line, int x, int end, bool set) {
  constexpr uint64_t kHigh = 0x8080808080808080ull;
  while (x + 8 <= end) {
    uint64_t v;
    std::memcpy(&v, line + x, 8);
    if ((set ? ~v : v) & kHigh) break;
    x += 8;
  }
  while (x < end && (line[x] >= 128) == set) ++x;
  return x;
}

// Columns [first, second) that a drawing can reach on the rows y0 .. y1 - 1; empty when none.
using TRowReach = std::function<std::pair<int64_t, int64_t>(int64_t y0, int64_t y1)>;

// The reach of a stroke of width w along the points (closed: back to the first): within
// w + 2 of some segment, which holds for round and square ends and right-angled miters.
TRowReach StrokeReach(const TPoint* pts, int count, bool closed, int w) {
  std::vector<TPoint> p(pts, pts + count);
  if (closed || count == 1) p.push_back(pts[0]);
  const long double m = (long double)w + 2;
  return [p = std::move(p), m](int64_t y0, int64_t y1) {
    long double lo = HUGE_VALL, hi = -HUGE_VALL;
    const long double top = y0 - m, bottom = y1 + m;
    auto take = [&](long double x) {
      lo = std::min(lo, x);
      hi = std::max(hi, x);
    };
    for (size_t i = 0; i + 1 < p.size(); ++i) {
      const TPoint& a = p[i];
      const TPoint& b = p[i + 1];
      const long double ay = a.Y, by = b.Y, ax = a.X, bx = b.X;
      if (std::max(ay, by) < top || std::min(ay, by) > bottom) continue;
      if (ay == by) {
        take(ax);
        take(bx);
        continue;
      }
      // The part of the segment between the rows top and bottom.
      long double t0 = (top - ay) / (by - ay), t1 = (bottom - ay) / (by - ay);
      if (t0 > t1) std::swap(t0, t1);
      t0 = std::max<long double>(t0, 0);
      t1 = std::min<long double>(t1, 1);
      take(ax + t0 * (bx - ax));
      take(ax + t1 * (bx - ax));
    }
    if (lo > hi) return std::pair<int64_t, int64_t>{0, 0};
    return std::pair<int64_t, int64_t>{int64_t(std::floor(lo - m)), int64_t(std::ceil(hi + m)) + 1};
  };
}

// Renders with QPainter into a mask and returns the pixels it set, in surface pixels. The
// mask is drawn a tile at a time, so a large box costs one tile besides the spans it yields;
// given the reach of the drawing, only the columns it can reach are drawn and read, in bands
// of a few rows, so a long thin stroke costs about the pixels it covers.
constexpr int64_t kMaskTilePixels = int64_t(1) << 20;
constexpr int kMaskBandRows = 64;

TClipRegion MaskRegion(TRect box, TRect surface, const std::function<void(QPainter&)>& draw,
                       const TRowReach& reach = {}) {
  TRect r;
  if (!IntersectRect(r, box, surface)) return {};
  const int64_t W = int64_t(r.Right) - r.Left, H = int64_t(r.Bottom) - r.Top;
  const int tw = int(std::min(W, kMaskTilePixels));
  const int64_t stride = (int64_t(tw) + 3) / 4 * 4;
  int th = int(std::clamp<int64_t>(kMaskTilePixels / stride, 1, H));
  if (reach) th = std::min(th, kMaskBandRows);
  // One tile's memory per thread, kept from call to call.
  thread_local std::vector<uchar> tile;
  if (tile.size() < size_t(stride * th)) tile.resize(size_t(stride * th));
  // One image (and so one paint engine) for every tile: a tile at a band's end uses its top
  // left part, and what is drawn past that part is neither cleared nor read.
  QImage img(tile.data(), tw, th, qsizetype(stride), QImage::Format_Alpha8);
  std::vector<Spans> rows(static_cast<size_t>(H));
  for (int64_t ty = 0; ty < H; ty += th) {
    const int bh = int(std::min<int64_t>(th, H - ty));
    int64_t x0 = 0, x1 = W;
    if (reach) {
      const auto [a, b] = reach(r.Top + ty, r.Top + ty + bh);
      x0 = std::max<int64_t>(0, a - r.Left);
      x1 = std::min<int64_t>(W, b - r.Left);
    }
    for (int64_t tx = x0; tx < x1; tx += tw) {
      const int bw = int(std::min<int64_t>(tw, x1 - tx));
      const int left = int(r.Left + tx);
      for (int y = 0; y < bh; ++y) std::memset(tile.data() + stride * y, 0, size_t(bw));
      {
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setRenderHint(QPainter::TextAntialiasing, false);
        p.translate(-double(left), -double(r.Top + ty));
        draw(p);
      }
      for (int y = 0; y < bh; ++y) {
        const uchar* line = tile.data() + stride * y;
        Spans& row = rows[size_t(ty + y)];
        int x = 0;
        while (x < bw) {
          x = SkipWhile(line, x, bw, false);
          int s = x;
          x = SkipWhile(line, x, bw, true);
          if (x == s) continue;
          // Runs that meet at a tile's edge are one run.
          if (!row.empty() && row.back().second == s + left) row.back().second = x + left;
          else row.push_back({s + left, x + left});
        }
      }
    }
  }
  return TClipRegion::FromRows(r.Top, std::move(rows));
}

QPen MaskPen(int width) {
  QPen pen(QColor(255, 255, 255), std::max(1, width));
  pen.setCapStyle(Qt::RoundCap);
  pen.setJoinStyle(Qt::RoundJoin);
  return pen;
}

}  // namespace

TCanvas::TCanvas(TBitmap* bitmap) : FBitmap(bitmap) {}
TCanvas::~TCanvas() = default;

TRect TCanvas::Clamped(const TRect& r) const {
  int W = FBitmap ? FBitmap->Width() : 0, H = FBitmap ? FBitmap->Height() : 0;
  TRect n{std::min(r.Left, r.Right), std::min(r.Top, r.Bottom), std::max(r.Left, r.Right), std::max(r.Top, r.Bottom)};
  n.Left = std::clamp(n.Left, -2, W + 2);
  n.Right = std::clamp(n.Right, -2, W + 2);
  n.Top = std::clamp(n.Top, -2, H + 2);
  n.Bottom = std::clamp(n.Bottom, -2, H + 2);
  return n;
}

void TCanvas::SetClipPolygon(const TPoint* pts, int count, TFillMode mode) {
  int W = FBitmap ? FBitmap->Width() : 0, H = FBitmap ? FBitmap->Height() : 0;
  SetClipRegion(TClipRegion::FromPolygon(pts, count, mode, Rect(-1, -1, W + 1, H + 1)));
}

bool TCanvas::Ready() { return FBitmap && FBitmap->Bits() && FBitmap->Width() > 0 && FBitmap->Height() > 0; }

void TCanvas::Changed() {
  if (OnChange) OnChange(this);
}

TCanvas::TPaint TCanvas::PenPaint(TColor c) const {
  TPaint p;
  p.rop = FPen.Mode();
  c = ColorToRGB(c);
  p.r = GetRValue(c);
  p.g = GetGValue(c);
  p.b = GetBValue(c);
  if (FBitmap && FBitmap->BitsPerPixel() <= 8) p.index = unsigned(NearestPaletteIndex(FBitmap->Palette(), c));
  return p;
}

TCanvas::TPaint TCanvas::BrushPaint() const {
  TPaint p = PenPaint(FBrush.Color());
  if (FBrush.Style() != bsSolid && FBrush.Style() != bsClear) p.hatch = FBrush.Style();
  return p;
}

void TCanvas::PaintPixel(int x, int y, const TPaint& p) { PaintSpan(y, x, x + 1, p); }

void TCanvas::PaintSpan(int y, int x0, int x1, const TPaint& p) {
  int W = FBitmap->Width(), H = FBitmap->Height();
  if (y < 0 || y >= H) return;
  x0 = std::max(x0, 0);
  x1 = std::min(x1, W);
  if (x0 >= x1) return;
  auto run = [&](int a, int b) {
    uint8_t* row = FBitmap->ScanLine(y);
    int bits = FBitmap->BitsPerPixel();
    if (bits == 24 || bits == 32) {
      int step = bits / 8;
      if (p.rop == pmCopy && p.hatch < 0 && bits == 24) {
        // Whole runs of sixteen pixels from a pattern, then the rest one by one.
        uint8_t pattern[48];
        for (int i = 0; i < 48; i += 3) pattern[i] = p.b, pattern[i + 1] = p.g, pattern[i + 2] = p.r;
        uint8_t* q = row + 3 * a;
        int x = a;
        for (; x + 16 <= b; x += 16, q += 48) std::memcpy(q, pattern, 48);
        for (; x < b; ++x, q += 3) {
          q[0] = p.b;
          q[1] = p.g;
          q[2] = p.r;
        }
        return;
      }
      uint8_t* q = row + step * a;
      for (int x = a; x < b; ++x, q += step) {
        if (p.hatch >= 0 && !HatchAt(p.hatch, x, y)) continue;
        q[0] = Rop(p.rop, q[0], p.b);
        q[1] = Rop(p.rop, q[1], p.g);
        q[2] = Rop(p.rop, q[2], p.r);
      }
    } else if (bits == 1) {
      uint8_t s = p.index & 1 ? 0xFF : 0;
      for (int x = a; x < b; ++x) {
        if (p.hatch >= 0 && !HatchAt(p.hatch, x, y)) continue;
        uint8_t m = uint8_t(0x80 >> (x & 7));
        uint8_t& d = row[x >> 3];
        d = uint8_t((d & ~m) | (Rop(p.rop, d, s) & m));
      }
    } else if (bits == 8) {
      for (int x = a; x < b; ++x) {
        if (p.hatch >= 0 && !HatchAt(p.hatch, x, y)) continue;
        row[x] = Rop(p.rop, row[x], uint8_t(p.index));
      }
    } else if (bits == 4) {
      for (int x = a; x < b; ++x) {
        if (p.hatch >= 0 && !HatchAt(p.hatch, x, y)) continue;
        uint8_t& d = row[x >> 1];
        int sh = (x & 1) ? 0 : 4;
        uint8_t v = uint8_t(Rop(p.rop, uint8_t((d >> sh) & 15), uint8_t(p.index)) & 15);
        d = uint8_t((d & ~(15 << sh)) | (v << sh));
      }
    }
  };
  if (!FHasClip) {
    run(x0, x1);
    return;
  }
  const Spans* r = FClip.Row(y);
  if (!r) return;
  for (auto& s : *r) {
    int a = std::max(x0, s.first), b = std::min(x1, s.second);
    if (a < b) run(a, b);
  }
}

void TCanvas::FillSpans(const TClipRegion& g, const TPaint& p) {
  for (int i = 0; i < g.RowCount(); ++i) {
    const Spans* r = g.Row(g.Top() + i);
    for (auto& s : *r) PaintSpan(g.Top() + i, s.first, s.second, p);
  }
}

// A one-pixel line: dashes, and their gaps in the brush colour when the brush is solid.
// The dash pattern runs on from the previous segment (FDashPhase).
void TCanvas::ThinLine(int x1, int y1, int x2, int y2, bool last) {
  if (FPen.Style() == psClear) return;
  int W = FBitmap->Width(), H = FBitmap->Height();
  TPaint on = PenPaint(FPen.Color());
  const auto& pat = DashPattern(FPen.Style());
  int64_t steps = std::max(std::llabs(int64_t(x2) - x1), std::llabs(int64_t(y2) - y1)) + (last ? 1 : 0);
  if (pat.empty()) {
    WalkLineOn(x1, y1, x2, y2, last, W, H, [&](int x, int y, int64_t) { PaintPixel(x, y, on); });
    return;
  }
  bool opaque = FBrush.Style() == bsSolid;
  TPaint off = PenPaint(FBrush.Color());
  int total = 0;
  for (int v : pat) total += v;
  int64_t phase = FDashPhase;
  WalkLineOn(x1, y1, x2, y2, last, W, H, [&](int x, int y, int64_t i) {
    int k = int((phase + i) % total), j = 0;
    while (k >= pat[size_t(j)]) k -= pat[size_t(j++)];
    if (j % 2 == 0) PaintPixel(x, y, on);
    else if (opaque) PaintPixel(x, y, off);
  });
  FDashPhase = int((phase + steps) % total);
}

void LineDDA(int x1, int y1, int x2, int y2, const std::function<void(int, int)>& proc) {
  if (proc) WalkLine(x1, y1, x2, y2, false, proc);
}

void SetTextMeasure(TTextMeasure m) { gTextMeasure = std::move(m); }

// ---------------------------------------------------------------------------------------------
// Lines and shapes

void TCanvas::MoveTo(int x, int y) { FPenPos = {x, y}; }

void TCanvas::LineTo(int x, int y) {
  TPoint from = FPenPos;
  FPenPos = {x, y};
  if (!Ready() || FPen.Style() == psClear) return;
  if (FPen.Width() <= 1) {
    FDashPhase = 0;
    ThinLine(from.X, from.Y, x, y, false);
  } else {
    int w = FPen.Width();
    TRect box = Grown(std::min(from.X, x), std::min(from.Y, y), int64_t(std::max(from.X, x)) + 1,
                      int64_t(std::max(from.Y, y)) + 1, w);
    FillSpans(MaskRegion(
                  box, Rect(0, 0, FBitmap->Width(), FBitmap->Height()),
                  [&](QPainter& p) {
                    p.setPen(MaskPen(w));
                    p.drawLine(QPointF(from.X + 0.5, from.Y + 0.5), QPointF(x + 0.5, y + 0.5));
                  },
                  StrokeReach(std::vector<TPoint>{from, {x, y}}.data(), 2, false, w)),
              PenPaint(FPen.Color()));
  }
  Changed();
}

void TCanvas::Rectangle(int x1, int y1, int x2, int y2) {
  if (!Ready()) return;
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  if (x1 == x2 || y1 == y2) return;
  if (FPen.Width() <= 1) {
    // Far outside the surface only the side that shows matters.
    TRect c = Clamped(Rect(x1, y1, x2, y2));
    x1 = c.Left, y1 = c.Top, x2 = c.Right, y2 = c.Bottom;
  }
  bool pen = FPen.Style() != psClear;
  bool brush = FBrush.Style() != bsClear;
  int w = FPen.Width();
  TRect surface = Rect(0, 0, FBitmap->Width(), FBitmap->Height());
  if (!pen) {
    if (brush) FillSpans(TClipRegion::FromRect(Clamped(Rect(x1, y1, x2, y2))), BrushPaint());
  } else if (w <= 1) {
    if (brush) FillSpans(TClipRegion::FromRect(Rect(x1 + 1, y1 + 1, x2 - 1, y2 - 1)), BrushPaint());
    if (FPen.Style() == psSolid || FPen.Style() == psInsideFrame) {
      TClipRegion outline = TClipRegion::FromRect(Rect(x1, y1, x2, y2));
      outline.Exclude(Rect(x1 + 1, y1 + 1, x2 - 1, y2 - 1));
      FillSpans(outline, PenPaint(FPen.Color()));
    } else {
      FDashPhase = 0;
      ThinLine(x1, y1, x2 - 1, y1, false);
      ThinLine(x2 - 1, y1, x2 - 1, y2 - 1, false);
      ThinLine(x2 - 1, y2 - 1, x1, y2 - 1, false);
      ThinLine(x1, y2 - 1, x1, y1, false);
    }
  } else {
    TRect box = Grown(x1, y1, x2, y2, w);
    TClipRegion stroke = MaskRegion(
        box, surface,
        [&](QPainter& p) {
          QPen qp = MaskPen(w);
          qp.setJoinStyle(Qt::MiterJoin);
          p.setPen(qp);
          p.drawRect(QRectF(x1 + 0.5, y1 + 0.5, x2 - x1 - 1, y2 - y1 - 1));
        },
        StrokeReach(std::vector<TPoint>{{x1, y1}, {x2 - 1, y1}, {x2 - 1, y2 - 1}, {x1, y2 - 1}}.data(), 4, true, w));
    if (brush) {
      TClipRegion inner = TClipRegion::FromRect(Clamped(Rect(x1, y1, x2, y2)));
      inner.Subtract(stroke);
      FillSpans(inner, BrushPaint());
    }
    FillSpans(stroke, PenPaint(FPen.Color()));
  }
  Changed();
}

void TCanvas::FillRect(const TRect& r) {
  if (!Ready() || FBrush.Style() == bsClear) return;
  TPaint p = BrushPaint();
  p.rop = pmCopy;
  FillSpans(TClipRegion::FromRect(Clamped(r)), p);
  Changed();
}

void TCanvas::FrameRect(const TRect& r0) {
  if (!Ready() || FBrush.Style() == bsClear) return;
  TRect r = Clamped(r0);
  TClipRegion g = TClipRegion::FromRect(r);
  g.Exclude(Rect(r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1));
  TPaint p = BrushPaint();
  p.rop = pmCopy;
  FillSpans(g, p);
  Changed();
}

void TCanvas::Ellipse(int x1, int y1, int x2, int y2) {
  if (!Ready()) return;
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  if (x1 == x2 || y1 == y2) return;
  bool pen = FPen.Style() != psClear;
  int w = pen ? std::max(1, FPen.Width()) : 0;
  TRect surface = Rect(0, 0, FBitmap->Width(), FBitmap->Height());
  TRect box = Grown(x1, y1, x2, y2, w + 1);
  QRectF shape(x1 + 0.5, y1 + 0.5, double(x2) - x1 - 1, double(y2) - y1 - 1);
  TClipRegion stroke;
  if (pen) {
    stroke = MaskRegion(box, surface, [&](QPainter& p) {
      p.setPen(MaskPen(w));
      p.setBrush(Qt::NoBrush);
      if (w == 1) p.drawEllipse(QRectF(x1, y1, double(x2) - x1 - 1, double(y2) - y1 - 1));
      else p.drawEllipse(shape);
    });
  }
  if (FBrush.Style() != bsClear) {
    TClipRegion inner = MaskRegion(box, surface, [&](QPainter& p) {
      QPainterPath path;
      path.addEllipse(shape);
      p.fillPath(path, QColor(255, 255, 255));
    });
    inner.Subtract(stroke);
    FillSpans(inner, BrushPaint());
  }
  if (pen) FillSpans(stroke, PenPaint(FPen.Color()));
  Changed();
}

void TCanvas::Arc(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4) {
  if (!Ready() || FPen.Style() == psClear) return;
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  if (x1 == x2 || y1 == y2) return;
  double cx = (double(x1) + x2) / 2.0, cy = (double(y1) + y2) / 2.0;
  double rx = (double(x2) - x1) / 2.0, ry = (double(y2) - y1) / 2.0;
  // Radial angles to the angles of the ellipse's parameter, in degrees counter-clockwise.
  auto param = [&](int x, int y) {
    double t = std::atan2(-(double(y) - cy) / ry, (double(x) - cx) / rx);
    return t * 180.0 / M_PI;
  };
  double a = param(x3, y3), b = param(x4, y4);
  double span = b - a;
  while (span <= 0) span += 360.0;
  int w = std::max(1, FPen.Width());
  TRect box = Grown(x1, y1, x2, y2, w + 1);
  FillSpans(MaskRegion(box, Rect(0, 0, FBitmap->Width(), FBitmap->Height()),
                       [&](QPainter& p) {
                         p.setPen(MaskPen(w));
                         QRectF r = w == 1 ? QRectF(x1, y1, double(x2) - x1 - 1, double(y2) - y1 - 1)
                                           : QRectF(x1 + 0.5, y1 + 0.5, double(x2) - x1 - 1, double(y2) - y1 - 1);
                         p.drawArc(r, int(std::lround(a * 16)), int(std::lround(span * 16)));
                       }),
            PenPaint(FPen.Color()));
  Changed();
}

void TCanvas::Polygon(const TPoint* pts, int count) {
  if (!Ready() || !pts || count < 2) return;
  bool pen = FPen.Style() != psClear;
  int w = FPen.Width();
  TRect surface = Rect(0, 0, FBitmap->Width(), FBitmap->Height());
  TClipRegion stroke;
  if (pen && w <= 1) {
    std::vector<TPoint> px;
    for (int i = 0; i < count; ++i) {
      const TPoint& a = pts[i];
      const TPoint& b = pts[(i + 1) % count];
      WalkLineOn(a.X, a.Y, b.X, b.Y, false, FBitmap->Width(), FBitmap->Height(), [&](int x, int y, int64_t) {
        px.push_back({x, y});
      });
    }
    stroke = TClipRegion::FromPixels(std::move(px));
  } else if (pen) {
    int minX = pts[0].X, minY = pts[0].Y, maxX = minX, maxY = minY;
    for (int i = 1; i < count; ++i) {
      minX = std::min(minX, pts[i].X);
      maxX = std::max(maxX, pts[i].X);
      minY = std::min(minY, pts[i].Y);
      maxY = std::max(maxY, pts[i].Y);
    }
    stroke = MaskRegion(
        Grown(minX, minY, int64_t(maxX) + 1, int64_t(maxY) + 1, w), surface,
        [&](QPainter& p) {
          QPolygonF poly;
          for (int i = 0; i < count; ++i) poly << QPointF(pts[i].X + 0.5, pts[i].Y + 0.5);
          p.setPen(MaskPen(w));
          p.drawPolygon(poly);
        },
        StrokeReach(pts, count, true, w));
  }
  if (FBrush.Style() != bsClear && count >= 3) {
    TClipRegion inner = TClipRegion::FromPolygon(pts, count, FFillMode, surface);
    inner.Subtract(stroke);
    FillSpans(inner, BrushPaint());
  }
  if (pen) {
    if (w <= 1 && FPen.Style() != psSolid && FPen.Style() != psInsideFrame) {
      FDashPhase = 0;
      for (int i = 0; i < count; ++i)
        ThinLine(pts[i].X, pts[i].Y, pts[(i + 1) % count].X, pts[(i + 1) % count].Y, false);
    } else {
      FillSpans(stroke, PenPaint(FPen.Color()));
    }
  }
  Changed();
}

void TCanvas::Polyline(const TPoint* pts, int count) {
  if (!Ready() || !pts || count < 1) return;
  if (FPen.Style() != psClear) {
    int w = FPen.Width();
    if (w <= 1) {
      FDashPhase = 0;
      for (int i = 0; i + 1 < count; ++i) ThinLine(pts[i].X, pts[i].Y, pts[i + 1].X, pts[i + 1].Y, false);
    } else {
      int minX = pts[0].X, minY = pts[0].Y, maxX = minX, maxY = minY;
      for (int i = 1; i < count; ++i) {
        minX = std::min(minX, pts[i].X);
        maxX = std::max(maxX, pts[i].X);
        minY = std::min(minY, pts[i].Y);
        maxY = std::max(maxY, pts[i].Y);
      }
      FillSpans(MaskRegion(
                    Grown(minX, minY, int64_t(maxX) + 1, int64_t(maxY) + 1, w),
                    Rect(0, 0, FBitmap->Width(), FBitmap->Height()),
                    [&](QPainter& p) {
                      QPolygonF poly;
                      for (int i = 0; i < count; ++i) poly << QPointF(pts[i].X + 0.5, pts[i].Y + 0.5);
                      p.setPen(MaskPen(w));
                      p.drawPolyline(poly);
                    },
                    StrokeReach(pts, count, false, w)),
                PenPaint(FPen.Color()));
    }
  }
  FPenPos = pts[count - 1];
  Changed();
}

// ---------------------------------------------------------------------------------------------
// Text

TSize TCanvas::TextExtent(const std::string& text) {
  if (gTextMeasure) return gTextMeasure(FFont, text);
  if (!QGuiApplication::instance()) {
    int h = std::abs(FFont.Height() ? FFont.Height() : 11);
    return TSize{int(text.size()) * (h / 2 + 1), h + h / 4};
  }
  QFontMetrics fm(FFont.QtFont());
  return TSize{fm.horizontalAdvance(QString::fromUtf8(text.data(), int(text.size()))), fm.height()};
}

void TCanvas::DrawTextAt(int x, int y, const std::string& text, const TRect* clip, bool opaqueRect) {
  if (!Ready() || !QGuiApplication::instance()) return;
  TRect surface = Rect(0, 0, FBitmap->Width(), FBitmap->Height());
  TPaint back = PenPaint(FBrush.Color());
  back.rop = pmCopy;
  bool opaque = FBrush.Style() != bsClear;
  TClipRegion limit = TClipRegion::FromRect(clip ? Clamped(*clip) : surface);
  auto within = [&](TClipRegion g) {
    g.Intersect(limit);
    return g;
  };
  if (opaque && opaqueRect && clip) FillSpans(within(TClipRegion::FromRect(Clamped(*clip))), back);
  if (text.empty()) return;
  QString qs = QString::fromUtf8(text.data(), int(text.size()));
  const QFont& font = FFont.QtFont();
  QFontMetrics fm(font);
  int w = fm.horizontalAdvance(qs), h = fm.height();
  double angle = FFont.Orientation() / 10.0;
  double rad = angle * M_PI / 180.0, c = std::cos(rad), s = std::sin(rad);
  // The text cell turned about (x, y): u along the base line, v down.
  auto at = [&](double u, double v) { return QPointF(x + u * c + v * s, y - u * s + v * c); };
  QPointF corners[4] = {at(0, 0), at(w, 0), at(0, h), at(w, h)};
  double l = corners[0].x(), t = corners[0].y(), r = l, b = t;
  for (auto& p : corners) {
    l = std::min(l, p.x());
    r = std::max(r, p.x());
    t = std::min(t, p.y());
    b = std::max(b, p.y());
  }
  int m = h + 2;
  TRect box{int(std::floor(l)) - m, int(std::floor(t)) - m, int(std::ceil(r)) + m, int(std::ceil(b)) + m};
  if (opaque && !opaqueRect) {
    if (FFont.Orientation() == 0) {
      FillSpans(within(TClipRegion::FromRect(Clamped(Rect(x, y, x + w, y + h)))), back);
    } else {
      TPoint poly[4];
      QPointF q[4] = {corners[0], corners[1], corners[3], corners[2]};
      for (int i = 0; i < 4; ++i) poly[i] = {int(std::lround(q[i].x())), int(std::lround(q[i].y()))};
      FillSpans(within(TClipRegion::FromPolygon(poly, 4, fmAlternate, surface)), back);
    }
  }
  TClipRegion glyphs = MaskRegion(box, surface, [&](QPainter& p) {
    p.setFont(font);
    p.setPen(QColor(255, 255, 255));
    p.translate(x, y);
    p.rotate(-angle);
    p.drawText(QPointF(0, fm.ascent()), qs);
  });
  TPaint ink = PenPaint(FFont.Color());
  ink.rop = pmCopy;
  FillSpans(within(std::move(glyphs)), ink);
}

void TCanvas::TextOut(int x, int y, const std::string& text) {
  DrawTextAt(x, y, text, nullptr, false);
  FPenPos = {x + TextWidth(text), y};
  Changed();
}

void TCanvas::TextRect(const TRect& r, int x, int y, const std::string& text) {
  DrawTextAt(x, y, text, &r, true);
  Changed();
}

// ---------------------------------------------------------------------------------------------
// Pictures

void TCanvas::Blit(const TRect& dest0, TBitmap* src, const TRect& srcRect0, TCopyMode mode) {
  if (!Ready() || !src || src->Empty() || !src->Bits()) return;
  std::unique_ptr<TBitmap> copy;
  if (src == FBitmap) {
    // Overlapping copies read from a snapshot.
    copy = std::make_unique<TBitmap>();
    copy->Assign(src);
    src = copy.get();
  }
  TRect d = dest0, s = srcRect0;
  bool flipX = false, flipY = false;
  if (d.Left > d.Right) {
    std::swap(d.Left, d.Right);
    flipX = !flipX;
  }
  if (d.Top > d.Bottom) {
    std::swap(d.Top, d.Bottom);
    flipY = !flipY;
  }
  if (s.Left > s.Right) {
    std::swap(s.Left, s.Right);
    flipX = !flipX;
  }
  if (s.Top > s.Bottom) {
    std::swap(s.Top, s.Bottom);
    flipY = !flipY;
  }
  int64_t dw = int64_t(d.Right) - d.Left, dh = int64_t(d.Bottom) - d.Top;
  int64_t sw = int64_t(s.Right) - s.Left, sh = int64_t(s.Bottom) - s.Top;
  if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0) return;
  TPenMode rop = CopyModeRop(mode);
  int W = FBitmap->Width(), H = FBitmap->Height();
  int dbits = FBitmap->BitsPerPixel();
  bool same = dw == sw && dh == sh && !flipX && !flipY;
  bool sameMono = dbits == 1 && src->BitsPerPixel() == 1 && src->Palette() == FBitmap->Palette();
  // Only the columns and rows on the surface are mapped.
  int colLo = std::max(d.Left, 0), colHi = std::min(d.Right, W);
  int rowLo = std::max(d.Top, 0), rowHi = std::min(d.Bottom, H);
  if (colLo >= colHi || rowLo >= rowHi) return;
  std::vector<int> mapCols(static_cast<size_t>(colHi - colLo));
  for (int x = colLo; x < colHi; ++x) {
    int64_t i = int64_t(x) - d.Left;
    int64_t k = int64_t((__int128(2) * i + 1) * sw / (__int128(2) * dw));
    mapCols[size_t(x - colLo)] = int(s.Left + (flipX ? sw - 1 - k : k));
  }
  auto mapX = [&](int x) { return mapCols[size_t(x - colLo)]; };
  static const uint8_t zeroBits[1] = {0x00}, oneBits[1] = {0x80};
  for (int y = rowLo; y < rowHi; ++y) {
    int64_t j = int64_t(y) - d.Top;
    int64_t k = int64_t((__int128(2) * j + 1) * sh / (__int128(2) * dh));
    int64_t sy = s.Top + (flipY ? sh - 1 - k : k);
    if (sy < 0 || sy >= src->Height()) continue;
    const uint8_t* srow = src->ScanLine(int(sy));
    uint8_t* drow = FBitmap->ScanLine(y);
    auto run = [&](int a, int b) {
      // a..b in destination pixels, already inside the surface.
      if (same && rop == pmCopy && dbits == 24 && src->BitsPerPixel() == 24) {
        int sa = mapX(a), sb = sa + (b - a);
        int lo = std::max(sa, 0), hi = std::min(sb, src->Width());
        if (lo < hi) std::memcpy(drow + 3 * (a + lo - sa), srow + 3 * lo, size_t(3 * (hi - lo)));
        return;
      }
      int sbits = src->BitsPerPixel();
      if (rop == pmCopy && dbits == 24 && (sbits == 24 || sbits == 1)) {
        // The common cases, pixel by pixel without the general reader.
        TRGB c0 = sbits == 1 ? ReadPixel(src, zeroBits, 0) : TRGB{},
             c1 = sbits == 1 ? ReadPixel(src, oneBits, 0) : TRGB{};
        for (int x = a; x < b; ++x) {
          int sx = mapX(x);
          if (sx < 0 || sx >= src->Width()) continue;
          uint8_t* q = drow + 3 * x;
          if (sbits == 24) {
            const uint8_t* p = srow + 3 * sx;
            q[0] = p[0];
            q[1] = p[1];
            q[2] = p[2];
          } else {
            const TRGB& c = ((srow[sx >> 3] >> (7 - (sx & 7))) & 1) ? c1 : c0;
            q[0] = c.B;
            q[1] = c.G;
            q[2] = c.R;
          }
        }
        return;
      }
      for (int x = a; x < b; ++x) {
        int sx = mapX(x);
        if (sx < 0 || sx >= src->Width()) continue;
        if (dbits == 1) {
          unsigned idx = sameMono
                             ? (srow[sx >> 3] >> (7 - (sx & 7))) & 1
                             : unsigned(NearestPaletteIndex(FBitmap->Palette(), RGBToColor(ReadPixel(src, srow, sx))));
          uint8_t m = uint8_t(0x80 >> (x & 7));
          uint8_t& dd = drow[x >> 3];
          dd = uint8_t((dd & ~m) | (Rop(rop, dd, (idx & 1) ? 0xFF : 0) & m));
        } else if (dbits == 24 || dbits == 32) {
          TRGB c = ReadPixel(src, srow, sx);
          uint8_t* q = drow + (dbits / 8) * x;
          q[0] = Rop(rop, q[0], c.B);
          q[1] = Rop(rop, q[1], c.G);
          q[2] = Rop(rop, q[2], c.R);
        } else if (dbits == 8) {
          drow[x] =
              Rop(rop, drow[x], uint8_t(NearestPaletteIndex(FBitmap->Palette(), RGBToColor(ReadPixel(src, srow, sx)))));
        }
      }
    };
    int a = std::max(d.Left, 0), b = std::min(d.Right, W);
    if (a >= b) continue;
    if (!FHasClip) {
      run(a, b);
    } else if (const Spans* r = FClip.Row(y)) {
      for (auto& sp : *r) {
        int aa = std::max(a, sp.first), bb = std::min(b, sp.second);
        if (aa < bb) run(aa, bb);
      }
    }
  }
}

void TCanvas::Draw(int x, int y, TBitmap* source) {
  if (!source) return;
  Blit(Bounds(x, y, source->Width(), source->Height()), source, Rect(0, 0, source->Width(), source->Height()),
       cmSrcCopy);
  Changed();
}

void TCanvas::StretchDraw(const TRect& dest, TBitmap* source) {
  if (!source) return;
  Blit(dest, source, Rect(0, 0, source->Width(), source->Height()), cmSrcCopy);
  Changed();
}

void TCanvas::StretchDraw(const TRect& dest, TBitmap* source, const TRect& sourceRect) {
  Blit(dest, source, sourceRect, cmSrcCopy);
  Changed();
}

void TCanvas::CopyRect(const TRect& dest, TCanvas* source, const TRect& sourceRect) {
  if (!source) return;
  if (FCopyMode == cmDstInvert || FCopyMode == cmBlackness || FCopyMode == cmWhiteness) {
    if (!Ready()) return;
    TPaint p;
    p.rop = CopyModeRop(FCopyMode);
    FillSpans(TClipRegion::FromRect(Clamped(dest)), p);
  } else {
    Blit(dest, source->FBitmap, sourceRect, FCopyMode);
  }
  Changed();
}

TColor TCanvas::Pixels(int x, int y) {
  if (!Ready() || x < 0 || y < 0 || x >= FBitmap->Width() || y >= FBitmap->Height()) return -1;
  if (FHasClip && !FClip.Contains(x, y)) return -1;
  return RGBToColor(ReadPixel(FBitmap, FBitmap->ScanLine(y), x));
}

void TCanvas::SetPixels(int x, int y, TColor c) {
  if (!Ready()) return;
  TPaint p = PenPaint(c);
  p.rop = pmCopy;
  PaintPixel(x, y, p);
  Changed();
}

// ---------------------------------------------------------------------------------------------
// Clipping

TRect TCanvas::ClipRect() const {
  TRect surface = FBitmap ? Rect(0, 0, FBitmap->Width(), FBitmap->Height()) : TRect{};
  if (!FHasClip) return surface;
  TRect r;
  IntersectRect(r, FClip.Bounds(), surface);
  return r;
}

void TCanvas::SetClipRegion(const TClipRegion& r) {
  FClip = r;
  FHasClip = true;
}

void TCanvas::IntersectClipRect(const TRect& r) {
  if (!FHasClip) {
    SetClipRegion(TClipRegion::FromRect(Clamped(r)));
    return;
  }
  FClip.Intersect(TClipRegion::FromRect(Clamped(r)));
}

void TCanvas::ExcludeClipRect(int x1, int y1, int x2, int y2) {
  if (!FHasClip)
    SetClipRegion(TClipRegion::FromRect(Rect(0, 0, FBitmap ? FBitmap->Width() : 0, FBitmap ? FBitmap->Height() : 0)));
  FClip.Exclude(Rect(x1, y1, x2, y2));
}

void TCanvas::ResetClipRegion() {
  FHasClip = false;
  FClip = TClipRegion();
}

// ---------------------------------------------------------------------------------------------
// The bitmap's canvas

TCanvas* TBitmap::Canvas() {
  if (!FreeCanvasHook) FreeCanvasHook = [](TCanvas* c) { delete c; };
  if (!FCanvas) FCanvas = new TCanvas(this);
  return FCanvas;
}
