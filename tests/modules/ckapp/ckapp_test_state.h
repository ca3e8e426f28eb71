// What the test keyboard-security module reports to the tests: a record in the test program's
// memory, whose address the test puts in the environment variable V7_CKAPP_TEST_STATE (hex)
// before the module is loaded. It outlives the module, so a test still reads what the module did
// after the wrapper has unloaded it.
#pragma once

#include <windows.h>

#include <cstdint>

enum CKAppTestEventKind : LONG {
  kCKAppEventInit = 1,     // InitCKAppEx
  kCKAppEventFlag = 2,     // SetCKAppFlag(block, window, flag, one)
  kCKAppEventExit = 3,     // ExitCKAppEx
  kCKAppEventRead = 4,     // message 0x510
  kCKAppEventRelease = 5,  // a subclass given back (at ExitCKAppEx or WM_NCDESTROY)
};

struct CKAppTestEvent {
  LONG kind;
  DWORD thread_id;
  HWND window;
  DWORD flag;   // the flag of SetCKAppFlag; the count of a read
  BOOL block;   // SetCKAppFlag had a block; a read's request came from a live context
};

struct CKAppTestState {
  enum { kMaxEvents = 512 };
  LONG utf8;  // the read's output encoding: nonzero UTF-8, else EUC-KR (code page 949)
  volatile LONG subclassed;  // edits the module holds now
  volatile LONG loads;       // DLL_PROCESS_ATTACH
  volatile LONG unloads;     // DLL_PROCESS_DETACH
  volatile LONG bad_calls;   // a block without its size word, a read with a wrong wParam
  volatile LONG event_count;
  CKAppTestEvent events[kMaxEvents];
};

#define CKAPP_TEST_STATE_VARIABLE "V7_CKAPP_TEST_STATE"

#include <string>

// The folder of one test module variant ("complete", "absent", ...) under V7_CKAPP_DIR, with
// backslashes, as the wrapper's module folder takes it.
inline std::wstring ckapp_variant_folder(const char *variant) {
  wchar_t top[MAX_PATH] = {};
  const DWORD n = ::GetEnvironmentVariableW(L"V7_CKAPP_DIR", top, MAX_PATH);
  std::wstring folder = (n > 0 && n < MAX_PATH) ? std::wstring(top, n) : std::wstring();
  for (wchar_t &c : folder) {
    if (c == L'/') c = L'\\';
  }
  folder += L'\\';
  for (const char *p = variant; *p != 0; ++p) folder += wchar_t(*p);
  return folder;
}
