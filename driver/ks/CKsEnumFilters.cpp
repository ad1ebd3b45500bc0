#include "CKsEnumFilters.h"

#include "KsTrace.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>

#include "CKsAudCapFilter.h"
#include "CKsAudRenFilter.h"
#include "device/DeviceSystem.h"

// The path starts after the 4-byte size field on both bitnesses; sizeof the record
// differs (5 on x86, 8 on x64, padding), so the room is counted from the offset.
static_assert(CKsEnumFilters::kDetailRecordSize >= offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + 520 + 1,
              "room for a 520-character path and its terminator");

CKsEnumFilters::CKsEnumFilters() {
    TraceEnter("CKsEnumFilters::CKsEnumFilters()");
    TraceLeave("CKsEnumFilters::CKsEnumFilters", 0);
}

CKsEnumFilters::~CKsEnumFilters() {
    TraceEnter("CKsEnumFilters::~CKsEnumFilters()");
    HRESULT hr = CKsEnumFilters::DestroyLists();
    TraceLeave("CKsEnumFilters::~CKsEnumFilters", hr);
}

HRESULT CKsEnumFilters::DestroyLists() {
    TraceEnter("CKsEnumFilters::DestroyLists()");
    m_listFilters.DeleteAll();
    TraceLeave("CKsEnumFilters::DestroyLists", 0);
    return S_OK;
}

namespace {

CKsFilter* MakeFilter(ULONG kind, const char* path, const char* name, HRESULT* result) {
    switch (kind) {
    case CKsEnumFilters::kRenderFilter: return new (std::nothrow) CKsAudRenFilter(path, name, result);
    case CKsEnumFilters::kCaptureFilter: return new (std::nothrow) CKsAudCapFilter(path, name, result);
    default: return new (std::nothrow) CKsFilter(path, name, result);
    }
}

}  // namespace

HRESULT CKsEnumFilters::EnumFilters(ULONG filterKind, const GUID* categories, ULONG categoryCount) {
    TraceEnter("CKsEnumFilters::EnumFilters()");
    DeviceSystem& devices = DeviceSystemInstance();
    HRESULT hr = DestroyLists();
    static const GUID kNull = {};
    if (SUCCEEDED(hr) && categories && categoryCount > 0 && std::memcmp(&categories[0], &kNull, sizeof(GUID)) != 0) {
        HDEVINFO set = devices.SetupDiGetClassDevsA(&categories[0], nullptr, nullptr,
                                                    DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
        if (!set || set == INVALID_HANDLE_VALUE) {
            hr = E_FAIL;
            Trace(4, "No devices found");
        } else {
            SP_DEVICE_INTERFACE_DATA interfaceData = {};
            interfaceData.cbSize = sizeof(interfaceData);
            for (DWORD index = 0; devices.SetupDiEnumDeviceInterfaces(set, nullptr, &categories[0], index,
                                                                      &interfaceData);
                 ++index) {
                auto* detail = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(std::calloc(1, kDetailRecordSize));
                if (!detail) {
                    hr = E_OUTOFMEMORY;
                    Trace(4, "Failed to allocate SP_DEVICE_INTERFACE_DETAIL_DATA structure");
                    break;
                }
                detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
                SP_DEVINFO_DATA deviceInfo = {};
                deviceInfo.cbSize = sizeof(deviceInfo);
                bool usable = devices.SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, detail, kDetailRecordSize,
                                                                       nullptr, &deviceInfo) != FALSE;
                // Whatever the system wrote, the path ends inside the record.
                reinterpret_cast<char*>(detail)[kDetailRecordSize - 1] = '\0';
                for (ULONG c = 1; usable && c < categoryCount; ++c) {
                    SP_DEVICE_INTERFACE_DATA alias = {};
                    alias.cbSize = sizeof(alias);
                    if (!devices.SetupDiGetDeviceInterfaceAlias(set, &interfaceData, &categories[c], &alias)) {
                        Trace(5, "Failed to get requested DeviceInterfaceAlias");
                        usable = false;
                    } else if (alias.Flags == 0 || (alias.Flags & SPINT_REMOVED)) {
                        Trace(5, "DeviceInterfaceAlias disabled.");
                        usable = false;
                    }
                }
                if (usable) {
                    char friendlyName[CKsFilter::kPathSize] = {};
                    HKEY key = devices.SetupDiOpenDeviceInterfaceRegKey(set, &interfaceData, 0, KEY_QUERY_VALUE);
                    if (key && key != INVALID_HANDLE_VALUE) {
                        DWORD size = sizeof(friendlyName);
                        if (devices.RegQueryValueExA(key, "FriendlyName", nullptr, nullptr,
                                                     reinterpret_cast<BYTE*>(friendlyName), &size) != ERROR_SUCCESS)
                            friendlyName[0] = '\0';
                        // A name that fills the buffer has no terminator of its own.
                        friendlyName[sizeof(friendlyName) - 1] = '\0';
                        devices.RegCloseKey(key);
                    }
                    HRESULT result = S_OK;
                    CKsFilter* filter = MakeFilter(filterKind, detail->DevicePath, friendlyName, &result);
                    if (!filter) {
                        Trace(1, "Failed to create filter for %s", detail->DevicePath);
                    } else if (FAILED(result) || FAILED(filter->Instantiate()) || FAILED(filter->EnumeratePins()) ||
                               !m_listFilters.AddTail(filter)) {
                        delete filter;
                        Trace(1, "Failed to create filter for %s", detail->DevicePath);
                    }
                }
                std::free(detail);
            }
        }
        if (CKsIrpTarget::IsValidHandle(set)) devices.SetupDiDestroyDeviceInfoList(set);
    }
    if (SUCCEEDED(hr) && m_listFilters.IsEmpty()) hr = E_FAIL;
    TraceLeave("CKsEnumFilters::EnumFilters", hr);
    return hr;
}
