#include "registry/registrar.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <strings.h>

namespace registry {
namespace {

struct Token {
  enum Kind { Word, Quoted, Open, Close, Equals, End } kind;
  std::string text;
  int line;
};

bool IsGuidAt(const std::string& s, std::size_t i) {
  if (i + 38 > s.size() || s[i] != '{' || s[i + 37] != '}') return false;
  for (std::size_t k = 1; k < 37; ++k) {
    const char c = s[i + k];
    const bool dash = k == 9 || k == 14 || k == 19 || k == 24;
    if (dash ? c != '-' : !std::isxdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

std::vector<Token> Lex(const std::string& s) {
  std::vector<Token> out;
  int line = 1;
  for (std::size_t i = 0; i < s.size();) {
    const char c = s[i];
    if (c == '\n') {
      ++line;
      ++i;
    } else if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
    } else if (IsGuidAt(s, i)) {
      out.push_back({Token::Word, s.substr(i, 38), line});
      i += 38;
    } else if (c == '{') {
      out.push_back({Token::Open, "{", line});
      ++i;
    } else if (c == '}') {
      out.push_back({Token::Close, "}", line});
      ++i;
    } else if (c == '=') {
      out.push_back({Token::Equals, "=", line});
      ++i;
    } else if (c == '\'') {
      std::string text;
      for (++i;; ++i) {
        if (i >= s.size() || s[i] == '\n') throw RegistryError("line " + std::to_string(line) + ": unterminated string");
        if (s[i] == '\'') {
          if (i + 1 < s.size() && s[i + 1] == '\'') {  // '' is one quote
            text += '\'';
            ++i;
            continue;
          }
          ++i;
          break;
        }
        text += s[i];
      }
      out.push_back({Token::Quoted, text, line});
    } else if (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' || c == '-') {
      std::string text;
      while (i < s.size() && (std::isalnum(static_cast<unsigned char>(s[i])) || s[i] == '_' || s[i] == '.' || s[i] == '-'))
        text += s[i++];
      out.push_back({Token::Word, text, line});
    } else {
      throw RegistryError("line " + std::to_string(line) + ": unexpected '" + std::string(1, c) + "'");
    }
  }
  out.push_back({Token::End, "", line});
  return out;
}

bool Is(const Token& t, const char* word) { return t.kind == Token::Word && strcasecmp(t.text.c_str(), word) == 0; }

class Parser {
 public:
  explicit Parser(std::vector<Token> tokens) : t_(std::move(tokens)) {}

  std::vector<ScriptKey> Script() {
    std::vector<ScriptKey> roots;
    while (t_[i_].kind != Token::End) {
      if (!Is(t_[i_], "HKCR") && !Is(t_[i_], "HKEY_CLASSES_ROOT")) Fail("expected HKCR");
      ++i_;
      Expect(Token::Open, "'{' after HKCR");
      while (t_[i_].kind != Token::Close) {
        if (t_[i_].kind == Token::End) Fail("HKCR block without its '}'");
        if (Is(t_[i_], "val")) Fail("a named value outside any key");
        roots.push_back(Entry());
      }
      ++i_;
    }
    return roots;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    throw RegistryError("line " + std::to_string(t_[i_].line) + ": " + what);
  }
  void Expect(Token::Kind kind, const char* what) {
    if (t_[i_].kind != kind) Fail(std::string("expected ") + what);
    ++i_;
  }
  std::string Name() {
    if (t_[i_].kind != Token::Word && t_[i_].kind != Token::Quoted) Fail("expected a key name");
    return t_[i_++].text;
  }
  // A key name names one key: not empty and without the path separator, so that
  // unregistration removes the very key registration wrote.
  std::string KeyName() {
    const std::string name = Name();
    if (name.empty() || name.find('\\') != std::string::npos) {
      --i_;
      Fail("'" + name + "' is not the name of one key");
    }
    return name;
  }
  std::string StringValue() {
    Expect(Token::Equals, "'='");
    if (!Is(t_[i_], "s")) Fail("only string values (s '...') are supported");
    ++i_;
    if (t_[i_].kind != Token::Quoted) Fail("expected a quoted value");
    return t_[i_++].text;
  }

  ScriptKey Entry() {
    ScriptKey key;
    while (Is(t_[i_], "NoRemove") || Is(t_[i_], "ForceRemove")) {
      (Is(t_[i_], "NoRemove") ? key.noRemove : key.forceRemove) = true;
      ++i_;
    }
    key.name = KeyName();
    if (t_[i_].kind == Token::Equals) key.defaultValue = StringValue();
    if (t_[i_].kind == Token::Open) {
      ++i_;
      while (t_[i_].kind != Token::Close) {
        if (t_[i_].kind == Token::End) Fail("block of " + key.name + " without its '}'");
        if (Is(t_[i_], "val")) {
          ++i_;
          const std::string name = Name();
          key.values.emplace_back(name, StringValue());
        } else {
          key.children.push_back(Entry());
        }
      }
      ++i_;
    }
    return key;
  }

  std::vector<Token> t_;
  std::size_t i_ = 0;
};

std::string Replace(const std::string& text, const std::map<std::string, std::string>& replacements) {
  std::string out;
  int line = 1;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') ++line;
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    const std::size_t end = text.find('%', i + 1);
    if (end == std::string::npos) throw RegistryError("line " + std::to_string(line) + ": '%' without its closing '%'");
    const std::string name = text.substr(i + 1, end - i - 1);
    if (name.empty()) {
      out += '%';  // %% is a percent sign
    } else {
      const auto it = replacements.find(name);
      if (it == replacements.end()) throw RegistryError("line " + std::to_string(line) + ": no value for %" + name + "%");
      out += it->second;
    }
    i = end;
  }
  return out;
}

void Register(Key& parent, const ScriptKey& s) {
  if (s.forceRemove) parent.subkeys.erase(s.name);
  Key& key = parent.Create(s.name);
  if (s.defaultValue) key.defaultValue = s.defaultValue;
  for (const auto& [n, v] : s.values) key.values[n] = v;
  for (const auto& child : s.children) Register(key, child);
}

void Unregister(Key& parent, const ScriptKey& s) {
  if (!s.noRemove) {
    parent.subkeys.erase(s.name);
    return;
  }
  Key* key = parent.Find(s.name);
  if (!key) return;
  for (const auto& [n, v] : s.values) key->values.erase(n);
  for (const auto& child : s.children) Unregister(*key, child);
}

}  // namespace

std::vector<ScriptKey> ParseScript(const std::string& text, const std::map<std::string, std::string>& replacements) {
  return Parser(Lex(Replace(text, replacements))).Script();
}

void ApplyRegistration(Tree& tree, const std::vector<ScriptKey>& script) {
  for (const auto& key : script) Register(tree, key);
}

void ApplyUnregistration(Tree& tree, const std::vector<ScriptKey>& script) {
  for (const auto& key : script) Unregister(tree, key);
}

void RunScript(const std::string& text, const std::map<std::string, std::string>& replacements, bool registering) {
  const auto script = ParseScript(text, replacements);  // nothing changes for a malformed script
  Current().Change([&](Tree& tree) {
    if (registering)
      ApplyRegistration(tree, script);
    else
      ApplyUnregistration(tree, script);
  });
}

void RegisterTypeLib(Tree& tree, const TypeLibInfo& library, const std::string& modulePath) {
  Key& version = tree.Create("TypeLib\\" + library.libid + "\\" + library.version);
  version.defaultValue = library.helpString;
  char lcid[16];
  std::snprintf(lcid, sizeof lcid, "%x", library.lcid);
  version.Create(std::string(lcid) + "\\win32").defaultValue = modulePath;
  version.Create("FLAGS").defaultValue = std::string("0");  // a plain literal trips GCC 12 -Wrestrict at -O3
  version.Create("HELPDIR").defaultValue = std::filesystem::path(modulePath).parent_path().string();
  for (const auto& c : library.classes) {
    if (!c.dual) continue;
    Key& itf = tree.Create("Interface\\" + c.iid);
    itf.defaultValue = c.interfaceName;
    itf.Create("ProxyStubClsid").defaultValue = kTypeLibMarshaler;
    itf.Create("ProxyStubClsid32").defaultValue = kTypeLibMarshaler;
    Key& lib = itf.Create("TypeLib");
    lib.defaultValue = library.libid;
    lib.values["Version"] = library.version;
  }
}

void UnregisterTypeLib(Tree& tree, const TypeLibInfo& library) {
  const std::string libKey = "TypeLib\\" + library.libid;
  tree.Remove(libKey + "\\" + library.version);
  if (const Key* lib = tree.Find(libKey); lib && lib->subkeys.empty()) tree.Remove(libKey);
  // An interface that another library registered since is that library's to remove.
  for (const auto& c : library.classes) {
    const Key* lib = c.dual ? tree.Find("Interface\\" + c.iid + "\\TypeLib") : nullptr;
    if (lib && strcasecmp(lib->defaultValue.value_or("").c_str(), library.libid.c_str()) == 0)
      tree.Remove("Interface\\" + c.iid);
  }
  for (const char* root : {"TypeLib", "Interface"})
    if (const Key* k = tree.Find(root); k && k->subkeys.empty() && k->values.empty() && !k->defaultValue) tree.Remove(root);
}

}  // namespace registry
