// Device-independent bitmap: rows top-down, 4-byte aligned, 24-bit rows of blue, green,
// red triples and 1-bit rows packed most significant bit first (a QImage can share them).
#pragma once
#include <cstdint>
#include <vector>

#include "platform/core/object.h"
#include "platform/core/types.h"

enum TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };

class TCanvas;  // the GUI layer's canvas

class TBitmap : public TPersistent {
 public:
  TBitmap();
  ~TBitmap() override;

  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  // Size changes keep the top-left pixels; new pixels are black (zero).
  void SetWidth(int w) { SetSize(w, FHeight); }
  void SetHeight(int h) { SetSize(FWidth, h); }
  void SetSize(int w, int h);
  // Size and format at once, for a caller that writes every pixel itself: the bytes holding
  // pixels are left unspecified, the padding after them is zero (and so is a packed row's last
  // byte when the pixels don't fill it). The palette is as after SetPixelFormat(pf); pfDevice
  // becomes pf24bit. Memory of the right size is kept. Raises EOutOfResources past MaxBytes,
  // leaving the bitmap as it was.
  void Allocate(int w, int h, TPixelFormat pf);
  bool Empty() const { return FWidth == 0 || FHeight == 0; }

  TPixelFormat PixelFormat() const { return FPixelFormat; }
  // Converts the pixels to the new format (through the palette, nearest entry when reducing).
  void SetPixelFormat(TPixelFormat pf);
  // Bits per stored pixel of the current format (pfDevice and pfCustom store 24).
  int BitsPerPixel() const { return StoredBits(FPixelFormat); }
  static int StoredBits(TPixelFormat pf);

  // Row y, top row 0. Raises EInvalidGraphicOperation outside 0..Height-1.
  uint8_t* ScanLine(int y);
  const uint8_t* ScanLine(int y) const;
  // Bytes from one row to the next.
  int64_t RowBytes() const { return FRowBytes; }
  uint8_t* Bits() { return FBits; }
  const uint8_t* Bits() const { return FBits; }
  int64_t ImageSize() const { return FRowBytes * FHeight; }

  // Colour table of 1, 4 and 8-bit formats.
  const std::vector<TRGBQuad>& Palette() const { return FPalette; }
  void SetPalette(const std::vector<TRGBQuad>& p);
  bool Monochrome() const { return FPixelFormat == pf1bit; }

  void Assign(TPersistent* source) override;
  // Takes Source's pixel memory, size, format and palette without copying them; Source is
  // left empty. For a result made in a new bitmap while the old pixels were still read.
  void TakePixels(TBitmap* Source);
  void Changed();
  TNotifyEvent OnChange;

  // Drawing surface; provided by the GUI layer (platform_gui).
  TCanvas* Canvas();
  bool HasCanvas() const { return FCanvas != nullptr; }
  // Increments whenever the pixel memory moves or changes shape.
  uint64_t Generation() const { return FGeneration; }

  // Largest pixel memory a bitmap may take (process-wide, 1 GiB unless set); larger sizes
  // raise EOutOfResources. Readers check a picture against it before allocating anything.
  static int64_t MaxBytes();
  static void SetMaxBytes(int64_t n);
  // Gives the memory kept from freed large pictures back to the system.
  static void ReleaseFreedMemory();
  // The GUI layer frees canvases through this hook.
  static void (*FreeCanvasHook)(TCanvas*);

 private:
  void Reallocate(int w, int h, TPixelFormat pf, bool keep, bool zero = true);
  static std::vector<TRGBQuad> DefaultPalette(TPixelFormat pf);

  int FWidth = 0, FHeight = 0;
  TPixelFormat FPixelFormat = pfDevice;
  int64_t FRowBytes = 0;
  uint8_t* FBits = nullptr;
  int64_t FCapacity = 0;  // bytes of the block FBits points to
  std::vector<TRGBQuad> FPalette;
  TCanvas* FCanvas = nullptr;
  uint64_t FGeneration = 0;
  friend TCanvas* CreateBitmapCanvas(TBitmap*);
};

// Bytes of one row padded to 32 bits.
inline int64_t BitmapRowBytes(int64_t width, int bits) { return (width * bits + 31) / 32 * 4; }
