#include "tools/lineorientation/lineorientation.h"

#include "host/basicdialog.h"
#include "hostapi/categories.h"
#include "resources/resource.h"
#include "ui/window.h"

namespace plenth {

constinit const ClassInfo LineOrientation::kClass = ClassRow<LineOrientation, ILineOrientation>({
    .name = "LineOrientation",
    .clsid = CLSID_LineOrientation,
    .scriptId = IDR_LINEORIENTATION,
    .threadingModel = "Apartment",
    .category = &CATID_HostCommands,
});

namespace {
const CommandInfo kInfo{
    LineOrientation::kClass,
    "Line Orientation Tool",
    "Line Orientation Tool",
    "Creates a new Polyline Shapefile with a Bearing Field",
    IDB_LINEORIENTATION,
    CommandInfo::Creation::None,
    CommandInfo::Click::Modal,
    CommandInfo::Restore::Reporting,
};
}  // namespace

LineOrientation::LineOrientation() : Command(kInfo) {}


INT_PTR LineOrientation::RunModalDialog() {
  return DialogBoxParam(ModuleInstance(), IDD_LINEORIENTATIONDLG, nullptr, BasicModalDialogProc, reinterpret_cast<LPARAM>(this));
}

}  // namespace plenth
