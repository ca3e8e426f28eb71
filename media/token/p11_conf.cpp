#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "media/token/p11_conf.h"
#include "platform/fs/fs.h"

namespace {

using std::string_view;

constexpr const char *kConfFileName = "npki_pkcs11.cnf";

string_view trim_blanks(string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

string_view cut_comment(string_view s) {
  size_t at = s.find("//");
  return at == string_view::npos ? s : s.substr(0, at);
}

char *dup_text(string_view s) {
  auto *out = static_cast<char *>(malloc(s.size() + 1));
  if (out == nullptr) return nullptr;
  memcpy(out, s.data(), s.size());
  out[s.size()] = '\0';
  return out;
}

void free_entry(P11_TOKEN_ENTRY *e) {
  if (e == nullptr) return;
  free(e->section);
  free(e->name);
  free(e->info);
  free(e->programs);
  free(e->signature_token);
  free(e);
}

struct SectionValues {
  bool has[4] = {};
  string_view value[4];
  bool too_long = false;
};

const char *const kKeys[4] = {"Info", "Name", "Programs", "SignatureToken"};

// The key lines of one section's body.
SectionValues read_section(string_view body) {
  SectionValues v;
  while (!body.empty()) {
    size_t end = body.find('\n');
    string_view line = cut_comment(body.substr(0, end));
    body = end == string_view::npos ? string_view() : body.substr(end + 1);
    size_t eq = line.find('=');
    if (eq == string_view::npos || eq > P11_CONF_MAX_KEY) continue;
    string_view key = line.substr(0, eq), value = line.substr(eq + 1);
    for (int k = 0; k < 4; ++k) {
      if (key != kKeys[k]) continue;
      if (value.size() > P11_CONF_MAX_VALUE) v.too_long = true;
      v.has[k] = true;
      v.value[k] = value;
    }
  }
  return v;
}

// The entry of one listed name, or null when it has none (no section, no Info, a value too
// long). *oom is set when memory ran out.
P11_TOKEN_ENTRY *entry_for(string_view rest, string_view name, int index, bool *oom) {
  std::string header = "[" + std::string(name) + "]";
  size_t at = rest.find(header);
  if (at == string_view::npos) return nullptr;
  string_view body = rest.substr(at + header.size());
  body = body.substr(0, body.find('['));
  SectionValues v = read_section(body);
  if (!v.has[0] || v.too_long) return nullptr;
  auto *e = static_cast<P11_TOKEN_ENTRY *>(calloc(1, sizeof(P11_TOKEN_ENTRY)));
  if (e == nullptr) return *oom = true, nullptr;
  e->index = index;
  e->section = dup_text(name);
  char **fields[4] = {&e->info, &e->name, &e->programs, &e->signature_token};
  bool ok = e->section != nullptr;
  for (int k = 0; k < 4 && ok; ++k)
    if (v.has[k]) ok = (*fields[k] = dup_text(v.value[k])) != nullptr;
  if (!ok) {
    free_entry(e);
    return *oom = true, nullptr;
  }
  return e;
}

// The text with its line ends as LF: every CR that ends a line goes, a run of them before one
// LF too ("\r\r\n" is one line end, as editors that double the CR leave it); a CR inside a line
// stays. One pass: files of hundreds of thousands of lines are met.
std::string with_lf_line_ends(string_view raw) {
  std::string text;
  text.reserve(raw.size());
  for (size_t i = 0; i < raw.size();) {
    size_t run = i;
    while (run < raw.size() && raw[run] == '\r') ++run;
    if (run == i) {
      text += raw[i++];
      continue;
    }
    if (run == raw.size() || raw[run] != '\n') text.append(raw.substr(i, run - i));
    i = run;
  }
  return text;
}

}  // namespace

P11_TOKEN_LIST *p11_conf_parse(const char *data, size_t length, const char *skip) {
  if (data == nullptr) return nullptr;
  const std::string text = with_lf_line_ends(string_view(data, strnlen(data, length)));
  string_view all(text);
  size_t bracket = all.find(']');
  if (bracket == string_view::npos) return nullptr;
  size_t line_start = all.find('\n', bracket);
  if (line_start == string_view::npos) return nullptr;
  ++line_start;
  size_t line_end = all.find('\n', line_start);
  if (line_end == string_view::npos) return nullptr;
  string_view list_line = all.substr(line_start, line_end - line_start);
  size_t eq = list_line.find('=');
  if (eq == string_view::npos) return nullptr;
  string_view names = trim_blanks(cut_comment(list_line.substr(eq + 1)));
  string_view rest = all.substr(line_end + 1);

  auto *list = static_cast<P11_TOKEN_LIST *>(calloc(1, sizeof(P11_TOKEN_LIST)));
  if (list == nullptr) return nullptr;
  int index = 0;
  bool oom = false;
  while (!names.empty() && !oom) {
    size_t space = names.find(' ');
    string_view name = trim_blanks(names.substr(0, space));
    names = space == string_view::npos ? string_view() : names.substr(space + 1);
    if (name.empty() || name.size() > P11_CONF_MAX_NAME) continue;
    if (skip != nullptr && name == skip) continue;
    P11_TOKEN_ENTRY *e = entry_for(rest, name, ++index, &oom);
    if (e == nullptr) continue;
    if (list->last != nullptr) list->last->next = e;
    else list->first = e;
    list->last = e;
  }
  if (oom) {
    p11_conf_free(list);
    return nullptr;
  }
  return list;
}

void p11_conf_free(P11_TOKEN_LIST *list) {
  if (list == nullptr) return;
  for (P11_TOKEN_ENTRY *e = list->first; e != nullptr;) {
    P11_TOKEN_ENTRY *next = e->next;
    free_entry(e);
    e = next;
  }
  free(list);
}

int p11_conf_load_from(const char *path, const char *skip, P11_TOKEN_LIST **out) {
  if (out == nullptr) return -1;
  *out = nullptr;
  uint8_t *data = nullptr;
  size_t len = 0;
  if (path == nullptr || platform_fs_read_all(path, &data, &len) != kFsOk) return 0;
  *out = p11_conf_parse(reinterpret_cast<const char *>(data), len, skip);
  free(data);
  return 0;
}

int p11_conf_load(const char *skip, P11_TOKEN_LIST **out) {
  if (out != nullptr) *out = nullptr;
  char folder[1024];
  if (!platform_fs_system_folder_a(folder, sizeof(folder))) return -1;
  std::string path = std::string(folder) + "\\" + kConfFileName;
  return p11_conf_load_from(path.c_str(), skip, out);
}
