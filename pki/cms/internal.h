// Shared by the signed-data verifier and the identity check.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pki/asn1/asn1.h"
#include "pki/errors/error_ctx.h"

namespace v7 {
namespace cms {

// Pushes code with its detail (or none), then the sub-code as a second entry when it is not 0;
// returns code with errno set to it.
int fail(ERROR_CTX *ctx, int code, const char *detail = nullptr, int sub_code = 0);

// H(H(data)) for hash type 1, 2 or 6 into out (capacity HASH_MAX_DIGEST_LEN); the digest length,
// 0 when the hash cannot be made.
size_t double_hash(int hash_type, const uint8_t *data, size_t length, uint8_t *out);

// True when the OID contents equal the given bytes.
bool oid_equals(const ASN1_BYTES &oid, const uint8_t *contents, size_t length);

}  // namespace cms
}  // namespace v7
