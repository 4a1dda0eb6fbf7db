#include "platform/core/types.h"

#include <algorithm>
#include <array>
#include <limits>

namespace {
// A classic light desktop scheme.
std::array<TColor, 25> gSystemColors = {
    RGB(0xC0, 0xC0, 0xC0), RGB(0x00, 0x80, 0x80), RGB(0x00, 0x00, 0x80), RGB(0x80, 0x80, 0x80), RGB(0xC0, 0xC0, 0xC0),
    RGB(0xFF, 0xFF, 0xFF), RGB(0x00, 0x00, 0x00), RGB(0x00, 0x00, 0x00), RGB(0x00, 0x00, 0x00), RGB(0xFF, 0xFF, 0xFF),
    RGB(0xC0, 0xC0, 0xC0), RGB(0xC0, 0xC0, 0xC0), RGB(0x80, 0x80, 0x80), RGB(0x00, 0x00, 0x80), RGB(0xFF, 0xFF, 0xFF),
    RGB(0xC0, 0xC0, 0xC0), RGB(0x80, 0x80, 0x80), RGB(0x80, 0x80, 0x80), RGB(0x00, 0x00, 0x00), RGB(0xC0, 0xC0, 0xC0),
    RGB(0xFF, 0xFF, 0xFF), RGB(0x00, 0x00, 0x00), RGB(0xDF, 0xDF, 0xDF), RGB(0x00, 0x00, 0x00), RGB(0xFF, 0xFF, 0xE1)};
}  // namespace

TColor SystemColor(int index) {
  if (index < 0 || index >= int(gSystemColors.size())) return clBlack;
  return gSystemColors[size_t(index)];
}

void SetSystemColor(int index, TColor rgb) {
  if (index >= 0 && index < int(gSystemColors.size())) gSystemColors[size_t(index)] = rgb & 0xFFFFFF;
}

TColor ColorToRGB(TColor c) {
  if (c < 0) return SystemColor(c & 0xFF);
  return c & 0xFFFFFF;
}

bool PtInRect(const TRect& r, TPoint p) { return p.X >= r.Left && p.X < r.Right && p.Y >= r.Top && p.Y < r.Bottom; }

bool IsRectEmpty(const TRect& r) { return r.Right <= r.Left || r.Bottom <= r.Top; }

bool IntersectRect(TRect& dst, const TRect& a, const TRect& b) {
  TRect r{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right), std::min(a.Bottom, b.Bottom)};
  if (IsRectEmpty(r)) {
    dst = TRect{};
    return false;
  }
  dst = r;
  return true;
}

bool UnionRect(TRect& dst, const TRect& a, const TRect& b) {
  if (IsRectEmpty(a)) {
    dst = b;
  } else if (IsRectEmpty(b)) {
    dst = a;
  } else {
    dst = TRect{std::min(a.Left, b.Left), std::min(a.Top, b.Top), std::max(a.Right, b.Right),
                std::max(a.Bottom, b.Bottom)};
  }
  return !IsRectEmpty(dst);
}

void OffsetRect(TRect& r, Integer dx, Integer dy) {
  r.Left += dx;
  r.Right += dx;
  r.Top += dy;
  r.Bottom += dy;
}

void InflateRect(TRect& r, Integer dx, Integer dy) {
  r.Left -= dx;
  r.Right += dx;
  r.Top -= dy;
  r.Bottom += dy;
}

int64_t Round(long double x) {
  if (!std::isfinite(x)) return 0;
  long double r = std::nearbyint(x);  // default rounding mode: halves to even
  if (r >= 9.2e18L) return std::numeric_limits<int64_t>::max();
  if (r <= -9.2e18L) return std::numeric_limits<int64_t>::min();
  return int64_t(r);
}

int64_t Trunc(long double x) {
  if (!std::isfinite(x)) return 0;
  if (x >= 9.2e18L) return std::numeric_limits<int64_t>::max();
  if (x <= -9.2e18L) return std::numeric_limits<int64_t>::min();
  return int64_t(x);
}

static Integer Saturate(int64_t v) {
  return Integer(std::clamp<int64_t>(v, std::numeric_limits<Integer>::min(), std::numeric_limits<Integer>::max()));
}

Integer RoundInt(long double x) { return Saturate(Round(x)); }
Integer TruncInt(long double x) { return Saturate(Trunc(x)); }
