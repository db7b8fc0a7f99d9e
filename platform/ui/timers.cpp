// Window timers on the window layer's clock. A timer falls due one period after it was
// set or last taken; the pump hands a due timer out as one WM_TIMER however late it is.
#include <algorithm>
#include <mutex>
#include <vector>

#include "ui/clock.h"
#include "ui/internal.h"
#include "ui/window.h"

namespace ui::detail {
namespace {

struct Timer {
  HWND window;
  UINT_PTR id;
  UINT period;
  std::uint64_t due;
  TIMERPROC proc;
  std::thread::id thread;  // the window's
};

// The clock is read before the lock is taken: a test's clock may do anything.
struct Timers {
  std::mutex lock;
  std::vector<Timer> list;
};

Timers& TheTimers() {
  static Timers* timers = new Timers;
  return *timers;
}

}  // namespace

bool TakeDueTimer(MSG* out, HWND filter, bool remove) {
  const std::uint64_t now = Now();
  Timers& t = TheTimers();
  std::lock_guard guard(t.lock);
  for (Timer& timer : t.list) {
    if (timer.thread != std::this_thread::get_id() || timer.due > now || (filter && timer.window != filter)) continue;
    *out = MSG{timer.window, WM_TIMER, timer.id, reinterpret_cast<LPARAM>(timer.proc)};
    if (remove) timer.due = now + timer.period;
    return true;
  }
  return false;
}

void KillTimersOf(HWND window) {
  Timers& t = TheTimers();
  std::lock_guard guard(t.lock);
  std::erase_if(t.list, [window](const Timer& timer) { return timer.window == window; });
}

}  // namespace ui::detail

UINT_PTR SetTimer(HWND h, UINT_PTR id, UINT milliseconds, TIMERPROC proc) {
  const auto w = ui::detail::Find(h);
  if (!w) return 0;
  const UINT period = std::max<UINT>(milliseconds, 10);
  const std::uint64_t now = ui::Now();
  {
    auto& t = ui::detail::TheTimers();
    std::lock_guard guard(t.lock);
    std::erase_if(t.list, [&](const auto& timer) { return timer.window == h && timer.id == id; });
    t.list.push_back({h, id, period, now + period, proc, w->thread});
  }
  ui::CurrentBackend().Wake(w->thread);  // a thread asleep in its pump wakes up in time for it
  return id;
}

std::optional<std::uint64_t> ui::NextTimerDue() {
  auto& t = ui::detail::TheTimers();
  std::lock_guard guard(t.lock);
  std::optional<std::uint64_t> next;
  for (const auto& timer : t.list)
    if (timer.thread == std::this_thread::get_id() && (!next || timer.due < *next)) next = timer.due;
  return next;
}

BOOL KillTimer(HWND h, UINT_PTR id) {
  auto& t = ui::detail::TheTimers();
  std::lock_guard guard(t.lock);
  return std::erase_if(t.list, [&](const auto& timer) { return timer.window == h && timer.id == id; }) ? TRUE : FALSE;
}
