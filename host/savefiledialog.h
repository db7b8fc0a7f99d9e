// The system's "Save As" dialog as the module's dialogs show it: no filter, no default
// extension, read-only files refused and no trial creation of the chosen file.
#pragma once

#include <initializer_list>
#include <string>

#include "ui/types.h"

namespace plenth {

// Shows the dialog owned by `owner`, starting in the current directory, with a path
// buffer of 255 bytes holding `initial`; gives the chosen path, or "" for Cancel.
std::string AskSavePath(HWND owner, const std::string& initial = {});

// The folder picture on a dialog's browse buttons: loaded once per dialog, shown on each
// button, and deleted when the dialog goes (pass the first button given to Show).
void ShowBrowsePicture(HWND dialog, std::initializer_list<int> buttons);
void ReleaseBrowsePicture(HWND dialog, int firstButton);
// A browse button's click: the chosen path becomes the text of the edit.
void BrowseInto(HWND dialog, int edit);

// The process's current directory, or "" when it cannot be had.
std::string CurrentDirectory();

}  // namespace plenth
