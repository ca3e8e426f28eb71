// Loading a chosen secure-disk entry into key objects against the test module: the user's set is
// imported into a slot through the client, then each mode's objects log in with the record's
// password, carry the right certificate and sign inside the module; the request's wishes bind the
// object without logging in, and a failure carries the module's own text.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "media/certlist.h"
#include "media/keyload.h"
#include "media/securedisk/sd_key_binding.h"
#include "media/selection_record.h"
#include "pki/errors/error_ctx.h"
#include "pki/keys/keyobj.h"
#include "pki/x509/algorithms.h"
#include "platform/errors/error_codes.h"
#include "tests/media/securedisk/sd_test_fixture.h"

namespace {

using namespace v7test;

Bytes cert_of(const PRIVATE_KEY_CTX *key) {
  const uint8_t *b = key->ops->certificate_der(key);
  return b != nullptr ? Bytes(b, b + key->ops->certificate_der_length(key)) : Bytes();
}

class SecureDiskKeyLoad : public SecureDiskOneSetFixture {
 protected:
  void TearDown() override {
    err_ctx_clear(&errors_);
    SecureDiskFixture::TearDown();
  }

  // A record holding a reference to the handle, with a password when one is given.
  CertListRecord *record(const char *password) {
    auto *r = static_cast<CertListRecord *>(calloc(1, sizeof(CertListRecord)));
    r->list = static_cast<CERTLIST_CTX *>(calloc(1, sizeof(CERTLIST_CTX)));
    r->errors = &errors_;
    r->secure_disk = sd_handle_addref(handle_);
    if (password != nullptr) {
      EXPECT_EQ(0, CertListSetPassword(r, password));
    }
    return r;
  }
  CERT_ENTRY entry() const {
    CERT_ENTRY e{};
    e.media_code = kMediumSecureDisk;
    e.medium_data = reinterpret_cast<void *>(intptr_t(slot_));
    return e;
  }

  ERROR_CTX errors_{};
};

TEST_F(SecureDiskKeyLoad, EachModeLogsInAndLoadsItsPart) {
  struct Case {
    int mode;
    unsigned flags;
    bool km;       // the key-management certificate, else the signing one
    bool random;   // the VID random value is read
    bool bound;    // only bound: no login, no certificate
  } cases[] = {
      {kKeyLoadSignPair, 0, false, true, false},
      {kKeyLoadKmPair, 0, true, false, false},
      // A request's own pair on the secure disk is its signing pair.
      {kKeyLoadRequestPair, 0, false, false, false},
      {kKeyLoadSignPair, kKeyLoadBindOnly, false, false, true},
      {kKeyLoadSignPair, kKeyLoadNoPassword | kKeyLoadBindOnly, false, false, true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.mode) + "/" + std::to_string(c.flags));
    CertListRecord *r = record((c.flags & kKeyLoadNoPassword) != 0 ? nullptr : kPassword);
    CERT_ENTRY e = entry();
    errno = -1;
    Key key(keyload_read_pair(&e, r, c.mode, c.flags));
    ASSERT_NE(nullptr, key) << errno;
    EXPECT_EQ(0, errno);
    EXPECT_EQ(KEYOBJ_KIND_SECURE_DISK, key->kind);
    SECURE_DISK_KEY_HANDLE bound{};
    ASSERT_EQ(0, keyobj_control(key.get(), KEYOBJ_CTRL_SD_GET_HANDLE, nullptr, &bound));
    EXPECT_EQ(handle_, bound.handle);
    if (c.bound) {
      EXPECT_TRUE(cert_of(key.get()).empty());
      EXPECT_EQ(0, key->ops->key_algorithm(key.get()));
    } else {
      EXPECT_EQ(c.km ? km_cert_ : sign_cert_, cert_of(key.get()));
      EXPECT_EQ(c.random, key->buffer_len != 0);
      static const uint8_t kData[] = "secure disk";
      const int scheme = SIG_SCHEME_PKCS1_SHA256;
      uint8_t *sig = nullptr;
      size_t sig_len = 0;
      if (!c.km) {
        ASSERT_EQ(0, keyobj_sign(key.get(), kData, sizeof kData, &sig, &sig_len, KEYOBJ_FORMAT_DEFAULT, &scheme));
        std::unique_ptr<PUBLIC_KEY_CTX, void (*)(PUBLIC_KEY_CTX *)> pub(pubkey_new(), pubkey_delete);
        PUBLIC_KEY_SOURCE source = {PUBKEY_SOURCE_CERTIFICATE, 1};
        ASSERT_EQ(0, pubkey_set_key(pub.get(), sign_cert_.data(), sign_cert_.size(), KEYOBJ_FORMAT_DEFAULT, &source));
        EXPECT_EQ(0, pubkey_verify(pub.get(), kData, sizeof kData, sig, sig_len, KEYOBJ_FORMAT_DEFAULT, &scheme));
        keyobj_free_buffer(key.get(), sig, sig_len);
      }
    }
    key.reset();
    CertListFree(r);
  }
  EXPECT_EQ(nullptr, errors_.newest);
}

TEST_F(SecureDiskKeyLoad, RefusalsCarryTheirCodeAndTheModulesText) {
  {
    SCOPED_TRACE("no password");
    CertListRecord *r = record(nullptr);
    CERT_ENTRY e = entry();
    errno = 0;
    EXPECT_EQ(nullptr, keyload_read_pair(&e, r, kKeyLoadSignPair, 0));
    EXPECT_EQ(v7::kErrKeyCtxPasswordRequired, errno);
    CertListFree(r);
  }
  {
    SCOPED_TRACE("wrong password");
    CertListRecord *r = record("Wrong1!");
    CERT_ENTRY e = entry();
    errno = 0;
    EXPECT_EQ(nullptr, keyload_read_pair(&e, r, kKeyLoadSignPair, 0));
    EXPECT_EQ(kSdCodeOffset + kSdTestWrongPassword, errno);
    ASSERT_NE(nullptr, errors_.newest);
    EXPECT_EQ(kSdCodeOffset + kSdTestWrongPassword, errors_.newest->first->code);
    ASSERT_NE(nullptr, errors_.newest->first->detail) << "the module's own text";
    EXPECT_NE('\0', errors_.newest->first->detail[0]);
    CertListFree(r);
  }
  {
    SCOPED_TRACE("no handle");
    CertListRecord *r = record(kPassword);
    sd_handle_release(r->secure_disk);
    r->secure_disk = nullptr;
    CERT_ENTRY e = entry();
    errno = 0;
    EXPECT_EQ(nullptr, keyload_read_pair(&e, r, kKeyLoadSignPair, 0));
    EXPECT_EQ(v7::kErrSdKeyNoHandle, errno);
    CertListFree(r);
  }
  EXPECT_EQ(1, handle_->refs) << "every record's reference was dropped";
}

}  // namespace
