// Class factories of an in-process server: static objects, one per creatable class, found by
// DllGetClassObject; the module counts live objects and server locks so that DllCanUnloadNow
// answers honestly while a page still holds anything of ours.
#pragma once

#include <windows.h>
#include <unknwn.h>

namespace v7 {
namespace ole {

// Objects and locks that keep the module loaded.
void ModuleAddRef();
void ModuleRelease();
LONG ModuleLockCount();

class COleObjectFactory : public IClassFactory {
 public:
  // progid: the class's ProgID; the factory joins the module's list at construction.
  COleObjectFactory(const GUID &clsid, const wchar_t *progid);
  virtual ~COleObjectFactory();
  COleObjectFactory(const COleObjectFactory &) = delete;
  COleObjectFactory &operator=(const COleObjectFactory &) = delete;

  // IUnknown: the factory is static, so its count only tracks the module's lock.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // IClassFactory
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown *outer, REFIID iid, void **out) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

  // Writes or removes the class's registration; S_OK or an error.
  virtual HRESULT UpdateRegistry(bool register_class) = 0;

  const GUID &ClassId() const { return clsid_; }
  const wchar_t *ProgId() const { return progid_; }

  // The factory of clsid, or null.
  static COleObjectFactory *Find(REFCLSID clsid);
  // Every factory's UpdateRegistry; the first failure stops and is returned.
  static HRESULT UpdateRegistryAll(bool register_class);

 protected:
  // A new object with a count of one, or null when memory ran out.
  virtual IUnknown *CreateObject() = 0;

 private:
  GUID clsid_;
  const wchar_t *progid_;
  COleObjectFactory *next_;
};

// DllGetClassObject and DllCanUnloadNow over the factories.
HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void **out);
HRESULT CanUnloadNow();

}  // namespace ole
}  // namespace v7
