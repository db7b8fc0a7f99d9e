#include "registry/registry.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

namespace registry {

namespace fs = std::filesystem;

bool NoCase::operator()(const std::string& a, const std::string& b) const {
  return strcasecmp(a.c_str(), b.c_str()) < 0;
}

Key::Key(const Key& other) : name(other.name), defaultValue(other.defaultValue), values(other.values) {
  for (const auto& [n, k] : other.subkeys) subkeys.emplace(n, std::make_unique<Key>(*k));
}

Key& Key::operator=(const Key& other) {
  if (this != &other) {
    Key copy(other);
    name = std::move(copy.name);
    defaultValue = std::move(copy.defaultValue);
    values = std::move(copy.values);
    subkeys = std::move(copy.subkeys);
  }
  return *this;
}

bool Key::operator==(const Key& other) const {
  if (strcasecmp(name.c_str(), other.name.c_str()) != 0 || defaultValue != other.defaultValue ||
      values.size() != other.values.size() || subkeys.size() != other.subkeys.size())
    return false;
  for (const auto& [n, v] : values) {
    const auto it = other.values.find(n);
    if (it == other.values.end() || it->second != v) return false;
  }
  for (const auto& [n, k] : subkeys) {
    const auto it = other.subkeys.find(n);
    if (it == other.subkeys.end() || !(*k == *it->second)) return false;
  }
  return true;
}

namespace {

std::vector<std::string> Split(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : path) {
    if (c == '\\') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

}  // namespace

const Key* Key::Find(const std::string& path) const {
  const Key* k = this;
  for (const auto& part : Split(path)) {
    const auto it = k->subkeys.find(part);
    if (it == k->subkeys.end()) return nullptr;
    k = it->second.get();
  }
  return k;
}

Key* Key::Find(const std::string& path) { return const_cast<Key*>(static_cast<const Key*>(this)->Find(path)); }

Key& Key::Create(const std::string& path) {
  Key* k = this;
  for (const auto& part : Split(path)) {
    auto& slot = k->subkeys[part];
    if (!slot) slot = std::make_unique<Key>(part);
    k = slot.get();
  }
  return *k;
}

bool Key::Remove(const std::string& path) {
  auto parts = Split(path);
  if (parts.empty()) return false;
  const std::string last = parts.back();
  parts.pop_back();
  Key* parent = this;
  for (const auto& part : parts) {
    const auto it = parent->subkeys.find(part);
    if (it == parent->subkeys.end()) return false;
    parent = it->second.get();
  }
  return parent->subkeys.erase(last) > 0;
}

namespace {

constexpr char kHeader[] = "Windows Registry Editor Version 5.00";
constexpr char kRoot[] = "HKEY_CLASSES_ROOT";
// As on Windows, no key lies deeper than this below the root; deeper paths in a file
// are damage, not keys.
constexpr std::size_t kMaxDepth = 512;

// A name or value holding a line break would split its line and leave a file that can
// no longer be read; such a change is refused before anything is written.
void CheckOneLine(const std::string& s) {
  if (s.find_first_of("\r\n") != std::string::npos)
    throw RegistryError("a registry name or value cannot hold a line break: \"" + s + "\"");
}

std::string Quote(const std::string& s) {
  CheckOneLine(s);
  std::string out = "\"";
  for (char c : s) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

void WriteValues(const Key& key, std::ostringstream& out) {
  if (key.defaultValue) out << "@=" << Quote(*key.defaultValue) << "\r\n";
  for (const auto& [n, v] : key.values) out << Quote(n) << "=" << Quote(v) << "\r\n";
}

void WriteKey(const Key& key, const std::string& path, std::size_t depth, std::ostringstream& out) {
  CheckOneLine(key.name);
  if (depth > kMaxDepth) throw RegistryError("a registry key more than " + std::to_string(kMaxDepth) + " levels deep");
  out << "\r\n[" << path << "]\r\n";
  WriteValues(key, out);
  for (const auto& [n, k] : key.subkeys) WriteKey(*k, path + "\\" + k->name, depth + 1, out);
}

// Reads a quoted string at s[i]; advances i past it.
bool Unquote(const std::string& s, std::size_t& i, std::string* out) {
  if (i >= s.size() || s[i] != '"') return false;
  out->clear();
  for (++i; i < s.size(); ++i) {
    if (s[i] == '\\') {
      if (++i >= s.size()) return false;
      *out += s[i];
    } else if (s[i] == '"') {
      ++i;
      return true;
    } else {
      *out += s[i];
    }
  }
  return false;
}

}  // namespace

std::string ToRegText(const Tree& tree) {
  std::ostringstream out;
  out << kHeader << "\r\n";
  if (tree.defaultValue || !tree.values.empty()) {
    out << "\r\n[" << kRoot << "]\r\n";
    WriteValues(tree, out);
  }
  for (const auto& [n, k] : tree.subkeys) WriteKey(*k, std::string(kRoot) + "\\" + k->name, 1, out);
  return out.str();
}

Tree FromRegText(const std::string& text, const std::string& fileName) {
  Tree tree;
  std::istringstream in(text);
  std::string line;
  int number = 0;
  Key* current = nullptr;
  bool headerSeen = false;
  const auto fail = [&](const std::string& what) {
    throw RegistryError(fileName + ":" + std::to_string(number) + ": " + what);
  };
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (number == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
    if (line.empty()) continue;
    if (!headerSeen) {
      if (line != kHeader) fail("not a registry file (no \"" + std::string(kHeader) + "\" line)");
      headerSeen = true;
      continue;
    }
    if (line.front() == '[') {
      if (line.back() != ']') fail("a key line without its closing bracket");
      const std::string path = line.substr(1, line.size() - 2);
      if (path.rfind(kRoot, 0) != 0 || (path.size() > sizeof kRoot - 1 && path[sizeof kRoot - 1] != '\\'))
        fail("a key outside " + std::string(kRoot));
      if (Split(path).size() > kMaxDepth + 1) fail("a key more than " + std::to_string(kMaxDepth) + " levels deep");
      current = path.size() > sizeof kRoot ? &tree.Create(path.substr(sizeof kRoot)) : &tree;
      continue;
    }
    if (!current) fail("a value before any key");
    std::size_t i = 0;
    std::string name, value;
    const bool isDefault = line[0] == '@';
    if (isDefault)
      i = 1;
    else if (!Unquote(line, i, &name))
      fail("a value line that is neither @=\"...\" nor \"name\"=\"...\"");
    if (i >= line.size() || line[i] != '=') fail("a value without '='");
    ++i;
    if (!Unquote(line, i, &value) || i != line.size()) fail("a value that is not one quoted string");
    if (isDefault)
      current->defaultValue = value;
    else
      current->values[name] = value;
  }
  if (!headerSeen && number > 0) fail("not a registry file");
  return tree;
}

RegistryFile::RegistryFile(std::string path) : path_(std::move(path)) {}

Tree RegistryFile::Read() const {
  std::ifstream in(path_, std::ios::binary);
  if (!in) {
    if (fs::exists(path_)) throw RegistryError(path_ + ": cannot be read");
    return Tree();
  }
  std::stringstream text;
  text << in.rdbuf();
  return FromRegText(text.str(), path_);
}

namespace {

// An exclusive lock on the file beside the registry, held for one change.
class FileLock {
 public:
  explicit FileLock(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
    if (fd_ < 0 || ::flock(fd_, LOCK_EX) != 0) throw RegistryError(path + ": cannot lock the registry");
  }
  ~FileLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  int fd_;
};

void WriteAtomically(const std::string& path, const std::string& text) {
  const std::string temp = path + ".tmp." + std::to_string(::getpid());
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) throw RegistryError(path + ": cannot write the registry");
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n <= 0) {
      ::close(fd);
      ::unlink(temp.c_str());
      throw RegistryError(path + ": cannot write the registry");
    }
    done += static_cast<std::size_t>(n);
  }
  const bool synced = ::fsync(fd) == 0;
  ::close(fd);
  if (!synced || ::rename(temp.c_str(), path.c_str()) != 0) {
    ::unlink(temp.c_str());
    throw RegistryError(path + ": cannot replace the registry");
  }
  const std::string dir = fs::path(path).parent_path().string();
  const int dfd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
}

}  // namespace

void RegistryFile::Change(const std::function<void(Tree&)>& change) {
  const fs::path dir = fs::path(path_).parent_path();
  if (!dir.empty()) {
    std::error_code ec;
    fs::create_directories(dir, ec);
  }
  FileLock lock(path_ + ".lock");
  Tree tree = Read();
  change(tree);
  WriteAtomically(path_, ToRegText(tree));
}

namespace {
std::mutex chosenLock;
std::string chosen;
}  // namespace

void UseFile(const std::string& path) {
  std::lock_guard guard(chosenLock);
  chosen = path;
}

std::string CurrentFile() {
  {
    std::lock_guard guard(chosenLock);
    if (!chosen.empty()) return chosen;
  }
  const char* data = std::getenv("XDG_DATA_HOME");
  fs::path base;
  if (data && *data) {
    base = data;
  } else {
    const char* home = std::getenv("HOME");
    base = fs::path(home && *home ? home : ".") / ".local" / "share";
  }
  return (base / "plenth" / "registry.reg").string();
}

RegistryFile Current() { return RegistryFile(CurrentFile()); }

std::vector<RegisteredClass> ClassesInCategory(const Tree& tree, const std::string& categoryId) {
  std::vector<RegisteredClass> out;
  const Key* classes = tree.Find("CLSID");
  if (!classes) return out;
  for (const auto& [id, key] : classes->subkeys) {
    if (!key->Find("Implemented Categories\\" + categoryId)) continue;
    RegisteredClass c{key->name, {}, {}};
    if (const Key* server = key->Find("InprocServer32")) {
      c.modulePath = server->defaultValue.value_or("");
      if (const auto it = server->values.find("ThreadingModel"); it != server->values.end()) c.threadingModel = it->second;
    }
    out.push_back(std::move(c));
  }
  return out;
}

}  // namespace registry
