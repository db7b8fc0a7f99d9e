#include "tools/polyclip/polyclip.h"

#include "host/basicdialog.h"
#include "hostapi/categories.h"
#include "resources/resource.h"
#include "ui/window.h"

namespace plenth {

constinit const ClassInfo PolyClip::kClass = ClassRow<PolyClip, IPolyClip>({
    .name = "PolyClip",
    .clsid = CLSID_PolyClip,
    .scriptId = IDR_POLYCLIP,
    .category = &CATID_HostCommands,
});

namespace {
const CommandInfo kInfo{
    PolyClip::kClass,
    "Polygon Clip Tool",
    "Polygon Clip Tool",
    "Adds Statistics to Polygon Shapefile based on Raster Clip",
    IDB_POLYCLIP,
    CommandInfo::Creation::None,
    CommandInfo::Click::Modeless,
    CommandInfo::Restore::Quiet,
};
}  // namespace

PolyClip::PolyClip() : Command(kInfo) {}

int PolyClip::ModelessDialogId() const { return IDD_POLYCLIPDLG; }
DLGPROC PolyClip::ModelessDialogProc() const { return BasicModelessDialogProc; }

}  // namespace plenth
