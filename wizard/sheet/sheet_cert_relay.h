// The transfer wizard: a property sheet run as a wizard that holds every page of a send or a
// receive, the session controller that runs the transfer, the received certificate set and the
// chosen storage target. The first page of a transfer hands its text to StartTransfer, which
// connects and starts the worker; the worker's window messages arrive here and move the wizard
// on, fill the page on show and set its buttons.
//
// Pages are added by the mode: the sheet builds its recipient pages (the media page and the
// recipient's password page among them) and status pages itself; the sender's pages are made by
// their own code and handed over with InstallPage before AddModePages. A slot left empty is
// skipped. A receive ends once the set is stored on the medium the recipient chose (or the store
// failed, which the last status page says with its code).
//
// Texts the worker posts point into memory its next connect frees: each is copied when its
// message arrives. The received set is wiped and freed whatever ends the wizard; closing stops
// the worker first, then frees any received set still queued for the sheet.
#pragma once

#include <winsock2.h>  // before any windows.h, which it brings in

#include <cstdint>
#include <memory>
#include <string>

#include "media/store/store.h"
#include "platform/classlib/message_map.h"
#include "platform/classlib/property_sheet.h"
#include "relay/controller/controller.h"
#include "wizard/pages/page_logic.h"

class CCertSelect;
struct RelayRequestRecord;

namespace v7 {
namespace sheet {

using v7::pages::SheetPage;

// The export's flags argument and its media argument, told apart by type.
struct ControlFlags {
  uint32_t value;
};
struct MediaMask {
  uint32_t value;
};

class CSheetCertRelay : public v7::classlib::CPropertySheet {
 public:
  explicit CSheetCertRelay(RelayModeWord mode);
  CSheetCertRelay(RelayModeWord mode, ControlFlags flags);  // sender
  CSheetCertRelay(RelayModeWord mode, MediaMask media);     // recipient
  CSheetCertRelay(RelayModeWord mode, MediaMask media, ControlFlags flags);
  ~CSheetCertRelay() override;

  // A page the sheet does not make itself (sender pages, media, recipient password); replaces
  // what the slot held. Before AddModePages.
  void InstallPage(SheetPage slot, std::unique_ptr<v7::classlib::CPropertyPage> page);
  // Adds the mode's pages in the mode's order (empty slots skipped) and sets the wizard flag.
  void AddModePages();
  v7::classlib::CPropertyPage *Page(SheetPage slot) const { return pages_[int(slot)].get(); }
  bool IsPage(const v7::classlib::CPropertyPage *page, SheetPage slot) const {
    return page != nullptr && page == Page(slot);
  }
  bool IsStatusPage(const v7::classlib::CPropertyPage *page) const;

  // The sender's chosen set (not owned) and the request record (not owned).
  void SetSelection(CCertSelect *select) { select_ = select; }
  void SetRequest(const RelayRequestRecord *request) { request_ = request; }
  const RelayRequestRecord *Request() const { return request_; }
  // The change-password page's choice: when change is set and the password is not empty, it goes
  // to Connect. The sheet keeps a wiped copy; a password that does not fit is refused (false).
  bool SetNewPassword(bool change, const char *narrow_password);

  // The page's text as the controller's 64-byte narrow buffer, then ConnectAndStart. 0 or -1;
  // on -1 FailureText() says why.
  int StartTransfer(const std::wstring &text);
  int ConnectAndStart(const char *text);
  // Stops a worker that still runs (Cancel on any page).
  void StopTransfer();

  // Pages post their buttons through the sheet, which remembers the last ones.
  void PostButtons(v7::pages::WizardButtonFlags flags);
  // Presses Next even while it is disabled: enables it, presses it, then, once the press has been
  // acted on, gives the page its buttons back if it is still on show.
  void PressNext();

  // The sheet's copy of the last failure, or the controller's error text.
  std::wstring FailureText() const;
  HICON Icon(v7::pages::StatusIcon icon) const;
  v7::pages::StatusInput StatusState() const;
  // The template of the first page of the mode (where Back after a failed receive leads).
  UINT FirstPageTemplate() const;

  RelayModeWord Mode() const { return mode_; }
  bool IsRecipient() const { return relay_mode_is_recipient(mode_); }
  CCertRelayThread *Controller() { return controller_.get(); }
  uint32_t AllowedMedia() const { return media_mask_; }
  uint32_t Flags() const { return flags_; }

  // The received set (null before it arrived) and its flag.
  const ReceivedCertRecord *Received() const { return received_; }
  bool ReceivedFlag() const { return received_flag_; }
  // The code and the subject name as they arrived (copies).
  const std::string &AuthCode() const { return auth_code_; }
  const std::u16string &SubjectText() const { return subject_; }

  // Storage targets (media page); setting one frees the one before. 0, kErrInvalidParameter for a
  // missing or empty text, kErrOutOfMemory. The sheet takes a reference of its own to a secure-disk
  // handle.
  int SetTargetHardDisk();
  int SetTargetRemovable(char drive);
  int SetTargetIcCard(const char *pin);
  int SetTargetToken(const char *module_path, const char *pin);
  int SetTargetSecureDisk(SecureDiskHandle *handle);
  const StoreMedium *Target() const { return target_.get(); }

  // Set by the storing pages once they stored the received set, or tried to, with the backup
  // folder that still holds the old set after a failed store and the folder of a copy of old keys
  // that could not be removed, whatever the result (narrow, the setting's encoding; may be null);
  // cleared when a new medium is chosen, so a status page never shows the result of a store on
  // another medium.
  void SetStoreResult(int code, const char *kept_backup = nullptr, const char *left_copy = nullptr);
  void ClearStoreResult() {
    SetStoreResult(0);
    stored_ = 0;
  }
  // The folder that holds the old set after the failed store, or empty.
  const std::u16string &KeptBackup() const { return kept_backup_; }
  // The folder of a copy of old keys that the store could not remove, or empty.
  const std::u16string &LeftCopy() const { return left_copy_; }
  // Whether the transfer happened, whatever button closed the wizard: a send once the worker
  // reported the set delivered, a receive once the received set was stored without error.
  bool TransferCompleted() const {
    return IsRecipient() ? received_flag_ && stored_ == 1 && store_result_ == 0 : send_done_;
  }
  // Makes the pages after the media page the given ones, in order (slots without a page left
  // out); pages already so stay as they are.
  void SetPagesAfterMedia(const std::vector<SheetPage> &pages);

  void OnInitDialog() override;

  BEGIN_MSG_MAP(CSheetCertRelay)
    MESSAGE_HANDLER(PSM_SETWIZBUTTONS, OnSetWizButtons)
    MESSAGE_RANGE_HANDLER(WM_RELAY_SEND_STEP1, WM_RELAY_SEND_STEP3, OnSendStep)
    MESSAGE_HANDLER(WM_RELAY_SEND_DONE, OnSendDone)
    MESSAGE_HANDLER(WM_RELAY_RECV_CODEWAIT, OnCodeWait)
    MESSAGE_HANDLER(WM_RELAY_AUTHCODE, OnAuthCode)
    MESSAGE_HANDLER(WM_RELAY_CERTINFO, OnCertInfo)
    MESSAGE_HANDLER(WM_RELAY_RECV_CERTWAIT, OnCertWait)
    MESSAGE_HANDLER(WM_RELAY_CERTDATA, OnCertData)
    MESSAGE_HANDLER(WM_RELAY_ERROR, OnRelayError)
    MESSAGE_HANDLER(kRestoreButtons, OnRestoreButtons)
  END_MSG_MAP()

 protected:
  // The run's end, before the window goes: stop the worker, free what it still posted.
  void OnRunEnd() override;

 private:
  void Build(RelayModeWord mode, uint32_t media_mask, uint32_t flags, const wchar_t *caption);
  void LoadTitles();
  void FreeReceived();
  bool CopyReceived(const ReceivedCertRecord *from);
  // Status text and icon of the page on show (a status page).
  void ShowProgress(UINT text_id, v7::pages::StatusIcon icon);
  // Ends the transfer with a text of the sheet's own: the worker is stopped and the side's last
  // status page shows the failure.
  void FailTransfer(const std::u16string &text);
  void ShowFailure(const std::u16string &text, v7::pages::WizardButtonFlags buttons);
  v7::classlib::CPropertyPage *FailurePage() const;

  // Posted by PressNext after the press: wParam the buttons before it, lParam the page it was on.
  enum : UINT { kRestoreButtons = WM_APP + 0x60 };
  LRESULT OnRestoreButtons(WPARAM wparam, LPARAM lparam);
  LRESULT OnSetWizButtons(WPARAM, LPARAM lparam);
  LRESULT OnSendStep(UINT message, WPARAM, LPARAM);
  LRESULT OnSendDone(WPARAM, LPARAM);
  LRESULT OnCodeWait(WPARAM, LPARAM);
  LRESULT OnAuthCode(WPARAM, LPARAM lparam);
  LRESULT OnCertInfo(WPARAM, LPARAM lparam);
  LRESULT OnCertWait(WPARAM, LPARAM);
  LRESULT OnCertData(WPARAM, LPARAM lparam);
  LRESULT OnRelayError(WPARAM, LPARAM lparam);

  std::unique_ptr<v7::classlib::CPropertyPage> pages_[int(SheetPage::kCount)];
  HICON icon_working_ = nullptr, icon_done_ = nullptr, icon_failed_ = nullptr;
  ReceivedCertRecord *received_ = nullptr;
  bool received_flag_ = false;
  std::unique_ptr<StoreMedium> target_;
  uint32_t stored_ = 0;
  int store_result_ = 0;
  std::u16string kept_backup_;
  std::u16string left_copy_;
  uint32_t media_mask_ = 0;
  uint32_t flags_ = 0;
  std::unique_ptr<CCertRelayThread> controller_;
  CCertSelect *select_ = nullptr;
  std::wstring titles_[int(SheetPage::kCount)];
  RelayModeWord mode_ = 0;
  const RelayRequestRecord *request_ = nullptr;

  bool change_password_ = false;
  char new_password_[128] = {};
  std::string auth_code_;
  std::u16string subject_;
  std::u16string failure_;
  bool closing_ = false;
  bool send_done_ = false;
  DWORD buttons_ = 0;
};

}  // namespace sheet
}  // namespace v7
