// The clipboard: text and packed device-independent bitmaps (a BITMAPINFOHEADER, its colour
// table or masks, then bottom-up rows), over the system's clipboard. A picture we put there is
// offered to other programs as PNG (and the other image types Qt writes) beside the DIB; a
// picture another program put there in any image type Qt reads comes back as a 24-bit DIB.
// Without a Qt application, or when a test asks for it, it is a store inside the program.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

constexpr int CF_TEXT = 1, CF_BITMAP = 2, CF_DIB = 8;

class TBitmap;

class TClipboard {
 public:
  bool HasFormat(int format) const;
  void Clear();
  // Open and Close group changes, as the class library's do; nesting is counted. Open fails
  // (and nothing is to be done) while the clipboard is held elsewhere.
  bool Open();
  void Close() {
    if (FOpen > 0) --FOpen;
  }
  std::string AsText() const;
  void SetAsText(const std::string& text);
  // Packed DIB bytes; empty when the clipboard holds no picture or one too large to take
  // (over TBitmap::MaxBytes).
  std::vector<uint8_t> GetDIB() const;
  // Puts the packed DIB there. Picture, a pf24bit or pf1bit bitmap of the same pixels, is
  // what other programs get as an image; it is copied, and encoded only when asked for.
  void SetDIB(std::vector<uint8_t> dib, const TBitmap* Picture = nullptr);
  // Tests keep the clipboard inside the program even with a display.
  static void SetInProcess(bool inProcess);
  // Tests stand in for another program holding the clipboard: Open fails meanwhile.
  static void SetHeldElsewhere(bool held);

 private:
  int FOpen = 0;
};

TClipboard* Clipboard();
