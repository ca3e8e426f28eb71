// Parsing, laying out and drawing each tooltip the certificate selection dialog shows in the
// Windows build: the drawer of the tip's generation through the GDI canvas into a 32-bit DIB, its
// icons loaded from this program's resources, one fresh drawer per round. A plain program (no
// benchmark library), run under Wine by bench/run-tooltip-bench. Target: under 5 ms a tip.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "htmltip/html_drawer.h"
#include "htmltip/system_colors_win32.h"
#include "htmltip/win32/gdi_canvas.h"
#include "htmltip/win32/gdi_objects.h"
#include "tests/htmltip/tooltip_texts.h"

namespace {

using namespace v7::htmltip;
using namespace v7::htmltip::win32;

constexpr int kRounds = 300;

}  // namespace

int main() {
  Dib32 surface;
  if (!surface.Create(nullptr, 640, 240)) {
    std::fprintf(stderr, "tooltip_gdi_bench: no DIB section\n");
    return 1;
  }
  CPPDrawManager2 manager;
  const HMODULE resources = ::GetModuleHandleW(nullptr);
  std::printf("%-18s %10s %10s %10s  %s\n", "tooltip", "mean ms", "best ms", "worst ms", "size");
  bool slow = false;
  for (const v7test::SelectionDialogTip &tip : v7test::SelectionDialogTips()) {
    double total = 0, best = 1e9, worst = 0;
    HtmlSize size;
    for (int round = 0; round <= kRounds; ++round) {
      const auto start = std::chrono::steady_clock::now();
      HtmlDrawer drawer(tip.generation, HtmlWindowsSystemColor);
      HtmlGdiCanvas canvas(surface.dc(), &manager, resources);
      drawer.MeasureHtml(canvas, tip.html, &size);
      drawer.DrawHtml(canvas, HtmlRect{10, 10, 10 + size.cx, 10 + size.cy});
      ::GdiFlush();
      const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
      if (round == 0) continue;  // the first round loads the fonts and the icons
      total += ms;
      best = std::min(best, ms);
      worst = std::max(worst, ms);
    }
    const double mean = total / kRounds;
    slow = slow || mean >= 5.0;
    std::printf("%-18s %10.3f %10.3f %10.3f  %d x %d\n", tip.name.c_str(), mean, best, worst, size.cx, size.cy);
  }
  std::printf(slow ? "some tip takes 5 ms or more\n" : "every tip under 5 ms\n");
  return slow ? 2 : 0;
}
