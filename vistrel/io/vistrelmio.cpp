#include "vistrel/io/vistrelmio.h"

#include "vistrel/io/iopreviews.h"

#include <algorithm>

#include "platform/gui/canvas.h"
#include "vistrel/codecs/avi.h"
#include "vistrel/codecs/gif.h"
#include "vistrel/codecs/tiff.h"
#include "vistrel/io/twainparams.h"
#include "vistrel/io/vistrelmview.h"

namespace {

constexpr int kFirstGIFDelay = 10;   // ms, for a first frame that gives none
constexpr int kTIFFPageDelay = 100;  // ms

// Samples of a frame by its bit count; other counts leave them.
void SetSampleLayout(TIOParamsVals& p, int bits) {
  switch (bits) {
    case 1:
    case 4:
    case 8:
      p.BitsPerSample = bits;
      p.SamplesPerPixel = 1;
      break;
    case 15:
      p.BitsPerSample = 5;
      p.SamplesPerPixel = 3;
      break;
    case 16:
    case 24:
    case 32:
      p.BitsPerSample = 8;
      p.SamplesPerPixel = 3;
      break;
    default: break;
  }
}

}  // namespace

TVistrelMIO::TVistrelMIO(TComponent* AOwner) : TComponent(AOwner) {
  FTWainParams = new TVLTWainParams(this);
  FPreviewFont = new TFont;
}

TVistrelMIO::~TVistrelMIO() {
  Detach();
  FParams.clear();
  delete FTWainParams;
  delete FPreviewFont;
}

void TVistrelMIO::BeforeDestruction() {
  Detach();
  TComponent::BeforeDestruction();
}

void TVistrelMIO::Detach() {
  if (FMView) FMView->RemoveBitmapChangeEvent(this, &TVistrelMIO::BitmapChanged);
}

void TVistrelMIO::SetAttachedMView(TVistrelMView* View) {
  Detach();
  if (FMView && FMView != View) RemoveFreeNotification(FMView);
  FMView = View;
  if (View) {
    View->FreeNotification(this);
    View->AddBitmapChangeEvent(this, &TVistrelMIO::BitmapChanged);
  }
}

void TVistrelMIO::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent && AComponent == static_cast<TComponent*>(FMView)) {
    Detach();
    FMView = nullptr;
  }
}

TIOParamsVals* TVistrelMIO::Params(int Index) const {
  if (Index < 0 || Index >= int(FParams.size())) return nullptr;
  return FParams[size_t(Index)].get();
}

void TVistrelMIO::SetPreviewFont(TFont* Font) {
  if (Font) FPreviewFont->Assign(Font);
}

void TVistrelMIO::Update() {
  if (!FMView) return;
  FMView->Update();
  FMView->ImageChange();
}

// ---- Keeping the list in step with the view ----

void TVistrelMIO::Renumber(int From) {
  for (size_t i = size_t(std::max(From, 0)); i < FParams.size(); ++i) {
    FParams[i]->TIFFImageIndex = int32_t(i);
    FParams[i]->GIFImageIndex = int32_t(i);
  }
}

void TVistrelMIO::BitmapChanged(TObject*) {
  if (!FMView) return;
  const int change = FMView->LastChange();
  const int i = FMView->LastChangeIndex();
  const int count = int(FParams.size());
  if (change == 1) {
    auto p = std::make_unique<TIOParamsVals>(nullptr);
    if (count > 0) p->Assign(FParams[size_t(std::clamp(i, 0, count - 1))].get());
    const int at = std::clamp(i, 0, count);
    FParams.insert(FParams.begin() + at, std::move(p));
    Renumber(at);
  } else if (change == 2 && i >= 0 && i < count) {
    FParams.erase(FParams.begin() + i);
    Renumber(i);
  }
}

// ---- Loading ----

void TVistrelMIO::LoadFromFile(const std::string& FileName) {
  FAborting = false;
  const std::string ext = LowerCase(ExtractFileExt(FileName));
  if (ext == ".gif") LoadFromFileGIF(FileName);
  else if (ext == ".tif" || ext == ".tiff") LoadFromFileTIFF(FileName);
  else if (ext == ".avi") LoadFromFileAVI(FileName);
}

// A file that can't be opened is a failed load like any other: it sets Aborting.
void TVistrelMIO::LoadFromFileGIF(const std::string& FileName) {
  std::unique_ptr<TFileStream> fs = OpenFile(FileName);
  if (fs) LoadFromStreamGIF(fs.get());
}

void TVistrelMIO::LoadFromFileTIFF(const std::string& FileName) {
  std::unique_ptr<TFileStream> fs = OpenFile(FileName);
  if (fs) LoadFromStreamTIFF(fs.get());
}

std::unique_ptr<TFileStream> TVistrelMIO::OpenFile(const std::string& FileName) {
  FAborting = false;
  if (!FMView) return nullptr;
  try {
    return std::make_unique<TFileStream>(FileName, fmOpenRead);
  } catch (const EStreamError&) {
    FAborting = true;
    return nullptr;
  }
}

void TVistrelMIO::LoadFromStreamGIF(TStream* Stream) { LoadAll(Stream, true); }
void TVistrelMIO::LoadFromStreamTIFF(TStream* Stream) { LoadAll(Stream, false); }

void TVistrelMIO::LoadAll(TStream* Stream, bool Gif) {
  FAborting = false;
  if (!FMView || !Stream) return;
  // The codecs report no rows here: this loop reports per picture.
  TFilterProgress progress;
  progress.AbortFlag = &FAborting;
  progress.Sender = this;
  // One walk finds the pictures; each is then read once, from where it lies.
  TGIFImageIndex gifIndex;
  TTIFFPageIndex tiffIndex;
  if (Gif) GIFIndexStream(Stream, gifIndex);
  else TIFFIndexPages(Stream, tiffIndex);
  const int count = int(Gif ? gifIndex.Images.size() : tiffIndex.Offsets.size());
  int a = std::max(FMView->SelectedImage(), 0);
  int i = 0;
  int previousDelay = kFirstGIFDelay;
  // The view lays its items out once, when the load ends.
  FMView->BeginUpdate();
  try {
    do {
      FMView->InsertImage(a);
      a = FMView->LastChangeIndex();
      TIOParamsVals* p = Params(a);
      if (!p) {
        // Another component took the view's notice: nothing to read into.
        FMView->DeleteImage(a);
        FAborting = true;
        break;
      }
      TBitmap bitmap;
      if (Gif) ReadGIFImage(Stream, gifIndex, i, &bitmap, *p, progress);
      else ReadTIFFPage(&bitmap, Stream, tiffIndex, i, *p, progress);
      p->GIFImageIndex = a;
      p->TIFFImageIndex = a;
      p->FileType = Gif ? ftGIF : ftTIFF;
      p->FileName.clear();
      if (FAborting) {
        FMView->DeleteImage(a);
        break;
      }
      FMView->SetImage(a, &bitmap);
      if (Gif) {
        FMView->SetImageBackground(a, RGBToColor(p->GIFBackground));
        // Hundredths of a second; a frame without one repeats the last delay read.
        if (p->GIFDelayTime > 0) previousDelay = p->GIFDelayTime * 10;
        FMView->SetImageDelayTime(a, previousDelay);
      } else {
        FMView->SetImageDelayTime(a, kTIFFPageDelay);
      }
      if (OnProgress) OnProgress(this, TruncInt(i * (100.0L / count)));
      if (FAborting) break;
      ++i;
      ++a;
    } while (i < count);
  } catch (...) {
    // A raising progress handler: the pictures read so far stay.
    FAborting = true;
    EndLoad();
    throw;
  }
  EndLoad();
}

void TVistrelMIO::EndLoad() {
  if (FMView) FMView->EndUpdate();
  Update();
}

void TVistrelMIO::LoadFromFileAVI(const std::string& FileName) {
  std::unique_ptr<TFileStream> fs = OpenFile(FileName);
  if (!fs) return;
  TAVIReader reader;
  if (!reader.Open(fs.get())) {
    FAborting = true;
    return;
  }
  const int32_t delay = reader.FrameDelay();
  const int64_t length = reader.Length();
  int b = std::max(FMView->SelectedImage(), 0);
  FMView->BeginUpdate();
  try {
    for (int64_t f = 0; f < length; ++f) {
      TBitmap bitmap;
      const int bits = reader.ReadFrame(&bitmap);
      if (bits == 0) {
        FAborting = true;
        break;
      }
      FMView->InsertImage(b);
      b = FMView->LastChangeIndex();
      FMView->SetImage(b, &bitmap);
      FMView->SetImageDelayTime(b, delay);
      if (TIOParamsVals* p = Params(b)) {
        // The frame time goes into the delay field in milliseconds.
        p->GIFDelayTime = delay;
        SetSampleLayout(*p, bits);
        p->GIFImageIndex = b;
        p->TIFFImageIndex = b;
        p->DpiX = ScreenPixelsPerInch();
        p->DpiY = ScreenPixelsPerInch();
        p->Width = bitmap.Width();
        p->Height = bitmap.Height();
        p->FileName = FileName;
        p->FileType = ftNone;
        p->FreeColorMap();
      }
      if (OnProgress) OnProgress(this, TruncInt(f * (100.0L / length)));
      if (FAborting) break;
      ++b;
    }
  } catch (...) {
    FAborting = true;
    EndLoad();
    throw;
  }
  EndLoad();
}

// ---- Parameters dialog ----

bool TVistrelMIO::DoPreviews(int Index, uint8_t Pages) {
  if (!FMView || !FMView->GetBitmap() || !Params(Index)) return false;
  const bool result = ExecuteIOPreviews(this, Pages, FMView->GetBitmap(), Params(Index),
                                        FPreviewsParams & ioppDefaultLockPreview, FMsgLanguage, FPreviewFont, {});
  Renumber();
  Update();
  return result;
}
