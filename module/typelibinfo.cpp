#include "module/typelibinfo.h"

namespace plenth {

const registry::TypeLibInfo& ModuleTypeLib() {
  static const registry::TypeLibInfo library{
      "{3D6E7CD9-083F-41FA-9996-0E104743E9BA}",
      "PLENTHTOOLSLib",
      "1.0",
      0x409,
      "PlenthTools 1.0 Type Library",
      {
          {"PlenthExt", "{438E9AAF-4555-4806-8445-D9D721BDB5B8}", "IPlenthExt", "{D44A14A1-B783-43CC-9533-A49F5EA89A1B}", true},
          {"PlenthToolbar", "{745C3EB7-6A8A-4214-A862-27A0D66158A4}", "IPlenthToolbar", "{7B605F40-EB9B-44A9-99F9-0B50220A6CCF}", false},
          {"CreatePointGridTool", "{33DAB5E3-F518-4BC4-88A8-FAC1BEBB5D7D}", "ICreatePointGridTool", "{0DF80E5D-8D34-438E-8516-EB5BB7FCCCA5}", false},
          {"EventHelper", "{D23D9124-7998-437B-988C-D2E1EF6A2751}", "IEventHelper", "{967BA7B4-23F1-46EE-934D-BE7E6F25D0CC}", true},
          {"DownhillSlopeTool", "{C2833060-524D-4C5B-9498-83663F24E4F4}", "IDownhillSlopeTool", "{F7EC7D87-CDA5-485B-BF31-6F1BDCE6D1A6}", false},
          {"SlopeLengthTool", "{0AF3598E-1B91-41FB-84EF-F0FE821C10CC}", "ISlopeLengthTool", "{49E6DB22-0012-4854-8AE9-3FD24762C0BE}", false},
          {"DrpTgt", "{CEED2118-C277-4ED1-82CF-EFB7146EB246}", "IDrpTgt", "{4F3C1632-0DD6-4F35-A3C2-12209999CEFD}", false},
          {"PolyClip", "{CDC0D710-2ACE-4288-B043-A2ECA352A1C6}", "IPolyClip", "{DEE9C441-3908-425C-8160-B3DDA21C4A9F}", false},
          {"GridSpot", "{0CB7451C-D843-4429-8986-1DFEC4B7AA30}", "IGridSpot", "{673844B1-5D54-4A3B-833E-C72F000EC7CC}", false},
          {"EffortSurface", "{B1EF95F4-BE29-444D-99DE-12520F4E0307}", "IEffortSurface", "{9274682C-89E4-40B0-9EB7-7549D1673180}", true},
          {"ExportGrid", "{7A546A82-E0A4-4542-B7AC-77AE4821F7BD}", "IExportGrid", "{A8E7C62E-52B2-4075-AAFB-78AD0B47846A}", true},
          {"ImportGrid", "{F701FBE9-AD08-47D1-97B7-4B02B7C8F6CB}", "IImportGrid", "{D833808C-F8F6-40FD-84BB-EC3E000FE946}", true},
          {"LineOrientation", "{C4CEED55-56AB-4DF0-9688-87F99D0A7478}", "ILineOrientation", "{1CAB4C11-E695-4BAA-B67F-8450503AFFBC}", false},
      },
  };
  return library;
}

}  // namespace plenth
