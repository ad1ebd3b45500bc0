// The simulation behind VirtualController: device nodes, device interfaces, units
// (controllers and distractor devices), open handles and notification
// registrations, all guarded by one lock. Internal to virtual/.
#pragma once

#include "KsPropertyReply.h"
#include "LoopbackCable.h"
#include "VirtualController.h"
#include "VirtualPin.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

enum class AliasState { None, Enabled, Disabled };

// One Kernel Streaming filter a unit exposes.
struct FilterDescription {
    VirtualPin::Direction direction;
    std::string reference;  // the reference string ending the device path
    AliasState alias;
    bool openable;
};

struct MalformedRule {
    GUID propertySet;
    ULONG propertyId;
    MalformedReply kind;
};

struct PropertyRefusal {
    GUID propertySet;
    ULONG propertyId;
    DWORD error;
};

struct Unit {
    UnitId id = 0;
    bool isController = false;
    ControllerModel model = ControllerModel::KmxA7;
    std::string modelName;
    UnitConfig config;
    bool present = true;
    int generation = 0;  // grows at every unplug: handles of an older generation are dead
    std::vector<FilterDescription> filters;
    std::vector<MalformedRule> malformed;
    std::vector<PropertyRefusal> refusedProperties;
    LoopbackCable cable;
    StreamCounters closedRender;   // counters of pins already closed
    StreamCounters closedCapture;
};

struct DeviceNode {
    std::string instanceId;
    std::vector<std::string> hardwareIds;
    std::string description;
    GUID setupClass;
    int unit;
    int parent;  // node index, -1 for none
};

struct DeviceInterface {
    GUID interfaceClass;
    std::string path;  // lower case, as Windows reports device paths
    int unit;
    int node;
    int filter;     // index into the unit's filters, -1 for the USB device interface
    bool active;    // a disabled alias is registered but not active
};

struct DevInfoSet {
    bool interfaceSet = false;
    std::vector<int> nodes;
    std::vector<int> interfaces;
};

struct Registration {
    HWND window;
    GUID interfaceClass;
    bool allClasses;
    bool wide;
};

struct HandleEntry {
    enum class Kind { Filter, Pin, Set, Key, Notification };
    explicit HandleEntry(Kind k) : kind(k) {}
    Kind kind;
    int unit = -1;
    int generation = 0;
    int filter = -1;
    std::unique_ptr<VirtualPin> pin;
    HANDLE parentFilter = nullptr;
    std::unique_ptr<DevInfoSet> set;
    std::string friendlyName;
    Registration registration{};
};

// One WM_DEVICECHANGE to deliver once the lock is released.
struct Broadcast {
    WPARAM event;
    GUID interfaceClass;
    std::string path;
};

struct VirtualController::State {
    mutable std::mutex lock;
    std::vector<std::unique_ptr<Unit>> units;
    std::vector<DeviceNode> nodes;
    std::vector<DeviceInterface> interfaces;
    std::map<HANDLE, HandleEntry> handles;

    struct Refusal {
        int count = 0;
        DWORD error = 0;
    };
    std::map<RequestKind, Refusal> refusals;
    bool stalled = false;
    bool manualClock = false;
    int pendProperties = 0;
    std::vector<OVERLAPPED*> pendingProperties;  // completed by the clock thread
    std::vector<HANDLE> pendingPropertyEvents;

    HANDLE wake = nullptr;  // auto-reset; the clock thread re-plans when it is set
    bool stopping = false;
    std::thread clock;
    int serial = 0;

    // Under the lock.
    Unit* FindUnit(UnitId id);
    HANDLE NewToken();
    bool TakeRefusal(RequestKind kind, DWORD& error);
    void AdvanceAll(LONGLONG now);
    DWORD WaitMilliseconds(LONGLONG now);
    void AddUnitNodes(Unit& unit, WORD vendorId, WORD productId, int interfaceNumber, bool withParent);
    std::vector<Broadcast> InterfacesOf(const Unit& unit, WPARAM event) const;
    HandleEntry* Find(HANDLE handle, HandleEntry::Kind kind);
    DWORD LiveFilter(HANDLE handle, HandleEntry*& entry, Unit*& unit);

    // Property answers.
    DWORD FilterProperty(Unit& unit, int filter, const KSPROPERTY& request, ULONG requestSize,
                         KsPropertyReply& reply);
    DWORD PinProperty(HandleEntry& pin, const KSPROPERTY& request, void* value, ULONG valueSize, ULONG& bytes);
    void ApplyMalformed(const Unit& unit, const GUID& set, ULONG id, KsPropertyReply& reply) const;
    DWORD CheckConnect(Unit& unit, int filter, const KSPIN_CONNECT* connect, PinFormat& format) const;
    int OpenInstances(const Unit& unit, int filter) const;

    void ClockLoop();
    // Outside the lock.
    static void Deliver(const std::vector<Broadcast>& broadcasts, const std::vector<Registration>& registrations);
};
