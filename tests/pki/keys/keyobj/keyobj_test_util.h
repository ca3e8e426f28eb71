// Shared pieces of the key-object tests: owned objects, the test PKI's files and keys loaded into
// the objects, and the call shapes of sign, decrypt, verify and encrypt.
#pragma once

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "pki/asn1/asn1.h"
#include "pki/asn1/key_types.h"
#include "pki/keys/keyobj.h"
#include "tests/harness/vectors.h"
#include "tests/pki/asn1/asn1_test_util.h"

namespace keyobjtest {

using v7test::Bytes;

constexpr const char *kPassword = "Fixture1!";
// The VID random value in the user's key files.
inline Bytes user_random() { return v7test::from_hex("5a3c1e07b2f49d68a1c0e3f5b7d9021436587a9c"); }

struct KeyDeleter {
  void operator()(PRIVATE_KEY_CTX *ctx) const { keyobj_delete(ctx); }
};
using Key = std::unique_ptr<PRIVATE_KEY_CTX, KeyDeleter>;
struct PubDeleter {
  void operator()(PUBLIC_KEY_CTX *ctx) const { pubkey_delete(ctx); }
};
using Pub = std::unique_ptr<PUBLIC_KEY_CTX, PubDeleter>;

inline Bytes fixture(const std::string &name) {
  Bytes b = asn1test::read_fixture("pki/" + name);
  EXPECT_FALSE(b.empty()) << "missing fixture " << name;
  return b;
}

// The RSAPrivateKey inside a plain PrivateKeyInfo file.
inline Bytes rsa_private_der(const std::string &plain_name) {
  Bytes info = fixture(plain_name);
  auto *pki = static_cast<PrivateKeyInfo *>(
      asn1_decode_alloc(ASN1_MODE_DER, info.data(), &asn1_tmpl_private_key_info, info.size()));
  EXPECT_NE(pki, nullptr);
  if (pki == nullptr) return {};
  Bytes out(pki->private_key.data, pki->private_key.data + pki->private_key.len);
  asn1_release(&asn1_tmpl_private_key_info, pki);
  return out;
}

// The user's signing key opened from its key file, with its certificate.
inline Key signing_key() {
  Key key(keyobj_new_type1());
  Bytes file = fixture("signPri.key");
  Bytes cert = fixture("signCert.der");
  KEY_CREDENTIAL cred{KEY_CREDENTIAL_PASSWORD, 1, kPassword};
  EXPECT_EQ(0, keyobj_set_key(key.get(), file.data(), file.size(), KEYOBJ_FORMAT_DEFAULT, &cred));
  EXPECT_EQ(0, keyobj_set_certificate(key.get(), cert.data(), cert.size(), 0));
  return key;
}

inline Pub public_key(const Bytes &der, int source_kind, int check = 1) {
  Pub pub(pubkey_new());
  PUBLIC_KEY_SOURCE source{source_kind, check};
  EXPECT_EQ(0, pubkey_set_key(pub.get(), der.data(), der.size(), KEYOBJ_FORMAT_DEFAULT, &source));
  return pub;
}

// The certificate's SubjectPublicKeyInfo re-encoded, or the RSAPublicKey inside it.
inline Bytes public_key_of(const Bytes &cert_der, bool whole_spki) {
  auto *cert = static_cast<Certificate *>(
      asn1_decode_alloc(ASN1_MODE_DER, cert_der.data(), &asn1_tmpl_certificate, cert_der.size()));
  EXPECT_NE(cert, nullptr);
  if (cert == nullptr) return {};
  const SubjectPublicKeyInfo &spki = cert->tbs.subject_public_key_info;
  Bytes out(spki.subject_public_key.data, spki.subject_public_key.data + spki.subject_public_key.len);
  if (whole_spki) {
    out.resize(asn1_encoded_size(&asn1_tmpl_subject_public_key_info, &spki));
    EXPECT_EQ(out.size(),
              asn1_encode_into(&asn1_tmpl_subject_public_key_info, out.data(), &spki, out.size()));
  }
  asn1_release(&asn1_tmpl_certificate, cert);
  return out;
}

// The user's signing key as a public-key object from each of the three sources.
inline std::vector<Pub> user_public_keys() {
  const Bytes cert = fixture("signCert.der");
  std::vector<Pub> out;
  out.push_back(public_key(cert, PUBKEY_SOURCE_CERTIFICATE));
  out.push_back(public_key(public_key_of(cert, true), PUBKEY_SOURCE_SPKI));
  out.push_back(public_key(public_key_of(cert, false), PUBKEY_SOURCE_RSA_PUBLIC_KEY));
  return out;
}

struct OpResult {
  int code = -2;
  int err = 0;  // errno right after the call
  Bytes out;
  bool out_null = true;
};

// Slot 13 or 14 through its dispatch helper; the output pointer starts as garbage so that a
// failure that leaves it alone shows.
using PrivateOp = int (*)(PRIVATE_KEY_CTX *, const uint8_t *, size_t, uint8_t **, size_t *, int, const int *);
inline OpResult private_op(PrivateOp op, PRIVATE_KEY_CTX *key, const Bytes &data, int scheme, int format) {
  OpResult r;
  uint8_t *out = reinterpret_cast<uint8_t *>(&r);
  size_t len = 12345;
  r.code = op(key, data.data(), data.size(), &out, &len, format, &scheme);
  r.err = errno;
  r.out_null = out == nullptr;
  if (out != nullptr) {
    r.out.assign(out, out + len);
    keyobj_free_buffer(key, out, len);
  }
  return r;
}
inline OpResult sign(PRIVATE_KEY_CTX *key, const Bytes &data, int scheme,
                     int format = KEYOBJ_FORMAT_DEFAULT) {
  return private_op(keyobj_sign, key, data, scheme, format);
}
inline OpResult decrypt(PRIVATE_KEY_CTX *key, const Bytes &data, int scheme,
                        int format = KEYOBJ_FORMAT_DEFAULT) {
  return private_op(keyobj_decrypt, key, data, scheme, format);
}

inline OpResult encrypt(PUBLIC_KEY_CTX *pub, const Bytes &data, int scheme,
                        int format = KEYOBJ_FORMAT_DEFAULT) {
  OpResult r;
  uint8_t *out = nullptr;
  size_t len = 0;
  r.code = pubkey_encrypt(pub, data.data(), data.size(), &out, &len, format, &scheme);
  r.err = errno;
  r.out_null = out == nullptr;
  if (out != nullptr) r.out.assign(out, out + len);
  free(out);
  return r;
}

inline int verify(PUBLIC_KEY_CTX *pub, const Bytes &data, const Bytes &sig, int scheme,
                  int format = KEYOBJ_FORMAT_DEFAULT) {
  return pubkey_verify(pub, data.data(), data.size(), sig.data(), sig.size(), format, &scheme);
}

inline const int kSignSchemes[] = {5376, 5377, 10, 11, 12, 13};
inline const int kEncryptSchemes[] = {1, 2, 3, 4, 4608};

}  // namespace keyobjtest
