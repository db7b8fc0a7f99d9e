// The module's class table: one row per creatable class, in the order in which
// registration runs and class lookups scan. It drives the class factories, the
// registration and the type library.
#pragma once

#include <span>

#include "host/classinfo.h"

namespace plenth {

std::span<const ClassInfo* const> ClassTable();

}  // namespace plenth
