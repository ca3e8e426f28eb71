// Chain building: from the certificate up to a trust anchor, through the built-in table, the
// caller's extra candidates, the cache folder and the directory.
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/errors/errno_util.h"
#include "pki/asn1/asn1.h"
#include "pki/ldap/ldap.h"
#include "pki/oid/oid.h"
#include "pki/validation/path_internal.h"
#include "pki/validation/revocation.h"
#include "pki/x509/name.h"

namespace v7 {
namespace path {
namespace {

constexpr size_t kDnTextCapacity = 512;
constexpr size_t kDetailLimit = 500;
// Directory attempts for one issuer. The addresses come from the certificate being validated,
// which may be a peer's: a certificate that lists hundreds of them must not hold the caller for
// hours. Real CAs publish one or two. All attempts share one lookup budget besides.
constexpr int kMaxDirectoryAttempts = 4;

CERT_NODE *node_new(Certificate *cert, int flag, CERT_NODE *next) {
  auto *node = static_cast<CERT_NODE *>(calloc(1, sizeof(CERT_NODE)));
  if (node == nullptr) return nullptr;
  node->flag = flag;
  node->cert = cert;
  node->next = next;
  return node;
}

// A trust anchor that issued cert: same name, the AKI's serial when it names one, and a signature
// that verifies under the anchor's key.
const Certificate *find_anchor(VALIDATION_CTX *ctx, const Certificate *cert) {
  bool present = false;
  AuthorityKeyIdentifier *aki = cert_aki(cert, &present);
  if (aki == nullptr) {
    if (present) push(ctx, kErrInvalidAki);
    return nullptr;
  }
  const Certificate *found = nullptr;
  CERT_NODE *lists[] = {ctx->roots, ctx->own_roots};
  for (CERT_NODE *list : lists) {
    for (const CERT_NODE *node = list; node != nullptr && found == nullptr; node = node->next) {
      const Certificate *root = node->cert;
      if (root == nullptr ||
          rdn_list_compare(root->tbs.subject.rdn_sequence, cert->tbs.issuer.rdn_sequence) != 0)
        continue;
      if (aki->authority_cert_serial_number != nullptr &&
          !bytes_equal(aki->authority_cert_serial_number, &root->tbs.serial_number))
        continue;
      if (!same_algorithm(&cert->signature_algorithm, &cert->tbs.signature)) {
        push(ctx, kErrSignatureAlgMismatch);
        continue;
      }
      if (verify_signed(root, &cert->signature_algorithm, &cert->tbs, &asn1_tmpl_tbs_certificate,
                        &cert->signature_value) != 0) {
        push(ctx, kErrIssuerCheck);
        push(ctx, kErrCertSignature);
        continue;
      }
      found = root;
    }
  }
  asn1_release(&asn1_tmpl_authority_key_identifier, aki);
  return found;
}

Certificate *from_extra(VALIDATION_CTX *ctx, const Certificate *cert) {
  for (const CERT_NODE *node = ctx->extra_issuers; node != nullptr; node = node->next) {
    if (node->cert == nullptr || name_compare(&cert->tbs.issuer, &node->cert->tbs.subject) != 0) continue;
    if (issuer_check(ctx, cert, node->cert) == 0) return cert_copy(node->cert);
  }
  return nullptr;
}

// One directory attempt for the URI: the entry of cert's issuer DN on that server.
Certificate *from_directory_uri(VALIDATION_CTX *ctx, const Certificate *cert, const ASN1_BYTES *uri,
                                const char *dn, const LDAP_BUDGET *budget, bool *first, int *fetch_code) {
  *fetch_code = 0;
  LDAP_URL *url = ldap_url_parse(uri->len, reinterpret_cast<const char *>(uri->data));
  if (url == nullptr) {
    int code = errno;
    if (*first)
      push(ctx, code);
    else
      err_add_detail(ctx->err, code, nullptr);
    *first = false;
    return nullptr;
  }
  Certificate *candidate = nullptr;
  if (ldap_url_set_dn(dn, url, strlen(dn)) == 1 && ldap_url_set_ca_attr(url) == 1)
    candidate = static_cast<Certificate *>(ldap_fetch_within(url, LDAP_KIND_CA_CERT, budget));
  if (candidate == nullptr) {
    *fetch_code = errno != 0 ? errno : kErrLdapSearch;
    push_directory_failure(ctx, *fetch_code, url->host, url->port, url->dn, kDetailLimit, *first);
    *first = false;
  } else if (issuer_check(ctx, cert, candidate) != 0) {
    asn1_release(&asn1_tmpl_certificate, candidate);
    candidate = nullptr;
  }
  ldap_url_free(url);
  return candidate;
}

Certificate *from_directory(VALIDATION_CTX *ctx, const Certificate *cert, int *code) {
  bool present = false;
  auto *cdp = static_cast<ASN1_LIST *>(
      decode_cert_extension(cert, OID_EXT_CRL_DIST_POINTS, &asn1_tmpl_crl_distribution_points, &present));
  if (cdp == nullptr) {
    *code = push(ctx, kErrInvalidCdp);
    return nullptr;
  }
  char dn[kDnTextCapacity];
  Certificate *found = nullptr;
  if (name_to_text_comma(&cert->tbs.issuer, dn, sizeof(dn)) < 0) {
    *code = push(ctx, errno);
  } else {
    bool first = true;
    int attempts = 0;
    LDAP_BUDGET budget;
    ldap_budget_start(&budget);
    for (const ASN1_LIST *p = cdp; p != nullptr && found == nullptr && attempts < kMaxDirectoryAttempts;
         p = p->next) {
      const auto *point = static_cast<const DistributionPoint *>(p->element);
      if (point == nullptr || point->distribution_point == nullptr) continue;
      for (const ASN1_LIST *n = point->distribution_point->full_name;
           n != nullptr && found == nullptr && attempts < kMaxDirectoryAttempts; n = n->next) {
        const auto *name = static_cast<const GeneralName *>(n->element);
        if (name == nullptr || name->uniform_resource_identifier == nullptr ||
            name->uniform_resource_identifier->data == nullptr)
          continue;
        ++attempts;
        int fetch_code = 0;
        found = from_directory_uri(ctx, cert, name->uniform_resource_identifier, dn, &budget, &first,
                                   &fetch_code);
        // The lookup's time is spent: the addresses left would each fail at once.
        if (fetch_code == kErrLdapTimeLimit) attempts = kMaxDirectoryAttempts;
      }
    }
    *code = found != nullptr ? 0 : kErrNoIssuerCert;
  }
  asn1_release(&asn1_tmpl_crl_distribution_points, cdp);
  if (found == nullptr) return nullptr;
  // Stored only now that its signature over cert has been checked.
  int stored = issuer_store(ctx, ctx->cert_dir, CACHE_KIND_CA_CERT, found);
  if (stored != 0 && ctx->store_certs == VALCFG_STORE_TRUE) {
    asn1_release(&asn1_tmpl_certificate, found);
    *code = push(ctx, kErrStoreIssuer);
    return nullptr;
  }
  return found;
}

bool on_chain(const CERT_NODE *chain, const Certificate *start, const Certificate *cert) {
  if (cert_same(start, cert)) return true;
  for (; chain != nullptr; chain = chain->next)
    if (cert_same(chain->cert, cert)) return true;
  return false;
}

}  // namespace

Certificate *issuer_lookup(VALIDATION_CTX *ctx, const Certificate *cert, int *code) {
  *code = kErrNoIssuerCert;
  Certificate *found = issuer_cert_by_aki(ctx, nullptr, cert, ISSUER_BY_AKI_BUILTIN);
  if (found == nullptr) found = from_extra(ctx, cert);
  if (found != nullptr || ctx->mode == VALCFG_MODE_CHAIN) return found;
  found = issuer_cert_by_aki(ctx, ctx->cert_dir, cert, ISSUER_BY_AKI_CACHE);
  if (found != nullptr) return found;
  // The trail so far only says where the issuer was not; the directory's answer replaces it.
  err_ctx_clear(ctx->err);
  return from_directory(ctx, cert, code);
}

int chain_build(VALIDATION_CTX *ctx, const Certificate *cert, CERT_NODE **out) {
  *out = nullptr;
  CERT_NODE *chain = nullptr;
  const Certificate *subject = cert;
  int code = 0;
  for (int depth = 0;; ++depth) {
    const Certificate *anchor = find_anchor(ctx, subject);
    if (anchor != nullptr) {
      CERT_NODE *node = node_new(const_cast<Certificate *>(anchor), 1, chain);
      if (node == nullptr) {
        code = push(ctx, kErrOutOfMemory);
        break;
      }
      chain = node;
      break;
    }
    if (self_issued(subject)) {
      code = ctl_check(ctx, subject);
      if (code == kErrCtlNotListed || code == kErrCtlNoTrusted) code = push(ctx, kErrMistrustedRoot);
      break;
    }
    // A cross-certified pair or a hostile directory could otherwise lead round in a circle.
    if (depth >= kValidateMaxDepth) {
      code = push(ctx, kErrNoIssuerCert);
      break;
    }
    int lookup = 0;
    Certificate *issuer = issuer_lookup(ctx, subject, &lookup);
    if (issuer == nullptr) {
      code = push(ctx, kErrNoIssuerCert);
      break;
    }
    if (on_chain(chain, cert, issuer)) {
      asn1_release(&asn1_tmpl_certificate, issuer);
      code = push(ctx, kErrNoIssuerCert);
      break;
    }
    CERT_NODE *node = node_new(issuer, 0, chain);
    if (node == nullptr) {
      asn1_release(&asn1_tmpl_certificate, issuer);
      code = push(ctx, kErrOutOfMemory);
      break;
    }
    chain = node;
    subject = issuer;
  }
  if (code != 0) {
    cert_nodes_free(chain);
    return code;
  }
  *out = chain;
  return 0;
}

}  // namespace path
}  // namespace v7
