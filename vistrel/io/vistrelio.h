// The I/O component: reads pictures into the bitmap of a view, an image control or a bare
// bitmap, and writes them out again, choosing the codec by extension or by content.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/core/core.h"
#include "vistrel/codecs/ioparams.h"
#include "vistrel/io/registry.h"
#include "vistrel/view/language.h"

class TVLView;
class TImage;
class TFont;
class TVLTWainParams;

enum TIOPreviewsParam : uint8_t { ioppDefaultLockPreview = 1 };
using TIOPreviewsParams = uint8_t;  // a set of TIOPreviewsParam bits

// Sender and the parameter dialog form.
using TVLIOPreviewEvent = std::function<void(TObject* Sender, TObject* Form)>;

class TVistrelIO : public TComponent, public TVLIOParamsOwner {
 public:
  explicit TVistrelIO(TComponent* AOwner);
  ~TVistrelIO() override;
  void BeforeDestruction() override;

  // Attachment.
  TVLView* AttachedVistrel() const { return FAttachedVistrel; }
  void SetAttachedVistrel(TVLView* View);
  TImage* AttachedTImage() const { return FAttachedTImage; }
  void SetAttachedTImage(TImage* Image);
  TBitmap* AttachedBitmap() const { return FBitmap; }
  void SetAttachedBitmap(TBitmap* Bitmap);
  // Fetches the attached view's bitmap again.
  void BitmapChangedProc(TObject* Sender);

  TColor Background() const;
  void SetBackground(TColor Value);

  TIOParamsVals* Params() { return FParams; }
  TVLTWainParams* TWainParams() { return FTWainParams; }
  bool Aborting() const { return FAborting; }
  void SetAborting(bool Value) { FAborting = Value; }
  // Why the last load or save stopped (vcNone when it did not or nobody said), and the
  // system's error number behind it (0 when there is none). A file that can't be opened or
  // created raises instead, with the error number in its EStreamError.
  TVLCause AbortCause() const { return FAbortCause; }
  int AbortError() const { return FAbortError; }

  TMsgLanguage MsgLanguage() const { return FMsgLanguage; }
  void SetMsgLanguage(TMsgLanguage Value) { FMsgLanguage = Value; }
  TIOPreviewsParams PreviewsParams() const { return FPreviewsParams; }
  void SetPreviewsParams(TIOPreviewsParams Value) { FPreviewsParams = Value; }
  bool StreamHeaders() const { return FStreamHeaders; }
  void SetStreamHeaders(bool Value) { FStreamHeaders = Value; }
  TFont* PreviewFont() { return FPreviewFont; }
  void SetPreviewFont(TFont* Font);

  TProgressEvent OnProgress;
  TVLIOPreviewEvent OnIOPreview;

  // Copies the parameters of another I/O component or a parameter object.
  void AssignParams(TObject* Source);

  // By extension or content.
  virtual void LoadFromFile(const std::string& FileName);
  virtual void SaveToFile(const std::string& FileName);
  virtual void ParamsFromFile(const std::string& FileName);
  virtual void ParamsFromStream(TStream* Stream);
  virtual void LoadFromStream(TStream* Stream);

  // One format each.
  void LoadFromFileJpeg(const std::string& FileName);
  void LoadFromStreamJpeg(TStream* Stream);
  void LoadFromFilePNG(const std::string& FileName);
  void LoadFromStreamPNG(TStream* Stream);
  int LoadFromFileTIFF(const std::string& FileName);
  int LoadFromStreamTIFF(TStream* Stream);
  void LoadFromFilePCX(const std::string& FileName);
  void LoadFromStreamPCX(TStream* Stream);
  int LoadFromFileGIF(const std::string& FileName);
  int LoadFromStreamGIF(TStream* Stream);
  void LoadFromFileBMP(const std::string& FileName);
  void LoadFromStreamBMP(TStream* Stream);
  void LoadFromFileICO(const std::string& FileName);
  void LoadFromStreamICO(TStream* Stream);
  void LoadFromFileCUR(const std::string& FileName);
  void LoadFromStreamCUR(TStream* Stream);
  // Width or height negative: kept in proportion to the other; both negative: natural size.
  void ImportMetafile(const std::string& FileName, int Width, int Height);

  void SaveToFileJpeg(const std::string& FileName);
  void SaveToStreamJpeg(TStream* Stream);
  void SaveToFilePNG(const std::string& FileName);
  void SaveToStreamPNG(TStream* Stream);
  void SaveToFileTIFF(const std::string& FileName);
  void SaveToStreamTIFF(TStream* Stream);
  void SaveToFilePCX(const std::string& FileName);
  void SaveToStreamPCX(TStream* Stream);
  void SaveToFileGIF(const std::string& FileName);
  void SaveToStreamGIF(TStream* Stream);
  void SaveToFileBMP(const std::string& FileName);
  void SaveToStreamBMP(TStream* Stream);

  // One image from the selected TWAIN source into the bitmap; false when none came.
  bool Acquire();
  // The source manager's chooser; the chosen source becomes the selected one.
  bool SelectAcquireSource();
  // The save-parameters dialog with the given pages (TIOPreviewsPage bits) over a copy of the
  // bitmap; OK writes the options into Params. True when it closed with OK.
  bool DoPreviews(uint8_t Pages);

  // Refreshes the view, or flags the bitmap as changed.
  void Update();

  // TVLIOParamsOwner
  TBitmap* ParamsOwnerBitmap() override { return FBitmap; }
  bool ParamsOwnerViewDpi(int32_t& DpiX, int32_t& DpiY) override;

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  // The built-in codec of a type, by file or by stream (with its stream header); the load
  // methods and saves of each format are these with the type.
  int LoadFile(int32_t Type, const std::string& FileName);
  int LoadStream(int32_t Type, TStream* Stream);
  void AfterLoad(int32_t Type, const std::string& FileName, bool SetDpi);
  void SaveFileAs(int32_t Type, const std::string& FileName);
  void SaveStreamAs(int32_t Type, TStream* Stream);
  TFilterProgress NewProgress();
  // Steps 1-2 of every codec call: clears the abort flag and its cause; false without a bitmap.
  bool BeginCodec();
  // Keeps the cause a codec call reported, when it stopped.
  void KeepCause(const TFilterProgress& Progress);
  void Refuse(TVLCause Cause);
  // Before a write: anything but 1 and 24 bits becomes 24 bits.
  void PrepareSave();
  void AfterRead(int32_t FileType, const std::string& FileName, bool SetDpi);
  void RemoveViewCallback();
  // Writes a file through a temporary one; Aborting when the writer failed.
  void SaveFile(const std::string& FileName, TFilterProgress& Progress, const std::function<void(TStream*)>& Write);
  void ReadRegistry(const TVLFileFormatInfo* Info, TStream* Stream, const std::string& FileName);

  TBitmap* FBitmap = nullptr;
  TVLView* FAttachedVistrel = nullptr;
  TImage* FAttachedTImage = nullptr;
  TColor FBackground = clBlack;
  TIOParamsVals* FParams = nullptr;
  TVLTWainParams* FTWainParams = nullptr;
  bool FAborting = false;
  TVLCause FAbortCause = vcNone;
  int FAbortError = 0;
  TMsgLanguage FMsgLanguage = msSystem;
  TIOPreviewsParams FPreviewsParams = 0;
  bool FStreamHeaders = false;
  TFont* FPreviewFont = nullptr;
};

// Image counts for the open dialog.
int32_t TVLGIFImageCount(const std::string& FileName);
int32_t TVLTIFFImageCount(const std::string& FileName);
