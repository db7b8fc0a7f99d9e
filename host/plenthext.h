// The module's extension: its name, product name and description, and the state that
// every command consults before it lets itself be used.
#pragma once

#include "host/classinfo.h"
#include "host/moduleglobals.h"
#include "hostapi/hostapi.h"

struct IPlenthExt : IDispatch {
  static constexpr IID iid = com::Guid("{D44A14A1-B783-43CC-9533-A49F5EA89A1B}");

 protected:
  ~IPlenthExt() = default;
};
inline constexpr CLSID CLSID_PlenthExt = com::Guid("{438E9AAF-4555-4806-8445-D9D721BDB5B8}");

namespace plenth {

class PlenthExt final : public com::ComClass<PlenthExt, com::NoMemberDispatch<PlenthExt, IPlenthExt>,
                                             HostExtension, HostExtensionConfig>,
                        CountedObject {
 public:
  static const ClassInfo kClass;

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
