// The part of the PKCS#11 (Cryptoki 2.x) interface this system calls, written from the published
// OASIS standard: its scalar types, the constants used here, the structures and the function list.
//
// ABI: CK_ULONG is the platform's unsigned long (32 bits on Windows, also 64-bit Windows; 64 bits
// on LP64 systems); Windows modules pack their structures to 1 byte (the function list's first
// pointer sits right after the 2-byte version), other systems use natural alignment; functions
// use the C calling convention.
#pragma once

#include <cstddef>

#ifdef _WIN32
#pragma pack(push, 1)
#endif

typedef unsigned char CK_BYTE;
typedef CK_BYTE CK_BBOOL;
typedef CK_BYTE CK_UTF8CHAR;
typedef unsigned long CK_ULONG;
typedef CK_ULONG CK_FLAGS;
typedef CK_ULONG CK_RV;
typedef CK_ULONG CK_SLOT_ID;
typedef CK_ULONG CK_SESSION_HANDLE;
typedef CK_ULONG CK_OBJECT_HANDLE;
typedef CK_ULONG CK_OBJECT_CLASS;
typedef CK_ULONG CK_KEY_TYPE;
typedef CK_ULONG CK_CERTIFICATE_TYPE;
typedef CK_ULONG CK_ATTRIBUTE_TYPE;
typedef CK_ULONG CK_MECHANISM_TYPE;
typedef CK_ULONG CK_USER_TYPE;
typedef CK_RV (*CK_NOTIFY)(CK_SESSION_HANDLE session, CK_ULONG event, void *application);

constexpr CK_BBOOL CK_TRUE = 1;
constexpr CK_BBOOL CK_FALSE = 0;
constexpr CK_ULONG CK_UNAVAILABLE_INFORMATION = ~0UL;
constexpr CK_OBJECT_HANDLE CK_INVALID_HANDLE = 0;

// Return values.
constexpr CK_RV CKR_OK = 0x000;
constexpr CK_RV CKR_HOST_MEMORY = 0x002;
constexpr CK_RV CKR_SLOT_ID_INVALID = 0x003;
constexpr CK_RV CKR_GENERAL_ERROR = 0x005;
constexpr CK_RV CKR_FUNCTION_FAILED = 0x006;
constexpr CK_RV CKR_ARGUMENTS_BAD = 0x007;
constexpr CK_RV CKR_ATTRIBUTE_SENSITIVE = 0x011;
constexpr CK_RV CKR_ATTRIBUTE_TYPE_INVALID = 0x012;
constexpr CK_RV CKR_ATTRIBUTE_VALUE_INVALID = 0x013;
constexpr CK_RV CKR_DATA_LEN_RANGE = 0x021;
constexpr CK_RV CKR_DEVICE_ERROR = 0x030;
constexpr CK_RV CKR_ENCRYPTED_DATA_INVALID = 0x040;
constexpr CK_RV CKR_FUNCTION_NOT_SUPPORTED = 0x054;
constexpr CK_RV CKR_KEY_HANDLE_INVALID = 0x060;
constexpr CK_RV CKR_KEY_TYPE_INCONSISTENT = 0x063;
constexpr CK_RV CKR_KEY_FUNCTION_NOT_PERMITTED = 0x068;
constexpr CK_RV CKR_MECHANISM_INVALID = 0x070;
constexpr CK_RV CKR_OBJECT_HANDLE_INVALID = 0x082;
constexpr CK_RV CKR_OPERATION_ACTIVE = 0x090;
constexpr CK_RV CKR_OPERATION_NOT_INITIALIZED = 0x091;
constexpr CK_RV CKR_PIN_INCORRECT = 0x0A0;
constexpr CK_RV CKR_PIN_LEN_RANGE = 0x0A2;
constexpr CK_RV CKR_PIN_LOCKED = 0x0A4;
constexpr CK_RV CKR_SESSION_HANDLE_INVALID = 0x0B3;
constexpr CK_RV CKR_SESSION_READ_ONLY = 0x0B5;
constexpr CK_RV CKR_TEMPLATE_INCOMPLETE = 0x0D0;
constexpr CK_RV CKR_TEMPLATE_INCONSISTENT = 0x0D1;
constexpr CK_RV CKR_TOKEN_NOT_PRESENT = 0x0E0;
constexpr CK_RV CKR_TOKEN_WRITE_PROTECTED = 0x0E2;
constexpr CK_RV CKR_USER_ALREADY_LOGGED_IN = 0x100;
constexpr CK_RV CKR_USER_NOT_LOGGED_IN = 0x101;
constexpr CK_RV CKR_BUFFER_TOO_SMALL = 0x150;
constexpr CK_RV CKR_CRYPTOKI_NOT_INITIALIZED = 0x190;
constexpr CK_RV CKR_CRYPTOKI_ALREADY_INITIALIZED = 0x191;

// Session flags and users.
constexpr CK_FLAGS CKF_RW_SESSION = 0x2;
constexpr CK_FLAGS CKF_SERIAL_SESSION = 0x4;
// Token flags that tell how the user PIN stands (the standard gives no count of tries).
constexpr CK_FLAGS CKF_USER_PIN_COUNT_LOW = 0x00010000;
constexpr CK_FLAGS CKF_USER_PIN_FINAL_TRY = 0x00020000;
constexpr CK_FLAGS CKF_USER_PIN_LOCKED = 0x00040000;
constexpr CK_USER_TYPE CKU_SO = 0;
constexpr CK_USER_TYPE CKU_USER = 1;

// Object classes, key and certificate types, mechanisms.
constexpr CK_OBJECT_CLASS CKO_DATA = 0;
constexpr CK_OBJECT_CLASS CKO_CERTIFICATE = 1;
constexpr CK_OBJECT_CLASS CKO_PUBLIC_KEY = 2;
constexpr CK_OBJECT_CLASS CKO_PRIVATE_KEY = 3;
constexpr CK_KEY_TYPE CKK_RSA = 0;
constexpr CK_CERTIFICATE_TYPE CKC_X_509 = 0;
constexpr CK_MECHANISM_TYPE CKM_RSA_PKCS = 0x001;

// Attributes.
constexpr CK_ATTRIBUTE_TYPE CKA_CLASS = 0x000;
constexpr CK_ATTRIBUTE_TYPE CKA_TOKEN = 0x001;
constexpr CK_ATTRIBUTE_TYPE CKA_PRIVATE = 0x002;
constexpr CK_ATTRIBUTE_TYPE CKA_LABEL = 0x003;
constexpr CK_ATTRIBUTE_TYPE CKA_APPLICATION = 0x010;
constexpr CK_ATTRIBUTE_TYPE CKA_VALUE = 0x011;
constexpr CK_ATTRIBUTE_TYPE CKA_CERTIFICATE_TYPE = 0x080;
constexpr CK_ATTRIBUTE_TYPE CKA_KEY_TYPE = 0x100;
constexpr CK_ATTRIBUTE_TYPE CKA_SUBJECT = 0x101;
constexpr CK_ATTRIBUTE_TYPE CKA_ID = 0x102;
constexpr CK_ATTRIBUTE_TYPE CKA_SENSITIVE = 0x103;
constexpr CK_ATTRIBUTE_TYPE CKA_ENCRYPT = 0x104;
constexpr CK_ATTRIBUTE_TYPE CKA_DECRYPT = 0x105;
constexpr CK_ATTRIBUTE_TYPE CKA_WRAP = 0x106;
constexpr CK_ATTRIBUTE_TYPE CKA_UNWRAP = 0x107;
constexpr CK_ATTRIBUTE_TYPE CKA_SIGN = 0x108;
constexpr CK_ATTRIBUTE_TYPE CKA_VERIFY = 0x10A;
constexpr CK_ATTRIBUTE_TYPE CKA_MODULUS = 0x120;
constexpr CK_ATTRIBUTE_TYPE CKA_PUBLIC_EXPONENT = 0x122;
constexpr CK_ATTRIBUTE_TYPE CKA_PRIVATE_EXPONENT = 0x123;
constexpr CK_ATTRIBUTE_TYPE CKA_PRIME_1 = 0x124;
constexpr CK_ATTRIBUTE_TYPE CKA_PRIME_2 = 0x125;
constexpr CK_ATTRIBUTE_TYPE CKA_EXPONENT_1 = 0x126;
constexpr CK_ATTRIBUTE_TYPE CKA_EXPONENT_2 = 0x127;
constexpr CK_ATTRIBUTE_TYPE CKA_COEFFICIENT = 0x128;

struct CK_VERSION {
  CK_BYTE major;
  CK_BYTE minor;
};

struct CK_ATTRIBUTE {
  CK_ATTRIBUTE_TYPE type;
  void *pValue;
  CK_ULONG ulValueLen;
};

struct CK_MECHANISM {
  CK_MECHANISM_TYPE mechanism;
  void *pParameter;
  CK_ULONG ulParameterLen;
};

struct CK_TOKEN_INFO {
  CK_UTF8CHAR label[32];
  CK_UTF8CHAR manufacturerID[32];
  CK_UTF8CHAR model[16];
  CK_BYTE serialNumber[16];
  CK_FLAGS flags;
  CK_ULONG ulMaxSessionCount;
  CK_ULONG ulSessionCount;
  CK_ULONG ulMaxRwSessionCount;
  CK_ULONG ulRwSessionCount;
  CK_ULONG ulMaxPinLen;
  CK_ULONG ulMinPinLen;
  CK_ULONG ulTotalPublicMemory;
  CK_ULONG ulFreePublicMemory;
  CK_ULONG ulTotalPrivateMemory;
  CK_ULONG ulFreePrivateMemory;
  CK_VERSION hardwareVersion;
  CK_VERSION firmwareVersion;
  CK_BYTE utcTime[16];
};

struct CK_FUNCTION_LIST;
typedef CK_RV (*CK_C_GetFunctionList)(CK_FUNCTION_LIST **list);

// An entry this system never calls: only its place in the list matters.
typedef CK_RV (*CK_C_Unused)();

// The 68 entries of version 2.x, in the standard's order.
struct CK_FUNCTION_LIST {
  CK_VERSION version;
  CK_RV (*C_Initialize)(void *init_args);
  CK_RV (*C_Finalize)(void *reserved);
  CK_C_Unused C_GetInfo;
  CK_C_GetFunctionList C_GetFunctionList;
  CK_RV (*C_GetSlotList)(CK_BBOOL token_present, CK_SLOT_ID *slots, CK_ULONG *count);
  CK_C_Unused C_GetSlotInfo;
  CK_RV (*C_GetTokenInfo)(CK_SLOT_ID slot, CK_TOKEN_INFO *info);
  CK_C_Unused C_GetMechanismList;
  CK_C_Unused C_GetMechanismInfo;
  CK_C_Unused C_InitToken;
  CK_C_Unused C_InitPIN;
  CK_C_Unused C_SetPIN;
  CK_RV (*C_OpenSession)(CK_SLOT_ID slot, CK_FLAGS flags, void *application, CK_NOTIFY notify,
                         CK_SESSION_HANDLE *session);
  CK_RV (*C_CloseSession)(CK_SESSION_HANDLE session);
  CK_C_Unused C_CloseAllSessions;
  CK_C_Unused C_GetSessionInfo;
  CK_C_Unused C_GetOperationState;
  CK_C_Unused C_SetOperationState;
  CK_RV (*C_Login)(CK_SESSION_HANDLE session, CK_USER_TYPE user, CK_UTF8CHAR *pin, CK_ULONG pin_len);
  CK_RV (*C_Logout)(CK_SESSION_HANDLE session);
  CK_RV (*C_CreateObject)(CK_SESSION_HANDLE session, CK_ATTRIBUTE *attrs, CK_ULONG count,
                          CK_OBJECT_HANDLE *object);
  CK_C_Unused C_CopyObject;
  CK_RV (*C_DestroyObject)(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object);
  CK_C_Unused C_GetObjectSize;
  CK_RV (*C_GetAttributeValue)(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object, CK_ATTRIBUTE *attrs,
                               CK_ULONG count);
  CK_C_Unused C_SetAttributeValue;
  CK_RV (*C_FindObjectsInit)(CK_SESSION_HANDLE session, CK_ATTRIBUTE *attrs, CK_ULONG count);
  CK_RV (*C_FindObjects)(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE *objects, CK_ULONG max_count,
                         CK_ULONG *count);
  CK_RV (*C_FindObjectsFinal)(CK_SESSION_HANDLE session);
  CK_C_Unused C_EncryptInit;
  CK_C_Unused C_Encrypt;
  CK_C_Unused C_EncryptUpdate;
  CK_C_Unused C_EncryptFinal;
  CK_RV (*C_DecryptInit)(CK_SESSION_HANDLE session, CK_MECHANISM *mechanism, CK_OBJECT_HANDLE key);
  CK_RV (*C_Decrypt)(CK_SESSION_HANDLE session, CK_BYTE *data, CK_ULONG length, CK_BYTE *out,
                     CK_ULONG *out_len);
  CK_C_Unused C_DecryptUpdate;
  CK_C_Unused C_DecryptFinal;
  CK_C_Unused C_DigestInit;
  CK_C_Unused C_Digest;
  CK_C_Unused C_DigestUpdate;
  CK_C_Unused C_DigestKey;
  CK_C_Unused C_DigestFinal;
  CK_RV (*C_SignInit)(CK_SESSION_HANDLE session, CK_MECHANISM *mechanism, CK_OBJECT_HANDLE key);
  CK_RV (*C_Sign)(CK_SESSION_HANDLE session, CK_BYTE *data, CK_ULONG length, CK_BYTE *out,
                  CK_ULONG *out_len);
  CK_C_Unused C_SignUpdate;
  CK_C_Unused C_SignFinal;
  CK_C_Unused C_SignRecoverInit;
  CK_C_Unused C_SignRecover;
  CK_C_Unused C_VerifyInit;
  CK_C_Unused C_Verify;
  CK_C_Unused C_VerifyUpdate;
  CK_C_Unused C_VerifyFinal;
  CK_C_Unused C_VerifyRecoverInit;
  CK_C_Unused C_VerifyRecover;
  CK_C_Unused C_DigestEncryptUpdate;
  CK_C_Unused C_DecryptDigestUpdate;
  CK_C_Unused C_SignEncryptUpdate;
  CK_C_Unused C_DecryptVerifyUpdate;
  CK_C_Unused C_GenerateKey;
  CK_C_Unused C_GenerateKeyPair;
  CK_C_Unused C_WrapKey;
  CK_C_Unused C_UnwrapKey;
  CK_C_Unused C_DeriveKey;
  CK_C_Unused C_SeedRandom;
  CK_C_Unused C_GenerateRandom;
  CK_C_Unused C_GetFunctionStatus;
  CK_C_Unused C_CancelFunction;
  CK_C_Unused C_WaitForSlotEvent;
};

#ifdef _WIN32
#pragma pack(pop)
#endif

// The ABI as the modules of each platform build it.
#ifdef _WIN32
static_assert(offsetof(CK_FUNCTION_LIST, C_Initialize) == 2, "Windows modules pack to 1 byte");
static_assert(sizeof(CK_ULONG) == 4, "CK_ULONG is 32 bits on Windows");
static_assert(sizeof(CK_ATTRIBUTE) == 2 * sizeof(CK_ULONG) + sizeof(void *), "packed attribute");
#endif
static_assert(sizeof(CK_FUNCTION_LIST) == offsetof(CK_FUNCTION_LIST, C_Initialize) + 68 * sizeof(void *),
              "68 entries");
