// Why a document could not be opened or saved, in a sentence for the second line of the
// editor's "Could not open" and "Could not save" messages.
#pragma once
#include <string>

class TVistrelIO;

namespace quillon {

// IO is the document's I/O component after the failed load or save; Error is the system's
// error number of a file that could not be opened or created (0 when the component stopped
// by itself).
std::string OpenFailureReason(const TVistrelIO* IO, const std::string& FileName, int Error);
std::string SaveFailureReason(const TVistrelIO* IO, const std::string& FileName, int Error);

}  // namespace quillon
