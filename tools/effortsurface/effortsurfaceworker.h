// The effort surface run: from the DEM, trails, streams and ground-cover rasters named in
// EffortParams, a new four-band FLOAT raster of travel costs, with its log in the
// progress window's pane. Rasters larger than memory are run in strips of rows.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include "ui/types.h"

namespace plenth {

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
