// The built-in behaviour of buttons, edits, combo boxes and statics.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>
#include <utility>

#include "com/utf8.h"
#include "ui/internal.h"
#include "ui/window.h"

namespace ui::detail {
namespace {

bool LessNoCase(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
  });
}
bool EqualNoCase(const std::string& a, const std::string& b) { return !LessNoCase(a, b) && !LessNoCase(b, a); }
bool StartsNoCase(const std::string& s, const std::string& prefix) {
  return s.size() >= prefix.size() && EqualNoCase(s.substr(0, prefix.size()), prefix);
}

bool IsEditableCombo(const Window& w) { return (w.style & CBS_TYPEMASK) != CBS_DROPDOWNLIST; }

int LineCount(const std::string& text) {
  // Hard line breaks only: the headless screen does not wrap.
  int lines = 1;
  for (std::size_t i = 0; (i = text.find('\n', i)) != std::string::npos; ++i) ++lines;
  return lines;
}

// Typing one character into an edit (or the edit of a combo box).
bool TypeInto(Window& w, std::string& text, char32_t c) {
  if (c == '\b') {
    if (text.empty()) return false;
    text.erase(com::Utf8CharStart(text, text.size() - 1));
    return true;
  }
  if (c == '\r') {
    if (!(w.style & ES_MULTILINE)) return false;
    text += "\r\n";
    return true;
  }
  if (c < 0x20) return false;
  if (w.cls == "Edit" && (w.style & ES_NUMBER) && (c < '0' || c > '9')) return false;
  com::AppendUtf8(text, c);
  return true;
}

LRESULT SetText(Window& w, LPARAM text) {
  w.text = text ? reinterpret_cast<const char*>(text) : "";
  Changed(w, WindowChange::kText);
  return TRUE;
}

LRESULT SetImage(Window& w, LPARAM image) {
  const HBITMAP previous = std::exchange(w.image, reinterpret_cast<HBITMAP>(image));
  Changed(w, WindowChange::kImage);
  return reinterpret_cast<LRESULT>(previous);
}

LRESULT CommonText(UINT message, WPARAM wParam, LPARAM lParam, const std::string& text) {
  if (message == WM_GETTEXT) return CopyText(text, reinterpret_cast<char*>(lParam), wParam);
  return static_cast<LRESULT>(text.size());
}

LRESULT ButtonProc(Window& w, UINT message, WPARAM wParam, LPARAM lParam) {
  const DWORD type = w.style & BS_TYPEMASK;
  switch (message) {
    case BM_CLICK:
      if (!w.enabled) return 0;
      if (type == BS_AUTOCHECKBOX) {
        w.check = w.check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
      } else if (type == BS_AUTORADIOBUTTON) {
        // Uncheck the other automatic radio buttons of the group.
        if (const auto dialog = Find(w.parent)) {
          const auto& kids = dialog->children;
          const auto self = std::find(kids.begin(), kids.end(), w.handle);
          auto first = self;
          while (first != kids.begin()) {
            const auto cw = Find(*first);
            if (cw && (cw->style & WS_GROUP)) break;
            --first;
          }
          for (auto it = first; it != kids.end(); ++it) {
            const auto cw = Find(*it);
            if (!cw) continue;
            if (it != first && (cw->style & WS_GROUP)) break;
            if (cw->cls != "Button" || (cw->style & BS_TYPEMASK) != BS_AUTORADIOBUTTON || cw.get() == &w) continue;
            if (std::exchange(cw->check, BST_UNCHECKED) != BST_UNCHECKED) Changed(*cw, WindowChange::kCheck);
          }
        }
        w.check = BST_CHECKED;
      }
      if (type == BS_AUTOCHECKBOX || type == BS_AUTORADIOBUTTON) Changed(w, WindowChange::kCheck);
      Notify(w, BN_CLICKED);
      return 0;
    case BM_GETCHECK: return w.check;
    case BM_SETCHECK:
      w.check = static_cast<int>(wParam);
      Changed(w, WindowChange::kCheck);
      return 0;
    case BM_SETIMAGE: return SetImage(w, lParam);
    case BM_GETIMAGE: return reinterpret_cast<LRESULT>(w.image);
    case WM_SETTEXT: return SetText(w, lParam);
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH: return CommonText(message, wParam, lParam, w.text);
    default: return 0;
  }
}

LRESULT EditProc(Window& w, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SETTEXT:
      if (std::exchange(w.firstVisibleLine, 0) != 0) Changed(w, WindowChange::kScroll);  // new text shows from its top
      SetText(w, lParam);
      Notify(w, EN_CHANGE);
      return TRUE;
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH: return CommonText(message, wParam, lParam, w.text);
    case WM_CHAR:
      if (!(w.style & ES_READONLY) && TypeInto(w, w.text, static_cast<char32_t>(wParam))) {
        Changed(w, WindowChange::kText);
        Notify(w, EN_CHANGE);
      }
      return 0;
    case WM_SETFOCUS: Notify(w, EN_SETFOCUS); return 0;
    case WM_KILLFOCUS: Notify(w, EN_KILLFOCUS); return 0;
    case EM_GETLINECOUNT: return LineCount(w.text);
    case EM_GETFIRSTVISIBLELINE: return w.firstVisibleLine;
    case EM_LINESCROLL: {
      if (!(w.style & ES_MULTILINE)) return FALSE;  // a single line does not scroll up or down
      const int first = std::clamp(w.firstVisibleLine + static_cast<int>(lParam), 0, LineCount(w.text) - 1);
      if (std::exchange(w.firstVisibleLine, first) != first) Changed(w, WindowChange::kScroll);
      return TRUE;
    }
    default: return 0;
  }
}

LRESULT ComboProc(Window& w, UINT message, WPARAM wParam, LPARAM lParam) {
  const auto text = [&]() -> std::string {
    if (IsEditableCombo(w)) return w.text;
    return w.selection >= 0 && w.selection < static_cast<int>(w.items.size()) ? w.items[w.selection] : "";
  };
  const int count = static_cast<int>(w.items.size());
  const auto inRange = [&](WPARAM i) { return static_cast<int>(i) >= 0 && static_cast<int>(i) < count; };
  switch (message) {
    case CB_ADDSTRING: {
      const std::string item = lParam ? reinterpret_cast<const char*>(lParam) : "";
      auto at = w.items.end();
      if (w.style & CBS_SORT) at = std::upper_bound(w.items.begin(), w.items.end(), item, LessNoCase);
      const auto index = at - w.items.begin();
      w.items.insert(at, item);
      if (w.selection >= index) ++w.selection;
      Changed(w, WindowChange::kItems);
      return index;
    }
    case CB_DELETESTRING:
      if (!inRange(wParam)) return CB_ERR;
      w.items.erase(w.items.begin() + static_cast<long>(wParam));
      if (w.selection == static_cast<int>(wParam)) w.selection = -1;
      else if (w.selection > static_cast<int>(wParam)) --w.selection;
      Changed(w, WindowChange::kItems);
      return static_cast<LRESULT>(w.items.size());
    case CB_RESETCONTENT:
      w.items.clear();
      w.selection = -1;
      w.text.clear();
      Changed(w, WindowChange::kItems);
      return 0;
    case CB_GETCOUNT: return count;
    case CB_GETCURSEL: return w.selection;
    case CB_SETCURSEL:
      if (!inRange(wParam)) {
        w.selection = -1;
        if (IsEditableCombo(w)) w.text.clear();
        Changed(w, WindowChange::kSelection);
        return CB_ERR;
      }
      w.selection = static_cast<int>(wParam);
      if (IsEditableCombo(w)) w.text = w.items[w.selection];
      Changed(w, WindowChange::kSelection);
      return w.selection;
    case CB_GETLBTEXTLEN: return inRange(wParam) ? static_cast<LRESULT>(w.items[wParam].size()) : CB_ERR;
    case CB_GETLBTEXT:
      // The caller's buffer must hold CB_GETLBTEXTLEN + 1 bytes, as on Windows.
      if (!inRange(wParam) || !lParam) return CB_ERR;
      std::memcpy(reinterpret_cast<char*>(lParam), w.items[wParam].c_str(), w.items[wParam].size() + 1);
      return static_cast<LRESULT>(w.items[wParam].size());
    case CB_FINDSTRINGEXACT:
    case CB_SELECTSTRING: {
      const std::string wanted = lParam ? reinterpret_cast<const char*>(lParam) : "";
      const int start = static_cast<int>(static_cast<std::intptr_t>(wParam));
      for (int k = 0; k < count; ++k) {
        const int i = (start + 1 + k + count) % count;
        const bool hit = message == CB_FINDSTRINGEXACT ? EqualNoCase(w.items[i], wanted)
                                                       : StartsNoCase(w.items[i], wanted);
        if (!hit) continue;
        if (message == CB_SELECTSTRING) {
          w.selection = i;
          if (IsEditableCombo(w)) w.text = w.items[i];
          Changed(w, WindowChange::kSelection);
        }
        return i;
      }
      return CB_ERR;
    }
    case WM_SETTEXT:
      if (!IsEditableCombo(w)) return CB_ERR;
      return SetText(w, lParam);
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH: return CommonText(message, wParam, lParam, text());
    case WM_CHAR:
      if (IsEditableCombo(w) && TypeInto(w, w.text, static_cast<char32_t>(wParam))) {
        w.selection = -1;
        Changed(w, WindowChange::kText);
        Notify(w, CBN_EDITUPDATE);
        Notify(w, CBN_EDITCHANGE);
      }
      return 0;
    case WM_SETFOCUS: Notify(w, CBN_SETFOCUS); return 0;
    case WM_KILLFOCUS: Notify(w, CBN_KILLFOCUS); return 0;
    default: return 0;
  }
}

LRESULT StaticProc(Window& w, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SETTEXT: return SetText(w, lParam);
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH: return CommonText(message, wParam, lParam, w.text);
    case STM_SETIMAGE: return SetImage(w, lParam);
    default: return 0;
  }
}

}  // namespace

void Notify(const Window& control, WORD code) {
  if (control.parent)
    SendMessage(control.parent, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(control.id), code),
                reinterpret_cast<LPARAM>(control.handle));
}

int CopyText(const std::string& text, char* buffer, std::size_t size) {
  if (!buffer || size == 0) return 0;
  const std::string_view fit = com::CutUtf8(text, size - 1);
  std::memcpy(buffer, fit.data(), fit.size());
  buffer[fit.size()] = 0;
  return static_cast<int>(fit.size());
}

LRESULT ControlProc(Window& w, UINT message, WPARAM wParam, LPARAM lParam) {
  if (w.cls == "Button") return ButtonProc(w, message, wParam, lParam);
  if (w.cls == "Edit") return EditProc(w, message, wParam, lParam);
  if (w.cls == "ComboBox") return ComboProc(w, message, wParam, lParam);
  return StaticProc(w, message, wParam, lParam);
}

}  // namespace ui::detail
