#include "tools/importgrid/importgrid.h"

#include "host/basicdialog.h"
#include "resources/resource.h"
#include "ui/window.h"

namespace plenth {
namespace {
const CommandInfo kInfo{
    "PlenthTools_ImportGrid",
    "Import Plenth Format to GRID Format",
    "Imports Plenth Format to GRID",
    "Imports Plenth format file to GRID format",
    IDB_IMPORTGRID,
    CommandInfo::Creation::CommonControls,
    CommandInfo::Restore::Reporting,
};
}  // namespace

ImportGrid::ImportGrid() : Command(kInfo) {}

HRESULT ImportGrid::OnClick() { return ModalClick(); }

INT_PTR ImportGrid::RunModalDialog() {
  return DialogBoxParam(ModuleInstance(), IDD_IMPORTGRIDDLG, nullptr, BasicModalDialogProc, reinterpret_cast<LPARAM>(this));
}

}  // namespace plenth
