// What the viewer's forms share: the globals that carry the chosen files between them, the
// program's folder and its list paths, and the one picture rule every form follows (which
// files load, how a picture is fitted into its frame).
#pragma once
#include <functional>
#include <string>

#include "platform/core/exceptions.h"
#include "platform/gui/stdctrls.h"

class TOKBottomDlg;
namespace corvelo::lib {
class TVistrel;
}

namespace corvelo {

// A list file that can't be read.
VL_DECLARE_EXCEPTION(EInOutError, Exception)

// Globals shared by the viewer's forms (all start zero/empty).
extern std::string CurrentImageFile;  // picture the next LoadImage loads
extern std::string CurrentListFile;   // list file the next LoadList reads
extern int ListKind;                  // 1 albums, 2 slide shows, 3 album contents, 4 show contents, 5 settings
extern int ThumbsPending;             // 1 = album view loads thumbnails on its next tick
extern float PictureRatio;            // ratio of the last fitted picture (album, photo view, slides, printing)

// The program's folder with a trailing '/': the running program's own folder until a test
// points it elsewhere.
std::string ProgramFolder();
void SetProgramFolder(const std::string& folder);
// ProgramFolder() + a list line: a trailing CR dropped, backslashes turned into '/'.
std::string ListPath(const std::string& line);

// Text of the disc's lists as a caption shows it as written: each "&" doubled, so none is
// taken for a mnemonic.
std::string AsWritten(const std::string& text);

// The extensions the viewer loads: JPG WMF EMF ICO CUR DIB PCX BMP, in any case; nothing else
// (not even ".jpeg").
bool AcceptedExtension(const std::string& file);

// Where the inner panel goes in a BW x BH frame for a W x H picture. Scaled: the picture is
// stretched to the panel. A picture wider or higher than the frame is shrunk to fit, keeping
// its ratio; one smaller both ways keeps its size; either is centred. One exactly as wide as
// the frame and not higher (or as high and not wider) gets the whole frame, unscaled, drawn
// at its top left.
struct TFit {
  int Left = 0, Top = 0, Width = 0, Height = 0;
  bool Scaled = false;
};
TFit FitPicture(int w, int h, int bw, int bh);

// Fits the picture of image into inner, which lies in base (image fills inner afterwards,
// stretched when scaled); sets PictureRatio. Returns Scaled.
bool SetImage(TPanel* base, TPanel* inner, TImage* image);

// Loads CurrentImageFile into target through the hidden decoder, with the hourglass up
// meanwhile. Skipped: refused extension or missing file; Failed: the decoder raised. Either
// way target keeps its picture (the caller marks a failure as its form does). BeforeLoad runs
// once the file passed the extension test, before anything is read.
enum class TLoadResult { Skipped, Loaded, Failed };
// The hidden decoder each form keeps for LoadImage: eight-bit colour, never shown.
lib::TVistrel* NewHiddenDecoder(TComponent* owner, TWinControl* parent);
TLoadResult LoadImage(lib::TVistrel* decoder, TImage* target, const std::function<void()>& BeforeLoad = nullptr);

// The forms, created once by the program block (nullptr until then).
class TMainForm;
class TCategoryForm;
class TShowCatPhotoForm;
class TSlideShowForm;
class TAboutBox;
extern TMainForm* MainForm;
extern TCategoryForm* CategoryForm;
extern TShowCatPhotoForm* ShowCatPhotoForm;
extern TSlideShowForm* SlideShowForm;
extern TAboutBox* AboutBox;
extern TOKBottomDlg* OKBottomDlg;

// The lines of the album chosen last (the main form's CatList); a list of its own while there
// is no main form, so a form can be tried alone.
TStrings* CatListLines();

}  // namespace corvelo
