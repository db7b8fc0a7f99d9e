// One run of a module command on the command line: a host with the module plugged in,
// a map built from the files given, and a person at the screen who fills the command's
// dialog and answers message boxes.
#pragma once

#include <functional>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "apps/checks/checks.h"
#include "hostapp/session.h"
#include "ui/automation.h"

namespace plenth::cli {

// A failure to report in one line, with the process's exit status.
struct RunError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A layer argument: PATH or NAME=PATH (the name defaults to the file's stem).
struct LayerArg {
  std::string name;
  std::string path;
};
LayerArg ParseLayerArg(const std::string& text);

// The module's classes as the registry lists them, registering the module first when it
// is not registered yet.
std::vector<hostapp::FoundClass> FindModuleClasses(const std::string& modulePath);

class HostRun {
 public:
  HostRun(const std::string& modulePath, std::ostream& out);
  ~HostRun();

  // Adds a layer to the focus map (throws RunError when the file does not open).
  std::string AddLayer(const LayerArg& layer);
  // Adds the layers of a small map document: {"layers": [{"name": ..., "path": ...},
  // {"group": "name", "layers": [...]}]}.
  void AddMap(const std::string& jsonPath);

  // Clicks the command with `person` at the screen; throws RunError when the command
  // is not there or not enabled, or when the person could not do what they meant to.
  void Click(const std::string& commandName, std::function<void(HWND)> person);
  // Clicks a command whose dialog stays open beside the map (a modeless one) and gives
  // that dialog, for the person to act in; throws RunError when the command is not
  // there or not enabled, or when no dialog opened.
  HWND Open(const std::string& commandName);

  // The message boxes shown during the run, as "caption: text".
  const std::vector<std::string>& boxes() const { return boxes_; }
  hostapp::HostSession& host() { return *host_; }

 private:
  std::unique_ptr<hostapp::HostSession> host_;
  std::ostream& out_;
  std::vector<std::string> boxes_;
  ui::automation::MessageBoxHandler previousBoxes_;
};

// Acts in a dialog as a person would, or throws RunError saying what could not be done.
void Must(bool done, const std::string& what);

// Says the warnings and notes among the findings, or throws RunError with the first
// error; findings before it are said first.
void Require(const checks::Findings& findings, std::ostream& out);

// Checks that a directory exists and can be written to, or throws RunError.
void RequireWritableDirectory(const std::string& directory);

// A raster band's cell type as the data library reads it, and in words.
using checks::BandCells;
using checks::CellsOfBands;

// The .shp file a tool writes for a shapefile name typed into its dialog, in the typed
// directory ("" for the current one), as the data library names it: a typed extension
// stays part of the name, and ".shp" is not doubled. Throws RunError for a name ending in
// ".shp" in other letters than lower case, which no tool can write.
std::string ShapefileToWrite(const std::string& directory, const std::string& name);
// The first file of a shapefile (its .shp, .shx or .dbf) that exists already, or "": the
// tools never write a shapefile over any of them.
std::string ExistingPartOf(const std::string& shapefile);

// Reads every record of a vector file's first layer, or throws RunError naming the first
// that cannot be read. GDAL hands out such a record (a file cut short, a damaged index)
// as a feature without a shape, which the tools would pass over as if it had none.
void RequireEveryRecord(const std::string& path);

// The number of features of a shapefile a tool has just written, every record of which
// reads back. One that does not (the disk filled while it was written) is removed, since
// the tool made it new, and RunError says so.
long long CountWrittenFeatures(const std::string& shapefile);

}  // namespace plenth::cli
