// BMP reader and writer, and the pieces of it that the icon and cursor readers reuse.
#pragma once
#include <cstdint>
#include <vector>

#include "platform/core/core.h"
#include "vistrel/codecs/ioparams.h"

// Content sniffer: "BM" in a stream of more than 14 bytes.
bool VLIsBMP(const uint8_t* Head, int64_t StreamSize);

// Reads one BMP at the stream's position. DataLength is the byte length of the BMP
// (0: not given; the file size from its header is used then).
void ReadBMPStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, int64_t DataLength,
                   TFilterProgress& Progress, bool ParamsOnly);
// Writes the bitmap as one BMP at the stream's position (depth and header kind from Params).
void WriteBMPStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TFilterProgress& Progress);

// Compression codes of the info header.
constexpr uint32_t BMP_RGB = 0;
constexpr uint32_t BMP_RLE8 = 1;
constexpr uint32_t BMP_RLE4 = 2;
constexpr uint32_t BMP_BITFIELDS = 3;

// The info header, whatever its kind; fields a short header lacks are zero.
struct TBMPInfoHeader {
  uint32_t Size = 0;  // its own size in the file
  int32_t Width = 0;
  int32_t Height = 0;  // negative: rows top-down
  uint16_t Planes = 0;
  uint16_t BitCount = 0;
  uint32_t Compression = 0;
  uint32_t ImageSize = 0;
  int32_t XPelsPerMeter = 0;
  int32_t YPelsPerMeter = 0;
  uint32_t ClrUsed = 0;
  uint32_t ClrImportant = 0;
  // Channel masks held in the header itself (Windows headers of 52 bytes and longer);
  // zero otherwise.
  uint32_t RedMask = 0, GreenMask = 0, BlueMask = 0;
};

// Reads the info header at the stream's position and leaves the stream after it: the 12-byte
// kind field by field, the others from their first min(64, size) bytes with the rest skipped.
// False when the stream ends first or the size is below 16 (and not 12).
bool BMPReadInfoHeader(TStream* Stream, TBMPInfoHeader& Header);
// BMPVersion code of a header size: 2 for 12, 1 for 40, 3 for 64, else 0.
uint8_t BMPVersionOfHeader(uint32_t Size);
// Resolution from pixels per metre; the screen's when that gives 0.
int32_t BMPDpiFromPelsPerMeter(int32_t PelsPerMeter);
// Reads Count palette entries of EntrySize bytes (3: blue, green, red; 4: and a reserved byte).
// False when the stream ends first.
bool BMPReadPalette(TStream* Stream, int Count, int EntrySize, std::vector<TRGB>& Map);

// Decodes rows of a file into bitmap rows: palette depths through the colour map (an index
// beyond it gives black), 16 and 32 bits through the channel masks, each channel's bits
// taken as the top bits of its byte.
class TBMPRowDecoder {
 public:
  // False when the depth is not one of a BMP. Masks all 0 take the defaults (5-5-5 for 16
  // bits, 8-8-8 for 32 bits); a single mask of 0 gives a channel of 0.
  bool Setup(int Bits, const TRGB* Map, int MapCount, uint32_t RedMask = 0, uint32_t GreenMask = 0,
             uint32_t BlueMask = 0);
  // One row of Width pixels from Source (at least BMPRowBytes(Width, Bits) bytes, or the
  // pixel bytes alone) into a 24-bit row; 1-bit rows go through the map as well.
  void DecodeRow(const uint8_t* Source, uint8_t* Dest, int Width);
  // True once a palette index beyond the map was met.
  bool BadIndex() const { return FBadIndex; }

 private:
  struct TChannel {
    uint32_t Mask = 0;
    int Shift = 0;
    uint32_t Max = 0;
    int Widen = 0, Narrow = 0;  // shifts that bring the channel to 8 bits
  };
  void SetChannel(TChannel& c, uint32_t mask);
  uint8_t Scale(const TChannel& c, uint32_t v) const;

  int FBits = 0;
  TRGB FMap[256];
  int FMapCount = 0;
  bool FBadIndex = false;
  bool FPlain32 = false;  // 32 bits with the default masks: bytes taken as they are
  TChannel FChannels[3];  // red, green, blue
};

// Bytes of the pixels of one row, without the padding.
inline int64_t BMPRowDataBytes(int64_t Width, int Bits) { return (Width * Bits + 7) / 8; }

// Expand RLE8 / RLE4 data into the 24-bit bitmap from its bottom row up (deltas move from
// the current position). Progress after each end of line, counting the row it enters
// (Trunc((rows done + 1) x PercentPerRow)), abort test after. Damage is read through:
// pixels past the row or the picture are dropped, an index beyond the map is black, data
// that end early leave the rest as it was. False when the handler stopped it, or (with the
// abort flag set) when there is no picture or data to decode.
bool BMPDecodeRLE8(TBitmap* Bitmap, const uint8_t* Data, int64_t DataLength, TFilterProgress& Progress,
                   const TRGB* ColorMap, int ColorMapCount);
bool BMPDecodeRLE4(TBitmap* Bitmap, const uint8_t* Data, int64_t DataLength, TFilterProgress& Progress,
                   const TRGB* ColorMap, int ColorMapCount);

// Encode one row of Count palette indices into Out (room for 2 x Count + 4 bytes), ending
// with the end-of-line code; return the bytes produced.
int BMPEncodeRLE8(const uint8_t* Row, int Count, uint8_t* Out);
int BMPEncodeRLE4(const uint8_t* Row, int Count, uint8_t* Out);

// Writes Count colour map entries: 4 bytes each (blue, green, red, 0), or 3 when EntrySize is 3.
void BMPWritePalette(TStream* Stream, const TRGB* Map, int Count, int EntrySize = 4);
