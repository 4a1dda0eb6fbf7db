// Painting of the multi-image view: each cell's picture stretched straight from its packed DIB
// (or from the bitmap of the selected item), the cell's background around it, the selection
// frame, and last the view's background through what the cells left unclipped.
#include <algorithm>
#include <vector>

#include "vistrel/io/vistrelmview.h"
#include "vistrel/proc/kernels/packeddib.h"
#include "vistrel/proc/kernels/pixels.h"
#include "vistrel/view/vistrelview_blit.h"

namespace {

constexpr int64_t kInfoHeaderSize = 40;

uint32_t U32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The packed DIBs the view makes: 40-byte header, 24 bits, or 1 bit with a two-entry table,
// rows bottom row first.
struct TDibView {
  int64_t Width = 0, Height = 0;
  int Bits = 0;
  int64_t RowLength = 0;
  const uint8_t* Rows = nullptr;

  bool Read(const std::vector<uint8_t>& dib) {
    if (int64_t(dib.size()) < kInfoHeaderSize) return false;
    const uint8_t* p = dib.data();
    Width = int32_t(U32(p + 4));
    Height = int32_t(U32(p + 8));
    Bits = p[14] | p[15] << 8;
    if (Width <= 0 || Height <= 0 || (Bits != 24 && Bits != 1)) return false;
    const int64_t offset = kInfoHeaderSize + (Bits == 1 ? 8 : 0);
    RowLength = VLRowLength(Width, Bits);
    if ((int64_t(dib.size()) - offset) / RowLength < Height) return false;
    Rows = p + offset;
    return true;
  }
  // Picture row y, top row 0.
  const uint8_t* Row(int64_t y) const { return Rows + (Height - 1 - y) * RowLength; }
};

void Notify(TCanvas* c) {
  if (c->OnChange) c->OnChange(c);
}

// Nearest-pixel stretch of the whole DIB to (dx, dy, dw, dh) of a 24-bit surface, through the
// canvas's clip region; the source pixel under the centre of each target pixel.
void StretchDib(TCanvas* canvas, const TDibView& d, int dx, int dy, int dw, int dh) {
  TBitmap* surface = canvas->Bitmap();
  const TClipRegion* clip = canvas->HasClipRegion() ? &canvas->ClipRegion() : nullptr;
  const int64_t x0 = std::max<int64_t>(dx, 0), x1 = std::min<int64_t>(int64_t(dx) + dw, surface->Width());
  const int64_t y0 = std::max<int64_t>(dy, 0), y1 = std::min<int64_t>(int64_t(dy) + dh, surface->Height());
  if (x0 >= x1 || y0 >= y1) return;
  std::vector<int64_t> cols(size_t(x1 - x0));
  for (int64_t x = x0; x < x1; ++x) {
    const int64_t s = std::min(((2 * (x - dx) + 1) * d.Width) / (2 * int64_t(dw)), d.Width - 1);
    cols[size_t(x - x0)] = d.Bits == 24 ? s * 3 : s;
  }
  for (int64_t y = y0; y < y1; ++y) {
    const std::vector<std::pair<int, int>>* runs = nullptr;
    if (clip) {
      runs = clip->Row(int(y));
      if (!runs || runs->empty()) continue;
    }
    const int64_t sr = std::min(((2 * (y - dy) + 1) * d.Height) / (2 * int64_t(dh)), d.Height - 1);
    const uint8_t* in = d.Row(sr);
    uint8_t* rowOut = surface->ScanLine(int(y));
    auto put = [&](int64_t a, int64_t b) {
      uint8_t* o = rowOut + a * 3;
      if (d.Bits == 24) {
        for (int64_t x = a; x < b; ++x, o += 3) {
          const uint8_t* s = in + cols[size_t(x - x0)];
          o[0] = s[0];
          o[1] = s[1];
          o[2] = s[2];
        }
      } else {
        for (int64_t x = a; x < b; ++x, o += 3) {
          const int64_t c = cols[size_t(x - x0)];
          o[0] = o[1] = o[2] = (in[c >> 3] & (0x80 >> (c & 7))) ? 255 : 0;
        }
      }
    };
    if (runs) {
      for (const auto& r : *runs) {
        const int64_t a = std::max<int64_t>(r.first, x0), b = std::min<int64_t>(r.second, x1);
        if (a < b) put(a, b);
      }
    } else {
      put(x0, x1);
    }
  }
}

void FillBand(TCanvas* canvas, int x1, int y1, int x2, int y2) {
  if (x1 < x2 && y1 < y2) canvas->FillRect(Rect(x1, y1, x2, y2));
}

}  // namespace

void TVistrelMView::DrawPicture(TCanvas* Canvas, TItem& Item, int X, int Y, int W, int H) {
  if (W <= 0 || H <= 0) return;
  TBitmap* surface = Canvas->Bitmap();
  const bool direct = surface && surface->PixelFormat() == pf24bit;
  if (Item.Bitmap) {
    const TClipRegion* clip = Canvas->HasClipRegion() ? &Canvas->ClipRegion() : nullptr;
    if (direct && VLStretchBlit(Item.Bitmap.get(), 0, 0, Item.Bitmap->Width(), Item.Bitmap->Height(), surface, X, Y, W,
                                H, clip)) {
      Notify(Canvas);
      return;
    }
    Canvas->StretchDraw(Rect(X, Y, X + W, Y + H), Item.Bitmap.get());
    return;
  }
  TDibView d;
  if (!d.Read(Item.DIB)) return;
  if (direct) {
    StretchDib(Canvas, d, X, Y, W, H);
    Notify(Canvas);
    return;
  }
  TBitmap tmp;
  if (VLPackedDIBToBitmap(Item.DIB.data(), &tmp, nullptr, true, int64_t(Item.DIB.size())) != 0)
    Canvas->StretchDraw(Rect(X, Y, X + W, Y + H), &tmp);
}

void TVistrelMView::Paint() { PaintTo(Canvas()); }

void TVistrelMView::PaintTo(TCanvas* Canvas) {
  if (!Canvas) return;
  const int count = ImageCount();
  const bool single = FDisplayMode == mdSingle;
  const int items = single ? (count > 0 ? 1 : 0) : count;
  const int start = single ? std::max(ShownItem(), 0) : 0;
  const bool progress = bool(OnDrawProgress) && items > 1;
  const int64_t W = Width(), H = Height();
  const int64_t TW = FThumbWidth, TH = FThumbHeight;
  const int frame = Focused() ? FSelectionWidth : 1;
  TBrush* brush = Canvas->Brush();
  TPen* pen = Canvas->Pen();

  for (int n = 0; n < items; ++n) {
    if (FItems.empty()) break;  // a handler emptied the view
    const int i = (start + n) % ImageCount();
    if (progress) OnDrawProgress(this, TruncInt((long double)n / items * 100), i);
    if (!Valid(i)) continue;
    TItem* it = FItems[size_t(i)].get();
    const int64_t l = it->X - FViewX, t = it->Y - FViewY;
    const bool meets = l <= W - 1 && l + TW - 1 >= 0 && t <= H - 1 && t + TH - 1 >= 0;
    if (!meets) {
      // Pictures that can be read again leave memory while they are out of sight.
      if (i != FSelected && !it->DIB.empty() && (it->ImageID != -1 || !it->FileName.empty()) && it->LockCount == 0)
        std::vector<uint8_t>().swap(it->DIB);
      continue;
    }
    // A cell that meets the control lies within a thumbnail of it, so these fit an int.
    const int L = int(l), T = int(t), R = int(l + TW), B = int(t + TH);
    if (it->DIB.empty() && !it->Bitmap) {
      LoadOnDemand(i);
      if (!Valid(i) || FItems[size_t(i)].get() != it) continue;
    }
    int64_t pw = 0, ph = 0;
    TDibView d;
    if (it->Bitmap && !it->Bitmap->Empty()) {
      pw = it->Bitmap->Width();
      ph = it->Bitmap->Height();
    } else if (d.Read(it->DIB)) {
      pw = d.Width;
      ph = d.Height;
    }
    brush->SetStyle(bsSolid);
    brush->SetColor(it->Background);
    if (pw > 0 && ph > 0) {
      // Fitted into the area between the gaps with its aspect kept: small pictures grow.
      const int64_t AH = TH - FBottomGap - FUpperGap;
      const long double scale = std::min<long double>((long double)AH / ph, (long double)TW / pw);
      const int w = std::max(0, TruncInt(pw * scale)), h = std::max(0, TruncInt(ph * scale));
      const int x = int(L + (TW - w) / 2), y = int(T + FUpperGap + (AH - h) / 2);
      DrawPicture(Canvas, *it, x, y, w, h);
      brush->SetStyle(bsSolid);
      brush->SetColor(it->Background);
      FillBand(Canvas, L, T, x, B);
      FillBand(Canvas, x + w, T, R, B);
      FillBand(Canvas, x, T, x + w, y);
      FillBand(Canvas, x, y + h, x + w, B);
    } else {
      FillBand(Canvas, L, T, R, B);
    }
    if (OnImageDraw) OnImageDraw(this, i, L, T, Canvas);
    if (i == FSelected && FVisibleSelection) {
      pen->SetColor(FSelectionColor);
      pen->SetWidth(1);
      pen->SetStyle(psSolid);
      pen->SetMode(pmCopy);
      brush->SetStyle(bsClear);
      for (int k = 1; k <= frame; ++k) Canvas->Rectangle(L - k, T - k, R + k, B + k);
      const int g = std::max(frame, 0);
      Canvas->ExcludeClipRect(L - g, T - g, R + g, B + g);
    } else {
      Canvas->ExcludeClipRect(L, T, R, B);
    }
  }
  brush->SetStyle(bsSolid);
  brush->SetColor(Background());
  Canvas->FillRect(Rect(0, 0, ClientWidth(), ClientHeight()));
  Canvas->ResetClipRegion();
  if (progress) OnDrawProgress(this, 100, 0);
}
