// Helpers of the TIFF tests: PNM files, bitmap comparison, a test-only LZW coder.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/core.h"
#include "vistrel/codecs/ioparams.h"

namespace tifftest {

// A PNM picture: P4 (Gray holds 255 white, 0 black), P5 or P6 (RGB, 3 bytes a pixel).
struct TPnm {
  int Width = 0, Height = 0, Channels = 0;
  std::vector<uint8_t> Pixels;  // Channels bytes a pixel, top row first
  bool Valid() const { return Width > 0; }
  // Red, green, blue of pixel (x, y).
  void Rgb(int x, int y, uint8_t& r, uint8_t& g, uint8_t& b) const;
};
TPnm LoadPnm(const std::string& fileName);
TPnm DecodePnm(const std::vector<uint8_t>& data);

std::string DataPath(const std::string& name);
std::vector<uint8_t> ReadFileBytes(const std::string& fileName);
void WriteFileBytes(const std::string& fileName, const std::vector<uint8_t>& data);

// Red, green, blue of a bitmap pixel (pf1bit through its 0 black / 1 white convention).
void BitmapRgb(TBitmap* bmp, int x, int y, uint8_t& r, uint8_t& g, uint8_t& b);
// Number of pixels whose channels differ from the picture's by more than tolerance.
int64_t CountDiff(TBitmap* bmp, const TPnm& pnm, int tolerance);

// Test-only LZW coder for the TIFF hooks.
uint8_t* TestLZWDecode(const uint8_t* data, int32_t rowBytes, void*& state);
void TestLZWEncode(const uint8_t* data, int32_t count, TStream* stream, void*& state);

// Runs a shell command; its standard output, and whether it exited with 0.
bool RunTool(const std::string& command, std::string* output = nullptr);
bool HaveTool(const std::string& name);
std::string TempDir();

}  // namespace tifftest
