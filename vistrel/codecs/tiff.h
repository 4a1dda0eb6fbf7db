// TIFF reader and writer.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/core.h"
#include "vistrel/codecs/ioparams.h"

// Compression codes of the file's Compression tag: none, the three fax codings (modified
// Huffman rows; T.4, two-dimensional with T4Options bit 0; T.6), LZW, the two JPEGs, PackBits.
enum TTIFFCompressionTag : uint32_t {
  tcNone = 1,
  tcCCITTHuffman = 2,
  tcCCITTGroup3 = 3,
  tcCCITTGroup4 = 4,
  tcLZW = 5,
  tcOldJPEG = 6,
  tcJPEG = 7,
  tcPackBits = 32773
};
inline bool TIFFIsFaxCompression(uint32_t C) { return C >= tcCCITTHuffman && C <= tcCCITTGroup4; }

// The codes of TIFFCompression in the parameter object.
enum TTIFFParamsCompression : uint8_t {
  tpcNone,
  tpcHuffman,
  tpcGroup3,
  tpcGroup3TwoD,
  tpcGroup4,
  tpcLZW,
  tpcOldJPEG,
  tpcJPEG,
  tpcPackBits
};

// Photometric interpretations of the file's tag (5: CMYK).
enum TTIFFPhotometricTag : uint32_t {
  tpWhiteIsZero = 0,
  tpBlackIsZero = 1,
  tpRGB = 2,
  tpPalette = 3,
  tpMask = 4,
  tpSeparated = 5,
  tpYCbCr = 6,
  tpCIELab = 8
};

// One 12-byte IFD entry as it lies in the file (Value: the raw 4 bytes, file byte order).
struct TTIFFEntry {
  uint16_t Tag = 0;
  uint16_t Type = 0;
  uint32_t Count = 0;
  uint8_t Value[4] = {0, 0, 0, 0};
};

// The reader's record of the current IFD and its decoded tags.
struct TTIFFVars {
  bool BigEndian = false;
  TStream* Stream = nullptr;
  int64_t Base = 0;                 // stream position of the file header
  int64_t Size = 0;                 // bytes from Base to the end of the stream
  const uint8_t* Memory = nullptr;  // the file's bytes when the stream holds them in memory
  std::vector<TTIFFEntry> Entries;

  uint32_t Width = 0, Height = 0;
  uint32_t SamplesPerPixel = 1, BitsPerSample = 1, RowsPerStrip = 0;
  int64_t TileWidth = -1, TileLength = -1;
  uint32_t Photometric = 2, PlanarConfig = 1, Orientation = 1, Compression = 1;
  // Strip tables are read with the pixels, no more entries than the rows need.
  std::vector<uint32_t> StripOffsets, StripByteCounts, TileOffsets, TileByteCounts;
  std::vector<TRGB> ColorMap;              // blue, green, red
  std::vector<uint16_t> TransferFunction;  // three values per entry
  uint32_t ResolutionUnit = 2;
  long double XResolution = 0, YResolution = 0;
  uint32_t Predictor = 1;
  std::vector<uint8_t> JPEGTables;
  uint32_t T4Options = 0, T6Options = 0, FillOrder = 1;
  long double XPosition = 0, YPosition = 0;
  std::string DocumentName, ImageDescription, PageName, Software;
  uint32_t PageNumber = 0, PageCount = 0;
  uint32_t InkSet = 1, NumberOfInks = 4;
  uint32_t DotRange[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  TTIFFLZWDecoder LZWDecoder = nullptr;
};

// Content sniffer: a "TIFF" stream header (more than 12 bytes), or "II" or "MM" (more than 8).
bool VLIsTIFF(const uint8_t* Head, int64_t StreamSize);

// Reads page TIFFImageIndex of Params from the TIFF file at the stream's position; ImageCount
// becomes the number of pages. Failure sets the abort flag of Progress.
void ReadTIFFStream(TBitmap* Bitmap, TStream* Stream, int& ImageCount, TIOParamsVals& Params, TFilterProgress& Progress,
                    bool ParamsOnly);
// The pages of the TIFF file at the stream's position, found by one walk of its IFD chain.
struct TTIFFPageIndex {
  bool Valid = false;  // the header was recognised
  bool BigEndian = false;
  bool Broken = false;            // the chain ran past the end of the data
  int64_t Base = 0;               // stream position of the file header
  std::vector<uint32_t> Offsets;  // of each page's IFD
};
void TIFFIndexPages(TStream* Stream, TTIFFPageIndex& Index);
// Reads page Page of the indexed file straight from its IFD, as ReadTIFFStream reads page
// TIFFImageIndex (which this leaves alone). Failure sets the abort flag of Progress.
void ReadTIFFPage(TBitmap* Bitmap, TStream* Stream, const TTIFFPageIndex& Index, int Page, TIOParamsVals& Params,
                  TFilterProgress& Progress);
// Number of pages of the TIFF file at the stream's position (0 when it is none).
int TIFFImageCount(TStream* Stream);

// Insert false: writes a new one-page file at the stream's position and returns 1. Insert true:
// adds the page to the little-endian TIFF file the stream holds, as page TIFFImageIndex of
// Params (at the end when past the last page); returns the new page count, 0 on failure.
int WriteTIFFStream(TStream* Stream, bool Insert, TBitmap* Bitmap, TIOParamsVals& Params, TFilterProgress& Progress);

// Value access of the reader.
uint16_t TIFFSwapWord(uint16_t V);
uint32_t TIFFSwapLong(uint32_t V);
// The single value held in an entry (BYTE, SHORT or LONG), in host order.
uint32_t TIFFEntryValue(const TTIFFVars& Vars, const TTIFFEntry& Entry);
// First entry of the tag, or nil.
const TTIFFEntry* TIFFFindTag(const TTIFFVars& Vars, uint16_t Tag);
uint32_t TIFFGetTagValue(const TTIFFVars& Vars, uint16_t Tag, uint32_t Default);
// Numerator / denominator of a RATIONAL (a denominator of 0 counts as 1); 0 when absent.
long double TIFFGetTagRational(const TTIFFVars& Vars, uint16_t Tag);
// Item Index of an array tag; Default when absent or short.
uint32_t TIFFGetTagItem(const TTIFFVars& Vars, uint16_t Tag, uint32_t Index, uint32_t Default);
bool TIFFGetEntryItem(const TTIFFVars& Vars, const TTIFFEntry& Entry, uint32_t Index, uint32_t& Value);
// All items of an array tag (at most MaxCount); false when absent or unreadable.
bool TIFFGetTagArray(const TTIFFVars& Vars, uint16_t Tag, std::vector<uint32_t>& Items, uint32_t MaxCount = 1u << 24);
// Raw bytes of a tag (at most MaxBytes).
bool TIFFGetTagData(const TTIFFVars& Vars, uint16_t Tag, std::vector<uint8_t>& Data, uint32_t MaxBytes = 1u << 24);
// ASCII text up to its first zero byte.
std::string TIFFGetTagString(const TTIFFVars& Vars, uint16_t Tag);

// Pixel conversions: one CMYK pixel to blue, green, red; one 8-bit CIELab pixel to red,
// green, blue.
void TIFFCmykToBgr(const uint8_t* Cmyk, uint8_t* Bgr);
void TIFFLabToRgb(uint8_t L, uint8_t A, uint8_t B, uint8_t& Red, uint8_t& Green, uint8_t& Blue);
void TIFFRgbToCmyk(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t* Cmyk);

// PackBits coding of Size bytes, written to Stream.
void TIFFPackBitsEncode(const uint8_t* Data, int Size, TStream* Stream);
// PackBits decoding that carries runs from one row to the next.
struct TTIFFPackBitsDecoder {
  const uint8_t* Data = nullptr;
  int64_t Size = 0;
  int64_t Pos = 0;
  int Literal = 0;  // literal bytes still to copy
  int Repeat = 0;   // repeats of Value still to give
  uint8_t Value = 0;
  // Fills Count bytes; false when the data ended first.
  bool DecodeRow(uint8_t* Row, int64_t Count);
};

// Entry makers of the writer: values that fit in the entry's four bytes are held there, the
// others are written at the stream's position (made even; Base is the file's start).
void TIFFAddLongEntry(std::vector<TTIFFEntry>& Tags, uint16_t Tag, uint32_t Value);
void TIFFAddShortEntry(std::vector<TTIFFEntry>& Tags, uint16_t Tag, uint16_t Value);
void TIFFAddRationalEntry(std::vector<TTIFFEntry>& Tags, uint16_t Tag, uint32_t Numerator, uint32_t Denominator,
                          TStream* Stream, int64_t Base);
void TIFFAddAsciiEntry(std::vector<TTIFFEntry>& Tags, uint16_t Tag, const std::string& Text, TStream* Stream,
                       int64_t Base);
void TIFFAddLongArrayEntry(std::vector<TTIFFEntry>& Tags, uint16_t Tag, const std::vector<uint32_t>& Items,
                           TStream* Stream, int64_t Base);
void TIFFAddShortArrayEntry(std::vector<TTIFFEntry>& Tags, uint16_t Tag, const std::vector<uint16_t>& Items,
                            TStream* Stream, int64_t Base);
