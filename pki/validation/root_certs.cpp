#include <cstdlib>

#include "platform/errors/errno_util.h"
#include "pki/asn1/x509_types.h"
#include "pki/validation/internal.h"
#include "pki/validation/valcfg.h"

namespace {

void append(CERT_NODE **list, Certificate *cert) {
  auto *node = static_cast<CERT_NODE *>(calloc(1, sizeof(CERT_NODE)));
  if (node == nullptr) {
    asn1_release(&asn1_tmpl_certificate, cert);
    return;
  }
  node->flag = 0;  // owns its certificate
  node->cert = cert;
  CERT_NODE **tail = list;
  while (*tail != nullptr) tail = &(*tail)->next;
  *tail = node;
}

}  // namespace

namespace v7 {

int root_certs_load_from(const BuiltinCaRecord *table, size_t count, CERT_NODE **list, int no_time_check) {
  if (list == nullptr) return with_errno(kErrInvalidParameter, kErrInvalidParameter);
  for (size_t i = 0; table != nullptr && i < count && i < kBuiltinRootCount; i++) {
    const BuiltinCaRecord &record = table[i];
    if (record.der == nullptr || record.der_len == 0) continue;
    auto *cert = static_cast<Certificate *>(
        asn1_decode_alloc(ASN1_MODE_DER, record.der, &asn1_tmpl_certificate, record.der_len));
    if (cert == nullptr) continue;
    // A certificate whose times cannot be read is no more current than an expired one.
    if (no_time_check == 0 && cert_validity_state(cert) != 0) {
      asn1_release(&asn1_tmpl_certificate, cert);
      continue;
    }
    append(list, cert);
  }
  // Skipped and dropped records leave the decoder's or the clock's code behind; the load itself
  // succeeded.
  return with_errno(0, 0);
}

}  // namespace v7

const BuiltinCaRecord *builtin_ca_table(size_t *count) {
  if (count != nullptr) *count = BuiltinCaTableCount;
  return BuiltinCaTable;
}

int root_certs_load(CERT_NODE **list, int no_time_check) {
  return v7::root_certs_load_from(BuiltinCaTable, BuiltinCaTableCount, list, no_time_check);
}
