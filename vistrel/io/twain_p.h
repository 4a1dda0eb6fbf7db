// Private to the TWAIN client: no API.
// One connection to the source manager: its TWAIN state and the steps that move it.
#pragma once
#include <cstdint>

#include "platform/core/library.h"
#include "vistrel/io/twain.h"
#include "vistrel/io/twainparams.h"

namespace vltwain {

// Stage of a connection's first failure.
enum TStage : uint8_t { stNone = 0, stLoad = 2, stOpenManager = 3, stOpenSource = 4, stEnableSource = 5 };

struct TConnection {
  // 1 manager not loaded, 2 loaded, 3 open, 4 source open, 5 source enabled, 6 transfer
  // ready, 7 transferring.
  int State = 1;
  HMODULE Library = nullptr;
  DSMENTRYPROC Entry = nullptr;
  TW_HANDLE Window = nullptr;  // the parent; DAT_PARENT's data is this field's address
  TW_UINT16 ReturnCode = TWRC_SUCCESS;
  TW_IDENTITY App{};
  TW_IDENTITY Source{};
  TW_USERINTERFACE UI{};
  struct {
    uint8_t Stage = stNone;
    TW_UINT16 ReturnCode = 0, Condition = 0;
  } Error;
  bool HideInterface = false;
  TW_PENDINGXFERS Pending{};
  bool MultiPage = false;
  TVLTwainPageEvent OnPage;
  // A transfer failed or was cancelled with no dialog up: the connection ends.
  bool Done = false;
  TVLTWainParams* TwainParams = nullptr;
  TIOParamsVals* Params = nullptr;
  bool Buffered = false;
  bool Transferred = false;
  TBitmap* Bitmap = nullptr;
  TFilterProgress* Progress = nullptr;
  // The source's answer to an offered event, acted on between batches of events.
  TW_UINT16 SourceMessage = MSG_NULL;
  QWidget* Proxy = nullptr;

  TConnection();
  TConnection(const TConnection&) = delete;
  TConnection& operator=(const TConnection&) = delete;
  // Closes whatever is still open, in reverse order, and destroys the proxy window.
  ~TConnection();
};

// Triplets; each stores its return code in the connection.
TW_UINT16 ToManager(TConnection& c, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, void* Data);
TW_UINT16 ToSource(TConnection& c, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, void* Data);

// Capabilities (twaincaps.cpp).
// Sends what the caller changed and the fixed settings an acquisition needs, before the source
// is enabled; may clear the buffered-transfer flag.
void Negotiate(TConnection& c, TVLTwainCaps& Caps);
// ICAP_UNITS to inches, when the source reports its units.
void SetUnitsToInches(TConnection& c);
// Reads every capability the parameters hold; lists that can't be read get their defaults.
void ReadCapabilities(TConnection& c, TVLTwainCaps& Caps);

}  // namespace vltwain
