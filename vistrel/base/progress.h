// Progress reports of the library's long operations, shared by the codecs, the kernels and
// the components. No Qt here.
#pragma once
#include <cstdint>
#include <functional>

class TObject;

// Progress of every library component: sender and percentage done.
using TProgressEvent = std::function<void(TObject* sender, int percent)>;

// The percentage after Done of Rows rows (or steps): trunc(Done x 100 / (Rows + 0.5)),
// worked in integers. It stays below 100 while Done <= Rows.
inline int VLRowPercent(int64_t Done, int64_t Rows) { return int(Done * 200 / (2 * Rows + 1)); }

// Reports VLRowPercent(Done, Rows) when a handler is set.
inline void VLRowProgress(const TProgressEvent& OnProgress, TObject* Sender, int64_t Done, int64_t Rows) {
  if (OnProgress) OnProgress(Sender, VLRowPercent(Done, Rows));
}
