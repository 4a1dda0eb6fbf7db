// The composite view: one control that owns its processing and I/O components and forwards to
// them.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/gui/canvas.h"
#include "platform/gui/controls.h"
#include "vistrel/io/vistrel.h"
#include "vistrel/proc/kernels/pixels.h"

namespace fs = std::filesystem;

namespace {

// Every pixel differs from its neighbours.
void Pattern(TBitmap* b, int w, int h, uint32_t seed) {
  b->SetPixelFormat(pf24bit);
  b->SetSize(w, h);
  uint32_t s = seed * 2654435761u + 12345u;
  for (int y = 0; y < h; ++y) {
    uint8_t* p = b->ScanLine(y);
    for (int x = 0; x < w * 3; ++x) {
      s = s * 1103515245u + 12345u;
      p[x] = uint8_t(s >> 16);
    }
  }
}

template <class T>
T* Owned(TComponent* owner) {
  for (int i = 0; i < owner->ComponentCount(); ++i)
    if (auto* c = dynamic_cast<T*>(owner->Components(i))) return c;
  return nullptr;
}

class CompositeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form = new TForm(nullptr);
    form->SetBounds(0, 0, 400, 300);
    dir = std::string(VL_BUILD_DIR) + "/composite_" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override {
    FreeAndNil(form);
    fs::remove_all(dir);
  }
  template <class V>
  V* Make() {
    auto* v = new V(form);
    v->SetParent(form);
    v->SetBounds(0, 0, 120, 100);
    return v;
  }
  // A BMP file of a pattern picture.
  std::string WriteBmp(const std::string& name, int w, int h, uint32_t seed) {
    TVistrel* v = Make<TVistrel>();
    Pattern(v->Bitmap(), w, h, seed);
    v->SaveToFile(dir + "/" + name);
    EXPECT_FALSE(Owned<TVistrelIO>(v)->Aborting());
    v->Free();
    return dir + "/" + name;
  }

  TForm* form = nullptr;
  std::string dir;
};

TEST_F(CompositeTest, OneProgressHandlerServesLoadsAndOperations) {
  const std::string file = WriteBmp("p.bmp", 30, 40, 1);
  TVistrel* v = Make<TVistrel>();
  std::vector<std::pair<TObject*, int>> calls;
  v->SetOnProgress([&](TObject* sender, int percent) { calls.emplace_back(sender, percent); });
  v->LoadFromFile(file);
  ASSERT_EQ(v->Bitmap()->Width(), 30);
  ASSERT_FALSE(calls.empty());
  TObject* loader = calls.front().first;
  EXPECT_EQ(loader, Owned<TVistrelIO>(v));
  const size_t loadCalls = calls.size();
  v->Rotate(30, false);
  EXPECT_GT(v->Bitmap()->Width(), 30);
  ASSERT_GT(calls.size(), loadCalls);
  EXPECT_EQ(calls.back().first, Owned<TVistrelProc>(v));
  // Read back, it is the processing component's handler: the same one.
  calls.clear();
  v->OnProgress()(v, 7);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].second, 7);

  // The language and the font go to both components; the font is copied.
  v->SetMsgLanguage(msGerman);
  EXPECT_EQ(Owned<TVistrelProc>(v)->MsgLanguage(), msGerman);
  EXPECT_EQ(Owned<TVistrelIO>(v)->MsgLanguage(), msGerman);
  TFont font;
  font.SetSize(23);
  v->SetPreviewFont(&font);
  font.SetSize(9);
  EXPECT_EQ(v->PreviewFont()->Size(), 23);
  EXPECT_EQ(Owned<TVistrelProc>(v)->PreviewFont()->Size(), 23);
}

TEST_F(CompositeTest, AssignCopiesIOParamsOnlyFromIOSources) {
  const std::string a = WriteBmp("a.bmp", 30, 40, 1), b = WriteBmp("b.bmp", 17, 9, 2);
  TVistrel* va = Make<TVistrel>();
  TVistrel* vb = Make<TVistrel>();
  va->LoadFromFile(a);
  vb->LoadFromFile(b);
  TIOParamsVals* params = vb->IOParams();
  ASSERT_EQ(params->FileName, b);

  // A plain view: picture and view state come, the I/O parameters stay.
  TVistrelView* plain = Make<TVistrelView>();
  Pattern(plain->Bitmap(), 5, 7, 3);
  plain->SetDpi(72, 150);
  vb->Assign(plain);
  EXPECT_TRUE(VLSameBitmap(vb->Bitmap(), plain->Bitmap()));
  EXPECT_EQ(vb->DpiY(), 150);
  EXPECT_EQ(vb->IOParams()->FileName, b);
  EXPECT_EQ(vb->IOParams()->Width, 17);

  // Another composite view: both.
  vb->Assign(va);
  EXPECT_TRUE(VLSameBitmap(vb->Bitmap(), va->Bitmap()));
  EXPECT_EQ(vb->IOParams(), params);  // the same object, filled in place
  EXPECT_EQ(params->FileName, a);
  EXPECT_EQ(params->Width, 30);
  EXPECT_EQ(params->FileType, ftBMP);

  // An I/O component: its parameters, and the picture stays.
  TVistrelIO io(nullptr);
  io.Params()->FileName = "elsewhere.png";
  io.Params()->FileType = ftPNG;
  vb->Assign(&io);
  EXPECT_EQ(params->FileName, "elsewhere.png");
  EXPECT_EQ(params->FileType, ftPNG);
  EXPECT_TRUE(VLSameBitmap(vb->Bitmap(), va->Bitmap()));
}

TEST_F(CompositeTest, UndoAfterSaveUndoRestoresTheExactPicture) {
  TVistrel* v = Make<TVistrel>();
  EXPECT_TRUE(v->AutoUndo());
  Pattern(v->Bitmap(), 37, 23, 4);
  TBitmap original;
  VLCopyBitmap(v->Bitmap(), &original);
  v->SetAutoUndo(false);
  v->SaveUndo();
  v->Rotate(90, true);
  v->Flip(1);
  ASSERT_EQ(v->Bitmap()->Width(), 23);
  v->Undo();
  EXPECT_EQ(v->Bitmap()->Width(), 37);
  EXPECT_TRUE(VLSameBitmap(v->Bitmap(), &original));
  // The undo copy stays: the preview dialogs undo before every new try.
  v->Flip(0);
  v->Undo();
  EXPECT_TRUE(VLSameBitmap(v->Bitmap(), &original));
}

// Records, at each removal of an owned component, which one went and how many callbacks the
// view's registry still held.
class TWatchedVistrel : public TVistrel {
 public:
  TWatchedVistrel(TComponent* AOwner, std::vector<std::pair<std::string, int>>* Log) : TVistrel(AOwner), FLog(Log) {}

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override {
    TVistrel::Notification(AComponent, Operation);
    if (Operation != opRemove) return;
    std::string kind = dynamic_cast<TVistrelProc*>(AComponent) ? "proc"
                       : dynamic_cast<TVistrelIO*>(AComponent) ? "io"
                                                               : "";
    if (!kind.empty() && (FLog->empty() || FLog->back().first != kind))
      FLog->emplace_back(kind, BitmapChangeEventCount());
  }

 private:
  std::vector<std::pair<std::string, int>>* FLog;
};

TEST_F(CompositeTest, ComponentsUnregisterBeforeTheViewGoes) {
  // The processing component goes first, then the I/O component, each taking its callback
  // out of the registry of a view still whole.
  std::vector<std::pair<std::string, int>> log;
  auto* watched = new TWatchedVistrel(form, &log);
  watched->SetParent(form);
  EXPECT_EQ(watched->BitmapChangeEventCount(), 2);
  watched->Free();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0], std::make_pair(std::string("proc"), 1));
  EXPECT_EQ(log[1], std::make_pair(std::string("io"), 0));
  // A plain delete takes the same road (the sanitizer watches it).
  delete Make<TVistrel>();

  // Outside components attached to a composite view forget it when it goes.
  TVistrel* v = Make<TVistrel>();
  Pattern(v->Bitmap(), 8, 8, 5);
  auto* proc = new TVistrelProc(form);
  auto* io = new TVistrelIO(form);
  proc->SetAttachedVistrel(v);
  io->SetAttachedVistrel(v);
  EXPECT_EQ(v->BitmapChangeEventCount(), 4);
  v->CallBitmapChangeEvents();
  EXPECT_EQ(proc->AttachedBitmap(), v->Bitmap());
  v->Free();
  EXPECT_EQ(proc->AttachedVistrel(), nullptr);
  EXPECT_EQ(io->AttachedVistrel(), nullptr);
  EXPECT_EQ(io->AttachedBitmap(), nullptr);
  proc->Flip(0);  // nothing to work on
  io->LoadFromFile(dir + "/none.bmp");

  // A composite view freed by its owner, with an unowned component attached.
  TVistrel* w = Make<TVistrel>();
  auto* loose = new TVistrelProc(nullptr);
  loose->SetAttachedVistrel(w);
  FreeAndNil(form);
  EXPECT_EQ(loose->AttachedVistrel(), nullptr);
  loose->Free();
}

}  // namespace
