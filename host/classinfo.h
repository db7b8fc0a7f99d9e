// A class's row in the module's class table: what registration, the class factories and
// the type library know of the class. Each class declares its row beside its own code;
// module/classtable.cpp puts the rows in order.
#pragma once

#include <string>
#include <string_view>
#include <type_traits>

#include "com/boundary.h"
#include "com/classes.h"

namespace plenth {

// What a class spells out about itself.
struct ClassIdentity {
  const char* name;  // "PlenthExt": its ProgIDs, its description and its command name follow from it
  CLSID clsid;
  int scriptId;                          // its REGISTRY resource
  const char* threadingModel = nullptr;  // exactly as written; null when none is written
  const GUID* category = nullptr;        // null for a class without a category
  bool programmable = false;
};

// The row: the identity, how the class is created, and the default interface the type
// library gives it.
struct ClassInfo : ClassIdentity {
  com::Creator create;
  IID defaultInterface;
  bool dual;
};

// The version-independent ProgID of a class: "PlenthTools.PlenthExt".
inline std::string ProgId(std::string_view className) { return "PlenthTools." + std::string(className); }

// Creates a T, plain or aggregated; nothing it raises leaves the class factory but the
// host-call error.
template <class T>
HRESULT CreateClass(IUnknown* outer, REFIID riid, void** object) {
  return com::Guard([&] { return com::CreateObject<T>(outer, riid, object); });
}

// The row of class T, whose default interface is Default.
template <class T, class Default>
constexpr ClassInfo ClassRow(const ClassIdentity& identity) {
  return {identity, &CreateClass<T>, uuidof<Default>(), std::is_base_of_v<IDispatch, Default>};
}

}  // namespace plenth
