// The selection dialog's key loading of a chosen entry, with what the request's forced medium
// asks of it.
#pragma once

#include "media/keyload.h"

struct RelayRequestRecord;

// The kKeyLoad* flags of a request: forced medium 6 opens the secure disk without a password and,
// like 8, only binds token and secure-disk objects to their store. A null request asks nothing.
unsigned keyload_flags_of(const RelayRequestRecord *request);

// keyload_read_pair with the flags of the record's request.
PRIVATE_KEY_CTX *ReadCertPairFromFolder(const CERT_ENTRY *entry, CertListRecord *record, int mode);
