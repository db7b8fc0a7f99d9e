// What the window layer's own files share: the window record, and how the window table,
// the message pump, the dialogs, the timers and the controls reach each other. Not for
// callers.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ui/backend.h"
#include "ui/types.h"

namespace ui::detail {

struct Window {
  HWND handle = nullptr;
  std::thread::id thread;
  HINSTANCE module = nullptr;
  std::string cls;
  std::string text;
  DWORD style = 0;
  DWORD exStyle = 0;
  int id = 0;
  int x = 0, y = 0, cx = 0, cy = 0;  // dialog units
  HWND parent = nullptr;  // the dialog of a control
  HWND owner = nullptr;   // the owner of a top-level window
  bool enabled = true;
  bool visible = false;
  bool destroying = false;
  std::vector<HWND> children;
  // dialogs
  DLGPROC proc = nullptr;
  LONG_PTR user = 0;
  bool isDialog = false;
  bool modal = false;
  bool ended = false;
  INT_PTR result = 0;
  int templateId = 0;
  // controls
  std::vector<std::string> items;
  int selection = -1;
  int check = BST_UNCHECKED;
  HBITMAP image = nullptr;
  int firstVisibleLine = 0;
  // procedures that see the window's messages before its own (SetWindowSubclass), the
  // last one set first
  struct Subclass {
    LRESULT (*proc)(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    UINT_PTR id;
    DWORD_PTR refData;
  };
  std::vector<Subclass> subclasses;
};

// The window table (windowtable.cpp). Register gives the window its handle and makes
// the calling thread its owner.
HWND Register(const std::shared_ptr<Window>& window);
std::shared_ptr<Window> Find(HWND window);
// Tells the backend that something a person would see changed.
void Changed(const Window& window, WindowChange what);

// The built-in behaviour of each window class: dialogs (dialogs.cpp), frames
// (windowtable.cpp) and controls (controls.cpp).
LRESULT DefDialogProc(Window& dialog, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT FrameProc(Window& frame, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT ControlProc(Window& control, UINT message, WPARAM wParam, LPARAM lParam);
// Sends WM_COMMAND with a notification code from a control to its dialog.
void Notify(const Window& control, WORD code);
// Copies text into a caller's buffer of `size` bytes, never splitting a UTF-8 character;
// returns the bytes copied.
int CopyText(const std::string& text, char* buffer, std::size_t size);

// The message pump (pump.cpp): calls the window's procedure on the calling thread.
LRESULT Deliver(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Answers the calls that other threads are waiting on for a window that goes away.
void DropSentTo(HWND window);

// Timers (timers.cpp). TakeDueTimer gives the calling thread's next due timer as a
// WM_TIMER message (re-arming it when `remove`).
bool TakeDueTimer(MSG* out, HWND filter, bool remove);
void KillTimersOf(HWND window);

}  // namespace ui::detail
