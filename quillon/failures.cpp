#include "quillon/failures.h"

#include <cerrno>
#include <cstring>

#include "platform/core/stream.h"
#include "vistrel/io/registry.h"
#include "vistrel/io/vistrelio.h"

namespace quillon {

namespace {

std::string SystemReason(int Error, bool Saving) {
  switch (Error) {
    case EACCES:
    case EPERM:
      return Saving ? "Permission denied: the folder or the file may not be written."
                    : "Permission denied: the file may not be read.";
    case EROFS: return "Permission denied: the disk is read-only.";
    case ENOSPC:
    case EDQUOT: return "The disk is full.";
    case EFBIG: return "The file is larger than the system allows.";
    case ENOENT:
    case ENOTDIR: return Saving ? "The folder does not exist." : "The file does not exist.";
    case EISDIR: return "The name is that of a folder.";
    case ELOOP: return "The name is a loop of links.";
    case ENAMETOOLONG: return "The name is too long.";
    default: {
      std::string text = std::strerror(Error);
      return text + ".";
    }
  }
}

// The extension without its dot, in capitals ("JPG"); empty when there is none.
std::string ExtName(const std::string& FileName) {
  std::string ext = ExtractFileExt(FileName);
  if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
  return UpperCase(ext);
}

// The file's content is of another format than its name says, or of none.
bool ContentIsNotItsType(const std::string& FileName) {
  const TVLFileFormatInfo* named = VLFindFormatByExt(LowerCase(ExtName(FileName)));
  return named && VLFindFileFormat(FileName, false) != named->TypeId;
}

std::string CauseReason(TVLCause Cause, const std::string& FileName, bool Saving) {
  const std::string ext = ExtName(FileName);
  switch (Cause) {
    case vcNoCodec: return "The file format is not known.";
    case vcNotFormat: return "The file is not in " + ext + " format.";
    case vcTruncated: return "The file is damaged: it ends before its picture does.";
    case vcBadHeader:
    case vcBadData:
    case vcLibraryError: return "The file is damaged.";
    case vcUnsupported: return "This variant of the " + ext + " format is not supported.";
    case vcTooLarge: return "The picture is too large.";
    case vcNoImage: return "The file holds no such picture.";
    case vcNoCoder: return "The LZW coder that this format needs is not installed.";
    case vcNoPicture: return "There is no picture.";
    case vcCancelled: return "It was cancelled.";
    case vcWriteFailed: return "The file could not be written.";
    case vcNone: break;
  }
  return Saving ? "The file could not be written." : "The file could not be read.";
}

}  // namespace

std::string OpenFailureReason(const TVistrelIO* IO, const std::string& FileName, int Error) {
  if (Error) return SystemReason(Error, false);
  if (IO->AbortError()) return SystemReason(IO->AbortError(), false);
  TVLCause cause = IO->AbortCause();
  // A reader only sees data it can't decode; the content says whether they were ever its format.
  if ((cause == vcBadHeader || cause == vcBadData || cause == vcLibraryError || cause == vcTruncated) &&
      ContentIsNotItsType(FileName))
    cause = vcNotFormat;
  return CauseReason(cause, FileName, false);
}

std::string SaveFailureReason(const TVistrelIO* IO, const std::string& FileName, int Error) {
  if (Error) return SystemReason(Error, true);
  if (IO->AbortError()) return SystemReason(IO->AbortError(), true);
  return CauseReason(IO->AbortCause(), FileName, true);
}

}  // namespace quillon
