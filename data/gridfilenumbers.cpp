#include "data/gridfilenumbers.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string_view>
#include <type_traits>

#include "platform/gis/pixeltype.h"

namespace plenth {
namespace {

using u128 = unsigned __int128;

// ---- Writing -------------------------------------------------------------------------

// A power of ten 10^q as hi·2^64 + lo times 2^exp2, hi's top bit set, cut (never rounded
// up) to 128 bits, so that the cut is less than two units of its last bit.
struct PowerOfTen {
  std::uint64_t hi, lo;
  int exp2;
};

// The powers a double needs: 10^(6 - k) for a decimal exponent k from -324 (4.9e-324) to
// 308, and 10^k itself to tell the decimal exponent.
constexpr int kMinPower = -324, kMaxPower = 330;

constexpr std::size_t kLimbs = 40;  // 1280 bits: 5^330 and 2^1100 / 5^n fit
using Limbs = std::array<std::uint32_t, kLimbs>;

// The top 128 bits of an integer b that stands for b · 2^scale.
constexpr PowerOfTen Top128(const Limbs& b, int scale) {
  int i = static_cast<int>(kLimbs) - 1;
  while (i > 0 && b[static_cast<std::size_t>(i)] == 0) --i;
  const auto limb = [&](int at) { return at >= 0 ? b[static_cast<std::size_t>(at)] : 0u; };
  const int lead = 32 - std::countl_zero(limb(i));  // bits in the top limb
  u128 top = limb(i);
  for (int at = i - 1; at >= i - 3; --at) top = (top << 32) | limb(at);
  if (lead < 32) top = (top << (32 - lead)) | (limb(i - 4) >> lead);
  return {static_cast<std::uint64_t>(top >> 64), static_cast<std::uint64_t>(top), i * 32 + lead - 128 + scale};
}

constexpr std::array<PowerOfTen, kMaxPower - kMinPower + 1> BuildPowersOfTen() {
  std::array<PowerOfTen, kMaxPower - kMinPower + 1> table{};
  // 10^q = 5^q · 2^q: 5^q exactly for q >= 0 ...
  Limbs b{};
  b[0] = 1;
  for (int q = 0; q <= kMaxPower; ++q) {
    if (q > 0) {
      std::uint64_t carry = 0;
      for (auto& limb : b) {
        const std::uint64_t v = std::uint64_t{limb} * 5 + carry;
        limb = static_cast<std::uint32_t>(v);
        carry = v >> 32;
      }
    }
    table[static_cast<std::size_t>(q - kMinPower)] = Top128(b, q);
  }
  // ... and 5^-n as floor(2^K / 5^n), dividing by 5 again and again (floors compose).
  constexpr int K = 1100;
  Limbs d{};
  d[K / 32] = 1u << (K % 32);
  for (int n = 1; n <= -kMinPower; ++n) {
    std::uint64_t rest = 0;
    for (std::size_t i = kLimbs; i-- > 0;) {
      const std::uint64_t v = (rest << 32) | d[i];
      d[i] = static_cast<std::uint32_t>(v / 5);
      rest = v % 5;
    }
    table[static_cast<std::size_t>(-n - kMinPower)] = Top128(d, -n - K);
  }
  return table;
}

constexpr auto kPowersOfTen = BuildPowersOfTen();

// floor(e · log10 2) for the binary exponents of doubles.
constexpr int FloorLog10Pow2(int e) { return (e * 78913) >> 18; }

// For each binary exponent e of a double (-1074 to 1023), the least M of a value
// M · 2^(e - 63) (M's top bit set) that reaches 10^(k + 1), k = floor(e · log10 2): the
// decimal exponent is k below it and k + 1 from it on. None (all ones) when that power of
// ten lies above 2^(e + 1).
constexpr std::array<std::uint64_t, 2098> BuildDecadeStarts() {
  std::array<std::uint64_t, 2098> table{};
  for (int e = -1074; e <= 1023; ++e) {
    const int q = FloorLog10Pow2(e) + 1;
    const PowerOfTen& p = kPowersOfTen[static_cast<std::size_t>(q - kMinPower)];
    std::uint64_t start = ~std::uint64_t{0};
    if (p.exp2 + 127 == e) {
      // 10^q = P · 2^exp2 exactly when 5^q has at most 128 bits; otherwise the true
      // value lies above the cut P, by less than 2 units (and P.lo leaves room for them).
      const bool exact = q >= 0 && q <= 55;
      if (!exact && p.lo >= ~std::uint64_t{0} - 1) throw "a cut power of ten too near a whole hi";
      start = p.hi + (exact && p.lo == 0 ? 0 : 1);
    }
    table[static_cast<std::size_t>(e + 1074)] = start;
  }
  return table;
}

constexpr auto kDecadeStarts = BuildDecadeStarts();

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

enum class Scaled { kDigits, kOutOfRange, kUndecided };
struct Digits {
  Scaled what;
  std::uint32_t digits;
};

// The value M · 2^E times 10^q (a product from 10^6 to 10^7) rounded to an integer, ties
// to even: the seven digits, or 10^7 when it rounds up to that. Only the top 64 bits of the power and of the product are used:
// they fall short of the exact product by less than three units of their last bit (of
// some 40 bits after the point), so a value that near a tie is left undecided.
[[gnu::always_inline]] inline Digits ScaleToDigits(std::uint64_t M, int E, int q) {
  const PowerOfTen& p = kPowersOfTen[static_cast<std::size_t>(q - kMinPower)];
  const auto h = static_cast<std::uint64_t>((u128{M} * p.hi) >> 64);
  const int point = -(E + p.exp2 + 128);  // bits of h after the point, 35 to 45
  const std::uint64_t integer = h >> point;
  if (integer >= 10'000'000 || integer < 999'999) return {Scaled::kOutOfRange, 0};  // not seven digits
  const std::uint64_t fraction = h & ((std::uint64_t{1} << point) - 1);
  const std::uint64_t half = std::uint64_t{1} << (point - 1);
  // Without branches: which way a value rounds is as good as random.
  const bool up = fraction > half;
  const bool undecided = !up & (fraction + 3 > half);  // a tie, or too near one to tell
  return {undecided ? Scaled::kUndecided : Scaled::kDigits, static_cast<std::uint32_t>(integer + up)};
}

// d.dddddde±ddd from seven digits (1000000 to 9999999) and the decimal exponent.
[[gnu::always_inline]] inline char* PutScientific(char* out, std::uint32_t digits, int exponent) {
  // Two halves, d.dd and dddd, so that the divisions of each run side by side.
  const std::uint32_t high = digits / 10'000, low = digits % 10'000;
  out[0] = static_cast<char>('0' + high / 100);
  out[1] = '.';
  std::memcpy(out + 2, kDigitPairs + 2 * (high % 100), 2);
  std::memcpy(out + 4, kDigitPairs + 2 * (low / 100), 2);
  std::memcpy(out + 6, kDigitPairs + 2 * (low % 100), 2);
  out[8] = 'e';
  out[9] = exponent < 0 ? '-' : '+';
  const auto magnitude = static_cast<std::uint32_t>(exponent < 0 ? -exponent : exponent);
  out[10] = static_cast<char>('0' + magnitude / 100);
  std::memcpy(out + 11, kDigitPairs + 2 * (magnitude % 100), 2);
  return out + 13;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// ---- Reading -------------------------------------------------------------------------

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

// Powers of ten that are exact in T: up to 10^22 in double, 10^10 in float.
template <class T>
struct ExactPowers;
template <>
struct ExactPowers<double> {
  static constexpr int kMax = 22;
  static constexpr double kValue[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                      1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
};
template <>
struct ExactPowers<float> {
  static constexpr int kMax = 10;
  static constexpr float kValue[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f, 1e8f, 1e9f, 1e10f};
};

[[gnu::always_inline]] inline std::uint64_t Load8(const char* p) {
  std::uint64_t w;
  std::memcpy(&w, p, 8);
  return w;  // little-endian: p[0] in the low byte
}

// Eight bytes at once: the top bit of each byte that is not a decimal digit (of the lowest
// such byte at least: a carry may mark a higher one too); where the first byte that is
// not a digit lies (8 when all are digits); and the value of eight digits with the first
// as the highest.
[[gnu::always_inline]] inline std::uint64_t NotDigits(std::uint64_t w) {
  return ((w + 0x4646464646464646) | (w - 0x3030303030303030)) & 0x8080808080808080;
}
[[gnu::always_inline]] inline int DigitRun(std::uint64_t w) {
  const std::uint64_t notDigit = NotDigits(w);
  return notDigit ? std::countr_zero(notDigit) / 8 : 8;
}
[[gnu::always_inline]] inline std::uint32_t EightDigits(std::uint64_t w) {
  w -= 0x3030303030303030;
  w = (w * 10) + (w >> 8);
  w = (((w & 0x000000FF000000FF) * (100 + (1000000ULL << 32))) +
       (((w >> 16) & 0x000000FF000000FF) * (1 + (10000ULL << 32)))) >> 32;
  return static_cast<std::uint32_t>(w);
}

// The writer's own form, d.dddddde±ddd, read without the general conversion where that
// gives the same value: seven digits are exact in a float and in a double, and so is a
// power of ten up to 10^10 (float) or 10^22 (double), so one multiplication or division
// rounds once, correctly. nullptr when the text has another form or exponent, or when
// fewer than 16 bytes are left to look at.
template <class T>
[[gnu::always_inline]] inline const char* ScientificFrom(const char* p, const char* last, T* v) {
  const bool negative = *p == '-';
  const char* s = p + negative;
  if (last - s < 16) return nullptr;
  const std::uint64_t mantissa = Load8(s);  // d.dddddd
  if ((mantissa & 0xFF00) != std::uint64_t{'.'} << 8) return nullptr;
  // "0" and the seven digits without the point: an eight-digit number.
  const std::uint64_t word = (mantissa & ~std::uint64_t{0xFFFF}) | ((mantissa & 0xFF) << 8) | '0';
  if (DigitRun(word) != 8) return nullptr;
  const std::uint64_t tail = Load8(s + 8);  // e±ddd and what follows
  const auto byte = [tail](int i) { return static_cast<char>(tail >> (8 * i)); };
  if (byte(0) != 'e' || (byte(1) != '+' && byte(1) != '-') || DigitRun(tail >> 16) != 3) return nullptr;
  const int exponent = (byte(2) - '0') * 100 + (byte(3) - '0') * 10 + (byte(4) - '0');
  const int scale = (byte(1) == '-' ? -exponent : exponent) - 6;
  if (scale > ExactPowers<T>::kMax || scale < -ExactPowers<T>::kMax) return nullptr;
  T value = static_cast<T>(EightDigits(word));
  value = scale < 0 ? value / ExactPowers<T>::kValue[-scale] : value * ExactPowers<T>::kValue[scale];
  *v = negative ? -value : value;
  return s + 13;
}

// A decimal integer of one to seven digits, read eight bytes at once; nullptr for any
// other text, or when fewer than 8 bytes are left to look at.
[[gnu::always_inline]] inline const char* ShortIntegerFrom(const char* p, const char* last, long long* v) {
  const bool negative = *p == '-';
  const char* s = p + negative;
  if (last - s < 8) return nullptr;
  std::uint64_t w = Load8(s);
  const int length = DigitRun(w);
  if (length == 0 || length == 8) return nullptr;
  w = (w << (8 * (8 - length))) | (0x3030303030303030 >> (8 * length));  // '0's before the digits
  const long long magnitude = EightDigits(w);
  *v = negative ? -magnitude : magnitude;
  return s + length;
}

// One value from [first, last) (first < last, at no white space) into a cell of type
// Cell; the end of the number, nullptr when there is none.
template <class Cell>
[[gnu::always_inline]] inline const char* ParseCell(const char* first, const char* last, Cell* cell) {
  const char* p = first;
  if (*p == '+') {  // the C library takes a plus sign, but not one before a minus
    ++p;
    if (p == last || *p == '-') return nullptr;
  }
  if constexpr (std::is_floating_point_v<Cell>) {
    if (const char* end = ScientificFrom(p, last, cell)) return end;
    return RealFrom(p, last, cell);
  } else {
    long long v;
    const char* end = ShortIntegerFrom(p, last, &v);
    if (!end) {
      const auto r = std::from_chars(p, last, v);
      if (r.ec != std::errc()) return nullptr;  // no digits, or beyond 64 bits: not a number
      end = r.ptr;
    }
    *cell = static_cast<Cell>(v);  // the low-order bits
    return end;
  }
}

// Whether the token around `p` goes on without white space up to `last`. After a number
// this looks at one byte: the white space that ends it.
[[gnu::always_inline]] inline bool RunsToTheEnd(const char* p, const char* last) {
  while (p < last && !IsGridSpace(*p)) ++p;
  return p == last;
}

// The tokens the writer writes, read where the text goes on for at least kFastRoom bytes
// (so that no bound is looked at within a token): one value after its white space, in the
// writer's form (d.dddddde±ddd for reals, up to seven digits for integers, either with a
// "-" before it) and followed by white space. What the general reading gives for them,
// with fewer checks; nullptr for any other token, which the general reading then takes.
constexpr std::ptrdiff_t kFastRoom = static_cast<std::ptrdiff_t>(kGridLookahead);
static_assert(kFastRoom >= 32, "room for the white space skipped, the token's two words and what ends it");

template <class Cell>
[[gnu::always_inline]] inline const char* FastCell(const char* p, Cell* cell) {
  const bool negative = *p == '-';
  const char* s = p + negative;
  if constexpr (std::is_floating_point_v<Cell>) {
    // d.dddddd, then e±0dd and the white space after it; the checks of every byte are
    // gathered, and one test decides.
    const std::uint64_t mantissa = Load8(s), tail = Load8(s + 8);
    const std::uint64_t word = (mantissa & ~std::uint64_t{0xFFFF}) | ((mantissa & 0xFF) << 8) | '0';  // 0ddddddd
    const std::uint64_t exponentDigits = ((tail >> 16) & 0xFFFFFF) | 0x3030303030000000;          // 0dd and '0's
    const std::uint64_t notDigit = NotDigits(word) | NotDigits(exponentDigits);
    const unsigned sign = static_cast<unsigned>((tail >> 8) & 0xFF) - '+';  // 0 for "+", 2 for "-"
    const bool form = !notDigit && ((mantissa & 0xFF00) | (tail & 0xFF)) == ((std::uint64_t{'.'} << 8) | 'e') &&
                      (sign & ~2u) == 0 && ((tail >> 16) & 0xFF) == '0' && IsGridSpace(static_cast<char>(tail >> 40));
    if (!form) return nullptr;
    const int exponent = static_cast<int>((tail >> 24) & 0xFF) * 10 + static_cast<int>((tail >> 32) & 0xFF) - '0' * 11;
    const int scale = (sign ? -exponent : exponent) - 6;
    if (scale > ExactPowers<Cell>::kMax || scale < -ExactPowers<Cell>::kMax) return nullptr;
    Cell value = static_cast<Cell>(EightDigits(word));
    value = scale < 0 ? value / ExactPowers<Cell>::kValue[-scale] : value * ExactPowers<Cell>::kValue[scale];
    *cell = negative ? -value : value;
    return s + 13;
  } else {
    std::uint64_t w = Load8(s);
    const int length = DigitRun(w);
    if (length == 0 || length == 8 || !IsGridSpace(s[length])) return nullptr;
    w = (w << (8 * (8 - length))) | (0x3030303030303030 >> (8 * length));  // '0's before the digits
    const long long magnitude = EightDigits(w);
    *cell = static_cast<Cell>(negative ? -magnitude : magnitude);  // the low-order bits
    return s + length;
  }
}

template <class Cell>
GridValueRun ParseRun(const char* p, const char* last, bool final, unsigned char* cells, std::size_t count) {
  // The count and the place are kept apart from the cells, which a store could alias.
  std::size_t values = 0;
  GridValueRun::Stop stop = GridValueRun::kCount;
  while (values < count) {
    const char* fastEnd = last - p > kFastRoom ? last - kFastRoom : p;
    for (; values < count && p < fastEnd; ++values, cells += sizeof(Cell)) {
      const char* q = p;
      while (q < fastEnd && IsGridSpace(*q)) ++q;
      Cell v;
      const char* end = q < fastEnd ? FastCell(q, &v) : nullptr;
      if (!end) {
        p = q;
        break;
      }
      std::memcpy(cells, &v, sizeof v);
      p = end;
    }
    if (values == count) break;
    // One token by the general rules.
    while (p < last && IsGridSpace(*p)) ++p;
    if (p == last) {
      stop = final ? GridValueRun::kEndOfText : GridValueRun::kNeedMore;
      break;
    }
    if (!final && static_cast<std::size_t>(last - p) < kGridLookahead) {
      stop = GridValueRun::kNeedMore;
      break;
    }
    Cell v;
    const char* end = ParseCell(p, last, &v);
    if (!final && RunsToTheEnd(end ? end : p, last)) {  // more text could make it another number
      stop = GridValueRun::kNeedMore;
      break;
    }
    if (!end) {
      stop = GridValueRun::kNotANumber;
      break;
    }
    std::memcpy(cells, &v, sizeof v);
    p = end;
    ++values;
    cells += sizeof(Cell);
  }
  GridValueRun run;
  run.values = values;
  run.next = p;
  run.stop = stop;
  return run;
}

// WriteScientific, for the writer's loops to have in line.
[[gnu::always_inline]] inline char* Scientific(char* out, double value) {
  const auto bits = std::bit_cast<std::uint64_t>(value);
  const int biased = static_cast<int>(bits >> 52) & 0x7ff;
  std::uint64_t m = bits & ((std::uint64_t{1} << 52) - 1);
  if (biased == 0x7ff) return WriteScientificExact(out, value);  // infinities and NaN
  *out = '-';
  char* p = out + (bits >> 63);  // the sign stays for negative values
  if (biased == 0 && m == 0) {
    std::memcpy(p, "0.000000e+000", 13);
    return p + 13;
  }
  int e2 = -1074;
  if (biased) {
    m |= std::uint64_t{1} << 52;
    e2 = biased - 1075;
  }
  const int shift = std::countl_zero(m);
  const std::uint64_t M = m << shift;  // value = M · 2^E with M's top bit set
  const int E = e2 - shift;
  const int e = E + 63;  // the value lies in [2^e, 2^(e + 1))
  const int exponent = FloorLog10Pow2(e) + (M >= kDecadeStarts[static_cast<std::size_t>(e + 1074)] ? 1 : 0);
  std::uint32_t digits;
  const int q = 6 - exponent;
  // Within 10^22 a power of ten is exact in a double, so that one multiplication (or
  // division) rounds once: the product, from 10^6 to 10^7, lies within half a unit of its
  // last bit (at most 2^-30) of the exact one, and that decides the rounding wherever the
  // product lies farther than that from a tie.
  bool decided = false;
  if (q >= -ExactPowers<double>::kMax && q <= ExactPowers<double>::kMax) {
    const double scaled = q >= 0 ? std::fabs(value) * ExactPowers<double>::kValue[q]
                                 : std::fabs(value) / ExactPowers<double>::kValue[-q];
    const double rounded = (scaled + 0x1p52) - 0x1p52;  // the nearest integer, ties to even
    decided = std::fabs(scaled - rounded) < 0.5 - 0x1p-30;
    digits = static_cast<std::uint32_t>(rounded);
  }
  if (!decided) {
    const Digits d = ScaleToDigits(M, E, q);
    if (d.what != Scaled::kDigits) return WriteScientificExact(out, value);
    digits = d.digits;
  }
  if (digits == 10'000'000) return PutScientific(p, 1'000'000, exponent + 1);  // 9999999.5 and up
  return PutScientific(p, digits, exponent);
}

// Cells are read and stored byte-wise: a caller's cell need not be aligned to its type.
template <class Cell>
char* FormatRun(char* out, const unsigned char* cells, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i, cells += sizeof(Cell)) {
    Cell v;
    std::memcpy(&v, cells, sizeof v);
    *out++ = ' ';
    if constexpr (std::is_floating_point_v<Cell>)
      out = Scientific(out, static_cast<double>(v));  // FLOAT is widened first
    else
      out = std::to_chars(out, out + 16, v).ptr;
  }
  return out;
}

}  // namespace

char* WriteScientificExact(char* out, double v) {
  if (!std::isfinite(v)) {
    const char* text = std::isnan(v) ? (std::signbit(v) ? "-1.#IND00e+000" : "1.#QNAN0e+000")
                                     : (v < 0 ? "-1.#INF00e+000" : "1.#INF00e+000");
    const std::size_t n = std::strlen(text);
    std::memcpy(out, text, n);
    return out + n;
  }
  char* end = std::to_chars(out, out + kScientificChars, v, std::chars_format::scientific, 6).ptr;
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

char* WriteScientific(char* out, double value) { return Scientific(out, value); }

std::size_t GridTokenChars(int datatype) {
  switch (datatype) {
    case PT_UCHAR: return 4;   // " 255"
    case PT_CHAR: return 5;    // " -128"
    case PT_USHORT: return 6;  // " 65535"
    case PT_SHORT: return 7;   // " -32768"
    case PT_ULONG: return 11;  // " 4294967295"
    case PT_LONG: return 12;   // " -2147483648"
    case PT_FLOAT:
    case PT_DOUBLE: return 1 + kScientificChars;
    default: return 0;
  }
}

char* FormatGridValues(char* out, int datatype, const void* cells, std::size_t count) {
  return VisitPixelType(
      datatype, [&]<class Cell>() { return FormatRun<Cell>(out, static_cast<const unsigned char*>(cells), count); },
      out);
}

const char* ParseGridNumber(const char* first, const char* last, int datatype, void* cell) {
  if (first >= last) return nullptr;
  return VisitPixelType(
      datatype,
      [&]<class Cell>() {
        Cell v;
        const char* end = ParseCell(first, last, &v);
        if (end) std::memcpy(cell, &v, sizeof v);
        return end;
      },
      static_cast<const char*>(nullptr));
}

GridValueRun ParseGridValues(const char* first, const char* last, bool final, int datatype, void* cells,
                             std::size_t count) {
  return VisitPixelType(
      datatype,
      [&]<class Cell>() { return ParseRun<Cell>(first, last, final, static_cast<unsigned char*>(cells), count); },
      GridValueRun{0, first, GridValueRun::kNotANumber});
}

}  // namespace plenth
