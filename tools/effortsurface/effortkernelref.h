// The effort cost kernel written plainly, move by move, as the rules read: one thread, no
// shortcuts. The fast kernel is checked against it bit for bit.
#pragma once

#include "tools/effortsurface/effortkernel.h"

namespace plenth {

// As EffortKernel by PixelType code, always on the caller's thread (run.threads is ignored).
bool EffortKernelReference(int pixelType, const void* dem, double demNoData, const EffortGrids& grids,
                           const EffortOutputs& out, const EffortRun& run = {});

}  // namespace plenth
