// A host with the built module plugged in, for tests that go through the module's
// entry points as the host does.
#pragma once

#include <memory>

#include "hostapp/session.h"

namespace plenth::test {

// The classes of the module's class table under their categories.
std::vector<hostapp::FoundClass> ModuleClasses();

std::unique_ptr<hostapp::HostSession> StartHost(LONG extensionState = kExtensionEnabled, int layers = 1);

}  // namespace plenth::test
