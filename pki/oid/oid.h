// Object identifiers as the toolkit's small integer object ids, and their display names.
//
// Decoded structures carry an OBJECT IDENTIFIER as its DER contents octets. They are mapped to an
// object id once, by oid_to_id, and every algorithm switch, attribute lookup and extension handler
// then works on the id. The ids of algorithms are the toolkit's algorithm ids:
// hash_type_from_alg_id (crypto/hash/hash.h) reads the digest out of them, so their numbers are
// fixed.
//
// Results follow the toolkit's rule: a value on success, 0 (or null) on failure with the code in
// errno: kErrInvalidParameter, kErrInsufficientBuffer, kErrUnknownOid, and the
// codes of oid_to_text for dotted text.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pki/asn1/asn1.h"

// An object id; 0 is unknown. Stored files and other components carry these numbers.
enum : int {
  OID_UNKNOWN = 0,

  // Password-based schemes and PKCS#7 content types.
  OID_PBKDF2 = 1,
  OID_PBES2 = 2,
  OID_PBMAC1 = 3,
  OID_PKCS7_DATA = 4,
  OID_PKCS7_SIGNED = 5,
  OID_PKCS7_ENVELOPED = 6,
  OID_PKCS7_SIGNED_ENVELOPED = 7,
  OID_PKCS7_DIGESTED = 8,
  OID_PKCS7_ENCRYPTED = 9,

  // Name attributes. postalCode came later and sits apart from the others.
  OID_AT_COMMON_NAME = 16,
  OID_AT_SURNAME = 17,
  OID_AT_COUNTRY = 18,
  OID_AT_LOCALITY = 19,
  OID_AT_STATE = 20,
  OID_AT_ORGANIZATION = 21,
  OID_AT_ORG_UNIT = 22,
  OID_AT_EMAIL = 23,
  OID_AT_SERIAL_NUMBER = 24,
  OID_AT_STREET = 25,
  OID_AT_POSTAL_CODE = 258,

  // Certificate and CRL extensions, policy qualifiers, key purposes and access methods.
  OID_EXT_SUBJECT_DIR_ATTRS = 32,
  OID_EXT_SUBJECT_KEY_ID = 33,
  OID_EXT_KEY_USAGE = 34,
  OID_EXT_PRIVATE_KEY_USAGE_PERIOD = 35,
  OID_EXT_SUBJECT_ALT_NAME = 36,
  OID_EXT_ISSUER_ALT_NAME = 37,
  OID_EXT_BASIC_CONSTRAINTS = 38,
  OID_EXT_CRL_NUMBER = 39,
  OID_EXT_CRL_REASON = 40,
  OID_EXT_ISSUING_DIST_POINT = 41,
  OID_EXT_CERT_ISSUER = 42,
  OID_EXT_NAME_CONSTRAINTS = 43,
  OID_EXT_CRL_DIST_POINTS = 44,
  OID_EXT_CERT_POLICIES = 45,
  OID_EXT_POLICY_MAPPINGS = 46,
  OID_EXT_AUTHORITY_KEY_ID = 47,
  OID_EXT_POLICY_CONSTRAINTS = 48,
  OID_EXT_EXT_KEY_USAGE = 49,
  OID_EXT_AUTHORITY_INFO_ACCESS = 50,
  OID_QT_CPS = 51,
  OID_QT_UNOTICE = 52,
  OID_KP_TIME_STAMPING = 53,
  OID_AD_OCSP = 54,
  OID_OCSP_NONCE = 55,

  // Identity data of the accredited-certificate scheme.
  OID_KISA_IDENTIFY_DATA = 64,
  OID_KISA_VID = 65,
  OID_KISA_RANDOM_NUM = 66,

  // PKCS#12 bag and certificate types, and three identifiers of the 1.2.410.200005 arc.
  OID_CERT_TYPE_X509 = 80,
  OID_P12_KEY_BAG = 81,
  OID_P12_SHROUDED_KEY_BAG = 82,
  OID_P12_CERT_BAG = 83,
  OID_KR_200005_1_10_1 = 84,
  OID_KR_200005_1_10_2 = 85,
  OID_KR_200005_1_13_1_1 = 86,

  // Symmetric ciphers with their modes.
  OID_SEED_ECB = 4096,
  OID_SEED_CBC = 4097,
  OID_SEED_OFB = 4098,
  OID_SEED_CFB = 4099,
  OID_DES_ECB = 4100,
  OID_DES_CBC = 4101,
  OID_DES_OFB = 4102,
  OID_DES_CFB = 4103,
  OID_DES_EDE3_CBC = 4104,
  OID_RC2_ECB = 4105,
  OID_RC2_CBC = 4106,
  OID_RC4 = 4107,
  OID_KR_100001_1_18 = 4112,  // six ciphers of the 1.2.410.100001.1 arc, .18 to .23
  OID_KR_100001_1_19 = 4113,
  OID_KR_100001_1_20 = 4114,
  OID_KR_100001_1_21 = 4115,
  OID_KR_100001_1_22 = 4116,
  OID_KR_100001_1_23 = 4117,

  // Digests. 4357 and 4358 are reserved for digests this toolkit does not have.
  OID_SHA1 = 4352,
  OID_SHA256 = 4353,
  OID_SHA384 = 4354,
  OID_SHA512 = 4355,
  OID_SHA224 = 4356,
  OID_MD5 = 4359,
  OID_HAS160 = 4360,

  // Public-key algorithms.
  OID_RSA_ENCRYPTION = 4608,
  OID_KCDSA = 4609,

  // MAC algorithms.
  OID_HMAC_SHA1 = 4864,
  OID_HMAC_SHA224 = 4865,
  OID_HMAC_SHA256 = 4866,
  OID_HMAC_SHA384 = 4867,
  OID_HMAC_SHA512 = 4868,
  OID_SEED_MAC = 4869,
  OID_RC4_WITH_MAC = 4870,

  // Password-based encryption with SEED, four modes (ECB, CBC, CFB, OFB) per digest.
  OID_PBE_SHA1_SEED_ECB = 5120,
  OID_PBE_SHA1_SEED_CBC = 5121,
  OID_PBE_SHA1_SEED_CFB = 5122,
  OID_PBE_SHA1_SEED_OFB = 5123,
  OID_PBE_SHA256_SEED_ECB = 5124,
  OID_PBE_SHA256_SEED_CBC = 5125,
  OID_PBE_SHA256_SEED_CFB = 5126,
  OID_PBE_SHA256_SEED_OFB = 5127,
  OID_PBE_HAS160_SEED_ECB = 5128,
  OID_PBE_HAS160_SEED_CBC = 5129,
  OID_PBE_HAS160_SEED_CFB = 5130,
  OID_PBE_HAS160_SEED_OFB = 5131,

  // Signature algorithms. 5380 and 5381 are reserved.
  OID_SHA1_WITH_RSA = 5376,
  OID_SHA256_WITH_RSA = 5377,
  OID_SHA384_WITH_RSA = 5378,
  OID_SHA512_WITH_RSA = 5379,
  OID_MD5_WITH_RSA = 5382,
  OID_RSA_WITH_HAS160 = 5383,
  OID_KCDSA_WITH_HAS160 = 5384,
  OID_KCDSA_WITH_SHA1 = 5385,
  OID_KCDSA_WITH_SHA256 = 5386,
  OID_ECDSA_WITH_HAS160 = 5387,

  // PKCS#5 v1.5 and PKCS#12 password-based encryption.
  OID_PBE_MD5_DES_CBC = 5633,
  OID_PBE_MD5_RC2_CBC = 5635,
  OID_PBE_SHA1_DES_CBC = 5636,
  OID_PBE_SHA1_RC2_CBC = 5637,
  OID_P12_PBE_SHA_RC4_128 = 5638,
  OID_P12_PBE_SHA_RC4_40 = 5639,
  OID_P12_PBE_SHA_3DES_CBC = 5640,
  OID_P12_PBE_SHA_2DES_CBC = 5641,
  OID_P12_PBE_SHA_RC2_128_CBC = 5642,
  OID_P12_PBE_SHA_RC2_40_CBC = 5643,

  // RSA encryption schemes and the mask generation function.
  OID_RSA_OAEP_SET = 5888,
  OID_RSAES_OAEP = 5889,
  OID_MGF1 = 5904,
};

// The object id of an OBJECT IDENTIFIER's contents octets. Whole contents are compared: an
// identifier that extends a known one by further arcs is unknown. 0 with kErrUnknownOid for an
// identifier not in the table, 0 with kErrInvalidParameter for a null value or null data.
int oid_to_id(const ASN1_BYTES *oid);

// The display name of an id, or null (errno untouched) when it has none, so that callers show
// the dotted form instead. Algorithms, content types and name attributes have one short name;
// extension and qualifier titles follow LanguageId (18: Korean) and, in Korean, come in the narrow
// encoding that CharEncodingMode names (1: UTF-8, else EUC-KR), like every other text the toolkit
// hands out. The texts are constants and are never freed.
const char *oid_id_name(int id);

// The name of the identifier if it has one, else its dotted-decimal text (oid_to_text). A null
// output returns the length the text needs. Otherwise the text and a terminator are written when
// the text is shorter than capacity, and its length is returned; 0 with kErrInsufficientBuffer when
// it is not. 0 with kErrInvalidParameter for an absent value.
int oid_name_to_buf(size_t capacity, const ASN1_BYTES *oid, char *output);

// The reverse mapping, for encoders that write an AlgorithmIdentifier or a content type: the
// contents octets of an id (constant, never freed) with their number in *len. Null with
// kErrUnknownOid for an id not in the table, null with kErrInvalidParameter for a null len.
const uint8_t *oid_id_contents(int id, size_t *len);
