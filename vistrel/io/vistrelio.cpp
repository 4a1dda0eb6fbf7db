#include "vistrel/io/vistrelio.h"

#include "platform/gui/canvas.h"
#include "platform/gui/messageloop.h"
#include "platform/gui/stdctrls.h"
#include "vistrel/codecs/bmp.h"
#include "vistrel/codecs/gif.h"
#include "vistrel/codecs/ico.h"
#include "vistrel/codecs/jpeg.h"
#include "vistrel/codecs/pcx.h"
#include "vistrel/codecs/png.h"
#include "vistrel/codecs/tiff.h"
#include "vistrel/io/iopreviews.h"
#include "vistrel/io/metafile.h"
#include "vistrel/io/twain.h"
#include "vistrel/io/twainparams.h"
#include "vistrel/view/vlutils.h"
#include "vistrel/view/vlview.h"

namespace {

constexpr char kJpegTag[4] = {'J', 'F', 'I', 'F'};
constexpr char kTiffTag[4] = {'T', 'I', 'F', 'F'};
constexpr char kPcxTag[4] = {'P', 'C', 'X', '2'};

std::string LowerExt(const std::string& FileName) { return LowerCase(ExtractFileExt(FileName)); }

// The stream position after an image of a headed stream, kept inside the stream.
int64_t AfterImage(TStream* s, int64_t start, int32_t length) {
  int64_t end = start + (length < 0 ? 0 : int64_t(length));
  int64_t size = s->Size();
  return end > size ? size : end;
}

}  // namespace

TVistrelIO::TVistrelIO(TComponent* AOwner) : TComponent(AOwner) {
  FPreviewFont = new TFont;
  FParams = new TIOParamsVals(this);
  FTWainParams = new TVLTWainParams(this);
}

TVistrelIO::~TVistrelIO() {
  RemoveViewCallback();
  delete FParams;
  delete FTWainParams;
  delete FPreviewFont;
}

void TVistrelIO::BeforeDestruction() {
  RemoveViewCallback();
  TComponent::BeforeDestruction();
}

// ---- Attachment ----

void TVistrelIO::RemoveViewCallback() {
  if (FAttachedVistrel) FAttachedVistrel->RemoveBitmapChangeEvent(this, &TVistrelIO::BitmapChangedProc);
}

void TVistrelIO::SetAttachedVistrel(TVLView* View) {
  RemoveViewCallback();
  if (FAttachedVistrel && FAttachedVistrel != View) RemoveFreeNotification(FAttachedVistrel);
  FAttachedVistrel = View;
  if (View) {
    FBitmap = View->GetBitmap();
    View->FreeNotification(this);
    if (FAttachedTImage) RemoveFreeNotification(FAttachedTImage);
    FAttachedTImage = nullptr;
    View->AddBitmapChangeEvent(this, &TVistrelIO::BitmapChangedProc);
  }
}

void TVistrelIO::SetAttachedTImage(TImage* Image) {
  RemoveViewCallback();
  if (FAttachedTImage && FAttachedTImage != Image) RemoveFreeNotification(FAttachedTImage);
  FAttachedTImage = Image;
  if (Image) {
    FBitmap = Image->Picture()->Bitmap();
    Image->FreeNotification(this);
    if (FAttachedVistrel) RemoveFreeNotification(FAttachedVistrel);
    FAttachedVistrel = nullptr;
  }
}

void TVistrelIO::SetAttachedBitmap(TBitmap* Bitmap) {
  RemoveViewCallback();
  if (!Bitmap && (FAttachedVistrel || FAttachedTImage)) return;
  FBitmap = Bitmap;
  if (Bitmap) {
    if (FAttachedVistrel) RemoveFreeNotification(FAttachedVistrel);
    if (FAttachedTImage) RemoveFreeNotification(FAttachedTImage);
    FAttachedVistrel = nullptr;
    FAttachedTImage = nullptr;
  }
}

void TVistrelIO::BitmapChangedProc(TObject*) {
  if (FAttachedVistrel) FBitmap = FAttachedVistrel->GetBitmap();
}

void TVistrelIO::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation != opRemove) return;
  if (AComponent && AComponent == static_cast<TComponent*>(FAttachedVistrel)) {
    RemoveViewCallback();
    FAttachedVistrel = nullptr;
    FBitmap = nullptr;
  } else if (AComponent && AComponent == static_cast<TComponent*>(FAttachedTImage)) {
    FAttachedTImage = nullptr;
    FBitmap = nullptr;
  }
}

TColor TVistrelIO::Background() const { return FAttachedVistrel ? FAttachedVistrel->Background() : FBackground; }

void TVistrelIO::SetBackground(TColor Value) {
  if (FAttachedVistrel) FAttachedVistrel->SetBackground(Value);
  else FBackground = Value;
}

void TVistrelIO::SetPreviewFont(TFont* Font) {
  if (Font) FPreviewFont->Assign(Font);
}

bool TVistrelIO::ParamsOwnerViewDpi(int32_t& DpiX, int32_t& DpiY) {
  if (!FAttachedVistrel) return false;
  DpiX = FAttachedVistrel->DpiX();
  DpiY = FAttachedVistrel->DpiY();
  return true;
}

void TVistrelIO::AssignParams(TObject* Source) {
  if (auto* io = dynamic_cast<TVistrelIO*>(Source)) FParams->Assign(io->FParams);
  else if (auto* p = dynamic_cast<TIOParamsVals*>(Source)) FParams->Assign(p);
}

void TVistrelIO::Update() {
  if (FAttachedVistrel) {
    FAttachedVistrel->Update();
    FAttachedVistrel->ImageChange();
  } else if (FBitmap) {
    FBitmap->Changed();
  }
}

// ---- Codec calling ----

TFilterProgress TVistrelIO::NewProgress() {
  TFilterProgress p;
  p.OnProgress = OnProgress;
  p.Sender = this;
  p.AbortFlag = &FAborting;
  return p;
}

bool TVistrelIO::BeginCodec() {
  FAborting = false;
  return FBitmap != nullptr;
}

void TVistrelIO::PrepareSave() {
  if (FBitmap->PixelFormat() != pf1bit && FBitmap->PixelFormat() != pf24bit) FBitmap->SetPixelFormat(pf24bit);
}

void TVistrelIO::AfterRead(int32_t FileType, const std::string& FileName, bool SetDpi) {
  FParams->FileType = FileType;
  FParams->FileName = FileName;
  if (SetDpi && FAttachedVistrel) FAttachedVistrel->SetDpi(FParams->DpiX, FParams->DpiY);
  Update();
}

void TVistrelIO::SaveFile(const std::string& FileName, const std::function<void(TStream*)>& Write) {
  bool ok = SaveFileAtomically(FileName, [&](TStream* s) {
    Write(s);
    return !FAborting;
  });
  if (!ok) FAborting = true;
}

// ---- Loading ----
// Each format's reader is called from its two functions below and nowhere else.

void TVistrelIO::LoadFromFileJpeg(const std::string& FileName) {
  if (!BeginCodec()) return;
  TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  TFilterProgress p = NewProgress();
  LoadJpegFromStream(&f, FBitmap, *FParams, false, p);
  AfterRead(ftJPEG, FileName, true);
}

void TVistrelIO::LoadFromStreamJpeg(TStream* Stream) {
  if (!BeginCodec()) return;
  TFilterProgress p = NewProgress();
  const int64_t start = Stream->Position();
  TVLStreamHeader h;
  if (VLReadStreamHeader(Stream, h) && VLStreamHeaderTag(h) == "JFIF") {
    LoadJpegFromStream(Stream, FBitmap, *FParams, false, p);
    Stream->SetPosition(AfterImage(Stream, start + 12, h.Length));
  } else {
    Stream->SetPosition(start);
    LoadJpegFromStream(Stream, FBitmap, *FParams, false, p);
  }
  AfterRead(ftJPEG, "", true);
}

void TVistrelIO::LoadFromFilePNG(const std::string& FileName) {
  if (!BeginCodec()) return;
  TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  FParams->PNGBackground = ColorToTriple(Background());
  TFilterProgress p = NewProgress();
  LoadPngFromStream(&f, FBitmap, *FParams, false, p);
  SetBackground(RGBToColor(FParams->PNGBackground));
  AfterRead(ftPNG, FileName, true);
}

void TVistrelIO::LoadFromStreamPNG(TStream* Stream) {
  if (!BeginCodec()) return;
  TFilterProgress p = NewProgress();
  LoadPngFromStream(Stream, FBitmap, *FParams, false, p);
  SetBackground(RGBToColor(FParams->PNGBackground));
  AfterRead(ftPNG, "", true);
}

int TVistrelIO::LoadFromFileTIFF(const std::string& FileName) {
  if (!BeginCodec()) return 0;
  TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  TFilterProgress p = NewProgress();
  int count = 0;
  ReadTIFFStream(FBitmap, &f, count, *FParams, p, false);
  AfterRead(ftTIFF, FileName, true);
  return count;
}

int TVistrelIO::LoadFromStreamTIFF(TStream* Stream) {
  if (!BeginCodec()) return 0;
  TFilterProgress p = NewProgress();
  int count = 0;
  if (FStreamHeaders) {
    const int64_t start = Stream->Position();
    TVLStreamHeader h;
    if (!VLReadStreamHeader(Stream, h) || VLStreamHeaderTag(h) != "TIFF") {
      FAborting = true;
      return 0;
    }
    ReadTIFFStream(FBitmap, Stream, count, *FParams, p, false);
    Stream->SetPosition(AfterImage(Stream, start + 12, h.Length));
  } else {
    ReadTIFFStream(FBitmap, Stream, count, *FParams, p, false);
  }
  AfterRead(ftTIFF, "", true);
  return count;
}

void TVistrelIO::LoadFromFilePCX(const std::string& FileName) {
  if (!BeginCodec()) return;
  // Opened here, so a file that can't be opened raises as it does for every other format.
  TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  TFilterProgress p = NewProgress();
  ReadPCXStream(&f, FBitmap, *FParams, f.Size(), p, false);
  AfterRead(ftPCX, FileName, true);
}

void TVistrelIO::LoadFromStreamPCX(TStream* Stream) {
  if (!BeginCodec()) return;
  TFilterProgress p = NewProgress();
  if (FStreamHeaders) {
    const int64_t start = Stream->Position();
    TVLStreamHeader h;
    const bool got = VLReadStreamHeader(Stream, h);
    const std::string tag = VLStreamHeaderTag(h);
    if (!got || tag.compare(0, 3, "PCX") != 0) {
      FAborting = true;
      return;
    }
    if (tag == "PCX2") {
      Stream->SetPosition(start + 12);
      ReadPCXStream(Stream, FBitmap, *FParams, h.Length < 0 ? 0 : h.Length, p, false);
      Stream->SetPosition(AfterImage(Stream, start + 12, h.Length));
    } else {
      Stream->SetPosition(start + 4);
      ReadPCXStream(Stream, FBitmap, *FParams, Stream->Size(), p, false);
    }
  } else {
    ReadPCXStream(Stream, FBitmap, *FParams, Stream->Size(), p, false);
  }
  AfterRead(ftPCX, "", true);
}

namespace {
TColor GIFBackgroundOf(const TIOParamsVals& p) {
  return RGBToColor(p.GIFTransparent ? p.GIFTranspColor : p.GIFBackground);
}
}  // namespace

int TVistrelIO::LoadFromFileGIF(const std::string& FileName) {
  if (!BeginCodec()) return 0;
  TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  TFilterProgress p = NewProgress();
  int32_t count = 0;
  ReadGIFStream(&f, FBitmap, count, *FParams, p, false);
  SetBackground(GIFBackgroundOf(*FParams));
  AfterRead(ftGIF, FileName, true);
  return count;
}

int TVistrelIO::LoadFromStreamGIF(TStream* Stream) {
  if (!BeginCodec()) return 0;
  TFilterProgress p = NewProgress();
  int32_t count = 0;
  ReadGIFStream(Stream, FBitmap, count, *FParams, p, false);
  SetBackground(GIFBackgroundOf(*FParams));
  AfterRead(ftGIF, "", false);
  return count;
}

void TVistrelIO::LoadFromFileBMP(const std::string& FileName) {
  if (!BeginCodec()) return;
  TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  TFilterProgress p = NewProgress();
  ReadBMPStream(&f, FBitmap, *FParams, f.Size(), p, false);
  AfterRead(ftBMP, FileName, true);
}

void TVistrelIO::LoadFromStreamBMP(TStream* Stream) {
  if (!BeginCodec()) return;
  TFilterProgress p = NewProgress();
  ReadBMPStream(Stream, FBitmap, *FParams, 0, p, false);
  AfterRead(ftBMP, "", false);
}

void TVistrelIO::LoadFromFileICO(const std::string& FileName) {
  if (!BeginCodec()) return;
  TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  TFilterProgress p = NewProgress();
  ReadICOStream(&f, FBitmap, *FParams, p, false);
  AfterRead(ftICO, FileName, true);
}

void TVistrelIO::LoadFromStreamICO(TStream* Stream) {
  if (!BeginCodec()) return;
  TFilterProgress p = NewProgress();
  ReadICOStream(Stream, FBitmap, *FParams, p, false);
  AfterRead(ftICO, "", false);
}

void TVistrelIO::LoadFromFileCUR(const std::string& FileName) {
  if (!BeginCodec()) return;
  TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  TFilterProgress p = NewProgress();
  ReadCURStream(&f, FBitmap, *FParams, p, false);
  AfterRead(ftCUR, FileName, true);
}

void TVistrelIO::LoadFromStreamCUR(TStream* Stream) {
  if (!BeginCodec()) return;
  TFilterProgress p = NewProgress();
  ReadCURStream(Stream, FBitmap, *FParams, p, false);
  AfterRead(ftCUR, "", false);
}

void TVistrelIO::ImportMetafile(const std::string& FileName, int Width, int Height) {
  if (Width == 0 || Height == 0 || !BeginCodec()) return;
  TVLMetafile meta;
  std::string reason;
  {
    TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
    if (!VLReadMetafile(&f, meta, reason)) {
      FAborting = true;
      return;
    }
  }
  int64_t w = meta.Width, h = meta.Height;
  if (Width > 0 && Height > 0) {
    w = Width;
    h = Height;
  } else if (Width < 0 && Height > 0) {
    h = Height;
    w = int64_t(Height) * meta.Width / meta.Height;
  } else if (Height < 0 && Width > 0) {
    w = Width;
    h = int64_t(Width) * meta.Height / meta.Width;
  }
  // The picture is one pixel narrower and lower than the metafile's size.
  const int64_t bw = w - 1, bh = h - 1;
  if (bw < 0 || bh < 0 || bw > 0x7FFFFFFF || bh > 0x7FFFFFFF ||
      BitmapRowBytes(bw, 24) * bh > TBitmap::MaxBytes()) {
    FAborting = true;
    return;
  }
  FBitmap->SetSize(1, 1);
  FBitmap->SetPixelFormat(pf24bit);
  FBitmap->SetSize(int(bw), int(bh));
  FParams->FileName = FileName;
  FParams->FileType = meta.Enhanced ? ftEMF : ftWMF;
  FParams->BitsPerSample = 8;
  FParams->SamplesPerPixel = 3;
  FParams->Width = FBitmap->Width();
  FParams->Height = FBitmap->Height();
  FParams->DpiX = ScreenPixelsPerInch();
  FParams->DpiY = ScreenPixelsPerInch();
  FParams->FreeColorMap();
  if (FAttachedVistrel) FAttachedVistrel->SetDpi(FParams->DpiX, FParams->DpiY);
  if (!FBitmap->Empty()) {
    TCanvas* c = FBitmap->Canvas();
    c->Brush()->SetColor(Background());
    c->Brush()->SetStyle(bsSolid);
    c->FillRect(Rect(0, 0, FBitmap->Width(), FBitmap->Height()));
    VLPlayMetafile(meta, c, Rect(0, 0, int(w), int(h)));
  }
  Update();
}

void TVistrelIO::ReadRegistry(const TVLFileFormatInfo* Info, TStream* Stream, const std::string& FileName) {
  TFilterProgress p = NewProgress();
  Info->ReadProc(Stream, FBitmap, *FParams, false, p);
  AfterRead(Info->TypeId, FileName, true);
}

void TVistrelIO::LoadFromFile(const std::string& FileName) {
  if (!FBitmap) return;
  const std::string ext = LowerExt(FileName);
  if (ext == ".jpg" || ext == ".jpeg" || ext == ".jpe") LoadFromFileJpeg(FileName);
  else if (ext == ".png") LoadFromFilePNG(FileName);
  else if (ext == ".tif" || ext == ".tiff") LoadFromFileTIFF(FileName);
  else if (ext == ".pcx") LoadFromFilePCX(FileName);
  else if (ext == ".gif") LoadFromFileGIF(FileName);
  else if (ext == ".wmf" || ext == ".emf") ImportMetafile(FileName, -1, -1);
  else if (ext == ".bmp") LoadFromFileBMP(FileName);
  else if (ext == ".cur") LoadFromFileCUR(FileName);
  else if (ext == ".ico") LoadFromFileICO(FileName);
  else {
    FAborting = false;
    FParams->FileName.clear();
    FParams->FileType = 0;
    const TVLFileFormatInfo* info = VLFindFormatByExt(ext.empty() ? ext : ext.substr(1));
    if (!info || !info->ReadProc) {
      FAborting = true;
      return;
    }
    TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
    ReadRegistry(info, &f, FileName);
  }
}

void TVistrelIO::LoadFromStream(TStream* Stream) {
  if (!FBitmap) return;
  const int64_t start = Stream->Position();
  const int32_t type = VLFindStreamFormat(Stream);
  Stream->SetPosition(start);
  switch (type) {
    case ftTIFF: LoadFromStreamTIFF(Stream); break;
    case ftGIF: LoadFromStreamGIF(Stream); break;
    case ftJPEG: LoadFromStreamJpeg(Stream); break;
    case ftPCX: LoadFromStreamPCX(Stream); break;
    case ftBMP: LoadFromStreamBMP(Stream); break;
    case ftICO: LoadFromStreamICO(Stream); break;
    case ftCUR: LoadFromStreamCUR(Stream); break;
    case ftPNG: LoadFromStreamPNG(Stream); break;
    default: {
      FAborting = false;
      FParams->FileName.clear();
      FParams->FileType = 0;
      const TVLFileFormatInfo* info = VLFindFormatByType(type);
      if (!info || !info->ReadProc) {
        FAborting = true;
        return;
      }
      ReadRegistry(info, Stream, "");
    }
  }
}

// ---- Saving ----

void TVistrelIO::SaveToStreamJpeg(TStream* Stream) {
  if (!BeginCodec()) return;
  PrepareSave();
  TFilterProgress p = NewProgress();
  if (FStreamHeaders) {
    const int64_t at = VLBeginStreamHeader(Stream);
    SaveJpegToStream(Stream, FBitmap, *FParams, p);
    VLEndStreamHeader(Stream, at, kJpegTag);
  } else {
    SaveJpegToStream(Stream, FBitmap, *FParams, p);
  }
}

void TVistrelIO::SaveToFileJpeg(const std::string& FileName) {
  if (!BeginCodec()) return;
  PrepareSave();
  TFilterProgress p = NewProgress();
  SaveFile(FileName, [&](TStream* s) { SaveJpegToStream(s, FBitmap, *FParams, p); });
}

void TVistrelIO::SaveToStreamPNG(TStream* Stream) {
  if (!BeginCodec()) return;
  PrepareSave();
  TFilterProgress p = NewProgress();
  SavePngToStream(Stream, FBitmap, *FParams, p);
}

void TVistrelIO::SaveToFilePNG(const std::string& FileName) {
  if (!BeginCodec()) return;
  PrepareSave();
  TFilterProgress p = NewProgress();
  SaveFile(FileName, [&](TStream* s) { SavePngToStream(s, FBitmap, *FParams, p); });
}

void TVistrelIO::SaveToStreamTIFF(TStream* Stream) {
  if (!BeginCodec()) return;
  PrepareSave();
  TFilterProgress p = NewProgress();
  if (FStreamHeaders) {
    const int64_t at = VLBeginStreamHeader(Stream);
    WriteTIFFStream(Stream, false, FBitmap, *FParams, p);
    VLEndStreamHeader(Stream, at, kTiffTag);
  } else {
    WriteTIFFStream(Stream, false, FBitmap, *FParams, p);
  }
}

void TVistrelIO::SaveToFileTIFF(const std::string& FileName) {
  if (!BeginCodec()) return;
  PrepareSave();
  TFilterProgress p = NewProgress();
  SaveFile(FileName, [&](TStream* s) { WriteTIFFStream(s, false, FBitmap, *FParams, p); });
}

void TVistrelIO::SaveToStreamPCX(TStream* Stream) {
  if (!BeginCodec()) return;
  PrepareSave();
  TFilterProgress p = NewProgress();
  if (FStreamHeaders) {
    const int64_t at = VLBeginStreamHeader(Stream);
    WritePCXStream(Stream, FBitmap, *FParams, p);
    if (!FAborting) VLEndStreamHeader(Stream, at, kPcxTag);
  } else {
    WritePCXStream(Stream, FBitmap, *FParams, p);
  }
}

void TVistrelIO::SaveToFilePCX(const std::string& FileName) {
  if (!BeginCodec()) return;
  PrepareSave();
  TFilterProgress p = NewProgress();
  SaveFile(FileName, [&](TStream* s) { WritePCXStream(s, FBitmap, *FParams, p); });
}

void TVistrelIO::SaveToStreamGIF(TStream* Stream) {
  if (!BeginCodec()) return;
  PrepareSave();
  TFilterProgress p = NewProgress();
  WriteGIFStream(Stream, FBitmap, *FParams, p);
}

void TVistrelIO::SaveToFileGIF(const std::string& FileName) {
  if (!BeginCodec()) return;
  PrepareSave();
  TFilterProgress p = NewProgress();
  SaveFile(FileName, [&](TStream* s) { WriteGIFStream(s, FBitmap, *FParams, p); });
}

void TVistrelIO::SaveToStreamBMP(TStream* Stream) {
  if (!BeginCodec()) return;
  PrepareSave();
  TFilterProgress p = NewProgress();
  WriteBMPStream(Stream, FBitmap, *FParams, p);
}

void TVistrelIO::SaveToFileBMP(const std::string& FileName) {
  if (!BeginCodec()) return;
  PrepareSave();
  TFilterProgress p = NewProgress();
  SaveFile(FileName, [&](TStream* s) { WriteBMPStream(s, FBitmap, *FParams, p); });
}

void TVistrelIO::SaveToFile(const std::string& FileName) {
  const std::string ext = LowerExt(FileName);
  if (ext == ".jpg" || ext == ".jpeg") SaveToFileJpeg(FileName);
  else if (ext == ".pcx") SaveToFilePCX(FileName);
  else if (ext == ".gif") SaveToFileGIF(FileName);
  else if (ext == ".tif" || ext == ".tiff") SaveToFileTIFF(FileName);
  else if (ext == ".png") SaveToFilePNG(FileName);
  else if (ext != ".bmp") {
    if (!BeginCodec()) return;
    const TVLFileFormatInfo* info = VLFindFormatByExt(ext.empty() ? ext : ext.substr(1));
    if (!info || !info->WriteProc) {
      FAborting = true;
      return;
    }
    PrepareSave();
    TFilterProgress p = NewProgress();
    SaveFile(FileName, [&](TStream* s) { info->WriteProc(s, FBitmap, *FParams, p); });
  } else {
    SaveToFileBMP(FileName);
  }
}

// ---- Parameters only ----

namespace {

// The params-only reader of a type; false when there is none.
bool ReadParamsOnly(int32_t type, TStream* s, TIOParamsVals& params) {
  VLEmptyProgressAbort = false;
  VLEmptyProgress.AbortReason.clear();
  TBitmap scratch;  // the readers leave it alone
  int count = 0;
  int32_t gifCount = 0;
  const int64_t length = s->Size() - s->Position();
  switch (type) {
    case ftTIFF: ReadTIFFStream(&scratch, s, count, params, VLEmptyProgress, true); return true;
    case ftGIF: ReadGIFStream(s, &scratch, gifCount, params, VLEmptyProgress, true); return true;
    case ftJPEG: LoadJpegFromStream(s, &scratch, params, true, VLEmptyProgress); return true;
    case ftPCX: ReadPCXStream(s, &scratch, params, length, VLEmptyProgress, true); return true;
    case ftBMP: ReadBMPStream(s, &scratch, params, length, VLEmptyProgress, true); return true;
    case ftICO: ReadICOStream(s, &scratch, params, VLEmptyProgress, true); return true;
    case ftCUR: ReadCURStream(s, &scratch, params, VLEmptyProgress, true); return true;
    case ftPNG: LoadPngFromStream(s, &scratch, params, true, VLEmptyProgress); return true;
    default: {
      const TVLFileFormatInfo* info = VLFindFormatByType(type);
      if (!info || !info->ReadProc) return false;
      info->ReadProc(s, &scratch, params, true, VLEmptyProgress);
      return true;
    }
  }
}

}  // namespace

void TVistrelIO::ParamsFromFile(const std::string& FileName) {
  try {
    FParams->FileType = VLFindFileFormat(FileName, true);
    TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
    ReadParamsOnly(FParams->FileType, &f, *FParams);
  } catch (const std::exception&) {
    FParams->FileType = 0;
  }
  FParams->FileName = FileName;
}

void TVistrelIO::ParamsFromStream(TStream* Stream) {
  try {
    FParams->FileType = VLFindStreamFormat(Stream);
    ReadParamsOnly(FParams->FileType, Stream, *FParams);
  } catch (const std::exception&) {
    FParams->FileType = 0;
  }
}

// ---- Acquisition and the parameter dialog ----

bool TVistrelIO::Acquire() {
  if (!FBitmap) return false;
  FAborting = false;
  QWidget* window = VLOwnerWindow(this);
  TFilterProgress p = NewProgress();
  bool ok = false;
  try {
    ok = TwainAcquire(window, FBitmap, false, p, *FParams, *FTWainParams, nullptr);
  } catch (...) {
    // The view shows the bitmap as the failed acquisition left it.
    FocusWindow(window);
    Update();
    throw;
  }
  if (ok && FAttachedVistrel) {
    FAttachedVistrel->SetDpiX(FParams->DpiX);
    FAttachedVistrel->SetDpiY(FParams->DpiY);
  }
  FocusWindow(window);
  Update();
  return ok;
}

bool TVistrelIO::SelectAcquireSource() {
  std::string name;
  const bool ok = TwainSelectSource(VLOwnerWindow(this), name);
  // A cancelled chooser keeps the selected source.
  if (ok) FTWainParams->SelectSourceByName(name);
  return ok;
}

bool TVistrelIO::DoPreviews(uint8_t Pages) {
  if (!FBitmap) return false;
  PrepareSave();
  const bool ok = ExecuteIOPreviews(this, Pages, FBitmap, FParams, FPreviewsParams & ioppDefaultLockPreview,
                                    FMsgLanguage, FPreviewFont, OnIOPreview);
  Update();
  return ok;
}

// ---- Unit functions ----

int32_t TVLGIFImageCount(const std::string& FileName) {
  try {
    return GIFImageCount(FileName);
  } catch (const std::exception&) {
    return 0;
  }
}

int32_t TVLTIFFImageCount(const std::string& FileName) {
  TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  return TIFFImageCount(&f);
}
