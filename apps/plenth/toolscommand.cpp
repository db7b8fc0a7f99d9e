#include "apps/plenth/toolscommand.h"

#include "apps/plenth/moduleclasses.h"

namespace plenth::cli {
namespace {

std::string Text(const std::function<HRESULT(BSTR*)>& get) {
  com::BStr s;
  if (FAILED(hostapp::CallModule([&] { return get(s.put()); }))) return "(unavailable)";
  return s.utf8();
}

}  // namespace

int ListTools(const std::string& modulePath, std::ostream& out) {
  hostapp::HostSession host(modulePath, ModuleClasses());
  if (const auto& ext = host.extension()) {
    LONG state = 0;
    ext->GetState(&state);
    out << "Extension: " << Text([&](BSTR* s) { return ext->ProductName(s); }) << " (state " << state << ")\n"
        << "  " << Text([&](BSTR* s) { return ext->Description(s); }) << "\n";
  } else {
    out << "Extension: none found\n";
  }
  if (const auto& bar = host.toolbar()) {
    out << "\nToolbar: " << Text([&](BSTR* s) { return bar->Name(s); }) << " (caption \""
        << Text([&](BSTR* s) { return bar->Caption(s); }) << "\")\n";
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
    out << "  " << c.name << "\n"
        << "    caption:  " << Text([&](BSTR* s) { return cmd->Caption(s); }) << "\n"
        << "    tooltip:  " << Text([&](BSTR* s) { return cmd->Tooltip(s); }) << "\n"
        << "    message:  " << Text([&](BSTR* s) { return cmd->Message(s); }) << "\n"
        << "    category: " << Text([&](BSTR* s) { return cmd->Category(s); }) << "\n";
    if (FAILED(c.created)) out << "    (its creation failed: " << com::GuidToString(c.clsid) << ")\n";
  }
  return 0;
}

}  // namespace plenth::cli
