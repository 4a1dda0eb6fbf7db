// Our clipboard against another program on a virtual X screen: the other program (this test
// binary started again as a plain Qt client) reads what we copied as PNG, then offers a PNG
// of its own, which we paste.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QProcess>
#include <QSocketNotifier>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "platform/core/core.h"
#include "support/pump.h"
#include "support/xvfb.h"
#include "vistrel/proc/vistrelproc.h"

namespace {

bool OnX() { return QGuiApplication::platformName() == "xcb"; }
bool IsPeer() { return std::getenv("VL_CLIPBOARD_PEER") != nullptr; }

// The two pictures, as both sides know them.
QColor OursAt(int x, int y) { return QColor(30 * x, 200 - 40 * y, 17 * (x + y)); }
QColor TheirsAt(int x, int y) { return QColor(255 - 50 * x, 60 * y, 90); }
constexpr int kOursW = 7, kOursH = 4, kTheirsW = 5, kTheirsH = 3;

}  // namespace

TEST(XClipboard, OtherProgramsPasteOursAndWeTheirs) {
  if (OnX() || IsPeer()) GTEST_SKIP() << "the outer run";
  VLTEST_REQUIRE_SCREEN(false);
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  const std::string log = std::string(VL_BUILD_DIR) + "/xclipboard-test.log";
  // The X client libraries keep blocks of their own to the end of the run.
  const std::string cmd = "QT_QPA_PLATFORM=xcb ASAN_OPTIONS=detect_leaks=0 xvfb-run -a -s '-screen 0 320x240x24' '" +
                          self + "' --gtest_filter='XClipboardInside.*' > '" + log + "' 2>&1";
  const int rc = std::system(cmd.c_str());
  std::stringstream out;
  out << std::ifstream(log).rdbuf();
  EXPECT_EQ(rc, 0) << out.str();
  EXPECT_NE(out.str().find("[  PASSED  ] 1 test"), std::string::npos) << out.str();
}

TEST(XClipboardInside, OursGoesOutAndTheirsComesIn) {
  if (!OnX() || IsPeer()) GTEST_SKIP() << "runs on the virtual screen";
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(kOursW, kOursH);
  for (int y = 0; y < kOursH; ++y)
    for (int x = 0; x < kOursW; ++x) {
      const QColor c = OursAt(x, y);
      uint8_t* p = b.ScanLine(y) + 3 * x;
      p[0] = uint8_t(c.blue()), p[1] = uint8_t(c.green()), p[2] = uint8_t(c.red());
    }
  TVistrelProc proc(nullptr);
  proc.SetAttachedBitmap(&b);
  proc.CopyToClipboard();

  QProcess peer;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("VL_CLIPBOARD_PEER", "1");
  peer.setProcessEnvironment(env);
  peer.setProcessChannelMode(QProcess::MergedChannels);
  peer.start(QString::fromStdString(std::filesystem::read_symlink("/proc/self/exe").string()),
             {"--gtest_filter=XClipboardPeer.*"});
  ASSERT_TRUE(peer.waitForStarted(60000));
  QByteArray said;
  // We own the clipboard: keep serving it while the other program reads.
  vltest::WaitFor([&] {
    said += peer.readAll();
    return said.contains("offered") || peer.state() == QProcess::NotRunning;
  });
  EXPECT_TRUE(said.contains("read ours: ok")) << said.constData();
  ASSERT_TRUE(said.contains("offered")) << said.constData();

  proc.PasteFromClipboard();
  EXPECT_EQ(b.Width(), kTheirsW);
  EXPECT_EQ(b.Height(), kTheirsH);
  if (b.Width() == kTheirsW && b.Height() == kTheirsH)
    for (int y = 0; y < kTheirsH; ++y)
      for (int x = 0; x < kTheirsW; ++x) {
        const uint8_t* p = b.ScanLine(y) + 3 * x;
        EXPECT_EQ(QColor(p[2], p[1], p[0]), TheirsAt(x, y)) << x << "," << y;
      }
  peer.closeWriteChannel();
  ASSERT_TRUE(peer.waitForFinished(60000));
  said += peer.readAll();
  EXPECT_EQ(peer.exitCode(), 0) << said.constData();
  EXPECT_TRUE(said.contains("[  PASSED  ] 1 test")) << said.constData();
}

// The other program: a plain Qt client that knows nothing of ours but the PNG type.
TEST(XClipboardPeer, ReadsOursThenOffersItsOwn) {
  if (!OnX() || !IsPeer()) GTEST_SKIP() << "started by the test on the virtual screen";
  QClipboard* cb = QGuiApplication::clipboard();
  const QMimeData* m = cb->mimeData();
  const QImage ours = m ? QImage::fromData(m->data("image/png"), "PNG") : QImage();
  bool ok = ours.width() == kOursW && ours.height() == kOursH;
  for (int y = 0; ok && y < kOursH; ++y)
    for (int x = 0; x < kOursW; ++x) ok = ok && ours.pixelColor(x, y) == OursAt(x, y);
  std::printf("read ours: %s\n", ok ? "ok" : "wrong");
  EXPECT_TRUE(ok) << "our " << kOursW << "x" << kOursH << " picture came as " << ours.width() << "x" << ours.height();

  QImage theirs(kTheirsW, kTheirsH, QImage::Format_RGB888);
  for (int y = 0; y < kTheirsH; ++y)
    for (int x = 0; x < kTheirsW; ++x) theirs.setPixelColor(x, y, TheirsAt(x, y));
  QByteArray png;
  QBuffer buf(&png);
  buf.open(QIODevice::WriteOnly);
  theirs.save(&buf, "PNG");
  auto* offer = new QMimeData;
  offer->setData("image/png", png);
  cb->setMimeData(offer);
  ASSERT_TRUE(cb->ownsClipboard());
  std::printf("offered\n");
  std::fflush(stdout);
  // Serve the clipboard until the test closes our input.
  bool done = false;
  QSocketNotifier input(0, QSocketNotifier::Read);
  QObject::connect(&input, &QSocketNotifier::activated, [&] {
    char c;
    if (::read(0, &c, 1) <= 0) done = true;
  });
  vltest::WaitFor([&] { return done; });
  EXPECT_TRUE(done) << "the test never took our picture";
}
