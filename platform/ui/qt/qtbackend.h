// The window layer on a screen, with Qt Widgets. Each dialog a module makes from its
// templates is shown as a real dialog with its controls at their dialog-unit places;
// message boxes and the save-file dialog are Qt's own; what a person does in a dialog
// reaches the window layer as the messages the automation API sends; and the messages
// posted and sent to the Qt thread, and its timers, are handled from Qt's event loop.
//
// The module cannot tell this backend from the headless one: the same dialog procedures
// run under both. Only a desktop host links this library.
#pragma once

#include <QFont>
#include <QImage>
#include <memory>

#include "ui/backend.h"
#include "ui/resources.h"

class QWidget;

namespace ui::qt {

// Dialog units in pixels for a template's font: across, a quarter of the font's average
// character width; down, an eighth of its height.
struct DialogUnits {
  QFont font;
  int baseX = 0;
  int baseY = 0;
  int X(int units) const;
  int Y(int units) const;
};
DialogUnits UnitsOf(const DialogTemplate& dialog);

// A module bitmap as an image (a null image for no bitmap).
QImage ImageOf(HBITMAP bitmap);
// A bitmap as a picture on a button or a toolbar: drawn on the system's button-face
// grey (192, 192, 192), that grey is clear here, whatever colour the button has.
QImage ButtonImageOf(HBITMAP bitmap);

class QtBackend final : public Backend {
 public:
  // Made on the thread that runs the QApplication, once the application exists.
  QtBackend();
  ~QtBackend() override;
  QtBackend(const QtBackend&) = delete;
  QtBackend& operator=(const QtBackend&) = delete;

  // Shows a frame window (a host's main window) as this widget: the dialogs it owns
  // open over it, and so do the dialogs that have no owner.
  void AttachFrame(HWND frame, QWidget* widget);
  // The widget that shows a window, or null.
  QWidget* WidgetOf(HWND window) const;
  // The window a widget (or a widget inside it) shows, or null.
  HWND WindowOf(const QWidget* widget) const;
  // Handles everything queued for the Qt thread now (posted and sent messages, due
  // timers), as the event loop does when it is woken.
  void Pump();

  int ShowMessageBox(const MessageBoxRequest& box) override;
  std::optional<std::string> ChooseSaveFile(const SaveFileRequest& request) override;
  bool AwaitInput(HWND dialog) override;
  void Wait(std::optional<std::chrono::milliseconds> atMost) override;
  void Wake(std::thread::id thread) override;
  // The headless backend's clock, so that a test's clock (ui/automation.h) holds here too.
  std::uint64_t Now() override;
  void WindowCreated(HWND window) override;
  void WindowChanged(HWND window, WindowChange what) override;
  void WindowDestroyed(HWND window) override;

 private:
  class Screen;
  std::unique_ptr<Screen> screen_;
};

// Installs a Qt backend for as long as it lives, and the one before it again after.
class ScopedQtBackend {
 public:
  ScopedQtBackend();
  ~ScopedQtBackend();
  ScopedQtBackend(const ScopedQtBackend&) = delete;
  ScopedQtBackend& operator=(const ScopedQtBackend&) = delete;
  QtBackend& backend() { return backend_; }

 private:
  QtBackend backend_;
  Backend* previous_;
};

}  // namespace ui::qt
