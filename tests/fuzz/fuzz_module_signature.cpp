// An outside module's file as the signature check reads it: the PE layout up to the certificate
// table, the Authenticode SignedData in it and its signer's name. The bytes go to the reader
// directly and, as a file, through the whole check with a platform that calls every signature
// valid, so that the signer's name is always looked at. Besides memory safety: the reader gives a
// name exactly when it succeeds, and both give only their documented codes.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "media/securedisk/module_signature.h"
#include "pki/errors/error_ctx.h"
#include "platform/errors/error_codes.h"

namespace {

FileTrustAnswer every_file_is_signed(const char16_t *) { return {0, 0}; }

bool documented(int rc) {
  switch (rc) {
    case 0:
    case v7::kErrOutOfMemory:
    case v7::kErrInvalidCertFormat:
    case v7::kErrCmsSignedDataFormat:
    case v7::kErrPeFormat:
    case v7::kErrPeNoSignature:
      return true;
    default:
      return false;
  }
}

// One file per fuzzing process, removed when it ends.
struct ModuleFile {
  std::string path = "/tmp/v7_fuzz_module_" + std::to_string(getpid()) + ".dll";
  ~ModuleFile() { unlink(path.c_str()); }
};

const std::string &module_path() {
  static const ModuleFile file;
  return file.path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  ERROR_CTX errors{};
  char *signer = nullptr;
  const int rc = pe_signer_dn(data, size, &errors, &signer);
  if (!documented(rc) || (rc == 0) != (signer != nullptr)) abort();
  free(signer);
  err_ctx_clear(&errors);

  if (size == 0) return 0;
  FILE *file = fopen(module_path().c_str(), "wb");
  if (file == nullptr) return 0;
  const bool written = fwrite(data, 1, size, file) == size;
  if (fclose(file) != 0 || !written) return 0;
  set_file_trust_verifier(&every_file_is_signed);
  const int whole = sd_verify_module_file(&errors, module_path().c_str(), 1);
  set_file_trust_verifier(nullptr);
  // The same bytes read from the file: the reader's result, or the name that does not match.
  if (whole != rc && !(rc == 0 && whole == v7::kErrSignerMismatch)) abort();
  err_ctx_clear(&errors);
  return 0;
}
