// The processing log: long operations write each message to a log file, to an
// accumulated text and to a message pane (a multi-line edit) at once.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "ui/types.h"

namespace plenth {

// The accumulated text has room for 30000 bytes, its terminating zero included.
constexpr std::size_t kLogTextCapacity = 30000;

// Attaches the pane (may be none), creates the log file (emptying an existing one),
// empties the text, and writes the opening lines. The log works on without a file.
void OpenLog(const char* path, HWND window);
// Writes the message unchanged to the file (flushed at once), appends it to the text,
// and shows the whole text in the pane, scrolled to its end.
void LogMessage(const char* text);
// Logs a message formatted printf-style ("Unable to open directory '%s'\r\n" and a
// path), cut to the 300 bytes such messages have. The compiler checks the format
// against the arguments at every call.
[[gnu::format(printf, 1, 2)]] void LogMessageWith(const char* format, ...);
// The message LogMessageWith would log, for a caller that logs it later or not at all.
[[gnu::format(printf, 1, 2)]] std::string FormatLogMessage(const char* format, ...);
// Flushes and closes the file; harmless when there is none.
void CloseLog();

// The accumulated text (for whoever shows the log elsewhere).
std::string LogText();

// A log of the calling thread's own, for runs that do not share the module's one log (a
// library running several at once, on several threads): while it lives, OpenLog,
// LogMessage, LogMessageWith, CloseLog and LogText on this thread use it instead, and
// every message is also handed to `onMessage` (when given) as it is logged. It has no
// pane; its file, if one is opened, is closed when it goes.
class ScopedThreadLog {
 public:
  explicit ScopedThreadLog(std::function<void(const char*)> onMessage = {});
  ~ScopedThreadLog();
  ScopedThreadLog(const ScopedThreadLog&) = delete;
  ScopedThreadLog& operator=(const ScopedThreadLog&) = delete;

 private:
  struct Log;
  std::unique_ptr<Log> log_;
};

}  // namespace plenth
