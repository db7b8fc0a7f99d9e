#include "tools/gridspot/gridspot.h"

#include "host/basicdialog.h"
#include "hostapi/categories.h"
#include "resources/resource.h"
#include "ui/window.h"

namespace plenth {

constinit const ClassInfo GridSpot::kClass = ClassRow<GridSpot, IGridSpot>({
    .name = "GridSpot",
    .clsid = CLSID_GridSpot,
    .scriptId = IDR_GRIDSPOT,
    .threadingModel = "Apartment",
    .category = &CATID_HostCommands,
});

namespace {
const CommandInfo kInfo{
    GridSpot::kClass,
    "Grid Spot Tool",
    "Grid Spot Tool",
    "Adds Grid Values to Point Shapefile based on Raster Overlay",
    IDB_GRIDSPOT,
    CommandInfo::Creation::None,
    CommandInfo::Click::Modeless,
    CommandInfo::Restore::Quiet,
};
}  // namespace

GridSpot::GridSpot() : Command(kInfo) {}

int GridSpot::ModelessDialogId() const { return IDD_GRIDSPOTDLG; }
DLGPROC GridSpot::ModelessDialogProc() const { return BasicModelessDialogProc; }

}  // namespace plenth
