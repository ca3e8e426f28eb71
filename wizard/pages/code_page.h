// What the sender's three authorization-code pages share: the code lives only in its group edits
// and is read through the keyboard-security wrapper into wiped buffers; every change of a group
// re-evaluates the buttons and the hint, and moves the focus on from a full group; Next joins the
// groups and starts the transfer.
#pragma once

#include <winsock2.h>  // before any windows.h: the sheet brings in the relay controller

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "platform/classlib/message_map.h"
#include "wizard/keycrypt/key_crypt.h"
#include "wizard/pages/relay_page.h"
#include "wizard/pages/sender_logic.h"

namespace v7 {
namespace pages {

// The group edits of one code type, in screen order.
struct GroupRow {
  const int *ids;
  size_t count;
};

class CCodePage : public CRelayPage {
 public:
  CCodePage(UINT template_id, CodePage kind);

  int CodeType() const { return m_codeType; }

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  LRESULT OnWizardNext() override;

  BEGIN_MSG_MAP(CCodePage)
  MESSAGE_HANDLER(WM_COMMAND, OnCommand)
  MSG_WM_CTLCOLORSTATIC(OnCtlColorStatic)
  MSG_WM_DESTROY(OnDestroy)
  END_MSG_MAP()

 protected:
  // The groups of the current code type.
  virtual GroupRow CurrentRow() const = 0;
  // Every group edit of the page, in the order of the template's fields.
  virtual GroupRow AllGroups() const = 0;
  // The row that holds control id, for the focus rule (count 0: none).
  virtual GroupRow RowOf(int id) const = 0;
  // The page's description (a string pair).
  virtual UINT DescriptionText() const = 0;

  uint32_t Mode() const;
  // Reads the current groups and posts the buttons they allow; shows why they cannot be taken.
  void UpdateButtons();

  int m_codeType;

 private:
  LRESULT OnCommand(WPARAM wparam, LPARAM lparam);
  HBRUSH OnCtlColorStatic(HDC dc, HWND control);
  void OnDestroy();
  // The states of the row's groups, as read through the wrapper.
  void ReadStates(const GroupRow &row, GroupState *states);

  CodePage m_kind;
  keycrypt::CKeyCrypt m_keyCrypt;
};

// A code page whose groups are one row that never changes.
class CFixedCodePage : public CCodePage {
 public:
  CFixedCodePage(UINT template_id, CodePage kind, GroupRow row, UINT description);

 protected:
  GroupRow CurrentRow() const override { return m_row; }
  GroupRow AllGroups() const override { return m_row; }
  GroupRow RowOf(int id) const override;
  UINT DescriptionText() const override { return m_description; }

 private:
  GroupRow m_row;
  UINT m_description;
};

}  // namespace pages
}  // namespace v7
