// Machine facts that tests pin: screen resolution and the tick count.
#pragma once
#include <cstdint>
#include <functional>

// Pixels per inch of the screen (96 unless a test or the GUI layer sets it).
int ScreenPixelsPerInch();
void SetScreenPixelsPerInch(int ppi);

// Milliseconds since start-up; a test may install its own clock.
uint32_t GetTickCount();
void SetTickCountSource(std::function<uint32_t()> source);  // empty: the real clock
