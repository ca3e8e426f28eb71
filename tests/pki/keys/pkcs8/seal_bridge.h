// The toolkit's sealing behind standard types only, for the libcrypto test: OpenSSL's headers
// and the codec's share type names (ASN1_ITEM, ASN1_BIT_STRING, ...), so no file includes both.
#pragma once

#include <cstdint>
#include <vector>

namespace pkcs8test {

// Decodes the PrivateKeyInfo DER and seals it; empty on failure.
std::vector<uint8_t> seal_plain_der(const std::vector<uint8_t> &plain, int scheme, const char *password);

}  // namespace pkcs8test
