#include "vistrel/proc/kernels/resample.h"

#include "vistrel/proc/kernels/geometry.h"

#include <algorithm>
#include <cmath>
#include <cstring>

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
    {nullptr, 0.0},
    {VLTriangleFilter, 1.0},
    {VLHermiteFilter, 1.0},
    {VLBellFilter, 1.5},
    {VLBSplineFilter, 2.0},
    {VLLanczos3Filter, 3.0},
    {VLMitchellFilter, 2.0},
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
      if (s >= 1)
        weight = fe.Filter(double(m - j));
      else
        weight = double((long double)fe.Filter(double((m - j) * s)) * s);
      if (weight == 0) continue;
      int k = j < 0 ? -j : j >= n ? 2 * n - 1 - j : j;
      // A small source under a wide kernel can still fall outside after the mirror.
      k = std::clamp(k, 0, n - 1);
      list.Entries.push_back({k, weight});
    }
  }
}

static inline Byte StoreSum(double sum) {
  if (sum > 255) return 255;
  if (sum < 0) return 0;
  // Adding and taking away 1.5 x 2^52 rounds to an integer, halves to even.
  constexpr double magic = 6755399441055744.0;
  return Byte(int((sum + magic) - magic));
}

namespace {

constexpr int kLanes = 8;       // source rows filtered together in the horizontal pass
constexpr int kStripPixels = 8; // target columns filtered together in the vertical pass

// Rows of the horizontal pass, then columns of the vertical pass.
struct TProgressState {
  const TProgressEvent& OnProgress;
  TObject* Sender;
  int64_t Total;
  void Report(int64_t done) { VLRowProgress(OnProgress, Sender, done, Total); }
};

#if defined(__x86_64__) && defined(__GNUC__)
#define VL_HOT_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define VL_HOT_CLONES
#endif

// Horizontal pass: every row of Source through the column lists into Temp.
VL_HOT_CLONES void HorizontalPass(TBitmap* Source, TBitmap* Temp, const std::vector<TVLContributorList>& lists,
                    TProgressState& progress) {
  const int sw = Source->Width(), sh = Source->Height(), tw = Temp->Width();
  const size_t rowValues = size_t(sw) * 3;
  std::vector<double> buf(rowValues * kLanes);
  const std::vector<uint8_t> zeros(rowValues, 0);
  for (int y0 = 0; y0 < sh; y0 += kLanes) {
    const int rows = std::min(kLanes, sh - y0);
    // Interleave the rows: value k of lane l at k * kLanes + l.
    const uint8_t* srcRows[kLanes];
    for (int l = 0; l < kLanes; ++l) srcRows[l] = l < rows ? Source->ScanLine(y0 + l) : zeros.data();
    for (size_t k = 0; k < rowValues; ++k) {
      double* b = &buf[k * kLanes];
      for (int l = 0; l < kLanes; ++l) b[l] = srcRows[l][k];
    }
    uint8_t* dst[kLanes];
    for (int l = 0; l < kLanes; ++l) dst[l] = l < rows ? Temp->ScanLine(y0 + l) : nullptr;
    for (int x = 0; x < tw; ++x) {
      double acc[3 * kLanes] = {};
      for (const TVLContributor& e : lists[size_t(x)].Entries) {
        const double wgt = e.Weight;
        const double* p = &buf[size_t(e.Pixel) * 3 * kLanes];
        for (int k = 0; k < 3 * kLanes; ++k) acc[k] += wgt * p[k];
      }
      for (int l = 0; l < rows; ++l) {
        uint8_t* d = dst[l] + size_t(x) * 3;
        d[0] = StoreSum(acc[0 * kLanes + l]);
        d[1] = StoreSum(acc[1 * kLanes + l]);
        d[2] = StoreSum(acc[2 * kLanes + l]);
      }
    }
    for (int l = 0; l < rows; ++l) progress.Report(y0 + l + 1);
  }
}

// Vertical pass: every column of Temp through the row lists into Dest, in strips of columns.
VL_HOT_CLONES void VerticalPass(TBitmap* Temp, TBitmap* Dest, const std::vector<TVLContributorList>& lists,
                  TProgressState& progress, int rowsBefore) {
  const int th = Temp->Height(), dw = Dest->Width(), dh = Dest->Height();
  constexpr int kValues = kStripPixels * 3;
  std::vector<double> col(size_t(th) * kValues);
  for (int x0 = 0; x0 < dw; x0 += kStripPixels) {
    const int px = std::min(kStripPixels, dw - x0);
    const int values = px * 3;
    for (int y = 0; y < th; ++y) {
      const uint8_t* src = Temp->ScanLine(y) + size_t(x0) * 3;
      double* c = &col[size_t(y) * kValues];
      for (int k = 0; k < values; ++k) c[k] = src[k];
      for (int k = values; k < kValues; ++k) c[k] = 0;
    }
    for (int y = 0; y < dh; ++y) {
      double acc[kValues] = {};
      for (const TVLContributor& e : lists[size_t(y)].Entries) {
        const double wgt = e.Weight;
        const double* p = &col[size_t(e.Pixel) * kValues];
        for (int k = 0; k < kValues; ++k) acc[k] += wgt * p[k];
      }
      uint8_t* d = Dest->ScanLine(y) + size_t(x0) * 3;
      for (int k = 0; k < values; ++k) d[k] = StoreSum(acc[k]);
    }
    for (int k = 0; k < px; ++k) progress.Report(int64_t(rowsBefore) + x0 + k + 1);
  }
}

bool ValidCall(TBitmap* Source, TBitmap* Dest, TResampleFilter Filter) {
  if (!Source || !Dest || Source->PixelFormat() != pf24bit) return false;
  if (Filter <= rfNone || Filter > rfMitchell) return false;
  Dest->SetPixelFormat(pf24bit);
  return !Source->Empty() && !Dest->Empty();
}

// Horizontal pass into a dw x sh picture, then the vertical pass. Zoom shrinks by a halftone
// stretch instead of a filter pass and gives each contributor list a room of 13.
void Resample(TBitmap* Source, TBitmap* Dest, TResampleFilter Filter, TObject* Sender,
              const TProgressEvent& OnProgress, bool Zoom) {
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
    HorizontalPass(Source, &temp, lists, progress);
  } else {
    VLStretchHalftone(Source, &temp);
  }
  if (!Zoom || dh >= temp.Height()) {
    VLBuildContributors(lists, sh, dh, Filter, room);
    VerticalPass(&temp, Dest, lists, progress, sh);
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
