#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "com/bstr.h"
#include "com/utf8.h"

namespace {

std::u32string Decode(std::string_view text) {
  std::u32string out;
  for (std::size_t at = 0; at < text.size();) out += com::DecodeUtf8(text, at);
  return out;
}

// Where the decoder starts each character.
std::vector<std::size_t> Starts(std::string_view text) {
  std::vector<std::size_t> starts;
  for (std::size_t at = 0; at < text.size(); com::DecodeUtf8(text, at)) starts.push_back(at);
  return starts;
}

constexpr char32_t R = com::kReplacementChar;

// Every ill-formed sequence reads as U+FFFD: the longest start of a character that cannot
// be completed is one U+FFFD, and a byte that starts nothing is one U+FFFD.
TEST(Utf8, DecodingFollowsOneRuleForIllFormedInput) {
  struct Case {
    const char* name;
    std::string bytes;
    std::u32string chars;
  } cases[] = {
      {"ASCII", "A z", U"A z"},
      {"two bytes", "\xC3\xA9", U"\u00E9"},
      {"three bytes", "\xE2\x82\xAC", U"\u20AC"},
      {"four bytes", "\xF0\x9F\x97\xBA", U"\U0001F5FA"},
      {"the last character", "\xF4\x8F\xBF\xBF", U"\U0010FFFF"},
      {"overlong two bytes", "\xC0\xAF", {R, R}},
      {"overlong two bytes, highest", "\xC1\xBF", {R, R}},
      {"overlong three bytes", "\xE0\x80\xAF", {R, R, R}},
      {"overlong three bytes, highest", "\xE0\x9F\xBF", {R, R, R}},
      {"overlong four bytes", "\xF0\x80\x80\xAF", {R, R, R, R}},
      {"encoded high surrogate", "\xED\xA0\x80", {R, R, R}},
      {"encoded low surrogate", "\xED\xBF\xBF", {R, R, R}},
      {"past U+10FFFF", "\xF4\x90\x80\x80", {R, R, R, R}},
      {"no such lead byte", "\xF5\x80\xFE\xFF", {R, R, R, R}},
      {"truncated at the end", "a\xE2\x82", {U'a', R}},
      {"truncated four bytes", "\xF0\x9F\x97", {R}},
      {"truncated before a letter", "\xE2\x82" "A\xC3" "b", {R, U'A', R, U'b'}},
      {"lead byte before a lead byte", "\xC3\xC3\xA9", {R, U'\u00E9'}},
      {"stray continuation bytes", "a\x80\xBF" "b", {U'a', R, R, U'b'}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Decode(c.bytes), c.chars);
    EXPECT_EQ(com::Utf8Length(c.bytes), c.chars.size());
    // The cut and the step back of a backspace agree with the decoder about where
    // characters start, also in ill-formed text.
    const auto starts = Starts(c.bytes);
    for (std::size_t at = 0; at < c.bytes.size(); ++at) {
      SCOPED_TRACE(at);
      std::size_t expected = 0;
      for (std::size_t s : starts)
        if (s <= at) expected = s;
      EXPECT_EQ(com::Utf8CharStart(c.bytes, at), expected);
      EXPECT_EQ(com::CutUtf8(c.bytes, at).size(), expected);
    }
    // Through UTF-16 and back, the text comes out as the decoder read it.
    std::string expectedUtf8;
    for (char32_t ch : c.chars) com::AppendUtf8(expectedUtf8, ch);
    EXPECT_EQ(com::Utf16ToUtf8(com::Utf8ToUtf16(c.bytes)), expectedUtf8);
  }
}

TEST(Utf8, SurrogatesPairUpOrBecomeReplacements) {
  struct Case {
    const char* name;
    std::u16string utf16;
    std::string utf8;
  } cases[] = {
      {"a pair", u"\xD83D\xDDFA", "\xF0\x9F\x97\xBA"},
      {"lone high at the end", u"a\xD83D", "a\xEF\xBF\xBD"},
      {"lone high before a letter", u"\xD83Dz", "\xEF\xBF\xBDz"},
      {"lone low", u"\xDDFA", "\xEF\xBF\xBD"},
      {"low before high", u"\xDDFA\xD83D", "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"two highs then a low", u"\xD83D\xD83D\xDDFA", "\xEF\xBF\xBD\xF0\x9F\x97\xBA"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(com::Utf16ToUtf8(c.utf16), c.utf8);
  }
  std::string appended;
  com::AppendUtf8(appended, 0xD800);
  com::AppendUtf8(appended, 0x110000);
  EXPECT_EQ(appended, "\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(com::Utf8ToUtf16("\xF0\x9F\x97\xBA"), u"\xD83D\xDDFA");
}

TEST(Utf8, NextCharStartSkipsTheRestOfACharacter) {
  const std::string text = "a\xF0\x9F\x97\xBA\x80z";  // a, a map sign, a stray byte, z
  EXPECT_EQ(com::Utf8NextCharStart(text, 0), 0u);
  EXPECT_EQ(com::Utf8NextCharStart(text, 1), 1u);
  EXPECT_EQ(com::Utf8NextCharStart(text, 2), 5u);
  EXPECT_EQ(com::Utf8NextCharStart(text, 4), 5u);
  EXPECT_EQ(com::Utf8NextCharStart(text, 5), 5u);  // a stray byte is a character of its own
  EXPECT_EQ(com::Utf8NextCharStart(text, 6), 6u);
  EXPECT_EQ(com::Utf8NextCharStart(text, 7), text.size());
  EXPECT_EQ(com::Utf8NextCharStart(text, 9), text.size());
  EXPECT_EQ(com::Utf8NextCharStart("a\xE2\x82", 2), 3u);  // the rest of a cut-off character
}

}  // namespace
