// The PKCS#12 key derivation against OpenSSL's PKCS12_key_gen_uni over salts and passwords of
// every length class (empty, odd, one block, more than a block), several output blocks and each
// of the three ids.

#include <gtest/gtest.h>

#include <vector>

#include "crypto/hash/hash.h"
#include "pki/keys/pkcs12.h"
#include "tests/harness/vectors.h"
#include "tests/pki/keys/pkcs12/openssl_kdf_oracle.h"

namespace {

std::vector<uint8_t> pattern(size_t n, uint8_t seed) {
  std::vector<uint8_t> out(n);
  for (size_t i = 0; i < n; ++i) out[i] = uint8_t(seed + 37 * i);
  return out;
}

TEST(Pkcs12KdfOpenssl, MatchesPkcs12KeyGenUni) {
  const int hashes[] = {HASH_SHA1, HASH_SHA256, HASH_SHA384, HASH_SHA512, HASH_SHA224, HASH_MD5};
  const size_t salt_lens[] = {1, 7, 8, 64, 129};
  const size_t password_lens[] = {0, 2, 19, 64, 130};  // 19: an odd length, though BMP is even
  const size_t out_lens[] = {1, 20, 24, 65, 150};
  const uint32_t iterations[] = {1, 2, 2048};
  int n = 0;
  for (int hash : hashes) {
    for (size_t salt_len : salt_lens) {
      for (size_t password_len : password_lens) {
        // Ids, output lengths and counts rotate, so every one meets every hash.
        int id = 1 + n % 3;
        size_t out_len = out_lens[(n + n / 5) % 5];
        uint32_t iter = iterations[n % 3 == 0 ? 2 : n % 2];
        ++n;
        SCOPED_TRACE(testing::Message()
                     << "hash " << hash << " id " << id << " salt " << salt_len << " password "
                     << password_len << " out " << out_len << " iterations " << iter);
        std::vector<uint8_t> salt = pattern(salt_len, uint8_t(n));
        std::vector<uint8_t> password = pattern(password_len, uint8_t(3 * n));
        std::vector<uint8_t> ours(out_len), theirs(out_len);
        ASSERT_EQ(pkcs12_kdf(id, hash, iter, password.empty() ? nullptr : password.data(), password.size(),
                             salt.data(), salt.size(), ours.data(), ours.size()),
                  0);
        ASSERT_EQ(openssl_pkcs12_kdf(id, hash, iter, password.empty() ? nullptr : password.data(),
                                     password.size(), salt.data(), salt.size(), theirs.data(), theirs.size()),
                  1);
        EXPECT_EQ(v7test::to_hex(ours.data(), ours.size()), v7test::to_hex(theirs.data(), theirs.size()));
      }
    }
  }
}

}  // namespace
