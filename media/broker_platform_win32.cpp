// The real broker: an elevated out-of-process COM server reached through the elevation moniker.
// Its interface is dispatch-style; the client uses only the methods at table slots 7, 11 and 13,
// and passes every sealed blob as a byte string (SysAllocStringByteLen).
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "media/broker_client.h"

namespace {

const CLSID kBrokerClass = {0x68C59A4E, 0xC36D, 0x40B6, {0xA5, 0x1A, 0x43, 0x17, 0x46, 0x71, 0x5D, 0xD4}};
const IID kBrokerInterface = {0xBAF95F76, 0x9B48, 0x416D, {0xB9, 0x86, 0x61, 0xEF, 0xC8, 0x5A, 0xC8, 0x7D}};

// The broker's table as far as the client calls it: slots 0 to 6 are IDispatch's; 8 to 10 and 12
// are not used here but keep their places.
struct IVelmoraBroker : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE MakeDir(BSTR sealed_path) = 0;  // 7
  virtual HRESULT STDMETHODCALLTYPE Unused8() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused9() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused10() = 0;
  virtual HRESULT STDMETHODCALLTYPE WriteFile(BSTR sealed_path, BSTR sealed_data, ULONG data_len,
                                              HWND window) = 0;  // 11
  virtual HRESULT STDMETHODCALLTYPE Unused12() = 0;
  virtual HRESULT STDMETHODCALLTYPE BrowseFile(BSTR *chosen, BSTR sealed_folder, HWND window) = 0;  // 13
};

// A byte string of a sealed blob, freed on every way out.
struct ByteString {
  BSTR s;
  ByteString(const uint8_t *bytes, size_t len)
      : s(len <= 0x7FFFFFFF ? SysAllocStringByteLen(reinterpret_cast<LPCSTR>(bytes), UINT(len)) : nullptr) {}
  ~ByteString() { SysFreeString(s); }
};

class ComBroker final : public BrokerConnection {
 public:
  explicit ComBroker(IVelmoraBroker *p) : p_(p) {}
  int32_t make_dir(const uint8_t *sealed_path, size_t path_len) override {
    ByteString path(sealed_path, path_len);
    return path.s == nullptr ? E_OUTOFMEMORY : p_->MakeDir(path.s);
  }
  int32_t write_file(const uint8_t *sealed_path, size_t path_len, const uint8_t *sealed_data, size_t data_len,
                     void *window) override {
    ByteString path(sealed_path, path_len), data(sealed_data, data_len);
    if (path.s == nullptr || data.s == nullptr) return E_OUTOFMEMORY;
    return p_->WriteFile(path.s, data.s, ULONG(data_len), static_cast<HWND>(window));
  }
  int32_t browse_file(char16_t **chosen, const uint8_t *sealed_folder, size_t folder_len,
                      void *window) override {
    *chosen = nullptr;
    ByteString folder(sealed_folder, folder_len);
    if (folder.s == nullptr) return E_OUTOFMEMORY;
    BSTR out = nullptr;
    HRESULT hr = p_->BrowseFile(&out, folder.s, static_cast<HWND>(window));
    if (out != nullptr) {
      size_t n = SysStringLen(out);
      *chosen = static_cast<char16_t *>(std::malloc((n + 1) * sizeof(char16_t)));
      if (*chosen == nullptr)
        hr = E_OUTOFMEMORY;
      else {
        memcpy(*chosen, out, n * sizeof(char16_t));
        (*chosen)[n] = 0;
      }
      SysFreeString(out);
    }
    return hr;
  }
  void release() override {
    p_->Release();
    delete this;
  }

 private:
  IVelmoraBroker *p_;
};

}  // namespace

int32_t broker_platform_factory(void *owner_window, BrokerConnection **out, uint32_t *last_error) {
  *out = nullptr;
  wchar_t clsid[40], moniker[80];
  StringFromGUID2(kBrokerClass, clsid, 40);
  swprintf(moniker, 80, L"Elevation:Administrator!new:%ls", clsid);
  BIND_OPTS3 opts;
  memset(&opts, 0, sizeof(opts));
  opts.cbStruct = sizeof(opts);  // 36 bytes in the 32-bit library
  opts.dwClassContext = CLSCTX_LOCAL_SERVER;
  opts.hwnd = static_cast<HWND>(owner_window);
  void *p = nullptr;
  HRESULT hr = CoGetObject(moniker, &opts, kBrokerInterface, &p);
  *last_error = GetLastError();
  if (FAILED(hr) || p == nullptr) return FAILED(hr) ? hr : E_NOINTERFACE;
  *out = new ComBroker(static_cast<IVelmoraBroker *>(p));
  return hr;
}

void *broker_active_window() { return GetActiveWindow(); }
