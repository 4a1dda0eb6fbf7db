// Helpers of the TWAIN tests: the test source manager loaded once and reset for each test,
// and builders for what it reports.
#pragma once
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "twain/fakedsm/fake_dsm.h"
#include "vistrel/io/twain.h"

namespace vltest {

// The test source manager's state; the library stays loaded for the whole program, so the
// client's own loads and unloads share it.
inline fakedsm::TState* FakeDsm() {
  static fakedsm::TState* state = [] {
    void* h = dlopen(VL_FAKE_TWAIN_DSM, RTLD_NOW | RTLD_LOCAL);
    if (!h) return static_cast<fakedsm::TState*>(nullptr);
    auto fn = reinterpret_cast<fakedsm::TState* (*)()>(dlsym(h, "FakeDsmState"));
    return fn ? fn() : nullptr;
  }();
  return state;
}

class FakeDsmTest : public ::testing::Test {
 protected:
  fakedsm::TState* dsm = nullptr;
  void SetUp() override {
    dsm = FakeDsm();
    ASSERT_NE(dsm, nullptr) << dlerror();
    *dsm = fakedsm::TState{};
    setenv("VISTREL_TWAIN_DSM", VL_FAKE_TWAIN_DSM, 1);
  }
  void TearDown() override {
    if (dsm) {
      EXPECT_EQ(dsm->OpenManagers, 0) << "source manager left open";
      EXPECT_EQ(dsm->OpenSources, 0) << "source left open";
      EXPECT_EQ(dsm->EnabledSources, 0) << "source left enabled";
      EXPECT_FALSE(dsm->Stalled) << "the client never ended its loop";
    }
    unsetenv("VISTREL_TWAIN_DSM");
  }

  // The triplets logged so far as "DG/DAT/MSG" codes, events left out.
  std::vector<std::string> Calls(size_t from = 0) const {
    std::vector<std::string> r;
    for (size_t i = from; i < dsm->Log.size(); ++i) {
      const fakedsm::TCall& c = dsm->Log[i];
      if (c.DAT == DAT_EVENT) continue;
      r.push_back(Name(c));
    }
    return r;
  }
  static std::string Name(const fakedsm::TCall& c) {
    static const std::pair<uint16_t, const char*> dats[] = {
        {DAT_CAPABILITY, "CAP"},     {DAT_EVENT, "EVENT"},          {DAT_IDENTITY, "IDENTITY"},
        {DAT_PARENT, "PARENT"},      {DAT_PENDINGXFERS, "PENDING"}, {DAT_SETUPMEMXFER, "SETUPMEM"},
        {DAT_STATUS, "STATUS"},      {DAT_USERINTERFACE, "UI"},     {DAT_IMAGEINFO, "IMAGEINFO"},
        {DAT_IMAGELAYOUT, "LAYOUT"}, {DAT_IMAGEMEMXFER, "MEMXFER"}, {DAT_IMAGENATIVEXFER, "NATIVE"}};
    static const std::pair<uint16_t, const char*> msgs[] = {{MSG_GET, "GET"},
                                                            {MSG_GETFIRST, "GETFIRST"},
                                                            {MSG_GETNEXT, "GETNEXT"},
                                                            {MSG_SET, "SET"},
                                                            {MSG_RESET, "RESET"},
                                                            {MSG_OPENDSM, "OPENDSM"},
                                                            {MSG_CLOSEDSM, "CLOSEDSM"},
                                                            {MSG_OPENDS, "OPENDS"},
                                                            {MSG_CLOSEDS, "CLOSEDS"},
                                                            {MSG_USERSELECT, "USERSELECT"},
                                                            {MSG_DISABLEDS, "DISABLEDS"},
                                                            {MSG_ENABLEDS, "ENABLEDS"},
                                                            {MSG_PROCESSEVENT, "PROCESSEVENT"},
                                                            {MSG_ENDXFER, "ENDXFER"}};
    std::string s;
    for (auto& d : dats)
      if (d.first == c.DAT) s = d.second;
    s += "/";
    for (auto& m : msgs)
      if (m.first == c.MSG) s += m.second;
    if (c.DAT == DAT_CAPABILITY) s += "/" + std::to_string(c.Cap);
    return s;
  }
  // The capability sets logged from index from on, for one capability.
  std::vector<fakedsm::TCall> Sets(uint16_t cap, size_t from = 0) const {
    std::vector<fakedsm::TCall> r;
    for (size_t i = from; i < dsm->Log.size(); ++i)
      if (dsm->Log[i].DAT == DAT_CAPABILITY && dsm->Log[i].MSG == MSG_SET && dsm->Log[i].Cap == cap)
        r.push_back(dsm->Log[i]);
    return r;
  }
};

inline TW_FIX32 Fix(int whole, int frac) { return TW_FIX32{TW_INT16(whole), TW_UINT16(frac)}; }

inline TW_IMAGEINFO ImageInfo(int width, int length, int bitsPerPixel, TW_FIX32 resX = Fix(300, 0),
                              TW_FIX32 resY = Fix(300, 0)) {
  TW_IMAGEINFO i{};
  i.XResolution = resX;
  i.YResolution = resY;
  i.ImageWidth = width;
  i.ImageLength = length;
  i.BitsPerPixel = TW_INT16(bitsPerPixel);
  i.SamplesPerPixel = bitsPerPixel == 24 ? 3 : 1;
  i.PixelType = bitsPerPixel == 24 ? TWPT_RGB : bitsPerPixel == 1 ? TWPT_BW : TWPT_GRAY;
  return i;
}

inline fakedsm::TStrip Strip(uint32_t x, uint32_t y, uint32_t columns, uint32_t rows, uint32_t bytesPerRow,
                             std::vector<uint8_t> data, TW_UINT16 answer = TWRC_SUCCESS) {
  fakedsm::TStrip s;
  s.Answer = answer;
  s.XOffset = x;
  s.YOffset = y;
  s.Columns = columns;
  s.Rows = rows;
  s.BytesPerRow = bytesPerRow;
  s.BytesWritten = uint32_t(data.size());
  s.Data = std::move(data);
  return s;
}

// Containers as a source returns them.
inline void Put16(std::vector<uint8_t>& b, uint16_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
inline void Put32(std::vector<uint8_t>& b, uint32_t v) {
  Put16(b, uint16_t(v));
  Put16(b, uint16_t(v >> 16));
}
inline uint32_t FixBits(TW_FIX32 f) { return uint32_t(uint16_t(f.Whole)) | uint32_t(f.Frac) << 16; }

inline fakedsm::TContainer OneValue(uint16_t type, uint32_t item) {
  fakedsm::TContainer c;
  c.ConType = TWON_ONEVALUE;
  Put16(c.Bytes, type);
  Put32(c.Bytes, item);
  return c;
}
inline fakedsm::TContainer Enumeration(uint16_t type, const std::vector<uint32_t>& items, uint32_t current) {
  fakedsm::TContainer c;
  c.ConType = TWON_ENUMERATION;
  Put16(c.Bytes, type);
  Put32(c.Bytes, uint32_t(items.size()));
  Put32(c.Bytes, current);
  Put32(c.Bytes, 0);
  for (uint32_t v : items) type == TWTY_FIX32 ? Put32(c.Bytes, v) : Put16(c.Bytes, uint16_t(v));
  return c;
}
inline fakedsm::TContainer Range(uint16_t type, uint32_t min, uint32_t max, uint32_t step, uint32_t current) {
  fakedsm::TContainer c;
  c.ConType = TWON_RANGE;
  Put16(c.Bytes, type);
  for (uint32_t v : {min, max, step, uint32_t(0), current}) Put32(c.Bytes, v);
  return c;
}

// A packed DIB: header, colour table, rows bottom-up (each row given top-down, unpadded).
inline std::vector<uint8_t> PackedDib(int width, int height, int bits, const std::vector<uint32_t>& table,
                                      const std::vector<std::vector<uint8_t>>& rowsTopDown) {
  std::vector<uint8_t> b;
  Put32(b, 40);
  Put32(b, uint32_t(width));
  Put32(b, uint32_t(height));
  Put16(b, 1);
  Put16(b, uint16_t(bits));
  for (int i = 0; i < 6; ++i) Put32(b, i == 4 ? uint32_t(table.size()) : 0);
  for (uint32_t e : table) Put32(b, e);
  const size_t rowLen = (size_t(width) * bits + 31) / 32 * 4;
  for (int y = height - 1; y >= 0; --y) {
    std::vector<uint8_t> row = rowsTopDown[size_t(y)];
    row.resize(rowLen, 0);
    b.insert(b.end(), row.begin(), row.end());
  }
  return b;
}

}  // namespace vltest
