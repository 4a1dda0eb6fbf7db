#include "vistrel/view/vistrelview_geom.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>

#include "vistrel/view/vistrelview_p.h"

using namespace vlview;

int64_t VLZoomedExtent(int64_t size, int zoom) { return Round((long double)size * 0.01L * zoom); }

void VLMaxViewOrigin(int64_t zoomedW, int64_t zoomedH, int clientW, int clientH, int width, int height, int64_t& maxX,
                     int64_t& maxY) {
  maxX = 0;
  maxY = 0;
  if (zoomedW <= 0 || zoomedH <= 0) return;
  maxX = std::max<int64_t>(zoomedW - clientW, 0);
  maxY = std::max<int64_t>(zoomedH - clientH, 0);
  if (width >= zoomedW && height >= zoomedH) {
    maxX = 0;
    maxY = 0;
  }
}

int VLScrToBmp(int x, int64_t view, int offset, int zoom) {
  if (zoom <= 0) return 0;
  return RoundInt(100.0L / zoom * (long double)((int64_t)x + view - offset));
}

int VLBmpToScr(int x, int64_t view, int offset, int zoom) {
  return RoundInt((long double)x * (zoom * 0.01L) + (long double)((int64_t)offset - view));
}

int64_t VLIdealExtent(int64_t size, int zoom) { return Trunc((long double)size * 0.01L * zoom) + 1; }

int VLFitZoom(int w, int h, int64_t bw, int64_t bh) {
  if (bw <= 0 || bh <= 0) return 0;
  int64_t zx = Trunc((long double)w / ((long double)bw * 0.01L));
  int64_t zy = Trunc((long double)h / ((long double)bh * 0.01L));
  return (int)std::clamp<int64_t>(std::min(zx, zy), INT32_MIN, INT32_MAX);
}

namespace {
// Click zoom below 100%; above it the steps are 100 wide.
const int kSteps[] = {2, 5, 10, 25, 33, 50, 75, 100};
// An ellipse selection has a vertex for every four pixels of its smaller circle.
constexpr int kPixelsPerVertex = 4;
}  // namespace

int VLZoomStepIn(int zoom) {
  if (zoom >= 100) return zoom > INT32_MAX - 100 ? zoom : zoom + 100;
  for (int s : kSteps)
    if (s > zoom) return s;
  return 100;
}

int VLZoomStepOut(int zoom) {
  if (zoom >= 200) return zoom - 100;
  int r = 2;
  for (int s : kSteps)
    if (s < zoom) r = s;
  return r;
}

void VLSourceSpan(int64_t view, int64_t displayed, int64_t size, int64_t zoomed, bool correctEdge, int64_t& start,
                  int64_t& count) {
  start = 0;
  count = 0;
  if (zoomed <= 0) return;
  start = Round((long double)view * size / zoomed);
  count = Round((long double)displayed * size / zoomed);
  if (correctEdge && start + count > size) --count;
}

TVLMouseInteract VLCombineMouseInteract(TVLMouseInteract current, TVLMouseInteract value) {
  const uint8_t extra = 64 | 128;
  struct Rule {
    uint8_t item, keep;
  };
  // The first new item in this order decides what the set keeps.
  static const Rule rules[] = {
      {miScroll, miZoom | miScroll},    {miSelect, miZoom | miSelect},         {miSelectPolygon, miSelectPolygon},
      {miSelectCircle, miSelectCircle}, {miSelectZoom, miZoom | miSelectZoom},
  };
  for (const Rule& r : rules)
    if ((value & r.item) && !(current & r.item)) return uint8_t(value & (r.keep | extra));
  if ((value & miZoom) && !(current & miZoom)) return uint8_t(value & ~(miSelectPolygon | miSelectCircle));
  return value;
}

int VLResizeBoxByGrip(int grip, int bx, int by, int& left, int& top, int& right, int& bottom) {
  if (grip == gripTopLeft || grip == gripBottomLeft || grip == gripLeft) left = (bx == right) ? bx - 1 : bx;
  if (grip == gripTopRight || grip == gripBottomRight || grip == gripRight) right = (left == bx) ? bx + 1 : bx;
  if (grip == gripTopLeft || grip == gripTopRight || grip == gripTop) top = (by == bottom) ? by - 1 : by;
  if (grip == gripBottomRight || grip == gripBottomLeft || grip == gripBottom) bottom = (top == by) ? by + 1 : by;
  if (right < left) {
    static const int hmirror[kGrips] = {gripTopRight, gripTopLeft, gripBottomLeft, gripBottomRight,
                                        gripRight,    gripLeft,    gripTop,        gripBottom};
    if (grip >= 0 && grip < kGrips) grip = hmirror[grip];
    std::swap(left, right);
  }
  if (bottom < top) {
    static const int vmirror[kGrips] = {gripBottomLeft, gripBottomRight, gripTopRight, gripTopLeft,
                                        gripLeft,       gripRight,       gripBottom,   gripTop};
    if (grip >= 0 && grip < kGrips) grip = vmirror[grip];
    std::swap(top, bottom);
  }
  return grip;
}

std::vector<TPoint> VLEllipseVertices(int cx, int cy, int rx, int ry) {
  std::vector<TPoint> pts;
  const long double pi2 = 2 * std::numbers::pi_v<long double>;
  int64_t n = Trunc((long double)std::min(rx, ry) * pi2);
  if (n < kPixelsPerVertex) return pts;
  int64_t q = n / kPixelsPerVertex;
  pts.reserve(size_t(q));
  for (int64_t m = 0; m < q; ++m) {
    long double a = pi2 / q * m;
    pts.push_back(TPoint{TruncInt(std::cos(a) * rx + cx), TruncInt(std::sin(a) * ry + cy)});
  }
  return pts;
}

int VLGripCursor(int grip) {
  switch (grip) {
    case gripTopLeft:
    case gripBottomRight: return crVLMove2;
    case gripTopRight:
    case gripBottomLeft: return crVLMove1;
    case gripLeft:
    case gripRight: return crVLMoveX;
    case gripTop:
    case gripBottom: return crVLMoveY;
  }
  return -1;
}
