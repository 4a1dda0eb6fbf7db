// Languages of the viewer build's dialogs: five, English by default.
#pragma once
#include <cstdint>

namespace corvelo::lib {

enum TMsgLanguage : uint8_t { msEnglish, msItalian, msGerman, msSpanish, msFrench };

}  // namespace corvelo::lib
