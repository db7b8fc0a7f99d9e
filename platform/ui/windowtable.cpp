// The window table: every live window, its handle, its owner thread and what a person
// would see of it; the keyboard focus of each thread.
#include <algorithm>
#include <map>
#include <mutex>
#include <utility>

#include "ui/internal.h"
#include "ui/resources.h"
#include "ui/window.h"

namespace ui::detail {
namespace {

// No window procedure and no backend is ever called while the lock is held.
struct Table {
  std::mutex lock;
  std::map<std::uintptr_t, std::shared_ptr<Window>> windows;
  std::uintptr_t nextHandle = 0x10000;
  std::map<std::thread::id, HWND> focus;
};

Table& T() {
  static Table* table = new Table;
  return *table;
}

std::uintptr_t Key(HWND h) { return reinterpret_cast<std::uintptr_t>(h); }

}  // namespace

HWND Register(const std::shared_ptr<Window>& w) {
  Table& t = T();
  std::lock_guard guard(t.lock);
  w->handle = reinterpret_cast<HWND>(t.nextHandle);
  t.nextHandle += 4;
  w->thread = std::this_thread::get_id();
  t.windows[Key(w->handle)] = w;
  return w->handle;
}

std::shared_ptr<Window> Find(HWND h) {
  if (!h) return nullptr;
  Table& t = T();
  std::lock_guard guard(t.lock);
  const auto it = t.windows.find(Key(h));
  return it == t.windows.end() ? nullptr : it->second;
}

void Changed(const Window& w, WindowChange what) { CurrentBackend().WindowChanged(w.handle, what); }

LRESULT FrameProc(Window& w, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SETTEXT:
      w.text = lParam ? reinterpret_cast<const char*>(lParam) : "";
      Changed(w, WindowChange::kText);
      return TRUE;
    case WM_GETTEXT: return CopyText(w.text, reinterpret_cast<char*>(lParam), wParam);
    case WM_GETTEXTLENGTH: return static_cast<LRESULT>(w.text.size());
    default: return 0;
  }
}

}  // namespace ui::detail

using ui::WindowChange;
using ui::detail::Find;
using ui::detail::Window;

BOOL DestroyWindow(HWND h) {
  const auto w = Find(h);
  if (!w) return FALSE;
  if (std::exchange(w->destroying, true)) return TRUE;  // already on its way out
  auto& t = ui::detail::T();
  // Owned windows go first, as on Windows.
  std::vector<HWND> owned;
  {
    std::lock_guard guard(t.lock);
    for (const auto& [key, other] : t.windows)
      if (other->owner == h) owned.push_back(other->handle);
  }
  for (HWND o : owned) DestroyWindow(o);
  if (w->isDialog || w->cls == "Frame") SendMessage(h, WM_DESTROY, 0, 0);
  for (HWND c : w->children) DestroyWindow(c);
  ui::detail::KillTimersOf(h);
  ui::CurrentBackend().WindowDestroyed(h);
  {
    std::lock_guard guard(t.lock);
    t.windows.erase(ui::detail::Key(h));
    for (auto& [thread, focused] : t.focus)
      if (focused == h) focused = nullptr;
  }
  ui::detail::DropSentTo(h);
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
  const bool was = w->enabled;
  w->enabled = enable != FALSE;
  if (!w->enabled && GetFocus() == h) SetFocus(nullptr);
  if (was != w->enabled) ui::detail::Changed(*w, WindowChange::kEnabled);
  return was ? FALSE : TRUE;  // whether it was disabled
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
  if (was != w->visible) ui::detail::Changed(*w, WindowChange::kVisible);
  return was;
}

BOOL IsWindowVisible(HWND h) {
  const auto w = Find(h);
  if (!w || !w->visible) return FALSE;
  return w->parent ? IsWindowVisible(w->parent) : TRUE;
}

HWND SetFocus(HWND h) {
  auto& t = ui::detail::T();
  HWND previous;
  {
    std::lock_guard guard(t.lock);
    previous = t.focus[std::this_thread::get_id()];
  }
  if (previous == h) return previous;
  if (h && !IsWindow(h)) return nullptr;
  {
    std::lock_guard guard(t.lock);
    t.focus[std::this_thread::get_id()] = h;
  }
  if (const auto before = Find(previous)) {
    ui::detail::Changed(*before, WindowChange::kFocus);
    SendMessage(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(h), 0);
  }
  if (const auto now = Find(h)) {
    ui::detail::Changed(*now, WindowChange::kFocus);
    SendMessage(h, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
  }
  return previous;
}

HWND GetFocus() {
  auto& t = ui::detail::T();
  std::lock_guard guard(t.lock);
  const HWND h = t.focus[std::this_thread::get_id()];
  return t.windows.count(ui::detail::Key(h)) ? h : nullptr;
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

void InitCommonControls() {}

namespace ui {

HWND CreateFrameWindow(const char* caption) {
  auto w = std::make_shared<Window>();
  w->cls = "Frame";
  w->text = caption ? caption : "";
  w->style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
  w->visible = true;
  const HWND h = detail::Register(w);
  CurrentBackend().WindowCreated(h);
  return h;
}

int LiveDialogCount(HINSTANCE module) {
  auto& t = detail::T();
  std::lock_guard guard(t.lock);
  return static_cast<int>(std::count_if(t.windows.begin(), t.windows.end(), [module](const auto& kv) {
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

std::string TextOf(HWND h) {
  const int n = GetWindowTextLength(h);
  std::string s(static_cast<std::size_t>(n > 0 ? n : 0) + 1, '\0');
  s.resize(static_cast<std::size_t>(GetWindowText(h, s.data(), static_cast<int>(s.size()))));
  return s;
}

std::string CaptionOf(HWND h) {
  const auto w = Find(h);
  return w ? w->text : std::string();
}

std::vector<HWND> ChildrenOf(HWND dialog) {
  const auto w = Find(dialog);
  return w ? w->children : std::vector<HWND>{};
}

std::vector<HWND> TopLevelWindows() {
  auto& t = detail::T();
  std::lock_guard guard(t.lock);
  std::vector<HWND> out;
  for (const auto& [key, w] : t.windows)
    if (!w->parent) out.push_back(w->handle);
  return out;
}

const DialogTemplate* TemplateOf(HWND dialog) {
  const auto w = Find(dialog);
  if (!w || !w->isDialog) return nullptr;
  const ResourceScript* script = ScriptOf(w->module);
  if (!script) return nullptr;
  const auto found = script->dialogs.find(w->templateId);
  return found == script->dialogs.end() ? nullptr : &found->second;
}

}  // namespace ui
