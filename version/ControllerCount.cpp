#include "ControllerCount.h"

#include <cwchar>

#include <usbiodef.h>

#include "ModelTable.h"
#include "UniqueDevInfoSet.h"
#include "device/DeviceSystem.h"

namespace {

// Zeroed memory from the process heap, freed when it goes out of scope.
class HeapBlock {
public:
    explicit HeapBlock(SIZE_T bytes) : m_memory(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes)) {}
    ~HeapBlock() {
        if (m_memory) HeapFree(GetProcessHeap(), 0, m_memory);
    }
    HeapBlock(const HeapBlock&) = delete;
    HeapBlock& operator=(const HeapBlock&) = delete;

    template <typename T>
    T* as() const {
        return static_cast<T*>(m_memory);
    }
    explicit operator bool() const { return m_memory != nullptr; }

private:
    void* m_memory;
};

}  // namespace

bool isControllerDevice(DEVINST node) {
    DeviceSystem& devices = DeviceSystemInstance();
    DEVINST child = 0;
    if (devices.CM_Get_Child(&child, node, 0) != CR_SUCCESS) return false;
    ULONG length = 0;
    if (devices.CM_Get_Device_ID_Size(&length, child, 0) != CR_SUCCESS) return false;
    // One unit more than the ID, for its terminator.
    HeapBlock id((static_cast<SIZE_T>(length) + 1) * sizeof(wchar_t));
    if (!id) return false;
    wchar_t* text = id.as<wchar_t>();
    if (devices.CM_Get_Device_IDW(child, text, length + 1, 0) != CR_SUCCESS) return false;
    text[length] = L'\0';
    CharUpperBuffW(text, static_cast<DWORD>(wcslen(text)));
    for (const wchar_t* controllerId : kControllerIds)
        if (wcsstr(text, controllerId)) return true;
    return false;
}

int countConnectedControllers() {
    DeviceSystem& devices = DeviceSystemInstance();
    UniqueDevInfoSet set(devices, devices.SetupDiGetClassDevsW(&GUID_DEVINTERFACE_USB_DEVICE, nullptr, nullptr,
                                                               DIGCF_DEVICEINTERFACE | DIGCF_PRESENT));
    if (!set) return 0;

    int count = 0;
    SP_DEVICE_INTERFACE_DATA usbInterface = {};
    usbInterface.cbSize = sizeof(usbInterface);
    for (DWORD index = 0;
         devices.SetupDiEnumDeviceInterfaces(set.get(), nullptr, &GUID_DEVINTERFACE_USB_DEVICE, index, &usbInterface);
         ++index) {
        DWORD required = 0;
        devices.SetupDiGetDeviceInterfaceDetailW(set.get(), &usbInterface, nullptr, 0, &required, nullptr);
        // A size that cannot even hold the record's header is no detail to read.
        if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) continue;
        HeapBlock detail(required);
        if (!detail) continue;
        detail.as<SP_DEVICE_INTERFACE_DETAIL_DATA_W>()->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        SP_DEVINFO_DATA device = {};
        device.cbSize = sizeof(device);
        if (devices.SetupDiGetDeviceInterfaceDetailW(set.get(), &usbInterface,
                                                     detail.as<SP_DEVICE_INTERFACE_DETAIL_DATA_W>(), required,
                                                     nullptr, &device) &&
            isControllerDevice(device.DevInst))
            ++count;
    }
    return count;
}
