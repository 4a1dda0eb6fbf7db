// Colour quantizers: a palette of at most NColors colours for a 24-bit bitmap, and the
// palette index of any colour. Up to 256 colours a box-splitting quantizer over a
// 32 x 32 x 32 histogram; above that a self-organising neural net.
#pragma once
#include <cstdint>
#include <vector>

#include "platform/core/core.h"

class TVLQuantizer : public TObject {
 public:
  // Builds the palette at once into Palette (blue, green, red triples, room for NColors
  // entries; entries past the colours produced keep their values). Limit is not used.
  // Quality -1 picks the net's sample factor from the picture size, 0..100 fixes it.
  // Method is not used. A bitmap that is not pf24bit counts as a picture without pixels.
  TVLQuantizer(TBitmap* Bitmap, TRGB* Palette, int Limit, int NColors, int Quality = -1, int Method = 0);
  ~TVLQuantizer() override;

  // Palette index of a colour given as blue | green << 8 | red << 16.
  int ColorIndex(int32_t Colour) const;
  int ColorIndex(const TRGB& c) const { return ColorIndex(int32_t(c.B) | (int32_t(c.G) << 8) | (int32_t(c.R) << 16)); }
  // 0 neural net, 1 box split.
  int Algorithm() const { return FAlgorithm; }
  // Number of palette entries written.
  int ColorsProduced() const { return FProduced; }
  // The net's sample factor (0 for the box split).
  int SampleFactor() const { return FSampleFactor; }

 private:
  struct TBox {
    double Error = 0;
    double Mean[3] = {0, 0, 0};  // red, green, blue, in 5-bit units
    int64_t Count = 0;
    int64_t Hist[3][32] = {};
    int Lower[3] = {0, 0, 0};     // inclusive
    int Upper[3] = {32, 32, 32};  // exclusive
  };

  // Box split.
  void BoxBuild(TBitmap* Bitmap, TRGB* Palette, int NColors);
  void BoxStats(TBox& b) const;
  bool BoxCut(const TBox& b, int c, TBox& lower, TBox& upper) const;
  bool BoxSplit(int i, int freePlace);
  void BoxRecount(TBox& b) const;
  static void BoxShrink(TBox& b);

  // Neural net.
  void NetBuild(TBitmap* Bitmap, TRGB* Palette, int NColors, int Quality);
  int NetContest(int b, int g, int r);
  void NetAlterSingle(int alpha, int i, int b, int g, int r);
  void NetAlterNeigh(int rad, int i, int b, int g, int r);
  void NetLearn(TBitmap* Bitmap);
  void NetIndexBuild();
  int NetSearch(int b, int g, int r) const;

  int FAlgorithm = 1;
  int FProduced = 0;
  int FSampleFactor = 0;

  std::vector<uint32_t> FHist;    // 32768 cells
  std::vector<TBox> FBoxes;       // 256
  std::vector<uint8_t> FInverse;  // 32768 cells
  int64_t FTotal = 0;
  int FNColors = 0;
  int FBoxCount = 0;

  struct TNeuron {
    int32_t B, G, R, Index;
  };
  std::vector<TNeuron> FNet;
  std::vector<int32_t> FFreq, FBias, FRadPower;
  int FNetIndex[256] = {};
  int FNetSize = 0;
  int64_t FByteCount = 0;
};
