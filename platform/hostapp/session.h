// A running host with one module plugged in: it creates the module's extension, sets
// its state, creates the toolbar and the commands and hands each command the
// application, as the host does at start-up.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "hostapi/categories.h"
#include "hostapp/module.h"
#include "hostapp/objects.h"

namespace hostapp {

// A class the host found for the module, and the category it was found under.
struct FoundClass {
  CLSID clsid;
  GUID category;
};

class HostSession {
 public:
  struct Command {
    CLSID clsid;
    com::ComPtr<HostCommand> command;
    HRESULT created = S_OK;  // what OnCreate answered
    std::string name;
  };

  // Loads the module and creates what it offers under the host's categories. The
  // extension's state is set to `extensionState` (the host enables it).
  HostSession(const std::string& modulePath, const std::vector<FoundClass>& classes,
              LONG extensionState = kExtensionEnabled);
  ~HostSession();
  HostSession(const HostSession&) = delete;
  HostSession& operator=(const HostSession&) = delete;

  HostApplicationImpl& app() { return *app_.get(); }
  LoadedModule& module() { return *module_; }
  const com::ComPtr<HostExtensionConfig>& extension() const { return extension_; }
  const com::ComPtr<HostToolbarDef>& toolbar() const { return toolbar_; }
  std::vector<Command>& commands() { return commands_; }
  Command* FindCommand(const std::string& name);

 private:
  com::ComPtr<HostApplicationImpl> app_;
  std::unique_ptr<LoadedModule> module_;
  com::ComPtr<HostExtension> extensionObject_;
  com::ComPtr<HostExtensionConfig> extension_;
  com::ComPtr<HostToolbarDef> toolbar_;
  std::vector<Command> commands_;
};

}  // namespace hostapp
