// The numbers of the grid text format: writing reals in the "%0.6e" form with its
// three-digit exponent, and reading value tokens straight out of a buffer.
#pragma once

#include <cstddef>

namespace plenth {

// The white space between values: spaces, tabs, line ends (and vertical tabs and form
// feeds, as the C library counts them): ' ' and the five codes from '\t' to '\r'.
constexpr bool IsGridSpace(char c) {
  return c == ' ' || static_cast<unsigned char>(c - '\t') <= '\r' - '\t';
}

// The longest real WriteScientific writes: "-1.234567e-308".
constexpr std::size_t kScientificChars = 14;

// `value` as "%0.6e" with a three-digit exponent (12.5 as 1.250000e+001), rounded to
// nearest with ties to even as the C library rounds; infinities and NaN in the forms the
// format has always used (1.#INF00e+000, -1.#INF00e+000, 1.#QNAN0e+000, -1.#IND00e+000).
// Writes at most kScientificChars bytes at `out` and returns their end.
char* WriteScientific(char* out, double value);

// The same bytes through the standard library's exact conversion: slower, and the
// reference the fast path falls back on when a value lies too close to a rounding tie.
char* WriteScientificExact(char* out, double value);

// The most bytes one value token of the datatype takes: a space and the longest number
// (0 for a datatype the format has no name for).
std::size_t GridTokenChars(int datatype);
// The value tokens of `count` consecutive cells of the datatype, each a space and the
// number in the datatype's format; writes at most count * GridTokenChars(datatype) bytes
// and returns their end. Nothing for a datatype the format has no name for.
char* FormatGridValues(char* out, int datatype, const void* cells, std::size_t count);

// Reads one value of the datatype from the start of [first, last) by the reader's rules:
// an optional "+" (but not "+-"), then integers as a decimal of up to 64 bits whose
// low-order bits fill the cell, reals in the cell's precision (beyond it an infinity or a
// zero, and the written forms of infinity and NaN). Returns the end of the number, or
// nullptr when [first, last) does not start with one. `cell` must hold the datatype.
const char* ParseGridNumber(const char* first, const char* last, int datatype, void* cell);

// How far ParseGridValues got.
struct GridValueRun {
  std::size_t values = 0;  // values stored
  const char* next;        // where reading stopped: the first byte not used
  enum Stop {
    kCount,        // all the values asked for were read
    kEndOfText,    // nothing but white space is left
    kNotANumber,   // the next token is not a number: the reader cannot get past it
    kNeedMore,     // the next token reaches the end of the text, which goes on elsewhere
  } stop = kCount;
};

// Reads up to `count` values of the datatype into consecutive cells from [first, last),
// skipping white space (spaces, tabs, line ends) before each. When more text follows
// `last` (not `final`), reading stops with kNeedMore before a token that starts within
// kGridLookahead bytes of `last` or that runs up to `last`, so that no number is taken
// from a part of itself; the caller brings more text behind `next` and goes on from there.
constexpr std::size_t kGridLookahead = 64;
GridValueRun ParseGridValues(const char* first, const char* last, bool final, int datatype, void* cells,
                             std::size_t count);

}  // namespace plenth
