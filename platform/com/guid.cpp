#include "com/guid.h"

#include <cstdio>

#include "com/bstr.h"

namespace com {

std::optional<GUID> ParseGuid(std::string_view text) { return detail::ParseGuidText(text); }

std::string GuidToString(const GUID& g) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1,
                g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4],
                g.Data4[5], g.Data4[6], g.Data4[7]);
  return buf;
}

}  // namespace com

int StringFromGUID2(REFGUID guid, LPOLESTR buf, int capacity) {
  const std::string text = com::GuidToString(guid);
  if (!buf || capacity < static_cast<int>(text.size()) + 1) return 0;
  for (std::size_t i = 0; i < text.size(); ++i) buf[i] = static_cast<OLECHAR>(text[i]);
  buf[text.size()] = 0;
  return static_cast<int>(text.size()) + 1;
}

HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid) {
  if (!clsid) return E_POINTER;
  const std::string s = com::ToUtf8(text);
  if (s.size() != 38) return E_INVALIDARG;  // the braced form only
  const auto g = com::ParseGuid(s);
  if (!g) return E_INVALIDARG;
  *clsid = *g;
  return S_OK;
}
