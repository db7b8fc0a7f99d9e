#include "data/layers.h"

#include <algorithm>

#include "com/classes.h"
#include "data/processlog.h"
#include "ui/window.h"

namespace plenth {
namespace {

com::ComPtr<Map> FocusMap(HostApplication* application) {
  com::ComPtr<Document> document;
  application->get_Document(document.put());
  com::ComPtr<MapDocument> mapDocument;
  document.As(&mapDocument);
  com::ComPtr<Map> map;
  mapDocument->get_FocusMap(map.put());
  return map;
}

// The focus map's layers of one kind, group layers included, or none.
com::ComPtr<EnumLayer> LayersOf(Map* map, const char* kind) {
  auto uid = com::CreateInstance<ClassIdValue>(CLSID_ClassIdValue);
  uid->put_Value(com::BStr(kind).get());
  com::ComPtr<EnumLayer> layers;
  map->get_Layers(uid.get(), VARIANT_TRUE, layers.put());
  return layers;
}

std::string NameOf(Layer* layer) {
  com::BStr name;
  layer->get_Name(name.put());
  return name.utf8();  // the system's ANSI code page is UTF-8 here
}

// Copies the layer's dataset name and workspace directory into the caller's buffers;
// false when the layer has no data source or a name does not fit its buffer.
bool CopyDataSource(Layer* layer, DatasetBuffers buffers) {
  auto data = com::ComPtr<Layer>(layer).query<DataLayer>();
  if (!data) return false;
  com::ComPtr<DatasetName> source;
  if (FAILED(data->get_DataSourceName(source.put())) || !source) return false;
  com::BStr name, path;
  source->get_Name(name.put());
  com::ComPtr<WorkspaceName> workspace;
  source->get_WorkspaceName(workspace.put());
  if (workspace) workspace->get_PathName(path.put());
  const std::string n = name.utf8(), p = path.utf8();
  // A name cut to fit would name another dataset: refuse it instead.
  if (n.size() >= buffers.nameSize || p.size() >= buffers.directorySize) return false;
  com::CopyToBuffer(buffers.name, buffers.nameSize, n);
  com::CopyToBuffer(buffers.directory, buffers.directorySize, p);
  return true;
}

com::ComPtr<Workspace> OpenRasterDirectory(const char* directory) {
  auto factory = com::CreateInstance<WorkspaceFactory>(CLSID_RasterWorkspaceFactory);
  com::ComPtr<Workspace> workspace;
  if (factory) factory->OpenFromFile(com::BStr(directory).get(), 0, workspace.put());
  if (!workspace) LogMessageWith("Unable to open directory '%s'\r\n", directory);
  return workspace;
}

}  // namespace

com::ComPtr<Layer> FindLayerByName(HostApplication* application, const char* kind, const char* name) {
  if (!application) return {};
  auto layers = LayersOf(FocusMap(application).get(), kind);
  if (!layers) return {};
  com::ComPtr<Layer> layer;
  while (layers->Next(layer.put()) == S_OK && layer) {
    if (NameOf(layer.get()) == name) return layer;
  }
  return {};
}

void FillRasterLayerCombo(HostApplication* application, HWND combo) {
  FillFeatureLayerCombo(application, combo, {});
}

void FillFeatureLayerCombo(HostApplication* application, HWND combo, std::initializer_list<LONG> geometryTypes) {
  if (!application) return;
  const bool raster = geometryTypes.size() == 0;
  const auto map = FocusMap(application);
  SendMessage(combo, CB_RESETCONTENT, 0, 0);
  auto layers = LayersOf(map.get(), raster ? kRasterLayerKind : kFeatureLayerKind);
  if (!layers) return;
  com::ComPtr<Layer> layer;
  while (layers->Next(layer.put()) == S_OK && layer) {
    if (!raster) {
      com::ComPtr<FeatureClass> featureClass;
      layer.query<FeatureLayer>()->get_FeatureClass(featureClass.put());
      if (!featureClass) continue;
      LONG type = 0;
      featureClass->get_ShapeType(&type);
      if (std::find(geometryTypes.begin(), geometryTypes.end(), type) == geometryTypes.end()) continue;
    }
    const std::string name = NameOf(layer.get());
    SendMessage(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
  }
}

int ResolveFeatureLayer(HostApplication* application, const char* layerName, DatasetBuffers buffers) {
  if (!application) return 0;
  if (layerName && *layerName) {
    if (auto layer = FindLayerByName(application, kFeatureLayerKind, layerName))
      return CopyDataSource(layer.get(), buffers) ? 1 : 0;
  }
  return buffers.name[0] ? 1 : 0;
}

int ResolveRasterLayer(HostApplication* application, const char* layerName, DatasetBuffers buffers) {
  if (!application) return 0;
  bool found = false;
  if (layerName && *layerName) {
    if (auto layer = FindLayerByName(application, kRasterLayerKind, layerName)) {
      if (!CopyDataSource(layer.get(), buffers)) return 0;
      found = true;
    }
  }
  if (!found && !buffers.name[0]) return 0;
  return OpenRasterDataset(buffers.directory, buffers.name) ? 1 : 0;
}

com::ComPtr<RasterDataset> OpenRasterDataset(const char* directory, const char* datasetName) {
  const auto workspace = OpenRasterDirectory(directory);
  if (!workspace) return {};
  auto rasters = workspace.query<RasterWorkspace>();
  if (!rasters) return {};
  com::ComPtr<RasterDataset> dataset;
  rasters->OpenRasterDataset(com::BStr(datasetName).get(), dataset.put());
  if (!dataset) LogMessageWith("Unable to create raster dataset '%s'\r\n", datasetName);
  return dataset;
}

int ReadRasterGeometry(HostApplication* application, const char* layerName, DatasetBuffers buffers,
                       RasterGeometry* geometry) {
  if (layerName && *layerName) {
    if (!application) return 0;
    auto layer = FindLayerByName(application, kRasterLayerKind, layerName);
    if (!layer || !CopyDataSource(layer.get(), buffers)) return 0;
  }
  if (!buffers.name[0] || !buffers.directory[0]) return 0;
  const auto workspace = OpenRasterDirectory(buffers.directory);
  if (!workspace) return 0;
  auto rasters = workspace.query<RasterWorkspace>();
  if (!rasters) return 0;
  com::ComPtr<RasterDataset> dataset;
  rasters->OpenRasterDataset(com::BStr(buffers.name).get(), dataset.put());
  auto bands = dataset.query<RasterBandCollection>();
  if (!bands) return 0;
  com::ComPtr<RasterBand> band;
  bands->Item(0, band.put());
  auto props = band.query<RasterProps>();
  if (!props) return 0;
  com::ComPtr<Envelope> extent;
  props->get_Extent(extent.put());
  extent->get_LowerLeft(geometry->lowerLeft.put());
  props->get_SpatialReference(geometry->spatialReference.put());
  VARIANT_BOOL projected = VARIANT_FALSE;
  if (geometry->spatialReference) geometry->spatialReference->IsProjected(&projected);
  if (projected) {
    com::BStr unit;
    if (FAILED(geometry->spatialReference->LinearUnit(unit.put(), &geometry->metersPerUnit))) return 0;
    geometry->unitName = unit.utf8();
  } else {
    geometry->unitName = "Unknown";
    geometry->metersPerUnit = 1.0;
  }
  LONG rows = 0, columns = 0;
  props->get_Height(&rows);
  props->get_Width(&columns);
  geometry->rows = rows;
  geometry->columns = columns;
  com::ComPtr<XYPair> cell;
  props->get_MeanCellSize(cell.put());
  cell->QueryCoords(&geometry->cellSize, &geometry->cellSizeY);
  return 1;
}

}  // namespace plenth
