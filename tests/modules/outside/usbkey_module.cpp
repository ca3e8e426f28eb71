// A USB-key module of our own, "UbiKeyWin32.dll", for the key-loading tests. V7_TEST_USBKEY says
// what it does: tranx (Tranx2PC's result, 0 by default), cert and key (files whose bytes GetCert
// and GetKey copy), certlen and keylen (the lengths they claim, which may lie past the buffer; at
// most the buffer is written). Builds without an entry point: USBKEY_NO_TRANX, USBKEY_NO_GETCERT,
// USBKEY_NO_GETKEY.
#include <windows.h>

#include <algorithm>
#include <string>

#include "tests/modules/outside/module_script.h"
#include "wizard/keyload/outside_modules.h"

namespace {

const char kScript[] = "V7_TEST_USBKEY";
HMODULE g_self = nullptr;

int32_t copy_file_out(const char *file_name, const char *length_name, uint8_t *buffer, int32_t capacity) {
  const std::vector<uint8_t> bytes = v7test::read_whole(v7test::script_value(kScript, file_name));
  const int32_t claimed = v7test::script_number(kScript, length_name, int32_t(bytes.size()));
  const std::vector<uint8_t> filler = bytes.empty() ? v7test::pattern(size_t(std::max(claimed, 0)), 3) : bytes;
  const size_t n = std::min(filler.size(), size_t(std::max(capacity, 0)));
  if (n != 0) memcpy(buffer, filler.data(), n);
  return claimed;
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) g_self = instance;
  if (reason == DLL_PROCESS_DETACH) v7test::log_line("usbkey detach");
  return TRUE;
}

#ifndef USBKEY_NO_TRANX
__declspec(dllexport) int32_t V7_USBKEY_CALL Tranx2PC(HMODULE module, HWND window, const char *text,
                                                      const char *text2) {
  v7test::log_line(std::string("Tranx2PC ") + (module == g_self ? "self" : "other") + " window=" +
                   std::to_string(reinterpret_cast<uintptr_t>(window)) + " text=" + (text ? text : "(null)") +
                   " text2=" + (text2 ? text2 : "(null)"));
  return v7test::script_number(kScript, "tranx", 0);
}
#endif

#ifndef USBKEY_NO_GETCERT
__declspec(dllexport) int32_t V7_USBKEY_CALL GetCert(uint8_t *buffer, int32_t capacity) {
  v7test::log_line("GetCert " + std::to_string(capacity));
  return copy_file_out("cert", "certlen", buffer, capacity);
}
#endif

#ifndef USBKEY_NO_GETKEY
__declspec(dllexport) int32_t V7_USBKEY_CALL GetKey(uint8_t *buffer, int32_t capacity) {
  v7test::log_line("GetKey " + std::to_string(capacity));
  return copy_file_out("key", "keylen", buffer, capacity);
}
#endif
}
