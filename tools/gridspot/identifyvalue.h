// Reading the number at the start of an identify result's value text, the way the grid
// spot tool stores it.
#pragma once

#include <cstdint>
#include <string_view>

namespace plenth {

// The leading decimal integer (after white space, with an optional sign), kept to 32 bits
// as the digits wrap; `preset` when the text does not start with a number.
std::int32_t LeadingInteger(std::string_view text, std::int32_t preset);
// The leading decimal real number (after white space, with an optional sign; "inf" and
// "nan" included); `preset` when the text does not start with a number.
double LeadingReal(std::string_view text, double preset);

}  // namespace plenth
