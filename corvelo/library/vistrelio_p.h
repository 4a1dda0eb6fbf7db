// Private to the viewer's library, no API: the I/O component's loads over a stream, for the
// fuzz target.
#pragma once
#include <string>

#include "corvelo/library/vistrelio.h"

namespace corvelo::lib {

// The load LoadFromFile makes of a file with that extension, from the stream's position as if
// the file were open there; FileName is left empty.
void VLViewerLoadStream(TVistrelIO& IO, const std::string& Extension, TStream* Stream);

}  // namespace corvelo::lib
