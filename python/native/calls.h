// A call from Python into one of the tools' long routines: the routine runs without the
// GIL, tells Python's progress callable how far it got, hands its log lines to Python's
// log callable, and stops when the callable answers False or raises, or on Ctrl-C.
#pragma once

#include <pybind11/pybind11.h>

#include <optional>
#include <string>
#include <vector>

#include "data/processlog.h"
#include "data/progress.h"

namespace plenth::python {

namespace py = pybind11;

// The package's exceptions: Error for a run that failed (with the tools' own words),
// Cancelled (an Error) for a run stopped by its progress callable.
struct Error : std::runtime_error {
  using std::runtime_error::runtime_error;
};
struct Cancelled : Error {
  using Error::Error;
};

class Call {
 public:
  // Made with the GIL held; `progress` and `log` may be None.
  Call(py::object progress, py::object log);
  ~Call();
  Call(const Call&) = delete;
  Call& operator=(const Call&) = delete;

  // The routine's progress: each report goes to the callable as done / total (the first,
  // the last, and those a thousandth or more past the last one called), and answers
  // whether to go on.
  // Called without the GIL, on the thread of the call.
  Progress progress();
  // A report as a fraction; false once the run is to stop.
  bool Report(double fraction);
  // Whether the run was asked to stop (by the callable or by Ctrl-C).
  bool stopped() const { return stopped_; }

  // The routine's log lines so far (a line's "\r\n" taken off, the progress dots left out).
  const std::vector<std::string>& lines() const { return lines_; }

  // With the GIL held again, after the routine: the callable's exception (or Ctrl-C's)
  // raised again, or Cancelled when the callable asked to stop; nothing otherwise.
  void RaiseIfStopped();

 private:
  void Logged(const char* text);
  void EndLine();

  py::object progress_;
  py::object log_;
  bool stopped_ = false;
  std::optional<py::error_already_set> error_;
  double lastReport_ = 0;
  bool reported_ = false;
  std::string line_;
  std::vector<std::string> lines_;
  std::optional<ScopedThreadLog> threadLog_;
};

// Raises Error with the routine's last log line, or `otherwise` when it logged none.
[[noreturn]] void Fail(const Call& call, const std::string& otherwise);

}  // namespace plenth::python
