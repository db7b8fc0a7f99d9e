#include "host/basicdialog.h"

#include "host/command.h"
#include "ui/window.h"

namespace plenth {

INT_PTR BasicModalDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) return TRUE;
  if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    EndDialog(dialog, LOWORD(wParam));
    return TRUE;
  }
  return FALSE;
}

INT_PTR BasicModelessDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtr(dialog, DWLP_USER, lParam);
    return TRUE;
  }
  if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    if (auto* command = reinterpret_cast<CommandCore*>(GetWindowLongPtr(dialog, DWLP_USER))) SelectToolRestore(*command);
    return TRUE;
  }
  return FALSE;
}

}  // namespace plenth
