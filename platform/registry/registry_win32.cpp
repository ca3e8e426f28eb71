#include "platform/registry/registry.h"

#include <windows.h>

namespace {

// RegOpenCurrentUser came with Windows 2000; importing it statically would keep the library from
// loading on the older systems it supports, so it is looked up, and the predefined root serves
// when it is missing or fails.
HKEY open_user_hive(bool *must_close) {
  typedef LONG(WINAPI * OpenCurrentUser)(REGSAM, PHKEY);
  *must_close = false;
  HMODULE advapi = GetModuleHandleA("advapi32.dll");
  OpenCurrentUser open = advapi != nullptr ? reinterpret_cast<OpenCurrentUser>(reinterpret_cast<void (*)()>(
                                                 GetProcAddress(advapi, "RegOpenCurrentUser")))
                                           : nullptr;
  HKEY hive = nullptr;
  if (open != nullptr && open(KEY_ALL_ACCESS, &hive) == ERROR_SUCCESS && hive != nullptr) {
    *must_close = true;
    return hive;
  }
  return HKEY_CURRENT_USER;
}

// The A and W calls side by side, so that each operation is written once.
struct NarrowApi {
  typedef char Char;
  static LONG open(HKEY root, const char *path, REGSAM access, HKEY *out) {
    return RegOpenKeyExA(root, path, 0, access, out);
  }
  static LONG create(HKEY root, const char *path, HKEY *out) {
    return RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, out,
                           nullptr);
  }
  static LONG query(HKEY key, const char *name, DWORD *type, BYTE *buf, DWORD *len) {
    return RegQueryValueExA(key, name, nullptr, type, buf, len);
  }
  static LONG set(HKEY key, const char *name, const BYTE *data, DWORD len) {
    return RegSetValueExA(key, name, 0, REG_SZ, data, len);
  }
};

struct WideApi {
  typedef wchar_t Char;
  static LONG open(HKEY root, const wchar_t *path, REGSAM access, HKEY *out) {
    return RegOpenKeyExW(root, path, 0, access, out);
  }
  static LONG create(HKEY root, const wchar_t *path, HKEY *out) {
    return RegCreateKeyExW(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, out,
                           nullptr);
  }
  static LONG query(HKEY key, const wchar_t *name, DWORD *type, BYTE *buf, DWORD *len) {
    return RegQueryValueExW(key, name, nullptr, type, buf, len);
  }
  static LONG set(HKEY key, const wchar_t *name, const BYTE *data, DWORD len) {
    return RegSetValueExW(key, name, 0, REG_SZ, data, len);
  }
};

template <typename Api>
int query(const typename Api::Char *path, const typename Api::Char *name, void *buf, uint32_t *len,
          uint32_t *type) {
  if (path == nullptr || name == nullptr || buf == nullptr || len == nullptr || type == nullptr)
    return kRegInvalidParameter;
  bool close_hive;
  HKEY hive = open_user_hive(&close_hive);
  HKEY key = nullptr;
  LONG rc = Api::open(hive, path, KEY_QUERY_VALUE, &key);
  if (rc == ERROR_SUCCESS) {
    DWORD t = REG_NONE, n = *len;
    rc = Api::query(key, name, &t, static_cast<BYTE *>(buf), &n);
    *len = n;
    *type = t;
    RegCloseKey(key);
  }
  if (close_hive) RegCloseKey(hive);
  return int(rc);
}

template <typename Api>
int set_string(const typename Api::Char *path, const typename Api::Char *name, const void *data,
               uint32_t len) {
  if (path == nullptr || name == nullptr || data == nullptr) return kRegInvalidParameter;
  bool close_hive;
  HKEY hive = open_user_hive(&close_hive);
  HKEY key = nullptr;
  LONG rc = Api::create(hive, path, &key);
  if (rc == ERROR_SUCCESS) {
    rc = Api::set(key, name, static_cast<const BYTE *>(data), len);
    RegCloseKey(key);
  }
  if (close_hive) RegCloseKey(hive);
  return int(rc);
}

const wchar_t *wide(const char16_t *text) { return reinterpret_cast<const wchar_t *>(text); }

}  // namespace

int platform_registry_query(const char *path, const char *name, void *buf, uint32_t *len, uint32_t *type) {
  return query<NarrowApi>(path, name, buf, len, type);
}

int platform_registry_query_w(const char16_t *path, const char16_t *name, void *buf, uint32_t *len,
                              uint32_t *type) {
  return query<WideApi>(wide(path), wide(name), buf, len, type);
}

int platform_registry_set_string(const char *path, const char *name, const void *data, uint32_t len) {
  return set_string<NarrowApi>(path, name, data, len);
}

int platform_registry_set_string_w(const char16_t *path, const char16_t *name, const void *data,
                                   uint32_t len) {
  return set_string<WideApi>(wide(path), wide(name), data, len);
}
