// kmx_control_panel_probe: what a host does when the user presses its driver's
// settings button. Creates the registered driver through COM (class ID as
// interface ID) and calls controlPanel, which starts the panel named by
// "AsioConfig" in this process's registry view. Links nothing of the driver.
// Exit code: 0 when controlPanel gave ASE_OK, 1 otherwise (the reason is printed).
#include <windows.h>
#include <objbase.h>

#include <cstdio>

#include "Asio.h"
#include "DriverIdentity.h"

int main() {
    HRESULT hr = CoInitialize(nullptr);
    if (FAILED(hr)) {
        std::printf("CoInitialize failed: 0x%08lx\n", static_cast<unsigned long>(hr));
        return 1;
    }
    IASIO* driver = nullptr;
    hr = CoCreateInstance(kDriverClassId, nullptr, CLSCTX_INPROC_SERVER, kDriverClassId,
                          reinterpret_cast<void**>(&driver));
    int exitCode = 1;
    if (FAILED(hr) || !driver) {
        std::printf("CoCreateInstance of the registered driver failed: 0x%08lx\n", static_cast<unsigned long>(hr));
    } else {
        const ASIOError result = driver->controlPanel();
        std::printf("controlPanel: %ld\n", static_cast<long>(result));
        if (result == ASE_OK) exitCode = 0;
        driver->Release();
    }
    CoUninitialize();
    return exitCode;
}
