// Windows, dialogs and controls, as the module calls them. Every window belongs to the
// thread that created it; messages sent from another thread wait until that thread has
// handled them, posted messages queue for it.
#pragma once

#include <string>

#include "ui/types.h"

// Dialogs from a module's templates.
HWND CreateDialogParam(HINSTANCE module, int templateId, HWND owner, DLGPROC proc, LPARAM param);
INT_PTR DialogBoxParam(HINSTANCE module, int templateId, HWND owner, DLGPROC proc, LPARAM param);
BOOL EndDialog(HWND dialog, INT_PTR result);

BOOL DestroyWindow(HWND window);
BOOL IsWindow(HWND window);
HWND GetDlgItem(HWND dialog, int id);
int GetDlgCtrlID(HWND control);
HWND GetParent(HWND window);
BOOL SetWindowText(HWND window, const char* text);
int GetWindowText(HWND window, char* buffer, int size);
int GetWindowTextLength(HWND window);
BOOL SetDlgItemText(HWND dialog, int id, const char* text);
UINT GetDlgItemText(HWND dialog, int id, char* buffer, int size);
BOOL EnableWindow(HWND window, BOOL enable);
BOOL IsWindowEnabled(HWND window);
BOOL ShowWindow(HWND window, int command);
BOOL IsWindowVisible(HWND window);
HWND SetFocus(HWND window);
HWND GetFocus();
LONG_PTR SetWindowLongPtr(HWND window, int index, LONG_PTR value);
LONG_PTR GetWindowLongPtr(HWND window, int index);
BOOL CheckDlgButton(HWND dialog, int id, UINT check);
UINT IsDlgButtonChecked(HWND dialog, int id);

LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT SendDlgItemMessage(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL GetMessage(MSG* msg, HWND window, UINT first, UINT last);
BOOL PeekMessage(MSG* msg, HWND window, UINT first, UINT last, UINT remove);
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessage(const MSG* msg);

// Timers fire on the window layer's clock (see ui/automation.h for the test clock).
UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT milliseconds, TIMERPROC proc);
BOOL KillTimer(HWND window, UINT_PTR id);

// The common-controls library needs no initialisation on this platform.
void InitCommonControls();

// The window in front, where the person works; bringing a window forward puts it there.
BOOL SetForegroundWindow(HWND window);
HWND GetForegroundWindow();

namespace ui {

// A plain top-level window, such as a host's main window.
HWND CreateFrameWindow(const char* caption);
// Dialog windows created from a module's templates that are still alive.
int LiveDialogCount(HINSTANCE module);
// The window class: "#32770" for dialogs, "Button", "Edit", "ComboBox", "Static",
// "Frame"; "" for no window.
std::string ClassOf(HWND window);
DWORD StyleOf(HWND window);

}  // namespace ui
