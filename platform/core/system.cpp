#include "platform/core/system.h"

#include <chrono>

namespace {
int gPixelsPerInch = 96;
std::function<uint32_t()> gTickSource;
const auto gStart = std::chrono::steady_clock::now();
}  // namespace

int ScreenPixelsPerInch() { return gPixelsPerInch; }
void SetScreenPixelsPerInch(int ppi) { gPixelsPerInch = ppi > 0 ? ppi : 96; }

uint32_t GetTickCount() {
  if (gTickSource) return gTickSource();
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - gStart).count();
  return uint32_t(ms);
}

void SetTickCountSource(std::function<uint32_t()> source) { gTickSource = std::move(source); }
