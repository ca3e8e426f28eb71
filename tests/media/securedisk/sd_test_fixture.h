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
#include <memory>
#include <string>
#include <vector>

#include "media/securedisk/module_signature.h"
#include "media/securedisk/securedisk.h"
#include "pki/keys/keyobj.h"
#include "platform/locale/process_words.h"
#include "tests/harness/vectors.h"
#include "tests/modules/securedisk/sd_test_state.h"

// Loads and binds the module of a folder (a full path) without any check of its file, so that the
// binding can be tested on modules no signing tool has seen. The library defines it for these
// tests only: no product header declares it, so every load of the product is a checked one.
int sd_module_load_from(const char *folder, SecureDiskHandle **out);

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

struct KeyDeleter {
  void operator()(PRIVATE_KEY_CTX *k) const { keyobj_delete(k); }
};
using Key = std::unique_ptr<PRIVATE_KEY_CTX, KeyDeleter>;

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

// The module's state record, which a module loaded while it lives finds through the environment
// (nothing injected, version 3.200.7), and a slot folder named for the running test; the record,
// the slots and the folder go with it.
class SdTestStateScope {
 public:
  SdTestStateScope() {
    state_ = static_cast<SDTestState *>(calloc(1, sizeof(SDTestState)));
    state_->fail_entry = -1;
    state_->lie_entry = -1;
    state_->version[0] = 3;
    state_->version[1] = 200;
    state_->version[2] = 7;
    char temp[MAX_PATH];
    if (GetTempPathA(sizeof temp, temp) == 0) return;
    snprintf(state_->store, sizeof state_->store, "%sv7_sd_store_%lu_%s", temp, GetCurrentProcessId(),
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    store_ = state_->store;
    CreateDirectoryA(store_.c_str(), nullptr);
    char address[32];
    snprintf(address, sizeof address, "%llx",
             static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(state_)));
    SetEnvironmentVariableA(SD_TEST_STATE_VARIABLE, address);
  }
  ~SdTestStateScope() {
    SetEnvironmentVariableA(SD_TEST_STATE_VARIABLE, nullptr);
    if (!store_.empty()) {
      WIN32_FIND_DATAA found;
      HANDLE h = FindFirstFileA((store_ + "\\*.dat").c_str(), &found);
      if (h != INVALID_HANDLE_VALUE) {
        do DeleteFileA((store_ + "\\" + found.cFileName).c_str());
        while (FindNextFileA(h, &found));
        FindClose(h);
      }
      RemoveDirectoryA(store_.c_str());
    }
    free(state_);
  }
  SdTestStateScope(const SdTestStateScope &) = delete;
  SdTestStateScope &operator=(const SdTestStateScope &) = delete;

  bool ok() const { return !store_.empty(); }
  SDTestState *state() const { return state_; }
  const std::string &store() const { return store_; }

 private:
  SDTestState *state_ = nullptr;
  std::string store_;
};

class SecureDiskFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    scope_ = std::make_unique<SdTestStateScope>();
    ASSERT_TRUE(scope_->ok()) << "no temporary folder for the slots";
    state_ = scope_->state();
    store_ = scope_->store();
    sign_cert_ = read_file(fixtures_path("pki/signCert.der"));
    km_cert_ = read_file(fixtures_path("pki/kmCert.der"));
    other_cert_ = read_file(fixtures_path("pki/user2_sign.der"));
    set_char_encoding_mode(1);
  }
  void TearDown() override {
    if (handle_ != nullptr) sd_handle_release(handle_);
    set_file_trust_verifier(nullptr);
    set_char_encoding_mode(0);
    scope_.reset();
  }

  // The complete module opened on handle_ with the user's signing and key-management set imported
  // into one slot under password, and with second_user another user's signing pair in a slot of
  // its own. Wrap in ASSERT_NO_FATAL_FAILURE: a failed step ends only this function.
  void open_with_sets(const char *password, bool second_user) {
    ASSERT_EQ(sd_module_load_from(variant_folder("complete").c_str(), &handle_), 0);
    ASSERT_EQ(sd_open(handle_), 0);
    const Bytes sign_key = read_file(fixtures_path("pki/signPri.key"));
    const Bytes km_key = read_file(fixtures_path("pki/kmPri.key"));
    ASSERT_EQ(sd_import_pair(handle_, sign_cert_.data(), sign_cert_.size(), sign_key.data(), sign_key.size(),
                             km_cert_.data(), km_cert_.size(), km_key.data(), km_key.size(), password),
              0);
    if (!second_user) return;
    const Bytes other_key = read_file(fixtures_path("pki/user2_signPri.key"));
    ASSERT_EQ(sd_import_pair(handle_, other_cert_.data(), other_cert_.size(), other_key.data(),
                             other_key.size(), nullptr, 0, nullptr, 0, password),
              0);
  }

  std::vector<int> calls_since(LONG from) const {
    return std::vector<int>(state_->calls + from, state_->calls + state_->call_count);
  }

  std::unique_ptr<SdTestStateScope> scope_;
  SDTestState *state_ = nullptr;
  std::string store_;
  SecureDiskHandle *handle_ = nullptr;
  Bytes sign_cert_, km_cert_, other_cert_;
};

// The user's set imported into one slot (slot_) under kPassword.
class SecureDiskOneSetFixture : public SecureDiskFixture {
 protected:
  static constexpr char kPassword[] = "Fixture1!";

  void SetUp() override {
    SecureDiskFixture::SetUp();
    ASSERT_NO_FATAL_FAILURE(open_with_sets(kPassword, false));
    int *slots = nullptr;
    int count = 0;
    ASSERT_EQ(sd_get_slot_list(handle_, &slots, &count), 0);
    ASSERT_EQ(count, 1);
    slot_ = slots[0];
    free(slots);
  }

  int slot_ = 0;
};

}  // namespace v7test
