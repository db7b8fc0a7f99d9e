#include "com/marshal.h"

#include "com/boundary.h"
#include "com/object.h"

namespace {

// Within one process the free-threaded marshaler passes the interface pointer itself:
// marshaling writes it (with a reference) into the stream, unmarshaling reads it back.
class FreeThreadedMarshaler final : public com::ComClass<FreeThreadedMarshaler, IMarshal> {
 public:
  HRESULT GetUnmarshalClass(REFIID, void*, DWORD, void*, DWORD, CLSID* clsid) override {
    return com::Out(CLSID_InProcFreeMarshaler, clsid);
  }
  HRESULT GetMarshalSizeMax(REFIID, void*, DWORD, void*, DWORD, DWORD* size) override {
    return com::Out(DWORD{sizeof(void*)}, size);
  }
  HRESULT MarshalInterface(IStream* stream, REFIID riid, void* object, DWORD, void*, DWORD) override {
    if (!stream || !object) return E_POINTER;
    IUnknown* itf = nullptr;
    if (const HRESULT hr = static_cast<IUnknown*>(object)->QueryInterface(riid, reinterpret_cast<void**>(&itf)); FAILED(hr))
      return hr;
    const HRESULT hr = stream->Write(&itf, sizeof itf, nullptr);
    if (FAILED(hr)) itf->Release();
    return hr;
  }
  HRESULT UnmarshalInterface(IStream* stream, REFIID riid, void** object) override {
    if (!stream || !object) return E_POINTER;
    *object = nullptr;
    IUnknown* itf = nullptr;
    ULONG read = 0;
    if (FAILED(stream->Read(&itf, sizeof itf, &read)) || read != sizeof itf || !itf) return E_FAIL;
    const HRESULT hr = itf->QueryInterface(riid, object);
    itf->Release();
    return hr;
  }
  HRESULT ReleaseMarshalData(IStream* stream) override {
    if (!stream) return E_POINTER;
    IUnknown* itf = nullptr;
    ULONG read = 0;
    if (FAILED(stream->Read(&itf, sizeof itf, &read)) || read != sizeof itf || !itf) return E_FAIL;
    itf->Release();
    return S_OK;
  }
  HRESULT DisconnectObject(DWORD) override { return S_OK; }
};

}  // namespace

HRESULT CoCreateFreeThreadedMarshaler(IUnknown* outer, IUnknown** marshaler) {
  if (!marshaler) return E_POINTER;
  return com::CreateObject<FreeThreadedMarshaler>(outer, IUnknown::iid, reinterpret_cast<void**>(marshaler));
}
