// Objects that save themselves to a stream and load themselves back, so that a stream
// of them can be rebuilt by class id.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "com/stream.h"

struct IPersist : IUnknown {
  static constexpr IID iid = com::Guid("{0000010C-0000-0000-C000-000000000046}");
  virtual HRESULT GetClassID(CLSID* clsid) = 0;

 protected:
  ~IPersist() = default;
};

struct IPersistStream : IPersist {
  static constexpr IID iid = com::Guid("{00000109-0000-0000-C000-000000000046}");
  virtual HRESULT IsDirty() = 0;
  virtual HRESULT Load(IStream* stream) = 0;
  virtual HRESULT Save(IStream* stream, BOOL clearDirty) = 0;
  virtual HRESULT GetSizeMax(ULARGE_INTEGER* size) = 0;

 protected:
  ~IPersistStream() = default;
};

namespace com {

// The pieces objects write to their streams: 32-bit values (little-endian) and texts
// (their UTF-8 byte count, then the bytes). A read that finds fewer bytes than it
// needs fails with STG_E_READFAULT.
constexpr HRESULT STG_E_READFAULT = MakeHresult(0x8003001Eu);
HRESULT WriteUInt32(IStream* stream, std::uint32_t value);
HRESULT ReadUInt32(IStream* stream, std::uint32_t* value);
HRESULT WriteText(IStream* stream, std::string_view utf8);
// Texts longer than `limit` bytes are refused (STG_E_READFAULT), so that a damaged
// count cannot ask for any amount of memory.
HRESULT ReadText(IStream* stream, std::string* utf8, std::uint32_t limit = 1u << 20);
HRESULT WriteGuid(IStream* stream, const GUID& guid);
HRESULT ReadGuid(IStream* stream, GUID* guid);

}  // namespace com
