// Shared state of the window layer's own files; not for callers.
#pragma once

#include <memory>
#include <string>
#include <thread>
#include <vector>

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
};

std::shared_ptr<Window> Find(HWND window);
// Sends WM_COMMAND with a notification code from a control to its dialog.
void Notify(const Window& control, WORD code);
// The built-in behaviour of the control classes.
LRESULT ControlProc(Window& w, UINT message, WPARAM wParam, LPARAM lParam);
// Copies text into a caller's buffer of `size` bytes, never splitting a UTF-8 character;
// returns the bytes copied.
int CopyText(const std::string& text, char* buffer, std::size_t size);
// Hands the dialog to whoever acts as the person; false when nobody acted.
bool ActAsUser(HWND dialog);
void RecordUnanswered(const std::string& what);
void SetRefusal(std::string why);

}  // namespace ui::detail
