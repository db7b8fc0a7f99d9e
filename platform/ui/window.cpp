#include "ui/window.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <utility>
#include <deque>
#include <map>
#include <mutex>

#include "ui/automation.h"
#include "ui/internal.h"
#include "ui/resources.h"

namespace ui::detail {
namespace {

struct Sent {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  LRESULT result = 0;
  bool done = false;
};

struct Queue {
  std::deque<MSG> posted;
  std::deque<std::shared_ptr<Sent>> sent;
};

struct Timer {
  HWND window;
  UINT_PTR id;
  UINT period;
  std::uint64_t due;
  TIMERPROC proc;
  std::thread::id thread;
};

// One lock guards the window table, the queues and the timers; no window procedure is
// ever called while it is held.
struct State {
  std::mutex lock;
  std::condition_variable changed;
  std::map<std::uintptr_t, std::shared_ptr<Window>> windows;
  std::map<std::thread::id, Queue> queues;
  std::vector<Timer> timers;
  std::uintptr_t nextHandle = 0x10000;
  std::map<std::thread::id, HWND> focus;
};

State& S() {
  static State* state = new State;
  return *state;
}

std::uintptr_t Key(HWND h) { return reinterpret_cast<std::uintptr_t>(h); }

HWND Register(const std::shared_ptr<Window>& w) {
  State& s = S();
  std::lock_guard guard(s.lock);
  w->handle = reinterpret_cast<HWND>(s.nextHandle);
  s.nextHandle += 4;
  w->thread = std::this_thread::get_id();
  s.windows[Key(w->handle)] = w;
  return w->handle;
}

LRESULT DefDialogProc(Window& w, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:  // the close box acts as Cancel
      return SendMessage(w.handle, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(w.handle, IDCANCEL)));
    case WM_SETTEXT:
      w.text = lParam ? reinterpret_cast<const char*>(lParam) : "";
      return TRUE;
    case WM_GETTEXT: return CopyText(w.text, reinterpret_cast<char*>(lParam), wParam);
    case WM_GETTEXTLENGTH: return static_cast<LRESULT>(w.text.size());
    default: return 0;
  }
}

LRESULT Deliver(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
  const auto w = Find(h);
  if (!w) return 0;
  if (w->isDialog) {
    const INT_PTR handled = w->proc ? w->proc(h, message, wParam, lParam) : FALSE;
    if (message == WM_INITDIALOG) return handled;
    if (handled) return handled;
    return Find(h) ? DefDialogProc(*w, message, wParam, lParam) : 0;
  }
  if (w->cls == "Frame") {
    if (message == WM_SETTEXT) w->text = lParam ? reinterpret_cast<const char*>(lParam) : "";
    if (message == WM_GETTEXT) return CopyText(w->text, reinterpret_cast<char*>(lParam), wParam);
    if (message == WM_GETTEXTLENGTH) return static_cast<LRESULT>(w->text.size());
    return 0;
  }
  return ControlProc(*w, message, wParam, lParam);
}

// Handles the messages other threads sent to this one. Called without the lock.
bool ServeSent() {
  State& s = S();
  bool any = false;
  while (true) {
    std::shared_ptr<Sent> item;
    {
      std::lock_guard guard(s.lock);
      auto& q = s.queues[std::this_thread::get_id()].sent;
      if (q.empty()) break;
      item = q.front();
      q.pop_front();
    }
    const LRESULT r = Deliver(item->window, item->message, item->wParam, item->lParam);
    {
      std::lock_guard guard(s.lock);
      item->result = r;
      item->done = true;
    }
    s.changed.notify_all();
    any = true;
  }
  return any;
}

bool Matches(const MSG& m, HWND filter) { return !filter || m.hwnd == filter; }

// Takes the next posted message or due timer of this thread.
bool TakeMessage(MSG* out, HWND filter, bool remove) {
  State& s = S();
  std::lock_guard guard(s.lock);
  auto& q = s.queues[std::this_thread::get_id()].posted;
  for (auto it = q.begin(); it != q.end(); ++it) {
    if (!Matches(*it, filter)) continue;
    *out = *it;
    if (remove) q.erase(it);
    return true;
  }
  const std::uint64_t now = automation::Now();
  for (Timer& t : s.timers) {
    if (t.thread != std::this_thread::get_id() || t.due > now || (filter && t.window != filter)) continue;
    *out = MSG{t.window, WM_TIMER, t.id, reinterpret_cast<LPARAM>(t.proc)};
    if (remove) t.due = now + t.period;
    return true;
  }
  return false;
}

}  // namespace

std::shared_ptr<Window> Find(HWND h) {
  if (!h) return nullptr;
  State& s = S();
  std::lock_guard guard(s.lock);
  const auto it = s.windows.find(Key(h));
  return it == s.windows.end() ? nullptr : it->second;
}

void Notify(const Window& control, WORD code) {
  if (control.parent)
    SendMessage(control.parent, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(control.id), code),
                reinterpret_cast<LPARAM>(control.handle));
}

int CopyText(const std::string& text, char* buffer, std::size_t size) {
  if (!buffer || size == 0) return 0;
  std::size_t n = std::min(text.size(), size - 1);
  while (n > 0 && n < text.size() && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  std::memcpy(buffer, text.data(), n);
  buffer[n] = 0;
  return static_cast<int>(n);
}

}  // namespace ui::detail

using ui::detail::Find;
using ui::detail::Window;

namespace {

HWND CreateDialogWindow(HINSTANCE module, int templateId, HWND owner, DLGPROC proc, LPARAM param, bool modal) {
  const ui::ResourceScript* script = ui::ScriptOf(module);
  if (!script) return nullptr;
  const auto found = script->dialogs.find(templateId);
  if (found == script->dialogs.end()) return nullptr;
  const ui::DialogTemplate& t = found->second;

  auto dialog = std::make_shared<Window>();
  dialog->module = module;
  dialog->cls = "#32770";
  dialog->text = t.caption;
  dialog->style = t.style;
  dialog->exStyle = t.exStyle;
  dialog->x = t.x, dialog->y = t.y, dialog->cx = t.cx, dialog->cy = t.cy;
  dialog->owner = IsWindow(owner) ? owner : nullptr;
  dialog->isDialog = true;
  dialog->modal = modal;
  dialog->proc = proc;
  dialog->templateId = templateId;
  const HWND h = ui::detail::Register(dialog);
  HWND firstTab = nullptr;
  for (const ui::ControlTemplate& c : t.controls) {
    auto child = std::make_shared<Window>();
    child->module = module;
    child->cls = c.cls;
    child->text = c.text;
    child->id = c.id;
    child->style = c.style;
    child->exStyle = c.exStyle;
    child->x = c.x, child->y = c.y, child->cx = c.cx, child->cy = c.cy;
    child->parent = h;
    child->enabled = !(c.style & WS_DISABLED);
    child->visible = (c.style & WS_VISIBLE) != 0;
    const HWND ch = ui::detail::Register(child);
    dialog->children.push_back(ch);
    if (!firstTab && (c.style & WS_TABSTOP) && child->enabled && child->visible) firstTab = ch;
  }
  LRESULT focusDefault = FALSE;
  try {
    focusDefault = SendMessage(h, WM_INITDIALOG, reinterpret_cast<WPARAM>(firstTab), param);
  } catch (...) {
    DestroyWindow(h);  // an error raised while the dialog opens leaves no half-made window
    throw;
  }
  if (!IsWindow(h)) return nullptr;  // the dialog procedure destroyed its own window
  if (focusDefault && firstTab && IsWindow(firstTab)) SetFocus(firstTab);
  if ((t.style & WS_VISIBLE) || modal) dialog->visible = true;
  return h;
}

}  // namespace

HWND CreateDialogParam(HINSTANCE module, int templateId, HWND owner, DLGPROC proc, LPARAM param) {
  return CreateDialogWindow(module, templateId, owner, proc, param, false);
}

INT_PTR DialogBoxParam(HINSTANCE module, int templateId, HWND owner, DLGPROC proc, LPARAM param) {
  const HWND h = CreateDialogWindow(module, templateId, owner, proc, param, true);
  if (!h) return -1;
  const bool ownerWasEnabled = owner && IsWindowEnabled(owner);
  if (ownerWasEnabled) EnableWindow(owner, FALSE);
  // An error raised by the dialog procedure ends the dialog and gives the owner back.
  struct Cleanup {
    HWND dialog, owner;
    bool enable;
    ~Cleanup() {
      DestroyWindow(dialog);
      if (enable) EnableWindow(owner, TRUE);
    }
  } cleanup{h, owner, ownerWasEnabled};
  int unanswered = 0;
  while (true) {
    const auto w = Find(h);
    if (!w || w->ended) break;
    MSG msg;
    if (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
      DispatchMessage(&msg);
      continue;
    }
    if (ui::detail::ActAsUser(h)) continue;
    // Nobody is at the screen: the person closes the dialog; a dialog that will not
    // close is ended as cancelled.
    if (unanswered++ == 0) {
      ui::detail::RecordUnanswered("dialog \"" + w->text + "\" (" + std::to_string(w->templateId) + ")");
      SendMessage(h, WM_CLOSE, 0, 0);
    } else {
      EndDialog(h, IDCANCEL);
    }
  }
  INT_PTR result = IDCANCEL;
  if (const auto w = Find(h)) result = w->result;
  return result;
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
  const auto w = Find(dialog);
  if (!w || !w->isDialog) return FALSE;
  w->ended = true;
  w->result = result;
  if (!w->modal) w->visible = false;  // a modeless dialog is only hidden
  return TRUE;
}

BOOL DestroyWindow(HWND h) {
  auto w = Find(h);
  if (!w) return FALSE;
  auto& s = ui::detail::S();
  // Owned windows go first, as on Windows.
  std::vector<HWND> owned;
  {
    std::lock_guard guard(s.lock);
    for (const auto& [key, other] : s.windows)
      if (other->owner == h) owned.push_back(other->handle);
  }
  for (HWND o : owned) DestroyWindow(o);
  if (w->isDialog || w->cls == "Frame") SendMessage(h, WM_DESTROY, 0, 0);
  for (HWND c : w->children) DestroyWindow(c);
  std::lock_guard guard(s.lock);
  s.windows.erase(ui::detail::Key(h));
  std::erase_if(s.timers, [h](const auto& t) { return t.window == h; });
  for (auto& [thread, focused] : s.focus)
    if (focused == h) focused = nullptr;
  return TRUE;
}

BOOL IsWindow(HWND h) { return Find(h) != nullptr; }

HWND GetDlgItem(HWND dialog, int id) {
  const auto w = Find(dialog);
  if (!w) return nullptr;
  for (HWND c : w->children)
    if (const auto cw = Find(c); cw && cw->id == id) return c;
  return nullptr;
}

int GetDlgCtrlID(HWND control) {
  const auto w = Find(control);
  return w ? w->id : 0;
}

HWND GetParent(HWND h) {
  const auto w = Find(h);
  if (!w) return nullptr;
  return w->parent ? w->parent : w->owner;
}

BOOL SetWindowText(HWND h, const char* text) {
  if (!IsWindow(h)) return FALSE;
  SendMessage(h, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : ""));
  return TRUE;
}

int GetWindowText(HWND h, char* buffer, int size) {
  if (!buffer || size <= 0) return 0;
  buffer[0] = 0;
  if (!IsWindow(h)) return 0;
  return static_cast<int>(SendMessage(h, WM_GETTEXT, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(buffer)));
}

int GetWindowTextLength(HWND h) { return static_cast<int>(SendMessage(h, WM_GETTEXTLENGTH, 0, 0)); }

BOOL SetDlgItemText(HWND dialog, int id, const char* text) { return SetWindowText(GetDlgItem(dialog, id), text); }

UINT GetDlgItemText(HWND dialog, int id, char* buffer, int size) {
  return static_cast<UINT>(GetWindowText(GetDlgItem(dialog, id), buffer, size));
}

BOOL EnableWindow(HWND h, BOOL enable) {
  const auto w = Find(h);
  if (!w) return FALSE;
  const BOOL wasDisabled = !w->enabled;
  w->enabled = enable != FALSE;
  if (!w->enabled && GetFocus() == h) SetFocus(nullptr);
  return wasDisabled;
}

BOOL IsWindowEnabled(HWND h) {
  const auto w = Find(h);
  return w && w->enabled ? TRUE : FALSE;
}

BOOL ShowWindow(HWND h, int command) {
  const auto w = Find(h);
  if (!w) return FALSE;
  const BOOL was = w->visible;
  w->visible = command != SW_HIDE;
  return was;
}

BOOL IsWindowVisible(HWND h) {
  const auto w = Find(h);
  if (!w || !w->visible) return FALSE;
  return w->parent ? IsWindowVisible(w->parent) : TRUE;
}

HWND SetFocus(HWND h) {
  auto& s = ui::detail::S();
  HWND previous;
  {
    std::lock_guard guard(s.lock);
    previous = s.focus[std::this_thread::get_id()];
  }
  if (previous == h) return previous;
  if (h && !IsWindow(h)) return nullptr;
  {
    std::lock_guard guard(s.lock);
    s.focus[std::this_thread::get_id()] = h;
  }
  if (IsWindow(previous)) SendMessage(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(h), 0);
  if (h) SendMessage(h, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
  return previous;
}

HWND GetFocus() {
  auto& s = ui::detail::S();
  std::lock_guard guard(s.lock);
  const HWND h = s.focus[std::this_thread::get_id()];
  return s.windows.count(ui::detail::Key(h)) ? h : nullptr;
}

LONG_PTR SetWindowLongPtr(HWND h, int index, LONG_PTR value) {
  const auto w = Find(h);
  if (!w || index != static_cast<int>(DWLP_USER)) return 0;
  return std::exchange(w->user, value);
}

LONG_PTR GetWindowLongPtr(HWND h, int index) {
  const auto w = Find(h);
  return w && index == static_cast<int>(DWLP_USER) ? w->user : 0;
}

BOOL CheckDlgButton(HWND dialog, int id, UINT check) {
  const HWND b = GetDlgItem(dialog, id);
  if (!b) return FALSE;
  SendMessage(b, BM_SETCHECK, check, 0);
  return TRUE;
}

UINT IsDlgButtonChecked(HWND dialog, int id) {
  return static_cast<UINT>(SendMessage(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0));
}

LRESULT SendMessage(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
  const auto w = Find(h);
  if (!w) return 0;
  if (w->thread == std::this_thread::get_id()) return ui::detail::Deliver(h, message, wParam, lParam);
  // Another thread's window: queue the call for that thread and wait until it has been
  // handled, serving calls sent to this thread meanwhile.
  auto& s = ui::detail::S();
  auto item = std::make_shared<ui::detail::Sent>(ui::detail::Sent{h, message, wParam, lParam});
  {
    std::lock_guard guard(s.lock);
    s.queues[w->thread].sent.push_back(item);
  }
  s.changed.notify_all();
  while (true) {
    ui::detail::ServeSent();
    std::unique_lock guard(s.lock);
    if (item->done) return item->result;
    if (!s.windows.count(ui::detail::Key(h))) {
      // The window went away before its thread handled the call.
      auto& q = s.queues[w->thread].sent;
      std::erase(q, item);
      return 0;
    }
    if (!s.queues[std::this_thread::get_id()].sent.empty()) continue;
    s.changed.wait_for(guard, std::chrono::milliseconds(50));
  }
}

LRESULT SendDlgItemMessage(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
  return SendMessage(GetDlgItem(dialog, id), message, wParam, lParam);
}

BOOL PostMessage(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
  const auto w = Find(h);
  if (!w) return FALSE;
  auto& s = ui::detail::S();
  {
    std::lock_guard guard(s.lock);
    s.queues[w->thread].posted.push_back(MSG{h, message, wParam, lParam});
  }
  s.changed.notify_all();
  return TRUE;
}

BOOL PeekMessage(MSG* msg, HWND window, UINT, UINT, UINT remove) {
  if (!msg) return FALSE;
  ui::detail::ServeSent();
  return ui::detail::TakeMessage(msg, window, remove == PM_REMOVE) ? TRUE : FALSE;
}

BOOL GetMessage(MSG* msg, HWND window, UINT, UINT) {
  if (!msg) return FALSE;
  auto& s = ui::detail::S();
  while (true) {
    ui::detail::ServeSent();
    if (ui::detail::TakeMessage(msg, window, true)) return TRUE;
    std::unique_lock guard(s.lock);
    auto& q = s.queues[std::this_thread::get_id()];
    if (!q.sent.empty() || !q.posted.empty()) continue;
    s.changed.wait_for(guard, std::chrono::milliseconds(20));
  }
}

BOOL TranslateMessage(const MSG*) { return FALSE; }

LRESULT DispatchMessage(const MSG* msg) {
  if (!msg) return 0;
  if (msg->message == WM_TIMER && msg->lParam) {
    reinterpret_cast<TIMERPROC>(msg->lParam)(msg->hwnd, WM_TIMER, msg->wParam,
                                             static_cast<DWORD>(ui::automation::Now()));
    return 0;
  }
  return ui::detail::Deliver(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

UINT_PTR SetTimer(HWND h, UINT_PTR id, UINT milliseconds, TIMERPROC proc) {
  const auto w = Find(h);
  if (!w) return 0;
  auto& s = ui::detail::S();
  std::lock_guard guard(s.lock);
  std::erase_if(s.timers, [&](const auto& t) { return t.window == h && t.id == id; });
  const UINT period = std::max<UINT>(milliseconds, 10);
  s.timers.push_back({h, id, period, ui::automation::Now() + period, proc, w->thread});
  return id;
}

BOOL KillTimer(HWND h, UINT_PTR id) {
  auto& s = ui::detail::S();
  std::lock_guard guard(s.lock);
  return std::erase_if(s.timers, [&](const auto& t) { return t.window == h && t.id == id; }) ? TRUE : FALSE;
}

void InitCommonControls() {}

namespace ui {

HWND CreateFrameWindow(const char* caption) {
  auto w = std::make_shared<Window>();
  w->cls = "Frame";
  w->text = caption ? caption : "";
  w->style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
  w->visible = true;
  return detail::Register(w);
}

int LiveDialogCount(HINSTANCE module) {
  auto& s = detail::S();
  std::lock_guard guard(s.lock);
  return static_cast<int>(std::count_if(s.windows.begin(), s.windows.end(), [module](const auto& kv) {
    return kv.second->isDialog && kv.second->module == module;
  }));
}

std::string ClassOf(HWND h) {
  const auto w = Find(h);
  return w ? w->cls : std::string();
}

DWORD StyleOf(HWND h) {
  const auto w = Find(h);
  return w ? w->style : 0;
}

}  // namespace ui

namespace ui::automation {

std::vector<HWND> TopLevelWindows() {
  auto& s = detail::S();
  std::lock_guard guard(s.lock);
  std::vector<HWND> out;
  for (const auto& [key, w] : s.windows)
    if (!w->parent) out.push_back(w->handle);
  return out;
}

HWND FindWindowByCaption(std::string_view caption) {
  for (HWND h : TopLevelWindows())
    if (const auto w = detail::Find(h); w && w->text == caption) return h;
  return nullptr;
}

}  // namespace ui::automation
