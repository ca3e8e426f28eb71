// The names under HKEY_CLASSES_ROOT that the stand-in control's registration writes, shared with
// the uninstaller's tests, which look for them by the same names.
#pragma once

#include <string>
#include <vector>

namespace stubcontrol {

inline constexpr wchar_t kClass[] = L"{648BFFBF-DB89-4088-92EE-CD1E4C88F95F}";
inline constexpr wchar_t kPage[] = L"{167FAC1B-1DFA-44CA-B8C8-6DCC501CAD4E}";
inline constexpr wchar_t kTypeLib[] = L"{6BBE0AE9-7A8E-4732-A2EC-0F0DCA9D167C}";
inline constexpr wchar_t kDispatch[] = L"{29471C0E-361F-46C7-8E5B-541B23F04ABE}";
inline constexpr wchar_t kEvents[] = L"{CFB347CF-01B3-4FA8-9A22-2AD342C23CD8}";
inline constexpr wchar_t kScripting[] = L"{7DD95801-9882-11CF-9FA9-00AA006C42C4}";
inline constexpr wchar_t kInitialising[] = L"{7DD95802-9882-11CF-9FA9-00AA006C42C4}";
inline constexpr wchar_t kControlProgId[] = L"CERTRELAYACTIVEX.CertRelayActiveXCtrl.1";
inline constexpr wchar_t kPageProgId[] = L"CERTRELAYACTIVEX.CertRelayActiveXPropPage.1";

inline std::wstring ClassKey(const wchar_t *clsid) { return std::wstring(L"CLSID\\") + clsid; }
inline std::wstring CategoryKey(const wchar_t *catid) {
  return std::wstring(L"Component Categories\\") + catid;
}

// The keys the control's unregistration removes, each with all below it. Its component
// categories are not among them: other controls register the same ones.
inline std::vector<std::wstring> UnregisteredKeys() {
  return {ClassKey(kClass),
          ClassKey(kPage),
          kControlProgId,
          kPageProgId,
          std::wstring(L"TypeLib\\") + kTypeLib,
          std::wstring(L"Interface\\") + kDispatch,
          std::wstring(L"Interface\\") + kEvents};
}

}  // namespace stubcontrol
