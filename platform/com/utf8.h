// UTF-8, the system's ANSI code page on this platform, and its conversions to and from
// the host's UTF-16. One rule for input that is not well formed, everywhere: each
// ill-formed byte sequence (the longest start of a character that cannot be completed, or
// a single byte that starts nothing) reads as one U+FFFD, and so does a UTF-16 surrogate
// without its partner. Overlong forms, encoded surrogates and values past U+10FFFF are
// ill-formed.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace com {

inline constexpr char32_t kReplacementChar = U'\uFFFD';

// Decodes the character that starts at text[at] and moves `at` past it.
char32_t DecodeUtf8(std::string_view text, std::size_t& at);
// Appends one character as UTF-8 (a surrogate or a value past U+10FFFF as U+FFFD).
void AppendUtf8(std::string& out, char32_t c);

std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

// The number of characters in the text, as the decoder counts them.
std::size_t Utf8Length(std::string_view text);

// The start of the character that holds byte `at` (text.size() when at is past the end):
// cutting there never splits a character.
std::size_t Utf8CharStart(std::string_view text, std::size_t at);
// The first character start at or after byte `at`.
std::size_t Utf8NextCharStart(std::string_view text, std::size_t at);

// The longest prefix of text that fits in `bytes` bytes without splitting a character.
std::string_view CutUtf8(std::string_view text, std::size_t bytes);

}  // namespace com
