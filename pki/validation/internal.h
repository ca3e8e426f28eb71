// Helpers shared by the files of the validation family.
#pragma once

#include <cstddef>

#include "pki/validation/valcfg.h"

namespace v7 {

// root_certs_load over any table: its first min(count, kBuiltinRootCount) records.
int root_certs_load_from(const BuiltinCaRecord *table, size_t count, CERT_NODE **list, int no_time_check);

}  // namespace v7
