// The module's class table: one row per creatable class, in the order in which
// registration runs and class lookups scan. It drives the class factories, the
// registration and what hosts list.
#pragma once

#include <span>

#include "com/classes.h"

namespace plenth {

struct ClassEntry {
  const char* name;             // "PlenthExt"
  CLSID clsid;
  const char* progId;           // version-independent: "PlenthTools.PlenthExt"
  int scriptId;                 // its REGISTRY resource
  const char* threadingModel;   // exactly as written; null when none is written
  const GUID* category;         // null for a class without a category
  bool programmable;
  com::Creator create;
};

std::span<const ClassEntry> ClassTable();

}  // namespace plenth
