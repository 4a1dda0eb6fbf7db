// The file formats the library knows, and format detection by content.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/core.h"
#include "vistrel/codecs/ioparams.h"

using TVLRegistryReadProc = void (*)(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                                     TFilterProgress& Progress);
using TVLRegistryWriteProc = void (*)(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params,
                                      TFilterProgress& Progress);
using TVLRegistryTestProc = bool (*)(TStream* Stream);

struct TVLFileFormatInfo {
  int32_t TypeId = 0;
  std::string Description;  // at most 80 characters
  std::string Extensions;   // without dots, ";"-separated, first preferred
  TVLRegistryReadProc ReadProc = nullptr;
  TVLRegistryWriteProc WriteProc = nullptr;
  TVLRegistryTestProc TestProc = nullptr;
};

// The records in list order (built on first use).
const std::vector<TVLFileFormatInfo*>& VLFileFormats();
void VLInitFormatRegistry();
void VLFreeFormatRegistry();

const TVLFileFormatInfo* VLFindFormatByType(int32_t TypeId);
// The Index-th extension (from 0) of the type, as stored; empty when there is none.
std::string VLFormatExt(int32_t TypeId, int Index);
int VLFormatExtCount(int32_t TypeId);
// Cuts the text before the first ";" off List and returns it.
std::string VLNextExt(std::string& List);
// The first record with that extension (without its dot), ignoring case; nullptr when none.
const TVLFileFormatInfo* VLFindFormatByExt(const std::string& Ext);

// Type code of the stream's content from its position (0 when none); the position is kept.
int32_t VLFindStreamFormat(TStream* Stream);
// Type code of the file's content; with ExtCheck, 0 unless the file's extension is of that type.
int32_t VLFindFileFormat(const std::string& FileName, bool ExtCheck);

// Description, first extension and variant of the parameters' format; empty when the type
// has no record.
std::string VLFormatDescription(const TIOParamsVals& Params);
// The number of colours a picture of the parameters' depth can hold, as decimal text: 2 to
// the power of the bits per pixel, and 16777216 (true colour) from 24 bits up.
std::string VLColorCountText(const TIOParamsVals& Params);
