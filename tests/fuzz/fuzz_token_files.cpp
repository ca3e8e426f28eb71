// The security-token files vendors' installers leave on the machine: the configuration file and a
// token's signed approval file. The first byte chooses: even, the rest is the configuration
// file's text; odd, it is an approval file over the approval fixtures' two program files. Besides
// memory safety: every entry of a parsed list keeps within the file's limits, and the approval
// check answers only 0 or -1.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "media/token/p11_conf.h"

namespace {

std::string fixture_path(const char *name) {
  std::string path = __FILE__;
  return path.substr(0, path.find_last_of("/\\")) + "/../fixtures/pki/approval/" + name;
}

bool within(const char *text, size_t limit) { return text == nullptr || std::strlen(text) <= limit; }

void parse_configuration(const uint8_t *data, size_t size) {
  P11_TOKEN_LIST *list = p11_conf_parse(reinterpret_cast<const char *>(data), size, "SDisk");
  if (list == nullptr) return;
  int previous = 0;
  for (const P11_TOKEN_ENTRY *entry = list->first; entry != nullptr; entry = entry->next) {
    const size_t section = entry->section != nullptr ? std::strlen(entry->section) : 0;
    if (section == 0 || section > P11_CONF_MAX_NAME || std::strcmp(entry->section, "SDisk") == 0) abort();
    if (entry->info == nullptr || entry->index <= previous) abort();
    if (!within(entry->info, P11_CONF_MAX_VALUE) || !within(entry->name, P11_CONF_MAX_VALUE) ||
        !within(entry->programs, P11_CONF_MAX_VALUE) || !within(entry->signature_token, P11_CONF_MAX_VALUE))
      abort();
    if (entry->next == nullptr && entry != list->last) abort();
    previous = entry->index;
  }
  p11_conf_free(list);
}

// One approval file per fuzzing process, removed when it ends.
struct ApprovalFile {
  std::string path = "/tmp/v7_fuzz_approval_" + std::to_string(getpid()) + ".sig";
  ~ApprovalFile() { unlink(path.c_str()); }
};

void check_approval(const uint8_t *data, size_t size) {
  static const ApprovalFile approval;
  static std::string name = fixture_path("vendorp11.dll");
  static std::string programs = fixture_path("vendorhelper.exe");
  static std::string info = "fuzzed token";
  static std::string section = "Fuzz";
  FILE *file = fopen(approval.path.c_str(), "wb");
  if (file == nullptr) return;
  const bool written = fwrite(data, 1, size, file) == size;
  if (fclose(file) != 0 || !written) return;
  std::string signature_token = approval.path;
  P11_TOKEN_ENTRY entry{};
  entry.index = 1;
  entry.section = &section[0];
  entry.name = &name[0];
  entry.info = &info[0];
  entry.programs = &programs[0];
  entry.signature_token = &signature_token[0];
  const int rc = p11_module_verify_approval(&entry);
  if (rc != 0 && rc != -1) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  if ((data[0] & 1) == 0) {
    parse_configuration(data + 1, size - 1);
  } else {
    check_approval(data + 1, size - 1);
  }
  return 0;
}
