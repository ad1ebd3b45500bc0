#include "NotifyWindow.h"

#include <dbt.h>

#include <cstddef>
#include <cstring>

#include "ControllerModels.h"
#include "DriverConstants.h"
#include "VeltrixControllerASIO.h"

std::atomic<VeltrixControllerASIO*> windowDriver{nullptr};

bool IsControllerDevicePath(const char* path, size_t availableChars) {
    // A zeroed copy of at most 260 characters: the broadcast's name need not end
    // where the record does.
    char lowered[kDevicePathChars + 1] = {};
    size_t limit = availableChars < kDevicePathChars ? availableChars : kDevicePathChars;
    for (size_t i = 0; i < limit && path[i] != '\0'; ++i) lowered[i] = path[i];
    CharLowerA(lowered);
    for (const ControllerModel& model : kControllerModels)
        if (std::strstr(lowered, model.devicePrefix)) return true;
    return false;
}

namespace {

void Report() {
    VeltrixControllerASIO* driver = windowDriver.load();
    if (driver) driver->RequestHostReset();
}

}  // namespace

LRESULT CALLBACK NotifyWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DEVICECHANGE) {
        if (wParam != DBT_DEVICEARRIVAL && wParam != DBT_DEVICEREMOVECOMPLETE) return 0;
        const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
        // The type is read only from a record that says it holds a whole header.
        if (!header || header->dbch_size < sizeof(DEV_BROADCAST_HDR) ||
            header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE)
            return 0;
        const auto* record = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(lParam);
        // Never read past the record the sender described.
        const size_t nameOffset = offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name);
        if (record->dbcc_size <= nameOffset) return 0;
        if (IsControllerDevicePath(record->dbcc_name, record->dbcc_size - nameOffset)) Report();
        return 0;
    }
    if (message == kResetRequestMessage) {
        Report();
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
