// The entry points of the two outside certificate modules as the library calls them and as a
// module must export them (undecorated names): the USB-key module "UbiKeyWin32.dll" and the
// phone-relay module "xcmhsmpc.dll" of the "Phone Relay" folder (beside its probe file
// "MCert_relay_mobile.dll", which only has to load).
//
// Calling conventions, pinned here for both sides:
// - The USB-key functions are stdcall (the callee pops its arguments).
// - The phone functions are cdecl and return PhoneModuleResult by value. The record is larger than
//   8 bytes, so on 32-bit Windows the caller passes a hidden pointer to its own result record as
//   the first stack argument, the callee fills it and hands it back in EAX, and the caller (not the
//   callee) pops that pointer: the Microsoft rule, which the i686 mingw compiler follows too.
//   On 64-bit Windows there is one convention: the hidden pointer goes in RCX and the visible
//   arguments move one register along. Declaring the functions with the types below is all either
//   side needs; a module built with another convention or packing would corrupt the stack, which
//   is why the layout is checked at compile time.
//
// The phone module owns every text and blob it returns; they stay valid until XcClose, which
// ends the session and releases them. The library copies what it keeps before calling XcClose
// and calls it once per session.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define V7_USBKEY_CALL __stdcall
#define V7_PHONE_CALL __cdecl
#else
#define V7_USBKEY_CALL
#define V7_PHONE_CALL
#endif

#define V7_USBKEY_MODULE_FILE "UbiKeyWin32.dll"
#define V7_PHONE_PROBE_FILE "MCert_relay_mobile.dll"
#define V7_PHONE_MODULE_FILE "xcmhsmpc.dll"

extern "C" {

// A byte range of the phone module.
struct PhoneBlob {
  int32_t length;
  const uint8_t *data;
};

struct PhoneModuleResult {
  int32_t code;         // negative on failure
  const char *message;  // the module's text (EUC-KR), or null
  PhoneBlob certificate;
  PhoneBlob vid_random;
  PhoneBlob signature;
};

// Codes of XcInitEx that mean the user stopped: no message box.
enum : int32_t { kPhoneCodeCancelled = -2007, kPhoneCodeClosed = -2029 };

// The mode byte of XcGetSignatureFirst without (2) and with (3) an extra value.
enum : uint8_t { kPhoneSignMode = 2, kPhoneSignModeExtra = 3 };

// 0 when the module took the certificate from the USB key; the texts are the request's (512 and
// 128 bytes, terminated within them).
typedef int32_t(V7_USBKEY_CALL *Tranx2PCFn)(HMODULE module, HWND window, const char *text, const char *text2);
// Copy the certificate (or the encrypted key) into buffer and return its length; capacity is 4,096.
typedef int32_t(V7_USBKEY_CALL *UsbKeyGetFn)(uint8_t *buffer, int32_t capacity);

// ca_names: the ";"-list of accredited CA names or null; text: the request's phone-module text.
typedef PhoneModuleResult(V7_PHONE_CALL *XcInitExFn)(const char *ca_names, const char *text, HWND window);
// data_length and data: the data to sign (both zero when there is none); extra: an 8-byte record
// with mode 3, else null.
typedef PhoneModuleResult(V7_PHONE_CALL *XcGetSignatureFirstFn)(uint8_t mode, int32_t data_length,
                                                                const uint8_t *data, const void *extra,
                                                                HWND window);
typedef void(V7_PHONE_CALL *XcCloseFn)(const PhoneModuleResult *result);
}

#if defined(_WIN64)
static_assert(sizeof(PhoneBlob) == 16 && offsetof(PhoneBlob, data) == 8, "PhoneBlob layout");
static_assert(sizeof(PhoneModuleResult) == 64, "PhoneModuleResult size");
static_assert(offsetof(PhoneModuleResult, message) == 8 && offsetof(PhoneModuleResult, certificate) == 16 &&
                  offsetof(PhoneModuleResult, vid_random) == 32 && offsetof(PhoneModuleResult, signature) == 48,
              "PhoneModuleResult layout");
#else
static_assert(sizeof(PhoneBlob) == 8 && offsetof(PhoneBlob, data) == 4, "PhoneBlob layout");
static_assert(sizeof(PhoneModuleResult) == 32, "PhoneModuleResult size");
static_assert(offsetof(PhoneModuleResult, message) == 4 && offsetof(PhoneModuleResult, certificate) == 8 &&
                  offsetof(PhoneModuleResult, vid_random) == 16 && offsetof(PhoneModuleResult, signature) == 24,
              "PhoneModuleResult layout");
#endif
