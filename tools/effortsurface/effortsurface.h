// The "Effort Surface Calculator" command.
#pragma once

#include "host/command.h"
#include "tools/effortsurface/effortsurfaceworker.h"

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

  // A click while a run is under way is refused: the dialog would empty the parameters the
  // run reads.
  HRESULT Click() override;
  // The progress window's button or close box: ends a run still under way, closes the log,
  // destroys the window and gives the host its select tool back.
  void CloseProgress();

 protected:
  INT_PTR RunModalDialog() override;
  // Starts the run: the progress window with its clock, and the worker thread.
  void ProcessOk() override;
  // The free-threaded marshaler, aggregated under this object's identity, so that the
  // worker thread can call the command directly.
  HRESULT FinalConstruct() override;
  HRESULT QueryOther(REFIID riid, void** object) override;
  // A run still under way ends before the window it writes to goes.
  void FinalRelease() override;

 private:
  // The window and the run cannot be started: the window goes, and the person is told.
  void UnableToStart();

  com::ComPtr<IUnknown> marshaler_;
  EffortWorkerThread worker_;
};

}  // namespace plenth
