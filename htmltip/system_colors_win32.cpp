#include "htmltip/system_colors_win32.h"

#include <windows.h>

namespace v7::htmltip {

HtmlColor HtmlWindowsSystemColor(int index) { return HtmlColor(GetSysColor(index)) & kHtmlColorMask; }

}  // namespace v7::htmltip
