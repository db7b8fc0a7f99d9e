#include "com/utf8.h"

namespace com {
namespace {

unsigned char ByteAt(std::string_view text, std::size_t at) { return static_cast<unsigned char>(text[at]); }
bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// What a lead byte starts: the length of its character and the range its second byte
// must fall in (narrower after E0, ED, F0 and F4, which rules out overlong forms,
// surrogates and values past U+10FFFF). Length 0: the byte starts no character.
struct Lead {
  int length;
  unsigned char low, high;
};

Lead LeadOf(unsigned char c) {
  if (c < 0x80) return {1, 0, 0};
  if (c < 0xC2) return {0, 0, 0};  // a continuation byte, or the lead of an overlong form
  if (c < 0xE0) return {2, 0x80, 0xBF};
  if (c == 0xE0) return {3, 0xA0, 0xBF};
  if (c == 0xED) return {3, 0x80, 0x9F};
  if (c < 0xF0) return {3, 0x80, 0xBF};
  if (c == 0xF0) return {4, 0x90, 0xBF};
  if (c < 0xF4) return {4, 0x80, 0xBF};
  if (c == 0xF4) return {4, 0x80, 0x8F};
  return {0, 0, 0};
}

bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

}  // namespace

char32_t DecodeUtf8(std::string_view text, std::size_t& at) {
  const unsigned char c = ByteAt(text, at++);
  const Lead lead = LeadOf(c);
  if (lead.length == 1) return c;
  if (lead.length == 0) return kReplacementChar;
  char32_t cp = c & (0x7Fu >> lead.length);
  for (int k = 1; k < lead.length; ++k) {
    // A byte that cannot continue the character ends it as U+FFFD and starts the next.
    if (at >= text.size()) return kReplacementChar;
    const unsigned char b = ByteAt(text, at);
    if (b < (k == 1 ? lead.low : 0x80) || b > (k == 1 ? lead.high : 0xBF)) return kReplacementChar;
    cp = (cp << 6) | (b & 0x3Fu);
    ++at;
  }
  return cp;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (IsSurrogate(c) || c > 0x10FFFF) c = kReplacementChar;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
  // Never more units than bytes: a character of four bytes takes two units, any other
  // one, and a byte that starts no character one U+FFFD.
  std::u16string out(utf8.size(), u'\0');
  std::size_t n = 0;
  for (std::size_t at = 0; at < utf8.size();) {
    if (const unsigned char b = ByteAt(utf8, at); b < 0x80) {  // ASCII, the usual case
      out[n++] = static_cast<char16_t>(b);
      ++at;
      continue;
    }
    char32_t c = DecodeUtf8(utf8, at);
    if (c >= 0x10000) {
      c -= 0x10000;
      out[n++] = static_cast<char16_t>(0xD800 + (c >> 10));
      out[n++] = static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out[n++] = static_cast<char16_t>(c);
    }
  }
  out.resize(n);
  return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  // At most three bytes a unit: a pair of surrogates (two units) makes four.
  std::string out(3 * utf16.size(), '\0');
  std::size_t n = 0;
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    char32_t c = utf16[i];
    if (c < 0x80) {  // ASCII, the usual case
      out[n++] = static_cast<char>(c);
      continue;
    }
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 && utf16[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
      ++i;
    }
    if (IsSurrogate(c)) c = kReplacementChar;  // a surrogate left alone
    if (c < 0x800) {
      out[n++] = static_cast<char>(0xC0 | (c >> 6));
    } else if (c < 0x10000) {
      out[n++] = static_cast<char>(0xE0 | (c >> 12));
      out[n++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    } else {
      out[n++] = static_cast<char>(0xF0 | (c >> 18));
      out[n++] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out[n++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    }
    out[n++] = static_cast<char>(0x80 | (c & 0x3F));
  }
  out.resize(n);
  return out;
}

std::size_t Utf8Length(std::string_view text) {
  std::size_t n = 0;
  for (std::size_t at = 0; at < text.size(); ++n) DecodeUtf8(text, at);
  return n;
}

std::size_t Utf8CharStart(std::string_view text, std::size_t at) {
  if (at >= text.size()) return text.size();
  if (!IsContinuation(ByteAt(text, at))) return at;
  // A continuation byte belongs to the nearest byte before it that is none, when the
  // decoder reads that character on past `at`; otherwise it stands alone.
  for (std::size_t back = 1; back <= 3 && back <= at; ++back) {
    const std::size_t start = at - back;
    if (IsContinuation(ByteAt(text, start))) continue;
    std::size_t end = start;
    DecodeUtf8(text, end);
    return end > at ? start : at;
  }
  return at;
}

std::size_t Utf8NextCharStart(std::string_view text, std::size_t at) {
  if (at >= text.size()) return text.size();
  std::size_t start = Utf8CharStart(text, at);
  if (start >= at) return start;
  DecodeUtf8(text, start);
  return start;
}

std::string_view CutUtf8(std::string_view text, std::size_t bytes) {
  if (text.size() <= bytes) return text;
  return text.substr(0, Utf8CharStart(text, bytes));
}

}  // namespace com
