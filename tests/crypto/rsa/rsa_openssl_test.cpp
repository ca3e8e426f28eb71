// Differential tests against OpenSSL's libcrypto on fresh keys of several sizes: raw operations
// and PKCS#1 v1.5 signatures byte for byte, PSS, OAEP and type 2 in both directions, and
// OpenSSL's key check on keys generated here.
#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/rsa.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "platform/errors/errno_util.h"
#include "crypto/bignum/bignum.h"
#include "crypto/hash/hash.h"
#include "crypto/rsa/rsa.h"
#include "tests/crypto/rsa/rsa_test_util.h"
#include "tests/harness/openssl_md.h"

namespace {

using rsatest::Bytes;
using rsatest::code_of;
using rsatest::Rsa;

struct PkeyDeleter {
  void operator()(EVP_PKEY *p) const { EVP_PKEY_free(p); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyDeleter>;
struct PkeyCtxDeleter {
  void operator()(EVP_PKEY_CTX *p) const { EVP_PKEY_CTX_free(p); }
};
using PkeyCtx = std::unique_ptr<EVP_PKEY_CTX, PkeyCtxDeleter>;

Pkey openssl_key(int bits, unsigned e) {
  PkeyCtx ctx(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
  EVP_PKEY_keygen_init(ctx.get());
  EVP_PKEY_CTX_set_rsa_keygen_bits(ctx.get(), bits);
  BIGNUM *bn = BN_new();
  BN_set_word(bn, e);
  EVP_PKEY_CTX_set1_rsa_keygen_pubexp(ctx.get(), bn);
  BN_free(bn);
  EVP_PKEY *pkey = nullptr;
  EXPECT_EQ(1, EVP_PKEY_keygen(ctx.get(), &pkey));
  return Pkey(pkey);
}

Bytes param(EVP_PKEY *pkey, const char *name) {
  BIGNUM *bn = nullptr;
  EXPECT_EQ(1, EVP_PKEY_get_bn_param(pkey, name, &bn));
  Bytes out(size_t(BN_num_bytes(bn)));
  BN_bn2bin(bn, out.data());
  BN_clear_free(bn);
  return out;
}

const char *const kParams[8] = {OSSL_PKEY_PARAM_RSA_N,         OSSL_PKEY_PARAM_RSA_E,
                                OSSL_PKEY_PARAM_RSA_D,         OSSL_PKEY_PARAM_RSA_FACTOR1,
                                OSSL_PKEY_PARAM_RSA_FACTOR2,   OSSL_PKEY_PARAM_RSA_EXPONENT1,
                                OSSL_PKEY_PARAM_RSA_EXPONENT2, OSSL_PKEY_PARAM_RSA_COEFFICIENT1};

// The same key in the toolkit (private, and public only).
struct Pair {
  Pkey ossl;
  Rsa priv, pub;
  size_t k;
};

Pair load(Pkey pkey) {
  rsatest::FixtureKey f;
  Bytes *parts[8] = {&f.n, &f.e, &f.d, &f.p, &f.q, &f.dp, &f.dq, &f.qinv};
  for (int i = 0; i < 8; i++) *parts[i] = param(pkey.get(), kParams[i]);
  f.bits = EVP_PKEY_get_bits(pkey.get());
  Pair pair{std::move(pkey), rsatest::private_key(f), rsatest::public_key(f), size_t(f.bits + 7) / 8};
  return pair;
}

// The toolkit's key as an OpenSSL key, through its numbers.
Pkey to_openssl(const RSA_CTX *ctx) {
  OSSL_PARAM_BLD *bld = OSSL_PARAM_BLD_new();
  const int order[8] = {RSA_NUMBER_N, RSA_NUMBER_E,  RSA_NUMBER_D,  RSA_NUMBER_P,
                        RSA_NUMBER_Q, RSA_NUMBER_DP, RSA_NUMBER_DQ, RSA_NUMBER_QINV};
  std::vector<BIGNUM *> bns;
  for (int i = 0; i < 8; i++) {
    size_t words = 0;
    const uint32_t *w = rsa_key_number(ctx, order[i], &words);
    Bytes b(4 * words);
    mp_to_bytes(w, b.size(), words, b.data());
    bns.push_back(BN_bin2bn(b.data(), int(b.size()), nullptr));
    OSSL_PARAM_BLD_push_BN(bld, kParams[i], bns.back());
  }
  OSSL_PARAM *params = OSSL_PARAM_BLD_to_param(bld);
  PkeyCtx pctx(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
  EVP_PKEY *pkey = nullptr;
  EXPECT_EQ(1, EVP_PKEY_fromdata_init(pctx.get()));
  EXPECT_EQ(1, EVP_PKEY_fromdata(pctx.get(), &pkey, EVP_PKEY_KEYPAIR, params));
  OSSL_PARAM_free(params);
  OSSL_PARAM_BLD_free(bld);
  for (BIGNUM *bn : bns) BN_clear_free(bn);
  return Pkey(pkey);
}

Bytes random_bytes(std::mt19937 &rng, size_t n) {
  Bytes b(n);
  for (auto &x : b) x = uint8_t(rng());
  return b;
}

Bytes md_digest(int hash_type, const Bytes &msg) {
  Bytes d(EVP_MAX_MD_SIZE);
  unsigned len = 0;
  EVP_Digest(msg.data(), msg.size(), d.data(), &len, openssl_md(hash_type), nullptr);
  d.resize(len);
  return d;
}

// Sets up an OpenSSL operation context: padding, then the digests that apply.
PkeyCtx op_ctx(EVP_PKEY *pkey, int (*init)(EVP_PKEY_CTX *), int padding, int md = 0, int mgf = 0) {
  PkeyCtx ctx(EVP_PKEY_CTX_new(pkey, nullptr));
  EXPECT_EQ(1, init(ctx.get()));
  EXPECT_LT(0, EVP_PKEY_CTX_set_rsa_padding(ctx.get(), padding));
  if (padding == RSA_PKCS1_OAEP_PADDING) {
    EXPECT_LT(0, EVP_PKEY_CTX_set_rsa_oaep_md(ctx.get(), openssl_md(md)));
    EXPECT_LT(0, EVP_PKEY_CTX_set_rsa_mgf1_md(ctx.get(), openssl_md(mgf)));
  } else if (md != 0) {
    EXPECT_LT(0, EVP_PKEY_CTX_set_signature_md(ctx.get(), openssl_md(md)));
  }
  if (padding == RSA_PKCS1_PSS_PADDING) {
    EXPECT_LT(0, EVP_PKEY_CTX_set_rsa_mgf1_md(ctx.get(), openssl_md(mgf)));
    EXPECT_LT(0, EVP_PKEY_CTX_set_rsa_pss_saltlen(ctx.get(), 20));
  }
  return ctx;
}

Bytes openssl_run(EVP_PKEY_CTX *ctx,
                  int (*op)(EVP_PKEY_CTX *, unsigned char *, size_t *, const unsigned char *, size_t),
                  const Bytes &in) {
  size_t len = 0;
  if (op(ctx, nullptr, &len, in.data(), in.size()) != 1) return {};
  Bytes out(len);
  if (op(ctx, out.data(), &len, in.data(), in.size()) != 1) return {};
  out.resize(len);
  return out;
}

std::vector<Pair> &keys() {
  static std::vector<Pair> all = [] {
    std::vector<Pair> v;
    const struct {
      int bits;
      unsigned e;
    } sizes[] = {{1024, 65537}, {1536, 3}, {2048, 65535}, {2048, 65537}, {3072, 65537}, {4096, 65537}};
    for (const auto &s : sizes) v.push_back(load(openssl_key(s.bits, s.e)));
    return v;
  }();
  return all;
}

int identity_encode(const void *, int, const uint8_t *msg, size_t len, uint8_t *out, size_t) {
  std::memcpy(out, msg, len);
  return int(len);
}
int identity_decode(const void *, int, const uint8_t *block, size_t len, uint8_t *out, size_t) {
  std::memcpy(out, block, len);
  return int(len);
}
int never_verify(const void *, int, const uint8_t *, size_t, const uint8_t *, size_t) { return 0; }
const RSA_PADDING kRawSign = {identity_encode, never_verify, nullptr, nullptr};
const RSA_PADDING kRawCrypt = {identity_encode, nullptr, identity_decode, nullptr};

TEST(OpenSslRsa, RawOperationsAgree) {
  std::mt19937 rng(11);
  for (Pair &key : keys()) {
    for (int i = 0; i < 4; i++) {
      Bytes x = random_bytes(rng, key.k);
      x[0] = 0;  // below n
      PkeyCtx dec = op_ctx(key.ossl.get(), EVP_PKEY_decrypt_init, RSA_NO_PADDING);
      PkeyCtx enc = op_ctx(key.ossl.get(), EVP_PKEY_encrypt_init, RSA_NO_PADDING);
      Bytes ours(key.k);
      ASSERT_EQ(int(key.k),
                rsa_private_encrypt(key.k, key.priv.get(), x.data(), x.size(), &kRawSign, ours.data()));
      EXPECT_EQ(openssl_run(dec.get(), EVP_PKEY_decrypt, x), ours) << key.k;
      ASSERT_EQ(int(key.k),
                rsa_public_encrypt(key.pub.get(), key.k, x.data(), x.size(), &kRawCrypt, ours.data()));
      EXPECT_EQ(openssl_run(enc.get(), EVP_PKEY_encrypt, x), ours) << key.k;
    }
  }
}

TEST(OpenSslRsa, Pkcs1SignaturesByteForByte) {
  std::mt19937 rng(12);
  const int hashes[] = {HASH_SHA1, HASH_SHA224, HASH_SHA256, HASH_SHA384, HASH_SHA512};
  for (Pair &key : keys()) {
    for (int hash : hashes) {
      Bytes msg = random_bytes(rng, rng() % 300), ours(key.k);
      RSA_PADDING enc = {rsa_pad_pkcs1_sign, rsa_verify_pkcs1_sign, nullptr, &hash};
      PkeyCtx sign = op_ctx(key.ossl.get(), EVP_PKEY_sign_init, RSA_PKCS1_PADDING, hash);
      Bytes theirs = openssl_run(sign.get(), EVP_PKEY_sign, md_digest(hash, msg));
      ASSERT_EQ(int(key.k),
                rsa_private_encrypt(key.k, key.priv.get(), msg.data(), msg.size(), &enc, ours.data()));
      EXPECT_EQ(theirs, ours) << key.k << " hash " << hash;
      EXPECT_EQ(1, rsa_public_decrypt(key.pub.get(), msg.data(), msg.size(), nullptr, theirs.data(),
                                      theirs.size()));
    }
    // MD5: OpenSSL signs it, the toolkit neither signs nor accepts it.
    Bytes msg = {'m', 'd', '5'}, ours(key.k);
    PkeyCtx sign = op_ctx(key.ossl.get(), EVP_PKEY_sign_init, RSA_PKCS1_PADDING, HASH_MD5);
    Bytes theirs = openssl_run(sign.get(), EVP_PKEY_sign, md_digest(HASH_MD5, msg));
    ASSERT_EQ(key.k, theirs.size());
    EXPECT_EQ(v7::kErrVerifySignature, code_of([&] {
                return rsa_public_decrypt(key.pub.get(), msg.data(), msg.size(), nullptr, theirs.data(),
                                          theirs.size());
              }));
    const int md5 = HASH_MD5;
    RSA_PADDING enc = {rsa_pad_pkcs1_sign, rsa_verify_pkcs1_sign, nullptr, &md5};
    EXPECT_EQ(v7::kErrUnsupportedHash, code_of([&] {
                return rsa_private_encrypt(key.k, key.priv.get(), msg.data(), msg.size(), &enc, ours.data());
              }));
  }
}

TEST(OpenSslRsa, PssBothWays) {
  std::mt19937 rng(13);
  const struct {
    const RSA_PADDING *record;
    int md, mgf;
  } records[] = {{&RSA_PAD_PSS, HASH_SHA1, HASH_SHA1},
                 {&RSA_PAD_PSS_SHA256_MGF1_SHA1, HASH_SHA256, HASH_SHA1},
                 {&RSA_PAD_PSS_SHA256, HASH_SHA256, HASH_SHA256}};
  for (Pair &key : keys()) {
    for (const auto &r : records) {
      Bytes msg = random_bytes(rng, rng() % 200), ours(key.k);
      ASSERT_EQ(int(key.k),
                rsa_private_encrypt(key.k, key.priv.get(), msg.data(), msg.size(), r.record, ours.data()));
      PkeyCtx verify = op_ctx(key.ossl.get(), EVP_PKEY_verify_init, RSA_PKCS1_PSS_PADDING, r.md, r.mgf);
      Bytes digest = md_digest(r.md, msg);
      EXPECT_EQ(1, EVP_PKEY_verify(verify.get(), ours.data(), ours.size(), digest.data(), digest.size()))
          << key.k;
      PkeyCtx sign = op_ctx(key.ossl.get(), EVP_PKEY_sign_init, RSA_PKCS1_PSS_PADDING, r.md, r.mgf);
      Bytes theirs = openssl_run(sign.get(), EVP_PKEY_sign, digest);
      EXPECT_EQ(1, rsa_public_decrypt(key.pub.get(), msg.data(), msg.size(), r.record, theirs.data(),
                                      theirs.size()))
          << key.k;
    }
  }
}

TEST(OpenSslRsa, OaepAndType2BothWays) {
  std::mt19937 rng(14);
  const struct {
    const RSA_PADDING *record;
    int padding, md, mgf;
  } records[] = {{&RSA_PAD_OAEP, RSA_PKCS1_OAEP_PADDING, HASH_SHA1, HASH_SHA1},
                 {&RSA_PAD_OAEP_MGF1_SHA256, RSA_PKCS1_OAEP_PADDING, HASH_SHA1, HASH_SHA256},
                 {&RSA_PAD_OAEP_SHA256_MGF1_SHA1, RSA_PKCS1_OAEP_PADDING, HASH_SHA256, HASH_SHA1},
                 {&RSA_PAD_OAEP_SHA256, RSA_PKCS1_OAEP_PADDING, HASH_SHA256, HASH_SHA256},
                 {&RSA_PAD_PKCS1_ENCRYPT, RSA_PKCS1_PADDING, 0, 0}};
  for (Pair &key : keys()) {
    for (const auto &r : records) {
      size_t max =
          r.padding == RSA_PKCS1_PADDING ? key.k - 11 : key.k - 2 * size_t(hash_digest_len(r.md)) - 2;
      for (size_t len : {size_t(0), size_t(1), max}) {
        Bytes msg = random_bytes(rng, len), ct(key.k), out(key.k);
        ASSERT_EQ(int(key.k),
                  rsa_public_encrypt(key.pub.get(), key.k, msg.data(), msg.size(), r.record, ct.data()));
        PkeyCtx dec = op_ctx(key.ossl.get(), EVP_PKEY_decrypt_init, r.padding, r.md, r.mgf);
        EXPECT_EQ(msg, openssl_run(dec.get(), EVP_PKEY_decrypt, ct)) << key.k << " length " << len;
        PkeyCtx enc = op_ctx(key.ossl.get(), EVP_PKEY_encrypt_init, r.padding, r.md, r.mgf);
        Bytes theirs = openssl_run(enc.get(), EVP_PKEY_encrypt, msg);
        errno = 0;
        int got = rsa_private_decrypt(key.priv.get(), theirs.data(), theirs.size(), r.record, out.data(),
                                      out.size());
        EXPECT_EQ(0, errno);
        EXPECT_EQ(msg, Bytes(out.begin(), out.begin() + got)) << key.k << " length " << len;
      }
    }
  }
}

TEST(OpenSslRsa, GeneratedKeysPassOpenSslsKeyCheck) {
  for (int i = 0; i < 2; i++) {
    Rsa ctx(rsa_new());
    ASSERT_EQ(RSA_GENERATED_PRIME_BITS, rsa_generate_key(ctx.get()));
    Pkey pkey = to_openssl(ctx.get());
    ASSERT_TRUE(pkey);
    PkeyCtx check(EVP_PKEY_CTX_new(pkey.get(), nullptr));
    EXPECT_EQ(1, EVP_PKEY_check(check.get()));
    EXPECT_EQ(1, EVP_PKEY_pairwise_check(check.get()));
    EXPECT_EQ(2048, EVP_PKEY_get_bits(pkey.get()));
    EXPECT_EQ(Bytes({0xFF, 0xFF}), param(pkey.get(), OSSL_PKEY_PARAM_RSA_E));
    for (const char *prime : {OSSL_PKEY_PARAM_RSA_FACTOR1, OSSL_PKEY_PARAM_RSA_FACTOR2}) {
      Bytes p = param(pkey.get(), prime);
      ASSERT_EQ(128u, p.size());
      EXPECT_EQ(0xC0, p[0] & 0xC0);
      BIGNUM *bn = BN_bin2bn(p.data(), int(p.size()), nullptr);
      EXPECT_EQ(1, BN_check_prime(bn, nullptr, nullptr));
      BN_free(bn);
    }
    // OpenSSL signs with the generated key exactly as the toolkit does.
    Bytes msg = {'f', 'r', 'e', 's', 'h'}, ours(256);
    PkeyCtx sign = op_ctx(pkey.get(), EVP_PKEY_sign_init, RSA_PKCS1_PADDING, HASH_SHA256);
    ASSERT_EQ(256, rsa_private_encrypt(256, ctx.get(), msg.data(), msg.size(), &RSA_PAD_PKCS1_SIGN_SHA256,
                                       ours.data()));
    EXPECT_EQ(openssl_run(sign.get(), EVP_PKEY_sign, md_digest(HASH_SHA256, msg)), ours);
  }
}

}  // namespace
