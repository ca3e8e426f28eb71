#include "pki/text/paths.h"

namespace {

bool separator(char16_t c) { return c == u'/' || c == u'\\'; }

char16_t lower(char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; }

// Windows opens a device, not a file, for these names in any folder, whatever extension follows
// and with blanks before it: "nul.txt" and "Com1 .crl" are the device too. COM0, LPT0 and the
// superscript digits are on Microsoft's list of reserved names as well.
bool is_device_name(const char16_t *name) {
  size_t base = 0;
  while (name[base] != 0 && name[base] != u'.') base++;
  while (base > 0 && name[base - 1] == u' ') base--;
  auto starts = [&](const char16_t *word) {
    for (size_t i = 0; i < 3; i++)
      if (lower(name[i]) != word[i]) return false;
    return true;
  };
  if (base == 3) return starts(u"con") || starts(u"prn") || starts(u"aux") || starts(u"nul");
  if (base != 4 || !(starts(u"com") || starts(u"lpt"))) return false;
  const char16_t port = name[3];
  return (port >= u'0' && port <= u'9') || port == u'\u00B9' || port == u'\u00B2' || port == u'\u00B3';
}

}  // namespace

void path_slashes_to_backslashes(char16_t *path) {
  for (; path != nullptr && *path != 0; path++) {
    if (*path == u'/') *path = u'\\';
  }
}

int is_valid_rel_path(const char16_t *path) {
  if (path == nullptr || *path == 0) return 0;
  if (separator(*path)) path++;
  if (*path == 0) return 0;
  bool segment_has_name = false;
  for (; *path != 0; path++) {
    char16_t c = *path;
    // Control characters cannot be part of a Windows file name; refusing them here keeps a name
    // that came from a peer from reaching the broker with one.
    if (c == u'<' || c == u'>' || c == u'"' || c == u'|' || c == u'*' || c < 0x20 || c == 0x7F) return 0;
    if (separator(c)) {
      if (!segment_has_name) return 0;
      segment_has_name = false;
    } else if (c != u'.') {
      segment_has_name = true;
    }
  }
  // The last segment: empty after a final separator, or holding a name character.
  return segment_has_name || separator(path[-1]) ? 1 : 0;
}

const char16_t *path_extension_w(const char16_t *path) {
  if (path == nullptr || *path == 0) return nullptr;
  const char16_t *end = path;
  while (*end != 0) end++;
  for (const char16_t *p = end - 1; p > path; p--) {
    if (*p == u'.') return p + 1;
    if (separator(*p)) return nullptr;
  }
  return nullptr;
}

int is_cert_file_name(const char16_t *path) {
  static const char16_t *const kExtensions[] = {u"der", u"key", u"crl", u"stl", u"pfx", u"p12"};
  if (!is_valid_rel_path(path)) return 0;
  const char16_t *ext = path_extension_w(path);
  if (ext == nullptr) return 0;
  for (const char16_t *want : kExtensions) {
    size_t i = 0;
    while (want[i] != 0 && lower(ext[i]) == want[i]) i++;
    if (want[i] == 0 && ext[i] == 0) return 1;
  }
  return 0;
}

int is_safe_file_segment(const char16_t *name) {
  if (name == nullptr || *name == 0) return 0;
  bool has_name = false;
  size_t n = 0;
  for (; name[n] != 0; n++) {
    char16_t c = name[n];
    if (separator(c) || c == u':' || c == u'<' || c == u'>' || c == u'"' || c == u'|' || c == u'*' ||
        c == u'?' || c < 0x20 || c == 0x7F) {
      return 0;
    }
    has_name |= c != u'.';
  }
  // Windows drops trailing dots and blanks, which would make "a." and "a" the same file.
  return has_name && n < 256 && name[n - 1] != u'.' && name[n - 1] != u' ' && !is_device_name(name) ? 1 : 0;
}
