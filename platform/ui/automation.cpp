#include "ui/automation.h"

#include <mutex>
#include <thread>
#include <utility>

#include "ui/commdlg.h"
#include "ui/internal.h"
#include "ui/msgbox.h"
#include "ui/window.h"

namespace ui::automation {
namespace {

struct Screen {
  std::mutex lock;
  User user;
  MessageBoxHandler messageBoxes;
  SaveFileHandler saveFile;
  std::vector<MessageBoxRecord> recorded;
  std::vector<std::string> unanswered;
  Clock clock;
  std::uint64_t actions = 0;  // every action a person took
};

Screen& TheScreen() {
  static Screen* screen = new Screen;
  return *screen;
}

thread_local std::string refusal;

bool Refuse(std::string why) {
  refusal = std::move(why);
  return false;
}

void Acted() {
  std::lock_guard guard(TheScreen().lock);
  ++TheScreen().actions;
}

// A person can only use a control that exists, is shown and is enabled.
bool Usable(HWND control, const char* what) {
  if (!IsWindow(control)) return Refuse(std::string("no such control to ") + what);
  if (!IsWindowVisible(control)) return Refuse(std::string("the control to ") + what + " is hidden");
  if (!IsWindowEnabled(control)) return Refuse(std::string("the control to ") + what + " is disabled");
  return true;
}

// Decodes one UTF-8 character at s[i], advancing i.
char32_t NextChar(std::string_view s, std::size_t& i) {
  const auto c = static_cast<unsigned char>(s[i++]);
  if (c < 0x80) return c;
  int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : 1;
  char32_t cp = c & (0x3F >> extra);
  while (extra-- > 0 && i < s.size()) cp = (cp << 6) | (static_cast<unsigned char>(s[i++]) & 0x3F);
  return cp;
}

}  // namespace

ScopedUser::ScopedUser(User user) {
  std::lock_guard guard(TheScreen().lock);
  previous_ = std::exchange(TheScreen().user, std::move(user));
}
ScopedUser::~ScopedUser() {
  std::lock_guard guard(TheScreen().lock);
  TheScreen().user = std::move(previous_);
}

bool Click(HWND control) {
  if (!Usable(control, "click")) return false;
  Acted();
  SendMessage(control, BM_CLICK, 0, 0);
  return true;
}

bool Click(HWND dialog, int id) { return Click(GetDlgItem(dialog, id)); }

bool Focus(HWND control) {
  if (!Usable(control, "focus")) return false;
  Acted();
  SetFocus(control);
  return true;
}

bool Type(HWND control, std::string_view text) {
  if (!Focus(control)) return false;
  for (std::size_t i = 0; i < text.size();) SendMessage(control, WM_CHAR, NextChar(text, i), 0);
  return true;
}

bool Replace(HWND control, std::string_view text) {
  if (!Focus(control)) return false;
  const std::string s(text);
  SendMessage(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(s.c_str()));
  if (ClassOf(control) == "ComboBox") {
    detail::Notify(*detail::Find(control), CBN_EDITUPDATE);
    detail::Notify(*detail::Find(control), CBN_EDITCHANGE);
  }
  return true;
}

bool Pick(HWND combo, std::string_view item) {
  if (!Usable(combo, "pick from")) return false;
  if (ClassOf(combo) != "ComboBox") return Refuse("not a combo box");
  const auto items = Items(combo);
  int index = -1;
  for (std::size_t i = 0; i < items.size(); ++i)
    if (items[i] == item) {
      index = static_cast<int>(i);
      break;
    }
  if (index < 0) return Refuse("the list has no entry \"" + std::string(item) + "\"");
  Focus(combo);
  const auto w = detail::Find(combo);
  detail::Notify(*w, CBN_DROPDOWN);
  SendMessage(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  detail::Notify(*w, CBN_SELCHANGE);
  detail::Notify(*w, CBN_SELENDOK);
  detail::Notify(*w, CBN_CLOSEUP);
  return true;
}

bool PressEnter(HWND dialog) {
  // Enter presses the dialog's default button when it can be pressed.
  const auto w = detail::Find(dialog);
  if (!w) return Refuse("no such dialog");
  for (HWND c : w->children) {
    if (ClassOf(c) == "Button" && (StyleOf(c) & BS_TYPEMASK) == BS_DEFPUSHBUTTON) return Click(c);
  }
  return Click(GetDlgItem(dialog, IDOK));
}

bool Close(HWND window) {
  if (!IsWindow(window)) return Refuse("no such window");
  Acted();
  SendMessage(window, WM_CLOSE, 0, 0);
  return true;
}

std::string LastRefusal() { return refusal; }

std::string Text(HWND window) {
  const int n = GetWindowTextLength(window);
  std::string s(static_cast<std::size_t>(n) + 1, '\0');
  s.resize(static_cast<std::size_t>(GetWindowText(window, s.data(), n + 1)));
  return s;
}

bool Enabled(HWND window) { return IsWindowEnabled(window) != FALSE; }
bool Visible(HWND window) { return IsWindowVisible(window) != FALSE; }
bool Checked(HWND button) { return SendMessage(button, BM_GETCHECK, 0, 0) == BST_CHECKED; }

std::vector<std::string> Items(HWND combo) {
  const auto w = detail::Find(combo);
  return w ? w->items : std::vector<std::string>{};
}

int Selection(HWND combo) { return static_cast<int>(SendMessage(combo, CB_GETCURSEL, 0, 0)); }

HWND Control(HWND dialog, int id) { return GetDlgItem(dialog, id); }

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
  std::lock_guard guard(TheScreen().lock);
  return std::exchange(TheScreen().messageBoxes, std::move(handler));
}

std::vector<MessageBoxRecord> TakeMessageBoxes() {
  std::lock_guard guard(TheScreen().lock);
  return std::exchange(TheScreen().recorded, {});
}

SaveFileHandler SetSaveFileHandler(SaveFileHandler handler) {
  std::lock_guard guard(TheScreen().lock);
  return std::exchange(TheScreen().saveFile, std::move(handler));
}

int PumpPending() {
  int handled = 0;
  MSG msg;
  while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
    DispatchMessage(&msg);
    ++handled;
  }
  return handled;
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    if (PumpPending() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

void SetClock(Clock clock) {
  std::lock_guard guard(TheScreen().lock);
  TheScreen().clock = std::move(clock);
}

std::uint64_t Now() {
  Clock clock;
  {
    std::lock_guard guard(TheScreen().lock);
    clock = TheScreen().clock;
  }
  if (clock) return clock();
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}

std::vector<std::string> TakeUnansweredDialogs() {
  std::lock_guard guard(TheScreen().lock);
  return std::exchange(TheScreen().unanswered, {});
}

}  // namespace ui::automation

namespace ui::detail {

bool ActAsUser(HWND dialog) {
  automation::User user;
  std::uint64_t before;
  {
    auto& s = automation::TheScreen();
    std::lock_guard guard(s.lock);
    user = s.user;
    before = s.actions;
  }
  if (!user) return false;
  user(dialog);
  auto& s = automation::TheScreen();
  std::lock_guard guard(s.lock);
  return s.actions != before;
}

void RecordUnanswered(const std::string& what) {
  auto& s = automation::TheScreen();
  std::lock_guard guard(s.lock);
  s.unanswered.push_back(what);
}

}  // namespace ui::detail

int MessageBox(HWND owner, const char* text, const char* caption, UINT type) {
  using namespace ui::automation;
  const MessageBoxRecord record{owner, caption ? caption : "Error", text ? text : "", type};
  MessageBoxHandler handler;
  {
    auto& s = TheScreen();
    std::lock_guard guard(s.lock);
    handler = s.messageBoxes;
    if (!handler) s.recorded.push_back(record);
  }
  return handler ? handler(record) : IDOK;
}

BOOL GetSaveFileName(OPENFILENAME* ofn) {
  using namespace ui::automation;
  if (!ofn || !ofn->lpstrFile || ofn->nMaxFile == 0) return FALSE;
  SaveFileHandler handler;
  {
    auto& s = TheScreen();
    std::lock_guard guard(s.lock);
    handler = s.saveFile;
  }
  if (!handler) return FALSE;
  const SaveFileRequest request{ofn->hwndOwner, ofn->lpstrTitle ? ofn->lpstrTitle : "",
                                ofn->lpstrInitialDir ? ofn->lpstrInitialDir : "", ofn->lpstrFile, ofn->Flags};
  const auto chosen = handler(request);
  if (!chosen || chosen->size() + 1 > ofn->nMaxFile) return FALSE;
  ui::detail::CopyText(*chosen, ofn->lpstrFile, ofn->nMaxFile);
  if (ofn->lpstrFileTitle && ofn->nMaxFileTitle) {
    const auto slash = chosen->find_last_of("/\\:");
    ui::detail::CopyText(chosen->substr(slash == std::string::npos ? 0 : slash + 1), ofn->lpstrFileTitle,
                         ofn->nMaxFileTitle);
  }
  return TRUE;
}
