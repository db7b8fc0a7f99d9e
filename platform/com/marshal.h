// The marshaling contract and the free-threaded marshaler: an object that aggregates it
// can be handed to another thread as the same pointer.
#pragma once

#include "com/stream.h"

constexpr DWORD MSHCTX_INPROC = 3;
constexpr DWORD MSHLFLAGS_NORMAL = 0;
inline constexpr CLSID CLSID_InProcFreeMarshaler = com::Guid("{0000033A-0000-0000-C000-000000000046}");

struct IMarshal : IUnknown {
  static constexpr IID iid = com::Guid("{00000003-0000-0000-C000-000000000046}");
  virtual HRESULT GetUnmarshalClass(REFIID riid, void* object, DWORD destContext, void* reserved, DWORD flags,
                                    CLSID* clsid) = 0;
  virtual HRESULT GetMarshalSizeMax(REFIID riid, void* object, DWORD destContext, void* reserved, DWORD flags,
                                    DWORD* size) = 0;
  virtual HRESULT MarshalInterface(IStream* stream, REFIID riid, void* object, DWORD destContext, void* reserved,
                                   DWORD flags) = 0;
  virtual HRESULT UnmarshalInterface(IStream* stream, REFIID riid, void** object) = 0;
  virtual HRESULT ReleaseMarshalData(IStream* stream) = 0;
  virtual HRESULT DisconnectObject(DWORD reserved) = 0;

 protected:
  ~IMarshal() = default;
};

// Creates the free-threaded marshaler aggregated inside outer; *marshaler receives its
// inner (non-delegating) base contract.
HRESULT CoCreateFreeThreadedMarshaler(IUnknown* outer, IUnknown** marshaler);
