// Installs a device system for the lifetime of this object: while it lives,
// DeviceSystemInstance() in a program linked with the virtual controller returns
// it. Scopes nest; the previous one is restored when this one ends. With none
// installed, DeviceSystemInstance() is an empty virtual controller: a machine with
// no controller connected.
#pragma once

#include "device/DeviceSystem.h"

class ScopedDeviceSystem {
public:
    explicit ScopedDeviceSystem(DeviceSystem& system);
    ~ScopedDeviceSystem();
    ScopedDeviceSystem(const ScopedDeviceSystem&) = delete;
    ScopedDeviceSystem& operator=(const ScopedDeviceSystem&) = delete;

private:
    DeviceSystem* m_previous;
};
