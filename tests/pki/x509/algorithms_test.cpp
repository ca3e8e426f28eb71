// The encodings by scheme id, scheme 13, DigestInfo, hash identifiers and strengths, RSA key DER
// and the small byte helpers.

#include <gtest/gtest.h>

#include <cstdlib>
#include <initializer_list>
#include <string>

#include "platform/errors/errno_util.h"
#include "crypto/hash/hash.h"
#include "pki/asn1/key_types.h"
#include "pki/oid/oid.h"
#include "pki/x509/algorithms.h"
#include "tests/pki/x509/x509_test_util.h"

namespace x509test {
namespace {

TEST(Schemes, DescriptorsById) {
  const struct {
    int id;
    const RSA_PADDING *expected;
  } sig[] = {{5376, &RSA_PAD_PKCS1_SIGN},
             {5377, &RSA_PAD_PKCS1_SIGN_SHA256},
             {10, &RSA_PAD_PSS},
             {11, &RSA_PAD_PSS_SHA256_MGF1_SHA1},
             {12, &RSA_PAD_PSS_SHA256},
             {0, nullptr},
             {1, nullptr},
             {5378, nullptr},
             {4608, nullptr},
             {14, nullptr}},
    enc[] = {{4608, &RSA_PAD_PKCS1_ENCRYPT},
             {1, &RSA_PAD_OAEP},
             {2, &RSA_PAD_OAEP_SHA256_MGF1_SHA1},
             {3, &RSA_PAD_OAEP_SHA256},
             {4, &RSA_PAD_OAEP_MGF1_SHA256},
             {0, nullptr},
             {5, nullptr},
             {5376, nullptr},
             {13, nullptr}};
  for (const auto &s : sig) EXPECT_EQ(sig_padding_by_id(s.id), s.expected) << "signature scheme " << s.id;
  for (const auto &e : enc) EXPECT_EQ(enc_padding_by_id(e.id), e.expected) << "encryption scheme " << e.id;

  // The records' parameters are the table's.
  const PSS_PARAMS *pss = static_cast<const PSS_PARAMS *>(sig_padding_by_id(12)->params);
  EXPECT_EQ(pss->hash_type, HASH_SHA256);
  EXPECT_EQ(pss->mgf, &MGF1_SHA256);
  EXPECT_EQ(pss->salt_len, 20u);
  const OAEP_PARAMS *oaep4 = static_cast<const OAEP_PARAMS *>(enc_padding_by_id(4)->params);
  EXPECT_EQ(oaep4->hash_type, HASH_SHA1);
  EXPECT_EQ(oaep4->mgf, &MGF1_SHA256);

  const RSA_PADDING *raw = sig_padding_by_id(13);
  ASSERT_NE(raw, nullptr);
  EXPECT_TRUE(raw->encode != nullptr && raw->verify != nullptr);
  EXPECT_EQ(raw->decode, nullptr) << "never a decryption";
}

TEST(Schemes, RawType1PadAndVerify) {
  const Bytes data = text("raw bytes, no DigestInfo");
  for (int bits : {512, 1023, 1024, 1025, 2048}) {
    SCOPED_TRACE(bits);
    const size_t k = (size_t(bits) + 7) / 8;
    Bytes block(k + 1, 0xEE);
    ASSERT_EQ(pkcs1_type1_raw_pad(bits, data.data(), data.size(), block.data(), k), int(k));
    EXPECT_EQ(block[k], 0xEE);
    block.resize(k);
    Bytes expected = cat({Bytes{0x00, 0x01}, Bytes(k - data.size() - 3, 0xFF), Bytes{0x00}, data});
    EXPECT_EQ(hex(block), hex(expected));
    EXPECT_EQ(pkcs1_type1_raw_verify(bits, data.data(), data.size(), block.data(), block.size()), 0);
    // Through the descriptor.
    const RSA_PADDING *raw = sig_padding_by_id(SIG_SCHEME_PKCS1_RAW);
    Bytes again(k);
    EXPECT_EQ(raw->encode(raw->params, bits, data.data(), data.size(), again.data(), k), int(k));
    EXPECT_EQ(again, block);
    EXPECT_EQ(raw->verify(raw->params, bits, data.data(), data.size(), block.data(), k), 1);
  }

  // Boundaries: the data may leave exactly eight 0xFF bytes.
  uint8_t out[128];
  Bytes fits(128 - 11, 0x5A), too_long(128 - 10, 0x5A);
  EXPECT_EQ(pkcs1_type1_raw_pad(1024, fits.data(), fits.size(), out, sizeof out), 128);
  EXPECT_EQ(pkcs1_type1_raw_verify(1024, fits.data(), fits.size(), out, sizeof out), 0);
  EXPECT_EQ(pkcs1_type1_raw_pad(1024, too_long.data(), too_long.size(), out, sizeof out), 0);
  EXPECT_EQ(errno, v7::kErrSignatureEncode);
  EXPECT_EQ(pkcs1_type1_raw_pad(1024, fits.data(), fits.size(), out, 127), 0);
  EXPECT_EQ(errno, v7::kErrInsufficientMemory);
  EXPECT_EQ(pkcs1_type1_raw_pad(1024, nullptr, 4, out, sizeof out), 0);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
  EXPECT_EQ(pkcs1_type1_raw_pad(1024, nullptr, 0, out, sizeof out), 128) << "empty data";
}

TEST(Schemes, RawType1HostileBlocks) {
  const Bytes data = text("abc");
  uint8_t good[64];
  ASSERT_EQ(pkcs1_type1_raw_pad(512, data.data(), data.size(), good, sizeof good), 64);
  auto changed = [&](size_t at, uint8_t value) {
    Bytes b(good, good + 64);
    b[at] = value;
    return b;
  };
  const struct {
    const char *what;
    Bytes block;
    Bytes data;
  } cases[] = {
      {"first byte", changed(0, 0x01), data},
      {"block type 2", changed(1, 0x02), data},
      {"a padding byte not FF", changed(20, 0xFE), data},
      {"separator not zero", changed(60, 0xFF), data},
      {"separator early", changed(59, 0x00), cat({Bytes{0xFF}, data})},
      {"data differs", changed(63, 'd'), data},
      {"one byte short", Bytes(good + 1, good + 64), data},
      {"one byte long", cat({Bytes{0x00}, Bytes(good, good + 64)}), data},
      {"only seven FF bytes", cat({Bytes{0x00, 0x01}, Bytes(7, 0xFF), Bytes{0x00}, Bytes(54, 0x5A)}),
       Bytes(54, 0x5A)},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(pkcs1_type1_raw_verify(512, c.data.data(), c.data.size(), c.block.data(), c.block.size()),
              v7::kErrVerifySignature);
    EXPECT_EQ(errno, v7::kErrVerifySignature);
  }
}

TEST(DigestInfo, PrefixesAndDigests) {
  const Bytes abc = text("abc");
  const struct {
    int type;
    std::string expected;
  } cases[] = {
      {HASH_SHA1, "3021300906052b0e03021a05000414a9993e364706816aba3e25717850c26c9cd0d89d"},
      {HASH_SHA256,
       "3031300d060960864801650304020105000420ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015a"
       "d"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.type);
    const int size = int(c.expected.size() / 2);
    EXPECT_EQ(digest_info_encode(c.type, nullptr, 0, abc.data(), abc.size()), size);
    Bytes out(static_cast<size_t>(size), 0);
    EXPECT_EQ(digest_info_encode(c.type, out.data(), out.size(), abc.data(), abc.size()), size);
    EXPECT_EQ(hex(out), c.expected);
    EXPECT_EQ(digest_info_encode(c.type, out.data(), out.size() - 1, abc.data(), abc.size()), 0);
    EXPECT_EQ(errno, v7::kErrInsufficientBuffer);
    size_t len = 0;
    uint8_t *fresh = digest_info_new(c.type, abc.data(), abc.size(), &len);
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(hex(Bytes(fresh, fresh + len)), c.expected);
    free(fresh);
    // It is a DigestInfo the codec reads back.
    Record info = decode(out, &asn1_tmpl_digest_info);
    ASSERT_NE(info.record, nullptr);
    EXPECT_EQ(hash_oid_type(&info.as<DigestInfo>()->digest_algorithm.algorithm), c.type);
  }
  for (int type : std::initializer_list<int>{0, HASH_SHA384, HASH_SHA512, HASH_HAS160, HASH_MD5}) {
    EXPECT_EQ(digest_info_encode(type, nullptr, 0, abc.data(), abc.size()), 0);
    EXPECT_EQ(errno, v7::kErrUnsupportedHash);
  }
  size_t len = 9;
  EXPECT_EQ(digest_info_new(HASH_HAS160, abc.data(), abc.size(), &len), nullptr);
  EXPECT_EQ(len, 0u);
}

TEST(HashIds, OidsAndStrengths) {
  const struct {
    const char *oid_hex;
    int type;
    int code;
  } oids[] = {
      {"2b0e03021a", 1, 0},
      {"608648016503040201", 2, 0},
      {"2a831a8c9a440102", 6, 0},
      {"608648016503040202", 0, 1203},  // SHA-384
      {"2a864886f70d01010b", 0, 1203},  // sha256WithRSAEncryption is no digest
      {"2b0e03021a01", 0, 1203},        // SHA-1 extended by an arc
  };
  for (const auto &o : oids) {
    SCOPED_TRACE(o.oid_hex);
    Bytes contents = v7test::from_hex(o.oid_hex);
    ASN1_BYTES oid{contents.data(), uint32_t(contents.size()), 0};
    int type = -1;
    EXPECT_EQ(hash_oid_to_type(&oid, &type), o.code);
    EXPECT_EQ(errno, o.code);
    if (o.code == 0) {
      EXPECT_EQ(type, o.type);
    }
    EXPECT_EQ(hash_oid_type(&oid), o.type);
  }

  const struct {
    int criterion, target, result;
  } strengths[] = {
      {OID_SHA1, OID_SHA1, 0},      {OID_SHA1, OID_SHA256, 0}, {OID_SHA256, OID_SHA1, -1},
      {OID_SHA256, OID_HAS160, -1}, {OID_HAS160, OID_SHA1, 0}, {OID_SHA256, OID_SHA384, 0},
      {OID_SHA256, OID_SHA512, 0},  {OID_SHA1, OID_SHA512, 0}, {OID_SHA384, OID_SHA256, -1},
      {OID_SHA256, OID_SHA224, 0},  {OID_SHA1, OID_MD5, -1},   {OID_SHA256, 0, 15001},
      {OID_MD5, OID_SHA256, 15000}, {0, OID_SHA256, 15000},    {5377, OID_SHA256, 15000},
  };
  for (const auto &s : strengths) {
    SCOPED_TRACE(testing::Message() << s.criterion << " / " << s.target);
    EXPECT_EQ(hash_strength_compare(s.criterion, s.target), s.result);
  }
}

TEST(HashIds, StrengthCheckPushesItsDetail) {
  ERROR_CTX ctx{};
  EXPECT_EQ(hash_strength_check(&ctx, OID_SHA256, OID_SHA1), 0);
  EXPECT_EQ(ctx.newest, nullptr);
  EXPECT_EQ(hash_strength_check(&ctx, OID_SHA1, OID_SHA256), 15002);
  EXPECT_EQ(errno, 15002);
  ASSERT_NE(ctx.newest, nullptr);
  const ERROR_SUBNODE *first = ctx.newest->first;
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->code, 15002);
  ASSERT_NE(first->next, nullptr);
  EXPECT_EQ(first->next->code, -1);
  EXPECT_EQ(std::string(first->next->detail), std::string("Criteria Hash Alg : ") + oid_id_name(OID_SHA256) +
                                                  ", Sign Hash Alg : " + oid_id_name(OID_SHA1) + "\n");
  EXPECT_EQ(hash_strength_check(&ctx, OID_SHA1, OID_MD5), 15002);
  EXPECT_EQ(ctx.newest->first->next->code, 15000);
  err_ctx_clear(&ctx);
  EXPECT_EQ(hash_strength_check(nullptr, OID_SHA1, OID_SHA256), 1310);
}

// RSAPrivateKey DER with its fields replaced: version, and further content after the numbers.
Bytes private_key_with(const Bytes &der, uint8_t version, const Bytes &more) {
  ASN1_HEADER h;
  EXPECT_EQ(asn1_read_header(ASN1_MODE_DER, der.data(), der.size(), &h), 0);
  Bytes contents(der.begin() + h.header_len, der.begin() + h.header_len + h.content_len);
  EXPECT_EQ(hex(Bytes(contents.begin(), contents.begin() + 3)), "020100");
  contents[2] = version;
  return tlv(0x30, cat({contents, more}));
}

TEST(RsaKeyDecode, PublicAndPrivateKeys) {
  const Bytes pub = asn1test::read_fixture("asn1/rsa_public.der");
  const Bytes priv = asn1test::read_fixture("asn1/rsa_private.der");
  const Bytes priv1024 = asn1test::read_fixture("asn1/rsa1024_private.der");
  ASSERT_FALSE(pub.empty() || priv.empty() || priv1024.empty());
  RSA_CTX *ctx = rsa_new();
  RSA_CTX *signer = rsa_new();
  EXPECT_EQ(rsa_modulus_bytes(ctx), 0);
  EXPECT_EQ(errno, v7::kErrRsaNoKey);
  ASSERT_EQ(rsa_key_decode(pub.data(), pub.size(), RSA_DER_PUBLIC, ctx), 2048);
  EXPECT_EQ(rsa_key_kind(ctx), 1);
  EXPECT_EQ(rsa_modulus_bytes(ctx), 256);
  ASSERT_EQ(rsa_key_decode(priv.data(), priv.size(), RSA_DER_PRIVATE, signer), 2048);
  EXPECT_EQ(rsa_key_kind(signer), 2);

  // The numbers are the key pair's: a signature of the private key verifies with the public one.
  const Bytes msg = text("message");
  uint8_t sig[256];
  ASSERT_EQ(rsa_private_encrypt(sizeof sig, signer, msg.data(), msg.size(), &RSA_PAD_PKCS1_SIGN_SHA256, sig),
            256);
  EXPECT_EQ(rsa_public_decrypt(ctx, msg.data(), msg.size(), &RSA_PAD_PKCS1_SIGN_SHA256, sig, sizeof sig), 1);
  ASSERT_EQ(rsa_key_decode(priv1024.data(), priv1024.size(), RSA_DER_PRIVATE, signer), 1024);
  EXPECT_EQ(rsa_modulus_bytes(signer), 128);

  // otherPrimeInfos: one triple of small numbers.
  const Bytes other = tlv(0x30, tlv(0x30, cat({tlv(0x02, {0x07}), tlv(0x02, {0x03}), tlv(0x02, {0x05})})));
  const Bytes negative_modulus = tlv(0x30, cat({tlv(0x02, Bytes(128, 0xC1)), tlv(0x02, {0x01, 0x00, 0x01})}));
  const struct {
    const char *what;
    Bytes der;
    int kind;
    int code;
  } bad[] = {
      {"version 1", private_key_with(priv, 1, {}), RSA_DER_PRIVATE, v7::kErrRsaIncorrectKey},
      {"version 1 with primes", private_key_with(priv, 1, other), RSA_DER_PRIVATE, v7::kErrRsaIncorrectKey},
      {"version 0 with primes", private_key_with(priv, 0, other), RSA_DER_PRIVATE, v7::kErrRsaIncorrectKey},
      {"version 0x30", private_key_with(priv, 0x30, {}), RSA_DER_PRIVATE, v7::kErrRsaIncorrectKey},
      {"negative modulus", negative_modulus, RSA_DER_PUBLIC, v7::kErrRsaIncorrectKey},
      {"truncated", Bytes(priv.begin(), priv.end() - 1), RSA_DER_PRIVATE, v7::kErrAsn1Decode},
      {"truncated header", Bytes(pub.begin(), pub.begin() + 3), RSA_DER_PUBLIC, v7::kErrAsn1Decode},
      {"public as private", pub, RSA_DER_PRIVATE, v7::kErrAsn1Decode},
      {"private as public", priv, RSA_DER_PUBLIC, v7::kErrAsn1Decode},
      {"another kind", pub, 3, v7::kErrInvalidParameter},
  };
  for (const auto &b : bad) {
    SCOPED_TRACE(b.what);
    RSA_CTX *fresh = rsa_new();
    errno = 0;
    EXPECT_EQ(rsa_key_decode(b.der.data(), b.der.size(), b.kind, fresh), 0);
    EXPECT_EQ(errno, b.code);
    EXPECT_EQ(rsa_key_kind(fresh), 0);
    // A key loaded before does not survive a failed load.
    ASSERT_EQ(rsa_key_decode(pub.data(), pub.size(), RSA_DER_PUBLIC, fresh), 2048);
    errno = 0;
    EXPECT_EQ(rsa_key_decode(b.der.data(), b.der.size(), b.kind, fresh), 0);
    EXPECT_EQ(errno, b.code);
    EXPECT_EQ(fresh->kind, RSA_KIND_EMPTY);
    EXPECT_EQ(fresh->words, nullptr);
    rsa_free(fresh);
  }
  // Bytes after the key are not its business.
  Bytes trailing = cat({pub, Bytes{0x00, 0x00}});
  EXPECT_EQ(rsa_key_decode(trailing.data(), trailing.size(), RSA_DER_PUBLIC, ctx), 2048);
  EXPECT_EQ(rsa_key_decode(pub.data(), pub.size(), RSA_DER_PUBLIC, nullptr), 0);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
  EXPECT_EQ(rsa_modulus_bytes(nullptr), 0);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
  rsa_free(ctx);
  rsa_free(signer);
}

TEST(ByteHelpers, CompareAndEncode) {
  uint8_t a[] = {1, 2, 3}, b[] = {1, 2, 3}, c[] = {1, 2, 4};
  ASN1_BYTES x{a, 3, 0}, y{b, 3, 0}, z{c, 3, 0}, shorter{a, 2, 0}, none{nullptr, 0, 0}, none2{nullptr, 0, 0};
  EXPECT_EQ(asn1_bytes_compare(&x, &y), 0);
  EXPECT_EQ(asn1_bytes_compare(&x, &z), 1);
  EXPECT_EQ(asn1_bytes_compare(&x, &shorter), 1);
  EXPECT_EQ(asn1_bytes_compare(&none, &none2), 0);
  errno = 0;
  EXPECT_EQ(asn1_bytes_compare(&x, nullptr), 1);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);

  const Bytes pub = asn1test::read_fixture("asn1/rsa_public.der");
  Record key = decode(pub, &asn1_tmpl_rsa_public_key);
  ASSERT_NE(key.record, nullptr);
  uint8_t *out = nullptr;
  size_t len = 0;
  EXPECT_EQ(asn1_encode_new(key.record, &asn1_tmpl_rsa_public_key, &out, &len), pub.size());
  EXPECT_EQ(hex(Bytes(out, out + len)), hex(pub));
  free(out);
  EXPECT_EQ(asn1_encode_new(nullptr, &asn1_tmpl_rsa_public_key, &out, &len), 0u);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
}

}  // namespace
}  // namespace x509test
