// The classes the installed module offers and the host category each belongs to.
#pragma once

#include <vector>

#include "hostapp/session.h"

namespace plenth::cli {

std::vector<hostapp::FoundClass> ModuleClasses();

}  // namespace plenth::cli
