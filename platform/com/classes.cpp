#include "com/classes.h"

#include <mutex>
#include <vector>

namespace {

struct Registration {
  DWORD cookie;
  CLSID clsid;
  com::ComPtr<IUnknown> factory;
};

struct Table {
  std::mutex lock;
  std::vector<Registration> entries;  // later registrations last
  DWORD nextCookie = 1;
  com::ClassResolver resolver;
};

Table& TheTable() {
  static Table* table = new Table;  // lives to process exit: modules may unload late
  return *table;
}

}  // namespace

HRESULT CoRegisterClassObject(REFCLSID clsid, IUnknown* factory, DWORD, DWORD, DWORD* cookie) {
  if (!factory || !cookie) return E_INVALIDARG;
  Table& t = TheTable();
  std::lock_guard guard(t.lock);
  *cookie = t.nextCookie++;
  t.entries.push_back({*cookie, clsid, com::ComPtr<IUnknown>(factory)});
  return S_OK;
}

HRESULT CoRevokeClassObject(DWORD cookie) {
  Table& t = TheTable();
  com::ComPtr<IUnknown> released;  // released outside the lock
  {
    std::lock_guard guard(t.lock);
    for (auto it = t.entries.begin(); it != t.entries.end(); ++it) {
      if (it->cookie == cookie) {
        released = std::move(it->factory);
        t.entries.erase(it);
        return S_OK;
      }
    }
  }
  return E_INVALIDARG;
}

HRESULT CoGetClassObject(REFCLSID clsid, DWORD, void*, REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  Table& t = TheTable();
  com::ComPtr<IUnknown> factory;
  com::ClassResolver resolver;
  {
    std::lock_guard guard(t.lock);
    for (auto it = t.entries.rbegin(); it != t.entries.rend(); ++it) {
      if (it->clsid == clsid) {
        factory = it->factory;
        break;
      }
    }
    if (!factory) resolver = t.resolver;
  }
  if (factory) return factory->QueryInterface(riid, object);
  if (resolver) return resolver(clsid, riid, object);
  return REGDB_E_CLASSNOTREG;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  com::ComPtr<IClassFactory> factory;
  const HRESULT hr = CoGetClassObject(clsid, context, nullptr, IClassFactory::iid, factory.put_void());
  if (FAILED(hr)) return hr;
  return factory->CreateInstance(outer, riid, object);
}

namespace com {

HRESULT ClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** object) {
  return create_(outer, riid, object);
}

HRESULT ClassFactory::LockServer(BOOL lock) {
  if (lifetime_) {
    if (lock)
      lifetime_->Lock();
    else
      lifetime_->Unlock();
  }
  return S_OK;
}

ClassResolver SetClassResolver(ClassResolver resolver) {
  Table& t = TheTable();
  std::lock_guard guard(t.lock);
  std::swap(t.resolver, resolver);
  return resolver;
}

void RegisterLibraryClass(REFCLSID clsid, Creator create) {
  auto factory = MakeObject<ClassFactory>(create, nullptr);
  DWORD cookie = 0;
  CoRegisterClassObject(clsid, factory->Identity(), CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie);
}

}  // namespace com
