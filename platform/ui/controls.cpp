// The built-in behaviour of buttons, edits, combo boxes and statics.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <utility>

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

// Appends one character code as UTF-8.
void AppendChar(std::string& s, char32_t c) {
  if (c < 0x80) {
    s += static_cast<char>(c);
  } else if (c < 0x800) {
    s += static_cast<char>(0xC0 | (c >> 6));
    s += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    s += static_cast<char>(0xE0 | (c >> 12));
    s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    s += static_cast<char>(0xF0 | (c >> 18));
    s += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void EraseLastChar(std::string& s) {
  if (s.empty()) return;
  std::size_t n = s.size() - 1;
  while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
  s.erase(n);
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
    EraseLastChar(text);
    return true;
  }
  if (c == '\r') {
    if (!(w.style & ES_MULTILINE)) return false;
    text += "\r\n";
    return true;
  }
  if (c < 0x20) return false;
  if (w.cls == "Edit" && (w.style & ES_NUMBER) && (c < '0' || c > '9')) return false;
  AppendChar(text, c);
  return true;
}

LRESULT CommonText(Window& w, UINT message, WPARAM wParam, LPARAM lParam, const std::string& text) {
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
            if (cw->cls == "Button" && (cw->style & BS_TYPEMASK) == BS_AUTORADIOBUTTON) cw->check = BST_UNCHECKED;
          }
        }
        w.check = BST_CHECKED;
      }
      Notify(w, BN_CLICKED);
      return 0;
    case BM_GETCHECK: return w.check;
    case BM_SETCHECK: w.check = static_cast<int>(wParam); return 0;
    case BM_SETIMAGE: return reinterpret_cast<LRESULT>(std::exchange(w.image, reinterpret_cast<HBITMAP>(lParam)));
    case BM_GETIMAGE: return reinterpret_cast<LRESULT>(w.image);
    case WM_SETTEXT: w.text = lParam ? reinterpret_cast<const char*>(lParam) : ""; return TRUE;
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH: return CommonText(w, message, wParam, lParam, w.text);
    default: return 0;
  }
}

LRESULT EditProc(Window& w, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SETTEXT:
      w.text = lParam ? reinterpret_cast<const char*>(lParam) : "";
      w.firstVisibleLine = 0;
      Notify(w, EN_CHANGE);
      return TRUE;
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH: return CommonText(w, message, wParam, lParam, w.text);
    case WM_CHAR:
      if (!(w.style & ES_READONLY) && TypeInto(w, w.text, static_cast<char32_t>(wParam))) Notify(w, EN_CHANGE);
      return 0;
    case WM_SETFOCUS: Notify(w, EN_SETFOCUS); return 0;
    case WM_KILLFOCUS: Notify(w, EN_KILLFOCUS); return 0;
    case EM_GETLINECOUNT: return LineCount(w.text);
    case EM_GETFIRSTVISIBLELINE: return w.firstVisibleLine;
    case EM_LINESCROLL:
      w.firstVisibleLine = std::clamp(w.firstVisibleLine + static_cast<int>(lParam), 0, LineCount(w.text) - 1);
      return TRUE;
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
      return index;
    }
    case CB_DELETESTRING:
      if (!inRange(wParam)) return CB_ERR;
      w.items.erase(w.items.begin() + static_cast<long>(wParam));
      if (w.selection == static_cast<int>(wParam)) w.selection = -1;
      else if (w.selection > static_cast<int>(wParam)) --w.selection;
      return static_cast<LRESULT>(w.items.size());
    case CB_RESETCONTENT:
      w.items.clear();
      w.selection = -1;
      w.text.clear();
      return 0;
    case CB_GETCOUNT: return count;
    case CB_GETCURSEL: return w.selection;
    case CB_SETCURSEL:
      if (!inRange(wParam)) {
        w.selection = -1;
        if (IsEditableCombo(w)) w.text.clear();
        return CB_ERR;
      }
      w.selection = static_cast<int>(wParam);
      if (IsEditableCombo(w)) w.text = w.items[w.selection];
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
        }
        return i;
      }
      return CB_ERR;
    }
    case WM_SETTEXT:
      if (!IsEditableCombo(w)) return CB_ERR;
      w.text = lParam ? reinterpret_cast<const char*>(lParam) : "";
      return TRUE;
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH: return CommonText(w, message, wParam, lParam, text());
    case WM_CHAR:
      if (IsEditableCombo(w) && TypeInto(w, w.text, static_cast<char32_t>(wParam))) {
        w.selection = -1;
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
    case WM_SETTEXT: w.text = lParam ? reinterpret_cast<const char*>(lParam) : ""; return TRUE;
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH: return CommonText(w, message, wParam, lParam, w.text);
    case STM_SETIMAGE: return reinterpret_cast<LRESULT>(std::exchange(w.image, reinterpret_cast<HBITMAP>(lParam)));
    default: return 0;
  }
}

}  // namespace

LRESULT ControlProc(Window& w, UINT message, WPARAM wParam, LPARAM lParam) {
  if (w.cls == "Button") return ButtonProc(w, message, wParam, lParam);
  if (w.cls == "Edit") return EditProc(w, message, wParam, lParam);
  if (w.cls == "ComboBox") return ComboProc(w, message, wParam, lParam);
  return StaticProc(w, message, wParam, lParam);
}

}  // namespace ui::detail
