// How the simulated host draws a map, simply: rasters in grey from their lowest to their
// highest value (no-data left clear), points as dots, lines and polygon outlines in one
// colour per kind, the graphic elements, and the selected ones outlined again.
#pragma once

#include <optional>
#include <vector>

#include "com/ptr.h"
#include "hostapi/view.h"

namespace hostapp {

struct MapExtent {
  double xMin, yMin, xMax, yMax;
};

// The extent of the layers' data (group layers' members included), or none.
std::optional<MapExtent> ExtentOfLayers(const std::vector<com::ComPtr<Layer>>& layers);

// Draws what belongs to one phase of drawing a view: the background (white), the layers
// (geography, the last layer of the list first so that the first lies on top), the
// graphic elements and the selection.
void DrawPhase(LONG phase, Display* display, const std::vector<com::ComPtr<Layer>>& layers,
               const std::vector<com::ComPtr<GraphicElement>>& elements,
               const std::vector<com::ComPtr<GraphicElement>>& selected);

}  // namespace hostapp
