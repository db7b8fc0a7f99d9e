#include "hostapp/dropdata.h"

#include <cstring>
#include <mutex>

#include "com/boundary.h"
#include "com/classes.h"
#include "com/persist.h"
#include "ui/clipboard.h"

namespace hostapp {
namespace {

// The bytes a stream over a new block holds once `write` has written them.
template <class Write>
std::vector<unsigned char> BytesWritten(Write&& write) {
  com::ComPtr<IStream> stream;
  if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()))) throw std::bad_alloc();
  if (FAILED(write(stream.get()))) throw std::runtime_error("the drag's data could not be written");
  ULARGE_INTEGER end{};
  stream->Seek(LARGE_INTEGER{0}, STREAM_SEEK_END, &end);
  stream->Seek(LARGE_INTEGER{0}, STREAM_SEEK_SET, nullptr);
  std::vector<unsigned char> bytes(static_cast<std::size_t>(end.QuadPart));
  ULONG read = 0;
  if (!bytes.empty()) stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read);
  return bytes;
}

// A stream over a copy of the format's data, or none when the data has no such format.
com::ComPtr<IStream> StreamOf(IDataObject* data, UINT format) {
  FORMATETC wanted = com::ContentFormat(static_cast<CLIPFORMAT>(format));
  STGMEDIUM medium{};
  if (!data || FAILED(data->GetData(&wanted, &medium))) return {};
  if (medium.tymed != TYMED_HGLOBAL) {
    ReleaseStgMedium(&medium);
    return {};
  }
  com::ComPtr<IStream> stream;
  if (FAILED(CreateStreamOnHGlobal(medium.hGlobal, TRUE, stream.put()))) {
    ReleaseStgMedium(&medium);
    return {};
  }
  return stream;
}

class DatasetNameImpl final : public com::ComClass<DatasetNameImpl, DatasetName> {
 public:
  explicit DatasetNameImpl(NamedDataset dataset) : dataset_(std::move(dataset)) {}
  HRESULT get_Name(BSTR* name) override { return com::Out(dataset_.name, name); }
  HRESULT get_WorkspaceName(WorkspaceName** workspace) override;

 private:
  NamedDataset dataset_;
};

class WorkspaceNameImpl final : public com::ComClass<WorkspaceNameImpl, WorkspaceName> {
 public:
  explicit WorkspaceNameImpl(std::string path) : path_(std::move(path)) {}
  HRESULT get_PathName(BSTR* path) override { return com::Out(path_, path); }

 private:
  std::string path_;
};

HRESULT DatasetNameImpl::get_WorkspaceName(WorkspaceName** workspace) {
  if (!workspace) return E_POINTER;
  return com::Guard([&] { return com::Out(com::MakeObject<WorkspaceNameImpl>(dataset_.workspace), workspace); });
}

class DatasetNameList final : public com::ComClass<DatasetNameList, EnumDatasetName> {
 public:
  explicit DatasetNameList(std::vector<NamedDataset> names) : names_(std::move(names)) {}
  HRESULT Next(DatasetName** name) override {
    if (!name) return E_POINTER;
    *name = nullptr;
    if (next_ >= names_.size()) return S_FALSE;
    return com::Guard([&] { return com::Out(com::MakeObject<DatasetNameImpl>(names_[next_++]), name); });
  }
  HRESULT Reset() override {
    next_ = 0;
    return S_OK;
  }

 private:
  std::vector<NamedDataset> names_;
  std::size_t next_ = 0;
};

HRESULT ReadNames(IStream* stream, std::vector<NamedDataset>* names) {
  std::uint32_t count = 0;
  if (const HRESULT hr = com::ReadUInt32(stream, &count); FAILED(hr)) return hr;
  for (std::uint32_t i = 0; i < count; ++i) {
    NamedDataset d;
    if (const HRESULT hr = com::ReadText(stream, &d.workspace); FAILED(hr)) return hr;
    if (const HRESULT hr = com::ReadText(stream, &d.name); FAILED(hr)) return hr;
    names->push_back(std::move(d));
  }
  return S_OK;
}

class HostDropDataReader final : public com::ComClass<HostDropDataReader, DropDataReader> {
 public:
  HRESULT putref_DataObject(IUnknown* data) override {
    data_.reset();
    if (!data) return E_INVALIDARG;
    data->QueryInterface(data_.put());
    return data_ ? S_OK : E_INVALIDARG;
  }
  HRESULT CanGetNames(VARIANT_BOOL* can) override { return Can(DatasetNamesFormat(), can); }
  HRESULT CanGetFiles(VARIANT_BOOL* can) override { return Can(CF_HDROP, can); }
  HRESULT CanGetFormat(UINT format, VARIANT_BOOL* can) override { return Can(format, can); }
  HRESULT GetNames(EnumDatasetName** names) override {
    if (!names) return E_POINTER;
    *names = nullptr;
    return com::Guard([&] {
      const auto stream = StreamOf(data_.get(), DatasetNamesFormat());
      if (!stream) return DV_E_FORMATETC;
      std::vector<NamedDataset> read;
      if (const HRESULT hr = ReadNames(stream.get(), &read); FAILED(hr)) return hr;
      return com::Out(com::MakeObject<DatasetNameList>(std::move(read)), names);
    });
  }
  HRESULT GetFiles(BSTR* paths) override {
    if (!paths) return E_POINTER;
    *paths = nullptr;
    return com::Guard([&] {
      const auto stream = StreamOf(data_.get(), CF_HDROP);
      if (!stream) return DV_E_FORMATETC;
      std::string all;
      if (const HRESULT hr = com::ReadText(stream.get(), &all); FAILED(hr)) return hr;
      return com::Out(all, paths);
    });
  }

 private:
  HRESULT Can(UINT format, VARIANT_BOOL* can) {
    if (!can) return E_POINTER;
    FORMATETC wanted = com::ContentFormat(static_cast<CLIPFORMAT>(format));
    *can = format != 0 && data_ && data_->QueryGetData(&wanted) == S_OK ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  com::ComPtr<IDataObject> data_;
};

class HostObjectStream final : public com::ComClass<HostObjectStream, ObjectStream> {
 public:
  HRESULT putref_Stream(IStream* stream) override {
    stream_ = stream;
    return S_OK;
  }
  HRESULT get_Stream(IStream** stream) override { return stream_.CopyTo(stream); }
  HRESULT LoadObject(REFIID riid, IUnknown** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!stream_) return E_FAIL;
    return com::Guard([&] { return hostapp::LoadObject(stream_.get(), riid, reinterpret_cast<void**>(object)); });
  }
  HRESULT SaveObject(IUnknown* object) override {
    if (!stream_) return E_FAIL;
    return com::Guard([&] { return hostapp::SaveObject(stream_.get(), object); });
  }

 private:
  com::ComPtr<IStream> stream_;
};

com::ComPtr<IDataObject> DataWith(CLIPFORMAT format, std::vector<unsigned char> bytes) {
  auto data = com::MakeObject<com::DataObject>();
  data->Put(format, std::move(bytes));
  return com::ComPtr<IDataObject>(data.get());
}

}  // namespace

UINT MapLayersFormat() { return RegisterClipboardFormat("Map Layers"); }
UINT DatasetNamesFormat() { return RegisterClipboardFormat("Dataset Names"); }

HRESULT SaveObject(IStream* stream, IUnknown* object) {
  if (!stream || !object) return E_POINTER;
  com::ComPtr<IPersistStream> persist;
  if (FAILED(object->QueryInterface(persist.put())) || !persist) return E_NOINTERFACE;
  CLSID clsid;
  if (const HRESULT hr = persist->GetClassID(&clsid); FAILED(hr)) return hr;
  if (const HRESULT hr = com::WriteGuid(stream, clsid); FAILED(hr)) return hr;
  return persist->Save(stream, TRUE);
}

HRESULT LoadObject(IStream* stream, REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (!stream) return E_POINTER;
  CLSID clsid;
  if (const HRESULT hr = com::ReadGuid(stream, &clsid); FAILED(hr)) return hr;
  HRESULT hr = S_OK;
  auto persist = com::CreateInstance<IPersistStream>(clsid, &hr);
  if (!persist) return FAILED(hr) ? hr : E_FAIL;
  if (hr = persist->Load(stream); FAILED(hr)) return hr;
  return persist->QueryInterface(riid, object);
}

com::ComPtr<IDataObject> LayerDragData(const std::vector<Layer*>& layers) {
  return DataWith(static_cast<CLIPFORMAT>(MapLayersFormat()), BytesWritten([&](IStream* s) {
                    HRESULT hr = com::WriteUInt32(s, static_cast<std::uint32_t>(layers.size()));
                    for (Layer* layer : layers)
                      if (SUCCEEDED(hr)) hr = SaveObject(s, layer);
                    return hr;
                  }));
}

com::ComPtr<IDataObject> DatasetDragData(const std::vector<NamedDataset>& datasets) {
  return DataWith(static_cast<CLIPFORMAT>(DatasetNamesFormat()), BytesWritten([&](IStream* s) {
                    HRESULT hr = com::WriteUInt32(s, static_cast<std::uint32_t>(datasets.size()));
                    for (const auto& d : datasets) {
                      if (SUCCEEDED(hr)) hr = com::WriteText(s, d.workspace);
                      if (SUCCEEDED(hr)) hr = com::WriteText(s, d.name);
                    }
                    return hr;
                  }));
}

com::ComPtr<IDataObject> FileDragData(const std::vector<std::string>& paths) {
  std::string all;
  for (const auto& p : paths) all += p + "\n";
  return DataWith(CF_HDROP, BytesWritten([&](IStream* s) { return com::WriteText(s, all); }));
}

com::ComPtr<IDataObject> TextDragData(const std::string& text) {
  std::vector<unsigned char> bytes(text.begin(), text.end());
  bytes.push_back(0);
  return DataWith(CF_TEXT, std::move(bytes));
}

void RegisterDropDataClasses() {
  com::RegisterLibraryClass(CLSID_DropDataReader, [](IUnknown* outer, REFIID riid, void** object) {
    return com::CreateObject<HostDropDataReader>(outer, riid, object);
  });
  com::RegisterLibraryClass(CLSID_ObjectStream, [](IUnknown* outer, REFIID riid, void** object) {
    return com::CreateObject<HostObjectStream>(outer, riid, object);
  });
}

}  // namespace hostapp
