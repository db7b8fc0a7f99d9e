// Reading a control's whole text.
#pragma once

#include <string>

#include "ui/types.h"

namespace plenth {

std::string DialogText(HWND dialog, int id);

}  // namespace plenth
