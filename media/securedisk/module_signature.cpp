// The Authenticode check of an outside module file, its result codes, and its signer's name.
#include "media/securedisk/module_signature.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "pki/asn1/asn1.h"
#include "pki/asn1/asn1_owned.h"
#include "pki/asn1/cms_types.h"
#include "pki/cms/cms.h"
#include "pki/errors/error_ctx.h"
#include "pki/oid/oid.h"
#include "pki/text/codepage.h"
#include "pki/text/files.h"
#include "pki/x509/name.h"
#include "platform/errors/errno_util.h"

using v7::Asn1Owned;
using v7::with_errno;

namespace {

FileTrustVerifier g_verifier = nullptr;

constexpr uint32_t kCryptFileError = 0x80092003;
constexpr uint32_t kTrustBadDigest = 0x80096010;
constexpr uint32_t kTrustNoSignature = 0x800B0100;
constexpr uint32_t kCertChaining = 0x800B010A;

int push_hex(ERROR_CTX *ctx, int code, const char *format, uint32_t value) {
  char detail[48];
  snprintf(detail, sizeof detail, format, unsigned(value));
  return err_push(ctx, code, detail);
}

int fail_with(ERROR_CTX *ctx, int code) {
  err_push(ctx, code, nullptr);
  return with_errno(code, code);
}

uint32_t le32(const uint8_t *p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint16_t le16(const uint8_t *p) { return uint16_t(p[0] | p[1] << 8); }

int layout_fail(ERROR_CTX *ctx) {
  err_push(ctx, v7::kErrInvalidMemoryAccess, nullptr);
  return fail_with(ctx, v7::kErrPeFormat);
}

// The signature data of the first attribute certificate: its place in the file, checked against
// the file's size at every step.
int pe_certificate_table(const uint8_t *file, size_t size, ERROR_CTX *ctx, const uint8_t **data, size_t *length) {
  constexpr size_t kPeHeaderOffsetAt = 0x3C;
  constexpr size_t kFileHeaderSize = 20;
  // The security directory, from the PE signature: in a PE32 optional header at 152, in a PE32+
  // one (a 64-bit module, wider image base and stack sizes) at 168.
  constexpr size_t kPe32SecurityDirectoryAt = 152;
  constexpr size_t kPe32PlusSecurityDirectoryAt = 168;
  constexpr uint16_t kPe32Magic = 0x10B;
  constexpr uint16_t kPe32PlusMagic = 0x20B;
  constexpr size_t kWinCertificateHeader = 8;
  if (size < kPeHeaderOffsetAt + 4 || file[0] != 'M' || file[1] != 'Z') return layout_fail(ctx);
  uint32_t pe = le32(file + kPeHeaderOffsetAt);
  if (pe > size || size - pe < 4 + kFileHeaderSize + 2) return layout_fail(ctx);
  if (std::memcmp(file + pe, "PE\0\0", 4) != 0) return layout_fail(ctx);
  uint16_t magic = le16(file + pe + 4 + kFileHeaderSize);
  size_t directory;
  if (magic == kPe32Magic) {
    directory = kPe32SecurityDirectoryAt;
  } else if (magic == kPe32PlusMagic) {
    directory = kPe32PlusSecurityDirectoryAt;
  } else {
    return layout_fail(ctx);
  }
  if (size - pe < directory + 8) return layout_fail(ctx);
  uint32_t table = le32(file + pe + directory);
  uint32_t table_size = le32(file + pe + directory + 4);
  if (table == 0 || table_size == 0) return fail_with(ctx, v7::kErrPeNoSignature);
  if (table > size || table_size > size - table || table_size < kWinCertificateHeader) return layout_fail(ctx);
  uint32_t entry = le32(file + table);
  if (entry < kWinCertificateHeader || entry > table_size) return layout_fail(ctx);
  *data = file + table + kWinCertificateHeader;
  *length = entry - kWinCertificateHeader;
  return 0;
}

int signed_data_fail(ERROR_CTX *ctx, const char *what) {
  err_push(ctx, v7::kErrDecodeFailed, what);
  return fail_with(ctx, v7::kErrCmsSignedDataFormat);
}

// An Authenticode SignedData carries its SpcIndirectDataContent in [0] as it stands, which the
// toolkit's CMS record (content in an OCTET STRING) does not take. Only the certificates and the
// signer identifier are needed here, so the content is left out: the same SignedData with a bare
// data content type.
bool without_content(const uint8_t *der, size_t length, std::vector<uint8_t> *out) {
  ASN1_HEADER outer;
  if (asn1_read_header(ASN1_MODE_DER, der, length, &outer) != 0 || outer.tag != 0x30) return false;
  const uint8_t *p = der + outer.header_len;
  const uint8_t *end = p + outer.content_len;
  std::vector<uint8_t> body;
  for (int index = 0; p < end; ++index) {
    ASN1_HEADER element;
    if (asn1_read_header(ASN1_MODE_DER, p, size_t(end - p), &element) != 0) return false;
    size_t whole = element.header_len + element.content_len;
    if (index == 2) {
      static const uint8_t kDataOnly[] = {0x30, 0x0B, 0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x01};
      if (element.tag != 0x30) return false;
      body.insert(body.end(), kDataOnly, kDataOnly + sizeof kDataOnly);
    } else {
      body.insert(body.end(), p, p + whole);
    }
    p += whole;
  }
  uint8_t header[6];
  size_t header_len = asn1_put_tag_len(header, uint32_t(body.size()), 0x30);
  out->assign(header, header + header_len);
  out->insert(out->end(), body.begin(), body.end());
  return true;
}

}  // namespace

void set_file_trust_verifier(FileTrustVerifier verifier) { g_verifier = verifier; }

int verify_file_signature(ERROR_CTX *ctx, const char *path) {
  if (ctx == nullptr) return with_errno(v7::kErrNoErrorContext, v7::kErrNoErrorContext);
  if (path == nullptr) return fail_with(ctx, v7::kErrInvalidParameter);
  char16_t *wide = nullptr;
  int rc = setting_to_wide(path, &wide);
  if (rc != 0) return fail_with(ctx, rc);
  FileTrustAnswer answer = g_verifier != nullptr ? g_verifier(wide) : platform_file_trust(wide);
  free(wide);
  int code;
  switch (answer.result) {
    case 0:
      return with_errno(0, 0);
    case kCryptFileError:
      code = v7::kErrFileOpen;
      break;
    case kTrustBadDigest:
      code = v7::kErrPeImageHash;
      break;
    case kTrustNoSignature:
      if (answer.last_error != kTrustNoSignature) {
        push_hex(ctx, v7::kErrWin32Api, "GetLastError : [0x%0X]", answer.last_error);
        push_hex(ctx, v7::kErrWin32Api, "[0x%0X]", answer.result);
        return with_errno(v7::kErrWin32Api, v7::kErrWin32Api);
      }
      code = v7::kErrPeNoSignature;
      break;
    case kCertChaining:
      code = v7::kErrTrustChain;
      break;
    default:
      push_hex(ctx, v7::kErrWin32Api, "[0x%0X]", answer.result);
      return with_errno(v7::kErrWin32Api, v7::kErrWin32Api);
  }
  push_hex(ctx, v7::kErrWin32Api, "[0x%0X]", answer.result);
  return fail_with(ctx, code);
}

namespace {

// The signer's subject as text and, when asked, the text of its most specific RDN alone.
int pe_signer(const uint8_t *file, size_t size, ERROR_CTX *ctx, char **out_text, std::string *first_rdn) {
  if (file == nullptr || out_text == nullptr) return fail_with(ctx, v7::kErrInvalidParameter);
  *out_text = nullptr;
  const uint8_t *signature = nullptr;
  size_t signature_len = 0;
  int rc = pe_certificate_table(file, size, ctx, &signature, &signature_len);
  if (rc != 0) return rc;
  // The entry is padded to eight bytes after the ContentInfo; the decoder stops at its end.
  Asn1Owned<ContentInfo> wrapper(&asn1_tmpl_content_info);
  if (!wrapper.decode(ASN1_MODE_DER, signature, signature_len) ||
      oid_to_id(&wrapper->content_type) != OID_PKCS7_SIGNED)
    return signed_data_fail(ctx, "ContentInfo");
  std::vector<uint8_t> plain;
  Asn1Owned<SignedData> sd(&asn1_tmpl_signed_data);
  if (!without_content(wrapper->content.data, wrapper->content.len, &plain) ||
      !sd.decode(ASN1_MODE_DER, plain.data(), plain.size()))
    return signed_data_fail(ctx, "SignedData");
  const auto *signer = static_cast<const SignerInfo *>(sd->signer_infos.element);
  const Certificate *cert =
      signer != nullptr && sd->certificates != nullptr ? cms_find_signer_cert(&signer->sid, sd->certificates) : nullptr;
  if (cert == nullptr) return fail_with(ctx, v7::kErrCmsSignedDataFormat);
  char *text = nullptr;
  if (cert_name_to_text(&cert->tbs.subject, &text) < 0 || text == nullptr) {
    free(text);
    return fail_with(ctx, v7::kErrInvalidCertFormat);
  }
  if (first_rdn != nullptr) {
    const ASN1_LIST *last = cert->tbs.subject.rdn_sequence;
    while (last != nullptr && last->next != nullptr) last = last->next;
    ASN1_LIST alone = {last != nullptr ? last->element : nullptr, nullptr};
    char rdn[256];
    first_rdn->assign(alone.element != nullptr && name_to_text(&alone, ",", rdn, sizeof rdn) > 0 ? rdn : "");
  }
  *out_text = text;
  return with_errno(0, 0);
}

}  // namespace

int pe_signer_dn(const uint8_t *file, size_t size, ERROR_CTX *ctx, char **out_text) {
  return pe_signer(file, size, ctx, out_text, nullptr);
}

int sd_verify_module_file(ERROR_CTX *ctx, const char *path, int check_signer) {
  int rc = verify_file_signature(ctx, path);
  if (rc != 0) return rc;
  uint8_t *bytes = nullptr;
  size_t size = file_read_all(path, &bytes);
  if (size == 0) {
    int code = errno != 0 ? errno : v7::kErrFileRead;
    err_push(ctx, code, path);
    free(bytes);
    return with_errno(code, code);
  }
  if (!check_signer) {
    free(bytes);
    return with_errno(0, 0);
  }
  char *signer = nullptr;
  std::string first_rdn;
  rc = pe_signer(bytes, size, ctx, &signer, &first_rdn);
  free(bytes);
  if (rc != 0) return with_errno(rc, rc);
  // The name must begin with the publisher's, and that beginning must be the whole of the most
  // specific RDN: "cn=quillowsys co., Ltd. and friends" begins with it too, and the text form does
  // not escape the separators a value may hold.
  static const char kPrefix[] = SD_EXPECTED_SIGNER_PREFIX;
  bool matches = std::strncmp(signer, kPrefix, sizeof kPrefix - 1) == 0 && first_rdn == kPrefix;
  free(signer);
  if (!matches) return fail_with(ctx, v7::kErrSignerMismatch);
  return with_errno(0, 0);
}
