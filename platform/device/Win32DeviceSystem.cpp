#include "device/Win32DeviceSystem.h"

#include <utility>

Win32DeviceSystem::Win32DeviceSystem(std::string libraryName) : m_libraryName(std::move(libraryName)) {}

Win32DeviceSystem::~Win32DeviceSystem() {
    // The program-wide instance lives until the process ends; a test's own instance
    // gives its module back.
    if (m_module) ::FreeLibrary(m_module);
}

HDEVINFO Win32DeviceSystem::SetupDiGetClassDevsA(const GUID* classGuid, PCSTR enumerator, HWND parent,
                                                 DWORD flags) {
    return ::SetupDiGetClassDevsA(classGuid, enumerator, parent, flags);
}

BOOL Win32DeviceSystem::SetupDiGetDeviceInterfaceDetailA(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interfaceData,
                                                         PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD detailSize,
                                                         PDWORD requiredSize, PSP_DEVINFO_DATA deviceInfo) {
    return ::SetupDiGetDeviceInterfaceDetailA(set, interfaceData, detail, detailSize, requiredSize, deviceInfo);
}

HDEVINFO Win32DeviceSystem::SetupDiGetClassDevsW(const GUID* classGuid, PCWSTR enumerator, HWND parent,
                                                 DWORD flags) {
    return ::SetupDiGetClassDevsW(classGuid, enumerator, parent, flags);
}

BOOL Win32DeviceSystem::SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interfaceData,
                                                         PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD detailSize,
                                                         PDWORD requiredSize, PSP_DEVINFO_DATA deviceInfo) {
    return ::SetupDiGetDeviceInterfaceDetailW(set, interfaceData, detail, detailSize, requiredSize, deviceInfo);
}

BOOL Win32DeviceSystem::SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, PSP_DEVINFO_DATA deviceInfo, DWORD property,
                                                          PDWORD propertyType, PBYTE buffer, DWORD bufferSize,
                                                          PDWORD requiredSize) {
    return ::SetupDiGetDeviceRegistryPropertyW(set, deviceInfo, property, propertyType, buffer, bufferSize,
                                               requiredSize);
}

BOOL Win32DeviceSystem::SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA deviceInfo,
                                                    const GUID* interfaceClass, DWORD memberIndex,
                                                    PSP_DEVICE_INTERFACE_DATA interfaceData) {
    return ::SetupDiEnumDeviceInterfaces(set, deviceInfo, interfaceClass, memberIndex, interfaceData);
}

BOOL Win32DeviceSystem::SetupDiGetDeviceInterfaceAlias(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interfaceData,
                                                       const GUID* aliasClass, PSP_DEVICE_INTERFACE_DATA aliasData) {
    return ::SetupDiGetDeviceInterfaceAlias(set, interfaceData, aliasClass, aliasData);
}

HKEY Win32DeviceSystem::SetupDiOpenDeviceInterfaceRegKey(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interfaceData,
                                                         DWORD reserved, REGSAM access) {
    return ::SetupDiOpenDeviceInterfaceRegKey(set, interfaceData, reserved, access);
}

BOOL Win32DeviceSystem::SetupDiEnumDeviceInfo(HDEVINFO set, DWORD memberIndex, PSP_DEVINFO_DATA deviceInfo) {
    return ::SetupDiEnumDeviceInfo(set, memberIndex, deviceInfo);
}

BOOL Win32DeviceSystem::SetupDiDestroyDeviceInfoList(HDEVINFO set) { return ::SetupDiDestroyDeviceInfoList(set); }

LONG Win32DeviceSystem::RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                         LPDWORD dataSize) {
    return ::RegQueryValueExA(key, valueName, reserved, type, data, dataSize);
}

LONG Win32DeviceSystem::RegCloseKey(HKEY key) { return ::RegCloseKey(key); }

CONFIGRET Win32DeviceSystem::CM_Get_DevNode_Status(PULONG status, PULONG problemNumber, DEVINST devInst,
                                                   ULONG flags) {
    return ::CM_Get_DevNode_Status(status, problemNumber, devInst, flags);
}

CONFIGRET Win32DeviceSystem::CM_Get_Child(PDEVINST child, DEVINST devInst, ULONG flags) {
    return ::CM_Get_Child(child, devInst, flags);
}

CONFIGRET Win32DeviceSystem::CM_Get_Device_ID_Size(PULONG length, DEVINST devInst, ULONG flags) {
    return ::CM_Get_Device_ID_Size(length, devInst, flags);
}

CONFIGRET Win32DeviceSystem::CM_Get_Device_IDW(DEVINST devInst, PWSTR buffer, ULONG bufferLength, ULONG flags) {
    return ::CM_Get_Device_IDW(devInst, buffer, bufferLength, flags);
}

HANDLE Win32DeviceSystem::CreateFileA(LPCSTR path, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                                      DWORD creation, DWORD flags, HANDLE templateFile) {
    return ::CreateFileA(path, access, shareMode, security, creation, flags, templateFile);
}

BOOL Win32DeviceSystem::DeviceIoControl(HANDLE device, DWORD ioControlCode, LPVOID inBuffer, DWORD inSize,
                                        LPVOID outBuffer, DWORD outSize, LPDWORD bytesReturned,
                                        LPOVERLAPPED overlapped) {
    return ::DeviceIoControl(device, ioControlCode, inBuffer, inSize, outBuffer, outSize, bytesReturned, overlapped);
}

BOOL Win32DeviceSystem::CloseHandle(HANDLE handle) { return ::CloseHandle(handle); }

DWORD Win32DeviceSystem::KsCreatePin(HANDLE filter, void* connect, ACCESS_MASK desiredAccess, PHANDLE pin) {
    // Loaded once and kept: a pin may be created from any thread, and the function
    // address must stay valid while any pin made through it is in use.
    std::call_once(m_loadOnce, [this] {
        m_module = ::LoadLibraryA(m_libraryName.c_str());
        if (m_module) {
            m_ksCreatePin = reinterpret_cast<KsCreatePinFunction>(
                reinterpret_cast<void*>(::GetProcAddress(m_module, "KsCreatePin")));
        }
    });
    if (!m_ksCreatePin) return ERROR_FILE_NOT_FOUND;
    return m_ksCreatePin(filter, connect, desiredAccess, pin);
}

HDEVNOTIFY Win32DeviceSystem::RegisterDeviceNotificationA(HANDLE recipient, LPVOID filter, DWORD flags) {
    return ::RegisterDeviceNotificationA(recipient, filter, flags);
}

HDEVNOTIFY Win32DeviceSystem::RegisterDeviceNotificationW(HANDLE recipient, LPVOID filter, DWORD flags) {
    return ::RegisterDeviceNotificationW(recipient, filter, flags);
}

BOOL Win32DeviceSystem::UnregisterDeviceNotification(HDEVNOTIFY notification) {
    return ::UnregisterDeviceNotification(notification);
}
