// Clipboard formats registered by name, as drag and drop exchanges them.
#pragma once

#include "ui/types.h"

// The id of the named format (0xC000 and up), the same for the same name (ignoring
// case) for the life of the process; 0 for an empty name.
UINT RegisterClipboardFormat(const char* name);
