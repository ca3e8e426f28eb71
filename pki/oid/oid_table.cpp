// The object-id table. Each row is written as dotted text, the form the registries publish, and
// its DER contents are derived from it when the table is compiled, so the two cannot disagree.
#include <cstring>

#include "pki/oid/internal.h"
#include "pki/oid/oid.h"

namespace v7 {
namespace {

// X.690 contents octets of a dotted identifier: the first two arcs share one subidentifier
// (40 x first + second), every subidentifier is base-128, most significant group first, with the
// top bit set on all groups but the last. A row that does not encode leaves len 0, which the
// static_assert below turns into a build failure.
constexpr OidEntry encode(int id, const char *dotted, const char *name, const char *title_en,
                          const char *title_ko, const char *title_ko_euckr) {
  OidEntry e{id, dotted, name, title_en, title_ko, title_ko_euckr, 0, {}};
  uint64_t arcs[16] = {};
  size_t count = 0;
  for (const char *p = dotted;; p++) {
    if (*p < '0' || *p > '9' || count == 16) return e;
    uint64_t v = 0;
    for (; *p >= '0' && *p <= '9'; p++) v = v * 10 + uint64_t(*p - '0');
    arcs[count++] = v;
    if (*p == 0) break;
    if (*p != '.') return e;
  }
  if (count < 2 || arcs[0] > 2 || (arcs[0] < 2 && arcs[1] >= 40)) return e;
  size_t len = 0;
  for (size_t i = 1; i < count; i++) {
    uint64_t v = i == 1 ? arcs[0] * 40 + arcs[1] : arcs[i];
    uint8_t groups[10] = {};
    size_t n = 0;
    do {
      groups[n++] = uint8_t(v & 0x7f);
      v >>= 7;
    } while (v != 0);
    if (len + n > kOidMaxContents) return e;
    while (n > 0) {
      n--;
      e.contents[len++] = uint8_t(groups[n] | (n != 0 ? 0x80 : 0));
    }
  }
  e.len = uint8_t(len);
  return e;
}

constexpr OidEntry plain(int id, const char *dotted) {
  return encode(id, dotted, nullptr, nullptr, nullptr, nullptr);
}
constexpr OidEntry named(int id, const char *dotted, const char *name) {
  return encode(id, dotted, name, nullptr, nullptr, nullptr);
}
// The Korean title twice: in UTF-8 and in EUC-KR, so that no conversion (and no allocation) is
// needed to hand out a constant text in the encoding of the settings.
constexpr OidEntry titled(int id, const char *dotted, const char *en, const char *ko, const char *ko_euckr) {
  return encode(id, dotted, nullptr, en, ko, ko_euckr);
}

constexpr OidEntry kTable[] = {
    named(OID_PBKDF2, "1.2.840.113549.1.5.12", "PBKDF2"),
    named(OID_PBES2, "1.2.840.113549.1.5.13", "PBES2"),
    named(OID_PBMAC1, "1.2.840.113549.1.5.14", "PBMAC1"),
    named(OID_PKCS7_DATA, "1.2.840.113549.1.7.1", "PKCS7_Data"),
    named(OID_PKCS7_SIGNED, "1.2.840.113549.1.7.2", "PKCS7_Signed"),
    named(OID_PKCS7_ENVELOPED, "1.2.840.113549.1.7.3", "PKCS7_Enveloped"),
    named(OID_PKCS7_SIGNED_ENVELOPED, "1.2.840.113549.1.7.4", "PKCS7_SignEnv"),
    named(OID_PKCS7_DIGESTED, "1.2.840.113549.1.7.5", "PKCS7_Digested"),
    named(OID_PKCS7_ENCRYPTED, "1.2.840.113549.1.7.6", "PKCS7_Encrypted"),
    named(OID_AT_COMMON_NAME, "2.5.4.3", "cn"),
    named(OID_AT_SURNAME, "2.5.4.4", "sn"),
    named(OID_AT_COUNTRY, "2.5.4.6", "c"),
    named(OID_AT_LOCALITY, "2.5.4.7", "l"),
    plain(OID_AT_STATE, "2.5.4.8"),
    named(OID_AT_ORGANIZATION, "2.5.4.10", "o"),
    named(OID_AT_ORG_UNIT, "2.5.4.11", "ou"),
    named(OID_AT_EMAIL, "1.2.840.113549.1.9.1", "e"),
    named(OID_AT_SERIAL_NUMBER, "2.5.4.5", "serial"),
    named(OID_AT_STREET, "2.5.4.9", "street"),
    titled(OID_EXT_SUBJECT_DIR_ATTRS, "2.5.29.9", "Subject Directory Attributes", "소유자 디렉토리 정보",
           "\xbc\xd2\xc0\xaf\xc0\xda\x20\xb5\xf0\xb7\xba\xc5\xe4\xb8\xae\x20\xc1\xa4\xba\xb8"),
    titled(OID_EXT_SUBJECT_KEY_ID, "2.5.29.14", "Subject Key Identifier", "소유자키 식별자",
           "\xbc\xd2\xc0\xaf\xc0\xda\xc5\xb0\x20\xbd\xc4\xba\xb0\xc0\xda"),
    titled(OID_EXT_KEY_USAGE, "2.5.29.15", "Key Usage", "키사용 용도",
           "\xc5\xb0\xbb\xe7\xbf\xeb\x20\xbf\xeb\xb5\xb5"),
    titled(OID_EXT_PRIVATE_KEY_USAGE_PERIOD, "2.5.29.16", "Private Key Usage Period",
           "소유자 비밀키 유효기간",
           "\xbc\xd2\xc0\xaf\xc0\xda\x20\xba\xf1\xb9\xd0\xc5\xb0\x20\xc0\xaf\xc8\xbf\xb1\xe2\xb0\xa3"),
    titled(OID_EXT_SUBJECT_ALT_NAME, "2.5.29.17", "Subject Alternative Name", "소유자 대체명",
           "\xbc\xd2\xc0\xaf\xc0\xda\x20\xb4\xeb\xc3\xbc\xb8\xed"),
    titled(OID_EXT_ISSUER_ALT_NAME, "2.5.29.18", "Issuer Alternative Name", "발급자 대체명",
           "\xb9\xdf\xb1\xde\xc0\xda\x20\xb4\xeb\xc3\xbc\xb8\xed"),
    titled(OID_EXT_BASIC_CONSTRAINTS, "2.5.29.19", "Basic Constraints", "기본제한",
           "\xb1\xe2\xba\xbb\xc1\xa6\xc7\xd1"),
    titled(OID_EXT_CRL_NUMBER, "2.5.29.20", "CRL Number", "인증서폐지목록 번호",
           "\xc0\xce\xc1\xf5\xbc\xad\xc6\xf3\xc1\xf6\xb8\xf1\xb7\xcf\x20\xb9\xf8\xc8\xa3"),
    titled(OID_EXT_CRL_REASON, "2.5.29.21", "Revoked Reasons", "인증서 폐지사유",
           "\xc0\xce\xc1\xf5\xbc\xad\x20\xc6\xf3\xc1\xf6\xbb\xe7\xc0\xaf"),
    titled(OID_EXT_ISSUING_DIST_POINT, "2.5.29.28", "Issuing Distribution Points",
           "인증서폐지목록 발급 분배점",
           "\xc0\xce\xc1\xf5\xbc\xad\xc6\xf3\xc1\xf6\xb8\xf1\xb7\xcf\x20\xb9\xdf\xb1\xde\x20\xba\xd0\xb9\xe8"
           "\xc1\xa1"),
    titled(OID_EXT_CERT_ISSUER, "2.5.29.29", "Certificate Issuer", "인증서 발급자",
           "\xc0\xce\xc1\xf5\xbc\xad\x20\xb9\xdf\xb1\xde\xc0\xda"),
    titled(OID_EXT_NAME_CONSTRAINTS, "2.5.29.30", "Name Constraints", "이름제한",
           "\xc0\xcc\xb8\xa7\xc1\xa6\xc7\xd1"),
    titled(OID_EXT_CRL_DIST_POINTS, "2.5.29.31", "CRL Distribution Points", "인증서폐지목록 획득위치",
           "\xc0\xce\xc1\xf5\xbc\xad\xc6\xf3\xc1\xf6\xb8\xf1\xb7\xcf\x20\xc8\xb9\xb5\xe6\xc0\xa7\xc4\xa1"),
    titled(OID_EXT_CERT_POLICIES, "2.5.29.32", "Ceritificate Policies", "인증서 정책",
           "\xc0\xce\xc1\xf5\xbc\xad\x20\xc1\xa4\xc3\xa5"),
    titled(OID_EXT_POLICY_MAPPINGS, "2.5.29.33", "Policy Mapping", "인증서 정책매핑",
           "\xc0\xce\xc1\xf5\xbc\xad\x20\xc1\xa4\xc3\xa5\xb8\xc5\xc7\xce"),
    titled(OID_EXT_AUTHORITY_KEY_ID, "2.5.29.35", "Authority Key Identifier", "발급자키 식별자",
           "\xb9\xdf\xb1\xde\xc0\xda\xc5\xb0\x20\xbd\xc4\xba\xb0\xc0\xda"),
    titled(OID_EXT_POLICY_CONSTRAINTS, "2.5.29.36", "Policy Constraints", "정책제한",
           "\xc1\xa4\xc3\xa5\xc1\xa6\xc7\xd1"),
    titled(OID_EXT_EXT_KEY_USAGE, "2.5.29.37", "Extended Key Usage", "확장 키사용용도",
           "\xc8\xae\xc0\xe5\x20\xc5\xb0\xbb\xe7\xbf\xeb\xbf\xeb\xb5\xb5"),
    titled(OID_EXT_AUTHORITY_INFO_ACCESS, "1.3.6.1.5.5.7.1.1", "Authority Information Access",
           "발급자정보접근", "\xb9\xdf\xb1\xde\xc0\xda\xc1\xa4\xba\xb8\xc1\xa2\xb1\xd9"),
    titled(OID_QT_CPS, "1.3.6.1.5.5.7.2.1", "Certification Practice Statement", "추가정보",
           "\xc3\xdf\xb0\xa1\xc1\xa4\xba\xb8"),
    titled(OID_QT_UNOTICE, "1.3.6.1.5.5.7.2.2", "User Notice", "사용자알림",
           "\xbb\xe7\xbf\xeb\xc0\xda\xbe\xcb\xb8\xb2"),
    titled(OID_KP_TIME_STAMPING, "1.3.6.1.5.5.7.3.8", "Time Stamp Authority", "시점확인",
           "\xbd\xc3\xc1\xa1\xc8\xae\xc0\xce"),
    named(OID_AD_OCSP, "1.3.6.1.5.5.7.48.1", "OCSP"),
    named(OID_OCSP_NONCE, "1.3.6.1.5.5.7.48.1.2", "OCSP Nonce"),
    titled(OID_KISA_IDENTIFY_DATA, "1.2.410.200004.10.1.1", "Identification Data", "본인확인정보",
           "\xba\xbb\xc0\xce\xc8\xae\xc0\xce\xc1\xa4\xba\xb8"),
    titled(OID_KISA_VID, "1.2.410.200004.10.1.1.1", "Virtual ID", "가상식별번호",
           "\xb0\xa1\xbb\xf3\xbd\xc4\xba\xb0\xb9\xf8\xc8\xa3"),
    titled(OID_KISA_RANDOM_NUM, "1.2.410.200004.10.1.1.3", "Virtual ID Random Value", "가상식별번호 난수",
           "\xb0\xa1\xbb\xf3\xbd\xc4\xba\xb0\xb9\xf8\xc8\xa3\x20\xb3\xad\xbc\xf6"),
    plain(OID_CERT_TYPE_X509, "1.2.840.113549.1.9.22.1"),
    plain(OID_P12_KEY_BAG, "1.2.840.113549.1.12.10.1.1"),
    plain(OID_P12_SHROUDED_KEY_BAG, "1.2.840.113549.1.12.10.1.2"),
    plain(OID_P12_CERT_BAG, "1.2.840.113549.1.12.10.1.3"),
    plain(OID_KR_200005_1_10_1, "1.2.410.200005.1.10.1"),
    plain(OID_KR_200005_1_10_2, "1.2.410.200005.1.10.2"),
    plain(OID_KR_200005_1_13_1_1, "1.2.410.200005.1.13.1.1"),
    // postalCode is a name attribute, but its id sits here, after the other types.
    named(OID_AT_POSTAL_CODE, "2.5.4.17", "postalCode"),
    plain(OID_SEED_ECB, "1.2.410.200004.1.3"),
    plain(OID_SEED_CBC, "1.2.410.200004.1.4"),
    plain(OID_SEED_OFB, "1.2.410.200004.1.5"),
    plain(OID_SEED_CFB, "1.2.410.200004.1.6"),
    plain(OID_DES_ECB, "1.3.14.3.2.6"),
    plain(OID_DES_CBC, "1.3.14.3.2.7"),
    plain(OID_DES_OFB, "1.3.14.3.2.8"),
    plain(OID_DES_CFB, "1.3.14.3.2.9"),
    plain(OID_DES_EDE3_CBC, "1.2.840.113549.3.7"),
    plain(OID_RC2_ECB, "1.2.840.113549.3.3"),
    plain(OID_RC2_CBC, "1.2.840.113549.3.2"),
    plain(OID_RC4, "1.2.840.113549.3.4"),
    plain(OID_KR_100001_1_18, "1.2.410.100001.1.18"),
    plain(OID_KR_100001_1_19, "1.2.410.100001.1.19"),
    plain(OID_KR_100001_1_20, "1.2.410.100001.1.20"),
    plain(OID_KR_100001_1_21, "1.2.410.100001.1.21"),
    plain(OID_KR_100001_1_22, "1.2.410.100001.1.22"),
    plain(OID_KR_100001_1_23, "1.2.410.100001.1.23"),
    named(OID_SHA1, "1.3.14.3.2.26", "SHA1"),
    named(OID_SHA256, "2.16.840.1.101.3.4.2.1", "SHA256"),
    plain(OID_SHA384, "2.16.840.1.101.3.4.2.2"),
    plain(OID_SHA512, "2.16.840.1.101.3.4.2.3"),
    plain(OID_SHA224, "2.16.840.1.101.3.4.2.4"),
    plain(OID_MD5, "1.2.840.113549.2.5"),
    plain(OID_HAS160, "1.2.410.200004.1.2"),
    named(OID_RSA_ENCRYPTION, "1.2.840.113549.1.1.1", "rsaEncryption"),
    plain(OID_KCDSA, "1.2.410.200004.1.1"),
    plain(OID_HMAC_SHA1, "1.2.840.113549.2.7"),
    plain(OID_HMAC_SHA224, "1.2.840.113549.2.8"),
    plain(OID_HMAC_SHA256, "1.2.840.113549.2.9"),
    plain(OID_HMAC_SHA384, "1.2.840.113549.2.10"),
    plain(OID_HMAC_SHA512, "1.2.840.113549.2.11"),
    plain(OID_SEED_MAC, "1.2.410.200004.1.7"),
    plain(OID_RC4_WITH_MAC, "1.2.840.113549.3.5"),
    plain(OID_PBE_SHA1_SEED_ECB, "1.2.410.200004.1.14"),
    plain(OID_PBE_SHA1_SEED_CBC, "1.2.410.200004.1.15"),
    plain(OID_PBE_SHA1_SEED_CFB, "1.2.410.200004.1.16"),
    plain(OID_PBE_SHA1_SEED_OFB, "1.2.410.200004.1.17"),
    plain(OID_PBE_SHA256_SEED_ECB, "1.2.410.200004.1.32"),
    plain(OID_PBE_SHA256_SEED_CBC, "1.2.410.200004.1.33"),
    plain(OID_PBE_SHA256_SEED_CFB, "1.2.410.200004.1.34"),
    plain(OID_PBE_SHA256_SEED_OFB, "1.2.410.200004.1.35"),
    plain(OID_PBE_HAS160_SEED_ECB, "1.2.410.200004.1.10"),
    plain(OID_PBE_HAS160_SEED_CBC, "1.2.410.200004.1.11"),
    plain(OID_PBE_HAS160_SEED_CFB, "1.2.410.200004.1.12"),
    plain(OID_PBE_HAS160_SEED_OFB, "1.2.410.200004.1.13"),
    named(OID_SHA1_WITH_RSA, "1.2.840.113549.1.1.5", "SHA1WithRSAEncryption"),
    named(OID_SHA256_WITH_RSA, "1.2.840.113549.1.1.11", "SHA256WithRSAEncryption"),
    named(OID_SHA384_WITH_RSA, "1.2.840.113549.1.1.12", "SHA384WithRSAEncryption"),
    named(OID_SHA512_WITH_RSA, "1.2.840.113549.1.1.13", "SHA512WithRSAEncryption"),
    named(OID_MD5_WITH_RSA, "1.2.840.113549.1.1.4", "MD5WithRSAEncryption"),
    named(OID_RSA_WITH_HAS160, "1.2.410.200004.1.20", "rsaWithHAS160"),
    named(OID_KCDSA_WITH_HAS160, "1.2.410.200004.1.8", "kcdsaWithHAS160"),
    named(OID_KCDSA_WITH_SHA1, "1.2.410.200004.1.9", "kcdsaWithSHA1"),
    named(OID_KCDSA_WITH_SHA256, "1.2.410.200004.1.27", "kcdsaWithSHA256"),
    named(OID_ECDSA_WITH_HAS160, "1.2.410.200004.1.24", "ecdsaWithHAS160"),
    plain(OID_PBE_MD5_DES_CBC, "1.2.840.113549.1.5.3"),
    plain(OID_PBE_MD5_RC2_CBC, "1.2.840.113549.1.5.6"),
    plain(OID_PBE_SHA1_DES_CBC, "1.2.840.113549.1.5.10"),
    plain(OID_PBE_SHA1_RC2_CBC, "1.2.840.113549.1.5.11"),
    plain(OID_P12_PBE_SHA_RC4_128, "1.2.840.113549.1.12.1.1"),
    plain(OID_P12_PBE_SHA_RC4_40, "1.2.840.113549.1.12.1.2"),
    plain(OID_P12_PBE_SHA_3DES_CBC, "1.2.840.113549.1.12.1.3"),
    plain(OID_P12_PBE_SHA_2DES_CBC, "1.2.840.113549.1.12.1.4"),
    plain(OID_P12_PBE_SHA_RC2_128_CBC, "1.2.840.113549.1.12.1.5"),
    plain(OID_P12_PBE_SHA_RC2_40_CBC, "1.2.840.113549.1.12.1.6"),
    plain(OID_RSA_OAEP_SET, "1.2.840.113549.1.1.6"),
    plain(OID_RSAES_OAEP, "1.2.840.113549.1.1.7"),
    plain(OID_MGF1, "1.2.840.113549.1.1.8"),
};

constexpr size_t kCount = sizeof(kTable) / sizeof(kTable[0]);

constexpr bool table_is_sound() {
  for (size_t i = 0; i < kCount; i++) {
    if (kTable[i].len == 0) return false;
    if (i > 0 && kTable[i - 1].id >= kTable[i].id) return false;  // id order, no id twice
  }
  return true;
}
static_assert(table_is_sound(), "every row encodes, and the rows are in strictly increasing id order");

}  // namespace

const OidEntry *oid_table(size_t *count) {
  *count = kCount;
  return kTable;
}

const OidEntry *oid_entry_by_id(int id) {
  size_t lo = 0, hi = kCount;
  while (lo < hi) {
    size_t mid = lo + (hi - lo) / 2;
    if (kTable[mid].id == id) return &kTable[mid];
    if (kTable[mid].id < id)
      lo = mid + 1;
    else
      hi = mid;
  }
  return nullptr;
}

const OidEntry *oid_entry_by_contents(const uint8_t *contents, size_t len) {
  if (len == 0 || len > kOidMaxContents) return nullptr;
  for (const OidEntry &e : kTable)
    if (e.len == len && std::memcmp(e.contents, contents, len) == 0) return &e;
  return nullptr;
}

}  // namespace v7
