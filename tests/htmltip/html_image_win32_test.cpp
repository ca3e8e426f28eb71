// Image tags drawn through GDI into 32-bit DIB sections, from the test program's own resources and
// from a library read as data: masks keep the background, shadows darken by their level, strips and
// icons land where the layout puts them, and the library's code never runs.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "htmltip/html_drawer.h"
#include "htmltip/win32/gdi_canvas.h"
#include "htmltip/win32/gdi_objects.h"
#include "htmltip/win32/hand_cursor.h"
#include "htmltip/win32/internal.h"
#include "tests/htmltip/image_fixture_ids.h"

namespace {

using namespace v7::htmltip;
using namespace v7::htmltip::win32;

constexpr uint32_t kWhite = 0x00FFFFFF;
constexpr uint32_t kBlue = 0x000000FF;
constexpr uint32_t kGreen = 0x0000A000;

struct Painted {
  HtmlSize size;
  PixelImage pixels;
};

// Measures and draws the text on white, from the test program's resources.
Painted Paint(HtmlDrawer &drawer, const std::u16string &html, HIMAGELIST list = nullptr) {
  Painted out;
  Dib32 dib;
  HDC screen = ::GetDC(nullptr);
  EXPECT_TRUE(dib.Create(screen, 64, 48));
  ::ReleaseDC(nullptr, screen);
  PixelImage white;
  white.Resize(64, 48, kWhite);
  dib.WritePixels(white);
  CPPDrawManager2 manager;
  HtmlGdiCanvas canvas(dib.dc(), &manager, ::GetModuleHandleW(nullptr), nullptr, list);
  EXPECT_EQ(drawer.MeasureHtml(canvas, html, &out.size), 0);
  drawer.DrawHtml(canvas, HtmlRect{0, 0, out.size.cx, out.size.cy});
  dib.ReadPixels(&out.pixels);
  for (uint32_t &p : out.pixels.pixels) p &= 0x00FFFFFF;
  return out;
}

// Every pixel outside the box is still white.
void ExpectWhiteOutside(const Painted &painted, const HtmlRect &box) {
  for (int y = 0; y < painted.pixels.height; y++)
    for (int x = 0; x < painted.pixels.width; x++) {
      if (x >= box.left && x < box.right && y >= box.top && y < box.bottom) continue;
      ASSERT_EQ(painted.pixels.at(x, y), kWhite) << x << "," << y;
    }
}

std::wstring FixtureLibrary() {
  wchar_t path[MAX_PATH];
  const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, n);
  return folder.substr(0, folder.find_last_of(L"\\/") + 1) + L"htmltip_image_fixture.dll";
}

std::u16string U16(const std::wstring &text) { return std::u16string(text.begin(), text.end()); }

bool FixtureCodeRan() { return ::GetEnvironmentVariableW(L"V7_IMAGE_FIXTURE_RAN", nullptr, 0) != 0; }

TEST(HtmlImageGdi, AMaskedBitmapKeepsTheBackground) {
  HtmlDrawer drawer(HtmlGeneration::kSecond, nullptr);
  const Painted p = Paint(drawer, u"<bmp idres=101 mask>");
  EXPECT_EQ(p.size.cx, 9);
  EXPECT_EQ(p.size.cy, 9);
  for (int y = 0; y < 8; y++)
    for (int x = 0; x < 8; x++) {
      const bool square = x >= 2 && x < 6 && y >= 2 && y < 6;
      EXPECT_EQ(p.pixels.at(x, y), square ? kBlue : kWhite) << x << "," << y;
    }
  ExpectWhiteOutside(p, HtmlRect{0, 0, 8, 8});
}

TEST(HtmlImageGdi, ShadowsDarkenBesideTheImage) {
  HtmlDrawer drawer(HtmlGeneration::kSecond, nullptr);
  drawer.imageSettings.softShadow = false;
  Painted p = Paint(drawer, u"<bmp idres=101 mask style=s>");
  EXPECT_EQ(p.size.cx, 8 + 4 + 1);
  // A plain shadow is the square's silhouette 4 pixels down and right, at half the light.
  for (int y = 0; y < 12; y++)
    for (int x = 0; x < 12; x++) {
      const bool square = x >= 2 && x < 6 && y >= 2 && y < 6;
      const bool shadow = x >= 6 && x < 10 && y >= 6 && y < 10;
      EXPECT_EQ(p.pixels.at(x, y), square ? kBlue : shadow ? DarkenPixel(kWhite, 127) : kWhite) << x << "," << y;
    }
  ExpectWhiteOutside(p, HtmlRect{0, 0, 12, 12});
  // A soft one spreads the same darkness over the blur, never darker, and stays in the box.
  drawer.imageSettings.softShadow = true;
  p = Paint(drawer, u"<bmp idres=101 mask style=s>");
  unsigned darkest = 255;
  for (int y = 0; y < 12; y++)
    for (int x = 0; x < 12; x++) {
      const uint32_t px = p.pixels.at(x, y);
      if (px != kBlue) darkest = std::min(darkest, unsigned(px & 0xFF));
    }
  EXPECT_GE(darkest, 127u);
  EXPECT_LT(darkest, 255u);
  ExpectWhiteOutside(p, HtmlRect{0, 0, 12, 12});
}

TEST(HtmlImageGdi, ALibraryNamedByTheTextIsReadAsData) {
  ASSERT_FALSE(FixtureCodeRan());
  HtmlDrawer drawer(HtmlGeneration::kSecond, nullptr);
  const Painted p = Paint(drawer, u"<bmp iddll=101 mask srcdll=\"" + U16(FixtureLibrary()) + u"\">");
  EXPECT_EQ(p.size.cx, 9);
  EXPECT_EQ(p.pixels.at(3, 3), kBlue);
  EXPECT_EQ(p.pixels.at(0, 0), kWhite);
  // Its entry point never ran, and it is not left mapped.
  EXPECT_FALSE(FixtureCodeRan());
  EXPECT_EQ(::GetModuleHandleW(L"htmltip_image_fixture.dll"), nullptr);
  // A library that is not there, or a resource it lacks, draws nothing.
  EXPECT_EQ(Paint(drawer, u"<bmp iddll=101 srcdll=\"Z:\\no\\such.dll\">").size.cx, 0);
  EXPECT_EQ(Paint(drawer, u"<bmp iddll=999 srcdll=\"" + U16(FixtureLibrary()) + u"\">").size.cx, 0);
  // The check means something: loaded as code, the library does mark the process.
  HMODULE code = ::LoadLibraryW(FixtureLibrary().c_str());
  ASSERT_NE(code, nullptr);
  EXPECT_TRUE(FixtureCodeRan());
  ::FreeLibrary(code);
  ::SetEnvironmentVariableW(L"V7_IMAGE_FIXTURE_RAN", nullptr);
}

TEST(HtmlImageGdi, FilesOnThisMachineOnly) {
  HtmlDrawer drawer(HtmlGeneration::kSecond, nullptr);
  const std::string folder = std::string(V7_TEST_FIXTURES_DIR) + "/htmltip/masked.bmp";
  const Painted p = Paint(drawer, u"<bmp mask file=\"" + std::u16string(folder.begin(), folder.end()) + u"\">");
  EXPECT_EQ(p.size.cx, 9);
  EXPECT_EQ(p.pixels.at(3, 3), kBlue);
  EXPECT_EQ(p.pixels.at(0, 0), kWhite);
  // A share or device name is never opened, neither as a picture nor as a library.
  for (const char16_t *html : {u"<bmp file=\"\\\\server\\share\\x.bmp\">", u"<bmp file=\"//server/share/x.bmp\">",
                               u"<icon file=\"\\\\?\\C:\\x.ico\">",
                               u"<bmp iddll=101 srcdll=\"\\\\server\\share\\x.dll\">"}) {
    EXPECT_EQ(Paint(drawer, html).size.cx, 0);
  }
  // The object-manager prefix reaches every share and device as well; the same file named
  // through it is not opened.
  std::u16string dos;
  for (char c : folder) dos += c == '/' ? u'\\' : char16_t(c);
  ASSERT_EQ(Paint(drawer, u"<bmp file=\"" + dos + u"\">").size.cx, 9);
  EXPECT_EQ(Paint(drawer, u"<bmp file=\"\\??\\" + dos + u"\">").size.cx, 0);
  EXPECT_EQ(Paint(drawer, u"<bmp file=\"\\??\\UNC\\server\\share\\x.bmp\">").size.cx, 0);
}

// The names a text may give for a file or a library: on this machine, and never through the
// object manager's prefix (which CreateFile takes as it stands, shares and devices included).
TEST(HtmlImageGdi, LocalNamesOnly) {
  const struct {
    const char16_t *name;
    bool local;
  } cases[] = {
      {u"C:\\x.bmp", true},          {u"x.bmp", true},
      {u"\\x.bmp", true},            {u"..\\x.bmp", true},
      {u"", false},                   {u"\\\\server\\share\\x.bmp", false},
      {u"//server/share/x.bmp", false}, {u"\\/server\\x.bmp", false},
      {u"\\\\?\\C:\\x.bmp", false},     {u"\\??\\UNC\\server\\share\\x.bmp", false},
      {u"\\??\\C:\\x.bmp", false},      {u"/?" u"?/C:/x.bmp", false},
  };
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; i++)
    EXPECT_EQ(internal::IsLocalName(cases[i].name), cases[i].local) << "case " << i;
}

TEST(HtmlImageGdi, IconsAndStripFrames) {
  HtmlDrawer drawer(HtmlGeneration::kSecond, nullptr);
  Painted p = Paint(drawer, u"<icon idres=102 width=16 height=16>");
  EXPECT_EQ(p.size.cx, 17);
  EXPECT_EQ(p.pixels.at(8, 8), kGreen);
  EXPECT_EQ(p.pixels.at(1, 1), kWhite);  // the icon's own mask
  ExpectWhiteOutside(p, HtmlRect{0, 0, 16, 16});
  // Half the system icon size.
  p = Paint(drawer, u"<icon idres=102 width=50% height=50%>");
  EXPECT_EQ(p.size.cx, ::GetSystemMetrics(SM_CXICON) / 2 + 1);
  // The third frame of the strip is blue; a fifth does not exist and draws nothing.
  p = Paint(drawer, u"<ilst idres=103 cx=8 index=2>");
  EXPECT_EQ(p.size.cx, 9);
  EXPECT_EQ(p.pixels.at(4, 4), kBlue);
  ExpectWhiteOutside(p, HtmlRect{0, 0, 8, 8});
  p = Paint(drawer, u"<ilst idres=103 index=4>");
  EXPECT_EQ(p.size.cx, 9);
  ExpectWhiteOutside(p, HtmlRect{0, 0, 0, 0});
  // The first generation draws its icons three pixels low, inside the size it measures.
  HtmlDrawer first(HtmlGeneration::kFirst, nullptr);
  p = Paint(first, u"<icon idres=102 width=16 height=16>");
  EXPECT_EQ(p.size.cy, 16 + 3 + 1);
  EXPECT_EQ(p.pixels.at(8, 4 + 3), kGreen);
  EXPECT_EQ(p.pixels.at(8, 4 + 2), kWhite);
  EXPECT_EQ(p.pixels.at(8, 11 + 3), kGreen);
  ExpectWhiteOutside(p, HtmlRect{0, 3, 16, 19});
  // ... and its bitmaps transparent where the mask colour is, "mask" given or not.
  p = Paint(first, u"<bmp idres=101>");
  EXPECT_EQ(p.pixels.at(0, 0), kWhite);
  EXPECT_EQ(p.pixels.at(3, 3), kBlue);
}

TEST(HtmlImageGdi, TheOwnersImageList) {
  HIMAGELIST list = ImageList_Create(16, 16, ILC_COLOR24 | ILC_MASK, 1, 1);
  ASSERT_NE(list, nullptr);
  HICON icon = static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_FIXTURE_SQUARE),
                                               IMAGE_ICON, 16, 16, 0));
  ASSERT_NE(icon, nullptr);
  ASSERT_EQ(ImageList_AddIcon(list, icon), 0);
  ::DestroyIcon(icon);
  HtmlDrawer drawer(HtmlGeneration::kSecond, nullptr);
  Painted p = Paint(drawer, u"<ilst index=0>", list);
  EXPECT_EQ(p.size.cx, 17);
  EXPECT_EQ(p.pixels.at(8, 8), kGreen);
  EXPECT_EQ(p.pixels.at(1, 1), kWhite);
  EXPECT_EQ(Paint(drawer, u"<ilst index=1>", list).size.cx, 0);
  EXPECT_EQ(Paint(drawer, u"<ilst index=0>").size.cx, 0);  // no list given
  ImageList_Destroy(list);
}

TEST(HtmlImageGdi, TheHandCursor) {
  HtmlHandCursor hand;
  ASSERT_NE(hand.get(), nullptr);
  EXPECT_TRUE(hand.Show());
  EXPECT_EQ(::GetCursor(), hand.get());
  // The help program's hand is read from the program as data, as from any library.
  HCURSOR fromLibrary = HtmlHandCursor::LoadFromModule(FixtureLibrary().c_str());
  EXPECT_NE(fromLibrary, nullptr);
  EXPECT_FALSE(FixtureCodeRan());
  if (fromLibrary != nullptr) ::DestroyCursor(fromLibrary);
  EXPECT_EQ(HtmlHandCursor::LoadFromModule(L"Z:\\no\\such\\winhlp32.exe"), nullptr);
}

}  // namespace
