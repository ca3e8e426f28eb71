#include "wizard/dialogs/open_file_dlg.h"

#include <windows.h>
#include <commdlg.h>

#include <cstdlib>
#include <cwchar>

#include "media/broker_client.h"
#include "platform/errors/error_codes.h"
#include "platform/osver/os_version.h"
#include "wizard/dialogs/dialog_logic.h"

namespace v7 {
namespace dialogs {

int COpenFileDlg::DoModal() {
  path_[0] = 0;
  wchar_t file[kFileBufferCapacity] = {0};
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = ::GetActiveWindow();
  ofn.lpstrFile = file;
  ofn.nMaxFile = DWORD(kFileBufferCapacity);
  if (kind_ == kFileKindPkcs12) {
    ofn.lpstrFilter = reinterpret_cast<const wchar_t *>(kPkcs12Filter);
    ofn.lpstrDefExt = reinterpret_cast<const wchar_t *>(kPkcs12DefaultExtension);
  }
  ofn.nFilterIndex = 1;
  ofn.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT;
  if (!::GetOpenFileNameW(&ofn)) {
    const DWORD error = ::CommDlgExtendedError();
    if (error == 0) return kErrUserCancelled;
    return error == FNERR_BUFFERTOOSMALL ? int(kErrFilePathTooLong) : int(kErrInvalidParameter);
  }
  const size_t length = std::wcslen(file);
  if (length >= kPathCapacity) return kErrFilePathTooLong;
  for (size_t i = 0; i <= length; ++i) path_[i] = char16_t(file[i]);
  return 0;
}

int ChoosePkcs12File(char *out) {
  if (out == nullptr) return kErrInvalidParameter;
  if (file_chooser_for(os_version_code()) == FileChooser::kCommonDialog) {
    COpenFileDlg dialog(kFileKindPkcs12);
    const int rc = dialog.DoModal();
    return pkcs12_file_result(rc, dialog.Path(), out, kPathOutCapacity);
  }
  char16_t *chosen = nullptr;
  const int rc = broker_browse_file(&chosen);
  const int result = pkcs12_file_result(rc, chosen, out, kPathOutCapacity);
  std::free(chosen);
  return result;
}

}  // namespace dialogs
}  // namespace v7
