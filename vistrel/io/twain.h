// The TWAIN acquisition client: one image from a scanner or camera into a bitmap, the source
// manager's source chooser, the list of installed sources, and the capabilities of the
// selected source. Each service loads the source manager, opens and closes its own
// connection, and unloads the manager again; all of it runs on the GUI thread.
//
// The source manager is a shared library opened at run time: the one named by the
// environment variable VISTREL_TWAIN_DSM when it is set, else "libtwaindsm.so.2". Without
// it every service returns false.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "platform/core/core.h"
#include "vistrel/codecs/ioparams.h"
#include "vistrel/io/twaindefs.h"

class QWidget;
class TVLTWainParams;
struct TVLTwainCaps;

// Called for each page of a multi-page acquisition (no caller uses one).
using TVLTwainPageEvent = std::function<void(TBitmap* Page)>;

// The source manager's file: VISTREL_TWAIN_DSM when set, else the default name.
std::string TwainSourceManagerName();
// True when the source manager opens and has its entry point.
bool TwainSourceManagerInstalled();

// Runs the source until it delivers one image into Bitmap (true) or the user or a failure
// ends the acquisition (false; Bitmap keeps what was copied). Params then hold the image's
// bits per sample, samples per pixel, width, height and resolution. Parent is disabled
// meanwhile; without a valid parent a hidden proxy window stands in. Exceptions of the
// progress handler pass on, after the connection was closed.
bool TwainAcquire(QWidget* Parent, TBitmap* Bitmap, bool MultiPage, TFilterProgress& Progress, TIOParamsVals& Params,
                  TVLTWainParams& TwainParams, const TVLTwainPageEvent& OnPage);
// The source manager's chooser; true when the user picked a source, whose product name goes
// to Name. A non-null Parent that is no window gives false.
bool TwainSelectSource(QWidget* Parent, std::string& Name);
// The identities of all installed sources, in the source manager's order.
void TwainListSources(std::vector<TW_IDENTITY>& List);
// Reads the selected source's capabilities into Caps; with SetFirst they are first negotiated
// as for an acquisition, else the lists' change flags are cleared afterwards. False when the
// source could not be opened (Caps untouched).
bool TwainGetCapabilities(TVLTWainParams& TwainParams, TVLTwainCaps& Caps, bool SetFirst);

// TW_FIX32 of a real (rounded to the nearest 1/65536, limited to the type's range) and back.
TW_FIX32 VLRealToFix32(double Value);
double VLFix32ToReal(TW_FIX32 Value);
