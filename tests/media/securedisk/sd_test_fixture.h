// What the tests against the test secure-disk module share: the module's state record in the
// environment, a slot folder of the test's own, the fixture certificates, and the module's entry
// points by their binding order.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "media/securedisk/module_signature.h"
#include "media/securedisk/securedisk.h"
#include "platform/locale/process_words.h"
#include "tests/harness/vectors.h"
#include "tests/modules/securedisk/sd_test_state.h"

namespace v7test {

using Bytes = std::vector<uint8_t>;

enum SdEntry {
  kInitialize,
  kFinalize,
  kLogin,
  kLogout,
  kImport,
  kExportToPKCS8,
  kExportToPKCS12,
  kSign,
  kDecrypt,
  kGetR,
  kGetDriveList,
  kGetSlotList,
  kGetCert,
  kGetDriveInfo,
  kSetDrive,
  kFindSlot,
  kMakeSlot,
  kRemoveSlot,
  kGetBackupedDriveList,
  kGetBackupedSlotList,
  kRestoreFromRemovable,
  kBackupToRemovable,
  kSetPIN,
  kSetMultiSlot,
  kSetTray,
  kGetMaxPinCount,
  kGetCurrentPinCount,
  kGetErrorMessage,
  kGetVersion,
};

// The folder of a build variant of the test module, in the Windows spelling.
inline std::string variant_folder(const char *variant) {
  std::string folder = std::string(V7_SECUREDISK_DIR) + "/" + variant;
  for (char &c : folder)
    if (c == '/') c = '\\';
  return folder;
}

inline Bytes read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << path;
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class SecureDiskFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    state_ = static_cast<SDTestState *>(calloc(1, sizeof(SDTestState)));
    state_->fail_entry = -1;
    state_->lie_entry = -1;
    state_->version[0] = 3;
    state_->version[1] = 200;
    state_->version[2] = 7;
    char temp[MAX_PATH];
    ASSERT_GT(GetTempPathA(sizeof temp, temp), 0u);
    snprintf(state_->store, sizeof state_->store, "%sv7_sd_store_%lu_%s", temp, GetCurrentProcessId(),
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    store_ = state_->store;
    CreateDirectoryA(store_.c_str(), nullptr);
    char address[32];
    snprintf(address, sizeof address, "%llx",
             static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(state_)));
    SetEnvironmentVariableA(SD_TEST_STATE_VARIABLE, address);
    sign_cert_ = read_file(fixtures_path("pki/signCert.der"));
    km_cert_ = read_file(fixtures_path("pki/kmCert.der"));
    other_cert_ = read_file(fixtures_path("pki/user2_sign.der"));
    set_char_encoding_mode(1);
  }
  void TearDown() override {
    if (handle_ != nullptr) sd_handle_release(handle_);
    set_file_trust_verifier(nullptr);
    set_char_encoding_mode(0);
    SetEnvironmentVariableA(SD_TEST_STATE_VARIABLE, nullptr);
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((store_ + "\\*.dat").c_str(), &found);
    if (h != INVALID_HANDLE_VALUE) {
      do DeleteFileA((store_ + "\\" + found.cFileName).c_str());
      while (FindNextFileA(h, &found));
      FindClose(h);
    }
    RemoveDirectoryA(store_.c_str());
    free(state_);
  }

  std::vector<int> calls_since(LONG from) const {
    return std::vector<int>(state_->calls + from, state_->calls + state_->call_count);
  }

  SDTestState *state_ = nullptr;
  std::string store_;
  SecureDiskHandle *handle_ = nullptr;
  Bytes sign_cert_, km_cert_, other_cert_;
};

}  // namespace v7test
