#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "data/processlog.h"
#include "ui/automation.h"
#include "ui/resources.h"
#include "ui/window.h"

namespace {

namespace fs = std::filesystem;
namespace ua = ui::automation;

constexpr char kScript[] = R"(
1 DIALOG 0, 0, 186, 195
STYLE WS_VISIBLE | WS_CAPTION
CAPTION "Pane"
BEGIN
    EDITTEXT 258,13,44,160,132,ES_MULTILINE | ES_AUTOVSCROLL
END
)";
const EmbeddedFile kFiles[] = {{"pane.rc", reinterpret_cast<const unsigned char*>(kScript), sizeof kScript - 1}};
const ResourceModule kModule{"pane.rc", kFiles};

INT_PTR PaneProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

std::string FileText(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class ProcessLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("plenth-log-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    dialog_ = CreateDialogParam(&kModule, 1, nullptr, PaneProc, 0);
    pane_ = GetDlgItem(dialog_, 258);
  }
  void TearDown() override {
    plenth::CloseLog();
    plenth::OpenLog(nullptr, nullptr);  // detach the pane before it goes
    DestroyWindow(dialog_);
    fs::remove_all(dir_);
  }
  fs::path dir_;
  HWND dialog_ = nullptr;
  HWND pane_ = nullptr;
};

TEST_F(ProcessLogTest, MessagesReachFileTextAndPane) {
  const std::string path = (dir_ / "EffortSurface_log.txt").string();
  plenth::OpenLog(path.c_str(), pane_);
  const std::string opening = "Starting to Process Slope Length\r\nOpened Logfile : " + path + "\r\n";
  EXPECT_EQ(FileText(path), opening);  // flushed at once
  plenth::LogMessage("100% done with %s\r\n");
  plenth::LogMessage(".");
  EXPECT_EQ(FileText(path), opening + "100% done with %s\r\n.");
  EXPECT_EQ(plenth::LogText(), opening + "100% done with %s\r\n.");
  EXPECT_EQ(ua::Text(pane_), plenth::LogText());
  // Scrolled so that the newest line is in view.
  EXPECT_EQ(SendMessage(pane_, EM_GETFIRSTVISIBLELINE, 0, 0), SendMessage(pane_, EM_GETLINECOUNT, 0, 0) - 1);
}

TEST_F(ProcessLogTest, AMissingDirectoryIsReportedAndTheLogGoesOn) {
  const std::string path = (dir_ / "missing" / "log.txt").string();
  plenth::OpenLog(path.c_str(), pane_);
  plenth::LogMessage("Operation Complete\r\n");
  EXPECT_EQ(ua::Text(pane_), "Starting to Process Slope Length\r\nUnable To Open Logfile : " + path +
                                 ".  Continuing...\r\n\rOperation Complete\r\n");
  EXPECT_FALSE(fs::exists(path));
}

TEST_F(ProcessLogTest, CloseTwiceIsHarmlessAndThePaneStillFollows) {
  const std::string path = (dir_ / "log.txt").string();
  plenth::OpenLog(path.c_str(), pane_);
  plenth::CloseLog();
  plenth::CloseLog();
  const std::string written = FileText(path);
  plenth::LogMessage("after\r\n");
  EXPECT_EQ(FileText(path), written);
  EXPECT_NE(ua::Text(pane_).find("after\r\n"), std::string::npos);
}

TEST_F(ProcessLogTest, AFullLogKeepsTheNewestWholeLines) {
  plenth::OpenLog(nullptr, pane_);
  std::string last;
  for (int i = 0; i < 3000; ++i) {
    last = "line " + std::to_string(i) + " é\r\n";
    plenth::LogMessage(last.c_str());
  }
  const std::string text = plenth::LogText();
  EXPECT_LT(text.size(), plenth::kLogTextCapacity);
  EXPECT_GT(text.size(), plenth::kLogTextCapacity - 100);
  EXPECT_EQ(text.rfind(last), text.size() - last.size());
  EXPECT_EQ(text.rfind("line ", 0), 0u);  // starts at a line
  EXPECT_EQ(ua::Text(pane_), text);
}

TEST_F(ProcessLogTest, AWorkersLineWaitsForThePanesThread) {
  plenth::OpenLog(nullptr, pane_);
  std::atomic<bool> done{false};
  std::thread worker([&] {
    plenth::LogMessage("from the worker\r\n");
    done = true;
  });
  EXPECT_TRUE(ua::PumpUntil([&] { return done.load(); }, std::chrono::seconds(5)));
  worker.join();
  EXPECT_NE(ua::Text(pane_).find("from the worker"), std::string::npos);
}

TEST_F(ProcessLogTest, ARunsOwnLogKeepsItsThreadsMessagesApart) {
  plenth::OpenLog(nullptr, pane_);
  plenth::LogMessage("the module's\r\n");
  const std::string moduleText = plenth::LogText();
  // Two runs at once, each with a log of its own, one of them with a file.
  const std::string path = (dir_ / "run.txt").string();
  std::string texts[2];
  std::vector<std::string> handed[2];
  std::atomic<int> ready{0};
  const auto run = [&](int n) {
    plenth::ScopedThreadLog log([&](const char* text) { handed[n].push_back(text); });
    if (n == 1) plenth::OpenLog(path.c_str(), nullptr);
    ++ready;
    while (ready < 2) std::this_thread::yield();
    for (int i = 0; i < 200; ++i) plenth::LogMessageWith("run %d line %d\r\n", n, i);
    texts[n] = plenth::LogText();
  };
  std::thread first(run, 0), second(run, 1);
  first.join();
  second.join();
  for (int n = 0; n < 2; ++n) {
    SCOPED_TRACE(n);
    EXPECT_EQ(texts[n].find("run " + std::to_string(1 - n)), std::string::npos);
    EXPECT_NE(texts[n].find("run " + std::to_string(n) + " line 199\r\n"), std::string::npos);
    ASSERT_FALSE(handed[n].empty());
    EXPECT_EQ(handed[n].back(), "run " + std::to_string(n) + " line 199\r\n");
  }
  EXPECT_EQ(FileText(path), texts[1]);  // written whole and closed when the run's log went
  EXPECT_EQ(texts[0].find("Starting to Process"), std::string::npos);
  EXPECT_EQ(plenth::LogText(), moduleText);
  EXPECT_EQ(ua::Text(pane_), moduleText);
}

}  // namespace
