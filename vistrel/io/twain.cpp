#include "vistrel/io/twain.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/gui/messageloop.h"
#include "vistrel/io/twain_p.h"
#include "vistrel/proc/kernels/packeddib.h"
#include "vistrel/proc/kernels/pixels.h"

namespace vltwain {

namespace {

constexpr const char* kDefaultManager = "libtwaindsm.so.2";
constexpr const char* kManagerVariable = "VISTREL_TWAIN_DSM";
constexpr const char* kEntryName = "DSM_Entry";
constexpr const char* kProxyTitle = "Acquire Proxy";
constexpr const char* kUnknown = "<?>";
// No more sources than this are listed from a manager that never ends its list.
constexpr int kMaxSources = 1024;
// Strip buffers: at least this, at most the whole picture with room for padded rows.
constexpr int64_t kMinStripBuffer = 64 * 1024;
constexpr int64_t kRowSlack = 64;
constexpr TW_UINT16 TWCP_NONE = 0;

void SetStr32(TW_STR32& s, const char* v) {
  std::memset(s, 0, sizeof(TW_STR32));
  std::strncpy(s, v, sizeof(TW_STR32) - 1);
}

std::string Str32(const TW_STR32& s) { return std::string(s, strnlen(s, sizeof(TW_STR32))); }

}  // namespace

TConnection::TConnection() {
  App.Id = 0;
  App.Version.MajorNum = 1;
  App.Version.MinorNum = 0;
  App.Version.Language = TWLG_USA;
  App.Version.Country = TWCY_USA;
  SetStr32(App.Version.Info, kUnknown);
  App.ProtocolMajor = 1;
  App.ProtocolMinor = 6;
  App.SupportedGroups = DG_CONTROL | DG_IMAGE;
  SetStr32(App.Manufacturer, kUnknown);
  SetStr32(App.ProductFamily, kUnknown);
  SetStr32(App.ProductName, kUnknown);
}

TW_UINT16 ToManager(TConnection& c, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, void* Data) {
  c.ReturnCode = c.Entry ? c.Entry(&c.App, nullptr, DG, DAT, MSG, Data) : TWRC_FAILURE;
  return c.ReturnCode;
}

TW_UINT16 ToSource(TConnection& c, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, void* Data) {
  c.ReturnCode = c.Entry ? c.Entry(&c.App, &c.Source, DG, DAT, MSG, Data) : TWRC_FAILURE;
  return c.ReturnCode;
}

namespace {

// ---- states

TW_UINT16 ConditionCode(TConnection& c) {
  if (c.State < 3) return TWCC_SEQERROR;
  TW_STATUS s{};
  const TW_UINT16 rc = c.State == 3 ? ToManager(c, DG_CONTROL, DAT_STATUS, MSG_GET, &s)
                                    : ToSource(c, DG_CONTROL, DAT_STATUS, MSG_GET, &s);
  return rc == TWRC_SUCCESS ? s.ConditionCode : TWCC_BUMMER;
}

// Only the first failure of a connection is kept.
void Fail(TConnection& c, uint8_t Stage) {
  if (c.Error.Stage != stNone) return;
  c.Error.Stage = Stage;
  if (Stage >= stLoad && Stage <= stEnableSource) {
    c.Error.ReturnCode = c.ReturnCode;
    c.Error.Condition = ConditionCode(c);
  }
}

bool LoadManager(TConnection& c) {
  if (c.State >= 2) return true;
  c.Library = LoadLibrary(TwainSourceManagerName());
  if (c.Library) c.Entry = reinterpret_cast<DSMENTRYPROC>(GetProcAddress(c.Library, kEntryName));
  if (!c.Entry) {
    FreeLibrary(c.Library);
    c.Library = nullptr;
    Fail(c, stLoad);
    return false;
  }
  c.State = 2;
  return true;
}

bool OpenManager(TConnection& c) {
  if (c.State != 2) return c.State > 2;
  if (ToManager(c, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &c.Window) != TWRC_SUCCESS) {
    Fail(c, stOpenManager);
    return false;
  }
  c.State = 3;
  return true;
}

// The walk ends at the named source; a name no source has opens the default source.
void FindSource(TConnection& c, const std::string& Name) {
  TW_IDENTITY id{};
  TW_UINT16 msg = MSG_GETFIRST;
  for (int i = 0; i < kMaxSources; ++i, msg = MSG_GETNEXT) {
    std::memset(&id, 0, sizeof id);
    if (ToManager(c, DG_CONTROL, DAT_IDENTITY, msg, &id) != TWRC_SUCCESS) break;
    if (Str32(id.ProductName) == Name) {
      c.Source = id;
      return;
    }
  }
  std::memset(&c.Source, 0, sizeof c.Source);
}

bool OpenSource(TConnection& c) {
  if (c.State != 3) return c.State > 3;
  const std::string name = c.TwainParams ? c.TwainParams->GetSourceName(c.TwainParams->SelectedSource()) : "";
  std::memset(&c.Source, 0, sizeof c.Source);
  if (!name.empty()) FindSource(c, name);
  if (ToManager(c, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &c.Source) != TWRC_SUCCESS) {
    Fail(c, stOpenSource);
    return false;
  }
  c.State = 4;
  return true;
}

bool EnableSource(TConnection& c) {
  if (c.State != 4) return c.State > 4;
  c.UI.ShowUI = c.HideInterface ? 0 : TWAIN_TRUE;
  c.UI.hParent = c.Window;
  if (ToSource(c, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &c.UI) == TWRC_FAILURE) {
    Fail(c, stEnableSource);
    return false;
  }
  c.State = 5;
  return true;
}

// One acquisition brings one image: pending transfers are discarded. The closing steps move
// the state whatever the source answers, so a connection always winds down.
void EndTransfer(TConnection& c) {
  if (c.State == 7) {
    const TW_UINT16 rc = ToSource(c, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &c.Pending);
    c.State = rc == TWRC_SUCCESS && c.Pending.Count == 0 ? 5 : 6;
  }
  if (c.State == 6) {
    ToSource(c, DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &c.Pending);
    c.State = 5;
  }
}

void DisableSource(TConnection& c) {
  EndTransfer(c);
  if (c.State != 5) return;
  ToSource(c, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &c.UI);
  c.State = 4;
}

void CloseSource(TConnection& c) {
  DisableSource(c);
  if (c.State != 4) return;
  ToManager(c, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &c.Source);
  c.State = 3;
}

void CloseManager(TConnection& c) {
  CloseSource(c);
  if (c.State != 3) return;
  ToManager(c, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &c.Window);
  c.State = 2;
}

void UnloadManager(TConnection& c) {
  CloseManager(c);
  if (c.State != 2) return;
  FreeLibrary(c.Library);
  c.Library = nullptr;
  c.Entry = nullptr;
  c.State = 1;
}

// The parent, or a proxy window when it is none; false when there is no window at all.
bool UseWindow(TConnection& c, QWidget* Parent) {
  if (IsWindow(Parent)) {
    c.Window = Parent;
  } else {
    c.Proxy = CreateProxyWindow(kProxyTitle);
    c.Window = c.Proxy;
  }
  return c.Window != nullptr;
}

// ---- transfer

// A transfer that brought no image: without the source's dialog nobody can go on.
void Failed(TConnection& c) {
  if (c.HideInterface) c.Done = true;
}

bool StripDepth(int Bits) { return Bits == 1 || Bits == 8 || Bits == 24; }

int64_t StripBufferSize(const TW_SETUPMEMXFER& s, int64_t Width, int64_t Height, int Bits) {
  auto given = [](TW_UINT32 v) { return v != 0 && v != TWON_DONTCARE32; };
  int64_t size = given(s.Preferred)    ? s.Preferred
                 : given(s.MaxBufSize) ? s.MaxBufSize
                 : given(s.MinBufSize) ? s.MinBufSize
                                       : kMinStripBuffer;
  const int64_t row = VLRowLength(Width, Bits) + kRowSlack;
  if (size > kMinStripBuffer && size / Height > row) size = std::max(kMinStripBuffer, row * Height);
  return size;
}

// Copies what of a strip lies inside the bitmap and inside the bytes the source wrote into the
// buffer. Returns the pixels copied, at least 1.
int64_t CopyStrip(TBitmap* b, int Bits, const TW_IMAGEMEMXFER& x, const uint8_t* Buffer, int64_t BufferSize) {
  if (x.Compression != TWCP_NONE && x.Compression != TWON_DONTCARE16) return 1;
  const int64_t x0 = x.XOffset, y0 = x.YOffset;
  if (x0 >= b->Width() || y0 >= b->Height()) return 1;
  const int64_t cols = std::min<int64_t>(x.Columns, b->Width() - x0);
  const int64_t rows = std::min<int64_t>(x.Rows, b->Height() - y0);
  if (cols <= 0 || rows <= 0) return 1;
  int64_t avail = BufferSize;
  if (x.BytesWritten != TWON_DONTCARE32 && int64_t(x.BytesWritten) < avail) avail = x.BytesWritten;
  const int64_t need = (cols * Bits + 7) / 8;
  const int64_t stride = x.BytesPerRow;
  int64_t copied = 0;
  for (int64_t r = 0; r < rows; ++r) {
    const int64_t at = r * stride;
    if (at > avail - need) break;
    const uint8_t* s = Buffer + at;
    uint8_t* d = b->ScanLine(int(y0 + r));
    if (Bits == 24) {
      VLCopyRowSwapRB(d + x0 * 3, s, int(cols));
    } else if (Bits == 8) {
      uint8_t* p = d + x0 * 3;
      for (int64_t i = 0; i < cols; ++i, p += 3) p[0] = p[1] = p[2] = s[i];
    } else {
      VLCopyBits(d, s, x0, cols, 0);
    }
    copied += cols;
  }
  return std::max<int64_t>(copied, 1);
}

void ReportStrip(TConnection& c, const TW_IMAGEINFO& info, const TW_IMAGEMEMXFER& x) {
  const TFilterProgress& p = *c.Progress;
  if (!p.OnProgress) return;
  const int64_t reached = int64_t(x.YOffset) + int64_t(x.Rows);
  const int64_t percent = std::clamp<int64_t>(reached * 100 / info.ImageLength, 0, 100);
  p.OnProgress(p.Sender, int(percent));
}

struct THeapBlock {
  HGLOBAL Handle;
  ~THeapBlock() { GlobalFree(Handle); }
};

void MemoryTransfer(TConnection& c, const TW_IMAGEINFO& info) {
  TW_SETUPMEMXFER setup{};
  if (ToSource(c, DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup) != TWRC_SUCCESS) return Failed(c);
  const int bits = info.BitsPerPixel;
  const int64_t size = StripBufferSize(setup, info.ImageWidth, info.ImageLength, bits);
  THeapBlock mem{GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size)};
  if (!mem.Handle) return Failed(c);
  // A source that keeps sending strips is stopped once it sent the picture twice over.
  int64_t budget = 2 * int64_t(info.ImageWidth) * info.ImageLength + 4096;
  for (;;) {
    TW_IMAGEMEMXFER x{};
    x.Compression = TWON_DONTCARE16;
    x.BytesPerRow = x.Columns = x.Rows = x.XOffset = x.YOffset = x.BytesWritten = TWON_DONTCARE32;
    x.Memory.Flags = TWMF_APPOWNS | TWMF_HANDLE;
    x.Memory.Length = TW_UINT32(size);
    x.Memory.TheMem = mem.Handle;
    const TW_UINT16 rc = ToSource(c, DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &x);
    if (rc != TWRC_SUCCESS && rc != TWRC_XFERDONE) {
      c.State = rc == TWRC_CANCEL ? 7 : 6;
      return Failed(c);
    }
    c.State = 7;
    const auto* buffer = static_cast<const uint8_t*>(GlobalLock(mem.Handle));
    budget -= CopyStrip(c.Bitmap, bits, x, buffer, size);
    GlobalUnlock(mem.Handle);
    ReportStrip(c, info, x);
    if (rc == TWRC_XFERDONE) {
      c.Transferred = true;
      return;
    }
    if (VLAborting(*c.Progress) || budget < 0) return Failed(c);
  }
}

void NativeTransfer(TConnection& c) {
  TW_HANDLE dib = nullptr;
  const TW_UINT16 rc = ToSource(c, DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib);
  if (rc != TWRC_XFERDONE) {
    c.State = rc == TWRC_CANCEL ? 7 : 6;
    return Failed(c);
  }
  c.State = 7;
  THeapBlock block{dib};
  int bits = 0;
  try {
    bits = VLPackedDIBToBitmap(dib, c.Bitmap, nullptr, false);
  } catch (const std::exception&) {
    bits = 0;
  }
  if (bits == 0) return Failed(c);
  // The params describe the picture as delivered: palette pictures became true colour.
  c.Params->Width = c.Bitmap->Width();
  c.Params->Height = c.Bitmap->Height();
  c.Params->BitsPerSample = bits == 1 ? 1 : 8;
  c.Params->SamplesPerPixel = bits == 1 ? 1 : 3;
  c.Transferred = true;
}

void TransferImage(TConnection& c) {
  TW_IMAGEINFO info{};
  if (ToSource(c, DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info) != TWRC_SUCCESS) {
    Failed(c);
    return EndTransfer(c);
  }
  TIOParamsVals& p = *c.Params;
  if (info.BitsPerPixel >= 1 && info.BitsPerPixel <= 8) {
    p.BitsPerSample = info.BitsPerPixel;
    p.SamplesPerPixel = 1;
  } else if (info.BitsPerPixel == 24) {
    p.BitsPerSample = 8;
    p.SamplesPerPixel = 3;
  }
  p.DpiX = int32_t(Round(VLFix32ToReal(info.XResolution)));
  p.DpiY = int32_t(Round(VLFix32ToReal(info.YResolution)));
  p.Width = info.ImageWidth;
  p.Height = info.ImageLength;
  p.FreeColorMap();
  // An image of unknown size or of a depth the strips can't carry brings nothing.
  if (info.ImageWidth <= 0 || info.ImageLength <= 0 || (c.Buffered && !StripDepth(info.BitsPerPixel))) {
    Failed(c);
    return EndTransfer(c);
  }
  try {
    c.Bitmap->SetSize(0, 0);
    c.Bitmap->SetPixelFormat(p.BitsPerSample == 1 && p.SamplesPerPixel == 1 ? pf1bit : pf24bit);
    c.Bitmap->SetSize(info.ImageWidth, info.ImageLength);
  } catch (const std::exception&) {
    Failed(c);
    return EndTransfer(c);
  }
  if (c.Buffered) MemoryTransfer(c, info);
  else NativeTransfer(c);
  EndTransfer(c);
}

// ---- the loop

void RunLoop(TConnection& c) {
  const std::function<bool(TMsg&)> offer = [&c](TMsg& m) {
    if (c.State != 5 || c.SourceMessage != MSG_NULL) return false;
    TW_EVENT e{&m, MSG_NULL};
    if (ToSource(c, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &e) != TWRC_DSEVENT) return false;
    c.SourceMessage = e.TWMessage;
    return true;
  };
  const std::function<bool()> next = [&c] {
    const TW_UINT16 m = c.SourceMessage;
    c.SourceMessage = MSG_NULL;
    if (m == MSG_XFERREADY && c.State == 5) {
      c.State = 6;
      TransferImage(c);
      if (c.Done) DisableSource(c);
    } else if (m == MSG_CLOSEDSREQ) {
      DisableSource(c);
    }
    return c.State > 4 && !c.Transferred;
  };
  RunMessageLoop(next, offer);
}

}  // namespace

TConnection::~TConnection() {
  UnloadManager(*this);
  if (Proxy) DestroyProxyWindow(Proxy);
}

}  // namespace vltwain

using namespace vltwain;

std::string TwainSourceManagerName() {
  const char* v = std::getenv(kManagerVariable);
  return v && *v ? std::string(v) : std::string(kDefaultManager);
}

bool TwainSourceManagerInstalled() {
  HMODULE m = LoadLibrary(TwainSourceManagerName());
  const bool ok = m && GetProcAddress(m, kEntryName);
  FreeLibrary(m);
  return ok;
}

bool TwainAcquire(QWidget* Parent, TBitmap* Bitmap, bool MultiPage, TFilterProgress& Progress, TIOParamsVals& Params,
                  TVLTWainParams& TwainParams, const TVLTwainPageEvent& OnPage) {
  if (!Bitmap) return false;
  TConnection c;
  c.HideInterface = !TwainParams.ShowSourceDialog();
  c.Buffered = TwainParams.GetBufferedTransfer();
  c.TwainParams = &TwainParams;
  c.Params = &Params;
  c.Bitmap = Bitmap;
  c.Progress = &Progress;
  c.MultiPage = MultiPage;
  c.OnPage = OnPage;
  if (!UseWindow(c, Parent)) return false;
  if (!LoadManager(c) || !OpenManager(c) || !OpenSource(c)) return false;
  Negotiate(c, TwainParams.CapsBlock());
  if (!EnableSource(c)) return false;
  // The whole window that holds the parent takes no input while the source runs.
  QWidget* top = TopLevelWindow(static_cast<QWidget*>(c.Window));
  struct TInput {
    QWidget* Window;
    ~TInput() { EnableWindow(Window, true); }
  } input{top};
  EnableWindow(top, false);
  RunLoop(c);
  return c.Transferred;
}

bool TwainSelectSource(QWidget* Parent, std::string& Name) {
  Name.clear();
  if (Parent && !IsWindow(Parent)) return false;
  TConnection c;
  if (!UseWindow(c, Parent)) return false;
  if (!LoadManager(c) || !OpenManager(c)) return false;
  TW_IDENTITY id{};
  const bool ok = ToManager(c, DG_CONTROL, DAT_IDENTITY, MSG_USERSELECT, &id) == TWRC_SUCCESS;
  if (ok) Name = Str32(id.ProductName);
  return ok;
}

void TwainListSources(std::vector<TW_IDENTITY>& List) {
  List.clear();
  TConnection c;
  if (!UseWindow(c, nullptr)) return;
  if (!LoadManager(c) || !OpenManager(c)) return;
  TW_UINT16 msg = MSG_GETFIRST;
  for (int i = 0; i < kMaxSources; ++i, msg = MSG_GETNEXT) {
    TW_IDENTITY id{};
    if (ToManager(c, DG_CONTROL, DAT_IDENTITY, msg, &id) != TWRC_SUCCESS) break;
    List.push_back(id);
  }
}

bool TwainGetCapabilities(TVLTWainParams& TwainParams, TVLTwainCaps& Caps, bool SetFirst) {
  TConnection c;
  c.TwainParams = &TwainParams;
  if (!UseWindow(c, nullptr)) return false;
  if (!LoadManager(c) || !OpenManager(c) || !OpenSource(c)) return false;
  if (SetFirst) Negotiate(c, Caps);
  SetUnitsToInches(c);
  ReadCapabilities(c, Caps);
  if (!SetFirst)
    for (TVLList* l : std::initializer_list<TVLList*>{&Caps.XResolution, &Caps.YResolution, &Caps.XScaling,
                                                      &Caps.YScaling, &Caps.PixelType, &Caps.Orientation})
      l->SetChanged(0);
  return true;
}

TW_FIX32 VLRealToFix32(double Value) {
  long double v = std::isfinite(Value) ? std::trunc((long double)Value * 65536 + 0.5L) : 0;
  v = std::clamp<long double>(v, INT32_MIN, INT32_MAX);
  const int32_t i = int32_t(v);
  TW_FIX32 f;
  f.Whole = TW_INT16(i >> 16);
  f.Frac = TW_UINT16(i & 0xFFFF);
  return f;
}

double VLFix32ToReal(TW_FIX32 Value) { return double(Value.Whole) + double(Value.Frac) / 65536.0; }
