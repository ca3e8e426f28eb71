// The keyboard-security wrapper's process-wide state, built when the library loads and released
// when it unloads. Critical section A guards the module, the context map and both window lists;
// B serialises suspend and resume, and is always taken before A.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>

#include "wizard/keycrypt/ckapp_interface.h"
#include "wizard/keycrypt/keycrypt_rules.h"

namespace v7 {
namespace keycrypt {

// The module's per-thread block (word 0 holds its size; the rest is the module's) and the number
// of Inits of the thread that are still open.
struct CCKAppCtxWrapper {
  uint8_t block[kCKAppBlockSize];
  int32_t use_count;
};

class CriticalSectionLock {
 public:
  explicit CriticalSectionLock(CRITICAL_SECTION &section) : section_(section) { ::EnterCriticalSection(&section_); }
  ~CriticalSectionLock() { ::LeaveCriticalSection(&section_); }
  CriticalSectionLock(const CriticalSectionLock &) = delete;
  CriticalSectionLock &operator=(const CriticalSectionLock &) = delete;

 private:
  CRITICAL_SECTION &section_;
};

struct KeyCryptGlobals {
  KeyCryptGlobals();
  ~KeyCryptGlobals();
  KeyCryptGlobals(const KeyCryptGlobals &) = delete;
  KeyCryptGlobals &operator=(const KeyCryptGlobals &) = delete;

  std::wstring module_file_name{L"CKApp.dll"};
  std::wstring module_name;  // the name of any other module word: none
  std::wstring module_folder;  // test seam; empty: the system folder

  HMODULE module = nullptr;
  InitCKAppExFn init_ckapp = nullptr;
  SetCKAppFlagFn set_ckapp_flag = nullptr;
  ExitCKAppExFn exit_ckapp = nullptr;

  CRITICAL_SECTION section_a;
  CRITICAL_SECTION section_b;
  std::map<DWORD, CCKAppCtxWrapper *> contexts;
  std::map<DWORD, int32_t> suspended_counts;
  HandleList active;
  HandleList suspended;
};

KeyCryptGlobals &keycrypt_globals();

}  // namespace keycrypt
}  // namespace v7
