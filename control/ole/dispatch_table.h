// A dispatch interface served from a table of members rather than from type information: the
// names resolve case-insensitively from the table (so a member the type library leaves out is
// still reachable), and Invoke checks and coerces the arguments before the object sees them.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <cstddef>

namespace v7 {
namespace ole {

enum : int { kMaxDispatchParams = 2 };

struct DispatchMember {
  const wchar_t *name;
  DISPID id;
  VARTYPE result;  // VT_EMPTY for none
  int param_count;
  VARTYPE params[kMaxDispatchParams];
};

struct DispatchTable {
  const DispatchMember *members;
  size_t count;
  const DispatchMember *Find(DISPID id) const;
  const DispatchMember *Find(const wchar_t *name) const;
};

// GetIDsOfNames over the table: the first name is the member, further names (named arguments)
// are not known.
HRESULT TableGetIDsOfNames(const DispatchTable &table, LPOLESTR *names, UINT count, DISPID *ids);

// The arguments of one call, in the member's order, coerced to the member's types.
struct DispatchArgs {
  VARIANT values[kMaxDispatchParams];
  int count = 0;
  DispatchArgs();
  ~DispatchArgs();
  DispatchArgs(const DispatchArgs &) = delete;
  DispatchArgs &operator=(const DispatchArgs &) = delete;
  LONG Long(int index) const { return values[index].lVal; }
  SHORT Short(int index) const { return values[index].iVal; }
  // A BSTR's text and length; a null BSTR is the empty text.
  const wchar_t *Text(int index) const { return values[index].bstrVal != nullptr ? values[index].bstrVal : L""; }
  size_t TextLength(int index) const { return ::SysStringLen(values[index].bstrVal); }
};

// Invoke's checks for a method call of member: a method (scripts may add DISPATCH_PROPERTYGET
// when they want a result), no named argument, the member's count of arguments, each coercible to
// its type. The arguments arrive last first; *args gets them in order. S_OK, or the dispatch
// error with *arg_error naming the bad argument.
HRESULT UnpackMethodCall(const DispatchMember &member, WORD flags, const DISPPARAMS *params, DispatchArgs *args,
                         UINT *arg_error);

// The result of a member into *result (when the caller wants one).
void SetShortResult(VARIANT *result, SHORT value);

}  // namespace ole
}  // namespace v7
