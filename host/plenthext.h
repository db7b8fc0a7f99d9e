// The module's extension: its name, product name and description, and the state that
// every command consults before it lets itself be used.
#pragma once

#include "hostapi/hostapi.h"
#include "module/interfaces.h"
#include "host/moduleglobals.h"

namespace plenth {

class PlenthExt final : public com::ComClass<PlenthExt, com::NoMemberDispatch<PlenthExt, IPlenthExt>,
                                             HostExtension, HostExtensionConfig>,
                        CountedObject {
 public:
  // HostExtension
  HRESULT Name(BSTR* name) override;
  HRESULT Startup(VARIANT* initializationData) override;
  HRESULT Shutdown() override;
  // HostExtensionConfig
  HRESULT ProductName(BSTR* name) override;
  HRESULT Description(BSTR* description) override;
  HRESULT GetState(LONG* state) override;
  HRESULT SetState(LONG state) override;

 private:
  LONG state_ = kExtensionUnavailable;
};

}  // namespace plenth
