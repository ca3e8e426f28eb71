// The platform's Authenticode check and the write hold on a module file.
#include <windows.h>
#include <softpub.h>
#include <wintrust.h>

#include "media/securedisk/internal.h"
#include "media/securedisk/module_signature.h"
#include "pki/text/codepage.h"

FileTrustAnswer platform_file_trust(const char16_t *path) {
  WINTRUST_FILE_INFO file = {};
  file.cbStruct = sizeof file;
  file.pcwszFilePath = reinterpret_cast<const wchar_t *>(path);
  WINTRUST_DATA data = {};
  data.cbStruct = sizeof data;
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &file;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  data.dwProvFlags = WTD_REVOCATION_CHECK_NONE;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  SetLastError(0);
  LONG result = WinVerifyTrust(nullptr, &action, &data);
  DWORD last_error = GetLastError();
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  WinVerifyTrust(nullptr, &action, &data);
  return FileTrustAnswer{uint32_t(result), uint32_t(last_error)};
}

namespace sdi {

FileWriteHold::~FileWriteHold() {
  if (handle_ != nullptr) CloseHandle(handle_);
}

bool FileWriteHold::acquire(const char *path) {
  char16_t *wide = nullptr;
  if (setting_to_wide(path, &wide) != 0) return false;
  // Others may read (the loader maps the file) but neither write, rename nor delete it.
  HANDLE file = CreateFileW(reinterpret_cast<const wchar_t *>(wide), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  free(wide);
  if (file == INVALID_HANDLE_VALUE) return false;
  handle_ = file;
  return true;
}

}  // namespace sdi
