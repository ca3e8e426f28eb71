// The relay library's transfer exports as every caller declares them: the browser control, its
// stand-in library for tests and the library itself use this one header, so the calling
// convention (stdcall in the 32-bit build, the only one on x64) and the arguments cannot drift
// apart. The ordinals are fixed in wizard/v7relay_exports.txt; the control links them by ordinal.
#pragma once

#include <windows.h>

#include "wizard/relay_results.h"

struct RelayRequestRecord;

extern "C" {
// Ordinal 1: 18 (Korean) and 9 (English) are kept, any other value becomes the system default
// language's primary id; returns the value stored.
int WINAPI cr_set_lang_id(int language);
// Ordinal 2: a whole receive of kind 1 to 3 in the modal wizard, offering the storage media of
// the mask. The request record is read in place for the call and never kept; without one (null)
// both transfer calls return -1 at once, without a window.
int WINAPI VELMORARELAY_RecvCertificate(int type, int flags, int media, RelayRequestRecord *request);
// Ordinal 3: a whole send of kind 1 to 5: the certificate selection, then the wizard.
int WINAPI VELMORARELAY_SendCertificate(int type, int flags, RelayRequestRecord *request);
// Ordinal 4: as ordinal 1.
int WINAPI VELMORARELAY_SetLanguage(int language);
// Ordinal 5: 1 makes the narrow texts the library exchanges UTF-8, any other value EUC-KR;
// returns the value stored.
int WINAPI VELMORARELAY_SetCharEncoding(int encoding);
}
