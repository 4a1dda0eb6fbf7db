// Filtered scaling of 24-bit bitmaps: the filter table and the two resamplers.
// No Qt here.
#pragma once
#include <cstdint>
#include <vector>

#include "platform/core/core.h"
#include "vistrel/base/progress.h"

enum TResampleFilter : uint8_t { rfNone, rfTriangle, rfHermite, rfBell, rfBSpline, rfLanczos3, rfMitchell };

// A kernel: real to real.
using TVLFilterProc = double (*)(double);

struct TVLFilterEntry {
  TVLFilterProc Filter;  // nullptr for rfNone
  double Support;        // half width in source pixels at scale 1
};

// Indexed by TResampleFilter.
extern const TVLFilterEntry VLFilterTable[7];

double VLSinc(double Value);
double VLTriangleFilter(double Value);
double VLHermiteFilter(double Value);
double VLBellFilter(double Value);
double VLBSplineFilter(double Value);
double VLLanczos3Filter(double Value);
double VLMitchellFilter(double Value);

// One source index and its weight.
struct TVLContributor {
  int32_t Pixel;
  double Weight;
};

// The contributors of one target column (or row).
struct TVLContributorList {
  std::vector<TVLContributor> Entries;
  int Count() const { return int(Entries.size()); }
};

// Contributor lists of every target index for a source extent and a target extent.
// Room is the capacity each list reserves (0: trunc(2w + 1)).
void VLBuildContributors(std::vector<TVLContributorList>& Lists, int SourceExtent, int TargetExtent,
                         TResampleFilter Filter, int Room = 0);

// Dest must already have the target size. Does nothing unless Source is pf24bit (or Filter
// is rfNone). Source and Dest end as pf24bit.
void VLResampleBitmap(TBitmap* Source, TBitmap* Dest, TResampleFilter Filter, TObject* Sender,
                      const TProgressEvent& OnProgress);
// The view's zoom: filters only when enlarging an axis; a shrinking axis is stretched by
// area averaging (halftone) and reports no progress.
void VLResampleZoom(TBitmap* Source, TBitmap* Dest, TResampleFilter Filter, TObject* Sender,
                    const TProgressEvent& OnProgress);
