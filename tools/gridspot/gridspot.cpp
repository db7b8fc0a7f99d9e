#include "tools/gridspot/gridspot.h"

#include "host/basicdialog.h"
#include "resources/resource.h"
#include "ui/window.h"

namespace plenth {
namespace {
const CommandInfo kInfo{
    "PlenthTools_GridSpot",
    "Grid Spot Tool",
    "Grid Spot Tool",
    "Adds Grid Values to Point Shapefile based on Raster Overlay",
    IDB_GRIDSPOT,
    CommandInfo::Creation::None,
    CommandInfo::Restore::Quiet,
};
}  // namespace

GridSpot::GridSpot() : Command(kInfo) {}

HRESULT GridSpot::OnClick() { return ModelessClick(); }

int GridSpot::ModelessDialogId() const { return IDD_GRIDSPOTDLG; }
DLGPROC GridSpot::ModelessDialogProc() const { return BasicModelessDialogProc; }

}  // namespace plenth
