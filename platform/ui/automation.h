// Acting as a person at the screen: typing, picking, clicking, moving the focus,
// answering message boxes and file dialogs; and pumping the messages of the calling
// thread. Tests and command-line hosts drive the module's dialogs through this. It works
// through the window API only; who answers dialogs, message boxes and the clock is set
// on the headless backend (ui/headless.h).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "com/dataobject.h"
#include "ui/backend.h"
#include "ui/clock.h"
#include "ui/types.h"

namespace ui::automation {

// Called when a modal dialog waits for input and nothing else is queued. It acts (or
// does nothing, and the person is taken to have closed the dialog).
using User = std::function<void(HWND dialog)>;
class ScopedUser {
 public:
  explicit ScopedUser(User user);
  ~ScopedUser();
  ScopedUser(const ScopedUser&) = delete;
  ScopedUser& operator=(const ScopedUser&) = delete;

 private:
  User previous_;
};

// Each action returns false when a person could not take it (no such window, disabled
// or hidden control, no such combo entry); LastRefusal() says why.
bool Click(HWND control);
bool Click(HWND dialog, int id);
bool Type(HWND control, std::string_view text);   // one character at a time
bool Replace(HWND control, std::string_view text);  // select all, paste
bool Pick(HWND combo, std::string_view item);
bool Focus(HWND control);
bool PressEnter(HWND dialog);
bool Close(HWND window);  // the close box
std::string LastRefusal();

// What the drop target answered while a person dragged data over a control.
struct DragOutcome {
  HRESULT enter = E_FAIL;
  DWORD enterEffect = DROPEFFECT_NONE;  // what the target would do on entering
  bool overCalled = false;
  DWORD overEffect = DROPEFFECT_NONE;
  bool dropped = false;  // the data was let go over a target that accepted it
  HRESULT drop = E_FAIL;
  DWORD dropEffect = DROPEFFECT_NONE;
};
// A person drags data offering `effects` over the control and lets it go there (`drop`)
// or takes it away again. The drag reaches the drop target registered for the control
// or the nearest of its parents; a target that refuses on entering (a failure, or no
// effect) hears nothing more, as with OLE. False when no target takes drops there.
bool DragOver(HWND control, IDataObject* data, DWORD effects, bool drop, DragOutcome* outcome);

std::string Text(HWND window);
bool Enabled(HWND window);
bool Visible(HWND window);
bool Checked(HWND button);
std::vector<std::string> Items(HWND combo);
int Selection(HWND combo);
HWND Control(HWND dialog, int id);
std::vector<HWND> TopLevelWindows();
HWND FindWindowByCaption(std::string_view caption);

using MessageBoxRecord = ui::MessageBoxRequest;  // owner, caption, text, type
// Answers message boxes (the return value is the button pressed). Without a handler,
// boxes are recorded and answered with OK.
using MessageBoxHandler = std::function<int(const MessageBoxRecord&)>;
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);
std::vector<MessageBoxRecord> TakeMessageBoxes();

using SaveFileRequest = ui::SaveFileRequest;  // owner, title, initialDirectory, fileName, flags
// Answers the save-file dialog: the chosen path, or nothing for Cancel. Without a
// handler the dialog is cancelled.
using SaveFileHandler = std::function<std::optional<std::string>(const SaveFileRequest&)>;
SaveFileHandler SetSaveFileHandler(SaveFileHandler handler);

// Processes everything queued for the calling thread (sent and posted messages, due
// timers); returns how many messages were handled.
int PumpPending();
// Pumps until done() holds or the timeout passes; true when done() held.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

// The clock that timers run on, in milliseconds. Tests install their own for a scope;
// SetClock returns the clock it replaces (null: the real one).
using Clock = ui::Clock;
Clock SetClock(Clock clock);
std::uint64_t Now();
class ScopedClock {
 public:
  explicit ScopedClock(Clock clock);
  ~ScopedClock();
  ScopedClock(const ScopedClock&) = delete;
  ScopedClock& operator=(const ScopedClock&) = delete;

 private:
  Clock previous_;
};

// The dialogs that were closed because nobody answered them.
std::vector<std::string> TakeUnansweredDialogs();

}  // namespace ui::automation
