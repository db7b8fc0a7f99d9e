#include "native/calls.h"

#include <utility>

namespace plenth::python {

namespace {

// Reports closer together than this are passed over: a callable is called at most a
// thousand times in a run, whatever the number of steps.
constexpr double kReportStep = 0.001;

}  // namespace

Call::Call(py::object progress, py::object log) : progress_(std::move(progress)), log_(std::move(log)) {
  threadLog_.emplace([this](const char* text) { Logged(text); });
}

Call::~Call() = default;

Progress Call::progress() {
  return [this](std::string_view, std::int64_t done, std::int64_t total) {
    return Report(total > 0 ? static_cast<double>(done) / static_cast<double>(total) : 0.0);
  };
}

bool Call::Report(double fraction) {
  if (stopped_) return false;
  if (reported_ && fraction < 1.0 && fraction - lastReport_ < kReportStep) return true;
  reported_ = true;
  lastReport_ = fraction;
  py::gil_scoped_acquire gil;
  try {
    if (PyErr_CheckSignals() != 0) throw py::error_already_set();  // Ctrl-C
    if (progress_.is_none()) return true;
    const py::object answer = progress_(fraction);
    if (!answer.is_none()) {
      const int goOn = PyObject_IsTrue(answer.ptr());
      if (goOn < 0) throw py::error_already_set();
      if (goOn == 0) stopped_ = true;
    }
  } catch (py::error_already_set& e) {
    error_.emplace(std::move(e));
    stopped_ = true;
  }
  return !stopped_;
}

void Call::Logged(const char* text) {
  const std::string_view message(text);
  // The dots of a run's progress marks are not lines of its log.
  if (!message.empty() && message.find_first_not_of('.') == std::string_view::npos) return;
  for (const char c : message) {
    if (c == '\n')
      EndLine();
    else if (c != '\r')
      line_ += c;
  }
}

void Call::EndLine() {
  lines_.push_back(std::move(line_));
  line_.clear();
  if (log_.is_none() || error_) return;
  py::gil_scoped_acquire gil;
  try {
    log_(lines_.back());
  } catch (py::error_already_set& e) {
    error_.emplace(std::move(e));
    stopped_ = true;
  }
}

void Call::RaiseIfStopped() {
  {
    py::gil_scoped_release release;  // EndLine takes the GIL itself
    if (!line_.empty()) EndLine();
  }
  threadLog_.reset();
  if (error_) {
    py::error_already_set error = std::move(*error_);
    error_.reset();
    throw error;
  }
  if (stopped_) throw Cancelled("the run was stopped by its progress callable");
}

void Fail(const Call& call, const std::string& otherwise) {
  for (auto line = call.lines().rbegin(); line != call.lines().rend(); ++line) {
    const auto start = line->find_first_not_of(' ');
    if (start != std::string::npos) throw Error(line->substr(start));
  }
  throw Error(otherwise);
}

}  // namespace plenth::python
