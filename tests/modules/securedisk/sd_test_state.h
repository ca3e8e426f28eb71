// What the test secure-disk module shares with the test that loaded it: the test allocates the
// record, puts its address in hex into the environment variable SD_TEST_STATE_VARIABLE, and the
// module's DllMain picks it up. The module keeps its slots as files in `store`.
#pragma once

#include <windows.h>

#define SD_TEST_STATE_VARIABLE "V7_TEST_SECUREDISK_STATE"

struct SDTestState {
  LONG loads;    // DllMain's process attaches: a refused module must leave this at 0
  LONG unloads;
  char store[MAX_PATH];  // the folder of the slot files
  // Failure injection: the entry point of this index (0 to 28, in binding order) answers fail_code.
  int fail_entry;
  int fail_code;
  // A lying module: on the filling call the entry point of this index reports the capacity it was
  // given plus `lie_by` (a negative value reports too little).
  int lie_entry;
  int lie_by;
  int initialize_answer;  // what SD_Initialize answers (0 or 401)
  unsigned char version[3];
  enum { kMaxCalls = 256 };
  LONG call_count;
  int calls[kMaxCalls];  // entry point indexes, in call order
  int last_mode;         // the mode word SD_Sign / SD_Decrypt saw
  char last_drive[8];    // the drive text of SD_SetDrive / SD_MakeSlot
};

// The module's codes.
enum : int {
  kSdTestWrongPassword = 0xA0,  // also lowers the slot's remaining tries
  kSdTestLocked = 0xA1,         // no tries left
  kSdTestNoSuchSlot = 0xA2,
  kSdTestBadSession = 0xA3,
  kSdTestBadArgument = 0xA4,
  kSdTestBufferTooSmall = 0xA5,
  kSdTestStore = 0xA6,          // the slot folder cannot be read or written
  kSdTestNotSupported = 0xA7,
  kSdTestMaxPinCount = 5,
};
