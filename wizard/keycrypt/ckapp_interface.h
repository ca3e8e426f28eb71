// The entry points of the keyboard-security module "CKApp.dll", as the wrapper calls them and as a
// module must export them: undecorated names, stdcall. Results are not relied on.
//
// The module's side of the contract, beyond the layouts in keycrypt_rules.h:
// - InitCKAppEx(block) starts the calling thread's context in the 260-byte block (word 0 = 260);
// - SetCKAppFlag(block, 0, 4, 1) follows it once; SetCKAppFlag(block, edit, 0x4000, 1) protects an
//   edit, which the module subclasses to answer the read message 0x510;
// - ExitCKAppEx(block) ends the thread's context and gives every edit it subclassed on that thread
//   its own window procedure back. The wrapper may unload the module right after the last context
//   has ended, while those edits still exist: a subclass left behind would point into unmapped
//   code.
// - The read's output is written as narrow text in the library's narrow encoding (UTF-8 when
//   CharEncodingMode is 1, else EUC-KR), terminated within 128 bytes. The output address in the
//   request is 32 bits wide; the wrapper always hands over a buffer that lies below 4 GiB.
#pragma once

#include <windows.h>

#include "wizard/keycrypt/keycrypt_rules.h"

#define CKAPP_CALL __stdcall

extern "C" {
typedef LONG(CKAPP_CALL *InitCKAppExFn)(void *block);
typedef LONG(CKAPP_CALL *SetCKAppFlagFn)(void *block, HWND window, DWORD flag, DWORD one);
typedef LONG(CKAPP_CALL *ExitCKAppExFn)(void *block);
}
