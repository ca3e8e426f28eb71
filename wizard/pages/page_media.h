// The recipient's media page: the storage media the receive allows, as large icons; choosing one
// may ask for a drive, a token and its PIN, a card's PIN, or start the secure-disk module. Next
// records the target in the sheet, or, for receive kind 3 and a disk, stores the set at once.
// Before a set already on the chosen medium would be replaced the page asks; No chooses nothing.
#pragma once

#include <winsock2.h>  // before any windows.h: the sheet brings in the relay controller

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/classlib/message_map.h"
#include "wizard/pages/media_logic.h"
#include "wizard/pages/relay_page.h"
#include "wizard/res/media_pages_ids.h"

struct P11_TOKEN_LIST;
struct P11_TOKEN_ENTRY;
struct SecureDiskHandle;

namespace v7 {
namespace pages {

// Shows a popup menu at a point of the owner and returns the chosen command, 0 for none. Test code
// may answer in place of the user; null restores the real menu.
using PopupMenuChooser = unsigned (*)(HMENU menu, HWND owner, POINT at);
void set_popup_menu_chooser(PopupMenuChooser chooser);

class CPageMedia : public CRelayPage {
 public:
  enum { IDD = IDD_PAGE_MEDIA };
  enum : size_t { kPinCapacity = 64 };

  CPageMedia();
  ~CPageMedia() override;

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  LRESULT OnWizardNext() override;

  uint32_t Kind() const { return kind_; }
  bool Ready() const { return ready_ != 0; }
  char Drive() const { return drive_; }
  int Approved() const { return approved_; }
  // The icons of the list's items, in item order.
  const std::vector<int> &ItemIcons() const { return item_icons_; }

  BEGIN_MSG_MAP(CPageMedia)
    NOTIFY_HANDLER(IDC_MEDIA_LIST, NM_CLICK, OnListClick)
    NOTIFY_HANDLER(IDC_MEDIA_LIST, LVN_KEYDOWN, OnListKeyDown)
    COMMAND_RANGE_HANDLER(kDriveCommandFirst, kDriveCommandLast, OnDriveChosen)
    COMMAND_RANGE_HANDLER(kTokenCommandFirst, kTokenCommandLast, OnTokenChosen)
    COMMAND_ID_HANDLER(kTokenInstallCommand, OnTokenInstall)
    MESSAGE_HANDLER(kFocusMoved, OnFocusMoved)
    MSG_WM_DESTROY(OnDestroy)
    CHAIN_MSG_MAP(CRelayPage)
  END_MSG_MAP()

 private:
  // Posted after an arrow key reached the list, so the focus has moved when it is looked at.
  enum : UINT { kFocusMoved = WM_APP + 0x61 };
  LRESULT OnFocusMoved(WPARAM, LPARAM);
  LRESULT OnListClick(NMHDR *header);
  LRESULT OnListKeyDown(NMHDR *header);
  void OnDriveChosen(UINT command);
  void OnTokenChosen(UINT command);
  void OnTokenInstall();
  void OnDestroy();

  // A new current item: nothing chosen yet.
  void SelectItem(int item);
  void MediumAction(int item);
  void ChooseHardDisk();
  void ShowDriveMenu(int item);
  void ShowTokenMenu(int item);
  void ChooseIcCard();
  void ChooseSecureDisk();
  // Shows the menu at the centre of the item; the command chosen (0: none).
  unsigned TrackMenu(HMENU menu, int item);
  // True when the set may go onto the medium: none of its holder is there, or the user agreed
  // to replace it.
  bool MayReplace(uint32_t kind, const void *medium);
  // The question before a set on the chosen medium goes: true for Yes.
  bool AskReplace();
  void UpdateButtons();
  void ResetRemovableText();
  int ItemOf(uint32_t kind) const;
  void FreePin();
  void ReleaseSecureDisk();
  // Stores the received set on the disk at once (receive kind 3); the sheet keeps the result.
  void StoreAtOnce();

  std::vector<int> item_icons_;
  HIMAGELIST images_ = nullptr;
  int current_ = -1;
  uint32_t kind_ = 0;
  char drive_ = 0;
  int approved_ = 0;
  int ready_ = 0;
  char pin_[kPinCapacity] = {};
  std::string library_;
  P11_TOKEN_LIST *tokens_ = nullptr;
  std::vector<const P11_TOKEN_ENTRY *> menu_tokens_;
  SecureDiskHandle *secure_disk_ = nullptr;
  std::wstring removable_text_;
  std::wstring removable_prefix_;
  wchar_t windows_folder_[260] = {};
  uint32_t last_kind_ = 0;
};

}  // namespace pages
}  // namespace v7
