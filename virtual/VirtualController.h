// The virtual controller: any number of simulated KMX controllers (and distractor
// devices) seen through the device system, as Windows shows real ones. A test
// creates one, connects controllers, installs it with ScopedDeviceSystem, and
// drives it with the same Win32-style calls the driver and the utilities make.
// docs/VIRTUAL_CONTROLLER.md states the contract it honours.
#pragma once

#include "ControllerModel.h"
#include "UnitConfig.h"
#include "device/DeviceSystem.h"

#include <memory>

// Devices that are not a usable controller, for enumeration tests.
enum class Distractor {
    OtherVendor,           // an audio render filter of another vendor's USB device
    OtherInterfaceNumber,  // a render filter on the controller's USB interface 2
    NoAlias,               // a KSCATEGORY_AUDIO interface with no render or capture alias
    DisabledAlias,         // a render alias that is registered but disabled
    CannotOpen,            // a render filter whose CreateFile fails (ERROR_ACCESS_DENIED)
    LongPath,              // a render filter whose device path is over 600 characters long
};

// The kinds of request fault injection can refuse.
enum class RequestKind { OpenFilter, CreatePin, Property, Write, Read };

// Malformed property replies, for the readers' robustness tests.
enum class MalformedReply {
    None,
    ShortReply,       // the value request fills, and reports, only half the bytes
    CountPastData,    // KSMULTIPLE_ITEM.Count claims more items than follow
    ZeroFormatSize,   // the first data range has FormatSize 0
    RangePastReply,   // the first data range's FormatSize runs past the reply
    ShortFormatSize,  // the first data range's FormatSize is 40, less than a KSDATARANGE
    SizePastData,     // KSMULTIPLE_ITEM.Size and .Count claim more than the reply holds
    UnterminatedText, // a text fills the whole value buffer, with no terminator
    ShrunkSizeQuery,  // the size query answers 8 bytes too few, so the value request fails
    AllOnes,          // a fixed value arrives with every bit set (a count of 0xFFFFFFFF)
};

struct StreamCounters {
    ULONG underruns = 0;       // render: frames came due with no write queued (counted once per gap)
    ULONG overruns = 0;        // capture: frames came due with no read queued (counted once per gap)
    ULONGLONG framesPlayed = 0;
    ULONGLONG framesRecorded = 0;
    ULONG writesCompleted = 0;
    ULONG readsCompleted = 0;
};

using UnitId = int;

class VirtualController : public DeviceSystem {
public:
    VirtualController();
    // Completes every pending request empty, stops the clock thread.
    ~VirtualController() override;
    VirtualController(const VirtualController&) = delete;
    VirtualController& operator=(const VirtualController&) = delete;

    // --- Configuration (before or during use) ---
    // A controller connected from the start (no arrival broadcast).
    UnitId Connect(ControllerModel model);
    UnitId Connect(ControllerModel model, const UnitConfig& config);
    void AddDistractor(Distractor kind, ControllerModel model = ControllerModel::KmxA7);
    void SetCaptureSource(UnitId unit, CaptureSource source);

    // --- Presence: broadcasts WM_DEVICECHANGE to registered windows on their own
    // threads and returns when they have handled it. Call without holding anything a
    // window procedure needs.
    void Unplug(UnitId unit);
    void Plug(UnitId unit);
    bool IsPresent(UnitId unit) const;

    // --- Clock ---
    // From now on time advances only through AdvanceClock (deterministic tests).
    void UseManualClock();
    // Manual clock: every running pin advances by this many frames; completions
    // happen before this returns.
    void AdvanceClock(ULONG frames);

    // --- Observation ---
    StreamCounters RenderCounters(UnitId unit) const;
    StreamCounters CaptureCounters(UnitId unit) const;
    int OpenHandleCount() const;  // filters, pins, sets, keys, notifications

    // --- Fault injection ---
    // The next `count` requests of this kind fail with `error`.
    void RefuseNext(RequestKind kind, int count, DWORD error = ERROR_GEN_FAILURE);
    // While stalled, no pin's clock advances: queued requests stay pending.
    void StallCompletions(bool stalled);
    // Property requests complete pending (ERROR_IO_PENDING, event signalled later by
    // the clock thread) for the next `count` requests.
    void PendNextProperties(int count);
    // Replies of this pin property (KSPROPERTY_PIN_*) on every filter of the unit, or
    // of KSPROPERTY_TOPOLOGY_NODES with propertySet KSPROPSETID_Topology, are malformed.
    void SetMalformedReply(UnitId unit, const GUID& propertySet, ULONG propertyId, MalformedReply kind);
    // Requests of this property (any pin) on every filter of the unit fail with
    // `error`; ERROR_SUCCESS answers them again.
    void RefuseProperty(UnitId unit, const GUID& propertySet, ULONG propertyId, DWORD error);

    // --- DeviceSystem ---
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

    struct State;  // the simulation; internal

private:
    std::unique_ptr<State> m_state;
};
