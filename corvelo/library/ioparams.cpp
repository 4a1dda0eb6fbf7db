#include "corvelo/library/ioparams.h"

#include <cstring>

#include "corvelo/library/ioparams_p.h"

namespace corvelo::lib {

TIOParamsVals::TIOParamsVals(TVLIOParamsOwner* IOComponent) : IOComponent(IOComponent) { SetDefaults(); }

TIOParamsVals::~TIOParamsVals() { FreeColorMap(); }

void TIOParamsVals::FreeColorMap() {
  delete[] ColorMap;
  ColorMap = nullptr;
  ColorMapCount = 0;
}

void TIOParamsVals::SetColorMap(const TRGB* Map, int32_t Count) {
  if (Map == ColorMap) return;
  FreeColorMap();
  if (!Map || Count <= 0) return;
  ColorMap = new TRGB[size_t(Count)];
  std::memcpy(ColorMap, Map, size_t(Count) * sizeof(TRGB));
  ColorMapCount = Count;
}

void TIOParamsVals::SetDefaults() {
  // The editor's object knows the other defaults; size and resolution come from the owner
  // when it has them, else stay as they are.
  const int32_t w = Width, h = Height, x = DpiX, y = DpiY;
  VLCopySharedParams(::TIOParamsVals(nullptr), *this);
  Width = w, Height = h, DpiX = x, DpiY = y;
  if (IOComponent) {
    if (TBitmap* b = IOComponent->ParamsOwnerBitmap()) {
      Width = b->Width();
      Height = b->Height();
    }
    IOComponent->ParamsOwnerViewDpi(DpiX, DpiY);
  }
  FileType = 0;
  ICOWidth = ICOHeight = CURWidth = CURHeight = 16;
}

void TIOParamsVals::Assign(const TIOParamsVals* Source) {
  if (!Source || Source == this) return;
  VLCopySharedParams(*Source, *this);
  FileType = Source->FileType;
  ICOWidth = Source->ICOWidth;
  ICOHeight = Source->ICOHeight;
  CURWidth = Source->CURWidth;
  CURHeight = Source->CURHeight;
}

}  // namespace corvelo::lib
