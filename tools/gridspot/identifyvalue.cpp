#include "tools/gridspot/identifyvalue.h"

#include <locale.h>
#include <stdlib.h>

#include <string>

namespace plenth {
namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

}  // namespace

std::int32_t LeadingInteger(std::string_view text, std::int32_t preset) {
  std::size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::uint32_t value = 0;
  const std::size_t first = i;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    value = value * 10u + static_cast<std::uint32_t>(text[i] - '0');
  if (i == first) return preset;
  return static_cast<std::int32_t>(negative ? 0u - value : value);
}

double LeadingReal(std::string_view text, double preset) {
  // The C library's reading of a real number, in the C locale whatever the process's.
  static const locale_t c = newlocale(LC_ALL_MASK, "C", nullptr);
  const std::string copy(text);
  char* end = nullptr;
  const double value = strtod_l(copy.c_str(), &end, c);
  return end == copy.c_str() ? preset : value;
}

}  // namespace plenth
