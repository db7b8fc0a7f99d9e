// Timers, posted messages and messages sent between threads, as a long-running tool's
// progress window uses them: a clock ticking in a static, a worker filling a multi-line
// pane by sent messages, and a posted message when the work is done.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "ui/automation.h"
#include "ui/resources.h"
#include "ui/window.h"

namespace {

namespace ua = ui::automation;
using std::chrono::seconds;

constexpr char kScript[] = R"(
20 DIALOG 0, 0, 186, 195
STYLE WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFOREGROUND | DS_SYSMODAL
CAPTION "Progress"
BEGIN
    PUSHBUTTON      "Cancel",IDCANCEL,26,17,50,14
    LTEXT           "",255,113,17,54,13,WS_BORDER
    EDITTEXT        258,13,44,160,132,ES_MULTILINE | ES_AUTOVSCROLL
    EDITTEXT        259,13,180,160,12,ES_AUTOHSCROLL
END
)";
const EmbeddedFile kFiles[] = {{"pump.rc", reinterpret_cast<const unsigned char*>(kScript), sizeof kScript - 1}};
const ResourceModule kModule{"pump.rc", kFiles};

constexpr UINT kWorkDone = WM_USER + 1;

// Every message the dialog procedure was handed, but the ones every dialog gets.
struct Received {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  bool operator==(const Received&) const = default;
};
std::vector<Received>* received = nullptr;

INT_PTR Proc(HWND, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER || message >= WM_USER) received->push_back({message, wParam, lParam});
  return message == WM_INITDIALOG;
}

class PumpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    received = &received_;
    dialog_ = CreateDialogParam(&kModule, 20, nullptr, Proc, 0);
    ASSERT_TRUE(IsWindow(dialog_));
    pane_ = GetDlgItem(dialog_, 258);
  }
  void TearDown() override {
    DestroyWindow(dialog_);
    ua::PumpPending();
    received = nullptr;
  }
  std::vector<Received> received_;
  HWND dialog_ = nullptr;
  HWND pane_ = nullptr;
};

TEST_F(PumpTest, ATimerReachesTheDialogOncePerPeriodOnTheClock) {
  std::uint64_t now = 5000;
  const ua::ScopedClock clock([&] { return now; });
  ASSERT_EQ(SetTimer(dialog_, 120, 999, nullptr), 120u);
  EXPECT_EQ(ui::NextTimerDue(), 5999u);
  now += 998;
  EXPECT_EQ(ua::PumpPending(), 0);
  now += 1;
  EXPECT_EQ(ua::PumpPending(), 1);
  EXPECT_EQ(received_, (std::vector<Received>{{WM_TIMER, 120, 0}}));
  // Taken late, a timer is still one WM_TIMER, and the next one falls a period later.
  now += 5000;
  MSG msg{};
  EXPECT_TRUE(ui::WaitForQueued(QS_TIMER, seconds(5)));
  ASSERT_TRUE(GetMessage(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.message, WM_TIMER);
  EXPECT_EQ(msg.hwnd, dialog_);
  EXPECT_EQ(PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE), FALSE);
  now += 998;
  EXPECT_EQ(ua::PumpPending(), 0);
  now += 1;
  EXPECT_EQ(ua::PumpPending(), 1);
  // Setting it again restarts it with the new period.
  ASSERT_EQ(SetTimer(dialog_, 120, 100, nullptr), 120u);
  now += 100;
  EXPECT_EQ(ua::PumpPending(), 1);
  EXPECT_TRUE(KillTimer(dialog_, 120));
  EXPECT_FALSE(KillTimer(dialog_, 120));
  now += 5000;
  EXPECT_EQ(ua::PumpPending(), 0);
  EXPECT_EQ(SetTimer(nullptr, 1, 999, nullptr), 0u);  // no window, no timer

  // A window's timers go with it.
  ASSERT_EQ(SetTimer(dialog_, 121, 10, nullptr), 121u);
  DestroyWindow(dialog_);
  now += 5000;
  EXPECT_EQ(ua::PumpPending(), 0);
  EXPECT_EQ(ui::NextTimerDue(), std::nullopt);
}

TEST_F(PumpTest, PostedMessagesQueueInOrderFromAnyThreadAndThePosterGoesOn) {
  std::thread([&] {
    EXPECT_TRUE(PostMessage(dialog_, kWorkDone, 1, 2));
    EXPECT_TRUE(PostMessage(dialog_, kWorkDone + 1, 3, 4));
  }).join();  // the worker is gone before anything was handled
  EXPECT_TRUE(received_.empty());
  EXPECT_TRUE(PostMessage(dialog_, kWorkDone + 2, 5, 6));
  EXPECT_EQ(ua::PumpPending(), 3);
  EXPECT_EQ(received_, (std::vector<Received>{{kWorkDone, 1, 2}, {kWorkDone + 1, 3, 4}, {kWorkDone + 2, 5, 6}}));
  const HWND gone = dialog_;
  DestroyWindow(gone);
  EXPECT_FALSE(PostMessage(gone, kWorkDone, 0, 0));
}

TEST_F(PumpTest, AMultiLinePaneTakesTextCountsLinesAndScrolls) {
  const auto lines = [&] { return SendMessage(pane_, EM_GETLINECOUNT, 0, 0); };
  const auto first = [&] { return SendMessage(pane_, EM_GETFIRSTVISIBLELINE, 0, 0); };
  EXPECT_EQ(lines(), 1);  // an empty pane has one line
  ASSERT_TRUE(SetWindowText(pane_, "Starting\r\nOpened\r\n."));
  EXPECT_EQ(ua::Text(pane_), "Starting\r\nOpened\r\n.");
  EXPECT_EQ(lines(), 3);
  EXPECT_TRUE(SendMessage(pane_, EM_LINESCROLL, 0, lines()));
  EXPECT_EQ(first(), 2);  // scrolled as far as the last line
  EXPECT_TRUE(SendMessage(pane_, EM_LINESCROLL, 0, -1));
  EXPECT_EQ(first(), 1);
  SetWindowText(pane_, "a\r\nb\r\n");  // new text shows from its top; the end of a line starts one
  EXPECT_EQ(first(), 0);
  EXPECT_EQ(lines(), 3);
  ASSERT_TRUE(ua::Type(pane_, "c\rd"));
  EXPECT_EQ(ua::Text(pane_), "a\r\nb\r\nc\r\nd");
  // A single-line edit does not scroll by lines.
  const HWND single = GetDlgItem(dialog_, 259);
  SetWindowText(single, "x");
  EXPECT_FALSE(SendMessage(single, EM_LINESCROLL, 0, 1));
  EXPECT_EQ(SendMessage(single, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
}

TEST_F(PumpTest, AWorkersLogLinesAndItsDoneMessageReachTheWindow) {
  // The worker pushes each line into the pane and waits until the window's thread took
  // it, then posts that it is done; this thread only pumps.
  std::atomic<bool> finished{false};
  std::vector<LRESULT> counts;
  std::thread worker([&] {
    std::string text;
    for (int i = 0; i < 3; ++i) {
      text += "line " + std::to_string(i) + "\r\n";
      SetWindowText(pane_, text.c_str());
      const LRESULT n = SendMessage(pane_, EM_GETLINECOUNT, 0, 0);
      counts.push_back(n);
      SendMessage(pane_, EM_LINESCROLL, 0, n);
    }
    PostMessage(dialog_, kWorkDone, 0, 0);
    finished = true;
  });
  EXPECT_TRUE(ua::PumpUntil([&] { return finished && !received_.empty(); }, seconds(10)));
  worker.join();
  EXPECT_EQ(counts, (std::vector<LRESULT>{2, 3, 4}));
  EXPECT_EQ(ua::Text(pane_), "line 0\r\nline 1\r\nline 2\r\n");
  EXPECT_EQ(SendMessage(pane_, EM_GETFIRSTVISIBLELINE, 0, 0), 3);
  EXPECT_EQ(received_, (std::vector<Received>{{kWorkDone, 0, 0}}));
}

TEST_F(PumpTest, WaitingForAWorkerHandlesItsSendsButLeavesPostsQueued) {
  // A window thread that waits for its worker would never see the worker end if it did
  // not take the worker's sent messages meanwhile.
  std::atomic<bool> finished{false};
  std::thread worker([&] {
    for (int i = 0; i < 50; ++i) SetWindowText(pane_, std::to_string(i).c_str());
    PostMessage(dialog_, kWorkDone, 0, 0);
    finished = true;
  });
  EXPECT_TRUE(ui::WaitServingSent([&] { return finished.load(); }, seconds(10)));
  worker.join();
  EXPECT_EQ(ua::Text(pane_), "49");
  EXPECT_TRUE(received_.empty());  // the posted message waits for the pump
  EXPECT_EQ(ua::PumpPending(), 1);
  EXPECT_EQ(received_.size(), 1u);
  EXPECT_FALSE(ui::WaitServingSent([] { return false; }, std::chrono::milliseconds(5)));
}

TEST_F(PumpTest, TwoThreadsSendingToEachOtherBothGetTheirAnswers) {
  // The worker owns a window of its own and sends to this thread's pane while this thread
  // sends to the worker's window: each serves the other while it waits.
  std::atomic<bool> mayAsk{false}, answered{false}, mayGo{false};
  std::atomic<LRESULT> answer{0};
  std::thread worker([&] {
    const HWND theirs = ui::CreateFrameWindow("worker");
    PostMessage(dialog_, kWorkDone, 0, reinterpret_cast<LPARAM>(theirs));
    ui::WaitServingSent([&] { return mayAsk.load(); }, seconds(10));
    answer = SendMessage(pane_, WM_GETTEXTLENGTH, 0, 0);
    answered = true;
    ui::WaitServingSent([&] { return mayGo.load(); }, seconds(10));
    DestroyWindow(theirs);
  });
  ASSERT_TRUE(ua::PumpUntil([&] { return !received_.empty(); }, seconds(10)));
  const HWND theirs = reinterpret_cast<HWND>(received_[0].lParam);
  SetWindowText(pane_, "12345");
  mayAsk = true;
  EXPECT_TRUE(ui::WaitForQueued(QS_SENDMESSAGE, seconds(10)));  // the worker now waits for this thread
  EXPECT_TRUE(SetWindowText(theirs, "renamed"));                // and this thread for the worker
  EXPECT_EQ(ui::CaptionOf(theirs), "renamed");
  EXPECT_TRUE(ua::PumpUntil([&] { return answered.load(); }, seconds(10)));
  EXPECT_EQ(answer, 5);
  mayGo = true;
  worker.join();
}

TEST_F(PumpTest, ASendToAWindowThatGoesAwayReturnsNothing) {
  std::atomic<bool> returned{false};
  LRESULT result = -1;
  std::thread worker([&] {
    result = SendMessage(pane_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("late"));
    returned = true;
  });
  EXPECT_TRUE(ui::WaitForQueued(QS_SENDMESSAGE, seconds(10)));
  DestroyWindow(dialog_);  // without ever pumping
  worker.join();
  EXPECT_TRUE(returned);
  EXPECT_EQ(result, 0);
  EXPECT_FALSE(IsWindow(pane_));
}

}  // namespace
