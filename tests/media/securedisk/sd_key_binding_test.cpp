// Secure-disk key objects against the test module: the object logs in to its slot, reads its
// certificates and random value, and signs and decrypts inside the module with the slot's real
// key; the module's failures and a wrong password come back with their offset.
#include "media/securedisk/sd_key_binding.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "crypto/hash/hash.h"
#include "pki/keys/keyobj.h"
#include "pki/x509/algorithms.h"
#include "platform/errors/error_codes.h"
#include "tests/media/securedisk/sd_test_fixture.h"

namespace {

using namespace v7test;

struct PubDeleter {
  void operator()(PUBLIC_KEY_CTX *k) const { pubkey_delete(k); }
};

class SecureDiskKeyTest : public SecureDiskOneSetFixture {
 protected:
  // A kind-4 object on the handle, logged in to the slot with the password.
  Key logged_in_key(const char *password = kPassword) {
    Key key(keyobj_new_type4());
    EXPECT_NE(key, nullptr);
    SECURE_DISK_KEY_HANDLE h = sd_key_handle(handle_);
    EXPECT_EQ(keyobj_control(key.get(), KEYOBJ_CTRL_SD_SET_HANDLE, &h, nullptr), 0);
    EXPECT_EQ(set_key(key.get(), slot_, password), 0);
    return key;
  }
  static int set_key(PRIVATE_KEY_CTX *key, KEYOBJ_SD_SLOT slot, const char *password) {
    KEY_CREDENTIAL credential = {KEY_CREDENTIAL_PIN, KEY_CREDENTIAL_PIN, password};
    return keyobj_set_key(key, reinterpret_cast<const uint8_t *>(&slot), sizeof slot, KEYOBJ_FORMAT_DEFAULT,
                          &credential);
  }
  static int set_cert(PRIVATE_KEY_CTX *key, KEYOBJ_SD_SLOT slot, int part) {
    return keyobj_set_certificate(key, reinterpret_cast<const uint8_t *>(&slot), sizeof slot, part);
  }
  int tries() {
    int count = -1;
    EXPECT_EQ(sd_get_current_pin_count(handle_, slot_, &count), 0);
    return count;
  }
};

std::unique_ptr<PUBLIC_KEY_CTX, PubDeleter> public_key_of(const Bytes &cert) {
  std::unique_ptr<PUBLIC_KEY_CTX, PubDeleter> pub(pubkey_new());
  PUBLIC_KEY_SOURCE source = {PUBKEY_SOURCE_CERTIFICATE, 1};
  EXPECT_EQ(pubkey_set_key(pub.get(), cert.data(), cert.size(), KEYOBJ_FORMAT_DEFAULT, &source), 0);
  return pub;
}

TEST_F(SecureDiskKeyTest, SignsInsideTheModuleAndTheCertificatesKeyVerifies) {
  Key key = logged_in_key();
  EXPECT_EQ(keyobj_usable(key.get()) ? key->ops->get_kind(key.get()) : 0, KEYOBJ_KIND_SECURE_DISK);
  EXPECT_EQ(key->ops->key_algorithm(key.get()), KEYOBJ_ALG_RSA);
  ASSERT_EQ(set_cert(key.get(), slot_, 2), 0);
  ASSERT_EQ(key->ops->certificate_der_length(key.get()), sign_cert_.size());
  EXPECT_EQ(
      Bytes(key->ops->certificate_der(key.get()), key->ops->certificate_der(key.get()) + sign_cert_.size()),
      sign_cert_);
  EXPECT_NE(key->ops->certificate(key.get()), nullptr);
  EXPECT_GT(key->ops->key_length(key.get()), 256);  // the bit string of a 2048-bit key's SPKI

  auto pub = public_key_of(sign_cert_);
  static const uint8_t kMessage[] = "the text the holder signs";
  // Scheme 13 signs the given bytes as they are: hand it a DigestInfo and it verifies as 5377.
  size_t info_len = 0;
  uint8_t *info = digest_info_new(HASH_SHA256, kMessage, sizeof kMessage, &info_len);
  ASSERT_NE(info, nullptr);
  const struct {
    int scheme;
    const uint8_t *data;
    size_t length;
    int verify_scheme;
  } kCases[] = {
      {SIG_SCHEME_PKCS1_SHA256, kMessage, sizeof kMessage, SIG_SCHEME_PKCS1_SHA256},
      {SIG_SCHEME_PKCS1, kMessage, sizeof kMessage, SIG_SCHEME_PKCS1},
      {SIG_SCHEME_PKCS1_RAW, info, info_len, SIG_SCHEME_PKCS1_SHA256},
  };
  for (const auto &c : kCases) {
    uint8_t *sig = nullptr;
    size_t sig_len = 0;
    ASSERT_EQ(keyobj_sign(key.get(), c.data, c.length, &sig, &sig_len, KEYOBJ_FORMAT_DEFAULT, &c.scheme), 0)
        << c.scheme;
    EXPECT_EQ(sig_len, 256u);
    EXPECT_EQ(state_->last_mode, 1);
    EXPECT_EQ(pubkey_verify(pub.get(), kMessage, sizeof kMessage, sig, sig_len, KEYOBJ_FORMAT_DEFAULT,
                            &c.verify_scheme),
              0)
        << c.scheme;
    keyobj_free_buffer(key.get(), sig, sig_len);
  }
  free(info);

  // Other schemes never reach the module.
  const int pss = SIG_SCHEME_PSS;
  uint8_t *sig = nullptr;
  size_t sig_len = 0;
  LONG mark = state_->call_count;
  EXPECT_EQ(keyobj_sign(key.get(), kMessage, sizeof kMessage, &sig, &sig_len, KEYOBJ_FORMAT_DEFAULT, &pss),
            v7::kErrInvalidParameter);
  EXPECT_EQ(keyobj_sign(key.get(), kMessage, sizeof kMessage, &sig, &sig_len, 2, &pss),
            v7::kErrKeyCtxUnsupportedOption);
  EXPECT_EQ(state_->call_count, mark);
}

TEST_F(SecureDiskKeyTest, DecryptsWithTheKeyManagementKeyAndReadsTheRandomValue) {
  Key key = logged_in_key();
  ASSERT_EQ(set_cert(key.get(), slot_, 3), 0);
  EXPECT_EQ(Bytes(key->ops->certificate_der(key.get()),
                  key->ops->certificate_der(key.get()) + key->ops->certificate_der_length(key.get())),
            km_cert_);

  auto pub = public_key_of(km_cert_);
  static const uint8_t kSecret[] = "a session key of sixteen bytes!";
  const int pkcs1 = ENC_SCHEME_PKCS1;
  uint8_t *cipher = nullptr;
  size_t cipher_len = 0;
  ASSERT_EQ(
      pubkey_encrypt(pub.get(), kSecret, sizeof kSecret, &cipher, &cipher_len, KEYOBJ_FORMAT_DEFAULT, &pkcs1),
      0);
  uint8_t *plain = nullptr;
  size_t plain_len = 0;
  ASSERT_EQ(keyobj_decrypt(key.get(), cipher, cipher_len, &plain, &plain_len, KEYOBJ_FORMAT_DEFAULT, &pkcs1),
            0);
  EXPECT_EQ(Bytes(plain, plain + plain_len), Bytes(kSecret, kSecret + sizeof kSecret));
  keyobj_free_buffer(key.get(), plain, plain_len);
  // The module cannot undo OAEP.
  const int oaep = ENC_SCHEME_OAEP;
  EXPECT_EQ(keyobj_decrypt(key.get(), cipher, cipher_len, &plain, &plain_len, KEYOBJ_FORMAT_DEFAULT, &oaep),
            v7::kErrUnsupportedPublicKeyAlgorithm);
  free(cipher);

  ASSERT_EQ(keyobj_set_buffer(key.get(), nullptr, 0), 0);
  ASSERT_EQ(key->ops->buffer_length(key.get()), 20u);
  for (size_t i = 0; i < 20; ++i) EXPECT_EQ(key->ops->buffer(key.get())[i], uint8_t(slot_ * 16 + int(i)));
}

TEST_F(SecureDiskKeyTest, AWrongPasswordLowersTheTriesAndLeavesNoKey) {
  Key key(keyobj_new_type4());
  SECURE_DISK_KEY_HANDLE h = sd_key_handle(handle_);
  ASSERT_EQ(keyobj_control(key.get(), KEYOBJ_CTRL_SD_SET_HANDLE, &h, nullptr), 0);
  EXPECT_EQ(tries(), kSdTestMaxPinCount);
  EXPECT_EQ(set_key(key.get(), slot_, "wrong"), kSdCodeOffset + kSdTestWrongPassword);
  EXPECT_NE(sd_last_error_text(handle_), nullptr);
  EXPECT_EQ(tries(), kSdTestMaxPinCount - 1);
  EXPECT_EQ(key->ops->key_algorithm(key.get()), 0);
  const int scheme = SIG_SCHEME_PKCS1_SHA256;
  uint8_t *sig = nullptr;
  size_t sig_len = 0;
  EXPECT_EQ(keyobj_sign(key.get(), sign_cert_.data(), 4, &sig, &sig_len, KEYOBJ_FORMAT_DEFAULT, &scheme),
            v7::kErrSdLoginRequired);
  EXPECT_EQ(keyobj_set_buffer(key.get(), nullptr, 0), v7::kErrSdLoginRequired);
  // The right password restores the tries.
  EXPECT_EQ(set_key(key.get(), slot_, kPassword), 0);
  EXPECT_EQ(tries(), kSdTestMaxPinCount);

  // The credential must be the PIN kind with its check word and a text; the slot id its size.
  const struct {
    KEY_CREDENTIAL credential;
    int expected;
  } kCredentials[] = {
      {{KEY_CREDENTIAL_PASSWORD, KEY_CREDENTIAL_PASSWORD, kPassword}, v7::kErrKeyCtxUnsupportedKeyFormat},
      {{KEY_CREDENTIAL_PIN, KEY_CREDENTIAL_PASSWORD, kPassword}, v7::kErrKeyCtxUnsupportedKeyRefer},
      {{KEY_CREDENTIAL_PIN, KEY_CREDENTIAL_PIN, ""}, v7::kErrKeyCtxPasswordRequired},
      {{KEY_CREDENTIAL_PIN, KEY_CREDENTIAL_PIN, nullptr}, v7::kErrKeyCtxPasswordRequired},
  };
  KEYOBJ_SD_SLOT slot = slot_;
  for (const auto &c : kCredentials) {
    EXPECT_EQ(keyobj_set_key(key.get(), reinterpret_cast<const uint8_t *>(&slot), sizeof slot,
                             KEYOBJ_FORMAT_DEFAULT, &c.credential),
              c.expected);
  }
  KEY_CREDENTIAL pin = {KEY_CREDENTIAL_PIN, KEY_CREDENTIAL_PIN, kPassword};
  EXPECT_EQ(
      keyobj_set_key(key.get(), reinterpret_cast<const uint8_t *>(&slot), 2, KEYOBJ_FORMAT_DEFAULT, &pin),
      v7::kErrInvalidParameter);
  EXPECT_EQ(keyobj_set_key(key.get(), reinterpret_cast<const uint8_t *>(&slot), sizeof slot, 2, &pin),
            v7::kErrKeyCtxUnsupportedKeyFormat);
  EXPECT_EQ(tries(), kSdTestMaxPinCount);  // none of these reached the module
}

TEST_F(SecureDiskKeyTest, ModuleFailuresPassThroughWithTheirOffset) {
  Key key = logged_in_key();
  const int scheme = SIG_SCHEME_PKCS1_SHA256;
  static const uint8_t kData[] = {1, 2, 3};
  uint8_t *out = nullptr;
  size_t out_len = 0;
  const struct {
    SdEntry entry;
    int which;  // 0 sign, 1 decrypt, 2 random, 3 certificate, 4 login
  } kCases[] = {{kSign, 0}, {kDecrypt, 1}, {kGetR, 2}, {kGetCert, 3}, {kLogin, 4}};
  for (const auto &c : kCases) {
    state_->fail_entry = c.entry;
    state_->fail_code = 0x77;
    int rc = 0;
    switch (c.which) {
      case 0:
        rc = keyobj_sign(key.get(), kData, sizeof kData, &out, &out_len, KEYOBJ_FORMAT_DEFAULT, &scheme);
        break;
      case 1:
        rc = keyobj_decrypt(key.get(), kData, sizeof kData, &out, &out_len, 0, nullptr);
        break;
      case 2:
        rc = keyobj_set_buffer(key.get(), nullptr, 0);
        break;
      case 3:
        rc = set_cert(key.get(), slot_, 2);
        break;
      case 4:
        rc = set_key(key.get(), slot_, kPassword);
        break;
    }
    EXPECT_EQ(rc, kSdCodeOffset + 0x77) << c.entry;
    EXPECT_EQ(errno, kSdCodeOffset + 0x77) << c.entry;
    EXPECT_EQ(out, nullptr);
    EXPECT_STREQ(sd_last_error_text(handle_), "injected failure 119") << c.entry;
  }
  state_->fail_entry = -1;
  EXPECT_EQ(set_key(key.get(), slot_, kPassword), 0);
  // No such slot is the module's failure; a slot without a key-management certificate is empty.
  EXPECT_EQ(set_cert(key.get(), slot_ + 7, 2), kSdCodeOffset + kSdTestNoSuchSlot);
  EXPECT_EQ(set_cert(key.get(), slot_, 4), v7::kErrInvalidParameter);
}

TEST_F(SecureDiskKeyTest, AnEmptySlotPartIsAReadFailure) {
  // A second slot holding a signing certificate and a key that is no key file.
  static const uint8_t kNotAKey[] = {0x30, 0x03, 0x02, 0x01, 0x01};
  ASSERT_EQ(sd_import_pair(handle_, other_cert_.data(), other_cert_.size(), kNotAKey, sizeof kNotAKey,
                           nullptr, 0, nullptr, 0, "other"),
            0);
  int *slots = nullptr;
  int count = 0;
  ASSERT_EQ(sd_get_slot_list(handle_, &slots, &count), 0);
  ASSERT_EQ(count, 2);
  int other = slots[0] == slot_ ? slots[1] : slots[0];
  free(slots);
  Key key = logged_in_key();
  EXPECT_EQ(set_cert(key.get(), other, 3), v7::kErrSdKeyReadCert);
  EXPECT_EQ(set_cert(key.get(), other, 2), 0);
}

TEST_F(SecureDiskKeyTest, AnotherSlotsLoginOnTheSharedHandleStopsTheObject) {
  static const uint8_t kNotAKey[] = {0x30, 0x03, 0x02, 0x01, 0x01};
  ASSERT_EQ(sd_import_pair(handle_, other_cert_.data(), other_cert_.size(), kNotAKey, sizeof kNotAKey,
                           nullptr, 0, nullptr, 0, "other"),
            0);
  Key key = logged_in_key();
  int *slots = nullptr;
  int count = 0;
  ASSERT_EQ(sd_get_slot_list(handle_, &slots, &count), 0);
  int other = slots[0] == slot_ ? slots[1] : slots[0];
  free(slots);
  ASSERT_EQ(sd_login(handle_, other, "other"), 0);
  const int scheme = SIG_SCHEME_PKCS1_SHA256;
  static const uint8_t kData[] = {1, 2, 3};
  uint8_t *out = nullptr;
  size_t out_len = 0;
  LONG mark = state_->call_count;
  EXPECT_EQ(keyobj_sign(key.get(), kData, sizeof kData, &out, &out_len, KEYOBJ_FORMAT_DEFAULT, &scheme),
            v7::kErrSdLoginRequired);
  EXPECT_EQ(keyobj_decrypt(key.get(), kData, sizeof kData, &out, &out_len, 0, nullptr),
            v7::kErrSdLoginRequired);
  EXPECT_EQ(keyobj_set_buffer(key.get(), nullptr, 0), v7::kErrSdLoginRequired);
  EXPECT_EQ(state_->call_count, mark) << "nothing reached the module";
  EXPECT_EQ(set_key(key.get(), slot_, kPassword), 0);
  EXPECT_EQ(keyobj_sign(key.get(), kData, sizeof kData, &out, &out_len, KEYOBJ_FORMAT_DEFAULT, &scheme), 0);
  keyobj_free_buffer(key.get(), out, out_len);
}

TEST_F(SecureDiskKeyTest, TheObjectHoldsOneReferenceOfItsHandle) {
  Key key(keyobj_new_type4());
  ASSERT_NE(key, nullptr);
  // Everything before the handle answers that it has none.
  KEYOBJ_SD_SLOT slot = slot_;
  KEY_CREDENTIAL pin = {KEY_CREDENTIAL_PIN, KEY_CREDENTIAL_PIN, kPassword};
  const int scheme = SIG_SCHEME_PKCS1_SHA256;
  uint8_t *out = nullptr;
  size_t out_len = 0;
  EXPECT_EQ(keyobj_set_key(key.get(), reinterpret_cast<const uint8_t *>(&slot), sizeof slot, 1, &pin),
            v7::kErrSdKeyNoHandle);
  EXPECT_EQ(set_cert(key.get(), slot_, 2), v7::kErrSdKeyNoHandle);
  EXPECT_EQ(keyobj_set_buffer(key.get(), nullptr, 0), v7::kErrSdKeyNoHandle);
  static const uint8_t kData[] = {1};
  EXPECT_EQ(keyobj_sign(key.get(), kData, sizeof kData, &out, &out_len, 1, &scheme), v7::kErrSdKeyNoHandle);
  SECURE_DISK_KEY_HANDLE got = {};
  ASSERT_EQ(keyobj_control(key.get(), KEYOBJ_CTRL_SD_GET_HANDLE, nullptr, &got), 0);
  EXPECT_EQ(got.handle, nullptr);

  SECURE_DISK_KEY_HANDLE h = sd_key_handle(handle_);
  ASSERT_EQ(keyobj_control(key.get(), KEYOBJ_CTRL_SD_SET_HANDLE, &h, nullptr), 0);
  EXPECT_EQ(handle_->refs, 2);
  // Setting it again keeps one reference.
  ASSERT_EQ(keyobj_control(key.get(), KEYOBJ_CTRL_SD_SET_HANDLE, &h, nullptr), 0);
  EXPECT_EQ(handle_->refs, 2);
  ASSERT_EQ(keyobj_control(key.get(), KEYOBJ_CTRL_SD_GET_HANDLE, nullptr, &got), 0);
  EXPECT_EQ(got.handle, handle_);
  EXPECT_EQ(got.binding, sd_key_binding());
  EXPECT_EQ(keyobj_control(key.get(), KEYOBJ_CTRL_SD_SET_HANDLE, nullptr, nullptr), v7::kErrInvalidParameter);
  EXPECT_EQ(keyobj_control(key.get(), 3, &h, nullptr), v7::kErrInvalidParameter);
  SecureDiskHandle fake = {};
  SECURE_DISK_KEY_HANDLE foreign = sd_key_handle(&fake);
  EXPECT_EQ(keyobj_control(key.get(), KEYOBJ_CTRL_SD_SET_HANDLE, &foreign, nullptr), v7::kErrSdKeyNoHandle);
  EXPECT_EQ(handle_->refs, 2) << "a refused handle leaves the object's own";
  key.reset();
  EXPECT_EQ(handle_->refs, 1);
}

}  // namespace
