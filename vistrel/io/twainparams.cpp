#include "vistrel/io/twainparams.h"

#include <cctype>
#include <cstring>

#include "vistrel/io/twain.h"

namespace {

std::string ProductName(const TW_IDENTITY& id) { return std::string(id.ProductName, strnlen(id.ProductName, 34)); }

std::string Upper(std::string s) {
  for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

TVLTWainParams::TVLTWainParams(TComponent* Owner) : FOwner(Owner) { SetDefaults(); }

TVLTWainParams::~TVLTWainParams() { SetDefaults(); }

void TVLTWainParams::SetDefaults() {
  FSources.clear();
  FShowSourceDialog = true;
  FSelectedSource = 0;
  FSourcesFilled = false;
  FCapsFilled = false;
  FCaps.XResolution.Clear();
  FCaps.YResolution.Clear();
  FCaps.XScaling.Clear();
  FCaps.YScaling.Clear();
  FCaps.PixelType.Clear();
  FCaps.Orientation.Clear();
  FCaps.Gamma = 2.2;
  FCaps.PhysicalWidth = 0;
  FCaps.PhysicalHeight = 0;
  FCaps.FeederEnabled = false;
  FCaps.Indicators = true;
  for (double& e : FCaps.AcquireFrame) e = 0;
  FBufferedTransfer = true;
}

void TVLTWainParams::FillSourceList() {
  if (FSourcesFilled) return;
  FSources.clear();
  TwainListSources(FSources);
  FSourcesFilled = true;
  FillCapabilities();
}

void TVLTWainParams::FillCapabilities() {
  if (FCapsFilled) return;
  // Flagged first: reading opens the source, which asks for its name, which may fill the
  // source list, which reads the capabilities.
  FCapsFilled = true;
  TwainGetCapabilities(*this, FCaps, false);
}

std::string TVLTWainParams::GetSourceName(int i) {
  FillSourceList();
  if (i < 0 || size_t(i) >= FSources.size()) return "";
  return ProductName(FSources[size_t(i)]);
}

bool TVLTWainParams::SelectSourceByName(const std::string& Name) {
  FillSourceList();
  const std::string want = Upper(Name);
  for (size_t i = 0; i < FSources.size(); ++i) {
    const std::string have = ProductName(FSources[i]);
    if (have.size() < want.size() || Upper(have.substr(0, want.size())) != want) continue;
    if (int(i) != FSelectedSource) SetSelectedSource(int(i));
    return true;
  }
  return false;
}

void TVLTWainParams::SetSelectedSource(int i) {
  if (i == FSelectedSource) return;
  FSelectedSource = i;
  FCapsFilled = false;
  FillCapabilities();
}

TVLDoubleList& TVLTWainParams::GetXResolution() {
  FillCapabilities();
  return FCaps.XResolution;
}

TVLDoubleList& TVLTWainParams::GetYResolution() {
  FillCapabilities();
  return FCaps.YResolution;
}

TVLDoubleList& TVLTWainParams::GetXScaling() {
  FillCapabilities();
  return FCaps.XScaling;
}

TVLDoubleList& TVLTWainParams::GetYScaling() {
  FillCapabilities();
  return FCaps.YScaling;
}

TVLIntegerList& TVLTWainParams::GetPixelType() {
  FillCapabilities();
  return FCaps.PixelType;
}

TVLIntegerList& TVLTWainParams::GetOrientation() {
  FillCapabilities();
  return FCaps.Orientation;
}

double TVLTWainParams::GetGamma() {
  FillCapabilities();
  return FCaps.Gamma;
}

double TVLTWainParams::GetPhysicalWidth() {
  FillCapabilities();
  return FCaps.PhysicalWidth;
}

double TVLTWainParams::GetPhysicalHeight() {
  FillCapabilities();
  return FCaps.PhysicalHeight;
}

bool TVLTWainParams::GetFeederEnabled() {
  FillCapabilities();
  return FCaps.FeederEnabled;
}

bool TVLTWainParams::GetIndicators() {
  FillCapabilities();
  return FCaps.Indicators;
}

double TVLTWainParams::GetAcquireFrame(int i) {
  FillCapabilities();
  return i >= 0 && i < 4 ? FCaps.AcquireFrame[i] : 0;
}

void TVLTWainParams::SetAcquireFrame(int i, double Value) {
  if (i >= 0 && i < 4) FCaps.AcquireFrame[i] = Value;
}
