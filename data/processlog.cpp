#include "data/processlog.h"

#include <cstdarg>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>

#include "com/utf8.h"
#include "ui/window.h"

namespace plenth {
namespace {

struct ProcessLog {
  std::FILE* file = nullptr;
  HWND window = nullptr;
  std::string text;
  std::function<void(const char*)> onMessage;
};

// The log of this thread's innermost ScopedThreadLog, when one lives.
thread_local ProcessLog* threadLog = nullptr;

ProcessLog& TheLog() {
  static ProcessLog log;
  return threadLog ? *threadLog : log;
}

// Keeps the newest text within the capacity: the oldest lines go first, and a cut
// never splits a UTF-8 character.
void KeepNewest(std::string& text) {
  const std::size_t room = kLogTextCapacity - 1;
  if (text.size() <= room) return;
  std::size_t cut = text.size() - room;
  const std::size_t lineStart = text.find('\n', cut);
  if (lineStart != std::string::npos && lineStart + 1 < text.size())
    cut = lineStart + 1;
  else
    cut = com::Utf8NextCharStart(text, cut);
  text.erase(0, cut);
}

// printf-style formatting into a buffer of `size` bytes (terminator included), cut
// without splitting a character. The format is checked against its arguments wherever
// it is written.
[[gnu::format(printf, 2, 0)]] std::string FormatV(std::size_t size, const char* format, std::va_list arguments) {
  std::va_list again;
  va_copy(again, arguments);
  const int n = std::vsnprintf(nullptr, 0, format, arguments);
  std::string out(static_cast<std::size_t>(n > 0 ? n : 0) + 1, '\0');
  std::vsnprintf(out.data(), out.size(), format, again);
  va_end(again);
  out.pop_back();
  return std::string(com::CutUtf8(out, size - 1));
}

[[gnu::format(printf, 2, 3)]] std::string Format(std::size_t size, const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  std::string out = FormatV(size, format, arguments);
  va_end(arguments);
  return out;
}

}  // namespace

void OpenLog(const char* path, HWND window) {
  ProcessLog& log = TheLog();
  log.window = window;
  if (log.file) std::fclose(log.file);
  log.file = path ? std::fopen(path, "wb") : nullptr;
  log.text.clear();
  LogMessage("Starting to Process Slope Length\r\n");
  const char* shown = path ? path : "";
  if (log.file)
    LogMessage(Format(260, "Opened Logfile : %s\r\n", shown).c_str());
  else
    LogMessage(Format(260, "Unable To Open Logfile : %s.  Continuing...\r\n\r", shown).c_str());
}

void LogMessage(const char* text) {
  ProcessLog& log = TheLog();
  if (!text) return;
  if (log.file) {
    std::fputs(text, log.file);
    std::fflush(log.file);
  }
  log.text += text;
  KeepNewest(log.text);
  if (log.onMessage) log.onMessage(text);
  if (IsWindow(log.window)) {
    SetWindowText(log.window, log.text.c_str());
    const LRESULT lines = SendMessage(log.window, EM_GETLINECOUNT, 0, 0);
    SendMessage(log.window, EM_LINESCROLL, 0, lines);
  }
}

void LogMessageWith(const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  const std::string message = FormatV(300, format, arguments);
  va_end(arguments);
  LogMessage(message.c_str());
}

std::string FormatLogMessage(const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  std::string message = FormatV(300, format, arguments);
  va_end(arguments);
  return message;
}

void CloseLog() {
  ProcessLog& log = TheLog();
  if (!log.file) return;
  std::fflush(log.file);
  std::fclose(log.file);
  log.file = nullptr;
}

std::string LogText() { return TheLog().text; }

struct ScopedThreadLog::Log {
  ProcessLog log;
  ProcessLog* previous;
};

ScopedThreadLog::ScopedThreadLog(std::function<void(const char*)> onMessage) : log_(new Log{{}, threadLog}) {
  log_->log.onMessage = std::move(onMessage);
  threadLog = &log_->log;
}

ScopedThreadLog::~ScopedThreadLog() {
  CloseLog();
  threadLog = log_->previous;
}

}  // namespace plenth
