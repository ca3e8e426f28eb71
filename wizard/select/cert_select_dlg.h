// The certificate selection dialog: a media bar over the certificates of the medium chosen, a
// password (or PIN) entry and the warnings that go with them. OK proves the password by loading
// the chosen entry's keys into the selection record and remembers the medium for next time.
//
// Every decision is a plain function of wizard/select/select_logic.h; this class wires them to
// the windows. Loading a medium or a key runs nested message loops (status windows, PIN and
// password prompts, menus, message boxes): while one runs the dialog is busy, and a second click
// of a medium, View or OK is refused instead of re-entering the handler that is still running.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <string>
#include <vector>

#include "htmltip/win32/pptooltip.h"
#include "htmltip/win32/pptooltip2.h"
#include "platform/classlib/dialog.h"
#include "platform/classlib/message_map.h"
#include "wizard/keycrypt/key_crypt.h"
#include "wizard/keyload/outside_key_load.h"
#include "wizard/res/select_ids.h"
#include "wizard/select/sealed_password.h"
#include "wizard/select/select_logic.h"

struct CERT_ENTRY;
struct CertListRecord;
struct P11_TOKEN_LIST;
struct StrListNode;

class CCertSelectDlg : public v7::classlib::CDialog, private v7::keyload::KeyLoadDialog {
 public:
  enum { IDD = IDD_CERT_SELECT };
  CCertSelectDlg();
  ~CCertSelectDlg() override;

  // Keeps the record and takes the request's dialog policies as the accepted-policy list.
  void AttachList(CertListRecord *record);

  // The keyboard-security module is checked first: when it cannot run, its failure text is shown
  // and the dialog ends with 2 without appearing.
  INT_PTR DoModal(HWND owner = nullptr) override;
  BOOL OnInitDialog() override;
  void OnOK() override;

  // Selects the medium of media-bar item `index` as a click would; -1 (or any index the bar does
  // not have) selects nothing.
  void SelectMedium(int index);
  // Fills the certificate list from the record's list on show.
  void FillList() override;

  uint32_t CurrentMedium() const { return medium_; }
  bool Busy() const { return busy_ != 0; }

  BEGIN_MSG_MAP(CCertSelectDlg)
    NOTIFY_HANDLER(IDC_SELECT_MEDIA, NM_CLICK, OnMediaClick)
    NOTIFY_HANDLER(IDC_SELECT_MEDIA, NM_DBLCLK, OnMediaClick)
    NOTIFY_HANDLER(IDC_SELECT_MEDIA, LVN_KEYDOWN, OnMediaKey)
    NOTIFY_HANDLER(IDC_SELECT_CERTS, NM_CLICK, OnCertClick)
    NOTIFY_HANDLER(IDC_SELECT_CERTS, NM_DBLCLK, OnCertDoubleClick)
    NOTIFY_HANDLER(IDC_SELECT_CERTS, LVN_COLUMNCLICK, OnColumnClick)
    NOTIFY_HANDLER(IDC_SELECT_CERTS, LVN_ITEMCHANGED, OnCertChanged)
    NOTIFY_HANDLER(IDC_SELECT_CERTS, NM_CUSTOMDRAW, OnCustomDraw)
    COMMAND_ID_HANDLER(IDC_SELECT_VIEW, OnView)
    COMMAND_ID_HANDLER(IDC_SELECT_SEARCH, OnSearch)
    COMMAND_ID_HANDLER(IDC_SELECT_RA_LINK, OnRaLink)
    COMMAND_HANDLER(IDC_SELECT_PASSWORD, EN_SETFOCUS, OnPasswordFocus)
    COMMAND_HANDLER(IDC_SELECT_PASSWORD, EN_KILLFOCUS, OnPasswordBlur)
    COMMAND_RANGE_HANDLER(IDM_SELECT_DRIVE_FIRST, IDM_SELECT_DRIVE_LAST, OnDriveCommand)
    COMMAND_RANGE_HANDLER(IDM_SELECT_TOKEN_FIRST, IDM_SELECT_TOKEN_LAST, OnTokenCommand)
    COMMAND_ID_HANDLER(IDM_SELECT_TOKEN_INSTALL, OnTokenInstall)
    COMMAND_ID_HANDLER(IDM_SELECT_PHONE_SIGN, OnPhoneSign)
    COMMAND_ID_HANDLER(IDM_SELECT_PHONE_USBKEY, OnPhoneUsbKey)
    MESSAGE_HANDLER(WM_MENUSELECT, OnMenuSelect)
    MESSAGE_HANDLER(WM_DRAWITEM, OnDrawItem)
    MESSAGE_HANDLER(WM_MOVE, OnMove)
    MSG_WM_CTLCOLORSTATIC(OnCtlColorStatic)
    MSG_WM_DESTROY(OnDestroy)
  END_MSG_MAP()

  // The edit's key presses (Caps Lock) arrive through its subclass.
  void OnPasswordKey();

 private:
  // KeyLoadDialog, for the phone and USB-key paths.
  HWND Window() override { return m_hWnd; }
  void EnableWindow(bool enable) override { ::EnableWindow(m_hWnd, enable ? TRUE : FALSE); }
  void SuspendKeyboardSecurity() override { keycrypt_.Suspend(); }
  void ResumeKeyboardSecurity() override { keycrypt_.Resume(); }
  void HidePhoneTip() override { phone_tip_.Hide(); }
  void EndWithOk() override { EndDialog(IDOK); }

  // A text of the dialog's own table in the process language.
  static std::wstring Text(const char *const v7::select::DialogTexts::*field);

  // Initialisation steps.
  void SetTexts();
  void SizeRaButtonToBitmap();
  void AddMediaItems();
  void ShowBanner();
  void CreateTips();
  void AddColumns();

  // Media handlers.
  void ClearList();
  void LoadHardDisk();
  void ShowDriveMenu();
  void LoadDrive(char letter);
  void ShowTokenMenu();
  void ChooseToken(UINT id);
  void StartUsbKey();
  void OpenToken(const std::string &module_path);
  void LoadSmartCard();
  void LoadSecureDisk();
  void StartPhone();
  void ShowHardDiskTip();
  void ShowExpiryTip();
  void UpdateCapsLockTip();
  bool SelectedItemCenter(uint32_t medium, POINT *out) const;
  void SetItemLabel(uint32_t medium, const std::wstring &text);

  // OK and its parts.
  CERT_ENTRY *SelectedEntry() const;
  bool LoadKeys(CERT_ENTRY *entry, const v7::select::OkPlan &plan, bool *km_attempted);
  int LoadPkcs12Key();
  void ReportOkFailure(const CERT_ENTRY *entry, int error, bool km_attempted, bool sign_loaded);
  void RememberMedium(const CERT_ENTRY *entry);
  void ShowNotice(UINT pair, UINT icon);
  void ShowSearchFailure(int code);

  LRESULT OnMediaClick(NMHDR *header);
  LRESULT OnMediaKey(NMHDR *header);
  LRESULT OnCertClick(NMHDR *);
  LRESULT OnCertDoubleClick(NMHDR *);
  LRESULT OnColumnClick(NMHDR *header);
  LRESULT OnCertChanged(NMHDR *header);
  LRESULT OnCustomDraw(NMHDR *header);
  void OnView();
  void OnSearch();
  void OnRaLink();
  void OnPasswordFocus();
  void OnPasswordBlur();
  void OnDriveCommand(UINT id);
  void OnTokenCommand(UINT id);
  void OnTokenInstall();
  void OnPhoneSign();
  void OnPhoneUsbKey();
  LRESULT OnMenuSelect(WPARAM wparam, LPARAM lparam);
  LRESULT OnDrawItem(WPARAM wparam, LPARAM lparam);
  LRESULT OnMove(WPARAM, LPARAM);
  HBRUSH OnCtlColorStatic(HDC dc, HWND control);
  void OnDestroy();

  // A handler that runs a nested loop holds the dialog busy for its run.
  struct BusyScope {
    explicit BusyScope(CCertSelectDlg *dialog) : dialog_(dialog) { ++dialog_->busy_; }
    ~BusyScope() { --dialog_->busy_; }
    CCertSelectDlg *dialog_;
  };

  CertListRecord *record_ = nullptr;
  v7::keycrypt::CKeyCrypt keycrypt_;
  HIMAGELIST media_images_ = nullptr;
  HIMAGELIST row_images_ = nullptr;
  HBITMAP ra_bitmap_ = nullptr;
  SIZE ra_size_ = {0, 0};
  v7::htmltip::win32::CPPToolTip expiry_tip_;
  v7::htmltip::win32::CPPToolTip phone_tip_;
  v7::htmltip::win32::CPPToolTip hdd_tip_;
  v7::htmltip::win32::CPPToolTip2 caps_tip_;

  v7::select::MediaBar bar_;
  uint32_t medium_ = 0;
  int drive_index_ = 0;
  std::string token_module_;
  std::wstring token_name_;
  bool remembered_ = false;
  bool first_fill_ = true;
  bool initialised_ = false;
  bool expiry_tip_shown_ = false;
  bool hdd_tip_shown_ = false;
  bool caps_tip_shown_ = false;
  uint32_t token_approved_ = 0;
  int card_probe_ = 0;
  bool pin_cancelled_ = false;
  int busy_ = 0;
  int load_error_ = 0;  // of the last list load, for the empty list's message
  StrListNode *accepted_ = nullptr;
  P11_TOKEN_LIST *tokens_ = nullptr;
  v7::select::Pkcs12ImportRecord pkcs12_{};
  bool has_pkcs12_ = false;
  v7::keyload::OutsideModuleBuffers outside_{};
  char windows_drive_ = 'C';
};
