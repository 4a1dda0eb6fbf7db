// The clipboard: text and packed device-independent bitmaps (a BITMAPINFOHEADER, its colour
// table or masks, then bottom-up rows). Without a display it is a store inside the program.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

constexpr int CF_TEXT = 1, CF_BITMAP = 2, CF_DIB = 8;

class TClipboard {
 public:
  bool HasFormat(int format) const;
  void Clear();
  // Open and Close group changes, as the class library's do; nesting is counted.
  void Open() { ++FOpen; }
  void Close() { if (FOpen > 0) --FOpen; }
  std::string AsText() const;
  void SetAsText(const std::string& text);
  // Packed DIB bytes; empty when the clipboard holds no picture.
  std::vector<uint8_t> GetDIB() const;
  void SetDIB(const std::vector<uint8_t>& dib);
  // Tests keep the clipboard inside the program even with a display.
  static void SetInProcess(bool inProcess);

 private:
  int FOpen = 0;
};

TClipboard* Clipboard();
