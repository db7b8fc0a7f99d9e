#include "module/classtable.h"

#include "host/drptgt.h"
#include "host/plenthext.h"
#include "host/plenthtoolbar.h"
#include "tools/effortsurface/effortsurface.h"
#include "tools/exportgrid/exportgrid.h"
#include "tools/gridspot/gridspot.h"
#include "tools/importgrid/importgrid.h"
#include "tools/lineorientation/lineorientation.h"
#include "tools/pointgrid/createpointgridtool.h"
#include "tools/polyclip/polyclip.h"

namespace plenth {
namespace {

const ClassInfo* const kClasses[] = {
    &PlenthExt::kClass,  &PlenthToolbar::kClass, &CreatePointGridTool::kClass, &DrpTgt::kClass,
    &PolyClip::kClass,   &GridSpot::kClass,      &EffortSurface::kClass,       &ExportGrid::kClass,
    &ImportGrid::kClass, &LineOrientation::kClass,
};

}  // namespace

std::span<const ClassInfo* const> ClassTable() { return kClasses; }

}  // namespace plenth
