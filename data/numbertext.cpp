#include "data/numbertext.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace plenth {
namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

double ReadDecimal(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // The number proper: digits, a point, digits; an exponent only when digits follow it.
  const std::size_t start = i;
  std::size_t digits = 0;
  while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return 0.0;
  std::size_t end = i;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    if (j < text.size() && IsDigit(text[j])) {
      while (j < text.size() && IsDigit(text[j])) ++j;
      end = j;
    }
  }
  // The span handed over holds exactly the number found.
  double value = 0;
  const auto [ptr, ec] = std::from_chars(text.data() + start, text.data() + end, value, std::chars_format::general);
  if (ec == std::errc::result_out_of_range) {
    // Too large or too small: the exponent, together with the whole digits before the
    // point (leading zeros aside), says which.
    long exponent = 0;
    std::size_t leading = 0;
    bool seenNonZero = false;
    for (std::size_t k = start; k < end && IsDigit(text[k]); ++k) {
      if (text[k] != '0') seenNonZero = true;
      if (seenNonZero) ++leading;
    }
    const auto e = text.substr(0, end).find_first_of("eE", start);
    if (e != std::string_view::npos) {
      long parsed = 0;
      std::from_chars(text.data() + e + 1 + (text[e + 1] == '+'), text.data() + end, parsed);
      exponent = parsed;
    }
    value = exponent + static_cast<long>(leading) > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  }
  return negative ? -value : value;
}

std::int32_t ReadInteger(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > 1LL << 32) break;  // past any 32-bit value either way
  }
  value = negative ? -value : value;
  constexpr long long lo = std::numeric_limits<std::int32_t>::min(), hi = std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(value < lo ? lo : value > hi ? hi : value);
}

std::string FixedText(double value) {
  char buffer[400];  // the longest double in fixed notation with six decimals fits
  const auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
  return ec == std::errc() ? std::string(buffer, ptr) : std::string();
}

}  // namespace plenth
