// Certificates built byte by byte for the list tests: only the fields the lists read matter, so
// the signature is filler and nothing here checks it.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace certtest {

using Bytes = std::vector<uint8_t>;

inline Bytes tlv(uint8_t tag, const Bytes &content) {
  Bytes out{tag};
  size_t n = content.size();
  if (n < 128) {
    out.push_back(uint8_t(n));
  } else if (n < 256) {
    out.insert(out.end(), {0x81, uint8_t(n)});
  } else {
    out.insert(out.end(), {0x82, uint8_t(n >> 8), uint8_t(n)});
  }
  out.insert(out.end(), content.begin(), content.end());
  return out;
}

inline Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes &p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

inline Bytes oid(const std::string &dotted) {
  std::vector<unsigned long> arcs;
  for (size_t i = 0; i < dotted.size();) {
    size_t end = dotted.find('.', i);
    if (end == std::string::npos) end = dotted.size();
    arcs.push_back(std::stoul(dotted.substr(i, end - i)));
    i = end + 1;
  }
  Bytes content{uint8_t(arcs[0] * 40 + arcs[1])};
  for (size_t i = 2; i < arcs.size(); i++) {
    Bytes arc;
    unsigned long v = arcs[i];
    arc.insert(arc.begin(), uint8_t(v & 0x7F));
    for (v >>= 7; v != 0; v >>= 7) arc.insert(arc.begin(), uint8_t(0x80 | (v & 0x7F)));
    content.insert(content.end(), arc.begin(), arc.end());
  }
  return tlv(0x06, content);
}

// Attributes in DER order (the text form shows them last first).
struct Attr {
  const char *type;  // "c", "o", "ou", "cn"
  std::string value;
};

inline Bytes name(const std::vector<Attr> &attrs) {
  Bytes rdns;
  for (const Attr &a : attrs) {
    std::string t = a.type;
    std::string id = t == "c" ? "2.5.4.6" : t == "o" ? "2.5.4.10" : t == "ou" ? "2.5.4.11" : "2.5.4.3";
    Bytes value = tlv(t == "c" ? 0x13 : 0x0C, Bytes(a.value.begin(), a.value.end()));
    Bytes rdn = tlv(0x31, tlv(0x30, cat({oid(id), value})));
    rdns.insert(rdns.end(), rdn.begin(), rdn.end());
  }
  return tlv(0x30, rdns);
}

constexpr const char *kSha256Rsa = "1.2.840.113549.1.1.11";
constexpr const char *kSha1Rsa = "1.2.840.113549.1.1.5";

struct CertSpec {
  Bytes serial = {0x09};  // INTEGER contents as encoded
  std::vector<Attr> issuer = {{"c", "KR"}, {"o", "TestCA"}, {"ou", "AccreditedCA"}, {"cn", "TestCA Class 1"}};
  std::vector<Attr> subject = {
      {"c", "KR"}, {"o", "TestCA"}, {"ou", "personal4IB"}, {"cn", "Hong Gildong()0001"}};
  std::string sig_alg = kSha256Rsa;
  // Empty: no certificate-policies extension; "-": an empty policies sequence.
  std::string policy = "1.2.410.200005.1.1.1";
};

inline Bytes algorithm(const std::string &id) { return tlv(0x30, cat({oid(id), Bytes{0x05, 0x00}})); }

inline Bytes certificate(const CertSpec &spec) {
  Bytes modulus{0x00};
  for (int i = 0; i < 128; i++) modulus.push_back(uint8_t(0xC1 + i));
  Bytes rsa_key = tlv(0x30, cat({tlv(0x02, modulus), tlv(0x02, Bytes{0x01, 0x00, 0x01})}));
  Bytes key_bits{0x00};
  key_bits.insert(key_bits.end(), rsa_key.begin(), rsa_key.end());
  Bytes spki = tlv(0x30, cat({algorithm("1.2.840.113549.1.1.1"), tlv(0x03, key_bits)}));
  Bytes validity =
      tlv(0x30, cat({tlv(0x17, {'2', '5', '0', '1', '0', '1', '0', '0', '0', '0', '0', '0', 'Z'}),
                     tlv(0x17, {'4', '9', '1', '2', '3', '1', '2', '3', '5', '9', '5', '9', 'Z'})}));
  Bytes tbs_content = cat({tlv(0xA0, tlv(0x02, Bytes{0x02})), tlv(0x02, spec.serial), algorithm(spec.sig_alg),
                           name(spec.issuer), validity, name(spec.subject), spki});
  if (!spec.policy.empty()) {
    Bytes policies = spec.policy == "-" ? tlv(0x30, {}) : tlv(0x30, tlv(0x30, oid(spec.policy)));
    Bytes ext = tlv(0x30, cat({oid("2.5.29.32"), tlv(0x04, policies)}));
    Bytes exts = tlv(0xA3, tlv(0x30, ext));
    tbs_content.insert(tbs_content.end(), exts.begin(), exts.end());
  }
  Bytes signature{0x00};
  for (int i = 0; i < 16; i++) signature.push_back(uint8_t(i));
  return tlv(0x30, cat({tlv(0x30, tbs_content), algorithm(spec.sig_alg), tlv(0x03, signature)}));
}

}  // namespace certtest
