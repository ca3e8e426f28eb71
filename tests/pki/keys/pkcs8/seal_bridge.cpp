#include "tests/pki/keys/pkcs8/seal_bridge.h"

#include "tests/pki/keys/pkcs8/pkcs8_test_util.h"

namespace pkcs8test {

std::vector<uint8_t> seal_plain_der(const std::vector<uint8_t> &plain, int scheme, const char *password) {
  Key key = decode_plain(plain);
  if (key == nullptr) return {};
  return seal(key.get(), scheme, nullptr, password);
}

}  // namespace pkcs8test
