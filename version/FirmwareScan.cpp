#include "FirmwareScan.h"

#include <cwchar>

#include "ModelTable.h"
#include "UniqueDevInfoSet.h"
#include "device/DeviceSystem.h"

namespace {

// The hardware-ID buffer, kept across devices and grown when a device's IDs do
// not fit.
class GlobalBuffer {
public:
    GlobalBuffer() = default;
    ~GlobalBuffer() { reset(); }
    GlobalBuffer(const GlobalBuffer&) = delete;
    GlobalBuffer& operator=(const GlobalBuffer&) = delete;

    // A fixed, zeroed block of bytes; false when it cannot be had (the old block
    // is gone either way).
    bool allocate(DWORD bytes) {
        reset();
        m_memory = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, bytes));
        m_size = m_memory ? bytes : 0;
        return m_memory != nullptr;
    }
    void reset() {
        if (m_memory) GlobalFree(m_memory);
        m_memory = nullptr;
        m_size = 0;
    }
    BYTE* data() const { return m_memory; }
    DWORD size() const { return m_size; }

private:
    BYTE* m_memory = nullptr;
    DWORD m_size = 0;
};

// The decimal value of the revision's characters; conversion stops at the first
// character that is not a digit ("01X2" gives 1, "ABCD" gives 0).
DWORD revisionNumber(const wchar_t* text) {
    DWORD number = 0;
    for (int i = 0; i < kRevisionLength && text[i] >= L'0' && text[i] <= L'9'; ++i)
        number = number * 10 + static_cast<DWORD>(text[i] - L'0');
    return number;
}

bool isPresent(DeviceSystem& devices, DEVINST node) {
    ULONG status = 0;
    ULONG problem = 0;
    return devices.CM_Get_DevNode_Status(&status, &problem, node, 0) == CR_SUCCESS;
}

// Walks the IDs of one device (units of a REG_MULTI_SZ, bounded by what the read
// returned, terminated or not) and records each qualifying revision. Returns
// false when the scan is full.
bool recordRevisions(DeviceSystem& devices, DEVINST node, wchar_t* ids, std::size_t units, const wchar_t* prefix,
                     FirmwareScan& scan) {
    const std::size_t prefixLength = wcslen(prefix);
    std::size_t at = 0;
    while (at < units && ids[at] != L'\0') {
        wchar_t* id = ids + at;
        const std::size_t length = wcsnlen(id, units - at);
        CharUpperBuffW(id, static_cast<DWORD>(length));
        if (length == prefixLength + kRevisionLength && wcsncmp(id, prefix, prefixLength) == 0 &&
            isPresent(devices, node)) {
            if (scan.count >= FirmwareScan::kMaxControllers) return false;
            scan.revisions[scan.count++] = revisionNumber(id + prefixLength);
            if (scan.count >= FirmwareScan::kMaxControllers) return false;
        }
        at += length + 1;
    }
    return true;
}

}  // namespace

void scanModelRevisions(const wchar_t* hardwareIdPrefix, FirmwareScan& scan) {
    DeviceSystem& devices = DeviceSystemInstance();
    // Every device Windows knows, present or not: presence is asked per device.
    UniqueDevInfoSet set(devices, devices.SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES));
    if (!set) return;

    GlobalBuffer buffer;
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof(device);
    for (DWORD index = 0; devices.SetupDiEnumDeviceInfo(set.get(), index, &device); ++index) {
        DWORD type = 0;
        DWORD returned = 0;
        BOOL read = devices.SetupDiGetDeviceRegistryPropertyW(set.get(), &device, SPDRP_HARDWAREID, &type,
                                                              buffer.data(), buffer.size(), &returned);
        if (!read && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
            if (!buffer.allocate(returned)) return;
            read = devices.SetupDiGetDeviceRegistryPropertyW(set.get(), &device, SPDRP_HARDWAREID, &type,
                                                             buffer.data(), buffer.size(), &returned);
        }
        if (!read) continue;
        // What the read reports, never more than the buffer holds.
        const DWORD bytes = returned < buffer.size() ? returned : buffer.size();
        if (type != REG_MULTI_SZ || bytes < sizeof(wchar_t)) continue;
        if (!recordRevisions(devices, device.DevInst, reinterpret_cast<wchar_t*>(buffer.data()),
                             bytes / sizeof(wchar_t), hardwareIdPrefix, scan))
            return;
    }
}

FirmwareScan scanControllers() {
    FirmwareScan scan;
    for (const ControllerModelRow& model : kControllerModels) {
        const int before = scan.count;
        scanModelRevisions(model.hardwareIdPrefix, scan);
        const int added = scan.count - before;
        for (int i = 0; i < added; ++i) {
            wchar_t* name = scan.names[before + i];
            if (added == 1)
                wsprintfW(name, L"%s", model.name);
            else
                wsprintfW(name, L"%s [%d]", model.name, i + 1);
        }
    }
    return scan;
}
