// A phone-relay module of our own, "xcmhsmpc.dll", for the key-loading tests. V7_TEST_PHONE says
// what it does: init and sign (the codes of XcInitEx and XcGetSignatureFirst, 0 by default),
// initmsg and signmsg (their message texts), cert (a file whose bytes are the certificate) or
// certlen (that many pattern bytes instead), vidlen (20 by default) and siglen (256 by default).
// Builds without an entry point: PHONE_NO_INIT, PHONE_NO_CLOSE, PHONE_NO_SIGN.
#include <windows.h>

#include <string>
#include <vector>

#include "tests/modules/outside/module_script.h"
#include "wizard/keyload/outside_modules.h"

namespace {

const char kScript[] = "V7_TEST_PHONE";

// What the session handed out; released by XcClose.
struct Session {
  std::string message;
  std::vector<uint8_t> cert, vid, signature;
};
Session *g_session = nullptr;

Session *session() {
  if (g_session == nullptr) g_session = new Session;
  return g_session;
}

#ifndef PHONE_NO_SIGN
PhoneBlob blob(const std::vector<uint8_t> &bytes) {
  return PhoneBlob{int32_t(bytes.size()), bytes.empty() ? nullptr : bytes.data()};
}
#endif

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_DETACH) v7test::log_line(std::string("phone detach") + (g_session ? " open" : ""));
  return TRUE;
}

#ifndef PHONE_NO_INIT
__declspec(dllexport) PhoneModuleResult V7_PHONE_CALL XcInitEx(const char *ca_names, const char *text, HWND window) {
  v7test::log_line(std::string("XcInitEx ca=") + (ca_names ? ca_names : "(null)") + " text=" + (text ? text : "(null)") +
                   " window=" + std::to_string(reinterpret_cast<uintptr_t>(window)));
  Session *s = session();
  s->message = v7test::script_value(kScript, "initmsg");
  PhoneModuleResult r{};
  r.code = v7test::script_number(kScript, "init", 0);
  r.message = s->message.c_str();
  return r;
}
#endif

#ifndef PHONE_NO_SIGN
__declspec(dllexport) PhoneModuleResult V7_PHONE_CALL XcGetSignatureFirst(uint8_t mode, int32_t data_length,
                                                                          const uint8_t *data, const void *extra,
                                                                          HWND window) {
  v7test::log_line("XcGetSignatureFirst mode=" + std::to_string(mode) + " length=" + std::to_string(data_length) +
                   " data=" + (data ? "set" : "null") + " extra=" + (extra ? "set" : "null") +
                   " window=" + std::to_string(reinterpret_cast<uintptr_t>(window)));
  Session *s = session();
  s->message = v7test::script_value(kScript, "signmsg");
  const std::string cert_file = v7test::script_value(kScript, "cert");
  s->cert = cert_file.empty() ? v7test::pattern(size_t(v7test::script_number(kScript, "certlen", 0)), 1)
                              : v7test::read_whole(cert_file);
  s->vid = v7test::pattern(size_t(v7test::script_number(kScript, "vidlen", 20)), 2);
  s->signature = v7test::pattern(size_t(v7test::script_number(kScript, "siglen", 256)), 3);
  PhoneModuleResult r{};
  r.code = v7test::script_number(kScript, "sign", 0);
  r.message = s->message.c_str();
  r.certificate = blob(s->cert);
  r.vid_random = blob(s->vid);
  r.signature = blob(s->signature);
  return r;
}
#endif

#ifndef PHONE_NO_CLOSE
__declspec(dllexport) void V7_PHONE_CALL XcClose(const PhoneModuleResult *result) {
  v7test::log_line("XcClose code=" + std::to_string(result != nullptr ? result->code : 0));
  delete g_session;
  g_session = nullptr;
}
#endif
}
