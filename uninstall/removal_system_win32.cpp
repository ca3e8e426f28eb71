#include "uninstall/removal_system_win32.h"

#include <ole2.h>
#include <shlobj.h>

namespace v7 {
namespace uninstall {

namespace {

const wchar_t *W(const std::u16string &text) { return reinterpret_cast<const wchar_t *>(text.c_str()); }
std::u16string U(const wchar_t *text) { return std::u16string(reinterpret_cast<const char16_t *>(text)); }

HKEY RootKey(RegistryRoot root) {
  return root == RegistryRoot::kClassesRoot ? HKEY_CLASSES_ROOT : HKEY_LOCAL_MACHINE;
}

std::u16string Answer(UINT(WINAPI *query)(LPWSTR, UINT)) {
  wchar_t buffer[MAX_PATH + 1] = {};
  UINT length = query(buffer, MAX_PATH + 1);
  return length > 0 && length <= MAX_PATH ? U(buffer) : std::u16string();
}

// Deletes the sub-keys of an open key, then the key itself by its name under parent.
bool DeleteTree(HKEY parent, const wchar_t *name, int depth) {
  if (depth > kMaxKeyDepth) return false;
  HKEY key = nullptr;
  // Opened as the link itself: a registry link is never followed into the key it names, and it
  // stays (the removal then reports the key as not removed).
  LONG opened = ::RegOpenKeyExW(parent, name, REG_OPTION_OPEN_LINK, KEY_READ | DELETE, &key);
  if (opened == ERROR_FILE_NOT_FOUND) return true;
  if (opened != ERROR_SUCCESS) return false;
  DWORD type = 0;
  if (::RegQueryValueExW(key, L"SymbolicLinkValue", nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS &&
      type == REG_LINK) {
    ::RegCloseKey(key);
    return false;
  }
  bool ok = true;
  for (;;) {
    wchar_t sub[256];
    DWORD length = 256;
    // Always the first: each one found is deleted before the next is asked for.
    LONG found = ::RegEnumKeyExW(key, 0, sub, &length, nullptr, nullptr, nullptr, nullptr);
    if (found == ERROR_NO_MORE_ITEMS) break;
    if (found != ERROR_SUCCESS || !DeleteTree(key, sub, depth + 1)) {
      ok = false;
      break;
    }
  }
  ::RegCloseKey(key);
  if (!ok) return false;
  LONG deleted = ::RegDeleteKeyW(parent, name);
  return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
}

}  // namespace

bool Win32Machine::QueryFolders(PlatformFolders *out) {
  out->system = Answer(::GetSystemDirectoryW);
  out->windows = Answer(::GetWindowsDirectoryW);
  wchar_t buffer[MAX_PATH + 1] = {};
  DWORD length = ::GetTempPathW(MAX_PATH + 1, buffer);
  out->temp = length > 0 && length <= MAX_PATH ? U(buffer) : std::u16string();
  wchar_t cache[MAX_PATH] = {};
  out->internet_cache =
      SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_INTERNET_CACHE, nullptr, SHGFP_TYPE_CURRENT, cache))
          ? U(cache)
          : std::u16string();
  return true;
}

bool Win32Machine::ListFolder(const std::u16string &folder, std::vector<FolderEntry> *entries) {
  WIN32_FIND_DATAW found;
  HANDLE search = ::FindFirstFileW(W(folder + u"*.*"), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  do {
    FolderEntry entry;
    entry.name = U(found.cFileName);
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      entry.kind = EntryKind::kLink;
    } else if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      entry.kind = EntryKind::kFolder;
    } else {
      entry.kind = EntryKind::kFile;
    }
    entries->push_back(entry);
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
  return true;
}

void Win32Machine::RemoveFile(const std::u16string &path) { ::DeleteFileW(W(path)); }

bool Win32Machine::Exists(const std::u16string &path) {
  if (::GetFileAttributesW(W(path)) != INVALID_FILE_ATTRIBUTES) return true;
  DWORD error = ::GetLastError();
  return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

void Win32Machine::Unregister(const std::u16string &path) {
  // The module's own dependencies are looked for beside it, as its registration found them.
  HMODULE module = ::LoadLibraryExW(W(path), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (module == nullptr) return;
  typedef HRESULT(STDAPICALLTYPE * UnregisterServer)();
  UnregisterServer unregister = reinterpret_cast<UnregisterServer>(
      reinterpret_cast<void (*)()>(::GetProcAddress(module, "DllUnregisterServer")));
  if (unregister != nullptr) {
    // Unregistering uses OLE (type libraries, categories); it is set up for the call and taken
    // down after it only when this call set it up, before the module goes.
    HRESULT initialised = ::OleInitialize(nullptr);
    unregister();
    if (SUCCEEDED(initialised)) ::OleUninitialize();
  }
  ::FreeLibrary(module);
}

bool Win32Machine::KeyExists(RegistryRoot root, const std::u16string &key) {
  HKEY opened = nullptr;
  LONG result = ::RegOpenKeyExW(RootKey(root), W(key), REG_OPTION_OPEN_LINK, KEY_READ, &opened);
  if (result == ERROR_SUCCESS) {
    ::RegCloseKey(opened);
    return true;
  }
  // A key that cannot be opened for another reason is still there.
  return result != ERROR_FILE_NOT_FOUND;
}

bool Win32Machine::ReadString(RegistryRoot root, const std::u16string &key, const std::u16string &name,
                              std::u16string *value) {
  HKEY opened = nullptr;
  if (::RegOpenKeyExW(RootKey(root), W(key), 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) return false;
  wchar_t buffer[1024];
  DWORD type = 0, size = sizeof buffer - sizeof(wchar_t);
  LONG result = ::RegQueryValueExW(opened, name.empty() ? nullptr : W(name), nullptr, &type,
                                   reinterpret_cast<BYTE *>(buffer), &size);
  ::RegCloseKey(opened);
  if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
  // A stored string need not carry its terminator.
  buffer[size / sizeof(wchar_t)] = L'\0';
  *value = U(buffer);
  return true;
}

bool Win32Machine::RemoveKeyTree(RegistryRoot root, const std::u16string &key) {
  DeleteTree(RootKey(root), W(key), 0);
  return !KeyExists(root, key);
}

}  // namespace uninstall
}  // namespace v7
