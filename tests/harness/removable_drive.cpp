#include "tests/harness/removable_drive.h"

#include <windows.h>
#include <winioctl.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace v7test {
namespace {

// Wine's mount manager: its device and the request that defines (or, with the type
// DRIVE_NO_ROOT_DIR and no mount point, removes) a drive letter backed by a host folder.
const wchar_t kMountManager[] = L"\\\\.\\MountPointManager";
constexpr DWORD kDefineUnixDrive = CTL_CODE(0x6D, 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);

struct UnixDriveRequest {
  ULONG size;
  ULONG type;
  ULONG fs_type;
  DWORD serial;
  ULONGLONG unix_dev;
  WCHAR letter;
  USHORT mount_point_offset;  // a host path (UTF-8, terminated) at this offset, or 0
  USHORT device_offset;
  USHORT label_offset;
};

bool define_drive(char letter, UINT type, const char *host_path, std::string *error) {
  size_t path_len = host_path != nullptr ? strlen(host_path) + 1 : 0;
  std::vector<char> buffer(sizeof(UnixDriveRequest) + path_len);
  auto *request = reinterpret_cast<UnixDriveRequest *>(buffer.data());
  request->size = ULONG(buffer.size());
  request->type = type;
  request->letter = WCHAR(letter - 'A' + 'a');
  if (host_path != nullptr) {
    request->mount_point_offset = USHORT(sizeof(UnixDriveRequest));
    memcpy(buffer.data() + sizeof(UnixDriveRequest), host_path, path_len);
  }
  HANDLE mgr = CreateFileW(kMountManager, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
  if (mgr == INVALID_HANDLE_VALUE) {
    *error = "no mount manager (not under Wine?), error " + std::to_string(GetLastError());
    return false;
  }
  DWORD returned = 0;
  BOOL ok = DeviceIoControl(mgr, kDefineUnixDrive, buffer.data(), DWORD(buffer.size()), nullptr, 0, &returned,
                            nullptr);
  if (!ok) *error = "the mount manager refused the drive, error " + std::to_string(GetLastError());
  CloseHandle(mgr);
  return ok != FALSE;
}

// The host path of a Windows path, through Wine's own export.
bool host_path_of(const std::string &path, std::string *out) {
  using ToUnix = char *(CDECL *)(LPCWSTR);
  auto to_unix = reinterpret_cast<ToUnix>(
      reinterpret_cast<void *>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (to_unix == nullptr) return false;
  std::wstring wide(path.begin(), path.end());
  char *unix_path = to_unix(wide.c_str());
  if (unix_path == nullptr) return false;
  *out = unix_path;
  HeapFree(GetProcessHeap(), 0, unix_path);
  return true;
}

// Wide throughout: what the tests write may have names no ANSI code page holds.
void remove_tree_w(const std::wstring &folder) {
  WIN32_FIND_DATAW found;
  HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring path = folder + L"\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        remove_tree_w(path);
      } else {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
      }
    } while (FindNextFileW(h, &found));
    FindClose(h);
  }
  RemoveDirectoryW(folder.c_str());
}

void remove_tree(const std::string &folder) { remove_tree_w(std::wstring(folder.begin(), folder.end())); }

}  // namespace

RemovableDrive::RemovableDrive(char letter, const char *label) {
  if (letter == 0) {
    DWORD used = GetLogicalDrives();
    for (char c = 'Y'; c >= 'D' && letter == 0; --c)
      if ((used & (1u << (c - 'A'))) == 0) letter = c;
    if (letter == 0) {
      error_ = "no free drive letter";
      return;
    }
  }
  if (letter >= 'a' && letter <= 'z') letter = char(letter - 'a' + 'A');
  if (letter < 'A' || letter > 'Z') {
    error_ = "not a drive letter";
    return;
  }
  char temp[MAX_PATH];
  if (GetTempPathA(sizeof temp, temp) == 0) {
    error_ = "no temporary folder";
    return;
  }
  folder_ = std::string(temp) + "v7_removable_" + std::to_string(GetCurrentProcessId()) + "_" + letter;
  remove_tree(folder_);
  std::string host;
  if (!CreateDirectoryA(folder_.c_str(), nullptr) || !host_path_of(folder_, &host)) {
    error_ = "cannot make the drive's folder " + folder_;
    remove_tree(folder_);
    return;
  }
  // Wine reads a volume's label from this file in the root of the drive.
  FILE *f = fopen((folder_ + "\\.windows-label").c_str(), "wb");
  if (f == nullptr) {
    error_ = "cannot write the label";
    remove_tree(folder_);
    return;
  }
  fputs(label, f);
  fputc('\n', f);
  fclose(f);
  if (!define_drive(letter, DRIVE_REMOVABLE, host.c_str(), &error_)) {
    remove_tree(folder_);
    return;
  }
  letter_ = letter;
}

RemovableDrive::~RemovableDrive() {
  if (letter_ != 0) {
    std::string ignored;
    define_drive(letter_, DRIVE_NO_ROOT_DIR, nullptr, &ignored);
  }
  if (!folder_.empty()) remove_tree(folder_);
}

}  // namespace v7test
