// The module's entry points: class factories by class id, whether the module can be
// unloaded, and its registration.
#include <array>
#include <mutex>

#include "host/command.h"
#include "module/classtable.h"
#include "module/moduleglobals.h"
#include "ui/window.h"

#define PLENTH_EXPORT extern "C" __attribute__((visibility("default")))

namespace plenth {
namespace {

// Each class's factory, created on the first request for it and kept for the life of
// the module.
struct Factories {
  std::mutex lock;
  std::array<com::ComPtr<IClassFactory>, 16> cached;
};

Factories& TheFactories() {
  static Factories factories;
  return factories;
}

__attribute__((destructor)) void ReleaseModuleState() {
  auto& f = TheFactories();
  for (auto& factory : f.cached) factory.reset();
  CurrentApplication.reset();
}

}  // namespace
}  // namespace plenth

PLENTH_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
  using namespace plenth;
  if (!object) return E_POINTER;
  *object = nullptr;
  const auto table = ClassTable();
  for (std::size_t i = 0; i < table.size(); ++i) {
    if (table[i].clsid != clsid) continue;
    com::ComPtr<IClassFactory> factory;
    {
      auto& f = TheFactories();
      std::lock_guard guard(f.lock);
      if (!f.cached[i]) f.cached[i] = com::MakeObject<com::ClassFactory>(table[i].create, &ThisModule()).get();
      factory = f.cached[i];
    }
    return factory.get()->QueryInterface(riid, object);
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

PLENTH_EXPORT HRESULT DllCanUnloadNow() {
  using namespace plenth;
  return ThisModule().CanUnload() && ui::LiveDialogCount(ModuleInstance()) == 0 ? S_OK : S_FALSE;
}
