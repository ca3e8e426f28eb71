// Sealing private keys: the exact bytes of both schemes under scripted randomness, round trips
// under the OS source, and the refusals.
#include <gtest/gtest.h>

#include "pki/keys/vid_random.h"
#include "tests/pki/keys/pkcs8/pkcs8_test_util.h"

namespace {

using namespace pkcs8test;

// signPri.key and user_sign_kisa_seed.key were written by the fixture scripts (hashlib, openssl
// enc) from user_sign_plain.der with these salts and IVs: sealing the same key with the same
// random bytes must give them byte for byte.
TEST(PkeyEncrypt, BothSchemesMatchTheIndependentlyMadeFiles) {
  struct Case {
    int scheme;
    const char *random;  // salt, then (PBES2) IV
    const char *file;
  } cases[] = {
      {PKEY_SCHEME_PBES2_SEED, "0102030405060708a1a2a3a4a5a6a7a8a9aaabacadaeafb0", "signPri.key"},
      {PKEY_SCHEME_KISA_SEED, "3132333435363738", "user_sign_kisa_seed.key"},
  };
  Key key = decode_plain(fixture("user_sign_plain.der"));
  ASSERT_NE(nullptr, key);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.file);
    ScriptedRandom random(from_hex(c.random));
    int err = 0;
    Bytes sealed = seal(key.get(), c.scheme, &err);
    ASSERT_FALSE(sealed.empty()) << err;
    EXPECT_EQ(to_hex(fixture(c.file)), to_hex(sealed));
    EXPECT_TRUE(ScriptedRandom::bytes().empty());  // exactly the salt (and IV) were drawn
  }
}

TEST(PkeyEncrypt, ReopensUnderTheOsSourceAndKeepsTheVidAttribute) {
  Opened first = open(fixture("signPri.key"));
  ASSERT_NE(nullptr, first.key);
  const Bytes plain = fixture("user_sign_plain.der");
  for (int scheme : {PKEY_SCHEME_PBES2_SEED, PKEY_SCHEME_KISA_SEED}) {
    SCOPED_TRACE(scheme);
    Bytes a = seal(first.key.get(), scheme, nullptr, "new password");
    Bytes b = seal(first.key.get(), scheme, nullptr, "new password");
    ASSERT_FALSE(a.empty());
    // The signing and key-management keys are sealed back to back under one password.
    EXPECT_NE(to_hex(a), to_hex(b));
    Opened again = open(a, "new password");
    ASSERT_NE(nullptr, again.key) << again.err;
    EXPECT_EQ(to_hex(plain), to_hex(encode_key(again.key.get())));
    uint8_t random[64];
    int n = pkey_get_vid_random(again.key->attributes, random, sizeof random);
    EXPECT_EQ(kUserRandom, to_hex(random, size_t(n)));
    EXPECT_EQ(nullptr, open(a, kPassword).key);
  }
}

TEST(PkeyEncrypt, SealsAKeyWithoutAttributesAndAnEmptyPassword) {
  Key key = decode_plain(fixture("user_sign_novid_plain.der"));
  ASSERT_NE(nullptr, key);
  for (int scheme : {PKEY_SCHEME_PBES2_SEED, PKEY_SCHEME_KISA_SEED}) {
    Bytes sealed = seal(key.get(), scheme, nullptr, "");
    Opened o = open(sealed, "");
    ASSERT_NE(nullptr, o.key) << o.err;
    EXPECT_EQ(to_hex(fixture("user_sign_novid_plain.der")), to_hex(encode_key(o.key.get())));
  }
}

TEST(PkeyEncrypt, Refusals) {
  Key key = decode_plain(fixture("user_sign_plain.der"));
  ASSERT_NE(nullptr, key);
  int err = 0;
  uint8_t *out = nullptr;
  for (int scheme : {-1, 2}) {
    EXPECT_TRUE(seal(key.get(), scheme, &err).empty());
    EXPECT_EQ(1001, err);
  }
  EXPECT_TRUE(seal(nullptr, 0, &err).empty());
  EXPECT_EQ(1001, err);
  EXPECT_TRUE(seal(key.get(), 0, &err, nullptr).empty());
  EXPECT_EQ(1001, err);
  errno = 0;
  EXPECT_EQ(0u, pkey_encrypt(key.get(), kPassword, 0, nullptr));
  EXPECT_EQ(1001, errno);
  EXPECT_EQ(nullptr, out);
  // No entropy: fail closed, never a salt from anywhere else.
  for (int scheme : {PKEY_SCHEME_PBES2_SEED, PKEY_SCHEME_KISA_SEED}) {
    ScriptedRandom none(Bytes{});
    EXPECT_TRUE(seal(key.get(), scheme, &err).empty());
    EXPECT_EQ(1265, err);
  }
}

}  // namespace
