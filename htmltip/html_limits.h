// The bounds that keep an HTML text, a style sheet or a caller's table additions from exhausting
// memory or time. The system's own tooltip texts are a few hundred characters with a handful of
// nested tags; every limit leaves them far inside.
#pragma once

#include <cstddef>

namespace v7::htmltip {

// UTF-16 units of an HTML text a drawer accepts; longer texts are refused whole.
constexpr size_t kMaxHtmlTextUnits = 32768;
// UTF-16 units of the text after its entities and line breaks are rewritten: a line feed becomes
// four units, so a text at the first bound may grow past it, but not without end.
constexpr size_t kMaxPreparedTextUnits = 4 * kMaxHtmlTextUnits;

// Saved styles: opening style tags nested deeper than this are ignored.
constexpr size_t kMaxStyleDepth = 64;

// A style sheet: its text and its distinct selectors. A larger sheet is refused whole.
constexpr size_t kMaxStyleSheetUnits = 32768;
constexpr size_t kMaxStyleRules = 256;

// Caller additions to the entity and colour tables, beyond the built-in entries.
constexpr size_t kMaxEntities = 64;
constexpr size_t kMaxEntityUnits = 16;  // of an entity text and of its replacement
constexpr size_t kMaxColors = 512;
constexpr size_t kMaxColorNameUnits = 32;

// Text fields of a style: a font face as a font record holds it (31 units and the terminator), a
// link as long as a browser takes one, an image description as long as a path.
constexpr size_t kMaxFontFaceUnits = 31;
constexpr size_t kMaxLinkTextUnits = 2048;
constexpr size_t kMaxImageNameUnits = 260;

// Every length read from text (sizes, widths, margins, counts) is clipped to 0..kMaxHtmlLength
// pixels, so that sums and products of a few of them cannot overflow 32 bits.
constexpr int kMaxHtmlLength = 16384;

}  // namespace v7::htmltip
