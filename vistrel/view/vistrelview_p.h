// No API: names the single-image view's own files share.
#pragma once

namespace vlview {

// The grips of a rectangle selection: its corners in the order of its vertices, then its
// sides. GripAt and VLResizeBoxByGrip speak these numbers.
enum TGrip : int {
  gripNone = -1,
  gripTopLeft,
  gripTopRight,
  gripBottomRight,
  gripBottomLeft,
  gripLeft,
  gripRight,
  gripTop,
  gripBottom,
};
constexpr int kCornerGrips = 4;
constexpr int kGrips = 8;

}  // namespace vlview
