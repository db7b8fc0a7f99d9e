#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "data/gridfilenumbers.h"
#include "data/gridstrips.h"
#include "platform/gis/pixeltype.h"

namespace plenth {
namespace {

// Runs one job at a time on a thread of its own while the caller goes on with its work;
// where no thread can be had, the job runs at once in the caller's.
class Helper {
 public:
  Helper() {
    try {
      thread_ = std::thread([this] { Loop(); });
    } catch (const std::system_error&) {
    }
  }
  ~Helper() {
    if (!thread_.joinable()) return;
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
    }
    wake_.notify_all();
    thread_.join();  // after the job in hand, if any
  }
  Helper(const Helper&) = delete;
  Helper& operator=(const Helper&) = delete;

  // Hands a job over; the one before must be done (Wait).
  void Start(std::function<void()> job) {
    if (!thread_.joinable()) return job();
    {
      std::lock_guard lock(mutex_);
      job_ = std::move(job);
      busy_ = true;
    }
    wake_.notify_all();
  }
  // Returns once the job handed over is done.
  void Wait() {
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return !busy_; });
  }

 private:
  void Loop() {
    std::unique_lock lock(mutex_);
    while (true) {
      wake_.wait(lock, [this] { return busy_ || quit_; });
      if (!busy_) return;
      const std::function<void()> job = std::move(job_);
      lock.unlock();
      job();
      lock.lock();
      busy_ = false;
      done_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_, done_;
  std::function<void()> job_;
  bool busy_ = false;
  bool quit_ = false;
  std::thread thread_;
};

// Cells formatted while the text before them is written: a quarter of a strip, about
// 4 MB of FLOAT text. Both threads format its chunks, taking the next one free, so that
// neither waits while the other writes, reads or formats.
constexpr std::size_t kPieceCells = std::size_t{1} << 18;
constexpr std::size_t kChunkCells = std::size_t{1} << 15;

// The tokens of cells [first, last) of a strip of rows of `columns` cells, with the line
// end after the last cell of each row.
char* FormatCells(char* out, int datatype, const unsigned char* cells, std::size_t first, std::size_t last,
                  std::size_t columns) {
  const auto bytes = static_cast<std::size_t>(PixelTypeBytes(datatype));
  for (std::size_t i = first; i < last;) {
    const std::size_t rowEnd = (i / columns + 1) * columns;
    const std::size_t stop = std::min(rowEnd, last);
    out = FormatGridValues(out, datatype, cells + i * bytes, stop - i);
    i = stop;
    if (i == rowEnd) {
      *out++ = '\r';
      *out++ = '\n';
    }
  }
  return out;
}

// The text of one piece of a strip, chunk by chunk.
class PieceText {
 public:
  PieceText(std::size_t pieceCells, int datatype)
      : room_(std::min(kChunkCells, pieceCells) * (GridTokenChars(datatype) + 2)),  // a token and a line end a cell
        text_(room_ * ((pieceCells + kChunkCells - 1) / kChunkCells)),
        length_((pieceCells + kChunkCells - 1) / kChunkCells) {}

  // The piece of cells [first, last) of a strip, none of it formatted yet.
  void Begin(const void* cells, std::size_t first, std::size_t last) {
    cells_ = static_cast<const unsigned char*>(cells);
    first_ = first;
    last_ = last;
    chunks_ = (last - first + kChunkCells - 1) / kChunkCells;
    next_.store(0, std::memory_order_relaxed);
  }
  // Formats chunks not yet taken until none is left; on either thread, or both at once.
  void Format(int datatype, std::size_t columns) {
    for (std::size_t c; (c = next_.fetch_add(1, std::memory_order_relaxed)) < chunks_;) {
      const std::size_t from = first_ + c * kChunkCells;
      char* out = text_.data() + c * room_;
      length_[c] = static_cast<std::size_t>(
          FormatCells(out, datatype, cells_, from, std::min(from + kChunkCells, last_), columns) - out);
    }
  }
  // Once both threads are done with it.
  void WriteTo(GridWriter& file) const {
    for (std::size_t c = 0; c < chunks_; ++c) file.Append(std::string_view(text_.data() + c * room_, length_[c]));
  }

 private:
  std::size_t room_;
  std::vector<char> text_;
  std::vector<std::size_t> length_;
  const unsigned char* cells_ = nullptr;
  std::size_t first_ = 0, last_ = 0, chunks_ = 0;
  std::atomic<std::size_t> next_{0};
};

std::size_t StripCells(const GridStrips& strips, std::int64_t strip, std::int64_t ncols, std::int64_t nrows) {
  const std::int64_t rows = std::min(strips.rowsPerStrip, nrows - strip * strips.rowsPerStrip);
  return static_cast<std::size_t>(rows) * static_cast<std::size_t>(ncols);
}

}  // namespace

bool WriteGridStrips(GridWriter& file, int datatype, std::int64_t ncols, std::int64_t nrows,
                     const GridStripSource& source, bool fetchAhead) {
  if (ncols <= 0 || nrows <= 0) return true;
  const GridStrips strips = StripsFor(ncols, nrows);
  const auto columns = static_cast<std::size_t>(ncols);
  const std::size_t pieceCells = std::min(kPieceCells, StripCells(strips, 0, ncols, nrows));
  PieceText pieces[2] = {PieceText(pieceCells, datatype), PieceText(pieceCells, datatype)};  // one written, one formatted
  int waiting = -1;  // the piece formatted and not yet written
  const auto writeWaiting = [&] {
    if (waiting >= 0) pieces[waiting].WriteTo(file);
    waiting = -1;
  };
  Helper helper;  // after the pieces: gone, and its job done, before they are

  const void* cells = source(0);
  if (!cells) return false;
  for (std::int64_t s = 0; s < strips.count; ++s) {
    const std::size_t total = StripCells(strips, s, ncols, nrows);
    const bool more = s + 1 < strips.count;
    const void* following = nullptr;
    bool fetched = false;
    for (std::size_t first = 0; first < total; first += pieceCells) {
      const std::size_t last = std::min(first + pieceCells, total);
      PieceText& piece = pieces[waiting == 0 ? 1 : 0];
      piece.Begin(cells, first, last);
      helper.Start([&piece, datatype, columns] { piece.Format(datatype, columns); });
      writeWaiting();
      if (last == total && more && fetchAhead) {
        following = source(s + 1);  // the cells being formatted stay as they are
        fetched = true;
      }
      piece.Format(datatype, columns);  // what the helper has not taken yet
      helper.Wait();
      waiting = &piece == &pieces[0] ? 0 : 1;
    }
    if (!more) break;
    if (!fetched) {
      writeWaiting();
      following = source(s + 1);
    }
    if (!following) {
      writeWaiting();  // every row before the strip that could not be had
      return false;
    }
    cells = following;
  }
  writeWaiting();
  return true;
}

struct GridStripReader::Ahead {
  std::vector<unsigned char> cells;
  std::int64_t strip = -1;  // the strip being read into `cells`, -1 for none
  std::size_t values = 0;
  Helper helper;
};

GridStripReader::GridStripReader(GridReader& file, int datatype, std::int64_t ncols, std::int64_t nrows)
    : file_(file), datatype_(datatype), ncols_(ncols), nrows_(nrows), strips_(StripsFor(ncols, nrows)) {
  if (ncols <= 0 || nrows <= 0 || !IsCellType(datatype)) return;
  try {
    ahead_ = std::make_unique<Ahead>();
    ahead_->cells.resize(StripCells(strips_, 0, ncols, nrows) * static_cast<std::size_t>(PixelTypeBytes(datatype)));
  } catch (const std::bad_alloc&) {
    ahead_.reset();  // then each strip is read when it is asked for
    return;
  }
  ahead_->strip = 0;
  const std::size_t wanted = StripCells(strips_, 0, ncols_, nrows_);
  ahead_->helper.Start([this, wanted] { ahead_->values = file_.ReadValues(datatype_, ahead_->cells.data(), wanted); });
}

GridStripReader::~GridStripReader() {
  if (ahead_) ahead_->helper.Wait();
}

std::size_t GridStripReader::Read(std::int64_t strip, void* cells) {
  const std::size_t wanted = StripCells(strips_, strip, ncols_, nrows_);
  std::size_t read;
  if (ahead_ && ahead_->strip == strip) {
    ahead_->helper.Wait();
    read = ahead_->values;
    std::memcpy(cells, ahead_->cells.data(), read * static_cast<std::size_t>(PixelTypeBytes(datatype_)));
    ahead_->strip = -1;
  } else {
    if (ahead_) ahead_->helper.Wait();
    read = file_.ReadValues(datatype_, cells, wanted);
  }
  const std::int64_t next = strip + 1;
  if (ahead_ && read == wanted && next < strips_.count) {  // a file that ran out has nothing more
    const std::size_t nextWanted = StripCells(strips_, next, ncols_, nrows_);
    ahead_->strip = next;
    ahead_->helper.Start(
        [this, nextWanted] { ahead_->values = file_.ReadValues(datatype_, ahead_->cells.data(), nextWanted); });
  }
  return read;
}

}  // namespace plenth
