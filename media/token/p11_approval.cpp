// The approval check of a token's program files: a DER file naming each approved file with its
// digest, signed by a built-in root.
//
//   ApprovalFile ::= SEQUENCE {
//     files              SEQUENCE OF SEQUENCE { fileName PrintableString,
//                                               digestAlgorithm AlgorithmIdentifier,
//                                               digest OCTET STRING },
//     signatureAlgorithm AlgorithmIdentifier,   -- sha1WithRSAEncryption or sha256WithRSAEncryption
//     signer             SEQUENCE { issuer Name, serialNumber INTEGER },
//     signature          OCTET STRING }         -- PKCS#1 v1.5 over the DER of files
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "crypto/hash/hash.h"
#include "media/token/p11_conf.h"
#include "pki/asn1/asn1.h"
#include "pki/asn1/cms_types.h"
#include "pki/asn1/template_def.h"
#include "pki/asn1/x509_types.h"
#include "pki/keys/keyobj.h"
#include "pki/oid/oid.h"
#include "pki/validation/valcfg.h"
#include "pki/x509/cert.h"
#include "pki/x509/name.h"
#include "platform/fs/fs.h"

namespace {

struct ApprovedFile {
  ASN1_BYTES file_name;
  AlgorithmIdentifier digest_algorithm;
  ASN1_BYTES digest;
};

struct ApprovalFile {
  ASN1_LIST files;
  AlgorithmIdentifier signature_algorithm;
  IssuerAndSerialNumber signer;
  ASN1_BYTES signature;
};

const ASN1_ITEM kApprovedFileItems[] = {
    {0, &asn1_tmpl_printable_string}, {0, &asn1_tmpl_algorithm_identifier}, {0, &asn1_tmpl_octet_string}};
V7_ASN1_TEMPLATE(kApprovedFile, ASN1_KIND_SEQUENCE, ApprovedFile, kApprovedFileItems)
const ASN1_ITEM kApprovedFilesItems[] = {{0, &kApprovedFile}};
V7_ASN1_LIST_TEMPLATE(kApprovedFiles, ASN1_KIND_SEQUENCE_OF, kApprovedFilesItems)
const ASN1_ITEM kApprovalFileItems[] = {{0, &kApprovedFiles},
                                        {0, &asn1_tmpl_algorithm_identifier},
                                        {0, &asn1_tmpl_issuer_and_serial_number},
                                        {0, &asn1_tmpl_octet_string}};
V7_ASN1_TEMPLATE(kApprovalFile, ASN1_KIND_SEQUENCE, ApprovalFile, kApprovalFileItems)

struct Bytes {
  uint8_t *data = nullptr;
  size_t len = 0;
  ~Bytes() { free(data); }
};

bool read_file(const std::string &path, Bytes *out) {
  return platform_fs_read_all(path.c_str(), &out->data, &out->len) == kFsOk;
}

// The files element exactly as the file carries it: the signature covers these bytes, and strict
// decoding has already made sure they are the DER the signer encoded.
bool files_element(const Bytes &file, const uint8_t **at, size_t *len) {
  ASN1_HEADER outer{}, inner{};
  if (asn1_read_header(ASN1_MODE_DER, file.data, file.len, &outer) != 0) return false;
  const uint8_t *p = file.data + outer.header_len;
  if (asn1_read_header(ASN1_MODE_DER, p, outer.content_len, &inner) != 0) return false;
  *at = p;
  *len = size_t(inner.header_len) + inner.content_len;
  return true;
}

bool same_bytes(const ASN1_BYTES &a, const ASN1_BYTES &b) {
  return a.len == b.len && a.len != 0 && memcmp(a.data, b.data, a.len) == 0;
}

// The built-in root named by the signer field, as its public key.
PUBLIC_KEY_CTX *signer_key(const IssuerAndSerialNumber &signer) {
  CERT_NODE *roots = nullptr;
  if (root_certs_load(&roots, 0) != 0) return nullptr;
  PUBLIC_KEY_CTX *key = nullptr;
  for (const CERT_NODE *n = roots; n != nullptr && key == nullptr; n = n->next) {
    const TBSCertificate &tbs = n->cert->tbs;
    if (rdn_list_compare(tbs.subject.rdn_sequence, signer.issuer.rdn_sequence) != 0) continue;
    if (!same_bytes(tbs.serial_number, signer.serial_number)) continue;
    uint8_t *spki = nullptr;
    size_t spki_len = 0;
    if (der_encode_alloc(&asn1_tmpl_subject_public_key_info, &tbs.subject_public_key_info, &spki, &spki_len) ==
        0)
      break;
    key = pubkey_new();
    PUBLIC_KEY_SOURCE source{PUBKEY_SOURCE_SPKI, 1};
    if (key != nullptr && pubkey_set_key(key, spki, spki_len, KEYOBJ_FORMAT_DEFAULT, &source) != 0) {
      pubkey_delete(key);
      key = nullptr;
    }
    free(spki);
  }
  cert_nodes_free(roots);
  return key;
}

bool signature_holds(const ApprovalFile &approval, const Bytes &file) {
  int scheme = oid_to_id(&approval.signature_algorithm.algorithm);
  if (scheme != OID_SHA1_WITH_RSA && scheme != OID_SHA256_WITH_RSA) return false;
  const uint8_t *files = nullptr;
  size_t files_len = 0;
  if (!files_element(file, &files, &files_len)) return false;
  PUBLIC_KEY_CTX *key = signer_key(approval.signer);
  if (key == nullptr) return false;
  bool ok = pubkey_verify(key, files, files_len, approval.signature.data, approval.signature.len,
                          KEYOBJ_FORMAT_DEFAULT, &scheme) == 0;
  pubkey_delete(key);
  return ok;
}

struct ModuleFile {
  std::string path;
  std::string base;
};

// Name, then each Programs item; none without Programs.
std::vector<ModuleFile> module_files(const P11_TOKEN_ENTRY &entry) {
  std::vector<ModuleFile> out;
  if (entry.programs == nullptr) return out;
  std::vector<std::string> paths;
  if (entry.name != nullptr) paths.push_back(entry.name);
  std::string programs = entry.programs;
  for (size_t start = 0;;) {
    size_t comma = programs.find(',', start);
    paths.push_back(programs.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  for (const std::string &p : paths) {
    size_t cut = p.rfind('\\');
    if (cut == std::string::npos) cut = p.rfind('/');
    out.push_back({p, cut == std::string::npos ? p : p.substr(cut + 1)});
  }
  return out;
}

bool file_matches(const ApprovedFile &approved, const std::vector<ModuleFile> &files) {
  // An empty name would be a prefix of every file.
  if (approved.file_name.len == 0) return false;
  const char *name = reinterpret_cast<const char *>(approved.file_name.data);
  const ModuleFile *found = nullptr;
  for (const ModuleFile &f : files)
    if (f.base.compare(0, approved.file_name.len, name, approved.file_name.len) == 0 &&
        f.base.size() >= approved.file_name.len) {
      found = &f;
      break;
    }
  if (found == nullptr) return false;
  Bytes content;
  if (!read_file(found->path, &content)) return false;
  const int type = oid_to_id(&approved.digest_algorithm.algorithm) == OID_SHA256 ? HASH_SHA256 : HASH_SHA1;
  uint8_t digest[64];
  int n = hash_digest(sizeof(digest), digest, type, content.data, content.len);
  return n > 0 && approved.digest.len == uint32_t(n) && memcmp(digest, approved.digest.data, size_t(n)) == 0;
}

}  // namespace

int p11_module_verify_approval(const P11_TOKEN_ENTRY *entry) {
  if (entry == nullptr || entry->signature_token == nullptr) return -1;
  std::vector<ModuleFile> files = module_files(*entry);
  if (files.empty()) return -1;
  Bytes file;
  if (!read_file(entry->signature_token, &file)) return -1;
  auto *approval = static_cast<ApprovalFile *>(asn1_decode_alloc(ASN1_MODE_DER, file.data, &kApprovalFile, file.len));
  if (approval == nullptr) return -1;
  bool ok = signature_holds(*approval, file);
  for (const ASN1_LIST *node = &approval->files; ok && node != nullptr; node = node->next) {
    const auto *approved = static_cast<const ApprovedFile *>(node->element);
    ok = approved != nullptr && file_matches(*approved, files);
  }
  asn1_release(&kApprovalFile, approval);
  return ok ? 0 : -1;
}
