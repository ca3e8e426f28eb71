#include "wizard/keyload/read_cert_pair.h"

#include "media/selection_record.h"
#include "wizard/records/request_record.h"

unsigned keyload_flags_of(const RelayRequestRecord *request) {
  if (request == nullptr) return 0;
  switch (request->forced_medium) {
    case kForcedMediumSecureDiskNoPw:
      return kKeyLoadNoPassword | kKeyLoadBindOnly;
    case kForcedMediumEmptyList8:
      return kKeyLoadBindOnly;
    default:
      return 0;
  }
}

PRIVATE_KEY_CTX *ReadCertPairFromFolder(const CERT_ENTRY *entry, CertListRecord *record, int mode) {
  return keyload_read_pair(entry, record, mode, keyload_flags_of(record != nullptr ? record->request : nullptr));
}
