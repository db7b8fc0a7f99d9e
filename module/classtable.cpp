#include "module/classtable.h"

#include "host/drptgt.h"
#include "host/plenthext.h"
#include "host/plenthtoolbar.h"
#include "hostapi/categories.h"
#include "resources/resource.h"
#include "tools/effortsurface/effortsurface.h"
#include "tools/exportgrid/exportgrid.h"
#include "tools/gridspot/gridspot.h"
#include "tools/importgrid/importgrid.h"
#include "tools/lineorientation/lineorientation.h"
#include "tools/pointgrid/createpointgridtool.h"
#include "tools/polyclip/polyclip.h"

namespace plenth {
namespace {

template <class T>
HRESULT Create(IUnknown* outer, REFIID riid, void** object) {
  try {
    return com::CreateObject<T>(outer, riid, object);
  } catch (...) {  // nothing raised while an object is built may leave the module
    return E_FAIL;
  }
}

const ClassEntry kClasses[] = {
    {"PlenthExt", CLSID_PlenthExt, "PlenthTools.PlenthExt", IDR_PLENTHEXT, "Apartment", &CATID_HostExtensions,
     true, &Create<PlenthExt>},
    {"PlenthToolbar", CLSID_PlenthToolbar, "PlenthTools.PlenthToolbar", IDR_PLENTHTOOLBAR, "both",
     &CATID_HostCommandBars, false, &Create<PlenthToolbar>},
    {"CreatePointGridTool", CLSID_CreatePointGridTool, "PlenthTools.CreatePointGridTool", IDR_CREATEPOINTGRIDTOOL,
     "both", &CATID_HostCommands, false, &Create<CreatePointGridTool>},
    {"DrpTgt", CLSID_DrpTgt, "PlenthTools.DrpTgt", IDR_DRPTGT, "Apartment", nullptr, false, &Create<DrpTgt>},
    {"PolyClip", CLSID_PolyClip, "PlenthTools.PolyClip", IDR_POLYCLIP, nullptr, &CATID_HostCommands, false,
     &Create<PolyClip>},
    {"GridSpot", CLSID_GridSpot, "PlenthTools.GridSpot", IDR_GRIDSPOT, "Apartment", &CATID_HostCommands, false,
     &Create<GridSpot>},
    {"EffortSurface", CLSID_EffortSurface, "PlenthTools.EffortSurface", IDR_EFFORTSURFACE, "Free",
     &CATID_HostCommands, true, &Create<EffortSurface>},
    {"ExportGrid", CLSID_ExportGrid, "PlenthTools.ExportGrid", IDR_EXPORTGRID, "Apartment", &CATID_HostCommands,
     true, &Create<ExportGrid>},
    {"ImportGrid", CLSID_ImportGrid, "PlenthTools.ImportGrid", IDR_IMPORTGRID, "Apartment", &CATID_HostCommands,
     true, &Create<ImportGrid>},
    {"LineOrientation", CLSID_LineOrientation, "PlenthTools.LineOrientation", IDR_LINEORIENTATION, "Apartment",
     &CATID_HostCommands, false, &Create<LineOrientation>},
};

}  // namespace

std::span<const ClassEntry> ClassTable() { return kClasses; }

}  // namespace plenth
