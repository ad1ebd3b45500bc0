// Pictures for the README, taken under Xvfb with Wine's x11 driver.
#pragma once

#include <windows.h>

// Saves what the screen shows of bounds (screen coordinates) as a 24-bit BMP file.
bool SaveScreenPicture(const RECT& bounds, const wchar_t* path);

// The same for a window's outer rectangle.
bool SaveWindowPicture(HWND window, const wchar_t* path);
