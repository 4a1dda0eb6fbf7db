// The test source manager: a shared library the TWAIN client loads like any other, which
// records every triplet it is sent and plays a scanner as the test scripts it. The tests open
// the same library and reach its state through FakeDsmState().
#pragma once
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "vistrel/io/twaindefs.h"

namespace fakedsm {

// One triplet as the source manager received it.
struct TCall {
  std::string Dest;  // the source's product name; empty for the manager itself
  TW_UINT32 DG = 0;
  TW_UINT16 DAT = 0, MSG = 0;
  TW_UINT16 Answer = 0;
  // Capabilities: the capability; for MSG_SET the container sent.
  TW_UINT16 Cap = 0, ConType = 0, ItemType = 0;
  std::vector<uint32_t> Items;  // one value: its item; range: min, max, step, default, current
  uint32_t CurrentIndex = 0;
  // MSG_ENABLEDS: the user interface record.
  TW_BOOL ShowUI = 0;
  TW_HANDLE Parent = nullptr;
  // DAT_IMAGELAYOUT MSG_SET: the frame.
  TW_FRAME Frame{};
  // DAT_IMAGEMEMXFER: the buffer offered.
  uint32_t BufferLength = 0, BufferFlags = 0;
};

// A triplet made to answer with Answer (Cap 0: any capability).
struct TFailure {
  TW_UINT32 DG;
  TW_UINT16 DAT, MSG;
  TW_UINT16 Cap;
  TW_UINT16 Answer;
};

// One answer to a strip request: the numbers reported and the bytes written into the buffer.
struct TStrip {
  TW_UINT16 Answer = TWRC_SUCCESS;
  TW_UINT32 BytesPerRow = 0, Columns = 0, Rows = 0, XOffset = 0, YOffset = 0, BytesWritten = 0;
  TW_UINT16 Compression = 0;
  std::vector<uint8_t> Data;
};

// A container returned for MSG_GET of a capability.
struct TContainer {
  TW_UINT16 ConType = TWON_ONEVALUE;
  std::vector<uint8_t> Bytes;
};

struct TState {
  std::vector<std::string> Sources{"Fake Flatbed", "Fake Camera"};
  int UserSelect = -1;  // the chooser's pick; -1 cancels
  // Capabilities each source reports, by source index.
  std::map<int, std::map<TW_UINT16, TContainer>> Caps;
  std::map<int, TW_IMAGELAYOUT> Layouts;
  std::vector<TFailure> Failures;
  TW_UINT16 Condition = TWCC_BUMMER;  // what DAT_STATUS reports

  // Answers to offered events once the source is enabled, one per event; MSG_NULL leaves the
  // event to the program.
  std::deque<TW_UINT16> Events{MSG_XFERREADY};
  // After this many offered events with nothing scripted the source asks to be closed, so a
  // client that never ends its loop still ends the test.
  int StallLimit = 500;
  bool Stalled = false;

  TW_IMAGEINFO Info{};
  TW_UINT16 InfoAnswer = TWRC_SUCCESS;
  TW_SETUPMEMXFER Setup{1024, 1 << 20, 64 * 1024};
  std::deque<TStrip> Strips;
  bool RepeatLastStrip = false;  // a source that never ends its strips
  std::vector<uint8_t> Dib;
  TW_UINT16 NativeAnswer = TWRC_XFERDONE;
  std::deque<TW_UINT16> PendingCounts;  // Count after each MSG_ENDXFER (0 when none left)

  std::vector<TCall> Log;
  int OpenManagers = 0, OpenSources = 0, EnabledSources = 0;
  int OfferedEvents = 0;
};

}  // namespace fakedsm

extern "C" fakedsm::TState* FakeDsmState();
