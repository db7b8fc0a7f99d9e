#include "tools/exportgrid/exportgrid.h"

#include "host/basicdialog.h"
#include "resources/resource.h"
#include "ui/window.h"

namespace plenth {
namespace {
const CommandInfo kInfo{
    "PlenthTools_ExportGrid",
    "Export GRID Format to Plenth Format",
    "Exports GRID to Plenth Format",
    "Exports a GRID file to Plenth format",
    IDB_EXPORTGRID,
    CommandInfo::Creation::CommonControls,
    CommandInfo::Restore::Reporting,
};
}  // namespace

ExportGrid::ExportGrid() : Command(kInfo) {}

HRESULT ExportGrid::OnClick() { return ModalClick(); }

INT_PTR ExportGrid::RunModalDialog() {
  return DialogBoxParam(ModuleInstance(), IDD_EXPORTGRIDDLG, nullptr, BasicModalDialogProc, reinterpret_cast<LPARAM>(this));
}

}  // namespace plenth
