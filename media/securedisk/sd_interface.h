// The entry points of the secure-disk module "npki_securedisk.dll", as the client calls them and as
// a module must export them: undecorated names, stdcall on 32-bit Windows (the platform's default
// for outside modules; on 64-bit Windows and natively there is one convention). Every entry point
// returns int: 0 for success, any other value is the module's own failure code.
//
// The contract the client relies on:
// - lengths and counts are int, in/out through a pointer: on entry the capacity of the buffer, on
//   return what was (or would be) written. A null buffer asks for the size. The client never trusts
//   a returned length beyond the capacity it gave.
// - slot ids are 32-bit ints; 0 means "no slot" (SD_FindSlot answers 0 when none holds the subject).
// - a session is a 32-bit int handed out by SD_Login and given back to the calls that need a login.
// - SD_Initialize answers 0, or 401 when the module was already started.
// - SD_Sign and SD_Decrypt take a pointer to the mode word, which the client sets to 1.
// - SD_ExportToPKCS8 fills four buffers in this order: signing certificate, signing private key,
//   key-management certificate, key-management private key.
// - SD_GetErrorMessage gives the text of the module's last failure as UTF-8.
// - SD_GetVersion writes into a 260-byte buffer whose first three bytes are the version numbers.
// The entry points the client binds but never calls keep the shapes given here so that a module
// can be written against this header alone.
#pragma once

#if defined(_WIN32) && !defined(_WIN64)
#define SD_CALL __stdcall
#else
#define SD_CALL
#endif

extern "C" {
typedef int(SD_CALL *SD_InitializeFn)(int reserved);
typedef int(SD_CALL *SD_FinalizeFn)(void);
typedef int(SD_CALL *SD_LoginFn)(int slot, const char *password, int password_len, int *session);
typedef int(SD_CALL *SD_LogoutFn)(int session);
typedef int(SD_CALL *SD_ImportFn)(int session, const char *password, int password_len,
                                  const unsigned char *sign_cert, int sign_cert_len,
                                  const unsigned char *sign_key, int sign_key_len,
                                  const unsigned char *km_cert, int km_cert_len,
                                  const unsigned char *km_key, int km_key_len);
typedef int(SD_CALL *SD_ExportToPKCS8Fn)(int session, const char *password, int password_len,
                                         unsigned char *buf1, int *len1, unsigned char *buf2, int *len2,
                                         unsigned char *buf3, int *len3, unsigned char *buf4, int *len4);
typedef int(SD_CALL *SD_ExportToPKCS12Fn)(int session, const char *password, int password_len,
                                          unsigned char *buf, int *len);
typedef int(SD_CALL *SD_SignFn)(int session, int *mode, const unsigned char *data, int data_len,
                                unsigned char *out, int *out_len);
typedef int(SD_CALL *SD_DecryptFn)(int session, int *mode, const unsigned char *data, int data_len,
                                   unsigned char *out, int *out_len);
typedef int(SD_CALL *SD_GetRFn)(int session, unsigned char *out, int *out_len);
typedef int(SD_CALL *SD_GetDriveListFn)(char *out, int *out_len);
typedef int(SD_CALL *SD_GetSlotListFn)(int *slots, int *count);
typedef int(SD_CALL *SD_GetCertFn)(int slot, unsigned char *out, int *out_len, int km);
typedef int(SD_CALL *SD_GetDriveInfoFn)(const char *drive, int drive_len, char *out, int *out_len);
typedef int(SD_CALL *SD_SetDriveFn)(const char *drive, int drive_len);
typedef int(SD_CALL *SD_FindSlotFn)(const unsigned char *subject_der, int subject_len, int *slot);
typedef int(SD_CALL *SD_MakeSlotFn)(const char *drive, int drive_len, const char *password,
                                    int password_len, int *slot);
typedef int(SD_CALL *SD_RemoveSlotFn)(int slot);
typedef int(SD_CALL *SD_GetBackupedDriveListFn)(char *out, int *out_len);
typedef int(SD_CALL *SD_GetBackupedSlotListFn)(const char *drive, int drive_len, int *slots, int *count);
typedef int(SD_CALL *SD_RestoreFromRemovableFn)(const char *drive, int drive_len, int slot);
typedef int(SD_CALL *SD_BackupToRemovableFn)(const char *drive, int drive_len, int slot);
typedef int(SD_CALL *SD_SetPINFn)(int slot, const char *old_password, int old_len,
                                  const char *new_password, int new_len);
typedef int(SD_CALL *SD_SetMultiSlotFn)(int multi);
typedef int(SD_CALL *SD_SetTrayFn)(int show);
typedef int(SD_CALL *SD_GetMaxPinCountFn)(int slot, int *count);
typedef int(SD_CALL *SD_GetCurrentPinCountFn)(int slot, int *count);
typedef int(SD_CALL *SD_GetErrorMessageFn)(char *out, int *out_len);
typedef int(SD_CALL *SD_GetVersionFn)(unsigned char *out);
}

// The module's functions in the order they are bound; each member is named after its export.
struct SecureDiskFunctionTable {
  SD_InitializeFn SD_Initialize;
  SD_FinalizeFn SD_Finalize;
  SD_LoginFn SD_Login;
  SD_LogoutFn SD_Logout;
  SD_ImportFn SD_Import;
  SD_ExportToPKCS8Fn SD_ExportToPKCS8;
  SD_ExportToPKCS12Fn SD_ExportToPKCS12;
  SD_SignFn SD_Sign;
  SD_DecryptFn SD_Decrypt;
  SD_GetRFn SD_GetR;
  SD_GetDriveListFn SD_GetDriveList;
  SD_GetSlotListFn SD_GetSlotList;
  SD_GetCertFn SD_GetCert;
  SD_GetDriveInfoFn SD_GetDriveInfo;
  SD_SetDriveFn SD_SetDrive;
  SD_FindSlotFn SD_FindSlot;
  SD_MakeSlotFn SD_MakeSlot;
  SD_RemoveSlotFn SD_RemoveSlot;
  SD_GetBackupedDriveListFn SD_GetBackupedDriveList;
  SD_GetBackupedSlotListFn SD_GetBackupedSlotList;
  SD_RestoreFromRemovableFn SD_RestoreFromRemovable;
  SD_BackupToRemovableFn SD_BackupToRemovable;
  SD_SetPINFn SD_SetPIN;
  SD_SetMultiSlotFn SD_SetMultiSlot;
  SD_SetTrayFn SD_SetTray;
  SD_GetMaxPinCountFn SD_GetMaxPinCount;
  SD_GetCurrentPinCountFn SD_GetCurrentPinCount;
  SD_GetErrorMessageFn SD_GetErrorMessage;
  SD_GetVersionFn SD_GetVersion;
};

enum : int { kSdEntryPointCount = 29, kSdAlreadyInitialized = 401, kSdVersionBufferSize = 260 };

// The export names, in the table's order.
extern const char *const kSdEntryPointNames[kSdEntryPointCount];
