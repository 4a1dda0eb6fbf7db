#include "vistrel/io/registry.h"

#include <algorithm>
#include <cstring>

#include "vistrel/codecs/bmp.h"
#include "vistrel/codecs/gif.h"
#include "vistrel/codecs/ico.h"
#include "vistrel/codecs/jpeg.h"
#include "vistrel/codecs/pcx.h"
#include "vistrel/codecs/png.h"
#include "vistrel/codecs/tiff.h"

namespace {

std::vector<TVLFileFormatInfo*>*& Registry() {
  static std::vector<TVLFileFormatInfo*>* list = nullptr;
  return list;
}

void AddFormat(int32_t typeId, const char* description, const char* extensions) {
  auto* info = new TVLFileFormatInfo;
  info->TypeId = typeId;
  info->Description = description;
  info->Extensions = extensions;
  Registry()->push_back(info);
}

// Frees the registry when the program ends.
struct TRegistryKeeper {
  ~TRegistryKeeper() { VLFreeFormatRegistry(); }
} RegistryKeeper;

// Up to n bytes from the position (missing ones zero); the position is restored.
void Peek(TStream* s, int64_t p, uint8_t* b, int n) {
  std::memset(b, 0, size_t(n));
  s->Seek(p, soBeginning);
  s->Read(b, n);
  s->Seek(p, soBeginning);
}

// The codecs' content sniffers, in the order formats are tried.
struct TSniffer {
  int32_t Type;
  bool (*Test)(const uint8_t* Head, int64_t StreamSize);
};
constexpr TSniffer kSniffers[] = {
    {ftJPEG, VLIsJPEG}, {ftGIF, VLIsGIF}, {ftPCX, VLIsPCX}, {ftBMP, VLIsBMP}, {ftTIFF, VLIsTIFF}, {ftPNG, VLIsPNG},
};

}  // namespace

void VLInitFormatRegistry() {
  // Built on first use; the LZW hooks start cleared where they are defined, and building
  // the registry later must not undo a coder installed meanwhile.
  if (Registry()) return;
  Registry() = new std::vector<TVLFileFormatInfo*>;
  AddFormat(ftTIFF, "TIFF Bitmap", "TIF;TIFF");
  AddFormat(ftGIF, "CompuServe Bitmap", "GIF");
  AddFormat(ftJPEG, "JPEG Bitmap", "JPG;JPEG;JPE");
  AddFormat(ftPCX, "PaintBrush", "PCX");
  AddFormat(ftBMP, "Windows Bitmap", "BMP");
  AddFormat(ftICO, "Windows Icon", "ICO");
  AddFormat(ftCUR, "Windows Cursor", "CUR");
  AddFormat(ftPNG, "Portable Network Graphics", "PNG");
  AddFormat(ftWMF, "Windows Metafile", "WMF");
  AddFormat(ftEMF, "Enhanced Windows Metafile", "EMF");
}

void VLFreeFormatRegistry() {
  if (!Registry()) return;
  for (TVLFileFormatInfo* info : *Registry()) delete info;
  delete Registry();
  Registry() = nullptr;
}

const std::vector<TVLFileFormatInfo*>& VLFileFormats() {
  VLInitFormatRegistry();
  return *Registry();
}

const TVLFileFormatInfo* VLFindFormatByType(int32_t TypeId) {
  for (const TVLFileFormatInfo* info : VLFileFormats())
    if (info->TypeId == TypeId) return info;
  return nullptr;
}

std::string VLNextExt(std::string& List) {
  size_t p = List.find(';');
  std::string first;
  if (p == std::string::npos) {
    first = List;
    List.clear();
  } else {
    first = List.substr(0, p);
    List.erase(0, p + 1);
  }
  return first;
}

std::string VLFormatExt(int32_t TypeId, int Index) {
  const TVLFileFormatInfo* info = VLFindFormatByType(TypeId);
  if (!info || Index < 0) return std::string();
  std::string list = info->Extensions;
  std::string ext;
  for (int i = 0; i <= Index; ++i) {
    if (list.empty()) return std::string();
    ext = VLNextExt(list);
  }
  return ext;
}

int VLFormatExtCount(int32_t TypeId) {
  int n = 0;
  while (!VLFormatExt(TypeId, n).empty()) ++n;
  return n;
}

const TVLFileFormatInfo* VLFindFormatByExt(const std::string& Ext) {
  if (Ext.empty()) return nullptr;
  const std::string want = UpperCase(Ext);
  for (const TVLFileFormatInfo* info : VLFileFormats()) {
    std::string list = info->Extensions;
    while (!list.empty())
      if (UpperCase(VLNextExt(list)) == want) return info;
  }
  return nullptr;
}

int32_t VLFindStreamFormat(TStream* Stream) {
  if (!Stream) return 0;
  int64_t p = 0;
  try {
    p = Stream->Position();
  } catch (const std::exception&) {
    return 0;
  }
  int32_t type = 0;
  try {
    for (const TVLFileFormatInfo* info : VLFileFormats()) {
      if (!info->TestProc) continue;
      Stream->Seek(p, soBeginning);
      bool hit = info->TestProc(Stream);
      Stream->Seek(p, soBeginning);
      if (hit) {
        type = info->TypeId;
        break;
      }
    }
    if (type == 0) {
      // The signatures differ in their first byte, so no two sniffers answer for one stream;
      // the directories of icons and cursors are walked last.
      const int64_t size = Stream->Size();
      uint8_t head[VLSniffBytes];
      Peek(Stream, p, head, VLSniffBytes);
      for (const TSniffer& sniffer : kSniffers)
        if (sniffer.Test(head, size)) {
          type = sniffer.Type;
          break;
        }
      auto test = [&](bool (*fn)(TStream*)) {
        Stream->Seek(p, soBeginning);
        bool r = fn(Stream);
        Stream->Seek(p, soBeginning);
        return r;
      };
      if (type == 0 && test(IsICOStream)) type = ftICO;
      else if (type == 0 && test(IsCURStream)) type = ftCUR;
    }
  } catch (const std::exception&) {
    type = 0;
  }
  try {
    Stream->Seek(p, soBeginning);
  } catch (const std::exception&) {}
  return type;
}

int32_t VLFindFileFormat(const std::string& FileName, bool ExtCheck) {
  int32_t type = 0;
  try {
    TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
    type = VLFindStreamFormat(&f);
  } catch (const std::exception&) {
    return 0;
  }
  if (ExtCheck) {
    std::string ext = LowerCase(ExtractFileExt(FileName));
    if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
    const TVLFileFormatInfo* info = VLFindFormatByExt(ext);
    if (!info || info->TypeId != type) return 0;
  }
  return type;
}

std::string VLColorCountText(const TIOParamsVals& Params) {
  const int64_t bits = int64_t(Params.SamplesPerPixel) * Params.BitsPerSample;
  if (bits <= 0) return "0";
  return std::to_string(int64_t(1) << std::min<int64_t>(bits, 24));
}

std::string VLFormatDescription(const TIOParamsVals& Params) {
  const TVLFileFormatInfo* info = VLFindFormatByType(Params.FileType);
  if (!info) return std::string();
  std::string s = info->Description + " (" + UpperCase(VLFormatExt(Params.FileType, 0)) + ")";
  switch (Params.FileType) {
    case ftTIFF: {
      static const char* const texts[] = {" Uncompressed",   " Huffman",     " Group 3 Fax",
                                          " Group 3 Fax 2D", " Group 4 Fax", " LZW",
                                          " Jpeg v.5",       " Jpeg",        " PackBits RLE"};
      if (Params.TIFFCompression < 9) s += texts[Params.TIFFCompression];
      break;
    }
    case ftGIF:
      if (Params.GIFInterlaced) s += " Interlaced";
      break;
    case ftJPEG: {
      static const char* const texts[] = {"", " Gray level", " YCbCr", " CMYK", " YCbCrK"};
      if (Params.JPEGColorSpace < 5) s += texts[Params.JPEGColorSpace];
      break;
    }
    case ftPCX:
      if (!Params.PCXCompression) s += " Uncompressed";
      break;
    case ftBMP: {
      static const char* const texts[] = {" ver.1", " ver.3", " OS/2 v.1", " OS/2 v.2"};
      if (Params.BMPVersion < 4) s += texts[Params.BMPVersion];
      break;
    }
    case ftPNG:
      if (Params.PNGInterlaced) s += " Interlaced";
      break;
  }
  return s;
}
