#include "wizard/select/cert_select_dlg.h"

#include <windowsx.h>

#include <cstdlib>
#include <cstring>

#include "media/certlist.h"
#include "media/registry_settings.h"
#include "media/selection_record.h"
#include "media/smartcard/smartcard.h"
#include "media/token/p11_conf.h"
#include "pki/errors/error_ctx.h"
#include "platform/classlib/app.h"
#include "platform/clock/clock.h"
#include "platform/errors/error_codes.h"
#include "platform/locale/process_words.h"
#include "platform/ui/message_box.h"
#include "v7config/deployment.h"
#include "wizard/certview/viewer_tables.h"
#include "wizard/dialogs/error_exports.h"
#include "wizard/dialogs/web_page.h"
#include "wizard/dialogs/text_setters.h"
#include "wizard/records/request_record.h"
#include "wizard/res/string_ids.h"
#include "wizard/select/cert_list.h"

using v7::classlib::LoadPairText;
namespace sel = v7::select;

namespace {

bool korean() { return language_is_korean(); }

void set_row_text(HWND list, int row, int column, const std::wstring &text) {
  LVITEMW item = {};
  item.iSubItem = column;
  item.pszText = const_cast<wchar_t *>(text.c_str());
  ::SendMessageW(list, LVM_SETITEMTEXTW, WPARAM(row), LPARAM(&item));
}

std::wstring row_text(HWND list, int row, int column) {
  wchar_t text[512] = {};
  LVITEMW item = {};
  item.iSubItem = column;
  item.pszText = text;
  item.cchTextMax = 512;
  ::SendMessageW(list, LVM_GETITEMTEXTW, WPARAM(row), LPARAM(&item));
  return text;
}

const char16_t *u16(const std::wstring &text) { return reinterpret_cast<const char16_t *>(text.c_str()); }

std::wstring wide_from_utf8(const char *text) {
  const int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring out(size_t(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, &out[0], n);
  out.resize(size_t(n - 1));
  return out;
}

// A text of the dialog's own table.
std::wstring text_of(const char *const sel::DialogTexts::*field) {
  return wide_from_utf8(sel::dialog_texts(korean()).*field);
}

const wchar_t kCapsLockTip[] = L"<font color=#FF0000 ><b>&lt;Caps Lock&gt;</b></font>이 켜져 있습니다.";

LRESULT CALLBACK PasswordEditProc(HWND edit, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR, DWORD_PTR data) {
  const LRESULT result = ::DefSubclassProc(edit, message, wparam, lparam);
  if (message == WM_KEYDOWN || message == WM_KEYUP) reinterpret_cast<CCertSelectDlg *>(data)->OnPasswordKey();
  return result;
}

}  // namespace

CCertSelectDlg::CCertSelectDlg() : CDialog(IDD) {
  char folder[MAX_PATH] = {};
  if (::GetWindowsDirectoryA(folder, MAX_PATH) > 0 && folder[0] != 0) windows_drive_ = folder[0];
}

CCertSelectDlg::~CCertSelectDlg() {
  strlist_free(accepted_);
  p11_conf_free(tokens_);
  sel::free_pkcs12_import(&pkcs12_);
  v7::keyload::outside_buffers_wipe(&outside_);
}

void CCertSelectDlg::AttachList(CertListRecord *record) {
  record_ = record;
  strlist_free(accepted_);
  accepted_ = nullptr;
  if (record != nullptr && record->request != nullptr) {
    const char *policies = request_text(record->request->dialog_policies);
    if (policies[0] != 0) accepted_ = strlist_split(policies);
  }
}

INT_PTR CCertSelectDlg::DoModal(HWND owner) {
  keycrypt_.Prepare(L"");
  if (!keycrypt_.Probe()) {
    const std::wstring failure = keycrypt_.GetLoadFailureText();
    v7::message_box_w(u16(failure), nullptr, MB_OK | MB_ICONEXCLAMATION);
    return IDCANCEL;
  }
  return CDialog::DoModal(owner);
}

BOOL CCertSelectDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  SetTexts();
  ra_bitmap_ = static_cast<HBITMAP>(::LoadImageW(v7::classlib::AfxGetResourceHandle(),
                                                 MAKEINTRESOURCEW(IDB_SELECT_RA_BUTTON), IMAGE_BITMAP, 0, 0, 0));
  SizeRaButtonToBitmap();
  media_images_ = ::ImageList_Create(48, 48, ILC_COLOR16 | ILC_MASK, 6, 0);
  for (int id : {IDI_SELECT_TOKEN, IDI_SELECT_CARD, IDI_SELECT_PHONE, IDI_SELECT_SECURE_DISK, IDI_SELECT_REMOVABLE,
                 IDI_SELECT_HARD_DISK}) {
    HICON icon = static_cast<HICON>(
        ::LoadImageW(v7::classlib::AfxGetResourceHandle(), MAKEINTRESOURCEW(id), IMAGE_ICON, 48, 48, 0));
    ::ImageList_AddIcon(media_images_, icon);
    ::DestroyIcon(icon);
  }
  row_images_ = ::ImageList_Create(16, 16, ILC_COLOR16 | ILC_MASK, 3, 0);
  for (int id : {IDI_SELECT_ROW_VALID, IDI_SELECT_ROW_EXPIRED, IDI_SELECT_HARD_DISK}) {
    HICON icon = static_cast<HICON>(
        ::LoadImageW(v7::classlib::AfxGetResourceHandle(), MAKEINTRESOURCEW(id), IMAGE_ICON, 16, 16, 0));
    ::ImageList_AddIcon(row_images_, icon);
    ::DestroyIcon(icon);
  }
  AddMediaItems();
  ShowBanner();
  CreateTips();
  if (keycrypt_.Init() == 0) keycrypt_.Protect(Item(IDC_SELECT_PASSWORD));
  ::SetWindowSubclass(Item(IDC_SELECT_PASSWORD), PasswordEditProc, 1, DWORD_PTR(this));
  AddColumns();
  const RelayRequestRecord *request = record_ != nullptr ? record_->request : nullptr;
  const uint32_t forced = request != nullptr ? request->forced_medium : 0;
  const uint32_t bits = request != nullptr ? request->media_bits : 0;
  ::ShowWindow(Item(IDC_SELECT_SEARCH), sel::search_button_visible(forced, bits) ? SW_SHOW : SW_HIDE);
  if (sel::opens_empty(forced)) {
    FillList();
  } else {
    char *last_media = nullptr, *last_drive = nullptr;
    const char *subkey = request != nullptr ? request_text(request->settings_subkey) : "";
    reg_read_value(subkey, "Last Media", &last_media);
    reg_read_value(subkey, "Last Drive", &last_drive);
    const sel::StartMedium start =
        sel::start_medium(request != nullptr ? request->restore_last_medium : 0, bits, last_media, last_drive);
    free(last_media);
    free(last_drive);
    drive_index_ = start.drive_index;
    token_module_ = start.token_module;
    remembered_ = start.remembered;
    SelectMedium(sel::media_index(bar_, start.medium));
  }
  initialised_ = true;
  return FALSE;
}

void CCertSelectDlg::SetTexts() {
  const RelayRequestRecord *request = record_ != nullptr ? record_->request : nullptr;
  SetDlgItemText(IDC_SELECT_PW_LABEL, text_of(&sel::DialogTexts::password_label).c_str());
  if (korean()) {
    if (request != nullptr && strcmp(request_text(request->banner), "BITMAP_VELMORA_RELAY") == 0)
      SetWindowText(L"스마트폰으로 이동할 인증서 선택");
    if (request != nullptr && request_text(request->title)[0] != 0)
      v7::dialogs::SetWindowTitleEuckr(m_hWnd, request_text(request->title));
  } else {
    SetWindowText(L"Select Certificate");
    SetDlgItemText(IDC_SELECT_INSTRUCTION, v7::classlib::LoadText(IDS_SELECT_INSTRUCTION_EN).c_str());
    SetDlgItemText(IDC_SELECT_PW_LABEL, L"Password");
    SetDlgItemText(IDOK, L"OK");
    SetDlgItemText(IDCANCEL, L"Cancel");
    SetDlgItemText(IDC_SELECT_VIEW, L"View");
    SetDlgItemText(IDC_SELECT_SEARCH, L"Search");
  }
  SetDlgItemText(IDC_SELECT_OK_NOTE, LoadPairText(IDS_OK_COMPLETES_SIGNING).c_str());
  if (request != nullptr && (request->dialog_flags & kRequestHidePasswordEntry) != 0) {
    ::ShowWindow(Item(IDC_SELECT_PW_LABEL), SW_HIDE);
    ::ShowWindow(Item(IDC_SELECT_PASSWORD), SW_HIDE);
  }
}

// The button is its picture: it takes the bitmap's size where the template placed it, so the
// picture is drawn as it was made, never stretched to the template's dialog units.
void CCertSelectDlg::SizeRaButtonToBitmap() {
  BITMAP info = {};
  if (ra_bitmap_ == nullptr || ::GetObjectW(ra_bitmap_, sizeof info, &info) != sizeof info) return;
  ra_size_ = SIZE{info.bmWidth, info.bmHeight};
  ::SetWindowPos(Item(IDC_SELECT_RA_LINK), nullptr, 0, 0, ra_size_.cx, ra_size_.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CCertSelectDlg::AddMediaItems() {
  HWND media = Item(IDC_SELECT_MEDIA);
  bar_ = sel::media_bar(record_ != nullptr && record_->request != nullptr ? record_->request->media_bits : 0);
  ListView_SetImageList(media, media_images_, LVSIL_NORMAL);
  ListView_SetIconSpacing(media, bar_.spacing_x, bar_.spacing_y);
  for (size_t i = 0; i < bar_.items.size(); ++i) {
    LVITEMW item = {};
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
    item.iItem = int(i);
    item.iImage = bar_.items[i].image;
    item.lParam = LPARAM(bar_.items[i].medium);
    const std::wstring label = wide_from_utf8(sel::medium_label(sel::dialog_texts(korean()), bar_.items[i].medium));
    item.pszText = const_cast<wchar_t *>(label.c_str());
    ::SendMessageW(media, LVM_INSERTITEMW, 0, LPARAM(&item));
  }
}

void CCertSelectDlg::ShowBanner() {
  if (record_ == nullptr || record_->request == nullptr) return;
  const sel::BannerChoice banner = sel::banner_for(request_text(record_->request->banner));
  HANDLE picture = ::LoadImageW(v7::classlib::AfxGetResourceHandle(), MAKEINTRESOURCEW(banner.bitmap), IMAGE_BITMAP,
                                0, 0, 0);
  HANDLE old = HANDLE(SendDlgItemMessage(IDC_SELECT_BANNER, STM_SETIMAGE, IMAGE_BITMAP, LPARAM(picture)));
  if (old != nullptr && old != picture) ::DeleteObject(old);
  if (!banner.hidden) return;
  ::ShowWindow(Item(IDC_SELECT_BANNER), SW_HIDE);
  for (size_t i = 0; i < sel::kBannerMovedControlCount; ++i) {
    HWND control = Item(sel::kBannerMovedControls[i]);
    RECT r;
    if (control == nullptr || !::GetWindowRect(control, &r)) continue;
    ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT *>(&r), 2);
    ::SetWindowPos(control, nullptr, r.left, r.top - sel::kBannerShrink, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  }
  RECT window;
  GetWindowRect(&window);
  SetWindowPos(nullptr, 0, 0, window.right - window.left, window.bottom - window.top - sel::kBannerShrink,
               SWP_NOMOVE | SWP_NOZORDER);
}

void CCertSelectDlg::CreateTips() {
  phone_tip_.Create(m_hWnd, TRUE);
  expiry_tip_.Create(m_hWnd, FALSE);
  hdd_tip_.Create(m_hWnd, FALSE);
  caps_tip_.Create(m_hWnd);
}

void CCertSelectDlg::AddColumns() {
  HWND list = Item(IDC_SELECT_CERTS);
  ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT | LVS_EX_SUBITEMIMAGES);
  ListView_SetImageList(list, row_images_, LVSIL_SMALL);
  while (ListView_DeleteColumn(list, 0)) {
  }
  for (int i = 0; i < 4; ++i) {
    const sel::Column &c = sel::kColumns[i];
    const std::wstring title = wide_from_utf8(korean() ? c.korean : c.english);
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = c.width;
    column.iSubItem = i;
    column.pszText = const_cast<wchar_t *>(title.c_str());
    ::SendMessageW(list, LVM_INSERTCOLUMNW, WPARAM(i), LPARAM(&column));
  }
}

void CCertSelectDlg::ClearList() {
  sel::free_pkcs12_import(&pkcs12_);
  has_pkcs12_ = false;
  ListView_DeleteAllItems(Item(IDC_SELECT_CERTS));
  for (int id : {IDC_SELECT_CERTS, IDC_SELECT_PW_LABEL, IDC_SELECT_PASSWORD, IDOK, IDC_SELECT_VIEW})
    ::EnableWindow(Item(id), FALSE);
  ::ShowWindow(Item(IDC_SELECT_OK_NOTE), SW_HIDE);
  SetDlgItemText(IDC_SELECT_PW_LABEL,
                 (medium_ == kMediumToken ? text_of(&sel::DialogTexts::pin_label) : text_of(&sel::DialogTexts::password_label)).c_str());
}

void CCertSelectDlg::SelectMedium(int index) {
  if (index < 0 || size_t(index) >= bar_.items.size() || busy_ != 0) return;
  BusyScope busy(this);
  hdd_tip_.Hide();
  hdd_tip_shown_ = false;
  medium_ = bar_.items[size_t(index)].medium;
  SetItemLabel(kMediumRemovable, text_of(&sel::DialogTexts::removable));
  ClearList();
  switch (medium_) {
    case kMediumHardDisk: LoadHardDisk(); break;
    case kMediumRemovable:
      if (remembered_) {
        remembered_ = false;
        LoadDrive(char('A' + drive_index_));
      } else {
        ShowDriveMenu();
      }
      break;
    case kMediumToken: {
      // A remembered module is opened only when the token configuration vouches for it.
      const std::string remembered = remembered_ ? token_module_ : std::string();
      remembered_ = false;
      P11_TOKEN_LIST *config = nullptr;
      const bool any = p11_conf_load(nullptr, &config) == 0 && config != nullptr;
      const P11_TOKEN_ENTRY *vouched = any ? sel::vouched_token(config, remembered.c_str(), p11_module_verify_approval)
                                           : nullptr;
      if (vouched != nullptr) {
        token_approved_ = 1;
        token_name_ = v7::dialogs::setting_screen_text(vouched->section);
        p11_conf_free(config);
        OpenToken(remembered);
      } else {
        p11_conf_free(config);
        ShowTokenMenu();
      }
      break;
    }
    case kMediumSmartCard: LoadSmartCard(); break;
    case kMediumPhone: StartPhone(); break;
    case kMediumSecureDisk: LoadSecureDisk(); break;
    default: break;
  }
  HWND media = Item(IDC_SELECT_MEDIA);
  ListView_SetItemState(media, index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

void CCertSelectDlg::SetItemLabel(uint32_t medium, const std::wstring &text) {
  const int index = sel::media_index(bar_, medium);
  if (index < 0) return;
  set_row_text(Item(IDC_SELECT_MEDIA), index, 0, text);
}

void CCertSelectDlg::FillList() {
  HWND list = Item(IDC_SELECT_CERTS);
  const RelayRequestRecord *request = record_ != nullptr ? record_->request : nullptr;
  const uint32_t forced = request != nullptr ? request->forced_medium : 0;
  const uint32_t flags = request != nullptr ? request->dialog_flags : 0;
  ListView_DeleteAllItems(list);
  for (int id : {IDC_SELECT_CERTS, IDC_SELECT_PW_LABEL, IDC_SELECT_PASSWORD, IDOK, IDC_SELECT_VIEW})
    ::EnableWindow(Item(id), TRUE);
  const int entry_shown = sel::password_entry_visible(medium_, forced, flags) ? SW_SHOW : SW_HIDE;
  ::ShowWindow(Item(IDC_SELECT_PW_LABEL), entry_shown);
  ::ShowWindow(Item(IDC_SELECT_PASSWORD), entry_shown);
  ::ShowWindow(Item(IDC_SELECT_OK_NOTE), medium_ == kMediumMemory ? SW_SHOW : SW_HIDE);

  int rows = 0;
  if (record_ != nullptr && record_->current != nullptr) {
    char *last_access = nullptr;
    reg_get_last_access(request_text(request->settings_subkey), &last_access);
    CERT_ENTRY *first = certlist_sort(last_access, record_->list, request_text(request->sort_policies));
    if (first != nullptr) record_->current = first;
    const int64_t now = platform_time_now();
    for (CERT_ENTRY *e = record_->current; e != nullptr; e = e->next) {
      if (request->restore_last_medium != 0 && last_access != nullptr && last_access[0] != 0 &&
          (e->subject == nullptr || strcmp(e->subject, last_access) != 0))
        continue;
      const std::wstring usage = v7::dialogs::setting_screen_text(UsageText(e->policy).c_str());
      LVITEMW item = {};
      item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
      item.iItem = rows;
      item.iImage = sel::row_image(now, e->not_after);
      item.lParam = LPARAM(e);
      item.pszText = const_cast<wchar_t *>(usage.c_str());
      const int at = int(::SendMessageW(list, LVM_INSERTITEMW, 0, LPARAM(&item)));
      if (at < 0) continue;
      v7::dialogs::SetListViewItemTextSetting(list, at, 1, e->subject_cn);
      v7::dialogs::SetListViewItemTextSetting(list, at, 2, e->not_after_text);
      const std::string ca = korean() ? CaDisplayName(e->issuer_org) : std::string(e->issuer_org ? e->issuer_org : "");
      v7::dialogs::SetListViewItemTextSetting(list, at, 3, ca.c_str());
      ++rows;
    }
    free(last_access);
  }
  if (rows > 0) {
    ListView_SetItemState(list, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    if (medium_ != kMediumToken) ::SetFocus(Item(IDC_SELECT_PASSWORD));
    first_fill_ = false;
    return;
  }
  for (int i = 0; i < 3; ++i) {
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iItem = i;
    item.pszText = const_cast<wchar_t *>(L"");
    ::SendMessageW(list, LVM_INSERTITEMW, 0, LPARAM(&item));
  }
  if (!(sel::opens_empty(forced) && first_fill_)) {
    const std::wstring none = LoadPairText(IDS_NO_CERTIFICATE);
    set_row_text(list, 2, 1, none);
  }
  first_fill_ = false;
  for (int id : {IDC_SELECT_CERTS, IDC_SELECT_PW_LABEL, IDC_SELECT_PASSWORD, IDOK, IDC_SELECT_VIEW})
    ::EnableWindow(Item(id), FALSE);
  ::SetFocus(Item(IDC_SELECT_MEDIA));
  // A PIN the card refused has had the card's own box already: its text would tell it twice.
  if ((medium_ == kMediumToken || medium_ == kMediumSmartCard) && load_error_ != 0 && load_error_ != -1 &&
      !(medium_ == kMediumSmartCard && sc_pin_box_told(load_error_)))
    v7::dialogs::ShowErrorByCode(load_error_);
}

CERT_ENTRY *CCertSelectDlg::SelectedEntry() const {
  HWND list = Item(IDC_SELECT_CERTS);
  const int row = ListView_GetNextItem(list, -1, LVNI_SELECTED);
  if (row < 0) return nullptr;
  LVITEMW item = {};
  item.mask = LVIF_PARAM;
  item.iItem = row;
  if (!::SendMessageW(list, LVM_GETITEMW, 0, LPARAM(&item))) return nullptr;
  return reinterpret_cast<CERT_ENTRY *>(item.lParam);
}

LRESULT CCertSelectDlg::OnMediaClick(NMHDR *header) {
  const NMITEMACTIVATE *activate = reinterpret_cast<const NMITEMACTIVATE *>(header);
  SelectMedium(activate->iItem);
  return 0;
}

LRESULT CCertSelectDlg::OnMediaKey(NMHDR *header) {
  const NMLVKEYDOWN *key = reinterpret_cast<const NMLVKEYDOWN *>(header);
  if (key->wVKey == VK_SPACE) SelectMedium(ListView_GetNextItem(Item(IDC_SELECT_MEDIA), -1, LVNI_FOCUSED));
  return 0;
}

LRESULT CCertSelectDlg::OnCertClick(NMHDR *) {
  ::SetFocus(Item(IDC_SELECT_PASSWORD));
  return 0;
}

LRESULT CCertSelectDlg::OnCertDoubleClick(NMHDR *) {
  OnView();
  return 0;
}

LRESULT CCertSelectDlg::OnCertChanged(NMHDR *header) {
  const NMLISTVIEW *change = reinterpret_cast<const NMLISTVIEW *>(header);
  if ((change->uNewState & LVIS_SELECTED) != 0 && initialised_) ShowExpiryTip();
  return 0;
}

namespace {

struct SortContext {
  int column;
  int direction;
};

sel::RowKeys row_keys(const CERT_ENTRY *e) {
  sel::RowKeys keys;
  if (e == nullptr) return keys;
  keys.usage = UsageText(e->policy);
  keys.subject_cn = e->subject_cn != nullptr ? e->subject_cn : "";
  keys.expiry = e->not_after_text != nullptr ? e->not_after_text : "";
  keys.ca_name = CaDisplayName(e->issuer_org);
  return keys;
}

int CALLBACK CompareRows(LPARAM a, LPARAM b, LPARAM context) {
  const SortContext *sort = reinterpret_cast<const SortContext *>(context);
  return sel::compare_rows(row_keys(reinterpret_cast<const CERT_ENTRY *>(a)),
                           row_keys(reinterpret_cast<const CERT_ENTRY *>(b)), sort->column, sort->direction);
}

// Flipped by every column click, whichever dialog it is.
int g_sort_direction = 1;

}  // namespace

LRESULT CCertSelectDlg::OnColumnClick(NMHDR *header) {
  const NMLISTVIEW *click = reinterpret_cast<const NMLISTVIEW *>(header);
  g_sort_direction = -g_sort_direction;
  SortContext context = {click->iSubItem, g_sort_direction};
  ListView_SortItems(Item(IDC_SELECT_CERTS), CompareRows, LPARAM(&context));
  return 0;
}

LRESULT CCertSelectDlg::OnCustomDraw(NMHDR *header) {
  NMLVCUSTOMDRAW *draw = reinterpret_cast<NMLVCUSTOMDRAW *>(header);
  if (draw->nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
  if (draw->nmcd.dwDrawStage != CDDS_ITEMPREPAINT) return CDRF_DODEFAULT;
  HWND list = Item(IDC_SELECT_CERTS);
  const int row = int(draw->nmcd.dwItemSpec);
  HDC dc = draw->nmcd.hdc;
  const bool selected = ListView_GetItemState(list, row, LVIS_SELECTED) != 0;
  RECT bounds;
  ListView_GetItemRect(list, row, &bounds, LVIR_BOUNDS);
  RECT fill = bounds;
  if (selected) {
    fill.left += 18;
    ::FillRect(dc, &fill, ::GetSysColorBrush(COLOR_HIGHLIGHT));
    ::SetTextColor(dc, ::GetSysColor(COLOR_HIGHLIGHTTEXT));
  } else {
    if (::IsWindowEnabled(list)) ::FillRect(dc, &fill, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    ::SetTextColor(dc, ListView_GetTextColor(list));
  }
  ::SetBkMode(dc, TRANSPARENT);
  LVITEMW item = {};
  item.mask = LVIF_IMAGE | LVIF_PARAM;
  item.iItem = row;
  if (::SendMessageW(list, LVM_GETITEMW, 0, LPARAM(&item)) && item.lParam != 0) {
    ::ImageList_Draw(row_images_, item.iImage, dc, bounds.left + 2, bounds.top + (bounds.bottom - bounds.top - 16) / 2,
                     selected ? ILD_SELECTED : ILD_NORMAL);
  }
  HWND header_control = ListView_GetHeader(list);
  int x = bounds.left;
  for (int column = 0; column < 4; ++column) {
    const int width = ListView_GetColumnWidth(list, column);
    const std::wstring text = row_text(list, row, column);
    RECT cell = {x, bounds.top, x + width, bounds.bottom};
    if (column == 0) cell = {x + 14, bounds.top, x + width + 4, bounds.bottom};
    cell.left += 6;
    cell.right -= 6;
    HDITEMW hd = {};
    hd.mask = HDI_FORMAT;
    ::SendMessageW(header_control, HDM_GETITEMW, WPARAM(column), LPARAM(&hd));
    const UINT align = (hd.fmt & HDF_RIGHT) != 0 ? DT_RIGHT : (hd.fmt & HDF_CENTER) != 0 ? DT_CENTER : DT_LEFT;
    ::DrawTextW(dc, text.c_str(), -1, &cell, align | DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX);
    x += width;
  }
  return CDRF_SKIPDEFAULT;
}

void CCertSelectDlg::OnRaLink() { v7::dialogs::open_link(V7_REGISTRATION_AUTHORITY_PAGE); }

void CCertSelectDlg::OnPasswordFocus() {
  ShowExpiryTip();
  UpdateCapsLockTip();
  const RelayRequestRecord *request = record_ != nullptr ? record_->request : nullptr;
  if (medium_ == kMediumHardDisk && request != nullptr && request->forced_medium != kForcedMediumHardDisk &&
      !hdd_tip_shown_)
    ShowHardDiskTip();
}

void CCertSelectDlg::OnPasswordBlur() {
  POINT cursor;
  RECT tip;
  ::GetCursorPos(&cursor);
  if (!(expiry_tip_.IsWindow() && ::GetWindowRect(expiry_tip_, &tip) && ::PtInRect(&tip, cursor))) {
    expiry_tip_.Hide();
    expiry_tip_shown_ = false;
  }
  caps_tip_.Hide();
  caps_tip_shown_ = false;
}

void CCertSelectDlg::OnPasswordKey() { UpdateCapsLockTip(); }

void CCertSelectDlg::UpdateCapsLockTip() {
  const RelayRequestRecord *request = record_ != nullptr ? record_->request : nullptr;
  if (request != nullptr && (request->dialog_flags & kRequestHidePasswordEntry) != 0) return;
  const bool on = (::GetKeyState(VK_CAPITAL) & 1) != 0;
  HWND edit = Item(IDC_SELECT_PASSWORD);
  if (on && initialised_ && !caps_tip_shown_ && ::IsWindowVisible(edit)) {
    RECT r;
    ::GetWindowRect(edit, &r);
    caps_tip_.ShowHelpTip(POINT{r.left + 10, r.top}, u16(kCapsLockTip));
    caps_tip_shown_ = true;
  } else if (!on && caps_tip_shown_) {
    caps_tip_shown_ = false;
    caps_tip_.Hide();
  }
}

void CCertSelectDlg::ShowHardDiskTip() {
  POINT at;
  if (!SelectedItemCenter(kMediumHardDisk, &at)) return;
  const std::wstring text = LoadPairText(IDS_HDD_WARNING_TIP);
  hdd_tip_.ShowTip(nullptr, POINT{at.x + 33, at.y - 25}, std::u16string(u16(text)));
  hdd_tip_shown_ = true;
}

void CCertSelectDlg::ShowExpiryTip() {
  expiry_tip_.Hide();
  expiry_tip_shown_ = false;
  const CERT_ENTRY *e = SelectedEntry();
  if (e == nullptr ||
      !sel::expiry_tip_due(e->issuer_org, e->policy, accepted_, e->not_after_text, platform_time_now()))
    return;
  RECT dialog;
  GetWindowRect(&dialog);
  const std::wstring html = LoadPairText(IDS_EXPIRY_TIP_HEAD) + v7::dialogs::setting_screen_text(e->not_after_text) +
                            LoadPairText(IDS_EXPIRY_TIP_TAIL);
  const std::wstring subject = v7::dialogs::setting_screen_text(e->subject != nullptr ? e->subject : "");
  expiry_tip_.ShowTip(subject.c_str(), POINT{dialog.right - 3, dialog.bottom - 220}, std::u16string(u16(html)));
  expiry_tip_shown_ = true;
}

bool CCertSelectDlg::SelectedItemCenter(uint32_t medium, POINT *out) const {
  const int index = sel::media_index(bar_, medium);
  RECT r;
  if (index < 0 || !ListView_GetItemRect(Item(IDC_SELECT_MEDIA), index, &r, LVIR_BOUNDS)) return false;
  POINT p = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  ::ClientToScreen(Item(IDC_SELECT_MEDIA), &p);
  *out = p;
  return true;
}

LRESULT CCertSelectDlg::OnMenuSelect(WPARAM wparam, LPARAM lparam) {
  phone_tip_.ShowMenuItemTips(HMENU(lparam), LOWORD(wparam), HIWORD(wparam));
  return 0;
}

LRESULT CCertSelectDlg::OnDrawItem(WPARAM, LPARAM lparam) {
  const DRAWITEMSTRUCT *draw = reinterpret_cast<const DRAWITEMSTRUCT *>(lparam);
  if (draw->CtlID != IDC_SELECT_RA_LINK || ra_bitmap_ == nullptr) {
    SetMsgHandled(false);
    return 0;
  }
  HDC memory = ::CreateCompatibleDC(draw->hDC);
  HGDIOBJ old = ::SelectObject(memory, ra_bitmap_);
  const RECT &r = draw->rcItem;
  ::BitBlt(draw->hDC, r.left, r.top, ra_size_.cx, ra_size_.cy, memory, 0, 0, SRCCOPY);
  ::SelectObject(memory, old);
  ::DeleteDC(memory);
  wchar_t text[64] = {};
  ::GetWindowTextW(draw->hwndItem, text, 64);
  RECT inner = r;
  ::SetBkMode(draw->hDC, TRANSPARENT);
  ::DrawTextW(draw->hDC, text, -1, &inner, DT_CENTER | DT_WORDBREAK | DT_NOPREFIX);
  if ((draw->itemState & ODS_FOCUS) != 0) ::DrawFocusRect(draw->hDC, &inner);
  return TRUE;
}

LRESULT CCertSelectDlg::OnMove(WPARAM, LPARAM) {
  if (hdd_tip_shown_) hdd_tip_.Hide();
  if (expiry_tip_shown_) expiry_tip_.Hide();
  hdd_tip_shown_ = expiry_tip_shown_ = false;
  caps_tip_.Hide();
  caps_tip_shown_ = false;
  SetMsgHandled(false);
  return 0;
}

HBRUSH CCertSelectDlg::OnCtlColorStatic(HDC dc, HWND control) {
  if (control != Item(IDC_SELECT_OK_NOTE)) {
    SetMsgHandled(false);
    return nullptr;
  }
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, RGB(255, 0, 0));
  return static_cast<HBRUSH>(::GetSysColorBrush(COLOR_BTNFACE));
}

void CCertSelectDlg::OnDestroy() {
  expiry_tip_shown_ = hdd_tip_shown_ = caps_tip_shown_ = false;
  ::RemoveWindowSubclass(Item(IDC_SELECT_PASSWORD), PasswordEditProc, 1);
  keycrypt_.Term();
  expiry_tip_.DestroyWindow();
  phone_tip_.DestroyWindow();
  hdd_tip_.DestroyWindow();
  caps_tip_.DestroyWindow();
  if (media_images_ != nullptr) ::ImageList_Destroy(media_images_);
  if (row_images_ != nullptr) ::ImageList_Destroy(row_images_);
  media_images_ = row_images_ = nullptr;
  if (ra_bitmap_ != nullptr) ::DeleteObject(ra_bitmap_);
  ra_bitmap_ = nullptr;
  HANDLE banner = HANDLE(SendDlgItemMessage(IDC_SELECT_BANNER, STM_SETIMAGE, IMAGE_BITMAP, 0));
  if (banner != nullptr) ::DeleteObject(banner);
  SetMsgHandled(false);
}

void CCertSelectDlg::ShowNotice(UINT pair, UINT icon) {
  const std::wstring text = LoadPairText(pair);
  const std::wstring caption = LoadPairText(IDS_NOTICE_CAPTION);
  v7::message_box_w(u16(text), u16(caption), MB_OK | icon);
}

// The file search names its failure under the notice caption; every other failure of a back end
// is an error by code.
void CCertSelectDlg::ShowSearchFailure(int code) {
  char16_t *text = err_code_text_w(code, korean() ? 0 : 0x200);
  const std::wstring caption = LoadPairText(IDS_NOTICE_CAPTION);
  v7::message_box_w(text != nullptr ? text : u"", u16(caption), MB_OK | MB_ICONEXCLAMATION);
  free(text);
}

std::wstring CCertSelectDlg::Text(const char *const v7::select::DialogTexts::*field) { return text_of(field); }

int CertListShowDialog(CertListRecord *record) {
  if (record == nullptr) return v7::kErrInvalidParameter;
  CCertSelectDlg dialog;
  dialog.AttachList(record);
  return int(dialog.DoModal());
}

int CCertSelect::Run() {
  if (CertListShowDialog(record) != IDOK) return 2;
  entry = CertListGetSelected(record);
  if (entry == nullptr || CertListGetPassword(record) == nullptr) return -1;
  return v7::select::read_selected_pairs(this);
}

int RunSendSelection(CCertSelect *select) {
  if (select == nullptr) return v7::kErrInvalidParameter;
  const int rc = select->Run();
  if (rc == 0) return 0;
  if (rc == 2) return v7::kErrUserCancelled;
  const std::wstring text = LoadPairText(IDS_READ_SELECTED_FAILED);
  v7::message_box_w(u16(text), u"", MB_OK);
  return -1;
}
