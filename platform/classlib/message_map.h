// Message maps: BEGIN_MSG_MAP(T) ... END_MSG_MAP() make T's ProcessWindowMessage, one `if` per
// entry, in order. A handler's signature tells what it handles; inside it, SetMsgHandled(false)
// passes the message on to the next entries and then to the window's default handling.
//
//   BEGIN_MSG_MAP(CPageInputAN)
//     COMMAND_HANDLER(IDC_CODE, EN_CHANGE, OnCodeChange)   // void OnCodeChange()
//     MSG_WM_DESTROY(OnDestroy)                            // void OnDestroy()
//     MESSAGE_HANDLER(WM_RELAY_STEP1, OnStep1)             // LRESULT OnStep1(WPARAM, LPARAM)
//     CHAIN_MSG_MAP(CPropertyPage)
//   END_MSG_MAP()
#pragma once

#include <windows.h>

#include "platform/classlib/window.h"

#define BEGIN_MSG_MAP(theClass)                                                                   \
 public:                                                                                          \
  bool ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT &lResult) \
      override {                                                                                  \
    HandledScope handled_scope_(this);                                                            \
    (void)hWnd;                                                                                   \
    (void)wParam;                                                                                 \
    (void)lParam;                                                                                 \
    (void)lResult;

#define END_MSG_MAP() \
  return false;       \
  }

// LRESULT func(WPARAM, LPARAM)
#define MESSAGE_HANDLER(msg, func)   \
  if (uMsg == UINT(msg)) {           \
    SetMsgHandled(true);             \
    lResult = func(wParam, lParam);  \
    if (IsMsgHandled()) return true; \
  }

// LRESULT func(UINT message, WPARAM, LPARAM), for first..last
#define MESSAGE_RANGE_HANDLER(first, last, func)    \
  if (uMsg >= UINT(first) && uMsg <= UINT(last)) {  \
    SetMsgHandled(true);                            \
    lResult = func(uMsg, wParam, lParam);           \
    if (IsMsgHandled()) return true;                \
  }

// void func(): a WM_COMMAND from control or menu id, with the notification code.
#define COMMAND_HANDLER(id, code, func)                                                       \
  if (uMsg == WM_COMMAND && LOWORD(wParam) == UINT(id) && HIWORD(wParam) == UINT(code)) { \
    SetMsgHandled(true);                                                                      \
    func();                                                                                   \
    lResult = 0;                                                                              \
    if (IsMsgHandled()) return true;                                                          \
  }

// void func(): any WM_COMMAND from id (a button's BN_CLICKED, a menu item, IDOK).
#define COMMAND_ID_HANDLER(id, func)                  \
  if (uMsg == WM_COMMAND && LOWORD(wParam) == UINT(id)) { \
    SetMsgHandled(true);                              \
    func();                                           \
    lResult = 0;                                      \
    if (IsMsgHandled()) return true;                  \
  }

// void func(UINT id): a WM_COMMAND from any id in first..last.
#define COMMAND_RANGE_HANDLER(first, last, func)                                      \
  if (uMsg == WM_COMMAND && LOWORD(wParam) >= UINT(first) && LOWORD(wParam) <= UINT(last)) { \
    SetMsgHandled(true);                                                              \
    func(UINT(LOWORD(wParam)));                                                       \
    lResult = 0;                                                                      \
    if (IsMsgHandled()) return true;                                                  \
  }

// LRESULT func(NMHDR *): a WM_NOTIFY from control id with the code.
#define NOTIFY_HANDLER(id, notify_code, func)                                             \
  if (uMsg == WM_NOTIFY && reinterpret_cast<NMHDR *>(lParam)->idFrom == UINT_PTR(id) && \
      reinterpret_cast<NMHDR *>(lParam)->code == UINT(notify_code)) {                     \
    SetMsgHandled(true);                                                           \
    lResult = func(reinterpret_cast<NMHDR *>(lParam));                             \
    if (IsMsgHandled()) return true;                                               \
  }

// LRESULT func(NMHDR *): a WM_NOTIFY with the code, from any control.
#define NOTIFY_CODE_HANDLER(notify_code, func)                                           \
  if (uMsg == WM_NOTIFY && reinterpret_cast<NMHDR *>(lParam)->code == UINT(notify_code)) { \
    SetMsgHandled(true);                                                          \
    lResult = func(reinterpret_cast<NMHDR *>(lParam));                            \
    if (IsMsgHandled()) return true;                                              \
  }

// void func()
#define MSG_WM_DESTROY(func)         \
  if (uMsg == WM_DESTROY) {          \
    SetMsgHandled(true);             \
    func();                          \
    lResult = 0;                     \
    if (IsMsgHandled()) return true; \
  }

// void func(UINT_PTR timer_id)
#define MSG_WM_TIMER(func)           \
  if (uMsg == WM_TIMER) {            \
    SetMsgHandled(true);             \
    func(UINT_PTR(wParam));          \
    lResult = 0;                     \
    if (IsMsgHandled()) return true; \
  }

// HBRUSH func(HDC dc, HWND control): the colours of a child control or of the dialog itself.
#define V7_MSG_CTLCOLOR(message, func)                     \
  if (uMsg == UINT(message)) {                             \
    SetMsgHandled(true);                                   \
    lResult = LRESULT(func(HDC(wParam), HWND(lParam)));    \
    if (IsMsgHandled()) return true;                       \
  }
#define MSG_WM_CTLCOLORSTATIC(func) V7_MSG_CTLCOLOR(WM_CTLCOLORSTATIC, func)
#define MSG_WM_CTLCOLOREDIT(func) V7_MSG_CTLCOLOR(WM_CTLCOLOREDIT, func)
#define MSG_WM_CTLCOLORDLG(func) V7_MSG_CTLCOLOR(WM_CTLCOLORDLG, func)

// Reflected to a control by its parent's REFLECT_NOTIFICATIONS.
// void func(): a WM_COMMAND with the code that the control sent its parent.
#define REFLECTED_COMMAND_CODE_HANDLER(code, func)                         \
  if (uMsg == ::v7::classlib::OCM_BASE + WM_COMMAND && HIWORD(wParam) == UINT(code)) { \
    SetMsgHandled(true);                                                 \
    func();                                                              \
    lResult = 0;                                                         \
    if (IsMsgHandled()) return true;                                     \
  }
// LRESULT func(NMHDR *)
#define REFLECTED_NOTIFY_CODE_HANDLER(notify_code, func)                                          \
  if (uMsg == ::v7::classlib::OCM_BASE + WM_NOTIFY &&                                      \
      reinterpret_cast<NMHDR *>(lParam)->code == UINT(notify_code)) {                             \
    SetMsgHandled(true);                                                                   \
    lResult = func(reinterpret_cast<NMHDR *>(lParam));                                     \
    if (IsMsgHandled()) return true;                                                       \
  }
// HBRUSH func(HDC dc, HWND control)
#define MSG_OCM_CTLCOLORSTATIC(func) V7_MSG_CTLCOLOR(::v7::classlib::OCM_BASE + WM_CTLCOLORSTATIC, func)
// void func(DRAWITEMSTRUCT *)
#define MSG_OCM_DRAWITEM(func)                                           \
  if (uMsg == ::v7::classlib::OCM_BASE + WM_DRAWITEM) {                  \
    SetMsgHandled(true);                                                 \
    func(reinterpret_cast<DRAWITEMSTRUCT *>(lParam));                    \
    lResult = TRUE;                                                      \
    if (IsMsgHandled()) return true;                                     \
  }

#define CHAIN_MSG_MAP(theBase) \
  if (theBase::ProcessWindowMessage(hWnd, uMsg, wParam, lParam, lResult)) return true;

#define REFLECT_NOTIFICATIONS() \
  if (::v7::classlib::ReflectNotifications(hWnd, uMsg, wParam, lParam, lResult)) return true;
