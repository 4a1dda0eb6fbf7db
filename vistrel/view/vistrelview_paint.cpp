// Painting of the single-image view: background patterns, the plain and the filtered zoom,
// the back buffer.
#include <algorithm>
#include <cstring>

#include "vistrel/view/vistrelview.h"
#include "vistrel/view/vistrelview_blit.h"

namespace {
// Side of a chessboard background's squares.
constexpr int kChessSquare = 16;

// The inclusive source rectangle as a new 24-bit picture; 1-bit pixels become black or white.
void CopyRectTo24(const TBitmap* src, int64_t sx, int64_t sy, int64_t sw, int64_t sh, TBitmap& dst) {
  sx = std::clamp<int64_t>(sx, 0, src->Width() - 1);
  sy = std::clamp<int64_t>(sy, 0, src->Height() - 1);
  sw = std::clamp<int64_t>(sw, 1, src->Width() - sx);
  sh = std::clamp<int64_t>(sh, 1, src->Height() - sy);
  dst.SetPixelFormat(pf24bit);
  dst.SetSize(int(sw), int(sh));
  const int bits = src->BitsPerPixel();
  for (int64_t y = 0; y < sh; ++y) {
    const uint8_t* in = src->Bits() + (sy + y) * src->RowBytes();
    uint8_t* out = dst.Bits() + y * dst.RowBytes();
    if (bits == 24) {
      std::memcpy(out, in + sx * 3, size_t(sw * 3));
    } else if (bits == 32) {
      for (int64_t x = 0; x < sw; ++x) std::memcpy(out + 3 * x, in + 4 * (sx + x), 3);
    } else if (bits == 1) {
      for (int64_t x = 0; x < sw; ++x) {
        int64_t b = sx + x;
        uint8_t v = (in[b >> 3] & (0x80 >> (b & 7))) ? 255 : 0;
        out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = v;
      }
    }
  }
}

void Notify(TCanvas* c) {
  if (c->OnChange) c->OnChange(c);
}

// Nearest-pixel stretch onto any canvas: on the rows when the surface is 24-bit.
void StretchTo(TCanvas* canvas, TBitmap* src, int64_t sx, int64_t sy, int64_t sw, int64_t sh, int dx, int dy, int dw,
               int dh) {
  if (dw <= 0 || dh <= 0 || src->Empty()) return;
  TBitmap* surface = canvas->Bitmap();
  if (surface && VLStretchBlit(src, sx, sy, sw, sh, surface, dx, dy, dw, dh,
                               canvas->HasClipRegion() ? &canvas->ClipRegion() : nullptr)) {
    Notify(canvas);
    return;
  }
  TBitmap tmp;
  CopyRectTo24(src, sx, sy, sw, sh, tmp);
  canvas->StretchDraw(Rect(dx, dy, dx + dw, dy + dh), &tmp);
}

// The part of src resampled to dw x dh with filter, drawn at dx, dy.
void ZoomTo(TCanvas* canvas, TBitmap* src, int64_t sx, int64_t sy, int64_t sw, int64_t sh, int dx, int dy, int dw,
            int dh, TResampleFilter filter, TObject* sender) {
  TBitmap part, zoomed;
  CopyRectTo24(src, sx, sy, sw, sh, part);
  zoomed.SetPixelFormat(pf24bit);
  zoomed.SetSize(dw, dh);
  VLResampleZoom(&part, &zoomed, filter, sender, nullptr);
  StretchTo(canvas, &zoomed, 0, 0, dw, dh, dx, dy, dw, dh);
}
}  // namespace

void TVistrelView::Paint() {
  const bool designing = (ComponentState() & csDesigning) != 0;
  if (designing) {
    PaintTo(Canvas());
    return;
  }
  if (FUpdateLock > 0) return;
  if (FDoubleBuffer && FBackBuffer) {
    int cw = ClientWidth(), ch = ClientHeight();
    if (FBackBuffer->Width() != cw || FBackBuffer->Height() != ch) {
      FBackBuffer->SetPixelFormat(pf24bit);
      FBackBuffer->SetSize(cw, ch);
      FBackDirty = true;
    }
    if (FBackDirty) {
      PaintTo(FBackBuffer->Canvas());
      FBackDirty = false;
    }
    if (!FBackBuffer->Empty()) StretchTo(Canvas(), FBackBuffer, 0, 0, cw, ch, 0, 0, cw, ch);
  } else {
    PaintTo(Canvas());
  }
  if (FPolyInProgress) DrawPolyRubberLine();
}

void TVistrelView::PaintTo(TCanvas* Canvas) {
  if (!Canvas) return;
  if (ComponentState() & csDesigning) {
    PaintBackground(Canvas);
    return;
  }
  const int cw = ClientWidth(), ch = ClientHeight();
  if (((FDisplayedWidth < cw || FDisplayedHeight < ch) && !FCenter) || FBitmap->Empty()) {
    Canvas->ExcludeClipRect(0, 0, FDisplayedWidth, FDisplayedHeight);
    PaintBackground(Canvas);
    Canvas->ResetClipRegion();
  }
  if (FBitmap->Height() == 0 || FBitmap->Width() == 0) return;
  int64_t sx, sw, sy, sh;
  VLSourceSpan(FViewX, FDisplayedWidth, FBitmap->Width(), FZoomedWidth, true, sx, sw);
  VLSourceSpan(FViewY, FDisplayedHeight, FBitmap->Height(), FZoomedHeight, true, sy, sh);
  if (FCenter) {
    Canvas->ExcludeClipRect(FOffsetX, FOffsetY, FOffsetX + FDisplayedWidth, FOffsetY + FDisplayedHeight);
    PaintBackground(Canvas);
    Canvas->ResetClipRegion();
  }
  if (FDisplayedWidth <= 0 || FDisplayedHeight <= 0) return;
  const bool plain = FZoomFilter == rfNone || FDelayedRefresh >= 1 || FZoom <= 100;
  if (plain) {
    StretchTo(Canvas, FBitmap, sx, sy, sw, sh, FOffsetX, FOffsetY, FDisplayedWidth, FDisplayedHeight);
    return;
  }
  ZoomTo(Canvas, FBitmap, sx, sy, sw, sh, FOffsetX, FOffsetY, FDisplayedWidth, FDisplayedHeight, FZoomFilter, this);
}

void TVistrelView::DrawImageTo(TCanvas* Canvas) {
  if (!Canvas || FBitmap->Height() == 0 || FBitmap->Width() == 0) return;
  int64_t sx = 0, sw = 0, sy = 0, sh = 0;
  if (FZoomedWidth > 0) {
    long double r = (long double)FBitmap->Width() / FZoomedWidth;
    sx = Round(r * FViewX);
    sw = Round(r * FDisplayedWidth);
  }
  if (FZoomedHeight > 0) {
    long double r = (long double)FBitmap->Height() / FZoomedHeight;
    sy = Round(r * FViewY);
    sh = Round(r * FDisplayedHeight);
  }
  if (FDisplayedWidth <= 0 || FDisplayedHeight <= 0) return;
  if (FZoomFilter == rfNone || FZoom == 100) {
    StretchTo(Canvas, FBitmap, sx, sy, sw, sh, 0, 0, FDisplayedWidth, FDisplayedHeight);
    return;
  }
  ZoomTo(Canvas, FBitmap, sx, sy, sw, sh, 0, 0, FDisplayedWidth, FDisplayedHeight, FZoomFilter, this);
}

void TVistrelView::PaintBackground(TCanvas* Canvas) {
  const int cw = ClientWidth(), ch = ClientHeight();
  const TRect all = Rect(0, 0, cw, ch);
  const TColor bg = Background();
  // The complement of the colour as shown (system colours resolved first).
  const TColor inv = TColor(~ColorToRGB(bg) & 0xFFFFFF);
  TBrush* brush = Canvas->Brush();
  switch (FBackgroundStyle) {
    case vlbsChessboard: {
      brush->SetStyle(bsSolid);
      for (int y = 0, row = 0; y < ch; y += kChessSquare, ++row)
        for (int x = 0, col = 0; x < cw; x += kChessSquare, ++col) {
          brush->SetColor(((row + col) & 1) ? bg : inv);
          Canvas->FillRect(Rect(x, y, x + kChessSquare, y + kChessSquare));
        }
      break;
    }
    case vlbsDiagonals: {
      brush->SetColor(bg);
      brush->SetStyle(bsSolid);
      Canvas->FillRect(all);
      TPen* pen = Canvas->Pen();
      pen->SetColor(inv);
      pen->SetStyle(psSolid);
      pen->SetWidth(1);
      pen->SetMode(pmCopy);
      Canvas->MoveTo(0, 0);
      Canvas->LineTo(cw, ch);
      Canvas->MoveTo(cw, 0);
      Canvas->LineTo(0, ch);
      break;
    }
    default: {
      static const TBrushStyle styles[] = {bsSolid,     bsHorizontal, bsVertical, bsFDiagonal,
                                           bsBDiagonal, bsCross,      bsDiagCross};
      if (FBackgroundStyle != vlbsSolid) {
        // A hatch draws only its lines: lay the control's face under it, so nothing painted
        // before shows through the gaps.
        brush->SetColor(Color());
        brush->SetStyle(bsSolid);
        Canvas->FillRect(all);
      }
      brush->SetColor(bg);
      brush->SetStyle(FBackgroundStyle <= vlbsDiagCross ? styles[FBackgroundStyle] : bsSolid);
      Canvas->FillRect(all);
      brush->SetStyle(bsSolid);
      break;
    }
  }
}
