// The library's fixed folders: the user base folder (under which the NPKI store and the library's
// data lie), the NPKI folders the hard-disk list walks, the Program Files folders the store writes
// to, the KISA folder of the national root certificates and the library's data folder.
//
// Each text is built once per process and per encoding, on first use and safely from any thread,
// and stays as it is; the caller must not free or change it. A text that does not fit in
// kFolderTextCapacity units with its terminator, or whose folder the platform cannot tell, is
// empty: a cut path would name some other folder.
//
// The narrow forms are in the system code page, or UTF-8 (converted from the wide form) while
// CharEncodingMode is 1; each encoding keeps its own texts, so a change of the setting between
// calls is always followed.
#pragma once

#include <cstddef>

enum : size_t { kFolderTextCapacity = 261 };

// Before Vista "<drive>:\Program Files" on the Windows folder's drive, from Vista on
// "<profile>\AppData\LocalLow".
const char *user_base_folder();
const char16_t *user_base_folder_w();
const char *user_base_folder_utf8();

// "<user base>\NPKI".
const char *npki_folder();
const char16_t *npki_folder_w();

// "<drive>:\Program Files\NPKI" on every version.
const char *program_files_npki_folder();
const char16_t *program_files_npki_folder_w();
const char *program_files_npki_folder_utf8();

// "<drive>:\Program Files" on every version.
const char *program_files_folder();
const char16_t *program_files_folder_w();
const char *program_files_folder_utf8();

// "<user base>\NPKI\KISA".
const char *kisa_folder();
const char16_t *kisa_folder_w();

// "<user base>\velmora".
const char *lib_data_folder();
const char16_t *lib_data_folder_w();
const char *lib_data_folder_utf8();
