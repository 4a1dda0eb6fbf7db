#include "platform/gui/clipboard.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QMimeData>
#include <algorithm>

#include "platform/core/bitmap.h"

namespace {
const QString kDibMime = QStringLiteral("application/x-vistrel-dib");
const QString kPngMime = QStringLiteral("image/png");
const QString kQtImageMime = QStringLiteral("application/x-qt-image");
bool gInProcess = false;
bool gHeld = false;
struct TStore {
  bool hasText = false, hasDib = false;
  std::string text;
  std::vector<uint8_t> dib;
} gStore;

QClipboard* System() {
  if (gInProcess || !qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return nullptr;
  return QGuiApplication::clipboard();
}

void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  for (int i = 0; i < 4; ++i) v[at + size_t(i)] = uint8_t(x >> (8 * i));
}

bool FitsBitmap(int64_t w, int64_t h) { return w > 0 && h > 0 && BitmapRowBytes(w, 24) <= TBitmap::MaxBytes() / h; }

// A picture another program put there, as a 24-bit packed DIB.
std::vector<uint8_t> ImageToDib(const QImage& src) {
  if (src.isNull() || !FitsBitmap(src.width(), src.height())) return {};
  QImage img = src.convertToFormat(QImage::Format_RGB888);
  if (img.isNull()) return {};
  const int64_t w = img.width(), h = img.height();
  const int64_t row = BitmapRowBytes(w, 24);
  std::vector<uint8_t> d(size_t(40 + row * h), 0);
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

// Decodes encoded image bytes, refusing a picture larger than a bitmap may be before any
// pixel is decoded.
QImage DecodeImage(const QByteArray& bytes) {
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);
  const QSize size = reader.size();
  if (size.isValid() && !FitsBitmap(size.width(), size.height())) return {};
  return reader.read();
}

// The picture another program offers: PNG first, then any other image type Qt reads, then
// whatever the platform makes of it.
QImage ForeignImage(const QMimeData* m) {
  QStringList types = m->formats();
  std::stable_partition(types.begin(), types.end(), [](const QString& t) { return t == kPngMime; });
  const QList<QByteArray> readable = QImageReader::supportedMimeTypes();
  for (const QString& t : types) {
    if (!t.startsWith(QStringLiteral("image/")) || !readable.contains(t.toLatin1())) continue;
    QImage img = DecodeImage(m->data(t));
    if (!img.isNull()) return img;
  }
  if (m->hasImage()) return qvariant_cast<QImage>(m->imageData());
  return {};
}

bool OffersImage(const QMimeData* m) {
  if (m->hasImage()) return true;
  for (const QString& t : m->formats())
    if (t.startsWith(QStringLiteral("image/"))) return true;
  return false;
}

// Our picture: the DIB for ourselves, an image for everybody else. PNG is encoded only when
// a program asks for it; Qt's own image type carries the picture itself.
class TPictureMime : public QMimeData {
 public:
  TPictureMime(std::vector<uint8_t> dib, QImage picture) : FDib(std::move(dib)), FImage(std::move(picture)) {}

  QStringList formats() const override {
    QStringList f{kDibMime};
    if (!FImage.isNull()) f << kPngMime << kQtImageMime;
    return f;
  }
  bool hasFormat(const QString& type) const override { return formats().contains(type); }

 protected:
  QVariant retrieveData(const QString& type, QMetaType) const override {
    if (type == kDibMime) return QByteArray(reinterpret_cast<const char*>(FDib.data()), qsizetype(FDib.size()));
    if (FImage.isNull()) return {};
    if (type == kQtImageMime) return FImage;
    if (type == kPngMime) {
      if (FPng.isEmpty()) {
        QBuffer buffer(&FPng);
        buffer.open(QIODevice::WriteOnly);
        FImage.save(&buffer, "PNG");
      }
      return FPng;
    }
    return {};
  }

 private:
  std::vector<uint8_t> FDib;
  QImage FImage;
  mutable QByteArray FPng;
};

// A deep copy of a pf24bit or pf1bit bitmap.
QImage BitmapImage(const TBitmap* b) {
  if (!b || b->Empty() || !b->Bits()) return {};
  if (b->PixelFormat() == pf1bit) {
    QImage img(b->Bits(), b->Width(), b->Height(), int(b->RowBytes()), QImage::Format_Mono);
    img.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    return img.copy();
  }
  if (b->PixelFormat() != pf24bit) return {};
  return QImage(b->Bits(), b->Width(), b->Height(), int(b->RowBytes()), QImage::Format_BGR888).copy();
}
}  // namespace

void TClipboard::SetInProcess(bool inProcess) { gInProcess = inProcess; }
void TClipboard::SetHeldElsewhere(bool held) { gHeld = held; }

TClipboard* Clipboard() {
  static TClipboard c;
  return &c;
}

bool TClipboard::Open() {
  if (gHeld) return false;
  ++FOpen;
  return true;
}

bool TClipboard::HasFormat(int format) const {
  QClipboard* sys = System();
  if (!sys) {
    if (format == CF_TEXT) return gStore.hasText;
    if (format == CF_DIB || format == CF_BITMAP) return gStore.hasDib;
    return false;
  }
  const QMimeData* m = sys->mimeData();
  if (!m) return false;
  if (format == CF_TEXT) return m->hasText();
  if (format == CF_DIB || format == CF_BITMAP) return m->hasFormat(kDibMime) || OffersImage(m);
  return false;
}

void TClipboard::Clear() {
  gStore = TStore{};
  if (QClipboard* sys = System()) sys->clear();
}

std::string TClipboard::AsText() const {
  QClipboard* sys = System();
  if (!sys) return gStore.hasText ? gStore.text : std::string();
  return sys->text().toStdString();
}

void TClipboard::SetAsText(const std::string& text) {
  QClipboard* sys = System();
  if (!sys) {
    gStore = TStore{};
    gStore.hasText = true;
    gStore.text = text;
    return;
  }
  sys->setText(QString::fromStdString(text));
}

std::vector<uint8_t> TClipboard::GetDIB() const {
  QClipboard* sys = System();
  if (!sys) return gStore.hasDib ? gStore.dib : std::vector<uint8_t>();
  const QMimeData* m = sys->mimeData();
  if (!m) return {};
  if (m->hasFormat(kDibMime)) {
    const QByteArray b = m->data(kDibMime);
    return std::vector<uint8_t>(b.begin(), b.end());
  }
  return ImageToDib(ForeignImage(m));
}

void TClipboard::SetDIB(std::vector<uint8_t> dib, const TBitmap* Picture) {
  QClipboard* sys = System();
  if (!sys) {
    gStore = TStore{};
    gStore.hasDib = true;
    gStore.dib = std::move(dib);
    return;
  }
  sys->setMimeData(new TPictureMime(std::move(dib), BitmapImage(Picture)));
}
