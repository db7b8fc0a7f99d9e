// QApplication for code that also sees the host's contracts: Qt's platform header names
// the X server's display "Display" in the global namespace, as the host names its drawing
// display; here Qt's is renamed, and nothing of ours uses it. Include this before any
// other Qt header.
#pragma once

#define Display QtXDisplay
#include <QApplication>
#undef Display
