// What libcrypto reads from a certificate and makes of RSA blocks, behind plain types: this
// header is included where the toolkit's own ASN.1 records are, which share names with OpenSSL's.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tests/harness/vectors.h"

namespace x509oracle {

using v7test::Bytes;

struct CertFacts {
  bool ok = false;
  int64_t not_before = 0, not_after = 0;
  int key_bits = 0;
  int hash_alg = 0;  // 5377 sha256WithRSAEncryption, 5376 sha1WithRSAEncryption, else 0
  Bytes subject_der;
  std::string dn_text;                            // the DN as name_to_text writes it, last RDN first
  bool dn_unsupported_string = false;             // a value that is neither UTF8String nor PrintableString
  std::vector<std::pair<Bytes, int>> extensions;  // OID contents, critical
  bool has_key_usage = false;
  bool ku_ds_nr = false, ku_ke = false, ku_cert_sign = false, ku_crl_sign = false;
};
CertFacts read_cert(const Bytes &der);

// RSA_padding_add_PKCS1_type_1 of the data into k bytes.
Bytes pkcs1_type1_block(const Bytes &data, size_t k);
// A PKCS#1 v1.5 signature over the bytes as they are (no digest), by the PEM key.
Bytes sign_raw(const std::string &pem_path, const Bytes &data);
// The DigestInfo recovered from OpenSSL's SHA-1 or SHA-256 signature of the data.
Bytes digest_info_of_signature(const std::string &pem_path, bool sha256, const Bytes &data);

}  // namespace x509oracle
