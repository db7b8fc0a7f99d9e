// The window layer's backend: whatever puts windows in front of a person. The window
// layer itself (the window table, the message pump, dialogs, timers, the controls'
// behaviour) is the same whichever backend runs, and the module cannot tell them apart.
// It turns to the backend for four things only: a person at the screen (message boxes,
// the save-file dialog, a modal dialog waiting for input), blocking until there is
// something to do, the clock, and news of what happened to its windows.
//
// The headless backend (ui/headless.h) is installed unless another one is. A desktop
// backend fits behind the same interface: on WindowCreated it builds widgets for the
// dialog from its template (ui::TemplateOf, ui::ChildrenOf), on WindowChanged it reads
// the window's new state through the window API (GetWindowText, IsWindowEnabled, ...),
// on WindowDestroyed it drops them; a person's clicks and keys become the same messages
// the automation API sends. AwaitInput and Wait run its own event loop for a while. Wake
// may come from any thread: it wakes the toolkit's loop, which then pumps on its own
// thread (PeekMessage and DispatchMessage, which also answer the messages other threads
// sent and wait on), and arms its own timer for ui::NextTimerDue(); so work sent or
// posted from a worker thread is always done on the toolkit's thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>

#include "ui/types.h"

namespace ui {

struct MessageBoxRequest {
  HWND owner;
  std::string caption;
  std::string text;
  UINT type;  // MB_* buttons and icon
};

struct SaveFileRequest {
  HWND owner;
  std::string title;
  std::string initialDirectory;
  std::string fileName;  // what the caller's path buffer held
  DWORD flags;
};

// What about a window changed, as a person would see it.
enum class WindowChange {
  kText,       // caption or content
  kEnabled,
  kVisible,
  kFocus,      // the window gained or lost the keyboard focus
  kCheck,      // a button's check state
  kImage,      // a button's or static's picture
  kItems,      // a combo box's list
  kSelection,  // a combo box's selected entry
  kScroll,     // a multi-line edit's first visible line
};

class Backend {
 public:
  virtual ~Backend() = default;

  // A message box; returns the button pressed (IDOK, IDCANCEL, IDYES, ...).
  virtual int ShowMessageBox(const MessageBoxRequest& box) = 0;
  // The save-file dialog: the chosen path, or nothing when the person cancelled.
  virtual std::optional<std::string> ChooseSaveFile(const SaveFileRequest& request) = 0;
  // A modal dialog waits for input and nothing is queued for its thread. Returns true
  // once something may have happened (the person acted, or Wake named this thread), and
  // false when nobody is at the screen: the window layer then closes the dialog as with
  // its close box, and ends it as cancelled if it stays open.
  virtual bool AwaitInput(HWND dialog) = 0;

  // Blocks the calling thread until Wake names it or `atMost` has passed (no bound when
  // empty). A Wake that comes before the Wait is kept: that Wait returns at once. Waits
  // may also end early; the window layer looks again and waits again.
  virtual void Wait(std::optional<std::chrono::milliseconds> atMost) = 0;
  // Something was queued for the thread (a posted or sent message, a timer, the answer
  // to a message it sent). Called from any thread.
  virtual void Wake(std::thread::id thread) = 0;

  // Milliseconds that never go back; timers run on them.
  virtual std::uint64_t Now() = 0;

  // News from the window table, on the thread that made the change (the window's own
  // thread for everything done by messages) and never with a lock held. A dialog is
  // announced once its controls exist, before WM_INITDIALOG; a frame window when it is
  // made. WindowDestroyed comes for every window (controls before their dialog) while
  // the window can still be read.
  virtual void WindowCreated([[maybe_unused]] HWND window) {}
  virtual void WindowChanged([[maybe_unused]] HWND window, [[maybe_unused]] WindowChange what) {}
  virtual void WindowDestroyed([[maybe_unused]] HWND window) {}
};

// The backend in use.
Backend& CurrentBackend();
// Installs a backend (null: the headless one again) and returns the one it replaces.
// The caller keeps it alive while it is installed; install it before any window exists.
Backend* SetBackend(Backend* backend);

}  // namespace ui
