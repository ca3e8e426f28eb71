// The checks of one certificate of a path: validity, revocation, policies, the constraints of a
// CA certificate, key usage and extended key usage, and the critical extensions.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/errors/errno_util.h"
#include "pki/asn1/asn1.h"
#include "pki/oid/oid.h"
#include "pki/validation/path_internal.h"
#include "pki/validation/revocation.h"

namespace v7 {
namespace path {
namespace {

constexpr char kAnyPolicy[] = "2.5.29.32.0";
constexpr size_t kPolicyOidMax = 20;

// Whole ";"-separated tokens: an identifier that only begins like an accepted one (an arc
// prefix, or "...6.0" inside "...6.00") is another policy.
bool has_token(const char *list, const char *token) {
  size_t n = strlen(token);
  for (const char *p = list; *p != 0;) {
    const char *end = strchr(p, ';');
    size_t len = end == nullptr ? strlen(p) : size_t(end - p);
    if (len == n && memcmp(p, token, n) == 0) return true;
    if (end == nullptr) break;
    p = end + 1;
  }
  return false;
}

void count_critical(const Extension *ext, int *recognised) {
  if (ext != nullptr && ext_is_critical(ext)) ++*recognised;
}

int check_policies(VALIDATION_CTX *ctx, const Certificate *cert, PathState *state, int *recognised) {
  const Extension *ext = cert_find_extension(cert, OID_EXT_CERT_POLICIES);
  auto *policies = static_cast<ASN1_LIST *>(decode_extension(ext, &asn1_tmpl_certificate_policies));
  if (policies == nullptr) return push(ctx, kErrNoCertPolicies);
  count_critical(ext, recognised);
  state->policies_processed = 1;
  const bool take_all = has_token(state->acceptable, kAnyPolicy);
  char next[sizeof(state->acceptable)] = "";
  size_t used = 0;
  bool any_policy = false;
  for (const ASN1_LIST *node = policies; node != nullptr && !any_policy; node = node->next) {
    const auto *info = static_cast<const PolicyInformation *>(node->element);
    if (info == nullptr || info->policy_identifier.len > kPolicyOidMax) continue;
    char oid[96];
    if (oid_to_text(oid, &info->policy_identifier, sizeof(oid)) <= 0) continue;
    if (strcmp(oid, kAnyPolicy) == 0) {
      any_policy = true;
    } else if (take_all || has_token(state->acceptable, oid)) {
      int n = snprintf(next + used, sizeof(next) - used, "%s%s", used == 0 ? "" : ";", oid);
      if (n > 0 && size_t(n) < sizeof(next) - used)
        used += size_t(n);
      else
        next[used] = 0;
    }
  }
  asn1_release(&asn1_tmpl_certificate_policies, policies);
  if (any_policy) return 0;
  if (used == 0) return push(ctx, kErrPolicy);
  memcpy(state->acceptable, next, used + 1);
  return 0;
}

// A non-negative INTEGER of at most four bytes, or -1.
int small_integer(const ASN1_BYTES *value) {
  errno = 0;
  int32_t n = asn1_integer_to_int(value);
  if ((n == 0 && errno != 0) || n < 0) return -1;
  return n;
}

int check_ca(VALIDATION_CTX *ctx, const Certificate *cert, PathState *state, int *recognised) {
  const bool self = self_issued(cert);
  if (!self) {
    if (state->explicit_policy > 0) --state->explicit_policy;
    if (state->policy_mapping > 0) --state->policy_mapping;
    if (state->inhibit_any_policy > 0) --state->inhibit_any_policy;
  }
  const Extension *ext = cert_find_extension(cert, OID_EXT_POLICY_CONSTRAINTS);
  if (ext != nullptr) {
    count_critical(ext, recognised);
    auto *pc = static_cast<PolicyConstraints *>(decode_extension(ext, &asn1_tmpl_policy_constraints));
    int require = pc != nullptr && pc->require_explicit_policy != nullptr
                      ? small_integer(pc->require_explicit_policy)
                      : 0;
    int inhibit = pc != nullptr && pc->inhibit_policy_mapping != nullptr
                      ? small_integer(pc->inhibit_policy_mapping)
                      : 0;
    bool has_require = pc != nullptr && pc->require_explicit_policy != nullptr;
    bool has_inhibit = pc != nullptr && pc->inhibit_policy_mapping != nullptr;
    asn1_release(&asn1_tmpl_policy_constraints, pc);
    if (pc == nullptr || require < 0 || inhibit < 0) return push(ctx, kErrInvalidPolicyConstraints);
    if (has_require && require < state->explicit_policy) state->explicit_policy = require;
    if (has_inhibit && inhibit < state->policy_mapping) state->policy_mapping = inhibit;
  }
  if (!self) {
    if (state->max_path_length <= 0) return push(ctx, kErrPathLength);
    --state->max_path_length;
  }
  ext = cert_find_extension(cert, OID_EXT_BASIC_CONSTRAINTS);
  auto *bc = static_cast<BasicConstraints *>(decode_extension(ext, &asn1_tmpl_basic_constraints));
  if (bc == nullptr) return push(ctx, kErrNoBasicConstraints);
  // Every CA marks basicConstraints critical, and this check is what recognises it.
  count_critical(ext, recognised);
  bool ca = bc->ca != nullptr && *bc->ca != 0;
  int path_len = bc->path_len_constraint != nullptr ? small_integer(bc->path_len_constraint) : -1;
  asn1_release(&asn1_tmpl_basic_constraints, bc);
  if (!ca || path_len < 0) return push(ctx, kErrBasicConstraints);
  if (path_len < state->max_path_length) state->max_path_length = path_len;
  return 0;
}

// A critical basicConstraints on an end certificate that says it is no CA is understood too.
void count_end_basic_constraints(const Certificate *cert, int *recognised) {
  const Extension *ext = cert_find_extension(cert, OID_EXT_BASIC_CONSTRAINTS);
  if (ext == nullptr || !ext_is_critical(ext)) return;
  auto *bc = static_cast<BasicConstraints *>(decode_extension(ext, &asn1_tmpl_basic_constraints));
  if (bc != nullptr && (bc->ca == nullptr || *bc->ca == 0)) ++*recognised;
  asn1_release(&asn1_tmpl_basic_constraints, bc);
}

enum : uint8_t {
  kDigitalSignature = 0x80,
  kNonRepudiation = 0x40,
  kKeyEncipherment = 0x20,
  kKeyAgreement = 0x08,
};

// The key-usage bits one of which a purpose needs; 0 for a purpose that is not judged.
uint8_t purpose_bits(const char *oid) {
  static const struct {
    const char *oid;
    uint8_t bits;
  } kPurposes[] = {
      {"1.3.6.1.5.5.7.3.1", kDigitalSignature | kKeyEncipherment | kKeyAgreement},
      {"1.3.6.1.5.5.7.3.2", kDigitalSignature | kKeyAgreement},
      {"1.3.6.1.5.5.7.3.3", kDigitalSignature},
      {"1.3.6.1.5.5.7.3.4", kDigitalSignature | kNonRepudiation | kKeyEncipherment | kKeyAgreement},
      {"1.3.6.1.5.5.7.3.8", kDigitalSignature | kNonRepudiation},
      {"1.3.6.1.5.5.7.3.9", kDigitalSignature | kNonRepudiation},
  };
  for (const auto &p : kPurposes)
    if (strcmp(p.oid, oid) == 0) return p.bits;
  return 0;
}

int check_key_usage(VALIDATION_CTX *ctx, const Certificate *cert, int usage, int *recognised) {
  const Extension *ext = cert_find_extension(cert, OID_EXT_KEY_USAGE);
  auto *ku = static_cast<ASN1_BIT_STRING *>(decode_extension(ext, &asn1_tmpl_bit_string));
  if (ku == nullptr) return push(ctx, kErrNoKeyUsage);
  count_critical(ext, recognised);
  const uint8_t bits = ku->data != nullptr && ku->len > 0 ? ku->data[0] : 0;
  int ok = cert_key_usage_ok(usage, ku);
  asn1_release(&asn1_tmpl_bit_string, ku);
  if (ok != 1) return push(ctx, kErrKeyUsage);
  ext = cert_find_extension(cert, OID_EXT_EXT_KEY_USAGE);
  if (ext == nullptr || !ext_is_critical(ext)) return 0;
  ++*recognised;
  auto *purposes = static_cast<ASN1_LIST *>(decode_extension(ext, &asn1_tmpl_oid_list));
  if (purposes == nullptr) return push(ctx, kErrInvalidExtKeyUsage);
  bool agrees = false;
  for (const ASN1_LIST *node = purposes; node != nullptr && !agrees; node = node->next) {
    char oid[96];
    const auto *id = static_cast<const ASN1_BYTES *>(node->element);
    if (id != nullptr && oid_to_text(oid, id, sizeof(oid)) > 0) agrees = (purpose_bits(oid) & bits) != 0;
  }
  asn1_release(&asn1_tmpl_oid_list, purposes);
  return agrees ? 0 : push(ctx, kErrExtKeyUsage);
}

int critical_count(const Certificate *cert) {
  int n = 0;
  for (const ASN1_LIST *node = cert->tbs.extensions; node != nullptr; node = node->next)
    if (node->element != nullptr && ext_is_critical(static_cast<const Extension *>(node->element))) ++n;
  return n;
}

}  // namespace

int cert_check(VALIDATION_CTX *ctx, const Certificate *cert, const Certificate *issuer, int usage,
               PathState *state) {
  int recognised = 0;
  if (ctx->no_time_check != 1) {
    char *text = nullptr;
    int when = cert_validity_text(cert, &text);
    if (when != 0) {
      int code = when == 1 ? kErrCertExpired : when == -1 ? kErrCertNotYetValid : kErrInvalidCertFormat;
      return push_owned(ctx, code, text);
    }
  }
  if (ctx->mode != VALCFG_MODE_NOCRL && ctx->mode != VALCFG_MODE_CHAIN) {
    int code = revocation_check(ctx, usage, cert, issuer);
    if (code != 0) return code;
  }
  int code = check_policies(ctx, cert, state, &recognised);
  if (code == 0 && usage == KU_CHECK_CERT_SIGN) code = check_ca(ctx, cert, state, &recognised);
  if (code == 0 && usage != KU_CHECK_CERT_SIGN) count_end_basic_constraints(cert, &recognised);
  if (code == 0) code = check_key_usage(ctx, cert, usage, &recognised);
  if (code == 0 && critical_count(cert) != recognised) code = push(ctx, kErrCriticalExtension);
  return code;
}

}  // namespace path
}  // namespace v7
