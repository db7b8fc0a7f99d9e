#include "tools/effortsurface/effortsurfaceworker.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <exception>
#include <limits>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "com/bstr.h"
#include "com/classes.h"
#include "com/utf8.h"
#include "data/layers.h"
#include "data/processlog.h"
#include "gis/gis.h"
#include "resources/resource.h"
#include "tools/effortsurface/effortkernel.h"
#include "tools/effortsurface/effortparams.h"
#include "ui/window.h"

namespace plenth {
namespace {

// Rows are computed and written in strips of whole hundreds, so that each strip's
// progress marks are those of its own rows.
constexpr std::int64_t kStripUnit = 100;

// Grids of at least this many cells are run in several strips even when memory would hold
// them whole, so that the reads of the next strip and the writes of the last one overlap
// the computing of this one: about kOverlapStrips strips of at least kOverlapRows rows
// (several bands of 100 rows, which the kernel shares among its threads).
constexpr std::int64_t kOverlapCells = 1000000;
constexpr std::int64_t kOverlapStrips = 8;
constexpr std::int64_t kOverlapRows = 400;

enum class Role { Dem, Trails, Streams, GroundCover };

// One input raster as the run holds it: its first band, its cell type and no-data value.
struct Input {
  Input(Role r, const char* n, const EffortJob::Source* s) : role(r), name(n), source(s) {}

  Role role;
  const char* name;  // as the log names it
  const EffortJob::Source* source;
  com::ComPtr<RasterDataset> dataset;
  com::ComPtr<RasterBand> band;
  LONG type = 0;
  double noData = std::numeric_limits<double>::quiet_NaN();  // NaN: the band has none
  bool hasNoData = false;
  com::ComPtr<RawPixels> raw;

  bool Wide() const { return role != Role::Dem && PixelTypeBytes(type) > 1; }
};

// The band's no-data value as the trails and streams rules take it for a one-byte raster:
// its lowest-order byte (a value the type cannot hold by the low-order bits of its whole
// part). A band without one counts 0 as off the trails and streams.
std::uint8_t NoDataByte(const Input& in) {
  if (!in.hasNoData || std::isnan(in.noData)) return 0;
  const double v = in.noData;
  if (v >= 0x1p63) return 0xFF;
  if (v < -0x1p63) return 0;
  return static_cast<std::uint8_t>(static_cast<std::uint64_t>(static_cast<std::int64_t>(v)));
}

// The ground-cover codes the table names; any other value costs as the table's default.
bool IsCoverCode(double v) { return v == 1 || v == 2 || v == 4 || v == 5 || v == 6 || v == 7 || v == 9; }

// The cells of a class raster wider than one byte, as the kernel takes them: for trails
// and streams 1 where a cell differs from the band's no-data value (and 0, the kernel's
// no-data byte, where it does not); for the ground cover the code where it is one of the
// table's, else 0, which costs as the default.
void ToBytes(const Input& in, const void* data, std::uint8_t* out, std::size_t count) {
  VisitPixelType(in.type, [&]<class T>() {
    const T* cells = static_cast<const T*>(data);
    if (in.role == Role::GroundCover) {
      for (std::size_t i = 0; i < count; ++i) {
        const double v = static_cast<double>(cells[i]);
        out[i] = IsCoverCode(v) ? static_cast<std::uint8_t>(v) : 0;
      }
      return;
    }
    const double noData = in.hasNoData ? in.noData : 0.0;
    const bool nanNoData = std::isnan(noData);
    for (std::size_t i = 0; i < count; ++i) {
      const double v = static_cast<double>(cells[i]);
      out[i] = (v == noData || (nanNoData && std::isnan(v))) ? 0 : 1;
    }
  });
}

// The cells of one strip of every input, with the row above and below it: each input's
// block and its cells, and for a class raster whose cells are wider than one byte, those
// cells as the kernel takes them.
struct InputStrip {
  struct Cells {
    com::ComPtr<PixelBlock> block;
    com::ComPtr<CellArray> array;
    void* data = nullptr;
    std::vector<std::uint8_t> bytes;
  };
  std::array<Cells, 4> cells;
  std::int64_t first = 0;       // the strip's first row
  int failed = -1;              // the input whose read failed, or -1
  std::exception_ptr error;     // a failure the data library raised instead of answering
};

// The costs of one strip: each band's block and its cells (or cells of the run's own, when
// the strip is handed on instead of written).
struct OutputStrip {
  struct Band {
    com::ComPtr<PixelBlock> block;
    com::ComPtr<CellArray> cells;
    float* data = nullptr;  // the block's cells, or the caller's where it places the strips
  };
  std::array<Band, 4> bands;
  std::int64_t first = 0;
  bool failed = false;       // a band's write failed
  std::exception_ptr error;  // a failure the data library raised instead of answering
};

// Strips handed from one thread to another, in order; Close lets the taker end once the
// strips given are taken.
template <class T>
class Handover {
 public:
  void Give(T item) {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      items_.push_back(item);
    }
    changed_.notify_all();
  }
  // The next strip, or false once the handover is closed and empty.
  bool Take(T& item) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return !items_.empty() || closed_; });
    if (items_.empty()) return false;
    item = items_.front();
    items_.pop_front();
    return true;
  }
  void Close() {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      closed_ = true;
    }
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<T> items_;
  bool closed_ = false;
};

class Run {
 public:
  Run(const EffortJob& job, const std::atomic<bool>& stop, const EffortRunOptions& options,
      const EffortRunHooks& hooks)
      : window_(hooks.window), stop_(stop), options_(options), hooks_(hooks), params_(job) {}
  ~Run() { Release(); }
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;

  int Go() {
    // 1. The log, beside the output: the output directory's first 119 characters.
    const std::string logPath =
        std::string(com::CutUtf8(params_.outputDirectory, 119)) + "EffortSurface_" + "log.txt";
    if (Stopped()) return 0;
    if (hooks_.openLog) OpenLog(logPath.c_str(), window_ ? GetDlgItem(window_, IDC_PROGRESS_PANE) : nullptr);

    inputs_ = {Input(Role::Dem, "DEM", &params_.dem), Input(Role::Trails, "Trails", &params_.trails),
               Input(Role::Streams, "Streams", &params_.streams),
               Input(Role::GroundCover, "Groundcover", &params_.groundCover)};
    // 2. The datasets, in order; the roads are not read.
    for (Input& in : inputs_) {
      if (Stopped()) return 0;
      in.dataset = OpenRasterDataset(in.source->directory.c_str(), in.source->name.c_str());
      if (!in.dataset) return Fail(FormatLogMessage("Unable to access input %s dataset\r\n", in.name));
    }
    // 3. Their first bands.
    for (Input& in : inputs_) {
      auto bands = in.dataset.query<RasterBandCollection>();
      LONG count = 0;
      if (!bands || FAILED(bands->get_Count(&count)) || count < 1) return Fail({});
      if (FAILED(bands->Item(0, in.band.put())) || !in.band) return Fail({});
    }
    // 4. Cell types and no-data values; every input of a type the run takes and on the
    // DEM's grid.
    for (Input& in : inputs_) {
      auto props = in.band.query<RasterProps>();
      com::Variant noData;
      LONG width = 0, height = 0;
      if (!props || FAILED(props->get_PixelType(&in.type)) || FAILED(props->get_NoDataValue(noData.put())) ||
          FAILED(props->get_Width(&width)) || FAILED(props->get_Height(&height)))
        return Fail("Unable to access input raster data\r\n");
      if (!IsCellType(in.type))
        return Fail(FormatLogMessage("Input %s dataset has cells of type %s, which the effort surface does not take\r\n",
                                     in.name, gis::CellTypeName(in.band.get()).c_str()));
      in.hasNoData = noData.vt() != VT_EMPTY;
      if (in.hasNoData && FAILED(noData.ToDouble(&in.noData))) return Fail("Unable to access input raster data\r\n");
      if (width != params_.columns || height != params_.rows)
        return Fail(FormatLogMessage("Input %s dataset is %d x %d cells, not the DEM's %d x %d\r\n", in.name,
                                     static_cast<int>(width), static_cast<int>(height), params_.columns,
                                     params_.rows));
    }
    // 5. Strips of whole hundreds of rows over the rows asked for, as many as the memory
    // for them allows: two strips of each input and two of the bands are held at once.
    columns_ = params_.columns;
    rows_ = params_.rows;
    firstRow_ = std::clamp<std::int64_t>(hooks_.firstRow, 0, rows_);
    endRow_ = hooks_.endRow < 0 ? rows_ : std::clamp<std::int64_t>(hooks_.endRow, firstRow_, rows_);
    std::int64_t bytesPerCell = 16;  // the four bands
    if (!hooks_.fill)
      for (const Input& in : inputs_) bytesPerCell += PixelTypeBytes(in.type) + (in.Wide() ? 1 : 0);
    const std::int64_t rows = std::max<std::int64_t>(endRow_ - firstRow_, 1);
    stripRows_ = std::min(EffortStripRows(columns_, 2 * bytesPerCell, options_.stripBytes), rows);
    if (rows * columns_ >= kOverlapCells) {
      const std::int64_t share = (rows + kOverlapStrips - 1) / kOverlapStrips;
      stripRows_ = std::min(stripRows_, std::max(kOverlapRows, (share + kStripUnit - 1) / kStripUnit * kStripUnit));
    }
    // 6. The cells of the first strip of each input, with the row below it (the row above
    // the grid reads as no-data and is never used).
    if (!hooks_.fill) {  // else the costs come from elsewhere
      for (Input& in : inputs_) {
        in.raw = in.band.query<RawPixels>();
        if (!in.raw) return Fail("Unable to access raw raster data\r\n");
      }
      if (!MakeInputStrip(inStrips_[0]) || ReadStrip(inStrips_[0], firstRow_) >= 0)
        return Fail("ERROR\r\n Insufficient memory to allocate pixel cache buffer\r\n");
    }
    // 7-9. The output dataset and its four bands, unless the strips go where the caller places them.
    if (!hooks_.place)
      if (const int failed = CreateOutput(); failed >= 0) return failed;
    // 10-11. The costs, strip by strip, and the bands written: the next strip is read and
    // the last one written while this one is computed (or filled from elsewhere).
    if (const int failed = StartHelpers(); failed >= 0) return failed;
    int k = 0;
    for (std::int64_t first = firstRow_; first < endRow_; first += stripRows_, ++k) {
      const std::int64_t height = std::min(stripRows_, endRow_ - first);
      InputStrip* in = &inStrips_[0];
      if (!hooks_.fill) {
        if (k > 0 && (!reads_.Take(in) || in->first != first)) return FailDeleting({});  // no strip: stopped
        if (in->error) std::rethrow_exception(in->error);
        if (in->failed >= 0)
          return FailDeleting(FormatLogMessage("Unable to read input %s raster data\r\n", inputs_[static_cast<std::size_t>(in->failed)].name));
      }
      // A strip of bands written (the one before the last): the writer reports here the
      // failure of a strip two before this one, so always after the same marks.
      OutputStrip* out = &outStrips_[0];
      if (!hooks_.place && (!freeOut_.Take(out) || out->failed || out->error)) return WriteFailure();
      out->first = first;
      if (hooks_.place) {
        float* bands[4] = {};
        if (Stopped() || !hooks_.place(first, height, bands)) return Halt();
        for (std::size_t b = 0; b < 4; ++b) out->bands[b].data = bands[b];
      }
      if (hooks_.fill) {
        float* const bands[4] = {out->bands[0].data, out->bands[1].data, out->bands[2].data, out->bands[3].data};
        if (Stopped() || !hooks_.fill(first, height, bands)) return Halt();
      } else {
        if (!Compute(*in, *out)) return 0;  // stopped
        freeIn_.Give(in);
      }
      if (hooks_.place) continue;
      if (Stopped()) return 0;
      writes_.Give(out);
    }
    // Every strip written, and the bands' caches returned, so that the surface is whole on
    // disk before the run says so.
    StopHelpers();
    for (const OutputStrip& out : outStrips_)
      if (out.failed || out.error) return WriteFailure();
    if (Stopped()) return 0;
    for (auto& band : bands_)
      if (band.raw && FAILED(band.raw->ReturnCache(band.cache.get()))) return FailWriting();
    finished_ = true;
    Release();
    if (!Say("Operation Complete\r\n")) return 0;
    Done();
    return 1;
  }

 private:
  // An output band: the band, its raw cell access and its pixel cache.
  struct Band {
    com::ComPtr<RasterBand> band;
    com::ComPtr<RawPixels> raw;
    com::ComPtr<IUnknown> cache;
  };

  bool Stopped() const { return halted_ || stop_.load(std::memory_order_acquire); }

  // A stop asked for by a hook: the run ends as one stopped by `stop` does.
  int Halt() {
    halted_ = true;
    return 0;
  }

  // Logs a line unless the run has been stopped; false when it has.
  bool Say(const std::string& line) {
    if (Stopped()) return false;
    LogMessage(line.c_str());
    return true;
  }

  void Done() {
    if (!Stopped() && window_) PostMessage(window_, WM_WORK_DONE, 0, 0);
  }

  // An ending before the surface is written: its line (if any), what the run holds let
  // go, then WM_WORK_DONE.
  int Fail(const std::string& line) {
    StopHelpers();
    if (!line.empty()) Say(line);
    Release();
    Done();
    return 0;
  }

  // A surface that could not be written whole is deleted: the part written would look
  // like a result (and would stop the next run, which never writes over a dataset).
  int FailDeleting(const std::string& line) {
    StopHelpers();
    outStrips_ = {};
    bands_.clear();
    if (output_) output_->Delete();
    output_.reset();
    return Fail(line);
  }
  int FailWriting() {
    return FailDeleting(FormatLogMessage("Unable to write Raster dataset '%s'\r\n", params_.outputName.c_str()));
  }

  // The ending for a strip the writer could not write.
  int WriteFailure() {
    StopHelpers();
    for (const OutputStrip& out : outStrips_)
      if (out.error) std::rethrow_exception(out.error);
    return FailWriting();
  }

  // Lets go of what the run holds; a surface begun and not finished goes too when the
  // hooks ask for it.
  void Release() {
    StopHelpers();
    inStrips_ = {};
    outStrips_ = {};
    bands_.clear();
    if (output_ && !finished_ && hooks_.removeUnfinished) output_->Delete();
    output_.reset();
    inputs_.clear();
  }

  // The blocks of one strip of every input, stripRows_ rows with the row above and below.
  bool MakeInputStrip(InputStrip& strip) {
    const std::int64_t height = stripRows_ + 2;
    const auto size = gis::MakeXYPair(static_cast<double>(columns_), static_cast<double>(height));
    for (std::size_t i = 0; i < inputs_.size(); ++i) {
      Input& in = inputs_[i];
      InputStrip::Cells& c = strip.cells[i];
      if (FAILED(in.raw->CreatePixelBlock(size.get(), c.block.put())) || !c.block) return false;
      if (FAILED(c.block->GetPlane(0, c.array.put())) || !c.array) return false;
      if (FAILED(c.array->Data(&c.data)) || !c.data) return false;
      if (in.Wide()) {
        try {
          c.bytes.resize(static_cast<std::size_t>(columns_ * height));
        } catch (const std::bad_alloc&) {
          return false;
        }
      }
    }
    return true;
  }

  // Reads the rows of the strip starting at `first` and the rows above and below it, and
  // the cells the kernel takes; the input whose read failed, or -1.
  int ReadStrip(InputStrip& strip, std::int64_t first) {
    strip.first = first;
    const auto topLeft = gis::MakeXYPair(0, static_cast<double>(first - 1));
    for (std::size_t i = 0; i < inputs_.size(); ++i) {
      const Input& in = inputs_[i];
      InputStrip::Cells& c = strip.cells[i];
      if (FAILED(in.raw->Read(topLeft.get(), c.block.get()))) return strip.failed = static_cast<int>(i);
      if (in.Wide()) ToBytes(in, c.data, c.bytes.data(), c.bytes.size());
    }
    return strip.failed = -1;
  }

  // The output raster as the DEM's grid (or the rows asked for of it): four FLOAT bands of
  // no-data -1, and the blocks of two strips of them. The failure's ending, or -1 when the
  // bands are ready.
  int CreateOutput() {
    if (Stopped()) return 0;
    auto factory = com::CreateInstance<WorkspaceFactory>(CLSID_RasterWorkspaceFactory);
    com::ComPtr<Workspace> workspace;
    if (factory)
      factory->OpenFromFile(com::BStr(params_.outputDirectory).get(), reinterpret_cast<OLE_HANDLE>(window_),
                            workspace.put());
    if (!workspace)
      return Fail(FormatLogMessage("Unable to open directory '%s'\r\n", params_.outputDirectory.c_str()));
    auto rasters = workspace.query<RasterWorkspace>();
    if (!rasters) return Fail("Hey");
    // The DEM's own cells, so that the surface lies exactly on it (costs take the x size
    // alone, but the cells of a DEM need not be square); the rows asked for lie above the
    // DEM's lower-left corner by the rows below them.
    com::ComPtr<Point> lowerLeft = params_.lowerLeft;
    if (endRow_ < rows_ && lowerLeft) {
      double x = 0, y = 0;
      lowerLeft->get_X(&x);
      lowerLeft->get_Y(&y);
      lowerLeft = gis::MakePoint(x, y + static_cast<double>(rows_ - endRow_) * params_.cellHeight);
    }
    if (FAILED(rasters->CreateRasterDataset(com::BStr(params_.outputName).get(), com::BStr("GRID").get(),
                                            lowerLeft.get(), params_.columns, static_cast<LONG>(endRow_ - firstRow_),
                                            params_.cellWidth, params_.cellHeight, 4,
                                            PT_FLOAT, params_.spatialReference.get(), VARIANT_TRUE,
                                            output_.put())) ||
        !output_)
      return Fail(FormatLogMessage("Unable to create Raster dataset '%s'\r\n", params_.outputName.c_str()));
    auto collection = output_.query<RasterBandCollection>();
    if (!collection) return Fail("Hey");
    const auto size = gis::MakeXYPair(static_cast<double>(columns_), static_cast<double>(stripRows_));
    const auto origin = gis::MakeXYPair(0, 0);
    bands_.resize(4);
    for (LONG k = 0; k < 4; ++k) {
      Band& b = bands_[static_cast<std::size_t>(k)];
      if (FAILED(collection->Item(k, b.band.put())) || !b.band) return Fail("Hey2");
      auto props = b.band.query<RasterProps>();
      if (!props) return Fail("Hey3");
      props->put_NoDataValue(com::Variant::R4(-1.0f).get());
      b.raw = b.band.query<RawPixels>();
      if (!b.raw) return Fail("Hey4");
      b.raw->AcquireCache(b.cache.put());
      for (std::size_t s = 0; s < outStrips_.size(); ++s) {
        OutputStrip::Band& o = outStrips_[s].bands[static_cast<std::size_t>(k)];
        if (FAILED(b.raw->CreatePixelBlock(size.get(), o.block.put())) || !o.block) return Fail("Hey5");
        // The first strip's blocks as the new bands hold them; the kernel fills every cell
        // of a strip's rows, so the others need no read.
        if (s == 0 && FAILED(b.raw->Read(origin.get(), o.block.get()))) return Fail("Hey6");
        void* data = nullptr;
        if (FAILED(o.block->GetPlane(0, o.cells.put())) || !o.cells || FAILED(o.cells->Data(&data)) || !data)
          return Fail("Hey7");
        o.data = static_cast<float*>(data);
      }
    }
    return -1;
  }

  // The helpers: a reader of the strips after the first, each into a strip of cells the
  // run has done with, and a writer of the computed strips (when the surface is written),
  // each handing the strip back once written. The failure's ending, or -1.
  int StartHelpers() {
    const std::int64_t strips = (endRow_ - firstRow_ + stripRows_ - 1) / stripRows_;
    if (strips > 1 && !hooks_.fill) {
      // The second strip's cells; the first strip's come back once computed.
      if (!MakeInputStrip(inStrips_[1])) return FailDeleting("ERROR\r\n Insufficient memory to allocate pixel cache buffer\r\n");
      freeIn_.Give(&inStrips_[1]);
      reader_ = std::thread([this] { ReadStrips(); });
    }
    if (!hooks_.place) {
      for (OutputStrip& out : outStrips_) freeOut_.Give(&out);
      writer_ = std::thread([this] { WriteStrips(); });
    }
    return -1;
  }

  // Ends the helpers: the reader at its next strip, the writer once it has written the
  // strips given (or at once when the run is stopped).
  void StopHelpers() {
    helpersStopping_.store(true, std::memory_order_release);
    freeIn_.Close();
    writes_.Close();
    if (reader_.joinable()) reader_.join();
    if (writer_.joinable()) writer_.join();
  }

  void ReadStrips() {
    for (std::int64_t first = firstRow_ + stripRows_; first < endRow_; first += stripRows_) {
      InputStrip* strip = nullptr;
      if (!freeIn_.Take(strip) || helpersStopping_.load(std::memory_order_acquire)) break;
      try {
        ReadStrip(*strip, first);
      } catch (...) {
        strip->error = std::current_exception();
      }
      reads_.Give(strip);
      if (strip->failed >= 0 || strip->error) break;
    }
    reads_.Close();
  }

  void WriteStrips() {
    OutputStrip* strip = nullptr;
    bool failed = false;  // no strip is written after one that failed
    while (writes_.Take(strip)) {
      if (!failed) {
        try {
          strip->failed = !WriteStrip(*strip);
        } catch (...) {
          strip->error = std::current_exception();
        }
        failed = strip->failed || strip->error;
      }
      freeOut_.Give(strip);
    }
    freeOut_.Close();
  }

  // Writes a strip's four bands, each unless the run has been stopped; false when a write
  // failed.
  bool WriteStrip(OutputStrip& strip) {
    const auto topLeft = gis::MakeXYPair(0, static_cast<double>(strip.first - firstRow_));
    for (std::size_t k = 0; k < bands_.size(); ++k) {
      if (Stopped()) return true;
      OutputStrip::Band& o = strip.bands[k];
      if (FAILED(o.block->PutPlane(0, o.cells.get())) || FAILED(bands_[k].raw->Write(topLeft.get(), o.block.get())))
        return false;
    }
    return true;
  }

  // One strip's costs; false when the run was stopped at one of its marks.
  bool Compute(const InputStrip& in, const OutputStrip& out) {
    const Input& dem = inputs_[0];
    const auto cellsOf = [&](std::size_t i) {
      return inputs_[i].Wide() ? in.cells[i].bytes.data() : static_cast<const std::uint8_t*>(in.cells[i].data);
    };
    const Input& trails = inputs_[1];
    const Input& streams = inputs_[2];
    const EffortGrids grids{cellsOf(1),
                            trails.Wide() ? std::uint8_t{0} : NoDataByte(trails),
                            cellsOf(2),
                            streams.Wide() ? std::uint8_t{0} : NoDataByte(streams),
                            reinterpret_cast<const std::int8_t*>(cellsOf(3)),
                            params_.rows,
                            params_.columns,
                            params_.cellSize};
    const EffortOutputs costs{out.bands[0].data, out.bands[1].data, out.bands[2].data, out.bands[3].data, -1.0f};
    const std::int64_t first = in.first;
    EffortRun run{&Run::Mark, this, options_.threads, {first, std::min(stripRows_, endRow_ - first), first - 1}};
    if (Stopped()) return false;
    // The DEM's no-data value, taken by the kernel as a value of its type; NaN when it has
    // none (then only NaN cells are no-data).
    return EffortKernel(dem.type, in.cells[0].data, dem.hasNoData ? dem.noData : std::nan(""), grids, costs, run);
  }

  // The kernel's progress mark: one "." per hundred rows, while the run goes on.
  static bool Mark(void* self, std::int32_t row) {
    auto* run = static_cast<Run*>(self);
    if (!run->Say(".")) return false;
    if (run->hooks_.mark && !run->hooks_.mark(row)) run->halted_ = true;
    return !run->Stopped();
  }

  HWND window_;
  const std::atomic<bool>& stop_;
  EffortRunOptions options_;
  const EffortRunHooks& hooks_;
  const EffortJob& params_;
  std::vector<Input> inputs_;
  std::vector<Band> bands_;
  com::ComPtr<RasterDataset> output_;
  std::int64_t columns_ = 0, rows_ = 0, stripRows_ = 0;
  std::int64_t firstRow_ = 0, endRow_ = 0;
  std::atomic<bool> halted_{false};  // a hook asked the run to stop
  bool finished_ = false;            // the surface is written whole
  // Two strips of each: one computed while the other is read or written.
  std::array<InputStrip, 2> inStrips_;
  std::array<OutputStrip, 2> outStrips_;
  Handover<InputStrip*> freeIn_, reads_;
  Handover<OutputStrip*> writes_, freeOut_;
  std::thread reader_, writer_;
  std::atomic<bool> helpersStopping_{false};
};

std::atomic<int> runsUnderWay{0};

}  // namespace

bool EffortRunUnderWay() { return runsUnderWay.load(std::memory_order_acquire) > 0; }

std::int64_t EffortStripRows(std::int64_t columns, std::int64_t bytesPerCell, std::int64_t stripBytes) {
  const std::int64_t rowBytes = std::max<std::int64_t>(columns, 1) * std::max<std::int64_t>(bytesPerCell, 1);
  return std::max<std::int64_t>(1, stripBytes / rowBytes / kStripUnit) * kStripUnit;
}

int EffortSurfaceWorker(HWND window, const std::atomic<bool>& stop, const EffortRunOptions& options) {
  EffortRunHooks hooks;
  hooks.window = window;
  return RunEffortSurface(EffortJobOf(TheEffortParams()), stop, options, hooks);
}

EffortJob EffortJobOf(const EffortParams& params) {
  const auto source = [](const EffortInput& in) { return EffortJob::Source{in.directory, in.datasetName}; };
  EffortJob job;
  job.dem = source(params.dem);
  job.trails = source(params.trails);
  job.streams = source(params.streams);
  job.groundCover = source(params.groundCover);
  job.outputDirectory = params.outputDirectory;
  job.outputName = params.outputName;
  job.columns = params.columns;
  job.rows = params.rows;
  job.cellSize = params.cellSize;
  job.cellWidth = params.cellWidth;
  job.cellHeight = params.cellHeight;
  job.spatialReference = params.spatialReference;
  job.lowerLeft = params.lowerLeft;
  return job;
}

int RunEffortSurface(const EffortJob& job, const std::atomic<bool>& stop, const EffortRunOptions& options,
                     const EffortRunHooks& hooks) {
  try {
    return Run(job, stop, options, hooks).Go();
  } catch (const std::exception& e) {
    // A failure the data library raised instead of answering: the run still ends as
    // every run does.
    if (!stop.load(std::memory_order_acquire)) {
      LogMessage(FormatLogMessage("Unable to complete the effort surface: %s\r\n", e.what()).c_str());
      if (hooks.window) PostMessage(hooks.window, WM_WORK_DONE, 0, 0);
    }
    return 0;
  }
}

EffortWorkerThread::~EffortWorkerThread() { Stop(); }

void EffortWorkerThread::Start(HWND window, const EffortRunOptions& options) {
  Join();
  stop_.store(false, std::memory_order_release);
  running_.store(true, std::memory_order_release);
  runsUnderWay.fetch_add(1, std::memory_order_acq_rel);
  const auto ended = [this] {
    runsUnderWay.fetch_sub(1, std::memory_order_acq_rel);
    running_.store(false, std::memory_order_release);
  };
  try {
    thread_ = std::thread([this, window, options, ended] {
      EffortSurfaceWorker(window, stop_, options);
      ended();
    });
  } catch (...) {
    ended();
    throw;
  }
}

void EffortWorkerThread::Stop() {
  stop_.store(true, std::memory_order_release);
  while (Running() && !ui::WaitServingSent([this] { return !Running(); }, std::chrono::hours(1))) {
  }
  Join();
}

void EffortWorkerThread::Join() {
  if (thread_.joinable()) thread_.join();
}

}  // namespace plenth
