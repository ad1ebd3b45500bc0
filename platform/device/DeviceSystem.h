// The one narrow interface through which the package reaches devices: SetupAPI
// device and interface lists, the configuration manager, device handles with
// their I/O controls, pin creation, and device-change notification.
//
// Every operation has the signature and the error convention of the Win32 call it
// is named after (BOOL with GetLastError, HANDLE with INVALID_HANDLE_VALUE or NULL,
// CONFIGRET, HRESULT-free Win32 error codes for KsCreatePin), so code above it reads
// like ordinary Win32 code. Two implementations exist: Win32DeviceSystem forwards
// to the operating system and is what the shipped files link; the virtual
// controller (virtual/) simulates connected controllers for tests and the demo.
// Exactly one of them is linked into a program; it provides DeviceSystemInstance().
#pragma once

#include <windows.h>
#include <cfgmgr32.h>
#include <dbt.h>
#include <setupapi.h>

class DeviceSystem {
public:
    virtual ~DeviceSystem() = default;

    // --- SetupAPI, ANSI forms (the driver) ---
    virtual HDEVINFO SetupDiGetClassDevsA(const GUID* classGuid, PCSTR enumerator, HWND parent, DWORD flags) = 0;
    virtual BOOL SetupDiGetDeviceInterfaceDetailA(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interfaceData,
                                                  PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD detailSize,
                                                  PDWORD requiredSize, PSP_DEVINFO_DATA deviceInfo) = 0;

    // --- SetupAPI, UTF-16 forms (the version utility) ---
    virtual HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, PCWSTR enumerator, HWND parent, DWORD flags) = 0;
    virtual BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interfaceData,
                                                  PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD detailSize,
                                                  PDWORD requiredSize, PSP_DEVINFO_DATA deviceInfo) = 0;
    virtual BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, PSP_DEVINFO_DATA deviceInfo, DWORD property,
                                                   PDWORD propertyType, PBYTE buffer, DWORD bufferSize,
                                                   PDWORD requiredSize) = 0;

    // --- SetupAPI, no text ---
    virtual BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA deviceInfo, const GUID* interfaceClass,
                                             DWORD memberIndex, PSP_DEVICE_INTERFACE_DATA interfaceData) = 0;
    virtual BOOL SetupDiGetDeviceInterfaceAlias(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interfaceData,
                                                const GUID* aliasClass, PSP_DEVICE_INTERFACE_DATA aliasData) = 0;
    virtual HKEY SetupDiOpenDeviceInterfaceRegKey(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interfaceData,
                                                  DWORD reserved, REGSAM access) = 0;
    virtual BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD memberIndex, PSP_DEVINFO_DATA deviceInfo) = 0;
    virtual BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) = 0;

    // The value reads and the closing of a key from SetupDiOpenDeviceInterfaceRegKey.
    virtual LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                  LPDWORD dataSize) = 0;
    virtual LONG RegCloseKey(HKEY key) = 0;

    // --- Configuration manager ---
    virtual CONFIGRET CM_Get_DevNode_Status(PULONG status, PULONG problemNumber, DEVINST devInst, ULONG flags) = 0;
    virtual CONFIGRET CM_Get_Child(PDEVINST child, DEVINST devInst, ULONG flags) = 0;
    virtual CONFIGRET CM_Get_Device_ID_Size(PULONG length, DEVINST devInst, ULONG flags) = 0;
    virtual CONFIGRET CM_Get_Device_IDW(DEVINST devInst, PWSTR buffer, ULONG bufferLength, ULONG flags) = 0;

    // --- Filter and pin handles ---
    virtual HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                               DWORD creation, DWORD flags, HANDLE templateFile) = 0;
    virtual BOOL DeviceIoControl(HANDLE device, DWORD ioControlCode, LPVOID inBuffer, DWORD inSize, LPVOID outBuffer,
                                 DWORD outSize, LPDWORD bytesReturned, LPOVERLAPPED overlapped) = 0;
    virtual BOOL CloseHandle(HANDLE handle) = 0;

    // KsCreatePin as ksuser.dll exports it: a Win32 error code, 0 on success. The
    // Win32 implementation loads ksuser.dll on first use; when the library or the
    // export cannot be had, the result is ERROR_FILE_NOT_FOUND.
    virtual DWORD KsCreatePin(HANDLE filter, void* connect, ACCESS_MASK desiredAccess, PHANDLE pin) = 0;

    // --- Device-change notification ---
    virtual HDEVNOTIFY RegisterDeviceNotificationA(HANDLE recipient, LPVOID filter, DWORD flags) = 0;
    virtual HDEVNOTIFY RegisterDeviceNotificationW(HANDLE recipient, LPVOID filter, DWORD flags) = 0;
    virtual BOOL UnregisterDeviceNotification(HDEVNOTIFY notification) = 0;
};

// The device system this program was linked with.
DeviceSystem& DeviceSystemInstance();
