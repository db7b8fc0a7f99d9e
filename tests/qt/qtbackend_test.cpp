// The window layer shown with Qt: dialogs from templates as real dialogs, a person's keys
// and clicks reaching the dialog procedure, Qt's message boxes and save dialog, and the
// window layer's messages and timers served from Qt's loop.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <atomic>
#include <filesystem>
#include <thread>

#include "resources/resource.h"
#include "ui/automation.h"
#include "ui/bitmap.h"
#include "ui/commdlg.h"
#include "ui/msgbox.h"
#include "ui/qt/qtbackend.h"
#include "ui/window.h"

extern const ResourceModule kPlenthToolsResources;

namespace {

namespace ua = ui::automation;

constexpr char kScript[] = R"(
40 DIALOG 0, 0, 200, 150
STYLE DS_MODALFRAME | WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU
CAPTION "Person"
FONT 8, "MS Sans Serif"
BEGIN
    DEFPUSHBUTTON   "OK",IDOK,140,7,50,14
    PUSHBUTTON      "Cancel",IDCANCEL,140,24,50,14
    EDITTEXT        100,7,7,100,12,ES_AUTOHSCROLL
    COMBOBOX        101,7,25,100,60,CBS_DROPDOWNLIST | CBS_SORT | WS_VSCROLL | WS_TABSTOP
    COMBOBOX        102,7,43,100,60,CBS_DROPDOWN | CBS_SORT | WS_VSCROLL | WS_TABSTOP
    AUTOCHECKBOX    "Preview",103,7,61,60,10
    AUTORADIOBUTTON "Regular",104,7,75,50,10,WS_GROUP | WS_TABSTOP
    AUTORADIOBUTTON "Random",105,60,75,50,10
    EDITTEXT        106,7,90,120,40,ES_MULTILINE | ES_AUTOVSCROLL
    LTEXT           "?",107,140,90,40,9,WS_BORDER
END
)";
const EmbeddedFile kFiles[] = {{"person.rc", reinterpret_cast<const unsigned char*>(kScript), sizeof kScript - 1}};
const ResourceModule kModule{"person.rc", kFiles};

// What the dialog procedure heard: (control id, notification) of each command.
std::vector<std::pair<int, int>>* heard = nullptr;

INT_PTR PersonProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      for (const char* item : {"roads", "dem", "areas"}) SendDlgItemMessage(dialog, 101, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
      for (const char* item : {"sites", "lines"}) SendDlgItemMessage(dialog, 102, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
      CheckDlgButton(dialog, 104, BST_CHECKED);
      return TRUE;
    case WM_COMMAND:
      if (heard) heard->emplace_back(LOWORD(wParam), HIWORD(wParam));
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndDialog(dialog, LOWORD(wParam));
      return TRUE;
    case WM_USER + 1: return 42;  // answers a worker's question
    case WM_USER + 2:
    case WM_TIMER:
      if (heard) heard->emplace_back(static_cast<int>(message), static_cast<int>(wParam));
      return TRUE;
    default: return FALSE;
  }
}

INT_PTR ExportProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) {
    SendDlgItemMessage(dialog, IDC_OUTPUT_BROWSE, BM_SETIMAGE, IMAGE_BITMAP,
                       reinterpret_cast<LPARAM>(LoadBitmap(&kPlenthToolsResources, IDB_BROWSE)));
    return TRUE;
  }
  if (message == WM_DESTROY) {
    DeleteObject(reinterpret_cast<HBITMAP>(SendDlgItemMessage(dialog, IDC_OUTPUT_BROWSE, BM_GETIMAGE, IMAGE_BITMAP, 0)));
    return TRUE;
  }
  if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    EndDialog(dialog, LOWORD(wParam));
    return TRUE;
  }
  return FALSE;
}

class QtBackendTest : public ::testing::Test {
 protected:
  void SetUp() override { heard = &heard_; }
  void TearDown() override {
    for (HWND window : ua::TopLevelWindows()) DestroyWindow(window);
    heard = nullptr;
    QApplication::processEvents();
  }

  template <class W>
  W* Widget(HWND dialog, int id) {
    return qobject_cast<W*>(qt_.backend().WidgetOf(GetDlgItem(dialog, id)));
  }

  // Acts as the person as soon as the modal dialog (or box) is on the screen.
  static void Then(std::function<void()> person) { QTimer::singleShot(0, qApp, std::move(person)); }

  ui::qt::ScopedQtBackend qt_;
  std::vector<std::pair<int, int>> heard_;
};

TEST_F(QtBackendTest, ATemplateIsShownAtItsDesignedLayout) {
  const HWND owner = ui::CreateFrameWindow("host");
  QWidget mainWindow;
  qt_.backend().AttachFrame(owner, &mainWindow);
  const HWND dialog = CreateDialogParam(&kPlenthToolsResources, IDD_EXPORTGRIDDLG, owner, ExportProc, 0);
  ShowWindow(dialog, SW_SHOW);
  auto* shown = qobject_cast<QDialog*>(qt_.backend().WidgetOf(dialog));
  ASSERT_NE(shown, nullptr);
  EXPECT_TRUE(shown->isVisible());
  EXPECT_EQ(shown->windowTitle(), "Export Grid");
  EXPECT_EQ(shown->parentWidget(), &mainWindow);  // it opens over its owner

  const ui::DialogTemplate& made = *ui::TemplateOf(dialog);
  const ui::qt::DialogUnits units = ui::qt::UnitsOf(made);
  // An 8-point font: a few pixels a character across, a dozen or more a line down.
  EXPECT_GE(units.baseX, 5);
  EXPECT_LE(units.baseX, 8);
  EXPECT_GE(units.baseY, 12);
  EXPECT_LE(units.baseY, 17);
  EXPECT_EQ(shown->size(), QSize(units.X(273), units.Y(89)));
  auto* ok = Widget<QPushButton>(dialog, IDOK);
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(ok->geometry(), QRect(units.X(216), units.Y(7), units.X(50), units.Y(14)));
  EXPECT_EQ(ok->text(), "OK");
  EXPECT_TRUE(ok->isDefault());
  // The layer list shows its selection field; its list drops below it.
  auto* layers = Widget<QComboBox>(dialog, IDC_EXPORT_LAYER);
  ASSERT_NE(layers, nullptr);
  EXPECT_FALSE(layers->isEditable());
  EXPECT_EQ(layers->pos(), QPoint(units.X(7), units.Y(25)));
  EXPECT_LT(layers->height(), units.Y(46));
  // Every static text fits its place: one line of the font is no taller than it.
  for (HWND control : ui::ChildrenOf(dialog))
    if (auto* label = qobject_cast<QLabel*>(qt_.backend().WidgetOf(control)); label && !label->text().isEmpty()) {
      SCOPED_TRACE(label->text().toStdString());
      EXPECT_LE(label->heightForWidth(label->width()), label->height() + 1);
    }

  // The browse button shows the folder picture, pixel for pixel.
  auto* browse = Widget<QPushButton>(dialog, IDC_OUTPUT_BROWSE);
  ASSERT_NE(browse, nullptr);
  ASSERT_FALSE(browse->icon().isNull());
  const auto* bitmap = ui::BitmapOf(reinterpret_cast<HBITMAP>(SendMessage(GetDlgItem(dialog, IDC_OUTPUT_BROWSE), BM_GETIMAGE, 0, 0)));
  ASSERT_NE(bitmap, nullptr);
  const QImage icon = browse->icon().pixmap(16, 16).toImage();
  EXPECT_EQ(icon.pixel(8, 8), 0xFF000000u | bitmap->palette[bitmap->pixels[8 * 16 + 8]]);
  EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0);  // the button-face grey is clear

  DestroyWindow(dialog);
  EXPECT_EQ(qt_.backend().WidgetOf(dialog), nullptr);
  DestroyWindow(owner);
}

TEST_F(QtBackendTest, APersonsKeysAndClicksReachTheDialogProcedure) {
  INT_PTR result = 0;
  std::string typed, picked, edited;
  bool preview = false, regular = true, random = false;
  Then([&] {
    HWND dialog = ua::FindWindowByCaption("Person");
    ASSERT_NE(dialog, nullptr);
    auto* shown = qt_.backend().WidgetOf(dialog);
    ASSERT_TRUE(shown && shown->isVisible() && shown->isModal());
    ASSERT_TRUE(QTest::qWaitForWindowActive(shown));
    // The sorted lists show the window layer's order.
    auto* list = Widget<QComboBox>(dialog, 101);
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->itemText(0), "areas");
    EXPECT_EQ(list->itemText(2), "roads");

    QTest::keyClicks(Widget<QLineEdit>(dialog, 100), "out/elev");
    typed = ua::Text(GetDlgItem(dialog, 100));
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);  // from nothing to the first entry
    QTest::keyClick(list, Qt::Key_Down);
    picked = ua::Text(GetDlgItem(dialog, 101));
    auto* editable = Widget<QComboBox>(dialog, 102);
    QTest::keyClicks(editable->lineEdit(), "pts");
    edited = ua::Text(GetDlgItem(dialog, 102));
    QTest::mouseClick(Widget<QCheckBox>(dialog, 103), Qt::LeftButton);
    preview = ua::Checked(GetDlgItem(dialog, 103));
    QTest::mouseClick(Widget<QAbstractButton>(dialog, 105), Qt::LeftButton);
    regular = Widget<QAbstractButton>(dialog, 104)->isChecked();
    random = ua::Checked(GetDlgItem(dialog, 105));
    QTest::mouseClick(Widget<QPushButton>(dialog, IDOK), Qt::LeftButton);
  });
  result = DialogBoxParam(&kModule, 40, nullptr, PersonProc, 0);
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(typed, "out/elev");
  EXPECT_EQ(picked, "dem");
  EXPECT_EQ(edited, "pts");
  EXPECT_TRUE(preview);
  EXPECT_FALSE(regular);  // the window layer unchecked the other radio button of the group
  EXPECT_TRUE(random);
  const auto count = [&](int id, int code) { return std::count(heard_.begin(), heard_.end(), std::make_pair(id, code)); };
  EXPECT_EQ(count(100, EN_CHANGE), 8);  // one per key
  EXPECT_GE(count(101, CBN_SELCHANGE), 2);
  EXPECT_EQ(count(102, CBN_EDITCHANGE), 3);
  EXPECT_EQ(count(103, BN_CLICKED), 1);
  EXPECT_EQ(heard_.back(), std::make_pair(IDOK, static_cast<int>(BN_CLICKED)));

  // Esc is Cancel, and so is the close box.
  Then([&] { QTest::keyClick(qt_.backend().WidgetOf(ua::FindWindowByCaption("Person")), Qt::Key_Escape); });
  EXPECT_EQ(DialogBoxParam(&kModule, 40, nullptr, PersonProc, 0), IDCANCEL);
  Then([&] { qt_.backend().WidgetOf(ua::FindWindowByCaption("Person"))->close(); });
  EXPECT_EQ(DialogBoxParam(&kModule, 40, nullptr, PersonProc, 0), IDCANCEL);
}

TEST_F(QtBackendTest, WhatTheModuleChangesIsWhatThePersonSees) {
  const HWND dialog = CreateDialogParam(&kModule, 40, nullptr, PersonProc, 0);
  QDialog* shown = qobject_cast<QDialog*>(qt_.backend().WidgetOf(dialog));
  ASSERT_TRUE(shown && shown->isVisible());
  EXPECT_FALSE(shown->isModal());
  SetDlgItemText(dialog, 107, "12");
  EXPECT_EQ(Widget<QLabel>(dialog, 107)->text(), "12");
  EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
  EXPECT_FALSE(Widget<QPushButton>(dialog, IDOK)->isEnabled());
  ShowWindow(GetDlgItem(dialog, 103), SW_HIDE);
  EXPECT_FALSE(Widget<QCheckBox>(dialog, 103)->isVisible());
  SendDlgItemMessage(dialog, 101, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("ro"));
  EXPECT_EQ(Widget<QComboBox>(dialog, 101)->currentText(), "roads");
  SetWindowText(dialog, "Renamed");
  EXPECT_EQ(shown->windowTitle(), "Renamed");

  // A long log in the multi-line pane, scrolled by the module to its last lines.
  std::string log;
  for (int line = 0; line < 60; ++line) log += "line " + std::to_string(line) + "\r\n";
  const HWND pane = GetDlgItem(dialog, 106);
  SetWindowText(pane, log.c_str());
  auto* edit = Widget<QPlainTextEdit>(dialog, 106);
  EXPECT_EQ(edit->toPlainText().count('\n'), 60);
  EXPECT_EQ(edit->verticalScrollBar()->value(), 0);
  SendMessage(pane, EM_LINESCROLL, 0, 55);
  EXPECT_GT(edit->verticalScrollBar()->value(), 0);
  const QString top = edit->cursorForPosition(QPoint(4, 4)).block().text();
  EXPECT_TRUE(top.startsWith("line ")) << top.toStdString();
  EXPECT_GE(top.mid(5).toInt(), 45);

  // Focus the module gives is focus on the screen; focus a person moves is news to the
  // window that loses it.
  SetFocus(GetDlgItem(dialog, 100));
  QApplication::processEvents();
  shown->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(shown));
  EXPECT_TRUE(Widget<QLineEdit>(dialog, 100)->hasFocus());
  heard_.clear();
  Widget<QComboBox>(dialog, 102)->setFocus(Qt::MouseFocusReason);
  EXPECT_EQ(GetFocus(), GetDlgItem(dialog, 102));
  EXPECT_NE(std::find(heard_.begin(), heard_.end(), std::make_pair(100, static_cast<int>(EN_KILLFOCUS))), heard_.end());
  EXPECT_NE(std::find(heard_.begin(), heard_.end(), std::make_pair(102, static_cast<int>(CBN_SETFOCUS))), heard_.end());
  DestroyWindow(dialog);
}

TEST_F(QtBackendTest, MessageBoxesAndTheSaveDialogAreQts) {
  QString text, caption;
  Then([&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    text = box->text();
    caption = box->windowTitle();
    box->button(QMessageBox::No)->click();
  });
  EXPECT_EQ(MessageBox(nullptr, "Overwrite it?", "Export Grid", MB_YESNO | MB_ICONQUESTION), IDNO);
  EXPECT_EQ(text, "Overwrite it?");
  EXPECT_EQ(caption, "Export Grid");

  const auto dir = std::filesystem::temp_directory_path() / ("plenth-qt-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  char path[255] = "";
  OPENFILENAME ofn{};
  ofn.lpstrFile = path;
  ofn.nMaxFile = sizeof path;
  ofn.lpstrTitle = "Save As";
  const std::string initial = dir.string();
  ofn.lpstrInitialDir = initial.c_str();
  QString title;
  Then([&] {
    auto* files = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(files, nullptr);
    title = files->windowTitle();
    auto* name = files->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(name, nullptr);
    name->clear();
    QTest::keyClicks(name, "elev");
    QTest::keyClick(name, Qt::Key_Return);
  });
  EXPECT_TRUE(GetSaveFileName(&ofn));
  EXPECT_EQ(title, "Save As");
  EXPECT_EQ(std::string(path), (dir / "elev").string());
  Then([&] { QApplication::activeModalWidget()->close(); });
  EXPECT_FALSE(GetSaveFileName(&ofn));
  std::filesystem::remove_all(dir);
}

TEST_F(QtBackendTest, AWorkersSendsAndPostsAndTheTimersRunOnQtsLoop) {
  std::uint64_t now = 0;
  ua::ScopedClock clock([&] { return now; });
  const HWND dialog = CreateDialogParam(&kModule, 40, nullptr, PersonProc, 0);
  std::atomic<LRESULT> answer = 0;
  std::atomic<bool> done = false;
  std::thread worker([&] {
    answer = SendMessage(dialog, WM_USER + 1, 0, 0);  // returns once the Qt thread answered
    PostMessage(dialog, WM_USER + 2, 7, 0);
    done = true;
  });
  // Nothing but Qt's own loop runs here.
  EXPECT_TRUE(QTest::qWaitFor([&] { return done && !heard_.empty(); }, 10000));
  worker.join();
  EXPECT_EQ(answer, 42);
  ASSERT_EQ(heard_.size(), 1u);
  EXPECT_EQ(heard_[0], std::make_pair(static_cast<int>(WM_USER + 2), 7));

  heard_.clear();
  SetTimer(dialog, 9, 999, nullptr);
  QTest::qWait(20);
  EXPECT_TRUE(heard_.empty());
  now += 999;  // time passes: the loop is woken and finds the timer due
  ui::CurrentBackend().Wake(std::this_thread::get_id());
  EXPECT_TRUE(QTest::qWaitFor([&] { return !heard_.empty(); }, 10000));
  EXPECT_EQ(heard_.front(), std::make_pair(static_cast<int>(WM_TIMER), 9));
  DestroyWindow(dialog);
}

}  // namespace
