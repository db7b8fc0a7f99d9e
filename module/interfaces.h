// The module's own interfaces (none has methods of its own; five are dual) and the
// class ids of its classes.
#pragma once

#include "com/dispatch.h"

#define PLENTH_INTERFACE(Name, Base, Id)                 \
  struct Name : Base {                                   \
    static constexpr IID iid = com::Guid(Id);            \
                                                         \
   protected:                                            \
    ~Name() = default;                                   \
  }

PLENTH_INTERFACE(IPlenthExt, IDispatch, "{D44A14A1-B783-43CC-9533-A49F5EA89A1B}");
PLENTH_INTERFACE(IPlenthToolbar, IUnknown, "{7B605F40-EB9B-44A9-99F9-0B50220A6CCF}");
PLENTH_INTERFACE(ICreatePointGridTool, IUnknown, "{0DF80E5D-8D34-438E-8516-EB5BB7FCCCA5}");
PLENTH_INTERFACE(IDrpTgt, IUnknown, "{4F3C1632-0DD6-4F35-A3C2-12209999CEFD}");
PLENTH_INTERFACE(IPolyClip, IUnknown, "{DEE9C441-3908-425C-8160-B3DDA21C4A9F}");
PLENTH_INTERFACE(IGridSpot, IUnknown, "{673844B1-5D54-4A3B-833E-C72F000EC7CC}");
PLENTH_INTERFACE(IEffortSurface, IDispatch, "{9274682C-89E4-40B0-9EB7-7549D1673180}");
PLENTH_INTERFACE(IExportGrid, IDispatch, "{A8E7C62E-52B2-4075-AAFB-78AD0B47846A}");
PLENTH_INTERFACE(IImportGrid, IDispatch, "{D833808C-F8F6-40FD-84BB-EC3E000FE946}");
PLENTH_INTERFACE(ILineOrientation, IUnknown, "{1CAB4C11-E695-4BAA-B67F-8450503AFFBC}");

#undef PLENTH_INTERFACE

inline constexpr CLSID CLSID_PlenthExt = com::Guid("{438E9AAF-4555-4806-8445-D9D721BDB5B8}");
inline constexpr CLSID CLSID_PlenthToolbar = com::Guid("{745C3EB7-6A8A-4214-A862-27A0D66158A4}");
inline constexpr CLSID CLSID_CreatePointGridTool = com::Guid("{33DAB5E3-F518-4BC4-88A8-FAC1BEBB5D7D}");
inline constexpr CLSID CLSID_DrpTgt = com::Guid("{CEED2118-C277-4ED1-82CF-EFB7146EB246}");
inline constexpr CLSID CLSID_PolyClip = com::Guid("{CDC0D710-2ACE-4288-B043-A2ECA352A1C6}");
inline constexpr CLSID CLSID_GridSpot = com::Guid("{0CB7451C-D843-4429-8986-1DFEC4B7AA30}");
inline constexpr CLSID CLSID_EffortSurface = com::Guid("{B1EF95F4-BE29-444D-99DE-12520F4E0307}");
inline constexpr CLSID CLSID_ExportGrid = com::Guid("{7A546A82-E0A4-4542-B7AC-77AE4821F7BD}");
inline constexpr CLSID CLSID_ImportGrid = com::Guid("{F701FBE9-AD08-47D1-97B7-4B02B7C8F6CB}");
inline constexpr CLSID CLSID_LineOrientation = com::Guid("{C4CEED55-56AB-4DF0-9688-87F99D0A7478}");
