// The module's own plain-text raster format ("Plenth Format" .dat files): seven header
// lines, then the cell values row by row from the top row; CR LF after every line;
// numbers in the C locale whatever the process locale is.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace plenth {

struct GridHeader {
  std::int32_t ncols = 0;
  std::int32_t nrows = 0;
  double cellsize = 0;
  double lowerleftX = 0;
  double lowerleftY = 0;
  int datatype = 0;   // PixelType: 3 UCHAR ... 10 DOUBLE
  double nodata = 0;  // a value of the datatype (exact for every one of them)
};

// A buffered file writer; Close() tells whether every byte reached the file.
class GridWriter {
 public:
  GridWriter() = default;
  ~GridWriter();
  GridWriter(const GridWriter&) = delete;
  GridWriter& operator=(const GridWriter&) = delete;

  bool Open(const std::string& path);  // creates the file, emptying an existing one
  bool Close();
  bool IsOpen() const { return file_ != nullptr; }

  // Text of any length; a long one goes to the file without a copy.
  void Append(std::string_view text);
  // Room for `bytes` more characters, written directly; Commit says how many were used.
  char* Reserve(std::size_t bytes);
  void Commit(char* end) { used_ = static_cast<std::size_t>(end - buffer_.data()); }

 private:
  void Drain();
  std::FILE* file_ = nullptr;
  std::vector<char> buffer_;
  std::size_t used_ = 0;
  bool failed_ = false;
};

// A buffered file reader that hands out header lines and then values.
class GridReader {
 public:
  GridReader() = default;
  ~GridReader();
  GridReader(const GridReader&) = delete;
  GridReader& operator=(const GridReader&) = delete;

  bool Open(const std::string& path);
  void Close();
  bool IsOpen() const { return file_ != nullptr; }

  // One line without its line end (CR LF or LF); false at the end of the file or when
  // the line is longer than maxLength.
  bool ReadLine(std::string& line, std::size_t maxLength);
  // Up to `count` values of the datatype into consecutive cells, each after any white
  // space; stops at the end of the file or at text that is not a number. Returns how
  // many were read.
  std::size_t ReadValues(int datatype, void* cells, std::size_t count);

  // The text not yet read, at least `bytes` of it where the file has them (and a longer
  // buffer where they do not fit); *final tells whether the file ends where it does. The
  // text stays as it is until the next call that reads.
  std::string_view Text(std::size_t bytes, bool* final);
  // Marks the first `bytes` of that text read.
  void Consume(std::size_t bytes) { pos_ += bytes; }

 private:
  bool More();
  std::FILE* file_ = nullptr;
  std::vector<char> buffer_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  bool eof_ = false;
};

// Writes the seven header lines (only the first five for a datatype that is not one of
// the eight; such a band's rows then hold only their line ends).
void WriteGridHeader(GridWriter& file, const GridHeader& header);
// One value token: a space and the number in the datatype's format.
void WriteGridValue(GridWriter& file, int datatype, const void* cell);
void EndGridRow(GridWriter& file);
// `count` value tokens from a row of cells, then the row's line end.
void WriteGridRow(GridWriter& file, int datatype, const void* cells, std::size_t count);

// Reads and checks the header; false refuses the file: a line longer than 97 characters
// or missing, a value missing or not a number, a type name not among the eight (exact
// case), ncols or nrows of 0 or less, or more cells than memory can address.
bool ReadGridHeader(GridReader& file, GridHeader* header);
// The next value into one cell; false when the file has no more values or the next text
// is not a number (the reader cannot get past it).
bool ReadGridValue(GridReader& file, int datatype, void* cell);
// Up to `count` values into consecutive cells; returns how many were read.
std::size_t ReadGridValues(GridReader& file, int datatype, void* cells, std::size_t count);

// directory + base + ".dat" for one band; directory + base + band index + ".dat" for more.
std::string GridFileName(const std::string& directory, const std::string& base, int band, int bandCount);

// "%0.6e" as the format writes it, a three-digit exponent (1.250000e+001), through the
// standard library's exact conversion: the reference for the writer's own fast one.
std::string FormatScientific(double value);

}  // namespace plenth
