// The resampler's filters, contributor lists, checks and the passes' drivers; the loops that
// filter the pixels are in resample_h.cpp and resample_v.cpp (and resample_avx2.cpp).
#include "vistrel/proc/kernels/resample.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>

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

namespace {

// A kernel's values by argument. The same arguments come back again and again (at a
// whole-number scale every list sees the same ones), and a kernel such as Lanczos3 costs far
// more than a look-up. The kernels are pure, so a remembered value is the value.
class TKernelMemo {
 public:
  explicit TKernelMemo(TVLFilterProc Filter) : FFilter(Filter) {}
  double operator()(double x) {
    uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    const size_t slot = size_t((bits * 0x9E3779B97F4A7C15ull) >> (64 - kBits));
    if (FUsed[slot] && FKeys[slot] == bits) return FValues[slot];
    const double v = FFilter(x);
    FUsed[slot] = true;
    FKeys[slot] = bits;
    FValues[slot] = v;
    return v;
  }

 private:
  static constexpr int kBits = 10;
  TVLFilterProc FFilter;
  std::array<uint64_t, size_t(1) << kBits> FKeys{};
  std::array<double, size_t(1) << kBits> FValues{};
  std::array<bool, size_t(1) << kBits> FUsed{};
};

}  // namespace

void VLBuildContributors(std::vector<TVLContributorList>& Lists, int SourceExtent, int TargetExtent,
                         TResampleFilter Filter, int Room) {
  Lists.clear();
  if (SourceExtent <= 0 || TargetExtent <= 0 || Filter <= rfNone || Filter > rfMitchell) return;
  const TVLFilterEntry& fe = VLFilterTable[Filter];
  auto kernel = std::make_unique<TKernelMemo>(fe.Filter);
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
      if (s >= 1) weight = (*kernel)(double(m - j));
      else weight = double((long double)(*kernel)(double((m - j) * s)) * s);
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

struct TKernels {
  TFilterRows Rows;
  TFilterColumns Columns;
};

// The filter loops for this processor, chosen on first use.
const TKernels& Kernels() {
  static const TKernels k{
      VLPickVariant<TFilterRows>(plain::FilterRows, cfAVX2, VL_X86_ONLY(avx2::FilterRows)),
      VLPickVariant<TFilterColumns>(plain::FilterColumns, cfAVX2, VL_X86_ONLY(avx2::FilterColumns)),
  };
  return k;
}

// Source rows filtered along x, kLanes at a time.
class THorizontal {
 public:
  THorizontal(TBitmap* Source, const TLists& Lists)
      : FSource(Source),
        FLists(Lists),
        FValues(int64_t(Source->Width()) * 3),
        FBuf(size_t(FValues) * kLanes),
        FZeros(size_t(FValues), 0) {}
  // Source rows Y0 .. Y0 + Count - 1 (Count <= kLanes) into Out[0 .. Count - 1].
  void Run(int Y0, int Count, uint8_t* const* Out) {
    const uint8_t* rows[kLanes];
    for (int l = 0; l < kLanes; ++l) rows[l] = l < Count ? FSource->ScanLine(Y0 + l) : FZeros.data();
    Kernels().Rows(rows, Count, FValues, Out, FLists, FBuf.data());
  }

 private:
  TBitmap* FSource;
  const TLists& FLists;
  int64_t FValues;
  std::vector<double> FBuf;
  std::vector<uint8_t> FZeros;
};

// Target rows filtered along y from the rows their lists name.
class TVertical {
 public:
  explicit TVertical(const TLists& Lists) : FLists(Lists) {
    size_t most = 0;
    for (const TVLContributorList& l : Lists) most = std::max(most, l.Entries.size());
    FRows.resize(most);
    FWeights.resize(most);
  }
  // Target row Y (Values bytes) into Out; Row(i) gives intermediate row i.
  template <class RowOf>
  void Run(int Y, int64_t Values, uint8_t* Out, RowOf Row) {
    const auto& entries = FLists[size_t(Y)].Entries;
    for (size_t e = 0; e < entries.size(); ++e) {
      FRows[e] = Row(entries[e].Pixel);
      FWeights[e] = entries[e].Weight;
    }
    Kernels().Columns(FRows.data(), FWeights.data(), int(entries.size()), Values, Out);
  }

 private:
  const TLists& FLists;
  std::vector<const uint8_t*> FRows;
  std::vector<double> FWeights;
};

// Column progress follows the target rows made: after target row y, the columns up to
// (y + 1) x dw / dh count as done, so the column reports come in their order over the pass.
class TColumnProgress {
 public:
  TColumnProgress(TProgressState& Progress, int64_t RowsBefore, int64_t Columns, int64_t TargetRows)
      : FProgress(Progress), FBefore(RowsBefore), FColumns(Columns), FRows(TargetRows) {}
  void RowDone(int64_t y) {
    const int64_t upTo = (y + 1) * FColumns / FRows;
    for (; FDone < upTo; ++FDone) FProgress.Report(FBefore + FDone + 1);
  }

 private:
  TProgressState& FProgress;
  int64_t FBefore, FColumns, FRows, FDone = 0;
};

// The horizontal pass alone: every source row into Temp (dw x sh).
void HorizontalPass(TBitmap* Source, TBitmap* Temp, const TLists& Lists, TProgressState& Progress) {
  THorizontal h(Source, Lists);
  const int sh = Source->Height();
  for (int y0 = 0; y0 < sh; y0 += kLanes) {
    const int count = std::min(kLanes, sh - y0);
    uint8_t* out[kLanes];
    for (int l = 0; l < count; ++l) out[l] = Temp->ScanLine(y0 + l);
    h.Run(y0, count, out);
    for (int l = 0; l < count; ++l) Progress.Report(y0 + l + 1);
  }
}

// The vertical pass alone: every target row from Temp.
void VerticalPass(TBitmap* Temp, TBitmap* Dest, const TLists& Lists, TProgressState& Progress, int RowsBefore) {
  TVertical v(Lists);
  const int dw = Dest->Width(), dh = Dest->Height();
  TColumnProgress columns(Progress, RowsBefore, dw, dh);
  for (int y = 0; y < dh; ++y) {
    v.Run(y, int64_t(dw) * 3, Dest->ScanLine(y), [Temp](int i) { return Temp->ScanLine(i); });
    columns.RowDone(y);
  }
}

// Both passes at once: intermediate rows are made kLanes at a time into a ring just deep
// enough for the target row being made, so they are still in cache when the vertical
// filter reads them and the intermediate picture is never held whole. The bytes are those
// of the two passes one after the other; the reports come in the same order, the columns'
// once every source row is done.
void BothPasses(TBitmap* Source, TBitmap* Dest, const TLists& Cols, const TLists& Rows, TProgressState& Progress) {
  const int sh = Source->Height(), dw = Dest->Width(), dh = Dest->Height();
  // The rows each target row needs, and the ring depth that keeps them.
  std::vector<int> lo(static_cast<size_t>(dh)), hi(static_cast<size_t>(dh));
  int64_t depth = 1;
  int64_t made = 0;
  for (int y = 0; y < dh; ++y) {
    int a = sh, b = -1;
    for (const TVLContributor& e : Rows[size_t(y)].Entries) {
      a = std::min(a, e.Pixel);
      b = std::max(b, e.Pixel);
    }
    lo[size_t(y)] = a;
    hi[size_t(y)] = b;
    while (made <= b) made = std::min<int64_t>(sh, made + kLanes);
    if (b >= 0) depth = std::max(depth, made - a);
  }
  depth = std::min<int64_t>(depth, sh);
  const int64_t values = int64_t(dw) * 3;
  const int64_t stride = (values + 63) / 64 * 64;
  // At most the intermediate picture, which the bitmap limit bounds as it bounds any picture.
  if (stride > TBitmap::MaxBytes() / depth) throw EOutOfResources(SOutOfResources);
  std::vector<uint8_t> ring(size_t(depth * stride));
  auto slot = [&](int64_t i) { return ring.data() + (i % depth) * stride; };

  THorizontal h(Source, Cols);
  TVertical v(Rows);
  TColumnProgress columns(Progress, sh, dw, dh);
  made = 0;
  for (int y = 0; y < dh; ++y) {
    while (made <= hi[size_t(y)]) {
      const int count = int(std::min<int64_t>(kLanes, sh - made));
      uint8_t* out[kLanes];
      for (int l = 0; l < count; ++l) out[l] = slot(made + l);
      h.Run(int(made), count, out);
      for (int l = 0; l < count; ++l) Progress.Report(made + l + 1);
      made += count;
    }
    v.Run(y, values, Dest->ScanLine(y), [&](int i) { return const_cast<const uint8_t*>(slot(i)); });
    if (made == sh) columns.RowDone(y);
  }
  // Source rows no target row needed.
  for (; made < sh; ++made) Progress.Report(made + 1);
  columns.RowDone(dh - 1);
}

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
  if (!ValidCall(Source, Dest, Filter)) return;
  const int sw = Source->Width(), sh = Source->Height();
  const int dw = Dest->Width(), dh = Dest->Height();
  TProgressState progress{OnProgress, Sender, int64_t(sh) + dw};
  const int room = Zoom ? 13 : 0;
  const bool filterX = !Zoom || dw >= sw, filterY = !Zoom || dh >= sh;
  std::vector<TVLContributorList> cols, rows;
  if (filterX) VLBuildContributors(cols, sw, dw, Filter, room);
  if (filterY) VLBuildContributors(rows, sh, dh, Filter, room);
  // A picture resampled onto itself keeps every source row until the end.
  if (filterX && filterY && Source != Dest) {
    BothPasses(Source, Dest, cols, rows, progress);
    return;
  }
  TBitmap temp;
  temp.Allocate(dw, sh, pf24bit);
  if (filterX) HorizontalPass(Source, &temp, cols, progress);
  else VLStretchHalftone(Source, &temp);
  if (filterY) VerticalPass(&temp, Dest, rows, progress, sh);
  else VLStretchHalftone(&temp, Dest);
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
