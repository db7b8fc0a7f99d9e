#include "tools/exportgrid/exportgriddlg.h"

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

// OK is enabled exactly when a layer is chosen and an output path typed.
void UpdateOk(HWND dialog) {
  EnableWindow(GetDlgItem(dialog, IDOK),
               !DialogText(dialog, IDC_EXPORT_LAYER).empty() && !DialogText(dialog, IDC_OUTPUT_PATH).empty());
}

void Accept(HWND dialog) {
  ExportGridChoice& choice = ExportGridResult();
  const std::string path = DialogText(dialog, IDC_OUTPUT_PATH);
  const auto out = TakeOutputPath(dialog, path, sizeof choice.baseName - 1, sizeof choice.directory, "/", "Export Grid");
  if (!out) return;
  com::CopyToBuffer(choice.layerName, sizeof choice.layerName, DialogText(dialog, IDC_EXPORT_LAYER));
  com::CopyToBuffer(choice.baseName, sizeof choice.baseName, out->name);
  com::CopyToBuffer(choice.directory, sizeof choice.directory, out->directory);
  EndDialog(dialog, IDOK);
}

INT_PTR ExportGridDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      ShowBrowsePicture(dialog, {IDC_OUTPUT_BROWSE});
      ExportGridResult().layerName[0] = 0;
      EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
      FillRasterLayerCombo(CurrentApplication.get(), GetDlgItem(dialog, IDC_EXPORT_LAYER));
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_OUTPUT_PATH:
          if (HIWORD(wParam) == EN_CHANGE) UpdateOk(dialog);
          return TRUE;
        case IDC_EXPORT_LAYER:
          if (HIWORD(wParam) == CBN_SELCHANGE) UpdateOk(dialog);
          return TRUE;
        case IDC_OUTPUT_BROWSE: BrowseInto(dialog, IDC_OUTPUT_PATH); return TRUE;
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

ExportGridChoice& ExportGridResult() {
  static ExportGridChoice choice{};
  return choice;
}

INT_PTR RunExportGridDlg() {
  return DialogBoxParam(ModuleInstance(), IDD_EXPORTGRIDDLG, nullptr, ExportGridDlgProc, 0);
}

}  // namespace plenth
