// Revocation checks against CRLs (end certificates) and ARLs (CA certificates), and the
// certificate trust list that admits self-signed roots beyond the built-in ones.
//
// Every failure is pushed onto the context's ERROR_CTX and returned (also in errno).
#pragma once

#include "pki/asn1/x509_types.h"
#include "pki/validation/validate.h"

// 0 when cert is not revoked according to a current list that its issuer signed; kErrCertRevoked
// revoked, kErrCertHeld on hold; kErrGetCrl no list could be had; kErrValidateCrl the list failed
// its check against the issuer; kErrInvalidConfig for a mode other than CRL and OCSP. usage is the
// code the certificate is checked with (KU_CHECK_CERT_SIGN chooses the ARL).
int revocation_check(VALIDATION_CTX *ctx, int usage, const Certificate *cert, const Certificate *issuer);

// 0 when a trust list signed by a trust anchor names the self-signed cert; the certificate is then
// appended to the anchors (and stored under RootCertDir unless storing is FALSE). kErrCtlNotListed
// when the list does not name it, kErrCtlNoTrusted when no list verifies, kErrCtlProcess when none
// can be fetched.
int ctl_check(VALIDATION_CTX *ctx, const Certificate *cert);
