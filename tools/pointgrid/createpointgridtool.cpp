#include "tools/pointgrid/createpointgridtool.h"

#include "host/basicdialog.h"
#include "resources/resource.h"
#include "ui/window.h"

namespace plenth {
namespace {
const CommandInfo kInfo{
    "PlenthTools_CreatePointGridTool",
    "Regular Point Grid Tool",
    "Creates Regular Point Grid",
    "Creates a regular grid of points in a new shapefile",
    IDB_CREATEPOINTGRIDTOOL,
    CommandInfo::Creation::ClipboardFormat,
    CommandInfo::Restore::Reporting,
};
}  // namespace

CreatePointGridTool::CreatePointGridTool() : Command(kInfo) {}

HRESULT CreatePointGridTool::OnClick() { return ModelessClick(); }

int CreatePointGridTool::ModelessDialogId() const { return IDD_POINTGRIDDLG; }
DLGPROC CreatePointGridTool::ModelessDialogProc() const { return BasicModelessDialogProc; }

}  // namespace plenth
