// Shared pieces of the store tests: the received set of the test PKI (its keys sealed under the
// fixture password), keys opened and sealed for the checks, and the codes an error context holds.
#pragma once

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "media/certlist.h"
#include "media/store/store.h"
#include "pki/asn1/asn1.h"
#include "pki/asn1/key_types.h"
#include "pki/errors/error_ctx.h"
#include "pki/keys/pkcs8.h"
#include "pki/keys/vid_random.h"
#include "tests/harness/vectors.h"
#include "tests/pki/asn1/asn1_test_util.h"

namespace storetest {

using Bytes = std::vector<uint8_t>;

constexpr const char *kPhonePassword = "Fixture1!";
constexpr const char *kNewPassword = "N3w-Passw0rd";

inline Bytes fixture(const std::string &name) {
  Bytes b = asn1test::read_fixture("pki/" + name);
  EXPECT_FALSE(b.empty()) << "missing fixture " << name;
  return b;
}

// The set as it arrives from the phone.
struct ReceivedSet {
  Bytes sign_cert = fixture("signCert.der");
  Bytes sign_key = fixture("signPri.key");
  Bytes km_cert = fixture("kmCert.der");
  Bytes km_key = fixture("kmPri.key");
};

// 1 when the key opens with the password; its VID random value, when asked.
inline bool opens(const Bytes &key, const char *password, Bytes *random = nullptr) {
  PrivateKeyInfo *info = pkey_decrypt(key.data(), key.size(), password);
  if (info == nullptr) return false;
  if (random != nullptr) {
    uint8_t value[128];
    int n = info->attributes != nullptr ? pkey_get_vid_random(info->attributes, value, sizeof(value)) : 0;
    random->assign(value, value + (n > 0 ? n : 0));
  }
  asn1_release(&asn1_tmpl_private_key_info, info);
  return true;
}

// The plain RSAPrivateKey inside the encrypted key, as the token store takes it.
inline Bytes plain_rsa_key(const Bytes &key, const char *password) {
  PrivateKeyInfo *info = pkey_decrypt(key.data(), key.size(), password);
  EXPECT_NE(info, nullptr);
  if (info == nullptr) return {};
  Bytes out(info->private_key.data, info->private_key.data + info->private_key.len);
  asn1_release(&asn1_tmpl_private_key_info, info);
  return out;
}

// The key sealed again under the password with another VID random value (empty: none).
inline Bytes with_random(const Bytes &key, const char *password, const Bytes &random) {
  PrivateKeyInfo *info = pkey_decrypt(key.data(), key.size(), password);
  EXPECT_NE(info, nullptr);
  if (info == nullptr) return {};
  if (random.empty()) pkey_clear_attributes(info);
  else EXPECT_EQ(1, pkey_add_vid_random(random.size(), random.data(), info));
  uint8_t *der = nullptr;
  size_t n = pkey_encrypt(info, password, PKEY_SCHEME_PBES2_SEED, &der);
  asn1_release(&asn1_tmpl_private_key_info, info);
  Bytes out(der, der + n);
  free(der);
  return out;
}

// One part of a list entry through its reader (empty when it does not read).
inline Bytes part(size_t (*reader)(const CERT_ENTRY *, uint8_t **), const CERT_ENTRY *entry) {
  uint8_t *out = nullptr;
  const size_t n = reader(entry, &out);
  Bytes b(out, out + (out != nullptr ? n : 0));
  free(out);
  return b;
}

// The codes of an error context, oldest node first, each node's entries in order.
inline std::vector<int> codes(const STORE_CTX *ctx) {
  std::vector<int> out;
  for (const ERROR_NODE *n = ctx->errors->oldest; n != nullptr; n = n->newer)
    for (const ERROR_SUBNODE *s = n->first; s != nullptr; s = s->next) out.push_back(s->code);
  return out;
}

inline std::string first_detail(const STORE_CTX *ctx) {
  const ERROR_NODE *n = ctx->errors->oldest;
  return n != nullptr && n->first != nullptr && n->first->detail != nullptr ? n->first->detail : "";
}

struct Ctx {
  STORE_CTX *ctx = store_ctx_new();
  ~Ctx() { store_ctx_free(ctx); }
  STORE_CTX *operator->() const { return ctx; }
  operator STORE_CTX *() const { return ctx; }
};

// The set sealed under the new password, as the wizard hands it to the store.
struct Resealed {
  Bytes sign_key, km_key;
  explicit Resealed(const ReceivedSet &set) {
    Ctx ctx;
    uint8_t *out = nullptr;
    size_t n = 0;
    EXPECT_EQ(0, store_reencrypt_key(ctx, set.sign_key.data(), set.sign_key.size(), kPhonePassword, kNewPassword,
                                     &out, &n));
    sign_key.assign(out, out + n);
    free(out);
    EXPECT_EQ(0, store_reencrypt_key(ctx, set.km_key.data(), set.km_key.size(), kPhonePassword, kNewPassword, &out,
                                     &n));
    km_key.assign(out, out + n);
    free(out);
  }
};

}  // namespace storetest
