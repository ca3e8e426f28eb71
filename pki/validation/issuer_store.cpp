// Issuer certificates by key identifier and serial: the built-in CA table, the cache folder, and
// storing a fetched certificate there.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/errors/errno_util.h"
#include "pki/asn1/asn1.h"
#include "pki/ldap/ldap.h"
#include "pki/validation/path_internal.h"
#include "pki/validation/valcfg.h"

namespace v7 {
namespace path {
namespace {

constexpr size_t kLookupKeyIdMax = 20;
constexpr size_t kStoreKeyIdMax = 32;

void to_hex(const ASN1_BYTES *bytes, char *out) {
  static const char kDigits[] = "0123456789abcdef";
  for (uint32_t i = 0; i < bytes->len; ++i) {
    out[2 * i] = kDigits[bytes->data[i] >> 4];
    out[2 * i + 1] = kDigits[bytes->data[i] & 15];
  }
  out[2 * bytes->len] = 0;
}

// "%d" of a serial of at most four bytes; false for a longer one, which then is never found in
// the table or the cache (the directory still is asked).
bool serial_text(const ASN1_BYTES *serial, char *out, size_t capacity) {
  errno = 0;
  int32_t value = asn1_integer_to_int(serial);
  if (value == 0 && errno != 0) return false;
  snprintf(out, capacity, "%d", value);
  return true;
}

bool same_hex(const char *a, const char *b) {
  for (; *a != 0 && *b != 0; ++a, ++b) {
    char x = *a >= 'A' && *a <= 'F' ? char(*a + 32) : *a;
    char y = *b >= 'A' && *b <= 'F' ? char(*b + 32) : *b;
    if (x != y) return false;
  }
  return *a == *b;
}

Certificate *from_table(const char *hex, const char *serial) {
  size_t count = 0;
  const BuiltinCaRecord *table = builtin_ca_table(&count);
  for (size_t i = kBuiltinRootCount; table != nullptr && i < count; ++i) {
    const BuiltinCaRecord &record = table[i];
    if (record.ski_hex == nullptr || record.serial == nullptr || !same_hex(hex, record.ski_hex) ||
        strcmp(serial, record.serial) != 0)
      continue;
    return static_cast<Certificate *>(
        asn1_decode_alloc(ASN1_MODE_DER, record.der, &asn1_tmpl_certificate, record.der_len));
  }
  return nullptr;
}

}  // namespace

int issuer_store(VALIDATION_CTX *ctx, const char *folder, int kind, const Certificate *cert) {
  if (ctx->store_certs == VALCFG_STORE_FALSE) return 0;
  char serial[16];
  if (!serial_text(&cert->tbs.serial_number, serial, sizeof(serial))) return -1;
  ASN1_BYTES *ski = cert_ski(cert);
  int code = 0;
  if (ski == nullptr) {
    code = kErrNoSki;
  } else if (ski->len == 0 || ski->len > kStoreKeyIdMax) {
    code = kErrInvalidSki;
  } else {
    char name[2 * kStoreKeyIdMax + 1 + sizeof(serial)];
    to_hex(ski, name);
    strcat(name, "_");
    strcat(name, serial);
    uint8_t *der = nullptr;
    size_t len = cert_encode(cert, &der);
    if (len == 0) {
      code = ctx->store_certs == VALCFG_STORE_TRUE ? push(ctx, kErrEncodeFailed) : kErrEncodeFailed;
    } else if (cache_write(der, name, kind, folder, len) != 0) {
      code = -1;
      if (ctx->store_certs == VALCFG_STORE_TRUE) push(ctx, code);
    }
    free(der);
  }
  asn1_release(&asn1_tmpl_octet_string, ski);
  return code;
}

}  // namespace path
}  // namespace v7

Certificate *issuer_cert_by_aki(VALIDATION_CTX *ctx, const char *directory, const Certificate *cert,
                                int mode) {
  using namespace v7::path;
  if (ctx == nullptr || cert == nullptr || (mode == ISSUER_BY_AKI_CACHE && directory == nullptr))
    return v7::with_errno(v7::kErrInvalidParameter, nullptr);
  bool present = false;
  AuthorityKeyIdentifier *aki = cert_aki(cert, &present);
  if (!present) {
    push(ctx, v7::kErrNoAki);
    return v7::with_errno(v7::kErrNoAki, nullptr);
  }
  char hex[2 * kLookupKeyIdMax + 1];
  char serial[16];
  bool usable = aki != nullptr && aki->key_identifier != nullptr && aki->key_identifier->len != 0 &&
                aki->key_identifier->len <= kLookupKeyIdMax && aki->authority_cert_serial_number != nullptr;
  if (usable) to_hex(aki->key_identifier, hex);
  bool has_serial = usable && serial_text(aki->authority_cert_serial_number, serial, sizeof(serial));
  asn1_release(&asn1_tmpl_authority_key_identifier, aki);
  if (!usable) {
    push(ctx, v7::kErrInvalidAki);
    return v7::with_errno(v7::kErrInvalidAki, nullptr);
  }
  if (!has_serial) return v7::with_errno(0, nullptr);
  Certificate *candidate = nullptr;
  if (mode == ISSUER_BY_AKI_BUILTIN) {
    candidate = from_table(hex, serial);
  } else if (mode == ISSUER_BY_AKI_CACHE) {
    char name[sizeof(hex) + 1 + sizeof(serial)];
    snprintf(name, sizeof(name), "%s_%s", hex, serial);
    candidate = static_cast<Certificate *>(cache_read(name, directory, CACHE_KIND_CA_CERT));
  } else {
    return v7::with_errno(v7::kErrInvalidParameter, nullptr);
  }
  if (candidate == nullptr) return v7::with_errno(0, nullptr);
  int code = issuer_check(ctx, cert, candidate);
  if (code != 0) {
    asn1_release(&asn1_tmpl_certificate, candidate);
    return v7::with_errno(code, nullptr);
  }
  return v7::with_errno(0, candidate);
}
