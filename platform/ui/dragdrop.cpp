#include "ui/dragdrop.h"

#include <map>
#include <mutex>

#include "ui/window.h"

namespace {

struct Registrations {
  std::mutex lock;
  std::map<HWND, com::ComPtr<IDropTarget>> targets;
};

// Kept for the life of the process: a registration that was never revoked stays held.
Registrations& R() {
  static Registrations* registrations = new Registrations;
  return *registrations;
}

}  // namespace

HRESULT RegisterDragDrop(HWND window, IDropTarget* target) {
  if (!target) return E_INVALIDARG;
  if (!IsWindow(window)) return DRAGDROP_E_INVALIDHWND;
  std::lock_guard guard(R().lock);
  auto& slot = R().targets[window];
  if (slot) return DRAGDROP_E_ALREADYREGISTERED;
  slot = target;
  return S_OK;
}

HRESULT RevokeDragDrop(HWND window) {
  if (!IsWindow(window)) return DRAGDROP_E_INVALIDHWND;
  com::ComPtr<IDropTarget> leaving;  // released after the lock: its release may do anything
  {
    std::lock_guard guard(R().lock);
    const auto found = R().targets.find(window);
    if (found == R().targets.end()) return DRAGDROP_E_NOTREGISTERED;
    leaving = std::move(found->second);
    R().targets.erase(found);
  }
  return S_OK;
}

namespace ui {

com::ComPtr<IDropTarget> DropTargetAt(HWND window) {
  for (HWND h = window; IsWindow(h); h = GetParent(h)) {
    std::lock_guard guard(R().lock);
    const auto found = R().targets.find(h);
    if (found != R().targets.end()) return found->second;
  }
  return {};
}

int DropRegistrationCount() {
  std::lock_guard guard(R().lock);
  return static_cast<int>(R().targets.size());
}

}  // namespace ui
