#include "tools/effortsurface/progressdlg.h"

#include <cstdint>
#include <cstdio>

#include "data/processlog.h"
#include "resources/resource.h"
#include "tools/effortsurface/effortsurface.h"
#include "tools/effortsurface/effortsurfaceworker.h"
#include "ui/clock.h"
#include "ui/window.h"

namespace plenth {
namespace {

// The window's state; one run, and so one window, at a time. Used on the window's thread
// only.
struct Progress {
  std::int64_t start = 0;  // whole seconds
  EffortSurface* command = nullptr;
  HWND clock = nullptr;
  char text[32] = "";
};

Progress& TheProgress() {
  static Progress progress;
  return progress;
}

std::int64_t Seconds() { return static_cast<std::int64_t>(ui::Now() / 1000); }

// The time since the start as hours, minutes and seconds; hours are not limited.
void Tick() {
  Progress& p = TheProgress();
  const std::int64_t e = Seconds() - p.start;
  std::snprintf(p.text, sizeof p.text, "%02i:%02i:%02i", static_cast<int>(e / 3600), static_cast<int>(e % 3600 / 60),
                static_cast<int>(e % 60));
  SetWindowText(p.clock, p.text);
}

}  // namespace

void StartProgressClock() { TheProgress().start = Seconds(); }

INT_PTR ProgressDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Progress& p = TheProgress();
  switch (message) {
    case WM_INITDIALOG:
      p.command = reinterpret_cast<EffortSurface*>(lParam);
      p.clock = GetDlgItem(window, IDC_PROGRESS_CLOCK);
      SetDlgItemText(window, IDCANCEL, "Cancel");
      return TRUE;
    case WM_TIMER:
      if (wParam == kProgressTimer) Tick();
      return FALSE;
    case WM_WORK_DONE:
      // The run has written its last line: the clock shows its duration, the log closes.
      KillTimer(window, kProgressTimer);
      SendMessage(window, WM_TIMER, kProgressTimer, 0);
      SetDlgItemText(window, IDCANCEL, "Close");
      CloseLog();
      return FALSE;
    case WM_COMMAND:
      // The button, or the close box, which the dialog manager turns into it.
      if (LOWORD(wParam) == IDCANCEL && HIWORD(wParam) == BN_CLICKED && p.command) {
        KillTimer(window, kProgressTimer);
        p.command->CloseProgress();
      }
      return FALSE;
    default: return FALSE;
  }
}

}  // namespace plenth
