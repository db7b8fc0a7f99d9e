// The effort surface run: from the DEM, trails, streams and ground-cover rasters named in
// EffortParams, a new four-band FLOAT raster of travel costs, with its log in the
// progress window's pane. Rasters larger than memory are run in strips of rows.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "com/ptr.h"
#include "gis/gisapi.h"
#include "ui/types.h"

namespace plenth {

struct EffortParams;

// Posted to the progress window once per run, after the run's last log line.
constexpr UINT WM_WORK_DONE = WM_USER + 1;

// How a run holds its rasters: strips of whole rows (a multiple of 100, at least 100)
// whose cells take about `stripBytes`, inputs and outputs together; the kernel on
// `threads` threads (0: as many as there are cores, for strips large enough).
struct EffortRunOptions {
  std::int64_t stripBytes = std::int64_t{192} << 20;
  int threads = 0;
};

// The rows of each strip for a grid `columns` wide whose cells take `bytesPerCell`.
std::int64_t EffortStripRows(std::int64_t columns, std::int64_t bytesPerCell, std::int64_t stripBytes);

// The run, on the calling thread: logs into the pane (control 258) of the progress window
// and posts it WM_WORK_DONE when it ends, whichever way. `stop` is looked at before every
// log line, every strip of a band written and WM_WORK_DONE, and at every progress mark:
// once it is set the run writes none of them again and ends. 1 when the surface was
// written, else 0.
int EffortSurfaceWorker(HWND window, const std::atomic<bool>& stop, const EffortRunOptions& options = {});

// What a run reads and writes: each input raster's directory and dataset name, the
// output's directory (separator included) and name, and the DEM's grid.
struct EffortJob {
  struct Source {
    std::string directory;
    std::string name;
  };
  Source dem, trails, streams, groundCover;
  std::string outputDirectory;
  std::string outputName;
  std::int32_t columns = 0;
  std::int32_t rows = 0;
  float cellSize = 0;     // the DEM's x cell size: the distance the costs take
  double cellWidth = 0;   // the DEM's cells on the map: the surface's cells lie the same
  double cellHeight = 0;
  com::ComPtr<SpatialReference> spatialReference;
  com::ComPtr<Point> lowerLeft;  // of the DEM's extent
};
// The run the dialog's parameters describe.
EffortJob EffortJobOf(const EffortParams& params);

// A run away from the progress window: what it computes, where its costs go and what it
// tells whoever started it beside its log.
struct EffortRunHooks {
  // The progress window (its pane and WM_WORK_DONE), or none.
  HWND window = nullptr;
  // Whether the run opens the log beside its output; without, its lines go to whatever
  // log the calling thread has (ScopedThreadLog) and no log file is written.
  bool openLog = true;
  // The rows computed: [firstRow, endRow) of the DEM's grid (endRow -1: to its last
  // row), each strip read with the row above and below it. The raster written holds just
  // these rows, its top edge at the top of the first.
  std::int64_t firstRow = 0;
  std::int64_t endRow = -1;
  // Each progress mark (rows 0, 100, 200, ... of the grid); false stops the run.
  std::function<bool(std::int64_t row)> mark;
  // When set, no raster is made: the four bands of each strip are computed, in row order,
  // straight into the bands given here for its rows (`rows` rows of `columns` cells from
  // row `first`, each band's rows one after the other); false stops the run.
  std::function<bool(std::int64_t first, std::int64_t rows, float* bands[4])> place;
  // When set, the inputs' cells are not read and no costs are computed: the four bands of
  // each strip (`rows` rows of `columns` cells from row `first`) are filled here with the
  // costs computed elsewhere, and written as the run writes its own; false stops the run.
  std::function<bool(std::int64_t first, std::int64_t rows, float* const bands[4])> fill;
  // Whether a run that does not end takes away the raster it began.
  bool removeUnfinished = false;
};

// The run on a job; as EffortSurfaceWorker for the window of `hooks`.
int RunEffortSurface(const EffortJob& job, const std::atomic<bool>& stop, const EffortRunOptions& options,
                     const EffortRunHooks& hooks);

// Whether a run of any command is under way: the parameters and the log serve one run at
// a time.
bool EffortRunUnderWay();

// The worker thread of one run at a time.
class EffortWorkerThread {
 public:
  EffortWorkerThread() = default;
  ~EffortWorkerThread();
  EffortWorkerThread(const EffortWorkerThread&) = delete;
  EffortWorkerThread& operator=(const EffortWorkerThread&) = delete;

  // Starts a run for the window on a new thread (after ending the thread of the last
  // run, which must have returned); throws std::system_error when no thread can be made.
  void Start(HWND window, const EffortRunOptions& options = {});
  // Whether the run has not returned yet.
  bool Running() const { return running_.load(std::memory_order_acquire); }
  // Asks a running worker to stop and waits until it has returned, handling meanwhile the
  // messages it sends to this thread (its log lines), so the two never wait for each
  // other. Then nothing of the run writes to the log any more.
  void Stop();

 private:
  void Join();

  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> running_{false};
};

}  // namespace plenth
