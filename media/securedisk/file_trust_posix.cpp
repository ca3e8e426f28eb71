// No Authenticode outside Windows: every file is reported as not trusted, so a module is never
// accepted here without the test seam.
#include "media/securedisk/internal.h"
#include "media/securedisk/module_signature.h"

namespace {
constexpr uint32_t kTrustSubjectNotTrusted = 0x800B0004;
}

FileTrustAnswer platform_file_trust(const char16_t *) { return FileTrustAnswer{kTrustSubjectNotTrusted, 0}; }

namespace sdi {

FileWriteHold::~FileWriteHold() = default;

bool FileWriteHold::acquire(const char *path) { return path != nullptr; }

}  // namespace sdi
