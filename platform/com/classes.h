// The process's create-by-class-id table: libraries register the classes others may
// create by class id (the host's ClassIdValue, the data library's Point, ...), and a
// loaded module hands out its own through its class factories.
#pragma once

#include <functional>

#include "com/object.h"

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD REGCLS_MULTIPLEUSE = 0x1;

// Registers a class factory for a class id. A later registration of the same id hides
// an earlier one until it is revoked.
HRESULT CoRegisterClassObject(REFCLSID clsid, IUnknown* factory, DWORD context, DWORD flags,
                              DWORD* cookie);
HRESULT CoRevokeClassObject(DWORD cookie);
HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, void* reserved, REFIID riid, void** object);
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid, void** object);

namespace com {

using Creator = HRESULT (*)(IUnknown* outer, REFIID riid, void** object);

// A class factory that creates through a creator function and counts its server locks
// in a module's lifetime (none for library classes that are never unloaded).
class ClassFactory final : public ComClass<ClassFactory, IClassFactory> {
 public:
  ClassFactory(Creator create, ModuleLifetime* lifetime) : create_(create), lifetime_(lifetime) {}
  HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) override;
  HRESULT LockServer(BOOL lock) override;

 private:
  Creator create_;
  ModuleLifetime* lifetime_;
};

// Answers for class ids that no registration covers (a host resolves them through the
// registry and loads the module that serves them). Returns the previous resolver.
using ClassResolver = std::function<HRESULT(REFCLSID clsid, REFIID riid, void** object)>;
ClassResolver SetClassResolver(ClassResolver resolver);

// Registers a library class under its id for the life of the process.
void RegisterLibraryClass(REFCLSID clsid, Creator create);

// Creates an object by class id and returns the interface, or an empty reference.
template <class T>
ComPtr<T> CreateInstance(REFCLSID clsid, HRESULT* result = nullptr) {
  ComPtr<T> out;
  const HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, uuidof<T>(), out.put_void());
  if (result) *result = hr;
  return out;
}

}  // namespace com
