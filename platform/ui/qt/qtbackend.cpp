#include "ui/qt/qtbackend.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QScrollBar>
#include <QTextBlock>
#include <QTimer>
#include <atomic>
#include <cmath>
#include <exception>
#include <map>

#include "ui/automation.h"
#include "ui/bitmap.h"
#include "ui/headless.h"
#include "ui/window.h"

namespace ui::qt {
namespace {

namespace ua = ui::automation;

constexpr char kWindowProperty[] = "plenthWindow";

QString Q(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }
std::string S(const QString& text) { return text.toUtf8().toStdString(); }

// The window layer's texts end their lines with CR LF, the widgets with LF.
QString FromWindowText(const std::string& text) { return Q(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")); }
std::string ToWindowText(QString text) { return S(text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"))); }

HWND HandleOf(const QObject* object) {
  const QVariant value = object->property(kWindowProperty);
  return value.isValid() ? reinterpret_cast<HWND>(value.value<quintptr>()) : nullptr;
}

void SetHandle(QObject* object, HWND window) {
  object->setProperty(kWindowProperty, QVariant::fromValue(reinterpret_cast<quintptr>(window)));
}

// A window-layer dialog on the screen. Its close box and the Esc key become what the
// system sends a dialog for them: WM_CLOSE, and the Cancel command.
class DialogWidget final : public QDialog {
 public:
  DialogWidget(HWND window, QWidget* parent, std::function<void(std::function<void()>)> safely)
      : QDialog(parent), window_(window), safely_(std::move(safely)) {}

  void reject() override {
    safely_([this] {
      if (IsWindow(window_))
        SendMessage(window_, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                    reinterpret_cast<LPARAM>(GetDlgItem(window_, IDCANCEL)));
    });
  }

 protected:
  void closeEvent(QCloseEvent* event) override {
    event->ignore();
    safely_([this] {
      if (IsWindow(window_)) ua::Close(window_);
    });
  }

 private:
  HWND window_;
  std::function<void(std::function<void()>)> safely_;
};

int ButtonId(QMessageBox::StandardButton button) {
  switch (button) {
    case QMessageBox::Ok: return IDOK;
    case QMessageBox::Cancel: return IDCANCEL;
    case QMessageBox::Abort: return IDABORT;
    case QMessageBox::Retry: return IDRETRY;
    case QMessageBox::Ignore: return IDIGNORE;
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    default: return IDCANCEL;
  }
}

}  // namespace

int DialogUnits::X(int units) const { return static_cast<int>(std::lround(units * baseX / 4.0)); }
int DialogUnits::Y(int units) const { return static_cast<int>(std::lround(units * baseY / 8.0)); }

DialogUnits UnitsOf(const DialogTemplate& dialog) {
  DialogUnits units;
  units.font = QApplication::font();
  if (!dialog.fontFace.empty()) {
    units.font.setFamily(Q(dialog.fontFace));
    units.font.setStyleHint(QFont::SansSerif);
  }
  if (dialog.fontSize > 0) units.font.setPointSize(dialog.fontSize);
  // As the system measures a dialog font: the average width of the 52 letters, rounded,
  // and the font's height.
  const QFontMetrics metrics(units.font);
  const int letters = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  units.baseX = (letters / 26 + 1) / 2;
  units.baseY = metrics.height();
  return units;
}

QImage ImageOf(HBITMAP bitmap) {
  const Bitmap* pixels = BitmapOf(bitmap);
  if (!pixels) return {};
  QImage image(pixels->width, pixels->height, QImage::Format_RGB32);
  for (int y = 0; y < pixels->height; ++y)
    for (int x = 0; x < pixels->width; ++x)
      image.setPixel(x, y, 0xFF000000u | pixels->palette[pixels->pixels[static_cast<std::size_t>(y) * pixels->width + x]]);
  return image;
}

QImage ButtonImageOf(HBITMAP bitmap) {
  QImage image = ImageOf(bitmap).convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if ((image.pixel(x, y) & 0xFFFFFFu) == 0xC0C0C0u) image.setPixel(x, y, 0u);
  return image;
}

// The widgets that show the Qt thread's windows, and the loop that serves the window
// layer on that thread.
class QtBackend::Screen final : public QObject {
 public:
  explicit Screen(QtBackend& backend) : backend_(backend), gui_(std::this_thread::get_id()) {
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { backend_.Pump(); });
    QObject::connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { FocusMovedTo(now); });
  }

  bool OnGuiThread() const { return std::this_thread::get_id() == gui_; }
  std::thread::id gui() const { return gui_; }

  // Runs what a person's action sets off in the module. An error it raises must not
  // cross Qt's event loop: it is kept, and raised again where the window layer waits
  // for the person (a modal dialog), or reported.
  void Safely(const std::function<void()>& action) {
    try {
      action();
    } catch (...) {
      if (!pending_) pending_ = std::current_exception();
    }
  }
  void RaisePending() {
    if (pending_) std::rethrow_exception(std::exchange(pending_, nullptr));
  }
  void ReportPending() {
    if (!pending_ || awaiting_ > 0) return;
    try {
      RaisePending();
    } catch (const std::exception& e) {
      qWarning("plenth: an action in a dialog failed: %s", e.what());
    } catch (...) {
      qWarning("plenth: an action in a dialog failed");
    }
  }
  int& awaiting() { return awaiting_; }

  // The next timer of the Qt thread wakes the loop when it falls due.
  void ArmTimer() {
    const auto due = NextTimerDue();
    if (!due) {
      timer_.stop();
      return;
    }
    const std::uint64_t now = ui::Now();
    timer_.start(static_cast<int>(std::min<std::uint64_t>(*due > now ? *due - now : 0, 1u << 30)));
  }

  // A Wake names the Qt thread: one pump is queued on its loop.
  void QueuePump() {
    if (!pumpQueued_.exchange(true)) QMetaObject::invokeMethod(this, [this] { backend_.Pump(); }, Qt::QueuedConnection);
  }
  void PumpStarts() { pumpQueued_ = false; }

  void Attach(HWND frame, QWidget* widget) {
    SetHandle(widget, frame);
    widgets_[frame] = widget;
    if (!mainFrame_) mainFrame_ = widget;
  }

  QWidget* WidgetOf(HWND window) const {
    const auto it = widgets_.find(window);
    return it == widgets_.end() ? nullptr : it->second.data();
  }

  // A widget's window is its own, or that of the nearest widget around it that shows
  // one, within the same top-level window.
  HWND WindowOf(const QWidget* widget) const {
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
      if (const HWND h = HandleOf(w)) return h;
      if (w->isWindow()) break;
    }
    return nullptr;
  }

  // Where a top-level window without an owner opens.
  QWidget* DefaultParent() const {
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    return mainFrame_.data();
  }

  QWidget* ParentFor(HWND owner) const {
    if (QWidget* w = WidgetOf(owner)) return w;
    return DefaultParent();
  }

  void BuildDialog(HWND dialog) {
    const DialogTemplate* made = TemplateOf(dialog);
    if (!made) return;
    const DialogUnits units = UnitsOf(*made);
    auto* widget = new DialogWidget(dialog, ParentFor(GetParent(dialog)),
                                    [this](const std::function<void()>& action) { Safely(action); });
    SetHandle(widget, dialog);
    widgets_[dialog] = widget;
    const DWORD style = StyleOf(dialog);
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (style & WS_SYSMENU) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (style & WS_MINIMIZEBOX) flags |= Qt::WindowMinimizeButtonHint;
    widget->setWindowFlags(flags);
    widget->setWindowTitle(Q(CaptionOf(dialog)));
    widget->setFont(units.font);
    widget->setFixedSize(units.X(made->cx), units.Y(made->cy));
    widget->setWindowModality(IsModalDialog(dialog) ? Qt::ApplicationModal : Qt::NonModal);
    const std::vector<HWND> controls = ChildrenOf(dialog);
    for (std::size_t i = 0; i < controls.size() && i < made->controls.size(); ++i)
      BuildControl(controls[i], made->controls[i], units, widget);
  }

  void Refresh(HWND window, WindowChange what) {
    QWidget* widget = WidgetOf(window);
    if (!widget || !IsWindow(window)) return;
    const bool dialog = TemplateOf(window) != nullptr;
    const bool frame = !dialog && widget->isWindow();
    Syncing syncing(*this);
    switch (what) {
      case WindowChange::kText:
        if (dialog) widget->setWindowTitle(Q(CaptionOf(window)));
        else if (!frame) ShowText(window, widget);
        break;
      case WindowChange::kEnabled:
        // A top-level window stays usable on the screen; Qt's modality keeps a person
        // out of what a modal dialog disables.
        if (!dialog && !frame) widget->setEnabled(IsWindowEnabled(window));
        break;
      case WindowChange::kVisible: ShowVisibility(window, widget, dialog); break;
      case WindowChange::kFocus:
        if (GetFocus() == window && !widget->hasFocus()) widget->setFocus(Qt::OtherFocusReason);
        break;
      case WindowChange::kCheck:
        if (auto* button = qobject_cast<QAbstractButton*>(widget); button && button->isCheckable())
          button->setChecked(SendMessage(window, BM_GETCHECK, 0, 0) == BST_CHECKED);
        break;
      case WindowChange::kImage: ShowImage(window, widget); break;
      case WindowChange::kItems:
        if (auto* combo = qobject_cast<QComboBox*>(widget)) {
          combo->clear();
          for (const std::string& item : ua::Items(window)) combo->addItem(Q(item));
          ShowSelection(window, combo);
        }
        break;
      case WindowChange::kSelection:
        if (auto* combo = qobject_cast<QComboBox*>(widget)) ShowSelection(window, combo);
        break;
      case WindowChange::kScroll:
        if (auto* edit = qobject_cast<QPlainTextEdit*>(widget)) ShowScroll(window, edit);
        break;
      case WindowChange::kForeground:
        if (widget->isWindow()) {
          widget->raise();
          widget->activateWindow();
        }
        break;
    }
  }

  void Drop(HWND window) {
    const auto it = widgets_.find(window);
    if (it == widgets_.end()) return;
    QPointer<QWidget> widget = it->second;
    widgets_.erase(it);
    if (!widget) return;
    widget->setProperty(kWindowProperty, QVariant());
    // A dialog may go while Qt is still inside one of its widgets' handlers (the OK
    // button's click ends it): it is hidden now and deleted once Qt is done with it.
    // Controls go with their dialog; an attached frame belongs to its host.
    if (dynamic_cast<DialogWidget*>(widget.data())) {
      widget->hide();
      widget->deleteLater();
    }
    if (mainFrame_ == widget) mainFrame_ = nullptr;
  }

 private:
  // While the screen is set from the window layer, the widgets' own signals are not a
  // person acting.
  struct Syncing {
    explicit Syncing(Screen& s) : screen(s), was(std::exchange(s.syncing_, true)) {}
    ~Syncing() { screen.syncing_ = was; }
    Screen& screen;
    bool was;
  };

  // What a person did with a control's widget, handed to the window layer.
  void Act(HWND window, const std::function<void()>& action) {
    if (syncing_ || !IsWindow(window)) return;
    Safely(action);
    // The window layer decides what the control shows (a check box it does not toggle,
    // a radio button it keeps checked): the widget follows it.
    if (IsWindow(window) && WidgetOf(window)) {
      Refresh(window, WindowChange::kCheck);
      Refresh(window, WindowChange::kText);
    }
  }

  void FocusMovedTo(QWidget* now) {
    if (syncing_ || !now) return;
    const HWND window = WindowOf(now);
    if (!window || !IsWindow(window) || GetFocus() == window) return;
    Safely([window] { SetFocus(window); });
  }

  void BuildControl(HWND control, const ControlTemplate& made, const DialogUnits& units, QWidget* dialog) {
    const std::string cls = ClassOf(control);
    const DWORD style = StyleOf(control);
    QWidget* widget = nullptr;
    if (cls == "Button") {
      const DWORD type = style & BS_TYPEMASK;
      QAbstractButton* button = nullptr;
      if (type == BS_GROUPBOX) {
        widget = new QGroupBox(dialog);
      } else if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX) {
        button = new QCheckBox(dialog);
      } else if (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON) {
        auto* radio = new QRadioButton(dialog);
        radio->setAutoExclusive(false);  // the window layer keeps the group's one check
        button = radio;
      } else {
        auto* push = new QPushButton(dialog);
        push->setAutoDefault(false);
        push->setDefault(type == BS_DEFPUSHBUTTON);
        button = push;
      }
      if (button) {
        QObject::connect(button, &QAbstractButton::clicked, this, [this, control] {
          Act(control, [control] { ua::Click(control); });
        });
        widget = button;
      }
    } else if (cls == "Edit" && (style & ES_MULTILINE)) {
      auto* edit = new QPlainTextEdit(dialog);
      edit->setReadOnly(style & ES_READONLY);
      edit->setLineWrapMode((style & WS_HSCROLL) || (style & ES_AUTOHSCROLL) ? QPlainTextEdit::NoWrap
                                                                            : QPlainTextEdit::WidgetWidth);
      edit->setVerticalScrollBarPolicy((style & WS_VSCROLL) ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded);
      QObject::connect(edit, &QPlainTextEdit::textChanged, this, [this, control, edit] {
        Act(control, [control, text = ToWindowText(edit->toPlainText())] {
          if (TextOf(control) != text) ua::Replace(control, text);
        });
      });
      widget = edit;
    } else if (cls == "Edit") {
      auto* edit = new QLineEdit(dialog);
      edit->setReadOnly(style & ES_READONLY);
      if (style & ES_NUMBER)
        edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
      if (style & ES_PASSWORD) edit->setEchoMode(QLineEdit::Password);
      edit->setAlignment((style & ES_RIGHT) ? Qt::AlignRight : (style & ES_CENTER) ? Qt::AlignHCenter : Qt::AlignLeft);
      QObject::connect(edit, &QLineEdit::textEdited, this, [this, control](const QString& text) {
        Act(control, [control, typed = S(text)] { ua::Replace(control, typed); });
      });
      widget = edit;
    } else if (cls == "ComboBox") {
      auto* combo = new QComboBox(dialog);
      if ((style & CBS_TYPEMASK) != CBS_DROPDOWNLIST) {
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setCompleter(nullptr);
        QObject::connect(combo->lineEdit(), &QLineEdit::textEdited, this, [this, control](const QString& text) {
          Act(control, [control, typed = S(text)] { ua::Replace(control, typed); });
        });
      }
      QObject::connect(combo, &QComboBox::activated, this, [this, control, combo](int index) {
        Act(control, [control, item = S(combo->itemText(index))] { ua::Pick(control, item); });
      });
      widget = combo;
    } else {
      auto* label = new QLabel(dialog);
      const DWORD kind = style & 0x1F;
      label->setAlignment((kind == SS_RIGHT ? Qt::AlignRight : kind == SS_CENTER ? Qt::AlignHCenter : Qt::AlignLeft) |
                          Qt::AlignTop);
      label->setWordWrap(kind != SS_LEFTNOWORDWRAP);
      if (style & WS_BORDER) label->setFrameStyle(QFrame::Box | QFrame::Plain);
      if (style & SS_SUNKEN) label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
      // A framed text lies inside its frame: Qt sets it in by half a letter from the
      // aligned edges, the top one too, which pushes a line out of a box one line high;
      // centred down, it is set in from the side only.
      if (label->frameWidth() > 0) label->setAlignment((label->alignment() & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter);
      widget = label;
    }
    SetHandle(widget, control);
    widgets_[control] = widget;
    int height = units.Y(made.cy);
    if (cls == "ComboBox") height = std::min(height, widget->sizeHint().height());  // the list drops below
    widget->setGeometry(units.X(made.x), units.Y(made.y), units.X(made.cx), height);
    if (cls == "Static" || (cls == "Button" && (style & BS_TYPEMASK) == BS_GROUPBOX))
      widget->setFocusPolicy(Qt::NoFocus);
    else
      widget->setFocusPolicy((style & WS_TABSTOP) ? Qt::StrongFocus : Qt::ClickFocus);
    Syncing syncing(*this);
    ShowText(control, widget);
    ShowImage(control, widget);
    widget->setEnabled(IsWindowEnabled(control));
    widget->setVisible(IsWindowVisible(control) || (StyleOf(control) & WS_VISIBLE));
    if (auto* button = qobject_cast<QAbstractButton*>(widget); button && button->isCheckable())
      button->setChecked(SendMessage(control, BM_GETCHECK, 0, 0) == BST_CHECKED);
    if (auto* combo = qobject_cast<QComboBox*>(widget)) {
      for (const std::string& item : ua::Items(control)) combo->addItem(Q(item));
      ShowSelection(control, combo);
    }
  }

  void ShowText(HWND window, QWidget* widget) {
    const std::string text = TextOf(window);
    if (auto* line = qobject_cast<QLineEdit*>(widget)) {
      if (S(line->text()) != text) line->setText(Q(text));
    } else if (auto* edit = qobject_cast<QPlainTextEdit*>(widget)) {
      if (ToWindowText(edit->toPlainText()) != text) edit->setPlainText(FromWindowText(text));
    } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
      if (combo->isEditable() && S(combo->currentText()) != text) combo->setEditText(Q(text));
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
      button->setText(Q(text));
    } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
      group->setTitle(Q(text));
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
      label->setText(Q(text));
    }
  }

  void ShowImage(HWND window, QWidget* widget) {
    auto* button = qobject_cast<QPushButton*>(widget);
    if (!button) return;
    const QImage image = ButtonImageOf(reinterpret_cast<HBITMAP>(SendMessage(window, BM_GETIMAGE, IMAGE_BITMAP, 0)));
    button->setIcon(image.isNull() ? QIcon() : QIcon(QPixmap::fromImage(image)));
    if (!image.isNull()) button->setIconSize(image.size());
  }

  void ShowSelection(HWND window, QComboBox* combo) {
    combo->setCurrentIndex(ua::Selection(window));
    if (combo->isEditable()) combo->setEditText(Q(TextOf(window)));
  }

  // The first visible line of a multi-line edit: its line at the top, or the end in
  // view when the text below it fits.
  void ShowScroll(HWND window, QPlainTextEdit* edit) {
    const auto first = static_cast<int>(SendMessage(window, EM_GETFIRSTVISIBLELINE, 0, 0));
    QScrollBar* bar = edit->verticalScrollBar();
    const QTextBlock block = edit->document()->findBlockByNumber(first);
    if (!block.isValid()) {
      bar->setValue(bar->maximum());
      return;
    }
    bar->setValue(std::min(bar->maximum(), block.firstLineNumber()));
  }

  void ShowVisibility(HWND window, QWidget* widget, bool dialog) {
    if (!dialog) {
      // A control of a hidden dialog keeps its own state until the dialog shows.
      const HWND parent = GetParent(window);
      if (parent && !IsWindowVisible(parent)) return;
      widget->setVisible(IsWindowVisible(window));
      return;
    }
    if (!IsWindowVisible(window)) {
      widget->hide();
      return;
    }
    for (HWND control : ChildrenOf(window))
      if (QWidget* c = WidgetOf(control)) c->setVisible(IsWindowVisible(control));
    widget->show();
    widget->raise();
    widget->activateWindow();
    if (const HWND focused = GetFocus(); focused && GetParent(focused) == window)
      if (QWidget* f = WidgetOf(focused)) f->setFocus(Qt::OtherFocusReason);
  }

  QtBackend& backend_;
  std::thread::id gui_;
  std::map<HWND, QPointer<QWidget>> widgets_;
  QPointer<QWidget> mainFrame_;
  QTimer timer_;
  std::atomic<bool> pumpQueued_{false};
  bool syncing_ = false;
  std::exception_ptr pending_;
  int awaiting_ = 0;
};

QtBackend::QtBackend() : screen_(std::make_unique<Screen>(*this)) {}
QtBackend::~QtBackend() = default;

void QtBackend::AttachFrame(HWND frame, QWidget* widget) { screen_->Attach(frame, widget); }
QWidget* QtBackend::WidgetOf(HWND window) const { return screen_->WidgetOf(window); }
HWND QtBackend::WindowOf(const QWidget* widget) const { return screen_->WindowOf(widget); }

void QtBackend::Pump() {
  if (!screen_->OnGuiThread()) return;
  screen_->PumpStarts();
  screen_->Safely([] {
    MSG msg;
    while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessage(&msg);
  });
  screen_->ArmTimer();
  screen_->ReportPending();
}

int QtBackend::ShowMessageBox(const MessageBoxRequest& box) {
  if (!screen_->OnGuiThread()) {
    // A box asked for by another thread is shown by the Qt thread; the asking thread
    // waits for the answer.
    int answer = IDCANCEL;
    QMetaObject::invokeMethod(screen_.get(), [&] { answer = ShowMessageBox(box); }, Qt::BlockingQueuedConnection);
    return answer;
  }
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  switch (box.type & MB_ICONMASK) {
    case MB_ICONERROR: icon = QMessageBox::Critical; break;
    case MB_ICONQUESTION: icon = QMessageBox::Question; break;
    case MB_ICONWARNING: icon = QMessageBox::Warning; break;
    case MB_ICONINFORMATION: icon = QMessageBox::Information; break;
    default: break;
  }
  QMessageBox::StandardButtons buttons = QMessageBox::Ok;
  switch (box.type & MB_TYPEMASK) {
    case MB_OKCANCEL: buttons = QMessageBox::Ok | QMessageBox::Cancel; break;
    case MB_ABORTRETRYIGNORE: buttons = QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore; break;
    case MB_YESNOCANCEL: buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel; break;
    case MB_YESNO: buttons = QMessageBox::Yes | QMessageBox::No; break;
    case MB_RETRYCANCEL: buttons = QMessageBox::Retry | QMessageBox::Cancel; break;
    default: break;
  }
  QMessageBox message(icon, Q(box.caption), FromWindowText(box.text), buttons, screen_->ParentFor(box.owner));
  message.setWindowModality(Qt::ApplicationModal);
  const int pressed = message.exec();
  return ButtonId(static_cast<QMessageBox::StandardButton>(pressed));
}

std::optional<std::string> QtBackend::ChooseSaveFile(const SaveFileRequest& request) {
  if (!screen_->OnGuiThread()) {
    std::optional<std::string> chosen;
    QMetaObject::invokeMethod(screen_.get(), [&] { chosen = ChooseSaveFile(request); }, Qt::BlockingQueuedConnection);
    return chosen;
  }
  QFileDialog dialog(screen_->ParentFor(request.owner), Q(request.title), Q(request.initialDirectory));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  if (!request.fileName.empty()) dialog.selectFile(Q(request.fileName));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return S(dialog.selectedFiles().front());
}

bool QtBackend::AwaitInput(HWND) {
  // The person is at the screen: Qt's loop runs until something happens (a click, a
  // key, a timer, a message queued here), and the dialog's loop looks again.
  ++screen_->awaiting();
  screen_->ArmTimer();
  QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  --screen_->awaiting();
  screen_->RaisePending();
  return true;
}

void QtBackend::Wait(std::optional<std::chrono::milliseconds> atMost) {
  // A thread waiting on the window layer (a send to another thread, its own message
  // loop) blocks as it does on the system, the Qt thread included; Wake releases it.
  Headless().Wait(atMost);
}

void QtBackend::Wake(std::thread::id thread) {
  Headless().Wake(thread);
  if (thread == screen_->gui()) screen_->QueuePump();
}

std::uint64_t QtBackend::Now() { return Headless().Now(); }

void QtBackend::WindowCreated(HWND window) {
  // Frames are shown by their host (AttachFrame); only the Qt thread's windows are shown.
  if (screen_->OnGuiThread() && TemplateOf(window)) screen_->BuildDialog(window);
}

void QtBackend::WindowChanged(HWND window, WindowChange what) {
  if (screen_->OnGuiThread()) {
    screen_->Refresh(window, what);
    return;
  }
  QMetaObject::invokeMethod(screen_.get(), [this, window, what] { screen_->Refresh(window, what); },
                            Qt::QueuedConnection);
}

void QtBackend::WindowDestroyed(HWND window) {
  if (screen_->OnGuiThread()) {
    screen_->Drop(window);
    return;
  }
  QMetaObject::invokeMethod(screen_.get(), [this, window] { screen_->Drop(window); }, Qt::QueuedConnection);
}

ScopedQtBackend::ScopedQtBackend() : previous_(SetBackend(&backend_)) {}
ScopedQtBackend::~ScopedQtBackend() { SetBackend(previous_); }

}  // namespace ui::qt
