// The Authenticode check of an outside module's file and the name of its signer.
#pragma once

#include <cstddef>
#include <cstdint>

struct ERROR_CTX;

// The signer a module's certificate must name: its subject text must begin with this.
#define SD_EXPECTED_SIGNER_PREFIX "cn=quillowsys co., Ltd."

// The platform's answer for one file: its trust result and the thread's last error after the call.
struct FileTrustAnswer {
  uint32_t result;
  uint32_t last_error;
};
// Asks the platform whether the file at the wide path carries a valid Authenticode signature
// (no user interface, no revocation checks).
typedef FileTrustAnswer (*FileTrustVerifier)(const char16_t *path);
// Test seam, set by test code only: answers in place of the platform; null restores it.
void set_file_trust_verifier(FileTrustVerifier verifier);
// The platform's own verifier (WinVerifyTrust; natively no verifier exists and every file fails).
FileTrustAnswer platform_file_trust(const char16_t *path);

// 0 when the file's signature verifies; else the code, with the platform's result pushed on ctx.
// 1310 for a null context, 1001 for a null path. The path is narrow text in the encoding of
// CharEncodingMode.
int verify_file_signature(ERROR_CTX *ctx, const char *path);

// The subject text of the certificate that signed a PE file's bytes, into a new text (free()).
// 0, or 33762 (no certificate table), 33761 (a layout the table cannot sit in; 1012 pushed first),
// 14022 (the signature data or signer certificate cannot be read), 1410 (its name cannot be
// rendered), 1000.
int pe_signer_dn(const uint8_t *file, size_t size, ERROR_CTX *ctx, char **out_text);

// The whole check of a module file: its signature, then when asked its signer's name (33769 when
// the name does not begin with the expected text). The first failing step ends it.
int sd_verify_module_file(ERROR_CTX *ctx, const char *path, int check_signer);
