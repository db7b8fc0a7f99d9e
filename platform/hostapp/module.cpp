#include "hostapp/module.h"

#include <dlfcn.h>

#include <stdexcept>

namespace hostapp {

LoadedModule::LoadedModule(const std::string& path) : path_(path) {
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) throw std::runtime_error(std::string("cannot load module: ") + dlerror());
  getClassObject_ = reinterpret_cast<GetClassObjectFn>(dlsym(handle_, "DllGetClassObject"));
  canUnloadNow_ = reinterpret_cast<NoArgFn>(dlsym(handle_, "DllCanUnloadNow"));
  registerServer_ = reinterpret_cast<NoArgFn>(dlsym(handle_, "DllRegisterServer"));
  unregisterServer_ = reinterpret_cast<NoArgFn>(dlsym(handle_, "DllUnregisterServer"));
  if (!getClassObject_ || !canUnloadNow_) {
    dlclose(handle_);
    throw std::runtime_error(path + " is not a component module (no DllGetClassObject/DllCanUnloadNow)");
  }
}

LoadedModule::~LoadedModule() {
  // The module stays mapped while it says it cannot unload (objects may outlive the host).
  if (canUnloadNow_ && canUnloadNow_() == S_OK) dlclose(handle_);
}

HRESULT LoadedModule::GetClassObject(REFCLSID clsid, REFIID riid, void** object) const {
  return getClassObject_(clsid, riid, object);
}
const ResourceModule* LoadedModule::Resources() const {
  auto* slot = static_cast<const ResourceModule* const*>(dlsym(handle_, "ModuleResources"));
  return slot ? *slot : nullptr;
}

HRESULT LoadedModule::CanUnloadNow() const { return canUnloadNow_(); }
HRESULT LoadedModule::RegisterServer() const { return registerServer_ ? registerServer_() : E_NOTIMPL; }
HRESULT LoadedModule::UnregisterServer() const { return unregisterServer_ ? unregisterServer_() : E_NOTIMPL; }

}  // namespace hostapp
