#include "platform/fs/library_folders.h"

#include <cstring>
#include <string>

#include "platform/fs/folder_texts.h"
#include "platform/fs/fs.h"
#include "platform/fs/utf.h"
#include "platform/locale/process_words.h"
#include "platform/osver/os_version.h"

namespace {

// out = base followed by the ASCII tail; empty when base is empty or the result does not fit.
template <typename Char>
void join(Char *out, const Char *base, const char *tail) {
  size_t n = std::char_traits<Char>::length(base), t = strlen(tail);
  if (n == 0 || n + t >= kFolderTextCapacity) {
    out[0] = 0;
    return;
  }
  if (out != base) memmove(out, base, n * sizeof(Char));
  for (size_t i = 0; i < t; i++) out[n + i] = Char(tail[i]);
  out[n + t] = 0;
}

bool windows_folder(char *out, size_t cap) { return platform_fs_windows_folder_a(out, cap); }
bool windows_folder(char16_t *out, size_t cap) { return platform_fs_windows_folder(out, cap); }
bool profile_folder(char *out, size_t cap) {
  return platform_fs_shell_folder_a(kShellFolderProfile, out, cap);
}
bool profile_folder(char16_t *out, size_t cap) {
  return platform_fs_shell_folder(kShellFolderProfile, out, cap);
}

bool is_drive_letter(unsigned c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

template <typename Char>
void build(v7::FolderTexts<Char> *out) {
  memset(out, 0, sizeof(*out));
  Char buf[kFolderTextCapacity] = {0};
  // Only a drive-letter path gives a drive; a Windows folder on a share leaves the texts empty.
  if (windows_folder(buf, kFolderTextCapacity) && is_drive_letter(unsigned(buf[0])) && buf[1] == ':') {
    Char drive[2] = {buf[0], 0};
    join(out->program_files, drive, ":\\Program Files");
    join(out->program_files_npki, out->program_files, "\\NPKI");
  }
  if (os_version_code() < kOsVista) {
    memcpy(out->user_base, out->program_files, sizeof(out->user_base));
  } else if (profile_folder(buf, kFolderTextCapacity)) {
    join(out->user_base, buf, "\\AppData\\LocalLow");
  }
  join(out->npki, out->user_base, "\\NPKI");
  join(out->kisa, out->npki, "\\KISA");
  join(out->lib_data, out->user_base, "\\velmora");
}

void to_utf8(const char16_t *wide, char *out) {
  std::string utf8;
  if (!v7::utf16_to_utf8(wide, &utf8) || utf8.size() >= kFolderTextCapacity) {
    out[0] = 0;
    return;
  }
  memcpy(out, utf8.c_str(), utf8.size() + 1);
}

// Function-local statics: each set is built by the first caller, and any other thread that asks
// meanwhile waits for it, so no two threads ever write the same buffer.
const v7::FolderTexts<char> &narrow_texts() {
  static const v7::FolderTexts<char> texts = [] {
    v7::FolderTexts<char> t;
    v7::build_folder_texts(&t);
    return t;
  }();
  return texts;
}

const v7::FolderTexts<char16_t> &wide_texts() {
  static const v7::FolderTexts<char16_t> texts = [] {
    v7::FolderTexts<char16_t> t;
    v7::build_folder_texts(&t);
    return t;
  }();
  return texts;
}

const v7::FolderTexts<char> &utf8_texts() {
  static const v7::FolderTexts<char> texts = [] {
    v7::FolderTexts<char> t;
    v7::folder_texts_to_utf8(wide_texts(), &t);
    return t;
  }();
  return texts;
}

const v7::FolderTexts<char> &setting_texts() {
  return char_encoding_is_utf8() ? utf8_texts() : narrow_texts();
}

}  // namespace

namespace v7 {

void build_folder_texts(FolderTexts<char> *out) { build(out); }
void build_folder_texts(FolderTexts<char16_t> *out) { build(out); }

void folder_texts_to_utf8(const FolderTexts<char16_t> &wide, FolderTexts<char> *out) {
  to_utf8(wide.user_base, out->user_base);
  to_utf8(wide.npki, out->npki);
  to_utf8(wide.program_files_npki, out->program_files_npki);
  to_utf8(wide.program_files, out->program_files);
  to_utf8(wide.kisa, out->kisa);
  to_utf8(wide.lib_data, out->lib_data);
}

}  // namespace v7

const char *user_base_folder() { return setting_texts().user_base; }
const char16_t *user_base_folder_w() { return wide_texts().user_base; }
const char *user_base_folder_utf8() { return utf8_texts().user_base; }

const char *npki_folder() { return setting_texts().npki; }
const char16_t *npki_folder_w() { return wide_texts().npki; }

const char *program_files_npki_folder() { return setting_texts().program_files_npki; }
const char16_t *program_files_npki_folder_w() { return wide_texts().program_files_npki; }
const char *program_files_npki_folder_utf8() { return utf8_texts().program_files_npki; }

const char *program_files_folder() { return setting_texts().program_files; }
const char16_t *program_files_folder_w() { return wide_texts().program_files; }
const char *program_files_folder_utf8() { return utf8_texts().program_files; }

const char *kisa_folder() { return setting_texts().kisa; }
const char16_t *kisa_folder_w() { return wide_texts().kisa; }

const char *lib_data_folder() { return setting_texts().lib_data; }
const char16_t *lib_data_folder_w() { return wide_texts().lib_data; }
const char *lib_data_folder_utf8() { return utf8_texts().lib_data; }
