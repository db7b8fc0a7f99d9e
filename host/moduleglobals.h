// What the whole module shares: its instance handle (its resources), its object and
// lock counts, and the base that counts an object in them.
#pragma once

#include "com/object.h"
#include "ui/types.h"

namespace plenth {

// The module's instance handle: its embedded resource script and files.
HINSTANCE ModuleInstance();
// The module's live objects and server locks.
com::ModuleLifetime& ThisModule();
// Counts an object of the module for as long as it lives.
using CountedObject = com::CountedIn<ThisModule>;

}  // namespace plenth
