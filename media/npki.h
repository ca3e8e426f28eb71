// The NPKI store of hard and removable disks: under each root one folder per certification
// authority, in it USER, in that one folder per certificate holder holding "signCert.der",
// "signPri.key" and optionally "kmCert.der" and "kmPri.key". The maker's own CA folder "velmora"
// is read after every other CA folder of a root; a "kisa" folder holds no holders.
//
// Narrow paths are in the encoding CharEncodingMode names, like every file operation's, so a
// folder listed here is read back by the part readers the same way. Walks report through errno
// only: kErrInvalidParameter (null arguments), kErrFilePathTooLong (a path of 261 characters or
// more), kErrFileNotFound (a folder that does not exist), kErrDirSearch (one that cannot be
// searched), or the code of a certificate file that could not be read or listed.
#pragma once

#include <cstdint>

#include "media/certlist.h"

// The hard disk: from Vista on the Program Files store first, then the user's NPKI folder. Sets
// the media code to 1 and returns the first entry (null when none; null with kErrInvalidParameter
// for a null list). The _w form is the one of the UTF-8 setting.
CERT_ENTRY *certlist_load_harddisk(CERTLIST_CTX *list);
CERT_ENTRY *certlist_load_harddisk_w(CERTLIST_CTX *list);
// "<drive>:/NPKI" of the drive text's letter; media code 2. A drive text that does not begin with a
// drive letter is refused with kErrInvalidParameter and the list is left as it was.
CERT_ENTRY *certlist_load_removable(const char *drive, CERTLIST_CTX *list);
CERT_ENTRY *certlist_load_removable_w(CERTLIST_CTX *list, const char *drive);

void npki_walk_root(CERTLIST_CTX *list, const char *root, uint32_t media_code);
void npki_walk_root_w(CERTLIST_CTX *list, const char16_t *root, uint32_t media_code);
// own_ca 1: the USER folder of the maker's CA, whose holders are not skipped for "o=velmora".
void npki_walk_user(const char *user_folder, CERTLIST_CTX *list, uint32_t media_code, int own_ca);
void npki_walk_user_w(const char16_t *user_folder, CERTLIST_CTX *list, uint32_t media_code, int own_ca);
// Lists one holder folder's certificate when its policy is accepted.
void npki_read_cert_folder(const char *folder, CERTLIST_CTX *list, uint32_t media_code);
