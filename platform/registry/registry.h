// The current user's registry behind a seam. Every call opens the user's hive and the key, does
// one thing and closes both again, so nothing stays open between calls.
//
// Results are the platform's own error codes (0 success). Where there is no registry, every call
// answers kRegNotSupported and touches nothing.
#pragma once

#include <cstdint>

enum : int {
  kRegOk = 0,
  kRegNotFound = 2,       // the key or the value does not exist
  kRegNotSupported = 50,  // no registry on this platform
  kRegInvalidParameter = 87,
  kRegMoreData = 234,           // the value is longer than the buffer
  kRegDatatypeMismatch = 1629,  // a value of another type than the one asked for
};

enum : uint32_t { kRegTypeString = 1 };  // REG_SZ

// Reads value `name` of key `path` under the current user into buf. *len: the capacity in bytes
// on entry, the value's size in bytes on return (also when it does not fit); *type: its type.
int platform_registry_query(const char *path, const char *name, void *buf, uint32_t *len, uint32_t *type);
int platform_registry_query_w(const char16_t *path, const char16_t *name, void *buf, uint32_t *len,
                              uint32_t *type);

// Creates key `path` and its parents when missing (non-volatile, all access) and sets value
// `name` to the len bytes at data as a string value.
int platform_registry_set_string(const char *path, const char *name, const void *data, uint32_t len);
int platform_registry_set_string_w(const char16_t *path, const char16_t *name, const void *data,
                                   uint32_t len);
