#include "corvelo/library/vistrelio.h"

#include "corvelo/library/iconload_p.h"
#include "corvelo/library/readers.h"
#include "corvelo/library/vistrelio_p.h"
#include "platform/gui/canvas.h"
#include "vistrel/io/metafile.h"
#include "vistrel/view/vlview.h"

namespace corvelo::lib {

namespace {

// The types this build reads, by lower-cased extension.
const struct {
  const char* Extension;
  int32_t Type;
} kExtensions[] = {{".jpg", ftJPEG}, {".jpeg", ftJPEG}, {".png", ftPNG}, {".tif", ftTIFF}, {".tiff", ftTIFF},
                   {".pcx", ftPCX},  {".gif", ftGIF},   {".wmf", ftWMF}, {".emf", ftEMF},  {".bmp", ftBMP},
                   {".dib", ftBMP},  {".cur", ftCUR},   {".ico", ftICO}};

int32_t TypeOfExtension(const std::string& Extension) {
  const std::string ext = LowerCase(Extension);
  for (const auto& e : kExtensions)
    if (ext == e.Extension) return e.Type;
  return ftNone;
}

// The JPEG, PNG and TIFF loaders open the file before their guard, so a file that can't be
// opened raises the stream's own error.
bool OpensBeforeGuard(int32_t Type) { return Type == ftJPEG || Type == ftPNG || Type == ftTIFF; }

// Runs a load, turning what it raises into the type's message.
template <class Load>
void Guarded(int32_t Type, Load&& Load_) {
  switch (Type) {
    case ftJPEG:
    case ftPNG: try { Load_();
      } catch (const EInvalidGraphic&) {
        throw EInvalidGraphic(Type == ftJPEG ? "unrecognized JPEG" : "unrecognized PNG");
      }
      return;
    case ftTIFF: try { Load_();
      } catch (const EInvalidGraphic& e) {
        throw EInvalidGraphic(e.Message() + " : unrecognized TIFF");
      }
      return;
    case ftGIF: try { Load_();
      } catch (const Exception& e) {
        throw EInvalidGraphic(e.Message() + " : unrecognized GIF");
      }
      return;
    default: {
      const char* message = Type == ftPCX   ? "unrecognized PCX"
                            : Type == ftBMP ? "unrecognized BMP"
                            : Type == ftICO ? "unrecognized ICO"
                            : Type == ftCUR ? "unrecognized CUR"
                                            : "unrecognized WMF or EMF";
      try {
        Load_();
      } catch (...) {
        throw EInvalidGraphic(message);
      }
    }
  }
}

}  // namespace

TVistrelIO::TVistrelIO(TComponent* AOwner) : ::TVistrelIO(AOwner) {
  SetStreamHeaders(true);
  FViewerParams = new TIOParamsVals(this);
}

TVistrelIO::~TVistrelIO() { delete FViewerParams; }

void TVistrelIO::AssignParams(TObject* Source) {
  if (auto* io = dynamic_cast<TVistrelIO*>(Source)) FViewerParams->Assign(io->FViewerParams);
  else if (auto* p = dynamic_cast<TIOParamsVals*>(Source)) FViewerParams->Assign(p);
}

void TVistrelIO::FillBackground() {
  TBitmap* b = ::TVistrelIO::AttachedBitmap();
  if (!b || b->Empty()) return;
  TCanvas* c = b->Canvas();
  c->Brush()->SetColor(Background());
  c->Brush()->SetStyle(bsSolid);
  c->FillRect(Rect(0, 0, b->Width(), b->Height()));
}

TFilterProgress TVistrelIO::NewProgress() {
  TFilterProgress p;
  p.OnProgress = OnProgress;
  p.Sender = this;
  p.AbortFlag = &FViewerAborting;
  return p;
}

// ---- Loading ----

void TVistrelIO::LoadFromFile(const std::string& FileName) {
  if (!::TVistrelIO::AttachedBitmap()) return;
  const int32_t type = TypeOfExtension(ExtractFileExt(FileName));
  if (type == ftNone) {
    FViewerParams->FileName.clear();
    FViewerParams->FileType = ftNone;
    return;
  }
  LoadFile(type, FileName);
}

void TVistrelIO::LoadFromFileJpeg(const std::string& FileName) { LoadFile(ftJPEG, FileName); }
void TVistrelIO::LoadFromFilePNG(const std::string& FileName) { LoadFile(ftPNG, FileName); }
void TVistrelIO::LoadFromFileTIFF(const std::string& FileName) { LoadFile(ftTIFF, FileName); }
void TVistrelIO::LoadFromFilePCX(const std::string& FileName) { LoadFile(ftPCX, FileName); }
void TVistrelIO::LoadFromFileGIF(const std::string& FileName) { LoadFile(ftGIF, FileName); }
void TVistrelIO::LoadFromFileBMP(const std::string& FileName) { LoadFile(ftBMP, FileName); }
void TVistrelIO::LoadFromFileICO(const std::string& FileName) { LoadFile(ftICO, FileName); }
void TVistrelIO::LoadFromFileCUR(const std::string& FileName) { LoadFile(ftCUR, FileName); }

void TVistrelIO::LoadFile(int32_t Type, const std::string& FileName) {
  if (!::TVistrelIO::AttachedBitmap()) return;
  SetAborting(false);
  // A PCX names itself before the read, so the name stays when the file can't be opened.
  if (Type == ftPCX) {
    FViewerParams->FileName = FileName;
    FViewerParams->FileType = ftPCX;
  }
  if (OpensBeforeGuard(Type)) {
    TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
    Guarded(Type, [&] { ReadStream(Type, &f, FileName); });
  } else {
    Guarded(Type, [&] {
      TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
      ReadStream(Type, &f, FileName);
    });
  }
  AfterRead(Type, FileName);
}

void TVistrelIO::AfterRead(int32_t Type, const std::string& FileName) {
  FViewerParams->FileName = FileName;
  FViewerParams->FileType = uint8_t(Type);
  if (TVLView* v = AttachedVistrel()) v->SetDpi(FViewerParams->DpiX, FViewerParams->DpiY);
  Update();
}

void TVistrelIO::ReadStream(int32_t Type, TStream* Stream, const std::string& FileName) {
  TBitmap* bitmap = ::TVistrelIO::AttachedBitmap();
  TIOParamsVals& params = *FViewerParams;
  TFilterProgress progress = NewProgress();
  const int64_t length = Stream->Size() - Stream->Position();
  switch (Type) {
    case ftJPEG: LoadJpegFromStream(Stream, bitmap, params, progress); break;
    case ftPNG:
      params.PNGBackground = ColorToTriple(Background());
      LoadPngFromStream(Stream, bitmap, params, progress);
      SetBackground(RGBToColor(params.PNGBackground));
      break;
    case ftTIFF: {
      int pages = 0;
      ReadTIFFStream(bitmap, Stream, pages, params, progress);
      break;
    }
    case ftPCX:
      params.FileName = FileName;
      params.FileType = ftPCX;
      ReadPCXStream(Stream, bitmap, params, length, progress);
      break;
    case ftGIF: {
      int32_t images = 0;
      ReadGIFStream(Stream, bitmap, images, params, progress);
      SetBackground(RGBToColor(params.GIFTransparent ? params.GIFTranspColor : params.GIFBackground));
      break;
    }
    case ftBMP: ReadBMPStream(Stream, bitmap, length, progress, params); break;
    case ftICO:
    case ftCUR: ReadIcon(Type, Stream); break;
    case ftWMF:
    case ftEMF: ReadMetafile(Stream); break;
  }
}

void TVistrelIO::ReadIcon(int32_t Type, TStream* Stream) {
  TBitmap* bitmap = ::TVistrelIO::AttachedBitmap();
  TIOParamsVals& params = *FViewerParams;
  const bool cursor = Type == ftCUR;
  const int w = cursor ? params.CURWidth : params.ICOWidth;
  const int h = cursor ? params.CURHeight : params.ICOHeight;
  if (!VLLoadIconAtSize(Stream, cursor, w, h, Background(), bitmap))
    throw EInvalidGraphic(cursor ? "unrecognized CUR" : "unrecognized ICO");
  params.BitsPerSample = 8;
  params.SamplesPerPixel = 3;
  params.Width = bitmap->Width();
  params.Height = bitmap->Height();
  params.DpiX = params.DpiY = ScreenPixelsPerInch();
  params.FreeColorMap();
}

void TVistrelIO::ReadMetafile(TStream* Stream) {
  TBitmap* bitmap = ::TVistrelIO::AttachedBitmap();
  TIOParamsVals& params = *FViewerParams;
  TVLMetafile meta;
  bool failed = false;
  TFilterProgress progress;
  progress.AbortFlag = &failed;
  if (!VLReadMetafile(Stream, meta, progress)) throw EInvalidGraphic("unrecognized WMF or EMF");
  // The picture is one pixel narrower and lower than the metafile's size.
  const int64_t w = int64_t(meta.Width) - 1, h = int64_t(meta.Height) - 1;
  if (w < 0 || h < 0 || BitmapRowBytes(w, 24) * h > TBitmap::MaxBytes())
    throw EInvalidGraphic("unrecognized WMF or EMF");
  bitmap->SetSize(1, 1);
  bitmap->SetPixelFormat(pf24bit);
  bitmap->SetSize(int(w), int(h));
  params.BitsPerSample = 8;
  params.SamplesPerPixel = 3;
  params.Width = bitmap->Width();
  params.Height = bitmap->Height();
  params.DpiX = params.DpiY = ScreenPixelsPerInch();
  params.FreeColorMap();
  FillBackground();
  if (!bitmap->Empty()) VLPlayMetafile(meta, bitmap->Canvas(), Rect(0, 0, meta.Width, meta.Height));
}

void VLViewerLoadStream(TVistrelIO& IO, const std::string& Extension, TStream* Stream) {
  if (!IO.::TVistrelIO::AttachedBitmap()) return;
  const int32_t type = TypeOfExtension(Extension);
  if (type == ftNone) {
    IO.FViewerParams->FileName.clear();
    IO.FViewerParams->FileType = ftNone;
    return;
  }
  IO.SetAborting(false);
  Guarded(type, [&] { IO.ReadStream(type, Stream, ""); });
  IO.AfterRead(type, "");
}

}  // namespace corvelo::lib
