// The class that exists to accept drags of host data onto the module's windows.
#pragma once

#include "module/interfaces.h"
#include "host/moduleglobals.h"

namespace plenth {

class DrpTgt final : public com::ComClass<DrpTgt, IDrpTgt>, CountedObject {};

}  // namespace plenth
