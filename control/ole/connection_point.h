// The control's one connection point, for its event interface: a container connects its sink
// as it does with any control, and the control keeps the sinks until they disconnect. The
// control fires no events, so the sinks are never called.
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <vector>

namespace v7 {
namespace ole {

class CEventConnectionPoint : public IConnectionPoint {
 public:
  // owner: the container whose count this object shares (it lives inside the control).
  CEventConnectionPoint(IConnectionPointContainer *owner, const GUID &event_iid)
      : owner_(owner), event_iid_(event_iid) {}
  ~CEventConnectionPoint();
  CEventConnectionPoint(const CEventConnectionPoint &) = delete;
  CEventConnectionPoint &operator=(const CEventConnectionPoint &) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return owner_->AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return owner_->Release(); }
  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID *iid) override;
  HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer **container) override;
  HRESULT STDMETHODCALLTYPE Advise(IUnknown *sink, DWORD *cookie) override;
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;
  // Not offered: nothing is ever sent to the connections.
  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections **connections) override;

  const GUID &EventId() const { return event_iid_; }

 private:
  struct Connection {
    DWORD cookie;
    IUnknown *sink;
  };
  IConnectionPointContainer *owner_;
  GUID event_iid_;
  std::vector<Connection> connections_;
  DWORD next_cookie_ = 1;
};

}  // namespace ole
}  // namespace v7
