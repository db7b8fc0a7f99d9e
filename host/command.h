// What every command of the module shares: its fixed texts and picture, the creation
// step that finds the module's extension, the rule that enables it, and the two kinds
// of click (a modal dialog, or a modeless window owned by the host's main window).
#pragma once

#include "host/classinfo.h"
#include "host/moduleglobals.h"
#include "hostapi/hostapi.h"
#include "ui/types.h"

namespace plenth {

// The application of the last modal command clicked; the modal commands hand it to the
// data-access routines, which reach the focus map through it. It lasts until the
// module's release (host/moduleglobals.h).
extern com::ComPtr<HostApplication>& CurrentApplication;

// The clipboard format id of "Map Layers", registered by the point grid tool's creation;
// 0 until then.
extern UINT LayersClipboardFormat;

// A command's fixed texts and picture, what its creation does besides finding the
// extension, what its click opens, and how it gives the select tool back. Its name is
// "PlenthTools_" followed by its class name.
struct CommandInfo {
  const ClassInfo& row;  // its row in the class table
  const char* caption;
  const char* tooltip;
  const char* message;
  int bitmapId;
  enum class Creation { None, CommonControls, ClipboardFormat } creation;
  enum class Click { Modal, Modeless } click;
  enum class Restore { Reporting, Quiet } restore;
};

// The state and the shared operations of a command object.
class CommandCore {
 public:
  explicit CommandCore(const CommandInfo& info);
  virtual ~CommandCore();
  CommandCore(const CommandCore&) = delete;
  CommandCore& operator=(const CommandCore&) = delete;

  HRESULT IsEnabled(VARIANT_BOOL* enabled);
  HRESULT IsChecked(VARIANT_BOOL* checked);
  HRESULT Name(BSTR* name);
  HRESULT Caption(BSTR* caption);
  HRESULT Tooltip(BSTR* tooltip);
  HRESULT Message(BSTR* message);
  HRESULT HelpFile(BSTR* file);
  HRESULT HelpContextId(LONG* id);
  HRESULT Bitmap(OLE_HANDLE* out);
  HRESULT Category(BSTR* category);
  HRESULT OnCreate(IUnknown* hook);
  // The click frame of the command's kind; a tool with rules of its own overrides it.
  virtual HRESULT Click();

  const CommandInfo& info() const { return info_; }
  // The class-specific preparation of giving the host its select tool back; by default
  // the command's modeless window, if it still is one, is destroyed.
  virtual void PrepareSelectToolRestore();
  // Destroys the command's modeless window, if it still is one, and forgets it.
  void DestroyModelessWindow();

  com::ComPtr<HostApplication> application;
  com::ComPtr<HostExtensionConfig> extension;
  HBITMAP bitmap = nullptr;
  HWND window = nullptr;  // the command's modeless window, if it has one

 protected:
  // A modal click: store the application as CurrentApplication, run the dialog, then
  // the processing on OK or give the select tool back otherwise.
  HRESULT ModalClick();
  // A modeless click: the dialog owned by the host's main window, with this command as
  // its creation parameter. While it is open, a click brings it forward instead.
  HRESULT ModelessClick();
  // The dialog a click runs, and what follows its OK. Each tool supplies its own.
  virtual INT_PTR RunModalDialog() { return IDCANCEL; }
  virtual void ProcessOk() {}
  virtual int ModelessDialogId() const { return 0; }
  virtual DLGPROC ModelessDialogProc() const { return nullptr; }

 private:
  const CommandInfo& info_;
};

// A command class: its primary interface (and more), the command contract forwarded to
// the shared core through the status-code boundary, and counted in the module.
template <class Derived, class Primary, class... More>
class Command : public com::ComClass<Derived, Primary, HostCommand, More...>,
                public CommandCore,
                CountedObject {
 public:
  explicit Command(const CommandInfo& info) : CommandCore(info) {}

  HRESULT IsEnabled(VARIANT_BOOL* enabled) override {
    return com::Guard([&] { return CommandCore::IsEnabled(enabled); });
  }
  HRESULT IsChecked(VARIANT_BOOL* checked) override { return CommandCore::IsChecked(checked); }
  HRESULT Name(BSTR* name) override { return CommandCore::Name(name); }
  HRESULT Caption(BSTR* caption) override { return CommandCore::Caption(caption); }
  HRESULT Tooltip(BSTR* tooltip) override { return CommandCore::Tooltip(tooltip); }
  HRESULT Message(BSTR* message) override { return CommandCore::Message(message); }
  HRESULT HelpFile(BSTR* file) override { return CommandCore::HelpFile(file); }
  HRESULT HelpContextId(LONG* id) override { return CommandCore::HelpContextId(id); }
  HRESULT Bitmap(OLE_HANDLE* out) override { return CommandCore::Bitmap(out); }
  HRESULT Category(BSTR* category) override { return CommandCore::Category(category); }
  HRESULT OnCreate(IUnknown* hook) override { return com::Guard([&] { return CommandCore::OnCreate(hook); }); }
  HRESULT OnClick() override { return com::Guard([&] { return Click(); }); }

 protected:
  // A modeless window must not outlive the command it calls back: it goes first.
  void FinalRelease() override { DestroyModelessWindow(); }
};

// Reports a failed step of giving the select tool back: "0x%0X" with the step's caption.
void ReportHostStatus(HRESULT status, const char* caption);

// Gives the host its own "PageLayout_SelectTool" back after the command's preparation,
// with message boxes for the reporting variant.
void SelectToolRestore(CommandCore& command);

}  // namespace plenth
