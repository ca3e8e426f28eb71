#include "control/ole/connection_point.h"

#include <new>

namespace v7 {
namespace ole {

CEventConnectionPoint::~CEventConnectionPoint() {
  for (Connection &c : connections_) c.sink->Release();
}

HRESULT STDMETHODCALLTYPE CEventConnectionPoint::QueryInterface(REFIID iid, void **out) {
  if (out == nullptr) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IConnectionPoint)) {
    *out = static_cast<IConnectionPoint *>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE CEventConnectionPoint::GetConnectionInterface(IID *iid) {
  if (iid == nullptr) return E_POINTER;
  *iid = event_iid_;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CEventConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer **container) {
  if (container == nullptr) return E_POINTER;
  *container = owner_;
  owner_->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CEventConnectionPoint::Advise(IUnknown *sink, DWORD *cookie) {
  if (cookie == nullptr) return E_POINTER;
  *cookie = 0;
  if (sink == nullptr) return E_POINTER;
  // A sink must speak the event interface, or plain IDispatch as script engines' sinks do.
  IUnknown *events = nullptr;
  if (FAILED(sink->QueryInterface(event_iid_, reinterpret_cast<void **>(&events))) &&
      FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void **>(&events)))) {
    return CONNECT_E_CANNOTCONNECT;
  }
  try {
    connections_.push_back({next_cookie_, events});
  } catch (const std::bad_alloc &) {
    events->Release();
    return E_OUTOFMEMORY;
  }
  *cookie = next_cookie_++;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CEventConnectionPoint::Unadvise(DWORD cookie) {
  for (auto it = connections_.begin(); it != connections_.end(); ++it) {
    if (it->cookie == cookie) {
      IUnknown *sink = it->sink;
      connections_.erase(it);
      sink->Release();
      return S_OK;
    }
  }
  return CONNECT_E_NOCONNECTION;
}

HRESULT STDMETHODCALLTYPE CEventConnectionPoint::EnumConnections(IEnumConnections **connections) {
  if (connections != nullptr) *connections = nullptr;
  return E_NOTIMPL;
}

}  // namespace ole
}  // namespace v7
