// What the whole module shares: its instance handle (its resources), its object and
// lock counts, the base that counts an object in them, and the holder of its state.
#pragma once

#include <new>
#include <utility>

#include "com/object.h"
#include "ui/types.h"

namespace plenth {

// The module's instance handle: its embedded resource script and files.
HINSTANCE ModuleInstance();
// The module's live objects and server locks.
com::ModuleLifetime& ThisModule();
// Counts an object of the module for as long as it lives.
using CountedObject = com::CountedIn<ThisModule>;

// Holds module-wide state that holds references (the class factories, the application of
// the last modal click). The C++ static destructors never take it apart: it stays whole
// until the module's own release empties it, which runs when the module is unloaded or
// when the process ends with the module still loaded, after those destructors.
template <class T>
class Lasting {
 public:
  template <class... Args>
  explicit Lasting(Args&&... args) {
    new (storage_) T(std::forward<Args>(args)...);
  }
  Lasting(const Lasting&) = delete;
  Lasting& operator=(const Lasting&) = delete;

  T& get() { return *std::launder(reinterpret_cast<T*>(storage_)); }

 private:
  alignas(T) unsigned char storage_[sizeof(T)];
};

}  // namespace plenth
