// Class and interface ids: compile-time parsing, run-time parsing and the
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" upper-case text form.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "com/types.h"

struct GUID {
  std::uint32_t Data1;
  std::uint16_t Data2;
  std::uint16_t Data3;
  std::uint8_t Data4[8];

  friend constexpr bool operator==(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i)
      if (a.Data4[i] != b.Data4[i]) return false;
    return true;
  }
};
static_assert(sizeof(GUID) == 16);

using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

inline constexpr GUID GUID_NULL{};

namespace com {

namespace detail {
constexpr int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Parses "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX" with or without braces.
constexpr std::optional<GUID> ParseGuidText(std::string_view s) {
  if (s.size() == 38) {
    if (s.front() != '{' || s.back() != '}') return std::nullopt;
    s = s.substr(1, 36);
  }
  if (s.size() != 36) return std::nullopt;
  for (std::size_t dash : {8u, 13u, 18u, 23u})
    if (s[dash] != '-') return std::nullopt;
  std::uint8_t bytes[16]{};
  std::size_t n = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (i == 8 || i == 13 || i == 18 || i == 23) continue;
    const int hi = HexDigit(s[i]);
    const int lo = HexDigit(s[i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    bytes[n++] = static_cast<std::uint8_t>(hi * 16 + lo);
    ++i;
  }
  GUID g{};
  g.Data1 = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
            (std::uint32_t{bytes[2]} << 8) | bytes[3];
  g.Data2 = static_cast<std::uint16_t>((bytes[4] << 8) | bytes[5]);
  g.Data3 = static_cast<std::uint16_t>((bytes[6] << 8) | bytes[7]);
  for (int i = 0; i < 8; ++i) g.Data4[i] = bytes[8 + i];
  return g;
}
}  // namespace detail

// A GUID written in the source; a malformed literal does not compile.
template <std::size_t N>
consteval GUID Guid(const char (&text)[N]) {
  const auto g = detail::ParseGuidText(std::string_view(text, N - 1));
  if (!g) throw "malformed GUID literal";
  return *g;
}

// Parses a GUID with or without braces, hex digits of either case.
std::optional<GUID> ParseGuid(std::string_view text);
// "{438E9AAF-4555-4806-8445-D9D721BDB5B8}": braces, upper-case hex.
std::string GuidToString(const GUID& g);

}  // namespace com

// The interface id bound to an interface type (declared as `static constexpr IID iid`).
template <class T>
constexpr const IID& uuidof() {
  return T::iid;
}

// Writes the braced text form into buf (at least 39 characters); returns the characters
// written including the terminating zero, or 0 when buf is too small.
int StringFromGUID2(REFGUID guid, LPOLESTR buf, int capacity);
// Reads the braced text form; fails with E_INVALIDARG on malformed text.
HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid);
