// The objects of one holder's set on a token, found so that a new set can replace them only once
// it is written whole.
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "media/token/internal.h"

using namespace v7::p11;

namespace {

// Every object that matches the template, appended; the search is always closed.
int find_all(P11_MODULE *m, CK_ATTRIBUTE *tmpl, CK_ULONG count, std::vector<CK_OBJECT_HANDLE> *out) {
  CK_RV rv = m->functions->C_FindObjectsInit(m->session, tmpl, count);
  if (rv != CKR_OK) return token_code(rv);
  int code = 0;
  for (;;) {
    CK_OBJECT_HANDLE found[16];
    CK_ULONG n = 0;
    rv = m->functions->C_FindObjects(m->session, found, 16, &n);
    if (rv != CKR_OK) code = token_value(rv);
    else if (n > 16 || out->size() + n > P11_MAX_HOLDER_OBJECTS) code = v7::kErrP11BadAnswer;
    if (code != 0 || n == 0) break;
    out->insert(out->end(), found, found + n);
  }
  m->functions->C_FindObjectsFinal(m->session);
  return code == 0 ? done() : fail(code);
}

}  // namespace

int p11_find_holder_objects(P11_MODULE *m, const char *pin, const uint8_t *subject, size_t subject_len,
                            CK_OBJECT_HANDLE **handles, size_t *count) {
  if (m == nullptr || subject == nullptr || subject_len == 0 || handles == nullptr || count == nullptr)
    return fail(v7::kErrInvalidParameter);
  *handles = nullptr;
  *count = 0;
  if (m->functions == nullptr) return fail(v7::kErrP11NoFunctionList);
  int code = p11_login(pin, m);
  if (code != 0) return code;
  std::vector<CK_OBJECT_HANDLE> found;
  CK_ATTRIBUTE by_subject{CKA_SUBJECT, const_cast<uint8_t *>(subject), CK_ULONG(subject_len)};
  if ((code = find_all(m, &by_subject, 1, &found)) != 0) return code;
  // The VID objects carry no subject: they are named after their signing key's id.
  const size_t with_subject = found.size();
  for (size_t i = 0; i < with_subject; ++i) {
    CK_OBJECT_CLASS cls = ~CK_OBJECT_CLASS(0);
    CK_ATTRIBUTE a{CKA_CLASS, &cls, sizeof(cls)};
    if (m->functions->C_GetAttributeValue(m->session, found[i], &a, 1) != CKR_OK || cls != CKO_PRIVATE_KEY)
      continue;
    uint8_t *id = nullptr;
    size_t id_len = 0;
    std::string label;
    if (read_attribute(m, found[i], CKA_ID, P11_MAX_ID, &id, &id_len) == 0 && vid_label(id, id_len, &label)) {
      CK_OBJECT_CLASS data = CKO_DATA;
      CK_ATTRIBUTE tmpl[] = {{CKA_CLASS, &data, sizeof(data)}, {CKA_LABEL, &label[0], CK_ULONG(label.size())}};
      code = find_all(m, tmpl, 2, &found);
    }
    free(id);
    if (code != 0) return code;
  }
  if (!found.empty()) {
    *handles = static_cast<CK_OBJECT_HANDLE *>(malloc(found.size() * sizeof(CK_OBJECT_HANDLE)));
    if (*handles == nullptr) return fail(v7::kErrOutOfMemory);
    std::copy(found.begin(), found.end(), *handles);
    *count = found.size();
  }
  return done();
}

int p11_destroy_objects(P11_MODULE *m, const CK_OBJECT_HANDLE *handles, size_t count) {
  if (m == nullptr || (handles == nullptr && count != 0)) return fail(v7::kErrInvalidParameter);
  if (m->functions == nullptr) return fail(v7::kErrP11NoFunctionList);
  CK_RV first = CKR_OK;
  for (size_t i = 0; i < count; ++i) {
    CK_RV rv = m->functions->C_DestroyObject(m->session, handles[i]);
    // One that is gone already is what was asked for.
    if (rv != CKR_OK && rv != CKR_OBJECT_HANDLE_INVALID && first == CKR_OK) first = rv;
  }
  return first == CKR_OK ? done() : token_code(first);
}
