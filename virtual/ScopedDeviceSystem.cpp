#include "ScopedDeviceSystem.h"

#include "DefaultVirtualMachine.h"

#include <atomic>

namespace {
// Read by every thread that calls into the device system (the driver's stream
// thread, the clock), written only by a test's thread between its phases.
std::atomic<DeviceSystem*> g_installed{nullptr};

}  // namespace

ScopedDeviceSystem::ScopedDeviceSystem(DeviceSystem& system) : m_previous(g_installed.exchange(&system)) {}

ScopedDeviceSystem::~ScopedDeviceSystem() { g_installed.store(m_previous); }

DeviceSystem& DeviceSystemInstance() {
    DeviceSystem* installed = g_installed.load();
    return installed ? *installed : DefaultVirtualMachine();
}
