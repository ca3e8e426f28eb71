#include "platform/classlib/ddx.h"

#include <cwchar>
#include <string>
#include <vector>

#include "platform/classlib/window.h"

namespace v7 {
namespace classlib {

HWND CDataExchange::PrepareControl(int id) {
  m_hWndLastControl = ::GetDlgItem(m_pDlgWnd->m_hWnd, id);
  return m_hWndLastControl;
}

void CDataExchange::Fail() {
  m_failed = true;
  if (m_hWndLastControl != nullptr) ::SetFocus(m_hWndLastControl);
}

size_t CSecretText::length() const { return wcsnlen(text_, kCapacity); }

void DDX_Text(CDataExchange *dx, int id, std::wstring &value) {
  HWND control = dx->PrepareControl(id);
  if (control == nullptr) return dx->Fail();
  if (dx->m_bSaveAndValidate) {
    value = CWnd(control).GetWindowText();
  } else {
    ::SetWindowTextW(control, value.c_str());
  }
}

void DDX_Text(CDataExchange *dx, int id, int &value) {
  HWND control = dx->PrepareControl(id);
  if (control == nullptr) return dx->Fail();
  if (dx->m_bSaveAndValidate) {
    std::wstring text = CWnd(control).GetWindowText();
    wchar_t *end = nullptr;
    long number = std::wcstol(text.c_str(), &end, 10);
    if (text.empty() || end == nullptr || *end != 0) return dx->Fail();
    value = int(number);
  } else {
    ::SetWindowTextW(control, std::to_wstring(value).c_str());
  }
}

void DDV_MaxChars(CDataExchange *dx, const std::wstring &value, int max) {
  if (dx->m_hWndLastControl == nullptr) return;
  if (dx->m_bSaveAndValidate) {
    if (value.size() > size_t(max)) dx->Fail();
  } else {
    ::SendMessageW(dx->m_hWndLastControl, EM_LIMITTEXT, WPARAM(max), 0);
  }
}

void DDX_Check(CDataExchange *dx, int id, int &value) {
  HWND control = dx->PrepareControl(id);
  if (control == nullptr) return dx->Fail();
  if (dx->m_bSaveAndValidate) {
    value = int(::SendMessageW(control, BM_GETCHECK, 0, 0));
  } else {
    ::SendMessageW(control, BM_SETCHECK, WPARAM(value), 0);
  }
}

void DDX_Radio(CDataExchange *dx, int id, int &value) {
  HWND control = dx->PrepareControl(id);
  if (control == nullptr) return dx->Fail();
  if (dx->m_bSaveAndValidate) value = -1;
  // The group runs from id to the control before the next one with WS_GROUP.
  int index = 0;
  for (HWND button = control; button != nullptr; button = ::GetWindow(button, GW_HWNDNEXT), index++) {
    if (button != control && (::GetWindowLongW(button, GWL_STYLE) & WS_GROUP) != 0) break;
    if (dx->m_bSaveAndValidate) {
      if (::SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED) value = index;
    } else {
      ::SendMessageW(button, BM_SETCHECK, index == value ? BST_CHECKED : BST_UNCHECKED, 0);
    }
  }
}

void DDX_Control(CDataExchange *dx, int id, CWnd &control) {
  HWND hwnd = dx->PrepareControl(id);
  if (hwnd == nullptr) return dx->Fail();
  if (control.m_hWnd == nullptr && !control.SubclassWindow(hwnd)) dx->Fail();
}

void DDX_SecretText(CDataExchange *dx, int id, CSecretText &secret) {
  HWND control = dx->PrepareControl(id);
  if (control == nullptr) return dx->Fail();
  if (!dx->m_bSaveAndValidate) {
    secret.Clear();
    ::SetWindowTextW(control, L"");
    return;
  }
  secret.Clear();
  int length = ::GetWindowTextLengthW(control);
  if (length < 0 || size_t(length) >= CSecretText::kCapacity) return dx->Fail();
  ::GetWindowTextW(control, secret.buffer(), int(CSecretText::kCapacity));
}

}  // namespace classlib
}  // namespace v7
