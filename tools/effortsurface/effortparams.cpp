#include "tools/effortsurface/effortparams.h"

#include "host/moduleglobals.h"

namespace plenth {
namespace {
Lasting<EffortParams> params;
}  // namespace

EffortParams& TheEffortParams() { return params.get(); }

void ReleaseEffortParams() {
  params.get().spatialReference.reset();
  params.get().lowerLeft.reset();
}

}  // namespace plenth
