// The status-code boundary of a component method: what a method raises becomes a status
// code before it reaches the caller, and out arguments are handed out in one way.
#pragma once

#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>

#include "com/bstr.h"
#include "com/ptr.h"

namespace com {

// Runs a method's body and returns its status. Memory running out gives E_OUTOFMEMORY,
// any other error E_FAIL. The host-call error (a call through an empty host reference)
// is the one error that deliberately leaves a module's operation: the host that called
// catches it, so it passes through.
template <class Body>
HRESULT Guard(Body&& body) {
  try {
    if constexpr (std::is_void_v<std::invoke_result_t<Body&>>) {
      body();
      return S_OK;
    } else {
      return body();
    }
  } catch (const HostCallError&) {
    throw;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

// The same for a plain C entry point, which nothing may leave: the host-call error
// gives its own code.
template <class Body>
HRESULT GuardAll(Body&& body) noexcept {
  try {
    return Guard(std::forward<Body>(body));
  } catch (const HostCallError& e) {
    return e.code();
  } catch (...) {
    return E_FAIL;
  }
}

// Hands a value out through an out argument: E_POINTER when it is missing, S_OK after
// storing it.
template <class T, class U>
  requires std::is_assignable_v<U&, const T&>
HRESULT Out(const T& value, U* out) {
  if (!out) return E_POINTER;
  *out = value;
  return S_OK;
}

// A counted reference, handed out with a reference of its own (may be empty).
template <class T, class U>
  requires std::is_convertible_v<T*, U*>
HRESULT Out(const ComPtr<T>& value, U** out) {
  if (!out) return E_POINTER;
  *out = value.get();
  if (*out) (*out)->AddRef();
  return S_OK;
}

// A text, handed out as a new OLE string that the receiver frees; E_OUTOFMEMORY when
// there is no room for it.
inline HRESULT Out(std::string_view utf8, BSTR* out) noexcept {
  try {
    return OutString(utf8, out);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

// A status code as the host shows it: "0x%0X", hexadecimal in upper case without
// leading zeros ("0x80004005", "0x0").
inline std::string StatusText(HRESULT status) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0X", static_cast<unsigned>(status));
  return text;
}

}  // namespace com
