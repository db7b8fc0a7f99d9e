#include "hostapp/session.h"

namespace hostapp {

HostSession::HostSession(const std::string& modulePath, const std::vector<FoundClass>& classes,
                         LONG extensionState)
    : app_(com::MakeObject<HostApplicationImpl>()), module_(std::make_unique<LoadedModule>(modulePath)) {
  RegisterHostClasses();
  for (const FoundClass& c : classes) {
    if (c.category == CATID_HostExtensions) {
      extensionObject_ = module_->Create<HostExtension>(c.clsid);
      if (!extensionObject_) continue;
      VARIANT none;
      VariantInit(&none);
      CallModule([&] { return extensionObject_->Startup(&none); });
      extension_ = extensionObject_.query<HostExtensionConfig>();
      if (extension_) CallModule([&] { return extension_->SetState(extensionState); });
      app_->AddExtension(c.clsid, extensionObject_.get());
    } else if (c.category == CATID_HostCommandBars) {
      toolbar_ = module_->Create<HostToolbarDef>(c.clsid);
    }
  }
  for (const FoundClass& c : classes) {
    if (c.category != CATID_HostCommands) continue;
    Command entry;
    entry.clsid = c.clsid;
    entry.command = module_->Create<HostCommand>(c.clsid);
    if (!entry.command) continue;
    entry.created = CallModule([&] { return entry.command->OnCreate(app_->Identity()); });
    com::BStr name;
    CallModule([&] { return entry.command->Name(name.put()); });
    entry.name = name.utf8();
    commands_.push_back(std::move(entry));
  }
}

HostSession::~HostSession() {
  app_->Shutdown();
  commands_.clear();
  toolbar_.reset();
  if (extensionObject_) CallModule([&] { return extensionObject_->Shutdown(); });
  extension_.reset();
  extensionObject_.reset();
  app_->ClearExtensions();
  app_.reset();
  module_.reset();
}

HostSession::Command* HostSession::FindCommand(const std::string& name) {
  for (Command& c : commands_)
    if (c.name == name) return &c;
  return nullptr;
}

}  // namespace hostapp
