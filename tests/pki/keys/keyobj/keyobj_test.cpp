// Key objects on the test PKI's files: credentials of the key-file kind, signing and decrypting
// against the public-key object, the stored-signature kind, and the public-key object's sources.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/errors/errno_util.h"
#include "pki/oid/oid.h"
#include "tests/pki/keys/keyobj/keyobj_test_util.h"

namespace {

using namespace keyobjtest;

// expected -1: any failure.
void expect_code(int expected, int code) {
  if (expected == -1) {
    EXPECT_NE(0, code);
  } else {
    EXPECT_EQ(expected, code);
  }
}

TEST(KeyFileCredentials, Table) {
  const Bytes file = fixture("signPri.key");
  const Bytes raw = rsa_private_der("user_sign_plain.der");
  struct Case {
    const char *name;
    const Bytes *data;
    KEY_CREDENTIAL cred;
    int format;
    int code;  // 0, or the code; -1: any code but 0
  } cases[] = {
      {"password", &file, {1, 1, kPassword}, 1, 0},
      {"raw key", &raw, {2, 1, nullptr}, 1, 0},
      {"password check word", &file, {1, 3, kPassword}, 1, 11932},
      {"missing password", &file, {1, 1, nullptr}, 1, 11934},
      {"empty password", &file, {1, 1, ""}, 1, 11934},
      {"PIN on a key file", &file, {3, 3, "1234"}, 1, 11931},
      {"unknown kind", &file, {7, 7, kPassword}, 1, 11931},
      {"format word", &file, {1, 1, kPassword}, 2, 11931},
      {"wrong password", &file, {1, 1, "fixture1!"}, 1, -1},
      {"key file as raw key", &file, {2, 1, nullptr}, 1, -1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Key key(keyobj_new_type1());
    ASSERT_NE(key, nullptr);
    errno = 0;
    int code = keyobj_set_key(key.get(), c.data->data(), c.data->size(), c.format, &c.cred);
    int err = errno;
    expect_code(c.code, code);
    EXPECT_EQ(code, err) << "errno must hold the returned code";
    EXPECT_EQ(code == 0 ? KEYOBJ_ALG_RSA : 0, key->ops->key_algorithm(key.get()));
    EXPECT_EQ(code == 0 ? 256 : 0, key->ops->key_length(key.get()));
  }
}

TEST(KeyFileCredentials, WrongPasswordKeepsTheDecryptionCode) {
  const Bytes file = fixture("signPri.key");
  Key key(keyobj_new_type1());
  KEY_CREDENTIAL cred{1, 1, "Fixture2!"};
  int code = keyobj_set_key(key.get(), file.data(), file.size(), 1, &cred);
  EXPECT_EQ(code, errno);
  // A wrong password shows as a padding failure or as a plaintext that does not decode.
  EXPECT_TRUE(code == v7::kErrSymmetricDecrypt || (code >= 1100 && code < 1200)) << code;
}

TEST(KeyFileCredentials, RandomValueComesFromTheKeyFile) {
  Key key = signing_key();
  EXPECT_EQ(user_random(), Bytes(key->ops->buffer(key.get()),
                                 key->ops->buffer(key.get()) + key->ops->buffer_length(key.get())));
  // A plain RSAPrivateKey has no attributes, so no random value.
  const Bytes raw = rsa_private_der("user_sign_plain.der");
  Key plain(keyobj_new_type1());
  KEY_CREDENTIAL cred{2, 1, nullptr};
  ASSERT_EQ(0, keyobj_set_key(plain.get(), raw.data(), raw.size(), 1, &cred));
  EXPECT_EQ(nullptr, plain->ops->buffer(plain.get()));
  EXPECT_EQ(0u, plain->ops->buffer_length(plain.get()));
}

TEST(KeyFileCredentials, FailedReloadLeavesNoKey) {
  Key key = signing_key();
  const Bytes file = fixture("signPri.key");
  KEY_CREDENTIAL wrong{1, 1, "nope"};
  EXPECT_NE(0, keyobj_set_key(key.get(), file.data(), file.size(), 1, &wrong));
  EXPECT_EQ(0, key->ops->key_algorithm(key.get()));
  OpResult r = sign(key.get(), {1, 2, 3}, 5377);
  EXPECT_EQ(v7::kErrNoCryptoContext, r.code);
  EXPECT_TRUE(r.out_null);
}

TEST(KeyFile, WithoutKeyNeitherSignsNorDecrypts) {
  Key key(keyobj_new_type1());
  for (int scheme : kSignSchemes) {
    OpResult r = sign(key.get(), {1, 2, 3}, scheme);
    EXPECT_EQ(v7::kErrNoCryptoContext, r.code);
    EXPECT_EQ(v7::kErrNoCryptoContext, r.err);
    EXPECT_TRUE(r.out_null);
  }
  OpResult d = decrypt(key.get(), Bytes(256, 1), 1);
  EXPECT_EQ(v7::kErrNoCryptoContext, d.code);
  EXPECT_TRUE(d.out_null);
  EXPECT_EQ(0, key->ops->key_length(key.get()));
}

TEST(KeyFile, CertificateAccessors) {
  Key key = signing_key();
  const Bytes cert = fixture("signCert.der");
  ASSERT_EQ(cert.size(), key->ops->certificate_der_length(key.get()));
  EXPECT_EQ(0, memcmp(cert.data(), key->ops->certificate_der(key.get()), cert.size()));
  EXPECT_EQ(OID_SHA256_WITH_RSA, key->ops->certificate_signature_algorithm(key.get()));
  ASSERT_NE(nullptr, key->ops->certificate(key.get()));
  EXPECT_EQ(KEYOBJ_KIND_FILE, key->ops->get_kind(key.get()));
  EXPECT_EQ(270u, key->public_key_len);  // the bit string, not the modulus

  // A certificate that does not decode is not kept, and the earlier one stays.
  Bytes broken(cert.begin(), cert.begin() + 100);
  EXPECT_NE(0, keyobj_set_certificate(key.get(), broken.data(), broken.size(), 0));
  EXPECT_EQ(cert.size(), key->ops->certificate_der_length(key.get()));
  // Null objects: the accessors answer null or 0, kind and algorithm 1001.
  EXPECT_EQ(1001, key->ops->get_kind(nullptr));
  EXPECT_EQ(1001, key->ops->key_algorithm(nullptr));
  EXPECT_EQ(nullptr, key->ops->certificate_der(nullptr));
  EXPECT_EQ(0u, key->ops->buffer_length(nullptr));
}

TEST(KeyFile, RandomValueLimit) {
  Key key(keyobj_new_type1());
  Bytes forty(KEYOBJ_MAX_RANDOM, 7), more(KEYOBJ_MAX_RANDOM + 1, 7);
  EXPECT_EQ(0, keyobj_set_buffer(key.get(), forty.data(), forty.size()));
  EXPECT_EQ(v7::kErrVidRandomTooLong, keyobj_set_buffer(key.get(), more.data(), more.size()));
  EXPECT_EQ(KEYOBJ_MAX_RANDOM, key->ops->buffer_length(key.get()));
}

// Every signature scheme: the key-file object signs, the public-key object from each of its
// sources verifies, and altered data or signatures do not.
TEST(KeyFile, SignVerifyEverySchemeAndSource) {
  Key key = signing_key();
  const std::vector<Pub> sources = user_public_keys();
  const Bytes data = v7test::to_bytes("to be signed by the signing key");
  for (int scheme : kSignSchemes) {
    SCOPED_TRACE(scheme);
    OpResult r = sign(key.get(), data, scheme);
    ASSERT_EQ(0, r.code);
    EXPECT_EQ(256u, r.out.size());
    for (const Pub &pub : sources) {
      EXPECT_EQ(0, verify(pub.get(), data, r.out, scheme));
      Bytes other = data;
      other[0] ^= 1;
      EXPECT_NE(0, verify(pub.get(), other, r.out, scheme));
      Bytes bad = r.out;
      bad[100] ^= 0x40;
      EXPECT_NE(0, verify(pub.get(), data, bad, scheme));
    }
  }
}

TEST(KeyFile, SchemeAndFormatErrors) {
  Key key = signing_key();
  Pub pub = public_key(fixture("signCert.der"), PUBKEY_SOURCE_CERTIFICATE);
  const Bytes data = {1, 2, 3};
  EXPECT_EQ(v7::kErrUnsupportedPublicKeyAlgorithm, sign(key.get(), data, 4608).code);
  EXPECT_EQ(v7::kErrKeyCtxUnsupportedOption, sign(key.get(), data, 5377, 2).code);
  EXPECT_EQ(v7::kErrUnsupportedPublicKeyAlgorithm, decrypt(key.get(), Bytes(256, 1), 5377).code);
  EXPECT_EQ(v7::kErrUnsupportedPublicKeyAlgorithm, encrypt(pub.get(), data, 5).code);
  OpResult s = sign(key.get(), data, 5377);
  EXPECT_EQ(v7::kErrUnsupportedPublicKeyAlgorithm, verify(pub.get(), data, s.out, 4608));
  EXPECT_EQ(v7::kErrPubKeyUnsupportedOption, verify(pub.get(), data, s.out, 5377, 2));
  // Scheme 13 signs the bytes as given; data that leaves no room for the padding fails.
  EXPECT_NE(0, sign(key.get(), Bytes(250, 1), 13).code);
}

TEST(KeyFile, EncryptDecryptEveryScheme) {
  Key key = signing_key();
  Pub pub = public_key(fixture("signCert.der"), PUBKEY_SOURCE_CERTIFICATE);
  const Bytes secret = v7test::from_hex("00112233445566778899aabbccddeeff0011223344556677");
  for (int scheme : kEncryptSchemes) {
    SCOPED_TRACE(scheme);
    OpResult c = encrypt(pub.get(), secret, scheme);
    ASSERT_EQ(0, c.code);
    EXPECT_EQ(256u, c.out.size());
    OpResult p = decrypt(key.get(), c.out, scheme);
    ASSERT_EQ(0, p.code);
    EXPECT_EQ(secret, p.out);
    // Another scheme's decoder refuses the block.
    int other = scheme == 1 ? 3 : 1;
    EXPECT_NE(0, decrypt(key.get(), c.out, other).code);
  }
  // Scheme 0 and any format word other than 1 mean PKCS#1 v1.5 type 2.
  OpResult c0 = encrypt(pub.get(), secret, 0);
  ASSERT_EQ(0, c0.code);
  EXPECT_EQ(secret, decrypt(key.get(), c0.out, 4608).out);
  OpResult c2 = encrypt(pub.get(), secret, 1, 2);
  ASSERT_EQ(0, c2.code);
  OpResult p2 = decrypt(key.get(), c2.out, 1, 2);
  ASSERT_EQ(0, p2.code);
  EXPECT_EQ(secret, p2.out);
}

TEST(StoredSignature, ReturnsTheStoredValueForAnyData) {
  Key key(keyobj_new_type3());
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(KEYOBJ_KIND_SIGNATURE, key->ops->get_kind(key.get()));
  EXPECT_EQ(KEYOBJ_ALG_RSA, key->ops->key_algorithm(key.get()));
  EXPECT_EQ(v7::kErrNoCryptoContext, sign(key.get(), {1}, 5377).code);

  const Bytes cert = fixture("signCert.der");
  const Bytes stored = v7test::from_hex("0102030405060708090a");
  Bytes random = user_random();
  KEYOBJ_BYTES value{stored.data(), stored.size()};
  KEY_CREDENTIAL cred{1, 1, kPassword};
  EXPECT_EQ(0, keyobj_set_key(key.get(), cert.data(), cert.size(), 1, &cred));
  EXPECT_EQ(0, keyobj_set_certificate(key.get(), cert.data(), cert.size(), 0));
  EXPECT_EQ(0, keyobj_set_buffer(key.get(), random.data(), random.size()));
  EXPECT_EQ(0, keyobj_control(key.get(), KEYOBJ_CTRL_SET_SIGNATURE, &value, nullptr));
  EXPECT_EQ(v7::kErrInvalidParameter, keyobj_control(key.get(), 2, &value, nullptr));
  for (const Bytes &data : {Bytes{}, Bytes{1, 2, 3}, Bytes(1000, 9)}) {
    OpResult r = sign(key.get(), data, 5377);
    EXPECT_EQ(0, r.code);
    EXPECT_EQ(stored, r.out);
  }
  OpResult d = decrypt(key.get(), Bytes(256, 1), 1);
  EXPECT_EQ(-1, d.code);
  EXPECT_TRUE(d.out_null);
  EXPECT_EQ(0, key->ops->key_length(key.get()));
  EXPECT_EQ(cert.size(), key->ops->certificate_der_length(key.get()));
  EXPECT_EQ(random.size(), key->ops->buffer_length(key.get()));
}

TEST(PublicKey, SourceErrors) {
  const Bytes cert = fixture("signCert.der");
  Pub pub(pubkey_new());
  ASSERT_NE(pub, nullptr);
  EXPECT_EQ(PUBKEY_KIND_RSA, pub->ops->get_kind(pub.get()));
  struct Case {
    const char *name;
    Bytes der;
    PUBLIC_KEY_SOURCE source;
    int format;
    int code;
  } cases[] = {
      {"format word", cert, {2, 1}, 2, 11110},
      {"check word", cert, {2, 0}, 1, 11112},
      {"unknown source", cert, {3, 1}, 1, 11111},
      {"certificate as SPKI", cert, {8, 1}, 1, -1},
      {"truncated certificate", Bytes(cert.begin(), cert.end() - 10), {2, 1}, 1, -1},
  };
  // An SPKI whose algorithm is sha1WithRSAEncryption instead of rsaEncryption.
  Bytes spki = public_key_of(cert, true);
  const uint8_t rsa_oid[] = {0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x01, 0x01, 0x01};
  auto at = std::search(spki.begin(), spki.end(), rsa_oid, rsa_oid + sizeof(rsa_oid));
  ASSERT_NE(at, spki.end());
  at[8] = 0x05;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    int code = pubkey_set_key(pub.get(), c.der.data(), c.der.size(), c.format, &c.source);
    expect_code(c.code, code);
    EXPECT_EQ(code, errno);
    EXPECT_EQ(0, pub->ops->key_algorithm(pub.get()));
  }
  PUBLIC_KEY_SOURCE source{8, 1};
  EXPECT_EQ(v7::kErrUnsupportedPublicKeyAlgorithm,
            pubkey_set_key(pub.get(), spki.data(), spki.size(), 1, &source));
  EXPECT_EQ(v7::kErrNoCryptoContext, encrypt(pub.get(), {1}, 1).code);

  Pub from_cert = public_key(cert, PUBKEY_SOURCE_CERTIFICATE);
  EXPECT_NE(nullptr, from_cert->ops->certificate(from_cert.get()));
  Pub from_key = public_key(public_key_of(cert, false), PUBKEY_SOURCE_RSA_PUBLIC_KEY);
  EXPECT_EQ(nullptr, from_key->ops->certificate(from_key.get()));
  EXPECT_EQ(KEYOBJ_ALG_RSA, from_key->ops->key_algorithm(from_key.get()));
}

}  // namespace
