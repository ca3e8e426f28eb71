// Checks on path texts: relative paths and certificate file names that may be handed on (to the
// broker, or built from names that came from outside).
#pragma once

#include <cstddef>

// Replaces every '/' with '\' in place; null is accepted.
void path_slashes_to_backslashes(char16_t *path);

// 1 for a non-empty relative path (one leading separator allowed) without < > " | * or control
// characters, whose
// segments each hold a character other than '.' (so no empty, "." or ".." segment; only the last
// may be empty, after a final separator). 0 otherwise.
int is_valid_rel_path(const char16_t *path);

// 1 when a name that came from outside (a subject name from the peer) may become one folder or
// file name: not empty, not only dots, under 256 characters, no separator, drive colon, wildcard,
// control character or other character Windows refuses, no trailing dot or blank, and no device
// name (CON, PRN, AUX, NUL, COM0-COM9, LPT0-LPT9 in any case, alone or before an extension).
int is_safe_file_segment(const char16_t *name);

// The text after the last '.' of the last segment, or null when there is none. The first
// character is never taken as the dot, so ".key" has no extension.
const char16_t *path_extension_w(const char16_t *path);

// 1 when is_valid_rel_path holds and the extension is der, key, crl, stl, pfx or p12, in any case.
int is_cert_file_name(const char16_t *path);
