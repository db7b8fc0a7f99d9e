#include "data/gridfile.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

#include "data/gridfilenumbers.h"
#include "platform/gis/pixeltype.h"

namespace plenth {
namespace {

constexpr std::size_t kBufferBytes = 1 << 20;
constexpr std::size_t kDirectBytes = 1 << 16;  // a text this long is written without a copy
constexpr std::size_t kMaxHeaderLine = 97;

char* FixedTo(char* out, double v, int decimals) {
  return std::to_chars(out, out + 400, v, std::chars_format::fixed, decimals).ptr;
}

// The low-order bits a cell keeps of a real, the reader's rule for integers: truncated
// toward zero, NaN as 0, values beyond 64 bits as the nearest 64-bit one.
std::uint64_t IntegerBits(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 0x1p63) return static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  if (v < -0x1p63) return static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::min());
  return static_cast<std::uint64_t>(static_cast<std::int64_t>(v));
}

// A real in single precision; beyond the largest float (and its half step) an infinity.
float ToFloat(double v) {
  if (std::fabs(v) >= 0x1.ffffffp127 && !std::isnan(v)) return std::signbit(v) ? -HUGE_VALF : HUGE_VALF;
  return static_cast<float>(v);
}

// The no-data value as a value of the cell type T: a real in T's precision, an integer's
// low-order bits.
template <class T>
T NoDataAs(double v) {
  if constexpr (std::is_same_v<T, float>) return ToFloat(v);
  else if constexpr (std::is_same_v<T, double>) return v;
  else return static_cast<T>(IntegerBits(v));  // conversion to a narrower integer keeps the low bits
}

// The value of a header line from its fixed column; false when it is missing.
bool FieldFrom(const std::string& line, std::size_t column, std::string_view* value) {
  if (line.size() <= column) return false;
  std::size_t i = column;
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
  if (i == line.size()) return false;
  *value = std::string_view(line).substr(i);
  return true;
}

bool IntegerField(const std::string& line, std::size_t column, std::int32_t* out) {
  std::string_view v;
  if (!FieldFrom(line, column, &v)) return false;
  if (!v.empty() && v.front() == '+') v.remove_prefix(1);
  return std::from_chars(v.data(), v.data() + v.size(), *out).ec == std::errc();
}

// Header reals are read in single precision and widened.
bool RealField(const std::string& line, std::size_t column, double* out) {
  std::string_view v;
  if (!FieldFrom(line, column, &v)) return false;
  if (!v.empty() && v.front() == '+') v.remove_prefix(1);
  float f;
  const auto r = std::from_chars(v.data(), v.data() + v.size(), f);
  if (r.ec != std::errc() || !std::isfinite(f)) return false;
  *out = f;
  return true;
}

}  // namespace

GridWriter::~GridWriter() { Close(); }

bool GridWriter::Open(const std::string& path) {
  Close();
  file_ = std::fopen(path.c_str(), "wb");
  buffer_.resize(kBufferBytes);
  used_ = 0;
  failed_ = false;
  return file_ != nullptr;
}

void GridWriter::Drain() {
  if (used_ && file_ && std::fwrite(buffer_.data(), 1, used_, file_) != used_) failed_ = true;
  used_ = 0;
}

bool GridWriter::Close() {
  if (!file_) return false;
  Drain();
  if (std::fflush(file_) != 0) failed_ = true;
  if (std::fclose(file_) != 0) failed_ = true;
  file_ = nullptr;
  return !failed_;
}

char* GridWriter::Reserve(std::size_t bytes) {
  if (used_ + bytes > buffer_.size()) {
    Drain();
    if (bytes > buffer_.size()) buffer_.resize(bytes);
  }
  return buffer_.data() + used_;
}

void GridWriter::Append(std::string_view text) {
  if (text.size() >= kDirectBytes) {
    Drain();
    if (file_ && std::fwrite(text.data(), 1, text.size(), file_) != text.size()) failed_ = true;
    return;
  }
  char* at = Reserve(text.size());
  std::memcpy(at, text.data(), text.size());
  Commit(at + text.size());
}

GridReader::~GridReader() { Close(); }

bool GridReader::Open(const std::string& path) {
  Close();
  file_ = std::fopen(path.c_str(), "rb");
  buffer_.resize(kBufferBytes);
  pos_ = end_ = 0;
  eof_ = false;
  return file_ != nullptr;
}

void GridReader::Close() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
}

// Keeps what is left unread and reads more of the file behind it, first doubling the
// buffer when what is left fills it (one token longer than the buffer); false when the
// file has no more.
bool GridReader::More() {
  if (eof_ || !file_) {
    eof_ = true;
    return false;
  }
  const std::size_t left = end_ - pos_;
  std::memmove(buffer_.data(), buffer_.data() + pos_, left);
  pos_ = 0;
  end_ = left;
  if (end_ == buffer_.size()) buffer_.resize(2 * buffer_.size());
  const std::size_t got = std::fread(buffer_.data() + end_, 1, buffer_.size() - end_, file_);
  end_ += got;
  if (got == 0 || std::feof(file_) || std::ferror(file_)) eof_ = true;
  return got > 0;
}

std::string_view GridReader::Text(std::size_t bytes, bool* final) {
  if (end_ - pos_ < bytes && !eof_ && file_) {
    std::memmove(buffer_.data(), buffer_.data() + pos_, end_ - pos_);
    end_ -= pos_;
    pos_ = 0;
    if (buffer_.size() < bytes) buffer_.resize(bytes);
    while (end_ < bytes && !eof_) {
      const std::size_t got = std::fread(buffer_.data() + end_, 1, buffer_.size() - end_, file_);
      end_ += got;
      if (got == 0 || std::feof(file_) || std::ferror(file_)) eof_ = true;
    }
  }
  *final = eof_ || !file_;
  return std::string_view(buffer_.data() + pos_, end_ - pos_);
}

std::size_t GridReader::ReadValues(int datatype, void* cells, std::size_t count) {
  const auto bytes = static_cast<std::size_t>(PixelTypeBytes(datatype));
  if (!bytes) return 0;
  auto* out = static_cast<unsigned char*>(cells);
  std::size_t done = 0;
  while (done < count) {
    const char* first = buffer_.data() + pos_;
    const GridValueRun run =
        ParseGridValues(first, buffer_.data() + end_, eof_, datatype, out + done * bytes, count - done);
    done += run.values;
    pos_ += static_cast<std::size_t>(run.next - first);
    if (run.stop != GridValueRun::kNeedMore) break;
    More();  // at the end of the file the next run reads what is left as final
  }
  return done;
}

bool GridReader::ReadLine(std::string& line, std::size_t maxLength) {
  line.clear();
  while (true) {
    if (pos_ == end_) {
      if (eof_ || !file_) return !line.empty();
      pos_ = 0;
      end_ = std::fread(buffer_.data(), 1, buffer_.size(), file_);
      if (end_ == 0) {
        eof_ = true;
        return !line.empty();
      }
    }
    const char c = buffer_[pos_++];
    if (c == '\n') break;
    line += c;
    if (line.size() > maxLength + 1) return false;  // room for a CR before the LF
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line.size() <= maxLength;
}

void WriteGridHeader(GridWriter& file, const GridHeader& h) {
  char line[512];
  const auto put = [&](const char* keyword, char* end) {
    (void)keyword;
    *end++ = '\r';
    *end++ = '\n';
    file.Append(std::string_view(line, static_cast<std::size_t>(end - line)));
  };
  const auto start = [&](const char* keyword) {
    const std::size_t n = std::strlen(keyword);
    std::memcpy(line, keyword, n);
    return line + n;
  };
  put("ncols", std::to_chars(start("ncols         "), line + sizeof line, h.ncols).ptr);
  put("nrows", std::to_chars(start("nrows         "), line + sizeof line, h.nrows).ptr);
  put("cellsize", FixedTo(start("cellsize      "), h.cellsize, 4));
  put("lowerleftX", FixedTo(start("lowerleftX  "), h.lowerleftX, 10));
  put("lowerleftY", FixedTo(start("lowerleftY  "), h.lowerleftY, 10));
  const char* name = PixelTypeName(h.datatype);
  if (!name) return;  // a cell type the format has no name for
  char* end = start("datatype\t");
  std::memcpy(end, name, std::strlen(name));
  put("datatype", end + std::strlen(name));
  VisitPixelType(h.datatype, [&]<class T>() {
    const T nodata = NoDataAs<T>(h.nodata);
    // The value as a token, " v", after the keyword and one space.
    put("NODATA_value", FormatGridValues(start("NODATA_value "), h.datatype, &nodata, 1));
  });
}

void WriteGridValue(GridWriter& file, int datatype, const void* cell) {
  if (!IsCellType(datatype)) return;
  file.Commit(FormatGridValues(file.Reserve(GridTokenChars(datatype)), datatype, cell, 1));
}

void EndGridRow(GridWriter& file) { file.Append("\r\n"); }

void WriteGridRow(GridWriter& file, int datatype, const void* cells, std::size_t count) {
  const std::size_t token = GridTokenChars(datatype);
  const auto bytes = static_cast<std::size_t>(PixelTypeBytes(datatype));
  const auto* p = static_cast<const unsigned char*>(cells);
  constexpr std::size_t kChunk = 4096;  // values formatted per reservation
  for (std::size_t done = 0; token && done < count;) {
    const std::size_t n = std::min(kChunk, count - done);
    file.Commit(FormatGridValues(file.Reserve(n * token), datatype, p + done * bytes, n));
    done += n;
  }
  EndGridRow(file);
}

bool ReadGridHeader(GridReader& file, GridHeader* header) {
  std::string lines[7];
  for (int i = 0; i < 6; ++i)
    if (!file.ReadLine(lines[i], kMaxHeaderLine)) return false;
  GridHeader h;
  if (!IntegerField(lines[0], 6, &h.ncols) || !IntegerField(lines[1], 6, &h.nrows)) return false;
  if (!RealField(lines[2], 10, &h.cellsize) || !RealField(lines[3], 12, &h.lowerleftX) ||
      !RealField(lines[4], 12, &h.lowerleftY))
    return false;
  std::string_view word;
  if (!FieldFrom(lines[5], 9, &word)) return false;
  word = word.substr(0, std::min(word.find_first_of(" \t"), word.size()));
  h.datatype = 0;
  for (const PixelType type : kCellTypes) {
    if (word == PixelTypeName(type)) {
      h.datatype = type;
      break;
    }
  }
  if (!h.datatype) return false;
  if (!file.ReadLine(lines[6], kMaxHeaderLine)) return false;
  std::string_view nodata;
  if (!FieldFrom(lines[6], 14, &nodata)) return false;
  const bool parsed = VisitPixelType(
      h.datatype,
      [&]<class T>() {
        T cell;
        if (!ParseGridNumber(nodata.data(), nodata.data() + nodata.size(), h.datatype, &cell)) return false;
        h.nodata = static_cast<double>(cell);
        return true;
      },
      false);
  if (!parsed) return false;
  if (h.ncols <= 0 || h.nrows <= 0) return false;
  const auto cells = static_cast<unsigned long long>(h.ncols) * static_cast<unsigned long long>(h.nrows);
  if (cells > std::numeric_limits<std::size_t>::max() / 8) return false;
  *header = h;
  return true;
}

bool ReadGridValue(GridReader& file, int datatype, void* cell) { return file.ReadValues(datatype, cell, 1) == 1; }

std::size_t ReadGridValues(GridReader& file, int datatype, void* cells, std::size_t count) {
  return file.ReadValues(datatype, cells, count);
}

std::string GridFileName(const std::string& directory, const std::string& base, int band, int bandCount) {
  return directory + base + (bandCount > 1 ? std::to_string(band) : std::string()) + ".dat";
}

std::string FormatScientific(double value) {
  char text[kScientificChars];
  return std::string(text, WriteScientificExact(text, value));
}

}  // namespace plenth
