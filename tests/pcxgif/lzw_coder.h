// A GIF LZW coder for tests and fuzzing only; the product installs none.
#pragma once
#include <cstdint>

#include "platform/core/core.h"

void TestGIFLZWDecode(TStream* Stream, int32_t Height, int32_t Width, bool Interlaced, uint8_t* Buffer);
void TestGIFLZWEncode(TStream* Stream, int32_t Height, int32_t Width, bool Interlaced, uint8_t* Buffer,
                      int32_t BitsPerPixel);
