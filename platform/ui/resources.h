// A module's resources: its resource script (dialog templates, bitmaps, registry
// scripts, version data) and the files the script names, embedded in the module.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ui/types.h"

struct EmbeddedFile {
  const char* name;
  const unsigned char* data;
  std::size_t size;
};

// What a module hands the window layer as its instance handle.
struct ResourceModule {
  const char* scriptName;  // the resource script among the files
  std::span<const EmbeddedFile> files;
};

namespace ui {

struct ControlTemplate {
  std::string cls;  // "Button", "Edit", "Static", "ComboBox"
  std::string text;
  int id = IDC_STATIC;
  int x = 0, y = 0, cx = 0, cy = 0;
  DWORD style = 0;
  DWORD exStyle = 0;
};

struct DialogTemplate {
  int id = 0;
  int x = 0, y = 0, cx = 0, cy = 0;
  DWORD style = 0;
  DWORD exStyle = 0;
  std::string caption;
  int fontSize = 0;
  std::string fontFace;
  std::vector<ControlTemplate> controls;
};

struct VersionInfo {
  WORD fileVersion[4]{};
  WORD productVersion[4]{};
  DWORD fileOs = 0;
  DWORD fileType = 0;
  std::map<std::string, std::string> strings;  // "FileDescription" -> "..."
};

// The parsed resource script of one module.
struct ResourceScript {
  std::map<int, DialogTemplate> dialogs;
  std::map<int, std::string> bitmaps;           // id -> file name
  std::map<int, std::string> registryScripts;   // id -> file name
  std::map<int, std::string> typeLibraries;     // id -> file name
  std::unique_ptr<VersionInfo> version;
  std::map<std::string, long> symbols;          // #define'd names
};

// Parses a resource script; `include` resolves #include "file" names. Throws
// std::runtime_error naming the line for text the parser does not accept.
ResourceScript ParseResourceScript(std::string_view text,
                                   const std::function<std::string(std::string_view)>& include);

// The module's parsed script (parsed once, kept for the process), or null when the
// module has none or it does not parse (the reason is in LastResourceError()).
const ResourceScript* ScriptOf(HINSTANCE module);
std::string LastResourceError();
// The bytes of one of the module's files, or an empty span.
std::span<const unsigned char> FileOf(HINSTANCE module, std::string_view name);
// The text of a REGISTRY resource, or "" when there is none.
std::string RegistryScriptOf(HINSTANCE module, int id);

}  // namespace ui
