// PKCS#1 keys to and from DER, against keys OpenSSL wrote (tests/fixtures/asn1), and the header
// reader that CRL and token code walk DER with.

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <string>

#include "platform/errors/errno_util.h"
#include "crypto/rsa/rsa.h"
#include "pki/asn1/asn1.h"
#include "pki/keys/rsa_key_der.h"
#include "tests/crypto/rsa/rsa_test_util.h"
#include "tests/harness/vectors.h"
#include "tests/pki/asn1/asn1_test_util.h"

namespace {

using v7test::Bytes;
using v7test::from_hex;
using v7test::to_hex;

using asn1test::read_fixture;

using RsaPtr = rsatest::Rsa;

struct Split {
  int kind = 0;
  const uint8_t *p[RSA_DER_COUNT] = {};
  size_t n[RSA_DER_COUNT] = {};
};

Split split(const Bytes &der) {
  Split s;
  s.kind = rsa_key_from_der(der.size(), der.data(), s.p, s.n);
  return s;
}

RsaPtr load(const Split &s) {
  RsaPtr key(rsa_new());
  if (s.kind == RSA_KIND_PUBLIC) {
    EXPECT_GT(rsa_set_public_key(key.get(), s.p[0], s.n[0], s.p[1], s.n[1]), 0);
  } else {
    EXPECT_GT(rsa_set_private_key(key.get(), s.p[0], s.n[0], s.p[1], s.n[1], s.p[2], s.n[2], s.p[3], s.n[3],
                                  s.p[4], s.n[4], s.p[5], s.n[5], s.p[6], s.n[6], s.p[7], s.n[7]),
              0);
  }
  return key;
}

Bytes to_der(const RSA_CTX *key, int kind) {
  size_t size = rsa_key_to_der(key, kind, nullptr, 0);
  Bytes out(size);
  EXPECT_EQ(rsa_key_to_der(key, kind, out.data(), out.size()), size) << "a size query and a write agree";
  return out;
}

TEST(RsaKeyDer, OpenSslKeysSplitLoadAndWriteBackTheSameBytes) {
  const struct {
    const char *file;
    int kind;
    size_t modulus, exponent;
  } files[] = {
      {"asn1/rsa1024_public.der", RSA_KIND_PUBLIC, 128, 3},
      {"asn1/rsa1024_private.der", RSA_KIND_PRIVATE, 128, 3},
      {"asn1/rsa_public.der", RSA_KIND_PUBLIC, 256, 3},
      {"asn1/rsa_private.der", RSA_KIND_PRIVATE, 256, 3},
  };
  for (const auto &f : files) {
    SCOPED_TRACE(f.file);
    Bytes der = read_fixture(f.file);
    ASSERT_FALSE(der.empty());
    Split s = split(der);
    ASSERT_EQ(s.kind, f.kind);
    EXPECT_EQ(s.n[RSA_DER_N], f.modulus);
    EXPECT_EQ(s.n[RSA_DER_E], f.exponent);
    EXPECT_EQ(to_hex(s.p[RSA_DER_E], s.n[RSA_DER_E]), "010001");
    EXPECT_NE(s.p[RSA_DER_N][0] & 0x80, 0) << "the pointer is past the sign byte";
    for (int i = 0; i < RSA_DER_COUNT; ++i) {
      if (s.p[i] == nullptr) continue;
      EXPECT_TRUE(s.p[i] >= der.data() && s.p[i] + s.n[i] <= der.data() + der.size()) << "copied entry " << i;
    }
    if (f.kind == RSA_KIND_PUBLIC) {
      EXPECT_EQ(s.p[RSA_DER_D], nullptr);
    }
    RsaPtr key = load(s);
    EXPECT_EQ(to_hex(to_der(key.get(), f.kind)), to_hex(der));
  }
  // The public half of a private key is its RSAPublicKey.
  RsaPtr key = load(split(read_fixture("asn1/rsa_private.der")));
  EXPECT_EQ(to_hex(to_der(key.get(), RSA_KIND_PUBLIC)), to_hex(read_fixture("asn1/rsa_public.der")));
}

TEST(RsaKeyDer, ModulusLengthFollowsItsBitLength) {
  // A 2048-bit modulus with its top bit set needs the sign byte; a 2047-bit one does not.
  for (int bits : {2048, 2047}) {
    SCOPED_TRACE(bits);
    Bytes n(256, 0xFF);
    if (bits == 2047) n[0] = 0x7F;
    const uint8_t e[] = {0x03};
    RsaPtr key(rsa_new());
    ASSERT_EQ(rsa_set_public_key(key.get(), n.data(), n.size(), e, sizeof(e)), bits);
    Bytes der = to_der(key.get(), RSA_KIND_PUBLIC);
    size_t contents;
    size_t header = der_read_header(der.data(), der.size(), 0x30, &contents);
    ASSERT_EQ(header, 4u);
    const uint8_t *modulus = der.data() + header;
    EXPECT_EQ(to_hex(modulus, 4), bits == 2048 ? "02820101" : "02820100");
    EXPECT_EQ(modulus[4], bits == 2048 ? 0x00 : 0x7F);
  }
}

TEST(RsaKeyDer, WriterRefusals) {
  RsaPtr empty(rsa_new());
  RsaPtr pub = load(split(read_fixture("asn1/rsa1024_public.der")));
  uint8_t out[8];
  const struct {
    const char *what;
    const RSA_CTX *key;
    int kind;
    uint8_t *out;
    size_t capacity;
    int code;
  } cases[] = {
      {"null key", nullptr, RSA_KIND_PUBLIC, nullptr, 0, v7::kErrInvalidParameter},
      {"kind 0", pub.get(), 0, nullptr, 0, v7::kErrInvalidParameter},
      {"kind 3", pub.get(), 3, nullptr, 0, v7::kErrInvalidParameter},
      {"null output with a capacity", pub.get(), RSA_KIND_PUBLIC, nullptr, 10, v7::kErrInvalidParameter},
      {"empty key", empty.get(), RSA_KIND_PUBLIC, nullptr, 0, v7::kErrRsaNoKey},
      {"private form of a public key", pub.get(), RSA_KIND_PRIVATE, nullptr, 0, v7::kErrRsaNoKey},
      {"short capacity", pub.get(), RSA_KIND_PUBLIC, out, sizeof(out), v7::kErrInsufficientMemory},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    errno = 0;
    EXPECT_EQ(rsa_key_to_der(c.key, c.kind, c.out, c.capacity), 0u);
    EXPECT_EQ(errno, c.code);
  }
}

// DER of a key from hex pieces, wrapped in its SEQUENCE.
Bytes sequence(const std::string &contents_hex) {
  Bytes contents = from_hex(contents_hex);
  Bytes der(6);
  der.resize(rsa_der_put_tag_len(der.data(), contents.size(), 0x30));
  der.insert(der.end(), contents.begin(), contents.end());
  return der;
}

TEST(RsaKeyDer, ReaderRefusals) {
  const std::string n512 = "0241 00" + std::string(126, 'c') + "01";  // 512 bits, top bit set
  const std::string n256 = "0221 00" + std::string(64, 'c');
  const std::string e = "0203 010001";
  const std::string six = "020101 020101 020101 020101 020101 020101";
  Bytes pub = sequence(n512 + e);
  const struct {
    const char *what;
    Bytes der;
    int kind;
  } cases[] = {
      {"a 512-bit public key", pub, RSA_KIND_PUBLIC},
      {"a 256-bit modulus", sequence(n256 + e), 0},
      {"a private key", sequence("020100" + n512 + e + six), RSA_KIND_PRIVATE},
      {"trailing bytes inside the SEQUENCE", sequence("020100" + n512 + e + six + "0500"), 0},
      {"other-prime information", sequence("020101" + n512 + e + six + "3000"), 0},
      {"other-prime information after version 0", sequence("020100" + n512 + e + six + "3000"), 0},
      {"one INTEGER short", sequence("020100" + n512 + e + six.substr(7)), 0},
      {"a one-byte first INTEGER other than 0", sequence("020105" + n512 + e), 0},
      {"an exponent longer than half the modulus", sequence(n512 + "0221 01" + std::string(64, '0')), 0},
      {"a negative modulus", sequence("0240 " + std::string(128, 'c') + e), 0},
      {"bytes after the SEQUENCE",
       [&] {
         Bytes d = pub;
         d.push_back(0);
         return d;
       }(),
       0},
      {"not a SEQUENCE", from_hex("3100"), 0},
      {"empty", Bytes(), 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    errno = 0;
    Split s = split(c.der);
    EXPECT_EQ(s.kind, c.kind);
    EXPECT_EQ(errno, 0) << "the reader sets no code";
  }
  for (size_t cut = 0; cut < pub.size(); ++cut) {
    Bytes part(pub.begin(), pub.begin() + cut);
    EXPECT_EQ(split(part).kind, 0) << "cut at " << cut;
  }
}

TEST(RsaKeyDer, HeaderReader) {
  const struct {
    const char *der;
    uint8_t tag;
    size_t header, length;
  } cases[] = {
      {"020105", 0x02, 2, 1},
      {"0202007f", 0x02, 3, 1},  // a redundant zero is dropped, as the codec does
      {"020300007f", 0x02, 4, 1},
      {"02020080", 0x02, 2, 2},  // the sign byte stays: the codec's serial has it too
      {"0202ff7f", 0x02, 2, 2},
      {"0202ff80", 0x02, 0, 0},   // non-minimal negative
      {"0200 00", 0x02, 0, 0},    // empty INTEGER
      {"0500", 0x05, 0, 0},       // fewer than 3 bytes
      {"040161", 0x02, 0, 0},     // another tag
      {"3080 0000", 0x30, 0, 0},  // indefinite
      {"04817f"
       "00",
       0x04, 0, 0},                 // long form below 128
      {"0482007f 00", 0x04, 0, 0},  // leading zero length byte
      {"040561", 0x04, 0, 0},       // contents past the input
      {"0481ff", 0x04, 0, 0},
      {"0485 0000000001 00", 0x04, 0, 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.der);
    Bytes der = from_hex(c.der);
    size_t length = 999;
    EXPECT_EQ(der_read_header(der.data(), der.size(), c.tag, &length), c.header);
    if (c.header != 0) {
      EXPECT_EQ(length, c.length);
    }
  }
  // Long lengths of up to four bytes are read, as everywhere else in the toolkit.
  for (size_t len : {size_t(200), size_t(0x10000), size_t(0x1000000)}) {
    Bytes der(6);
    der.resize(rsa_der_put_tag_len(der.data(), len, 0x04));
    size_t header = der.size();
    der.resize(header + len);
    size_t length = 0;
    EXPECT_EQ(der_read_header(der.data(), der.size(), 0x04, &length), header);
    EXPECT_EQ(length, len);
  }
}

// The revoked-entry search of a CRL walks the raw DER with der_read_header and compares serials
// byte for byte with the certificate's decoded one: both must read the serial the same way.
TEST(RsaKeyDer, HeaderReaderReadsSerialsAsTheCodecStoresThem) {
  Bytes cert = read_fixture("asn1/cert.der");
  Bytes crl = read_fixture("asn1/crl.der");
  ASSERT_FALSE(cert.empty() || crl.empty());
  // Certificate > TBSCertificate > [0] version, then the serial.
  size_t len;
  const uint8_t *p = cert.data();
  p += der_read_header(p, cert.size(), 0x30, &len);
  p += der_read_header(p, len, 0x30, &len);
  size_t version_len;
  size_t h = der_read_header(p, len, 0xA0, &version_len);
  ASSERT_NE(h, 0u);
  p += h + version_len;
  size_t serial_len;
  h = der_read_header(p, len, 0x02, &serial_len);
  ASSERT_NE(h, 0u);
  std::string cert_serial = to_hex(p + h, serial_len);
  EXPECT_EQ(cert_serial, "008a1b2c3d4e5f60718293");
  // The same bytes as ASN1_BYTES of the codec: INTEGER with a leading sign byte.
  Bytes element(p, p + h + serial_len);
  void *value = asn1_decode_alloc(ASN1_MODE_DER, element.data(), &asn1_tmpl_integer, element.size());
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(to_hex(static_cast<ASN1_BYTES *>(value)->data, static_cast<ASN1_BYTES *>(value)->len),
            cert_serial);
  asn1_release(&asn1_tmpl_integer, value);

  // CertificateList > TBSCertList > version, signature, issuer, thisUpdate, nextUpdate, revoked.
  p = crl.data();
  p += der_read_header(p, crl.size(), 0x30, &len);
  p += der_read_header(p, len, 0x30, &len);
  const uint8_t *tbs_end = p + len;
  for (uint8_t tag : {0x02, 0x30, 0x30, 0x17, 0x17}) {
    size_t skip;
    size_t hh = der_read_header(p, size_t(tbs_end - p), tag, &skip);
    ASSERT_NE(hh, 0u) << int(tag);
    p += hh + skip;
  }
  size_t revoked_len, entry_len;
  p += der_read_header(p, size_t(tbs_end - p), 0x30, &revoked_len);
  p += der_read_header(p, revoked_len, 0x30, &entry_len);
  h = der_read_header(p, entry_len, 0x02, &serial_len);
  ASSERT_NE(h, 0u);
  EXPECT_EQ(to_hex(p + h, serial_len), cert_serial);
}

TEST(RsaKeyDer, PutTagLen) {
  uint8_t out[6];
  EXPECT_EQ(rsa_der_put_tag_len(out, 127, 0x30), 2u);
  EXPECT_EQ(to_hex(out, 2), "307f");
  EXPECT_EQ(rsa_der_put_tag_len(out, 256, 0x02), 4u);
  EXPECT_EQ(to_hex(out, 4), "02820100");
  EXPECT_EQ(rsa_der_put_tag_len(nullptr, 0x1000000, 0x30), 6u);
}

}  // namespace
