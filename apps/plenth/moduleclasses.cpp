#include "apps/plenth/moduleclasses.h"

namespace plenth::cli {

std::vector<hostapp::FoundClass> ModuleClasses() {
  return {
      {com::Guid("{438E9AAF-4555-4806-8445-D9D721BDB5B8}"), CATID_HostExtensions},   // PlenthExt
      {com::Guid("{745C3EB7-6A8A-4214-A862-27A0D66158A4}"), CATID_HostCommandBars},  // PlenthToolbar
      {com::Guid("{33DAB5E3-F518-4BC4-88A8-FAC1BEBB5D7D}"), CATID_HostCommands},     // CreatePointGridTool
      {com::Guid("{CDC0D710-2ACE-4288-B043-A2ECA352A1C6}"), CATID_HostCommands},     // PolyClip
      {com::Guid("{0CB7451C-D843-4429-8986-1DFEC4B7AA30}"), CATID_HostCommands},     // GridSpot
      {com::Guid("{B1EF95F4-BE29-444D-99DE-12520F4E0307}"), CATID_HostCommands},     // EffortSurface
      {com::Guid("{7A546A82-E0A4-4542-B7AC-77AE4821F7BD}"), CATID_HostCommands},     // ExportGrid
      {com::Guid("{F701FBE9-AD08-47D1-97B7-4B02B7C8F6CB}"), CATID_HostCommands},     // ImportGrid
      {com::Guid("{C4CEED55-56AB-4DF0-9688-87F99D0A7478}"), CATID_HostCommands},     // LineOrientation
  };
}

}  // namespace plenth::cli
