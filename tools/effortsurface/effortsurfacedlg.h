// The "Effort Surface Calculator" dialog: the DEM, trails, roads, streams and ground-cover
// layers, the Z factor and the output surface, left in EffortParams.
#pragma once

#include "ui/types.h"

namespace plenth {

// Runs the dialog modally; IDOK when the person confirmed.
INT_PTR RunEffortSurfaceDlg();

}  // namespace plenth
