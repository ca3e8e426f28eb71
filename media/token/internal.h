// Helpers shared by the PKCS#11 binding's files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "media/token/p11.h"
#include "platform/errors/errno_util.h"

namespace v7 {
namespace p11 {

inline int fail(int code) { return with_errno(code, code); }
inline int done() { return with_errno(0, 0); }
// A failed PKCS#11 call's code. Vendor-defined values (0x80000000 and up) do not fit beside the
// offset and read as CKR_FUNCTION_FAILED.
inline int token_value(CK_RV rv) {
  return kP11CodeOffset + int(rv != CKR_OK && rv < 0x100000 ? rv : CKR_FUNCTION_FAILED);
}
inline int token_code(CK_RV rv) { return fail(token_value(rv)); }

// One object matching the template: 0 with *object, kErrNoObject when none, or a code. The
// search is always closed.
int find_one(P11_MODULE *module, CK_ATTRIBUTE *tmpl, CK_ULONG count, CK_OBJECT_HANDLE *object);
// One attribute into a new buffer of at most capacity bytes: a reported length past capacity, or
// the unavailable-information mark, is refused (kErrP11BadAnswer).
int read_attribute(P11_MODULE *module, CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type, size_t capacity,
                   uint8_t **out, size_t *out_len);
// "R4VID=" and the lowercase hex of the id, no terminator: the VID data object's label. False for
// an empty id or one past P11_MAX_ID.
bool vid_label(const uint8_t *id, size_t id_len, std::string *out);
// A malloc'd copy (one byte at least); null when memory runs out.
uint8_t *copy_out(const uint8_t *data, size_t length);

}  // namespace p11
}  // namespace v7
