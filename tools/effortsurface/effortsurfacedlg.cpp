#include "tools/effortsurface/effortsurfacedlg.h"

#include <cstdlib>
#include <locale.h>
#include <string>

#include "com/bstr.h"
#include "data/layers.h"
#include "host/command.h"
#include "host/dialogtext.h"
#include "host/outputpath.h"
#include "host/savefiledialog.h"
#include "resources/resource.h"
#include "tools/effortsurface/effortparams.h"
#include "tools/effortsurface/surfacename.h"
#include "ui/msgbox.h"
#include "ui/window.h"

namespace plenth {
namespace {

constexpr int kLists[] = {IDC_EFFORT_DEM, IDC_EFFORT_TRAILS, IDC_EFFORT_ROADS, IDC_EFFORT_STREAMS,
                          IDC_EFFORT_GROUNDCOVER};

EffortInput* InputOf(int list) {
  EffortParams& p = TheEffortParams();
  switch (list) {
    case IDC_EFFORT_DEM: return &p.dem;
    case IDC_EFFORT_TRAILS: return &p.trails;
    case IDC_EFFORT_ROADS: return &p.roads;
    case IDC_EFFORT_STREAMS: return &p.streams;
    case IDC_EFFORT_GROUNDCOVER: return &p.groundCover;
    default: return nullptr;
  }
}

DatasetBuffers BuffersOf(EffortInput& input) {
  return {input.datasetName, sizeof input.datasetName, input.directory, sizeof input.directory};
}

// The DEM's geometry, as the run takes it: the cell size for the costs in single
// precision, and the cells' width and height on the map as they are.
void StoreGeometry(const RasterGeometry& g) {
  EffortParams& p = TheEffortParams();
  p.lowerLeft = g.lowerLeft;
  p.spatialReference = g.spatialReference;
  com::CopyToBuffer(p.unitName, sizeof p.unitName, g.unitName);
  p.metersPerUnit = g.metersPerUnit;
  p.rows = g.rows;
  p.columns = g.columns;
  p.cellSize = static_cast<float>(g.cellSize);
  p.cellWidth = g.cellSize;
  p.cellHeight = g.cellSizeY;
}

// A layer chosen in one of the five lists: a new name is stored and resolved at once into
// the input's dataset; a layer that does not resolve loses its selection. A name that
// does not fit the 49 characters the input keeps is refused.
void Choose(HWND dialog, int list) {
  EffortInput& input = *InputOf(list);
  const HWND combo = GetDlgItem(dialog, list);
  const std::string name = DialogText(dialog, list);
  if (name == input.layerName) return;
  if (name.size() >= sizeof input.layerName) {
    SendMessage(combo, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    MessageBox(dialog, ("The layer name \"" + name + "\" is too long: names of up to 49 characters can be used.").c_str(),
               "Effort Surface Calculator", MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  com::CopyToBuffer(input.layerName, sizeof input.layerName, name);
  int resolved = 0;
  if (list == IDC_EFFORT_DEM) {
    RasterGeometry geometry;
    resolved = ReadRasterGeometry(CurrentApplication.get(), input.layerName, BuffersOf(input), &geometry);
    if (resolved) StoreGeometry(geometry);
  } else {
    resolved = ResolveRasterLayer(CurrentApplication.get(), input.layerName, BuffersOf(input));
  }
  if (!resolved) SendMessage(combo, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
}

// OK is enabled exactly when the five lists show a layer and an output path is typed.
void UpdateOk(HWND dialog) {
  bool all = !DialogText(dialog, IDC_OUTPUT_PATH).empty();
  for (const int list : kLists) all = all && !DialogText(dialog, list).empty();
  EnableWindow(GetDlgItem(dialog, IDOK), all);
}

// The Z factor as the C library reads a number in the C locale: a text without a leading
// number is 0.
double ZFactorOf(const std::string& text) {
  static const locale_t c = newlocale(LC_ALL_MASK, "C", nullptr);
  return strtod_l(text.substr(0, 54).c_str(), nullptr, c);
}

void Accept(HWND dialog) {
  EffortParams& p = TheEffortParams();
  const std::string path = DialogText(dialog, IDC_OUTPUT_PATH);
  const auto out = TakeOutputPath(dialog, path, path.size(), sizeof p.outputDirectory, "", "Effort Surface Calculator");
  if (!out) return;
  p.zFactor = ZFactorOf(DialogText(dialog, IDC_EFFORT_ZFACTOR));
  com::CopyToBuffer(p.outputName, sizeof p.outputName, SurfaceName(out->name));
  com::CopyToBuffer(p.outputDirectory, sizeof p.outputDirectory, out->directory);
  EndDialog(dialog, IDOK);
}

void Open(HWND dialog) {
  ShowBrowsePicture(dialog, {IDC_OUTPUT_BROWSE});
  SetDlgItemText(dialog, IDC_EFFORT_ZFACTOR, "1");
  for (const int list : kLists) *InputOf(list) = EffortInput{};
  EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
  for (const int list : kLists) FillRasterLayerCombo(CurrentApplication.get(), GetDlgItem(dialog, list));
}

INT_PTR EffortSurfaceDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: Open(dialog); return TRUE;
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      switch (id) {
        case IDC_EFFORT_DEM:
        case IDC_EFFORT_TRAILS:
        case IDC_EFFORT_ROADS:
        case IDC_EFFORT_STREAMS:
        case IDC_EFFORT_GROUNDCOVER:
          if (HIWORD(wParam) == CBN_SELENDOK) Choose(dialog, id);
          UpdateOk(dialog);
          return TRUE;
        case IDC_OUTPUT_PATH:
          if (HIWORD(wParam) == EN_CHANGE) UpdateOk(dialog);
          return TRUE;
        case IDC_OUTPUT_BROWSE: BrowseInto(dialog, IDC_OUTPUT_PATH); return TRUE;
        case IDOK: Accept(dialog); return TRUE;
        case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
        default: return FALSE;
      }
    }
    case WM_DESTROY: ReleaseBrowsePicture(dialog, IDC_OUTPUT_BROWSE); return TRUE;
    default: return FALSE;
  }
}

}  // namespace

INT_PTR RunEffortSurfaceDlg() {
  return DialogBoxParam(ModuleInstance(), IDD_EFFORTSURFACEDLG, nullptr, EffortSurfaceDlgProc, 0);
}

}  // namespace plenth
