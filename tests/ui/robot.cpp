#include "tests/ui/robot.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace v7test {
namespace {

constexpr DWORD kPollMs = 10;
constexpr UINT kSendTimeoutMs = 10000;

BOOL CALLBACK collect(HWND window, LPARAM param) {
  reinterpret_cast<std::vector<HWND> *>(param)->push_back(window);
  return TRUE;
}

uint32_t crc32(const unsigned char *data, size_t length, uint32_t crc = 0) {
  static uint32_t table[256];
  static bool ready = false;
  if (!ready) {
    for (uint32_t n = 0; n < 256; n++) {
      uint32_t c = n;
      for (int k = 0; k < 8; k++) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table[n] = c;
    }
    ready = true;
  }
  crc = ~crc;
  for (size_t i = 0; i < length; i++) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

void put32(std::vector<unsigned char> &out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back((unsigned char)(v >> shift));
}

void chunk(std::vector<unsigned char> &out, const char *type, const std::vector<unsigned char> &data) {
  put32(out, uint32_t(data.size()));
  size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  put32(out, crc32(out.data() + start, out.size() - start));
}

// A character no font has a glyph for (a noncharacter): what text output draws for a missing one.
constexpr wchar_t kNoGlyph = 0xFFFF;

bool IsBlankOrControl(wchar_t c) {
  return c < 0x20 || (c >= 0x7F && c < 0xA0) || c == L' ' || c == 0xA0 || c == 0x3000 || (c >= 0x2000 && c <= 0x200F) ||
         (c >= 0x2028 && c <= 0x202F) || c == 0xFEFF;
}

// Draws one character black on white into a 32-bit bitmap and returns its pixels with its
// advance width first, so two characters compare equal only when they look the same.
std::vector<uint32_t> Render(HDC dc, wchar_t c, int width, int height) {
  std::vector<uint32_t> pixels;
  SIZE extent{};
  ::GetTextExtentPoint32W(dc, &c, 1, &extent);
  pixels.push_back(uint32_t(extent.cx));
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void *bits = nullptr;
  HBITMAP bitmap = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap == nullptr) return pixels;
  HGDIOBJ old = ::SelectObject(dc, bitmap);
  RECT all{0, 0, width, height};
  ::FillRect(dc, &all, HBRUSH(::GetStockObject(WHITE_BRUSH)));
  ::SetTextColor(dc, RGB(0, 0, 0));
  ::SetBkMode(dc, TRANSPARENT);
  ::TextOutW(dc, 2, 2, &c, 1);
  ::GdiFlush();
  const uint32_t *p = static_cast<const uint32_t *>(bits);
  pixels.insert(pixels.end(), p, p + size_t(width) * size_t(height));
  ::SelectObject(dc, old);
  ::DeleteObject(bitmap);
  return pixels;
}

bool AllWhite(const std::vector<uint32_t> &pixels) {
  for (size_t i = 1; i < pixels.size(); i++) {
    if ((pixels[i] & 0xFFFFFF) != 0xFFFFFF) return false;
  }
  return true;
}


}  // namespace

std::string Utf8FromWide(const std::wstring &text) {
  int length = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(size_t(length > 0 ? length : 0), '\0');
  if (length > 0) ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), &out[0], length, nullptr, nullptr);
  return out;
}

std::wstring WideFromUtf8(const char *utf8) {
  int length = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, nullptr, 0);
  if (length <= 1) return std::wstring();
  std::wstring wide(size_t(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, &wide[0], length);
  wide.resize(size_t(length - 1));
  return wide;
}

std::wstring MissingGlyphsOf(HFONT font, const std::wstring &text) {
  std::wstring candidates;
  for (wchar_t c : text) {
    if (!IsBlankOrControl(c) && candidates.find(c) == std::wstring::npos) candidates += c;
  }
  std::wstring missing;
  if (candidates.empty()) return missing;
  HDC dc = ::CreateCompatibleDC(nullptr);
  HGDIOBJ old_font = ::SelectObject(dc, font != nullptr ? HGDIOBJ(font) : ::GetStockObject(SYSTEM_FONT));
  std::vector<WORD> glyphs(candidates.size());
  if (::GetGlyphIndicesW(dc, candidates.c_str(), int(candidates.size()), glyphs.data(), GGI_MARK_NONEXISTING_GLYPHS) ==
      GDI_ERROR) {
    glyphs.assign(candidates.size(), 0xFFFF);
  }
  // The font itself lacks some: the system may still draw them from a linked font, which only
  // drawing shows. What it draws for a character that no font has is the missing-glyph look.
  TEXTMETRICW metrics{};
  ::GetTextMetricsW(dc, &metrics);
  const int width = metrics.tmMaxCharWidth * 2 + 8, height = metrics.tmHeight * 2 + 8;
  std::vector<uint32_t> no_glyph;
  for (size_t i = 0; i < candidates.size(); i++) {
    if (glyphs[i] != 0xFFFF) continue;
    if (no_glyph.empty()) no_glyph = Render(dc, kNoGlyph, width, height);
    std::vector<uint32_t> drawn = Render(dc, candidates[i], width, height);
    if (drawn == no_glyph || AllWhite(drawn)) missing += candidates[i];
  }
  ::SelectObject(dc, old_font);
  ::DeleteDC(dc);
  return missing;
}

std::string UiRobot::MissingGlyphs(HWND window) const {
  std::vector<HWND> windows = {window};
  ::EnumChildWindows(window, collect, LPARAM(&windows));
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  HFONT caption_font = nullptr;
  if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    caption_font = ::CreateFontIndirectW(&metrics.lfCaptionFont);
  }
  std::string report;
  for (HWND each : windows) {
    if (!::IsWindowVisible(each)) continue;
    // A picture static's "text" is its resource id, not characters anyone reads.
    if (::lstrcmpiW(ClassName(each).c_str(), L"Static") == 0) {
      const LONG kind = ::GetWindowLongW(each, GWL_STYLE) & SS_TYPEMASK;
      if (kind == SS_BITMAP || kind == SS_ICON || kind == SS_ENHMETAFILE) continue;
    }
    const std::wstring text = Text(each);
    const bool caption = each == window && (::GetWindowLongW(each, GWL_STYLE) & WS_CAPTION) == WS_CAPTION;
    HFONT font = caption_font;
    if (!caption) {
      DWORD_PTR got = 0;
      ::SendMessageTimeoutW(each, WM_GETFONT, 0, 0, SMTO_NORMAL, kSendTimeoutMs, &got);
      font = HFONT(got);
    }
    const std::wstring missing = MissingGlyphsOf(font, text);
    if (missing.empty()) continue;
    char id[32];
    std::snprintf(id, sizeof id, caption ? "caption" : "control %d", ::GetDlgCtrlID(each));
    report += std::string(id) + " \"" + Utf8FromWide(text) + "\":";
    for (wchar_t c : missing) {
      char code[16];
      std::snprintf(code, sizeof code, " U+%04X", unsigned(c));
      report += code;
    }
    report += "\n";
  }
  if (caption_font != nullptr) ::DeleteObject(caption_font);
  return report;
}

std::vector<HWND> ThreadWindows(DWORD thread) {
  std::vector<HWND> windows;
  ::EnumThreadWindows(thread, collect, LPARAM(&windows));
  return windows;
}

std::wstring ClassName(HWND window) {
  wchar_t name[64] = {0};
  ::GetClassNameW(window, name, 64);
  return name;
}

UiRobot::UiRobot(DWORD ui_thread) : ui_thread_(ui_thread) {}

bool UiRobot::WaitUntil(const std::function<bool()> &condition, DWORD timeout_ms) const {
  const DWORD start = ::GetTickCount();
  for (;;) {
    if (condition()) return true;
    if (::GetTickCount() - start >= timeout_ms) return false;
    ::Sleep(kPollMs);
  }
}

HWND UiRobot::WaitForWindow(const std::function<bool(HWND)> &match, DWORD timeout_ms) const {
  HWND found = nullptr;
  WaitUntil(
      [&] {
        for (HWND window : ThreadWindows(ui_thread_)) {
          if (::IsWindowVisible(window) && match(window)) {
            found = window;
            return true;
          }
        }
        return false;
      },
      timeout_ms);
  return found;
}

HWND UiRobot::WaitForDialogWithControl(int id, HWND not_this, DWORD timeout_ms) const {
  return WaitForWindow(
      [&](HWND window) {
        return window != not_this && ClassName(window) == L"#32770" && ::GetDlgItem(window, id) != nullptr;
      },
      timeout_ms);
}

bool UiRobot::WaitGone(HWND window, DWORD timeout_ms) const {
  return WaitUntil([&] { return !::IsWindow(window) || !::IsWindowVisible(window); }, timeout_ms);
}

void UiRobot::SetText(HWND window, const std::wstring &text) const {
  DWORD_PTR ignored;
  ::SendMessageTimeoutW(window, WM_SETTEXT, 0, LPARAM(text.c_str()), SMTO_NORMAL, kSendTimeoutMs, &ignored);
}

void UiRobot::TypeKeys(HWND window, const std::wstring &text) const {
  for (wchar_t c : text) ::PostMessageW(window, WM_CHAR, WPARAM(c), 1);
}

void UiRobot::PressKey(HWND window, UINT virtual_key) const {
  const LPARAM scan = LPARAM(::MapVirtualKeyW(virtual_key, 0)) << 16;
  ::PostMessageW(window, WM_KEYDOWN, virtual_key, scan | 1);
  ::PostMessageW(window, WM_KEYUP, virtual_key, scan | 1 | (LPARAM(3) << 30));
}

void UiRobot::Click(HWND dialog, int id) const { ::PostMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

std::wstring UiRobot::Text(HWND window) const {
  DWORD_PTR length = 0;
  if (!::SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kSendTimeoutMs, &length)) return L"";
  std::wstring text(size_t(length) + 1, L'\0');
  DWORD_PTR got = 0;
  if (!::SendMessageTimeoutW(window, WM_GETTEXT, WPARAM(text.size()), LPARAM(&text[0]), SMTO_NORMAL,
                             kSendTimeoutMs, &got))
    return L"";
  text.resize(size_t(got));
  return text;
}

namespace {

// The screen's pixels under the rectangle, as BGRA rows; empty when they could not be read.
std::vector<unsigned char> ScreenPixels(const RECT &rect) {
  std::vector<unsigned char> pixels;
  const int width = rect.right - rect.left, height = rect.bottom - rect.top;
  HDC screen = ::GetDC(nullptr);
  HDC memory = ::CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void *bits = nullptr;
  HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap != nullptr) {
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    if (::BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY)) {
      ::GdiFlush();
      const auto *p = static_cast<const unsigned char *>(bits);
      pixels.assign(p, p + size_t(width) * size_t(height) * 4);
    }
    ::SelectObject(memory, old);
    ::DeleteObject(bitmap);
  }
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
  return pixels;
}

}  // namespace

bool UiRobot::Screenshot(HWND window, const std::string &name) const {
  const char *dir = std::getenv("V7_SCREENSHOT_DIR");
  if (dir == nullptr || *dir == 0) return false;
  // What a person sees: the screen's pixels under the window, once it has painted. A window of
  // another process reaches the screen some time after it painted, so the pixels are read until
  // two readings in a row agree.
  ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
  RECT rect;
  if (!::GetWindowRect(window, &rect)) return false;
  const int width = rect.right - rect.left, height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return false;
  std::vector<unsigned char> pixels = ScreenPixels(rect), before;
  const bool other_process = [&] {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    return pid != ::GetCurrentProcessId();
  }();
  for (int reading = 0; other_process && reading < 40 && !pixels.empty() && pixels != before; ++reading) {
    ::Sleep(kPollMs * 5);
    before.swap(pixels);
    pixels = ScreenPixels(rect);
  }
  if (pixels.empty()) return false;
  std::vector<unsigned char> png = EncodePng(pixels.data(), width, height);
  std::string path = std::string(dir) + "/" + name + ".png";
  FILE *file = std::fopen(path.c_str(), "wb");
  bool ok = file != nullptr && std::fwrite(png.data(), 1, png.size(), file) == png.size();
  if (file != nullptr) ok = std::fclose(file) == 0 && ok;
  return ok;
}

std::vector<unsigned char> EncodePng(const unsigned char *bgra, int width, int height) {
  std::vector<unsigned char> raw;
  raw.reserve(size_t(height) * (size_t(width) * 3 + 1));
  for (int y = 0; y < height; y++) {
    raw.push_back(0);  // filter: none
    const unsigned char *row = bgra + size_t(y) * size_t(width) * 4;
    for (int x = 0; x < width; x++) {
      raw.push_back(row[x * 4 + 2]);
      raw.push_back(row[x * 4 + 1]);
      raw.push_back(row[x * 4 + 0]);
    }
  }
  // zlib stream of stored blocks, then the Adler-32 of the raw bytes.
  std::vector<unsigned char> z = {0x78, 0x01};
  size_t pos = 0;
  do {
    size_t n = raw.size() - pos < 65535 ? raw.size() - pos : 65535;
    z.push_back(pos + n == raw.size() ? 1 : 0);
    z.push_back((unsigned char)(n & 0xFF));
    z.push_back((unsigned char)(n >> 8));
    z.push_back((unsigned char)(~n & 0xFF));
    z.push_back((unsigned char)((~n >> 8) & 0xFF));
    z.insert(z.end(), raw.begin() + long(pos), raw.begin() + long(pos + n));
    pos += n;
  } while (pos < raw.size());
  uint32_t a = 1, b = 0;
  for (unsigned char c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  put32(z, (b << 16) | a);

  std::vector<unsigned char> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<unsigned char> ihdr;
  put32(ihdr, uint32_t(width));
  put32(ihdr, uint32_t(height));
  ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});  // 8-bit, RGB, deflate, no filter method, no interlace
  chunk(png, "IHDR", ihdr);
  chunk(png, "IDAT", z);
  chunk(png, "IEND", {});
  return png;
}

void RunWithRobot(const std::function<void(UiRobot &)> &script, const std::function<void()> &body) {
  UiRobot robot(::GetCurrentThreadId());
  std::atomic<bool> body_done{false};
  std::thread driver([&] {
    script(robot);
    // A script that failed half-way leaves windows open: they are cancelled and closed, so the
    // body returns and the test reports the failure instead of hanging.
    if (!robot.WaitUntil([&] { return body_done.load(); }, 2000)) {
      bool gone = robot.WaitUntil(
          [&] {
            for (HWND window : ThreadWindows(robot.ui_thread())) {
              ::PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
              ::PostMessageW(window, WM_CLOSE, 0, 0);
            }
            return body_done.load();
          },
          10000);
      if (!gone) {
        std::fprintf(stderr, "ui robot: the windows under test did not close; giving up\n");
        std::fflush(stderr);
        ::ExitProcess(3);
      }
    }
  });
  body();
  body_done = true;
  driver.join();
}

}  // namespace v7test
