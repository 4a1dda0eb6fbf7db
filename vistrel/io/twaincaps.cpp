// Capabilities: the containers sent to a source before it is enabled, and the containers it
// returns, read with every count and index checked against the block the source allocated.
#include <cstring>
#include <initializer_list>
#include <vector>

#include "vistrel/io/twain_p.h"

namespace vltwain {

namespace {

// A container holds no more items than this.
constexpr uint32_t kMaxItems = 1u << 16;
constexpr int64_t kOneValueSize = 6, kRangeSize = 22, kArrayHead = 6, kEnumerationHead = 14;

uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t Get32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
void Put16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  Put16(p, uint16_t(v));
  Put16(p + 2, uint16_t(v >> 16));
}

// Items: 16-bit integers for integer lists, TW_FIX32 for real lists.
int ItemBytes(TW_UINT16 Type) { return Type == TWTY_FIX32 ? 4 : 2; }
uint32_t Encode(int32_t v) { return uint16_t(v); }
uint32_t Encode(double v) {
  const TW_FIX32 f = VLRealToFix32(v);
  return uint32_t(uint16_t(f.Whole)) | uint32_t(f.Frac) << 16;
}
void PutItem(uint8_t* p, uint32_t v, int bytes) {
  if (bytes == 4) Put32(p, v);
  else Put16(p, uint16_t(v));
}

// Item types a list of T is read from; 0 bytes for any other.
int ReadableBytes(TW_UINT16 Type, int32_t*) {
  return Type == TWTY_INT16 || Type == TWTY_UINT16 || Type == TWTY_BOOL ? 2 : 0;
}
int ReadableBytes(TW_UINT16 Type, double*) { return Type == TWTY_FIX32 ? 4 : 0; }
int32_t Decode(TW_UINT16 Type, const uint8_t* p, int32_t*) {
  return Type == TWTY_INT16 ? int32_t(int16_t(Get16(p))) : int32_t(Get16(p));
}
double Decode(TW_UINT16, const uint8_t* p, double*) {
  return VLFix32ToReal(TW_FIX32{TW_INT16(Get16(p)), Get16(p + 2)});
}

// ---- sending

bool SetContainer(TConnection& c, TW_UINT16 Cap, TW_UINT16 ConType, const std::vector<uint8_t>& Bytes) {
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, int64_t(Bytes.size()));
  if (!h) return false;
  std::memcpy(GlobalLock(h), Bytes.data(), Bytes.size());
  GlobalUnlock(h);
  TW_CAPABILITY cap{Cap, ConType, h};
  const bool ok = ToSource(c, DG_CONTROL, DAT_CAPABILITY, MSG_SET, &cap) == TWRC_SUCCESS;
  GlobalFree(h);
  return ok;
}

bool SetOneValue(TConnection& c, TW_UINT16 Cap, TW_UINT16 Type, uint32_t Item) {
  std::vector<uint8_t> b(kOneValueSize);
  Put16(b.data(), Type);
  PutItem(b.data() + 2, Item, ItemBytes(Type));
  return SetContainer(c, Cap, TWON_ONEVALUE, b);
}

// Sends the parts of a list that changed: the items as an enumeration, the current value as
// one value, the range (real lists only) as a range. True when every call succeeded.
template <class T>
bool SendList(TConnection& c, TW_UINT16 Cap, const TVLValueList<T>& List, TW_UINT16 Type, bool WithRange) {
  bool ok = true;
  const TVLListChanges changed = List.Changed();
  const int bytes = ItemBytes(Type);
  if ((changed & lcItems) && List.Count() > 0) {
    std::vector<uint8_t> b(size_t(kEnumerationHead) + size_t(List.Count()) * size_t(bytes));
    const int current = List.IndexOf(List.CurrentValue());
    Put16(b.data(), Type);
    Put32(b.data() + 2, uint32_t(List.Count()));
    Put32(b.data() + 6, uint32_t(current < 0 ? 0 : current));
    Put32(b.data() + 10, 0);
    for (int i = 0; i < List.Count(); ++i)
      PutItem(b.data() + kEnumerationHead + size_t(i) * size_t(bytes), Encode(List.GetItem(i)), bytes);
    ok = SetContainer(c, Cap, TWON_ENUMERATION, b) && ok;
  }
  if (changed & lcCurrent) ok = SetOneValue(c, Cap, Type, Encode(List.CurrentValue())) && ok;
  if (WithRange && (changed & lcRange)) {
    std::vector<uint8_t> b(kRangeSize);
    Put16(b.data(), Type);
    Put32(b.data() + 2, Encode(List.RangeMin()));
    Put32(b.data() + 6, Encode(List.RangeMax()));
    Put32(b.data() + 10, Encode(List.RangeStep()));
    Put32(b.data() + 14, 0);
    Put32(b.data() + 18, Encode(List.CurrentValue()));
    ok = SetContainer(c, Cap, TWON_RANGE, b) && ok;
  }
  return ok;
}

// ---- reading

// Asks for a capability and hands the returned container to Read, then frees it.
template <class F>
bool GetContainer(TConnection& c, TW_UINT16 Cap, F&& Read) {
  TW_CAPABILITY cap{Cap, TWON_DONTCARE16, nullptr};
  if (ToSource(c, DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap) != TWRC_SUCCESS || !cap.hContainer) return false;
  const auto* p = static_cast<const uint8_t*>(GlobalLock(cap.hContainer));
  const bool ok = Read(cap.ConType, p, GlobalSize(cap.hContainer));
  GlobalUnlock(cap.hContainer);
  GlobalFree(cap.hContainer);
  return ok;
}

template <class T>
bool ReadContainer(TW_UINT16 ConType, const uint8_t* p, int64_t Size, TVLValueList<T>& List) {
  if (!p || Size < 2) return false;
  const TW_UINT16 type = Get16(p);
  const int bytes = ReadableBytes(type, static_cast<T*>(nullptr));
  if (!bytes) return false;
  auto item = [&](const uint8_t* q) { return Decode(type, q, static_cast<T*>(nullptr)); };
  switch (ConType) {
    case TWON_ARRAY:
    case TWON_ENUMERATION: {
      const int64_t head = ConType == TWON_ARRAY ? kArrayHead : kEnumerationHead;
      if (Size < head) return false;
      const uint32_t n = Get32(p + 2);
      if (n > kMaxItems || int64_t(n) * bytes > Size - head) return false;
      for (uint32_t i = 0; i < n; ++i) List.Add(item(p + head + int64_t(i) * bytes));
      if (ConType == TWON_ENUMERATION) {
        const uint32_t current = Get32(p + 6);
        if (current < n) List.SetCurrentValue(List.GetItem(int(current)));
      }
      return true;
    }
    case TWON_ONEVALUE: {
      if (Size < kOneValueSize) return false;
      const T v = item(p + 2);
      List.Add(v);
      List.SetCurrentValue(v);
      return true;
    }
    case TWON_RANGE:
      if (Size < kRangeSize) return false;
      List.SetRangeMin(item(p + 2));
      List.SetRangeMax(item(p + 6));
      List.SetRangeStep(item(p + 10));
      List.SetCurrentValue(item(p + 18));
      return true;
    default: return false;
  }
}

// The list is cleared first, and again when the container can't be read.
template <class T>
bool ReadList(TConnection& c, TW_UINT16 Cap, TVLValueList<T>& List) {
  List.Clear();
  const bool ok =
      GetContainer(c, Cap, [&](TW_UINT16 t, const uint8_t* p, int64_t n) { return ReadContainer(t, p, n, List); });
  if (!ok) List.Clear();
  return ok;
}

// One value of any item type, as its 32 bits (16-bit types: their low half).
bool ReadOneValue(TConnection& c, TW_UINT16 Cap, TW_UINT16& Type, uint32_t& Item) {
  return GetContainer(c, Cap, [&](TW_UINT16 t, const uint8_t* p, int64_t n) {
    if (t != TWON_ONEVALUE || !p || n < kOneValueSize) return false;
    Type = Get16(p);
    Item = ItemBytes(Type) == 4 ? Get32(p + 2) : Get16(p + 2);
    return true;
  });
}

bool ReadReal(TConnection& c, TW_UINT16 Cap, double& Value) {
  TW_UINT16 type = 0;
  uint32_t item = 0;
  if (!ReadOneValue(c, Cap, type, item) || type != TWTY_FIX32) return false;
  Value = VLFix32ToReal(TW_FIX32{TW_INT16(uint16_t(item)), uint16_t(item >> 16)});
  return true;
}

bool ReadBool(TConnection& c, TW_UINT16 Cap, bool& Value) {
  TW_UINT16 type = 0;
  uint32_t item = 0;
  if (!ReadOneValue(c, Cap, type, item)) return false;
  Value = item != 0;
  return true;
}

template <class T>
void OneItem(TVLValueList<T>& List, T Value) {
  List.Clear();
  List.Add(Value);
  List.SetCurrentValue(Value);
}

}  // namespace

void SetUnitsToInches(TConnection& c) {
  TVLIntegerList units;
  if (!ReadList(c, ICAP_UNITS, units)) return;
  units.SetCurrentValue(TWUN_INCHES);
  SendList(c, ICAP_UNITS, units, TWTY_UINT16, false);
}

void Negotiate(TConnection& c, TVLTwainCaps& Caps) {
  SetUnitsToInches(c);
  SetOneValue(c, ICAP_PIXELFLAVOR, TWTY_UINT16, TWPF_CHOCOLATE);
  SendList(c, ICAP_XRESOLUTION, Caps.XResolution, TWTY_FIX32, true);
  SendList(c, ICAP_YRESOLUTION, Caps.YResolution, TWTY_FIX32, true);
  SendList(c, ICAP_XSCALING, Caps.XScaling, TWTY_FIX32, true);
  SendList(c, ICAP_YSCALING, Caps.YScaling, TWTY_FIX32, true);
  // Palette and other pixel types come as RGB.
  if (Caps.PixelType.CurrentValue() > TWPT_RGB) Caps.PixelType.SetCurrentValue(TWPT_RGB);
  bool typed = SendList(c, ICAP_PIXELTYPE, Caps.PixelType, TWTY_UINT16, false);
  if (typed) {
    const int32_t type = Caps.PixelType.CurrentValue();
    if (type == TWPT_GRAY) {
      typed = SetOneValue(c, ICAP_BITDEPTH, TWTY_UINT16, 8);
    } else if (type == TWPT_RGB) {
      typed = SetOneValue(c, ICAP_BITDEPTH, TWTY_UINT16, 24);
      typed = SetOneValue(c, ICAP_PLANARCHUNKY, TWTY_UINT16, TWPC_CHUNKY) && typed;
    }
  }
  // Strips only for a pixel type the source took; else the native transfer.
  c.Buffered = typed && c.Buffered && SetOneValue(c, ICAP_XFERMECH, TWTY_UINT16, TWSX_MEMORY);
  SetOneValue(c, CAP_FEEDERENABLED, TWTY_BOOL, Caps.FeederEnabled ? TWAIN_TRUE : 0);
  SendList(c, ICAP_ORIENTATION, Caps.Orientation, TWTY_UINT16, false);
  SetOneValue(c, CAP_INDICATORS, TWTY_BOOL, Caps.Indicators ? TWAIN_TRUE : 0);
  // An empty frame (none read from the source) would ask for nothing at all.
  const double* f = Caps.AcquireFrame;
  if (f[2] > f[0] && f[3] > f[1]) {
    TW_IMAGELAYOUT layout{};
    layout.Frame = TW_FRAME{VLRealToFix32(f[0]), VLRealToFix32(f[1]), VLRealToFix32(f[2]), VLRealToFix32(f[3])};
    ToSource(c, DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout);
  }
}

void ReadCapabilities(TConnection& c, TVLTwainCaps& Caps) {
  ReadList(c, ICAP_XRESOLUTION, Caps.XResolution);
  ReadList(c, ICAP_YRESOLUTION, Caps.YResolution);
  if (!ReadList(c, ICAP_XSCALING, Caps.XScaling)) OneItem(Caps.XScaling, 1.0);
  if (!ReadList(c, ICAP_YSCALING, Caps.YScaling)) OneItem(Caps.YScaling, 1.0);
  ReadList(c, ICAP_PIXELTYPE, Caps.PixelType);
  if (!ReadReal(c, ICAP_GAMMA, Caps.Gamma)) Caps.Gamma = 2.2;
  if (!ReadReal(c, ICAP_PHYSICALWIDTH, Caps.PhysicalWidth)) Caps.PhysicalWidth = 0;
  if (!ReadReal(c, ICAP_PHYSICALHEIGHT, Caps.PhysicalHeight)) Caps.PhysicalHeight = 0;
  if (!ReadBool(c, CAP_FEEDERENABLED, Caps.FeederEnabled)) Caps.FeederEnabled = false;
  if (!ReadList(c, ICAP_ORIENTATION, Caps.Orientation)) OneItem(Caps.Orientation, int32_t(0));
  if (!ReadBool(c, CAP_INDICATORS, Caps.Indicators)) Caps.Indicators = true;
  TW_IMAGELAYOUT layout{};
  if (ToSource(c, DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET, &layout) == TWRC_SUCCESS) {
    const TW_FIX32 edges[4] = {layout.Frame.Left, layout.Frame.Top, layout.Frame.Right, layout.Frame.Bottom};
    for (int i = 0; i < 4; ++i) Caps.AcquireFrame[i] = VLFix32ToReal(edges[i]);
  }
}

}  // namespace vltwain
