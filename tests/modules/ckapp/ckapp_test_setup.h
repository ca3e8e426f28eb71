// Points the keyboard-security wrapper at a variant of the test module and hands the module the
// record it reports to (before the module is loaded).
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "tests/modules/ckapp/ckapp_test_state.h"
#include "wizard/keycrypt/key_crypt_sub.h"

namespace ckapptest {

// The folder of a variant under V7_CKAPP_DIR, with backslashes.
inline std::wstring variant_folder(const wchar_t *variant) {
  wchar_t top[MAX_PATH] = {};
  const DWORD n = ::GetEnvironmentVariableW(L"V7_CKAPP_DIR", top, MAX_PATH);
  std::wstring folder = (n > 0 && n < MAX_PATH) ? std::wstring(top, n) : std::wstring();
  for (wchar_t &c : folder) {
    if (c == L'/') c = L'\\';
  }
  return folder + L"\\" + variant;
}

inline void use_variant(const wchar_t *variant, CKAppTestState *state) {
  char address[32];
  std::snprintf(address, sizeof address, "%llx", static_cast<unsigned long long>(uintptr_t(state)));
  ::SetEnvironmentVariableA(CKAPP_TEST_STATE_VARIABLE, address);
  v7::keycrypt::KeyCryptSetModuleFolder(variant_folder(variant).c_str());
}

}  // namespace ckapptest
