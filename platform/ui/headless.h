// The headless backend: no screen at all. Whoever drives the process (a test, the
// command-line host, through ui/automation.h) puts a person at the screen, answers
// message boxes and the save-file dialog, and may replace the clock.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "ui/backend.h"
#include "ui/clock.h"

namespace ui {

class HeadlessBackend final : public Backend {
 public:
  // Called when a modal dialog waits for input; it acts through the automation API, or
  // does nothing and the person is taken to have walked away.
  using User = std::function<void(HWND dialog)>;
  // Answers a message box with the button pressed.
  using MessageBoxHandler = std::function<int(const MessageBoxRequest&)>;
  // Answers the save-file dialog with a path, or nothing for Cancel.
  using SaveFileHandler = std::function<std::optional<std::string>(const SaveFileRequest&)>;

  // Each setter returns what it replaces.
  User SetUser(User user);
  // Without a handler, message boxes are recorded and answered with OK.
  MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);
  // Without a handler, the save-file dialog is cancelled.
  SaveFileHandler SetSaveFileHandler(SaveFileHandler handler);
  // Without a clock, the process's steady clock.
  Clock SetClock(Clock clock);

  // A person did something (the automation API reports every action it takes).
  void NoteAction();
  std::vector<MessageBoxRequest> TakeMessageBoxes();
  // The dialogs that were closed because nobody answered them: "dialog \"caption\" (id)".
  std::vector<std::string> TakeUnansweredDialogs();

  int ShowMessageBox(const MessageBoxRequest& box) override;
  std::optional<std::string> ChooseSaveFile(const SaveFileRequest& request) override;
  bool AwaitInput(HWND dialog) override;
  void Wait(std::optional<std::chrono::milliseconds> atMost) override;
  void Wake(std::thread::id thread) override;
  std::uint64_t Now() override;

 private:
  std::mutex lock_;
  User user_;
  MessageBoxHandler messageBoxes_;
  SaveFileHandler saveFile_;
  Clock clock_;
  std::vector<MessageBoxRequest> recorded_;
  std::vector<std::string> unanswered_;
  HWND lastUnanswered_ = nullptr;
  std::uint64_t actions_ = 0;
  std::condition_variable woken_;
  std::set<std::thread::id> wakes_;  // threads woken and not yet waiting
};

// The process's headless backend (installed unless another backend is).
HeadlessBackend& Headless();

}  // namespace ui
