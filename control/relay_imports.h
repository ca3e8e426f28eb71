// The relay library's exports the control calls. They are linked by ordinal (v7relay_imports.def
// makes the import library), so the loader brings the library in with the control and the names
// below are only how this code calls them; the calling convention is the library's (stdcall).
#pragma once

#include <windows.h>

struct RelayRequestRecord;

extern "C" {
// Ordinal 1: 18 and 9 kept, any other value the system default's primary language.
int WINAPI cr_set_lang_id(int language);
// Ordinal 2: a whole receive in the modal wizard; 0 only when a certificate was received.
int WINAPI VELMORARELAY_RecvCertificate(int type, int flags, int media, RelayRequestRecord *request);
// Ordinal 3: a whole send; 0 only when the certificate was delivered.
int WINAPI VELMORARELAY_SendCertificate(int type, int flags, RelayRequestRecord *request);
// Ordinal 5: 1 makes the library exchange UTF-8 texts; returns the value stored.
int WINAPI VELMORARELAY_SetCharEncoding(int encoding);
}
