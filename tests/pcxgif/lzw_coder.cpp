#include "lzw_coder.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace {

// Rows in the order they are stored: plain, or the four interlace passes.
std::vector<int32_t> RowOrder(int32_t height, bool interlaced) {
  std::vector<int32_t> order;
  order.reserve(size_t(height));
  if (!interlaced) {
    for (int32_t y = 0; y < height; ++y) order.push_back(y);
    return order;
  }
  const int starts[4] = {0, 4, 2, 1}, steps[4] = {8, 8, 4, 2};
  for (int p = 0; p < 4; ++p)
    for (int32_t y = starts[p]; y < height; y += steps[p]) order.push_back(y);
  return order;
}

}  // namespace

void TestGIFLZWDecode(TStream* Stream, int32_t Height, int32_t Width, bool Interlaced, uint8_t* Buffer) {
  uint8_t minSize;
  if (Stream->Read(&minSize, 1) != 1) return;
  std::vector<uint8_t> data;
  uint8_t len, block[255];
  while (Stream->Read(&len, 1) == 1 && len != 0) {
    int64_t got = Stream->Read(block, len);
    data.insert(data.end(), block, block + got);
    if (got != len) break;
  }
  if (minSize < 1 || minSize > 11) return;

  const int clear = 1 << minSize, eoi = clear + 1;
  std::vector<uint16_t> prefix(4096);
  std::vector<uint8_t> suffix(4096), first(4096), stack(4097);
  for (int i = 0; i < clear; ++i) suffix[size_t(i)] = first[size_t(i)] = uint8_t(i);
  int codeSize = minSize + 1, next = eoi + 1, prev = -1;
  const std::vector<int32_t> rows = RowOrder(Height, Interlaced);
  const int64_t total = int64_t(Width) * Height;
  int64_t out = 0;
  auto emit = [&](uint8_t v) {
    if (out < total) Buffer[int64_t(rows[size_t(out / Width)]) * Width + out % Width] = v;
    ++out;
  };
  size_t bitPos = 0;
  const size_t bitEnd = data.size() * 8;
  while (out < total && bitPos + size_t(codeSize) <= bitEnd) {
    int code = 0;
    for (int i = 0; i < codeSize; ++i, ++bitPos) code |= ((data[bitPos >> 3] >> (bitPos & 7)) & 1) << i;
    if (code == clear) {
      codeSize = minSize + 1;
      next = eoi + 1;
      prev = -1;
      continue;
    }
    if (code == eoi) break;
    if (prev < 0) {
      if (code >= clear) break;
      emit(uint8_t(code));
      prev = code;
      continue;
    }
    int cur;
    if (code < next && code != clear && code != eoi) cur = code;
    else if (code == next) cur = prev;
    else break;
    // Unwind the string of cur.
    int sp = 0, c = cur;
    while (c >= clear && sp < 4096) {
      stack[size_t(sp++)] = suffix[size_t(c)];
      c = prefix[size_t(c)];
    }
    stack[size_t(sp++)] = uint8_t(c);
    const uint8_t head = uint8_t(c);
    while (sp > 0) emit(stack[size_t(--sp)]);
    if (code == next) emit(head);
    if (next < 4096) {
      prefix[size_t(next)] = uint16_t(prev);
      suffix[size_t(next)] = head;
      ++next;
      if (next == (1 << codeSize) && codeSize < 12) ++codeSize;
    }
    prev = code;
  }
}

void TestGIFLZWEncode(TStream* Stream, int32_t Height, int32_t Width, bool Interlaced, uint8_t* Buffer,
                      int32_t BitsPerPixel) {
  const int minSize = std::max(2, int(BitsPerPixel));
  const int clear = 1 << minSize, eoi = clear + 1;
  std::vector<uint8_t> bytes;
  uint32_t acc = 0;
  int accBits = 0, codeSize = minSize + 1, next = eoi + 1;
  auto put = [&](int code) {
    acc |= uint32_t(code) << accBits;
    accBits += codeSize;
    while (accBits >= 8) {
      bytes.push_back(uint8_t(acc));
      acc >>= 8;
      accBits -= 8;
    }
  };
  std::unordered_map<uint32_t, int> dict;
  put(clear);
  int cur = -1;
  for (int32_t y : RowOrder(Height, Interlaced)) {
    const uint8_t* row = Buffer + int64_t(y) * Width;
    for (int32_t x = 0; x < Width; ++x) {
      const int pix = row[x];
      if (cur < 0) {
        cur = pix;
        continue;
      }
      const uint32_t key = uint32_t(cur) << 8 | uint32_t(pix);
      auto it = dict.find(key);
      if (it != dict.end()) {
        cur = it->second;
        continue;
      }
      put(cur);
      dict.emplace(key, next++);
      if (next > (1 << codeSize) && codeSize < 12) ++codeSize;
      if (next >= 4096) {
        put(clear);
        dict.clear();
        codeSize = minSize + 1;
        next = eoi + 1;
      }
      cur = pix;
    }
  }
  if (cur >= 0) put(cur);
  put(eoi);
  if (accBits > 0) bytes.push_back(uint8_t(acc));

  Stream->WriteByte(uint8_t(minSize));
  for (size_t i = 0; i < bytes.size(); i += 255) {
    const size_t n = std::min<size_t>(255, bytes.size() - i);
    Stream->WriteByte(uint8_t(n));
    Stream->WriteBuffer(bytes.data() + i, int64_t(n));
  }
  Stream->WriteByte(0);
}
