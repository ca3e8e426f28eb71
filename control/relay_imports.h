// The relay library's exports the control calls (ordinals 1, 2, 3 and 5). They are linked by
// ordinal (v7relay_imports.def makes the import library), so the loader brings the library in
// with the control; the declarations, calling convention included, are the library's own.
#pragma once

#include "wizard/relay_exports.h"
