// The native test token takes the toolkit's RSA functions from the program that loads it. A test
// program that uses none of them itself links this table, so that the linker keeps them (and,
// with ENABLE_EXPORTS, exports them to the token).
#include "crypto/rsa/rsa.h"
#include "pki/x509/algorithms.h"

extern const void *const v7_test_token_needs[];
const void *const v7_test_token_needs[] = {
    reinterpret_cast<const void *>(&rsa_new),
    reinterpret_cast<const void *>(&rsa_free),
    reinterpret_cast<const void *>(&rsa_set_private_key),
    reinterpret_cast<const void *>(&rsa_modulus_bytes),
    reinterpret_cast<const void *>(&rsa_private_encrypt),
    reinterpret_cast<const void *>(&rsa_private_decrypt),
    reinterpret_cast<const void *>(&sig_padding_by_id),
};
