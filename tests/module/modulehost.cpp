#include "tests/module/modulehost.h"

#include "module/classtable.h"

namespace plenth::test {

std::vector<hostapp::FoundClass> ModuleClasses() {
  std::vector<hostapp::FoundClass> out;
  for (const ClassInfo* c : ClassTable())
    if (c->category) out.push_back({c->clsid, *c->category});
  return out;
}

std::unique_ptr<hostapp::HostSession> StartHost(LONG extensionState, int layers) {
  auto host = std::make_unique<hostapp::HostSession>(PLENTH_MODULE_PATH, ModuleClasses(), extensionState);
  for (int i = 0; i < layers; ++i)
    host->app().document()->focusMap().AddLayer(com::MakeObject<hostapp::NamedLayer>("layer" + std::to_string(i)).get());
  return host;
}

}  // namespace plenth::test
