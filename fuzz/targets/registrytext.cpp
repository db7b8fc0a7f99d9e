#include <cstdlib>
#include <string>

#include "fuzz/targets/fuzzinput.h"
#include "registry/registrar.h"
#include "registry/registry.h"

namespace plenthfuzz {

void RegText(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  registry::Tree tree;
  try {
    tree = registry::FromRegText(text, "fuzz.reg");
  } catch (const registry::RegistryError&) {
    return;
  }
  // What the reader accepted is written and read back as the same tree.
  std::string written;
  try {
    written = registry::ToRegText(tree);
  } catch (const registry::RegistryError&) {
    return;  // a name the text cannot carry
  }
  const registry::Tree back = registry::FromRegText(written, "fuzz.reg");
  if (!(back == tree)) std::abort();
}

void RegistryScript(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<registry::ScriptKey> script;
  try {
    script = registry::ParseScript(text, {{"MODULE", "/opt/plenth/libPlenthTools.so"}});
  } catch (const registry::RegistryError&) {
    return;
  }
  registry::Tree tree;
  registry::ApplyRegistration(tree, script);
  registry::ApplyRegistration(tree, script);
  registry::ApplyUnregistration(tree, script);
}

}  // namespace plenthfuzz
