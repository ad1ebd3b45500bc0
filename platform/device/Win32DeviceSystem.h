// The device system of the shipped files: every call goes to the operating system.
// KsCreatePin is taken from ksuser.dll on first use; a missing library or export
// makes the call answer ERROR_FILE_NOT_FOUND, as the driver expects.
#pragma once

#include "device/DeviceSystem.h"

#include <mutex>
#include <string>

class Win32DeviceSystem : public DeviceSystem {
public:
    // libraryName is the module KsCreatePin is loaded from ("ksuser.dll" in the
    // program-wide instance); another name lets a test meet a missing library.
    explicit Win32DeviceSystem(std::string libraryName = "ksuser.dll");
    ~Win32DeviceSystem() override;
    Win32DeviceSystem(const Win32DeviceSystem&) = delete;
    Win32DeviceSystem& operator=(const Win32DeviceSystem&) = delete;

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
    using KsCreatePinFunction = DWORD(WINAPI*)(HANDLE, void*, ACCESS_MASK, PHANDLE);

    std::string m_libraryName;
    std::once_flag m_loadOnce;
    HMODULE m_module = nullptr;  // kept for the life of this object once loaded
    KsCreatePinFunction m_ksCreatePin = nullptr;
};
