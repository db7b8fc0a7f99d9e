#include "hostapp/discovery.h"

#include <filesystem>
#include <stdexcept>

namespace hostapp {

const char* CategoryName(const GUID& category) {
  if (category == CATID_HostExtensions) return "extensions";
  if (category == CATID_HostCommandBars) return "command bars";
  if (category == CATID_HostCommands) return "commands";
  return "";
}

std::vector<FoundClass> DiscoverClasses(const registry::Tree& tree, const std::string& modulePath) {
  std::error_code ec;
  const auto wanted = std::filesystem::weakly_canonical(modulePath, ec);
  std::vector<FoundClass> out;
  for (const GUID& category : {CATID_HostExtensions, CATID_HostCommandBars, CATID_HostCommands}) {
    for (const auto& c : registry::ClassesInCategory(tree, com::GuidToString(category))) {
      if (std::filesystem::weakly_canonical(c.modulePath, ec) != wanted) continue;
      if (const auto clsid = com::ParseGuid(c.clsid)) out.push_back({*clsid, category});
    }
  }
  return out;
}

void EnsureRegistered(const std::string& modulePath) {
  if (!DiscoverClasses(registry::Current().Read(), modulePath).empty()) return;
  LoadedModule module(modulePath);
  if (FAILED(module.RegisterServer()))
    throw std::runtime_error("registering " + modulePath + " into " + registry::CurrentFile() + " failed");
}

}  // namespace hostapp
