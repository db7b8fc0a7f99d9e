#include "com/dataobject.h"

#include <cstring>

void ReleaseStgMedium(STGMEDIUM* medium) {
  if (!medium) return;
  if (medium->pUnkForRelease) {
    medium->pUnkForRelease->Release();
  } else if (medium->tymed == TYMED_HGLOBAL) {
    GlobalFree(medium->hGlobal);
  } else if (medium->tymed == TYMED_ISTREAM && medium->pstm) {
    medium->pstm->Release();
  }
  medium->tymed = TYMED_NULL;
  medium->hGlobal = nullptr;
  medium->pUnkForRelease = nullptr;
}

namespace com {

HRESULT DataObject::Check(const FORMATETC* format) const {
  if (!format) return E_INVALIDARG;
  if (!formats_.count(format->cfFormat)) return DV_E_FORMATETC;
  if (format->dwAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (format->lindex != -1) return DV_E_LINDEX;
  if (!(format->tymed & TYMED_HGLOBAL)) return DV_E_TYMED;
  return S_OK;
}

HRESULT DataObject::GetData(FORMATETC* format, STGMEDIUM* medium) {
  if (!medium) return E_POINTER;
  medium->tymed = TYMED_NULL;
  medium->hGlobal = nullptr;
  medium->pUnkForRelease = nullptr;
  if (const HRESULT hr = Check(format); FAILED(hr)) return hr;
  const auto& bytes = formats_.at(format->cfFormat);
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
  if (!block) return E_OUTOFMEMORY;
  if (!bytes.empty()) {
    std::memcpy(GlobalLock(block), bytes.data(), bytes.size());
    GlobalUnlock(block);
  }
  medium->tymed = TYMED_HGLOBAL;
  medium->hGlobal = block;
  return S_OK;
}

HRESULT DataObject::GetDataHere(FORMATETC*, STGMEDIUM*) { return E_NOTIMPL; }

HRESULT DataObject::QueryGetData(FORMATETC* format) { return FAILED(Check(format)) ? S_FALSE : S_OK; }

HRESULT DataObject::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) {
  if (out) out->ptd = nullptr;
  return E_NOTIMPL;
}

HRESULT DataObject::SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) {
  if (!format || !medium) return E_INVALIDARG;
  if (medium->tymed != TYMED_HGLOBAL || format->dwAspect != DVASPECT_CONTENT) return DV_E_TYMED;
  return Guard([&] {
    const auto* bytes = static_cast<const unsigned char*>(GlobalLock(medium->hGlobal));
    std::vector<unsigned char> copy(bytes, bytes + GlobalSize(medium->hGlobal));
    GlobalUnlock(medium->hGlobal);
    formats_[format->cfFormat] = std::move(copy);
    if (release) ReleaseStgMedium(medium);
  });
}

HRESULT DataObject::EnumFormatEtc(DWORD, IEnumFORMATETC** formats) {
  if (formats) *formats = nullptr;
  return E_NOTIMPL;
}
HRESULT DataObject::DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) { return E_NOTIMPL; }
HRESULT DataObject::DUnadvise(DWORD) { return E_NOTIMPL; }
HRESULT DataObject::EnumDAdvise(IEnumSTATDATA** advises) {
  if (advises) *advises = nullptr;
  return E_NOTIMPL;
}

}  // namespace com
