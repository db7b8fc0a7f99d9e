#include "hostapp/layers.h"

#include <filesystem>
#include <stdexcept>
#include <vector>

#include "com/boundary.h"
#include "com/classes.h"
#include "com/persist.h"
#include "gis/gis.h"
#include "hostapp/dropdata.h"
#include "hostapp/objects.h"

namespace hostapp {
namespace {

namespace fs = std::filesystem;

class WorkspaceNameImpl final : public com::ComClass<WorkspaceNameImpl, WorkspaceName> {
 public:
  explicit WorkspaceNameImpl(std::string path) : path_(std::move(path)) {}
  HRESULT get_PathName(BSTR* path) override { return com::Out(path_, path); }

 private:
  std::string path_;
};

class DatasetNameImpl final : public com::ComClass<DatasetNameImpl, DatasetName> {
 public:
  DatasetNameImpl(std::string name, std::string workspace)
      : name_(std::move(name)), workspace_(std::move(workspace)) {}
  HRESULT get_Name(BSTR* name) override { return com::Out(name_, name); }
  HRESULT get_WorkspaceName(WorkspaceName** workspace) override {
    if (!workspace) return E_POINTER;
    return com::Guard([&] { return com::Out(com::MakeObject<WorkspaceNameImpl>(workspace_), workspace); });
  }

 private:
  std::string name_, workspace_;
};

// What every layer has: a name, and saving itself to a stream (its name, then what
// Derived saves with SaveData) and loading itself back (LoadData).
template <class Derived, class... More>
class NamedBase : public com::ComClass<Derived, Layer, IPersistStream, More...> {
 public:
  HRESULT get_Name(BSTR* name) override { return com::Out(name_, name); }
  HRESULT put_Name(BSTR name) override {
    return com::Guard([&] { name_ = com::ToUtf8(name); });
  }

  HRESULT GetClassID(CLSID* clsid) override { return com::Out(Derived::kClassId, clsid); }
  HRESULT IsDirty() override { return S_FALSE; }
  HRESULT Load(IStream* stream) override {
    return com::Guard([&] {
      std::string name;
      if (const HRESULT hr = com::ReadText(stream, &name); FAILED(hr)) return hr;
      if (const HRESULT hr = static_cast<Derived*>(this)->LoadData(stream); FAILED(hr)) return hr;
      name_ = std::move(name);
      return S_OK;
    });
  }
  HRESULT Save(IStream* stream, BOOL) override {
    return com::Guard([&] {
      if (const HRESULT hr = com::WriteText(stream, name_); FAILED(hr)) return hr;
      return static_cast<Derived*>(this)->SaveData(stream);
    });
  }
  HRESULT GetSizeMax(ULARGE_INTEGER* size) override {
    if (size) size->QuadPart = 0;
    return E_NOTIMPL;
  }

 protected:
  HRESULT QueryOther(REFIID riid, void** object) override {
    if (riid == IPersist::iid) {
      *object = static_cast<IPersist*>(static_cast<IPersistStream*>(this));
      this->AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  std::string name_;
};

// The file a dataset was opened from.
std::string PathOf(BSTR workspace, BSTR name) {
  return (fs::path(com::ToUtf8(workspace)) / com::ToUtf8(name)).string();
}

class RasterLayerImpl final : public NamedBase<RasterLayerImpl, DataLayer, RasterLayer> {
 public:
  static constexpr const CLSID& kClassId = CLSID_RasterLayer;
  RasterLayerImpl() = default;
  RasterLayerImpl(com::ComPtr<RasterDataset> raster, std::string name) : raster_(std::move(raster)) {
    name_ = std::move(name);
  }
  // Saved as the raster's file; loading opens it again.
  HRESULT SaveData(IStream* stream) {
    if (!raster_) return E_FAIL;
    com::BStr name, workspace;
    raster_->get_Name(name.put());
    raster_->get_WorkspacePath(workspace.put());
    return com::WriteText(stream, PathOf(workspace.get(), name.get()));
  }
  HRESULT LoadData(IStream* stream) {
    std::string path;
    if (const HRESULT hr = com::ReadText(stream, &path); FAILED(hr)) return hr;
    HRESULT hr = S_OK;
    auto raster = gis::OpenRasterFile(path, &hr);
    if (!raster) return FAILED(hr) ? hr : E_FAIL;
    raster_ = std::move(raster);
    return S_OK;
  }
  HRESULT get_DataSourceName(DatasetName** name) override {
    if (!name) return E_POINTER;
    *name = nullptr;
    if (!raster_) return E_FAIL;
    return com::Guard([&] {
      com::BStr dataset, workspace;
      raster_->get_Name(dataset.put());
      raster_->get_WorkspacePath(workspace.put());
      return com::Out(com::MakeObject<DatasetNameImpl>(dataset.utf8(), workspace.utf8()), name);
    });
  }
  HRESULT get_Raster(RasterDataset** raster) override { return raster_.CopyTo(raster); }
  HRESULT get_ColumnCount(LONG* count) override { return Size(count, true); }
  HRESULT get_RowCount(LONG* count) override { return Size(count, false); }
  HRESULT Identify(Point* point, IdentifyResults** results) override {
    if (!results) return E_POINTER;
    return com::Guard([&] { return gis::IdentifyRaster(raster_.get(), point, results); });
  }

 private:
  HRESULT Size(LONG* count, bool columns) {
    if (!count) return E_POINTER;
    com::ComPtr<RasterBand> band;
    if (auto bands = raster_.query<RasterBandCollection>()) bands->Item(0, band.put());
    auto props = band.query<RasterProps>();
    if (!props) return E_FAIL;
    return columns ? props->get_Width(count) : props->get_Height(count);
  }
  com::ComPtr<RasterDataset> raster_;
};

class FeatureLayerImpl final : public NamedBase<FeatureLayerImpl, DataLayer, FeatureLayer> {
 public:
  static constexpr const CLSID& kClassId = CLSID_FeatureLayer;
  FeatureLayerImpl() = default;
  FeatureLayerImpl(com::ComPtr<FeatureClass> featureClass, std::string name)
      : featureClass_(std::move(featureClass)) {
    name_ = std::move(name);
  }
  // Saved as the shapefile; loading opens it again.
  HRESULT SaveData(IStream* stream) {
    if (!featureClass_) return E_FAIL;
    com::BStr name, workspace;
    featureClass_->get_Name(name.put());
    featureClass_->get_WorkspacePath(workspace.put());
    return com::WriteText(stream, gis::FindShapefile(workspace.utf8(), name.utf8()));
  }
  HRESULT LoadData(IStream* stream) {
    std::string path;
    if (const HRESULT hr = com::ReadText(stream, &path); FAILED(hr)) return hr;
    HRESULT hr = S_OK;
    auto featureClass = gis::OpenFeatureFile(path, &hr);
    if (!featureClass) return FAILED(hr) ? hr : E_FAIL;
    featureClass_ = std::move(featureClass);
    return S_OK;
  }
  HRESULT get_DataSourceName(DatasetName** name) override {
    if (!name) return E_POINTER;
    *name = nullptr;
    if (!featureClass_) return E_FAIL;
    return com::Guard([&] {
      com::BStr dataset, workspace;
      featureClass_->get_Name(dataset.put());
      featureClass_->get_WorkspacePath(workspace.put());
      return com::Out(com::MakeObject<DatasetNameImpl>(dataset.utf8(), workspace.utf8()), name);
    });
  }
  HRESULT get_FeatureClass(FeatureClass** featureClass) override { return featureClass_.CopyTo(featureClass); }
  HRESULT putref_FeatureClass(FeatureClass* featureClass) override {
    featureClass_ = featureClass;
    return S_OK;
  }

 private:
  com::ComPtr<FeatureClass> featureClass_;
};

class GroupLayerImpl final : public NamedBase<GroupLayerImpl, GroupLayer> {
 public:
  static constexpr const CLSID& kClassId = CLSID_GroupLayer;
  GroupLayerImpl() = default;
  explicit GroupLayerImpl(std::string name) { name_ = std::move(name); }
  // Saved as its layers, each as the object stream saves an object.
  HRESULT SaveData(IStream* stream) {
    if (const HRESULT hr = com::WriteUInt32(stream, static_cast<std::uint32_t>(layers_.size())); FAILED(hr)) return hr;
    for (const auto& layer : layers_)
      if (const HRESULT hr = SaveObject(stream, layer.get()); FAILED(hr)) return hr;
    return S_OK;
  }
  HRESULT LoadData(IStream* stream) {
    std::uint32_t count = 0;
    if (const HRESULT hr = com::ReadUInt32(stream, &count); FAILED(hr)) return hr;
    std::vector<com::ComPtr<Layer>> layers;
    for (std::uint32_t i = 0; i < count; ++i) {
      com::ComPtr<Layer> layer;
      if (const HRESULT hr = LoadObject(stream, Layer::iid, layer.put_void()); FAILED(hr)) return hr;
      layers.push_back(std::move(layer));
    }
    layers_ = std::move(layers);
    return S_OK;
  }
  HRESULT get_Count(LONG* count) override { return com::Out(static_cast<LONG>(layers_.size()), count); }
  HRESULT get_Layer(LONG index, Layer** layer) override {
    if (!layer) return E_POINTER;
    *layer = nullptr;
    if (index < 0 || index >= static_cast<LONG>(layers_.size())) return E_INVALIDARG;
    return layers_[static_cast<std::size_t>(index)].CopyTo(layer);
  }
  HRESULT Add(Layer* layer) override {
    if (!layer) return E_INVALIDARG;
    return com::Guard([&] { layers_.emplace_back(layer); });
  }
  bool Remove(Layer* layer) {
    if (std::erase_if(layers_, [&](const auto& held) { return held.get() == layer; })) return true;
    for (const auto& held : layers_)
      if (RemoveGroupMember(held.get(), layer)) return true;
    return false;
  }

 private:
  std::vector<com::ComPtr<Layer>> layers_;
};

std::string NameOr(const std::string& name, const std::string& path) {
  return name.empty() ? fs::path(path).stem().string() : name;
}

}  // namespace

com::ComPtr<Layer> RasterLayerFromFile(const std::string& path, const std::string& name) {
  HRESULT hr = S_OK;
  auto raster = gis::OpenRasterFile(path, &hr);
  if (hr == GIS_E_UNSUPPORTED)
    throw std::runtime_error(path + ": a raster rotated on the map, which the data library cannot read as a grid");
  if (!raster) throw std::runtime_error(path + ": not a raster the data library can open");
  return com::ComPtr<Layer>(com::MakeObject<RasterLayerImpl>(raster, NameOr(name, path)).get());
}

com::ComPtr<Layer> FeatureLayerFromFile(const std::string& path, const std::string& name) {
  HRESULT hr = S_OK;
  auto featureClass = gis::OpenFeatureFile(path, &hr);
  if (!featureClass) throw std::runtime_error(path + ": not a shapefile the data library can open");
  return FeatureLayerOf(featureClass.get(), NameOr(name, path));
}

com::ComPtr<Layer> LayerFromFile(const std::string& path, const std::string& name) {
  const std::string ext = fs::path(path).extension().string();
  if (ext == ".shp" || ext == ".SHP") return FeatureLayerFromFile(path, name);
  return RasterLayerFromFile(path, name);
}

com::ComPtr<Layer> FeatureLayerOf(FeatureClass* featureClass, const std::string& name) {
  return com::ComPtr<Layer>(com::MakeObject<FeatureLayerImpl>(com::ComPtr<FeatureClass>(featureClass), name).get());
}

void RegisterLayerClasses() {
  const auto create = []<class T>(T*) -> com::Creator {
    return [](IUnknown* outer, REFIID riid, void** object) { return com::CreateObject<T>(outer, riid, object); };
  };
  com::RegisterLibraryClass(CLSID_RasterLayer, create(static_cast<RasterLayerImpl*>(nullptr)));
  com::RegisterLibraryClass(CLSID_FeatureLayer, create(static_cast<FeatureLayerImpl*>(nullptr)));
  com::RegisterLibraryClass(CLSID_GroupLayer, create(static_cast<GroupLayerImpl*>(nullptr)));
  com::RegisterLibraryClass(CLSID_NamedLayer, create(static_cast<NamedLayer*>(nullptr)));
}

com::ComPtr<Layer> MakeGroupLayer(const std::string& name) {
  return com::ComPtr<Layer>(com::MakeObject<GroupLayerImpl>(name).get());
}

bool RemoveGroupMember(Layer* group, Layer* member) {
  auto* impl = dynamic_cast<GroupLayerImpl*>(group);
  return impl && impl->Remove(member);
}

std::vector<com::ComPtr<Layer>> MembersOf(Layer* layer) {
  std::vector<com::ComPtr<Layer>> members;
  auto group = com::ComPtr<Layer>(layer).query<GroupLayer>();
  if (!group) return members;
  LONG count = 0;
  group->get_Count(&count);
  for (LONG i = 0; i < count; ++i) {
    com::ComPtr<Layer> member;
    if (SUCCEEDED(group->get_Layer(i, member.put())) && member) members.push_back(member);
  }
  return members;
}

}  // namespace hostapp
