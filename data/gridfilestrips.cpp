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

// A strip read ahead: the helper takes the text of the strip in from the file and reads
// the values of its first part while the caller stores the strip before; the caller,
// once back and once the text is in, reads the rest of the text (`second`), and the two
// parts are put together. The text of the strip is only guessed, from the bytes a value
// took so far: the split and the second part's end lie at white space, which no number
// spans, and wherever the guess is off, the values are still taken in order, the rest
// read one after the other.
struct GridStripReader::Ahead {
  std::vector<unsigned char> cells;   // the first part's values
  std::vector<unsigned char> second;  // the second part's
  std::vector<const char*> marks;    // where the second part's reading stood after each kMarkValues values
  std::int64_t strip = -1;           // the strip being read ahead, -1 for none
  std::size_t wanted = 0;
  const char* begin = nullptr;       // the text of the first part: [begin, split)
  const char* split = nullptr;       // and of the second: [split, end); split == end when none
  const char* end = nullptr;
  GridValueRun first;                // how far the first part got
  bool streamed = false;             // the helper read the strip from the file itself, in one part
  std::atomic<bool> textIn{false};   // the fields above are set: the caller may read its part
  double bytesPerValue = 0;          // of the strips read so far, 0 before the first
  Helper helper;
};

namespace {

constexpr std::size_t kMarkValues = 4096;
// The text taken in at once for a strip read in two parts; a longer strip's remainder
// is read after them.
constexpr std::size_t kMostSplitBytes = std::size_t{32} << 20;

}  // namespace

GridStripReader::GridStripReader(GridReader& file, int datatype, std::int64_t ncols, std::int64_t nrows)
    : file_(file), datatype_(datatype), ncols_(ncols), nrows_(nrows), strips_(StripsFor(ncols, nrows)) {
  if (ncols <= 0 || nrows <= 0 || !IsCellType(datatype)) return;
  const std::size_t cells = StripCells(strips_, 0, ncols, nrows);
  try {
    ahead_ = std::make_unique<Ahead>();
    ahead_->cells.resize(cells * static_cast<std::size_t>(PixelTypeBytes(datatype)));
    ahead_->second.resize(ahead_->cells.size());
    ahead_->marks.reserve(cells / kMarkValues + 1);
  } catch (const std::bad_alloc&) {
    ahead_.reset();  // then each strip is read when it is asked for
    return;
  }
  StartAhead(0);
}

GridStripReader::~GridStripReader() {
  if (ahead_) ahead_->helper.Wait();
}

void GridStripReader::StartAhead(std::int64_t strip) {
  Ahead& a = *ahead_;
  a.strip = strip;
  a.wanted = StripCells(strips_, strip, ncols_, nrows_);
  a.textIn.store(false);
  // The text the strip is likely to take, with a little to spare.
  const double perValue = a.bytesPerValue > 0 ? a.bytesPerValue : static_cast<double>(GridTokenChars(datatype_));
  const auto guess = static_cast<std::size_t>(std::min(perValue * static_cast<double>(a.wanted) * 1.05 + 64.0,
                                                       static_cast<double>(kMostSplitBytes)));
  a.helper.Start([this, &a, guess] {
    const auto textIn = [&a] {
      a.textIn.store(true);
      a.textIn.notify_one();
    };
    const auto stream = [&] {  // the whole strip from the file, value after value
      a.streamed = true;
      textIn();
      a.first.values = file_.ReadValues(datatype_, a.cells.data(), a.wanted);
    };
    bool final = false;
    std::string_view text;
    try {
      text = file_.Text(guess, &final);
    } catch (const std::bad_alloc&) {  // no room to take the strip's text in at once
      return stream();
    }
    a.begin = text.data();
    const char* last = text.data() + text.size();
    // The parts end at white space after half the guess, and after the guess (or the last
    // before the buffered text ends, unless that is the end of the file): the helper's part
    // as long as the caller's, which stores a strip before it reads.
    const auto blankFrom = [last](const char* p) {
      while (p < last && !IsGridSpace(*p)) ++p;
      return p;
    };
    a.split = blankFrom(a.begin + std::min(text.size(), guess / 2));
    a.end = blankFrom(a.begin + std::min(text.size(), guess));
    if (a.end == last && !final) {
      while (a.end > a.split && !IsGridSpace(a.end[-1])) --a.end;
    }
    if (a.split == last && !final) {  // one token past all of it: no part ends at white space
      a.split = a.end = nullptr;
      return stream();
    }
    a.streamed = false;
    textIn();
    a.first = ParseGridValues(a.begin, a.split, true, datatype_, a.cells.data(), a.wanted);
  });
}

std::size_t GridStripReader::Read(std::int64_t strip, void* cells) {
  const std::size_t wanted = StripCells(strips_, strip, ncols_, nrows_);
  std::size_t read;
  if (ahead_ && ahead_->strip == strip) {
    read = Gather(cells);
  } else {
    if (ahead_) ahead_->helper.Wait();
    read = file_.ReadValues(datatype_, cells, wanted);
  }
  if (ahead_ && read == wanted && strip + 1 < strips_.count) StartAhead(strip + 1);  // a file run out has no more
  return read;
}

// The values of the strip read ahead into `cells`: the caller's part read here while the
// helper finishes its own, then the two put together and the reader set after the last
// value taken.
std::size_t GridStripReader::Gather(void* cells) {
  Ahead& a = *ahead_;
  a.strip = -1;
  const auto bytes = static_cast<std::size_t>(PixelTypeBytes(datatype_));
  auto* out = static_cast<unsigned char*>(cells);
  a.textIn.wait(false);
  if (a.streamed) {
    a.helper.Wait();
    std::memcpy(out, a.cells.data(), a.first.values * bytes);
    return a.first.values;
  }
  // The second part, marking where reading stood every kMarkValues values.
  std::size_t got = 0;
  GridValueRun run{0, a.split, GridValueRun::kEndOfText};
  a.marks.clear();
  while (got < a.wanted && a.split < a.end) {
    run = ParseGridValues(run.next, a.end, true, datatype_, a.second.data() + got * bytes,
                          std::min(kMarkValues, a.wanted - got));
    got += run.values;
    if (run.stop != GridValueRun::kCount) break;
    a.marks.push_back(run.next);
  }
  a.helper.Wait();
  const GridValueRun& first = a.first;
  std::memcpy(out, a.cells.data(), first.values * bytes);
  std::size_t read = first.values;
  const char* next = first.next;
  if (first.stop == GridValueRun::kEndOfText && a.split < a.end) {  // the first part all numbers: on to the second
    const std::size_t take = std::min(a.wanted - read, got);
    std::memcpy(out + read * bytes, a.second.data(), take * bytes);
    read += take;
    if (take < got) {  // the second part went on into the next strip: back to after the last value taken
      const std::size_t whole = take / kMarkValues;
      const char* from = whole ? a.marks[whole - 1] : a.split;
      next = ParseGridValues(from, a.end, true, datatype_, a.second.data() + whole * kMarkValues * bytes,
                             take - whole * kMarkValues)
                 .next;
    } else {
      next = run.next;
      if (run.stop == GridValueRun::kNotANumber) {  // the reader cannot get past it
        file_.Consume(static_cast<std::size_t>(next - a.begin));
        return read;
      }
    }
  }
  file_.Consume(static_cast<std::size_t>(next - a.begin));
  if (read > 0) a.bytesPerValue = static_cast<double>(next - a.begin) / static_cast<double>(read);
  // Where the parts ended before the strip did: the rest one value after the other.
  if (read < a.wanted && first.stop != GridValueRun::kNotANumber)
    read += file_.ReadValues(datatype_, out + read * bytes, a.wanted - read);
  return read;
}

}  // namespace plenth
