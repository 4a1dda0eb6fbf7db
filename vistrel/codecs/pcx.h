// PCX reader and writer.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/core.h"
#include "vistrel/codecs/ioparams.h"

// Content sniffer: a "PCX2" stream header (more than 12 bytes), the older "PCX" one (more than
// 4), or a PCX header (manufacturer 10, version at most 5, more than 128 bytes).
bool VLIsPCX(const uint8_t* Head, int64_t StreamSize);

// Reads the PCX image of DataSize bytes (header included) at the stream's position.
void ReadPCXStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, int64_t DataSize, TFilterProgress& Progress,
                   bool ParamsOnly);
void ReadPCXFile(const std::string& FileName, TBitmap* Bitmap, TIOParamsVals& Params, TFilterProgress& Progress);
// Writes header, lines and (8 bits) palette at the stream's position.
void WritePCXStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TFilterProgress& Progress);

// Run-length codes Count bytes Source[Start + i x Stride] into Dest (room for 2 x Count + 2
// bytes); returns the bytes written. An odd Count gets one literal 0 appended.
int PCXEncodeLine(uint8_t* Dest, const uint8_t* Source, int Count, int Stride, int Start);

// One line of decoded plane data from the image bytes; runs carry over from one line to the
// next. The bytes are held in memory (Data, Size), or taken from a stream a block at a time.
struct TPCXLineDecoder {
  const uint8_t* Data = nullptr;
  int64_t Size = 0;
  int64_t Pos = 0;
  bool Compressed = true;
  int RunCount = 0;
  uint8_t RunValue = 0;
  // Reads from the stream's position, Left bytes at most; Data then points into Block.
  void SetSource(TStream* Stream, int64_t Left);
  // Fills Count bytes; false when the data ended first (the rest of the line is zero).
  bool DecodeLine(uint8_t* Line, int Count);

 private:
  bool More();  // true when a byte is at Pos, reading the next block when needed
  TStream* FSource = nullptr;
  int64_t FLeft = 0;
  std::vector<uint8_t> FBlock;
};
