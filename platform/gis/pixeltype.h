// The raster cell types by their PixelType code: the codes, their names, the size of a
// cell, and the one place where a code becomes the C++ type of its cells. It needs nothing
// but the standard library, so that the pure kernels can use it as the data library does.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>

// PixelType: the raster cell type codes. The data library holds the eight types from
// PT_UCHAR to PT_DOUBLE; the others only name what some rasters hold.
enum PixelType : std::int32_t {
  PT_U1 = 0,
  PT_U2 = 1,
  PT_U4 = 2,
  PT_UCHAR = 3,   // unsigned 8-bit
  PT_CHAR = 4,    // signed 8-bit
  PT_USHORT = 5,  // unsigned 16-bit
  PT_SHORT = 6,   // signed 16-bit
  PT_ULONG = 7,   // unsigned 32-bit
  PT_LONG = 8,    // signed 32-bit
  PT_FLOAT = 9,   // 32-bit real
  PT_DOUBLE = 10, // 64-bit real
  PT_COMPLEX = 11,
  PT_DCOMPLEX = 12,
  PT_UNKNOWN = 13,
};

// The eight cell types, in code order.
inline constexpr PixelType kCellTypes[] = {PT_UCHAR, PT_CHAR,  PT_USHORT, PT_SHORT,
                                           PT_ULONG, PT_LONG,  PT_FLOAT,  PT_DOUBLE};

// Calls fn.template operator()<T>() with T the C++ type of the code's cells (std::uint8_t
// for PT_UCHAR ... double for PT_DOUBLE) and gives back what it gives; for any other code
// gives back `otherwise`. A lambda written as [&]<class T>() { ... } fits.
template <class Fn, class R>
constexpr R VisitPixelType(int code, Fn&& fn, R otherwise) {
  switch (code) {
    case PT_UCHAR: return fn.template operator()<std::uint8_t>();
    case PT_CHAR: return fn.template operator()<std::int8_t>();
    case PT_USHORT: return fn.template operator()<std::uint16_t>();
    case PT_SHORT: return fn.template operator()<std::int16_t>();
    case PT_ULONG: return fn.template operator()<std::uint32_t>();
    case PT_LONG: return fn.template operator()<std::int32_t>();
    case PT_FLOAT: return fn.template operator()<float>();
    case PT_DOUBLE: return fn.template operator()<double>();
    default: return otherwise;
  }
}

// The same for a visit that gives nothing back; any other code calls nothing.
template <class Fn>
constexpr void VisitPixelType(int code, Fn&& fn) {
  VisitPixelType(
      code,
      [&]<class T>() {
        fn.template operator()<T>();
        return true;
      },
      false);
}

// Whether the code is one of the eight cell types.
constexpr bool IsCellType(int code) {
  return VisitPixelType(code, []<class T>() { return true; }, false);
}

// Bytes per cell of a code, 0 for a code that is not one of the eight.
constexpr int PixelTypeBytes(int code) {
  return VisitPixelType(code, []<class T>() { return static_cast<int>(sizeof(T)); }, 0);
}

// The name of a cell type, as the grid text format writes it ("UCHAR" ... "DOUBLE"); null
// for a code that is not one of the eight.
constexpr const char* PixelTypeName(int code) {
  constexpr const char* kNames[] = {"UCHAR", "CHAR", "USHORT", "SHORT", "ULONG", "LONG", "FLOAT", "DOUBLE"};
  return IsCellType(code) ? kNames[code - PT_UCHAR] : nullptr;
}

// Whether a cell of type T can hold the value: for an integer type a whole number within
// its range; for a real type any value that rounds to one of its values (kept to its
// precision), an infinity or NaN. A double a little beyond the largest float, by less
// than half the float's last step (-3.4028235e+38, the lowest float printed to eight
// digits), rounds to that float; from halfway on it would round to an infinity.
template <class T>
bool CellHolds(double value) {
  if constexpr (std::is_same_v<T, double>) {
    return true;
  } else if constexpr (std::is_floating_point_v<T>) {
    using Limits = std::numeric_limits<T>;
    const double halfLastStep = std::ldexp(1.0, Limits::max_exponent - Limits::digits - 1);
    return !std::isfinite(value) || std::fabs(value) < static_cast<double>(Limits::max()) + halfLastStep;
  } else {
    return value >= static_cast<double>(std::numeric_limits<T>::min()) &&
           value <= static_cast<double>(std::numeric_limits<T>::max()) && value == std::trunc(value);
  }
}

static_assert(PixelTypeBytes(PT_CHAR) == 1 && PixelTypeBytes(PT_SHORT) == 2 && PixelTypeBytes(PT_FLOAT) == 4 &&
              PixelTypeBytes(PT_DOUBLE) == 8 && PixelTypeBytes(PT_COMPLEX) == 0);
