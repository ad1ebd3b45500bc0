// Owns one SetupAPI device-information set and destroys it through the device
// system that made it. SetupDiGetClassDevs fails with INVALID_HANDLE_VALUE.
#pragma once

#include "device/DeviceSystem.h"

class UniqueDevInfoSet {
public:
    UniqueDevInfoSet(DeviceSystem& devices, HDEVINFO set) : m_devices(devices), m_set(set) {}
    ~UniqueDevInfoSet() {
        if (valid()) m_devices.SetupDiDestroyDeviceInfoList(m_set);
    }
    UniqueDevInfoSet(const UniqueDevInfoSet&) = delete;
    UniqueDevInfoSet& operator=(const UniqueDevInfoSet&) = delete;

    HDEVINFO get() const { return m_set; }
    bool valid() const { return m_set != INVALID_HANDLE_VALUE && m_set != nullptr; }
    explicit operator bool() const { return valid(); }

private:
    DeviceSystem& m_devices;
    HDEVINFO m_set;
};
