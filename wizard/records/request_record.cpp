#include "wizard/records/request_record.h"

#include <cstring>

const char *request_field_text(const char *field, size_t capacity) {
  if (field == nullptr || memchr(field, 0, capacity) == nullptr) return "";
  return field;
}
