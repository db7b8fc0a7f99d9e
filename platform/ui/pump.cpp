// The message pump: each thread's queue of posted messages and of messages other threads
// sent it, and the calls that hand them to window procedures. A thread that sends to
// another thread's window waits until that thread has handled the message, handling the
// messages sent to itself meanwhile, so two threads sending to each other never stall.
#include <algorithm>
#include <deque>
#include <map>
#include <mutex>

#include "ui/clock.h"
#include "ui/internal.h"
#include "ui/window.h"

namespace ui::detail {
namespace {

struct Sent {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  std::thread::id sender;
  LRESULT result = 0;
  bool done = false;
};

struct Queue {
  std::deque<MSG> posted;
  std::deque<std::shared_ptr<Sent>> sent;
};

// The lock guards the queues and every Sent record; no window procedure and no backend
// is called while it is held.
struct Queues {
  std::mutex lock;
  std::map<std::thread::id, Queue> byThread;
};

Queues& Q() {
  static Queues* queues = new Queues;
  return *queues;
}

void Finish(Sent& item, LRESULT result) {
  {
    std::lock_guard guard(Q().lock);
    item.result = result;
    item.done = true;
  }
  CurrentBackend().Wake(item.sender);
}

// Handles the messages other threads sent to this one; true when there were any.
bool ServeSent() {
  bool any = false;
  while (true) {
    std::shared_ptr<Sent> item;
    {
      std::lock_guard guard(Q().lock);
      auto& q = Q().byThread[std::this_thread::get_id()].sent;
      if (q.empty()) break;
      item = q.front();
      q.pop_front();
    }
    Finish(*item, Deliver(item->window, item->message, item->wParam, item->lParam));
    any = true;
  }
  return any;
}

bool Matches(const MSG& m, HWND filter) { return !filter || m.hwnd == filter; }

bool TakePosted(MSG* out, HWND filter, bool remove) {
  std::lock_guard guard(Q().lock);
  auto& q = Q().byThread[std::this_thread::get_id()].posted;
  for (auto it = q.begin(); it != q.end(); ++it) {
    if (!Matches(*it, filter)) continue;
    *out = *it;
    if (remove) q.erase(it);
    return true;
  }
  return false;
}

// The next posted message, else the next due timer, of this thread.
bool TakeMessage(MSG* out, HWND filter, bool remove) {
  return TakePosted(out, filter, remove) || TakeDueTimer(out, filter, remove);
}

// What is queued for this thread, as QS_* bits.
UINT QueueStatus() {
  UINT status = 0;
  {
    std::lock_guard guard(Q().lock);
    const auto& q = Q().byThread[std::this_thread::get_id()];
    if (!q.posted.empty()) status |= QS_POSTMESSAGE;
    if (!q.sent.empty()) status |= QS_SENDMESSAGE;
  }
  MSG timer;
  if (TakeDueTimer(&timer, nullptr, false)) status |= QS_TIMER;
  return status;
}

// How long this thread may sleep before its next timer falls due (no bound without one),
// and no longer than `atMost`.
std::optional<std::chrono::milliseconds> WaitBound(std::optional<std::chrono::milliseconds> atMost = std::nullopt) {
  std::optional<std::chrono::milliseconds> bound = atMost;
  if (const auto due = ui::NextTimerDue()) {
    const std::uint64_t now = Now();
    const std::chrono::milliseconds untilDue(*due > now ? *due - now : 0);
    bound = bound ? std::min(*bound, untilDue) : untilDue;
  }
  return bound;
}

using Deadline = std::chrono::steady_clock::time_point;

// What is left of a timeout, or nothing once it has passed.
std::optional<std::chrono::milliseconds> Left(Deadline end) {
  const auto now = std::chrono::steady_clock::now();
  if (now >= end) return std::nullopt;
  return std::chrono::ceil<std::chrono::milliseconds>(end - now);
}

}  // namespace

namespace {

// The window's own procedure, below any subclass procedures.
LRESULT DeliverToOwn(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
  const auto w = Find(h);
  if (!w) return 0;
  if (w->isDialog) {
    const INT_PTR handled = w->proc ? w->proc(h, message, wParam, lParam) : FALSE;
    if (message == WM_INITDIALOG) return handled;
    if (handled) return handled;
    return Find(h) ? DefDialogProc(*w, message, wParam, lParam) : 0;
  }
  if (w->cls == "Frame") return FrameProc(*w, message, wParam, lParam);
  return ControlProc(*w, message, wParam, lParam);
}

// The subclass procedures running on this thread: the window and how many of its
// procedures lie below the one running.
thread_local std::vector<std::pair<HWND, std::size_t>> subclassCalls;

// Calls the procedure `below` counts from the bottom of the window's chain (0: its own).
LRESULT CallFrom(HWND h, std::size_t below, UINT message, WPARAM wParam, LPARAM lParam) {
  const auto w = Find(h);
  if (!w || below == 0 || below > w->subclasses.size()) return DeliverToOwn(h, message, wParam, lParam);
  const Window::Subclass s = w->subclasses[below - 1];
  subclassCalls.emplace_back(h, below - 1);
  struct Pop {
    ~Pop() { subclassCalls.pop_back(); }
  } pop;
  return s.proc(h, message, wParam, lParam, s.id, s.refData);
}

}  // namespace

LRESULT Deliver(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
  const auto w = Find(h);
  if (!w) return 0;
  return CallFrom(h, w->subclasses.size(), message, wParam, lParam);
}

void DropSentTo(HWND h) {
  std::vector<std::shared_ptr<Sent>> dropped;
  {
    std::lock_guard guard(Q().lock);
    for (auto& [thread, q] : Q().byThread)
      std::erase_if(q.sent, [&](const std::shared_ptr<Sent>& item) {
        if (item->window != h) return false;
        dropped.push_back(item);
        return true;
      });
  }
  for (const auto& item : dropped) Finish(*item, 0);
}

}  // namespace ui::detail

LRESULT SendMessage(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
  using namespace ui::detail;
  const auto w = Find(h);
  if (!w) return 0;
  if (w->thread == std::this_thread::get_id()) return Deliver(h, message, wParam, lParam);
  auto item = std::make_shared<Sent>(Sent{h, message, wParam, lParam, std::this_thread::get_id()});
  {
    std::lock_guard guard(Q().lock);
    Q().byThread[w->thread].sent.push_back(item);
  }
  ui::CurrentBackend().Wake(w->thread);
  if (!IsWindow(h)) {
    // The window went while the call was queued: take it back unless its thread has
    // already started on it.
    std::lock_guard guard(Q().lock);
    auto& q = Q().byThread[w->thread].sent;
    if (const auto it = std::find(q.begin(), q.end(), item); it != q.end()) {
      q.erase(it);
      return 0;
    }
  }
  while (true) {
    ServeSent();
    {
      std::lock_guard guard(Q().lock);
      if (item->done) return item->result;
    }
    ui::CurrentBackend().Wait(std::nullopt);
  }
}

LRESULT SendDlgItemMessage(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
  return SendMessage(GetDlgItem(dialog, id), message, wParam, lParam);
}

BOOL PostMessage(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
  using namespace ui::detail;
  const auto w = Find(h);
  if (!w) return FALSE;
  {
    std::lock_guard guard(Q().lock);
    Q().byThread[w->thread].posted.push_back(MSG{h, message, wParam, lParam});
  }
  ui::CurrentBackend().Wake(w->thread);
  return TRUE;
}

BOOL PeekMessage(MSG* msg, HWND window, UINT, UINT, UINT remove) {
  if (!msg) return FALSE;
  ui::detail::ServeSent();
  return ui::detail::TakeMessage(msg, window, remove == PM_REMOVE) ? TRUE : FALSE;
}

BOOL GetMessage(MSG* msg, HWND window, UINT, UINT) {
  if (!msg) return FALSE;
  while (true) {
    ui::detail::ServeSent();
    if (ui::detail::TakeMessage(msg, window, true)) return TRUE;
    ui::CurrentBackend().Wait(ui::detail::WaitBound());
  }
}

BOOL WaitMessage() {
  while (true) {
    ui::detail::ServeSent();
    if (ui::detail::QueueStatus() & (QS_POSTMESSAGE | QS_TIMER)) return TRUE;
    ui::CurrentBackend().Wait(ui::detail::WaitBound());
  }
}

BOOL TranslateMessage(const MSG*) { return FALSE; }

LRESULT DispatchMessage(const MSG* msg) {
  if (!msg) return 0;
  if (msg->message == WM_TIMER && msg->lParam) {
    reinterpret_cast<TIMERPROC>(msg->lParam)(msg->hwnd, WM_TIMER, msg->wParam, static_cast<DWORD>(ui::Now()));
    return 0;
  }
  return ui::detail::Deliver(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL SetWindowSubclass(HWND h, SUBCLASSPROC proc, UINT_PTR id, DWORD_PTR refData) {
  const auto w = ui::detail::Find(h);
  if (!w || !proc) return FALSE;
  for (auto& s : w->subclasses)
    if (s.proc == proc && s.id == id) {
      s.refData = refData;
      return TRUE;
    }
  w->subclasses.push_back({proc, id, refData});
  return TRUE;
}

BOOL RemoveWindowSubclass(HWND h, SUBCLASSPROC proc, UINT_PTR id) {
  const auto w = ui::detail::Find(h);
  if (!w) return FALSE;
  const auto before = w->subclasses.size();
  std::erase_if(w->subclasses, [&](const auto& s) { return s.proc == proc && s.id == id; });
  return w->subclasses.size() < before ? TRUE : FALSE;
}

LRESULT DefSubclassProc(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
  using namespace ui::detail;
  for (auto it = subclassCalls.rbegin(); it != subclassCalls.rend(); ++it)
    if (it->first == h) return CallFrom(h, it->second, message, wParam, lParam);
  return DeliverToOwn(h, message, wParam, lParam);
}

namespace ui {

bool WaitServingSent(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  // done() may turn true without any message (a worker ending): it is looked at again
  // at least every millisecond, and at once whenever a message is sent here.
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (true) {
    detail::ServeSent();
    if (done()) return true;
    const auto left = detail::Left(end);
    if (!left) return false;
    CurrentBackend().Wait(std::min(*left, std::chrono::milliseconds(1)));
  }
}

bool WaitForQueued(UINT kinds, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (true) {
    if (detail::QueueStatus() & kinds) return true;
    const auto left = detail::Left(end);
    if (!left) return false;
    CurrentBackend().Wait(kinds & QS_TIMER ? detail::WaitBound(left) : left);
  }
}

}  // namespace ui
