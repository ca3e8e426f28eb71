// Win32 side: the narrow forms call the A functions (the path is in the system's ANSI code page),
// the wide forms the W functions. Only functions that Windows 95 already exports are linked
// statically; MoveFileEx is looked up because the 9x family lacks it.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/fs/internal.h"

namespace {

const wchar_t *w(const char16_t *p) { return reinterpret_cast<const wchar_t *>(p); }

// The 9x family has no atomic replace: the old file goes first.
template <typename Api>
BOOL remove_then_move(const typename Api::Char *from, const typename Api::Char *to) {
  Api::remove(to);
  return Api::move(from, to);
}

// The A and W functions behind one set of names, so that each operation is written once.
struct NarrowApi {
  using Char = char;
  static HANDLE create(const char *p, DWORD access, DWORD disp) {
    return CreateFileA(p, access, FILE_SHARE_READ, nullptr, disp, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  static DWORD attributes(const char *p) { return GetFileAttributesA(p); }
  static BOOL make_dir(const char *p) { return CreateDirectoryA(p, nullptr); }
  static BOOL remove_dir(const char *p) { return RemoveDirectoryA(p); }
  static BOOL remove(const char *p) { return DeleteFileA(p); }
  static BOOL move(const char *from, const char *to) { return MoveFileA(from, to); }
  static BOOL replace(const char *from, const char *to) {
    typedef BOOL(WINAPI * MoveEx)(const char *, const char *, DWORD);
    MoveEx f = reinterpret_cast<MoveEx>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "MoveFileExA")));
    if (f != nullptr && f(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return TRUE;
    return remove_then_move<NarrowApi>(from, to);
  }
  static std::string tmp(const char *p) { return std::string(p) + ".v7tmp"; }
};

struct WideApi {
  using Char = wchar_t;
  static HANDLE create(const wchar_t *p, DWORD access, DWORD disp) {
    return CreateFileW(p, access, FILE_SHARE_READ, nullptr, disp, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  static DWORD attributes(const wchar_t *p) { return GetFileAttributesW(p); }
  static BOOL make_dir(const wchar_t *p) { return CreateDirectoryW(p, nullptr); }
  static BOOL remove_dir(const wchar_t *p) { return RemoveDirectoryW(p); }
  static BOOL remove(const wchar_t *p) { return DeleteFileW(p); }
  static BOOL move(const wchar_t *from, const wchar_t *to) { return MoveFileW(from, to); }
  static BOOL replace(const wchar_t *from, const wchar_t *to) {
    if (MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return TRUE;
    return remove_then_move<WideApi>(from, to);
  }
  static std::wstring tmp(const wchar_t *p) { return std::wstring(p) + L".v7tmp"; }
};

template <typename Api>
int read_all(const typename Api::Char *path, uint8_t **data, size_t *len) {
  *data = nullptr;
  *len = 0;
  HANDLE h = Api::create(path, GENERIC_READ, OPEN_EXISTING);
  if (h == INVALID_HANDLE_VALUE) {
    DWORD e = GetLastError();
    return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ? kFsNotFound : kFsOpenFailed;
  }
  int rc = kFsOk;
  DWORD high = 0;
  DWORD low = GetFileSize(h, &high);
  uint8_t *buf = nullptr;
  // Whole files only, and nothing a 32-bit process could not hold.
  if ((low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) || high != 0 || low > 0x7FFFFFFF) {
    rc = kFsReadFailed;
  } else if (low > 0) {
    buf = static_cast<uint8_t *>(malloc(low));
    if (buf == nullptr) rc = kFsNoMemory;
    DWORD got = 0;
    while (rc == kFsOk && got < low) {
      DWORD n = 0;
      if (!ReadFile(h, buf + got, low - got, &n, nullptr) || n == 0) rc = kFsReadFailed;
      got += n;
    }
  }
  CloseHandle(h);
  if (rc != kFsOk) {
    free(buf);
    return rc;
  }
  *data = buf;
  *len = low;
  return kFsOk;
}

template <typename Api>
int write_all(const typename Api::Char *path, const void *data, size_t len) {
  if (len > 0x7FFFFFFF) return kFsShortWrite;
  auto tmp = Api::tmp(path);
  HANDLE h = Api::create(tmp.c_str(), GENERIC_WRITE, CREATE_ALWAYS);
  if (h == INVALID_HANDLE_VALUE) return kFsOpenFailed;
  const uint8_t *p = static_cast<const uint8_t *>(data);
  size_t left = len;
  bool ok = true;
  while (ok && left > 0) {
    DWORD n = 0;
    ok = WriteFile(h, p, DWORD(left), &n, nullptr) && n > 0;
    p += n;
    left -= n;
  }
  ok = FlushFileBuffers(h) && ok;
  ok = CloseHandle(h) && ok;
  if (ok && Api::replace(tmp.c_str(), path)) return kFsOk;
  Api::remove(tmp.c_str());
  return kFsShortWrite;
}

// In place: the file is opened as it is, never replaced, so the zeros land on its own bytes.
template <typename Api>
bool overwrite(const typename Api::Char *path) {
  HANDLE h = Api::create(path, GENERIC_WRITE, OPEN_EXISTING);
  if (h == INVALID_HANDLE_VALUE) {
    DWORD e = GetLastError();
    return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND;
  }
  DWORD high = 0;
  DWORD left = GetFileSize(h, &high);
  bool ok = !(left == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) && high == 0;
  static const uint8_t kZeros[4096] = {};
  while (ok && left > 0) {
    DWORD n = 0;
    ok = WriteFile(h, kZeros, left < sizeof kZeros ? left : DWORD(sizeof kZeros), &n, nullptr) && n > 0;
    left -= ok ? n : left;
  }
  ok = FlushFileBuffers(h) && ok;
  return CloseHandle(h) && ok;
}

template <typename Api>
bool remove_dir(const typename Api::Char *path) {
  if (Api::remove_dir(path)) return true;
  DWORD e = GetLastError();
  return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND;
}

template <typename Api>
bool exists(const typename Api::Char *path, bool want_dir) {
  DWORD a = Api::attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && (!want_dir || (a & FILE_ATTRIBUTE_DIRECTORY) != 0);
}

template <typename Api>
bool make_dir(const typename Api::Char *path) {
  return Api::make_dir(path) || exists<Api>(path, true);
}

}  // namespace

int platform_fs_read_all(const char *path, uint8_t **data, size_t *len) {
  return read_all<NarrowApi>(path, data, len);
}
int platform_fs_read_all_w(const char16_t *path, uint8_t **data, size_t *len) {
  return read_all<WideApi>(w(path), data, len);
}
int platform_fs_write_all(const char *path, const void *data, size_t len) {
  return write_all<NarrowApi>(path, data, len);
}
int platform_fs_write_all_w(const char16_t *path, const void *data, size_t len) {
  return write_all<WideApi>(w(path), data, len);
}
bool platform_fs_exists(const char *path) { return exists<NarrowApi>(path, false); }
bool platform_fs_exists_w(const char16_t *path) { return exists<WideApi>(w(path), false); }
bool platform_fs_is_dir(const char *path) { return exists<NarrowApi>(path, true); }
bool platform_fs_is_dir_w(const char16_t *path) { return exists<WideApi>(w(path), true); }
bool platform_fs_remove(const char *path) {
  return NarrowApi::remove(path) || GetLastError() == ERROR_FILE_NOT_FOUND;
}
bool platform_fs_remove_w(const char16_t *path) {
  return WideApi::remove(w(path)) || GetLastError() == ERROR_FILE_NOT_FOUND;
}
bool platform_fs_overwrite(const char *path) { return overwrite<NarrowApi>(path); }
bool platform_fs_overwrite_w(const char16_t *path) { return overwrite<WideApi>(w(path)); }
bool platform_fs_remove_dir(const char *path) { return remove_dir<NarrowApi>(path); }
bool platform_fs_remove_dir_w(const char16_t *path) { return remove_dir<WideApi>(w(path)); }
bool platform_fs_make_dir(const char *path) { return make_dir<NarrowApi>(path); }
bool platform_fs_make_dir_w(const char16_t *path) { return make_dir<WideApi>(w(path)); }

namespace {

template <typename Find, typename Visit>
bool walk(HANDLE h, Find &fd, BOOL(WINAPI *next)(HANDLE, Find *), Visit visit) {
  if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    auto *n = fd.cFileName;
    bool dot = n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0));
    if (!dot && !visit(n, (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)) break;
  } while (next(h, &fd));
  FindClose(h);
  return true;
}

}  // namespace

bool platform_fs_walk_w(const char16_t *dir, FsVisit visit, void *ctx) {
  std::wstring pattern = std::wstring(w(dir)) + L"\\*";
  WIN32_FIND_DATAW fd;
  return walk(FindFirstFileW(pattern.c_str(), &fd), fd, FindNextFileW, [&](const wchar_t *n, bool is_dir) {
    return visit(reinterpret_cast<const char16_t *>(n), is_dir, ctx);
  });
}

bool platform_fs_walk(const char *dir, FsVisitNarrow visit, void *ctx) {
  std::string pattern = std::string(dir) + "\\*";
  WIN32_FIND_DATAA fd;
  return walk(FindFirstFileA(pattern.c_str(), &fd), fd, FindNextFileA,
              [&](const char *n, bool is_dir) { return visit(n, is_dir, ctx); });
}

bool platform_fs_drive_info(const char16_t *root, FsDriveInfo *out) {
  const FsQueryHooks *hk = v7::fs_internal::query_hooks();
  if (hk != nullptr && hk->drive_info != nullptr) return hk->drive_info(root, out);
  UINT type = GetDriveTypeW(w(root));
  out->removable = type == DRIVE_REMOVABLE || type == DRIVE_CDROM;
  DWORD flags = 0;
  out->persistent_acls = GetVolumeInformationW(w(root), nullptr, 0, nullptr, nullptr, &flags, nullptr, 0) &&
                         (flags & FILE_PERSISTENT_ACLS) != 0;
  return true;
}

bool platform_fs_profile_folder(char16_t *out, size_t cap) {
  const FsQueryHooks *hk = v7::fs_internal::query_hooks();
  if (hk != nullptr && hk->profile_folder != nullptr) return hk->profile_folder(out, cap);
  if (cap == 0 || cap > 32767) return false;
  DWORD n = GetEnvironmentVariableW(L"USERPROFILE", reinterpret_cast<wchar_t *>(out), DWORD(cap));
  return n > 0 && n < cap;
}

bool platform_fs_ansi_to_wide(const char *text, char16_t *out, size_t cap) {
  if (cap == 0 || cap > 0x7FFFFFFF) return false;
  int n =
      MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, reinterpret_cast<wchar_t *>(out), int(cap));
  return n > 0;
}

bool platform_system_message(uint32_t code, char *out, size_t cap) {
  if (cap == 0 || cap > 0xFFFF) return false;
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, out,
                           DWORD(cap), nullptr);
  if (n == 0) return false;
  while (n > 0 && (out[n - 1] == '\r' || out[n - 1] == '\n' || out[n - 1] == ' ')) out[--n] = 0;
  return true;
}
