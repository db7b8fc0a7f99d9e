#include "tools/lineorientation/lineorientation.h"

#include <utility>
#include <vector>

#include "com/classes.h"
#include "hostapi/categories.h"
#include "resources/resource.h"
#include "tools/lineorientation/lineorientationdlg.h"
#include "tools/lineorientation/segmentorientation.h"

namespace plenth {

constinit const ClassInfo LineOrientation::kClass = ClassRow<LineOrientation, ILineOrientation>({
    .name = "LineOrientation",
    .clsid = CLSID_LineOrientation,
    .scriptId = IDR_LINEORIENTATION,
    .threadingModel = "Apartment",
    .category = &CATID_HostCommands,
});

namespace {

const CommandInfo kInfo{
    LineOrientation::kClass,
    "Line Orientation Tool",
    "Line Orientation Tool",
    "Creates a new Polyline Shapefile with a Bearing Field",
    IDB_LINEORIENTATION,
    CommandInfo::Creation::None,
    CommandInfo::Click::Modal,
    CommandInfo::Restore::Reporting,
};

const char* const kAzimuth = "Azimuth";

com::ComPtr<FeatureWorkspace> OpenShapefileDirectory(const char* directory) {
  const auto factory = com::CreateInstance<WorkspaceFactory>(CLSID_ShapefileWorkspaceFactory);
  com::ComPtr<Workspace> workspace;
  if (factory) factory->OpenFromFile(com::BStr(directory).get(), 0, workspace.put());
  return workspace.query<FeatureWorkspace>();
}

// The columns copied from an input feature to an output one, by name: every input column
// but the object id and the shape, paired with the output column of its name.
std::vector<std::pair<LONG, LONG>> CopiedColumns(Fields* input, FeatureBuffer* buffer) {
  com::ComPtr<Fields> output;
  buffer->get_Fields(output.put());
  std::vector<std::pair<LONG, LONG>> pairs;
  LONG count = 0;
  if (!output || FAILED(input->get_FieldCount(&count))) return pairs;
  for (LONG i = 0; i < count; ++i) {
    com::ComPtr<Field> field;
    LONG type = 0;
    if (FAILED(input->get_Field(i, field.put())) || !field || FAILED(field->get_Type(&type))) continue;
    if (type == kFieldOID || type == kFieldGeometry) continue;
    com::BStr name;
    field->get_Name(name.put());
    LONG from = -1, to = -1;
    input->FindField(name.get(), &from);
    output->FindField(name.get(), &to);
    if (from >= 0 && to >= 0) pairs.emplace_back(from, to);
  }
  return pairs;
}

}  // namespace

LineOrientation::LineOrientation() : Command(kInfo) {}

INT_PTR LineOrientation::RunModalDialog() { return RunLineOrientationDlg(); }

void LineOrientation::ProcessOk() {
  const LineOrientationChoice& choice = LineOrientationResult();
  BuildOrientationShapefile(choice.inputDirectory, choice.inputName, choice.outputDirectory, choice.outputName);
}

HRESULT BuildOrientationShapefile(const char* inputDirectory, const char* inputName, const char* outputDirectory,
                                  const char* outputName, const Progress& progress) {
  // The input: a polyline shapefile.
  const auto inputWorkspace = OpenShapefileDirectory(inputDirectory);
  if (!inputWorkspace) return E_FAIL;
  com::ComPtr<FeatureClass> input;
  if (FAILED(inputWorkspace->OpenFeatureClass(com::BStr(inputName).get(), input.put())) || !input) return E_FAIL;
  LONG shapeType = 0;
  if (FAILED(input->get_ShapeType(&shapeType)) || shapeType != kGeometryPolyline) return E_FAIL;
  const auto outputWorkspace = OpenShapefileDirectory(outputDirectory);
  if (!outputWorkspace) return E_FAIL;

  // An "Azimuth" of the input is overwritten, so it must hold reals.
  com::ComPtr<Fields> inputFields;
  if (FAILED(input->get_Fields(inputFields.put())) || !inputFields) return E_FAIL;
  const com::BStr azimuth(kAzimuth);
  LONG existing = -1;
  inputFields->FindField(azimuth.get(), &existing);
  if (existing >= 0) {
    com::ComPtr<Field> field;
    LONG type = 0;
    inputFields->get_Field(existing, field.put());
    if (!field || FAILED(field->get_Type(&type)) || (type != kFieldSingle && type != kFieldDouble)) return E_FAIL;
  }

  // The output: the input's columns, then "Azimuth" when they have none.
  CLSID clsid{}, extClsid{};
  LONG featureType = 0;
  com::BStr shapeField;
  input->get_CLSID(&clsid);
  input->get_EXTCLSID(&extClsid);
  input->get_FeatureType(&featureType);
  input->get_ShapeFieldName(shapeField.put());
  com::ComPtr<FeatureClass> output;
  if (FAILED(outputWorkspace->CreateFeatureClass(com::BStr(outputName).get(), inputFields.get(), &clsid, &extClsid,
                                                 featureType, shapeField.get(), com::BStr("").get(), output.put())) ||
      !output)
    return E_FAIL;
  LONG azimuthColumn = -1;
  output->FindField(azimuth.get(), &azimuthColumn);
  if (azimuthColumn < 0) {
    const auto definition = com::CreateInstance<Field>(CLSID_Field);
    if (!definition) return E_FAIL;
    definition->put_Type(kFieldDouble);
    definition->put_DefaultValue(com::Variant::R8(0.0).get());
    definition->put_Name(azimuth.get());
    if (FAILED(output->AddField(definition.get()))) return E_FAIL;
    output->FindField(azimuth.get(), &azimuthColumn);
    if (azimuthColumn < 0) return E_FAIL;
  }

  com::ComPtr<FeatureCursor> features;
  com::ComPtr<InsertCursor> inserts;
  com::ComPtr<FeatureBuffer> buffer;
  if (FAILED(input->Search(VARIANT_TRUE, features.put())) || !features) return E_FAIL;
  if (FAILED(output->Insert(VARIANT_TRUE, inserts.put())) || !inserts) return E_FAIL;
  if (FAILED(output->CreateFeatureBuffer(buffer.put())) || !buffer) return E_FAIL;
  // The columns are the same for every feature: paired once by name.
  const std::vector<std::pair<LONG, LONG>> copied = CopiedColumns(inputFields.get(), buffer.get());
  LONG bufferAzimuth = -1;
  inserts->FindField(azimuth.get(), &bufferAzimuth);

  LONG total = 0;
  if (progress) input->FeatureCount(&total);
  com::ComPtr<Feature> feature;
  for (LONG number = 0; features->NextFeature(feature.put()) == S_OK && feature; ++number) {
    if (!GoOn(progress, "", number, total)) return E_FAIL;  // stops at once, unflushed
    com::ComPtr<Geometry> shape;
    feature->get_Shape(shape.put());
    const auto segments = shape.query<SegmentCollection>();
    if (!segments) continue;  // not a line: nothing to split
    LONG count = 0;
    segments->get_SegmentCount(&count);
    for (LONG i = 0; i < count; ++i) {
      com::ComPtr<Segment> segment;
      if (segments->get_Segment(i, segment.put()) != S_OK || !segment) break;
      const auto piece = com::CreateInstance<SegmentCollection>(CLSID_Polyline);
      if (!piece) return E_FAIL;  // stops at once, unflushed
      piece->AddSegment(segment.get());
      buffer->putref_Shape(piece.query<Geometry>().get());
      com::ComPtr<Point> from, to;
      double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
      segment->get_FromPoint(from.put());
      segment->get_ToPoint(to.put());
      if (from && to) {
        from->get_X(&x1), from->get_Y(&y1);
        to->get_X(&x2), to->get_Y(&y2);
      }
      for (const auto& [in, out] : copied) {
        com::Variant value;
        if (SUCCEEDED(feature->get_Value(in, value.put()))) buffer->put_Value(out, value.get());
      }
      // The orientation goes in single precision.
      buffer->put_Value(bufferAzimuth, com::Variant::R4(static_cast<float>(SegmentOrientation(x1, y1, x2, y2))).get());
      inserts->InsertFeature(buffer.get(), nullptr);
    }
  }
  inserts->Flush();
  return S_OK;
}

}  // namespace plenth
