// What the host gives a module for data dragged from it: a reader of the drag's data
// (dataset names, files, layers) and the object stream that rebuilds persisted host
// objects such as layers.
#pragma once

#include "com/dataobject.h"
#include "hostapi/hostapi.h"

struct EnumDatasetName : IUnknown {
  static constexpr IID iid = com::Guid("{91B32F40-4DA0-42DE-A9B4-B6BE2F71DCB3}");
  // The next name, or none and S_FALSE at the end.
  virtual HRESULT Next(DatasetName** name) = 0;
  virtual HRESULT Reset() = 0;
};

// Reads the data of a drag: what it can give and the dataset names it holds.
struct DropDataReader : IUnknown {
  static constexpr IID iid = com::Guid("{483FBC2A-8B11-4843-B8BD-AD65814B0171}");
  // Takes the drag's data object; E_INVALIDARG for an object that is no data object.
  virtual HRESULT putref_DataObject(IUnknown* data) = 0;
  virtual HRESULT CanGetNames(VARIANT_BOOL* can) = 0;
  virtual HRESULT CanGetFiles(VARIANT_BOOL* can) = 0;
  // Whether the data comes in the clipboard format (false for format 0).
  virtual HRESULT CanGetFormat(UINT format, VARIANT_BOOL* can) = 0;
  virtual HRESULT GetNames(EnumDatasetName** names) = 0;
  // The dragged files' paths, one per line.
  virtual HRESULT GetFiles(BSTR* paths) = 0;
};
inline constexpr CLSID CLSID_DropDataReader = com::Guid("{E0CCBCB1-CD47-11D5-A9E6-00104BB6FC1C}");

// Writes host objects to a stream and rebuilds them from it, each as its class id
// followed by what the object itself saves.
struct ObjectStream : IUnknown {
  static constexpr IID iid = com::Guid("{50D88265-7EEA-4A0B-BC90-776277CACFDB}");
  virtual HRESULT putref_Stream(IStream* stream) = 0;
  virtual HRESULT get_Stream(IStream** stream) = 0;
  // Rebuilds the next object of the stream and queries it for riid.
  virtual HRESULT LoadObject(REFIID riid, IUnknown** object) = 0;
  virtual HRESULT SaveObject(IUnknown* object) = 0;
};
inline constexpr CLSID CLSID_ObjectStream = com::Guid("{043731D0-A7CF-11D1-8BD1-080009EE4E41}");

