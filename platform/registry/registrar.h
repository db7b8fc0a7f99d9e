// The registrar: runs a module's registry scripts against the registry, and registers
// and unregisters its type library.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "registry/registry.h"

namespace registry {

// One key of a script, with what it writes and the keys below it.
struct ScriptKey {
  std::string name;
  bool noRemove = false;
  bool forceRemove = false;
  std::optional<std::string> defaultValue;
  std::vector<std::pair<std::string, std::string>> values;
  std::vector<ScriptKey> children;
};

// Parses a script; %NAME% is replaced from `replacements` first (an unknown name is an
// error). Throws RegistryError naming the line of anything malformed.
std::vector<ScriptKey> ParseScript(const std::string& text, const std::map<std::string, std::string>& replacements);

// Writes the keys and values of the script (a ForceRemove key is deleted with everything
// below it first).
void ApplyRegistration(Tree& tree, const std::vector<ScriptKey>& script);
// Removes the keys the script names with everything below them; a NoRemove key stays and
// only the keys named below it go.
void ApplyUnregistration(Tree& tree, const std::vector<ScriptKey>& script);

// Parses the whole script, then applies it to the current registry file in one change.
void RunScript(const std::string& text, const std::map<std::string, std::string>& replacements, bool registering);

struct TypeLibClass {
  std::string name;
  std::string clsid;
  std::string interfaceName;
  std::string iid;
  bool dual;
};
struct TypeLibInfo {
  std::string libid;
  std::string name;
  std::string version;  // "1.0"
  unsigned lcid;
  std::string helpString;
  std::vector<TypeLibClass> classes;
};

// The automation marshaler that dual interfaces use.
inline constexpr char kTypeLibMarshaler[] = "{00020424-0000-0000-C000-000000000046}";

void RegisterTypeLib(Tree& tree, const TypeLibInfo& library, const std::string& modulePath);
void UnregisterTypeLib(Tree& tree, const TypeLibInfo& library);

}  // namespace registry
