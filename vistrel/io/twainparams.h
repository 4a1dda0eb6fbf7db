// What an acquisition needs to know about TWAIN sources: the installed sources, the selected
// one, whether its own dialog is shown, and its capability values, read from the source when
// first asked for and sent back (only what changed) when an image is acquired.
#pragma once
#include <string>
#include <vector>

#include "platform/core/object.h"
#include "vistrel/io/twaindefs.h"
#include "vistrel/view/vllists.h"

// The capability values of the selected source, as the TWAIN client reads and sends them.
struct TVLTwainCaps {
  TVLDoubleList XResolution, YResolution, XScaling, YScaling;
  TVLIntegerList PixelType;  // 0 black and white, 1 gray, 2 RGB
  double Gamma = 2.2;
  double PhysicalWidth = 0, PhysicalHeight = 0;  // in the source's units (inches as negotiated)
  bool FeederEnabled = false;
  TVLIntegerList Orientation;
  bool Indicators = true;
  double AcquireFrame[4] = {0, 0, 0, 0};  // left, top, right, bottom
};

class TVLTWainParams : public TObject {
 public:
  explicit TVLTWainParams(TComponent* Owner);
  ~TVLTWainParams() override;

  // Forgets the sources and the capabilities (both are read again when next asked for).
  void SetDefaults();
  void FillSourceList();
  void FillCapabilities();

  // Product name of source i; empty past the last source.
  std::string GetSourceName(int i);
  // Selects the first source whose product name begins with Name, in any letter case (an
  // empty name: the first source); false when none does.
  bool SelectSourceByName(const std::string& Name);
  int SelectedSource() const { return FSelectedSource; }
  // Selecting another source reads its capabilities at once.
  void SetSelectedSource(int i);

  bool ShowSourceDialog() const { return FShowSourceDialog; }
  void SetShowSourceDialog(bool Value) { FShowSourceDialog = Value; }
  bool GetBufferedTransfer() const { return FBufferedTransfer; }
  void SetBufferedTransfer(bool Value) { FBufferedTransfer = Value; }

  // The capability values, read first when not read yet; the lists are the caller's to change.
  TVLDoubleList& GetXResolution();
  TVLDoubleList& GetYResolution();
  TVLDoubleList& GetXScaling();
  TVLDoubleList& GetYScaling();
  TVLIntegerList& GetPixelType();
  TVLIntegerList& GetOrientation();
  double GetGamma();
  double GetPhysicalWidth();
  double GetPhysicalHeight();
  bool GetFeederEnabled();
  void SetFeederEnabled(bool Value) { FCaps.FeederEnabled = Value; }
  bool GetIndicators();
  void SetIndicators(bool Value) { FCaps.Indicators = Value; }
  // 0 left, 1 top, 2 right, 3 bottom; other indexes read 0 and write nothing.
  double GetAcquireFrame(int i);
  void SetAcquireFrame(int i, double Value);

  // For the TWAIN client: the sources and the capability values as they stand, read nothing.
  const std::vector<TW_IDENTITY>& Sources() const { return FSources; }
  TVLTwainCaps& CapsBlock() { return FCaps; }
  TComponent* Owner() const { return FOwner; }

 private:
  TComponent* FOwner;
  bool FShowSourceDialog = true;
  std::vector<TW_IDENTITY> FSources;
  int FSelectedSource = 0;
  bool FSourcesFilled = false;
  bool FCapsFilled = false;
  TVLTwainCaps FCaps;
  bool FBufferedTransfer = true;
};
