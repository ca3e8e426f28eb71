// Points the keyboard-security wrapper at a variant of the test module and hands the module the
// record it reports to (before the module is loaded).
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>

#include "tests/modules/ckapp/ckapp_test_state.h"
#include "wizard/keycrypt/key_crypt_sub.h"

namespace ckapptest {

inline void use_variant(const char *variant, CKAppTestState *state) {
  char address[32];
  std::snprintf(address, sizeof address, "%llx", static_cast<unsigned long long>(uintptr_t(state)));
  ::SetEnvironmentVariableA(CKAPP_TEST_STATE_VARIABLE, address);
  v7::keycrypt::KeyCryptSetModuleFolder(ckapp_variant_folder(variant).c_str());
}

}  // namespace ckapptest
