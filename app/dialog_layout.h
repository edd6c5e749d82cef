#pragma once

#include "platform/os_types.h"

// Empties the information lines, fits the window to the status line, lays
// the progress bar along the bottom edge, centres the window and sets the icon.
void LayoutMainDialog(HWND dialog);

// Centres the window on its parent, or on the screen when it has none.
void CenterWindow(HWND window);
