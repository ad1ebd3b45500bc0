// A device system that forwards every call to another one (the virtual controller)
// but spoils selected answers the way a broken driver or registry could: hardware
// IDs of the wrong type, too short, unterminated or reported shorter than they
// are, device sets that cannot be had, device IDs that cannot be read.
#pragma once

#include "device/DeviceSystem.h"

enum class HardwareIdFault {
    None,
    NotMultiString,  // the IDs come back typed REG_SZ
    OneByte,         // one byte of data
    Unterminated,    // only the first ID, with no terminator at all
    ReportedShort,   // the data is all there, but the size reported is 10 bytes
};

enum class DeviceIdFault {
    None,
    NoChild,       // CM_Get_Child fails
    SizeTooSmall,  // CM_Get_Device_ID_Size reports fewer units than the ID has
    ReadFails,     // CM_Get_Device_IDW fails
};

class TamperedDeviceSystem : public DeviceSystem {
public:
    explicit TamperedDeviceSystem(DeviceSystem& inner) : m_inner(inner) {}

    HardwareIdFault hardwareIdFault = HardwareIdFault::None;
    DeviceIdFault deviceIdFault = DeviceIdFault::None;
    bool failDeviceSets = false;

    HDEVINFO SetupDiGetClassDevsA(const GUID* classGuid, PCSTR enumerator, HWND parent, DWORD flags) override;
    BOOL SetupDiGetDeviceInterfaceDetailA(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interfaceData,
                                          PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD detailSize,
                                          PDWORD requiredSize, PSP_DEVINFO_DATA deviceInfo) override;
    HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, PCWSTR enumerator, HWND parent, DWORD flags) override;
    BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interfaceData,
                                          PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD detailSize,
                                          PDWORD requiredSize, PSP_DEVINFO_DATA deviceInfo) override;
    BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, PSP_DEVINFO_DATA deviceInfo, DWORD property,
                                           PDWORD propertyType, PBYTE buffer, DWORD bufferSize,
                                           PDWORD requiredSize) override;
    BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA deviceInfo, const GUID* interfaceClass,
                                     DWORD memberIndex, PSP_DEVICE_INTERFACE_DATA interfaceData) override;
    BOOL SetupDiGetDeviceInterfaceAlias(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interfaceData,
                                        const GUID* aliasClass, PSP_DEVICE_INTERFACE_DATA aliasData) override;
    HKEY SetupDiOpenDeviceInterfaceRegKey(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interfaceData, DWORD reserved,
                                          REGSAM access) override;
    BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD memberIndex, PSP_DEVINFO_DATA deviceInfo) override;
    BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) override;
    LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                          LPDWORD dataSize) override;
    LONG RegCloseKey(HKEY key) override;
    CONFIGRET CM_Get_DevNode_Status(PULONG status, PULONG problemNumber, DEVINST devInst, ULONG flags) override;
    CONFIGRET CM_Get_Child(PDEVINST child, DEVINST devInst, ULONG flags) override;
    CONFIGRET CM_Get_Device_ID_Size(PULONG length, DEVINST devInst, ULONG flags) override;
    CONFIGRET CM_Get_Device_IDW(DEVINST devInst, PWSTR buffer, ULONG bufferLength, ULONG flags) override;
    HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security, DWORD creation,
                       DWORD flags, HANDLE templateFile) override;
    BOOL DeviceIoControl(HANDLE device, DWORD ioControlCode, LPVOID inBuffer, DWORD inSize, LPVOID outBuffer,
                         DWORD outSize, LPDWORD bytesReturned, LPOVERLAPPED overlapped) override;
    BOOL CloseHandle(HANDLE handle) override;
    DWORD KsCreatePin(HANDLE filter, void* connect, ACCESS_MASK desiredAccess, PHANDLE pin) override;
    HDEVNOTIFY RegisterDeviceNotificationA(HANDLE recipient, LPVOID filter, DWORD flags) override;
    HDEVNOTIFY RegisterDeviceNotificationW(HANDLE recipient, LPVOID filter, DWORD flags) override;
    BOOL UnregisterDeviceNotification(HDEVNOTIFY notification) override;

private:
    DeviceSystem& m_inner;
};
