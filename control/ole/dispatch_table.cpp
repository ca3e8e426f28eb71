#include "control/ole/dispatch_table.h"

#include <cwchar>

namespace v7 {
namespace ole {

const DispatchMember *DispatchTable::Find(DISPID id) const {
  for (size_t i = 0; i < count; ++i) {
    if (members[i].id == id) return &members[i];
  }
  return nullptr;
}

const DispatchMember *DispatchTable::Find(const wchar_t *name) const {
  if (name == nullptr) return nullptr;
  for (size_t i = 0; i < count; ++i) {
    if (::CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, members[i].name, -1, name, -1) == CSTR_EQUAL) {
      return &members[i];
    }
  }
  return nullptr;
}

HRESULT TableGetIDsOfNames(const DispatchTable &table, LPOLESTR *names, UINT count, DISPID *ids) {
  if (names == nullptr || ids == nullptr || count == 0) return E_INVALIDARG;
  const DispatchMember *member = table.Find(names[0]);
  ids[0] = member != nullptr ? member->id : DISPID_UNKNOWN;
  bool unknown = member == nullptr;
  for (UINT i = 1; i < count; ++i) {
    ids[i] = DISPID_UNKNOWN;
    unknown = true;
  }
  return unknown ? DISP_E_UNKNOWNNAME : S_OK;
}

DispatchArgs::DispatchArgs() {
  for (VARIANT &value : values) ::VariantInit(&value);
}

DispatchArgs::~DispatchArgs() {
  for (VARIANT &value : values) ::VariantClear(&value);
}

HRESULT UnpackMethodCall(const DispatchMember &member, WORD flags, const DISPPARAMS *params, DispatchArgs *args,
                         UINT *arg_error) {
  if ((flags & DISPATCH_METHOD) == 0) return DISP_E_MEMBERNOTFOUND;
  if (params == nullptr) return E_INVALIDARG;
  if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
  if (params->cArgs != UINT(member.param_count)) return DISP_E_BADPARAMCOUNT;
  if (member.param_count > 0 && params->rgvarg == nullptr) return E_INVALIDARG;
  for (int i = 0; i < member.param_count; ++i) {
    // rgvarg holds the last argument first; a reference is read through.
    VARIANTARG *given = &params->rgvarg[member.param_count - 1 - i];
    if (FAILED(::VariantChangeType(&args->values[i], given, 0, member.params[i]))) {
      if (arg_error != nullptr) *arg_error = UINT(member.param_count - 1 - i);
      return DISP_E_TYPEMISMATCH;
    }
    args->count = i + 1;
  }
  return S_OK;
}

void SetShortResult(VARIANT *result, SHORT value) {
  if (result == nullptr) return;
  ::VariantInit(result);
  result->vt = VT_I2;
  result->iVal = value;
}

}  // namespace ole
}  // namespace v7
