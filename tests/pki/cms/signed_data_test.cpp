// SignedData verification against OpenSSL-made signed data (tests/fixtures/pki/make-cms.sh):
// content, signed attributes, signature, hash strength, the HashContent attribute and the
// attribute that ends verification, and what broken or hostile input gives.

#include <cstdlib>
#include <cstring>

#include "platform/errors/errno_util.h"
#include "pki/cms/cms.h"
#include "pki/oid/oid.h"
#include "tests/pki/cms/cms_test_util.h"

namespace cmstest {
namespace {

const char kContent[] = "signed content of the test PKI\n";

struct Verified {
  int code = -1;
  Bytes content;
  CMS_VERIFY_INFO info{};
  ErrorContext errors;
  ~Verified() { cms_verify_info_clear(&info); }
};

void verify(const Bytes &der, Verified *out, int flags = 0, int skip_identity = 0, int relaxed = 0,
            int content_info = 1) {
  out->info.content_info = content_info;
  out->info.validation_mode = CMS_VALIDATION_NONE;
  out->info.flags = flags;
  out->info.skip_identity = skip_identity;
  out->info.relaxed_attributes = relaxed;
  uint8_t *content = nullptr;
  size_t content_len = 0;
  out->code = cms_verify_signed(&out->errors.ctx, nullptr, der.data(), der.size(), &content, &content_len,
                                &out->info);
  if (content != nullptr) out->content.assign(content, content + content_len);
  free(content);
}

// The bytes of the first occurrence of text in der, for tampering with the content.
size_t find(const Bytes &der, const char *text) {
  size_t n = std::strlen(text);
  for (size_t i = 0; i + n <= der.size(); ++i)
    if (std::memcmp(der.data() + i, text, n) == 0) return i;
  return der.size();
}

TEST(SignedData, OpenSslSignedDataVerifiesAndReportsItsFields) {
  Verified v;
  verify(pki_file("cms_data_sha256.der"), &v, CMS_FLAG_RETURN_SIGNER_CERT);
  ASSERT_EQ(v.code, 0) << v.errors.newest_detail();
  EXPECT_EQ(std::string(v.content.begin(), v.content.end()), kContent);
  EXPECT_EQ(asn1test::hex(Bytes(v.info.content_type, v.info.content_type + v.info.content_type_len)),
            "2a864886f70d010701");
  EXPECT_EQ(v.info.digest_alg_id, OID_SHA256);
  EXPECT_EQ(v.info.signature_alg_id, OID_RSA_ENCRYPTION);
  EXPECT_EQ(Bytes(v.info.signer_cert, v.info.signer_cert + v.info.signer_cert_len),
            pki_file("user_sign.der"));
  EXPECT_EQ(v.info.idn, nullptr);
}

// Its signature begins with a zero byte and is written in 255 bytes without it: still the number
// the signer computed.
TEST(SignedData, SignatureWithoutItsLeadingZeroVerifies) {
  Verified v;
  verify(pki_file("cms_short_sig.der"), &v);
  ASSERT_EQ(v.code, 0) << v.errors.newest_detail();
  const std::string content(v.content.begin(), v.content.end());
  EXPECT_EQ(content.rfind("signed content of the test PKI, ", 0), 0u) << content;
}

TEST(SignedData, CasesOfTheFixtures) {
  const struct {
    const char *file;
    int relaxed;
    int skip_identity;
    int code;
    const char *detail;
  } cases[] = {
      // SHA-1 under a SHA-256-signed certificate: its signature verifies, its digest is too weak.
      {"cms_data_sha1.der", 0, 0, v7::kErrHashStrength, ""},
      // The same digest algorithm over a signature made with SHA-256.
      {"cms_sha1_digest_sha256_sig.der", 0, 0, v7::kErrPubkeyVerify, ""},
      {"cms_noattr.der", 0, 0, 0, ""},                        // data without signed attributes
      {"cms_noattr.der", 1, 0, 0, ""},
      {"cms_other_type.der", 0, 0, 0, ""},
      {"cms_other_type.der", 1, 0, 0, ""},
      {"cms_hashcontent.der", 0, 0, 0, ""},
      {"cms_hashcontent_wrong.der", 0, 0, v7::kErrIdentifySsn, ""},
      {"cms_hashcontent_wrong.der", 0, 1, 0, ""},
      {"cms_stop_attr.der", 0, 0, v7::kErrCmsUnsignedAttr, ""},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.file) + (c.relaxed ? " relaxed" : "") + (c.skip_identity ? " skip" : ""));
    Verified v;
    verify(pki_file(c.file), &v, 0, c.skip_identity, c.relaxed);
    EXPECT_EQ(v.code, c.code) << v.errors.newest_detail();
    EXPECT_EQ(errno, c.code);
    if (c.code != 0) {
      EXPECT_EQ(v.errors.newest_code(), c.code);
    }
  }
}

TEST(SignedData, NonDataContentIsTheOctetsOfTheEncapsulatedContent) {
  Verified v;
  verify(pki_file("cms_other_type.der"), &v);
  ASSERT_EQ(v.code, 0);
  EXPECT_EQ(std::string(v.content.begin(), v.content.end()), kContent);
  EXPECT_EQ(asn1test::hex(Bytes(v.info.content_type, v.info.content_type + v.info.content_type_len)),
            "2a831a8c9a446301");  // 1.2.410.200004.99.1
}

TEST(SignedData, HashContentGivesTheNumberAndRandomValue) {
  Verified v;
  verify(pki_file("cms_hashcontent.der"), &v, CMS_FLAG_RETURN_RANDOM);
  ASSERT_EQ(v.code, 0) << v.errors.newest_detail();
  ASSERT_NE(v.info.idn, nullptr);
  EXPECT_STREQ(v.info.idn, kUserIdn);
  EXPECT_EQ(asn1test::hex(Bytes(v.info.random, v.info.random + v.info.random_len)), kUserRandomHex);
}

TEST(SignedData, BareSignedDataVerifiesWithoutItsContentInfo) {
  Bytes der = pki_file("cms_data_sha256.der");
  // ContentInfo { OID, [0] { SignedData } }: both headers here are four bytes long.
  ASSERT_EQ(der[0], 0x30);
  ASSERT_EQ(der[1], 0x82);
  size_t oid_end = 4 + 2 + der[5];
  ASSERT_EQ(der[oid_end], 0xA0);
  Bytes bare(der.begin() + long(oid_end) + 4, der.end());
  Verified v;
  verify(bare, &v, 0, 0, 0, /*content_info=*/0);
  EXPECT_EQ(v.code, 0) << v.errors.newest_detail();
  Verified wrapped_as_bare;
  verify(der, &wrapped_as_bare, 0, 0, 0, 0);
  EXPECT_EQ(wrapped_as_bare.code, v7::kErrDecodeFailed);
  EXPECT_EQ(wrapped_as_bare.errors.newest_detail(), "SignedData");
}

TEST(SignedData, TamperedContentSignatureAndStructure) {
  const Bytes good = pki_file("cms_data_sha256.der");
  Bytes content = good;
  content[find(content, "signed content")] ^= 0x01;
  Verified v1;
  verify(content, &v1);
  EXPECT_EQ(v1.code, v7::kErrCmsMessageDigest);

  Bytes signature = good;
  signature[signature.size() - 1] ^= 0x01;  // the signature value is the last element
  Verified v2;
  verify(signature, &v2);
  EXPECT_EQ(v2.code, v7::kErrPubkeyVerify);

  Bytes not_signed = good;
  not_signed[4 + 2 + 8] = 0x01;  // content type ...7.2 becomes ...7.1
  Verified v3;
  verify(not_signed, &v3);
  EXPECT_EQ(v3.code, v7::kErrCmsNotSignedData);

  for (size_t cut : {size_t(0), size_t(1), size_t(40), good.size() / 2, good.size() - 1}) {
    SCOPED_TRACE(cut);
    Verified v;
    Bytes truncated(good.begin(), good.begin() + long(cut));
    if (truncated.empty()) truncated.push_back(0x30);
    verify(truncated, &v);
    EXPECT_EQ(v.code, v7::kErrDecodeFailed);
    EXPECT_EQ(v.errors.newest_detail(), "ContentInfo");
    EXPECT_EQ(v.content.size(), 0u);
  }
}

TEST(SignedData, RefusesMissingArguments) {
  const Bytes der = pki_file("cms_data_sha256.der");
  CMS_VERIFY_INFO info{};
  info.content_info = 1;
  info.validation_mode = CMS_VALIDATION_NONE;
  ErrorContext errors;
  EXPECT_EQ(cms_verify_signed(nullptr, nullptr, der.data(), der.size(), nullptr, nullptr, &info),
            v7::kErrNoErrorContext);
  EXPECT_EQ(cms_verify_signed(&errors.ctx, nullptr, nullptr, 0, nullptr, nullptr, &info),
            v7::kErrInvalidParameter);
  EXPECT_EQ(cms_verify_signed(&errors.ctx, nullptr, der.data(), der.size(), nullptr, nullptr, nullptr),
            v7::kErrInvalidParameter);
  info.validation_mode = 0;  // a path validation without a context
  EXPECT_EQ(cms_verify_signed(&errors.ctx, nullptr, der.data(), der.size(), nullptr, nullptr, &info),
            v7::kErrInvalidParameter);
}

}  // namespace
}  // namespace cmstest
