#include "platform/registry/registry.h"

int platform_registry_query(const char *, const char *, void *, uint32_t *, uint32_t *) {
  return kRegNotSupported;
}
int platform_registry_query_w(const char16_t *, const char16_t *, void *, uint32_t *, uint32_t *) {
  return kRegNotSupported;
}
int platform_registry_set_string(const char *, const char *, const void *, uint32_t) {
  return kRegNotSupported;
}
int platform_registry_set_string_w(const char16_t *, const char16_t *, const void *, uint32_t) {
  return kRegNotSupported;
}
