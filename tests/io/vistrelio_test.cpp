#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "io/metafile_builders.h"
#include "platform/gui/canvas.h"
#include "platform/gui/stdctrls.h"
#include "vistrel/io/vistrelio.h"
#include "vistrel/view/vlview.h"

namespace fs = std::filesystem;

namespace {

// A view that holds a bitmap of its own and counts image changes.
class TTestView : public TVLView {
 public:
  using TVLView::TVLView;
  ~TTestView() override { NotifyAttached(); }
  TBitmap* GetBitmap() override { return Current; }
  void ImageChange() override { ++Changes; }
  TBitmap* Current = nullptr;
  int Changes = 0;
};

struct TempDir {
  std::string Path;
  TempDir() {
    Path = std::string(VL_BUILD_DIR) + "/vistrelio_test_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(Path);
    fs::create_directories(Path);
  }
  ~TempDir() { fs::remove_all(Path); }
  std::string operator/(const std::string& n) const { return Path + "/" + n; }
  std::vector<std::string> Files() const {
    std::vector<std::string> v;
    for (auto& e : fs::directory_iterator(Path)) v.push_back(e.path().filename().string());
    std::sort(v.begin(), v.end());
    return v;
  }
};

// A picture of distinct colours, smooth enough for JPEG to stay close.
void Fill(TBitmap* b, int w, int h) {
  b->SetPixelFormat(pf24bit);
  b->SetSize(w, h);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = b->ScanLine(y);
    for (int x = 0; x < w; ++x) {
      row[x * 3] = uint8_t(x * 8);
      row[x * 3 + 1] = uint8_t(y * 8);
      row[x * 3 + 2] = uint8_t(128 + x * 2);
    }
  }
}

bool SamePixels(TBitmap* a, TBitmap* b, int tolerance = 0) {
  if (a->Width() != b->Width() || a->Height() != b->Height()) return false;
  for (int y = 0; y < a->Height(); ++y)
    for (int x = 0; x < a->Width() * 3; ++x)
      if (std::abs(a->ScanLine(y)[x] - b->ScanLine(y)[x]) > tolerance) return false;
  return true;
}

std::vector<char> ReadAll(const std::string& name) {
  std::ifstream f(name, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(f), {});
}

void WriteAll(const std::string& name, const std::vector<uint8_t>& bytes) {
  std::ofstream f(name, std::ios::binary);
  f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// Runs fn as an unprivileged user when the tests run as root, so that file permissions hold;
// true when fn returned true.
template <class Fn>
bool AsUnprivileged(Fn&& fn) {
  if (::geteuid() != 0) return fn();
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) _exit(2);
    _exit(fn() ? 0 : 1);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

TEST(VistrelIO, ExtensionDispatchAndRoundTrips) {
  TempDir dir;
  TBitmap src, dst;
  Fill(&src, 20, 12);
  TVistrelIO out(nullptr), in(nullptr);
  out.SetAttachedBitmap(&src);
  in.SetAttachedBitmap(&dst);

  struct Case {
    const char* save;
    const char* load;
    int type;
    int tolerance;
  } cases[] = {{"a.TIFF", "a.TIFF", ftTIFF, 0}, {"b.TIF", "b.TIF", ftTIFF, 0}, {"c.PNG", "c.PNG", ftPNG, 0},
               {"d.pcx", "d.pcx", ftPCX, 0},    {"e.Bmp", "e.Bmp", ftBMP, 0},  {"f.jpeg", "f.jpeg", ftJPEG, 24}};
  for (const Case& c : cases) {
    out.SaveToFile(dir / c.save);
    ASSERT_FALSE(out.Aborting()) << c.save;
    in.LoadFromFile(dir / c.load);
    EXPECT_FALSE(in.Aborting()) << c.load;
    EXPECT_EQ(in.Params()->FileType, c.type) << c.load;
    EXPECT_EQ(in.Params()->FileName, dir / c.load);
    EXPECT_TRUE(SamePixels(&src, &dst, c.tolerance)) << c.load;
  }
  // A JPEG read through its third extension, in upper case.
  fs::copy_file(dir / "f.jpeg", dir / "g.JPE");
  in.LoadFromFile(dir / "g.JPE");
  EXPECT_EQ(in.Params()->FileType, ftJPEG);
  EXPECT_TRUE(SamePixels(&src, &dst, 24));

  // Unknown extensions: nothing read, nothing written.
  fs::copy_file(dir / "c.PNG", dir / "h.xyz");
  in.LoadFromFile(dir / "h.xyz");
  EXPECT_TRUE(in.Aborting());
  EXPECT_EQ(in.Params()->FileType, 0);
  EXPECT_EQ(in.Params()->FileName, "");
  const auto before = dir.Files();
  out.SaveToFile(dir / "i.xyz");
  EXPECT_TRUE(out.Aborting());
  out.SaveToFile(dir / "j.ico");  // icons are read only
  EXPECT_TRUE(out.Aborting());
  out.SaveToFile(dir / "k.jpe");  // only .jpg and .jpeg write JPEG
  EXPECT_TRUE(out.Aborting());
  EXPECT_EQ(dir.Files(), before);

  // A file whose content does not match its extension.
  fs::copy_file(dir / "c.PNG", dir / "l.gif");
  in.ParamsFromFile(dir / "l.gif");
  EXPECT_EQ(in.Params()->FileType, 0);
  EXPECT_EQ(in.Params()->FileName, dir / "l.gif");
  EXPECT_EQ(TVLTIFFImageCount(dir / "a.TIFF"), 1);
  EXPECT_EQ(TVLGIFImageCount(dir / "missing.gif"), 0);
  in.ParamsFromFile(dir / "a.TIFF");
  EXPECT_EQ(in.Params()->FileType, ftTIFF);
  EXPECT_EQ(in.Params()->Width, 20);
  EXPECT_EQ(in.Params()->Height, 12);
}

TEST(VistrelIO, StreamsByContentAndHeadedImages) {
  TBitmap src, dst;
  Fill(&src, 16, 10);
  TVistrelIO io(nullptr);
  io.SetAttachedBitmap(&src);

  // Each format in a stream of its own, found by content.
  using Saver = void (TVistrelIO::*)(TStream*);
  std::pair<Saver, int> savers[] = {{&TVistrelIO::SaveToStreamTIFF, ftTIFF},
                                    {&TVistrelIO::SaveToStreamPNG, ftPNG},
                                    {&TVistrelIO::SaveToStreamBMP, ftBMP},
                                    {&TVistrelIO::SaveToStreamPCX, ftPCX},
                                    {&TVistrelIO::SaveToStreamJpeg, ftJPEG}};
  for (auto [save, type] : savers) {
    TMemoryStream s;
    io.SetAttachedBitmap(&src);
    (io.*save)(&s);
    ASSERT_FALSE(io.Aborting()) << type;
    s.SetPosition(0);
    io.SetAttachedBitmap(&dst);
    io.LoadFromStream(&s);
    EXPECT_FALSE(io.Aborting()) << type;
    EXPECT_EQ(io.Params()->FileType, type);
    EXPECT_EQ(io.Params()->FileName, "");
    EXPECT_TRUE(SamePixels(&src, &dst, type == ftJPEG ? 24 : 0)) << type;
  }

  // Three headed images in one stream, read back in turn.
  TBitmap second, third;
  Fill(&second, 9, 7);
  Fill(&third, 5, 13);
  TMemoryStream s;
  io.SetStreamHeaders(true);
  io.SetAttachedBitmap(&src);
  io.SaveToStreamTIFF(&s);
  const int64_t afterFirst = s.Position();
  io.SetAttachedBitmap(&second);
  io.SaveToStreamJpeg(&s);
  const int64_t afterSecond = s.Position();
  io.SetAttachedBitmap(&third);
  io.SaveToStreamPCX(&s);
  const int64_t end = s.Position();
  uint8_t tag[4];
  s.SetPosition(afterFirst);
  s.ReadBuffer(tag, 4);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(tag), 4), "JFIF");

  s.SetPosition(0);
  io.SetAttachedBitmap(&dst);
  io.LoadFromStream(&s);
  EXPECT_EQ(io.Params()->FileType, ftTIFF);
  EXPECT_TRUE(SamePixels(&src, &dst));
  EXPECT_EQ(s.Position(), afterFirst);
  io.LoadFromStream(&s);
  EXPECT_EQ(io.Params()->FileType, ftJPEG);
  EXPECT_TRUE(SamePixels(&second, &dst, 24));
  EXPECT_EQ(s.Position(), afterSecond);
  io.LoadFromStream(&s);
  EXPECT_EQ(io.Params()->FileType, ftPCX);
  EXPECT_TRUE(SamePixels(&third, &dst));
  EXPECT_EQ(s.Position(), end);
  EXPECT_FALSE(io.Aborting());

  // A PCX load over something that is not a PCX header.
  TMemoryStream junk;
  std::vector<uint8_t> bytes(40, 'x');
  junk.WriteBuffer(bytes.data(), 40);
  junk.SetPosition(0);
  io.LoadFromStreamPCX(&junk);
  EXPECT_TRUE(io.Aborting());
  EXPECT_EQ(junk.Position(), 12);
  // Content that nothing recognises.
  junk.SetPosition(0);
  io.LoadFromStream(&junk);
  EXPECT_TRUE(io.Aborting());
  EXPECT_EQ(io.Params()->FileType, 0);
}

TEST(VistrelIO, ProgressAbortAndTruncatedFiles) {
  TempDir dir;
  TBitmap src, dst;
  Fill(&src, 30, 40);
  TVistrelIO io(nullptr);
  io.SetAttachedBitmap(&src);
  io.SaveToFile(dir / "p.bmp");
  ASSERT_FALSE(io.Aborting());

  io.SetAttachedBitmap(&dst);
  std::vector<int> seen;
  io.OnProgress = [&](TObject* sender, int percent) {
    EXPECT_EQ(sender, &io);
    seen.push_back(percent);
  };
  io.LoadFromFile(dir / "p.bmp");
  EXPECT_FALSE(io.Aborting());
  ASSERT_GE(seen.size(), 10u);
  EXPECT_EQ(seen.front(), 0);
  EXPECT_GE(seen.back(), 90);
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));

  // A handler that stops the read at its first call.
  io.OnProgress = [&](TObject*, int) { io.SetAborting(true); };
  io.LoadFromFile(dir / "p.bmp");
  EXPECT_TRUE(io.Aborting());
  io.OnProgress = nullptr;

  // Truncated files of every readable kind set the abort flag.
  io.SetAttachedBitmap(&src);
  for (const char* name : {"t.bmp", "t.png", "t.jpg", "t.tif", "t.pcx"}) {
    io.SaveToFile(dir / name);
    ASSERT_FALSE(io.Aborting()) << name;
    const auto size = fs::file_size(dir / name);
    fs::resize_file(dir / name, size / 3);
    io.SetAttachedBitmap(&dst);
    io.LoadFromFile(dir / name);
    EXPECT_TRUE(io.Aborting()) << name;
    io.SetAttachedBitmap(&src);
  }
}

TEST(VistrelIO, FailedSaveKeepsTheOldFile) {
  TempDir dir;
  TBitmap src;
  Fill(&src, 8, 8);
  TVistrelIO io(nullptr);
  io.SetAttachedBitmap(&src);
  // The product has no GIF LZW coder: writing a GIF fails.
  const std::string name = dir / "keep.gif";
  WriteAll(name, {'o', 'l', 'd', ' ', 'd', 'a', 't', 'a'});
  const auto before = ReadAll(name);
  io.SaveToFile(name);
  EXPECT_TRUE(io.Aborting());
  EXPECT_EQ(ReadAll(name), before);
  EXPECT_EQ(dir.Files(), std::vector<std::string>{"keep.gif"});
  // A handler that aborts a BMP save half way.
  const std::string bmp = dir / "keep.bmp";
  WriteAll(bmp, {1, 2, 3});
  int calls = 0;
  io.OnProgress = [&](TObject*, int) {
    if (++calls == 3) io.SetAborting(true);
  };
  io.SaveToFile(bmp);
  EXPECT_TRUE(io.Aborting());
  EXPECT_EQ(ReadAll(bmp), (std::vector<char>{1, 2, 3}));
  EXPECT_EQ(dir.Files(), (std::vector<std::string>{"keep.bmp", "keep.gif"}));
  // The same save without the handler replaces it.
  io.OnProgress = nullptr;
  io.SaveToFile(bmp);
  EXPECT_FALSE(io.Aborting());
  EXPECT_GT(fs::file_size(bmp), 8u * 8u * 3u);
  EXPECT_EQ(dir.Files(), (std::vector<std::string>{"keep.bmp", "keep.gif"}));
}

TEST(VistrelIO, SavesLongNamesThroughLinksKeepingOwnerAndModeAndRefuseReadOnlyFiles) {
  TempDir dir;
  TBitmap src, dst;
  Fill(&src, 30, 40);
  TVistrelIO io(nullptr), in(nullptr);
  io.SetAttachedBitmap(&src);
  in.SetAttachedBitmap(&dst);

  // The longest name a folder takes.
  const std::string longName = std::string(251, 'n') + ".bmp";
  io.SaveToFile(dir / longName);
  EXPECT_FALSE(io.Aborting());
  in.LoadFromFile(dir / longName);
  EXPECT_TRUE(SamePixels(&src, &dst));

  // A link into another folder, to a file of its own mode, owner and group.
  fs::create_directories(dir / "sub");
  const std::string real = dir / "sub/real.bmp", link = dir / "link.bmp";
  WriteAll(real, {'o', 'l', 'd'});
  fs::create_symlink("sub/real.bmp", link);
  ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chown(real.c_str(), 4321, 4322), 0);
  }
  // A writer that fails half way leaves the file as it was.
  int calls = 0;
  io.OnProgress = [&](TObject*, int) {
    if (++calls == 3) io.SetAborting(true);
  };
  io.SaveToFile(link);
  EXPECT_TRUE(io.Aborting());
  EXPECT_EQ(ReadAll(real), (std::vector<char>{'o', 'l', 'd'}));
  io.OnProgress = nullptr;
  // Saved through the link: the link stays, the file it names gets the picture.
  io.SaveToFile(link);
  EXPECT_FALSE(io.Aborting());
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(fs::read_symlink(link), "sub/real.bmp");
  in.LoadFromFile(real);
  EXPECT_TRUE(SamePixels(&src, &dst));
  struct stat st;
  ASSERT_EQ(::stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  if (root) {
    EXPECT_EQ(st.st_uid, 4321u);
    EXPECT_EQ(st.st_gid, 4322u);
  }
  // No temporary file left anywhere.
  EXPECT_EQ(dir.Files(), (std::vector<std::string>{"link.bmp", longName, "sub"}));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "sub"), {}), 1);

  // A read-only file in a folder open to all is refused as a plain write is, and kept. The
  // folder is one the other user can reach wherever the build lies.
  char folder[] = "/tmp/vistrelio-test-XXXXXX";
  ASSERT_NE(::mkdtemp(folder), nullptr);
  const std::string shared = folder;
  struct TRemove {
    std::string Path;
    ~TRemove() { fs::remove_all(Path); }
  } remove{shared};
  ASSERT_EQ(::chmod(shared.c_str(), 0777), 0);
  EXPECT_TRUE(AsUnprivileged([&] {
    const std::string name = shared + "/ro.bmp";
    WriteAll(name, {'k', 'e', 'e', 'p'});
    if (::chmod(name.c_str(), 0444) != 0) return false;
    bool refused = false;
    try {
      io.SaveToFile(name);
    } catch (const EFCreateError&) {
      refused = true;
    }
    return refused && ReadAll(name) == std::vector<char>{'k', 'e', 'e', 'p'} &&
           std::distance(fs::directory_iterator(shared), {}) == 1;
  }));
}

TEST(VistrelIO, MissingFilesRaiseForEveryFormatAndChangeNothing) {
  TempDir dir;
  TBitmap pic;
  Fill(&pic, 4, 3);
  auto* view = new TTestView(nullptr);
  view->Current = &pic;
  view->SetDpi(33, 44);
  TVistrelIO io(nullptr);
  io.SetAttachedVistrel(view);
  for (const char* ext : {".jpg", ".png", ".tif", ".pcx", ".gif", ".wmf", ".bmp", ".cur", ".ico"}) {
    io.Params()->FileName = "before";
    io.Params()->FileType = 77;
    io.Params()->DpiX = 300;
    EXPECT_THROW(io.LoadFromFile(dir / (std::string("missing") + ext)), EFOpenError) << ext;
    EXPECT_FALSE(io.Aborting()) << ext;
    EXPECT_EQ(io.Params()->FileName, "before") << ext;
    EXPECT_EQ(io.Params()->FileType, 77) << ext;
    EXPECT_EQ(view->DpiX(), 33) << ext;
    EXPECT_EQ(view->Changes, 0) << ext;
    EXPECT_EQ(pic.Width(), 4) << ext;
  }
  delete view;
}

TEST(VistrelIO, Metafiles) {
  TempDir dir;
  TWmfBuilder w;
  w.CreateBrush(0, 255, 0, 0);
  w.Select(0);
  w.CreatePen(5, 0, 0, 0, 0);
  w.Select(1);
  w.Rectangle(0, 0, 200, 150);  // the top left quarter
  WriteAll(dir / "m.wmf", w.Build(0, 0, 400, 300, 96));

  TBitmap b;
  TVistrelIO io(nullptr);
  io.SetAttachedBitmap(&b);
  io.SetBackground(clLime);
  io.ImportMetafile(dir / "m.wmf", 200, -1);
  EXPECT_FALSE(io.Aborting());
  EXPECT_EQ(b.Width(), 199);
  EXPECT_EQ(b.Height(), 149);
  EXPECT_EQ(b.PixelFormat(), pf24bit);
  auto px = [&](int x, int y) {
    const uint8_t* p = b.ScanLine(y) + x * 3;
    return RGB(p[2], p[1], p[0]);
  };
  EXPECT_EQ(px(10, 10), clRed);
  EXPECT_EQ(px(98, 73), clRed);
  EXPECT_EQ(px(101, 76), clLime);  // background under the drawing
  EXPECT_EQ(io.Params()->FileType, ftWMF);
  EXPECT_EQ(io.Params()->Width, 199);

  io.ImportMetafile(dir / "m.wmf", 0, 50);  // does nothing
  EXPECT_EQ(b.Width(), 199);
  io.LoadFromFile(dir / "m.wmf");
  EXPECT_EQ(b.Width(), 399);
  EXPECT_EQ(b.Height(), 299);
  EXPECT_EQ(px(199, 149), clRed);
  EXPECT_EQ(px(201, 151), clLime);

  TEmfBuilder e;
  e.CreateBrush(1, 0, 0, 0, 255);
  e.Select(1);
  e.Ellipse(10, 10, 90, 60);
  WriteAll(dir / "m.EMF", e.Build(2540, 2540));  // 96 x 96
  io.LoadFromFile(dir / "m.EMF");
  EXPECT_FALSE(io.Aborting());
  EXPECT_EQ(io.Params()->FileType, ftEMF);
  EXPECT_EQ(b.Width(), 95);
  EXPECT_EQ(px(50, 35), clBlue);
  EXPECT_EQ(px(2, 2), clLime);

  // Garbage and a truncated file.
  WriteAll(dir / "bad.emf", std::vector<uint8_t>(200, 0x41));
  io.LoadFromFile(dir / "bad.emf");
  EXPECT_TRUE(io.Aborting());
  std::vector<uint8_t> cut = w.Build(0, 0, 400, 300, 96);
  cut.resize(cut.size() - 8);
  WriteAll(dir / "cut.wmf", cut);
  io.LoadFromFile(dir / "cut.wmf");
  EXPECT_TRUE(io.Aborting());
  EXPECT_EQ(b.Width(), 95);  // the picture is left as it was
}

TEST(VistrelIO, AttachingToViewsImagesAndBitmaps) {
  TempDir dir;
  TBitmap src;
  Fill(&src, 12, 9);
  TVistrelIO io(nullptr);
  io.SetAttachedBitmap(&src);
  io.Params()->DpiX = 150;
  io.Params()->DpiY = 75;
  io.SaveToFile(dir / "v.bmp");
  io.SaveToFile(dir / "v.png");

  // Nothing attached: nothing happens.
  TVistrelIO none(nullptr);
  none.LoadFromFile(dir / "v.bmp");
  EXPECT_FALSE(none.Aborting());
  EXPECT_EQ(none.Params()->FileType, 0);

  TBitmap own1, own2;
  auto* view = new TTestView(nullptr);
  view->Current = &own1;
  view->SetBackground(clWhite);
  io.SetAttachedVistrel(view);
  EXPECT_EQ(view->BitmapChangeEventCount(), 1);
  EXPECT_EQ(io.AttachedBitmap(), &own1);
  io.LoadFromFile(dir / "v.bmp");
  EXPECT_TRUE(SamePixels(&src, &own1));
  EXPECT_EQ(view->DpiX(), 150);
  EXPECT_EQ(view->DpiY(), 75);
  EXPECT_EQ(view->Changes, 1);
  // Stream loads of BMP keep the view's resolution.
  view->SetDpi(10, 10);
  TFileStream f(dir / "v.bmp", fmOpenRead);
  io.LoadFromStream(&f);
  EXPECT_EQ(view->DpiX(), 10);
  // The background goes to the view.
  io.SetBackground(clAqua);
  EXPECT_EQ(view->Background(), clAqua);

  // The view swaps its bitmap and tells the registry.
  view->Current = &own2;
  view->CallBitmapChangeEvents();
  EXPECT_EQ(io.AttachedBitmap(), &own2);
  io.LoadFromFile(dir / "v.png");
  EXPECT_TRUE(SamePixels(&src, &own2));

  // The view goes away: the component forgets it.
  delete view;
  EXPECT_EQ(io.AttachedVistrel(), nullptr);
  EXPECT_EQ(io.AttachedBitmap(), nullptr);
  io.LoadFromFile(dir / "v.bmp");
  EXPECT_FALSE(io.Aborting());

  // An image control.
  auto* image = new TImage(nullptr);
  io.SetAttachedTImage(image);
  io.LoadFromFile(dir / "v.bmp");
  EXPECT_TRUE(SamePixels(&src, image->Picture()->Bitmap()));
  // A nil bitmap while an image is attached changes nothing.
  io.SetAttachedBitmap(nullptr);
  EXPECT_EQ(io.AttachedTImage(), image);
  delete image;
  EXPECT_EQ(io.AttachedTImage(), nullptr);
  EXPECT_EQ(io.AttachedBitmap(), nullptr);

  // A second view, then detaching by attaching a bare bitmap.
  auto* view2 = new TTestView(nullptr);
  view2->Current = &own1;
  io.SetAttachedVistrel(view2);
  io.SetAttachedBitmap(&own2);
  EXPECT_EQ(view2->BitmapChangeEventCount(), 0);
  EXPECT_EQ(io.AttachedVistrel(), nullptr);
  delete view2;
  EXPECT_EQ(io.AttachedBitmap(), &own2);

  // Without a source manager acquisition fails; the preview dialog is not built yet.
  setenv("VISTREL_TWAIN_DSM", "/nonexistent/libtwaindsm.so", 1);
  EXPECT_FALSE(io.Acquire());
  EXPECT_FALSE(io.SelectAcquireSource());
  EXPECT_FALSE(io.DoPreviews(0xFF));
  unsetenv("VISTREL_TWAIN_DSM");
}
