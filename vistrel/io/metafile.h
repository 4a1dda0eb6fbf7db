// Our own reader of Windows metafiles (placeable WMF and EMF): the records are parsed into
// a list first (no drawing, so the parser can be fuzzed alone), then played on a canvas.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/core.h"
#include "vistrel/codecs/ioparams.h"

class TCanvas;

enum TVLMetaOp : uint8_t {
  moMoveTo,
  moLineTo,
  moPolyline,
  moPolylineTo,  // from the current position, which moves to the last point
  moPolygon,
  moPolyPolyline,
  moPolyPolygon,
  moRectangle,
  moEllipse,
  moText,
  moStretchDIB,
  moCreatePen,
  moCreateBrush,
  moCreateFont,
  moCreateOther,  // an object we don't draw with; it still takes its table slot
  moSelectObject,
  moDeleteObject,
  moSetTextColor,
  moSetBkColor,
  moSetBkMode,
  moSetPolyFillMode,
  moSetTextAlign,
  moSetWindowOrg,
  moSetWindowExt,
  moSetViewportOrg,
  moSetViewportExt,
  moSaveDC,
  moRestoreDC,
};

// Stock objects (EMF handles with the top bit set).
constexpr uint32_t VLStockObjectFlag = 0x80000000u;

struct TVLMetaRecord {
  TVLMetaOp Op = moMoveTo;
  // Object index: the EMF handle (stock objects carry VLStockObjectFlag); -1 for a WMF
  // create, which takes the lowest free slot.
  int64_t Index = -1;
  int32_t Style = 0;  // pen, brush style; bk mode; fill mode; text align
  int32_t Width = 0;  // pen width; brush hatch
  TColor Color = 0;   // COLORREF as a TColor (red in the low byte)
  std::vector<TPoint> Points;
  std::vector<int32_t> Counts;  // poly-poly: points of each part
  TRect Box;                    // shapes; text clip box; DIB destination (left, top, width, height)
  TRect Source;                 // DIB source (left, top, width, height) in top-down rows
  std::string Text;             // UTF-8
  // Fonts.
  int32_t FontHeight = 0;
  int32_t FontWeight = 0;
  int32_t FontEscapement = 0;
  bool FontItalic = false, FontUnderline = false, FontStrikeOut = false;
  std::string FontName;
  std::shared_ptr<TBitmap> Picture;  // decoded DIB, pf24bit
};

struct TVLMetafile {
  bool Enhanced = false;
  // Natural size in screen pixels.
  int32_t Width = 0;
  int32_t Height = 0;
  // The picture's frame in logical units (WMF: the placeable bounding box) or, for an EMF,
  // in pixels of the reference device.
  TRect Frame;
  std::vector<TVLMetaRecord> Records;
};

// Largest metafile the reader takes in.
constexpr int64_t VLMaxMetafileBytes = 256ll << 20;

// False with a short reason when the data is not a metafile we can read, or when its records
// would take more memory than the picture limit (TBitmap::MaxBytes). Records we don't know
// are skipped.
bool VLParseMetafile(const uint8_t* Data, int64_t Size, TVLMetafile& Meta, std::string& Reason);
// Content sniffers over the metafile's bytes: a placeable WMF key; an EMF header record.
bool VLIsWMF(const uint8_t* Data, int64_t Size);
bool VLIsEMF(const uint8_t* Data, int64_t Size);
// The cause of a reason given by VLParseMetafile.
TVLCause VLMetafileCause(const std::string& Reason);
// Reads the stream from its position to the end, as the codecs read: false with the abort
// flag, the reason and the cause of Progress set when it can't.
bool VLReadMetafile(TStream* Stream, TVLMetafile& Meta, TFilterProgress& Progress);
// A packed DIB (info header, colour table, rows) to a pf24bit bitmap; nullptr when it is not
// one we decode (1, 4, 8, 16, 24 and 32 bits, uncompressed or bit fields).
std::shared_ptr<TBitmap> VLDecodePackedDIB(const uint8_t* Header, int64_t HeaderSize, const uint8_t* Bits,
                                           int64_t BitsSize);

// Draws the records so that the frame fills Dest.
void VLPlayMetafile(const TVLMetafile& Meta, TCanvas* Canvas, const TRect& Dest);
