// Data handed over by drag and drop (and the clipboard): the data-object contract with
// its format descriptions and storage media, the drop-target contract a window
// registers, and a data object that holds its formats as blocks of bytes.
#pragma once

#include <map>
#include <vector>

#include "com/object.h"
#include "com/stream.h"

using CLIPFORMAT = WORD;
constexpr CLIPFORMAT CF_TEXT = 1;
constexpr CLIPFORMAT CF_UNICODETEXT = 13;
constexpr CLIPFORMAT CF_HDROP = 15;

constexpr DWORD DVASPECT_CONTENT = 1;
constexpr DWORD TYMED_NULL = 0;
constexpr DWORD TYMED_HGLOBAL = 1;
constexpr DWORD TYMED_ISTREAM = 4;

constexpr HRESULT DV_E_FORMATETC = MakeHresult(0x80040064u);
constexpr HRESULT DV_E_LINDEX = MakeHresult(0x80040068u);
constexpr HRESULT DV_E_TYMED = MakeHresult(0x80040069u);
constexpr HRESULT DV_E_DVASPECT = MakeHresult(0x8004006Bu);

struct DVTARGETDEVICE;
struct IEnumFORMATETC;
struct IAdviseSink;
struct IEnumSTATDATA;

// Which data, for which device and aspect, in which medium.
struct FORMATETC {
  CLIPFORMAT cfFormat;
  DVTARGETDEVICE* ptd;
  DWORD dwAspect;
  LONG lindex;  // -1: all pieces
  DWORD tymed;
};

// Where the data is; the receiver releases it with ReleaseStgMedium.
struct STGMEDIUM {
  DWORD tymed;
  union {
    HGLOBAL hGlobal;
    IStream* pstm;
  };
  IUnknown* pUnkForRelease;
};

// Frees the medium's global memory or releases its stream (or lets its owner do so).
void ReleaseStgMedium(STGMEDIUM* medium);

struct IDataObject : IUnknown {
  static constexpr IID iid = com::Guid("{0000010E-0000-0000-C000-000000000046}");
  virtual HRESULT GetData(FORMATETC* format, STGMEDIUM* medium) = 0;
  virtual HRESULT GetDataHere(FORMATETC* format, STGMEDIUM* medium) = 0;
  virtual HRESULT QueryGetData(FORMATETC* format) = 0;
  virtual HRESULT GetCanonicalFormatEtc(FORMATETC* in, FORMATETC* out) = 0;
  virtual HRESULT SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) = 0;
  virtual HRESULT EnumFormatEtc(DWORD direction, IEnumFORMATETC** formats) = 0;
  virtual HRESULT DAdvise(FORMATETC* format, DWORD flags, IAdviseSink* sink, DWORD* connection) = 0;
  virtual HRESULT DUnadvise(DWORD connection) = 0;
  virtual HRESULT EnumDAdvise(IEnumSTATDATA** advises) = 0;

 protected:
  ~IDataObject() = default;
};

// Drop effects.
constexpr DWORD DROPEFFECT_NONE = 0;
constexpr DWORD DROPEFFECT_COPY = 1;
constexpr DWORD DROPEFFECT_MOVE = 2;
constexpr DWORD DROPEFFECT_LINK = 4;

struct POINTL {
  LONG x;
  LONG y;
};

// What a window offers to drags of data over it.
struct IDropTarget : IUnknown {
  static constexpr IID iid = com::Guid("{00000122-0000-0000-C000-000000000046}");
  virtual HRESULT DragEnter(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) = 0;
  virtual HRESULT DragOver(DWORD keyState, POINTL point, DWORD* effect) = 0;
  virtual HRESULT DragLeave() = 0;
  virtual HRESULT Drop(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) = 0;

 protected:
  ~IDropTarget() = default;
};

namespace com {

// A data object holding each of its formats as a block of bytes, given out as global
// memory (a new block for every request) for the content aspect.
class DataObject final : public ComClass<DataObject, IDataObject> {
 public:
  void Put(CLIPFORMAT format, std::vector<unsigned char> bytes) { formats_[format] = std::move(bytes); }

  HRESULT GetData(FORMATETC* format, STGMEDIUM* medium) override;
  HRESULT GetDataHere(FORMATETC* format, STGMEDIUM* medium) override;
  HRESULT QueryGetData(FORMATETC* format) override;
  HRESULT GetCanonicalFormatEtc(FORMATETC* in, FORMATETC* out) override;
  // Keeps a copy of a global memory block in that format.
  HRESULT SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) override;
  HRESULT EnumFormatEtc(DWORD direction, IEnumFORMATETC** formats) override;
  HRESULT DAdvise(FORMATETC* format, DWORD flags, IAdviseSink* sink, DWORD* connection) override;
  HRESULT DUnadvise(DWORD connection) override;
  HRESULT EnumDAdvise(IEnumSTATDATA** advises) override;

 private:
  HRESULT Check(const FORMATETC* format) const;
  std::map<CLIPFORMAT, std::vector<unsigned char>> formats_;
};

// The content of a format as global memory: what a drop target asks a data object for.
inline FORMATETC ContentFormat(CLIPFORMAT format) { return {format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}; }

}  // namespace com
