// Dialogs made from a module's templates, modal and modeless, and the system's own
// dialogs (message boxes, the save-file dialog), which the backend shows.
#include "ui/commdlg.h"
#include "ui/internal.h"
#include "ui/msgbox.h"
#include "ui/resources.h"
#include "ui/window.h"

namespace ui::detail {

LRESULT DefDialogProc(Window& w, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:  // the close box acts as Cancel
      return SendMessage(w.handle, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(w.handle, IDCANCEL)));
    case WM_SETTEXT:
      w.text = lParam ? reinterpret_cast<const char*>(lParam) : "";
      Changed(w, WindowChange::kText);
      return TRUE;
    case WM_GETTEXT: return CopyText(w.text, reinterpret_cast<char*>(lParam), wParam);
    case WM_GETTEXTLENGTH: return static_cast<LRESULT>(w.text.size());
    default: return 0;
  }
}

}  // namespace ui::detail

namespace {

using ui::detail::Find;
using ui::detail::Window;

HWND CreateDialogWindow(HINSTANCE module, int templateId, HWND owner, DLGPROC proc, LPARAM param, bool modal) {
  const ui::ResourceScript* script = ui::ScriptOf(module);
  if (!script) return nullptr;
  const auto found = script->dialogs.find(templateId);
  if (found == script->dialogs.end()) return nullptr;
  const ui::DialogTemplate& t = found->second;

  auto dialog = std::make_shared<Window>();
  dialog->module = module;
  dialog->cls = "#32770";
  dialog->text = t.caption;
  dialog->style = t.style;
  dialog->exStyle = t.exStyle;
  dialog->x = t.x, dialog->y = t.y, dialog->cx = t.cx, dialog->cy = t.cy;
  dialog->owner = IsWindow(owner) ? owner : nullptr;
  dialog->isDialog = true;
  dialog->modal = modal;
  dialog->proc = proc;
  dialog->templateId = templateId;
  const HWND h = ui::detail::Register(dialog);
  HWND firstTab = nullptr;
  for (const ui::ControlTemplate& c : t.controls) {
    auto child = std::make_shared<Window>();
    child->module = module;
    child->cls = c.cls;
    child->text = c.text;
    child->id = c.id;
    child->style = c.style;
    child->exStyle = c.exStyle;
    child->x = c.x, child->y = c.y, child->cx = c.cx, child->cy = c.cy;
    child->parent = h;
    child->enabled = !(c.style & WS_DISABLED);
    child->visible = (c.style & WS_VISIBLE) != 0;
    const HWND ch = ui::detail::Register(child);
    dialog->children.push_back(ch);
    if (!firstTab && (c.style & WS_TABSTOP) && child->enabled && child->visible) firstTab = ch;
  }
  ui::CurrentBackend().WindowCreated(h);
  LRESULT focusDefault = FALSE;
  try {
    focusDefault = SendMessage(h, WM_INITDIALOG, reinterpret_cast<WPARAM>(firstTab), param);
  } catch (...) {
    DestroyWindow(h);  // an error raised while the dialog opens leaves no half-made window
    throw;
  }
  if (!IsWindow(h)) return nullptr;  // the dialog procedure destroyed its own window
  if (focusDefault && firstTab && IsWindow(firstTab)) SetFocus(firstTab);
  if (((t.style & WS_VISIBLE) || modal) && !dialog->visible) {
    dialog->visible = true;
    ui::detail::Changed(*dialog, ui::WindowChange::kVisible);
  }
  return h;
}

}  // namespace

HWND CreateDialogParam(HINSTANCE module, int templateId, HWND owner, DLGPROC proc, LPARAM param) {
  return CreateDialogWindow(module, templateId, owner, proc, param, false);
}

INT_PTR DialogBoxParam(HINSTANCE module, int templateId, HWND owner, DLGPROC proc, LPARAM param) {
  const HWND h = CreateDialogWindow(module, templateId, owner, proc, param, true);
  if (!h) return -1;
  const bool ownerWasEnabled = owner && IsWindowEnabled(owner);
  if (ownerWasEnabled) EnableWindow(owner, FALSE);
  // An error raised by the dialog procedure ends the dialog and gives the owner back.
  struct Cleanup {
    HWND dialog, owner;
    bool enable;
    ~Cleanup() {
      DestroyWindow(dialog);
      if (enable) EnableWindow(owner, TRUE);
    }
  } cleanup{h, owner, ownerWasEnabled};
  int unanswered = 0;
  while (true) {
    const auto w = Find(h);
    if (!w || w->ended) break;
    MSG msg;
    if (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
      DispatchMessage(&msg);
      continue;
    }
    if (ui::CurrentBackend().AwaitInput(h)) continue;
    // Nobody is at the screen: the person closes the dialog; a dialog that will not
    // close is ended as cancelled.
    if (unanswered++ == 0)
      SendMessage(h, WM_CLOSE, 0, 0);
    else
      EndDialog(h, IDCANCEL);
  }
  INT_PTR result = IDCANCEL;
  if (const auto w = Find(h)) result = w->result;
  return result;
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
  const auto w = Find(dialog);
  if (!w || !w->isDialog) return FALSE;
  w->ended = true;
  w->result = result;
  if (!w->modal && w->visible) {  // a modeless dialog is only hidden
    w->visible = false;
    ui::detail::Changed(*w, ui::WindowChange::kVisible);
  }
  return TRUE;
}

int MessageBox(HWND owner, const char* text, const char* caption, UINT type) {
  return ui::CurrentBackend().ShowMessageBox({owner, caption ? caption : "Error", text ? text : "", type});
}

BOOL GetSaveFileName(OPENFILENAME* ofn) {
  if (!ofn || !ofn->lpstrFile || ofn->nMaxFile == 0) return FALSE;
  const ui::SaveFileRequest request{ofn->hwndOwner, ofn->lpstrTitle ? ofn->lpstrTitle : "",
                                    ofn->lpstrInitialDir ? ofn->lpstrInitialDir : "", ofn->lpstrFile, ofn->Flags};
  const auto chosen = ui::CurrentBackend().ChooseSaveFile(request);
  if (!chosen || chosen->size() + 1 > ofn->nMaxFile) return FALSE;
  ui::detail::CopyText(*chosen, ofn->lpstrFile, ofn->nMaxFile);
  if (ofn->lpstrFileTitle && ofn->nMaxFileTitle) {
    const auto slash = chosen->find_last_of("/\\:");
    ui::detail::CopyText(chosen->substr(slash == std::string::npos ? 0 : slash + 1), ofn->lpstrFileTitle,
                         ofn->nMaxFileTitle);
  }
  return TRUE;
}
