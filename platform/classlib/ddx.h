// Data exchange between a dialog's controls and its members (UpdateData): text, check boxes,
// radio groups, controls that the dialog subclasses, and secrets read into buffers that are
// wiped. Loading (m_bSaveAndValidate false) writes the members into the controls; saving reads
// them back and may fail, which ends UpdateData with FALSE and the focus on the control.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace v7 {
namespace classlib {

class CWnd;

class CDataExchange {
 public:
  CDataExchange(CWnd *dialog, BOOL save) : m_pDlgWnd(dialog), m_bSaveAndValidate(save) {}
  // The control the last exchange touched; DDV_ checks and Fail refer to it.
  HWND PrepareControl(int id);
  // Marks the exchange failed and puts the focus on the last control.
  void Fail();

  CWnd *m_pDlgWnd;
  BOOL m_bSaveAndValidate;
  HWND m_hWndLastControl = nullptr;
  bool m_failed = false;
};

// A secret typed into an edit: a fixed buffer of kCapacity wide characters, terminator included,
// wiped whole whenever it is replaced or released, so no shorter later text leaves an earlier
// one behind.
class CSecretText {
 public:
  enum : size_t { kCapacity = 128 };
  CSecretText() { Clear(); }
  ~CSecretText() { Clear(); }
  CSecretText(const CSecretText &) = delete;
  CSecretText &operator=(const CSecretText &) = delete;

  void Clear() { ::SecureZeroMemory(text_, sizeof text_); }
  const wchar_t *c_str() const { return text_; }
  wchar_t *buffer() { return text_; }
  size_t length() const;
  bool empty() const { return text_[0] == 0; }

 private:
  wchar_t text_[kCapacity];
};

void DDX_Text(CDataExchange *dx, int id, std::wstring &value);
void DDX_Text(CDataExchange *dx, int id, int &value);
// Loading limits the last control to max characters (EM_LIMITTEXT); saving fails a longer text.
void DDV_MaxChars(CDataExchange *dx, const std::wstring &value, int max);
// BST_UNCHECKED, BST_CHECKED or BST_INDETERMINATE.
void DDX_Check(CDataExchange *dx, int id, int &value);
// The index of the checked button of the group that starts at id (-1: none checked).
void DDX_Radio(CDataExchange *dx, int id, int &value);
// Subclasses control id into `control` on the first exchange.
void DDX_Control(CDataExchange *dx, int id, CWnd &control);
// Saving only: reads the edit's text into the secret (a text that does not fit fails, so a
// password is never cut short); the copy the control kept is not touched. Loading clears the
// edit.
void DDX_SecretText(CDataExchange *dx, int id, CSecretText &secret);

}  // namespace classlib
}  // namespace v7
