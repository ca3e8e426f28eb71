// The path check: the anchor's validity, then every certificate of the chain against the one
// above it, the certificate itself last.
#include <cstdlib>

#include "platform/errors/errno_util.h"
#include "pki/validation/path_internal.h"

namespace v7 {
namespace path {

int path_check(VALIDATION_CTX *ctx, const CERT_NODE *chain, const Certificate *cert, int usage) {
  if (chain == nullptr || chain->cert == nullptr) return push(ctx, kErrNoChainPath);
  PathState state;
  path_state_init(&state, ctx->policy);
  if (ctx->no_time_check != 1) {
    char *text = nullptr;
    int when = cert_validity_text(chain->cert, &text);
    if (when != 0) {
      int code = when == 1 ? kErrAnchorExpired : when == -1 ? kErrAnchorNotYetValid : kErrInvalidCertFormat;
      return push_owned(ctx, code, text);
    }
  }
  const Certificate *issuer = chain->cert;
  for (const CERT_NODE *node = chain->next; node != nullptr; node = node->next) {
    int code = cert_check(ctx, node->cert, issuer, KU_CHECK_CERT_SIGN, &state);
    if (code != 0) {
      push(ctx, kErrValidateCaCert);
      return code;
    }
    issuer = node->cert;
  }
  int code = cert_check(ctx, cert, issuer, usage, &state);
  if (code != 0) push(ctx, kErrValidateUserCert);
  return code;
}

}  // namespace path
}  // namespace v7
