// The viewer build's I/O component: reads pictures by file extension into the bitmap of its
// view or image control, and raises EInvalidGraphic with a message for a file it can't read.
// It has no writers, no stream loads, no format registry, no parameter dialog and no TWAIN.
#pragma once
#include <string>

#include "corvelo/library/ioparams.h"
#include "corvelo/library/msglanguage.h"
#include "vistrel/io/vistrelio.h"

namespace corvelo::lib {

class TVistrelIO : public ::TVistrelIO {
 public:
  explicit TVistrelIO(TComponent* AOwner);
  ~TVistrelIO() override;

  TIOParamsVals* Params() { return FViewerParams; }
  // Set by a progress handler to stop a read; cleared when a load starts.
  bool Aborting() const { return FViewerAborting; }
  void SetAborting(bool Value) { FViewerAborting = Value; }
  TMsgLanguage MsgLanguage() const { return FViewerLanguage; }
  void SetMsgLanguage(TMsgLanguage Value) { FViewerLanguage = Value; }
  // Copies the parameters of another I/O component of this build or a parameter object; other
  // objects are ignored.
  void AssignParams(TObject* Source);
  // The whole bitmap in the background colour.
  void FillBackground();

  // By the lower-cased extension: ".jpg", ".jpeg", ".png", ".tif", ".tiff", ".pcx", ".gif",
  // ".wmf", ".emf", ".bmp", ".dib", ".cur", ".ico". Any other clears FileName and FileType and
  // reads nothing. Nothing happens without a bitmap.
  void LoadFromFile(const std::string& FileName) override;
  // Each raises EInvalidGraphic: JPEG "unrecognized JPEG", PNG "unrecognized PNG", TIFF and
  // GIF the reader's message followed by " : unrecognized TIFF" or " : unrecognized GIF", PCX
  // "unrecognized PCX", BMP "unrecognized BMP", icons and cursors "unrecognized ICO" and
  // "unrecognized CUR". A JPEG, PNG or TIFF file that can't be opened raises the stream's error.
  void LoadFromFileJpeg(const std::string& FileName);
  void LoadFromFilePNG(const std::string& FileName);
  void LoadFromFileTIFF(const std::string& FileName);
  void LoadFromFilePCX(const std::string& FileName);
  void LoadFromFileGIF(const std::string& FileName);
  void LoadFromFileBMP(const std::string& FileName);
  // At ICOWidth x ICOHeight (CURWidth x CURHeight) over the background colour.
  void LoadFromFileICO(const std::string& FileName);
  void LoadFromFileCUR(const std::string& FileName);

 private:
  // Not in this build.
  using ::TVistrelIO::Acquire, ::TVistrelIO::AttachedBitmap, ::TVistrelIO::DoPreviews, ::TVistrelIO::ImportMetafile,
      ::TVistrelIO::LoadFromStream, ::TVistrelIO::LoadFromStreamBMP, ::TVistrelIO::LoadFromStreamCUR,
      ::TVistrelIO::LoadFromStreamGIF, ::TVistrelIO::LoadFromStreamICO, ::TVistrelIO::LoadFromStreamJpeg,
      ::TVistrelIO::LoadFromStreamPCX, ::TVistrelIO::LoadFromStreamPNG, ::TVistrelIO::LoadFromStreamTIFF,
      ::TVistrelIO::OnIOPreview, ::TVistrelIO::ParamsFromFile, ::TVistrelIO::ParamsFromStream, ::TVistrelIO::SaveToFile,
      ::TVistrelIO::SaveToFileBMP, ::TVistrelIO::SaveToFileGIF, ::TVistrelIO::SaveToFileJpeg,
      ::TVistrelIO::SaveToFilePCX, ::TVistrelIO::SaveToFilePNG, ::TVistrelIO::SaveToFileTIFF,
      ::TVistrelIO::SaveToStreamBMP, ::TVistrelIO::SaveToStreamGIF, ::TVistrelIO::SaveToStreamJpeg,
      ::TVistrelIO::SaveToStreamPCX, ::TVistrelIO::SaveToStreamPNG, ::TVistrelIO::SaveToStreamTIFF,
      ::TVistrelIO::SelectAcquireSource, ::TVistrelIO::SetAttachedBitmap, ::TVistrelIO::TWainParams;

  // Reads a file of a type (an ft code); the stream is opened before the guard that turns the
  // reader's failure into the loader's message, or inside it, as the type's loader does.
  void LoadFile(int32_t Type, const std::string& FileName);
  // The guarded part of a load from an open stream: the reader, what the type does around
  // it, then the parameters, the view's resolution and its refresh.
  void ReadStream(int32_t Type, TStream* Stream, const std::string& FileName);
  void ReadIcon(int32_t Type, TStream* Stream);
  void ReadMetafile(TStream* Stream);
  // After a read: FileName, FileType, the view's resolution, the refresh.
  void AfterRead(int32_t Type, const std::string& FileName);
  TFilterProgress NewProgress();
  friend void VLViewerLoadStream(TVistrelIO& IO, const std::string& Extension, TStream* Stream);

  TIOParamsVals* FViewerParams = nullptr;
  TMsgLanguage FViewerLanguage = msEnglish;
  bool FViewerAborting = false;
};

}  // namespace corvelo::lib
