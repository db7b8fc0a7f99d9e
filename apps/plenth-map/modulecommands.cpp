#include "apps/plenth-map/modulecommands.h"

#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QToolBar>

#include "com/boundary.h"
#include "com/bstr.h"
#include "registry/registry.h"
#include "ui/qt/qtbackend.h"

namespace plenth::map {
namespace {

QString Text(const std::function<HRESULT(BSTR*)>& get) {
  com::BStr text;
  if (FAILED(hostapp::CallModule([&] { return get(text.put()); }))) return {};
  return QString::fromStdString(text.utf8());
}

// The class id a ProgID names in the registry.
std::optional<CLSID> ClassOfProgId(const std::string& progId) {
  const registry::Tree tree = registry::Current().Read();
  const registry::Key* key = tree.Find(progId + "\\CLSID");
  if (!key || !key->defaultValue) return std::nullopt;
  return com::ParseGuid(*key->defaultValue);
}

}  // namespace

QIcon CommandIcon(OLE_HANDLE bitmap) {
  const QImage image = ui::qt::ButtonImageOf(reinterpret_cast<HBITMAP>(bitmap));
  return image.isNull() ? QIcon() : QIcon(QPixmap::fromImage(image));
}

ModuleCommands::ModuleCommands(hostapp::HostSession& host, QObject* parent, Clicked clicked)
    : host_(host), clicked_(std::move(clicked)) {
  for (auto& command : host_.commands()) {
    auto& c = command.command;
    auto* action = new QAction(Text([&](BSTR* s) { return c->Caption(s); }), parent);
    action->setObjectName(QString::fromStdString(command.name));
    action->setToolTip(Text([&](BSTR* s) { return c->Tooltip(s); }));
    action->setStatusTip(Text([&](BSTR* s) { return c->Message(s); }));
    OLE_HANDLE bitmap = 0;
    if (SUCCEEDED(hostapp::CallModule([&] { return c->Bitmap(&bitmap); }))) action->setIcon(CommandIcon(bitmap));
    entries_.push_back({&command, Text([&](BSTR* s) { return c->Category(s); }), action});
  }
  for (std::size_t i = 0; i < entries_.size(); ++i)
    QObject::connect(entries_[i].action, &QAction::triggered, parent, [this, i] { Click(entries_[i]); });
  UpdateEnabled();
}

QAction* ModuleCommands::Action(const std::string& name) const {
  for (const Entry& entry : entries_)
    if (entry.command->name == name) return entry.action;
  return nullptr;
}

void ModuleCommands::AddMenus(QMenuBar* bar) const {
  std::vector<std::pair<QString, QMenu*>> menus;
  for (const Entry& entry : entries_) {
    const QString category = entry.category.isEmpty() ? QStringLiteral("Commands") : entry.category;
    auto found = std::find_if(menus.begin(), menus.end(), [&](const auto& m) { return m.first == category; });
    if (found == menus.end()) {
      QMenu* menu = bar->addMenu(category);
      menu->setObjectName(category);
      // The host asks again whether each command may be used whenever the menu opens.
      QObject::connect(menu, &QMenu::aboutToShow, menu, [this] { UpdateEnabled(); });
      menus.emplace_back(category, menu);
      found = std::prev(menus.end());
    }
    found->second->addAction(entry.action);
  }
}

QToolBar* ModuleCommands::AddToolbar(QMainWindow* window) const {
  const auto& definition = host_.toolbar();
  if (!definition) return nullptr;
  auto* toolbar = window->addToolBar(Text([&](BSTR* s) { return definition->Caption(s); }));
  toolbar->setObjectName(Text([&](BSTR* s) { return definition->Name(s); }));
  LONG count = 0;
  hostapp::CallModule([&] { return definition->ItemCount(&count); });
  for (LONG i = 0; i < count; ++i) {
    auto item = com::MakeObject<hostapp::HostToolbarItem>();
    if (FAILED(hostapp::CallModule([&] { return definition->ItemInfo(i, item.get()); }))) continue;
    const auto clsid = ClassOfProgId(item->id);
    for (const Entry& entry : entries_)
      if (clsid && entry.command->clsid == *clsid) toolbar->addAction(entry.action);
  }
  return toolbar;
}

void ModuleCommands::UpdateEnabled() const {
  for (const Entry& entry : entries_) {
    VARIANT_BOOL enabled = VARIANT_FALSE;
    const HRESULT hr = hostapp::CallModule([&] { return entry.command->command->IsEnabled(&enabled); });
    entry.action->setEnabled(SUCCEEDED(hr) && enabled != VARIANT_FALSE);
  }
}

void ModuleCommands::Click(Entry& entry) {
  // A command may be clicked only while it says it may be used.
  UpdateEnabled();
  if (!entry.action->isEnabled()) return;
  std::string error;
  const HRESULT hr = hostapp::CallModule([&] { return entry.command->command->OnClick(); }, &error);
  QString failure;
  if (FAILED(hr))
    failure = QStringLiteral("%1 failed (%2)%3")
                  .arg(entry.action->text(), QString::fromStdString(com::StatusText(hr)),
                       error.empty() ? QString() : QStringLiteral(": ") + QString::fromStdString(error));
  UpdateEnabled();
  if (clicked_) clicked_(entry.command->name, failure);
}

}  // namespace plenth::map
