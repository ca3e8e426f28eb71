#include "wizard/sheet/sheet_cert_relay.h"

#include <cstdlib>
#include <cstring>

#include "crypto/base/wipe.h"
#include "media/securedisk/securedisk.h"
#include "pki/text/codepage.h"
#include "platform/classlib/app.h"
#include "platform/errors/error_codes.h"
#include "platform/locale/process_words.h"
#include "wizard/dialogs/text_setters.h"
#include "wizard/pages/page_cert_dn.h"
#include "wizard/pages/page_change_passwd_r.h"
#include "wizard/pages/page_input_ssn.h"
#include "wizard/pages/page_media.h"
#include "wizard/pages/page_output_an.h"
#include "wizard/pages/page_output_an2.h"
#include "wizard/pages/page_recipient_start.h"
#include "wizard/pages/page_status.h"
#include "wizard/res/pages_ids.h"
#include "wizard/res/string_ids.h"

namespace v7 {
namespace sheet {

using v7::classlib::CPropertyPage;
using v7::classlib::LoadPairText;
using namespace v7::pages;

namespace {

std::wstring wide_of(const std::u16string &text) { return std::wstring(text.begin(), text.end()); }
std::u16string u16_of(const std::wstring &text) { return std::u16string(text.begin(), text.end()); }

void wipe_text(std::string *s) {
  if (!s->empty()) v7::secure_wipe(&(*s)[0], s->size());
  s->clear();
}

void free_copy(ReceivedCertRecord *r) {
  if (r == nullptr) return;
  const std::pair<uint8_t *, size_t> parts[] = {
      {r->sign_key, r->sign_key_len}, {r->sign_cert, r->sign_cert_len}, {r->km_key, r->km_key_len}, {r->km_cert, r->km_cert_len}};
  for (auto part : parts) {
    v7::secure_wipe(part.first, part.second);
    free(part.first);
  }
  v7::secure_wipe(r, sizeof *r);
  free(r);
}

// What a worker's message carries belongs to the message: freed when its handler returns.
class MessagePayload {
 public:
  MessagePayload(UINT message, LPARAM payload) : message_(message), payload_(payload) {}
  ~MessagePayload() { relay_message_payload_free(message_, payload_); }
  MessagePayload(const MessagePayload &) = delete;
  MessagePayload &operator=(const MessagePayload &) = delete;

 private:
  UINT message_;
  LPARAM payload_;
};

bool copy_part(const uint8_t *from, size_t len, uint8_t **to, size_t *to_len) {
  if (from == nullptr || len == 0) return true;
  *to = static_cast<uint8_t *>(malloc(len));
  if (*to == nullptr) return false;
  memcpy(*to, from, len);
  *to_len = len;
  return true;
}

// A folder named in the setting's encoding, as the status page shows it; empty for none.
std::u16string folder_text(const char *folder) {
  std::u16string out;
  char16_t *wide = nullptr;
  if (folder != nullptr && setting_to_wide(folder, &wide) == 0 && wide != nullptr) out = wide;
  free(wide);
  return out;
}

}  // namespace

CSheetCertRelay::CSheetCertRelay(RelayModeWord mode) : CPropertySheet() {
  Build(mode, 0, 0, relay_mode_is_recipient(mode) ? L"RELAY_RECIPIENT" : L"RELAY_SENDER");
}
CSheetCertRelay::CSheetCertRelay(RelayModeWord mode, ControlFlags flags) : CPropertySheet() {
  Build(mode, 0, flags.value, L"RELAY_SENDER");
}
CSheetCertRelay::CSheetCertRelay(RelayModeWord mode, MediaMask media) : CPropertySheet() {
  Build(mode, media.value, 0, L"RELAY_RECIPIENT");
}
CSheetCertRelay::CSheetCertRelay(RelayModeWord mode, MediaMask media, ControlFlags flags) : CPropertySheet() {
  Build(mode, media.value, flags.value, L"RELAY_RECIPIENT");
}

void CSheetCertRelay::Build(RelayModeWord mode, uint32_t media_mask, uint32_t flags, const wchar_t *caption) {
  mode_ = mode;
  media_mask_ = media_mask;
  flags_ = flags;
  SetTitle(caption);
  pages_[int(SheetPage::SenderStatus)].reset(new CPageStatus());
  pages_[int(SheetPage::InputSSN)].reset(new CPageInputSSN());
  pages_[int(SheetPage::FirstStatus)].reset(new CPageStatus());
  pages_[int(SheetPage::OutputAN)].reset(new CPageOutputAN());
  pages_[int(SheetPage::CertDN)].reset(new CPageCertDN());
  pages_[int(SheetPage::SecondStatus)].reset(new CPageStatus());
  pages_[int(SheetPage::Media)].reset(new CPageMedia());
  pages_[int(SheetPage::ChangePasswdR)].reset(new CPageChangePasswdR());
  pages_[int(SheetPage::LastStatus)].reset(new CPageStatus());
  pages_[int(SheetPage::RecipientStart)].reset(new CPageRecipientStart());
  pages_[int(SheetPage::OutputAN2)].reset(new CPageOutputAN2());
  LoadTitles();
  controller_.reset(new CCertRelayThread());
}

CSheetCertRelay::~CSheetCertRelay() {
  FreeReceived();
  target_.reset();
  // Stops a worker that still runs before anything it may post to is gone.
  controller_.reset();
  for (HICON icon : {icon_working_, icon_done_, icon_failed_}) {
    if (icon != nullptr) ::DestroyIcon(icon);
  }
  v7::secure_wipe(new_password_, sizeof new_password_);
  wipe_text(&auth_code_);
}

void CSheetCertRelay::LoadTitles() {
  for (int i = 0; i < int(SheetPage::kCount); ++i) {
    const unsigned id = page_title(mode_, SheetPage(i));
    titles_[i] = id != 0 ? LoadPairText(id) : std::wstring();
  }
}

void CSheetCertRelay::InstallPage(SheetPage slot, std::unique_ptr<CPropertyPage> page) {
  pages_[int(slot)] = std::move(page);
}

void CSheetCertRelay::AddModePages() {
  const bool korean = language_is_korean();
  bool first = true;
  for (SheetPage slot : mode_pages(mode_)) {
    CPropertyPage *page = Page(slot);
    if (page == nullptr) continue;
    if (!korean) {
      // In English the titles replace the templates' Korean captions; a page without a title
      // shows none.
      page->SetCaption(titles_[int(slot)]);
      if (first) SetTitle(titles_[int(slot)]);
    }
    first = false;
    AddPage(page);
  }
  SetWizardMode();
}

void CSheetCertRelay::SetPagesAfterMedia(const std::vector<SheetPage> &slots) {
  const int media = GetPageIndex(Page(SheetPage::Media));
  if (media < 0) return;
  std::vector<CPropertyPage *> want;
  for (SheetPage slot : slots) {
    if (Page(slot) != nullptr) want.push_back(Page(slot));
  }
  std::vector<CPropertyPage *> have;
  for (int i = media + 1; i < GetPageCount(); ++i) have.push_back(GetPage(i));
  if (have == want) return;
  while (GetPageCount() > media + 1) RemovePage(GetPageCount() - 1);
  const bool korean = language_is_korean();
  for (CPropertyPage *page : want) {
    for (int i = 0; i < int(SheetPage::kCount); ++i) {
      if (!korean && pages_[i].get() == page) page->SetCaption(titles_[i]);
    }
    AddPage(page);
  }
}

bool CSheetCertRelay::IsStatusPage(const CPropertyPage *page) const {
  return IsPage(page, SheetPage::SenderStatus) || IsPage(page, SheetPage::FirstStatus) ||
         IsPage(page, SheetPage::SecondStatus) || IsPage(page, SheetPage::LastStatus);
}

bool CSheetCertRelay::SetNewPassword(bool change, const char *narrow_password) {
  v7::secure_wipe(new_password_, sizeof new_password_);
  change_password_ = false;
  if (!change) return true;
  const size_t len = narrow_password != nullptr ? strlen(narrow_password) : 0;
  if (len >= sizeof new_password_) return false;
  if (len > 0) memcpy(new_password_, narrow_password, len);
  change_password_ = true;
  return true;
}

int CSheetCertRelay::StartTransfer(const std::wstring &text) {
  char narrow[kStartTextCapacity];
  std::u16string wide = u16_of(text);
  const bool ok = start_text_narrow(wide, char_encoding_is_utf8(), narrow);
  if (!wide.empty()) v7::secure_wipe(&wide[0], wide.size() * sizeof(char16_t));
  if (!ok) {
    failure_ = u16_of(LoadPairText(IDS_START_TEXT_NOT_VALID));
    return -1;
  }
  const int rc = ConnectAndStart(narrow);
  v7::secure_wipe(narrow, sizeof narrow);
  return rc;
}

int CSheetCertRelay::ConnectAndStart(const char *text) {
  // A new run: nothing of the last one is shown or kept.
  failure_.clear();
  subject_.clear();
  wipe_text(&auth_code_);
  FreeReceived();
  received_flag_ = false;
  const char *password = !IsRecipient() && change_password_ && new_password_[0] != 0 ? new_password_ : nullptr;
  if (controller_->Connect(mode_, flags_, select_, text, password) != 0) return -1;
  if (controller_->StartWorker(m_hWnd) != 0) return -1;
  return 0;
}

void CSheetCertRelay::StopTransfer() { controller_->StopWorker(); }

void CSheetCertRelay::SetStoreResult(int code, const char *kept_backup, const char *left_copy) {
  stored_ = 1;
  store_result_ = code;
  kept_backup_ = folder_text(kept_backup);
  left_copy_ = folder_text(left_copy);
}

void CSheetCertRelay::PostButtons(WizardButtonFlags flags) {
  if (m_hWnd != nullptr) ::PostMessageW(m_hWnd, PSM_SETWIZBUTTONS, 0, LPARAM(flags));
}

LRESULT CSheetCertRelay::OnSetWizButtons(WPARAM, LPARAM lparam) {
  buttons_ = DWORD(lparam);
  SetMsgHandled(false);
  return 0;
}

void CSheetCertRelay::PressNext() {
  // A disabled Next does not press on every platform: enable it for the press. Where the sheet
  // acts on the press later, the buttons come back only after it, so the check is posted too.
  const DWORD saved = buttons_;
  CPropertyPage *before = GetActivePage();
  ::SendMessageW(m_hWnd, PSM_SETWIZBUTTONS, 0, LPARAM((saved & ~DWORD(PSWIZB_FINISH)) | PSWIZB_NEXT));
  ::SendMessageW(m_hWnd, PSM_PRESSBUTTON, PSBTN_NEXT, 0);
  ::PostMessageW(m_hWnd, kRestoreButtons, WPARAM(saved), LPARAM(before));
}

LRESULT CSheetCertRelay::OnRestoreButtons(WPARAM wparam, LPARAM lparam) {
  if (!closing_ && GetActivePage() == reinterpret_cast<CPropertyPage *>(lparam))
    ::SendMessageW(m_hWnd, PSM_SETWIZBUTTONS, 0, LPARAM(wparam));
  return 0;
}

std::wstring CSheetCertRelay::FailureText() const {
  if (!failure_.empty()) return wide_of(failure_);
  const wchar_t *text = controller_ ? controller_->ErrorText() : nullptr;
  return text != nullptr ? std::wstring(text) : std::wstring();
}

HICON CSheetCertRelay::Icon(StatusIcon icon) const {
  return icon == StatusIcon::Working ? icon_working_ : icon == StatusIcon::Done ? icon_done_ : icon_failed_;
}

StatusInput CSheetCertRelay::StatusState() const {
  StatusInput in;
  in.stored = stored_ == 1;
  in.store_result = store_result_;
  in.running = controller_ && controller_->Running();
  in.received = received_ != nullptr;
  in.has_store_page = Page(SheetPage::Media) != nullptr || Page(SheetPage::ChangePasswdR) != nullptr;
  in.korean = language_is_korean();
  return in;
}

UINT CSheetCertRelay::FirstPageTemplate() const {
  const std::vector<SheetPage> order = mode_pages(mode_);
  for (SheetPage slot : order) {
    if (Page(slot) != nullptr) return Page(slot)->m_nIDTemplate;
  }
  return 0;
}

void CSheetCertRelay::OnInitDialog() {
  if (!controller_) controller_.reset(new CCertRelayThread());
  v7::dialogs::EnsureRichEdit();
  const HINSTANCE res = v7::classlib::AfxGetResourceHandle();
  auto load = [res](int id) { return HICON(::LoadImageW(res, MAKEINTRESOURCEW(id), IMAGE_ICON, 32, 32, 0)); };
  icon_working_ = load(IDI_STATUS_WORKING);
  icon_done_ = load(IDI_STATUS_DONE);
  icon_failed_ = load(IDI_STATUS_FAILED);
  if (language_is_korean()) return;
  static const std::pair<int, const wchar_t *> kButtons[] = {
      {ID_WIZBACK, L"Back"}, {ID_WIZNEXT, L"Next"}, {ID_WIZFINISH, L"Finish"}, {IDCANCEL, L"Cancel"}};
  for (auto b : kButtons) ::SetDlgItemTextW(m_hWnd, b.first, b.second);
}

void CSheetCertRelay::OnRunEnd() {
  closing_ = true;
  controller_->StopWorker();
  // The worker is gone: what it posted and the sheet has not taken would be lost with the window,
  // and a received set or a code among it would stay in memory unwiped.
  MSG msg;
  while (::PeekMessageW(&msg, m_hWnd, WM_RELAY_STOP, WM_RELAY_CERTDATA_TAKEN, PM_REMOVE))
    relay_message_payload_free(msg.message, msg.lParam);
}

// ---- The received set ----

void CSheetCertRelay::FreeReceived() {
  free_copy(received_);
  received_ = nullptr;
}

bool CSheetCertRelay::CopyReceived(const ReceivedCertRecord *from) {
  FreeReceived();
  if (from == nullptr) return false;
  auto *copy = static_cast<ReceivedCertRecord *>(calloc(1, sizeof(ReceivedCertRecord)));
  if (copy == nullptr) return false;
  const bool ok = copy_part(from->sign_cert, from->sign_cert_len, &copy->sign_cert, &copy->sign_cert_len) &&
                  copy_part(from->sign_key, from->sign_key_len, &copy->sign_key, &copy->sign_key_len) &&
                  copy_part(from->km_cert, from->km_cert_len, &copy->km_cert, &copy->km_cert_len) &&
                  copy_part(from->km_key, from->km_key_len, &copy->km_key, &copy->km_key_len);
  if (!ok) {
    free_copy(copy);
    return false;
  }
  received_ = copy;
  return true;
}

// ---- Storage targets ----

namespace {
bool empty_text(const char *text) { return text == nullptr || text[0] == 0; }
}  // namespace

int CSheetCertRelay::SetTargetHardDisk() {
  target_.reset(new StoreMedium());
  target_->kind = kStoreHardDisk;
  return 0;
}

int CSheetCertRelay::SetTargetRemovable(char drive) {
  target_.reset();
  if (drive == 0) return kErrInvalidParameter;
  target_.reset(new StoreMedium());
  target_->kind = kStoreRemovable;
  target_->text = std::string(1, drive) + ":";
  return 0;
}

int CSheetCertRelay::SetTargetIcCard(const char *pin) {
  target_.reset();
  if (empty_text(pin)) return kErrInvalidParameter;
  target_.reset(new StoreMedium());
  target_->kind = kStoreIcCard;
  target_->SetPin(pin);
  return 0;
}

int CSheetCertRelay::SetTargetToken(const char *module_path, const char *pin) {
  target_.reset();
  if (empty_text(module_path) || empty_text(pin)) return kErrInvalidParameter;
  target_.reset(new StoreMedium());
  target_->kind = kStoreSecurityToken;
  target_->module_path = module_path;
  target_->SetPin(pin);
  return 0;
}

int CSheetCertRelay::SetTargetSecureDisk(SecureDiskHandle *handle) {
  target_.reset();
  if (handle == nullptr) return kErrInvalidParameter;
  target_.reset(new StoreMedium());
  target_->kind = kStoreSecureDisk;
  target_->secure_disk = sd_handle_addref(handle);
  return 0;
}

// ---- The worker's messages ----

CPropertyPage *CSheetCertRelay::FailurePage() const {
  return Page(IsRecipient() ? SheetPage::LastStatus : SheetPage::SenderStatus);
}

void CSheetCertRelay::ShowProgress(UINT text_id, StatusIcon icon) {
  CPropertyPage *page = GetActivePage();
  if (!IsStatusPage(page)) return;
  ::SetDlgItemTextW(page->m_hWnd, IDC_STATUS_TEXT, LoadPairText(text_id).c_str());
  ::SendDlgItemMessageW(page->m_hWnd, IDC_STATUS_ICON, STM_SETICON, WPARAM(Icon(icon)), 0);
}

void CSheetCertRelay::ShowFailure(const std::u16string &text, WizardButtonFlags buttons) {
  CPropertyPage *page = GetActivePage();
  // Only a status page can show a failure: from any other page the side's last one takes over.
  if (!IsStatusPage(page)) {
    SetActivePage(FailurePage());
    page = GetActivePage();
  }
  if (page == nullptr) return;
  ::SetDlgItemTextW(page->m_hWnd, IDC_STATUS_TEXT, wide_of(text).c_str());
  ::SetDlgItemTextW(page->m_hWnd, IDC_STATUS_HEADING, LoadPairText(IDS_STATUS_FAILED).c_str());
  ::SendDlgItemMessageW(page->m_hWnd, IDC_STATUS_ICON, STM_SETICON, WPARAM(icon_failed_), 0);
  PostButtons(buttons);
}

void CSheetCertRelay::FailTransfer(const std::u16string &text) {
  failure_ = text;
  controller_->StopWorker();
  failure_ = text;  // a failure the worker posted while it stopped does not replace ours
  ShowFailure(failure_, kButtonsFinish);
}

LRESULT CSheetCertRelay::OnSendStep(UINT message, WPARAM, LPARAM) {
  if (closing_) return 0;
  static const UINT kTexts[] = {IDS_SEND_STEP1, IDS_SEND_STEP2, IDS_SEND_STEP3};
  ShowProgress(kTexts[message - WM_RELAY_SEND_STEP1], StatusIcon::Working);
  return 0;
}

LRESULT CSheetCertRelay::OnSendDone(WPARAM, LPARAM) {
  if (closing_) return 0;
  send_done_ = true;
  CPropertyPage *page = GetActivePage();
  PostButtons(kButtonsFinish);
  if (!IsStatusPage(page)) return 0;
  ShowProgress(IDS_SEND_DONE, StatusIcon::Done);
  ::SetDlgItemTextW(page->m_hWnd, IDC_STATUS_HEADING, LoadPairText(IDS_STATUS_COMPLETED).c_str());
  return 0;
}

LRESULT CSheetCertRelay::OnCodeWait(WPARAM, LPARAM) {
  if (!closing_) ShowProgress(IDS_RECV_CODE_WAIT, StatusIcon::Working);
  return 0;
}

LRESULT CSheetCertRelay::OnAuthCode(WPARAM, LPARAM lparam) {
  const MessagePayload payload(WM_RELAY_AUTHCODE, lparam);
  if (closing_) return 0;
  wipe_text(&auth_code_);
  if (lparam != 0) auth_code_ = reinterpret_cast<const char *>(lparam);
  SecretGroups groups;
  if (!code_groups(mode_, auth_code_, &groups)) {
    FailTransfer(u16_of(LoadPairText(IDS_CODE_NOT_VALID)));
    return 0;
  }
  PressNext();
  CPropertyPage *page = GetActivePage();
  if (!IsPage(page, SheetPage::OutputAN) && !IsPage(page, SheetPage::OutputAN2)) return 0;
  // After the page's own buttons, which it posted when it was made.
  PostButtons(kButtonsNone);
  static const int kGroups[] = {IDC_CODE_GROUP1, IDC_CODE_GROUP2, IDC_CODE_GROUP3};
  for (size_t i = 0; i < groups.Count() && i < 3; ++i) {
    ::SetDlgItemTextW(page->m_hWnd, kGroups[i], reinterpret_cast<const wchar_t *>(groups.Text(i)));
    ::EnableWindow(::GetDlgItem(page->m_hWnd, kGroups[i]), FALSE);
  }
  return 0;
}

LRESULT CSheetCertRelay::OnCertInfo(WPARAM, LPARAM lparam) {
  const MessagePayload payload(WM_RELAY_CERTINFO, lparam);
  if (closing_) return 0;
  std::u16string subject;
  if (!worker_text_to_wide(reinterpret_cast<const char *>(lparam), char_encoding_is_utf8(), &subject)) {
    FailTransfer(u16_of(LoadPairText(IDS_SUBJECT_NOT_SHOWN)));
    return 0;
  }
  subject_ = subject;
  PressNext();
  CPropertyPage *page = GetActivePage();
  if (!IsPage(page, SheetPage::CertDN)) return 0;
  PostButtons(kButtonsNext);
  v7::dialogs::SetRichEditPlainText(::GetDlgItem(page->m_hWnd, IDC_CERT_DN_SUBJECT), wide_of(subject_));
  return 0;
}

LRESULT CSheetCertRelay::OnCertWait(WPARAM, LPARAM) {
  if (!closing_) ShowProgress(IDS_RECV_CERT_WAIT, StatusIcon::Working);
  return 0;
}

LRESULT CSheetCertRelay::OnCertData(WPARAM, LPARAM lparam) {
  const auto *record = reinterpret_cast<const ReceivedCertRecord *>(lparam);
  const MessagePayload payload(WM_RELAY_CERTDATA, lparam);
  if (closing_) return 0;
  received_flag_ = true;
  const bool copied = CopyReceived(record);
  const DWORD worker = controller_->WorkerThreadId();
  if (worker != 0) ::PostThreadMessageW(worker, WM_RELAY_CERTDATA_TAKEN, 0, 0);
  if (!copied) {
    FailTransfer(store_error_text(u"", kErrOutOfMemory));
    return 0;
  }
  PressNext();
  return 0;
}

LRESULT CSheetCertRelay::OnRelayError(WPARAM, LPARAM lparam) {
  const MessagePayload payload(WM_RELAY_ERROR, lparam);
  if (closing_) return 0;
  const char *text = reinterpret_cast<const char *>(lparam);
  std::u16string wide;
  if (!worker_text_to_wide(text, char_encoding_is_utf8(), &wide)) {
    wide = u16_of(text != nullptr ? v7::dialogs::setting_screen_text(text) : std::wstring());
  }
  failure_ = wide;
  ShowFailure(failure_, failure_buttons(failure_));
  return 0;
}

}  // namespace sheet
}  // namespace v7
