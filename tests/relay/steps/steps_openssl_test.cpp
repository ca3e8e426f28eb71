// The encryption target a sender builds, checked with libcrypto, which shares none of our code:
// the fresh key is a well-formed RSAPublicKey of 2048 bits, and the signature over its DER
// verifies as SHA-256 with RSA under the signing certificate, so a fault that sender and recipient
// would share (the DigestInfo, the signed bytes) still fails here.
#include <gtest/gtest.h>

#include "tests/relay/steps/steps_test_util.h"

// In a file of their own: OpenSSL's headers and the toolkit's share names.
namespace stepsoracle {
// The bits of an RSAPublicKey DER that is exactly one such key, else 0.
int rsa_public_key_bits(const uint8_t *der, size_t len);
// Whether sig is a SHA-256-with-RSA signature over data under the certificate's key.
bool verify_sha256(const uint8_t *cert, size_t cert_len, const uint8_t *data, size_t len, const uint8_t *sig,
                   size_t sig_len);
}  // namespace stepsoracle

using namespace stepstest;

namespace {

::testing::Environment *const g_env = ::testing::AddGlobalTestEnvironment(new StepsEnvironment);

TEST(RelayStepsOpenssl, FreshTargetKeyIsSignedBySigningCertificate) {
  for (int version : {2, 3}) {
    SCOPED_TRACE(version);
    SessionPtr sender = new_session(sender_mode(version)), recipient = new_session(recipient_mode(version));
    ASSERT_TRUE(load_pairs(sender.get(), version == 3));
    ASSERT_EQ(relay_session_set_id_text(kIdn, recipient.get()), 0);
    MiniRelay relay;
    Bytes target;
    Outcome o = run_transfer(sender.get(), recipient.get(), &relay, [&](const std::string &at, Bytes *rec) {
      if (at == "target") target = *rec;
    });
    ASSERT_EQ(o.failed_at, "");
    ASSERT_GT(target.size(), 5u);
    size_t pos = kRelayHeaderLen;
    const uint8_t *cert = nullptr, *pub = nullptr, *sig = nullptr;
    size_t cert_len = 0, pub_len = 0, sig_len = 0;
    ASSERT_EQ(relay_lv_read(target.data(), target.size(), &pos, &cert, &cert_len), 0);
    ASSERT_EQ(relay_lv_read(target.data(), target.size(), &pos, &pub, &pub_len), 0);
    ASSERT_EQ(relay_lv_read(target.data(), target.size(), &pos, &sig, &sig_len), 0);
    EXPECT_EQ(Bytes(cert, cert + cert_len), relaytest::read_fixture("pki/signCert.der"));

    EXPECT_EQ(stepsoracle::rsa_public_key_bits(pub, pub_len), 2048);
    EXPECT_TRUE(stepsoracle::verify_sha256(cert, cert_len, pub, pub_len, sig, sig_len));
  }
}

}  // namespace
