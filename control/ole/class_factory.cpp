#include "control/ole/class_factory.h"

#include <atomic>

namespace v7 {
namespace ole {
namespace {

std::atomic<LONG> g_module_count{0};
// The factories are static objects of the module: built before DllMain, on one thread.
COleObjectFactory *g_factories = nullptr;

}  // namespace

void ModuleAddRef() { ++g_module_count; }
void ModuleRelease() { --g_module_count; }
LONG ModuleLockCount() { return g_module_count.load(); }

COleObjectFactory::COleObjectFactory(const GUID &clsid, const wchar_t *progid)
    : clsid_(clsid), progid_(progid), next_(g_factories) {
  g_factories = this;
}

COleObjectFactory::~COleObjectFactory() {
  for (COleObjectFactory **at = &g_factories; *at != nullptr; at = &(*at)->next_) {
    if (*at == this) {
      *at = next_;
      break;
    }
  }
}

HRESULT STDMETHODCALLTYPE COleObjectFactory::QueryInterface(REFIID iid, void **out) {
  if (out == nullptr) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
    *out = static_cast<IClassFactory *>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE COleObjectFactory::AddRef() {
  ModuleAddRef();
  return 2;
}

ULONG STDMETHODCALLTYPE COleObjectFactory::Release() {
  ModuleRelease();
  return 1;
}

HRESULT STDMETHODCALLTYPE COleObjectFactory::CreateInstance(IUnknown *outer, REFIID iid, void **out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  IUnknown *object = CreateObject();
  if (object == nullptr) return E_OUTOFMEMORY;
  const HRESULT hr = object->QueryInterface(iid, out);
  object->Release();
  return hr;
}

HRESULT STDMETHODCALLTYPE COleObjectFactory::LockServer(BOOL lock) {
  if (lock) {
    ModuleAddRef();
  } else {
    ModuleRelease();
  }
  return S_OK;
}

COleObjectFactory *COleObjectFactory::Find(REFCLSID clsid) {
  for (COleObjectFactory *f = g_factories; f != nullptr; f = f->next_) {
    if (IsEqualCLSID(f->clsid_, clsid)) return f;
  }
  return nullptr;
}

HRESULT COleObjectFactory::UpdateRegistryAll(bool register_class) {
  for (COleObjectFactory *f = g_factories; f != nullptr; f = f->next_) {
    const HRESULT hr = f->UpdateRegistry(register_class);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void **out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  COleObjectFactory *factory = COleObjectFactory::Find(clsid);
  if (factory == nullptr) return CLASS_E_CLASSNOTAVAILABLE;
  return factory->QueryInterface(iid, out);
}

HRESULT CanUnloadNow() { return ModuleLockCount() == 0 ? S_OK : S_FALSE; }

}  // namespace ole
}  // namespace v7
