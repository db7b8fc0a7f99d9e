#include "apps/plenth/effortcommand.h"

#include <gdal_priv.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cmath>
#include <filesystem>
#include <map>
#include <sstream>
#include <vector>

#include "apps/plenth/hostrun.h"
#include "resources/resource.h"
#include "tools/effortsurface/surfacename.h"
#include "ui/window.h"

namespace plenth::cli {

namespace fs = std::filesystem;
namespace ua = ui::automation;

namespace {

// Ctrl-C while a run is followed: noted here, acted on by the loop that follows the run.
volatile std::sig_atomic_t interrupted = 0;
void OnInterrupt(int) { interrupted = 1; }

class InterruptHandler {
 public:
  InterruptHandler() {
    interrupted = 0;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;  // the run's reads and writes go on undisturbed
    sigaction(SIGINT, &action, &previous_);
  }
  ~InterruptHandler() { sigaction(SIGINT, &previous_, nullptr); }
  InterruptHandler(const InterruptHandler&) = delete;
  InterruptHandler& operator=(const InterruptHandler&) = delete;

 private:
  struct sigaction previous_ {};
};

// The directory and the file name of a typed path, as the dialog splits it.
std::pair<std::string, std::string> SplitTyped(const std::string& path) {
  const auto at = path.find_last_of("/\\:");
  return at == std::string::npos ? std::pair{std::string(), path} : std::pair{path.substr(0, at + 1), path.substr(at + 1)};
}

// The file the data library writes for a surface's name: a name without an extension
// becomes a GeoTIFF's.
std::string WrittenFile(const std::string& directory, const std::string& name) {
  const fs::path file = fs::path(directory.empty() ? "." : directory) / name;
  return file.has_extension() ? file.string() : file.string() + ".tif";
}

// Shows what the progress window shows, as it comes: on a terminal the log's lines with
// a progress bar (from its row marks, one per hundred rows) and the clock below them;
// elsewhere the log's lines and the clock's changes, one per line.
class Follower {
 public:
  Follower(std::ostream& out, bool terminal, int rows) : out_(out), terminal_(terminal), marks_((rows + 99) / 100) {}

  void Log(const std::string& text) {
    for (const char c : text) {
      if (c == '.' && line_.empty()) {
        ++marked_;
        dots_ += c;
      } else if (c == '\n') {
        EndLine();
      } else if (c != '\r') {
        line_ += c;
      }
    }
    Draw();
  }
  void Clock(const std::string& clock) {
    if (clock == clock_) return;
    clock_ = clock;
    if (!terminal_) out_ << "clock " << clock << "\n" << std::flush;
    Draw();
  }
  // The line under way is shown whole, and the bar taken away.
  void Finish() {
    if (!line_.empty() || !dots_.empty()) EndLine();
    if (terminal_ && drawn_) out_ << "\r\033[K" << std::flush;
    drawn_ = false;
  }
  const std::string& clock() const { return clock_; }

 private:
  void EndLine() {
    if (terminal_ && drawn_) out_ << "\r\033[K";
    drawn_ = false;
    out_ << dots_ << line_ << "\n";
    dots_.clear();
    line_.clear();
  }
  void Draw() {
    if (!terminal_) return out_.flush(), void();
    const int width = 30;
    const int done = marks_ > 0 ? std::min(marked_, marks_) : 0;
    const int filled = marks_ > 0 ? done * width / marks_ : 0;
    out_ << "\r\033[K[" << std::string(static_cast<std::size_t>(filled), '#')
         << std::string(static_cast<std::size_t>(width - filled), '-') << "] " << (marks_ > 0 ? done * 100 / marks_ : 0)
         << "%  " << clock_ << std::flush;
    drawn_ = true;
  }

  std::ostream& out_;
  bool terminal_;
  int marks_;
  int marked_ = 0;
  std::string dots_, line_, clock_;
  bool drawn_ = false;
};

// The file named by the log's opening lines, or "".
std::string LogFileOf(const std::string& log) {
  for (const std::string prefix : {"Opened Logfile : "}) {
    const auto at = log.find(prefix);
    if (at == std::string::npos) continue;
    const auto end = log.find("\r\n", at);
    return log.substr(at + prefix.size(), end == std::string::npos ? std::string::npos : end - at - prefix.size());
  }
  return {};
}

}  // namespace

std::string EffortSurface(const GridRun& run, const EffortArgs& args, std::ostream& out, bool terminal) {
  HostRun host(run.modulePath, out);
  // The five layers; one file may serve several inputs under one name.
  const std::pair<const char*, std::string> given[] = {{"DEM", args.dem},         {"trails", args.trails},
                                                       {"roads", args.roads},     {"streams", args.streams},
                                                       {"ground cover", args.cover}};
  std::map<std::string, std::string> pathByName;
  std::vector<LayerArg> layers;
  for (const auto& [what, text] : given) {
    const LayerArg layer = ParseLayerArg(text);
    const auto [at, added] = pathByName.emplace(layer.name, layer.path);
    if (!added && fs::path(at->second) != fs::path(layer.path))
      throw RunError("two rasters are named " + layer.name + "; name them apart with NAME=PATH");
    if (added) host.AddLayer(layer);
    layers.push_back(layer);
  }
  if (!run.mapFile.empty()) host.AddMap(run.mapFile);

  // What would make the result meaningless, said before the click.
  Require(checks::EffortSurfaceInputs(layers[0].path, layers[1].path, layers[3].path, layers[4].path), out);
  const int demRows = checks::OpenRaster(layers[0].path)->GetRasterYSize();
  const auto [directory, name] = SplitTyped(args.outPath);
  RequireWritableDirectory(directory);
  const std::string surfaceName = SurfaceName(name);
  const std::string written = WrittenFile(directory, surfaceName);
  if (surfaceName != name)
    out << "note: the output's name is cut to 7 characters (a typed .tif kept): the run will write " << written
        << "\n";
  const bool existed = fs::exists(written);
  if (existed) out << "warning: " << written << " exists already; the run will not write over it\n";

  host.Click("PlenthTools_EffortSurface", [&](HWND dialog) {
    const int lists[] = {IDC_EFFORT_DEM, IDC_EFFORT_TRAILS, IDC_EFFORT_ROADS, IDC_EFFORT_STREAMS, IDC_EFFORT_GROUNDCOVER};
    for (std::size_t i = 0; i < 5; ++i)
      Must(ua::Pick(GetDlgItem(dialog, lists[i]), layers[i].name), "pick the layer " + layers[i].name);
    if (args.zFactor) Must(ua::Replace(GetDlgItem(dialog, IDC_EFFORT_ZFACTOR), *args.zFactor), "type the Z factor");
    // A bare name is typed with its directory: the dialog would take the current directory
    // without a separator, and the log would go beside it, as "<parent>/<dir>EffortSurface_log.txt".
    Must(ua::Type(GetDlgItem(dialog, IDC_OUTPUT_PATH), directory.empty() ? "./" + args.outPath : args.outPath),
         "type the output path");
    Must(ua::Click(dialog, IDOK), "press OK");
  });
  const HWND progress = ua::FindWindowByCaption("Operation Progress");
  if (!progress)
    throw RunError("the run did not start" + (host.boxes().empty() ? std::string() : " (" + host.boxes().back() + ")"));

  // Follow the run until its window offers Close, or Ctrl-C presses Cancel.
  const HWND pane = GetDlgItem(progress, IDC_PROGRESS_PANE), clock = GetDlgItem(progress, IDC_PROGRESS_CLOCK);
  const HWND button = GetDlgItem(progress, IDCANCEL);
  Follower follower(out, terminal, demRows);
  std::string log;
  bool cancelled = false;
  {
    const InterruptHandler handler;
    while (true) {
      ua::PumpUntil(
          [&] {
            return interrupted || static_cast<std::size_t>(GetWindowTextLength(pane)) != log.size() ||
                   ua::Text(clock) != follower.clock() || ua::Text(button) == "Close";
          },
          std::chrono::seconds(1));
      const std::string now = ua::Text(pane);
      follower.Log(now.compare(0, log.size(), log) == 0 ? now.substr(log.size()) : now);
      log = now;
      follower.Clock(ua::Text(clock));
      if (ua::Text(button) == "Close") break;
      if (interrupted) {
        cancelled = true;
        break;
      }
    }
  }
  follower.Finish();
  const std::string logFile = LogFileOf(log);
  if (cancelled) {
    out << "Ctrl-C: Cancel pressed\n";
    Must(ua::Click(progress, IDCANCEL), "press Cancel");
    // A surface the run had begun stays on disk as it was left.
    const std::string left =
        !existed && fs::exists(written) ? "the unfinished surface is left on disk as " + written + "; " : "";
    throw RunError("cancelled; " + left +
                   (logFile.empty() ? std::string("the log could not be written") : "the log is kept in " + logFile));
  }
  Must(ua::Click(progress, IDCANCEL), "press Close");
  out << "finished in " << follower.clock() << (logFile.empty() ? "" : ", log in " + logFile) << "\n";
  if (log.size() < 20 || log.compare(log.size() - 20, 20, "Operation Complete\r\n") != 0) {
    std::string last = log.substr(0, log.find_last_not_of("\r\n") + 1);
    last = last.substr(last.find_last_of("\n") == std::string::npos ? 0 : last.find_last_of("\n") + 1);
    // The line as the log has it, without the progress marks that may lead it.
    last = last.substr(last.find_first_not_of(". ") == std::string::npos ? 0 : last.find_first_not_of(". "));
    // The tool gives one line for any input whose cells it could not read.
    if (last.rfind("Insufficient memory", 0) == 0)
      last += " (an input's cells could not be read: a raster cut short or damaged gives this too)";
    throw RunError("the effort surface was not written: " + last);
  }
  return written;
}

}  // namespace plenth::cli
