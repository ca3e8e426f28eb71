// The library's error codes: one table for every layer, below all of them.
#pragma once

namespace v7 {

// Every code the library leaves in errno or keeps as a session's error, one block per family and
// band, so that one number never gets two names. Their texts belong to the error tables.
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

  // Password-based private-key encryption and the VID random attribute of a private key.
  kErrNoVidRandom = 1400,               // no VID random attribute in the list
  kErrNoVidRandomInKey = 1401,          // no VID random attribute in the private key
  kErrInvalidPkcs5Format = 1451,        // key-derivation parameters the schemes do not allow
  kErrKeyNotOpened = 1453,              // a chosen key file did not open with the password given
  kErrUnsupportedCipherDecrypt = 15150, // an unknown scheme tried as SEED-CBC did not decrypt

  // Key objects: private-key, public-key and session-key objects.
  kErrInternal = 1013,                       // an output length that would overflow
  kErrUnsupportedPublicKeyAlgorithm = 1201,  // also a scheme id without an RSA encoding
  kErrNoCryptoContext = 15100,               // no RSA key in the object
  kErrKeyCtxUnsupportedKeyFormat = 11931,
  kErrKeyCtxUnsupportedKeyRefer = 11932,     // a credential's check word does not match its kind
  kErrKeyCtxUnsupportedOption = 11933,
  kErrKeyCtxPasswordRequired = 11934,
  kErrPubKeyUnsupportedOption = 11110,
  kErrPubKeyUnsupportedKeyFormat = 11111,
  kErrPubKeyUnsupportedKeyRefer = 11112,
  kErrNullSessionContext = 11300,
  kErrNullCrtContext = 11320,
  kErrCrtCreate = 10110,
  kErrCrtSetMode = 10111,
  kErrCrtSetKey = 10112,
  kErrCrtEncrypt = 10113,
  kErrCrtDecrypt = 10114,

  // Error context.
  kErrNoErrorContext = 1310,
  kErrNoNodeInErrorContext = 1312,
  kErrNoSubNodeInErrorContext = 1313,

  // Relay records and transport.
  kErrRelayMalformed = 12,         // malformed record content, or an unusable HTTP response head
  kErrRelayShortRecord = 512,      // record too short, or its lengths inconsistent
  kErrRelayBadItems = 515,         // an item list that breaks the item rules
  // The relay session's own codes (last and previous error, and the alert classes the peer sees).
  // 1 and 2 come from the relay server, 517-519 from a peer that failed to store the set.
  kErrRelayAuthCodeWrong = 1,
  kErrRelayAuthCodeExpired = 2,
  kErrRelayVersion = 11,            // protocol version not acceptable
  kErrRelayAlertServerDecrypt = 14, // class: a record from the server did not decrypt
  kErrRelayServerCert = 15,         // relay certificate not valid, or not the expected subject
  kErrRelayVersionBytes = 16,       // a record's version bytes differ from the session's
  kErrRelayAlertOther = 31,         // class: every code without a class of its own
  kErrRelayAlertPeerRecord = 42,    // class: a malformed end-to-end record
  kErrRelayTargetSignature = 43,
  kErrRelayIdentity = 44,
  kErrRelayAlertDecrypt = 45,       // class: an end-to-end record did not decrypt
  kErrRelayAlertImport = 46,        // class: the certificate set cannot be taken over
  kErrRelayNoMemory = 256,
  kErrRelayMissing = 257,           // missing argument or record
  kErrRelaySettings = 258,
  kErrRelayNoErrorContext = 259,
  kErrRelayValidationContext = 260,
  kErrRelayPublicKey = 272,
  kErrRelayPrivateKey = 273,
  kErrRelaySessionKey = 274,
  kErrRelaySessionKeyBody = 275,
  kErrRelayRandom = 276,
  kErrRelayKeyMaterial = 277,
  kErrRelayRsaEncrypt = 278,
  kErrRelayRsaDecrypt = 279,
  kErrRelayEnvelopeEncrypt = 280,
  kErrRelayEnvelopeDecrypt = 281,
  kErrRelayKeyPassword = 289,
  kErrRelayKeyReencrypt = 290,
  kErrRelaySignFreshKey = 291,
  kErrRelayDigest = 292,
  kErrRelayMacKey = 293,
  kErrRelayMacMismatch = 294,
  kErrRelayMacMissing = 295,
  kErrRelayUnexpectedType = 513,
  kErrRelayPeerAlert = 514,
  kErrRelaySubjectText = 516,
  kErrRelayStoreLocation = 517,
  kErrRelayStoreSign = 518,
  kErrRelayStoreKm = 519,
  kErrRelayRecvFailed = 21616,     // the connection closed or failed before the reply was complete
  kErrRelayNetworkTimeout = 21621,  // no answer in time: a probe, a connect, or a reply stalled half-way
  // Not an errno value: what the worker's exchange of one record returns when the connection failed.
  kErrRelayLostConnection = -10,

  // Text conversion and files.
  kErrFileOpen = 1003,
  kErrFileRead = 1004,
  kErrFileWrite = 1005,
  kErrFileNotFound = 1009,
  kErrDirSearch = 1015,  // a folder that exists (or may) but cannot be searched
  kErrUnicodeTranslation = 1302,  // UTF-8 to or from EUC-KR
  kErrWideToNarrow = 33001,  // a wide text (a chosen path) that has no narrow form
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
  // Directory client and its file cache.
  kErrDirCreate = 1006,            // the cache folders cannot be created
  kErrFilePathTooLong = 1007,
  kErrForbiddenFilePath = 1016,    // a cache name that would leave its folder
  kErrLdapConnect = 1500,          // the socket layer did not start, or no address connected
  kErrLdapBind = 1501,
  kErrLdapSend = 1502,
  kErrLdapRecv = 1503,             // receive failed, timed out, or an unusable message length
  kErrLdapSearch = 1504,           // no entry, no matching attribute or no usable value
  kErrLdapUrl = 1505,
  kErrLdapResolve = 1506,
  kErrLdapTimeLimit = 1507,        // a fetch, or the fetches of one lookup, ran out of their time
  kErrConnectTimeout = 10060,      // the Winsock number of a connect that did not finish in time
  kErrNoRequestRecord = 12900,     // the wizard was started without the caller's request record
  // Validation settings.
  kErrConfigUnsupportedKey = 12904,
  kErrConfigInvalidValue = 12905,
  kErrConfigTrustAnchors = 12911,  // the built-in roots could not be read
  kErrInvalidConfig = 12922,
  kErrnoInvalid = 22,        // the bounded string operations use the platform's errno values
  kErrnoRange = 34,

  // PKCS#12 import.
  kErrPkcs12Format = 1461,     // not a PFX this toolkit reads, or an out-of-bounds count in it
  kErrPkcs12VerifyMac = 1463,  // the MAC does not match the password
  kErrPkcs12MacLength = 1464,  // a stored MAC whose length is not its digest's
  kErrPkcs12Password = 15050,  // the selection dialog's file did not open with the password typed
  kErrVidRandomUnusable = 10004,  // a key's VID random record is there but cannot be read as bytes

  // Certificates, names and the algorithm registry.
  kErrUnsupportedAlgorithm = 1203,
  kErrInvalidCertFormat = 1410,
  kErrInvalidDnType = 1411,
  kErrInvalidDnFormat = 1412,
  kErrInvalidCrlFormat = 10400,
  kErrUnsupportedCriteriaHash = 15000,
  kErrUnsupportedTargetHash = 15001,
  kErrHashStrength = 15002,

  // Path validation, revocation lists and the trust list.
  kErrDecodeFailed = 10002,
  kErrEncodeFailed = 10003,
  kErrInvalidAki = 10335,
  kErrInvalidSki = 10336,
  kErrNoBasicConstraints = 10337,
  kErrNoCertPolicies = 10338,
  kErrNoPoliciesExtension = 10362,  // a certificate without the certificate-policies extension
  kErrInvalidCdp = 10343,
  kErrInvalidPolicyConstraints = 10346,
  kErrNoKeyUsage = 10350,
  kErrInvalidExtKeyUsage = 10351,
  kErrNoSki = 10363,
  kErrNoAki = 10364,
  kErrInvalidCrlAki = 10401,
  kErrInvalidCrlIdp = 10402,
  kErrInvalidCrlReason = 10403,
  kErrInvalidCrlIssuerEntry = 10404,
  kErrNoValidationCtx = 10500,
  kErrNoIssuerCert = 10502,
  kErrGetCrl = 10503,
  kErrValidateCaCert = 10504,
  kErrValidateUserCert = 10505,
  kErrIssuerNameMismatch = 10506,
  kErrIssuerKeyIdMismatch = 10507,
  kErrIssuerCheck = 10511,
  kErrCriticalExtension = 10512,
  kErrKeyUsage = 10513,
  kErrExtKeyUsage = 10514,
  kErrPolicy = 10517,
  kErrBasicConstraints = 10521,
  kErrPathLength = 10522,
  kErrNoChainPath = 10523,
  kErrSignatureAlgMismatch = 10524,
  kErrCrlSignatureAlgMismatch = 10525,
  kErrMistrustedRoot = 10540,
  kErrCertExpired = 10550,
  kErrCertRevoked = 10551,
  kErrCertHeld = 10552,
  kErrAnchorExpired = 10553,
  kErrCertNotYetValid = 10554,
  kErrAnchorNotYetValid = 10555,
  kErrValidateCrl = 10560,
  kErrCrlExpired = 10561,
  kErrCrlIssuer = 10562,
  kErrCrlNotYetValid = 10565,
  kErrCrlAkiMismatch = 10566,
  kErrStoreIssuer = 10570,
  kErrStoreCrl = 10571,
  kErrCertSignature = 10580,
  kErrCrlSignature = 10581,
  kErrCtlNotSignedData = 10600,
  kErrCtlVersion = 10601,
  kErrCtlContentType = 10603,
  kErrCtlValidity = 10605,
  kErrCtlSubjectUsage = 10606,
  kErrCtlNotListed = 10607,
  kErrCtlNoTrusted = 10609,
  kErrCtlProcess = 10610,
  kErrNoSignerCert = 14057,
  kErrProfileDir = 12950,

  // IC-card store: codes of the smart-card band of the error tables, and two of the PIN band.
  kErrCardContext = 15301,    // no PC/SC context (no smart-card service)
  kErrCardTransmit = 15305,   // the reader failed to carry a command
  kErrCardAnswer = 15306,     // an answer too short, too long or not a record of its kind
  kErrCardSelect = 15307,     // the card has no such file (SELECT refused by id and by AID)
  kErrCardAbsent = 15308,     // no reader with a card connects
  kErrCardRead = 15309,       // READ RECORD refused: no such record file or record, or other
  kErrCardWrite = 15310,      // UPDATE RECORD refused
  kErrCardPinWrong = 15311,   // the card refused the PIN (63 xx: the wrong-PIN box told the user)
  kErrCardPinLocked = 15312,  // the card's PIN is blocked (69 83)
  kErrCardNoSpace = 15314,    // an object larger than its kind holds, or 6A 84 from the card
  kErrCardLayout = 15315,     // a stored object length past what its kind holds, or a record of it missing
  // The card holds no such object: its record file or first record is not there (6A 82, 6A 83)
  // or the object is empty (length 0, as erased). The one read failure that means "nothing
  // stored": every other one leaves unknown what the card holds.
  kErrCardNotFound = 15324,
  // The card refused VERIFY for another reason than the PIN (no PIN under either reference, a
  // PIN field it does not take, a fault): no try was spent and no wrong-PIN box was shown.
  kErrCardVerifyRefused = 15325,
  kErrPinInvalid = 16500,     // a PIN of fewer than 4 or more than 8 bytes: nothing was sent
  kErrPinRequired = 16501,    // the card wants the proven PIN (69 82), or a write came without one
  // Loading a chosen card set into key objects.
  kErrCardLoadCert = 15350,    // the certificate record of the chosen file does not read
  kErrCardLoadKey = 15351,     // its key record does not read, or the km certificate is no Certificate
  kErrCardLoadRandom = 15352,  // the VID random record does not read

  // Signed data and the identity check.
  kErrHashContextCreate = 10070,
  kErrInconsistentHash = 10161,      // the identity value does not match the number
  kErrInvalidSubjectAltName = 10352,
  kErrNoSubjectAltName = 10361,
  kErrNoVid = 10365,
  kErrValidateCert = 10501,
  kErrIdentifySsn = 10800,
  kErrPubkeyNew = 11101,
  kErrPubkeySetKey = 11104,
  kErrPubkeyVerify = 11107,
  kErrCmsSignedAttrs = 14024,
  kErrCmsEmptyIdn = 14050,
  kErrCmsEmptyRandom = 14051,
  kErrCmsNoPublicKey = 14058,
  kErrCmsUnsignedAttr = 14059,       // the attribute that ends verification
  kErrCmsSignedDataType = 14072,
  kErrCmsAttrValue = 14074,
  kErrCmsContentTypeAttr = 14075,
  kErrCmsMessageDigest = 14076,
  kErrCmsNoMessageDigest = 14077,
  kErrCmsNoContentType = 14078,
  kErrCmsNotSignedData = 14080,
  kErrNoVidRandomR = 14090,          // "NO R": a signing key without its VID random value
  kErrVidRandomTooLong = 14094,      // a VID random value longer than every medium can keep

  // Outside modules loaded by path (platform/module).
  kErrModuleLoad = 32950,          // the library does not load
  kErrModuleNoSymbol = 32951,      // the library lacks the export (C_GetFunctionList)
  kErrModuleRelativePath = 32952,  // not a full path: the loader would search for it

  // Secure-disk module and the signature check of outside modules. A failed module call gives
  // its own code plus kSdCodeOffset (media/securedisk/securedisk.h).
  kErrInvalidMemoryAccess = 1012,   // a PE layout past its file, or a module's length past its buffer
  kErrSdSystemFolder = 10001,       // the system folder's path is empty or too long for the module's
  kErrCmsSignedDataFormat = 14022,  // a signature's SignedData or its signer certificate unreadable
  kErrSdNullHandle = 17000,
  kErrSdWrongPassword = 0x200A0,    // the module refused the slot's password (it counts one try)
  kErrSdNotHandle = 17001,          // a handle without the secure-disk magic
  kErrSdKeyNoHandle = 17020,        // a secure-disk key object without its module handle
  kErrSdKeyObject = 17021,          // a secure-disk key object cannot be made
  kErrSdSlotNotRemoved = 17028,     // a set's old slot stayed after its new one took the set
  kErrSdKeyReadCert = 17031,        // the slot holds no certificate of that part, or one that does not decode
  kErrSdKeyReadRandom = 17032,      // the logged-in slot gave no VID random value
  kErrSdLoginRequired = 17100,      // not logged in, or another slot is
  kErrSdNoSlot = 17101,             // a key-management pair whose subject has no slot
  kErrSdSubjectMismatch = 17102,    // the signing and key-management certificates name others
  kErrWin32Api = 33010,             // the platform's trust check failed (its result in the detail)
  kErrTrustChain = 33373,           // the signature's chain does not reach a trusted root
  kErrPeFormat = 33761,             // a PE file whose layout cannot hold a certificate table
  kErrPeNoSignature = 33762,        // a PE file without a certificate table
  kErrPeImageHash = 33768,          // the signed image hash does not match the file
  kErrSignerMismatch = 33769,       // the signer's name does not begin with the expected text

  // PKCS#11 tokens and their key objects. A failed PKCS#11 call gives its CKR_ code plus
  // kP11CodeOffset.
  kErrNoObject = 10300,              // no (further) object on the token
  kErrNoPrivateKey = 10810,          // no private key for signing with that id
  kErrHsmNullLibraryPath = 11061,    // a token key object with neither module nor path
  kErrHsmReadCert = 11063,
  kErrHsmReadRandom = 11064,
  kErrP11NoPin = 15200,              // login without a PIN, or a PIN the token cannot take
  kErrP11InvalidId = 15201,          // the VID label cannot be built from the key id
  kErrP11NoSlot = 15203,
  kErrP11NoDecryptKey = 15220,       // no private key for decryption with that id
  kErrP11BadAnswer = 15232,          // an attribute or output length past its buffer or limit
  kErrP11FindObjects = 15242,
  kErrP11NoModulePath = 15244,  // a token part read for an entry whose list names no module
  kErrP11ModuleGone = 15247,    // a token module whose last reference has gone
  kErrP11NoFunctionList = 15248,

  // Certificate lists of the storage media: a part that no reader serves, or that the entry lacks.
  kErrNoPartReader = 16410,

  // Storing a received set (media/store): the pair that failed gives its own code as detail.
  kErrKeyReseal = 1452,            // a private key could not be sealed again
  kErrKeyDoesNotOpen = 1453,       // a private key did not open with the password
  kErrKeyWrite = 10710,
  kErrCertWrite = 10711,
  kErrWrongPassword = 15050,       // it did not open because the password is wrong
  kErrStorePair = 16322,
  kErrStoreBackup = 16323,         // the holder folder already there, or a card's old object, could not be read to keep
  kErrStoreRestore = 16324,        // after a failed write the old set could not all be put back
  kErrStoreBackupLeft = 16325,     // a copy of the old set that was no longer needed could not be removed
  kErrKmSubjectMismatch = 16330,
  kErrStoreFolder = 16401,         // the holder folder was not made
  kErrUnsafeHolderName = 16402,    // the subject gives no safe folder name (a path, a device...)
  kErrStoreUnsupportedMedium = 16410,
  kErrNoSignCertPart = 20200,
  kErrNoSignKeyPart = 20201,
  kErrNoKmCertPart = 20202,
  kErrNoKmKeyPart = 20203,

  // HTML tooltip texts: what the tooltip drawers refuse before they lay anything out.
  kErrHtmlTextTooLong = 36001,      // an HTML text longer than the drawer reads, before or after its entities
  kErrHtmlStyleSheetTooLarge = 36002,  // a style sheet with too many characters or rules; the old one stays
  kErrHtmlTableFull = 36003,        // an entity or colour the drawer's bounded tables cannot take
  kErrHtmlLinkAddress = 36004,      // a hyperlink that is not an http or https address; it is never opened
  kErrHtmlLinkNotFollowed = 36005,  // no link there, an empty link, or nobody set to take the link
};

// Added to a PKCS#11 return value that is not CKR_OK.
constexpr int kP11CodeOffset = 0x100000;

}  // namespace v7
