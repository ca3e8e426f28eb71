// The certificate viewer: a property sheet over the signing and the key-management certificate of
// one entry, with a general page (names, validity, policy, keys and a validation verdict against
// the national roots) and a details page (every field and extension).
//
// Validation may fetch issuers and revocation lists from the directory, so it runs on a worker
// thread within the directory client's own time limits while the page shows that it is busy; the
// page's window waits for the worker before it goes (never longer than those limits).
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pki/asn1/x509_types.h"
#include "platform/classlib/message_map.h"
#include "platform/classlib/property_sheet.h"
#include "wizard/res/viewer_ids.h"
#include "wizard/viewer/label.h"

struct CERT_ENTRY;
struct RelayRequestRecord;
struct VALIDATION_SETTINGS;

namespace v7 {
namespace viewer {

// Sent to the general page when its validation has ended: WPARAM the run's number.
enum : UINT { WM_CERTVIEW_VALIDATED = WM_APP + 0x210 };

// Test code may add keys to the viewer's validation settings (a directory of its own, say) after
// the viewer's own keys and before they are finished. Null: none.
using ValidationSettingsHook = void (*)(VALIDATION_SETTINGS *settings);
void set_validation_settings_hook(ValidationSettingsHook hook);

class CCertViewPage1 : public classlib::CPropertyPage {
 public:
  enum { IDD = IDD_CERTVIEW_GENERAL };
  CCertViewPage1();
  ~CCertViewPage1() override;

  // The certificate shown and how it is validated (0 the signing, 1 the key-management one).
  void SetCertificate(const Certificate *cert, int item);
  void SetRequest(const RelayRequestRecord *request) { request_ = request; }
  // Fills the texts again and starts a validation of the shown certificate.
  void Refresh();

  bool Validating() const { return worker_ != nullptr; }
  const std::wstring &ErrorText() const { return error_text_; }

  BOOL OnInitDialog() override;

  BEGIN_MSG_MAP(CCertViewPage1)
  COMMAND_ID_HANDLER(IDC_CV_VIEW_ERROR, OnViewError)
  MESSAGE_HANDLER(WM_CERTVIEW_VALIDATED, OnValidated)
  MSG_WM_DESTROY(OnDestroy)
  REFLECT_NOTIFICATIONS()
  CHAIN_MSG_MAP(classlib::CPropertyPage)
  END_MSG_MAP()

 private:
  struct Job;
  static DWORD WINAPI ValidateThread(void *job);

  void FillTexts();
  void StartValidation();
  void ShowVerdict(bool skipped, int rc);
  void WaitForWorker();
  void OnViewError();
  LRESULT OnValidated(WPARAM, LPARAM);
  void OnDestroy();

  const Certificate *cert_ = nullptr;
  int item_ = 0;
  const RelayRequestRecord *request_ = nullptr;
  CLabel subject_, valid_to_, valid_from_;
  HICON verdict_icon_ = nullptr;
  std::wstring error_text_;
  HANDLE worker_ = nullptr;
  Job *job_ = nullptr;
  unsigned run_ = 0;
};

class CCertViewPage2 : public classlib::CPropertyPage {
 public:
  enum { IDD = IDD_CERTVIEW_DETAILS };
  CCertViewPage2();
  ~CCertViewPage2() override;

  void SetCertificate(const Certificate *cert) { cert_ = cert; }
  void SetEntry(const CERT_ENTRY *entry) { entry_ = entry; }
  void Refresh();
  bool Created() const { return m_hWnd != nullptr; }

  BOOL OnInitDialog() override;

  BEGIN_MSG_MAP(CCertViewPage2)
  NOTIFY_HANDLER(IDC_CV_FIELDS, LVN_ITEMCHANGED, OnItemChanged)
  CHAIN_MSG_MAP(classlib::CPropertyPage)
  END_MSG_MAP()

 private:
  LRESULT OnItemChanged(NMHDR *header);
  void AddRow(int code, const wchar_t *field, const std::string &value, int image);
  std::string FullText(int code) const;

  const Certificate *cert_ = nullptr;
  const CERT_ENTRY *entry_ = nullptr;
  HIMAGELIST images_ = nullptr;
  std::vector<int> codes_;
};

class CCertViewProp : public classlib::CPropertySheet {
 public:
  CCertViewProp();
  ~CCertViewProp() override;

  void SetRequest(const RelayRequestRecord *request);
  void SetEntry(const CERT_ENTRY *entry);
  // Decodes the certificates into the two slots; false, with the decoder's code in errno, when a
  // certificate given does not decode.
  bool SetCertificates(const uint8_t *sign_der, size_t sign_length, const uint8_t *km_der, size_t km_length);

  // Shows certificate 0 (signing) or 1 (key management) on both pages.
  void ShowCertificate(int item);
  int Shown() const { return shown_; }

  CCertViewPage1 page1_;
  CCertViewPage2 page2_;

  void OnInitDialog() override;

  BEGIN_MSG_MAP(CCertViewProp)
  COMMAND_HANDLER(IDW_CV_CHOICE, CBN_SELCHANGE, OnChoice)
  COMMAND_ID_HANDLER(IDW_CV_MORE_INFO, OnMoreInfo)
  COMMAND_ID_HANDLER(IDW_CV_ROOT_INFO, OnRootInfo)
  END_MSG_MAP()

 private:
  void OnChoice();
  void OnMoreInfo();
  void OnRootInfo();
  const Certificate *CertificateOf(int item) const { return item == 1 ? km_ : sign_; }

  Certificate *sign_ = nullptr;
  Certificate *km_ = nullptr;
  const RelayRequestRecord *request_ = nullptr;
  const CERT_ENTRY *entry_ = nullptr;
  int shown_ = 0;
  int choice_items_[2] = {0, 1};
};

// The viewer's entry point (the selection dialog and the tests call it): runs the sheet modally
// over the active window for the entry's certificates (either may be null, not both). The modal
// result, or -1 with the code in errno when there is no certificate (1001) or one given does not
// decode (the decoder's code), so that the caller can say why nothing opened.
INT_PTR ShowCertificateViewer(const RelayRequestRecord *request, const CERT_ENTRY *entry,
                              const uint8_t *sign_der, size_t sign_length, const uint8_t *km_der,
                              size_t km_length);

}  // namespace viewer
}  // namespace v7
