// Pixel, colour and bitmap helpers shared by the processing component, the views and the
// codecs: bit masks, row lengths, colour sets, colour models, exact copies, 1-bit work.
// No Qt here.
#pragma once
#include <cstdint>
#include <memory>

#include "platform/core/core.h"
#include "vistrel/base/progress.h"

// Bit, row and colour-count arithmetic.
int VLBitMaskWidth(uint32_t Mask);
int VLBitMaskHigh(uint32_t Mask);
// Bytes of one scan line padded to 32 bits.
int64_t VLRowLength(int64_t Width, int64_t Bits);
int VLPixelFormatBits(TPixelFormat PixelFormat);
// (2^Bits)^Count; 1 when Count <= 0.
int64_t VLPowerOfTwo(int Bits, int Count);

// A set of 32-bit integers: 2^Bits buckets, chained on collision.
class THash1 : public TObject {
 public:
  explicit THash1(int Bits);
  ~THash1() override;
  THash1(const THash1&) = delete;
  THash1& operator=(const THash1&) = delete;
  // False when Value is already there; else adds it.
  bool Add(int32_t Value);
  int Count() const { return FCount; }
  int Bits() const { return FBits; }
  int64_t Size() const { return FSize; }

 private:
  struct TNode {
    int32_t Value;
    TNode* Next;
  };
  union TSlot {
    int32_t Value;
    TNode* Head;
  };
  TSlot* FSlots = nullptr;
  uint8_t* FStates = nullptr;
  int FBits = 0;
  int64_t FSize = 0;
  int FCount = 0;
};

// Integer and real helpers.
inline int VLIntMin(int A, int B) { return A < B ? A : B; }
inline int VLIntMax(int A, int B) { return A > B ? A : B; }
inline int VLIntClamp(int V, int Low, int High) { return VLIntMin(VLIntMax(V, Low), High); }
inline Byte VLByteClamp(int V) { return V < 0 ? 0 : V > 255 ? 255 : Byte(V); }
inline void VLSwapInt(int& A, int& B) {
  int t = A;
  A = B;
  B = t;
}
inline void VLSwapByte(Byte& A, Byte& B) {
  Byte t = A;
  A = B;
  B = t;
}
void VLOrderCorners(int& X1, int& Y1, int& X2, int& Y2);
inline long double VLMinReal(long double A, long double B) { return A < B ? A : B; }
inline long double VLMaxReal(long double A, long double B) { return A > B ? A : B; }
int VLCeilReal(long double X);
int VLFloorReal(long double X);
long double VLArcTan2(long double Y, long double X);
long double VLArcCos(long double X);
long double VLArcSin(long double X);
long double VLTan(long double X);

// Colour packing. A packed RGB integer holds red in bits 16-23 and blue in bits 0-7
// (the reverse of a TColor).
inline void VLMakeRGB(int R, int G, int B, TRGB& Triple) { Triple = TRGB{Byte(B), Byte(G), Byte(R)}; }
// Packed RGB from a triple and back.
inline int32_t VLTripleToPacked(const TRGB& t) { return int32_t(t.B) | (int32_t(t.G) << 8) | (int32_t(t.R) << 16); }
inline TRGB VLPackedToTriple(int32_t c) { return TRGB{Byte(c), Byte(c >> 8), Byte(c >> 16)}; }
// Exchanges bits 0-7 and 16-23; bits 24-31 are cleared.
int32_t VLSwapRedBlue(int32_t Col);
// Resolves a system colour, then stores blue, green, red.
void VLColorToRGB(TColor Color, TRGB& Triple);
inline bool VLSameRGB(const TRGB& A, const TRGB& B) { return A.B == B.B && A.G == B.G && A.R == B.R; }
// Entry of Palette (blue, green, red) nearest to the packed RGB Col, by the sum of absolute
// channel differences; the first of equals wins; 0 for an empty palette.
int VLNearestPaletteIndex(const TRGB* Palette, int Count, int32_t Col);
void VLSwapPaletteRedBlue(TRGB* Palette, int Count);
// Copies Count 3-byte pixels and exchanges their first and third bytes.
void VLCopyRowSwapRB(uint8_t* Dest, const uint8_t* Source, int Count);

// Colour models. HSV in integers: H 0..359, S and V 0..99. HSL in reals 0..1.
void VLRGBToHSV(int& H, int& S, int& V, int32_t Col);
void VLHSVToRGB(TRGB& Triple, int H, int S, int V);
void VLRGBToHSL(double& H, double& S, double& L, int32_t Col);
void VLHSLToRGB(TRGB& Triple, double L, double S, double H);

// Bitmap copies.
// Dest takes Source's format, size and exact pixel memory (not its colour table).
void VLCopyBitmap(TBitmap* Source, TBitmap* Dest);
// The inclusive rectangle X1, Y1, X2, Y2 of Source into Dest (X2 or Y2 of 0: to the last
// column or row). pf24bit and pf1bit rows are copied; other formats are left unfilled.
void VLCopyBitmapRect(TBitmap* Source, TBitmap* Dest, int X1, int Y1, int X2, int Y2);
bool VLSameBitmap(TBitmap* A, TBitmap* B);
// Copies Count bits between 1-bit rows, most significant bit first; the destination bits
// outside the run keep their values.
void VLCopyBits(uint8_t* Dest, const uint8_t* Source, int64_t DestBit, int64_t Count, int64_t SourceBit);
inline int VLGetBit(const uint8_t* Row, int64_t X) { return Row[X >> 3] & (0x80 >> (X & 7)); }
inline void VLSetBit(uint8_t* Row, int64_t X, int Value) {
  if (Value) Row[X >> 3] |= Byte(0x80 >> (X & 7));
  else Row[X >> 3] &= Byte(~(0x80 >> (X & 7)));
}
// Inverts every bit of a pf1bit bitmap, row padding included.
void VLInvert1Bit(TBitmap* Bitmap);

// The 1-bit expansion table: 256 entries of 8 pixels of 3 bytes; bit set gives white.
const uint8_t* VLBuild1BitTable();

// 1-bit and 24-bit. Progress goes to OnProgress (when set) with Sender after each row.
void VLExpand1BitTo24Bit(TBitmap* Source, TBitmap* Dest, const TProgressEvent& OnProgress = nullptr,
                         TObject* Sender = nullptr);
// A new pf1bit bitmap (the caller frees it) when the pf24bit Source has exactly two colours,
// Color0 the darker (bit 0); else nullptr.
TBitmap* VLConvertTwoColorTo1Bit(TBitmap* Source, TRGB& Color0, TRGB& Color1);
// Ordered 8x8 dither of a pf24bit Bitmap, which becomes pf1bit.
void VLDitherOrderedTo1Bit(TBitmap* Bitmap, const TProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);
// What the writers store for a pf24bit picture at one bit: a new pf1bit bitmap (the caller
// frees it) of its two colours as they are, Color0 the darker; with one colour or more than
// two, an ordered dither of it, and Color0/Color1 black and white.
TBitmap* VLMake1BitForWrite(TBitmap* Source, TRGB& Color0, TRGB& Color1);
// The picture a writer works from, pf1bit when OneBit, else pf24bit: Source itself when it has
// that format already, else a copy (VLMake1BitForWrite or VLExpand1BitTo24Bit) held in Owned.
struct TVLWorkingBitmap {
  TBitmap* Bitmap = nullptr;
  std::unique_ptr<TBitmap> Owned;
};
TVLWorkingBitmap VLWorkingBitmapForWrite(TBitmap* Source, bool OneBit);
