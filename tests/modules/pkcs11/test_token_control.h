// The test PKCS#11 token's own exports beside C_GetFunctionList, for the tests that drive it:
// failure injection and the call log. Tests reach them through GetProcAddress / dlsym on the
// module they keep loaded (the token's objects live as long as the module stays mapped).
#pragma once

#ifdef _WIN32
#define V7_TEST_TOKEN_API extern "C" __declspec(dllexport)
#else
#define V7_TEST_TOKEN_API extern "C" __attribute__((visibility("default")))
#endif

// Failures the token can be told to show, by name:
//   "long_attribute"         C_GetAttributeValue reports one byte more than the buffer it got
//   "unavailable_attribute"  C_GetAttributeValue reports CK_UNAVAILABLE_INFORMATION with CKR_OK
//   "long_signature"         C_Sign reports one byte more than the buffer it got
//   "many_objects"           C_FindObjects reports one object more than asked for
//   "many_slots"             C_GetSlotList's size query reports 2^30 slots
//   "private_key_create"     C_CreateObject of a private key fails with CKR_DEVICE_ERROR
//   "already_logged_in"      C_Login answers CKR_USER_ALREADY_LOGGED_IN without logging in
//   ""                       none
typedef int (*V7TestTokenInjectFn)(const char *failure);
// Writes the calls made since the last reset, one name a line, as a terminated text; returns
// the text's length (it is cut at capacity - 1).
typedef unsigned (*V7TestTokenLogFn)(char *out, unsigned capacity);
// Forgets the log, the objects and the injected failure, and sets the user PIN.
typedef void (*V7TestTokenResetFn)(const char *user_pin);
