// Renders the tooltips the certificate selection dialog shows (expiry, phone menu, hard disk, Caps
// Lock; Korean and English; both generations) through the windows' own paint into 32-bit DIBs on
// a white backdrop, checks what must hold whatever the fonts, and writes them as PNG files into
// <V7_SCREENSHOT_DIR>/tooltips. tooltip_goldens.py compares those with the golden images beside
// this file (and regenerates them on purpose).
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "htmltip/win32/gdi_objects.h"
#include "htmltip/win32/pptooltip.h"
#include "htmltip/win32/pptooltip2.h"
#include "tests/ui/robot.h"
#include "tooltip_texts.h"

namespace {

using namespace v7::htmltip;
using namespace v7::htmltip::win32;

constexpr uint32_t kBackdrop = 0x00FFFFFF;

class Owner {
 public:
  Owner() {
    hwnd = ::CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP | WS_VISIBLE, 50, 50, 300, 200, nullptr, nullptr,
                             nullptr, nullptr);
  }
  ~Owner() { ::DestroyWindow(hwnd); }
  HWND hwnd;
};

// Paints through `paint` onto a white DIB of the window's size, checks that the shape kept the
// backdrop outside it, and writes the PNG.
template <typename Paint>
void Render(const std::string &name, HWND window, HRGN region, Paint paint) {
  RECT r{};
  ASSERT_TRUE(::GetWindowRect(window, &r)) << name;
  const int width = r.right - r.left, height = r.bottom - r.top;
  ASSERT_GT(width, 20) << name;
  ASSERT_GT(height, 16) << name;
  Dib32 dib;
  ASSERT_TRUE(dib.Create(nullptr, width, height));
  PixelImage image;
  image.Resize(width, height, kBackdrop);
  dib.WritePixels(image);
  ASSERT_TRUE(paint(dib.dc())) << name;
  dib.ReadPixels(&image);
  int inked = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint32_t pixel = image.at(x, y) & 0x00FFFFFF;
      if (!::PtInRegion(region, x, y)) {
        ASSERT_EQ(pixel, kBackdrop) << name << " painted outside its shape at " << x << "," << y;
      } else {
        inked += pixel != kBackdrop;
      }
    }
  }
  EXPECT_GT(inked, 50) << name << ": nothing drawn";
  const char *dir = std::getenv("V7_SCREENSHOT_DIR");
  ASSERT_NE(dir, nullptr) << "V7_SCREENSHOT_DIR names where the images go";
  const std::string folder = std::string(dir) + "/tooltips";
  ::CreateDirectoryA(folder.c_str(), nullptr);
  const auto png = v7test::EncodePng(reinterpret_cast<const unsigned char *>(image.pixels.data()), width, height);
  FILE *file = std::fopen((folder + "/" + name + ".png").c_str(), "wb");
  ASSERT_NE(file, nullptr) << folder;
  const bool written = std::fwrite(png.data(), 1, png.size(), file) == png.size();
  EXPECT_TRUE(std::fclose(file) == 0 && written) << name;
}

TEST(TooltipGoldens, TheSelectionDialogsTips) {
  Owner owner;
  const HMODULE resources = ::GetModuleHandleW(nullptr);
  for (const v7test::SelectionDialogTip &t : v7test::SelectionDialogTips()) {
    ASSERT_FALSE(t.html.empty()) << t.name;
    if (t.generation == HtmlGeneration::kFirst) {
      CPPToolTip tip;
      tip.SetResourceModule(resources);
      ASSERT_TRUE(tip.Create(owner.hwnd, t.windowBackground));
      tip.ShowTip(t.linkTip ? L"cn=Hong" : nullptr, POINT{200, 200}, t.html);
      ASSERT_TRUE(tip.IsWindowVisible()) << t.name;
      Render(t.name, tip, tip.region(), [&](HDC dc) { return tip.PaintTo(dc); });
    } else {
      CPPToolTip2 tip;
      tip.SetResourceModule(resources);
      ASSERT_TRUE(tip.Create(owner.hwnd));
      tip.ShowHelpTip(POINT{300, 300}, t.html);
      ASSERT_TRUE(tip.IsWindowVisible()) << t.name;
      Render(t.name, tip, tip.region(), [&](HDC dc) { return tip.PaintTo(dc, 0); });
    }
  }
}

}  // namespace
