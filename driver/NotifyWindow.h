// The hidden window through which device arrival and removal, the settings
// panel and the stream thread's failed recovery reach the host as a reset request,
// and the in-use mutex that marks an initialised driver object system-wide.
#pragma once

#include <windows.h>

#include <atomic>

class VeltrixControllerASIO;

// The driver object the window reports to; the last one whose init created the
// window, cleared when any driver object is destroyed.
extern std::atomic<VeltrixControllerASIO*> windowDriver;

inline constexpr char kInUseMutexName[] = "Global\\NTVeltrixKMXASIO";

LRESULT CALLBACK NotifyWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// True when a device-interface path (any case) belongs to one of the controllers.
// At most kDevicePathChars characters of it are looked at.
constexpr size_t kDevicePathChars = 260;
bool IsControllerDevicePath(const char* path, size_t availableChars);
