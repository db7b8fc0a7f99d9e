// A component module loaded the way the host loads one: the shared library and its
// four entry points.
#pragma once

#include <memory>
#include <string>

#include "com/ptr.h"

struct ResourceModule;

namespace hostapp {

class LoadedModule {
 public:
  // Loads the library; throws std::runtime_error with the loader's reason on failure.
  explicit LoadedModule(const std::string& path);
  ~LoadedModule();
  LoadedModule(const LoadedModule&) = delete;
  LoadedModule& operator=(const LoadedModule&) = delete;

  HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** object) const;
  HRESULT CanUnloadNow() const;
  HRESULT RegisterServer() const;
  HRESULT UnregisterServer() const;
  const std::string& path() const { return path_; }
  // The module's resources (its resource section), or null.
  const ResourceModule* Resources() const;

  // Creates an object of the module's class through its class factory.
  template <class T>
  com::ComPtr<T> Create(REFCLSID clsid, HRESULT* result = nullptr) const {
    com::ComPtr<T> out;
    com::ComPtr<IClassFactory> factory;
    HRESULT hr = GetClassObject(clsid, IClassFactory::iid, factory.put_void());
    if (SUCCEEDED(hr)) hr = factory->CreateInstance(nullptr, uuidof<T>(), out.put_void());
    if (result) *result = hr;
    return out;
  }

 private:
  using GetClassObjectFn = HRESULT (*)(REFCLSID, REFIID, void**);
  using NoArgFn = HRESULT (*)();
  std::string path_;
  void* handle_ = nullptr;
  GetClassObjectFn getClassObject_ = nullptr;
  NoArgFn canUnloadNow_ = nullptr;
  NoArgFn registerServer_ = nullptr;
  NoArgFn unregisterServer_ = nullptr;
};

// Runs a call into the module as the host does: a host-call error raised inside the
// module's operation is caught here and becomes the operation's status; any other error
// becomes E_FAIL, so that the host never ends inside a module's call.
template <class F>
HRESULT CallModule(F&& call, std::string* error = nullptr) {
  try {
    return call();
  } catch (const com::HostCallError& e) {
    if (error) *error = e.what();
    return e.code();
  } catch (const std::exception& e) {
    if (error) *error = e.what();
    return E_FAIL;
  } catch (...) {
    if (error) *error = "an error the host does not know";
    return E_FAIL;
  }
}

}  // namespace hostapp
