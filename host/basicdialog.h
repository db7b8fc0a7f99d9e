// The dialog procedure of a tool whose own dialog logic has not been written yet: its
// template opens, OK and Cancel close it as a person expects.
#pragma once

#include "ui/types.h"

namespace plenth {

// Modal: OK and Cancel end the dialog with their ids.
INT_PTR BasicModalDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Modeless: the creation parameter is the command (a CommandCore); OK and Cancel give
// the host its select tool back, which closes the window.
INT_PTR BasicModelessDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace plenth
