// Automation dispatch, as answered by the module's dual interfaces (which have no
// members of their own).
#pragma once

#include "com/variant.h"

using DISPID = LONG;
using LCID = DWORD;
struct ITypeInfo;

struct DISPPARAMS {
  VARIANT* rgvarg;
  DISPID* rgdispidNamedArgs;
  UINT cArgs;
  UINT cNamedArgs;
};
struct EXCEPINFO;

struct IDispatch : IUnknown {
  static constexpr IID iid = com::Guid("{00020400-0000-0000-C000-000000000046}");
  virtual HRESULT GetTypeInfoCount(UINT* count) = 0;
  virtual HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) = 0;
  virtual HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) = 0;
  virtual HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                         VARIANT* result, EXCEPINFO* excep, UINT* argErr) = 0;

 protected:
  ~IDispatch() = default;
};
