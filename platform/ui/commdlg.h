// The system's save-file dialog, answered by whoever is at the screen.
#pragma once

#include "ui/types.h"

constexpr DWORD OFN_NOREADONLYRETURN = 0x00008000;
constexpr DWORD OFN_NOTESTFILECREATE = 0x00010000;

struct OPENFILENAME {
  DWORD lStructSize;
  HWND hwndOwner;
  const char* lpstrFilter;
  char* lpstrFile;  // in: initial file name; out: the chosen path
  DWORD nMaxFile;
  char* lpstrFileTitle;
  DWORD nMaxFileTitle;
  const char* lpstrInitialDir;
  const char* lpstrTitle;
  DWORD Flags;
  const char* lpstrDefExt;
};

// TRUE when the user confirmed a path that fits the buffer; FALSE for Cancel.
BOOL GetSaveFileName(OPENFILENAME* ofn);
