// The secure-disk client against the test module: every entry point in its order, the login and
// its tries, the module's failures and lying lengths, importing without losing the old slot, and
// a module refused before it is loaded.
#include "media/securedisk/securedisk.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "media/securedisk/module_signature.h"
#include "media/store/store.h"
#include "pki/errors/error_ctx.h"
#include "platform/errors/error_codes.h"
#include "platform/locale/process_words.h"
#include "tests/harness/vectors.h"
#include "tests/media/securedisk/sd_test_fixture.h"
#include "tests/modules/securedisk/sd_test_state.h"

namespace {

using namespace v7test;

int slot_files(const std::string &store) {
  int n = 0;
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA((store + "\\slot*.dat").c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return 0;
  do ++n;
  while (FindNextFileA(h, &found));
  FindClose(h);
  return n;
}

#ifdef V7_HAVE_SIGNED_MODULES
constexpr bool kHaveSignedModules = true;
#else
constexpr bool kHaveSignedModules = false;
#endif

FileTrustAnswer g_trust;
FileTrustAnswer scripted_trust(const char16_t *) { return g_trust; }

class SecureDiskTest : public v7test::SecureDiskFixture {
 protected:
  void load_and_open() {
    ASSERT_EQ(sd_module_load_from(variant_folder("complete").c_str(), &handle_), 0);
    ASSERT_EQ(sd_open(handle_), 0);
  }
  int import_set(const Bytes &sign, const Bytes &km, const char *password) {
    static const uint8_t kKey[] = {0x30, 0x03, 0x02, 0x01, 0x01};
    return sd_import_pair(handle_, sign.empty() ? nullptr : sign.data(), sign.size(),
                          sign.empty() ? nullptr : kKey, sign.empty() ? 0 : sizeof kKey,
                          km.empty() ? nullptr : km.data(), km.size(), km.empty() ? nullptr : kKey,
                          km.empty() ? 0 : sizeof kKey, password);
  }
};

TEST_F(SecureDiskTest, BindsEveryEntryPointAndFillsTheHandle) {
  ASSERT_EQ(sd_module_load_from(variant_folder("complete").c_str(), &handle_), 0);
  EXPECT_EQ(handle_->magic, kSdHandleMagic);
  EXPECT_EQ(handle_->media_code, 512);
  EXPECT_EQ(handle_->refs, 1);
  EXPECT_STREQ(handle_->drive, "Z");
  EXPECT_EQ(handle_->backup_drive, nullptr);
  EXPECT_EQ(std::string(handle_->path), variant_folder("complete") + "\\npki_securedisk.dll");
  void **table = reinterpret_cast<void **>(handle_->functions);
  for (int i = 0; i < kSdEntryPointCount; ++i) EXPECT_NE(table[i], nullptr) << kSdEntryPointNames[i];
  EXPECT_EQ(state_->loads, 1);
  EXPECT_EQ(sd_handle_addref(handle_), handle_);
  EXPECT_EQ(handle_->refs, 2);
  sd_handle_release(handle_);
  EXPECT_EQ(handle_->refs, 1);
}

TEST_F(SecureDiskTest, RefusesAModuleMissingAnEntryPoint) {
  EXPECT_EQ(sd_module_load_from(variant_folder("missing_export").c_str(), &handle_), v7::kErrModuleNoSymbol);
  EXPECT_EQ(handle_, nullptr);
  EXPECT_EQ(state_->unloads, state_->loads);  // loaded to be bound, and let go again
  EXPECT_EQ(sd_module_load_from(variant_folder("absent").c_str(), &handle_), v7::kErrModuleLoad);
  EXPECT_EQ(sd_module_load_from("", &handle_), v7::kErrSdSystemFolder);
  EXPECT_EQ(sd_module_load_from(std::string(2100, 'a').c_str(), &handle_), v7::kErrSdSystemFolder);
  EXPECT_EQ(sd_module_load_from(variant_folder("complete").c_str(), nullptr), v7::kErrInternal);
}

TEST_F(SecureDiskTest, NullAndForeignHandlesAreRefused) {
  EXPECT_EQ(sd_open(nullptr), v7::kErrSdNullHandle);
  SecureDiskHandle fake = {};
  EXPECT_EQ(sd_open(&fake), v7::kErrSdNotHandle);
  EXPECT_EQ(sd_login(&fake, 1, "pw"), v7::kErrSdNotHandle);
  EXPECT_EQ(sd_handle_addref(nullptr), nullptr);
  EXPECT_EQ(sd_last_error_text(nullptr), nullptr);
}

TEST_F(SecureDiskTest, EveryCallInOrderThroughTheClient) {
  load_and_open();
  EXPECT_EQ(calls_since(0), (std::vector<int>{kInitialize, kSetMultiSlot, kSetDrive}));
  EXPECT_STREQ(state_->last_drive, "Z");

  LONG mark = state_->call_count;
  ASSERT_EQ(import_set(sign_cert_, km_cert_, "good pw"), 0);
  EXPECT_EQ(calls_since(mark), (std::vector<int>{kFindSlot, kMakeSlot, kLogin, kImport, kLogout}));

  int *slots = nullptr;
  int count = 0;
  ASSERT_EQ(sd_get_slot_list(handle_, &slots, &count), 0);
  ASSERT_EQ(count, 1);
  int slot = slots[0];
  free(slots);

  uint8_t *der = nullptr;
  size_t der_len = 0;
  ASSERT_EQ(sd_get_cert(handle_, slot, 2, &der, &der_len), 0);
  EXPECT_EQ(Bytes(der, der + der_len), sign_cert_);
  free(der);
  ASSERT_EQ(sd_get_cert(handle_, slot, 3, &der, &der_len), 0);
  EXPECT_EQ(Bytes(der, der + der_len), km_cert_);
  free(der);

  // Nothing that needs a login runs before one.
  const uint8_t data[] = {1, 2, 3, 4};
  uint8_t *out = nullptr;
  size_t out_len = 0;
  EXPECT_EQ(sd_sign(handle_, data, sizeof data, &out, &out_len), v7::kErrSdLoginRequired);
  EXPECT_EQ(sd_check_login_slot(handle_, slot), v7::kErrInternal);

  ASSERT_EQ(sd_login(handle_, slot, "good pw"), 0);
  EXPECT_EQ(sd_require_login(handle_), 0);
  EXPECT_EQ(sd_check_login_slot(handle_, slot), 0);
  EXPECT_EQ(sd_check_login_slot(handle_, slot + 1), v7::kErrSdLoginRequired);

  mark = state_->call_count;
  ASSERT_EQ(sd_sign(handle_, data, sizeof data, &out, &out_len), 0);
  EXPECT_EQ(Bytes(out, out + out_len), (Bytes{1 ^ 0x5A, 2 ^ 0x5A, 3 ^ 0x5A, 4 ^ 0x5A}));
  EXPECT_EQ(state_->last_mode, 1);
  free(out);
  ASSERT_EQ(sd_decrypt(handle_, data, sizeof data, &out, &out_len), 0);
  EXPECT_EQ(Bytes(out, out + out_len), (Bytes{1 ^ 0x3C, 2 ^ 0x3C, 3 ^ 0x3C, 4 ^ 0x3C}));
  free(out);
  ASSERT_EQ(sd_get_r(handle_, &out, &out_len), 0);
  EXPECT_EQ(out_len, 20u);
  free(out);
  EXPECT_EQ(calls_since(mark), (std::vector<int>{kSign, kSign, kDecrypt, kDecrypt, kGetR, kGetR}));

  uint8_t *parts[4] = {};
  size_t lens[4] = {};
  ASSERT_EQ(sd_export_pkcs8(handle_, "good pw", &parts[0], &lens[0], &parts[1], &lens[1], &parts[2], &lens[2],
                            &parts[3], &lens[3]),
            0);
  EXPECT_EQ(Bytes(parts[0], parts[0] + lens[0]), sign_cert_);
  EXPECT_EQ(Bytes(parts[2], parts[2] + lens[2]), km_cert_);
  EXPECT_EQ(lens[1], 5u);
  EXPECT_EQ(lens[3], 5u);
  for (uint8_t *p : parts) free(p);
  // Only the km certificate, the others not asked for.
  ASSERT_EQ(sd_export_pkcs8(handle_, "good pw", nullptr, nullptr, nullptr, nullptr, &parts[2], &lens[2], nullptr,
                            nullptr),
            0);
  EXPECT_EQ(Bytes(parts[2], parts[2] + lens[2]), km_cert_);
  free(parts[2]);
  EXPECT_EQ(sd_export_pkcs8(handle_, "good pw", &parts[0], nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                            nullptr),
            v7::kErrInvalidParameter);

  int tries = 0;
  ASSERT_EQ(sd_get_current_pin_count(handle_, slot, &tries), 0);
  EXPECT_EQ(tries, kSdTestMaxPinCount);
  char *version = nullptr;
  ASSERT_EQ(sd_get_version_text(handle_, &version), 0);
  EXPECT_STREQ(version, "3,200,7");
  free(version);
}

TEST_F(SecureDiskTest, AWrongPasswordLowersTheTriesAndKeepsTheModulesMessage) {
  load_and_open();
  ASSERT_EQ(import_set(sign_cert_, {}, "good pw"), 0);
  int *slots = nullptr;
  int count = 0;
  ASSERT_EQ(sd_get_slot_list(handle_, &slots, &count), 0);
  int slot = slots[0];
  free(slots);

  EXPECT_EQ(sd_login(handle_, slot, ""), v7::kErrInvalidParameter);
  EXPECT_EQ(sd_login(handle_, slot, "bad pw"), kSdTestWrongPassword + kSdCodeOffset);
  EXPECT_EQ(errno, 0x200A0);
  static const char kMessage[] = "\xEB\xB9\x84\xEB\xB0\x80\xEB\xB2\x88\xED\x98\xB8 \xEC\x98\xA4\xEB\xA5\x98";
  ASSERT_NE(sd_last_error_text(handle_), nullptr);
  EXPECT_STREQ(sd_last_error_text(handle_), kMessage);
  set_char_encoding_mode(0);
  ASSERT_NE(sd_last_error_text(handle_), nullptr);
  EXPECT_STREQ(sd_last_error_text(handle_), "\xBA\xF1\xB9\xD0\xB9\xF8\xC8\xA3 \xBF\xC0\xB7\xF9");
  set_char_encoding_mode(1);
  int tries = 0;
  ASSERT_EQ(sd_get_current_pin_count(handle_, slot, &tries), 0);
  EXPECT_EQ(tries, kSdTestMaxPinCount - 1);
  EXPECT_EQ(sd_last_error_text(handle_), nullptr);  // every call drops the old message
  EXPECT_EQ(sd_login(handle_, slot, "bad pw"), 0x200A0);
  ASSERT_EQ(sd_get_current_pin_count(handle_, slot, &tries), 0);
  EXPECT_EQ(tries, kSdTestMaxPinCount - 2);
  const uint8_t data[] = {9};
  uint8_t *out = nullptr;
  size_t out_len = 0;
  EXPECT_EQ(sd_sign(handle_, data, 1, &out, &out_len), v7::kErrSdLoginRequired);
  EXPECT_EQ(sd_login(handle_, slot, "good pw"), 0);
  ASSERT_EQ(sd_get_current_pin_count(handle_, slot, &tries), 0);
  EXPECT_EQ(tries, kSdTestMaxPinCount);
}

TEST_F(SecureDiskTest, AlreadyStartedCountsAsStarted) {
  ASSERT_EQ(sd_module_load_from(variant_folder("complete").c_str(), &handle_), 0);
  state_->initialize_answer = kSdAlreadyInitialized;
  EXPECT_EQ(sd_open(handle_), 0);
  state_->initialize_answer = 7;
  EXPECT_EQ(sd_open(handle_), 7 + kSdCodeOffset);
}

// The slot a received certificate would replace: none before its set is imported, its own after,
// none for another holder; a certificate that does not decode and a module failure are errors,
// never "none".
TEST_F(SecureDiskTest, FindsTheSlotAnImportWouldReplace) {
  load_and_open();
  int slot = -1;
  EXPECT_EQ(sd_find_cert_slot(handle_, sign_cert_.data(), sign_cert_.size(), &slot), 0);
  EXPECT_EQ(slot, 0);
  ASSERT_EQ(import_set(sign_cert_, km_cert_, "good pw"), 0);
  int *slots = nullptr;
  int count = 0;
  ASSERT_EQ(sd_get_slot_list(handle_, &slots, &count), 0);
  ASSERT_EQ(count, 1);
  const int imported = slots[0];
  free(slots);
  EXPECT_EQ(sd_find_cert_slot(handle_, sign_cert_.data(), sign_cert_.size(), &slot), 0);
  EXPECT_EQ(slot, imported);
  EXPECT_EQ(sd_find_cert_slot(handle_, other_cert_.data(), other_cert_.size(), &slot), 0);
  EXPECT_EQ(slot, 0);

  const uint8_t not_a_cert[] = {0x04, 0x01, 0x00};
  slot = -1;
  EXPECT_NE(sd_find_cert_slot(handle_, not_a_cert, sizeof not_a_cert, &slot), 0);
  EXPECT_EQ(slot, 0);
  EXPECT_EQ(sd_find_cert_slot(handle_, nullptr, 0, &slot), v7::kErrInvalidParameter);
  EXPECT_EQ(sd_find_cert_slot(handle_, sign_cert_.data(), sign_cert_.size(), nullptr), v7::kErrInvalidParameter);
  state_->fail_entry = kFindSlot;
  state_->fail_code = 0x3E8;
  EXPECT_EQ(sd_find_cert_slot(handle_, sign_cert_.data(), sign_cert_.size(), &slot), 0x3E8 + kSdCodeOffset);
  EXPECT_EQ(slot, 0);
  state_->fail_entry = -1;
}

TEST_F(SecureDiskTest, InjectedFailuresCarryTheModuleOffsetAndMessage) {
  load_and_open();
  ASSERT_EQ(import_set(sign_cert_, km_cert_, "good pw"), 0);
  ASSERT_EQ(sd_login(handle_, 1, "good pw"), 0);
  const uint8_t data[] = {1, 2};
  struct Case {
    SdEntry entry;
    int (*call)(SecureDiskHandle *);
  } cases[] = {
      {kInitialize, [](SecureDiskHandle *h) { return sd_open(h); }},
      {kSetMultiSlot, [](SecureDiskHandle *h) { return sd_open(h); }},
      {kSetDrive, [](SecureDiskHandle *h) { return sd_open(h); }},
      {kGetSlotList,
       [](SecureDiskHandle *h) {
         int *s = nullptr;
         int n = 0;
         return sd_get_slot_list(h, &s, &n);
       }},
      {kGetCert,
       [](SecureDiskHandle *h) {
         uint8_t *o = nullptr;
         size_t n = 0;
         return sd_get_cert(h, 1, 2, &o, &n);
       }},
      {kLogin, [](SecureDiskHandle *h) { return sd_login(h, 1, "good pw"); }},
      {kSign,
       [](SecureDiskHandle *h) {
         uint8_t *o = nullptr;
         size_t n = 0;
         static const uint8_t d[] = {1};
         return sd_sign(h, d, 1, &o, &n);
       }},
      {kDecrypt,
       [](SecureDiskHandle *h) {
         uint8_t *o = nullptr;
         size_t n = 0;
         static const uint8_t d[] = {1};
         return sd_decrypt(h, d, 1, &o, &n);
       }},
      {kGetR,
       [](SecureDiskHandle *h) {
         uint8_t *o = nullptr;
         size_t n = 0;
         return sd_get_r(h, &o, &n);
       }},
      {kExportToPKCS8,
       [](SecureDiskHandle *h) {
         uint8_t *o = nullptr;
         size_t n = 0;
         return sd_export_pkcs8(h, "good pw", &o, &n, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
       }},
      {kGetCurrentPinCount,
       [](SecureDiskHandle *h) {
         int n = 0;
         return sd_get_current_pin_count(h, 1, &n);
       }},
      {kGetVersion,
       [](SecureDiskHandle *h) {
         char *t = nullptr;
         return sd_get_version_text(h, &t);
       }},
  };
  (void)data;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.entry);
    state_->fail_entry = c.entry;
    state_->fail_code = 0x3E8 + c.entry;
    EXPECT_EQ(c.call(handle_), 0x3E8 + c.entry + kSdCodeOffset);
    ASSERT_NE(sd_last_error_text(handle_), nullptr);
    EXPECT_EQ(std::string(sd_last_error_text(handle_)), "injected failure " + std::to_string(0x3E8 + c.entry));
  }
}

TEST_F(SecureDiskTest, LengthsBeyondTheBufferAreRefused) {
  load_and_open();
  ASSERT_EQ(import_set(sign_cert_, km_cert_, "good pw"), 0);
  ASSERT_EQ(sd_login(handle_, 1, "good pw"), 0);
  state_->lie_by = 16;
  uint8_t *out = nullptr;
  size_t out_len = 0;
  state_->lie_entry = kGetCert;
  EXPECT_EQ(sd_get_cert(handle_, 1, 2, &out, &out_len), v7::kErrInvalidMemoryAccess);
  EXPECT_EQ(out, nullptr);
  state_->lie_entry = kGetSlotList;
  int *slots = nullptr;
  int count = 0;
  EXPECT_EQ(sd_get_slot_list(handle_, &slots, &count), v7::kErrInvalidMemoryAccess);
  EXPECT_EQ(slots, nullptr);
  state_->lie_entry = kSign;
  const uint8_t data[] = {5};
  EXPECT_EQ(sd_sign(handle_, data, 1, &out, &out_len), v7::kErrInvalidMemoryAccess);
  state_->lie_entry = kExportToPKCS8;
  EXPECT_EQ(sd_export_pkcs8(handle_, "good pw", &out, &out_len, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
            v7::kErrInvalidMemoryAccess);
  state_->lie_by = -100000;  // a negative length
  state_->lie_entry = kGetCert;
  EXPECT_EQ(sd_get_cert(handle_, 1, 2, &out, &out_len), v7::kErrInvalidMemoryAccess);
  // A message length past its buffer leaves no text rather than a read past it.
  state_->lie_by = 64;
  state_->lie_entry = kGetErrorMessage;
  EXPECT_EQ(sd_login(handle_, 1, "bad pw"), 0x200A0);
  EXPECT_EQ(sd_last_error_text(handle_), nullptr);
}

TEST_F(SecureDiskTest, ImportChecksItsPairsAndSubjects) {
  load_and_open();
  static const uint8_t kKey[] = {1};
  EXPECT_EQ(sd_import_pair(handle_, sign_cert_.data(), sign_cert_.size(), nullptr, 0, nullptr, 0, nullptr, 0, "pw"),
            v7::kErrInvalidParameter);
  EXPECT_EQ(sd_import_pair(handle_, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, "pw"), v7::kErrInvalidParameter);
  EXPECT_EQ(sd_import_pair(handle_, nullptr, 0, nullptr, 0, km_cert_.data(), km_cert_.size(), kKey, 0, "pw"),
            v7::kErrInvalidParameter);
  EXPECT_EQ(import_set(sign_cert_, km_cert_, ""), v7::kErrInvalidParameter);
  EXPECT_EQ(import_set(sign_cert_, other_cert_, "pw"), v7::kErrSdSubjectMismatch);
  EXPECT_EQ(import_set({}, km_cert_, "pw"), v7::kErrSdNoSlot);
  Bytes garbage = {0x30, 0x03, 0x01, 0x01, 0x00};
  EXPECT_NE(import_set(garbage, {}, "pw"), 0);
  EXPECT_EQ(slot_files(store_), 0);
  // A km pair joins the slot of its subject.
  ASSERT_EQ(import_set(sign_cert_, {}, "pw"), 0);
  ASSERT_EQ(import_set({}, km_cert_, "pw"), 0);
  EXPECT_EQ(slot_files(store_), 1);
  uint8_t *der = nullptr;
  size_t der_len = 0;
  ASSERT_EQ(sd_get_cert(handle_, 1, 3, &der, &der_len), 0);
  EXPECT_EQ(Bytes(der, der + der_len), km_cert_);
  free(der);
}

TEST_F(SecureDiskTest, ReplacingASetKeepsTheOldSlotUntilTheNewOneHoldsIt) {
  load_and_open();
  ASSERT_EQ(import_set(sign_cert_, {}, "old pw"), 0);
  // A failed import leaves the old slot as it was and no new one.
  state_->fail_entry = kImport;
  state_->fail_code = 0x55;
  LONG mark = state_->call_count;
  EXPECT_EQ(import_set(sign_cert_, km_cert_, "new pw"), 0x55 + kSdCodeOffset);
  EXPECT_EQ(calls_since(mark),
            (std::vector<int>{kFindSlot, kMakeSlot, kLogin, kImport, kLogout, kRemoveSlot}));
  EXPECT_EQ(slot_files(store_), 1);
  EXPECT_EQ(sd_login(handle_, 1, "old pw"), 0);
  // A good one removes the old slot only after.
  state_->fail_entry = -1;
  mark = state_->call_count;
  ASSERT_EQ(import_set(sign_cert_, km_cert_, "new pw"), 0);
  EXPECT_EQ(calls_since(mark),
            (std::vector<int>{kFindSlot, kMakeSlot, kLogin, kImport, kLogout, kRemoveSlot}));
  EXPECT_EQ(slot_files(store_), 1);
  int *slots = nullptr;
  int count = 0;
  ASSERT_EQ(sd_get_slot_list(handle_, &slots, &count), 0);
  ASSERT_EQ(count, 1);
  EXPECT_EQ(slots[0], 2);
  EXPECT_EQ(sd_login(handle_, slots[0], "new pw"), 0);
  free(slots);
}

// Once the new slot holds the set the import has succeeded: an old slot that cannot be removed
// afterwards stays beside it, and the result says so instead of calling a stored set a failure.
TEST_F(SecureDiskTest, AnOldSlotThatStaysIsANoticeNotAFailure) {
  load_and_open();
  ASSERT_EQ(import_set(sign_cert_, {}, "old pw"), 0);
  state_->fail_entry = kRemoveSlot;
  state_->fail_code = 0x66;
  static const uint8_t kKey[] = {0x30, 0x03, 0x02, 0x01, 0x01};
  SdImportNotice notice;
  notice.old_slot = -1;
  LONG mark = state_->call_count;
  ASSERT_EQ(sd_import_pair(handle_, sign_cert_.data(), sign_cert_.size(), kKey, sizeof kKey, km_cert_.data(),
                           km_cert_.size(), kKey, sizeof kKey, "new pw", &notice),
            0);
  EXPECT_EQ(errno, 0);
  EXPECT_EQ(calls_since(mark),
            (std::vector<int>{kFindSlot, kMakeSlot, kLogin, kImport, kLogout, kRemoveSlot}));
  EXPECT_EQ(notice.old_slot, 1);
  EXPECT_EQ(notice.code, 0x66 + kSdCodeOffset);
  ASSERT_NE(sd_last_error_text(handle_), nullptr);
  EXPECT_STREQ(sd_last_error_text(handle_), "injected failure 102");
  // Both slots are there; the new one holds the new set under the new password.
  EXPECT_EQ(slot_files(store_), 2);
  EXPECT_EQ(sd_login(handle_, 1, "old pw"), 0);
  EXPECT_EQ(sd_login(handle_, 2, "new pw"), 0);
  uint8_t *der = nullptr;
  size_t der_len = 0;
  ASSERT_EQ(sd_get_cert(handle_, 2, 3, &der, &der_len), 0);
  EXPECT_EQ(Bytes(der, der + der_len), km_cert_);
  free(der);
  // A removal that works leaves no notice behind.
  state_->fail_entry = -1;
  ASSERT_EQ(sd_import_pair(handle_, sign_cert_.data(), sign_cert_.size(), kKey, sizeof kKey, nullptr, 0,
                           nullptr, 0, "third pw", &notice),
            0);
  EXPECT_EQ(notice.old_slot, 0);
  EXPECT_EQ(notice.code, 0);

  // Through the store: success, with the notice on the context (the module's code and message).
  const Bytes sign_key = read_file(v7test::fixtures_path("pki/signPri.key"));
  const Bytes km_key = read_file(v7test::fixtures_path("pki/kmPri.key"));
  StoreMedium medium;
  medium.kind = kStoreSecureDisk;
  medium.secure_disk = sd_handle_addref(handle_);
  const int before = slot_files(store_);
  state_->fail_entry = kRemoveSlot;
  STORE_CTX *ctx = store_ctx_new();
  ASSERT_NE(ctx, nullptr);
  EXPECT_EQ(store_cert_pairs(ctx, "Fixture1!", sign_cert_.data(), sign_cert_.size(), sign_key.data(),
                             sign_key.size(), km_cert_.data(), km_cert_.size(), km_key.data(), km_key.size(),
                             &medium),
            0);
  EXPECT_EQ(slot_files(store_), before + 1);
  ASSERT_NE(ctx->errors->newest, nullptr);
  EXPECT_EQ(ctx->errors->newest, ctx->errors->oldest);
  std::vector<int> codes;
  std::vector<std::string> details;
  for (const ERROR_SUBNODE *e = ctx->errors->newest->first; e != nullptr; e = e->next) {
    codes.push_back(e->code);
    details.push_back(e->detail != nullptr ? e->detail : "");
  }
  EXPECT_EQ(codes, (std::vector<int>{v7::kErrSdSlotNotRemoved, 0x66 + kSdCodeOffset, 0}));
  EXPECT_EQ(details.back(), "injected failure 102");
  store_ctx_free(ctx);
}

// Storing a received set on the secure disk: the keys are proven with the password before the
// module is asked, a failed import leaves the old slot and pushes the module's message, and the
// stored set reads back and opens with the password.
TEST_F(SecureDiskTest, StoringASetThroughTheStore) {
  load_and_open();
  const Bytes sign_key = read_file(v7test::fixtures_path("pki/signPri.key"));
  const Bytes km_key = read_file(v7test::fixtures_path("pki/kmPri.key"));
  StoreMedium medium;
  medium.kind = kStoreSecureDisk;
  medium.secure_disk = sd_handle_addref(handle_);
  auto store = [&](STORE_CTX *ctx, const char *password) {
    return store_cert_pairs(ctx, password, sign_cert_.data(), sign_cert_.size(), sign_key.data(), sign_key.size(),
                            km_cert_.data(), km_cert_.size(), km_key.data(), km_key.size(), &medium);
  };
  STORE_CTX *ctx = store_ctx_new();
  ASSERT_EQ(store(ctx, "Fixture1!"), 0);
  store_ctx_free(ctx);

  // A wrong password never reaches the module.
  LONG mark = state_->call_count;
  ctx = store_ctx_new();
  EXPECT_EQ(store(ctx, "wrong"), v7::kErrWrongPassword);
  EXPECT_EQ(state_->call_count, mark);
  store_ctx_free(ctx);

  state_->fail_entry = kImport;
  state_->fail_code = 0x55;
  ctx = store_ctx_new();
  EXPECT_EQ(store(ctx, "Fixture1!"), 0x55 + kSdCodeOffset);
  ASSERT_NE(ctx->errors->newest, nullptr);
  EXPECT_EQ(ctx->errors->newest->first->code, 0x55 + kSdCodeOffset);
  EXPECT_NE(ctx->errors->newest->first->detail, nullptr);
  store_ctx_free(ctx);
  state_->fail_entry = -1;

  EXPECT_EQ(slot_files(store_), 1);
  int *slots = nullptr;
  int count = 0;
  ASSERT_EQ(sd_get_slot_list(handle_, &slots, &count), 0);
  ASSERT_EQ(count, 1);
  EXPECT_EQ(sd_login(handle_, slots[0], "Fixture1!"), 0);
  uint8_t *cert = nullptr;
  size_t cert_len = 0;
  ASSERT_EQ(sd_get_cert(handle_, slots[0], 2, &cert, &cert_len), 0);
  EXPECT_EQ(Bytes(cert, cert + cert_len), sign_cert_);
  free(cert);
  ASSERT_EQ(sd_get_cert(handle_, slots[0], 3, &cert, &cert_len), 0);
  EXPECT_EQ(Bytes(cert, cert + cert_len), km_cert_);
  free(cert);
  free(slots);
}

TEST_F(SecureDiskTest, ARefusedModuleIsNeverLoaded) {
  set_file_trust_verifier(scripted_trust);
  std::string path = variant_folder("complete") + "\\npki_securedisk.dll";
  const uint32_t refusals[] = {0x800B0100, 0x80096010, 0x800B010A, 0x800B0111};
  for (uint32_t answer : refusals) {
    SCOPED_TRACE(answer);
    g_trust = {answer, answer};
    ERROR_CTX ctx = {};
    EXPECT_NE(sd_module_load_verified(&ctx, variant_folder("complete").c_str(), 0, &handle_), 0);
    EXPECT_EQ(handle_, nullptr);
    EXPECT_EQ(GetModuleHandleA(path.c_str()), nullptr);
    EXPECT_EQ(state_->loads, 0);
    err_ctx_clear(&ctx);
  }
  // Trusted by the platform, but the unsigned test module has no signer to name.
  g_trust = {0, 0};
  ERROR_CTX ctx = {};
  EXPECT_EQ(sd_module_load_verified(&ctx, variant_folder("complete").c_str(), 1, &handle_), v7::kErrPeNoSignature);
  EXPECT_EQ(GetModuleHandleA(path.c_str()), nullptr);
  EXPECT_EQ(state_->loads, 0);
  err_ctx_clear(&ctx);
  // Accepted: loaded, and the file was readable while held.
  ASSERT_EQ(sd_module_load_verified(&ctx, variant_folder("complete").c_str(), 0, &handle_), 0);
  EXPECT_NE(GetModuleHandleA(path.c_str()), nullptr);
  EXPECT_EQ(state_->loads, 1);
  EXPECT_EQ(sd_verify_module_signature(&ctx, handle_, 0), 0);
  err_ctx_clear(&ctx);
}

// The platform's own verifier (no seam) on the signed copies of the test module: signed by the
// expected publisher, by another one, signed and then changed, and not signed at all. Only the
// accepted one is ever loaded.
TEST_F(SecureDiskTest, ThePlatformVerifierJudgesTheSignedModules) {
  if (!kHaveSignedModules) GTEST_SKIP() << "no signing tool: the signed modules were not made";
  struct Case {
    const char *variant;
    int check_signer;
    int code;
    const char *pushed;  // newest node first
  } cases[] = {
      {"signed", 1, 0, ""},
      {"signed", 0, 0, ""},
      {"other_signer", 0, 0, ""},
      {"other_signer", 1, v7::kErrSignerMismatch, "33769"},
      {"lookalike", 1, v7::kErrSignerMismatch, "33769"},
      {"tampered", 1, v7::kErrPeImageHash, "33768 > 33010([0x80096010])"},
      {"complete", 0, v7::kErrPeNoSignature, "33762 > 33010([0x800B0100])"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.variant) + (c.check_signer ? " with its signer" : ""));
    std::string path = variant_folder(c.variant) + "\\npki_securedisk.dll";
    ERROR_CTX ctx = {};
    LONG loads = state_->loads;
    EXPECT_EQ(sd_module_load_verified(&ctx, variant_folder(c.variant).c_str(), c.check_signer, &handle_), c.code);
    std::string pushed;
    for (ERROR_NODE *n = ctx.newest; n != nullptr; n = n->older)
      for (ERROR_SUBNODE *e = n->first; e != nullptr; e = e->next) {
        pushed += std::to_string(e->code);
        if (e->detail != nullptr) pushed += std::string("(") + e->detail + ")";
        if (e->next == nullptr && n->older != nullptr) pushed += " > ";
      }
    EXPECT_EQ(pushed, c.pushed);
    if (c.code == 0) {
      ASSERT_NE(handle_, nullptr);
      EXPECT_NE(GetModuleHandleA(path.c_str()), nullptr);
      EXPECT_EQ(state_->loads, loads + 1);
      sd_handle_release(handle_);
      handle_ = nullptr;
    } else {
      EXPECT_EQ(handle_, nullptr);
      EXPECT_EQ(GetModuleHandleA(path.c_str()), nullptr);
      EXPECT_EQ(state_->loads, loads);
    }
    err_ctx_clear(&ctx);
  }
}

TEST_F(SecureDiskTest, TheSignerOfTheSignedModule) {
  if (!kHaveSignedModules) GTEST_SKIP() << "no signing tool: the signed modules were not made";
  struct Case {
    const char *variant;
    const char *signer;
  } cases[] = {
      {"signed", "cn=quillowsys co., Ltd.,o=T,c=KR"},
      {"other_signer", "cn=Another Publisher Ltd.,o=T,c=KR"},
      {"lookalike", "cn=quillowsys co., Ltd. and friends,o=T,c=KR"},
      {"tampered", "cn=quillowsys co., Ltd.,o=T,c=KR"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.variant);
    Bytes file = read_file(V7_SECUREDISK_DIR "/" + std::string(c.variant) + "/npki_securedisk.dll");
    ERROR_CTX ctx = {};
    char *signer = nullptr;
    ASSERT_EQ(pe_signer_dn(file.data(), file.size(), &ctx, &signer), 0);
    EXPECT_STREQ(signer, c.signer);
    free(signer);
    err_ctx_clear(&ctx);
  }
}

TEST_F(SecureDiskTest, TheFileIsHeldAgainstWritesWhileItIsChecked) {
  if (!kHaveSignedModules) GTEST_SKIP() << "no signing tool: the signed modules were not made";
  // A verifier that tries to replace the file while the check runs.
  static std::string s_path;
  s_path = variant_folder("signed") + "\\npki_securedisk.dll";
  static bool s_write_refused = false;
  set_file_trust_verifier([](const char16_t *) {
    HANDLE h = CreateFileA(s_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           0, nullptr);
    s_write_refused = h == INVALID_HANDLE_VALUE;
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    return FileTrustAnswer{0, 0};
  });
  ERROR_CTX ctx = {};
  ASSERT_EQ(sd_module_load_verified(&ctx, variant_folder("signed").c_str(), 1, &handle_), 0);
  EXPECT_TRUE(s_write_refused);
  err_ctx_clear(&ctx);
}

}  // namespace
