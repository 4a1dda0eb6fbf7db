// Common dialogs: colour, font, open and save. Each runs through the modal service, so a
// test answers it (the request carries the dialog in Dialog) and nothing blocks headless.
#pragma once
#include <string>

#include "platform/core/object.h"
#include "platform/gui/canvas.h"
#include "platform/gui/controls.h"

class TCommonDialog : public TComponent {
 public:
  explicit TCommonDialog(TComponent* owner) : TComponent(owner) {}
  virtual bool Execute() = 0;
  int HelpContext() const { return FHelpContext; }
  void SetHelpContext(int c) { FHelpContext = c; }
  TNotifyEvent OnShow;
  TNotifyEvent OnClose;

 protected:
  int FHelpContext = 0;
};

enum TColorDialogOption : unsigned {
  cdFullOpen = 1,
  cdPreventFullOpen = 2,
  cdShowHelp = 4,
  cdSolidColor = 8,
  cdAnyColor = 16
};
using TColorDialogOptions = unsigned;

class TColorDialog : public TCommonDialog {
 public:
  explicit TColorDialog(TComponent* owner) : TCommonDialog(owner) {}
  TColor Color() const { return FColor; }
  void SetColor(TColor c) { FColor = c; }
  TColorDialogOptions Options() const { return FOptions; }
  void SetOptions(TColorDialogOptions o) { FOptions = o; }
  // The answerer sets TModalRequest::Color and returns mrOk to choose it.
  bool Execute() override;

 private:
  TColor FColor = clBlack;
  TColorDialogOptions FOptions = 0;
};

enum TFontDialogOption : unsigned { fdEffects = 1, fdLimitSize = 2, fdShowHelp = 4 };
using TFontDialogOptions = unsigned;

class TFontDialog : public TCommonDialog {
 public:
  explicit TFontDialog(TComponent* owner) : TCommonDialog(owner) {}
  TFont* Font() { return &FFont; }
  TFontDialogOptions Options() const { return FOptions; }
  void SetOptions(TFontDialogOptions o) { FOptions = o; }
  int MinFontSize() const { return FMinFontSize; }
  int MaxFontSize() const { return FMaxFontSize; }
  void SetMinFontSize(int v) { FMinFontSize = v; }
  void SetMaxFontSize(int v) { FMaxFontSize = v; }
  // The answerer changes Font() of the dialog (TModalRequest::Dialog) and returns mrOk.
  bool Execute() override;

 private:
  TFont FFont;
  TFontDialogOptions FOptions = fdEffects;
  int FMinFontSize = 0, FMaxFontSize = 0;
};

enum TOpenOption : unsigned {
  ofReadOnly = 1,
  ofOverwritePrompt = 2,
  ofHideReadOnly = 4,
  ofNoChangeDir = 8,
  ofShowHelp = 16,
  ofPathMustExist = 32,
  ofFileMustExist = 64,
  ofCreatePrompt = 128,
  ofAllowMultiSelect = 256,
  ofNoReadOnlyReturn = 512,
  ofEnableSizing = 1024
};
using TOpenOptions = unsigned;

class TOpenDialog : public TCommonDialog {
 public:
  explicit TOpenDialog(TComponent* owner) : TCommonDialog(owner) {}
  const std::string& FileName() const { return FFileName; }
  void SetFileName(const std::string& f) { FFileName = f; }
  // "Description|*.a;*.b|Description|*.c"
  const std::string& Filter() const { return FFilter; }
  void SetFilter(const std::string& f) { FFilter = f; }
  int FilterIndex() const { return FFilterIndex; }
  void SetFilterIndex(int i) { FFilterIndex = i; }
  const std::string& InitialDir() const { return FInitialDir; }
  void SetInitialDir(const std::string& d) { FInitialDir = d; }
  const std::string& DefaultExt() const { return FDefaultExt; }
  void SetDefaultExt(const std::string& e) { FDefaultExt = e; }
  const std::string& Title() const { return FTitle; }
  void SetTitle(const std::string& t) { FTitle = t; }
  TOpenOptions Options() const { return FOptions; }
  void SetOptions(TOpenOptions o) { FOptions = o; }
  // The answerer puts the chosen name in TModalRequest::Value and returns mrOk.
  bool Execute() override;

 protected:
  virtual bool Saving() const { return false; }
  std::string FFileName, FFilter, FInitialDir, FDefaultExt, FTitle;
  int FFilterIndex = 1;
  TOpenOptions FOptions = ofHideReadOnly | ofEnableSizing;
};

class TSaveDialog : public TOpenDialog {
 public:
  explicit TSaveDialog(TComponent* owner) : TOpenDialog(owner) {}

 protected:
  bool Saving() const override { return true; }
};
