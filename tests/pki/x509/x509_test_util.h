// Helpers of the certificate and name tests: decoded fixtures and a small DER builder.
#pragma once

#include <string>
#include <vector>

#include "pki/asn1/x509_types.h"
#include "tests/pki/asn1/asn1_test_util.h"

namespace x509test {

using asn1test::Bytes;
using asn1test::hex;
using asn1test::Record;

inline Bytes pki_file(const std::string &name) { return asn1test::read_fixture("pki/" + name); }

inline Record decode(const Bytes &der, const ASN1_TEMPLATE *tmpl) {
  return Record(tmpl, der.empty() ? nullptr : asn1_decode_alloc(ASN1_MODE_DER, der.data(), tmpl, der.size()));
}

inline Record pki_cert(const std::string &name) { return decode(pki_file(name), &asn1_tmpl_certificate); }

// Every certificate of the test PKI.
inline std::vector<std::string> pki_certificates() {
  return {"root_kisa.der",
          "ca.der",
          "root_ordinary.der",
          "ca_ordinary.der",
          "user_sign.der",
          "user_km.der",
          "user2_sign.der",
          "relay.der",
          "names_multi_rdn.der",
          "names_printable.der",
          "names_printable_upper.der",
          "names_utf8.der",
          "names_utf8_upper.der",
          "names_bmp.der"};
}

using asn1test::cat;
using asn1test::tlv;
inline Bytes text(const std::string &s) { return Bytes(s.begin(), s.end()); }

// Attribute type OIDs (contents hex) used by the name tables.
constexpr const char *kCn = "550403", *kSn = "550404", *kSerial = "550405", *kC = "550406", *kL = "550407",
                     *kS = "550408", *kStreet = "550409", *kO = "55040a", *kOu = "55040b", *kTitle = "55040c",
                     *kPostal = "550411", *kEmail = "2a864886f70d010901";

// AttributeTypeAndValue with a string of the tag; RDN (SET) and Name (SEQUENCE) around them.
inline Bytes atv(const char *oid_hex, uint8_t tag, const Bytes &value) {
  return tlv(0x30, cat({tlv(0x06, v7test::from_hex(oid_hex)), tlv(tag, value)}));
}
inline Bytes rdn(std::initializer_list<Bytes> atvs) { return tlv(0x31, cat(atvs)); }
inline Bytes name(std::initializer_list<Bytes> rdns) { return tlv(0x30, cat(rdns)); }

constexpr uint8_t kUtf8 = 0x0C, kPrintable = 0x13, kT61 = 0x14, kIa5 = 0x16, kBmp = 0x1E;

}  // namespace x509test
