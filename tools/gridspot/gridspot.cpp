#include "tools/gridspot/gridspot.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <optional>
#include <string>

#include "com/classes.h"
#include "data/layers.h"
#include "host/dialogtext.h"
#include "hostapi/categories.h"
#include "resources/resource.h"
#include "tools/gridspot/identifyvalue.h"
#include "ui/window.h"

namespace plenth {

constinit const ClassInfo GridSpot::kClass = ClassRow<GridSpot, IGridSpot>({
    .name = "GridSpot",
    .clsid = CLSID_GridSpot,
    .scriptId = IDR_GRIDSPOT,
    .threadingModel = "Apartment",
    .category = &CATID_HostCommands,
});

namespace {

const CommandInfo kInfo{
    GridSpot::kClass,
    "Grid Spot Tool",
    "Grid Spot Tool",
    "Adds Grid Values to Point Shapefile based on Raster Overlay",
    IDB_GRIDSPOT,
    CommandInfo::Creation::None,
    CommandInfo::Click::Modeless,
    CommandInfo::Restore::Quiet,
};

// What a point gets where the raster gives no value.
constexpr std::int32_t kMissing = -99;

// The value of the first identify result, when it is a raster one, as the field takes it;
// an empty variant when there is no such result.
com::Variant FirstResultValue(IdentifyResults* results, bool real) {
  LONG count = 0;
  com::ComPtr<IUnknown> first;
  if (FAILED(results->get_Count(&count)) || count < 1 || FAILED(results->get_Element(0, first.put()))) return {};
  const auto raster = first.query<RasterIdentifyResult>();
  if (!raster) return {};
  com::BStr text;
  raster->get_Value(text.put());
  return real ? com::Variant::R8(LeadingReal(text.utf8(), kMissing))
              : com::Variant::I4(LeadingInteger(text.utf8(), kMissing));
}

INT_PTR GridSpotDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* command = reinterpret_cast<CommandCore*>(GetWindowLongPtr(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtr(dialog, DWLP_USER, lParam);
      command = reinterpret_cast<CommandCore*>(lParam);
      FillFeatureLayerCombo(command->application.get(), GetDlgItem(dialog, IDC_GRIDSPOT_POINTS), {kGeometryPoint});
      FillRasterLayerCombo(command->application.get(), GetDlgItem(dialog, IDC_GRIDSPOT_RASTER));
      return TRUE;
    case WM_COMMAND:
      if (!command) return FALSE;
      switch (LOWORD(wParam)) {
        case IDOK: {
          // The layer names as 49-byte texts, the field name as 5.
          const std::string points(com::CutUtf8(DialogText(dialog, IDC_GRIDSPOT_POINTS), 49));
          const std::string raster(com::CutUtf8(DialogText(dialog, IDC_GRIDSPOT_RASTER), 49));
          const std::string field(com::CutUtf8(DialogText(dialog, IDC_GRIDSPOT_FIELD), 5));
          SampleRasterAtPoints(command->application.get(), points.c_str(), raster.c_str(), field.c_str());
          SelectToolRestore(*command);
          return TRUE;
        }
        case IDCANCEL: SelectToolRestore(*command); return TRUE;
        default: return FALSE;
      }
    default: return FALSE;
  }
}

// The coordinate system of the raster's first band, or none.
com::ComPtr<SpatialReference> RasterReference(RasterDataset* raster) {
  com::ComPtr<RasterBand> band;
  if (const auto bands = com::ComPtr<RasterDataset>(raster).query<RasterBandCollection>()) bands->Item(0, band.put());
  com::ComPtr<SpatialReference> reference;
  if (const auto props = band.query<RasterProps>()) props->get_SpatialReference(reference.put());
  return reference;
}

// What the run takes from the raster, and the value each point gets from it.
struct RasterSide {
  com::ComPtr<SpatialReference> reference;
  bool real = false;  // FLOAT and DOUBLE cells go to a double field
  com::Variant missing;

  SampleEnd Open(RasterDataset* raster) {
    com::ComPtr<RasterBand> band;
    if (const auto bands = com::ComPtr<RasterDataset>(raster).query<RasterBandCollection>())
      bands->Item(0, band.put());
    const auto props = band.query<RasterProps>();
    if (!props) return SampleEnd::Failed;
    LONG pixelType = 0;
    props->get_PixelType(&pixelType);
    props->get_SpatialReference(reference.put());
    if (!reference) return SampleEnd::NoReference;
    real = pixelType == PT_FLOAT || pixelType == PT_DOUBLE;
    missing = real ? com::Variant::R8(kMissing) : com::Variant::I4(kMissing);
    return SampleEnd::Done;
  }

  // The value for the feature's point, projected into the raster's coordinate system:
  // -99 where the raster gives nothing, an empty variant where its first result is not a
  // raster one (nothing is written); nothing for a feature without a point.
  std::optional<com::Variant> ValueAt(Feature* feature, const IdentifyAt& identify) const {
    com::ComPtr<Geometry> shape;
    feature->get_ShapeCopy(shape.put());
    const auto point = shape.query<Point>();
    if (!point) return std::nullopt;
    shape->Project(reference.get());  // unprojected when that fails
    com::ComPtr<IdentifyResults> results;
    identify(point.get(), results.put());
    if (!results) return missing;
    return FirstResultValue(results.get(), real);
  }
};

bool HoldsPoints(FeatureClass* featureClass) {
  LONG shapeType = 0;
  return SUCCEEDED(featureClass->get_ShapeType(&shapeType)) && shapeType == kGeometryPoint;
}

// "Processing Feature %d of %d", put together without a format: it is made for every point.
std::string StatusText(LONG number, LONG total) {
  char digits[16];
  std::string text = "Processing Feature ";
  text.append(digits, std::to_chars(digits, digits + sizeof digits, static_cast<int>(number)).ptr);
  text += " of ";
  text.append(digits, std::to_chars(digits, digits + sizeof digits, static_cast<int>(total)).ptr);
  return text;
}

}  // namespace

GridSpot::GridSpot() : Command(kInfo) {}

int GridSpot::ModelessDialogId() const { return IDD_GRIDSPOTDLG; }
DLGPROC GridSpot::ModelessDialogProc() const { return GridSpotDlgProc; }

void SampleRasterAtPoints(HostApplication* application, const char* pointLayer, const char* rasterLayer,
                          const char* fieldName) {
  const auto raster = FindLayerByName(application, kRasterLayerKind, rasterLayer).query<RasterLayer>();
  if (!raster) return;
  com::ComPtr<RasterDataset> dataset;
  raster->get_Raster(dataset.put());
  if (!RasterReference(dataset.get())) return;
  const auto points = FindLayerByName(application, kFeatureLayerKind, pointLayer).query<FeatureLayer>();
  if (!points) return;
  com::ComPtr<FeatureClass> featureClass;
  if (FAILED(points->get_FeatureClass(featureClass.put())) || !featureClass) return;
  com::ComPtr<StatusBar> statusBar;
  application->get_StatusBar(statusBar.put());
  const auto identify = [&](Point* point, IdentifyResults** results) { return raster->Identify(point, results); };
  SampleRaster(dataset.get(), identify, featureClass.get(), fieldName,
               [&](std::string_view status, std::int64_t, std::int64_t) {
                 if (statusBar) statusBar->put_Message(0, com::BStr(status).get());
                 return true;
               });
}

namespace {

// The points' field for the values, added as the raster's cells want it unless one of that
// name is there (used as it is); anything but Done ends the run.
SampleEnd OpenValueField(const RasterSide& side, FeatureClass* featureClass, const char* fieldName, LONG* field) {
  const auto definition = com::CreateInstance<Field>(CLSID_Field);
  if (!definition) return SampleEnd::Failed;
  const com::BStr name(fieldName);
  definition->put_Name(name.get());
  definition->put_Type(side.real ? kFieldDouble : kFieldInteger);

  // A layer of other shapes has no points to sample.
  if (!HoldsPoints(featureClass)) return SampleEnd::NotPoints;
  *field = -1;
  featureClass->FindField(name.get(), field);
  if (*field < 0) featureClass->AddField(definition.get());  // an existing field is used as it is
  featureClass->FindField(name.get(), field);
  return *field < 0 ? SampleEnd::Failed : SampleEnd::Done;
}

// A point's value into its feature's field (an empty value writes nothing), the feature
// written back through the cursor.
void PutValue(FeatureCursor* cursor, Feature* feature, LONG field, const com::Variant& value) {
  if (value.vt() != VT_EMPTY) feature->put_Value(field, value.get());
  cursor->UpdateFeature(feature);
}

}  // namespace

namespace {

// The raster's side of a run that writes the points' field, and that field opened.
SampleEnd OpenForWriting(RasterDataset* raster, FeatureClass* featureClass, const char* fieldName, RasterSide* side,
                         LONG* field) {
  if (const SampleEnd end = side->Open(raster); end != SampleEnd::Done) return end;
  return OpenValueField(*side, featureClass, fieldName, field);
}

// Every feature of the class in turn, through a cursor that writes them back (`update`)
// or only reads them, each step shown with its status text: `each(cursor, feature)`.
template <class Each>
SampleEnd EachFeature(FeatureClass* featureClass, bool update, const Progress& progress, Each&& each) {
  LONG total = 0;
  featureClass->FeatureCount(&total);
  com::ComPtr<FeatureCursor> cursor;
  const HRESULT opened =
      update ? featureClass->Update(VARIANT_FALSE, cursor.put()) : featureClass->Search(VARIANT_FALSE, cursor.put());
  if (FAILED(opened) || !cursor) return SampleEnd::Failed;
  com::ComPtr<Feature> feature;
  cursor->NextFeature(feature.put());
  for (LONG number = 1; feature; ++number) {
    if (!GoOn(progress, StatusText(number, total), number - 1, total)) return SampleEnd::Stopped;
    each(cursor.get(), feature.get());
    feature.reset();
    cursor->NextFeature(feature.put());
  }
  return SampleEnd::Done;
}

LONG IdOf(Feature* feature) {
  LONG fid = -1;
  feature->get_OID(&fid);
  return fid;
}

}  // namespace

SampleEnd SampleRaster(RasterDataset* raster, const IdentifyAt& identify, FeatureClass* featureClass,
                       const char* fieldName, const Progress& progress) {
  RasterSide side;
  LONG field = -1;
  if (const SampleEnd end = OpenForWriting(raster, featureClass, fieldName, &side, &field); end != SampleEnd::Done)
    return end;
  return EachFeature(featureClass, true, progress, [&](FeatureCursor* cursor, Feature* feature) {
    // A feature without a point has no place to sample and is passed over.
    if (const auto value = side.ValueAt(feature, identify)) PutValue(cursor, feature, field, *value);
  });
}

SampleEnd WriteSampleValues(RasterDataset* raster, FeatureClass* featureClass, const char* fieldName,
                            const std::map<LONG, com::Variant>& values, const Progress& progress) {
  RasterSide side;
  LONG field = -1;
  if (const SampleEnd end = OpenForWriting(raster, featureClass, fieldName, &side, &field); end != SampleEnd::Done)
    return end;
  return EachFeature(featureClass, true, progress, [&](FeatureCursor* cursor, Feature* feature) {
    if (const auto found = values.find(IdOf(feature)); found != values.end())
      PutValue(cursor, feature, field, found->second);
  });
}

SampleEnd SampleValues(RasterDataset* raster, const IdentifyAt& identify, FeatureClass* featureClass,
                       std::span<const LONG> fids, std::vector<std::pair<LONG, com::Variant>>* out,
                       const Progress& progress) {
  RasterSide side;
  if (const SampleEnd end = side.Open(raster); end != SampleEnd::Done) return end;
  if (!HoldsPoints(featureClass)) return SampleEnd::NotPoints;
  std::vector<LONG> wanted(fids.begin(), fids.end());
  std::sort(wanted.begin(), wanted.end());
  const auto isWanted = [&](LONG fid) { return wanted.empty() || std::binary_search(wanted.begin(), wanted.end(), fid); };
  out->clear();
  return EachFeature(featureClass, false, progress, [&](FeatureCursor*, Feature* feature) {
    if (const LONG fid = IdOf(feature); isWanted(fid))
      if (auto value = side.ValueAt(feature, identify)) out->emplace_back(fid, std::move(*value));
  });
}

}  // namespace plenth
