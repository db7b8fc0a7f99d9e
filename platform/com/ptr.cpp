#include "com/ptr.h"

namespace com {

HostCallError::HostCallError(HRESULT code, const char* what) : std::runtime_error(what), code_(code) {}
HostCallError::~HostCallError() = default;

HRESULT Check(HRESULT hr) {
  if (FAILED(hr)) throw HostCallError(hr, "host call failed");
  return hr;
}

}  // namespace com
