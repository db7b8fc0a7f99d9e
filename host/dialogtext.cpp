#include "host/dialogtext.h"

#include "ui/window.h"

namespace plenth {

std::string DialogText(HWND dialog, int id) {
  const HWND control = GetDlgItem(dialog, id);
  const int length = GetWindowTextLength(control);
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  text.resize(static_cast<std::size_t>(GetWindowText(control, text.data(), length + 1)));
  return text;
}

}  // namespace plenth
