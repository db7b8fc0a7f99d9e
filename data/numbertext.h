// Reading numbers from what a person typed, as the C library's conversions read them:
// the longest leading part that forms a number counts, and text that starts with no
// number reads as 0. Always in the C locale.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace plenth {

// A decimal number: leading white space, an optional sign, digits with an optional
// decimal point, an optional exponent. A value too large for a double reads as an
// infinity of its sign, one too small as 0.
double ReadDecimal(std::string_view text);
// A base-10 integer: leading white space, an optional sign, digits; held to the range
// of a 32-bit integer.
std::int32_t ReadInteger(std::string_view text);

// "%f": fixed notation with six decimals, in the C locale.
std::string FixedText(double value);

}  // namespace plenth
