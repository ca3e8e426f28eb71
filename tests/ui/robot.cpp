#include "tests/ui/robot.h"

#include <atomic>
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

}  // namespace

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

bool UiRobot::Screenshot(HWND window, const std::string &name) const {
  const char *dir = std::getenv("V7_SCREENSHOT_DIR");
  if (dir == nullptr || *dir == 0) return false;
  // What a person sees: the screen's pixels under the window, once it has painted.
  ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
  RECT rect;
  if (!::GetWindowRect(window, &rect)) return false;
  const int width = rect.right - rect.left, height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return false;
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
  bool ok = false;
  if (bitmap != nullptr) {
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ok = ::BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY) != FALSE;
    ::GdiFlush();
    if (ok) {
      std::vector<unsigned char> png = EncodePng(static_cast<unsigned char *>(bits), width, height);
      std::string path = std::string(dir) + "/" + name + ".png";
      FILE *file = std::fopen(path.c_str(), "wb");
      ok = file != nullptr && std::fwrite(png.data(), 1, png.size(), file) == png.size();
      if (file != nullptr) ok = std::fclose(file) == 0 && ok;
    }
    ::SelectObject(memory, old);
    ::DeleteObject(bitmap);
  }
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
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
