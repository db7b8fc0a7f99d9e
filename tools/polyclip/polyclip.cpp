#include "tools/polyclip/polyclip.h"

#include "host/basicdialog.h"
#include "resources/resource.h"
#include "ui/window.h"

namespace plenth {
namespace {
const CommandInfo kInfo{
    "PlenthTools_PolyClip",
    "Polygon Clip Tool",
    "Polygon Clip Tool",
    "Adds Statistics to Polygon Shapefile based on Raster Clip",
    IDB_POLYCLIP,
    CommandInfo::Creation::None,
    CommandInfo::Restore::Quiet,
};
}  // namespace

PolyClip::PolyClip() : Command(kInfo) {}

HRESULT PolyClip::OnClick() { return ModelessClick(); }

int PolyClip::ModelessDialogId() const { return IDD_POLYCLIPDLG; }
DLGPROC PolyClip::ModelessDialogProc() const { return BasicModelessDialogProc; }

}  // namespace plenth
