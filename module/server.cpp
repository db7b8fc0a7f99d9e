// The module's entry points: class factories by class id, whether the module can be
// unloaded, and its registration.
#include <dlfcn.h>

#include <climits>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "com/boundary.h"
#include "host/command.h"
#include "host/moduleglobals.h"
#include "module/classtable.h"
#include "module/typelibinfo.h"
#include "registry/registrar.h"
#include "tools/effortsurface/effortparams.h"
#include "ui/resources.h"
#include "ui/window.h"

#define PLENTH_EXPORT extern "C" __attribute__((visibility("default")))

namespace plenth {
namespace {

// Each class's factory, one slot per row of the class table, created on the first
// request for it and kept for the life of the module.
struct Factories {
  std::mutex lock;
  std::vector<com::ComPtr<IClassFactory>> cached = std::vector<com::ComPtr<IClassFactory>>(ClassTable().size());
};

Lasting<Factories> factories;

// The module's release: the factories, then the application of the last modal click and
// the effort surface's references, each exactly once. It runs when the module is unloaded and, when the process ends with
// the module loaded, after the C++ static destructors, which leave this state alone.
__attribute__((destructor)) void ReleaseModuleState() {
  std::vector<com::ComPtr<IClassFactory>> cached;
  cached.swap(factories.get().cached);
  cached.clear();
  CurrentApplication.reset();
  ReleaseEffortParams();
}

// The module's own file, as the registry names it: its path with every single quote
// doubled for the registry scripts.
std::string ModulePath() {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&ModulePath), &info) || !info.dli_fname) return {};
  char resolved[PATH_MAX];
  return realpath(info.dli_fname, resolved) ? std::string(resolved) : std::string(info.dli_fname);
}

std::string Doubled(const std::string& text) {
  std::string out;
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out;
}

// Runs each class's registry script in table order, stopping at the first failure (a
// script that is missing, malformed or cannot be written to the registry).
HRESULT RunScripts(bool registering) {
  const std::map<std::string, std::string> replacements{{"MODULE", Doubled(ModulePath())}};
  for (const ClassInfo* entry : ClassTable()) {
    const std::string script = ui::RegistryScriptOf(ModuleInstance(), entry->scriptId);
    if (script.empty()) return E_FAIL;
    if (const HRESULT hr = com::Guard([&] { registry::RunScript(script, replacements, registering); }); FAILED(hr))
      return hr;
  }
  return S_OK;
}

HRESULT ChangeTypeLib(bool registering) {
  return com::Guard([&] {
    registry::Current().Change([&](registry::Tree& tree) {
      if (registering)
        registry::RegisterTypeLib(tree, ModuleTypeLib(), ModulePath());
      else
        registry::UnregisterTypeLib(tree, ModuleTypeLib());
    });
  });
}

}  // namespace
}  // namespace plenth

// The module's resources, readable by the system as a DLL's resource section is (its
// version data among them).
extern "C" {
__attribute__((visibility("default"))) const ResourceModule* ModuleResources = plenth::ModuleInstance();
}

// Nothing raised inside the module leaves an entry point: the system that calls them
// knows nothing of it.
PLENTH_EXPORT HRESULT DllRegisterServer() {
  return com::GuardAll([] {
    if (const HRESULT hr = plenth::RunScripts(true); FAILED(hr)) return hr;
    return plenth::ChangeTypeLib(true);
  });
}

PLENTH_EXPORT HRESULT DllUnregisterServer() {
  return com::GuardAll([] {
    if (const HRESULT hr = plenth::RunScripts(false); FAILED(hr)) return hr;
    return plenth::ChangeTypeLib(false);
  });
}

PLENTH_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
  using namespace plenth;
  if (!object) return E_POINTER;
  *object = nullptr;
  return com::GuardAll([&] {
    const auto table = ClassTable();
    for (std::size_t i = 0; i < table.size(); ++i) {
      if (table[i]->clsid != clsid) continue;
      com::ComPtr<IClassFactory> factory;
      {
        auto& f = factories.get();
        std::lock_guard guard(f.lock);
        if (!f.cached[i]) f.cached[i] = com::MakeObject<com::ClassFactory>(table[i]->create, &ThisModule()).get();
        factory = f.cached[i];
      }
      return factory->QueryInterface(riid, object);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
  });
}

PLENTH_EXPORT HRESULT DllCanUnloadNow() {
  using namespace plenth;
  return com::GuardAll(
      [] { return ThisModule().CanUnload() && ui::LiveDialogCount(ModuleInstance()) == 0 ? S_OK : S_FALSE; });
}
