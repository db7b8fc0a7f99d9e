#include "host/savefiledialog.h"

#include <unistd.h>

#include <climits>

#include "com/bstr.h"
#include "ui/commdlg.h"

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

}  // namespace plenth
