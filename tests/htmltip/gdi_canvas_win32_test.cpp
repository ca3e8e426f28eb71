// The HTML canvas over a device context: its measurements are GDI's, its state is put back after a
// pass, its images load as data, and it leaves no GDI object behind.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "htmltip/html_drawer.h"
#include "htmltip/win32/gdi_canvas.h"
#include "gdi_count_win32.h"
#include "htmltip/win32/gdi_objects.h"

namespace {

using namespace v7::htmltip;
using namespace v7::htmltip::win32;
using v7test::CountGdiObjects;

struct CanvasSurface {
  Dib32 dib;
  CPPDrawManager2 manager;
  CanvasSurface() {
    HDC screen = ::GetDC(nullptr);
    EXPECT_TRUE(dib.Create(screen, 200, 60));
    ::ReleaseDC(nullptr, screen);
  }
};

HFONT DirectFont(const HtmlFont &font) {
  LOGFONTW lf{};
  lf.lfHeight = font.height;
  lf.lfWeight = font.weight;
  lf.lfItalic = font.italic;
  lf.lfCharSet = DEFAULT_CHARSET;
  std::copy(font.face.begin(), font.face.end(), lf.lfFaceName);
  return ::CreateFontIndirectW(&lf);
}

TEST(HtmlGdiCanvas, TextWidthsAreGdisOwn) {
  CanvasSurface s;
  HtmlGdiCanvas canvas(s.dib.dc(), &s.manager, nullptr);
  const std::u16string texts[] = {u"Hello, world", u"\uD55C\uAD6D\uC5B4 \uD14D\uC2A4\uD2B8", u"i", u"WWWW  x"};
  for (const char16_t *face : {u"Verdana", u"Arial", u"NanumGothic"}) {
    for (int height : {11, 13, 16, 24}) {
      for (int weight : {400, 700}) {
        HtmlFont font;
        font.face = face;
        font.height = height;
        font.weight = weight;
        canvas.save_state();
        ASSERT_TRUE(canvas.select_font(font));
        HDC probe = ::CreateCompatibleDC(s.dib.dc());
        GdiObject<HFONT> direct(DirectFont(font));
        HGDIOBJ old = ::SelectObject(probe, direct.get());
        for (const std::u16string &text : texts) {
          SIZE want{};
          ASSERT_TRUE(::GetTextExtentPoint32W(probe, reinterpret_cast<const wchar_t *>(text.c_str()), int(text.size()), &want));
          const HtmlSize got = canvas.text_extent(text);
          EXPECT_EQ(got.cx, want.cx);
          EXPECT_EQ(got.cy, want.cy);
        }
        TEXTMETRICW tm{};
        ::GetTextMetricsW(probe, &tm);
        EXPECT_EQ(canvas.text_metrics().height, tm.tmHeight);
        EXPECT_EQ(canvas.text_metrics().ascent, tm.tmAscent);
        ::SelectObject(probe, old);
        ::DeleteDC(probe);
        canvas.restore_state();
      }
    }
  }
  EXPECT_EQ(canvas.pixels_per_inch_y(), ::GetDeviceCaps(s.dib.dc(), LOGPIXELSY));
}

TEST(HtmlGdiCanvas, APassPutsBackTheDeviceContext) {
  CanvasSurface s;
  HDC dc = s.dib.dc();
  ::SetTextColor(dc, 0x123456);
  ::SetBkMode(dc, OPAQUE);
  HGDIOBJ before = ::GetCurrentObject(dc, OBJ_FONT);
  {
    HtmlGdiCanvas canvas(dc, &s.manager, nullptr);
    canvas.save_state();
    HtmlFont font;
    font.height = 20;
    EXPECT_TRUE(canvas.select_font(font));
    font.italic = true;
    EXPECT_TRUE(canvas.select_font(font));
    canvas.set_text_color(0xFF);
    canvas.set_background_mode(kHtmlTransparent);
    canvas.text_out(2, 2, u"abc");
    EXPECT_NE(::GetCurrentObject(dc, OBJ_FONT), before);
    canvas.restore_state();
    EXPECT_EQ(::GetCurrentObject(dc, OBJ_FONT), before);
    EXPECT_EQ(::GetTextColor(dc), COLORREF(0x123456));
    EXPECT_EQ(::GetBkMode(dc), OPAQUE);
    // A canvas dropped in the middle of a pass still gives the DC back its font.
    canvas.save_state();
    EXPECT_TRUE(canvas.select_font(font));
  }
  EXPECT_EQ(::GetCurrentObject(dc, OBJ_FONT), before);
}

// How many states are saved on the DC: the level SaveDC gives, less the one it just made.
int SaveLevel(HDC dc) {
  const int level = ::SaveDC(dc);
  ::RestoreDC(dc, -1);
  return level - 1;
}

TEST(HtmlGdiCanvas, NestedStatesPairAtAnyDepth) {
  CanvasSurface s;
  HDC dc = s.dib.dc();
  const HGDIOBJ before = ::GetCurrentObject(dc, OBJ_FONT);
  const int level = SaveLevel(dc);
  const unsigned objects = CountGdiObjects();
  for (int depth = 1; depth <= 4; ++depth) {
    SCOPED_TRACE(depth);
    HtmlGdiCanvas canvas(dc, &s.manager, nullptr);
    std::vector<HGDIOBJ> fonts;  // the font selected in each level, innermost last
    for (int d = 0; d < depth; ++d) {
      canvas.save_state();
      EXPECT_EQ(SaveLevel(dc), level + d + 1);
      HtmlFont font;
      font.height = 12 + d;
      ASSERT_TRUE(canvas.select_font(font));
      font.weight = 700;
      ASSERT_TRUE(canvas.select_font(font));  // a level may replace its own font
      fonts.push_back(::GetCurrentObject(dc, OBJ_FONT));
      canvas.set_text_color(HtmlColor(d + 1));
    }
    for (int d = depth - 1; d > 0; --d) {
      canvas.restore_state();
      EXPECT_EQ(SaveLevel(dc), level + d);
      // The level around is back whole: its own font, still alive, and its colour.
      EXPECT_EQ(::GetCurrentObject(dc, OBJ_FONT), fonts[d - 1]);
      EXPECT_EQ(::GetObjectType(fonts[d - 1]), DWORD(OBJ_FONT));
      EXPECT_EQ(::GetTextColor(dc), COLORREF(d));
      canvas.text_out(0, 0, u"x");
    }
    canvas.restore_state();
    EXPECT_EQ(SaveLevel(dc), level);
    EXPECT_EQ(::GetCurrentObject(dc, OBJ_FONT), before);
    // An unpaired restore leaves the DC's saved states alone.
    canvas.restore_state();
    EXPECT_EQ(SaveLevel(dc), level);
  }
  {
    // Dropped two levels deep: the DC comes back as it was.
    HtmlGdiCanvas canvas(dc, &s.manager, nullptr);
    HtmlFont font;
    font.height = 15;
    canvas.save_state();
    ASSERT_TRUE(canvas.select_font(font));
    canvas.save_state();
    font.height = 17;
    ASSERT_TRUE(canvas.select_font(font));
  }
  EXPECT_EQ(SaveLevel(dc), level);
  EXPECT_EQ(::GetCurrentObject(dc, OBJ_FONT), before);
  EXPECT_EQ(CountGdiObjects(), objects);
}

TEST(HtmlGdiCanvas, FillsGoThroughTheDrawManager) {
  CanvasSurface s;
  HtmlGdiCanvas canvas(s.dib.dc(), &s.manager, nullptr);
  canvas.fill_rect(HtmlRect{0, 0, 10, 10}, HtmlRgb(1, 2, 3));
  canvas.fill_effect(HtmlRect{10, 0, 20, 10}, -1, HtmlRgb(9, 9, 9), 0, 0, 5, 0);  // nothing
  canvas.draw_frame(HtmlRect{20, 0, 30, 10}, HtmlRgb(255, 0, 0), HtmlRgb(0, 0, 255), kHtmlLineSolid, 1);
  canvas.draw_line(0, 20, 30, 20, 1, HtmlRgb(0, 255, 0), kHtmlLineSolid);
  PixelImage got;
  s.dib.ReadPixels(&got);
  EXPECT_EQ(got.at(5, 5) & 0xFFFFFF, 0x00010203u);
  EXPECT_EQ(got.at(15, 5) & 0xFFFFFF, 0u);
  EXPECT_EQ(got.at(20, 5) & 0xFFFFFF, 0x00FF0000u);
  EXPECT_EQ(got.at(29, 5) & 0xFFFFFF, 0x000000FFu);
  EXPECT_EQ(got.at(29, 20) & 0xFFFFFF, 0x0000FF00u);
  EXPECT_EQ(got.at(30, 20) & 0xFFFFFF, 0u);
}

TEST(HtmlGdiCanvas, AShadowedImageAndItsShadowStayInTheBox) {
  CanvasSurface s;
  PixelImage white;
  ASSERT_TRUE(white.Resize(200, 60, 0x00FFFFFF));
  s.dib.WritePixels(white);
  PixelImage pixels;
  pixels.Resize(4, 4, 0x000000FF);
  GdiObject<HBITMAP> keep(BitmapFromPixels(pixels));
  ASSERT_TRUE(keep);
  HtmlImageSource source;
  source.handle = reinterpret_cast<uintptr_t>(keep.get());
  HtmlGdiCanvas canvas(s.dib.dc(), &s.manager, nullptr);
  HtmlImageLook look;
  look.shadow = true;
  look.shadowDx = -2;
  look.shadowDy = 3;
  look.effects = kEffectShadow;
  look.effectColor = HtmlRgb(127, 127, 127);
  canvas.draw_image(source, HtmlRect{10, 10, 16, 17}, look);
  PixelImage got;
  s.dib.ReadPixels(&got);
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 200; ++x) {
      const uint32_t p = got.at(x, y) & 0xFFFFFF;
      const bool image = x >= 12 && x < 16 && y >= 10 && y < 14;
      const bool shadow = !image && x >= 10 && x < 14 && y >= 13 && y < 17;
      EXPECT_EQ(p, image ? 0x000000FFu : shadow ? DarkenPixel(0x00FFFFFF, 127) : 0x00FFFFFFu) << x << "," << y;
    }
}

std::u16string SystemLibrary(const wchar_t *name) {
  wchar_t directory[MAX_PATH];
  const UINT n = ::GetSystemDirectoryW(directory, MAX_PATH);
  std::u16string path(reinterpret_cast<const char16_t *>(directory), n);
  path += u"\\";
  path += reinterpret_cast<const char16_t *>(name);
  return path;
}

TEST(HtmlGdiCanvas, ImagesFromALibraryAreReadAsData) {
  CanvasSurface s;
  HtmlGdiCanvas canvas(s.dib.dc(), &s.manager, nullptr);
  const bool loadedBefore = ::GetModuleHandleW(L"comctl32.dll") != nullptr;
  HtmlImageSource source;
  source.kind = HtmlImageKind::kBitmap;
  source.libraryResourceId = 120;  // the standard tool-bar bitmap of the common controls
  source.library = SystemLibrary(L"comctl32.dll");
  HtmlSize size;
  ASSERT_TRUE(canvas.image_size(source, &size));
  EXPECT_GT(size.cx, 0);
  EXPECT_GT(size.cy, 0);
  canvas.draw_image(source, HtmlRect{0, 0, size.cx, size.cy}, HtmlImageLook{});
  // Mapped as data only: no module of that name was loaded, so none of its code ran.
  if (!loadedBefore) {
    EXPECT_EQ(::GetModuleHandleW(L"comctl32.dll"), nullptr);
  }
  source.library = u"Z:\\no\\such\\library.dll";
  EXPECT_FALSE(canvas.image_size(source, &size));
  source = HtmlImageSource{};
  EXPECT_FALSE(canvas.image_size(source, &size));  // nothing named
  source.kind = HtmlImageKind::kImageList;
  source.handle = 1;
  EXPECT_FALSE(canvas.image_size(source, &size));
  source = HtmlImageSource{};
  source.file = u"Z:\\no\\such\\picture.bmp";
  EXPECT_FALSE(canvas.image_size(source, &size));
}

TEST(HtmlGdiCanvas, ManyDrawsLeaveNoGdiObjectBehind) {
  CanvasSurface s;
  // A bitmap its owner keeps, handed over by handle, and a bitmap the canvas loads from a library.
  PixelImage pixels;
  pixels.Resize(8, 8, 0x00FF00FF);
  pixels.FillRect(HtmlRect{2, 2, 6, 6}, 0x80336699);
  GdiObject<HBITMAP> keep(BitmapFromPixels(pixels));
  ASSERT_TRUE(keep);
  HtmlImageSource bitmap;
  bitmap.handle = reinterpret_cast<uintptr_t>(keep.get());
  HtmlImageSource library;
  library.libraryResourceId = 120;
  library.library = SystemLibrary(L"comctl32.dll");
  HtmlImageLook look;
  look.useMask = true;
  look.effects = kEffectGrey | kEffectSoftShadow;
  look.shadow = true;
  look.shadowDx = 3;
  look.shadowDy = 3;
  look.blurX = 4;
  look.blurY = 4;
  const std::u16string images = u"<a href=\"http://x/\"><bmp idres=101 mask style=s></a><icon idres=102>"
                                u"<ilst idres=103 index=1 speed=2><bmp iddll=120 srcdll=\"" + library.library + u"\">";
  auto draws = [&] {
    HtmlGdiCanvas canvas(s.dib.dc(), &s.manager, nullptr);
    canvas.save_state();
    HtmlFont font;
    font.height = 13;
    canvas.select_font(font);
    font.weight = 700;
    canvas.select_font(font);
    canvas.text_out(1, 1, u"abc");
    canvas.text_extent(u"abc");
    for (int effect = -1; effect <= 15; ++effect)
      canvas.fill_effect(HtmlRect{0, 0, 50, 20}, effect, 0xFF, 0xFF00, 0xFF0000, 5, 20);
    canvas.draw_frame(HtmlRect{0, 0, 40, 30}, 0xFF, 0xFF00, kHtmlLineDouble, 2);
    canvas.draw_frame(HtmlRect{0, 0, 40, 30}, 0xFF, 0xFF00, kHtmlLineDash, 1);
    canvas.draw_line(0, 0, 30, 20, 1, 0xFF, kHtmlLineDot);
    canvas.draw_image(bitmap, HtmlRect{0, 0, 11, 11}, look);
    canvas.tile_image(bitmap, HtmlRect{0, 0, 50, 50});
    canvas.draw_image(library, HtmlRect{0, 0, 16, 16}, HtmlImageLook{});
    HtmlSize size;
    canvas.image_size(library, &size);
    canvas.restore_state();
    // The drawer's image tags, from the program's resources and from a library read as data.
    HtmlDrawer drawer(HtmlGeneration::kSecond, nullptr);
    HtmlGdiCanvas resources(s.dib.dc(), &s.manager, ::GetModuleHandleW(nullptr));
    drawer.MeasureHtml(resources, images, &size);
    drawer.DrawHtml(resources, HtmlRect{0, 0, size.cx, size.cy});
    s.manager.AlphaBlend(s.dib.dc(), s.dib.dc(), 0, 0, 20, 20, 40);
  };
  // Without a word against it, a leak of one bitmap per pass must show.
  const unsigned start = CountGdiObjects();
  GdiObject<HBITMAP> leak(::CreateBitmap(4, 4, 1, 1, nullptr));
  ASSERT_EQ(CountGdiObjects(), start + 1);
  leak.reset();
  draws();  // the first pass may make objects GDI keeps for good (stock fonts, caches)
  const unsigned before = CountGdiObjects();
  ASSERT_GT(before, 0u) << "the count must be real for the comparison to mean anything";
  for (int i = 0; i < 200; ++i) draws();
  EXPECT_EQ(CountGdiObjects(), before);
}

// A canvas loads each image once and keeps it for the rest of its life (a text measures and
// draws each image more than once a paint): the file may go after the first load, the image
// stays drawable; the next canvas loads afresh, and nothing is left when the canvas goes.
TEST(HtmlGdiCanvas, EachImageIsLoadedOnceForTheCanvassLife) {
  CanvasSurface s;
  wchar_t folder[MAX_PATH];
  ASSERT_GT(::GetTempPathW(MAX_PATH, folder), 0u);
  const std::wstring file = std::wstring(folder) + L"v7_canvas_cache.bmp";
  const std::string fixture = std::string(V7_TEST_FIXTURES_DIR) + "/htmltip/masked.bmp";
  ASSERT_TRUE(::CopyFileW(std::wstring(fixture.begin(), fixture.end()).c_str(), file.c_str(), FALSE));
  HtmlImageSource source;
  source.file = std::u16string(file.begin(), file.end());
  HtmlSize size;
  const unsigned start = CountGdiObjects();
  {
    HtmlGdiCanvas canvas(s.dib.dc(), &s.manager, nullptr);
    ASSERT_TRUE(canvas.image_size(source, &size));
    ASSERT_TRUE(::DeleteFileW(file.c_str()));
    HtmlSize again;
    ASSERT_TRUE(canvas.image_size(source, &again));
    EXPECT_EQ(again.cx, size.cx);
    const RECT all{0, 0, 200, 60};
    ::FillRect(s.dib.dc(), &all, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    canvas.draw_image(source, HtmlRect{0, 0, size.cx, size.cy}, HtmlImageLook{});
    PixelImage drawn;
    s.dib.ReadPixels(&drawn);
    ASSERT_EQ(drawn.width, 200);
    EXPECT_EQ(drawn.at(3, 3) & 0x00FFFFFF, 0x000000FFu);
  }
  EXPECT_EQ(CountGdiObjects(), start);
  HtmlGdiCanvas next(s.dib.dc(), &s.manager, nullptr);
  EXPECT_FALSE(next.image_size(source, &size));
}

}  // namespace
