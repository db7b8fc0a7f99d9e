#include "hostapp/layers.h"

#include <filesystem>
#include <stdexcept>
#include <vector>

#include "com/boundary.h"
#include "gis/gis.h"

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

// What every layer has: a name.
template <class Derived, class... More>
class NamedBase : public com::ComClass<Derived, Layer, More...> {
 public:
  HRESULT get_Name(BSTR* name) override { return com::Out(name_, name); }
  HRESULT put_Name(BSTR name) override {
    return com::Guard([&] { name_ = com::ToUtf8(name); });
  }

 protected:
  std::string name_;
};

class RasterLayerImpl final : public NamedBase<RasterLayerImpl, DataLayer, RasterLayer> {
 public:
  RasterLayerImpl(com::ComPtr<RasterDataset> raster, std::string name) : raster_(std::move(raster)) {
    name_ = std::move(name);
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
  FeatureLayerImpl(com::ComPtr<FeatureClass> featureClass, std::string name)
      : featureClass_(std::move(featureClass)) {
    name_ = std::move(name);
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
  explicit GroupLayerImpl(std::string name) { name_ = std::move(name); }
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

com::ComPtr<Layer> MakeGroupLayer(const std::string& name) {
  return com::ComPtr<Layer>(com::MakeObject<GroupLayerImpl>(name).get());
}

}  // namespace hostapp
