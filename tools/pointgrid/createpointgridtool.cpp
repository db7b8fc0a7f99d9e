#include "tools/pointgrid/createpointgridtool.h"

#include "host/basicdialog.h"
#include "hostapi/categories.h"
#include "resources/resource.h"
#include "ui/window.h"

namespace plenth {

constinit const ClassInfo CreatePointGridTool::kClass = ClassRow<CreatePointGridTool, ICreatePointGridTool>({
    .name = "CreatePointGridTool",
    .clsid = CLSID_CreatePointGridTool,
    .scriptId = IDR_CREATEPOINTGRIDTOOL,
    .threadingModel = "both",
    .category = &CATID_HostCommands,
});

namespace {
const CommandInfo kInfo{
    CreatePointGridTool::kClass,
    "Regular Point Grid Tool",
    "Creates Regular Point Grid",
    "Creates a regular grid of points in a new shapefile",
    IDB_CREATEPOINTGRIDTOOL,
    CommandInfo::Creation::ClipboardFormat,
    CommandInfo::Click::Modeless,
    CommandInfo::Restore::Reporting,
};
}  // namespace

CreatePointGridTool::CreatePointGridTool() : Command(kInfo) {}

int CreatePointGridTool::ModelessDialogId() const { return IDD_POINTGRIDDLG; }
DLGPROC CreatePointGridTool::ModelessDialogProc() const { return BasicModelessDialogProc; }

}  // namespace plenth
