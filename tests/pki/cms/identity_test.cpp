// The identity check: the VID in the subjectAltName against a registration number and the
// holder's random value, with the test PKI's users and with identity data built here (SHA-1 and
// HAS-160 VIDs, which no fixture carries).

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/errors/errno_util.h"
#include "crypto/hash/hash.h"
#include "pki/cms/cms.h"
#include "pki/oid/oid.h"
#include "tests/pki/cms/cms_test_util.h"

namespace cmstest {
namespace {

using asn1test::cat;
using asn1test::tlv;

struct DecodedCert {
  explicit DecodedCert(const std::string &file) : der(pki_file(file)) {
    EXPECT_TRUE(cert.decode(ASN1_MODE_DER, der.data(), der.size())) << file;
  }
  Bytes der;
  v7::Asn1Owned<Certificate> cert{&asn1_tmpl_certificate};
};

int check(const char *idn, const Bytes &random, const Certificate *cert, ErrorContext *errors) {
  return cms_check_identity(idn, random.data(), &errors->ctx, cert, std::strlen(idn), random.size());
}

TEST(Identity, TestPkiHoldersMatchTheirNumberOnly) {
  const struct {
    const char *file;
    const char *idn;
    const char *random_hex;
    int code;
  } cases[] = {
      {"user_sign.der", kUserIdn, kUserRandomHex, 0},
      {"user_km.der", kUserIdn, kUserRandomHex, 0},
      {"user2_sign.der", "9002022345678", "0f1e2d3c4b5a69788796a5b4c3d2e1f00112233f", 0},
      {"user_sign.der", "8001011234568", kUserRandomHex, v7::kErrInconsistentHash},
      {"user_sign.der", kUserIdn, "5a3c1e07b2f49d68a1c0e3f5b7d9021436587a9d", v7::kErrInconsistentHash},
      {"user_sign.der", "9002022345678", "0f1e2d3c4b5a69788796a5b4c3d2e1f00112233f",
       v7::kErrInconsistentHash},
      {"root_kisa.der", kUserIdn, kUserRandomHex, v7::kErrNoSubjectAltName},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.file) + " " + c.idn);
    DecodedCert cert(c.file);
    ErrorContext errors;
    EXPECT_EQ(check(c.idn, v7test::from_hex(c.random_hex), cert.cert.get(), &errors), c.code);
    EXPECT_EQ(errno, c.code);
    if (c.code != 0) {
      EXPECT_EQ(errors.newest_code(), c.code);
    }
  }
}

const char *const kIdentifyDataOid = "2a831a8c9a440a0101";  // 1.2.410.200004.10.1.1
const char *const kVidOid = "2a831a8c9a440a010101";         // 1.2.410.200004.10.1.1.1

// Builds GeneralNames of one identity otherName whose VID uses the hash of hash_oid_hex, and
// swaps it into the certificate's subjectAltName for the check.
Bytes identity_names(const std::string &hash_oid_hex, int hash_type, const std::string &idn,
                     const Bytes &random, bool with_vid = true) {
  Bytes hash_content =
      tlv(0x30, cat({tlv(0x13, Bytes(idn.begin(), idn.end())), tlv(0x03, cat({{0x00}, random}))}));
  uint8_t inner[HASH_MAX_DIGEST_LEN], outer[HASH_MAX_DIGEST_LEN];
  int n = hash_digest(sizeof inner, inner, hash_type, hash_content.data(), hash_content.size());
  int m = hash_digest(sizeof outer, outer, hash_type, inner, size_t(n));
  Bytes vid = tlv(0x30, cat({tlv(0x30, tlv(0x06, v7test::from_hex(hash_oid_hex))),
                             tlv(0xA0, tlv(0x04, Bytes(outer, outer + m)))}));
  Bytes vid_oid = tlv(0x06, v7test::from_hex(kVidOid));
  Bytes user_info = with_vid ? tlv(0x30, tlv(0x30, cat({vid_oid, vid}))) : Bytes();
  Bytes identify_data = tlv(0x30, cat({tlv(0x0C, Bytes{'H', 'o', 'n', 'g'}), user_info}));
  Bytes other_name =
      tlv(0xA0, cat({tlv(0x06, v7test::from_hex(kIdentifyDataOid)), tlv(0xA0, identify_data)}));
  return tlv(0x30, other_name);
}

// Runs the check on user_sign.der with its subjectAltName value replaced by names.
int check_with_names(const Bytes &names, const char *idn, const Bytes &random, ErrorContext *errors) {
  DecodedCert cert("user_sign.der");
  Extension *san = nullptr;
  for (ASN1_LIST *n = cert.cert->tbs.extensions; n != nullptr; n = n->next) {
    auto *e = static_cast<Extension *>(n->element);
    if (oid_to_id(&e->extn_id) == OID_EXT_SUBJECT_ALT_NAME) san = e;
  }
  EXPECT_NE(san, nullptr);
  if (san == nullptr) return -1;
  ASN1_BYTES saved = san->extn_value;
  san->extn_value.data = const_cast<uint8_t *>(names.data());
  san->extn_value.len = uint32_t(names.size());
  int code = check(idn, random, cert.cert.get(), errors);
  san->extn_value = saved;
  return code;
}

TEST(Identity, EveryHashOfTheSchemeAndTheShapesOfIdentityData) {
  const Bytes random = v7test::from_hex(kUserRandomHex);
  const std::string sha1 = "2b0e03021a", has160 = "2a831a8c9a440102", sha256 = "608648016503040201";
  const struct {
    const char *name;
    Bytes names;
    int code;
  } cases[] = {
      {"SHA-1 VID", identity_names(sha1, HASH_SHA1, kUserIdn, random), 0},
      {"HAS-160 VID", identity_names(has160, HASH_HAS160, kUserIdn, random), 0},
      {"SHA-256 VID, other number", identity_names(sha256, HASH_SHA256, "8001011234568", random),
       v7::kErrInconsistentHash},
      {"MD5 is no VID hash", identity_names("2a864886f70d0205", HASH_MD5, kUserIdn, random),
       v7::kErrUnsupportedHash},
      {"identity data without a VID", identity_names(sha1, HASH_SHA1, kUserIdn, random, false),
       v7::kErrNoVid},
      {"a DNS name only", tlv(0x30, tlv(0x82, Bytes{'a', '.', 'k', 'r'})), v7::kErrNoVid},
      {"not GeneralNames", Bytes{0x04, 0x00}, v7::kErrInvalidSubjectAltName},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    ErrorContext errors;
    EXPECT_EQ(check_with_names(c.names, kUserIdn, random, &errors), c.code);
    if (c.code != 0) {
      EXPECT_EQ(errors.newest_code(), c.code);
    }
  }
}

TEST(Identity, RefusesMissingArgumentsAndOversizedInput) {
  DecodedCert cert("user_sign.der");
  const Bytes random = v7test::from_hex(kUserRandomHex);
  ErrorContext errors;
  EXPECT_EQ(cms_check_identity(kUserIdn, random.data(), nullptr, cert.cert.get(), 13, random.size()),
            v7::kErrNoErrorContext);
  EXPECT_EQ(cms_check_identity(nullptr, random.data(), &errors.ctx, cert.cert.get(), 13, random.size()),
            v7::kErrInvalidParameter);
  EXPECT_EQ(cms_check_identity(kUserIdn, random.data(), &errors.ctx, nullptr, 13, random.size()),
            v7::kErrInvalidParameter);
  const Bytes long_random(200, 0x5A);
  EXPECT_EQ(
      cms_check_identity(kUserIdn, long_random.data(), &errors.ctx, cert.cert.get(), 13, long_random.size()),
      v7::kErrInvalidParameter);
  // Lengths a peer made up, whose sum wraps round to a small number: each is refused on its own
  // before anything is read.
  const struct {
    size_t idn_len;
    size_t random_len;
  } wrapping[] = {{SIZE_MAX, 2}, {13, SIZE_MAX - 11}, {SIZE_MAX / 2 + 1, SIZE_MAX / 2 + 1}};
  for (const auto &c : wrapping) {
    errno = 0;
    EXPECT_EQ(
        cms_check_identity(kUserIdn, random.data(), &errors.ctx, cert.cert.get(), c.idn_len, c.random_len),
        v7::kErrInvalidParameter);
    EXPECT_EQ(errno, v7::kErrInvalidParameter);
  }
}

}  // namespace
}  // namespace cmstest
