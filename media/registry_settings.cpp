#include "media/registry_settings.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/errors/errno_util.h"
#include "platform/osver/os_version.h"
#include "pki/text/codepage.h"
#include "platform/registry/registry.h"

namespace {

template <typename Char>
struct Texts;
template <>
struct Texts<char> {
  static constexpr const char *kXp = "SOFTWARE\\TAVN\\velmora7";
  static constexpr const char *kVista = "SOFTWARE\\AppDataLow\\Software\\TAVN\\velmora7";
  static constexpr size_t kValueCapacity = kRegNarrowValueCapacity;
};
template <>
struct Texts<char16_t> {
  static constexpr const char16_t *kXp = u"SOFTWARE\\TAVN\\velmora7";
  static constexpr const char16_t *kVista = u"SOFTWARE\\AppDataLow\\Software\\TAVN\\velmora7";
  static constexpr size_t kValueCapacity = kRegWideValueCapacity;
};

template <typename Char>
size_t text_length(const Char *text) {
  return std::char_traits<Char>::length(text);
}

// The settings key of the running generation with "\<subkey>" appended, in a new buffer; null
// when memory runs out. Built to its exact length, so no subkey can be cut short into another
// key's name.
template <typename Char>
Char *settings_key_path(const Char *subkey) {
  const Char *base = os_version_code() > kOsXp ? Texts<Char>::kVista : Texts<Char>::kXp;
  size_t base_len = text_length(base);
  size_t sub_len = subkey != nullptr ? text_length(subkey) : 0;
  Char *path = static_cast<Char *>(malloc((base_len + 1 + sub_len + 1) * sizeof(Char)));
  if (path == nullptr) return nullptr;
  memcpy(path, base, base_len * sizeof(Char));
  size_t n = base_len;
  if (sub_len != 0) {
    path[n++] = Char('\\');
    memcpy(path + n, subkey, sub_len * sizeof(Char));
    n += sub_len;
  }
  path[n] = 0;
  return path;
}

int query(const char *path, const char *name, void *buf, uint32_t *len, uint32_t *type) {
  return platform_registry_query(path, name, buf, len, type);
}
int query(const char16_t *path, const char16_t *name, void *buf, uint32_t *len, uint32_t *type) {
  return platform_registry_query_w(path, name, buf, len, type);
}
int set_string(const char *path, const char *name, const void *data, uint32_t len) {
  return platform_registry_set_string(path, name, data, len);
}
int set_string(const char16_t *path, const char16_t *name, const void *data, uint32_t len) {
  return platform_registry_set_string_w(path, name, data, len);
}

int failed(int code) { return v7::with_errno(code, code); }

template <typename Char>
int read_value(const Char *subkey, const Char *name, Char **out) {
  if (out == nullptr) return failed(kRegInvalidParameter);
  *out = nullptr;
  if (name == nullptr) return failed(kRegInvalidParameter);
  Char *path = settings_key_path(subkey);
  if (path == nullptr) return failed(v7::kErrOutOfMemory);
  // One spare character past the platform's limit, so that a stored value without its own
  // terminator still comes back terminated.
  const size_t capacity = Texts<Char>::kValueCapacity;
  Char *buf = static_cast<Char *>(calloc(capacity / sizeof(Char) + 1, sizeof(Char)));
  uint32_t len = uint32_t(capacity), type = 0;
  int rc = buf == nullptr ? int(v7::kErrOutOfMemory) : query(path, name, buf, &len, &type);
  free(path);
  // Only strings are settings: a number or binary value under a settings name was not written by
  // this library, and reading its bytes as text would hand the caller something unterminated.
  if (rc == kRegOk && type != kRegTypeString) rc = kRegDatatypeMismatch;
  if (rc == kRegOk && len > capacity) rc = kRegMoreData;
  if (rc != kRegOk) {
    free(buf);
    return failed(rc);
  }
  memset(reinterpret_cast<uint8_t *>(buf) + len, 0, (capacity + sizeof(Char)) - len);
  *out = buf;
  return 0;
}

template <typename Char>
int write_value(const Char *subkey, const Char *name, const Char *text) {
  if (name == nullptr || text == nullptr) return failed(kRegInvalidParameter);
  size_t bytes = (text_length(text) + 1) * sizeof(Char);
  if (bytes > Texts<Char>::kValueCapacity) return failed(kRegInvalidParameter);
  Char *path = settings_key_path(subkey);
  if (path == nullptr) return v7::with_errno(v7::kErrOutOfMemory, -1);
  int rc = set_string(path, name, text, uint32_t(bytes));
  free(path);
  return rc == kRegOk ? 0 : failed(rc);
}

// A narrow input in the setting's encoding as wide text; a null input counts as converted.
bool to_wide(const char *text, char16_t **out) {
  *out = nullptr;
  return text == nullptr || setting_to_wide(text, out) == 0;
}

}  // namespace

int reg_read_value(const char *subkey, const char *name, char **out) { return read_value(subkey, name, out); }

int reg_read_value_w(const char16_t *subkey, const char16_t *name, char16_t **out) {
  return read_value(subkey, name, out);
}

int reg_write_value(const char *subkey, const char *name, const char *text) {
  return write_value(subkey, name, text);
}

int reg_write_value_w(const char16_t *subkey, const char16_t *name, const char16_t *text) {
  return write_value(subkey, name, text);
}

int reg_get_last_access(const char *subkey, char **out) {
  if (out == nullptr) return 0;
  char16_t *wide_subkey;
  if (to_wide(subkey, &wide_subkey)) {
    char16_t *wide_text = nullptr;
    char *text = nullptr;
    if (reg_read_value_w(wide_subkey, u"Last Access", &wide_text) == 0 &&
        wide_to_setting(wide_text, &text) == 0)
      *out = text;
    free(wide_text);
    free(wide_subkey);
    return 0;
  }
  // A subkey the setting cannot read is taken as the platform's own narrow text.
  char *raw = nullptr;
  if (reg_read_value(subkey, "Last Access", &raw) != 0) return 0;
  char *converted = nullptr;
  if (to_euckr_copy(raw, &converted) == 0 && converted != nullptr && converted[0] != 0) {
    free(raw);
    *out = converted;
  } else {
    free(converted);
    *out = raw;
  }
  return 0;
}

int reg_set_last_access(const char *subkey, const char *text) {
  char16_t *wide_subkey = nullptr, *wide_text = nullptr;
  bool converted = to_wide(subkey, &wide_subkey);
  converted = converted && to_wide(text, &wide_text);
  if (converted) {
    reg_write_value_w(wide_subkey, u"Last Access", wide_text);
  } else if (text != nullptr) {
    char *euckr = nullptr;
    reg_write_value(subkey, "Last Access", to_euckr_dup(text, &euckr) == 0 ? euckr : text);
    free(euckr);
  }
  free(wide_subkey);
  free(wide_text);
  return 0;
}
