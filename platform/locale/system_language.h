// The system's default language, behind a seam.
#pragma once

#include <cstdint>

// The primary language id of the system's default language (18 Korean, 9 English, ...). Where
// there is no Windows to ask, English.
uint16_t platform_system_primary_language();
