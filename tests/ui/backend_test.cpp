// The seam between the window layer and whatever shows its windows: a backend that
// records what it is told and answers for the person at the screen.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <thread>

#include "ui/automation.h"
#include "ui/backend.h"
#include "ui/commdlg.h"
#include "ui/headless.h"
#include "ui/msgbox.h"
#include "ui/resources.h"
#include "ui/window.h"

namespace {

namespace ua = ui::automation;
using ui::WindowChange;

constexpr char kScript[] = R"(
30 DIALOG 0, 0, 200, 100
STYLE DS_MODALFRAME | WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU
CAPTION "Seam"
BEGIN
    DEFPUSHBUTTON   "OK",IDOK,1,1,50,14
    PUSHBUTTON      "Cancel",IDCANCEL,1,20,50,14
    EDITTEXT        100,1,40,50,40,ES_MULTILINE
    COMBOBOX        101,1,60,50,40,CBS_DROPDOWNLIST
    AUTOCHECKBOX    "Check",102,60,1,40,10
END
)";
const EmbeddedFile kFiles[] = {{"seam.rc", reinterpret_cast<const unsigned char*>(kScript), sizeof kScript - 1}};
const ResourceModule kModule{"seam.rc", kFiles};

bool initialised = false;

INT_PTR SeamProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) initialised = true;
  if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    EndDialog(dialog, LOWORD(wParam));
    return TRUE;
  }
  return message == WM_INITDIALOG;
}

// Records what the window layer tells it, answers for the person, and leaves waiting
// and waking to the headless backend.
class RecordingBackend : public ui::Backend {
 public:
  struct Event {
    std::string what;
    HWND window;
    std::string seen;  // what the window showed at that moment
  };

  int ShowMessageBox(const ui::MessageBoxRequest& box) override {
    boxes.push_back(box);
    return IDYES;
  }
  std::optional<std::string> ChooseSaveFile(const ui::SaveFileRequest& request) override {
    saveRequests.push_back(request);
    return chosenPath;
  }
  bool AwaitInput(HWND dialog) override {
    ++awaited;
    return person && person(dialog);
  }
  void Wait(std::optional<std::chrono::milliseconds> atMost) override { ui::Headless().Wait(atMost); }
  void Wake(std::thread::id thread) override {
    {
      std::lock_guard guard(lock);
      woken.push_back(thread);
    }
    ui::Headless().Wake(thread);
  }
  std::uint64_t Now() override { return now; }
  void WindowCreated(HWND window) override {
    events.push_back({"created " + ui::ClassOf(window) + (initialised ? " after init" : " before init"), window,
                      std::to_string(ui::ChildrenOf(window).size()) + " controls"});
  }
  void WindowChanged(HWND window, WindowChange what) override {
    static const char* names[] = {"text", "enabled", "visible", "focus", "check", "image", "items", "selection", "scroll"};
    std::string seen;
    switch (what) {
      case WindowChange::kText: seen = ui::TextOf(window); break;
      case WindowChange::kEnabled: seen = IsWindowEnabled(window) ? "on" : "off"; break;
      case WindowChange::kCheck: seen = ua::Checked(window) ? "checked" : "unchecked"; break;
      case WindowChange::kItems: seen = std::to_string(ua::Items(window).size()); break;
      case WindowChange::kSelection: seen = std::to_string(ua::Selection(window)); break;
      case WindowChange::kScroll: seen = std::to_string(SendMessage(window, EM_GETFIRSTVISIBLELINE, 0, 0)); break;
      case WindowChange::kFocus: seen = GetFocus() == window ? "has it" : "lost it"; break;
      default: break;
    }
    events.push_back({names[static_cast<int>(what)], window, seen});
  }
  void WindowDestroyed(HWND window) override {
    events.push_back({"destroyed", window, IsWindow(window) ? ui::ClassOf(window) : "(gone)"});
  }

  std::vector<Event> Take() { return std::exchange(events, {}); }

  std::vector<Event> events;
  std::vector<ui::MessageBoxRequest> boxes;
  std::vector<ui::SaveFileRequest> saveRequests;
  std::optional<std::string> chosenPath;
  std::function<bool(HWND)> person;
  int awaited = 0;
  std::uint64_t now = 0;
  std::mutex lock;
  std::vector<std::thread::id> woken;
};

class BackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    initialised = false;
    ua::TakeUnansweredDialogs();
    previous_ = ui::SetBackend(&backend_);
  }
  void TearDown() override {
    ui::SetBackend(previous_);
    ua::PumpPending();
  }
  RecordingBackend backend_;
  ui::Backend* previous_ = nullptr;
};

TEST_F(BackendTest, InstallingReplacesTheHeadlessBackendAndGivesItBack) {
  EXPECT_EQ(previous_, &ui::Headless());
  EXPECT_EQ(&ui::CurrentBackend(), &backend_);
  EXPECT_EQ(ui::SetBackend(nullptr), &backend_);
  EXPECT_EQ(&ui::CurrentBackend(), &ui::Headless());
  ui::SetBackend(&backend_);
}

TEST_F(BackendTest, TheBackendHearsWhatHappensToTheWindows) {
  const HWND d = CreateDialogParam(&kModule, 30, nullptr, SeamProc, 0);
  ASSERT_TRUE(IsWindow(d));
  auto events = backend_.Take();
  ASSERT_FALSE(events.empty());
  // Announced once its controls exist, before its procedure sets it up; shown after.
  EXPECT_EQ(events.front().what, "created #32770 before init");
  EXPECT_EQ(events.front().window, d);
  EXPECT_EQ(events.front().seen, "5 controls");
  EXPECT_EQ(events.back().what, "visible");
  EXPECT_EQ(ui::TemplateOf(d)->caption, "Seam");
  EXPECT_EQ(ui::TemplateOf(GetDlgItem(d, 100)), nullptr);

  const HWND edit = GetDlgItem(d, 100), combo = GetDlgItem(d, 101), check = GetDlgItem(d, 102);
  const auto one = [&](const std::string& what, HWND window, const std::string& seen) {
    SCOPED_TRACE(what);
    const auto got = backend_.Take();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].what, what);
    EXPECT_EQ(got[0].window, window);
    EXPECT_EQ(got[0].seen, seen);
  };
  SetWindowText(d, "Renamed");
  one("text", d, "Renamed");
  SetWindowText(edit, "a\r\nb\r\nc");
  one("text", edit, "a\r\nb\r\nc");
  SendMessage(edit, EM_LINESCROLL, 0, 2);
  one("scroll", edit, "2");
  EnableWindow(edit, FALSE);
  one("enabled", edit, "off");
  EnableWindow(edit, FALSE);  // no change, no news
  EXPECT_TRUE(backend_.Take().empty());
  SendMessage(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("elev"));
  one("items", combo, "1");
  SendMessage(combo, CB_SETCURSEL, 0, 0);
  one("selection", combo, "0");
  CheckDlgButton(d, 102, BST_CHECKED);
  one("check", check, "checked");
  ShowWindow(check, SW_HIDE);
  one("visible", check, "");
  const HWND focused = GetFocus();
  ASSERT_NE(focused, nullptr);  // the dialog's first tab stop
  SetFocus(combo);
  events = backend_.Take();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].window, focused);
  EXPECT_EQ(events[0].seen, "lost it");
  EXPECT_EQ(events[1].window, combo);
  EXPECT_EQ(events[1].seen, "has it");

  // A person's click on the check box is news too, before the dialog hears of it.
  ShowWindow(check, SW_SHOW);
  backend_.Take();
  ASSERT_TRUE(ua::Click(check));
  one("check", check, "unchecked");

  DestroyWindow(d);
  events = backend_.Take();
  ASSERT_EQ(events.size(), 6u);  // every control, then the dialog, each still readable
  for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(events[i].what, "destroyed");
  EXPECT_EQ(events[0].seen, "Button");
  EXPECT_EQ(events[4].window, check);
  EXPECT_EQ(events[5].window, d);
  EXPECT_EQ(events[5].seen, "#32770");
}

TEST_F(BackendTest, MessageBoxesTheSaveDialogAndTheClockComeFromTheBackend) {
  EXPECT_EQ(MessageBox(nullptr, "Unable to Start Process", "Error", MB_OK | MB_ICONERROR), IDYES);
  EXPECT_EQ(MessageBox(nullptr, "no caption", nullptr, MB_OK), IDYES);
  ASSERT_EQ(backend_.boxes.size(), 2u);
  EXPECT_EQ(backend_.boxes[0].text, "Unable to Start Process");
  EXPECT_EQ(backend_.boxes[0].type, MB_OK | MB_ICONERROR);
  EXPECT_EQ(backend_.boxes[1].caption, "Error");  // as the system names a box without a caption
  EXPECT_TRUE(ua::TakeMessageBoxes().empty());   // the headless backend saw none of them

  char path[16] = "start";
  char title[8] = "";
  OPENFILENAME ofn{};
  ofn.lpstrFile = path;
  ofn.nMaxFile = sizeof path;
  ofn.lpstrFileTitle = title;
  ofn.nMaxFileTitle = sizeof title;
  ofn.lpstrTitle = "Save As";
  EXPECT_FALSE(GetSaveFileName(&ofn));  // cancelled
  backend_.chosenPath = "out/elev.dat";
  EXPECT_TRUE(GetSaveFileName(&ofn));
  EXPECT_STREQ(path, "out/elev.dat");
  EXPECT_STREQ(title, "elev.da");  // cut to its buffer
  ASSERT_EQ(backend_.saveRequests.size(), 2u);
  EXPECT_EQ(backend_.saveRequests[0].fileName, "start");
  EXPECT_EQ(backend_.saveRequests[0].title, "Save As");
  backend_.chosenPath = "a/path/longer/than/the/buffer";
  EXPECT_FALSE(GetSaveFileName(&ofn));

  backend_.now = 123456;
  EXPECT_EQ(ui::Now(), 123456u);
  const HWND frame = ui::CreateFrameWindow("clock");
  ASSERT_EQ(SetTimer(frame, 1, 1000, nullptr), 1u);
  backend_.now += 999;
  EXPECT_EQ(ua::PumpPending(), 0);
  backend_.now += 1;
  EXPECT_EQ(ua::PumpPending(), 1);
  DestroyWindow(frame);
}

TEST_F(BackendTest, AModalDialogWaitsOnTheBackendForThePerson) {
  int turns = 0;
  backend_.person = [&](HWND dialog) {
    if (++turns < 3) return true;  // something else happened; the dialog waits on
    return ua::Click(dialog, IDOK);
  };
  EXPECT_EQ(DialogBoxParam(&kModule, 30, nullptr, SeamProc, 0), IDOK);
  EXPECT_EQ(backend_.awaited, 3);
  // Nobody at the screen: closed as with the close box.
  backend_.person = nullptr;
  EXPECT_EQ(DialogBoxParam(&kModule, 30, nullptr, SeamProc, 0), IDCANCEL);
  EXPECT_TRUE(ua::TakeUnansweredDialogs().empty());  // that is for the headless backend to tell
}

TEST_F(BackendTest, PostsSendsAndTimersWakeTheWindowsThread) {
  const HWND frame = ui::CreateFrameWindow("target");
  const auto self = std::this_thread::get_id();
  std::thread::id workerId;
  std::atomic<bool> sent{false};
  std::thread worker([&] {
    workerId = std::this_thread::get_id();
    PostMessage(frame, WM_USER, 0, 0);
    SetWindowText(frame, "from the worker");
    sent = true;
  });
  MSG msg{};
  ASSERT_TRUE(GetMessage(&msg, nullptr, 0, 0));  // asleep until the post woke it
  EXPECT_EQ(msg.message, WM_USER);
  EXPECT_TRUE(ua::PumpUntil([&] { return sent.load(); }, std::chrono::seconds(10)));
  worker.join();
  EXPECT_EQ(ui::TextOf(frame), "from the worker");
  SetTimer(frame, 7, 50, nullptr);
  std::lock_guard guard(backend_.lock);
  EXPECT_GE(std::count(backend_.woken.begin(), backend_.woken.end(), self), 3);  // post, send, timer
  EXPECT_EQ(std::count(backend_.woken.begin(), backend_.woken.end(), workerId), 1);  // its answer
  DestroyWindow(frame);
}

}  // namespace
