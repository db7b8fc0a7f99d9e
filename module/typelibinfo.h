// The module's type library: its thirteen classes, their default interfaces, and which
// of those are dual.
#pragma once

#include "registry/registrar.h"

namespace plenth {

const registry::TypeLibInfo& ModuleTypeLib();

}  // namespace plenth
