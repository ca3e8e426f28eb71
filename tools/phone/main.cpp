// tools/phone: plays the phone against the relay server, with the library's own steps.
//
//   phone send    --port N [--http] [--version 1|2|3] --code CODE --sign-cert F --sign-key F
//                 --password P [--km-cert F --km-key F] [--new-password P] [--cert-dir DIR]
//                 [--timeout S] [--sent DIR]
//   phone receive --port N [--http] [--version 1|2|3] [--id NUMBER] --out DIR [--code-file F]
//                 [--cert-dir DIR] [--timeout S]
//
// receive prints "CODE <code>" once the relay server has issued it (and writes it to --code-file),
// then "SUBJECT <text>", and writes signCert.der, signPri.key and, when the set has them,
// kmCert.der and kmPri.key into --out. --cert-dir is the validation cache (its CRL folder holds
// the revocation lists of the relay certificate's path). Exit 0 on success, 2 on a failed
// transfer (the failure text on stderr), 1 on a usage error. send --sent DIR writes the items it
// handed over there, under the same names, so that a test can hold them against what arrived.
// --timeout S (default 60) bounds connecting and each whole reply, from the request to its last
// byte.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "crypto/base/wipe.h"
#include "platform/fs/fs.h"
#include "tools/phone/phone.h"

namespace {

using phone::Bytes;

bool read_file(const std::string &path, Bytes *out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

bool write_file(const std::string &path, const uint8_t *data, size_t len) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char *>(data), std::streamsize(len));
  return bool(out);
}

template <typename Char>
bool answer(const char *text, Char *out, size_t cap) {
  size_t n = strlen(text);
  if (n + 1 > cap) return false;
  for (size_t i = 0; i <= n; i++) out[i] = Char(text[i]);
  return true;
}

// A session needs the library's folders to build its validation settings; a phone has none of
// the PC's, so it answers them with fixed texts (its own cache comes from --cert-dir).
void answer_folders() {
  static const FsFolderHooks hooks = {
      [](char16_t *out, size_t cap) { return answer("C:\\WINDOWS", out, cap); },
      [](char *out, size_t cap) { return answer("C:\\WINDOWS", out, cap); },
      [](int csidl, char16_t *out, size_t cap) {
        return csidl == kShellFolderProfile && answer("C:\\phone", out, cap);
      },
      [](int csidl, char *out, size_t cap) {
        return csidl == kShellFolderProfile && answer("C:\\phone", out, cap);
      },
  };
  platform_fs_set_folder_hooks(&hooks);
}

int usage(const char *why) {
  fprintf(stderr, "phone: %s\nusage: phone send|receive --port N [--http] [--version 1|2|3] ...\n", why);
  return 1;
}

int report(const phone::Result &r) {
  if (r.code == 0) return 0;
  fprintf(stderr, "phone: failed at %s (%d)\n%s\n", r.where.c_str(), r.code, r.text.c_str());
  return 2;
}

// The session's items under the NPKI file names of one holder folder. 0, or the exit code.
int write_items(const RelaySession *s, const std::string &dir) {
  static const char *const kNames[] = {"signCert.der", "signPri.key", "kmPri.key", "kmCert.der"};
  for (int tag = 0; tag < kRelayItemTagCount; tag++) {
    size_t n = 0;
    const uint8_t *data = relay_session_item(s, tag, &n);
    const std::string path = dir + "/" + kNames[tag];
    if (data != nullptr && !write_file(path, data, n))
      return report({-1, "writing", path + " cannot be written"});
  }
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2) return usage("no role");
  const std::string role = argv[1];
  std::map<std::string, std::string> opt;
  for (int i = 2; i < argc; i++) {
    std::string name = argv[i];
    if (name == "--http") {
      opt[name] = "1";
    } else if (name.rfind("--", 0) == 0 && i + 1 < argc) {
      opt[name] = argv[++i];
    } else {
      return usage(("unknown argument " + name).c_str());
    }
  }
  if (role != "send" && role != "receive") return usage("the role is send or receive");
  const int port = atoi(opt["--port"].c_str());
  const int version = opt.count("--version") != 0 ? atoi(opt["--version"].c_str()) : 3;
  const int timeout = opt.count("--timeout") != 0 ? atoi(opt["--timeout"].c_str()) : 60;
  if (port <= 0 || port > 65535) return usage("--port is required");
  if (version < 1 || version > 3) return usage("--version is 1, 2 or 3");

  answer_folders();
  const uint32_t mode = (role == "receive" ? 0x88000000u : 0x80000000u) | uint32_t(version);
  RelaySession *s = relay_session_new(mode);
  if (s == nullptr) return fprintf(stderr, "phone: no session (%d)\n", errno), 2;
  if (opt.count("--cert-dir") != 0)
    snprintf(s->validation->cert_dir, sizeof s->validation->cert_dir, "%s", opt["--cert-dir"].c_str());

  int exit_code = 0;
  phone::Link link;
  if (role == "send") {
    Bytes cert, key, km_cert, km_key;
    const std::string password = opt["--password"];
    const char *new_password = opt.count("--new-password") != 0 ? opt["--new-password"].c_str() : nullptr;
    if (!read_file(opt["--sign-cert"], &cert) || !read_file(opt["--sign-key"], &key)) {
      exit_code = usage("--sign-cert and --sign-key must name readable files");
    } else if (relay_load_sign_pair(password.c_str(), s, cert.data(), cert.size(), key.data(), key.size(),
                                    nullptr, 0, new_password) != 0) {
      exit_code = report({-1, "loading the signing pair", relay_failure_text(s, 2)});
    } else if (opt.count("--km-cert") != 0 &&
               (!read_file(opt["--km-cert"], &km_cert) || !read_file(opt["--km-key"], &km_key) ||
                relay_load_km_pair(password.c_str(), s, km_cert.data(), km_cert.size(), km_key.data(),
                                   km_key.size(), new_password) != 0)) {
      exit_code = report({-1, "loading the key-management pair", relay_failure_text(s, 2)});
    } else if (!phone::link_open(&link, opt.count("--http") ? kRelayTransportHttp : kRelayTransportRaw, port,
                                 timeout)) {
      exit_code = report({-10, "connecting", "Failed to connect relay server."});
    } else {
      exit_code = report(phone::run_sender(s, &link, opt["--code"]));
      if (exit_code == 0 && opt.count("--sent") != 0) exit_code = write_items(s, opt["--sent"]);
    }
    v7::secure_wipe(key.data(), key.size());
    v7::secure_wipe(km_key.data(), km_key.size());
  } else {
    const std::string out = opt["--out"];
    const std::string code_file = opt["--code-file"];
    if (out.empty()) {
      exit_code = usage("--out is required");
    } else if (relay_session_set_id_text(opt["--id"].c_str(), s) != 0) {
      exit_code = report({-1, "identity", relay_failure_text(s, 2)});
    } else if (!phone::link_open(&link, opt.count("--http") ? kRelayTransportHttp : kRelayTransportRaw, port,
                                 timeout)) {
      exit_code = report({-10, "connecting", "Failed to connect relay server."});
    } else {
      auto shown = [&](const std::string &code) {
        printf("CODE %s\n", code.c_str());
        fflush(stdout);
        // Written beside and renamed, so that a reader never sees half a code.
        if (!code_file.empty() &&
            write_file(code_file + ".part", reinterpret_cast<const uint8_t *>(code.data()), code.size()))
          rename((code_file + ".part").c_str(), code_file.c_str());
      };
      auto confirm = [](const std::string &subject) {
        printf("SUBJECT %s\n", subject.c_str());
        fflush(stdout);
        return true;
      };
      exit_code = report(phone::run_recipient(s, &link, shown, confirm));
      if (exit_code == 0) exit_code = write_items(s, out);
    }
  }
  phone::link_close(&link);
  relay_session_free(s);
  return exit_code;
}
