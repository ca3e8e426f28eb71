#include "control/cert_relay_ctrl.h"

#include <cstring>

#include "control/control_rules.h"
#include "control/identity.h"
#include "control/relay_imports.h"
#include "control/res/cert_relay_ids.h"
#include "platform/classlib/app.h"
#include "platform/classlib/dialog.h"
#include "platform/locale/system_language.h"

namespace v7 {
namespace control {
namespace {

int32_t g_server_char_encoding = 0;

const ole::DispatchMember kMembers[] = {
    {L"Sender", kDispIdSender, VT_I2, 0, {}},
    {L"Recipient", kDispIdRecipient, VT_I2, 1, {VT_I4}},
    {L"SetLanguage", kDispIdSetLanguage, VT_EMPTY, 1, {VT_I2}},
    {L"SendCert", kDispIdSendCert, VT_I2, 1, {VT_I4}},
    {L"ReceiveCert", kDispIdReceiveCert, VT_I2, 2, {VT_I4, VT_I4}},
    {L"SetTransferMode", kDispIdSetTransferMode, VT_I2, 1, {VT_I4}},
    {L"SetCharEncoding", kDispIdSetCharEncoding, VT_EMPTY, 1, {VT_I4}},
    {L"SetServerCharEncoding", kDispIdSetServerCharEncoding, VT_EMPTY, 1, {VT_I4}},
    {L"SetSecureDiskConfig", kDispIdSetSecureDiskConfig, VT_EMPTY, 2, {VT_BSTR, VT_BSTR}},
    {L"AboutBox", kDispIdAboutBox, VT_EMPTY, 0, {}},
};
const ole::DispatchTable kTable = {kMembers, sizeof kMembers / sizeof kMembers[0]};

const ole::ControlIdentity kIdentity = {
    kControlClassId, kDispatchInterfaceId, kEventInterfaceId, kTypeLibId, kTypeLibMajor, kTypeLibMinor,
    kControlMiscStatus, &kPropertyPageClassId, 1};

// Holds the module's transfer gate for one call; a call that finds it taken is refused.
class GateHold {
 public:
  GateHold() : entered_(module_transfer_gate().TryEnter()) {}
  ~GateHold() {
    if (entered_) module_transfer_gate().Leave();
  }
  GateHold(const GateHold &) = delete;
  GateHold &operator=(const GateHold &) = delete;
  bool Entered() const { return entered_; }

 private:
  bool entered_;
};

}  // namespace

int32_t server_char_encoding() { return g_server_char_encoding; }

CCertRelayActiveXCtrl::CCertRelayActiveXCtrl()
    : COleControl(kIdentity, kTable), transfer_flags_(kInitialTransferFlags), secure_disk_{} {
  // The library exchanges UTF-8 texts with this control; the language stays the system's until
  // the page sets one. A control made while another one's transfer runs leaves the running
  // transfer's encoding alone.
  if (!module_transfer_gate().Busy()) VELMORARELAY_SetCharEncoding(kCharEncodingUtf8);
  g_server_char_encoding = 0;
}

CCertRelayActiveXCtrl::~CCertRelayActiveXCtrl() = default;

// Every member below refuses to act while a transfer runs: the wizard's message loop lets the
// page's script call in again, and a nested call would change the running transfer's
// process-wide words or start a second wizard.

int16_t CCertRelayActiveXCtrl::Sender() { return SendCert(kSenderType); }

int16_t CCertRelayActiveXCtrl::Recipient(int32_t media) { return ReceiveCert(kRecipientType, media); }

void CCertRelayActiveXCtrl::SetLanguage(int16_t language) {
  GateHold gate;
  if (!gate.Entered()) return;
  cr_set_lang_id(library_language(language, platform_system_primary_language()));
}

int16_t CCertRelayActiveXCtrl::SendCert(int32_t type) {
  GateHold gate;
  if (!gate.Entered()) return -1;
  RelayRequestRecord request;
  fill_send_request(&request, secure_disk_);
  return transfer_result(VELMORARELAY_SendCertificate(type, int(transfer_flags_), &request));
}

int16_t CCertRelayActiveXCtrl::ReceiveCert(int32_t type, int32_t media) {
  GateHold gate;
  if (!gate.Entered()) return -1;
  RelayRequestRecord request;
  fill_receive_request(&request, secure_disk_);
  return transfer_result(VELMORARELAY_RecvCertificate(type, int(transfer_flags_), media, &request));
}

int16_t CCertRelayActiveXCtrl::SetTransferMode(int32_t mode) {
  GateHold gate;
  if (!gate.Entered()) return -1;
  return apply_transfer_mode(&transfer_flags_, mode);
}

void CCertRelayActiveXCtrl::SetCharEncoding(int32_t rule) {
  GateHold gate;
  if (!gate.Entered()) return;
  VELMORARELAY_SetCharEncoding(rule);
}

void CCertRelayActiveXCtrl::SetServerCharEncoding(int32_t rule) {
  GateHold gate;
  if (!gate.Entered()) return;
  g_server_char_encoding = rule;
}

void CCertRelayActiveXCtrl::SetSecureDiskConfig(const wchar_t *version, size_t version_length, const wchar_t *address,
                                                size_t address_length) {
  GateHold gate;
  if (!gate.Entered()) return;
  static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide text is UTF-16");
  // Unacceptable texts leave the settings as they were; the page is not told (the member has no
  // result).
  set_secure_disk_config(&secure_disk_, reinterpret_cast<const char16_t *>(version), version_length,
                         reinterpret_cast<const char16_t *>(address), address_length);
}

void CCertRelayActiveXCtrl::AboutBox() {
  GateHold gate;
  if (!gate.Entered()) return;
  classlib::CModuleStateGuard module_state;
  classlib::CDialog about(IDD_ABOUTBOX_CERTRELAY);
  about.DoModal();
}

HRESULT CCertRelayActiveXCtrl::InvokeMember(const ole::DispatchMember &member, const ole::DispatchArgs &args,
                                            VARIANT *result) {
  switch (member.id) {
    case kDispIdSender:
      ole::SetShortResult(result, Sender());
      return S_OK;
    case kDispIdRecipient:
      ole::SetShortResult(result, Recipient(args.Long(0)));
      return S_OK;
    case kDispIdSetLanguage:
      SetLanguage(args.Short(0));
      return S_OK;
    case kDispIdSendCert:
      ole::SetShortResult(result, SendCert(args.Long(0)));
      return S_OK;
    case kDispIdReceiveCert:
      ole::SetShortResult(result, ReceiveCert(args.Long(0), args.Long(1)));
      return S_OK;
    case kDispIdSetTransferMode:
      ole::SetShortResult(result, SetTransferMode(args.Long(0)));
      return S_OK;
    case kDispIdSetCharEncoding:
      SetCharEncoding(args.Long(0));
      return S_OK;
    case kDispIdSetServerCharEncoding:
      SetServerCharEncoding(args.Long(0));
      return S_OK;
    case kDispIdSetSecureDiskConfig:
      SetSecureDiskConfig(args.Text(0), args.TextLength(0), args.Text(1), args.TextLength(1));
      return S_OK;
    case kDispIdAboutBox:
      AboutBox();
      return S_OK;
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

void CCertRelayActiveXCtrl::OnDraw(HDC dc, const RECT &bounds) {
  ::FillRect(dc, &bounds, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
  ::Ellipse(dc, bounds.left, bounds.top, bounds.right, bounds.bottom);
}

}  // namespace control
}  // namespace v7
