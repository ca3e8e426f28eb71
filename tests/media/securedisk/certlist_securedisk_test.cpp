// The secure-disk certificate list and part readers against the test module: one entry per slot
// whose signing certificate decodes, slots in front of the list, and the parts read through a
// module handle of their own.
#include <windows.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "media/certlist.h"
#include "media/securedisk/module_signature.h"
#include "media/securedisk/securedisk.h"
#include "platform/errors/error_codes.h"
#include "tests/media/securedisk/sd_test_fixture.h"

namespace {

using namespace v7test;

constexpr char kPassword[] = "Fixture1!";

// The platform's answer for the module files the part readers check; the unsigned test module is
// taken as trusted unless a test says otherwise.
FileTrustAnswer g_trust;
FileTrustAnswer scripted_trust(const char16_t *) { return g_trust; }

class SecureDiskListTest : public SecureDiskFixture {
 protected:
  void SetUp() override {
    SecureDiskFixture::SetUp();
    ASSERT_EQ(sd_module_load_from(variant_folder("complete").c_str(), &handle_), 0);
    ASSERT_EQ(sd_open(handle_), 0);
    sd_set_module_folder(variant_folder("complete").c_str());
    g_trust = {0, 0};
    set_file_trust_verifier(scripted_trust);
  }
  void TearDown() override {
    certlist_free(&list_);
    strlist_free(list_.policy_filter);
    sd_set_module_folder(nullptr);
    SecureDiskFixture::TearDown();
  }
  void import(const Bytes &sign, const Bytes &km) {
    static const uint8_t kKey[] = {0x30, 0x03, 0x02, 0x01, 0x01};
    ASSERT_EQ(
        sd_import_pair(handle_, sign.data(), sign.size(), kKey, sizeof kKey, km.empty() ? nullptr : km.data(),
                       km.size(), km.empty() ? nullptr : kKey, km.empty() ? 0 : sizeof kKey, kPassword),
        0);
  }
  // A slot file of the test module's layout whose signing certificate is the given bytes.
  void write_raw_slot(int slot, const Bytes &sign_cert) {
    Bytes all;
    auto put = [&all](const Bytes &b) {
      uint32_t n = uint32_t(b.size());
      all.insert(all.end(), reinterpret_cast<uint8_t *>(&n), reinterpret_cast<uint8_t *>(&n) + 4);
      all.insert(all.end(), b.begin(), b.end());
    };
    put(Bytes(kPassword, kPassword + sizeof kPassword - 1));
    put(Bytes{5});
    put(sign_cert);
    put({});
    put({});
    put({});
    FILE *f = fopen((store_ + "\\slot" + std::to_string(slot) + ".dat").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fwrite(all.data(), 1, all.size(), f);
    fclose(f);
  }

  CERTLIST_CTX list_{};
};

TEST_F(SecureDiskListTest, EverySlotsSigningCertificateInFrontOfTheList) {
  import(sign_cert_, km_cert_);  // slot 1
  import(other_cert_, {});       // slot 2
  write_raw_slot(3, Bytes(40, 0x30));
  list_.media_code = 77;  // the loader leaves the list's own code alone
  CERT_ENTRY *first = certlist_load(&list_, kMediumSecureDisk, handle_);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(list_.media_code, 77u);
  // Slot 3 is passed over; the later slot comes first.
  ASSERT_NE(first->next, nullptr);
  EXPECT_EQ(first->next->next, nullptr);
  EXPECT_EQ(certentry_slot(first), 2);
  EXPECT_EQ(certentry_slot(first->next), 1);
  for (CERT_ENTRY *e = first; e != nullptr; e = e->next) {
    EXPECT_EQ(e->media_code, kMediumSecureDisk);
    EXPECT_EQ(e->parts, kPartSignCert);
    EXPECT_EQ(e->list, &list_);
  }
  EXPECT_NE(std::string(first->subject_dn).find("Kim Cheolsu"), std::string::npos);
  EXPECT_NE(std::string(first->next->subject_dn).find("Hong Gildong"), std::string::npos);
  EXPECT_EQ(errno, 0) << "the last slot read, though its certificate did not decode";

  // The parts come through a handle of their own; keys never leave the module.
  uint8_t *out = nullptr;
  CERT_ENTRY *hong = first->next;
  size_t n = cert_read_sign_cert(hong, &out);
  EXPECT_EQ(Bytes(out, out + n), sign_cert_);
  free(out);
  n = cert_read_km_cert(hong, &out);
  EXPECT_EQ(Bytes(out, out + n), km_cert_);
  free(out);
  out = nullptr;
  EXPECT_EQ(cert_read_sign_key(hong, &out), 0u);
  EXPECT_EQ(errno, v7::kErrInternal);
  EXPECT_EQ(cert_read_km_key(hong, &out), 0u);
  EXPECT_EQ(errno, v7::kErrInternal);
  EXPECT_EQ(cert_read_km_cert(first, &out), 0u);
  EXPECT_EQ(errno, v7::kErrSdKeyReadCert) << "slot 2 has no key-management certificate";
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(handle_->refs, 1);
}

TEST_F(SecureDiskListTest, FilterAndFailures) {
  import(sign_cert_, {});
  list_.policy_filter = strlist_split("1.2.410.200005.1.1.5");
  EXPECT_EQ(certlist_load_securedisk(&list_, handle_), nullptr);
  EXPECT_EQ(errno, 0);
  strlist_free(list_.policy_filter);
  list_.policy_filter = strlist_split("1.2.410.200005.1.1.5;1.2.410.200005.1.1.1");
  ASSERT_NE(certlist_load_securedisk(&list_, handle_), nullptr);
  certlist_free(&list_);

  // The slot list's failure leaves the list as it was, with the module's code.
  state_->fail_entry = kGetSlotList;
  state_->fail_code = 0x42;
  EXPECT_EQ(certlist_load_securedisk(&list_, handle_), nullptr);
  EXPECT_EQ(errno, kSdCodeOffset + 0x42);
  // A certificate read that fails passes the slot over and stays in errno.
  state_->fail_entry = kGetCert;
  EXPECT_EQ(certlist_load_securedisk(&list_, handle_), nullptr);
  EXPECT_EQ(errno, kSdCodeOffset + 0x42);
  state_->fail_entry = -1;

  // A part reader whose module cannot be loaded says so.
  ASSERT_NE(certlist_load_securedisk(&list_, handle_), nullptr);
  sd_set_module_folder(variant_folder("absent").c_str());
  uint8_t *out = nullptr;
  EXPECT_EQ(cert_read_sign_cert(list_.first, &out), 0u);
  EXPECT_EQ(errno, v7::kErrModuleLoad);
  EXPECT_EQ(certlist_load_securedisk(nullptr, handle_), nullptr);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
}

// The part readers load a module of their own, and only once its file's signature holds: a file
// the check refuses is never loaded, so none of its code runs. (The list's handle is the module
// of another folder: a load of this one would show in its process attaches.)
TEST_F(SecureDiskListTest, APartReaderNeverLoadsAModuleTheCheckRefuses) {
  import(sign_cert_, km_cert_);
  ASSERT_NE(certlist_load_securedisk(&list_, handle_), nullptr);
  const std::string other = variant_folder("missing_export");
  const std::string path = other + "\\npki_securedisk.dll";
  sd_set_module_folder(other.c_str());
  struct Case {
    FileTrustAnswer answer;
    int code;
  } cases[] = {{{0x800B0100, 0x800B0100}, v7::kErrPeNoSignature},
               {{0x80096010, 0}, v7::kErrPeImageHash},
               {{0x800B010A, 0}, v7::kErrTrustChain},
               {{0x800B0111, 0}, v7::kErrWin32Api}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.answer.result);
    g_trust = c.answer;
    const LONG loads = state_->loads;
    uint8_t *out = nullptr;
    errno = 0;
    EXPECT_EQ(cert_read_sign_cert(list_.first, &out), 0u);
    EXPECT_EQ(errno, c.code);
    EXPECT_EQ(cert_read_km_cert(list_.first, &out), 0u);
    EXPECT_EQ(errno, c.code);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(state_->loads, loads);
    EXPECT_EQ(GetModuleHandleA(path.c_str()), nullptr);
  }
  // Once the file is trusted the reader loads it (this one lacks an entry point, and says so).
  g_trust = {0, 0};
  const LONG loads = state_->loads;
  uint8_t *out = nullptr;
  EXPECT_EQ(cert_read_sign_cert(list_.first, &out), 0u);
  EXPECT_EQ(errno, v7::kErrModuleNoSymbol);
  EXPECT_EQ(state_->loads, loads + 1);
  EXPECT_EQ(GetModuleHandleA(path.c_str()), nullptr) << "unloaded again";
}

}  // namespace
