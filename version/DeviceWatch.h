// Follows controllers being plugged in and out while the dialog is open: the
// device-interface notification of USB devices for the dialog's window, and the
// controller count that tells whether an event changed anything.
#pragma once

#include <windows.h>

class DeviceWatch {
public:
    DeviceWatch() = default;
    ~DeviceWatch() { stop(); }
    DeviceWatch(const DeviceWatch&) = delete;
    DeviceWatch& operator=(const DeviceWatch&) = delete;

    // Registers window for USB device-interface arrivals and removals and stores
    // the first count. When registration fails the window still hears
    // DBT_DEVNODES_CHANGED, which every top-level window receives.
    void registerDeviceWatch(HWND window);
    // Gives the registration back; harmless when there is none.
    void stop();

    // One WM_DEVICECHANGE: recounts for the events that may change the count and
    // tells whether it changed. data may be null and is read only as far as its
    // header says it reaches.
    bool countChanged(WPARAM event, LPARAM data);

    int lastCount() const { return m_lastCount; }
    bool registered() const { return m_notification != nullptr; }

private:
    HDEVNOTIFY m_notification = nullptr;
    int m_lastCount = 0;
};
