#include <windows.h>
#include <wincrypt.h>

#include "platform/random/os_random.h"

namespace {

// RtlGenRandom is exported by name SystemFunction036 from XP on; it is bound at run time so that
// the library still loads where it is missing and falls back to CryptoAPI.
typedef BOOLEAN(WINAPI *RtlGenRandomFn)(PVOID, ULONG);

bool rtl_gen_random(unsigned char *p, size_t len) {
  HMODULE advapi = LoadLibraryA("advapi32.dll");
  if (advapi == nullptr) return false;
  auto fn = reinterpret_cast<RtlGenRandomFn>(
      reinterpret_cast<void *>(GetProcAddress(advapi, "SystemFunction036")));
  bool ok = fn != nullptr;
  while (ok && len > 0) {
    ULONG chunk = len > 0x10000000 ? 0x10000000 : ULONG(len);
    ok = fn(p, chunk) != FALSE;
    p += chunk;
    len -= chunk;
  }
  FreeLibrary(advapi);
  return ok;
}

bool crypt_gen_random(unsigned char *p, size_t len) {
  HCRYPTPROV prov = 0;
  if (!CryptAcquireContextA(&prov, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT | CRYPT_SILENT))
    return false;
  bool ok = true;
  while (ok && len > 0) {
    DWORD chunk = len > 0x10000000 ? 0x10000000 : DWORD(len);
    ok = CryptGenRandom(prov, chunk, p) != FALSE;
    p += chunk;
    len -= chunk;
  }
  CryptReleaseContext(prov, 0);
  return ok;
}

}  // namespace

bool platform_random_bytes(void *out, size_t len) {
  if (len == 0) return true;
  if (out == nullptr) return false;
  unsigned char *p = static_cast<unsigned char *>(out);
  return rtl_gen_random(p, len) || crypt_gen_random(p, len);
}
