#include "com/bstr.h"

#include <cstdlib>
#include <cstring>

namespace {
// An OLE string is preceded by its length in bytes (32-bit) and followed by a zero.
struct Header {
  std::uint32_t bytes;
};
Header* HeaderOf(BSTR s) { return reinterpret_cast<Header*>(reinterpret_cast<char*>(s) - sizeof(Header)); }
}  // namespace

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
  const std::size_t bytes = std::size_t{length} * sizeof(OLECHAR);
  auto* raw = static_cast<char*>(std::malloc(sizeof(Header) + bytes + sizeof(OLECHAR)));
  if (!raw) return nullptr;
  reinterpret_cast<Header*>(raw)->bytes = static_cast<std::uint32_t>(bytes);
  auto* s = reinterpret_cast<BSTR>(raw + sizeof(Header));
  if (text)
    std::memcpy(s, text, bytes);
  else
    std::memset(s, 0, bytes);
  s[length] = 0;
  return s;
}

BSTR SysAllocString(const OLECHAR* text) {
  if (!text) return nullptr;
  UINT n = 0;
  while (text[n]) ++n;
  return SysAllocStringLen(text, n);
}

void SysFreeString(BSTR s) {
  if (s) std::free(HeaderOf(s));
}

UINT SysStringLen(BSTR s) { return s ? HeaderOf(s)->bytes / sizeof(OLECHAR) : 0; }

namespace com {

std::u16string Utf8ToUtf16(std::string_view in) {
  std::u16string out;
  out.reserve(in.size());
  for (std::size_t i = 0; i < in.size();) {
    const auto c = static_cast<unsigned char>(in[i]);
    char32_t cp = 0xFFFD;
    std::size_t len = 1;
    if (c < 0x80) {
      cp = c;
    } else if ((c >> 5) == 6 && i + 1 < in.size()) {
      cp = ((c & 0x1Fu) << 6) | (in[i + 1] & 0x3Fu);
      len = 2;
    } else if ((c >> 4) == 14 && i + 2 < in.size()) {
      cp = ((c & 0x0Fu) << 12) | ((in[i + 1] & 0x3Fu) << 6) | (in[i + 2] & 0x3Fu);
      len = 3;
    } else if ((c >> 3) == 30 && i + 3 < in.size()) {
      cp = ((c & 0x07u) << 18) | ((in[i + 1] & 0x3Fu) << 12) | ((in[i + 2] & 0x3Fu) << 6) |
           (in[i + 3] & 0x3Fu);
      len = 4;
    }
    i += len;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view in) {
  std::string out;
  out.reserve(in.size());
  for (std::size_t i = 0; i < in.size(); ++i) {
    char32_t cp = in[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < in.size() && in[i + 1] >= 0xDC00 && in[i + 1] < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (in[i + 1] - 0xDC00);
      ++i;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

std::string ToUtf8(const OLECHAR* text) {
  if (!text) return {};
  return Utf16ToUtf8(std::u16string_view(text));
}

BSTR AllocBstr(std::string_view utf8) {
  const std::u16string w = Utf8ToUtf16(utf8);
  return SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
}

HRESULT OutString(std::string_view utf8, BSTR* out) {
  if (!out) return E_POINTER;
  *out = AllocBstr(utf8);
  return S_OK;
}

std::string_view CutUtf8(std::string_view text, std::size_t bytes) {
  if (text.size() <= bytes) return text;
  std::size_t n = bytes;
  // Step back over continuation bytes so that the cut falls between characters.
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  return text.substr(0, n);
}

bool CopyToBuffer(char* buffer, std::size_t size, std::string_view text) {
  if (!buffer || size == 0) return text.empty();
  const std::string_view fit = CutUtf8(text, size - 1);
  std::memcpy(buffer, fit.data(), fit.size());
  buffer[fit.size()] = 0;
  return fit.size() == text.size();
}

}  // namespace com
