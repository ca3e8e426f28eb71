// Differential tests against OpenSSL's BIGNUM arithmetic on seeded random inputs.
#include <openssl/bn.h>

#include <memory>

#include "tests/crypto/bignum/bn_test_util.h"

using bntest::Guarded;
using bntest::Num;

namespace {

struct BnFree {
  void operator()(BIGNUM *b) const { BN_free(b); }
};
using Bn = std::unique_ptr<BIGNUM, BnFree>;
struct CtxFree {
  void operator()(BN_CTX *c) const { BN_CTX_free(c); }
};

Bn to_bn(const Num &a) {
  std::vector<uint8_t> bytes(4 * a.size() + 1);
  mp_to_bytes(a.data(), bytes.size(), a.size(), bytes.data());
  return Bn(BN_bin2bn(bytes.data(), (int)bytes.size(), nullptr));
}

Num from_bn(const BIGNUM *b, size_t words) {
  std::vector<uint8_t> bytes(BN_num_bytes(b));
  BN_bn2bin(b, bytes.data());
  Num a(words);
  mp_from_bytes(words, a.data(), bytes.data(), bytes.size());
  EXPECT_LE(bytes.size(), 4 * words);
  return a;
}

class BignumOpenSsl : public ::testing::Test {
 protected:
  std::unique_ptr<BN_CTX, CtxFree> ctx{BN_CTX_new()};
  std::mt19937 rng{20261210};

  Num ossl_mod_exp(const Num &base, const Num &e, const Num &m) {
    Bn r(BN_new());
    EXPECT_EQ(BN_mod_exp(r.get(), to_bn(base).get(), to_bn(e).get(), to_bn(m).get(), ctx.get()), 1);
    return from_bn(r.get(), m.size());
  }
};

TEST_F(BignumOpenSsl, ProductsAndSquaresOfEverySize) {
  for (size_t la = 1; la <= 70; la++) {
    for (size_t lb = 1; lb <= la; lb += (la > 20 ? 3 : 1)) {
      Num a = bntest::random_num(rng, la), b = bntest::random_num(rng, lb);
      Guarded out(la + lb), scratch(bn_mul_scratch_words(la, lb));
      ASSERT_EQ(bn_mul(out.data(), a.data(), la, b.data(), lb, scratch.data()), 1);
      Bn want(BN_new());
      BN_mul(want.get(), to_bn(a).get(), to_bn(b).get(), ctx.get());
      ASSERT_EQ(out.value(), from_bn(want.get(), la + lb)) << la << "x" << lb;
      ASSERT_TRUE(out.intact() && scratch.intact());
    }
    Num a = bntest::random_num(rng, la);
    Guarded sq(2 * la), scratch(bn_sqr_scratch_words(la));
    ASSERT_EQ(bn_sqr(sq.data(), a.data(), la, scratch.data()), 1);
    Bn want(BN_new());
    BN_sqr(want.get(), to_bn(a).get(), ctx.get());
    EXPECT_EQ(sq.value(), from_bn(want.get(), 2 * la)) << la;
  }
}

TEST_F(BignumOpenSsl, Division) {
  for (int i = 0; i < 2000; i++) {
    size_t nm = 1 + rng() % 40, na = rng() % 80 + 1;
    Num a = bntest::random_num(rng, na), m = bntest::random_num(rng, nm);
    if (bntest::trimmed(m).empty()) m[0] = 1;
    Guarded q(na), r(nm), scratch(bn_divmod_scratch_words(na, nm));
    ASSERT_EQ(bn_divmod(na, q.data(), r.data(), a.data(), na, m.data(), nm, scratch.data()), 1);
    Bn wq(BN_new()), wr(BN_new());
    BN_div(wq.get(), wr.get(), to_bn(a).get(), to_bn(m).get(), ctx.get());
    ASSERT_EQ(q.value(), from_bn(wq.get(), na)) << na << "/" << nm;
    ASSERT_EQ(r.value(), from_bn(wr.get(), nm)) << na << "/" << nm;
    ASSERT_TRUE(q.intact() && r.intact() && scratch.intact());
  }
}

// reduce(t) = t R^-1 mod m for t below m R, R^-1 from BN_mod_inverse.
TEST_F(BignumOpenSsl, MontgomeryReduction) {
  for (size_t n : {1u, 2u, 7u, 16u, 32u, 33u, 64u}) {
    Num m = bntest::random_full(rng, n, true), mm = bntest::mont_modulus(m);
    Bn R(BN_new()), rinv(BN_new());
    BN_set_bit(R.get(), (int)(32 * n));
    ASSERT_NE(BN_mod_inverse(rinv.get(), R.get(), to_bn(m).get(), ctx.get()), nullptr);
    for (int i = 0; i < 10; i++) {
      // A top word below m's keeps t below m R.
      Num t = bntest::random_num(rng, 2 * n);
      t[2 * n - 1] %= m[n - 1];
      Guarded out(n), scratch(bn_mont_reduce_scratch_words(n));
      ASSERT_EQ(bn_mont_reduce(t.data(), 2 * n, scratch.data(), out.data(), mm.data(), n), 1);
      Bn want(BN_new());
      BN_mod_mul(want.get(), to_bn(t).get(), rinv.get(), to_bn(m).get(), ctx.get());
      EXPECT_EQ(out.value(), from_bn(want.get(), n)) << n;
    }
  }
}

TEST_F(BignumOpenSsl, ModExpAtWindowBoundariesAndRsaSizes) {
  const size_t kBits[] = {1, 23, 24, 79, 80, 239, 240, 671, 672};
  for (size_t n : {3u, 32u, 64u}) {
    Num m = bntest::random_full(rng, n, true), mm = bntest::mont_modulus(m);
    for (size_t bits : kBits) {
      Num e = bntest::random_bits(rng, bits), base = bntest::random_num(rng, n);
      EXPECT_EQ(bntest::mod_exp(base, e, mm, n), ossl_mod_exp(base, e, m))
          << n << " words, " << bits << " bits";
    }
    Num e = bntest::random_bits(rng, 32 * n), base = bntest::random_num(rng, n);
    EXPECT_EQ(bntest::mod_exp(base, e, mm, n), ossl_mod_exp(base, e, m)) << n << " words, full exponent";
  }
  // Odd and unusual modulus sizes with full-length exponents.
  for (size_t n : {9u, 17u, 31u, 33u, 48u}) {
    Num m = bntest::random_full(rng, n, true), mm = bntest::mont_modulus(m);
    Num e = bntest::random_bits(rng, 32 * n - 5), base = bntest::random_num(rng, n);
    EXPECT_EQ(bntest::mod_exp(base, e, mm, n), ossl_mod_exp(base, e, m)) << n;
  }
}

TEST_F(BignumOpenSsl, ModInverse) {
  for (size_t n : {1u, 4u, 32u, 64u}) {
    for (int i = 0; i < 8; i++) {
      Num m = bntest::random_full(rng, n, i % 2 == 0), a = bntest::random_num(rng, n);
      a[0] |= 1;
      Bn want(BN_new());
      if (!BN_mod_inverse(want.get(), to_bn(a).get(), to_bn(m).get(), ctx.get())) continue;  // gcd > 1
      Guarded out(n), scratch(bn_mod_inverse_scratch_words(n, n));
      ASSERT_EQ(bn_mod_inverse(n, out.data(), a.data(), n, m.data(), scratch.data()), 1);
      EXPECT_EQ(out.value(), from_bn(want.get(), n)) << n;
      EXPECT_TRUE(out.intact() && scratch.intact());
    }
  }
}

}  // namespace
