// The host's component categories: how it finds a module's extension, toolbars and
// commands among the registered classes.
#pragma once

#include "com/guid.h"

inline constexpr GUID CATID_HostExtensions = com::Guid("{B56A7C45-83D4-11D2-A2E9-080009B6F22B}");
inline constexpr GUID CATID_HostCommandBars = com::Guid("{B56A7C4A-83D4-11D2-A2E9-080009B6F22B}");
inline constexpr GUID CATID_HostCommands = com::Guid("{B56A7C42-83D4-11D2-A2E9-080009B6F22B}");
