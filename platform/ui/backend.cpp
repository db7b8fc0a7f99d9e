#include "ui/backend.h"

#include <atomic>

#include "ui/clock.h"
#include "ui/headless.h"

namespace ui {
namespace {

std::atomic<Backend*> installed{nullptr};  // null: the headless backend

}  // namespace

Backend& CurrentBackend() {
  Backend* backend = installed.load(std::memory_order_acquire);
  return backend ? *backend : Headless();
}

Backend* SetBackend(Backend* backend) {
  Backend* previous = installed.exchange(backend, std::memory_order_acq_rel);
  return previous ? previous : &Headless();
}

std::uint64_t Now() { return CurrentBackend().Now(); }

}  // namespace ui
