// The key objects against OpenSSL's libcrypto: signatures of every scheme verified by libcrypto
// (PKCS#1 v1.5 also byte for byte), libcrypto's signatures verified by the public-key object from
// each of its sources, decryption of libcrypto's ciphertexts and the reverse, and the session
// key object's SEED-CBC.
#include <gtest/gtest.h>

#include <random>

#include "crypto/hash/hash.h"
#include "pki/keys/symkey.h"
#include "tests/pki/keys/keyobj/keyobj_test_util.h"
#include "tests/pki/keys/keyobj/rsa_oracle.h"

namespace {

using namespace keyobjtest;

std::string user_pem() { return v7test::fixtures_path("pki/keys/user_sign.pem"); }

struct Scheme {
  int id;
  oracle::Params params;
};
const Scheme kSignTable[] = {
    {5376, {oracle::kPkcs1, HASH_SHA1, 0}},         {5377, {oracle::kPkcs1, HASH_SHA256, 0}},
    {10, {oracle::kPss, HASH_SHA1, HASH_SHA1}},     {11, {oracle::kPss, HASH_SHA256, HASH_SHA1}},
    {12, {oracle::kPss, HASH_SHA256, HASH_SHA256}}, {13, {oracle::kPkcs1, 0, 0}},
};
const Scheme kEncryptTable[] = {
    {1, {oracle::kOaep, HASH_SHA1, HASH_SHA1}},
    {2, {oracle::kOaep, HASH_SHA256, HASH_SHA1}},
    {3, {oracle::kOaep, HASH_SHA256, HASH_SHA256}},
    {4, {oracle::kOaep, HASH_SHA1, HASH_SHA256}},
    {4608, {oracle::kPkcs1, 0, 0}},
};

TEST(KeyObjVsOpenssl, SignaturesOfEveryScheme) {
  Key key = signing_key();
  const std::vector<Pub> sources = user_public_keys();
  const Bytes data = v7test::to_bytes("the transcript the relay step signs");
  for (const Scheme &s : kSignTable) {
    SCOPED_TRACE(s.id);
    OpResult ours = sign(key.get(), data, s.id);
    ASSERT_EQ(0, ours.code);
    ASSERT_EQ(256u, ours.out.size());
    EXPECT_TRUE(oracle::verify(user_pem(), s.params, data, ours.out));

    Bytes theirs = oracle::sign(user_pem(), s.params, data);
    ASSERT_EQ(256u, theirs.size());
    if (s.params.padding == oracle::kPkcs1) {
      EXPECT_EQ(theirs, ours.out) << "PKCS#1 v1.5 is deterministic";
    }
    for (const Pub &pub : sources) EXPECT_EQ(0, verify(pub.get(), data, theirs, s.id));
  }
}

TEST(KeyObjVsOpenssl, DecryptionOfEveryScheme) {
  Key key = signing_key();
  Pub pub = public_key(fixture("signCert.der"), PUBKEY_SOURCE_CERTIFICATE);
  const Bytes secret =
      v7test::from_hex("001000112233445566778899aabbccddeeff0010ffeeddccbbaa99887766554433221100");
  for (const Scheme &s : kEncryptTable) {
    SCOPED_TRACE(s.id);
    Bytes theirs = oracle::encrypt(user_pem(), s.params, secret);
    ASSERT_EQ(256u, theirs.size());
    OpResult plain = decrypt(key.get(), theirs, s.id);
    ASSERT_EQ(0, plain.code);
    EXPECT_EQ(secret, plain.out);

    OpResult ours = encrypt(pub.get(), secret, s.id);
    ASSERT_EQ(0, ours.code);
    EXPECT_EQ(secret, oracle::decrypt(user_pem(), s.params, ours.out));
  }
}

TEST(KeyObjVsOpenssl, SessionKeyIsSeedCbc) {
  std::mt19937 rng(0x5e55);
  ERROR_CTX errors{};
  SESSION_CTX *session = symkey_new(&errors);
  for (int round = 0; round < 50; round++) {
    Bytes key(16), iv(16), data(1 + rng() % 300);
    for (Bytes *b : {&key, &iv, &data})
      for (auto &x : *b) x = uint8_t(rng());
    ASSERT_EQ(0, symkey_set(session, key.data(), key.size(), iv.data(), iv.size()));
    uint8_t *out = nullptr;
    size_t out_len = 0;
    ASSERT_EQ(0, symkey_encrypt(session, data.data(), data.size(), &out, &out_len));
    Bytes ours(out, out + out_len);
    free(out);
    Bytes theirs = oracle::seed_cbc_encrypt(key, iv, data);
    ASSERT_FALSE(theirs.empty()) << "SEED-CBC missing from libcrypto";
    EXPECT_EQ(theirs, ours);
  }
  symkey_free(session);
  err_ctx_clear(&errors);
}

}  // namespace
