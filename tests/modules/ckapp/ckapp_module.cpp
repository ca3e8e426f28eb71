// A keyboard-security module of our own, "CKApp.dll", for the wrapper's tests. One source, several
// builds chosen by a define:
//   (none)                      complete: the three entry points, edits subclassed and read back
//   CKAPP_MISSING_EXIT          lacks ExitCKAppEx, so the wrapper must refuse it
//   CKAPP_MASKING               the edit shows one '*' per character; the real text is kept here and
//                               given out only through the read message
//   CKAPP_STICKY                ExitCKAppEx forgets to give its subclasses back (a faulty module)
// The block's word 1 holds the id of the thread the context was made for.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "tests/modules/ckapp/ckapp_test_state.h"
#include "wizard/keycrypt/ckapp_interface.h"

using namespace v7::keycrypt;

namespace {

CKAppTestState *g_state = nullptr;
CRITICAL_SECTION g_lock;

struct Protected {
  HWND window;
  WNDPROC original;
  DWORD thread_id;
  wchar_t secret[256];  // the masking build's real text
};
enum { kMaxProtected = 64 };
Protected g_protected[kMaxProtected];

void log_event(LONG kind, DWORD thread_id, HWND window, DWORD flag, BOOL block) {
  if (g_state == nullptr) return;
  LONG index = InterlockedIncrement(&g_state->event_count) - 1;
  if (index >= CKAppTestState::kMaxEvents) return;
  g_state->events[index] = CKAppTestEvent{kind, thread_id, window, flag, block};
}

void bad_call() {
  if (g_state != nullptr) InterlockedIncrement(&g_state->bad_calls);
}

uint32_t word_at(const void *p, size_t offset) {
  uint32_t value;
  std::memcpy(&value, static_cast<const uint8_t *>(p) + offset, sizeof value);
  return value;
}

Protected *find_locked(HWND window) {
  for (Protected &p : g_protected) {
    if (p.window == window) return &p;
  }
  return nullptr;
}

LRESULT CALLBACK EditProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Gives the window its procedure back, if ours is still the one it calls first.
void release_locked(Protected &p) {
  if (WNDPROC(GetWindowLongPtrW(p.window, GWLP_WNDPROC)) == EditProc) {
    SetWindowLongPtrW(p.window, GWLP_WNDPROC, LONG_PTR(p.original));
  }
  log_event(kCKAppEventRelease, p.thread_id, p.window, 0, FALSE);
  if (g_state != nullptr) InterlockedDecrement(&g_state->subclassed);
  SecureZeroMemory(&p, sizeof p);
}

LRESULT answer_read(HWND window, WNDPROC original, const wchar_t *secret, WPARAM wparam, LPARAM lparam) {
  const uint8_t *request = reinterpret_cast<const uint8_t *>(lparam);
  if (wparam != kCKAppBlockSize || request == nullptr || word_at(request, 0) != kCKAppBlockSize) {
    bad_call();
    return 0;
  }
  char *out = reinterpret_cast<char *>(uintptr_t(word_at(request, kCKAppReadOutputOffset)));
  uint32_t count = word_at(request, kCKAppReadCountOffset);
  log_event(kCKAppEventRead, GetCurrentThreadId(), window, count, word_at(request, 4) == GetCurrentThreadId());
  wchar_t text[256] = {};
  if (secret != nullptr) {
    lstrcpynW(text, secret, 256);
  } else {
    CallWindowProcW(original, window, WM_GETTEXT, 256, LPARAM(text));
  }
  char narrow[1024] = {};
  UINT code_page = (g_state != nullptr && g_state->utf8) ? CP_UTF8 : 949;
  int length = WideCharToMultiByte(code_page, 0, text, -1, narrow, sizeof narrow, nullptr, nullptr);
  length = length > 0 ? length - 1 : 0;
  // Like a module with a fixed buffer: a text too long for it comes out cut and unterminated.
  std::memcpy(out, narrow, length < int(kCKAppOutputSize) ? size_t(length) + 1 : size_t(kCKAppOutputSize));
  SecureZeroMemory(text, sizeof text);
  SecureZeroMemory(narrow, sizeof narrow);
  return length;
}

LRESULT CALLBACK EditProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  EnterCriticalSection(&g_lock);
  Protected *p = find_locked(window);
  WNDPROC original = p != nullptr ? p->original : nullptr;
  LeaveCriticalSection(&g_lock);
  if (original == nullptr) return DefWindowProcW(window, message, wparam, lparam);

  if (message == kCKAppReadMessage) {
#ifdef CKAPP_MASKING
    return answer_read(window, original, p->secret, wparam, lparam);
#else
    return answer_read(window, original, nullptr, wparam, lparam);
#endif
  }
  if (message == WM_NCDESTROY) {
    EnterCriticalSection(&g_lock);
    if ((p = find_locked(window)) != nullptr) release_locked(*p);
    LeaveCriticalSection(&g_lock);
    return CallWindowProcW(original, window, message, wparam, lparam);
  }
#ifdef CKAPP_MASKING
  if (message == WM_SETTEXT) {
    const wchar_t *text = reinterpret_cast<const wchar_t *>(lparam);
    lstrcpynW(p->secret, text != nullptr ? text : L"", 256);
    wchar_t masks[256] = {};
    for (int i = 0; p->secret[i] != 0; ++i) masks[i] = L'*';
    return CallWindowProcW(original, window, message, wparam, LPARAM(masks));
  }
  if (message == WM_CHAR) {
    int length = lstrlenW(p->secret);
    if (wparam == VK_BACK) {
      if (length > 0) p->secret[length - 1] = 0;
      return CallWindowProcW(original, window, message, wparam, lparam);
    }
    if (wparam >= 0x20 && length < 255) {
      p->secret[length] = wchar_t(wparam);
      p->secret[length + 1] = 0;
      return CallWindowProcW(original, window, message, L'*', lparam);
    }
  }
#endif
  return CallWindowProcW(original, window, message, wparam, lparam);
}

void protect(HWND window, DWORD thread_id) {
  if (!IsWindow(window)) {
    bad_call();
    return;
  }
  EnterCriticalSection(&g_lock);
  if (find_locked(window) == nullptr) {
    for (Protected &p : g_protected) {
      if (p.window != nullptr) continue;
      p.window = window;
      p.thread_id = thread_id;
      p.secret[0] = 0;
      p.original = WNDPROC(SetWindowLongPtrW(window, GWLP_WNDPROC, LONG_PTR(EditProc)));
      if (g_state != nullptr) InterlockedIncrement(&g_state->subclassed);
      break;
    }
  }
  LeaveCriticalSection(&g_lock);
}

}  // namespace

extern "C" {

__declspec(dllexport) LONG CKAPP_CALL InitCKAppEx(void *block) {
  if (block == nullptr || word_at(block, 0) != kCKAppBlockSize) {
    bad_call();
    return -1;
  }
  DWORD thread_id = GetCurrentThreadId();
  std::memcpy(static_cast<uint8_t *>(block) + 4, &thread_id, sizeof thread_id);
  log_event(kCKAppEventInit, thread_id, nullptr, 0, TRUE);
  return 0;
}

__declspec(dllexport) LONG CKAPP_CALL SetCKAppFlag(void *block, HWND window, DWORD flag, DWORD one) {
  if ((block != nullptr && word_at(block, 0) != kCKAppBlockSize) || one != 1) bad_call();
  DWORD thread_id = block != nullptr ? word_at(block, 4) : GetCurrentThreadId();
  log_event(kCKAppEventFlag, thread_id, window, flag, block != nullptr);
  if (flag == kCKAppFlagProtectEdit) protect(window, thread_id);
  return 0;
}

#ifndef CKAPP_MISSING_EXIT
__declspec(dllexport) LONG CKAPP_CALL ExitCKAppEx(void *block) {
  if (block == nullptr || word_at(block, 0) != kCKAppBlockSize) {
    bad_call();
    return -1;
  }
  DWORD thread_id = word_at(block, 4);
  log_event(kCKAppEventExit, thread_id, nullptr, 0, TRUE);
#ifndef CKAPP_STICKY
  EnterCriticalSection(&g_lock);
  for (Protected &p : g_protected) {
    if (p.window != nullptr && p.thread_id == thread_id) release_locked(p);
  }
  LeaveCriticalSection(&g_lock);
#endif
  return 0;
}
#endif

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    InitializeCriticalSection(&g_lock);
    char address[32] = {};
    DWORD n = GetEnvironmentVariableA(CKAPP_TEST_STATE_VARIABLE, address, sizeof address);
    if (n > 0 && n < sizeof address) {
      g_state = reinterpret_cast<CKAppTestState *>(uintptr_t(std::strtoull(address, nullptr, 16)));
      InterlockedIncrement(&g_state->loads);
    }
  } else if (reason == DLL_PROCESS_DETACH) {
    if (g_state != nullptr) InterlockedIncrement(&g_state->unloads);
    DeleteCriticalSection(&g_lock);
  }
  return TRUE;
}

}  // extern "C"
