#include "apps/plenth/toolscommand.h"

#include "apps/plenth/hostrun.h"
#include "hostapp/discovery.h"
#include "registry/registry.h"
#include "ui/resources.h"

namespace plenth::cli {
namespace {

std::string Text(const std::function<HRESULT(BSTR*)>& get) {
  com::BStr s;
  if (FAILED(hostapp::CallModule([&] { return get(s.put()); }))) return "(unavailable)";
  return s.utf8();
}

}  // namespace

int ListTools(const std::string& modulePath, std::ostream& out) {
  const auto classes = FindModuleClasses(modulePath);
  hostapp::HostSession host(modulePath, classes);
  if (const ResourceModule* resources = host.module().Resources()) {
    if (const auto* script = ui::ScriptOf(resources); script && script->version) {
      const auto& v = script->version->fileVersion;
      out << "Module: " << modulePath << "\n  " << script->version->strings.at("FileDescription") << " " << v[0] << "."
          << v[1] << "." << v[2] << "." << v[3] << "\n  registered in " << registry::CurrentFile() << "\n\n";
    }
  }
  const auto categoryOf = [&](const CLSID& clsid) {
    for (const auto& c : classes)
      if (c.clsid == clsid) return std::string(hostapp::CategoryName(c.category));
    return std::string("?");
  };
  if (const auto& ext = host.extension()) {
    LONG state = 0;
    ext->GetState(&state);
    out << "Extension: " << Text([&](BSTR* s) { return ext->ProductName(s); }) << " (state " << state
        << ", found under extensions)\n"
        << "  " << Text([&](BSTR* s) { return ext->Description(s); }) << "\n";
  } else {
    out << "Extension: none found\n";
  }
  if (const auto& bar = host.toolbar()) {
    out << "\nToolbar: " << Text([&](BSTR* s) { return bar->Name(s); }) << " (caption \""
        << Text([&](BSTR* s) { return bar->Caption(s); }) << "\", found under command bars)\n";
    LONG count = 0;
    bar->ItemCount(&count);
    for (LONG i = 0; i < count; ++i) {
      auto item = com::MakeObject<hostapp::HostToolbarItem>();
      bar->ItemInfo(i, item.get());
      out << "  " << i << "  " << item->id << "\n";
    }
  }
  out << "\nCommands:\n";
  for (auto& c : host.commands()) {
    auto& cmd = c.command;
    VARIANT_BOOL enabled = VARIANT_FALSE;
    hostapp::CallModule([&] { return cmd->IsEnabled(&enabled); });
    out << "  " << c.name << "  (found under " << categoryOf(c.clsid) << ")\n"
        << "    caption:  " << Text([&](BSTR* s) { return cmd->Caption(s); }) << "\n"
        << "    tooltip:  " << Text([&](BSTR* s) { return cmd->Tooltip(s); }) << "\n"
        << "    message:  " << Text([&](BSTR* s) { return cmd->Message(s); }) << "\n"
        << "    category: " << Text([&](BSTR* s) { return cmd->Category(s); }) << "\n";
    if (FAILED(c.created)) out << "    (its creation failed: " << com::GuidToString(c.clsid) << ")\n";
  }
  return 0;
}

}  // namespace plenth::cli
