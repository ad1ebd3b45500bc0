#include "TamperedDeviceSystem.h"

#include <cstring>
#include <vector>

namespace {
constexpr DWORD kReportedShortBytes = 10;
constexpr ULONG kTooSmallIdUnits = 5;
}  // namespace

HDEVINFO TamperedDeviceSystem::SetupDiGetClassDevsA(const GUID* classGuid, PCSTR enumerator, HWND parent,
                                                    DWORD flags) {
    return m_inner.SetupDiGetClassDevsA(classGuid, enumerator, parent, flags);
}

BOOL TamperedDeviceSystem::SetupDiGetDeviceInterfaceDetailA(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interfaceData,
                                                            PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail,
                                                            DWORD detailSize, PDWORD requiredSize,
                                                            PSP_DEVINFO_DATA deviceInfo) {
    return m_inner.SetupDiGetDeviceInterfaceDetailA(set, interfaceData, detail, detailSize, requiredSize, deviceInfo);
}

HDEVINFO TamperedDeviceSystem::SetupDiGetClassDevsW(const GUID* classGuid, PCWSTR enumerator, HWND parent,
                                                    DWORD flags) {
    if (failDeviceSets) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    return m_inner.SetupDiGetClassDevsW(classGuid, enumerator, parent, flags);
}

BOOL TamperedDeviceSystem::SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interfaceData,
                                                            PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail,
                                                            DWORD detailSize, PDWORD requiredSize,
                                                            PSP_DEVINFO_DATA deviceInfo) {
    return m_inner.SetupDiGetDeviceInterfaceDetailW(set, interfaceData, detail, detailSize, requiredSize, deviceInfo);
}

BOOL TamperedDeviceSystem::SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, PSP_DEVINFO_DATA deviceInfo,
                                                             DWORD property, PDWORD propertyType, PBYTE buffer,
                                                             DWORD bufferSize, PDWORD requiredSize) {
    if (property != SPDRP_HARDWAREID || hardwareIdFault == HardwareIdFault::None)
        return m_inner.SetupDiGetDeviceRegistryPropertyW(set, deviceInfo, property, propertyType, buffer, bufferSize,
                                                         requiredSize);
    // The true answer first, then spoiled.
    DWORD needed = 0;
    m_inner.SetupDiGetDeviceRegistryPropertyW(set, deviceInfo, property, nullptr, nullptr, 0, &needed);
    std::vector<BYTE> truth(needed);
    DWORD type = 0;
    if (!m_inner.SetupDiGetDeviceRegistryPropertyW(set, deviceInfo, property, &type, truth.data(), needed, &needed))
        return FALSE;
    std::vector<BYTE> answer = truth;
    DWORD reported = needed;
    switch (hardwareIdFault) {
    case HardwareIdFault::NotMultiString: type = REG_SZ; break;
    case HardwareIdFault::OneByte:
        answer.resize(1);
        reported = 1;
        break;
    case HardwareIdFault::Unterminated: {
        const size_t units = wcslen(reinterpret_cast<const wchar_t*>(truth.data()));
        answer.resize(units * sizeof(wchar_t));
        reported = static_cast<DWORD>(answer.size());
        break;
    }
    case HardwareIdFault::ReportedShort:
        if (reported > kReportedShortBytes) reported = kReportedShortBytes;
        break;
    case HardwareIdFault::None: break;
    }
    if (propertyType) *propertyType = type;
    const DWORD bytes = static_cast<DWORD>(answer.size());
    if (requiredSize) *requiredSize = hardwareIdFault == HardwareIdFault::ReportedShort ? needed : bytes;
    if (bufferSize < bytes || !buffer) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(buffer, answer.data(), bytes);
    if (requiredSize) *requiredSize = reported;
    return TRUE;
}

BOOL TamperedDeviceSystem::SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA deviceInfo,
                                                       const GUID* interfaceClass, DWORD memberIndex,
                                                       PSP_DEVICE_INTERFACE_DATA interfaceData) {
    return m_inner.SetupDiEnumDeviceInterfaces(set, deviceInfo, interfaceClass, memberIndex, interfaceData);
}

BOOL TamperedDeviceSystem::SetupDiGetDeviceInterfaceAlias(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interfaceData,
                                                          const GUID* aliasClass,
                                                          PSP_DEVICE_INTERFACE_DATA aliasData) {
    return m_inner.SetupDiGetDeviceInterfaceAlias(set, interfaceData, aliasClass, aliasData);
}

HKEY TamperedDeviceSystem::SetupDiOpenDeviceInterfaceRegKey(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interfaceData,
                                                            DWORD reserved, REGSAM access) {
    return m_inner.SetupDiOpenDeviceInterfaceRegKey(set, interfaceData, reserved, access);
}

BOOL TamperedDeviceSystem::SetupDiEnumDeviceInfo(HDEVINFO set, DWORD memberIndex, PSP_DEVINFO_DATA deviceInfo) {
    return m_inner.SetupDiEnumDeviceInfo(set, memberIndex, deviceInfo);
}

BOOL TamperedDeviceSystem::SetupDiDestroyDeviceInfoList(HDEVINFO set) { return m_inner.SetupDiDestroyDeviceInfoList(set); }

LONG TamperedDeviceSystem::RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                            LPDWORD dataSize) {
    return m_inner.RegQueryValueExA(key, valueName, reserved, type, data, dataSize);
}

LONG TamperedDeviceSystem::RegCloseKey(HKEY key) { return m_inner.RegCloseKey(key); }

CONFIGRET TamperedDeviceSystem::CM_Get_DevNode_Status(PULONG status, PULONG problemNumber, DEVINST devInst,
                                                      ULONG flags) {
    return m_inner.CM_Get_DevNode_Status(status, problemNumber, devInst, flags);
}

CONFIGRET TamperedDeviceSystem::CM_Get_Child(PDEVINST child, DEVINST devInst, ULONG flags) {
    if (deviceIdFault == DeviceIdFault::NoChild) return CR_NO_SUCH_DEVNODE;
    return m_inner.CM_Get_Child(child, devInst, flags);
}

CONFIGRET TamperedDeviceSystem::CM_Get_Device_ID_Size(PULONG length, DEVINST devInst, ULONG flags) {
    const CONFIGRET result = m_inner.CM_Get_Device_ID_Size(length, devInst, flags);
    if (result == CR_SUCCESS && deviceIdFault == DeviceIdFault::SizeTooSmall && *length > kTooSmallIdUnits)
        *length = kTooSmallIdUnits;
    return result;
}

CONFIGRET TamperedDeviceSystem::CM_Get_Device_IDW(DEVINST devInst, PWSTR buffer, ULONG bufferLength, ULONG flags) {
    if (deviceIdFault == DeviceIdFault::ReadFails) return CR_REGISTRY_ERROR;
    return m_inner.CM_Get_Device_IDW(devInst, buffer, bufferLength, flags);
}

HANDLE TamperedDeviceSystem::CreateFileA(LPCSTR path, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                                         DWORD creation, DWORD flags, HANDLE templateFile) {
    return m_inner.CreateFileA(path, access, shareMode, security, creation, flags, templateFile);
}

BOOL TamperedDeviceSystem::DeviceIoControl(HANDLE device, DWORD ioControlCode, LPVOID inBuffer, DWORD inSize,
                                           LPVOID outBuffer, DWORD outSize, LPDWORD bytesReturned,
                                           LPOVERLAPPED overlapped) {
    return m_inner.DeviceIoControl(device, ioControlCode, inBuffer, inSize, outBuffer, outSize, bytesReturned,
                                   overlapped);
}

BOOL TamperedDeviceSystem::CloseHandle(HANDLE handle) { return m_inner.CloseHandle(handle); }

DWORD TamperedDeviceSystem::KsCreatePin(HANDLE filter, void* connect, ACCESS_MASK desiredAccess, PHANDLE pin) {
    return m_inner.KsCreatePin(filter, connect, desiredAccess, pin);
}

HDEVNOTIFY TamperedDeviceSystem::RegisterDeviceNotificationA(HANDLE recipient, LPVOID filter, DWORD flags) {
    return m_inner.RegisterDeviceNotificationA(recipient, filter, flags);
}

HDEVNOTIFY TamperedDeviceSystem::RegisterDeviceNotificationW(HANDLE recipient, LPVOID filter, DWORD flags) {
    return m_inner.RegisterDeviceNotificationW(recipient, filter, flags);
}

BOOL TamperedDeviceSystem::UnregisterDeviceNotification(HDEVNOTIFY notification) {
    return m_inner.UnregisterDeviceNotification(notification);
}
