#include "tools/importgrid/importgriddlg.h"

#include <string>

#include "com/bstr.h"
#include "host/dialogtext.h"
#include "host/outputpath.h"
#include "host/savefiledialog.h"
#include "host/moduleglobals.h"
#include "resources/resource.h"
#include "ui/msgbox.h"
#include "ui/window.h"

namespace plenth {
namespace {

void UpdateOk(HWND dialog) {
  EnableWindow(GetDlgItem(dialog, IDOK),
               !DialogText(dialog, IDC_IMPORT_INPUT).empty() && !DialogText(dialog, IDC_OUTPUT_PATH).empty());
}

void Accept(HWND dialog) {
  ImportGridChoice& choice = ImportGridResult();
  const std::string input = DialogText(dialog, IDC_IMPORT_INPUT);
  const std::string output = DialogText(dialog, IDC_OUTPUT_PATH);
  const OutputPath out = SplitOutputPath(output, sizeof choice.outputName - 1, "");
  if (input.size() > 254 || output.size() > 254 || out.directory.size() > 254) {
    MessageBox(dialog, "The path is too long: it must fit in 254 characters.", "Dialog", MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  com::CopyToBuffer(choice.inputPath, sizeof choice.inputPath, input);
  com::CopyToBuffer(choice.outputName, sizeof choice.outputName, out.name);
  com::CopyToBuffer(choice.directory, sizeof choice.directory, out.directory);
  EndDialog(dialog, IDOK);
}

INT_PTR ImportGridDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      ShowBrowsePicture(dialog, {IDC_OUTPUT_BROWSE, IDC_IMPORT_INPUT_BROWSE});
      ImportGridResult() = ImportGridChoice{};
      EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_IMPORT_INPUT:
        case IDC_OUTPUT_PATH:
          if (HIWORD(wParam) == EN_CHANGE) UpdateOk(dialog);
          return TRUE;
        case IDC_IMPORT_INPUT_BROWSE: BrowseInto(dialog, IDC_IMPORT_INPUT); return TRUE;
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

ImportGridChoice& ImportGridResult() {
  static ImportGridChoice choice{};
  return choice;
}

INT_PTR RunImportGridDlg() {
  return DialogBoxParam(ModuleInstance(), IDD_IMPORTGRIDDLG, nullptr, ImportGridDlgProc, 0);
}

}  // namespace plenth
