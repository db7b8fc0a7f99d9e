#include "data/gridfile.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

#include "platform/gis/pixeltype.h"

namespace plenth {
namespace {

constexpr std::size_t kBufferBytes = 1 << 20;
constexpr std::size_t kMaxHeaderLine = 97;
constexpr std::size_t kLongestToken = 40;  // longer than any number the format writes

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// "%0.6e" with the three-digit exponent of the format, into out (at least 32 bytes);
// returns the end. Infinities and NaN are written as the original platform wrote them.
char* ScientificTo(char* out, double v) {
  if (!std::isfinite(v)) {
    const char* text = std::isnan(v) ? (std::signbit(v) ? "-1.#IND00e+000" : "1.#QNAN0e+000")
                                     : (v < 0 ? "-1.#INF00e+000" : "1.#INF00e+000");
    const std::size_t n = std::strlen(text);
    std::memcpy(out, text, n);
    return out + n;
  }
  char* end = std::to_chars(out, out + 32, v, std::chars_format::scientific, 6).ptr;
  // to_chars writes at least two exponent digits: widen to three.
  char* e = end - 1;
  while (*e != 'e') --e;
  const std::size_t digits = static_cast<std::size_t>(end - (e + 2));
  if (digits < 3) {
    const std::size_t pad = 3 - digits;
    std::memmove(e + 2 + pad, e + 2, digits);
    std::memset(e + 2, '0', pad);
    end += pad;
  }
  return end;
}

char* FixedTo(char* out, double v, int decimals) {
  return std::to_chars(out, out + 400, v, std::chars_format::fixed, decimals).ptr;
}

template <class T>
T CellAt(const void* cell) {
  T v;
  std::memcpy(&v, cell, sizeof v);
  return v;
}

// One value of type T in its format (no leading space): integers in decimal, reals in the
// "%0.6e" form (FLOAT widened to double first).
template <class T>
char* ValueTo(char* out, T v) {
  if constexpr (std::is_floating_point_v<T>) return ScientificTo(out, static_cast<double>(v));
  else return std::to_chars(out, out + 32, v).ptr;
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

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// For a decimal number too large or too small for its type (from_chars then leaves the
// value alone): true when it is too large. The power of ten of its leading digit decides.
bool TooLarge(const char* p, const char* end) {
  if (p < end && *p == '-') ++p;
  std::int64_t integerDigits = 0;    // from the first one not 0
  std::int64_t zerosAfterPoint = 0;  // before the first digit not 0, when the integer part is 0
  for (; p < end && IsDigit(*p); ++p)
    if (integerDigits || *p != '0') ++integerDigits;
  if (p < end && *p == '.')
    for (++p; p < end && *p == '0' && !integerDigits; ++p) ++zerosAfterPoint;
  while (p < end && (IsDigit(*p) || *p == '.')) ++p;
  std::int64_t exponent = 0;
  if (p < end && (*p == 'e' || *p == 'E')) {
    ++p;
    const bool negative = p < end && *p == '-';
    if (p < end && (*p == '-' || *p == '+')) ++p;
    for (; p < end && IsDigit(*p); ++p) exponent = std::min<std::int64_t>(exponent * 10 + (*p - '0'), 1'000'000'000);
    if (negative) exponent = -exponent;
  }
  const std::int64_t lead = integerDigits > 0 ? integerDigits - 1 : -(zerosAfterPoint + 1);
  return lead + exponent >= 0;
}

// The forms the writer gives infinities and NaN (1.#INF00e+000, -1.#IND00e+000, ...), so
// that they read back as what they were; 0 when [first, last) does not start with one.
std::size_t NonFiniteFrom(const char* first, const char* last, double* v) {
  const char* p = first < last && *first == '-' ? first + 1 : first;
  const std::string_view text(p, static_cast<std::size_t>(last - p));
  if (text.starts_with("1.#INF")) *v = HUGE_VAL;
  else if (text.starts_with("1.#QNAN") || text.starts_with("1.#IND") || text.starts_with("1.#SNAN")) *v = NAN;
  else return 0;
  if (p != first) *v = -*v;
  for (p += 3; p < last && (IsDigit(*p) || (*p >= 'A' && *p <= 'Z') || *p == 'e' || *p == '+' || *p == '-');) ++p;
  return static_cast<std::size_t>(p - first);
}

// A real of type T from [p, last): the nearest value, an infinity when too large, a zero
// when too small. Returns the end of the number, nullptr when there is none.
template <class T>
const char* RealFrom(const char* p, const char* last, T* v) {
  const auto r = std::from_chars(p, last, *v);
  if (r.ec == std::errc::invalid_argument) return nullptr;
  if (r.ptr < last && *r.ptr == '#') {  // perhaps 1.#INF00e+000 and the like
    double special;
    if (const std::size_t n = NonFiniteFrom(p, last, &special)) {
      *v = static_cast<T>(special);
      return p + n;
    }
  }
  if (r.ec == std::errc::result_out_of_range) {
    const T magnitude = TooLarge(p, r.ptr) ? std::numeric_limits<T>::infinity() : T(0);
    *v = *p == '-' ? -magnitude : magnitude;
  }
  return r.ptr;
}

// Parses the number at the start of [first, last) the way the reader takes values of
// type T: integers as a decimal of up to 64 bits whose low-order bits fill the cell, reals
// in the cell's precision. Returns the characters used, 0 when there is no number.
template <class T>
std::size_t ParseValue(const char* first, const char* last, void* cell) {
  const char* p = first;
  if (p < last && *p == '+') ++p;  // the C library takes a plus sign
  T v;
  const char* end = nullptr;
  if constexpr (std::is_floating_point_v<T>) {
    end = RealFrom(p, last, &v);
    if (!end) return 0;
  } else {
    long long wide;
    const auto r = std::from_chars(p, last, wide);
    if (r.ec != std::errc()) return 0;  // no digits, or beyond 64 bits: not a number
    v = static_cast<T>(static_cast<unsigned long long>(wide));  // the low-order bits
    end = r.ptr;
  }
  std::memcpy(cell, &v, sizeof v);
  return static_cast<std::size_t>(end - first);
}

// Up to `count` values of type T into consecutive cells; returns how many were read.
template <class T>
std::size_t ReadValues(GridReader& file, void* cells, std::size_t count) {
  auto* out = static_cast<unsigned char*>(cells);
  for (std::size_t i = 0; i < count; ++i, out += sizeof(T)) {
    std::size_t available = file.Fill(kLongestToken);
    if (!available) return i;
    std::size_t used = ParseValue<T>(file.Peek(), file.Peek() + available, out);
    // A number that reaches the end of what is buffered may go on in the file: take more
    // until it ends or the file does, so that a long token is never cut in two.
    while (used && used == available) {
      const std::size_t more = file.Fill(available + kLongestToken);
      if (more == available) break;
      available = more;
      used = ParseValue<T>(file.Peek(), file.Peek() + available, out);
    }
    if (!used) return i;
    file.Advance(used);
  }
  return count;
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

std::size_t GridReader::Fill(std::size_t want) {
  if (want > buffer_.size()) buffer_.resize(want);  // else a full buffer would read as the end
  while (true) {
    while (pos_ < end_ && IsSpace(buffer_[pos_])) ++pos_;
    if (end_ - pos_ >= want || eof_ || !file_) return end_ - pos_;
    // Keep what is left, and read more behind it.
    std::memmove(buffer_.data(), buffer_.data() + pos_, end_ - pos_);
    end_ -= pos_;
    pos_ = 0;
    const std::size_t got = std::fread(buffer_.data() + end_, 1, buffer_.size() - end_, file_);
    end_ += got;
    if (got == 0) eof_ = true;
  }
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
  VisitPixelType(h.datatype,
                 [&]<class T>() { put("NODATA_value", ValueTo(start("NODATA_value  "), NoDataAs<T>(h.nodata))); });
}

void WriteGridValue(GridWriter& file, int datatype, const void* cell) {
  VisitPixelType(datatype, [&]<class T>() {
    char* at = file.Reserve(kLongestToken);
    *at = ' ';
    file.Commit(ValueTo(at + 1, CellAt<T>(cell)));
  });
}

void EndGridRow(GridWriter& file) { file.Append("\r\n"); }

void WriteGridRow(GridWriter& file, int datatype, const void* cells, std::size_t count) {
  VisitPixelType(datatype, [&]<class T>() {
    const auto* p = static_cast<const unsigned char*>(cells);
    constexpr std::size_t kChunk = 4096;  // values formatted per reservation
    for (std::size_t done = 0; done < count;) {
      const std::size_t n = std::min(kChunk, count - done);
      char* at = file.Reserve(n * kLongestToken);
      for (std::size_t i = 0; i < n; ++i, p += sizeof(T)) {
        *at++ = ' ';
        at = ValueTo(at, CellAt<T>(p));
      }
      file.Commit(at);
      done += n;
    }
  });
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
        if (!ParseValue<T>(nodata.data(), nodata.data() + nodata.size(), &cell)) return false;
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

bool ReadGridValue(GridReader& file, int datatype, void* cell) {
  return ReadGridValues(file, datatype, cell, 1) == 1;
}

std::size_t ReadGridValues(GridReader& file, int datatype, void* cells, std::size_t count) {
  return VisitPixelType(datatype, [&]<class T>() { return ReadValues<T>(file, cells, count); }, std::size_t{0});
}

std::string GridFileName(const std::string& directory, const std::string& base, int band, int bandCount) {
  return directory + base + (bandCount > 1 ? std::to_string(band) : std::string()) + ".dat";
}

std::string FormatScientific(double value) {
  char buf[40];
  return std::string(buf, ScientificTo(buf, value));
}

}  // namespace plenth
