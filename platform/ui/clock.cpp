#include "ui/clock.h"

#include <ctime>
#include <mutex>
#include <utility>

namespace ui {
namespace {

std::mutex lock;
TimeSource& Source() {
  static TimeSource* source = new TimeSource;
  return *source;
}

}  // namespace

std::int64_t TimeNow() {
  TimeSource source;
  {
    std::lock_guard guard(lock);
    source = Source();
  }
  return source ? source() : static_cast<std::int64_t>(std::time(nullptr));
}

TimeSource SetTimeSource(TimeSource source) {
  std::lock_guard guard(lock);
  return std::exchange(Source(), std::move(source));
}

}  // namespace ui
