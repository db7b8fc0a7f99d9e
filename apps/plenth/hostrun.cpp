#include "apps/plenth/hostrun.h"

#include <gdal_priv.h>
#include <ogrsf_frmts.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "apps/plenth/sampledata.h"
#include "gis/gis.h"
#include "hostapp/discovery.h"
#include "hostapp/layers.h"
#include "hostapp/mapdocument.h"
#include "ui/automation.h"

namespace plenth::cli {

namespace fs = std::filesystem;
namespace ua = ui::automation;

LayerArg ParseLayerArg(const std::string& text) {
  const auto eq = text.find('=');
  LayerArg arg;
  if (eq != std::string::npos && eq > 0) {
    arg.name = text.substr(0, eq);
    arg.path = text.substr(eq + 1);
  } else {
    arg.path = text;
  }
  if (arg.name.empty()) arg.name = fs::path(arg.path).stem().string();
  return arg;
}

std::vector<hostapp::FoundClass> FindModuleClasses(const std::string& modulePath) {
  try {
    hostapp::EnsureRegistered(modulePath);
    return hostapp::DiscoverClasses(registry::Current().Read(), modulePath);
  } catch (const std::exception& e) {
    throw RunError(e.what());
  }
}

HostRun::HostRun(const std::string& modulePath, std::ostream& out) : out_(out) {
  if (!fs::exists(modulePath)) throw RunError("the module " + modulePath + " is not there");
  host_ = std::make_unique<hostapp::HostSession>(modulePath, FindModuleClasses(modulePath));
  host_->app().statusBar().onMessage = [this](LONG pane, const std::string& text) {
    out_ << "status " << pane << ": " << text << "\n";
  };
  previousBoxes_ = ua::SetMessageBoxHandler([this](const ua::MessageBoxRecord& box) {
    boxes_.push_back(box.caption + ": " + box.text);
    out_ << boxes_.back() << "\n";
    return IDOK;
  });
}

HostRun::~HostRun() {
  ua::SetMessageBoxHandler(previousBoxes_);
  host_.reset();
}

std::string HostRun::AddLayer(const LayerArg& layer) {
  if (!fs::exists(layer.path)) throw RunError(layer.path + ": no such file");
  try {
    host_->app().document()->focusMap().AddLayer(hostapp::LayerFromFile(layer.path, layer.name).get());
  } catch (const std::exception& e) {
    throw RunError(e.what());
  }
  return layer.name;
}

void HostRun::AddMap(const std::string& jsonPath) {
  try {
    for (const auto& layer : hostapp::ReadMapDocument(jsonPath)) host_->app().document()->focusMap().AddLayer(layer.get());
  } catch (const hostapp::MapDocumentError& e) {
    throw RunError(e.what());
  }
}

namespace {

hostapp::HostSession::Command& EnabledCommand(hostapp::HostSession& host, const std::string& commandName) {
  auto* command = host.FindCommand(commandName);
  if (!command) throw RunError("the module offers no command " + commandName);
  VARIANT_BOOL enabled = VARIANT_FALSE;
  hostapp::CallModule([&] { return command->command->IsEnabled(&enabled); });
  if (!enabled) throw RunError(commandName + " is not enabled (the extension must be on and the map must hold a layer)");
  return *command;
}

}  // namespace

HWND HostRun::Open(const std::string& commandName) {
  auto& command = EnabledCommand(*host_, commandName);
  const auto before = ua::TopLevelWindows();
  std::string error;
  const HRESULT hr = hostapp::CallModule([&] { return command.command->OnClick(); }, &error);
  ua::PumpPending();
  if (FAILED(hr)) throw RunError(commandName + " failed: " + error);
  for (HWND w : ua::TopLevelWindows())
    if (std::find(before.begin(), before.end(), w) == before.end() && ua::Visible(w)) return w;
  throw RunError(commandName + " opened no dialog");
}

void HostRun::Click(const std::string& commandName, std::function<void(HWND)> person) {
  auto* command = &EnabledCommand(*host_, commandName);
  std::string failure;
  std::vector<HWND> filled;
  ua::ScopedUser user([&](HWND dialog) {
    // A person fills a dialog once. One that stays open after that has refused what was
    // typed (its message box says why); typing the same again would go on for ever, so
    // the person gives up and cancels it.
    if (std::find(filled.begin(), filled.end(), dialog) != filled.end()) {
      if (failure.empty())
        failure = "the dialog did not take the input" + (boxes_.empty() ? std::string() : " (" + boxes_.back() + ")");
      ua::Click(dialog, IDCANCEL);
      return;
    }
    filled.push_back(dialog);
    try {
      person(dialog);
    } catch (const RunError& e) {
      if (failure.empty()) failure = e.what();
      ua::Click(dialog, IDCANCEL);
    }
  });
  std::string error;
  const HRESULT hr = hostapp::CallModule([&] { return command->command->OnClick(); }, &error);
  ua::PumpPending();
  if (!failure.empty()) throw RunError(failure);
  if (FAILED(hr)) throw RunError(commandName + " failed: " + error);
  for (const auto& what : ua::TakeUnansweredDialogs()) throw RunError("nobody answered the " + what);
}

void Must(bool done, const std::string& what) {
  if (!done) throw RunError("could not " + what + ": " + ui::automation::LastRefusal());
}

std::string ShapefileToWrite(const std::string& directory, const std::string& name) {
  std::string shapefile;
  std::ostringstream none;
  Require(checks::ShapefileOutput(directory, name, &shapefile), none);
  return shapefile;
}

std::string ExistingPartOf(const std::string& shapefile) { return checks::ExistingPartOf(shapefile); }

void Require(const checks::Findings& findings, std::ostream& out) {
  for (const checks::Finding& f : findings) {
    switch (f.kind) {
      case checks::Finding::Kind::Error: throw RunError(f.text);
      case checks::Finding::Kind::Warning: out << "warning: " << f.text << "\n"; break;
      case checks::Finding::Kind::Note: out << "note: " << f.text << "\n"; break;
    }
  }
}

void RequireWritableDirectory(const std::string& directory) {
  std::ostringstream none;
  Require(checks::OutputDirectory(directory), none);
}

void RequireEveryRecord(const std::string& path) {
  if (const checks::Records records = checks::ReadEveryRecord(path); !records.failure.empty())
    throw RunError(path + ": " + records.failure + "; the file is damaged or cut short");
}

long long CountWrittenFeatures(const std::string& shapefile) {
  if (!fs::exists(shapefile)) throw RunError(shapefile + " was not written");
  const checks::Records records = checks::ReadEveryRecord(shapefile);
  if (records.failure.empty()) return records.count;
  RemoveShapefile(shapefile);
  throw RunError(shapefile + " was not written whole (" + records.failure +
                 "; is the disk full?); the part written is removed");
}

}  // namespace plenth::cli
