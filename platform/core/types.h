// Basic value types of the class library: colours, points, rectangles, rounding.
#pragma once
#include <cmath>
#include <cstdint>
#include <string>

using Byte = uint8_t;
using Word = uint16_t;
using Integer = int32_t;
using Cardinal = uint32_t;
using LongWord = uint32_t;

// TColor: red in the low byte; values with the top bit set are system colours.
using TColor = int32_t;

constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clLtGray = clSilver;
constexpr TColor clDkGray = clGray;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

constexpr TColor clSystemColor = TColor(0x80000000u);
constexpr TColor clScrollBar = clSystemColor | 0;
constexpr TColor clBackground = clSystemColor | 1;
constexpr TColor clActiveCaption = clSystemColor | 2;
constexpr TColor clInactiveCaption = clSystemColor | 3;
constexpr TColor clMenu = clSystemColor | 4;
constexpr TColor clWindow = clSystemColor | 5;
constexpr TColor clWindowFrame = clSystemColor | 6;
constexpr TColor clMenuText = clSystemColor | 7;
constexpr TColor clWindowText = clSystemColor | 8;
constexpr TColor clCaptionText = clSystemColor | 9;
constexpr TColor clActiveBorder = clSystemColor | 10;
constexpr TColor clInactiveBorder = clSystemColor | 11;
constexpr TColor clAppWorkSpace = clSystemColor | 12;
constexpr TColor clHighlight = clSystemColor | 13;
constexpr TColor clHighlightText = clSystemColor | 14;
constexpr TColor clBtnFace = clSystemColor | 15;
constexpr TColor clBtnShadow = clSystemColor | 16;
constexpr TColor clGrayText = clSystemColor | 17;
constexpr TColor clBtnText = clSystemColor | 18;
constexpr TColor clInactiveCaptionText = clSystemColor | 19;
constexpr TColor clBtnHighlight = clSystemColor | 20;
constexpr TColor cl3DDkShadow = clSystemColor | 21;
constexpr TColor cl3DLight = clSystemColor | 22;
constexpr TColor clInfoText = clSystemColor | 23;
constexpr TColor clInfoBk = clSystemColor | 24;

// The system colour table (index = low byte of a system colour), as RGB TColor values.
TColor SystemColor(int index);
void SetSystemColor(int index, TColor rgb);  // tests and themes may change it
// Resolves a system colour to its RGB value; other colours pass with the top byte cleared.
TColor ColorToRGB(TColor c);
inline Byte GetRValue(TColor c) { return Byte(c & 0xFF); }
inline Byte GetGValue(TColor c) { return Byte((c >> 8) & 0xFF); }
inline Byte GetBValue(TColor c) { return Byte((c >> 16) & 0xFF); }
inline TColor RGB(int r, int g, int b) { return TColor((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16)); }

// A pixel of a 24-bit row and a colour-map entry: blue, green, red.
struct TRGB {
  Byte B = 0, G = 0, R = 0;
  bool operator==(const TRGB&) const = default;
};
static_assert(sizeof(TRGB) == 3);

// A palette entry of a bitmap: blue, green, red, reserved.
struct TRGBQuad {
  Byte B = 0, G = 0, R = 0, Reserved = 0;
  bool operator==(const TRGBQuad&) const = default;
};

inline TColor RGBToColor(TRGB t) { return RGB(t.R, t.G, t.B); }
inline TRGB ColorToTriple(TColor c) {
  c = ColorToRGB(c);
  return TRGB{GetBValue(c), GetGValue(c), GetRValue(c)};
}

struct TPoint {
  Integer X = 0, Y = 0;
  bool operator==(const TPoint&) const = default;
};
inline TPoint Point(Integer x, Integer y) { return TPoint{x, y}; }

struct TRect {
  Integer Left = 0, Top = 0, Right = 0, Bottom = 0;
  Integer Width() const { return Right - Left; }
  Integer Height() const { return Bottom - Top; }
  TPoint TopLeft() const { return {Left, Top}; }
  TPoint BottomRight() const { return {Right, Bottom}; }
  bool operator==(const TRect&) const = default;
};
inline TRect Rect(Integer l, Integer t, Integer r, Integer b) { return TRect{l, t, r, b}; }
inline TRect Bounds(Integer l, Integer t, Integer w, Integer h) { return TRect{l, t, l + w, t + h}; }
bool PtInRect(const TRect& r, TPoint p);  // right and bottom edges excluded
bool IsRectEmpty(const TRect& r);
// Intersection; false (and an empty rectangle) when they do not overlap.
bool IntersectRect(TRect& dst, const TRect& a, const TRect& b);
bool UnionRect(TRect& dst, const TRect& a, const TRect& b);
void OffsetRect(TRect& r, Integer dx, Integer dy);
void InflateRect(TRect& r, Integer dx, Integer dy);

struct TSize {
  Integer cx = 0, cy = 0;
  bool operator==(const TSize&) const = default;
};

// Rounding of reals: halves to even. Trunc: toward zero. The original platform evaluated
// reals in 80-bit extended precision, so both take long double.
int64_t Round(long double x);
int64_t Trunc(long double x);
// Saturating forms for places that store into 32-bit integers.
Integer RoundInt(long double x);
Integer TruncInt(long double x);
// Frac and Int as the class library defines them.
inline long double Frac(long double x) { return x - std::trunc(x); }
inline long double Int(long double x) { return std::trunc(x); }
