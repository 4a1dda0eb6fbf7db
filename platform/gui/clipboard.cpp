#include "platform/gui/clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <cstring>

#include "platform/gui/controls.h"

namespace {
const char* kDibMime = "application/x-vistrel-dib";
bool gInProcess = false;
struct TStore {
  bool hasText = false, hasDib = false;
  std::string text;
  std::vector<uint8_t> dib;
} gStore;

bool Local() { return gInProcess || HeadlessPlatform() || !QGuiApplication::clipboard(); }

void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  for (int i = 0; i < 4; ++i) v[at + size_t(i)] = uint8_t(x >> (8 * i));
}

// A picture another program put there, as a 24-bit packed DIB.
std::vector<uint8_t> ImageToDib(const QImage& src) {
  if (src.isNull() || src.width() <= 0 || src.height() <= 0) return {};
  QImage img = src.convertToFormat(QImage::Format_RGB888);
  int64_t w = img.width(), h = img.height();
  int64_t row = (w * 24 + 31) / 32 * 4;
  int64_t total = 40 + row * h;
  if (total > (int64_t(1) << 30)) return {};
  std::vector<uint8_t> d(size_t(total), 0);
  Put32(d, 0, 40);
  Put32(d, 4, uint32_t(w));
  Put32(d, 8, uint32_t(h));
  d[12] = 1;
  d[14] = 24;
  Put32(d, 20, uint32_t(row * h));
  for (int64_t y = 0; y < h; ++y) {
    const uchar* s = img.constScanLine(int(y));
    uint8_t* p = d.data() + 40 + (h - 1 - y) * row;
    for (int64_t x = 0; x < w; ++x) {
      p[3 * x] = s[3 * x + 2];
      p[3 * x + 1] = s[3 * x + 1];
      p[3 * x + 2] = s[3 * x];
    }
  }
  return d;
}
}  // namespace

void TClipboard::SetInProcess(bool inProcess) { gInProcess = inProcess; }

TClipboard* Clipboard() {
  static TClipboard c;
  return &c;
}

bool TClipboard::HasFormat(int format) const {
  if (Local()) {
    if (format == CF_TEXT) return gStore.hasText;
    if (format == CF_DIB || format == CF_BITMAP) return gStore.hasDib;
    return false;
  }
  const QMimeData* m = QGuiApplication::clipboard()->mimeData();
  if (!m) return false;
  if (format == CF_TEXT) return m->hasText();
  if (format == CF_DIB || format == CF_BITMAP) return m->hasFormat(kDibMime) || m->hasImage();
  return false;
}

void TClipboard::Clear() {
  gStore = TStore{};
  if (!Local()) QGuiApplication::clipboard()->clear();
}

std::string TClipboard::AsText() const {
  if (Local()) return gStore.hasText ? gStore.text : std::string();
  return QGuiApplication::clipboard()->text().toStdString();
}

void TClipboard::SetAsText(const std::string& text) {
  if (Local()) {
    gStore = TStore{};
    gStore.hasText = true;
    gStore.text = text;
    return;
  }
  QGuiApplication::clipboard()->setText(QString::fromStdString(text));
}

std::vector<uint8_t> TClipboard::GetDIB() const {
  if (Local()) return gStore.hasDib ? gStore.dib : std::vector<uint8_t>();
  const QMimeData* m = QGuiApplication::clipboard()->mimeData();
  if (!m) return {};
  if (m->hasFormat(kDibMime)) {
    QByteArray b = m->data(kDibMime);
    return std::vector<uint8_t>(b.begin(), b.end());
  }
  if (m->hasImage()) return ImageToDib(qvariant_cast<QImage>(m->imageData()));
  return {};
}

void TClipboard::SetDIB(const std::vector<uint8_t>& dib) {
  if (Local()) {
    gStore = TStore{};
    gStore.hasDib = true;
    gStore.dib = dib;
    return;
  }
  auto* m = new QMimeData;
  m->setData(kDibMime, QByteArray(reinterpret_cast<const char*>(dib.data()), int(dib.size())));
  QGuiApplication::clipboard()->setMimeData(m);
}
