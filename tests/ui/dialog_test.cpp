#include <gtest/gtest.h>

#include <atomic>
#include <ctime>
#include <thread>

#include "ui/automation.h"
#include "ui/clock.h"
#include "ui/dragdrop.h"
#include "ui/msgbox.h"
#include "ui/resources.h"
#include "ui/window.h"

namespace {

namespace ua = ui::automation;

constexpr char kScript[] = R"(
10 DIALOG 0, 0, 200, 100
STYLE DS_MODALFRAME | WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU
CAPTION "Test"
BEGIN
    DEFPUSHBUTTON   "OK",IDOK,1,1,50,14,WS_DISABLED
    PUSHBUTTON      "Cancel",IDCANCEL,1,20,50,14
    EDITTEXT        100,1,40,50,12,ES_AUTOHSCROLL
    COMBOBOX        101,1,60,50,40,CBS_DROPDOWNLIST | CBS_SORT
    COMBOBOX        102,1,80,50,40,CBS_DROPDOWN
    AUTORADIOBUTTON "A",103,60,1,20,10,WS_GROUP
    AUTORADIOBUTTON "B",104,60,12,20,10
    LTEXT           "after",IDC_STATIC,60,30,20,10
END
)";
const EmbeddedFile kFiles[] = {{"test.rc", reinterpret_cast<const unsigned char*>(kScript), sizeof kScript - 1}};
const ResourceModule kModule{"test.rc", kFiles};

// What the dialog procedure saw.
struct Seen {
  LPARAM param = 0;
  std::vector<std::pair<int, int>> commands;  // control id, notification
  bool destroyed = false;
};
Seen* seen = nullptr;

INT_PTR TestProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: seen->param = lParam; return TRUE;
    case WM_COMMAND:
      seen->commands.emplace_back(LOWORD(wParam), HIWORD(wParam));
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndDialog(dialog, LOWORD(wParam));
      return TRUE;
    case WM_DESTROY: seen->destroyed = true; return TRUE;
    default: return FALSE;
  }
}

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    seen = &seen_;
    ua::TakeMessageBoxes();
    ua::TakeUnansweredDialogs();
  }
  void TearDown() override {
    if (IsWindow(dialog_)) DestroyWindow(dialog_);
    seen = nullptr;
  }
  HWND Open() {
    owner_ = ui::CreateFrameWindow("owner");
    dialog_ = CreateDialogParam(&kModule, 10, owner_, TestProc, 1234);
    return dialog_;
  }
  Seen seen_;
  HWND owner_ = nullptr;
  HWND dialog_ = nullptr;
};

TEST_F(DialogTest, ModelessDialogIsBuiltFromItsTemplate) {
  const HWND d = Open();
  ASSERT_TRUE(IsWindow(d));
  EXPECT_EQ(seen_.param, 1234);
  EXPECT_EQ(GetParent(d), owner_);
  EXPECT_TRUE(ua::Visible(d));
  EXPECT_EQ(ua::Text(d), "Test");
  EXPECT_EQ(ua::Text(GetDlgItem(d, IDCANCEL)), "Cancel");
  EXPECT_FALSE(ua::Enabled(GetDlgItem(d, IDOK)));
  EXPECT_EQ(ui::ClassOf(GetDlgItem(d, 100)), "Edit");
  const HWND edit = GetDlgItem(d, 100);
  EXPECT_TRUE(DestroyWindow(d));
  EXPECT_TRUE(seen_.destroyed);
  EXPECT_FALSE(IsWindow(d));
  EXPECT_FALSE(IsWindow(edit));
  EXPECT_FALSE(DestroyWindow(d));
  EXPECT_EQ(CreateDialogParam(&kModule, 11, nullptr, TestProc, 0), nullptr);  // no such template
}

TEST_F(DialogTest, TypingNotifiesEveryChange) {
  const HWND d = Open();
  const HWND edit = GetDlgItem(d, 100);
  ASSERT_TRUE(ua::Type(edit, "ab\b"));
  EXPECT_EQ(ua::Text(edit), "a");
  EXPECT_EQ(seen_.commands, (std::vector<std::pair<int, int>>{{100, EN_SETFOCUS}, {100, EN_CHANGE}, {100, EN_CHANGE}, {100, EN_CHANGE}}));
  seen_.commands.clear();
  ASSERT_TRUE(ua::Replace(edit, "out/elev"));
  EXPECT_EQ(ua::Text(edit), "out/elev");
  EXPECT_EQ(seen_.commands, (std::vector<std::pair<int, int>>{{100, EN_CHANGE}}));
  // Reading into a small buffer never splits a character.
  SetWindowText(edit, "aé");
  char small[3];
  EXPECT_EQ(GetWindowText(edit, small, 3), 1);
  EXPECT_STREQ(small, "a");
}

// A subclass procedure that swallows one typed character and passes on the rest.
template <char Dropped>
LRESULT Drop(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR refData) {
  ++*reinterpret_cast<int*>(refData);
  if (message == WM_CHAR && wParam == static_cast<WPARAM>(Dropped)) return 0;
  return DefSubclassProc(window, message, wParam, lParam);
}

TEST_F(DialogTest, SubclassProceduresSeeMessagesBeforeTheControlUntilRemoved) {
  const HWND edit = GetDlgItem(Open(), 100);
  int xSaw = 0, ySaw = 0;
  ASSERT_TRUE(SetWindowSubclass(edit, Drop<'x'>, 1, reinterpret_cast<DWORD_PTR>(&xSaw)));
  ASSERT_TRUE(SetWindowSubclass(edit, Drop<'y'>, 1, reinterpret_cast<DWORD_PTR>(&ySaw)));
  ASSERT_TRUE(ua::Type(edit, "axyb"));
  EXPECT_EQ(ua::Text(edit), "ab");
  EXPECT_GT(xSaw, 0);
  EXPECT_GT(ySaw, xSaw);  // the last set sees the 'y' the first never gets
  ASSERT_TRUE(RemoveWindowSubclass(edit, Drop<'x'>, 1));
  EXPECT_FALSE(RemoveWindowSubclass(edit, Drop<'x'>, 1));
  ASSERT_TRUE(ua::Type(edit, "xy"));
  EXPECT_EQ(ua::Text(edit), "abx");
}

// A drop target that notes what it heard and accepts with `accept`.
class Target final : public com::ComClass<Target, IDropTarget> {
 public:
  explicit Target(DWORD accept) : accept_(accept) {}
  HRESULT DragEnter(IDataObject*, DWORD, POINTL, DWORD* effect) override {
    heard += "enter ";
    *effect = accept_;
    return accept_ ? S_OK : E_FAIL;
  }
  HRESULT DragOver(DWORD, POINTL, DWORD*) override {
    heard += "over ";
    return S_OK;
  }
  HRESULT DragLeave() override {
    heard += "leave ";
    return S_OK;
  }
  HRESULT Drop(IDataObject*, DWORD, POINTL, DWORD* effect) override {
    heard += "drop ";
    *effect = accept_;
    return S_OK;
  }
  std::string heard;

 private:
  DWORD accept_;
};

TEST_F(DialogTest, DragsReachTheNearestRegisteredTargetUntilItIsRevoked) {
  const HWND d = Open();
  const HWND edit = GetDlgItem(d, 100);
  const int before = ui::DropRegistrationCount();
  auto data = com::MakeObject<com::DataObject>();
  ua::DragOutcome outcome;
  EXPECT_FALSE(ua::DragOver(edit, data.get(), DROPEFFECT_COPY, true, &outcome));

  auto accepting = com::MakeObject<Target>(DROPEFFECT_COPY);
  ASSERT_EQ(RegisterDragDrop(d, accepting.get()), S_OK);
  EXPECT_EQ(RegisterDragDrop(d, accepting.get()), DRAGDROP_E_ALREADYREGISTERED);
  ASSERT_TRUE(ua::DragOver(edit, data.get(), DROPEFFECT_COPY | DROPEFFECT_MOVE, true, &outcome));
  EXPECT_EQ(accepting->heard, "enter over drop ");
  EXPECT_EQ(outcome.dropEffect, DROPEFFECT_COPY);
  ASSERT_TRUE(ua::DragOver(edit, data.get(), DROPEFFECT_COPY, false, &outcome));
  EXPECT_EQ(accepting->heard, "enter over drop enter over leave ");

  // The edit's own target comes first; one that refuses on entering hears nothing more.
  auto refusing = com::MakeObject<Target>(DROPEFFECT_NONE);
  ASSERT_EQ(RegisterDragDrop(edit, refusing.get()), S_OK);
  ASSERT_TRUE(ua::DragOver(edit, data.get(), DROPEFFECT_COPY, true, &outcome));
  EXPECT_EQ(refusing->heard, "enter ");
  EXPECT_EQ(outcome.enter, E_FAIL);
  EXPECT_FALSE(outcome.dropped);

  EXPECT_EQ(ui::DropRegistrationCount(), before + 2);
  EXPECT_EQ(RevokeDragDrop(edit), S_OK);
  EXPECT_EQ(RevokeDragDrop(edit), DRAGDROP_E_NOTREGISTERED);
  EXPECT_EQ(RevokeDragDrop(d), S_OK);
  EXPECT_EQ(ui::DropRegistrationCount(), before);
  EXPECT_FALSE(ua::DragOver(edit, data.get(), DROPEFFECT_COPY, true, &outcome));
}

TEST(CalendarClock, AHostMaySetTheSecondItGives) {
  const auto previous = ui::SetTimeSource([] { return std::int64_t{86400}; });
  EXPECT_EQ(ui::TimeNow(), 86400);
  ui::SetTimeSource(previous);
  EXPECT_NEAR(static_cast<double>(ui::TimeNow()), static_cast<double>(std::time(nullptr)), 2);
}

TEST_F(DialogTest, TypedTextIsUtf8AndBackspaceTakesAWholeCharacter) {
  const HWND edit = GetDlgItem(Open(), 100);
  ASSERT_TRUE(ua::Type(edit, "\xF0\x9F\x97\xBA\xC3"));  // a map sign, then a cut-off character
  EXPECT_EQ(ua::Text(edit), "\xF0\x9F\x97\xBA\xEF\xBF\xBD");
  ASSERT_TRUE(ua::Type(edit, "\b"));
  EXPECT_EQ(ua::Text(edit), "\xF0\x9F\x97\xBA");
  ASSERT_TRUE(ua::Type(edit, "\b"));
  EXPECT_EQ(ua::Text(edit), "");
}

TEST_F(DialogTest, CombosSortPickAndEdit) {
  const HWND d = Open();
  const HWND list = GetDlgItem(d, 101);
  for (const char* s : {"slope", "Elev", "aspect"}) SendMessage(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
  EXPECT_EQ(ua::Items(list), (std::vector<std::string>{"aspect", "Elev", "slope"}));
  EXPECT_EQ(ua::Text(list), "");
  EXPECT_FALSE(ua::Pick(list, "elev"));  // a person picks what the list shows
  ASSERT_TRUE(ua::Pick(list, "Elev"));
  EXPECT_EQ(ua::Text(list), "Elev");
  EXPECT_EQ(ua::Selection(list), 1);
  const auto has = [&](int id, int code) {
    return std::find(seen_.commands.begin(), seen_.commands.end(), std::make_pair(id, code)) != seen_.commands.end();
  };
  EXPECT_TRUE(has(101, CBN_SELCHANGE));
  EXPECT_TRUE(has(101, CBN_SELENDOK));
  SendMessage(list, CB_RESETCONTENT, 0, 0);
  EXPECT_EQ(ua::Text(list), "");

  const HWND editable = GetDlgItem(d, 102);
  ASSERT_TRUE(ua::Type(editable, "typed"));
  EXPECT_EQ(ua::Text(editable), "typed");
  EXPECT_TRUE(has(102, CBN_EDITCHANGE));
}

TEST_F(DialogTest, APersonCannotUseADisabledControl) {
  const HWND d = Open();
  EXPECT_FALSE(ua::Click(d, IDOK));
  EXPECT_NE(ua::LastRefusal().find("disabled"), std::string::npos);
  EXPECT_TRUE(seen_.commands.empty());
  EnableWindow(GetDlgItem(d, IDOK), TRUE);
  EXPECT_TRUE(ua::Click(d, IDOK));
  EXPECT_EQ(seen_.commands.back(), std::make_pair(IDOK, static_cast<int>(BN_CLICKED)));
}

TEST_F(DialogTest, RadioButtonsOfAGroupExcludeEachOther) {
  const HWND d = Open();
  ua::Click(d, 103);
  EXPECT_TRUE(ua::Checked(GetDlgItem(d, 103)));
  ua::Click(d, 104);
  EXPECT_FALSE(ua::Checked(GetDlgItem(d, 103)));
  EXPECT_TRUE(ua::Checked(GetDlgItem(d, 104)));
}

TEST_F(DialogTest, ModalDialogRunsUntilThePersonEndsIt) {
  int calls = 0;
  {
    ua::ScopedUser user([&](HWND dialog) {
      ++calls;
      ua::Type(GetDlgItem(dialog, 100), "x");
      EnableWindow(GetDlgItem(dialog, IDOK), TRUE);
      ua::Click(dialog, IDOK);
    });
    EXPECT_EQ(DialogBoxParam(&kModule, 10, nullptr, TestProc, 0), IDOK);
  }
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(ua::TakeUnansweredDialogs().empty());
  // Nobody at the screen: the dialog is closed as with its close box.
  EXPECT_EQ(DialogBoxParam(&kModule, 10, nullptr, TestProc, 0), IDCANCEL);
  EXPECT_EQ(ua::TakeUnansweredDialogs().size(), 1u);
}

TEST_F(DialogTest, TheCloseBoxActsAsCancel) {
  const HWND d = Open();
  ASSERT_TRUE(ua::Close(d));
  EXPECT_EQ(seen_.commands.back(), std::make_pair(IDCANCEL, static_cast<int>(BN_CLICKED)));
}

TEST_F(DialogTest, MessageBoxesAreRecordedWithoutAHandler) {
  EXPECT_EQ(MessageBox(nullptr, "shit", "shit", MB_OK | MB_ICONEXCLAMATION), IDOK);
  const auto boxes = ua::TakeMessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].owner, nullptr);
  EXPECT_EQ(boxes[0].caption, "shit");
  EXPECT_EQ(boxes[0].type, MB_OK | MB_ICONEXCLAMATION);
  auto previous = ua::SetMessageBoxHandler([](const ua::MessageBoxRecord&) { return IDNO; });
  EXPECT_EQ(MessageBox(nullptr, "?", "q", MB_YESNO), IDNO);
  ua::SetMessageBoxHandler(previous);
  EXPECT_TRUE(ua::TakeMessageBoxes().empty());
}

TEST_F(DialogTest, SendFromAnotherThreadWaitsForTheWindowsThread) {
  const HWND d = Open();
  const HWND edit = GetDlgItem(d, 100);
  std::atomic<bool> returned{false};
  std::thread worker([&] {
    SetWindowText(edit, "from the worker");  // a message sent to the UI thread
    returned = true;
  });
  // The call reaches this thread and waits there: nothing happens until this thread pumps.
  EXPECT_TRUE(ui::WaitForQueued(QS_SENDMESSAGE, std::chrono::seconds(5)));
  EXPECT_FALSE(returned);
  EXPECT_EQ(ua::Text(edit), "");
  EXPECT_TRUE(ua::PumpUntil([&] { return returned.load(); }, std::chrono::seconds(5)));
  worker.join();
  EXPECT_EQ(ua::Text(edit), "from the worker");
  // A posted message waits in the window thread's queue; the poster does not wait.
  std::thread([&] { PostMessage(d, WM_USER + 1, 0, 0); }).join();
  EXPECT_EQ(ua::PumpPending(), 1);
}

TEST_F(DialogTest, TimersFireOnTheInjectedClock) {
  std::uint64_t now = 1000;
  const ua::ScopedClock clock([&] { return now; });
  const HWND d = Open();
  int ticks = 0;
  static int* tickCount;
  tickCount = &ticks;
  ASSERT_EQ(SetTimer(d, 120, 999, [](HWND, UINT, UINT_PTR id, DWORD) { *tickCount += id == 120; }), 120u);
  EXPECT_EQ(ua::PumpPending(), 0);
  now += 999;
  EXPECT_EQ(ua::PumpPending(), 1);
  EXPECT_EQ(ticks, 1);
  EXPECT_EQ(ua::PumpPending(), 0);
  EXPECT_TRUE(KillTimer(d, 120));
  now += 5000;
  EXPECT_EQ(ua::PumpPending(), 0);
}

}  // namespace
