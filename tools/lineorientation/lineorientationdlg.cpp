#include "tools/lineorientation/lineorientationdlg.h"

#include <string>

#include "com/bstr.h"
#include "data/layers.h"
#include "host/command.h"
#include "host/dialogtext.h"
#include "host/outputpath.h"
#include "host/savefiledialog.h"
#include "resources/resource.h"
#include "ui/window.h"

namespace plenth {
namespace {

void Accept(HWND dialog) {
  LineOrientationChoice& choice = LineOrientationResult();
  const std::string path = DialogText(dialog, IDC_LINES_OUTPUT);
  const auto out = TakeOutputPath(dialog, path, sizeof choice.outputName - 1, sizeof choice.outputDirectory, "/",
                                  "Line Orientation");
  if (!out) return;
  com::CopyToBuffer(choice.outputName, sizeof choice.outputName, out->name);
  com::CopyToBuffer(choice.outputDirectory, sizeof choice.outputDirectory, out->directory);
  com::CopyToBuffer(choice.layerName, sizeof choice.layerName, DialogText(dialog, IDC_LINES_LAYER));
  // Whatever the lookup answers, the dialog closes: the buffers then name the last input.
  ResolveFeatureLayer(CurrentApplication.get(), choice.layerName,
                      {choice.inputName, sizeof choice.inputName, choice.inputDirectory, sizeof choice.inputDirectory});
  EndDialog(dialog, IDOK);
}

INT_PTR LineOrientationDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      ShowBrowsePicture(dialog, {IDC_OUTPUT_BROWSE});
      EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
      FillFeatureLayerCombo(CurrentApplication.get(), GetDlgItem(dialog, IDC_LINES_LAYER),
                            {kGeometryPolyline, kGeometryLine});
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_LINES_OUTPUT:
          // Only an edit of the path decides OK: choosing a layer later leaves it as it is.
          if (HIWORD(wParam) == EN_CHANGE)
            EnableWindow(GetDlgItem(dialog, IDOK),
                         !DialogText(dialog, IDC_LINES_LAYER).empty() && !DialogText(dialog, IDC_LINES_OUTPUT).empty());
          return TRUE;
        case IDC_OUTPUT_BROWSE: BrowseInto(dialog, IDC_LINES_OUTPUT); return TRUE;
        case IDOK: Accept(dialog); return TRUE;
        case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
        default: return FALSE;
      }
    case WM_DESTROY:
      ReleaseBrowsePicture(dialog, IDC_OUTPUT_BROWSE);
      return TRUE;
    default: return FALSE;
  }
}

}  // namespace

LineOrientationChoice& LineOrientationResult() {
  static LineOrientationChoice choice{};
  return choice;
}

INT_PTR RunLineOrientationDlg() {
  return DialogBoxParam(ModuleInstance(), IDD_LINEORIENTATIONDLG, nullptr, LineOrientationDlgProc, 0);
}

}  // namespace plenth
