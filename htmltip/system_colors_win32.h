// The system colours a drawer reads once when it is made, on Windows. Native builds have no
// system colours: their callers hand the vocabulary a source of their own.
#pragma once

#include "htmltip/html_canvas.h"

namespace v7::htmltip {

// GetSysColor of the index, as a COLORREF.
HtmlColor HtmlWindowsSystemColor(int index);

}  // namespace v7::htmltip
