// The two-dimensional Fourier transform of a picture: the picture centred in a black
// square of side N (a power of two), each channel (or the luminance) one N x N plane of
// single-precision complex numbers with the zero frequency in the middle. It paints the
// log-magnitude spectrum, clears rectangles of frequencies and transforms back. No Qt here.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/core/core.h"
#include "vistrel/codecs/ioparams.h"

class TVLFtImage : public TObject {
 public:
  enum TPlaneIndex { ftRed, ftGreen, ftBlue, ftGray };

  TVLFtImage() = default;
  ~TVLFtImage() override;
  TVLFtImage(const TVLFtImage&) = delete;
  TVLFtImage& operator=(const TVLFtImage&) = delete;

  void ClearPlanes();
  // Takes Source's side, tables, placement, progress event, mode and a copy of its planes.
  void Assign(const TVLFtImage* Source);
  // Builds the tables for side N (a power of two).
  void SetSize(int N);
  // Forward transform of a pf24bit bitmap: Mode 1 red, green and blue planes, Mode 2 the
  // luminance plane. False, with the image as it was, for another format or mode, an empty
  // bitmap, or planes that would take more than the picture memory limit.
  bool BuildFT(TBitmap* Bitmap, int Mode);
  // The bitmap becomes N x N, pf24bit, showing the log-magnitude spectrum of each plane.
  void DrawSpectrum(TBitmap* Bitmap);
  // The bitmap becomes pf24bit of the source's size, each channel the inverse transform
  // stretched to 0..255.
  void GetInverse(TBitmap* Bitmap);
  // Zeroes the coefficients of columns X1..X2 and rows Y1..Y2 (inclusive, spectrum
  // coordinates, cut to the square) in every plane of the mode.
  void ClearZone(int X1, int Y1, int X2, int Y2);

  int Side() const { return FSide; }
  int Mode() const { return FMode; }
  int OffsetX() const { return FOffsetX; }
  int OffsetY() const { return FOffsetY; }
  int SourceWidth() const { return FSourceWidth; }
  int SourceHeight() const { return FSourceHeight; }
  // Row y of a plane: N real parts, then N imaginary parts; null when the plane is absent.
  float* Row(int Plane, int y);
  const float* Row(int Plane, int y) const { return const_cast<TVLFtImage*>(this)->Row(Plane, y); }

  // Called with this image as sender, once per column of every transform.
  TProgressEvent OnProgress;

 private:
  using TPlane = std::vector<float>;
  void FFT2D(float* Plane, float Sign);
  // Transforms Lanes sequences of N held side by side (element i of sequence l at
  // i x Lanes + l).
  template <int Lanes>
  void FFTLanes(float* Re, float* Im, float Sign) const;
  std::unique_ptr<TPlane> NewPlane() const;

  std::vector<double> FSinTable;
  std::vector<int32_t> FBitReverse;
  std::vector<int32_t> FPowers;
  int FN = 0, FLog2N = 0;
  float FSign = -1, FScale = 1;
  int FSide = 0;
  bool FNormalise = false;
  std::unique_ptr<TPlane> FPlanes[4];
  int FOffsetX = 0, FOffsetY = 0;
  int FSourceWidth = 0, FSourceHeight = 0;
  int FMode = 0;
  // Progress of one transform: its number of planes and the passes done.
  int FProgressPlanes = 1, FPasses = 0;
};
