// Windows, dialogs and controls, as the module calls them. Every window belongs to the
// thread that created it; messages sent from another thread wait until that thread has
// handled them, posted messages queue for it.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui/types.h"

namespace ui {
struct DialogTemplate;
}

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
// Blocks until a message arrives for the calling thread (handling the ones sent to it).
BOOL WaitMessage();

// Timers fire on the window layer's clock (ui/clock.h): a due timer is one WM_TIMER,
// however late it is taken, handed to its TIMERPROC or else to the window.
UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT milliseconds, TIMERPROC proc);
BOOL KillTimer(HWND window, UINT_PTR id);

// Window subclassing: `proc` sees each message of the window before the window's own
// procedure and passes on what it does not handle with DefSubclassProc. A proc is known
// by itself and its id; setting it again replaces its reference data.
BOOL SetWindowSubclass(HWND window, SUBCLASSPROC proc, UINT_PTR id, DWORD_PTR refData);
BOOL RemoveWindowSubclass(HWND window, SUBCLASSPROC proc, UINT_PTR id);
LRESULT DefSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

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
std::string TextOf(HWND window);  // through WM_GETTEXT, whole
// A window's own caption as stored, read without sending it a message, so that any
// thread can read it without waiting for the window's thread.
std::string CaptionOf(HWND window);
// The controls of a dialog in template order; the windows that have no parent.
std::vector<HWND> ChildrenOf(HWND dialog);
std::vector<HWND> TopLevelWindows();
// The template a dialog was made from, or null.
const DialogTemplate* TemplateOf(HWND dialog);

// Waits until done() holds or the timeout passes, handling meanwhile the messages that
// other threads send to the calling thread (posted ones stay queued). A thread that
// waits for a worker which may itself be waiting on a sent message uses this, so the
// two never wait for each other. True when done() held.
bool WaitServingSent(const std::function<bool()>& done, std::chrono::milliseconds timeout);
// When the calling thread's next timer falls due on the clock (ui/clock.h); nothing when
// it has none. For a backend whose own event loop runs the thread.
std::optional<std::uint64_t> NextTimerDue();
// Waits until something of the given kinds (QS_SENDMESSAGE, QS_POSTMESSAGE, QS_TIMER) is
// queued for the calling thread, without handling it; false when the timeout passed.
bool WaitForQueued(UINT kinds, std::chrono::milliseconds timeout);

}  // namespace ui
