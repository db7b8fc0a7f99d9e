#include "tools/pointgrid/pointgriddlg.h"

#include <cstdio>
#include <string>

#include "com/bstr.h"
#include "com/classes.h"
#include "data/filenamepart.h"
#include "data/numbertext.h"
#include "host/dialogtext.h"
#include "host/outputpath.h"
#include "host/savefiledialog.h"
#include "resources/resource.h"
#include "tools/pointgrid/createpointgridtool.h"
#include "tools/pointgrid/pointgridkernel.h"
#include "ui/clock.h"
#include "ui/dragdrop.h"
#include "ui/msgbox.h"
#include "ui/window.h"

namespace plenth {
namespace {

constexpr const char* kCaption = "Point Grid Generator";
constexpr int kNumericEdits[] = {IDC_POINTGRID_NORTH, IDC_POINTGRID_WEST, IDC_POINTGRID_EAST, IDC_POINTGRID_SOUTH,
                                 IDC_POINTGRID_SPACING};

// What the dialog and the tool share, module-wide: there is one dialog at a time.
struct DialogState {
  CreatePointGridTool* owner = nullptr;  // the tool that opened the dialog
  bool previewFlag = false;              // the check box as last clicked
  bool editedFlag = false;               // a bound or the spacing changed since it was last left
  char path[255] = {};                   // the save dialog's last choice
};
DialogState& State() {
  static DialogState state;
  return state;
}

// A field's text through a buffer of `size` bytes, terminator included.
std::string FieldText(HWND dialog, int id, int size) {
  std::string text(static_cast<std::size_t>(size), '\0');
  text.resize(GetDlgItemText(dialog, id, text.data(), size));
  return text;
}
double Number(HWND dialog, int id) { return ReadDecimal(FieldText(dialog, id, 40)); }
bool Filled(HWND dialog, int id) { return GetWindowTextLength(GetDlgItem(dialog, id)) > 0; }
void Enable(HWND dialog, int id, bool enable) { EnableWindow(GetDlgItem(dialog, id), enable ? TRUE : FALSE); }

bool NumericEdit(int id) {
  for (int e : kNumericEdits)
    if (e == id) return true;
  return false;
}

// The four bounds and the spacing hold text, and a regular grid is asked for.
bool InputsComplete(HWND dialog) {
  for (int id : kNumericEdits)
    if (!Filled(dialog, id)) return false;
  return IsDlgButtonChecked(dialog, IDC_POINTGRID_REGULAR) == BST_CHECKED;
}

void ShowRowsAndColumns(HWND dialog) {
  const PointGridInputs in = ReadPointGridInputs(dialog);
  SetDlgItemText(dialog, IDC_POINTGRID_COLUMNS, GridCountText(in.xMin, in.xMax, in.d).c_str());
  SetDlgItemText(dialog, IDC_POINTGRID_ROWS, GridCountText(in.yMin, in.yMax, in.d).c_str());
}

// What every change of the path, a bound or the spacing decides.
void TextChanged(HWND dialog, int id) {
  if (NumericEdit(id)) State().editedFlag = true;
  const bool complete = InputsComplete(dialog);
  Enable(dialog, IDC_POINTGRID_PREVIEW, complete);
  if (complete) ShowRowsAndColumns(dialog);
  Enable(dialog, IDOK, Filled(dialog, IDC_POINTGRID_PATH) && complete);
}

// A bound or the spacing was left after a change: a negative spacing is emptied, and a
// pair of bounds in the wrong order takes the other bound's text (the south the north's,
// the west the east's). A pair is tidied only once both of its bounds are typed: an empty
// bound reads as 0 but is no bound yet, and tidying against it would empty the bound just
// typed, as when a person types the bounds in the dialog's own order (north, west, east,
// south) and leaves a west bound above 0 for the east field, still empty.
void FieldLeft(HWND dialog, int id) {
  if (!State().editedFlag) return;
  State().editedFlag = false;
  if (Number(dialog, IDC_POINTGRID_SPACING) < 0) SetDlgItemText(dialog, IDC_POINTGRID_SPACING, "");
  const auto tidy = [&](int low, int high) {
    if (!Filled(dialog, low) || !Filled(dialog, high)) return;
    if (Number(dialog, low) > Number(dialog, high)) SetDlgItemText(dialog, low, DialogText(dialog, high).c_str());
  };
  if (id == IDC_POINTGRID_NORTH || id == IDC_POINTGRID_SOUTH) tidy(IDC_POINTGRID_SOUTH, IDC_POINTGRID_NORTH);
  if (id == IDC_POINTGRID_WEST || id == IDC_POINTGRID_EAST) tidy(IDC_POINTGRID_WEST, IDC_POINTGRID_EAST);
  if (State().owner) State().owner->RefreshView();
}

// The numeric edits take typed digits, '.', '-', backspace and tab, and nothing else
// typed; text put in whole (pasted) is not looked at.
LRESULT NumericFilter(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
  if (message == WM_CHAR) {
    const WPARAM c = wParam;
    const bool passes = (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '\b' || c == '\t';
    if (!passes) return 0;
  }
  return DefSubclassProc(edit, message, wParam, lParam);
}

void Browse(HWND dialog) {
  DialogState& state = State();
  const std::string chosen = AskSavePath(dialog, state.path);
  if (!chosen.empty()) com::CopyToBuffer(state.path, sizeof state.path, chosen);
  SetDlgItemText(dialog, IDC_POINTGRID_PATH, state.path);
}

void Init(HWND dialog, CreatePointGridTool* owner) {
  State().owner = owner;
  for (int id : kNumericEdits) SetWindowSubclass(GetDlgItem(dialog, id), NumericFilter, 0, 0);
  ShowBrowsePicture(dialog, {IDC_POINTGRID_BROWSE});
  if (owner) RegisterDragDrop(GetDlgItem(dialog, IDC_POINTGRID_PATH), static_cast<IDropTarget*>(owner));
  CheckDlgButton(dialog, IDC_POINTGRID_REGULAR, BST_CHECKED);
  Enable(dialog, IDC_POINTGRID_COUNT, false);
}

void OnCommand(HWND dialog, WORD id, WORD code) {
  CreatePointGridTool* owner = State().owner;
  switch (id) {
    case IDC_POINTGRID_PATH:
      if (code == EN_CHANGE) TextChanged(dialog, id);
      if (code == EN_KILLFOCUS) State().editedFlag = false;
      return;
    case IDC_POINTGRID_NORTH:
    case IDC_POINTGRID_WEST:
    case IDC_POINTGRID_EAST:
    case IDC_POINTGRID_SOUTH:
    case IDC_POINTGRID_SPACING:
      if (code == EN_CHANGE) TextChanged(dialog, id);
      if (code == EN_KILLFOCUS) FieldLeft(dialog, id);
      return;
    case IDC_POINTGRID_REGULAR:
      if (code != BN_CLICKED) return;
      Enable(dialog, IDC_POINTGRID_SPACING, true);
      Enable(dialog, IDC_POINTGRID_COUNT, false);
      if (InputsComplete(dialog)) Enable(dialog, IDC_POINTGRID_PREVIEW, true);
      return;
    case IDC_POINTGRID_RANDOM:
      if (code != BN_CLICKED) return;
      Enable(dialog, IDC_POINTGRID_COUNT, true);
      Enable(dialog, IDC_POINTGRID_SPACING, false);
      Enable(dialog, IDC_POINTGRID_PREVIEW, false);
      return;
    case IDC_POINTGRID_PREVIEW:
      if (code != BN_CLICKED) return;
      State().previewFlag = IsDlgButtonChecked(dialog, IDC_POINTGRID_PREVIEW) == BST_CHECKED;
      if (owner) owner->RefreshView();
      return;
    case IDC_POINTGRID_BROWSE:
      if (code == BN_CLICKED) Browse(dialog);
      return;
    case IDC_POINTGRID_UPDATEAREA:
      if (code != BN_CLICKED || !owner) return;
      owner->UpdateArea();
      State().editedFlag = false;
      owner->RefreshView();
      return;
    case IDOK:
      if (!owner) return;
      GeneratePointShapefile(*owner, dialog);
      owner->Close();
      return;
    case IDCANCEL:
      if (owner) owner->Close();
      return;
    default: return;
  }
}

void ShowNotification(WPARAM wParam, LPARAM lParam) {
  char text[50];  // cut to 49 characters
  std::snprintf(text, sizeof text, "Dialog Message, 0x%X, 0x%X, 0x%X", static_cast<unsigned>(WM_NOTIFY),
                static_cast<unsigned>(wParam), static_cast<unsigned>(lParam));
  MessageBox(nullptr, text, "wm_notify", MB_OK);
}

// The points of the dialog's mode: the random ones drawn from the current second.
PointGridPoints PointsOf(HWND dialog, const GridArea& area) {
  PointGridPoints points{area};
  points.regular = IsDlgButtonChecked(dialog, IDC_POINTGRID_REGULAR) == BST_CHECKED;
  if (points.regular) {
    points.spacing = Number(dialog, IDC_POINTGRID_SPACING);
  } else {
    points.count = ReadInteger(FieldText(dialog, IDC_POINTGRID_COUNT, 40));
    points.seed = static_cast<std::uint32_t>(ui::TimeNow());
  }
  return points;
}

// The number of points of a regular grid: its columns times its rows, as its loops go.
std::int64_t RegularGridSize(const GridArea& area, double d) {
  std::int64_t columns = 0, rows = 0;
  for (double x = area.xMin; x < area.xMax; x = x + d) ++columns;
  for (double y = area.yMax; y > area.yMin; y = y - d) ++rows;
  return columns * rows;
}

void Refuse(HWND dialog, const std::string& why) {
  MessageBox(dialog, why.c_str(), kCaption, MB_OK | MB_ICONEXCLAMATION);
}

}  // namespace

bool PointGridPreviewFlag() { return State().previewFlag; }

PointGridInputs ReadPointGridInputs(HWND dialog) {
  return {Number(dialog, IDC_POINTGRID_EAST), Number(dialog, IDC_POINTGRID_WEST), Number(dialog, IDC_POINTGRID_NORTH),
          Number(dialog, IDC_POINTGRID_SOUTH), Number(dialog, IDC_POINTGRID_SPACING)};
}

void GeneratePointShapefile(CreatePointGridTool& owner, HWND dialog) {
  const std::string path = DialogText(dialog, IDC_POINTGRID_PATH);
  // A path cut to the tool's 254 characters would name another shapefile than the one typed.
  if (!TakeOutputPath(dialog, path, 254, 255, "", kCaption)) return;
  const std::size_t at = FileNamePart(path);
  const std::string directory = path.substr(0, at), name = path.substr(at);
  const PointGridInputs in = ReadPointGridInputs(dialog);
  const GridArea area{in.xMin, in.yMin, in.xMax, in.yMax};
  // A regular grid whose step cannot move the coordinates would never end.
  if (IsDlgButtonChecked(dialog, IDC_POINTGRID_REGULAR) == BST_CHECKED && !GridStepAdvances(area, in.d)) {
    Refuse(dialog, "The distance between points must be a number greater than 0 that is not lost against the "
                   "bounds. No shapefile was created.");
    return;
  }
  if (directory.empty()) {
    Refuse(dialog, "Type the folder of the new shapefile before its name (for example /data/grid). No shapefile was "
                   "created.");
    return;
  }

  OLE_HANDLE main = 0;
  owner.application->get_hWnd(&main);
  com::ComPtr<Workspace> workspace;
  auto factory = com::CreateInstance<WorkspaceFactory>(CLSID_ShapefileWorkspaceFactory);
  if (factory) factory->OpenFromFile(com::BStr(directory).get(), main, workspace.put());
  const auto features = workspace.query<FeatureWorkspace>();
  if (!features) {
    Refuse(dialog, "The folder " + directory + " cannot be opened for shapefiles. No shapefile was created.");
    return;
  }

  com::ComPtr<Document> document;
  owner.application->get_Document(document.put());
  com::ComPtr<Map> map;
  com::ComPtr<SpatialReference> reference;
  if (auto mapDocument = document.query<MapDocument>()) mapDocument->get_FocusMap(map.put());
  if (map) map->get_SpatialReference(reference.put());

  const auto featureClass = WritePointShapefile(features.get(), name, reference.get(), PointsOf(dialog, area));
  if (!featureClass) return;

  auto layer = com::CreateInstance<FeatureLayer>(CLSID_FeatureLayer);
  if (!layer || !map) return;
  layer->putref_FeatureClass(featureClass.get());
  if (auto named = layer.query<Layer>()) named->put_Name(com::BStr("PointGrid").get());
  map->AddLayer(layer.query<Layer>().get());
}

com::ComPtr<FeatureClass> WritePointShapefile(FeatureWorkspace* workspace, const std::string& name,
                                              SpatialReference* reference, const PointGridPoints& points,
                                              const Progress& progress) {
  auto fields = com::CreateInstance<Fields>(CLSID_Fields);
  auto shape = com::CreateInstance<Field>(CLSID_Field);
  auto geometry = com::CreateInstance<GeometryDef>(CLSID_GeometryDef);
  if (!fields || !shape || !geometry) return {};
  geometry->put_GeometryType(kGeometryPoint);
  geometry->putref_SpatialReference(reference);
  shape->put_Name(com::BStr("Shape").get());
  shape->put_Type(kFieldGeometry);
  shape->putref_GeometryDef(geometry.get());
  fields->AddField(shape.get());

  com::ComPtr<FeatureClass> featureClass;
  if (FAILED(workspace->CreateFeatureClass(com::BStr(name).get(), fields.get(), nullptr, nullptr, kFeatureTypeSimple,
                                           com::BStr("Shape").get(), com::BStr("").get(), featureClass.put())) ||
      !featureClass)
    return {};

  com::ComPtr<InsertCursor> cursor;
  com::ComPtr<FeatureBuffer> buffer;
  auto point = com::CreateInstance<Point>(CLSID_Point);
  featureClass->Insert(VARIANT_TRUE, cursor.put());
  featureClass->CreateFeatureBuffer(buffer.put());
  if (cursor && buffer && point) {
    point->putref_SpatialReference(reference);
    const std::int64_t total = !progress ? 0 : points.regular ? RegularGridSize(points.area, points.spacing) : points.count;
    std::int64_t inserted = 0;
    bool goOn = GoOn(progress, "", 0, total);
    const auto insert = [&](double x, double y) {
      if (!goOn) return;  // stopped: the rest of the points are passed over
      point->PutCoords(x, y);
      buffer->putref_Shape(point.get());
      cursor->InsertFeature(buffer.get(), nullptr);
      if (++inserted % 100 == 0) {
        cursor->Flush();
        goOn = GoOn(progress, "", inserted, total);
      }
    };
    if (points.regular) {
      EmitRegularGrid(points.area, points.spacing, insert);
    } else {
      RandomGenerator generator(points.seed);
      EmitRandomPoints(points.area, points.count, generator, insert);
    }
    cursor->Flush();
  }
  cursor.reset();  // the shapefile is whole on disk once its cursor is gone
  return featureClass;
}

INT_PTR PointGridDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: Init(dialog, reinterpret_cast<CreatePointGridTool*>(lParam)); return TRUE;
    case WM_COMMAND: OnCommand(dialog, LOWORD(wParam), HIWORD(wParam)); return TRUE;
    case WM_NOTIFY: ShowNotification(wParam, lParam); return TRUE;
    case WM_DESTROY:
      RevokeDragDrop(GetDlgItem(dialog, IDC_POINTGRID_PATH));
      ReleaseBrowsePicture(dialog, IDC_POINTGRID_BROWSE);
      State().owner = nullptr;
      return TRUE;
    default: return FALSE;
  }
}

}  // namespace plenth
