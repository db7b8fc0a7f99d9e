// Message boxes, answered by whoever the host or test has put at the screen.
#pragma once

#include "ui/types.h"

int MessageBox(HWND owner, const char* text, const char* caption, UINT type);
