#include "host/savefiledialog.h"

#include <unistd.h>

#include <climits>

#include "com/bstr.h"
#include "host/moduleglobals.h"
#include "resources/resource.h"
#include "ui/bitmap.h"
#include "ui/commdlg.h"
#include "ui/window.h"

namespace plenth {

std::string CurrentDirectory() {
  char buffer[PATH_MAX];
  return getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string();
}

std::string AskSavePath(HWND owner, const std::string& initial) {
  char file[255];
  com::CopyToBuffer(file, sizeof file, initial);
  const std::string directory = CurrentDirectory();
  OPENFILENAME ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFile = file;
  ofn.nMaxFile = sizeof file;
  ofn.lpstrInitialDir = directory.c_str();
  ofn.lpstrTitle = "Save As";
  ofn.Flags = OFN_NOREADONLYRETURN | OFN_NOTESTFILECREATE;
  return GetSaveFileName(&ofn) ? std::string(file) : std::string();
}

void ShowBrowsePicture(HWND dialog, std::initializer_list<int> buttons) {
  const HBITMAP folder = LoadBitmap(ModuleInstance(), IDB_BROWSE);
  for (int button : buttons)
    SendDlgItemMessage(dialog, button, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(folder));
}

void ReleaseBrowsePicture(HWND dialog, int firstButton) {
  DeleteObject(reinterpret_cast<HBITMAP>(SendDlgItemMessage(dialog, firstButton, BM_GETIMAGE, IMAGE_BITMAP, 0)));
}

void BrowseInto(HWND dialog, int edit) {
  if (const std::string path = AskSavePath(dialog); !path.empty()) SetDlgItemText(dialog, edit, path.c_str());
}

}  // namespace plenth
