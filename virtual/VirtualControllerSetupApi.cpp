// VirtualController: the SetupAPI, registry, configuration-manager and
// notification calls, answered from the simulated device tree.
#include "VirtualController.h"

#include "VirtualControllerState.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {
constexpr DEVINST kDevInstBase = 0x1000;
const char kFriendlyName[] = "FriendlyName";

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

bool SameGuid(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

bool EqualNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string Narrow(PCWSTR text) {
    std::string narrow;
    for (; text && *text; ++text) narrow += char(*text < 0x80 ? *text : '?');
    return narrow;
}

bool UnitPresent(VirtualController::State& state, int unitId) {
    Unit* unit = state.FindUnit(unitId);
    return unit && unit->present;
}

HDEVINFO MakeSet(VirtualController::State& state, const GUID* classGuid, const char* enumerator, DWORD flags) {
    const bool allClasses = (flags & DIGCF_ALLCLASSES) != 0;
    const bool presentOnly = (flags & DIGCF_PRESENT) != 0;
    if (!classGuid && !allClasses) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    auto set = std::make_unique<DevInfoSet>();
    if (flags & DIGCF_DEVICEINTERFACE) {
        set->interfaceSet = true;
        for (size_t i = 0; i < state.interfaces.size(); ++i) {
            const DeviceInterface& iface = state.interfaces[i];
            if (!allClasses && !SameGuid(iface.interfaceClass, *classGuid)) continue;
            if (presentOnly && (!iface.active || !UnitPresent(state, iface.unit))) continue;
            set->interfaces.push_back(int(i));
            if (std::find(set->nodes.begin(), set->nodes.end(), iface.node) == set->nodes.end())
                set->nodes.push_back(iface.node);
        }
    } else {
        std::string wanted = enumerator ? enumerator : "";
        for (size_t n = 0; n < state.nodes.size(); ++n) {
            const DeviceNode& node = state.nodes[n];
            if (!allClasses && !SameGuid(node.setupClass, *classGuid)) continue;
            if (presentOnly && !UnitPresent(state, node.unit)) continue;
            if (!wanted.empty() && !EqualNoCase(node.instanceId.substr(0, node.instanceId.find('\\')), wanted))
                continue;
            set->nodes.push_back(int(n));
        }
    }
    HANDLE token = state.NewToken();
    if (!token) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    HandleEntry entry(HandleEntry::Kind::Set);
    entry.set = std::move(set);
    state.handles.emplace(token, std::move(entry));
    return static_cast<HDEVINFO>(token);
}

// The interface an SP_DEVICE_INTERFACE_DATA names, or -1 with the error set.
int InterfaceOf(VirtualController::State& state, PSP_DEVICE_INTERFACE_DATA data) {
    if (!data) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    if (data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return -1;
    }
    ULONG_PTR index = data->Reserved;
    if (index == 0 || index > state.interfaces.size()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    return int(index - 1);
}

int NodeOf(VirtualController::State& state, const DevInfoSet& set, PSP_DEVINFO_DATA info) {
    if (!info) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    if (info->cbSize != sizeof(SP_DEVINFO_DATA)) {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return -1;
    }
    int node = int(info->Reserved) - 1;
    if (node < 0 || size_t(node) >= state.nodes.size() ||
        std::find(set.nodes.begin(), set.nodes.end(), node) == set.nodes.end()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    return node;
}

void FillDevInfo(VirtualController::State& state, int node, PSP_DEVINFO_DATA info) {
    info->ClassGuid = state.nodes[node].setupClass;
    info->DevInst = kDevInstBase + DEVINST(node);
    info->Reserved = ULONG_PTR(node) + 1;
}

DWORD InterfaceFlags(VirtualController::State& state, const DeviceInterface& iface) {
    DWORD flags = iface.active ? SPINT_ACTIVE : 0;
    if (!UnitPresent(state, iface.unit)) flags |= SPINT_REMOVED;
    return flags;
}

template <typename Detail, typename Char>
BOOL InterfaceDetail(VirtualController::State& state, HDEVINFO set, PSP_DEVICE_INTERFACE_DATA data, Detail* detail,
                     DWORD detailSize, PDWORD requiredSize, PSP_DEVINFO_DATA deviceInfo) {
    std::lock_guard<std::mutex> guard(state.lock);
    HandleEntry* entry = state.Find(set, HandleEntry::Kind::Set);
    if (!entry) return Fail(ERROR_INVALID_HANDLE);
    int index = InterfaceOf(state, data);
    if (index < 0) return FALSE;
    const DeviceInterface& iface = state.interfaces[index];
    const DWORD pathOffset = DWORD(offsetof(Detail, DevicePath));
    const DWORD required = pathOffset + DWORD((iface.path.size() + 1) * sizeof(Char));
    if (!detail && detailSize != 0) return Fail(ERROR_INVALID_USER_BUFFER);
    if (detail && (detailSize < pathOffset + sizeof(Char) || detail->cbSize != sizeof(Detail)))
        return Fail(ERROR_INVALID_USER_BUFFER);
    if (deviceInfo) {
        if (deviceInfo->cbSize != sizeof(SP_DEVINFO_DATA)) return Fail(ERROR_INVALID_USER_BUFFER);
        FillDevInfo(state, iface.node, deviceInfo);
    }
    if (requiredSize) *requiredSize = required;
    if (!detail || detailSize < required) return Fail(ERROR_INSUFFICIENT_BUFFER);
    for (size_t i = 0; i < iface.path.size(); ++i) detail->DevicePath[i] = Char(iface.path[i]);
    detail->DevicePath[iface.path.size()] = 0;
    return TRUE;
}
}  // namespace

HDEVINFO VirtualController::SetupDiGetClassDevsA(const GUID* classGuid, PCSTR enumerator, HWND, DWORD flags) {
    std::lock_guard<std::mutex> guard(m_state->lock);
    return MakeSet(*m_state, classGuid, enumerator, flags);
}

HDEVINFO VirtualController::SetupDiGetClassDevsW(const GUID* classGuid, PCWSTR enumerator, HWND, DWORD flags) {
    std::string narrow = Narrow(enumerator);
    std::lock_guard<std::mutex> guard(m_state->lock);
    return MakeSet(*m_state, classGuid, enumerator ? narrow.c_str() : nullptr, flags);
}

BOOL VirtualController::SetupDiGetDeviceInterfaceDetailA(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interfaceData,
                                                         PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD detailSize,
                                                         PDWORD requiredSize, PSP_DEVINFO_DATA deviceInfo) {
    return InterfaceDetail<SP_DEVICE_INTERFACE_DETAIL_DATA_A, char>(*m_state, set, interfaceData, detail, detailSize,
                                                                    requiredSize, deviceInfo);
}

BOOL VirtualController::SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interfaceData,
                                                         PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD detailSize,
                                                         PDWORD requiredSize, PSP_DEVINFO_DATA deviceInfo) {
    return InterfaceDetail<SP_DEVICE_INTERFACE_DETAIL_DATA_W, wchar_t>(*m_state, set, interfaceData, detail,
                                                                       detailSize, requiredSize, deviceInfo);
}

BOOL VirtualController::SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA deviceInfo,
                                                    const GUID* interfaceClass, DWORD memberIndex,
                                                    PSP_DEVICE_INTERFACE_DATA interfaceData) {
    std::lock_guard<std::mutex> guard(m_state->lock);
    HandleEntry* entry = m_state->Find(set, HandleEntry::Kind::Set);
    if (!entry) return Fail(ERROR_INVALID_HANDLE);
    if (!interfaceClass || !interfaceData) return Fail(ERROR_INVALID_PARAMETER);
    if (interfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) return Fail(ERROR_INVALID_USER_BUFFER);
    int onlyNode = -1;
    if (deviceInfo) {
        onlyNode = NodeOf(*m_state, *entry->set, deviceInfo);
        if (onlyNode < 0) return FALSE;
    }
    std::vector<int> candidates;
    if (entry->set->interfaceSet) {
        candidates = entry->set->interfaces;
    } else {
        for (size_t i = 0; i < m_state->interfaces.size(); ++i) {
            const auto& nodes = entry->set->nodes;
            if (std::find(nodes.begin(), nodes.end(), m_state->interfaces[i].node) != nodes.end())
                candidates.push_back(int(i));
        }
    }
    DWORD seen = 0;
    for (int index : candidates) {
        const DeviceInterface& iface = m_state->interfaces[index];
        if (!SameGuid(iface.interfaceClass, *interfaceClass)) continue;
        if (onlyNode >= 0 && iface.node != onlyNode) continue;
        if (seen++ != memberIndex) continue;
        interfaceData->InterfaceClassGuid = iface.interfaceClass;
        interfaceData->Flags = InterfaceFlags(*m_state, iface);
        interfaceData->Reserved = ULONG_PTR(index) + 1;
        return TRUE;
    }
    return Fail(ERROR_NO_MORE_ITEMS);
}

BOOL VirtualController::SetupDiGetDeviceInterfaceAlias(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interfaceData,
                                                       const GUID* aliasClass, PSP_DEVICE_INTERFACE_DATA aliasData) {
    std::lock_guard<std::mutex> guard(m_state->lock);
    if (!m_state->Find(set, HandleEntry::Kind::Set)) return Fail(ERROR_INVALID_HANDLE);
    int index = InterfaceOf(*m_state, interfaceData);
    if (index < 0) return FALSE;
    if (!aliasClass || !aliasData) return Fail(ERROR_INVALID_PARAMETER);
    if (aliasData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) return Fail(ERROR_INVALID_USER_BUFFER);
    const DeviceInterface& iface = m_state->interfaces[index];
    for (size_t i = 0; i < m_state->interfaces.size(); ++i) {
        const DeviceInterface& alias = m_state->interfaces[i];
        // An alias is the same device and reference string under another class.
        if (alias.node != iface.node || alias.filter != iface.filter || alias.unit != iface.unit) continue;
        if (!SameGuid(alias.interfaceClass, *aliasClass)) continue;
        aliasData->InterfaceClassGuid = alias.interfaceClass;
        aliasData->Flags = InterfaceFlags(*m_state, alias);
        aliasData->Reserved = ULONG_PTR(i) + 1;
        return TRUE;
    }
    return Fail(ERROR_NO_SUCH_DEVICE_INTERFACE);
}

HKEY VirtualController::SetupDiOpenDeviceInterfaceRegKey(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interfaceData,
                                                         DWORD reserved, REGSAM) {
    std::lock_guard<std::mutex> guard(m_state->lock);
    HKEY failed = reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE);
    if (!m_state->Find(set, HandleEntry::Kind::Set)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return failed;
    }
    if (reserved != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return failed;
    }
    int index = InterfaceOf(*m_state, interfaceData);
    if (index < 0) return failed;
    const DeviceInterface& iface = m_state->interfaces[index];
    HANDLE token = m_state->NewToken();
    if (!token) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return failed;
    }
    HandleEntry entry(HandleEntry::Kind::Key);
    // Only the Kernel Streaming interfaces carry a name; the USB device interface's
    // key exists but holds no "FriendlyName".
    Unit* unit = m_state->FindUnit(iface.unit);
    if (iface.filter >= 0 && unit) entry.friendlyName = unit->config.friendlyName;
    m_state->handles.emplace(token, std::move(entry));
    return reinterpret_cast<HKEY>(token);
}

LONG VirtualController::RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                         LPDWORD dataSize) {
    std::string name;
    {
        std::lock_guard<std::mutex> guard(m_state->lock);
        HandleEntry* entry = m_state->Find(reinterpret_cast<HANDLE>(key), HandleEntry::Kind::Key);
        if (!entry) return ::RegQueryValueExA(key, valueName, reserved, type, data, dataSize);
        name = entry->friendlyName;
    }
    if (data && !dataSize) return ERROR_INVALID_PARAMETER;
    if (!valueName || !EqualNoCase(valueName, kFriendlyName) || name.empty()) return ERROR_FILE_NOT_FOUND;
    const DWORD needed = DWORD(name.size() + 1);
    if (type) *type = REG_SZ;
    if (!data) {
        if (dataSize) *dataSize = needed;
        return ERROR_SUCCESS;
    }
    if (*dataSize < needed) {
        *dataSize = needed;
        return ERROR_MORE_DATA;
    }
    std::memcpy(data, name.c_str(), needed);
    *dataSize = needed;
    return ERROR_SUCCESS;
}

LONG VirtualController::RegCloseKey(HKEY key) {
    {
        std::lock_guard<std::mutex> guard(m_state->lock);
        HANDLE token = reinterpret_cast<HANDLE>(key);
        if (m_state->Find(token, HandleEntry::Kind::Key)) {
            m_state->handles.erase(token);
            ::CloseHandle(token);
            return ERROR_SUCCESS;
        }
    }
    return ::RegCloseKey(key);
}

BOOL VirtualController::SetupDiEnumDeviceInfo(HDEVINFO set, DWORD memberIndex, PSP_DEVINFO_DATA deviceInfo) {
    std::lock_guard<std::mutex> guard(m_state->lock);
    HandleEntry* entry = m_state->Find(set, HandleEntry::Kind::Set);
    if (!entry) return Fail(ERROR_INVALID_HANDLE);
    if (!deviceInfo) return Fail(ERROR_INVALID_PARAMETER);
    if (deviceInfo->cbSize != sizeof(SP_DEVINFO_DATA)) return Fail(ERROR_INVALID_USER_BUFFER);
    if (memberIndex >= entry->set->nodes.size()) return Fail(ERROR_NO_MORE_ITEMS);
    FillDevInfo(*m_state, entry->set->nodes[memberIndex], deviceInfo);
    return TRUE;
}

BOOL VirtualController::SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, PSP_DEVINFO_DATA deviceInfo, DWORD property,
                                                          PDWORD propertyType, PBYTE buffer, DWORD bufferSize,
                                                          PDWORD requiredSize) {
    std::lock_guard<std::mutex> guard(m_state->lock);
    HandleEntry* entry = m_state->Find(set, HandleEntry::Kind::Set);
    if (!entry) return Fail(ERROR_INVALID_HANDLE);
    int node = NodeOf(*m_state, *entry->set, deviceInfo);
    if (node < 0) return FALSE;
    if (property >= SPDRP_MAXIMUM_PROPERTY) return Fail(ERROR_INVALID_REG_PROPERTY);
    if (!buffer && bufferSize != 0) return Fail(ERROR_INVALID_USER_BUFFER);
    const DeviceNode& device = m_state->nodes[node];
    std::wstring value;
    DWORD type = REG_SZ;
    switch (property) {
    case SPDRP_HARDWAREID:
        type = REG_MULTI_SZ;
        for (const auto& id : device.hardwareIds) {
            value.append(id.begin(), id.end());
            value.push_back(L'\0');
        }
        break;
    case SPDRP_DEVICEDESC:
        value.assign(device.description.begin(), device.description.end());
        break;
    case SPDRP_MFG:
        value = L"Veltrix";
        break;
    default:
        return Fail(ERROR_INVALID_DATA);
    }
    value.push_back(L'\0');
    const DWORD needed = DWORD(value.size() * sizeof(wchar_t));
    if (propertyType) *propertyType = type;
    if (requiredSize) *requiredSize = needed;
    if (bufferSize < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(buffer, value.data(), needed);
    return TRUE;
}

BOOL VirtualController::SetupDiDestroyDeviceInfoList(HDEVINFO set) {
    std::lock_guard<std::mutex> guard(m_state->lock);
    if (!m_state->Find(set, HandleEntry::Kind::Set)) return Fail(ERROR_INVALID_HANDLE);
    m_state->handles.erase(set);
    ::CloseHandle(set);
    return TRUE;
}

// --- Configuration manager. A node that is known but not present answers
// CR_NO_SUCH_DEVINST to status and child queries, as an unplugged device does.

CONFIGRET VirtualController::CM_Get_DevNode_Status(PULONG status, PULONG problemNumber, DEVINST devInst,
                                                   ULONG flags) {
    if (!status || !problemNumber) return CR_INVALID_POINTER;
    if (flags != 0) return CR_INVALID_FLAG;
    std::lock_guard<std::mutex> guard(m_state->lock);
    if (devInst < kDevInstBase || devInst - kDevInstBase >= m_state->nodes.size()) return CR_INVALID_DEVNODE;
    const DeviceNode& node = m_state->nodes[devInst - kDevInstBase];
    if (!UnitPresent(*m_state, node.unit)) return CR_NO_SUCH_DEVINST;
    *status = DN_DRIVER_LOADED | DN_STARTED | DN_DISABLEABLE | DN_REMOVABLE | DN_NT_ENUMERATOR | DN_NT_DRIVER;
    *problemNumber = 0;
    return CR_SUCCESS;
}

CONFIGRET VirtualController::CM_Get_Child(PDEVINST child, DEVINST devInst, ULONG flags) {
    if (!child) return CR_INVALID_POINTER;
    *child = 0;
    if (flags != 0) return CR_INVALID_FLAG;
    std::lock_guard<std::mutex> guard(m_state->lock);
    if (devInst < kDevInstBase || devInst - kDevInstBase >= m_state->nodes.size()) return CR_INVALID_DEVNODE;
    int parent = int(devInst - kDevInstBase);
    if (!UnitPresent(*m_state, m_state->nodes[parent].unit)) return CR_NO_SUCH_DEVNODE;
    for (size_t n = 0; n < m_state->nodes.size(); ++n) {
        if (m_state->nodes[n].parent == parent) {
            *child = kDevInstBase + DEVINST(n);
            return CR_SUCCESS;
        }
    }
    return CR_NO_SUCH_DEVNODE;
}

CONFIGRET VirtualController::CM_Get_Device_ID_Size(PULONG length, DEVINST devInst, ULONG flags) {
    if (!length) return CR_INVALID_POINTER;
    if (flags != 0) return CR_INVALID_FLAG;
    std::lock_guard<std::mutex> guard(m_state->lock);
    if (devInst < kDevInstBase || devInst - kDevInstBase >= m_state->nodes.size()) return CR_INVALID_DEVNODE;
    *length = ULONG(m_state->nodes[devInst - kDevInstBase].instanceId.size());
    return CR_SUCCESS;
}

CONFIGRET VirtualController::CM_Get_Device_IDW(DEVINST devInst, PWSTR buffer, ULONG bufferLength, ULONG flags) {
    if (!buffer) return CR_INVALID_POINTER;
    if (flags != 0) return CR_INVALID_FLAG;
    std::lock_guard<std::mutex> guard(m_state->lock);
    if (devInst < kDevInstBase || devInst - kDevInstBase >= m_state->nodes.size()) return CR_INVALID_DEVNODE;
    const std::string& id = m_state->nodes[devInst - kDevInstBase].instanceId;
    // As Windows does: as much as fits, the terminator only when there is room.
    ULONG copied = std::min<ULONG>(bufferLength, ULONG(id.size()));
    for (ULONG i = 0; i < copied; ++i) buffer[i] = wchar_t(id[i]);
    if (copied < bufferLength) buffer[copied] = L'\0';
    return bufferLength < id.size() ? CR_BUFFER_SMALL : CR_SUCCESS;
}

// --- Device-change notification

namespace {
HDEVNOTIFY Register(VirtualController::State& state, HANDLE recipient, LPVOID filter, DWORD flags, bool wide) {
    if ((flags & DEVICE_NOTIFY_SERVICE_HANDLE) || !IsWindow(static_cast<HWND>(recipient))) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    if (!filter) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const auto* header = static_cast<const DEV_BROADCAST_HDR*>(filter);
    if (header->dbch_size < offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name) ||
        header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE) {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    const auto* record = static_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(filter);
    std::lock_guard<std::mutex> guard(state.lock);
    HANDLE token = state.NewToken();
    if (!token) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    HandleEntry entry(HandleEntry::Kind::Notification);
    entry.registration = {static_cast<HWND>(recipient), record->dbcc_classguid,
                          (flags & DEVICE_NOTIFY_ALL_INTERFACE_CLASSES) != 0, wide};
    state.handles.emplace(token, std::move(entry));
    return static_cast<HDEVNOTIFY>(token);
}
}  // namespace

HDEVNOTIFY VirtualController::RegisterDeviceNotificationA(HANDLE recipient, LPVOID filter, DWORD flags) {
    return Register(*m_state, recipient, filter, flags, false);
}

HDEVNOTIFY VirtualController::RegisterDeviceNotificationW(HANDLE recipient, LPVOID filter, DWORD flags) {
    return Register(*m_state, recipient, filter, flags, true);
}

BOOL VirtualController::UnregisterDeviceNotification(HDEVNOTIFY notification) {
    std::lock_guard<std::mutex> guard(m_state->lock);
    if (!m_state->Find(notification, HandleEntry::Kind::Notification)) return Fail(ERROR_INVALID_HANDLE);
    m_state->handles.erase(notification);
    ::CloseHandle(notification);
    return TRUE;
}
