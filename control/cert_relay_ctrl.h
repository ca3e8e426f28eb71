// The scriptable control a page creates: its methods fill a fresh request record and run the
// relay library's wizard inside the call.
#pragma once

#include <windows.h>

#include <cstdint>

#include "control/ole/ole_control.h"
#include "wizard/records/request_record.h"

namespace v7 {
namespace control {

class CCertRelayActiveXCtrl : public ole::COleControl {
 public:
  CCertRelayActiveXCtrl();
  ~CCertRelayActiveXCtrl() override;

  // The members, as a page calls them.
  int16_t Sender();
  int16_t Recipient(int32_t media);
  void SetLanguage(int16_t language);
  int16_t SendCert(int32_t type);
  int16_t ReceiveCert(int32_t type, int32_t media);
  int16_t SetTransferMode(int32_t mode);
  void SetCharEncoding(int32_t rule);
  void SetServerCharEncoding(int32_t rule);
  void SetSecureDiskConfig(const wchar_t *version, size_t version_length, const wchar_t *address,
                           size_t address_length);
  void AboutBox();

  uint32_t TransferFlags() const { return transfer_flags_; }

 protected:
  HRESULT InvokeMember(const ole::DispatchMember &member, const ole::DispatchArgs &args, VARIANT *result) override;
  void OnDraw(HDC dc, const RECT &bounds) override;

 private:
  // ControlTransferFlags, then SecureDiskConfig, as the record's readers expect them.
  uint32_t transfer_flags_;
  SecureDiskConfig secure_disk_;
};

// The server character encoding a page sets; nothing reads it.
int32_t server_char_encoding();

}  // namespace control
}  // namespace v7
