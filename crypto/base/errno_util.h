// The toolkit reports failures through the calling thread's errno. Setting it must be the last
// step before returning: a cleanup that runs after it (free, close) may overwrite errno itself.
#pragma once

#include <cerrno>

namespace v7 {

// return with_errno(1001, -1);  return with_errno(1200, nullptr);
template <typename T>
inline T with_errno(int code, T result) {
  errno = code;
  return result;
}

// The toolkit's codes (their texts belong to the error tables). Each family appends its own
// block here, so that one number never gets two names.
enum : int {
  kErrOutOfMemory = 1000,
  kErrInvalidParameter = 1001,
  kErrInsufficientBuffer = 1002,

  // Object identifiers.
  kErrUnknownOid = 1050,

  // ASN.1 codec and DER helpers.
  kErrAsn1OidText = 1100,          // OID contents that cannot be written as dotted text
  kErrAsn1EncodeKind = 1102,       // a kind the encoder has no rule for, or an encoding too large
  kErrAsn1EncodeChoice = 1103,     // a CHOICE with no alternative set
  kErrAsn1EncodeAny = 1104,        // an ANY value that is not one whole element
  kErrAsn1EncodeBitString = 1105,
  kErrAsn1EncodeValue = 1106,      // a value without the contents its kind needs
  kErrAsn1TagNotAllowed = 1110,    // a universal tag the mode does not allow
  kErrAsn1InvalidTag = 1111,
  kErrAsn1Decode = 1112,           // truncated input, bytes left over, a missing mandatory item
  kErrAsn1LengthTooLong = 1113,    // more than four length bytes
  kErrAsn1BadLength = 1114,
  kErrAsn1NoShortForm = 1115,
  kErrAsn1Indefinite = 1117,       // an indefinite length where it may not stand
  kErrAsn1Eoc = 1118,              // a zero tag byte that is not a whole end-of-contents pair
  kErrAsn1Boolean = 1121,
  kErrAsn1Integer = 1122,          // a non-minimal INTEGER
  kErrAsn1BitString = 1123,
  kErrAsn1TooDeep = 1124,          // nesting beyond the decoder's depth limit
  kErrAsn1Template = 1125,         // a template whose record size does not hold its fields
  kErrAsn1Oid = 1126,
  kErrAsn1Enumerated = 1127,
  kErrAsn1BooleanLength = 1143,
  kErrAsn1EmptyInteger = 1144,
  kErrAsn1StringSegments = 1145,   // an empty BIT STRING, or segments of a string that do not fit
  kErrAsn1Reserved1146 = 1146,     // listed with the decode errors; no rule raises it
  kErrAsn1Null = 1147,
  kErrAsn1EmptyOid = 1148,
  kErrAsn1EmptyEnumerated = 1149,
  kErrAsn1IntegerTooLong = 1191,
  kErrAsn1UtcTime = 1193,
  kErrAsn1GeneralizedTime = 1194,

  // Digests and ciphers.
  kErrUnsupportedHash = 1200,
  kErrUnsupportedCipher = 1202,
  kErrCrtContext = 1241,
  kErrInvalidIv = 1244,
  kErrIncorrectKey = 1245,
  kErrSymmetricDecrypt = 1246,
  kErrInvalidCipherText = 1247,
  kErrUnsupportedCipherMode = 1248,
  kErrUnsupportedPadding = 1249,
  kErrNoHmacKey = 1260,

  // RSA keys, raw operations and block encodings.
  kErrInsufficientMemory = 1204,         // output capacity too small (type-1 and PSS encoders)
  kErrRsaContext = 1210,
  kErrRsaNoKey = 1211,
  kErrRsaIncorrectKey = 1213,
  kErrRsaTooLongData = 1215,
  kErrRsaSignNoPrivateKey = 1216,
  kErrRsaDecryptNoPrivateKey = 1218,
  kErrSignatureEncode = 1220,
  kErrVerifySignature = 1221,
  kErrEncodeEme = 1222,
  kErrDecodeEme = 1223,
  kErrIncorrectOaepParameter = 1225,
  kErrSignatureHashMismatch = 1228,

  // Random generators.
  kErrRandomContext = 1265,
  kErrRandomContextCreate = 10090,

  // Error context.
  kErrNoErrorContext = 1310,
  kErrNoNodeInErrorContext = 1312,
  kErrNoSubNodeInErrorContext = 1313,

  // Relay records and transport.
  kErrRelayMalformed = 12,         // malformed record content, or an unusable HTTP response head
  kErrRelayShortRecord = 512,      // record too short, or its lengths inconsistent
  kErrRelayBadItems = 515,         // an item list that breaks the item rules
  kErrRelayRecvFailed = 21616,     // the connection closed or failed before the reply was complete
  kErrRelayNetworkTimeout = 21621,

  // Text conversion and files.
  kErrFileOpen = 1003,
  kErrFileRead = 1004,
  kErrFileWrite = 1005,
  kErrFileNotFound = 1009,
  kErrUnicodeTranslation = 1302,  // UTF-8 to or from EUC-KR
  kErrEuckrToWide = 33002,
  kErrWideToEuckr = 33003,
  kErrUtf8ToWide = 33004,
  kErrWideToUtf8 = 33005,
  kErrBrokerCreate = 32800,  // no protected-mode broker to write through
  // Protected-mode broker.
  kErrBrokerPath = 10702,       // a path the broker may not receive
  kErrBrokerBrowse = 32802,     // the broker's file choice failed
  kErrBrokerWrite = 32804,      // the broker's write failed
  kErrBrokerMakeDir = 32805,    // the broker's folder creation failed
  kErrUserCancelled = 21500,    // the user cancelled (the broker's file choice)
  kErrnoInvalid = 22,        // the bounded string operations use the platform's errno values
  kErrnoRange = 34,
};

}  // namespace v7
