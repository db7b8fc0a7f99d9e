// The module's commands on the screen: one action per command, with its caption,
// picture, tooltip and message, enabled by the command's own rule and clicked as the
// host clicks it; the menus of their categories and the module's own toolbar.
#pragma once

#include <QAction>
#include <QIcon>
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "hostapp/session.h"

class QMenuBar;
class QMainWindow;
class QToolBar;

namespace plenth::map {

class ModuleCommands {
 public:
  // Called after every click, and with the failure of a click that failed.
  using Clicked = std::function<void(const std::string& name, const QString& failure)>;

  ModuleCommands(hostapp::HostSession& host, QObject* parent, Clicked clicked);

  // The action of the command named (PlenthTools_...), or null.
  QAction* Action(const std::string& name) const;
  // One menu per category of the commands ("Plenth Tools"), in the order the host found them.
  void AddMenus(QMenuBar* bar) const;
  // The module's toolbar, with its caption and its items in order; null without one.
  QToolBar* AddToolbar(QMainWindow* window) const;
  // Asks every command whether it may be used now.
  void UpdateEnabled() const;

 private:
  struct Entry {
    hostapp::HostSession::Command* command;
    QString category;
    QAction* action;
  };
  void Click(Entry& entry);

  hostapp::HostSession& host_;
  Clicked clicked_;
  std::vector<Entry> entries_;
};

// A command's picture as an icon: the toolbar bitmap, its light grey ground clear.
QIcon CommandIcon(OLE_HANDLE bitmap);

}  // namespace plenth::map
