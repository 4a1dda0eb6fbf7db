// The test source manager (see fake_dsm.h). Containers and packed DIBs it returns are memory
// handles of the application's own GlobalAlloc, as a source's are, to their exact size.
#include "twain/fakedsm/fake_dsm.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/core/library.h"

using namespace fakedsm;

namespace {

TState gState;
int gWalk = 0;  // position of the identity walk

uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t Get32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

std::string Name(const TW_IDENTITY* id) { return id ? std::string(id->ProductName, strnlen(id->ProductName, 34)) : ""; }

int SourceIndex(const std::string& name) {
  for (size_t i = 0; i < gState.Sources.size(); ++i)
    if (gState.Sources[i] == name) return int(i);
  return -1;
}

void FillIdentity(TW_IDENTITY* id, int index) {
  std::memset(id, 0, sizeof *id);
  id->Id = TW_UINT32(index + 1);
  id->ProtocolMajor = 1;
  id->ProtocolMinor = 9;
  id->SupportedGroups = DG_CONTROL | DG_IMAGE;
  std::strncpy(id->ProductName, gState.Sources[size_t(index)].c_str(), 33);
  std::strncpy(id->Manufacturer, "Test", 33);
}

void* HeapCopy(const std::vector<uint8_t>& bytes) {
  void* p = GlobalAlloc(GMEM_MOVEABLE, int64_t(std::max<size_t>(bytes.size(), 1)));
  if (p && !bytes.empty()) std::memcpy(p, bytes.data(), bytes.size());
  return p;
}

// Records the container an application sent.
void RecordContainer(TCall& call, const TW_CAPABILITY* cap) {
  call.ConType = cap->ConType;
  const auto* p = static_cast<const uint8_t*>(cap->hContainer);
  if (!p) return;
  call.ItemType = Get16(p);
  const int size = call.ItemType == TWTY_FIX32 ? 4 : 2;
  auto item = [&](const uint8_t* q) { return size == 4 ? Get32(q) : Get16(q); };
  switch (cap->ConType) {
    case TWON_ONEVALUE: call.Items = {item(p + 2)}; break;
    case TWON_RANGE:
      for (int i = 0; i < 5; ++i) call.Items.push_back(item(p + 2 + 4 * i));
      break;
    case TWON_ENUMERATION: {
      const uint32_t n = Get32(p + 2);
      call.CurrentIndex = Get32(p + 6);
      for (uint32_t i = 0; i < n; ++i) call.Items.push_back(item(p + 14 + i * size));
      break;
    }
  }
}

TW_UINT16 Scripted(TCall& call, TW_IDENTITY* dest, TW_MEMREF data) {
  TState& s = gState;
  const int source = dest ? SourceIndex(Name(dest)) : -1;
  switch (call.DAT) {
    case DAT_PARENT:
      if (call.MSG == MSG_OPENDSM) ++s.OpenManagers;
      if (call.MSG == MSG_CLOSEDSM) --s.OpenManagers;
      return TWRC_SUCCESS;
    case DAT_STATUS: static_cast<TW_STATUS*>(data)->ConditionCode = s.Condition; return TWRC_SUCCESS;
    case DAT_IDENTITY: {
      auto* id = static_cast<TW_IDENTITY*>(data);
      switch (call.MSG) {
        case MSG_GETFIRST:
        case MSG_GETNEXT:
          gWalk = call.MSG == MSG_GETFIRST ? 0 : gWalk + 1;
          if (gWalk >= int(s.Sources.size())) return TWRC_ENDOFLIST;
          FillIdentity(id, gWalk);
          return TWRC_SUCCESS;
        case MSG_USERSELECT:
          if (s.UserSelect < 0 || s.UserSelect >= int(s.Sources.size())) return TWRC_CANCEL;
          FillIdentity(id, s.UserSelect);
          return TWRC_SUCCESS;
        case MSG_OPENDS: {
          const std::string want = Name(id);
          const int i = want.empty() ? 0 : SourceIndex(want);
          if (i < 0 || s.Sources.empty()) return TWRC_FAILURE;
          FillIdentity(id, i);
          ++s.OpenSources;
          return TWRC_SUCCESS;
        }
        case MSG_CLOSEDS: --s.OpenSources; return TWRC_SUCCESS;
      }
      return TWRC_FAILURE;
    }
    case DAT_USERINTERFACE: {
      auto* ui = static_cast<TW_USERINTERFACE*>(data);
      call.ShowUI = ui->ShowUI;
      call.Parent = ui->hParent;
      if (call.MSG == MSG_ENABLEDS) ++s.EnabledSources;
      if (call.MSG == MSG_DISABLEDS) --s.EnabledSources;
      return TWRC_SUCCESS;
    }
    case DAT_EVENT: {
      auto* e = static_cast<TW_EVENT*>(data);
      e->TWMessage = MSG_NULL;
      if (s.EnabledSources <= 0) return TWRC_NOTDSEVENT;
      ++s.OfferedEvents;
      if (s.Events.empty()) {
        if (s.OfferedEvents < s.StallLimit) return TWRC_NOTDSEVENT;
        s.Stalled = true;
        e->TWMessage = MSG_CLOSEDSREQ;
        return TWRC_DSEVENT;
      }
      const TW_UINT16 m = s.Events.front();
      s.Events.pop_front();
      if (m == MSG_NULL) return TWRC_NOTDSEVENT;
      e->TWMessage = m;
      return TWRC_DSEVENT;
    }
    case DAT_CAPABILITY: {
      auto* cap = static_cast<TW_CAPABILITY*>(data);
      call.Cap = cap->Cap;
      if (call.MSG == MSG_SET) {
        RecordContainer(call, cap);
        return TWRC_SUCCESS;
      }
      const auto& caps = s.Caps[source];
      const auto it = caps.find(cap->Cap);
      if (it == caps.end()) return TWRC_FAILURE;
      cap->ConType = it->second.ConType;
      cap->hContainer = HeapCopy(it->second.Bytes);
      return TWRC_SUCCESS;
    }
    case DAT_IMAGELAYOUT: {
      auto* l = static_cast<TW_IMAGELAYOUT*>(data);
      if (call.MSG == MSG_SET) {
        call.Frame = l->Frame;
        return TWRC_SUCCESS;
      }
      const auto it = s.Layouts.find(source);
      if (it == s.Layouts.end()) return TWRC_FAILURE;
      *l = it->second;
      return TWRC_SUCCESS;
    }
    case DAT_IMAGEINFO: *static_cast<TW_IMAGEINFO*>(data) = s.Info; return s.InfoAnswer;
    case DAT_SETUPMEMXFER: *static_cast<TW_SETUPMEMXFER*>(data) = s.Setup; return TWRC_SUCCESS;
    case DAT_IMAGEMEMXFER: {
      auto* x = static_cast<TW_IMAGEMEMXFER*>(data);
      call.BufferLength = x->Memory.Length;
      call.BufferFlags = x->Memory.Flags;
      if (s.Strips.empty()) return TWRC_FAILURE;
      const TStrip st = s.Strips.front();
      if (!s.RepeatLastStrip || s.Strips.size() > 1) s.Strips.pop_front();
      // The source writes no more than the buffer holds, whatever it reports.
      std::memcpy(x->Memory.TheMem, st.Data.data(), std::min<size_t>(st.Data.size(), x->Memory.Length));
      x->Compression = st.Compression;
      x->BytesPerRow = st.BytesPerRow;
      x->Columns = st.Columns;
      x->Rows = st.Rows;
      x->XOffset = st.XOffset;
      x->YOffset = st.YOffset;
      x->BytesWritten = st.BytesWritten;
      return st.Answer;
    }
    case DAT_IMAGENATIVEXFER:
      if (s.NativeAnswer == TWRC_XFERDONE) *static_cast<TW_HANDLE*>(data) = HeapCopy(s.Dib);
      return s.NativeAnswer;
    case DAT_PENDINGXFERS: {
      auto* p = static_cast<TW_PENDINGXFERS*>(data);
      p->Count = 0;
      if (call.MSG == MSG_ENDXFER && !s.PendingCounts.empty()) {
        p->Count = s.PendingCounts.front();
        s.PendingCounts.pop_front();
      }
      return TWRC_SUCCESS;
    }
  }
  return TWRC_FAILURE;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) fakedsm::TState* FakeDsmState() { return &gState; }

extern "C" __attribute__((visibility("default"))) TW_UINT16 DSM_Entry(TW_IDENTITY* pOrigin, TW_IDENTITY* pDest,
                                                                      TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                                                                      TW_MEMREF pData) {
  if (!pOrigin || !pData) return TWRC_FAILURE;
  TCall call;
  call.Dest = Name(pDest);
  call.DG = DG;
  call.DAT = DAT;
  call.MSG = MSG;
  if (DAT == DAT_CAPABILITY) call.Cap = static_cast<TW_CAPABILITY*>(pData)->Cap;
  TW_UINT16 answer = 0;
  bool failed = false;
  for (const TFailure& f : gState.Failures)
    if (f.DG == DG && f.DAT == DAT && f.MSG == MSG && (f.Cap == 0 || f.Cap == call.Cap)) {
      answer = f.Answer;
      failed = true;
      break;
    }
  if (failed) {
    if (DAT == DAT_CAPABILITY && MSG == MSG_SET) RecordContainer(call, static_cast<TW_CAPABILITY*>(pData));
  } else {
    answer = Scripted(call, pDest, pData);
  }
  call.Answer = answer;
  gState.Log.push_back(call);
  return answer;
}
