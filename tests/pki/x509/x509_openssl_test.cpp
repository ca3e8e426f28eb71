// The certificate accessors against libcrypto's reading of the same files, and the raw type-1
// block and DigestInfo against OpenSSL's padding and signatures.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/errors/errno_util.h"
#include "crypto/hash/hash.h"
#include "pki/oid/oid.h"
#include "pki/x509/algorithms.h"
#include "pki/x509/cert.h"
#include "pki/x509/name.h"
#include "tests/pki/x509/openssl_x509_oracle.h"
#include "tests/pki/x509/x509_test_util.h"

namespace x509test {
namespace {

TEST(X509VersusOpenssl, EveryCertificate) {
  std::vector<std::string> files = pki_certificates();
  files.push_back("../asn1/cert.der");
  files.push_back("../asn1/ca_cert.der");
  for (const std::string &file : files) {
    SCOPED_TRACE(file);
    Bytes der = pki_file(file);
    x509oracle::CertFacts facts = x509oracle::read_cert(der);
    ASSERT_TRUE(facts.ok);
    Record rec = decode(der, &asn1_tmpl_certificate);
    ASSERT_NE(rec.record, nullptr);
    const Certificate *cert = rec.as<Certificate>();

    EXPECT_EQ(cert_not_before(cert), facts.not_before);
    EXPECT_EQ(cert_not_after(cert), facts.not_after);
    EXPECT_EQ(cert_key_bits(der.data(), der.size()), facts.key_bits);
    EXPECT_EQ(cert_hash_alg(der.data(), der.size()), facts.hash_alg);
    uint8_t *subject = nullptr;
    size_t subject_len = 0;
    ASSERT_GT(cert_subject_der(der.data(), der.size(), &subject, &subject_len), 0u);
    EXPECT_EQ(hex(Bytes(subject, subject + subject_len)), hex(facts.subject_der));
    free(subject);

    char text[512];
    errno = 0;
    int length = name_to_text_comma(&cert->tbs.subject, text, sizeof text);
    if (facts.dn_unsupported_string) {
      EXPECT_EQ(errno, v7::kErrAsn1InvalidTag);
    } else {
      EXPECT_EQ(std::string(text, size_t(length)), facts.dn_text);
    }

    // Extensions in order, with their criticality.
    const ASN1_LIST *node = cert->tbs.extensions;
    for (const auto &e : facts.extensions) {
      ASSERT_NE(node, nullptr);
      const Extension *ext = static_cast<const Extension *>(node->element);
      EXPECT_EQ(hex(ext->extn_id), hex(e.first));
      EXPECT_EQ(ext_is_critical(ext), e.second);
      node = node->next;
    }
    EXPECT_EQ(node, nullptr);

    // Key usage: each code against OpenSSL's reading of the bits.
    const Extension *ku = cert_find_extension(cert, OID_EXT_KEY_USAGE);
    ASSERT_EQ(ku != nullptr, facts.has_key_usage);
    if (ku == nullptr) continue;
    Record bits =
        decode(Bytes(ku->extn_value.data, ku->extn_value.data + ku->extn_value.len), &asn1_tmpl_bit_string);
    ASSERT_NE(bits.record, nullptr);
    const ASN1_BIT_STRING *ku_bits = bits.as<ASN1_BIT_STRING>();
    EXPECT_EQ(cert_key_usage_ok(KU_CHECK_SIGNING, ku_bits), int(facts.ku_ds_nr));
    EXPECT_EQ(cert_key_usage_ok(KU_CHECK_SIGNING_3, ku_bits), int(facts.ku_ds_nr));
    EXPECT_EQ(cert_key_usage_ok(KU_CHECK_KEY_ENCIPHERMENT, ku_bits), int(facts.ku_ke));
    EXPECT_EQ(cert_key_usage_ok(KU_CHECK_CERT_SIGN, ku_bits), int(facts.ku_cert_sign));
    EXPECT_EQ(cert_key_usage_ok(KU_CHECK_CRL_SIGN, ku_bits), int(facts.ku_crl_sign));
  }
}

const std::string kUserKey = v7test::fixtures_path("pki/keys/user_sign.pem");

// Scheme 13 is what OpenSSL's PKCS#1 padding makes of bytes without a digest: the blocks are the
// same, and OpenSSL's raw signature verifies through the scheme's descriptor.
TEST(X509VersusOpenssl, RawType1Signatures) {
  const Bytes data = text("bytes signed as they are");
  for (size_t k : {64, 128, 256}) {
    Bytes ours(k);
    ASSERT_EQ(pkcs1_type1_raw_pad(int(k * 8), data.data(), data.size(), ours.data(), k), int(k));
    EXPECT_EQ(hex(ours), hex(x509oracle::pkcs1_type1_block(data, k)));
  }

  Bytes sig = x509oracle::sign_raw(kUserKey, data);
  ASSERT_EQ(sig.size(), 256u);
  Record cert = pki_cert("user_sign.der");
  const ASN1_BIT_STRING &spk = cert.as<Certificate>()->tbs.subject_public_key_info.subject_public_key;
  RSA_CTX *pub = rsa_new();
  ASSERT_EQ(rsa_key_decode(spk.data, spk.len, RSA_DER_PUBLIC, pub), 2048);
  const RSA_PADDING *raw = sig_padding_by_id(SIG_SCHEME_PKCS1_RAW);
  EXPECT_EQ(rsa_public_decrypt(pub, data.data(), data.size(), raw, sig.data(), sig.size()), 1);
  Bytes other = text("other bytes");
  EXPECT_EQ(rsa_public_decrypt(pub, other.data(), other.size(), raw, sig.data(), sig.size()), 0);
  rsa_free(pub);
}

// The DigestInfo inside an OpenSSL SHA-1 / SHA-256 signature is what digest_info_encode writes.
TEST(X509VersusOpenssl, DigestInfoInsideSignatures) {
  const Bytes data = text("signed with a digest");
  for (int type : {int(HASH_SHA1), int(HASH_SHA256)}) {
    SCOPED_TRACE(type);
    Bytes info = x509oracle::digest_info_of_signature(kUserKey, type == HASH_SHA256, data);
    ASSERT_FALSE(info.empty());
    Bytes ours(64);
    int n = digest_info_encode(type, ours.data(), ours.size(), data.data(), data.size());
    ASSERT_GT(n, 0);
    ours.resize(size_t(n));
    EXPECT_EQ(hex(ours), hex(info));
  }
}

}  // namespace
}  // namespace x509test
