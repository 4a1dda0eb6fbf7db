#include "corvelo/viewerunit.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "corvelo/library/vistrel.h"
#include "corvelo/mainform.h"
#include "platform/core/stream.h"
#include "platform/core/types.h"

namespace corvelo {

std::string CurrentImageFile;
std::string CurrentListFile;
int ListKind = 0;
int ThumbsPending = 0;
float PictureRatio = 0;

TMainForm* MainForm = nullptr;
TCategoryForm* CategoryForm = nullptr;
TShowCatPhotoForm* ShowCatPhotoForm = nullptr;
TSlideShowForm* SlideShowForm = nullptr;
TAboutBox* AboutBox = nullptr;
TOKBottomDlg* OKBottomDlg = nullptr;

namespace {

std::string& Folder() {
  static std::string folder = [] {
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return std::string("./");
    std::string f = exe.parent_path().string();
    return f.empty() || f.back() != '/' ? f + "/" : f;
  }();
  return folder;
}

}  // namespace

std::string ProgramFolder() { return Folder(); }

void SetProgramFolder(const std::string& folder) {
  Folder() = folder.empty() || folder.back() == '/' ? folder : folder + "/";
}

std::string ListPath(const std::string& line) {
  std::string name = line;
  if (!name.empty() && name.back() == '\r') name.pop_back();
  std::replace(name.begin(), name.end(), '\\', '/');
  return ProgramFolder() + name;
}

std::string AsWritten(const std::string& text) {
  std::string s;
  for (char c : text) {
    s += c;
    if (c == '&') s += '&';
  }
  return s;
}

bool AcceptedExtension(const std::string& file) {
  std::string ext = UpperCase(ExtractFileExt(file));
  if (!ext.empty()) ext.erase(0, 1);
  for (const char* ok : {"JPG", "WMF", "EMF", "ICO", "CUR", "DIB", "PCX", "BMP"})
    if (ext == ok) return true;
  return false;
}

TFit FitPicture(int w, int h, int bw, int bh) {
  // The inner panel starts as the whole frame.
  TFit f{0, 0, bw, bh, false};
  if (w <= 0 || h <= 0) {
    // Nothing to show: an empty panel in the middle.
    f.Width = f.Height = 0;
    f.Left = bw / 2;
    f.Top = bh / 2;
    return f;
  }
  // The ratio is single precision, as the shared ratio is.
  const float r = float(w) / float(h);
  if (w > bw) {
    f.Width = bw;
    f.Height = RoundInt((long double)bw / r);
    if (f.Height > bh) {
      f.Height = bh;
      f.Width = RoundInt((long double)bh * r);
    }
    f.Scaled = true;
  }
  if (h > bh) {
    f.Height = bh;
    f.Width = RoundInt((long double)bh * r);
    if (f.Width > bw) {
      f.Width = bw;
      f.Height = RoundInt((long double)bw / r);
    }
    f.Scaled = true;
  }
  if (h < bh && w < bw) {
    f.Width = w;
    f.Height = h;
  }
  f.Top = (bh - f.Height) / 2;
  f.Left = (bw - f.Width) / 2;
  return f;
}

bool SetImage(TPanel* base, TPanel* inner, TImage* image) {
  const int w = image->Picture()->Width(), h = image->Picture()->Height();
  inner->SetAlign(alClient);
  inner->SetAlign(alNone);
  image->SetAlign(alNone);
  image->SetStretch(false);
  image->SetBounds(0, 0, image->Width(), image->Height());
  if (w > 0 && h > 0) PictureRatio = float(w) / float(h);
  const TFit f = FitPicture(w, h, base->Width(), base->Height());
  // A picture exactly as wide (or high) as the frame keeps the panel the alignment gave.
  const bool keep = !f.Scaled && !(h < base->Height() && w < base->Width()) && w > 0 && h > 0;
  if (!keep) inner->SetBounds(f.Left, f.Top, f.Width, f.Height);
  image->SetStretch(f.Scaled);
  image->SetAlign(alClient);
  return f.Scaled;
}

lib::TVistrel* NewHiddenDecoder(TComponent* owner, TWinControl* parent) {
  auto* d = new lib::TVistrel(owner);
  d->SetParent(parent);
  d->SetVisible(false);
  d->SetNColors(lib::nc8bit);
  return d;
}

TLoadResult LoadImage(lib::TVistrel* decoder, TImage* target, const std::function<void()>& BeforeLoad) {
  struct THourglass {
    THourglass() {
      if (Screen) Screen->SetCursor(crHourGlass);
    }
    ~THourglass() {
      if (Screen) Screen->SetCursor(crDefault);
    }
  } hourglass;
  if (!AcceptedExtension(CurrentImageFile)) return TLoadResult::Skipped;
  if (BeforeLoad) BeforeLoad();
  if (!FileExists(CurrentImageFile)) return TLoadResult::Skipped;
  try {
    decoder->LoadFromFile(CurrentImageFile);
    // Straight to the target: the clipboard is the user's, not a loader's.
    target->Picture()->Bitmap()->Assign(decoder->Bitmap());
  } catch (const std::exception&) {
    return TLoadResult::Failed;
  }
  return TLoadResult::Loaded;
}

TStrings* CatListLines() {
  static TStrings standalone;
  return MainForm ? MainForm->CatList->Items() : &standalone;
}

}  // namespace corvelo
