#include "ui/automation.h"

#include <thread>
#include <utility>

#include "com/utf8.h"
#include "ui/dragdrop.h"
#include "ui/headless.h"
#include "ui/window.h"

namespace ui::automation {
namespace {

thread_local std::string refusal;

bool Refuse(std::string why) {
  refusal = std::move(why);
  return false;
}

// Every action a person takes is reported, so that a modal dialog can tell a person who
// acted from one who walked away.
void Acted() { Headless().NoteAction(); }

// A person can only use a control that exists, is shown and is enabled.
bool Usable(HWND control, const char* what) {
  if (!IsWindow(control)) return Refuse(std::string("no such control to ") + what);
  if (!IsWindowVisible(control)) return Refuse(std::string("the control to ") + what + " is hidden");
  if (!IsWindowEnabled(control)) return Refuse(std::string("the control to ") + what + " is disabled");
  return true;
}

// What a control tells its dialog when a person uses it.
void NotifyParent(HWND control, WORD code) {
  SendMessage(GetParent(control), WM_COMMAND, MAKEWPARAM(static_cast<WORD>(GetDlgCtrlID(control)), code),
              reinterpret_cast<LPARAM>(control));
}

}  // namespace

ScopedUser::ScopedUser(User user) : previous_(Headless().SetUser(std::move(user))) {}
ScopedUser::~ScopedUser() { Headless().SetUser(std::move(previous_)); }

bool Click(HWND control) {
  if (!Usable(control, "click")) return false;
  Acted();
  SendMessage(control, BM_CLICK, 0, 0);
  return true;
}

bool Click(HWND dialog, int id) { return Click(GetDlgItem(dialog, id)); }

bool Focus(HWND control) {
  if (!Usable(control, "focus")) return false;
  Acted();
  SetFocus(control);
  return true;
}

bool Type(HWND control, std::string_view text) {
  if (!Focus(control)) return false;
  for (std::size_t at = 0; at < text.size();) SendMessage(control, WM_CHAR, com::DecodeUtf8(text, at), 0);
  return true;
}

bool Replace(HWND control, std::string_view text) {
  if (!Focus(control)) return false;
  const std::string s(text);
  SendMessage(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(s.c_str()));
  if (ClassOf(control) == "ComboBox") {  // a paste into the edit of a combo box
    NotifyParent(control, CBN_EDITUPDATE);
    NotifyParent(control, CBN_EDITCHANGE);
  }
  return true;
}

bool Pick(HWND combo, std::string_view item) {
  if (!Usable(combo, "pick from")) return false;
  if (ClassOf(combo) != "ComboBox") return Refuse("not a combo box");
  const auto items = Items(combo);
  int index = -1;
  for (std::size_t i = 0; i < items.size(); ++i)
    if (items[i] == item) {
      index = static_cast<int>(i);
      break;
    }
  if (index < 0) return Refuse("the list has no entry \"" + std::string(item) + "\"");
  Focus(combo);
  NotifyParent(combo, CBN_DROPDOWN);
  SendMessage(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  NotifyParent(combo, CBN_SELCHANGE);
  NotifyParent(combo, CBN_SELENDOK);
  NotifyParent(combo, CBN_CLOSEUP);
  return true;
}

bool PressEnter(HWND dialog) {
  // Enter presses the dialog's default button when it can be pressed.
  if (!IsWindow(dialog)) return Refuse("no such dialog");
  for (HWND c : ChildrenOf(dialog)) {
    if (ClassOf(c) == "Button" && (StyleOf(c) & BS_TYPEMASK) == BS_DEFPUSHBUTTON) return Click(c);
  }
  return Click(GetDlgItem(dialog, IDOK));
}

bool Close(HWND window) {
  if (!IsWindow(window)) return Refuse("no such window");
  Acted();
  SendMessage(window, WM_CLOSE, 0, 0);
  return true;
}

std::string LastRefusal() { return refusal; }

bool DragOver(HWND control, IDataObject* data, DWORD effects, bool drop, DragOutcome* outcome) {
  DragOutcome result;
  if (outcome) *outcome = result;
  if (!IsWindow(control)) return Refuse("no such window to drag over");
  const auto target = DropTargetAt(control);
  if (!target) return Refuse("no window there takes drops");
  Acted();
  const POINTL point{0, 0};
  result.enterEffect = effects;
  result.enter = target->DragEnter(data, 0, point, &result.enterEffect);
  if (SUCCEEDED(result.enter) && result.enterEffect != DROPEFFECT_NONE) {
    result.overCalled = true;
    result.overEffect = result.enterEffect;
    target->DragOver(0, point, &result.overEffect);
    if (drop && result.overEffect != DROPEFFECT_NONE) {
      result.dropped = true;
      result.dropEffect = result.overEffect;
      result.drop = target->Drop(data, 0, point, &result.dropEffect);
    } else {
      target->DragLeave();
    }
  }
  if (outcome) *outcome = result;
  return true;
}

std::string Text(HWND window) { return TextOf(window); }
bool Enabled(HWND window) { return IsWindowEnabled(window) != FALSE; }
bool Visible(HWND window) { return IsWindowVisible(window) != FALSE; }
bool Checked(HWND button) { return SendMessage(button, BM_GETCHECK, 0, 0) == BST_CHECKED; }

std::vector<std::string> Items(HWND combo) {
  std::vector<std::string> items;
  if (ClassOf(combo) != "ComboBox") return items;
  const auto count = SendMessage(combo, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    const auto length = SendMessage(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
    std::string item(static_cast<std::size_t>(length > 0 ? length : 0) + 1, '\0');
    SendMessage(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item.data()));
    item.pop_back();
    items.push_back(std::move(item));
  }
  return items;
}

int Selection(HWND combo) { return static_cast<int>(SendMessage(combo, CB_GETCURSEL, 0, 0)); }

HWND Control(HWND dialog, int id) { return GetDlgItem(dialog, id); }

std::vector<HWND> TopLevelWindows() { return ui::TopLevelWindows(); }

HWND FindWindowByCaption(std::string_view caption) {
  for (HWND h : TopLevelWindows())
    if (CaptionOf(h) == caption) return h;
  return nullptr;
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
  return Headless().SetMessageBoxHandler(std::move(handler));
}

std::vector<MessageBoxRecord> TakeMessageBoxes() { return Headless().TakeMessageBoxes(); }

SaveFileHandler SetSaveFileHandler(SaveFileHandler handler) { return Headless().SetSaveFileHandler(std::move(handler)); }

int PumpPending() {
  int handled = 0;
  MSG msg;
  while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
    DispatchMessage(&msg);
    ++handled;
  }
  return handled;
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  // done() may turn true without a message (a worker setting a flag): it is looked at
  // again at least every millisecond, and at once whenever something is queued here.
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (true) {
    PumpPending();
    if (done()) return true;
    const auto now = std::chrono::steady_clock::now();
    if (now >= end) return false;
    WaitForQueued(QS_ALLINPUT,
                  std::min(std::chrono::milliseconds(1), std::chrono::ceil<std::chrono::milliseconds>(end - now)));
  }
}

Clock SetClock(Clock clock) { return Headless().SetClock(std::move(clock)); }
std::uint64_t Now() { return ui::Now(); }

ScopedClock::ScopedClock(Clock clock) : previous_(SetClock(std::move(clock))) {}
ScopedClock::~ScopedClock() { SetClock(std::move(previous_)); }

std::vector<std::string> TakeUnansweredDialogs() { return Headless().TakeUnansweredDialogs(); }

}  // namespace ui::automation
