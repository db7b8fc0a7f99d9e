#include "tools/lineorientation/lineorientation.h"

#include "host/basicdialog.h"
#include "resources/resource.h"
#include "ui/window.h"

namespace plenth {
namespace {
const CommandInfo kInfo{
    "PlenthTools_LineOrientation",
    "Line Orientation Tool",
    "Line Orientation Tool",
    "Creates a new Polyline Shapefile with a Bearing Field",
    IDB_LINEORIENTATION,
    CommandInfo::Creation::None,
    CommandInfo::Restore::Reporting,
};
}  // namespace

LineOrientation::LineOrientation() : Command(kInfo) {}

HRESULT LineOrientation::OnClick() { return ModalClick(); }

INT_PTR LineOrientation::RunModalDialog() {
  return DialogBoxParam(ModuleInstance(), IDD_LINEORIENTATIONDLG, nullptr, BasicModalDialogProc, reinterpret_cast<LPARAM>(this));
}

}  // namespace plenth
