// Program-wide selection of the operating system's device system: a program that
// links kmx_device_win32 reaches real devices.
#include "device/Win32DeviceSystem.h"

DeviceSystem& DeviceSystemInstance() {
    // Constructed on first use; function-local statics are initialised thread-safely.
    static Win32DeviceSystem system;
    return system;
}
