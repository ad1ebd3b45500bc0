#include "VirtualController.h"

#include "VirtualControllerState.h"

#include <mmsystem.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <cwchar>

namespace {
constexpr LONG kStatusDeviceRemoved = static_cast<LONG>(0xC00002B6);
constexpr LONG kStatusCancelled = static_cast<LONG>(0xC0000120);
constexpr DWORD kBroadcastTimeoutMs = 5000;

// {36FC9E60-C465-11CF-8056-444553540000}, the USB setup class.
const GUID kUsbSetupClass = {0x36FC9E60, 0xC465, 0x11CF, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
// {4D36E96C-E325-11CE-BFC1-08002BE10318}, the sound, video and game controllers class.
const GUID kMediaSetupClass = {0x4D36E96C, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

LONGLONG Now() {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}

LONGLONG TicksPerSecond() {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart;
}

std::string Lower(std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string GuidText(const GUID& g) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08lx-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}", g.Data1, g.Data2,
                  g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6],
                  g.Data4[7]);
    return text;
}

BOOL CALLBACK CollectOwnWindow(HWND window, LPARAM list) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId()) reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

bool SameGuid(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }





}  // namespace

// ---------------------------------------------------------------------------
// State helpers (called under the lock)

Unit* VirtualController::State::FindUnit(UnitId id) {
    for (auto& unit : units)
        if (unit->id == id) return unit.get();
    return nullptr;
}

HANDLE VirtualController::State::NewToken() {
    // A real, unnamed event stands for every virtual object handed out: a value the
    // OS will never hand out for anything else while it lives, and one that callers
    // can test against NULL and INVALID_HANDLE_VALUE as usual.
    return ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

bool VirtualController::State::TakeRefusal(RequestKind kind, DWORD& error) {
    auto found = refusals.find(kind);
    if (found == refusals.end() || found->second.count <= 0) return false;
    --found->second.count;
    error = found->second.error;
    return true;
}

HandleEntry* VirtualController::State::Find(HANDLE handle, HandleEntry::Kind kind) {
    auto found = handles.find(handle);
    if (found == handles.end() || found->second.kind != kind) return nullptr;
    return &found->second;
}

DWORD VirtualController::State::LiveFilter(HANDLE handle, HandleEntry*& entry, Unit*& unit) {
    entry = Find(handle, HandleEntry::Kind::Filter);
    if (!entry) return ERROR_INVALID_HANDLE;
    unit = FindUnit(entry->unit);
    if (!unit || !unit->present || unit->generation != entry->generation) return ERROR_DEVICE_REMOVED;
    return ERROR_SUCCESS;
}

void VirtualController::State::AddUnitNodes(Unit& unit, WORD vendorId, WORD productId, int interfaceNumber,
                                            bool withParent) {
    char ids[64];
    int serial = ++this->serial;
    int parent = -1;
    if (withParent) {
        DeviceNode device;
        std::snprintf(ids, sizeof ids, "USB\\VID_%04X&PID_%04X", vendorId, productId);
        char instance[96];
        std::snprintf(instance, sizeof instance, "%s\\5&1D2C3B4A&0&%d", ids, serial);
        device.instanceId = instance;
        device.hardwareIds = {std::string(ids) + "&REV_" + unit.config.revision, ids};
        device.description = "USB Composite Device";
        device.setupClass = kUsbSetupClass;
        device.unit = unit.id;
        device.parent = -1;
        nodes.push_back(device);
        parent = int(nodes.size()) - 1;

        // \\?\usb#vid_7f1d&pid_2a01#5&1d2c3b4a&0&1#{a5dcbf10-...}
        std::string path = "\\\\?\\" + device.instanceId + "#" + GuidText(GUID_DEVINTERFACE_USB_DEVICE);
        std::replace(path.begin() + 4, path.end(), '\\', '#');
        interfaces.push_back({GUID_DEVINTERFACE_USB_DEVICE, Lower(path), unit.id, parent, -1, true});
    }

    DeviceNode function;
    std::snprintf(ids, sizeof ids, "USB\\VID_%04X&PID_%04X&MI_%02X", vendorId, productId, interfaceNumber);
    char instance[96];
    std::snprintf(instance, sizeof instance, "%s\\6&2B3C4D5E&0&%04d", ids, serial);
    function.instanceId = instance;
    char revisionId[80];
    std::snprintf(revisionId, sizeof revisionId, "USB\\VID_%04X&PID_%04X&REV_%s&MI_%02X", vendorId, productId,
                  unit.config.revision.c_str(), interfaceNumber);
    function.hardwareIds = {revisionId, ids};
    function.description = unit.config.friendlyName;
    function.setupClass = kMediaSetupClass;
    function.unit = unit.id;
    function.parent = parent;
    nodes.push_back(function);
    int node = int(nodes.size()) - 1;

    std::string base = "\\\\?\\" + function.instanceId;
    std::replace(base.begin() + 4, base.end(), '\\', '#');
    base = Lower(base);
    for (size_t f = 0; f < unit.filters.size(); ++f) {
        const FilterDescription& description = unit.filters[f];
        interfaces.push_back({KSCATEGORY_AUDIO, base + "#" + GuidText(KSCATEGORY_AUDIO) + "\\" + description.reference,
                              unit.id, node, int(f), true});
        if (description.alias != AliasState::None) {
            const GUID& alias =
                description.direction == VirtualPin::Direction::Render ? KSCATEGORY_RENDER : KSCATEGORY_CAPTURE;
            interfaces.push_back({alias, base + "#" + GuidText(alias) + "\\" + description.reference, unit.id, node, int(f),
                                  description.alias == AliasState::Enabled});
        }
    }
}

std::vector<Broadcast> VirtualController::State::InterfacesOf(const Unit& unit, WPARAM event) const {
    std::vector<Broadcast> list;
    for (const auto& iface : interfaces)
        if (iface.unit == unit.id && iface.active) list.push_back({event, iface.interfaceClass, iface.path});
    return list;
}

int VirtualController::State::OpenInstances(const Unit& unit, int filter) const {
    int count = 0;
    for (const auto& entry : handles)
        if (entry.second.kind == HandleEntry::Kind::Pin && entry.second.unit == unit.id &&
            entry.second.filter == filter && entry.second.generation == unit.generation)
            ++count;
    return count;
}

void VirtualController::State::AdvanceAll(LONGLONG now) {
    // Render before capture, so that what plays up to `now` is on the cable before
    // the capture side records up to `now`.
    for (int pass = 0; pass < 2; ++pass) {
        for (auto& entry : handles) {
            HandleEntry& handle = entry.second;
            if (handle.kind != HandleEntry::Kind::Pin || !handle.pin) continue;
            bool render = handle.pin->GetDirection() == VirtualPin::Direction::Render;
            if (render != (pass == 0)) continue;
            Unit* unit = FindUnit(handle.unit);
            if (!unit || !unit->present || unit->generation != handle.generation) continue;
            handle.pin->RunUntil(now, unit->cable, unit->config.captureSource);
        }
    }
}

DWORD VirtualController::State::WaitMilliseconds(LONGLONG now) {
    if (!pendingProperties.empty()) return 1;
    if (manualClock || stalled) return INFINITE;
    LONGLONG earliest = 0;
    bool any = false;
    for (auto& entry : handles) {
        LONGLONG deadline;
        if (entry.second.kind == HandleEntry::Kind::Pin && entry.second.pin &&
            entry.second.pin->NextDeadline(deadline)) {
            if (!any || deadline < earliest) earliest = deadline;
            any = true;
        }
    }
    if (!any) return INFINITE;
    if (earliest <= now) return 0;
    LONGLONG ticks = earliest - now;
    LONGLONG frequency = TicksPerSecond();
    return DWORD((ticks * 1000 + frequency - 1) / frequency);
}

void VirtualController::State::ClockLoop() {
    // The clock waits for the next completion (or a wake-up when a request, a state
    // change or a fault setting arrives); it never spins.
    for (;;) {
        DWORD timeout;
        {
            std::lock_guard<std::mutex> guard(lock);
            if (stopping) return;
            LONGLONG now = Now();
            if (!manualClock && !stalled) AdvanceAll(now);
            for (size_t i = 0; i < pendingProperties.size(); ++i) {
                pendingProperties[i]->Internal = 0;
                pendingProperties[i]->InternalHigh = 0;
                if (pendingPropertyEvents[i]) SetEvent(pendingPropertyEvents[i]);
            }
            pendingProperties.clear();
            pendingPropertyEvents.clear();
            timeout = WaitMilliseconds(now);
        }
        WaitForSingleObject(wake, timeout);
    }
}

void VirtualController::State::Deliver(const std::vector<Broadcast>& broadcasts,
                                       const std::vector<Registration>& registrations) {
    for (const Broadcast& broadcast : broadcasts) {
        for (const Registration& registration : registrations) {
            if (!registration.allClasses && !SameGuid(registration.interfaceClass, broadcast.interfaceClass)) continue;
            DWORD_PTR answer = 0;
            if (registration.wide) {
                std::wstring name = Widen(broadcast.path);
                std::vector<BYTE> record(offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) +
                                         (name.size() + 1) * sizeof(wchar_t));
                auto* header = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(record.data());
                header->dbcc_size = DWORD(record.size());
                header->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
                header->dbcc_classguid = broadcast.interfaceClass;
                std::memcpy(header->dbcc_name, name.c_str(), (name.size() + 1) * sizeof(wchar_t));
                SendMessageTimeoutW(registration.window, WM_DEVICECHANGE, broadcast.event,
                                    reinterpret_cast<LPARAM>(record.data()), SMTO_NORMAL, kBroadcastTimeoutMs,
                                    &answer);
            } else {
                std::vector<BYTE> record(offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name) +
                                         broadcast.path.size() + 1);
                auto* header = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_A*>(record.data());
                header->dbcc_size = DWORD(record.size());
                header->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
                header->dbcc_classguid = broadcast.interfaceClass;
                std::memcpy(header->dbcc_name, broadcast.path.c_str(), broadcast.path.size() + 1);
                SendMessageTimeoutA(registration.window, WM_DEVICECHANGE, broadcast.event,
                                    reinterpret_cast<LPARAM>(record.data()), SMTO_NORMAL, kBroadcastTimeoutMs,
                                    &answer);
            }
        }
    }
    // Every top-level window hears that the device tree changed.
    std::vector<HWND> windows;
    EnumWindows(CollectOwnWindow, reinterpret_cast<LPARAM>(&windows));
    for (HWND window : windows) {
        DWORD_PTR answer = 0;
        SendMessageTimeoutA(window, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0, SMTO_NORMAL, kBroadcastTimeoutMs,
                            &answer);
    }
}

// ---------------------------------------------------------------------------
// Construction and configuration

VirtualController::VirtualController() : m_state(new State) {
    // 64-frame blocks at 96 kHz last 0.67 ms: the clock's waits need the finest
    // timer resolution there is.
    timeBeginPeriod(1);
    m_state->wake = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
    m_state->clock = std::thread([state = m_state.get()] { state->ClockLoop(); });
}

VirtualController::~VirtualController() {
    {
        std::lock_guard<std::mutex> guard(m_state->lock);
        m_state->stopping = true;
        for (auto& entry : m_state->handles)
            if (entry.second.pin) entry.second.pin->CompleteAll(kStatusCancelled);
        for (size_t i = 0; i < m_state->pendingProperties.size(); ++i)
            if (m_state->pendingPropertyEvents[i]) SetEvent(m_state->pendingPropertyEvents[i]);
        m_state->pendingProperties.clear();
        m_state->pendingPropertyEvents.clear();
    }
    SetEvent(m_state->wake);
    m_state->clock.join();
    for (auto& entry : m_state->handles) ::CloseHandle(entry.first);
    ::CloseHandle(m_state->wake);
    timeEndPeriod(1);
}

UnitId VirtualController::Connect(ControllerModel model) { return Connect(model, DefaultConfig(model)); }

UnitId VirtualController::Connect(ControllerModel model, const UnitConfig& config) {
    std::lock_guard<std::mutex> guard(m_state->lock);
    auto unit = std::make_unique<Unit>();
    unit->id = int(m_state->units.size()) + 1;
    unit->isController = true;
    unit->model = model;
    unit->modelName = IdentityOf(model).name;
    unit->config = config;
    if (unit->config.friendlyName.empty()) unit->config.friendlyName = unit->modelName;
    unit->filters = {{VirtualPin::Direction::Render, "render", AliasState::Enabled, true},
                     {VirtualPin::Direction::Capture, "capture", AliasState::Enabled, true}};
    const ModelIdentity& identity = IdentityOf(model);
    m_state->AddUnitNodes(*unit, identity.vendorId, identity.productId, 0, true);
    UnitId id = unit->id;
    m_state->units.push_back(std::move(unit));
    return id;
}

void VirtualController::AddDistractor(Distractor kind, ControllerModel model) {
    std::lock_guard<std::mutex> guard(m_state->lock);
    auto unit = std::make_unique<Unit>();
    unit->id = int(m_state->units.size()) + 1;
    unit->modelName = "Distractor";
    // A plain stereo device: what an unrelated USB sound card would offer.
    StreamCapabilities stereo;
    stereo.channelCounts = {2};
    stereo.sampleRates = {44100, 48000};
    stereo.containerBytes = 2;
    stereo.validBits = 16;
    unit->config.render = stereo;
    unit->config.capture = stereo;
    unit->config.friendlyName = "USB Audio Device";
    const ModelIdentity& identity = IdentityOf(model);
    FilterDescription description{VirtualPin::Direction::Render, "render", AliasState::Enabled, true};
    WORD vendor = identity.vendorId, product = identity.productId;
    int interfaceNumber = 0;
    bool withParent = false;
    switch (kind) {
    case Distractor::OtherVendor:
        vendor = 0x0D8C;
        product = 0x0014;
        withParent = true;
        break;
    case Distractor::OtherInterfaceNumber:
        interfaceNumber = 2;
        break;
    case Distractor::NoAlias:
        description.reference = "topology";
        description.alias = AliasState::None;
        break;
    case Distractor::DisabledAlias:
        description.reference = "disabled";
        description.alias = AliasState::Disabled;
        break;
    case Distractor::CannotOpen:
        description.reference = "locked";
        description.openable = false;
        break;
    case Distractor::LongPath:
        // Longer than the 520 characters an interface detail record has room for.
        description.reference = std::string(600, 'l');
        break;
    }
    unit->filters = {description};
    m_state->AddUnitNodes(*unit, vendor, product, interfaceNumber, withParent);
    m_state->units.push_back(std::move(unit));
}

void VirtualController::SetCaptureSource(UnitId id, CaptureSource source) {
    std::lock_guard<std::mutex> guard(m_state->lock);
    if (Unit* unit = m_state->FindUnit(id)) unit->config.captureSource = source;
}

void VirtualController::Unplug(UnitId id) {
    std::vector<Broadcast> broadcasts;
    std::vector<Registration> registrations;
    {
        std::lock_guard<std::mutex> guard(m_state->lock);
        Unit* unit = m_state->FindUnit(id);
        if (!unit || !unit->present) return;
        m_state->AdvanceAll(Now());
        for (auto& entry : m_state->handles) {
            HandleEntry& handle = entry.second;
            if (handle.unit != id || !handle.pin || handle.generation != unit->generation) continue;
            handle.pin->CompleteAll(kStatusDeviceRemoved);
        }
        unit->present = false;
        ++unit->generation;
        unit->cable.Clear();
        broadcasts = m_state->InterfacesOf(*unit, DBT_DEVICEREMOVECOMPLETE);
        for (auto& entry : m_state->handles)
            if (entry.second.kind == HandleEntry::Kind::Notification) registrations.push_back(entry.second.registration);
    }
    State::Deliver(broadcasts, registrations);
}

void VirtualController::Plug(UnitId id) {
    std::vector<Broadcast> broadcasts;
    std::vector<Registration> registrations;
    {
        std::lock_guard<std::mutex> guard(m_state->lock);
        Unit* unit = m_state->FindUnit(id);
        if (!unit || unit->present) return;
        unit->present = true;
        broadcasts = m_state->InterfacesOf(*unit, DBT_DEVICEARRIVAL);
        for (auto& entry : m_state->handles)
            if (entry.second.kind == HandleEntry::Kind::Notification) registrations.push_back(entry.second.registration);
    }
    State::Deliver(broadcasts, registrations);
}

bool VirtualController::IsPresent(UnitId id) const {
    std::lock_guard<std::mutex> guard(m_state->lock);
    Unit* unit = m_state->FindUnit(id);
    return unit && unit->present;
}

void VirtualController::UseManualClock() {
    std::lock_guard<std::mutex> guard(m_state->lock);
    m_state->AdvanceAll(Now());
    m_state->manualClock = true;
}

void VirtualController::AdvanceClock(ULONG frames) {
    std::lock_guard<std::mutex> guard(m_state->lock);
    if (!m_state->manualClock || m_state->stalled) return;
    for (int pass = 0; pass < 2; ++pass) {
        for (auto& entry : m_state->handles) {
            HandleEntry& handle = entry.second;
            if (handle.kind != HandleEntry::Kind::Pin || !handle.pin) continue;
            if ((handle.pin->GetDirection() == VirtualPin::Direction::Render) != (pass == 0)) continue;
            Unit* unit = m_state->FindUnit(handle.unit);
            if (!unit || !unit->present || unit->generation != handle.generation) continue;
            handle.pin->RunFrames(frames, unit->cable, unit->config.captureSource);
        }
    }
}

namespace {
void Accumulate(StreamCounters& total, const StreamCounters& more) {
    total.underruns += more.underruns;
    total.overruns += more.overruns;
    total.framesPlayed += more.framesPlayed;
    total.framesRecorded += more.framesRecorded;
    total.writesCompleted += more.writesCompleted;
    total.readsCompleted += more.readsCompleted;
}
}  // namespace

StreamCounters VirtualController::RenderCounters(UnitId id) const {
    std::lock_guard<std::mutex> guard(m_state->lock);
    StreamCounters total;
    if (Unit* unit = m_state->FindUnit(id)) total = unit->closedRender;
    for (auto& entry : m_state->handles)
        if (entry.second.unit == id && entry.second.pin &&
            entry.second.pin->GetDirection() == VirtualPin::Direction::Render)
            Accumulate(total, entry.second.pin->Counters());
    return total;
}

StreamCounters VirtualController::CaptureCounters(UnitId id) const {
    std::lock_guard<std::mutex> guard(m_state->lock);
    StreamCounters total;
    if (Unit* unit = m_state->FindUnit(id)) total = unit->closedCapture;
    for (auto& entry : m_state->handles)
        if (entry.second.unit == id && entry.second.pin &&
            entry.second.pin->GetDirection() == VirtualPin::Direction::Capture)
            Accumulate(total, entry.second.pin->Counters());
    return total;
}

int VirtualController::OpenHandleCount() const {
    std::lock_guard<std::mutex> guard(m_state->lock);
    return int(m_state->handles.size());
}

void VirtualController::RefuseNext(RequestKind kind, int count, DWORD error) {
    std::lock_guard<std::mutex> guard(m_state->lock);
    m_state->refusals[kind] = State::Refusal{count, error};
}

void VirtualController::StallCompletions(bool stalled) {
    {
        std::lock_guard<std::mutex> guard(m_state->lock);
        if (stalled == m_state->stalled) return;
        LONGLONG now = Now();
        for (auto& entry : m_state->handles) {
            HandleEntry& handle = entry.second;
            if (!handle.pin) continue;
            Unit* unit = m_state->FindUnit(handle.unit);
            if (!unit) continue;
            if (stalled) handle.pin->Freeze(now, unit->cable, unit->config.captureSource);
            else handle.pin->Thaw(now);
        }
        m_state->stalled = stalled;
    }
    SetEvent(m_state->wake);
}

void VirtualController::PendNextProperties(int count) {
    std::lock_guard<std::mutex> guard(m_state->lock);
    m_state->pendProperties = count;
}

void VirtualController::SetMalformedReply(UnitId id, const GUID& propertySet, ULONG propertyId, MalformedReply kind) {
    std::lock_guard<std::mutex> guard(m_state->lock);
    Unit* unit = m_state->FindUnit(id);
    if (!unit) return;
    auto& rules = unit->malformed;
    rules.erase(std::remove_if(rules.begin(), rules.end(),
                               [&](const MalformedRule& rule) {
                                   return SameGuid(rule.propertySet, propertySet) && rule.propertyId == propertyId;
                               }),
                rules.end());
    if (kind != MalformedReply::None) rules.push_back({propertySet, propertyId, kind});
}

void VirtualController::RefuseProperty(UnitId id, const GUID& propertySet, ULONG propertyId, DWORD error) {
    std::lock_guard<std::mutex> guard(m_state->lock);
    Unit* unit = m_state->FindUnit(id);
    if (!unit) return;
    auto& rules = unit->refusedProperties;
    rules.erase(std::remove_if(rules.begin(), rules.end(),
                               [&](const PropertyRefusal& rule) {
                                   return SameGuid(rule.propertySet, propertySet) && rule.propertyId == propertyId;
                               }),
                rules.end());
    if (error != ERROR_SUCCESS) rules.push_back({propertySet, propertyId, error});
}
