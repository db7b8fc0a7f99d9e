#include "data/gridfilenumbers.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <type_traits>
#include <vector>

#include "data/gridfile.h"
#include "platform/gis/pixeltype.h"
#include "tests/gridfile/formatcheck.h"

namespace {

std::string Scientific(double v) {
  char text[plenth::kScientificChars + 2];
  return std::string(text, plenth::WriteScientific(text, v));
}

void ExpectNoDifferences(const formatcheck::Tally& t) {
  EXPECT_EQ(t.differences, 0u);
  for (const auto& d : t.firstDifferences) ADD_FAILURE() << d;
}

TEST(ScientificTest, KnownValuesIncludingTiesAndTheEdgesOfDoubles) {
  const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
  const std::pair<double, const char*> cases[] = {
      {12.5, "1.250000e+001"},       {-0.0025, "-2.500000e-003"},   {0.0, "0.000000e+000"},
      {-0.0, "-0.000000e+000"},      {0.1, "1.000000e-001"},        {1e-300, "1.000000e-300"},
      {5e-324, "4.940656e-324"},     {2.2250738585072014e-308, "2.225074e-308"},
      {1.7976931348623157e308, "1.797693e+308"},
      {1234567.5, "1.234568e+006"},  {1234568.5, "1.234568e+006"},  // ties go to the even digit
      {12345665.0, "1.234566e+007"}, {0.5, "5.000000e-001"},
      {9999999.5, "1.000000e+007"},  {9999998.5, "9.999998e+006"},  {99999995.0, "1.000000e+008"},
      {1e7, "1.000000e+007"},        {1e22, "1.000000e+022"},       {1e23, "1.000000e+023"},
      {inf, "1.#INF00e+000"},        {-inf, "-1.#INF00e+000"},      {nan, "1.#QNAN0e+000"},
      {-nan, "-1.#IND00e+000"},
  };
  for (const auto& [value, text] : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(Scientific(value), text);
    EXPECT_EQ(plenth::FormatScientific(value), text);  // the exact conversion agrees
  }
}

// A sample of what `make verify-format` compares in full: the same families of values,
// each against snprintf and against the exact conversion.
TEST(ScientificTest, AgreesWithSnprintfOnASampleOfEveryFamily) {
  formatcheck::Tally floats, doubles, nearTies, ties;
  formatcheck::CheckFloatPatterns(12345, 2039, floats);  // about two million single-precision values
  formatcheck::CheckRandomDoubles(200'000, 1, doubles);
  formatcheck::CheckNearTies(100'000, 2, nearTies);
  formatcheck::CheckExactTies(311, ties);
  for (const auto* t : {&floats, &doubles, &nearTies, &ties}) ExpectNoDifferences(*t);
  EXPECT_GT(ties.compared, 900'000u);

  std::uint64_t state = 3;
  for (int i = 0; i < 300'000; ++i) {
    state = state * 6364136223846793005u + 1442695040888963407u;
    const double v = i % 2 ? std::bit_cast<double>(state) : static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(state >> 32)));
    ASSERT_EQ(Scientific(v), plenth::FormatScientific(v)) << std::hexfloat << v;
  }
}

template <class T>
T Parsed(const std::string& text, int type, const char** end = nullptr) {
  T v{};
  const char* e = plenth::ParseGridNumber(text.data(), text.data() + text.size(), type, &v);
  if (end) *end = e;
  return v;
}

TEST(GridNumberTest, TheWritersFormReadsAsTheStandardConversionReadsIt) {
  // The shortcut for d.dddddde±ddd must give what from_chars gives, at every exponent.
  std::uint64_t state = 11;
  for (int i = 0; i < 400'000; ++i) {
    state = state * 6364136223846793005u + 1442695040888963407u;
    const double v = i % 2 ? std::bit_cast<double>(state) : static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(state >> 32)));
    if (!std::isfinite(v)) continue;
    const std::string text = Scientific(v);
    double wantD = 0;
    float wantF = 0;
    const char* end = nullptr;
    const std::string token = text + " ";
    const double d = Parsed<double>(token, 10, &end);
    ASSERT_EQ(end, token.data() + text.size()) << text;
    std::from_chars(text.data(), text.data() + text.size(), wantD);
    ASSERT_EQ(std::bit_cast<std::uint64_t>(d), std::bit_cast<std::uint64_t>(wantD)) << text;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), wantF);
    if (r.ec == std::errc()) {
      const float f = Parsed<float>(token, 9);
      ASSERT_EQ(std::bit_cast<std::uint32_t>(f), std::bit_cast<std::uint32_t>(wantF)) << text;
    }
  }
}

TEST(GridNumberTest, SignsAndTheEndsOfNumbers) {
  struct Case {
    const char* text;
    int type;
    double value;  // NaN: no number
    std::size_t used;
  } cases[] = {
      {"+5 ", 6, 5, 2},           {"-5 ", 6, -5, 2},          {"+-5 ", 6, NAN, 0},     {"-+5 ", 6, NAN, 0},
      {"+-5.0e+000 ", 9, NAN, 0}, {"+5.000000e+000 ", 9, 5, 14}, {"+ 5", 8, NAN, 0},    {"+", 8, NAN, 0},
      {"0007 ", 5, 7, 4},         {"-0 ", 4, 0, 2},           {"1234567 ", 8, 1234567, 7},
      {"12345678 ", 8, 12345678, 8}, {"70000x", 6, 4464, 5},  // low-order bits, and a stop at the x
      {"1.250000e+0012 ", 10, 1.25e12, 14},                     // a four-digit exponent
      {"1.250000e+001x", 10, 12.5, 13}, {"1.250000E+001 ", 10, 12.5, 13},
      {"1.25e1", 10, 12.5, 6},    {"-1.#INF00e+000 ", 10, -HUGE_VAL, 14},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    unsigned char cell[8] = {};
    const std::string text = c.text;
    const char* end = plenth::ParseGridNumber(text.data(), text.data() + text.size(), c.type, cell);
    if (std::isnan(c.value)) {
      EXPECT_EQ(end, nullptr);
      continue;
    }
    ASSERT_NE(end, nullptr);
    EXPECT_EQ(static_cast<std::size_t>(end - text.data()), c.used);
    double got = 0;
    switch (c.type) {
      case 4: got = static_cast<std::int8_t>(cell[0]); break;
      case 5: { std::uint16_t v; std::memcpy(&v, cell, 2); got = v; break; }
      case 6: { std::int16_t v; std::memcpy(&v, cell, 2); got = v; break; }
      case 8: { std::int32_t v; std::memcpy(&v, cell, 4); got = v; break; }
      case 9: { float v; std::memcpy(&v, cell, 4); got = v; break; }
      default: std::memcpy(&got, cell, 8);
    }
    EXPECT_EQ(got, c.value);
  }
}

TEST(GridNumberTest, TextCutAnywhereReadsAsTheWholeText) {
  // Whatever the split, reading up to the cut and then going on from where it stopped
  // gives the values of the whole text: no number is taken from a part of itself.
  const std::string text = " 1.250000e+001\r\n-2.500000e-003 7 " + std::string(90, '0') +
                           "3.5e-1 -4 1.#INF00e+000 \t9.999000e+003 x";
  for (int type : {6, 9, 10}) {
    const std::size_t size = type == 6 ? 2 : type == 9 ? 4 : 8;
    std::vector<unsigned char> whole(9 * size);
    const auto all = plenth::ParseGridValues(text.data(), text.data() + text.size(), true, type, whole.data(), 9);
    ASSERT_EQ(all.values, type == 6 ? 1u : 7u);  // an integer stops at the first point
    ASSERT_EQ(all.stop, plenth::GridValueRun::kNotANumber);
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
      SCOPED_TRACE(testing::Message() << "type " << type << " cut at " << cut);
      std::vector<unsigned char> cells(9 * size);
      const bool final = cut == text.size();
      const auto first = plenth::ParseGridValues(text.data(), text.data() + cut, final, type, cells.data(), 9);
      if (first.stop == plenth::GridValueRun::kNotANumber) {
        ASSERT_EQ(first.values, all.values);
      } else {
        ASSERT_EQ(first.stop, plenth::GridValueRun::kNeedMore);
        const auto rest = plenth::ParseGridValues(first.next, text.data() + text.size(), true, type,
                                                  cells.data() + first.values * size, 9 - first.values);
        ASSERT_EQ(first.values + rest.values, all.values);
        EXPECT_EQ(rest.stop, plenth::GridValueRun::kNotANumber);
      }
      EXPECT_EQ(cells, whole);
    }
  }
}

// A long text reads as its tokens read one by one (ParseGridNumber): the writer's own
// tokens, which long texts are read by with fewer checks, beside tokens near their form
// that only the general rules take, and a token that stops the reading.
TEST(GridNumberTest, ALongTextReadsAsItsTokensOneByOne) {
  const std::vector<std::string> near = {
      "1.250000e+001", "-2.500000e-003", "9.999999e+009", "1.000000e-010", "1.000000e+011", "-1.000000e-011",
      "3.402823e+038", "1.401298e-045", "1.797693e+308", "4.940656e-324", "-0.000000e+000", "1.250000e+0012",
      "1.250000E+001", "+1.250000e+001", "1.25e1", "1.2500000e+001", "1.250000e+01", "1.250000e+1000",
      "1.#INF00e+000", "-1.#IND00e+000", "7", "-7", "0", "-0", "0007", "+5", "1234567", "-1234567", "12345678",
      "99999999999", "65535", "-32768", "70000", "4294967295"};
  const std::vector<std::string> stops = {"1,250000e+001", "1.250000f+001", "1.250000e+001x", "12x", "-", "--5",
                                          "5-", "x", "1.250000e*001"};
  std::uint64_t state = 17;
  const auto next = [&state](std::uint64_t n) {
    state = state * 6364136223846793005u + 1442695040888963407u;
    return (state >> 33) % n;
  };
  const char* const spaces[] = {" ", " ", " ", "\r\n ", "\t", "  ", "\n", "\v", "\f "};
  for (int type : {PT_UCHAR, PT_SHORT, PT_LONG, PT_FLOAT, PT_DOUBLE}) {
    const std::size_t size = PixelTypeBytes(type);
    const auto parse = [&](const std::string& t, unsigned char* cell) {
      return plenth::ParseGridNumber(t.data(), t.data() + t.size(), type, cell);
    };
    const auto written = [&] {
      const double v = (static_cast<double>(next(2'000'000'001)) - 1e9) / std::pow(10.0, static_cast<double>(next(12)));
      unsigned char cell[8];
      VisitPixelType(type, [&]<class T>() {
        T t;
        if constexpr (std::is_floating_point_v<T>) t = static_cast<T>(v);
        else t = static_cast<T>(static_cast<std::int64_t>(std::fmod(std::trunc(v), 30000.0)));  // its low bits
        std::memcpy(cell, &t, sizeof t);
      });
      char text[32];
      return std::string(text + 1, plenth::FormatGridValues(text, type, cell, 1));  // without its space
    };
    for (const int nearShare : {0, 1, 4}) {  // of every four tokens
      for (const bool stop : {false, true}) {
        SCOPED_TRACE(testing::Message() << "type " << type << ", " << nearShare << " in 4 near"
                                        << (stop ? ", a stop" : ""));
        std::vector<std::string> tokens;
        unsigned char cell[8];
        for (int i = 0; i < 20000; ++i) {
          std::string t = static_cast<int>(next(4)) < nearShare ? near[next(near.size())] : written();
          const char* end = parse(t, cell);
          tokens.push_back(end == t.data() + t.size() ? t : written());  // only whole numbers of the type
        }
        if (stop) tokens[19'000] = stops[next(stops.size())];
        std::string text;
        for (const auto& t : tokens) text += spaces[next(std::size(spaces))] + t;
        text += " ";
        // One by one: a token that holds a number and more gives its number, and nothing
        // after it is read.
        std::vector<unsigned char> expected;
        for (const auto& t : tokens) {
          const char* end = parse(t, cell);
          if (end) expected.insert(expected.end(), cell, cell + size);
          if (end != t.data() + t.size()) break;
        }
        const std::size_t values = expected.size() / size;
        EXPECT_EQ(values >= 19'000 && values <= 19'001, stop);
        std::vector<unsigned char> got(tokens.size() * size);
        const auto run =
            plenth::ParseGridValues(text.data(), text.data() + text.size(), true, type, got.data(), tokens.size());
        ASSERT_EQ(run.values, values);
        EXPECT_EQ(run.stop, stop ? plenth::GridValueRun::kNotANumber : plenth::GridValueRun::kCount);
        EXPECT_EQ(std::memcmp(got.data(), expected.data(), expected.size()), 0);
        // With more text to come, the same up to the last few tokens, which wait for it.
        std::fill(got.begin(), got.end(), 0);
        const auto part =
            plenth::ParseGridValues(text.data(), text.data() + text.size(), false, type, got.data(), tokens.size());
        ASSERT_LE(part.values, values);
        if (!stop) {
          EXPECT_GE(part.values + 40, values);
        }
        EXPECT_EQ(std::memcmp(got.data(), expected.data(), part.values * size), 0);
      }
    }
    // A number whose token goes on up to the end of the text waits for more text, even
    // far from where the text began.
    const std::string tail = std::string(200, ' ') + "7" + std::string(100, 'x');
    unsigned char cells[8 * 2];
    const auto run = plenth::ParseGridValues(tail.data(), tail.data() + tail.size(), false, type, cells, 2);
    EXPECT_EQ(run.values, 0u);
    EXPECT_EQ(run.stop, plenth::GridValueRun::kNeedMore);
  }
}

TEST(GridNumberTest, RowsOfEveryTypeAreTheCLibrarysTokensAndReadBack) {
  const std::uint8_t bytes[16] = {0x00, 0x80, 0xff, 0x7f, 0x01, 0x00, 0x00, 0x80, 0xcd, 0xcc, 0xcc, 0x3d, 0x9a, 0x99, 0x99, 0xc1};
  for (int type = 3; type <= 10; ++type) {
    SCOPED_TRACE(type);
    const std::size_t cell = type <= 4 ? 1 : type <= 6 ? 2 : type <= 9 ? 4 : 8;
    const std::size_t count = sizeof bytes / cell;
    std::vector<char> text(count * plenth::GridTokenChars(type));
    const char* end = plenth::FormatGridValues(text.data(), type, bytes, count);
    std::string expected;
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint8_t* p = bytes + i * cell;
      char token[40];
      const auto cellOf = [p]<class T>(T) { T v; std::memcpy(&v, p, sizeof v); return v; };
      switch (type) {  // the C library's own formats for the types
        case 3: std::snprintf(token, sizeof token, " %hu", static_cast<unsigned short>(cellOf(std::uint8_t{}))); break;
        case 4: std::snprintf(token, sizeof token, " %hd", static_cast<short>(cellOf(std::int8_t{}))); break;
        case 5: std::snprintf(token, sizeof token, " %u", static_cast<unsigned>(cellOf(std::uint16_t{}))); break;
        case 6: std::snprintf(token, sizeof token, " %d", static_cast<int>(cellOf(std::int16_t{}))); break;
        case 7: std::snprintf(token, sizeof token, " %lu", static_cast<unsigned long>(cellOf(std::uint32_t{}))); break;
        case 8: std::snprintf(token, sizeof token, " %ld", static_cast<long>(cellOf(std::int32_t{}))); break;
        case 9: std::snprintf(token, sizeof token, " %s", formatcheck::Expected(cellOf(float{})).c_str()); break;
        default: std::snprintf(token, sizeof token, " %s", formatcheck::Expected(cellOf(double{})).c_str());
      }
      expected += token;
    }
    EXPECT_EQ(std::string(static_cast<const char*>(text.data()), end), expected);
    EXPECT_LE(static_cast<std::size_t>(end - text.data()), text.size());
    unsigned char back[16] = {};
    const auto run = plenth::ParseGridValues(text.data(), end, true, type, back, count + 1);
    EXPECT_EQ(run.values, count);
    EXPECT_EQ(run.stop, plenth::GridValueRun::kEndOfText);
    if (type < 9) {
      EXPECT_EQ(std::memcmp(back, bytes, sizeof bytes), 0);  // integers come back whole
    }
  }
  char none[4];
  EXPECT_EQ(plenth::FormatGridValues(none, 11, bytes, 4), none);  // no format for the type
  EXPECT_EQ(plenth::GridTokenChars(11), 0u);
}

}  // namespace
