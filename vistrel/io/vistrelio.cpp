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

std::string LowerExt(const std::string& FileName) { return LowerCase(ExtractFileExt(FileName)); }

// The stream position after an image of a headed stream, kept inside the stream.
int64_t AfterImage(TStream* s, int64_t start, int32_t length) {
  int64_t end = start + (length < 0 ? 0 : int64_t(length));
  int64_t size = s->Size();
  return end > size ? size : end;
}

// ---- The built-in codecs ----

// One reader call: Length is the byte length handed to readers that take one. Returns the
// reader's Integer result (page or image count), 0 for the others.
using TReadCall = int (*)(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, int64_t Length,
                          TFilterProgress& Progress, bool ParamsOnly);
using TWriteCall = void (*)(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TFilterProgress& Progress);

// The 12-byte stream header of a format's stream loads and saves.
enum TStreamHeaderRule : uint8_t {
  shNone,      // never
  shOptional,  // read when the tag is there whatever StreamHeaders says; written when it is set (JPEG)
  shRequired,  // with StreamHeaders, read (a wrong tag aborts) and written (TIFF)
  shPCX,       // with StreamHeaders, "PCX2" or the older 4-byte "PCX"; written only after a good write
};

// What the reader is given as the data length.
enum TLengthRule : uint8_t {
  lrNone,      // nothing (0)
  lrFileOnly,  // the file's size in file loads, 0 in stream loads (BMP)
  lrWhole,     // the file's or the whole stream's size (PCX)
};

// What a load does with the component's background.
enum TBackgroundRule : uint8_t {
  brNone,
  brPNG,  // the file load puts it into PNGBackground first; both take PNGBackground after
  brGIF,  // GIFTranspColor when GIFTransparent, else GIFBackground
};

struct TBuiltInCodec {
  int32_t Type;
  TReadCall Read;    // nullptr: the metafiles, imported instead
  TWriteCall Write;  // nullptr: no writer
  char Tag[4];       // stream header tag
  TStreamHeaderRule Header;
  const char* LoadExtensions;  // lower case with their dots, ";"-separated
  const char* SaveExtensions;
  TLengthRule Length;
  bool StreamDpi;  // a stream load hands the resolution to the view (file loads always do)
  TBackgroundRule Background;
};

// Reader calls of the three argument orders.
template <void (*Read)(TStream*, TBitmap*, TIOParamsVals&, bool, TFilterProgress&)>
int ReadWithoutLength(TStream* s, TBitmap* b, TIOParamsVals& p, int64_t, TFilterProgress& pr, bool only) {
  Read(s, b, p, only, pr);
  return 0;
}
template <void (*Read)(TStream*, TBitmap*, TIOParamsVals&, TFilterProgress&, bool)>
int ReadIcon(TStream* s, TBitmap* b, TIOParamsVals& p, int64_t, TFilterProgress& pr, bool only) {
  Read(s, b, p, pr, only);
  return 0;
}
template <void (*Read)(TStream*, TBitmap*, TIOParamsVals&, int64_t, TFilterProgress&, bool)>
int ReadWithLength(TStream* s, TBitmap* b, TIOParamsVals& p, int64_t length, TFilterProgress& pr, bool only) {
  Read(s, b, p, length, pr, only);
  return 0;
}
int ReadTIFF(TStream* s, TBitmap* b, TIOParamsVals& p, int64_t, TFilterProgress& pr, bool only) {
  int pages = 0;
  ReadTIFFStream(b, s, pages, p, pr, only);
  return pages;
}
int ReadGIF(TStream* s, TBitmap* b, TIOParamsVals& p, int64_t, TFilterProgress& pr, bool only) {
  int32_t images = 0;
  ReadGIFStream(s, b, images, p, pr, only);
  return images;
}
// Always as a new file.
void WriteTIFF(TStream* s, TBitmap* b, TIOParamsVals& p, TFilterProgress& pr) { WriteTIFFStream(s, false, b, p, pr); }

const TBuiltInCodec kCodecs[] = {
    {ftJPEG,
     ReadWithoutLength<LoadJpegFromStream>,
     SaveJpegToStream,
     {'J', 'F', 'I', 'F'},
     shOptional,
     ".jpg;.jpeg;.jpe",
     ".jpg;.jpeg",
     lrNone,
     true,
     brNone},
    {ftPNG, ReadWithoutLength<LoadPngFromStream>, SavePngToStream, {}, shNone, ".png", ".png", lrNone, true, brPNG},
    {ftTIFF, ReadTIFF, WriteTIFF, {'T', 'I', 'F', 'F'}, shRequired, ".tif;.tiff", ".tif;.tiff", lrNone, true, brNone},
    {ftPCX,
     ReadWithLength<ReadPCXStream>,
     WritePCXStream,
     {'P', 'C', 'X', '2'},
     shPCX,
     ".pcx",
     ".pcx",
     lrWhole,
     true,
     brNone},
    {ftGIF, ReadGIF, WriteGIFStream, {}, shNone, ".gif", ".gif", lrNone, false, brGIF},
    {ftWMF, nullptr, nullptr, {}, shNone, ".wmf", "", lrNone, false, brNone},
    {ftEMF, nullptr, nullptr, {}, shNone, ".emf", "", lrNone, false, brNone},
    {ftBMP, ReadWithLength<ReadBMPStream>, WriteBMPStream, {}, shNone, ".bmp", ".bmp", lrFileOnly, false, brNone},
    {ftCUR, ReadIcon<ReadCURStream>, nullptr, {}, shNone, ".cur", "", lrNone, false, brNone},
    {ftICO, ReadIcon<ReadICOStream>, nullptr, {}, shNone, ".ico", "", lrNone, false, brNone},
};

const TBuiltInCodec* CodecOfType(int32_t type) {
  for (const TBuiltInCodec& c : kCodecs)
    if (c.Type == type) return &c;
  return nullptr;
}

bool ListHas(const char* list, const std::string& ext) {
  std::string rest = list;
  while (!rest.empty())
    if (VLNextExt(rest) == ext) return true;
  return false;
}

const TBuiltInCodec* CodecToLoad(const std::string& ext) {
  for (const TBuiltInCodec& c : kCodecs)
    if (ListHas(c.LoadExtensions, ext)) return &c;
  return nullptr;
}

const TBuiltInCodec* CodecToSave(const std::string& ext) {
  for (const TBuiltInCodec& c : kCodecs)
    if (c.Write && ListHas(c.SaveExtensions, ext)) return &c;
  return nullptr;
}

TColor GIFBackgroundOf(const TIOParamsVals& p) {
  return RGBToColor(p.GIFTransparent ? p.GIFTranspColor : p.GIFBackground);
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
  FAbortCause = vcNone;
  FAbortError = 0;
  return FBitmap != nullptr;
}

void TVistrelIO::KeepCause(const TFilterProgress& Progress) {
  if (FAborting && FAbortCause == vcNone) FAbortCause = Progress.AbortCause;
}

void TVistrelIO::Refuse(TVLCause Cause) {
  FAborting = true;
  FAbortCause = Cause;
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

void TVistrelIO::SaveFile(const std::string& FileName, TFilterProgress& Progress,
                          const std::function<void(TStream*)>& Write) {
  int error = 0;
  const bool ok = SaveFileAtomically(
      FileName,
      [&](TStream* s) {
        Write(s);
        return !FAborting;
      },
      &error);
  if (!ok) {
    FAborting = true;
    KeepCause(Progress);
    if (FAbortCause == vcNone) FAbortCause = vcWriteFailed;
    FAbortError = error;
  }
}

// ---- Loading ----

int TVistrelIO::LoadFile(int32_t Type, const std::string& FileName) {
  const TBuiltInCodec& c = *CodecOfType(Type);
  if (!BeginCodec()) return 0;
  TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  if (c.Background == brPNG) FParams->PNGBackground = ColorToTriple(Background());
  TFilterProgress p = NewProgress();
  const int result = c.Read(&f, FBitmap, *FParams, c.Length == lrNone ? 0 : f.Size(), p, false);
  KeepCause(p);
  if (FAborting) FAbortError = f.LastError();
  AfterLoad(Type, FileName, true);
  return result;
}

int TVistrelIO::LoadStream(int32_t Type, TStream* Stream) {
  const TBuiltInCodec& c = *CodecOfType(Type);
  if (!BeginCodec()) return 0;
  TFilterProgress p = NewProgress();
  int64_t length = c.Length == lrWhole ? Stream->Size() : 0;
  int result = 0;
  const bool headed = c.Header == shOptional || (FStreamHeaders && c.Header != shNone);
  if (!headed) {
    result = c.Read(Stream, FBitmap, *FParams, length, p, false);
  } else {
    const int64_t start = Stream->Position();
    TVLStreamHeader h;
    const bool got = VLReadStreamHeader(Stream, h);
    const std::string tag = VLStreamHeaderTag(h);
    const bool match = got && tag == std::string(c.Tag, 4);
    if (c.Header == shOptional && !match) {
      Stream->SetPosition(start);
      result = c.Read(Stream, FBitmap, *FParams, length, p, false);
    } else if (c.Header == shPCX && got && !match && tag.compare(0, 3, "PCX") == 0) {
      // The older form: a 4-byte tag and no length, the image running to the end.
      Stream->SetPosition(start + 4);
      result = c.Read(Stream, FBitmap, *FParams, length, p, false);
    } else if (!match) {
      Refuse(vcNotFormat);
      return 0;
    } else {
      if (c.Length == lrWhole) length = h.Length < 0 ? 0 : h.Length;
      Stream->SetPosition(start + 12);
      result = c.Read(Stream, FBitmap, *FParams, length, p, false);
      Stream->SetPosition(AfterImage(Stream, start + 12, h.Length));
    }
  }
  KeepCause(p);
  AfterLoad(Type, "", c.StreamDpi);
  return result;
}

void TVistrelIO::AfterLoad(int32_t Type, const std::string& FileName, bool SetDpi) {
  switch (CodecOfType(Type)->Background) {
    case brPNG: SetBackground(RGBToColor(FParams->PNGBackground)); break;
    case brGIF: SetBackground(GIFBackgroundOf(*FParams)); break;
    case brNone: break;
  }
  AfterRead(Type, FileName, SetDpi);
}

void TVistrelIO::LoadFromFileJpeg(const std::string& FileName) { LoadFile(ftJPEG, FileName); }
void TVistrelIO::LoadFromStreamJpeg(TStream* Stream) { LoadStream(ftJPEG, Stream); }
void TVistrelIO::LoadFromFilePNG(const std::string& FileName) { LoadFile(ftPNG, FileName); }
void TVistrelIO::LoadFromStreamPNG(TStream* Stream) { LoadStream(ftPNG, Stream); }
int TVistrelIO::LoadFromFileTIFF(const std::string& FileName) { return LoadFile(ftTIFF, FileName); }
int TVistrelIO::LoadFromStreamTIFF(TStream* Stream) { return LoadStream(ftTIFF, Stream); }
void TVistrelIO::LoadFromFilePCX(const std::string& FileName) { LoadFile(ftPCX, FileName); }
void TVistrelIO::LoadFromStreamPCX(TStream* Stream) { LoadStream(ftPCX, Stream); }
int TVistrelIO::LoadFromFileGIF(const std::string& FileName) { return LoadFile(ftGIF, FileName); }
int TVistrelIO::LoadFromStreamGIF(TStream* Stream) { return LoadStream(ftGIF, Stream); }
void TVistrelIO::LoadFromFileBMP(const std::string& FileName) { LoadFile(ftBMP, FileName); }
void TVistrelIO::LoadFromStreamBMP(TStream* Stream) { LoadStream(ftBMP, Stream); }
void TVistrelIO::LoadFromFileICO(const std::string& FileName) { LoadFile(ftICO, FileName); }
void TVistrelIO::LoadFromStreamICO(TStream* Stream) { LoadStream(ftICO, Stream); }
void TVistrelIO::LoadFromFileCUR(const std::string& FileName) { LoadFile(ftCUR, FileName); }
void TVistrelIO::LoadFromStreamCUR(TStream* Stream) { LoadStream(ftCUR, Stream); }

void TVistrelIO::ImportMetafile(const std::string& FileName, int Width, int Height) {
  if (Width == 0 || Height == 0 || !BeginCodec()) return;
  TVLMetafile meta;
  {
    TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
    TFilterProgress p = NewProgress();
    if (!VLReadMetafile(&f, meta, p)) {
      KeepCause(p);
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
  if (bw < 0 || bh < 0 || bw > 0x7FFFFFFF || bh > 0x7FFFFFFF || BitmapRowBytes(bw, 24) * bh > TBitmap::MaxBytes()) {
    Refuse(vcTooLarge);
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
  KeepCause(p);
  AfterRead(Info->TypeId, FileName, true);
}

void TVistrelIO::LoadFromFile(const std::string& FileName) {
  if (!FBitmap) return;
  const std::string ext = LowerExt(FileName);
  if (const TBuiltInCodec* c = CodecToLoad(ext)) {
    if (c->Read) LoadFile(c->Type, FileName);
    else ImportMetafile(FileName, -1, -1);
    return;
  }
  BeginCodec();
  FParams->FileName.clear();
  FParams->FileType = 0;
  const TVLFileFormatInfo* info = VLFindFormatByExt(ext.empty() ? ext : ext.substr(1));
  if (!info || !info->ReadProc) {
    Refuse(vcNoCodec);
    return;
  }
  TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  ReadRegistry(info, &f, FileName);
  if (FAborting) FAbortError = f.LastError();
}

void TVistrelIO::LoadFromStream(TStream* Stream) {
  if (!FBitmap) return;
  const int64_t start = Stream->Position();
  const int32_t type = VLFindStreamFormat(Stream);
  Stream->SetPosition(start);
  const TBuiltInCodec* c = CodecOfType(type);
  if (c && c->Read) {
    LoadStream(type, Stream);
    return;
  }
  BeginCodec();
  FParams->FileName.clear();
  FParams->FileType = 0;
  const TVLFileFormatInfo* info = VLFindFormatByType(type);
  if (!info || !info->ReadProc) {
    Refuse(vcNoCodec);
    return;
  }
  ReadRegistry(info, Stream, "");
}

// ---- Saving ----

void TVistrelIO::SaveFileAs(int32_t Type, const std::string& FileName) {
  const TBuiltInCodec& c = *CodecOfType(Type);
  if (!BeginCodec()) return;
  PrepareSave();
  TFilterProgress p = NewProgress();
  SaveFile(FileName, p, [&](TStream* s) { c.Write(s, FBitmap, *FParams, p); });
}

void TVistrelIO::SaveStreamAs(int32_t Type, TStream* Stream) {
  const TBuiltInCodec& c = *CodecOfType(Type);
  if (!BeginCodec()) return;
  PrepareSave();
  TFilterProgress p = NewProgress();
  if (!FStreamHeaders || c.Header == shNone) {
    c.Write(Stream, FBitmap, *FParams, p);
    KeepCause(p);
    return;
  }
  const int64_t at = VLBeginStreamHeader(Stream);
  c.Write(Stream, FBitmap, *FParams, p);
  KeepCause(p);
  if (c.Header != shPCX || !FAborting) VLEndStreamHeader(Stream, at, c.Tag);
}

void TVistrelIO::SaveToFileJpeg(const std::string& FileName) { SaveFileAs(ftJPEG, FileName); }
void TVistrelIO::SaveToStreamJpeg(TStream* Stream) { SaveStreamAs(ftJPEG, Stream); }
void TVistrelIO::SaveToFilePNG(const std::string& FileName) { SaveFileAs(ftPNG, FileName); }
void TVistrelIO::SaveToStreamPNG(TStream* Stream) { SaveStreamAs(ftPNG, Stream); }
void TVistrelIO::SaveToFileTIFF(const std::string& FileName) { SaveFileAs(ftTIFF, FileName); }
void TVistrelIO::SaveToStreamTIFF(TStream* Stream) { SaveStreamAs(ftTIFF, Stream); }
void TVistrelIO::SaveToFilePCX(const std::string& FileName) { SaveFileAs(ftPCX, FileName); }
void TVistrelIO::SaveToStreamPCX(TStream* Stream) { SaveStreamAs(ftPCX, Stream); }
void TVistrelIO::SaveToFileGIF(const std::string& FileName) { SaveFileAs(ftGIF, FileName); }
void TVistrelIO::SaveToStreamGIF(TStream* Stream) { SaveStreamAs(ftGIF, Stream); }
void TVistrelIO::SaveToFileBMP(const std::string& FileName) { SaveFileAs(ftBMP, FileName); }
void TVistrelIO::SaveToStreamBMP(TStream* Stream) { SaveStreamAs(ftBMP, Stream); }

void TVistrelIO::SaveToFile(const std::string& FileName) {
  const std::string ext = LowerExt(FileName);
  if (const TBuiltInCodec* c = CodecToSave(ext)) return SaveFileAs(c->Type, FileName);
  if (!BeginCodec()) return;
  const TVLFileFormatInfo* info = VLFindFormatByExt(ext.empty() ? ext : ext.substr(1));
  if (!info || !info->WriteProc) {
    Refuse(vcNoCodec);
    return;
  }
  PrepareSave();
  TFilterProgress p = NewProgress();
  SaveFile(FileName, p, [&](TStream* s) { info->WriteProc(s, FBitmap, *FParams, p); });
}

// ---- Parameters only ----

namespace {

// The params-only reader of a type; false when there is none.
bool ReadParamsOnly(int32_t type, TStream* s, TIOParamsVals& params) {
  VLResetAbort(VLEmptyProgress);
  TBitmap scratch;  // the readers leave it alone
  if (const TBuiltInCodec* c = CodecOfType(type); c && c->Read) {
    c->Read(s, &scratch, params, c->Length == lrNone ? 0 : s->Size() - s->Position(), VLEmptyProgress, true);
    return true;
  }
  const TVLFileFormatInfo* info = VLFindFormatByType(type);
  if (!info || !info->ReadProc) return false;
  info->ReadProc(s, &scratch, params, true, VLEmptyProgress);
  return true;
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
