// The library's per-user settings in the registry: the medium, drive or token picked last, the
// subject of the last certificate used, drive-menu labels and the choice of relay transport.
//
// The settings key depends on the Windows generation: "SOFTWARE\TAVN\velmora7" before Vista,
// "SOFTWARE\AppDataLow\Software\TAVN\velmora7" from Vista on (the low-integrity area that a
// protected-mode browser may write), with "\<subkey>" appended when a subkey is given (null or
// empty: the key itself). Only string values are kept, and nothing is ever written as a default:
// a missing value leaves the choice to the caller. Nothing is cached; every call opens and closes
// its keys. Where there is no registry (the native build), every read and write fails with 50.
//
// Results are the platform's codes: 2 for a missing key or value, 234 for a value too long to
// read, 1629 for a value that is not a string, 87 for a null argument or a text too long to be
// read back; kErrOutOfMemory (reads) or -1 (writes) when memory runs out.
#pragma once

#include <cstddef>

// Value texts a read takes, in bytes with the terminator: a longer value is not read (234).
// Writes refuse what a read could not take back.
enum : size_t { kRegNarrowValueCapacity = 1024, kRegWideValueCapacity = 2048 };

// 0 and a new NUL-terminated copy of the value in *out (the caller frees it); else the code and
// *out null.
int reg_read_value(const char *subkey, const char *name, char **out);
// The wide twin; the copy ends with a wide zero.
int reg_read_value_w(const char16_t *subkey, const char16_t *name, char16_t **out);

// Creates the key and its parents when missing and sets the value as a string with its
// terminator. 0, or the code; nothing is written on failure.
int reg_write_value(const char *subkey, const char *name, const char *text);
int reg_write_value_w(const char16_t *subkey, const char16_t *name, const char16_t *text);

// "Last Access" under the subkey, moved as wide text when the subkey and text convert from the
// narrow encoding that CharEncodingMode names, so that a Korean subject survives either setting.
// Always 0: a missing value is no failure. *out gets a new text (the caller frees it) only when
// the value exists and can be delivered; otherwise it is left as it was.
int reg_get_last_access(const char *subkey, char **out);
int reg_set_last_access(const char *subkey, const char *text);
