// Opening password-protected private keys: every key file of the test PKI, wrong passwords and a
// table of blobs to refuse.
#include <gtest/gtest.h>

#include "pki/keys/pkcs8_internal.h"
#include "tests/pki/keys/pkcs8/pkcs8_test_util.h"

namespace {

using namespace pkcs8test;

struct KeyFile {
  const char *file;
  const char *plain;  // the PrivateKeyInfo it holds
};

const KeyFile kKeyFiles[] = {
    {"signPri.key", "user_sign_plain.der"},
    {"kmPri.key", "user_km_plain.der"},
    {"user2_signPri.key", "user2_sign_plain.der"},
    {"user_sign_pbes2_seed.key", "user_sign_novid_plain.der"},
    {"user_sign_pbes2_3des.key", "user_sign_novid_plain.der"},
    {"user_sign_pbes2_aria_kr.key", "user_sign_plain.der"},
    {"user_sign_kisa_seed.key", "user_sign_plain.der"},
    {"user_sign_kisa_seed_novid.key", "user_sign_novid_plain.der"},
    {"user_sign_kisa_seed_fixediv.key", "user_sign_plain.der"},
    {"user_sign_kisa_seed_fixediv_novid.key", "user_sign_novid_plain.der"},
    {"user_sign_kisa_seed_padded.key", "user_sign_plain.der"},  // the sender's own padding dropped
};

TEST(PkeyDecrypt, OpensEveryKeyFileToItsPrivateKeyInfo) {
  for (const KeyFile &f : kKeyFiles) {
    SCOPED_TRACE(f.file);
    Opened o = open(fixture(f.file));
    ASSERT_NE(nullptr, o.key) << "errno " << o.err;
    EXPECT_EQ(to_hex(fixture(f.plain)), to_hex(encode_key(o.key.get())));
  }
}

// The two top-level SEED forms differ only in where the IV comes from; their OIDs differ only in
// the last byte. Swapping it must break the first block, so each IV rule is really applied.
TEST(PkeyDecrypt, FixedAndDerivedIvAreNotInterchangeable) {
  for (const char *file : {"user_sign_kisa_seed.key", "user_sign_kisa_seed_fixediv.key"}) {
    SCOPED_TRACE(file);
    Bytes der = fixture(file);
    ASSERT_EQ(0x06, der[6]);
    ASSERT_EQ(8, der[7]);
    der[15] = der[15] == 0x04 ? 0x0F : 0x04;
    Opened o = open(der);
    EXPECT_EQ(nullptr, o.key);
    EXPECT_GE(o.err, 1100);  // a decoder code: the padding at the end is still right
    EXPECT_LT(o.err, 1200);
  }
}

// The sender-padding rule reads the byte after the element only when it lies in the plaintext;
// each case sits in a heap buffer of exactly its size, so a read past it shows under ASan.
TEST(KisaTrim, CutsOnlyMatchingPaddingAndStaysInBounds) {
  struct Case {
    const char *plain;
    size_t expected;
  } cases[] = {
      {"30820001aa", 5},        // the element ends at the end: nothing behind it to read
      {"30820001aa030303", 5},  // three bytes behind, the first of them 03: cut
      {"30820001aa01", 5},      // one byte 01
      {"30820001aa020202", 8},  // three bytes behind but the first says 02: kept
      {"30820001aa00", 6},      // a zero can never be a padding length
      {"30820005aa", 5},        // an element longer than the plaintext
      {"308100aa0101", 6},      // not the two-byte length form
      {"3082", 2},              // too short to hold a length
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.plain);
    Bytes plain = from_hex(c.plain);
    std::unique_ptr<uint8_t[]> exact(new uint8_t[plain.size()]);
    std::memcpy(exact.get(), plain.data(), plain.size());
    EXPECT_EQ(c.expected, v7::pkcs8::kisa_trim(exact.get(), plain.size()));
  }
}

TEST(PkeyDecrypt, WrongPasswordNeverGivesAKey) {
  const char *wrong[] = {"", "fixture1!", "Fixture1", "Fixture1!!", "Fixture1!\x01"};
  for (const char *file : {"signPri.key", "user_sign_pbes2_3des.key", "user_sign_pbes2_aria_kr.key",
                           "user_sign_kisa_seed.key", "user_sign_kisa_seed_fixediv.key"}) {
    Bytes der = fixture(file);
    for (const char *password : wrong) {
      SCOPED_TRACE(std::string(file) + " / " + password);
      Opened o = open(der, password);
      EXPECT_EQ(nullptr, o.key);
      // Callers turn exactly these into "wrong password", so errno must still hold one of them.
      EXPECT_TRUE(o.err == 1246 || (o.err >= 1100 && o.err < 1200)) << o.err;
    }
  }
}

// The encrypted data of signPri.key, with the salt and IV it was made with.
struct SignPri {
  Bytes cipher_text;
  Bytes salt = from_hex("0102030405060708");
  Bytes iv = from_hex("a1a2a3a4a5a6a7a8a9aaabacadaeafb0");
  SignPri() {
    Bytes der = fixture("signPri.key");
    cipher_text.assign(der.begin() + 82, der.end());  // OCTET STRING at 78, four header bytes
  }
};

Bytes count(uint32_t n) {
  Bytes b;
  for (int shift = 24; shift >= 0; shift -= 8)
    if (!b.empty() || (n >> shift) & 0xFF || shift == 0) b.push_back(uint8_t(n >> shift));
  if (b[0] & 0x80) b.insert(b.begin(), 0);
  return tlv(0x02, b);
}

Bytes epki(const Bytes &alg_oid, const Bytes &params, const Bytes &cipher_text) {
  return seq({seq({alg_oid, params}), tlv(0x04, cipher_text)});
}

Bytes pbes2(const Bytes &kdf, const Bytes &scheme, const Bytes &cipher_text) {
  return epki(oid(kOidPbes2), seq({kdf, scheme}), cipher_text);
}

Bytes pbkdf2(const Bytes &params) { return seq({oid(kOidPbkdf2), params}); }
Bytes seed_cbc(const Bytes &iv) { return seq({oid(kOidSeedCbc), tlv(0x04, iv)}); }

TEST(PkeyDecrypt, IgnoresAKeyLengthThatDisagreesWithTheCipher) {
  SignPri s;
  Bytes params = seq({tlv(0x04, s.salt), count(1024), count(32)});
  Opened o = open(pbes2(pbkdf2(params), seed_cbc(s.iv), s.cipher_text));
  ASSERT_NE(nullptr, o.key) << o.err;
  EXPECT_EQ(to_hex(fixture("user_sign_plain.der")), to_hex(encode_key(o.key.get())));
}

TEST(PkeyDecrypt, RefusesWhatItMustNotOpen) {
  SignPri s;
  const Bytes salt = tlv(0x04, s.salt);
  const Bytes good_kdf = pbkdf2(seq({salt, count(1024)}));
  const Bytes sha256_prf = seq({oid("2a864886f70d0209"), tlv(0x05, {})});
  Bytes sign_pri = fixture("signPri.key");
  Bytes truncated(sign_pri.begin(), sign_pri.end() - 1);
  Bytes garbled = sign_pri;
  garbled[0] = 0x31;
  struct Case {
    const char *what;
    Bytes der;
    int code;
  } cases[] = {
      {"OpenSSL's hmacWithSHA256 prf", fixture("user_sign_pbes2_seed_sha256prf.key"), 1451},
      {"OpenSSL's default AES-256 (its prf comes first)", fixture("user_sign_pbes2_aes256.key"), 1451},
      {"AES-256 without prf, tried as SEED", fixture("user_sign_pbes2_aes256_sha1.key"), 15150},
      {"ARIA under OpenSSL's OID, tried as SEED", fixture("user_sign_pbes2_aria.key"), 15150},
      {"prf hmacWithSHA1 spelled out",
       pbes2(pbkdf2(seq({salt, count(1024), seq({oid("2a864886f70d0207"), tlv(0x05, {})})})), seed_cbc(s.iv),
             s.cipher_text),
       1451},
      {"prf after a key length",
       pbes2(pbkdf2(seq({salt, count(1024), count(16), sha256_prf})), seed_cbc(s.iv), s.cipher_text), 1451},
      {"zero iterations", pbes2(pbkdf2(seq({salt, count(0)})), seed_cbc(s.iv), s.cipher_text), 1451},
      {"negative iterations", pbes2(pbkdf2(seq({salt, tlv(0x02, {0xFF})})), seed_cbc(s.iv), s.cipher_text),
       1451},
      {"iterations beyond the bound",
       pbes2(pbkdf2(seq({salt, count(10000001)})), seed_cbc(s.iv), s.cipher_text), 1451},
      {"five-byte iteration count",
       pbes2(pbkdf2(seq({salt, tlv(0x02, from_hex("0100000000"))})), seed_cbc(s.iv), s.cipher_text), 1451},
      {"salt from another source",
       pbes2(pbkdf2(seq({seq({oid(kOidSeedCbc)}), count(1024)})), seed_cbc(s.iv), s.cipher_text), 1451},
      {"no PBKDF2 parameters", pbes2(seq({oid(kOidPbkdf2)}), seed_cbc(s.iv), s.cipher_text), 1451},
      {"a key derivation other than PBKDF2",
       pbes2(seq({oid(kOidPbes2), seq({salt, count(1024)})}), seed_cbc(s.iv), s.cipher_text), 1451},
      {"PBES2 parameters that are no SEQUENCE", epki(oid(kOidPbes2), tlv(0x04, s.salt), s.cipher_text), 1451},
      {"KISA scheme with zero iterations", epki(oid(kOidKisaSeed), seq({salt, count(0)}), s.cipher_text),
       1451},
      {"KISA scheme with a prf", epki(oid(kOidKisaSeed), seq({salt, count(1024), sha256_prf}), s.cipher_text),
       1451},
      {"KISA scheme without parameters", seq({seq({oid(kOidKisaSeed)}), tlv(0x04, s.cipher_text)}), 1451},
      {"SEED-CBC with an 8-byte IV", pbes2(good_kdf, seed_cbc(from_hex("0102030405060708")), s.cipher_text),
       1202},
      {"an IV that is no OCTET STRING",
       pbes2(good_kdf, seq({oid(kOidSeedCbc), tlv(0x05, {})}), s.cipher_text), 1202},
      {"unknown scheme with an 8-byte IV",
       pbes2(good_kdf, seq({oid("2a864886f70d0302"), tlv(0x04, s.salt)}), s.cipher_text), 1202},
      {"pbeWithMD5AndDES (9 bytes, not PBES2)",
       epki(oid("2a864886f70d010503"), seq({salt, count(1024)}), s.cipher_text), 1050},
      {"SEED-CFB at the top (8 bytes)",
       epki(oid("2a831a8c9a440105"), seq({salt, count(1024)}), s.cipher_text), 1050},
      {"rsaEncryption at the top", epki(oid("2a864886f70d010101"), tlv(0x05, {}), s.cipher_text), 1050},
      {"empty encrypted data", pbes2(good_kdf, seed_cbc(s.iv), {}), 1247},
      {"encrypted data not whole blocks",
       pbes2(good_kdf, seed_cbc(s.iv), Bytes(s.cipher_text.begin() + 1, s.cipher_text.end())), 1247},
      {"truncated by one byte", truncated, 1114},
      {"header only", Bytes(sign_pri.begin(), sign_pri.begin() + 4), 1114},
      {"a SET where the SEQUENCE stands", garbled, 1111},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Opened o = open(c.der);
    EXPECT_EQ(nullptr, o.key);
    EXPECT_EQ(c.code, o.err);
  }
}

TEST(PkeyDecrypt, RefusesMissingArguments) {
  Bytes der = fixture("signPri.key");
  EXPECT_EQ(1001, open({}).err);
  EXPECT_EQ(1001, open(der, nullptr).err);
  errno = 0;
  EXPECT_EQ(nullptr, pkey_decrypt(der.data(), 0, kPassword));
  EXPECT_EQ(1001, errno);
}

}  // namespace
