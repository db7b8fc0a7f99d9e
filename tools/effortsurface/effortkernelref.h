// The effort cost kernel written plainly, move by move, as the rules read: the oracle the
// fast kernel is checked against bit for bit.
#pragma once

#include "tools/effortsurface/effortkernel.h"

namespace plenth {

bool EffortKernelReference(int pixelType, const EffortInputs& in, const EffortOutputs& out, ProgressMark mark,
                           void* context);

}  // namespace plenth
