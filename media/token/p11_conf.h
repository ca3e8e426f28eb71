// The security-token configuration that token vendors' installers write ("npki_pkcs11.cnf" in the
// system folder), read into a list of token entries, and the check of a token's program files
// against its signed approval file.
//
// The file: the first line after the file's first "]" lists section names ("key = A B C", cut at
// "//", names of 1 to 63 characters); each listed section "[A]" further on holds "key=value" lines
// with the keys "Info", "Name" (the PKCS#11 library), "Programs" (comma-separated) and
// "SignatureToken" (the approval file). Keys are compared exactly, values kept as written (a
// "//" comment removed, blanks kept); a later line wins. A section without Info gives no entry.
//
// A recognised value longer than P11_CONF_MAX_VALUE characters is never cut (a cut library path
// would name another file): the section that holds it gives no entry.
#pragma once

#include <cstddef>

constexpr size_t P11_CONF_MAX_NAME = 63;
constexpr size_t P11_CONF_MAX_KEY = 255;
constexpr size_t P11_CONF_MAX_VALUE = 1023;

struct P11_TOKEN_ENTRY {
  int index;  // position in the list line from 1, the skipped name not counted
  char *section;
  char *name;  // each text an owned copy, or null when the key is missing
  char *info;
  char *programs;
  char *signature_token;
  P11_TOKEN_ENTRY *next;
};

struct P11_TOKEN_LIST {
  P11_TOKEN_ENTRY *first;
  P11_TOKEN_ENTRY *last;
};

// Reads "<system folder>\npki_pkcs11.cnf". 0 with *out the list, or null when the file is missing
// or does not parse; -1 when there is no system folder (always natively). skip (may be null) names
// a section never listed ("SDisk").
int p11_conf_load(const char *skip, P11_TOKEN_LIST **out);
// The same for a file by path (narrow, as the platform's narrow file API takes it).
int p11_conf_load_from(const char *path, const char *skip, P11_TOKEN_LIST **out);
// Parses a file's bytes (read up to the first NUL byte); null when it does not parse (no "]", no
// complete line after it, or no "=" in that line) or memory runs out.
P11_TOKEN_LIST *p11_conf_parse(const char *text, size_t length, const char *skip);
void p11_conf_free(P11_TOKEN_LIST *list);

// 0 when the entry's approval file holds: it decodes, is signed (SHA-1 or SHA-256 with RSA,
// PKCS#1 v1.5) by a built-in root named by issuer and serial, and every file it lists matches
// the digest of the first of the entry's files (Name, then each Programs item) whose base name
// begins with the listed name. -1 otherwise, also for an entry without SignatureToken or
// Programs. Files the approval does not list are not checked.
int p11_module_verify_approval(const P11_TOKEN_ENTRY *entry);
