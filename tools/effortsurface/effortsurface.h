// The "Effort Surface Calculator" command.
#pragma once

#include "host/command.h"

struct IEffortSurface : IDispatch {
  static constexpr IID iid = com::Guid("{9274682C-89E4-40B0-9EB7-7549D1673180}");

 protected:
  ~IEffortSurface() = default;
};
inline constexpr CLSID CLSID_EffortSurface = com::Guid("{B1EF95F4-BE29-444D-99DE-12520F4E0307}");

namespace plenth {

class EffortSurface final : public Command<EffortSurface, com::NoMemberDispatch<EffortSurface, IEffortSurface>> {
 public:
  static const ClassInfo kClass;

  EffortSurface();

 protected:
  INT_PTR RunModalDialog() override;
  // The free-threaded marshaler, aggregated under this object's identity, so that the
  // worker thread can call the command directly.
  HRESULT FinalConstruct() override;
  HRESULT QueryOther(REFIID riid, void** object) override;

 private:
  com::ComPtr<IUnknown> marshaler_;
};

}  // namespace plenth
