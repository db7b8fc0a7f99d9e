#include "com/bstr.h"

#include <algorithm>
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

std::string ToUtf8(const OLECHAR* text) {
  if (!text) return {};
  return Utf16ToUtf8(std::u16string_view(text));
}

BSTR AllocBstr(std::string_view utf8) {
  // ASCII text, the usual case, goes straight in.
  if (std::all_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
    const BSTR s = SysAllocStringLen(nullptr, static_cast<UINT>(utf8.size()));
    if (s) std::copy(utf8.begin(), utf8.end(), s);
    return s;
  }
  const std::u16string w = Utf8ToUtf16(utf8);
  return SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
}

HRESULT OutString(std::string_view utf8, BSTR* out) {
  if (!out) return E_POINTER;
  *out = AllocBstr(utf8);
  return S_OK;
}

bool CopyToBuffer(char* buffer, std::size_t size, std::string_view text) {
  if (!buffer || size == 0) return text.empty();
  const std::string_view fit = CutUtf8(text, size - 1);
  std::memcpy(buffer, fit.data(), fit.size());
  buffer[fit.size()] = 0;
  return fit.size() == text.size();
}

}  // namespace com
