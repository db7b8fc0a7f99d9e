// Which window is in front. A window that is destroyed is no longer in front; handles
// are never reused, so a stale one cannot name another window.
#include <atomic>

#include "ui/window.h"

namespace {
std::atomic<HWND> foreground{nullptr};
}  // namespace

BOOL SetForegroundWindow(HWND window) {
  if (!IsWindow(window)) return FALSE;
  foreground.store(window);
  return TRUE;
}

HWND GetForegroundWindow() {
  const HWND window = foreground.load();
  return IsWindow(window) ? window : nullptr;
}
