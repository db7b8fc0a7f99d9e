#include "com/persist.h"

#include <cstring>

namespace com {
namespace {

HRESULT WriteBytes(IStream* stream, const void* bytes, ULONG count) {
  if (!stream) return E_POINTER;
  ULONG written = 0;
  const HRESULT hr = stream->Write(bytes, count, &written);
  if (FAILED(hr)) return hr;
  return written == count ? S_OK : STG_E_MEDIUMFULL;
}

HRESULT ReadBytes(IStream* stream, void* bytes, ULONG count) {
  if (!stream) return E_POINTER;
  ULONG read = 0;
  const HRESULT hr = stream->Read(bytes, count, &read);
  if (FAILED(hr)) return hr;
  return read == count ? S_OK : STG_E_READFAULT;
}

}  // namespace

HRESULT WriteUInt32(IStream* stream, std::uint32_t value) {
  const unsigned char bytes[4] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                                  static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
  return WriteBytes(stream, bytes, 4);
}

HRESULT ReadUInt32(IStream* stream, std::uint32_t* value) {
  if (!value) return E_POINTER;
  unsigned char bytes[4];
  if (const HRESULT hr = ReadBytes(stream, bytes, 4); FAILED(hr)) return hr;
  *value = bytes[0] | (std::uint32_t{bytes[1]} << 8) | (std::uint32_t{bytes[2]} << 16) | (std::uint32_t{bytes[3]} << 24);
  return S_OK;
}

HRESULT WriteText(IStream* stream, std::string_view utf8) {
  if (utf8.size() > 0xFFFFFFFFu) return E_INVALIDARG;
  if (const HRESULT hr = WriteUInt32(stream, static_cast<std::uint32_t>(utf8.size())); FAILED(hr)) return hr;
  return utf8.empty() ? S_OK : WriteBytes(stream, utf8.data(), static_cast<ULONG>(utf8.size()));
}

HRESULT ReadText(IStream* stream, std::string* utf8, std::uint32_t limit) {
  if (!utf8) return E_POINTER;
  std::uint32_t size = 0;
  if (const HRESULT hr = ReadUInt32(stream, &size); FAILED(hr)) return hr;
  if (size > limit) return STG_E_READFAULT;
  std::string text(size, '\0');
  if (size)
    if (const HRESULT hr = ReadBytes(stream, text.data(), size); FAILED(hr)) return hr;
  *utf8 = std::move(text);
  return S_OK;
}

HRESULT WriteGuid(IStream* stream, const GUID& guid) {
  const std::string text = GuidToString(guid);
  return WriteText(stream, text);
}

HRESULT ReadGuid(IStream* stream, GUID* guid) {
  if (!guid) return E_POINTER;
  std::string text;
  if (const HRESULT hr = ReadText(stream, &text, 38); FAILED(hr)) return hr;
  const auto parsed = ParseGuid(text);
  if (!parsed) return STG_E_READFAULT;
  *guid = *parsed;
  return S_OK;
}

}  // namespace com
