// Real files written by OpenSSL (tests/fixtures/asn1/make-fixtures.sh): each decodes by its
// template and re-encodes to the same bytes, and the fields a later check depends on read right.

#include <gtest/gtest.h>

#include <string>

#include "platform/errors/errno_util.h"
#include "crypto/rsa/rsa.h"
#include "pki/asn1/cms_types.h"
#include "pki/asn1/key_types.h"
#include "pki/asn1/x509_types.h"
#include "pki/keys/rsa_key_der.h"
#include "tests/pki/asn1/asn1_test_util.h"

namespace asn1test {
namespace {

Record decode_fixture(const Bytes &der, const ASN1_TEMPLATE *tmpl, int mode = ASN1_MODE_DER) {
  errno = 0;
  Record r(tmpl, asn1_decode_alloc(mode, der.data(), tmpl, der.size()));
  EXPECT_NE(r.record, nullptr) << "errno " << errno;
  return r;
}

Bytes encode(const ASN1_TEMPLATE *tmpl, const void *record) {
  const ASN1_ITEM item = {0, tmpl};
  return encode_item(&item, record);
}

Bytes bytes_of(const ASN1_BYTES &b) { return Bytes(b.data, b.data + b.len); }

size_t list_length(const ASN1_LIST *node) {
  size_t n = 0;
  for (; node != nullptr; node = node->next) n += node->element != nullptr;
  return n;
}

TEST(Asn1Fixtures, EveryFileRoundTripsByteForByte) {
  const struct {
    const char *file;
    const ASN1_TEMPLATE *tmpl;
  } files[] = {
      {"asn1/cert.der", &asn1_tmpl_certificate},
      {"asn1/ca_cert.der", &asn1_tmpl_certificate},
      {"asn1/crl.der", &asn1_tmpl_certificate_list},
      {"asn1/pkcs8.der", &asn1_tmpl_private_key_info},
      {"asn1/pkcs8_encrypted.der", &asn1_tmpl_encrypted_private_key_info},
      {"asn1/rsa_private.der", &asn1_tmpl_rsa_private_key},
      {"asn1/rsa_public.der", &asn1_tmpl_rsa_public_key},
      {"asn1/rsa1024_private.der", &asn1_tmpl_rsa_private_key},
      {"asn1/rsa1024_public.der", &asn1_tmpl_rsa_public_key},
      {"asn1/cms_signed.der", &asn1_tmpl_content_info},
      {"asn1/cms_signed_ber_as_der.der", &asn1_tmpl_content_info},
      {"asn1/pkcs7_certs.der", &asn1_tmpl_content_info},
  };
  for (const auto &f : files) {
    SCOPED_TRACE(f.file);
    Bytes der = read_fixture(f.file);
    ASSERT_FALSE(der.empty());
    for (int mode : {ASN1_MODE_DER, ASN1_MODE_BER}) {
      Record r = decode_fixture(der, f.tmpl, mode);
      ASSERT_NE(r.record, nullptr);
      EXPECT_EQ(hex(encode(f.tmpl, r.record)), hex(der));
    }
  }
}

TEST(Asn1Fixtures, CertificateFieldsAndTheSignedBytes) {
  Bytes der = read_fixture("asn1/cert.der");
  Record r = decode_fixture(der, &asn1_tmpl_certificate);
  ASSERT_NE(r.record, nullptr);
  const Certificate *cert = r.as<Certificate>();
  const TBSCertificate &tbs = cert->tbs;
  ASSERT_NE(tbs.version, nullptr);
  EXPECT_EQ(asn1_integer_to_int(tbs.version), 2);
  // The serial's top bit is set, so its minimal form keeps the sign byte.
  EXPECT_EQ(hex(tbs.serial_number), "008a1b2c3d4e5f60718293");
  ASSERT_NE(tbs.validity.not_before.utc_time, nullptr);
  EXPECT_EQ(tbs.validity.not_before.generalized_time, nullptr);
  ASSERT_NE(tbs.validity.not_after.generalized_time, nullptr);
  const ASN1_BYTES &before = *tbs.validity.not_before.utc_time;
  const ASN1_BYTES &after = *tbs.validity.not_after.generalized_time;
  int64_t t0 = asn1_utctime_to_time(reinterpret_cast<const char *>(before.data), before.len);
  int64_t t1 = asn1_gentime_to_time(reinterpret_cast<const char *>(after.data), after.len);
  EXPECT_GT(t0, 1735689600);         // after 2025
  EXPECT_GT(t1 - t0, 9499 * 86400);  // -days 9500
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(after.data)).size(), 15u) << "zero-terminated text";

  // The subject's last RDN holds the Korean common name as UTF8String.
  const ASN1_LIST *rdn = tbs.subject.rdn_sequence;
  ASSERT_NE(rdn, nullptr);
  while (rdn->next != nullptr) rdn = rdn->next;
  const ASN1_LIST *set = static_cast<const ASN1_LIST *>(rdn->element);
  const AttributeTypeAndValue *cn = static_cast<const AttributeTypeAndValue *>(set->element);
  EXPECT_EQ(hex(cn->type), "550403");
  EXPECT_EQ(cn->value.data[0], 0x0C);
  EXPECT_NE(std::string(reinterpret_cast<const char *>(cn->value.data)).find("홍길동"), std::string::npos);

  ASSERT_NE(tbs.extensions, nullptr);
  EXPECT_EQ(list_length(tbs.extensions), 7u);
  int critical = 0;
  for (const ASN1_LIST *n = tbs.extensions; n != nullptr; n = n->next) {
    const Extension *e = static_cast<const Extension *>(n->element);
    if (e->critical != nullptr) {
      EXPECT_EQ(hex(e->extn_id), "551d0f") << "only keyUsage is critical";
      EXPECT_EQ(*e->critical, 0xFFu);
      ++critical;
    }
  }
  EXPECT_EQ(critical, 1);
  EXPECT_EQ(tbs.issuer_unique_id, nullptr);

  // A signature is checked over the re-encoded TBSCertificate: it must be the signed bytes.
  ASN1_HEADER h;
  ASSERT_EQ(asn1_read_header(ASN1_MODE_DER, der.data(), der.size(), &h), 0);
  ASN1_HEADER t;
  ASSERT_EQ(asn1_read_header(ASN1_MODE_DER, der.data() + h.header_len, h.content_len, &t), 0);
  Bytes signed_bytes(der.begin() + h.header_len, der.begin() + h.header_len + t.header_len + t.content_len);
  EXPECT_EQ(hex(encode(&asn1_tmpl_tbs_certificate, &tbs)), hex(signed_bytes));

  // The issuer re-encodes to the CA certificate's subject.
  Bytes ca = read_fixture("asn1/ca_cert.der");
  Record ca_cert = decode_fixture(ca, &asn1_tmpl_certificate);
  ASSERT_NE(ca_cert.record, nullptr);
  EXPECT_EQ(hex(encode(&asn1_tmpl_name, &tbs.issuer)),
            hex(encode(&asn1_tmpl_name, &ca_cert.as<Certificate>()->tbs.subject)));
}

TEST(Asn1Fixtures, CrlEntriesDecodeFromTheRawRevokedList) {
  Record crl = decode_fixture(read_fixture("asn1/crl.der"), &asn1_tmpl_certificate_list);
  Record cert = decode_fixture(read_fixture("asn1/cert.der"), &asn1_tmpl_certificate);
  ASSERT_TRUE(crl.record != nullptr && cert.record != nullptr);
  const TBSCertList &tbs = crl.as<CertificateList>()->tbs;
  EXPECT_NE(tbs.version, nullptr);
  ASSERT_NE(tbs.revoked_certificates, nullptr);
  ASSERT_NE(tbs.crl_extensions, nullptr);
  EXPECT_EQ(list_length(tbs.crl_extensions), 2u);  // authorityKeyIdentifier, cRLNumber

  const ASN1_BYTES &raw = *tbs.revoked_certificates;
  Record entries = decode_fixture(bytes_of(raw), &asn1_tmpl_revoked_list);
  ASSERT_NE(entries.record, nullptr);
  const ASN1_LIST *list = entries.as<ASN1_LIST>();
  EXPECT_EQ(list_length(list), 1u);
  const RevokedCertificate *entry = static_cast<const RevokedCertificate *>(list->element);
  // The entry's serial is stored exactly as the certificate's, so a byte comparison matches.
  EXPECT_EQ(hex(entry->user_certificate), hex(cert.as<Certificate>()->tbs.serial_number));
  ASSERT_NE(entry->crl_entry_extensions, nullptr);
  EXPECT_EQ(hex(static_cast<const Extension *>(entry->crl_entry_extensions->element)->extn_id), "551d15");
  EXPECT_EQ(hex(encode(&asn1_tmpl_revoked_list, list)), hex(bytes_of(raw)));
}

TEST(Asn1Fixtures, Pkcs8WrapsThePkcs1Key) {
  Record p8 = decode_fixture(read_fixture("asn1/pkcs8.der"), &asn1_tmpl_private_key_info);
  Bytes pkcs1 = read_fixture("asn1/rsa_private.der");
  ASSERT_NE(p8.record, nullptr);
  const PrivateKeyInfo *info = p8.as<PrivateKeyInfo>();
  EXPECT_EQ(hex(info->private_key_algorithm.algorithm), "2a864886f70d010101");
  ASSERT_NE(info->private_key_algorithm.parameters, nullptr);
  EXPECT_EQ(hex(*info->private_key_algorithm.parameters), "0500");
  EXPECT_EQ(info->attributes, nullptr);
  EXPECT_EQ(hex(bytes_of(info->private_key)), hex(pkcs1));

  Record key = decode_fixture(pkcs1, &asn1_tmpl_rsa_private_key);
  Record pub = decode_fixture(read_fixture("asn1/rsa_public.der"), &asn1_tmpl_rsa_public_key);
  ASSERT_TRUE(key.record != nullptr && pub.record != nullptr);
  const RSAPrivateKey *k = key.as<RSAPrivateKey>();
  EXPECT_EQ(hex(k->version), "00");
  EXPECT_EQ(k->modulus.len, 257u);
  EXPECT_EQ(hex(k->modulus), hex(pub.as<RSAPublicKey>()->modulus));
  EXPECT_EQ(hex(k->public_exponent), "010001");
  EXPECT_EQ(k->other_prime_infos, nullptr);
}

TEST(Asn1Fixtures, SignedDataInsideItsContentInfo) {
  for (const char *file : {"asn1/cms_signed.der", "asn1/pkcs7_certs.der"}) {
    SCOPED_TRACE(file);
    Record info = decode_fixture(read_fixture(file), &asn1_tmpl_content_info);
    ASSERT_NE(info.record, nullptr);
    const ContentInfo *ci = info.as<ContentInfo>();
    EXPECT_EQ(hex(ci->content_type), "2a864886f70d010702");
    Bytes inner = bytes_of(ci->content);
    Record sd = decode_fixture(inner, &asn1_tmpl_signed_data);
    ASSERT_NE(sd.record, nullptr);
    const SignedData *s = sd.as<SignedData>();
    ASSERT_NE(s->certificates, nullptr);
    const CertificateChoice *first = static_cast<const CertificateChoice *>(s->certificates->element);
    EXPECT_NE(first->certificate, nullptr);
    EXPECT_EQ(hex(encode(&asn1_tmpl_signed_data, s)), hex(inner));
    if (std::string(file) == "asn1/pkcs7_certs.der") {
      EXPECT_EQ(list_length(s->certificates), 2u);
      ASSERT_NE(s->crls, nullptr);
      EXPECT_EQ(list_length(s->crls), 1u);
      EXPECT_EQ(s->signer_infos.element, nullptr) << "a certificate bag has no signers";
    } else {
      EXPECT_EQ(list_length(&s->signer_infos), 1u);
      const SignerInfo *si = static_cast<const SignerInfo *>(s->signer_infos.element);
      EXPECT_NE(si->sid.issuer_and_serial_number, nullptr);
      ASSERT_NE(si->signed_attrs, nullptr);
      EXPECT_GE(list_length(si->signed_attrs), 3u);
      ASSERT_NE(s->encap_content_info.e_content, nullptr);
      EXPECT_EQ(std::string(reinterpret_cast<const char *>(s->encap_content_info.e_content->data)),
                "signed content of the test message\r\n");
    }
  }
}

// A streaming signer's BER: indefinite lengths and a constructed eContent. BER mode reads it,
// DER mode refuses it, and the DER the decoded SignedData encodes to is what OpenSSL writes
// for the same structure in DER.
TEST(Asn1Fixtures, StreamedBerSignedData) {
  Bytes ber = read_fixture("asn1/cms_signed_ber.der");
  errno = 0;
  EXPECT_EQ(asn1_decode_alloc(ASN1_MODE_DER, ber.data(), &asn1_tmpl_content_info, ber.size()), nullptr);
  EXPECT_EQ(errno, v7::kErrAsn1Indefinite);

  Record info = decode_fixture(ber, &asn1_tmpl_content_info, ASN1_MODE_BER);
  ASSERT_NE(info.record, nullptr);
  // The ANY content keeps its BER: the bytes between the two indefinite headers and their ends.
  Bytes inner = bytes_of(info.as<ContentInfo>()->content);
  EXPECT_EQ(hex(inner), hex(Bytes(ber.begin() + 15, ber.end() - 4)));
  Record sd = decode_fixture(inner, &asn1_tmpl_signed_data, ASN1_MODE_BER);
  ASSERT_NE(sd.record, nullptr);
  const SignedData *s = sd.as<SignedData>();
  ASSERT_NE(s->encap_content_info.e_content, nullptr);
  EXPECT_EQ(hex(bytes_of(*s->encap_content_info.e_content)),
            hex(v7test::to_bytes("signed content of the test message\r\n")));

  Record der_info = decode_fixture(read_fixture("asn1/cms_signed_ber_as_der.der"), &asn1_tmpl_content_info);
  ASSERT_NE(der_info.record, nullptr);
  EXPECT_EQ(hex(encode(&asn1_tmpl_signed_data, s)), hex(bytes_of(der_info.as<ContentInfo>()->content)));
}

// Signatures are checked over re-encodings: the leaf certificate's and the CRL's verify with the
// CA key over the TBS parts encoded again from their records, and fail once a byte differs.
TEST(Asn1Fixtures, SignaturesVerifyOverReEncodedParts) {
  Record ca = decode_fixture(read_fixture("asn1/ca_cert.der"), &asn1_tmpl_certificate);
  Record cert = decode_fixture(read_fixture("asn1/cert.der"), &asn1_tmpl_certificate);
  Record crl = decode_fixture(read_fixture("asn1/crl.der"), &asn1_tmpl_certificate_list);
  ASSERT_TRUE(ca.record != nullptr && cert.record != nullptr && crl.record != nullptr);
  const ASN1_BIT_STRING &spki = ca.as<Certificate>()->tbs.subject_public_key_info.subject_public_key;
  const uint8_t *p[RSA_DER_COUNT];
  size_t n[RSA_DER_COUNT];
  ASSERT_EQ(rsa_key_from_der(spki.len, spki.data, p, n), RSA_KIND_PUBLIC);
  RSA_CTX *key = rsa_new();
  ASSERT_EQ(rsa_set_public_key(key, p[RSA_DER_N], n[RSA_DER_N], p[RSA_DER_E], n[RSA_DER_E]), 2048);

  const struct {
    const char *what;
    Bytes tbs;
    const ASN1_BIT_STRING *signature;
  } cases[] = {
      {"certificate", encode(&asn1_tmpl_tbs_certificate, &cert.as<Certificate>()->tbs),
       &cert.as<Certificate>()->signature_value},
      {"CRL", encode(&asn1_tmpl_tbs_cert_list, &crl.as<CertificateList>()->tbs),
       &crl.as<CertificateList>()->signature_value},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_FALSE(c.tbs.empty());
    EXPECT_EQ(rsa_public_decrypt(key, c.tbs.data(), c.tbs.size(), &RSA_PAD_PKCS1_SIGN_SHA256,
                                 c.signature->data, c.signature->len),
              1);
    Bytes changed = c.tbs;
    changed[changed.size() / 2] ^= 1;
    EXPECT_EQ(rsa_public_decrypt(key, changed.data(), changed.size(), &RSA_PAD_PKCS1_SIGN_SHA256,
                                 c.signature->data, c.signature->len),
              0);
  }
  rsa_free(key);
}

}  // namespace
}  // namespace asn1test
