// A stand-in for the relay library with the four exports the browser control imports by ordinal.
// It runs no wizard: every call appends one line to the log file named by V7_RELAY_STUB_LOG
// (arguments, and the request record as its runs of nonzero bytes, "offset:hex"), and the
// transfer calls return the next value of V7_RELAY_STUB_RESULTS (a comma list; 0 when it runs
// out). A value written "R<n>" first calls the control again, as a page's script would while the
// wizard's message loop runs, logs what each nested call returned, then returns n.
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "wizard/records/request_record.h"

namespace {

std::string Environment(const char *name) {
  char value[4096];
  const DWORD length = ::GetEnvironmentVariableA(name, value, sizeof value);
  return length > 0 && length < sizeof value ? std::string(value, length) : std::string();
}

void Log(const std::string &line) {
  const std::string path = Environment("V7_RELAY_STUB_LOG");
  if (path.empty()) return;
  FILE *file = std::fopen(path.c_str(), "ab");
  if (file == nullptr) return;
  std::fprintf(file, "%s\n", line.c_str());
  std::fclose(file);
}

std::string RecordText(const RelayRequestRecord *record) {
  if (record == nullptr) return "null";
  const auto *bytes = reinterpret_cast<const unsigned char *>(record);
  std::string text;
  char part[16];
  for (size_t at = 0; at < sizeof *record;) {
    if (bytes[at] == 0) {
      ++at;
      continue;
    }
    std::snprintf(part, sizeof part, "%s%u:", text.empty() ? "" : " ", unsigned(at));
    text += part;
    for (; at < sizeof *record && bytes[at] != 0; ++at) {
      std::snprintf(part, sizeof part, "%02X", bytes[at]);
      text += part;
    }
  }
  return text.empty() ? "zero" : text;
}

// The next programmed result; "R" in front asks for the nested calls first.
int NextResult(bool *reenter) {
  static size_t position = 0;
  const std::string results = Environment("V7_RELAY_STUB_RESULTS");
  *reenter = false;
  if (position >= results.size()) return 0;
  size_t end = results.find(',', position);
  if (end == std::string::npos) end = results.size();
  std::string item = results.substr(position, end - position);
  position = end + 1;
  if (!item.empty() && item[0] == 'R') {
    *reenter = true;
    item.erase(0, 1);
  }
  return std::atoi(item.c_str());
}

// One call of a member through IDispatch with integer arguments; its result as text.
std::string CallMember(IDispatch *control, const wchar_t *name, int count, const LONG *values) {
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[1] = {const_cast<LPOLESTR>(name)};
  if (FAILED(control->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) return "unknown";
  VARIANT args[2];
  for (int i = 0; i < count; ++i) {
    ::VariantInit(&args[i]);
    args[i].vt = VT_I4;
    args[i].lVal = values[count - 1 - i];
  }
  DISPPARAMS params = {args, nullptr, UINT(count), 0};
  VARIANT result;
  ::VariantInit(&result);
  const HRESULT hr =
      control->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
  if (FAILED(hr)) return "failed";
  if (result.vt == VT_EMPTY) return "none";
  if (result.vt == VT_I2) return std::to_string(result.iVal);
  return "vt" + std::to_string(result.vt);
}

// What a page's script could do while the wizard runs: a control of its own calls every member.
void Reenter() {
  CLSID clsid;
  IDispatch *control = nullptr;
  if (FAILED(::CLSIDFromProgID(L"CERTRELAYACTIVEX.CertRelayActiveXCtrl.1", &clsid)) ||
      FAILED(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                reinterpret_cast<void **>(&control)))) {
    Log("reenter no-control");
    return;
  }
  const LONG two[2] = {3, 8};
  const LONG http[1] = {2};
  std::string line = "reenter";
  line += " Sender=" + CallMember(control, L"Sender", 0, nullptr);
  line += " Recipient=" + CallMember(control, L"Recipient", 1, &two[1]);
  line += " SendCert=" + CallMember(control, L"SendCert", 1, two);
  line += " ReceiveCert=" + CallMember(control, L"ReceiveCert", 2, two);
  line += " SetTransferMode=" + CallMember(control, L"SetTransferMode", 1, http);
  line += " SetLanguage=" + CallMember(control, L"SetLanguage", 1, http);
  line += " SetCharEncoding=" + CallMember(control, L"SetCharEncoding", 1, http);
  line += " AboutBox=" + CallMember(control, L"AboutBox", 0, nullptr);
  control->Release();
  Log(line);
}

int TransferResult() {
  bool reenter = false;
  const int result = NextResult(&reenter);
  if (reenter) Reenter();
  return result;
}

}  // namespace

extern "C" {

int WINAPI cr_set_lang_id(int language) {
  Log("cr_set_lang_id " + std::to_string(language));
  return language;
}

int WINAPI VELMORARELAY_RecvCertificate(int type, int flags, int media, RelayRequestRecord *request) {
  Log("RecvCertificate type=" + std::to_string(type) + " flags=" + std::to_string(flags) +
      " media=" + std::to_string(media) + " record=" + RecordText(request));
  return TransferResult();
}

int WINAPI VELMORARELAY_SendCertificate(int type, int flags, RelayRequestRecord *request) {
  Log("SendCertificate type=" + std::to_string(type) + " flags=" + std::to_string(flags) +
      " record=" + RecordText(request));
  return TransferResult();
}

int WINAPI VELMORARELAY_SetCharEncoding(int encoding) {
  Log("SetCharEncoding " + std::to_string(encoding));
  return encoding;
}

}  // extern "C"
