// The base component contract, in the Windows slot order.
#pragma once

#include <type_traits>

#include "com/guid.h"

struct IUnknown {
  static constexpr IID iid = com::Guid("{00000000-0000-0000-C000-000000000046}");

  virtual HRESULT QueryInterface(REFIID riid, void** object) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

  template <class Q>
  HRESULT QueryInterface(Q** object) {
    return QueryInterface(uuidof<Q>(), reinterpret_cast<void**>(object));
  }

 protected:
  ~IUnknown() = default;
};

struct IClassFactory : IUnknown {
  static constexpr IID iid = com::Guid("{00000001-0000-0000-C000-000000000046}");
  virtual HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) = 0;
  virtual HRESULT LockServer(BOOL lock) = 0;

 protected:
  ~IClassFactory() = default;
};

#define IID_PPV_ARGS(pp) \
  uuidof<std::remove_pointer_t<std::remove_reference_t<decltype(*(pp))>>>(), reinterpret_cast<void**>(pp)
