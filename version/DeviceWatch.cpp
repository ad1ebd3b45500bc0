#include "DeviceWatch.h"

#include <cstddef>
#include <cstring>

#include <dbt.h>
#include <usbiodef.h>

#include "ControllerCount.h"
#include "device/DeviceSystem.h"

namespace {

// The broadcast's header, when data points at one that claims at least a header.
const DEV_BROADCAST_HDR* headerOf(LPARAM data) {
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
    if (!header || header->dbch_size < sizeof(DEV_BROADCAST_HDR)) return nullptr;
    return header;
}

bool isDeviceInterface(const DEV_BROADCAST_HDR* header) {
    return header && header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE;
}

bool isUsbDeviceInterface(const DEV_BROADCAST_HDR* header) {
    if (!isDeviceInterface(header)) return false;
    // The class GUID is read only when the record is long enough to hold it.
    if (header->dbch_size < offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_classguid) + sizeof(GUID)) return false;
    const auto* record = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(header);
    return std::memcmp(&record->dbcc_classguid, &GUID_DEVINTERFACE_USB_DEVICE, sizeof(GUID)) == 0;
}

}  // namespace

void DeviceWatch::registerDeviceWatch(HWND window) {
    stop();
    DEV_BROADCAST_DEVICEINTERFACE_W filter = {};
    filter.dbcc_size = sizeof(filter);
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_reserved = 0;
    filter.dbcc_classguid = GUID_DEVINTERFACE_USB_DEVICE;
    m_notification = DeviceSystemInstance().RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    m_lastCount = countConnectedControllers();
}

void DeviceWatch::stop() {
    if (m_notification) DeviceSystemInstance().UnregisterDeviceNotification(m_notification);
    m_notification = nullptr;
}

bool DeviceWatch::countChanged(WPARAM event, LPARAM data) {
    const int before = m_lastCount;
    switch (event) {
    case DBT_DEVNODES_CHANGED:
        m_lastCount = countConnectedControllers();
        break;
    case DBT_DEVICEARRIVAL:
        if (isUsbDeviceInterface(headerOf(data))) m_lastCount = countConnectedControllers();
        break;
    case DBT_DEVICEQUERYREMOVE:
    case DBT_DEVICEREMOVEPENDING:
    case DBT_DEVICEREMOVECOMPLETE:
        // Any class: the removal of one of a controller's interfaces is enough.
        if (isDeviceInterface(headerOf(data))) m_lastCount = countConnectedControllers();
        break;
    default:
        break;
    }
    return m_lastCount != before;
}
