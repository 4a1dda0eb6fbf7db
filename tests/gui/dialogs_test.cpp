#include <gtest/gtest.h>

#include "platform/gui/dialogs.h"

namespace {

TEST(Dialogs, AnsweredThroughTheModalService) {
  TColorDialog cd(nullptr);
  cd.SetColor(clRed);
  SetModalAnswer([](TModalRequest& r) {
    EXPECT_EQ(r.Kind, mkColor);
    EXPECT_EQ(r.Color, clRed);
    r.Color = clNavy;
    return int(mrOk);
  });
  EXPECT_TRUE(cd.Execute());
  EXPECT_EQ(cd.Color(), clNavy);
  SetModalAnswer([](TModalRequest& r) {
    r.Color = clLime;
    return int(mrCancel);
  });
  EXPECT_FALSE(cd.Execute());
  EXPECT_EQ(cd.Color(), clNavy);

  TFontDialog fd(nullptr);
  SetModalAnswer([&](TModalRequest& r) {
    EXPECT_EQ(r.Kind, mkFont);
    static_cast<TFontDialog*>(r.Dialog)->Font()->SetStyle(fsBold);
    return int(mrOk);
  });
  EXPECT_TRUE(fd.Execute());
  EXPECT_EQ(fd.Font()->Style(), TFontStyles(fsBold));

  TSaveDialog sd(nullptr);
  sd.SetDefaultExt("jpg");
  sd.SetFileName("old.jpg");
  SetModalAnswer([&](TModalRequest& r) {
    EXPECT_EQ(r.Kind, mkSaveFile);
    EXPECT_EQ(r.Value, "old.jpg");
    r.Value = "/tmp/pictures.v2/new";
    return int(mrOk);
  });
  EXPECT_TRUE(sd.Execute());
  EXPECT_EQ(sd.FileName(), "/tmp/pictures.v2/new.jpg");
  TOpenDialog od(nullptr);
  SetModalAnswer([&](TModalRequest& r) {
    EXPECT_EQ(r.Kind, mkOpenFile);
    return int(mrCancel);
  });
  EXPECT_FALSE(od.Execute());
  EXPECT_EQ(od.FileName(), "");
  SetModalAnswer(nullptr);
  // Headless and unanswered: cancelled, never blocking.
  EXPECT_FALSE(od.Execute());
}

}  // namespace

#include "platform/gui/clipboard.h"

namespace {
TEST(ClipboardStore, TextAndPicturesReplaceEachOther) {
  TClipboard* c = Clipboard();
  c->Clear();
  EXPECT_FALSE(c->HasFormat(CF_DIB));
  EXPECT_TRUE(c->GetDIB().empty());
  c->SetAsText("hello");
  EXPECT_TRUE(c->HasFormat(CF_TEXT));
  EXPECT_EQ(c->AsText(), "hello");
  std::vector<uint8_t> dib(44, 7);
  c->SetDIB(dib);
  EXPECT_TRUE(c->HasFormat(CF_DIB));
  EXPECT_FALSE(c->HasFormat(CF_TEXT));
  EXPECT_EQ(c->GetDIB(), dib);
  c->Clear();
  EXPECT_FALSE(c->HasFormat(CF_DIB));
}
}  // namespace
