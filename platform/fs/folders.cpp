#include <atomic>
#include <cstring>

#include "platform/fs/fs.h"

#ifdef _WIN32
#include <shlobj.h>
#include <windows.h>
#endif

namespace {

std::atomic<const FsFolderHooks *> g_hooks{nullptr};

template <typename Char>
bool copy_out(const Char *text, size_t n, Char *out, size_t cap) {
  if (n == 0 || n >= cap) return false;
  memcpy(out, text, n * sizeof(Char));
  out[n] = 0;
  return true;
}

}  // namespace

void platform_fs_set_folder_hooks(const FsFolderHooks *hooks) { g_hooks.store(hooks); }

#ifdef _WIN32

bool platform_fs_windows_folder(char16_t *out, size_t cap) {
  const FsFolderHooks *h = g_hooks.load();
  if (h != nullptr && h->windows_folder != nullptr) return h->windows_folder(out, cap);
  wchar_t buf[MAX_PATH + 1];
  UINT n = GetWindowsDirectoryW(buf, MAX_PATH + 1);
  return n <= MAX_PATH && copy_out(reinterpret_cast<const char16_t *>(buf), n, out, cap);
}

bool platform_fs_windows_folder_a(char *out, size_t cap) {
  const FsFolderHooks *h = g_hooks.load();
  if (h != nullptr && h->windows_folder_a != nullptr) return h->windows_folder_a(out, cap);
  char buf[MAX_PATH + 1];
  UINT n = GetWindowsDirectoryA(buf, MAX_PATH + 1);
  return n <= MAX_PATH && copy_out(buf, n, out, cap);
}

bool platform_fs_system_folder_a(char *out, size_t cap) {
  char buf[MAX_PATH + 1];
  UINT n = GetSystemDirectoryA(buf, MAX_PATH + 1);
  return n <= MAX_PATH && copy_out(buf, n, out, cap);
}

bool platform_fs_shell_folder(int csidl, char16_t *out, size_t cap) {
  const FsFolderHooks *h = g_hooks.load();
  if (h != nullptr && h->shell_folder != nullptr) return h->shell_folder(csidl, out, cap);
  wchar_t buf[MAX_PATH + 1] = {0};
  if (!SHGetSpecialFolderPathW(nullptr, buf, csidl, FALSE)) return false;
  return copy_out(reinterpret_cast<const char16_t *>(buf), wcslen(buf), out, cap);
}

bool platform_fs_shell_folder_a(int csidl, char *out, size_t cap) {
  const FsFolderHooks *h = g_hooks.load();
  if (h != nullptr && h->shell_folder_a != nullptr) return h->shell_folder_a(csidl, out, cap);
  char buf[MAX_PATH + 1] = {0};
  if (!SHGetSpecialFolderPathA(nullptr, buf, csidl, FALSE)) return false;
  return copy_out(buf, strlen(buf), out, cap);
}

#else

bool platform_fs_windows_folder(char16_t *out, size_t cap) {
  const FsFolderHooks *h = g_hooks.load();
  return h != nullptr && h->windows_folder != nullptr && h->windows_folder(out, cap);
}

bool platform_fs_windows_folder_a(char *out, size_t cap) {
  const FsFolderHooks *h = g_hooks.load();
  return h != nullptr && h->windows_folder_a != nullptr && h->windows_folder_a(out, cap);
}

bool platform_fs_system_folder_a(char *, size_t) { return false; }

bool platform_fs_shell_folder(int csidl, char16_t *out, size_t cap) {
  const FsFolderHooks *h = g_hooks.load();
  return h != nullptr && h->shell_folder != nullptr && h->shell_folder(csidl, out, cap);
}

bool platform_fs_shell_folder_a(int csidl, char *out, size_t cap) {
  const FsFolderHooks *h = g_hooks.load();
  return h != nullptr && h->shell_folder_a != nullptr && h->shell_folder_a(csidl, out, cap);
}

#endif
