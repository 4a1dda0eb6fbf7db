// The resampler's filters, contributor lists, checks and setup; the passes that touch the
// pixels are in resample_h.cpp and resample_v.cpp.
#include "vistrel/proc/kernels/resample.h"

#include <algorithm>
#include <cmath>

#include "vistrel/proc/kernels/geometry.h"
#include "vistrel/proc/kernels/resample_p.h"

// Kernels. Arguments are taken by their absolute value.

double VLSinc(double Value) {
  if (Value == 0) return 1;
  long double t = (long double)Value * 3.14159265358979323846264338327950288L;
  return double(std::sin(t) / t);
}

double VLTriangleFilter(double Value) {
  long double x = std::fabs((long double)Value);
  if (x < 1) return double(1 - x);
  return 0;
}

double VLHermiteFilter(double Value) {
  long double x = std::fabs((long double)Value);
  if (x < 1) return double((2 * x - 3) * x * x + 1);
  return 0;
}

double VLBellFilter(double Value) {
  long double x = std::fabs((long double)Value);
  if (x < 0.5L) return double(0.75L - x * x);
  if (x < 1.5L) return double(0.5L * (x - 1.5L) * (x - 1.5L));
  return 0;
}

double VLBSplineFilter(double Value) {
  long double x = std::fabs((long double)Value);
  if (x < 1) {
    long double tt = x * x;
    return double(0.5L * tt * x - tt + 2.0L / 3.0L);
  }
  if (x < 2) {
    long double t = 2 - x;
    return double(t * t * t / 6.0L);
  }
  return 0;
}

double VLLanczos3Filter(double Value) {
  double x = std::fabs(Value);
  if (x < 3) return double((long double)VLSinc(x) * (long double)VLSinc(x / 3));
  return 0;
}

double VLMitchellFilter(double Value) {
  // B = C = 1/3.
  long double x = std::fabs((long double)Value);
  long double tt = x * x;
  if (x < 1) return double((7 * (tt * x) - 12 * tt + 16.0L / 3.0L) / 6.0L);
  if (x < 2) return double((-7.0L / 3.0L * (tt * x) + 12 * tt - 20 * x + 32.0L / 3.0L) / 6.0L);
  return 0;
}

const TVLFilterEntry VLFilterTable[7] = {
    {nullptr, 0.0},         {VLTriangleFilter, 1.0}, {VLHermiteFilter, 1.0},  {VLBellFilter, 1.5},
    {VLBSplineFilter, 2.0}, {VLLanczos3Filter, 3.0}, {VLMitchellFilter, 2.0},
};

static int FloorReal(long double x) { return int(std::floor(x)); }
static int CeilReal(long double x) { return int(std::ceil(x)); }

void VLBuildContributors(std::vector<TVLContributorList>& Lists, int SourceExtent, int TargetExtent,
                         TResampleFilter Filter, int Room) {
  Lists.clear();
  if (SourceExtent <= 0 || TargetExtent <= 0 || Filter <= rfNone || Filter > rfMitchell) return;
  const TVLFilterEntry& fe = VLFilterTable[Filter];
  const int n = SourceExtent;
  const long double s = (long double)TargetExtent / (long double)n;
  const long double w = s >= 1 ? (long double)fe.Support : fe.Support / s;
  const size_t room = Room > 0 ? size_t(Room) : size_t(Trunc(2 * w + 1));
  Lists.resize(size_t(TargetExtent));
  for (int i = 0; i < TargetExtent; ++i) {
    TVLContributorList& list = Lists[size_t(i)];
    list.Entries.reserve(room);
    const long double m = i / s;
    const int left = FloorReal(m - w);
    const int right = CeilReal(m + w);
    for (int j = left; j <= right; ++j) {
      double weight;
      if (s >= 1) weight = fe.Filter(double(m - j));
      else weight = double((long double)fe.Filter(double((m - j) * s)) * s);
      if (weight == 0) continue;
      int k = j < 0 ? -j : j >= n ? 2 * n - 1 - j : j;
      // A small source under a wide kernel can still fall outside after the mirror.
      k = std::clamp(k, 0, n - 1);
      list.Entries.push_back({k, weight});
    }
  }
}

namespace {

using namespace vlresample;

bool ValidCall(TBitmap* Source, TBitmap* Dest, TResampleFilter Filter) {
  if (!Source || !Dest || Source->PixelFormat() != pf24bit) return false;
  if (Filter <= rfNone || Filter > rfMitchell) return false;
  Dest->SetPixelFormat(pf24bit);
  return !Source->Empty() && !Dest->Empty();
}

// Horizontal pass into a dw x sh picture, then the vertical pass. Zoom shrinks by a halftone
// stretch instead of a filter pass and gives each contributor list a room of 13.
void Resample(TBitmap* Source, TBitmap* Dest, TResampleFilter Filter, TObject* Sender, const TProgressEvent& OnProgress,
              bool Zoom) {
  // The passes for this processor, chosen on first use.
  static const THorizontalPass horizontal =
      VLPickVariant<THorizontalPass>(plain::HorizontalPass, cfAVX2, VL_X86_ONLY(avx2::HorizontalPass));
  static const TVerticalPass vertical =
      VLPickVariant<TVerticalPass>(plain::VerticalPass, cfAVX2, VL_X86_ONLY(avx2::VerticalPass));
  if (!ValidCall(Source, Dest, Filter)) return;
  const int sw = Source->Width(), sh = Source->Height();
  const int dw = Dest->Width(), dh = Dest->Height();
  TProgressState progress{OnProgress, Sender, int64_t(sh) + dw};
  TBitmap temp;
  temp.SetPixelFormat(pf24bit);
  temp.SetSize(dw, sh);
  std::vector<TVLContributorList> lists;
  const int room = Zoom ? 13 : 0;
  if (!Zoom || dw >= sw) {
    VLBuildContributors(lists, sw, dw, Filter, room);
    horizontal(Source, &temp, lists, progress);
  } else {
    VLStretchHalftone(Source, &temp);
  }
  if (!Zoom || dh >= temp.Height()) {
    VLBuildContributors(lists, sh, dh, Filter, room);
    vertical(&temp, Dest, lists, progress, sh);
  } else {
    VLStretchHalftone(&temp, Dest);
  }
}

}  // namespace

void VLResampleBitmap(TBitmap* Source, TBitmap* Dest, TResampleFilter Filter, TObject* Sender,
                      const TProgressEvent& OnProgress) {
  Resample(Source, Dest, Filter, Sender, OnProgress, false);
}

void VLResampleZoom(TBitmap* Source, TBitmap* Dest, TResampleFilter Filter, TObject* Sender,
                    const TProgressEvent& OnProgress) {
  Resample(Source, Dest, Filter, Sender, OnProgress, true);
}
