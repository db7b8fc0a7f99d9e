// The "Regular Point Grid Tool" command.
#pragma once

#include "host/command.h"

struct ICreatePointGridTool : IUnknown {
  static constexpr IID iid = com::Guid("{0DF80E5D-8D34-438E-8516-EB5BB7FCCCA5}");

 protected:
  ~ICreatePointGridTool() = default;
};
inline constexpr CLSID CLSID_CreatePointGridTool = com::Guid("{33DAB5E3-F518-4BC4-88A8-FAC1BEBB5D7D}");

namespace plenth {

class CreatePointGridTool final : public Command<CreatePointGridTool, ICreatePointGridTool> {
 public:
  static const ClassInfo kClass;

  CreatePointGridTool();

 protected:
  int ModelessDialogId() const override;
  DLGPROC ModelessDialogProc() const override;
};

}  // namespace plenth
