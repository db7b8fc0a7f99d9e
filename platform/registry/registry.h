// The HKEY_CLASSES_ROOT tree, kept in one file in the Windows .reg text format. Every
// change re-reads the file under an exclusive lock and writes it back atomically, so
// that two hosts or two registrations one after the other never lose each other's keys.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace registry {

// A damaged registry file, a malformed script, or a file that cannot be written.
struct RegistryError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Key and value names compare without regard to case, as on Windows, and keep the case
// they were created with.
struct NoCase {
  bool operator()(const std::string& a, const std::string& b) const;
};

struct Key {
  std::string name;
  std::optional<std::string> defaultValue;
  std::map<std::string, std::string, NoCase> values;  // named string values
  std::map<std::string, std::unique_ptr<Key>, NoCase> subkeys;

  Key() = default;
  explicit Key(std::string n) : name(std::move(n)) {}
  Key(const Key& other);
  Key& operator=(const Key& other);
  bool operator==(const Key& other) const;

  // The key at a backslash-separated path below this one, or null.
  const Key* Find(const std::string& path) const;
  Key* Find(const std::string& path);
  // The key at the path, created with its parents when missing.
  Key& Create(const std::string& path);
  // Removes the key at the path with everything below it; false when it was not there.
  bool Remove(const std::string& path);
};

// The whole HKEY_CLASSES_ROOT tree.
using Tree = Key;

// The .reg text of the tree; throws RegistryError for a name or value holding a line
// break, or a key more than 512 levels deep, which the text cannot carry.
std::string ToRegText(const Tree& tree);
// Parses the .reg text; throws RegistryError naming the line of anything it does not accept.
Tree FromRegText(const std::string& text, const std::string& fileName = "registry");

class RegistryFile {
 public:
  explicit RegistryFile(std::string path);
  const std::string& path() const { return path_; }
  // The tree as the file holds it (empty when there is no file yet).
  Tree Read() const;
  // Applies a change under the lock and writes the file anew (temporary file, flush,
  // rename). A change that throws leaves the file as it was.
  void Change(const std::function<void(Tree&)>& change);

 private:
  std::string path_;
};

// The registry file the process's registrations and lookups use.
void UseFile(const std::string& path);
// The file in use: the one chosen, else $XDG_DATA_HOME/plenth/registry.reg (by default
// under ~/.local/share).
std::string CurrentFile();
RegistryFile Current();

// Classes registered under a component category: (class id text, module path).
struct RegisteredClass {
  std::string clsid;
  std::string modulePath;
  std::string threadingModel;  // "" when none is written
};
std::vector<RegisteredClass> ClassesInCategory(const Tree& tree, const std::string& categoryId);

}  // namespace registry
