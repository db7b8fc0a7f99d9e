// The "Operation Progress" window of an effort surface run: the time since the run
// started, the run's log in its message pane, and one button, "Cancel" while the run goes
// on and "Close" once it has ended.
#pragma once

#include "ui/types.h"

namespace plenth {

class EffortSurface;

// The clock's timer.
constexpr UINT_PTR kProgressTimer = 120;
constexpr UINT kProgressPeriod = 999;  // milliseconds

// The window's procedure; its creation parameter is the command that opened it.
INT_PTR ProgressDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Takes the start of the run, in whole seconds of the window layer's clock.
void StartProgressClock();

}  // namespace plenth
