#include "host/moduleglobals.h"

#include "ui/resources.h"

extern const ResourceModule kPlenthToolsResources;

namespace plenth {

HINSTANCE ModuleInstance() { return &kPlenthToolsResources; }

com::ModuleLifetime& ThisModule() {
  static com::ModuleLifetime lifetime;
  return lifetime;
}

}  // namespace plenth
