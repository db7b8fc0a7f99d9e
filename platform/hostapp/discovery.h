// Finding a module's classes the way the host does: through the component categories
// its registration wrote into the registry.
#pragma once

#include <string>
#include <vector>

#include "hostapp/session.h"
#include "registry/registry.h"

namespace hostapp {

// How the host names a category: "extensions", "command bars", "commands", or "".
const char* CategoryName(const GUID& category);

// The classes registered under the host's three categories whose server is the module.
std::vector<FoundClass> DiscoverClasses(const registry::Tree& tree, const std::string& modulePath);

// Registers the module (through its own DllRegisterServer) into the current registry
// file unless it is registered already; throws std::runtime_error when that fails.
void EnsureRegistered(const std::string& modulePath);

}  // namespace hostapp
