// What names the control to COM, the registry and pages: class, interface and library ids,
// ProgIDs and member ids. The type library (cert_relay.idl) states the same values; a test reads
// it back and compares.
#pragma once

#include <windows.h>

namespace v7 {
namespace control {

// {6BBE0AE9-7A8E-4732-A2EC-0F0DCA9D167C}, version 1.0
constexpr GUID kTypeLibId = {0x6BBE0AE9, 0x7A8E, 0x4732, {0xA2, 0xEC, 0x0F, 0x0D, 0xCA, 0x9D, 0x16, 0x7C}};
constexpr WORD kTypeLibMajor = 1, kTypeLibMinor = 0;
// {648BFFBF-DB89-4088-92EE-CD1E4C88F95F}
constexpr GUID kControlClassId = {0x648BFFBF, 0xDB89, 0x4088, {0x92, 0xEE, 0xCD, 0x1E, 0x4C, 0x88, 0xF9, 0x5F}};
// {29471C0E-361F-46C7-8E5B-541B23F04ABE}
constexpr GUID kDispatchInterfaceId = {0x29471C0E, 0x361F, 0x46C7, {0x8E, 0x5B, 0x54, 0x1B, 0x23, 0xF0, 0x4A, 0xBE}};
// {CFB347CF-01B3-4FA8-9A22-2AD342C23CD8}: no event is ever fired.
constexpr GUID kEventInterfaceId = {0xCFB347CF, 0x01B3, 0x4FA8, {0x9A, 0x22, 0x2A, 0xD3, 0x42, 0xC2, 0x3C, 0xD8}};
// {167FAC1B-1DFA-44CA-B8C8-6DCC501CAD4E}
constexpr GUID kPropertyPageClassId = {0x167FAC1B, 0x1DFA, 0x44CA, {0xB8, 0xC8, 0x6D, 0xCC, 0x50, 0x1C, 0xAD, 0x4E}};

constexpr wchar_t kControlProgId[] = L"CERTRELAYACTIVEX.CertRelayActiveXCtrl.1";
constexpr wchar_t kPropertyPageProgId[] = L"CERTRELAYACTIVEX.CertRelayActiveXPropPage.1";

// OLEMISC_ACTIVATEWHENVISIBLE | SETCLIENTSITEFIRST | INSIDEOUT | CANTLINKINSIDE | RECOMPOSEONRESIZE
constexpr DWORD kControlMiscStatus = 0x20191;

// The dispatch interface's member ids.
enum : DISPID {
  kDispIdSender = 2,
  kDispIdRecipient = 3,
  kDispIdSetLanguage = 4,
  kDispIdSendCert = 5,
  kDispIdReceiveCert = 6,
  kDispIdSetTransferMode = 7,
  kDispIdSetCharEncoding = 8,
  kDispIdSetServerCharEncoding = 9,
  kDispIdSetSecureDiskConfig = 10,  // served, not in the type library
  kDispIdAboutBox = -552,           // DISPID_ABOUTBOX
};

}  // namespace control
}  // namespace v7
