// The multi-image I/O component: loads every frame of a GIF file, every page of a TIFF file or
// every frame of an AVI file into a multi-image view, one item per picture, and keeps one
// parameter object per item in step with the view's items.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/core.h"
#include "vistrel/codecs/ioparams.h"
#include "vistrel/io/vistrelio.h"
#include "vistrel/view/language.h"

class TVistrelMView;
class TVLTWainParams;
class TFont;

class TVistrelMIO : public TComponent {
 public:
  explicit TVistrelMIO(TComponent* AOwner);
  ~TVistrelMIO() override;
  void BeforeDestruction() override;

  TVistrelMView* AttachedMView() const { return FMView; }
  void SetAttachedMView(TVistrelMView* View);

  // The parameters of item Index; nil when there is no such item. Owned by the component.
  TIOParamsVals* Params(int Index) const;
  int ParamsCount() const { return int(FParams.size()); }

  TMsgLanguage MsgLanguage() const { return FMsgLanguage; }
  void SetMsgLanguage(TMsgLanguage Value) { FMsgLanguage = Value; }
  TIOPreviewsParams PreviewsParams() const { return FPreviewsParams; }
  void SetPreviewsParams(TIOPreviewsParams Value) { FPreviewsParams = Value; }
  TFont* PreviewFont() const { return FPreviewFont; }
  // Copies the font.
  void SetPreviewFont(TFont* Font);
  TVLTWainParams* TWainParams() const { return FTWainParams; }

  // Set by a failed or aborted load; cleared when a load starts. A progress handler that sets
  // it, or raises, stops the load after the picture it reports (the exception goes on to the
  // caller; what was loaded stays).
  bool Aborting() const { return FAborting; }
  void SetAborting(bool Value) { FAborting = Value; }
  // Per picture of a load: Sender and the percentage of the pictures done.
  TProgressEvent OnProgress;

  // By the extension: ".gif" every GIF frame, ".tif" and ".tiff" every TIFF page, ".avi" every
  // AVI frame; other extensions load nothing. The pictures go in before the selected item
  // (at the start when none is selected), in file order. A file that can't be opened sets
  // Aborting. The file is walked once, and each picture read once from where it lies.
  void LoadFromFile(const std::string& FileName);
  void LoadFromFileGIF(const std::string& FileName);
  void LoadFromFileTIFF(const std::string& FileName);
  void LoadFromFileAVI(const std::string& FileName);
  void LoadFromStreamGIF(TStream* Stream);
  void LoadFromStreamTIFF(TStream* Stream);

  // The save-parameters dialog for item Index with the given pages; true when closed with OK.
  bool DoPreviews(int Index, uint8_t Pages);

  // The view's Update and ImageChange.
  void Update();

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  // The bitmap-change callback: follows the view's insertions and deletions.
  void BitmapChanged(TObject* Sender);
  // Image indexes of the entries from From on.
  void Renumber(int From = 0);
  void Detach();
  void LoadAll(TStream* Stream, bool Gif);
  // Ends a load begun with the view's BeginUpdate: lays the view out once.
  void EndLoad();
  // Clears Aborting. Null without a view, and with Aborting set when the file can't be
  // opened.
  std::unique_ptr<TFileStream> OpenFile(const std::string& FileName);

  TVistrelMView* FMView = nullptr;
  std::vector<std::unique_ptr<TIOParamsVals>> FParams;
  TVLTWainParams* FTWainParams = nullptr;
  TMsgLanguage FMsgLanguage = msSystem;
  TIOPreviewsParams FPreviewsParams = 0;
  TFont* FPreviewFont = nullptr;
  bool FAborting = false;
};
