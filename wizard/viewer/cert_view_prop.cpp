#include "wizard/viewer/cert_view_prop.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "media/certlist.h"
#include "pki/errors/error_ctx.h"
#include "pki/oid/oid.h"
#include "pki/validation/validate.h"
#include "platform/classlib/app.h"
#include "platform/errors/error_codes.h"
#include "platform/fs/library_folders.h"
#include "platform/locale/process_words.h"
#include "platform/ui/message_box.h"
#include "wizard/certview/certview.h"
#include "wizard/certview/viewer_tables.h"
#include "wizard/dialogs/dialog_logic.h"
#include "wizard/dialogs/error_dlg.h"
#include "wizard/dialogs/text_setters.h"
#include "wizard/dialogs/web_page.h"
#include "wizard/records/request_record.h"
#include "wizard/res/string_ids.h"
#include "wizard/viewer/verify_root_dlg.h"

namespace v7 {
namespace viewer {
namespace {

std::atomic<ValidationSettingsHook> g_settings_hook{nullptr};

std::wstring from_utf8(const char *utf8) { return dialogs::screen_text(dialogs::shown_narrow(utf8, true)); }

// A text of the display-text functions (setting's encoding), freed here.
std::wstring take_setting(char *text) {
  std::wstring shown = text != nullptr ? dialogs::setting_screen_text(text) : std::wstring();
  free(text);
  return shown;
}

std::string take_narrow(char *text) {
  std::string s = text != nullptr ? text : "";
  free(text);
  return s;
}

std::string ext_text(const Certificate *cert, int oid_id, int mode) {
  std::vector<char> buf(16384);
  size_t n = certview_ext_text(cert, oid_id, buf.data(), buf.size(), mode);
  return std::string(buf.data(), n);
}

// The rows of the details page that are not extensions (negative codes).
enum : int {
  kRowVersion = -1,
  kRowSerial = -2,
  kRowSigAlg = -3,
  kRowIssuer = -4,
  kRowValidFrom = -5,
  kRowValidTo = -6,
  kRowSubject = -7,
  kRowPublicKey = -8,
  kRowPath = -9,
};

struct FixedRow {
  int code;
  const wchar_t *korean;
  const wchar_t *english;
};
const FixedRow kFixedRows[] = {
    {kRowVersion, L"버전", L"Version"},
    {kRowSerial, L"일련번호", L"Serial Number"},
    {kRowSigAlg, L"서명알고리즘", L"Signature Algorithm"},
    {kRowIssuer, L"발급자", L"Issuer"},
    {kRowValidFrom, L"다음부터 유효함", L"Valid From"},
    {kRowValidTo, L"다음까지 유효함", L"Valid To"},
    {kRowSubject, L"소유자", L"Subject"},
    {kRowPublicKey, L"공개키정보", L"Public Key"},
};

const Extension *extension_at(const Certificate *cert, size_t index) {
  size_t i = 0;
  for (const ASN1_LIST *n = cert->tbs.extensions; n != nullptr; n = n->next) {
    if (n->element == nullptr) continue;
    if (i++ == index) return static_cast<const Extension *>(n->element);
  }
  return nullptr;
}

}  // namespace

void set_validation_settings_hook(ValidationSettingsHook hook) { g_settings_hook.store(hook); }

// ---- The general page ----

struct CCertViewPage1::Job {
  HWND page = nullptr;
  unsigned run = 0;
  const Certificate *cert = nullptr;  // the sheet's, which outlives the page's window
  int usage = 0;
  std::string policy;
  int rc = 0;
  std::wstring error_text;
};

CCertViewPage1::CCertViewPage1() : CPropertyPage(IDD) {}

CCertViewPage1::~CCertViewPage1() { WaitForWorker(); }

void CCertViewPage1::SetCertificate(const Certificate *cert, int item) {
  cert_ = cert;
  item_ = item;
}

BOOL CCertViewPage1::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  if (!language_is_korean()) {
    SetDlgItemText(IDC_CV_VIEW_ERROR, L"View Error");
    SetDlgItemText(IDC_CV_GROUP, L"Certificate Information");
    SetDlgItemText(IDC_CV_LABEL_SUBJECT, L"Subject :");
    SetDlgItemText(IDC_CV_LABEL_ISSUER, L"Issuer  :");
    SetDlgItemText(IDC_CV_LABEL_POLICY, L"Policy  :");
    SetDlgItemText(IDC_CV_LABEL_VALIDITY, L"Valid from");
    SetDlgItemText(IDC_CV_LABEL_FROM, L"To");
    SetDlgItemText(IDC_CV_LABEL_TO, L"");
    SetDlgItemText(IDC_CV_LABEL_ALGORITHM, L"Algorithm :");
    SetDlgItemText(IDC_CV_LABEL_PUBKEY, L"Public Key :");
  }
  SetDlgItemText(IDC_CV_NOTICE, L"");
  subject_.SubclassDlgItem(IDC_CV_SUBJECT, m_hWnd);
  valid_to_.SubclassDlgItem(IDC_CV_VALID_TO, m_hWnd);
  valid_from_.SubclassDlgItem(IDC_CV_VALID_FROM, m_hWnd);
  subject_.SetBold(true);
  valid_to_.SetBold(true);
  valid_from_.SetBold(true);
  Refresh();
  return TRUE;
}

void CCertViewPage1::Refresh() {
  if (m_hWnd == nullptr) return;
  FillTexts();
  StartValidation();
}

void CCertViewPage1::FillTexts() {
  if (cert_ == nullptr) return;
  SetDlgItemText(IDC_CV_VALID_FROM, take_setting(certview_not_before_text(cert_)).c_str());
  SetDlgItemText(IDC_CV_VALID_TO, take_setting(certview_not_after_text(cert_)).c_str());
  const std::string issuer = certview::short_name(take_narrow(certview_issuer_text(cert_)).c_str());
  const std::string subject = certview::short_name(take_narrow(certview_subject_text(cert_)).c_str());
  dialogs::SetDlgItemTextSetting(m_hWnd, IDC_CV_ISSUER, issuer.c_str());
  dialogs::SetDlgItemTextSetting(m_hWnd, IDC_CV_SUBJECT, subject.c_str());
  dialogs::SetDlgItemTextSetting(m_hWnd, IDC_CV_POLICY,
                                 ext_text(cert_, OID_EXT_CERT_POLICIES, CERTVIEW_PLAIN).c_str());
  dialogs::SetDlgItemTextSetting(m_hWnd, IDC_CV_NOTICE,
                                 ext_text(cert_, OID_EXT_CERT_POLICIES, CERTVIEW_USER_NOTICE).c_str());
  SetDlgItemText(IDC_CV_ALGORITHM, take_setting(certview_sigalg_text(cert_)).c_str());
  SetDlgItemText(IDC_CV_PUBKEY, take_setting(certview_pubkey_text(cert_)).c_str());
}

void CCertViewPage1::ShowVerdict(bool skipped, int rc) {
  const certview::ViewerVerdict verdict = certview::viewer_verdict(skipped, rc);
  HICON icon = static_cast<HICON>(
      ::LoadImageW(classlib::AfxGetResourceHandle(), MAKEINTRESOURCEW(verdict.icon), IMAGE_ICON, 32, 32, 0));
  HICON old = reinterpret_cast<HICON>(SendDlgItemMessage(IDC_CV_VERDICT_ICON, STM_SETICON, WPARAM(icon)));
  if (old != nullptr && old == verdict_icon_) ::DestroyIcon(old);
  verdict_icon_ = icon;
  SetDlgItemText(IDC_CV_VERDICT,
                 verdict.text_id != 0 ? classlib::LoadPairText(UINT(verdict.text_id)).c_str() : L"");
  GetDlgItem(IDC_CV_VIEW_ERROR).ShowWindow(verdict.view_error ? SW_SHOW : SW_HIDE);
  GetDlgItem(IDC_CV_VIEW_ERROR).EnableWindow(verdict.view_error);
}

void CCertViewPage1::StartValidation() {
  WaitForWorker();
  error_text_.clear();
  if (cert_ == nullptr) return;
  if (request_ != nullptr && request_->viewer_skips_validation == 1) {
    ShowVerdict(true, 0);
    return;
  }
  // Busy: no verdict yet, and nothing to look at behind View Error.
  SetDlgItemText(IDC_CV_VERDICT, classlib::LoadPairText(IDS_CERT_VALIDATING).c_str());
  GetDlgItem(IDC_CV_VIEW_ERROR).ShowWindow(SW_HIDE);
  GetDlgItem(IDC_CV_VIEW_ERROR).EnableWindow(FALSE);
  job_ = new Job;
  job_->page = m_hWnd;
  job_->run = ++run_;
  job_->cert = cert_;
  job_->usage = certview::viewer_usage_code(item_);
  job_->policy = certview::viewer_validation_policy(request_);
  worker_ = ::CreateThread(nullptr, 0, ValidateThread, job_, 0, nullptr);
  if (worker_ == nullptr) {
    ValidateThread(job_);
    // The result was posted; it is taken from the queue like a worker's.
  }
}

DWORD WINAPI CCertViewPage1::ValidateThread(void *argument) {
  Job *job = static_cast<Job *>(argument);
  ERROR_CTX err{};
  VALIDATION_SETTINGS *settings = static_cast<VALIDATION_SETTINGS *>(calloc(1, sizeof(VALIDATION_SETTINGS)));
  VALIDATION_CTX *ctx = nullptr;
  const char *folder = lib_data_folder();
  int rc = 0;
  if (settings == nullptr) {
    rc = kErrOutOfMemory;
    err_push(&err, rc, nullptr);
  } else if (folder == nullptr || strlen(folder) > 260) {
    rc = kErrFilePathTooLong;
    err_push(&err, rc, folder);
  } else {
    valcfg_set("Policy", settings, job->policy.c_str());
    valcfg_set("Validation", settings, "CRL");
    valcfg_set("CertDir", settings, folder);
    valcfg_set("StoreCerts", settings, "TRY_STORING");
    if (ValidationSettingsHook hook = g_settings_hook.load()) hook(settings);
    if (valcfg_finish(settings) != 0) {
      rc = kErrInvalidConfig;
      err_push(&err, rc, nullptr);
    } else if ((ctx = valctx_create(settings, &err)) == nullptr) {
      rc = kErrOutOfMemory;
      err_push(&err, rc, nullptr);
    } else {
      rc = cert_validate(job->cert, ctx, job->usage);
    }
  }
  if (rc != 0) job->error_text = dialogs::screen_text(dialogs::context_detail(&err));
  job->rc = rc;
  valctx_free(ctx);
  if (settings != nullptr) cert_nodes_free(settings->roots);
  free(settings);
  err_ctx_clear(&err);
  ::PostMessageW(job->page, WM_CERTVIEW_VALIDATED, WPARAM(job->run), 0);
  return 0;
}

LRESULT CCertViewPage1::OnValidated(WPARAM run, LPARAM) {
  if (job_ == nullptr || run != job_->run) return 0;
  if (worker_ != nullptr) {
    ::WaitForSingleObject(worker_, INFINITE);
    ::CloseHandle(worker_);
    worker_ = nullptr;
  }
  error_text_ = job_->error_text;
  const int rc = job_->rc;
  delete job_;
  job_ = nullptr;
  ShowVerdict(false, rc);
  return 0;
}

void CCertViewPage1::WaitForWorker() {
  // The worker ends within the directory client's limits; its posted result is then stale.
  if (worker_ != nullptr) {
    ::WaitForSingleObject(worker_, INFINITE);
    ::CloseHandle(worker_);
    worker_ = nullptr;
  }
  delete job_;
  job_ = nullptr;
}

void CCertViewPage1::OnViewError() {
  dialogs::ShownText summary;
  summary.present = true;
  const std::wstring text = classlib::LoadPairText(IDS_VALIDATION_FAILED);
  summary.text.assign(text.begin(), text.end());
  dialogs::ShownText detail;
  detail.present = true;
  detail.text.assign(error_text_.begin(), error_text_.end());
  dialogs::RunErrorDialog(summary, detail);
}

void CCertViewPage1::OnDestroy() {
  WaitForWorker();
  if (verdict_icon_ != nullptr) {
    ::DestroyIcon(verdict_icon_);
    verdict_icon_ = nullptr;
  }
  SetMsgHandled(false);
}

// ---- The details page ----

CCertViewPage2::CCertViewPage2() : CPropertyPage(IDD) {}

CCertViewPage2::~CCertViewPage2() {
  if (images_ != nullptr) ImageList_Destroy(images_);
}

BOOL CCertViewPage2::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  dialogs::EnsureRichEdit();
  const bool korean = language_is_korean();
  HWND list = Item(IDC_CV_FIELDS);
  ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT | LVS_EX_SUBITEMIMAGES);
  images_ = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 4, 0);
  for (int id : {IDI_CV_FIELD, IDI_CV_EXTENSION, IDI_CV_CRITICAL, IDI_CV_PATH}) {
    HICON icon = static_cast<HICON>(
        ::LoadImageW(classlib::AfxGetResourceHandle(), MAKEINTRESOURCEW(id), IMAGE_ICON, 16, 16, 0));
    ImageList_AddIcon(images_, icon);
    if (icon != nullptr) ::DestroyIcon(icon);
  }
  ListView_SetImageList(list, images_, LVSIL_SMALL);
  LVCOLUMNW column = {};
  column.mask = LVCF_TEXT | LVCF_WIDTH;
  column.cx = 140;
  column.pszText = const_cast<wchar_t *>(korean ? L"필드" : L"Field");
  ::SendMessageW(list, LVM_INSERTCOLUMNW, 0, LPARAM(&column));
  column.cx = 280;
  column.pszText = const_cast<wchar_t *>(korean ? L"값" : L"Value");
  ::SendMessageW(list, LVM_INSERTCOLUMNW, 1, LPARAM(&column));
  Refresh();
  return TRUE;
}

void CCertViewPage2::AddRow(int code, const wchar_t *field, const std::string &value, int image) {
  HWND list = Item(IDC_CV_FIELDS);
  LVITEMW item = {};
  item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
  item.iItem = int(codes_.size());
  item.pszText = const_cast<wchar_t *>(field);
  item.iImage = image;
  item.lParam = LPARAM(code);
  const int index = int(::SendMessageW(list, LVM_INSERTITEMW, 0, LPARAM(&item)));
  dialogs::SetListViewItemTextSetting(list, index, 1, value.c_str());
  codes_.push_back(code);
}

std::string CCertViewPage2::FullText(int code) const {
  if (cert_ == nullptr) return std::string();
  switch (code) {
    case kRowVersion: {
      const ASN1_BYTES *v = cert_->tbs.version;
      const int version = (v != nullptr && v->len == 1 ? v->data[0] : 0) + 1;
      return "V" + std::to_string(version);
    }
    case kRowSerial:
      return take_narrow(certview_serial_text(cert_, 1));
    case kRowSigAlg:
      return take_narrow(certview_sigalg_text(cert_));
    case kRowIssuer:
      return take_narrow(certview_issuer_text(cert_));
    case kRowValidFrom:
      return take_narrow(certview_not_before_text(cert_));
    case kRowValidTo:
      return take_narrow(certview_not_after_text(cert_));
    case kRowSubject:
      return take_narrow(certview_subject_text(cert_));
    case kRowPublicKey:
      return take_narrow(certview_pubkey_hex(cert_));
    case kRowPath: {
      const char *folder = nullptr;
      if (entry_ != nullptr && (entry_->media_code == 1 || entry_->media_code == 2)) {
        folder = static_cast<const char *>(entry_->medium_data);
      }
      return certview::viewer_path_text(entry_ != nullptr ? entry_->media_code : 0, folder, language_is_korean());
    }
    default:
      break;
  }
  const Extension *ext = extension_at(cert_, size_t(code));
  if (ext == nullptr) return std::string();
  const int oid = oid_to_id(&ext->extn_id);
  return ext_text(cert_, oid, CERTVIEW_NUMBERED);
}

void CCertViewPage2::Refresh() {
  if (m_hWnd == nullptr) return;
  HWND list = Item(IDC_CV_FIELDS);
  ListView_DeleteAllItems(list);
  codes_.clear();
  dialogs::SetRichEditPlainText(Item(IDC_CV_FIELD_TEXT), L"");
  if (cert_ == nullptr) return;
  const bool korean = language_is_korean();
  for (const FixedRow &row : kFixedRows) {
    // The short value; the rich edit shows the full one (both forms of the serial, the key's hex).
    std::string value = row.code == kRowSerial      ? take_narrow(certview_serial_text(cert_, 0))
                        : row.code == kRowPublicKey ? take_narrow(certview_pubkey_text(cert_))
                                                    : FullText(row.code);
    AddRow(row.code, korean ? row.korean : row.english, value, 0);
  }
  for (size_t i = 0;; ++i) {
    const Extension *ext = extension_at(cert_, i);
    if (ext == nullptr) break;
    const int oid = oid_to_id(&ext->extn_id);
    std::string name = take_narrow(oid != 0 ? certview_ext_name(oid) : nullptr);
    if (name.empty()) {
      char dotted[32] = "";
      oid_to_text(dotted, &ext->extn_id, sizeof dotted);
      name = dotted;
    }
    const bool critical = ext->critical != nullptr && *ext->critical != 0;
    AddRow(int(i), dialogs::setting_screen_text(name.c_str()).c_str(), ext_text(cert_, oid, CERTVIEW_PLAIN),
           critical ? 2 : 1);
  }
  const std::string path = FullText(kRowPath);
  if (!path.empty()) {
    AddRow(kRowPath, korean ? L"경로" : L"Path", path, 3);
  }
}

LRESULT CCertViewPage2::OnItemChanged(NMHDR *header) {
  const NMLISTVIEW *change = reinterpret_cast<const NMLISTVIEW *>(header);
  if ((change->uNewState & LVIS_SELECTED) == 0 || change->iItem < 0 ||
      size_t(change->iItem) >= codes_.size()) {
    return 0;
  }
  const int code = codes_[size_t(change->iItem)];
  const std::string text = FullText(code);
  dialogs::SetRichEditSetting(Item(IDC_CV_FIELD_TEXT), text.c_str());
  return 0;
}

// ---- The sheet ----

CCertViewProp::CCertViewProp() : CPropertySheet(L"인증서보기") {
  m_dwExtraFlags = PSH_NOAPPLYNOW;
  AddPage(&page1_);
}

CCertViewProp::~CCertViewProp() {
  certview_free(sign_);
  certview_free(km_);
}

void CCertViewProp::SetRequest(const RelayRequestRecord *request) {
  request_ = request;
  page1_.SetRequest(request);
}

void CCertViewProp::SetEntry(const CERT_ENTRY *entry) {
  entry_ = entry;
  page2_.SetEntry(entry);
}

bool CCertViewProp::SetCertificates(const uint8_t *sign_der, size_t sign_length, const uint8_t *km_der,
                                    size_t km_length) {
  certview_free(sign_);
  certview_free(km_);
  int code = 0;
  sign_ = sign_der != nullptr ? certview_decode(sign_der, sign_length) : nullptr;
  if (sign_der != nullptr && sign_ == nullptr) code = errno;
  km_ = km_der != nullptr ? certview_decode(km_der, km_length) : nullptr;
  if (km_der != nullptr && km_ == nullptr && code == 0) code = errno;
  const bool ok = (sign_der == nullptr || sign_ != nullptr) && (km_der == nullptr || km_ != nullptr);
  shown_ = sign_ != nullptr ? 0 : 1;
  page1_.SetCertificate(CertificateOf(shown_), shown_);
  page2_.SetCertificate(CertificateOf(shown_));
  // The details page exists only for a certificate to show.
  if (GetPageCount() == 1 && (sign_ != nullptr || km_ != nullptr)) AddPage(&page2_);
  if (!ok) errno = code != 0 ? code : int(kErrAsn1Decode);
  return ok;
}

void CCertViewProp::OnInitDialog() {
  if (sign_ == nullptr && km_ == nullptr) return;
  const bool korean = language_is_korean();
  HWND tabs = reinterpret_cast<HWND>(Send(PSM_GETTABCONTROL));
  if (!korean) {
    SetWindowText(L"View certificate");
    TCITEMW tab = {};
    tab.mask = TCIF_TEXT;
    tab.pszText = const_cast<wchar_t *>(L"General");
    ::SendMessageW(tabs, TCM_SETITEMW, 0, LPARAM(&tab));
    tab.pszText = const_cast<wchar_t *>(L"Details");
    ::SendMessageW(tabs, TCM_SETITEMW, 1, LPARAM(&tab));
  }
  HFONT font = reinterpret_cast<HFONT>(Send(WM_GETFONT));
  CWnd ok = GetDlgItem(IDOK);
  CWnd cancel = GetDlgItem(IDCANCEL);
  ok.SetWindowText(korean ? L"닫 기" : L"Close");
  RECT cancel_rect, tab_rect;
  cancel.GetWindowRect(&cancel_rect);
  ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT *>(&cancel_rect), 2);
  ::GetWindowRect(tabs, &tab_rect);
  ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT *>(&tab_rect), 2);
  cancel.ShowWindow(SW_HIDE);
  const int button_w = cancel_rect.right - cancel_rect.left;
  const int button_h = cancel_rect.bottom - cancel_rect.top;
  HINSTANCE instance = classlib::AfxGetResourceHandle();
  HWND more = ::CreateWindowExW(0, L"BUTTON", korean ? L"추가정보" : L"More Info",
                                WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, cancel_rect.left,
                                cancel_rect.top, button_w, button_h, m_hWnd,
                                reinterpret_cast<HMENU>(IDW_CV_MORE_INFO), instance, nullptr);
  // Room above the tabs for the choice of certificate: the tabs and pages move down.
  const int room = button_h + 8;
  RECT sheet_rect;
  GetWindowRect(&sheet_rect);
  SetWindowPos(nullptr, 0, 0, sheet_rect.right - sheet_rect.left, sheet_rect.bottom - sheet_rect.top + room,
               SWP_NOMOVE | SWP_NOZORDER);
  for (HWND child = ::GetWindow(m_hWnd, GW_CHILD); child != nullptr;
       child = ::GetWindow(child, GW_HWNDNEXT)) {
    if (child == more) continue;
    RECT r;
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT *>(&r), 2);
    ::SetWindowPos(child, nullptr, r.left, r.top + room, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  }
  ::SetWindowPos(more, nullptr, cancel_rect.left, cancel_rect.top + room, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  const int root_w = button_w * 3 / 2;
  HWND root = ::CreateWindowExW(0, L"BUTTON", korean ? L"최상위 인증서 정보" : L"Root Cert Info",
                                WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, tab_rect.right - root_w,
                                tab_rect.top, root_w, button_h, m_hWnd,
                                reinterpret_cast<HMENU>(IDW_CV_ROOT_INFO), instance, nullptr);
  const int choice_w = (tab_rect.right - tab_rect.left) / 2 + 60;
  HWND choice = ::CreateWindowExW(
      0, L"COMBOBOX", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | CBS_DROPDOWNLIST | WS_VSCROLL, tab_rect.left,
      tab_rect.top, choice_w, 120, m_hWnd, reinterpret_cast<HMENU>(IDW_CV_CHOICE), instance, nullptr);
  for (HWND control : {more, root, choice}) ::SendMessageW(control, WM_SETFONT, WPARAM(font), TRUE);
  const certview::ViewerChoice items = certview::viewer_choice(sign_ != nullptr, km_ != nullptr);
  for (int i = 0; i < items.count; ++i) {
    choice_items_[i] = items.items[i];
    ::SendMessageW(choice, CB_ADDSTRING, 0,
                   LPARAM(from_utf8(certview::viewer_choice_text(items.items[i], korean)).c_str()));
  }
  ::SendMessageW(choice, CB_SETCURSEL, 0, 0);
  ::EnableWindow(choice, items.enabled);
  ok.SetFocus();
}

void CCertViewProp::ShowCertificate(int item) {
  if (CertificateOf(item) == nullptr) return;
  shown_ = item;
  page1_.SetCertificate(CertificateOf(item), item);
  page2_.SetCertificate(CertificateOf(item));
  page1_.Refresh();
  if (page2_.Created()) page2_.Refresh();
}

void CCertViewProp::OnChoice() {
  const int index = int(SendDlgItemMessage(IDW_CV_CHOICE, CB_GETCURSEL));
  if (index < 0 || index > 1) return;
  ShowCertificate(choice_items_[index]);
}

void CCertViewProp::OnMoreInfo() {
  const Certificate *cert = CertificateOf(shown_);
  const std::string cps =
      cert != nullptr ? ext_text(cert, OID_EXT_CERT_POLICIES, CERTVIEW_CPS) : std::string();
  // The address comes from the certificate: only http and https ever reach a browser.
  if (cps.empty() || dialogs::open_link(cps.c_str()) != 0) {
    const std::wstring text = classlib::LoadPairText(IDS_NO_MORE_INFO);
    message_box_w(reinterpret_cast<const char16_t *>(text.c_str()), u"", MB_OK);
  }
}

void CCertViewProp::OnRootInfo() {
  CVerifyRootDlg dialog;
  dialog.DoModal(m_hWnd);
}

INT_PTR ShowCertificateViewer(const RelayRequestRecord *request, const CERT_ENTRY *entry,
                              const uint8_t *sign_der, size_t sign_length, const uint8_t *km_der,
                              size_t km_length) {
  if (sign_der == nullptr && km_der == nullptr) {
    errno = kErrInvalidParameter;
    return -1;
  }
  CCertViewProp sheet;
  sheet.SetRequest(request);
  sheet.SetEntry(entry);
  if (!sheet.SetCertificates(sign_der, sign_length, km_der, km_length)) return -1;
  return sheet.DoModal();
}

}  // namespace viewer
}  // namespace v7
