#include "ui/headless.h"

#include <utility>

#include "ui/resources.h"
#include "ui/window.h"

namespace ui {

HeadlessBackend::User HeadlessBackend::SetUser(User user) {
  std::lock_guard guard(lock_);
  return std::exchange(user_, std::move(user));
}

HeadlessBackend::MessageBoxHandler HeadlessBackend::SetMessageBoxHandler(MessageBoxHandler handler) {
  std::lock_guard guard(lock_);
  return std::exchange(messageBoxes_, std::move(handler));
}

HeadlessBackend::SaveFileHandler HeadlessBackend::SetSaveFileHandler(SaveFileHandler handler) {
  std::lock_guard guard(lock_);
  return std::exchange(saveFile_, std::move(handler));
}

Clock HeadlessBackend::SetClock(Clock clock) {
  std::lock_guard guard(lock_);
  return std::exchange(clock_, std::move(clock));
}

void HeadlessBackend::NoteAction() {
  std::lock_guard guard(lock_);
  ++actions_;
}

std::vector<MessageBoxRequest> HeadlessBackend::TakeMessageBoxes() {
  std::lock_guard guard(lock_);
  return std::exchange(recorded_, {});
}

std::vector<std::string> HeadlessBackend::TakeUnansweredDialogs() {
  std::lock_guard guard(lock_);
  return std::exchange(unanswered_, {});
}

int HeadlessBackend::ShowMessageBox(const MessageBoxRequest& box) {
  MessageBoxHandler handler;
  {
    std::lock_guard guard(lock_);
    handler = messageBoxes_;
    if (!handler) recorded_.push_back(box);
  }
  return handler ? handler(box) : IDOK;
}

std::optional<std::string> HeadlessBackend::ChooseSaveFile(const SaveFileRequest& request) {
  SaveFileHandler handler;
  {
    std::lock_guard guard(lock_);
    handler = saveFile_;
  }
  if (!handler) return std::nullopt;
  return handler(request);
}

bool HeadlessBackend::AwaitInput(HWND dialog) {
  User user;
  std::uint64_t before;
  {
    std::lock_guard guard(lock_);
    user = user_;
    before = actions_;
  }
  if (user) user(dialog);
  {
    std::lock_guard guard(lock_);
    if (actions_ != before) return true;
    // A dialog that stays open after the close box is reported once.
    if (std::exchange(lastUnanswered_, dialog) == dialog) return false;
  }
  const DialogTemplate* made = TemplateOf(dialog);
  const std::string what =
      "dialog \"" + CaptionOf(dialog) + "\" (" + std::to_string(made ? made->id : 0) + ")";
  std::lock_guard guard(lock_);
  unanswered_.push_back(what);
  return false;
}

void HeadlessBackend::Wait(std::optional<std::chrono::milliseconds> atMost) {
  const auto self = std::this_thread::get_id();
  std::unique_lock guard(lock_);
  const auto woken = [&] { return wakes_.count(self) > 0; };
  if (atMost)
    woken_.wait_for(guard, *atMost, woken);
  else
    woken_.wait(guard, woken);
  wakes_.erase(self);
}

void HeadlessBackend::Wake(std::thread::id thread) {
  {
    std::lock_guard guard(lock_);
    wakes_.insert(thread);
  }
  woken_.notify_all();
}

std::uint64_t HeadlessBackend::Now() {
  Clock clock;
  {
    std::lock_guard guard(lock_);
    clock = clock_;
  }
  if (clock) return clock();
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count());
}

HeadlessBackend& Headless() {
  static HeadlessBackend* headless = new HeadlessBackend;
  return *headless;
}

}  // namespace ui
