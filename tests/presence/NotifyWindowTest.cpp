// The notification window: a controller arriving or leaving, WM_APP + 1 from this
// or another process, and the broadcasts it must let pass, reach the host as one
// reset request each, on the thread that called init, and only while the host has
// buffers. One window, registration and mutex handle per object, whatever the
// number of inits; the window reports to the object initialised last.
#include <gtest/gtest.h>

#include <windows.h>
#include <dbt.h>

#include <atomic>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "DriverConstants.h"
#include "NotifyWindow.h"
#include "PresenceSupport.h"
#include "ScopedDeviceSystem.h"
#include "StreamHarness.h"
#include "TestSupport.h"
#include "VeltrixControllerASIO.h"
#include "VirtualController.h"

namespace {

using presence::Driver;
using presence::OnOtherThread;
using presence::Pump;
using presence::RunProbe;

constexpr char kUsbClassSuffix[] = "#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";

// A device-interface broadcast record as the system lays it out: the name
// follows the fixed part and ends with its terminator.
std::vector<BYTE> InterfaceRecord(const std::string& name) {
    std::vector<BYTE> record(offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name) + name.size() + 1);
    auto* header = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_A*>(record.data());
    header->dbcc_size = static_cast<DWORD>(record.size());
    header->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    std::memcpy(header->dbcc_name, name.c_str(), name.size() + 1);
    return record;
}

std::vector<BYTE> PortRecord(const std::string& name) {
    std::vector<BYTE> record(offsetof(DEV_BROADCAST_PORT_A, dbcp_name) + name.size() + 1);
    auto* header = reinterpret_cast<DEV_BROADCAST_PORT_A*>(record.data());
    header->dbcp_size = static_cast<DWORD>(record.size());
    header->dbcp_devicetype = DBT_DEVTYP_PORT;
    std::memcpy(header->dbcp_name, name.c_str(), name.size() + 1);
    return record;
}

std::vector<BYTE> VolumeRecord() {
    std::vector<BYTE> record(sizeof(DEV_BROADCAST_VOLUME));
    auto* header = reinterpret_cast<DEV_BROADCAST_VOLUME*>(record.data());
    header->dbcv_size = sizeof(DEV_BROADCAST_VOLUME);
    header->dbcv_devicetype = DBT_DEVTYP_VOLUME;
    header->dbcv_unitmask = 1u << 4;
    return record;
}

class Presence : public ::testing::Test {
protected:
    void SetUp() override {
        unit = controller.Connect(ControllerModel::KmxB7);
        ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    }
    LRESULT Send(UINT message, WPARAM wParam, const void* record) {
        return SendMessageA(driver->NotifyWindow(), message, wParam, reinterpret_cast<LPARAM>(record));
    }

    testsupport::ScratchSettings scratch;
    VirtualController controller;
    UnitId unit = 0;
    ScopedDeviceSystem scope{controller};
    Driver driver;
    StreamHarness host{driver.get()};
};

TEST_F(Presence, EachModelArrivingOrLeavingGivesOneResetRequestOnTheInitThread) {
    ASSERT_EQ(host.CreateBuffers(2, 4, 256), ASE_OK);
    int expected = 0;
    for (ControllerModel model : {ControllerModel::KmxA7, ControllerModel::KmxB7, ControllerModel::KmxNova}) {
        SCOPED_TRACE(IdentityOf(model).name);
        // A second controller, connected and then pulled before the host looks.
        UnitId other = controller.Connect(model);
        // Broadcasts come from another thread, as the system's do.
        ASSERT_TRUE(OnOtherThread([&] { controller.Unplug(other); }));
        EXPECT_EQ(host.ResetRequests(), ++expected) << "removal";
        ASSERT_TRUE(OnOtherThread([&] { controller.Plug(other); }));
        EXPECT_EQ(host.ResetRequests(), ++expected) << "arrival";
    }
    for (DWORD thread : host.ResetThreads()) EXPECT_EQ(thread, GetCurrentThreadId());
}

TEST_F(Presence, AnotherVendorsUsbDeviceGivesNothing) {
    ASSERT_EQ(host.CreateBuffers(2, 4, 256), ASE_OK);
    controller.AddDistractor(Distractor::OtherVendor);
    // Units are numbered in the order they were added.
    const UnitId otherVendor = unit + 1;
    ASSERT_TRUE(OnOtherThread([&] { controller.Unplug(otherVendor); }));
    ASSERT_TRUE(OnOtherThread([&] { controller.Plug(otherVendor); }));
    EXPECT_FALSE(controller.IsPresent(otherVendor + 1)) << "no further unit was added";
    EXPECT_EQ(host.ResetRequests(), 0);
}

struct BroadcastCase {
    const char* what;
    WPARAM event;
    std::vector<BYTE> record;  // empty: no record (lParam 0)
    int reports;
};

TEST_F(Presence, DeviceChangeMessagesAreMatchedOnlyForTheControllersInterfaces) {
    ASSERT_EQ(host.CreateBuffers(2, 4, 256), ASE_OK);
    const std::string a7 = "\\\\?\\usb#vid_7f1d&pid_2a01#5&2c3d4e5f&0&2";
    const std::string nova = "\\\\?\\usb#vid_7f1d&pid_2a03#5&2c3d4e5f&0&3";
    std::vector<BYTE> shortRecord = InterfaceRecord(a7 + kUsbClassSuffix);
    reinterpret_cast<DEV_BROADCAST_HDR*>(shortRecord.data())->dbch_size = sizeof(DEV_BROADCAST_HDR);
    std::vector<BYTE> tinyRecord = InterfaceRecord(a7 + kUsbClassSuffix);
    reinterpret_cast<DEV_BROADCAST_HDR*>(tinyRecord.data())->dbch_size = 4;
    const BroadcastCase cases[] = {
        {"KMX-A7 arrives", DBT_DEVICEARRIVAL, InterfaceRecord(a7 + kUsbClassSuffix), 1},
        {"KMX-NOVA leaves", DBT_DEVICEREMOVECOMPLETE, InterfaceRecord(nova + kUsbClassSuffix), 1},
        {"path in upper case", DBT_DEVICEARRIVAL,
         InterfaceRecord("\\\\?\\USB#VID_7F1D&PID_2A02#5&2C3D4E5F&0&2#{A5DCBF10-6530-11D2-901F-00C04FB951ED}"), 1},
        {"another vendor", DBT_DEVICEARRIVAL, InterfaceRecord("\\\\?\\usb#vid_0d8c&pid_0014#6&1a&0&4" +
                                                              std::string(kUsbClassSuffix)), 0},
        {"the vendor's unknown product", DBT_DEVICEARRIVAL,
         InterfaceRecord("\\\\?\\usb#vid_7f1d&pid_2a04#5&1&0&2" + std::string(kUsbClassSuffix)), 0},
        {"query remove", DBT_DEVICEQUERYREMOVE, InterfaceRecord(a7 + kUsbClassSuffix), 0},
        {"remove pending", DBT_DEVICEREMOVEPENDING, InterfaceRecord(a7 + kUsbClassSuffix), 0},
        {"custom event", DBT_CUSTOMEVENT, InterfaceRecord(a7 + kUsbClassSuffix), 0},
        {"device tree changed", DBT_DEVNODES_CHANGED, {}, 0},
        {"arrival without a record", DBT_DEVICEARRIVAL, {}, 0},
        {"a port record naming a controller", DBT_DEVICEARRIVAL, PortRecord(a7), 0},
        {"a volume record", DBT_DEVICEREMOVECOMPLETE, VolumeRecord(), 0},
        {"a record that ends before its name", DBT_DEVICEARRIVAL, shortRecord, 0},
        {"a record shorter than its header", DBT_DEVICEARRIVAL, tinyRecord, 0},
        {"the model beyond the 260 characters looked at", DBT_DEVICEARRIVAL,
         InterfaceRecord(std::string(260, 'x') + a7.substr(4)), 0},
        {"the model cut by the 260 characters looked at", DBT_DEVICEARRIVAL,
         InterfaceRecord(std::string(250, 'x') + a7.substr(4)), 0},
        {"the model just inside the 260 characters", DBT_DEVICEARRIVAL,
         InterfaceRecord(std::string(239, 'x') + a7.substr(4)), 1},
    };
    int expected = 0;
    for (const BroadcastCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Send(WM_DEVICECHANGE, c.event, c.record.empty() ? nullptr : c.record.data()), 0);
        expected += c.reports;
        EXPECT_EQ(host.ResetRequests(), expected);
    }
}

TEST_F(Presence, AnUnterminatedNameIsReadNoFurtherThanTheCopyBoundOrTheRecord) {
    ASSERT_EQ(host.CreateBuffers(2, 4, 256), ASE_OK);
    // The record ends where readable memory ends: one byte more would fault.
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const DWORD page = system.dwPageSize;
    BYTE* memory = static_cast<BYTE*>(VirtualAlloc(nullptr, 2 * page, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(memory, nullptr);
    DWORD old = 0;
    ASSERT_TRUE(VirtualProtect(memory + page, page, PAGE_NOACCESS, &old));
    const std::string model = "usb#vid_7f1d&pid_2a02";
    const size_t nameOffset = offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name);
    struct Layout {
        const char* what;
        size_t nameChars;  // unterminated, up to the end of the page
        DWORD claimedSize;  // what the header says
    };
    const Layout layouts[] = {
        {"short name, its size told truly", 40, static_cast<DWORD>(nameOffset + 40)},
        {"260 characters, the size claiming more", kDevicePathChars, static_cast<DWORD>(nameOffset + 1000)},
    };
    int expected = 0;
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(layout.what);
        BYTE* record = memory + page - layout.nameChars - nameOffset;
        auto* header = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_A*>(record);
        header->dbcc_size = layout.claimedSize;
        header->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        header->dbcc_reserved = 0;
        std::memset(header->dbcc_name, 'x', layout.nameChars);
        std::memcpy(header->dbcc_name, model.data(), model.size());
        EXPECT_EQ(Send(WM_DEVICECHANGE, DBT_DEVICEARRIVAL, record), 0);
        EXPECT_EQ(host.ResetRequests(), ++expected) << "the model at the start of the name still counts";
    }
    VirtualFree(memory, 0, MEM_RELEASE);
}

TEST_F(Presence, WithoutBuffersNothingIsCalled) {
    const std::vector<BYTE> arrival = InterfaceRecord("\\\\?\\usb#vid_7f1d&pid_2a02#x" + std::string(kUsbClassSuffix));
    auto everything = [&] {
        UnitId other = controller.Connect(ControllerModel::KmxNova);
        EXPECT_TRUE(OnOtherThread([&] { controller.Unplug(other); }));
        EXPECT_TRUE(OnOtherThread([&] { controller.Plug(other); }));
        EXPECT_EQ(Send(WM_DEVICECHANGE, DBT_DEVICEARRIVAL, arrival.data()), 0);
        EXPECT_EQ(Send(kResetRequestMessage, 0, nullptr), 0);
    };
    everything();  // before createBuffers
    EXPECT_EQ(host.ResetRequests(), 0);
    ASSERT_EQ(host.CreateBuffers(2, 4, 256), ASE_OK);
    EXPECT_EQ(Send(kResetRequestMessage, 0, nullptr), 0);
    EXPECT_EQ(host.ResetRequests(), 1) << "with buffers the window reports";
    ASSERT_EQ(driver->disposeBuffers(), ASE_OK);
    everything();  // after disposeBuffers
    EXPECT_EQ(host.ResetRequests(), 1);
}

TEST_F(Presence, ResetMessageFromAnotherProcessReachesTheHostUntilAnObjectIsDestroyed) {
    ASSERT_EQ(host.CreateBuffers(2, 4, 256), ASE_OK);
    // Another process finds the window by its class, as the settings panel does.
    ASSERT_EQ(RunProbe("send 1"), 0);
    EXPECT_EQ(host.ResetRequests(), 1);
    ASSERT_EQ(host.ResetThreads().size(), 1u);
    EXPECT_EQ(host.ResetThreads()[0], GetCurrentThreadId());
    // Any driver object's end leaves the window without an object to report to,
    // even one that was never initialised.
    {
        Driver probe;
    }
    ASSERT_EQ(RunProbe("send 3"), 0) << "the window is still there";
    EXPECT_EQ(host.ResetRequests(), 1);
    // The next init points the window at its object again.
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    ASSERT_EQ(host.CreateBuffers(2, 4, 256), ASE_OK);
    ASSERT_EQ(RunProbe("send 1"), 0);
    EXPECT_EQ(host.ResetRequests(), 2);
}

TEST_F(Presence, SecondInitLeavesOneWindowOneRegistrationAndOneMutexHandle) {
    const HANDLE mutex = driver->InUseMutex();
    ASSERT_NE(mutex, nullptr);
    EXPECT_EQ(presence::OwnNotifyWindows(), 1);
    const int deviceHandles = controller.OpenHandleCount();
    const DWORD processHandles = presence::ProcessHandleCount();
    for (int round = 0; round < 3; ++round) ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    EXPECT_EQ(presence::OwnNotifyWindows(), 1);
    EXPECT_EQ(driver->InUseMutex(), mutex) << "opened once per object";
    EXPECT_EQ(controller.OpenHandleCount(), deviceHandles) << "one notification registration, the same devices";
    EXPECT_EQ(presence::ProcessHandleCount(), processHandles);
    // One registration: one broadcast, one request.
    ASSERT_EQ(host.CreateBuffers(2, 4, 256), ASE_OK);
    UnitId other = controller.Connect(ControllerModel::KmxA7);
    ASSERT_TRUE(OnOtherThread([&] { controller.Unplug(other); }));
    EXPECT_EQ(host.ResetRequests(), 1);
}

// Two hosts' callbacks in one process, told apart by their asioMessage.
std::atomic<int> g_resets[2];
template <int Slot>
long CountResets(long selector, long, void*, double*) {
    if (selector == kAsioResetRequest) ++g_resets[Slot];
    return 0;
}
void IgnoreSwitch(long, ASIOBool) {}
void IgnoreRate(ASIOSampleRate) {}
ASIOCallbacks g_callbacks[2] = {{IgnoreSwitch, IgnoreRate, CountResets<0>, nullptr},
                                {IgnoreSwitch, IgnoreRate, CountResets<1>, nullptr}};

class TwoObjects : public ::testing::Test {
protected:
    void SetUp() override { controller.Connect(ControllerModel::KmxB7); }
    // Two objects, initialised in order, each with buffers and its own callbacks.
    void OpenBoth() {
        g_resets[0] = g_resets[1] = 0;
        for (int i = 0; i < 2; ++i) {
            drivers[i].reset(new Driver);
            ASSERT_EQ((*drivers[i])->init(nullptr), ASIOTrue);
            infos[i] = {ASIOFalse, 0, {nullptr, nullptr}};
            ASSERT_EQ((*drivers[i])->createBuffers(&infos[i], 1, 256, &g_callbacks[i]), ASE_OK);
            windows[i] = (*drivers[i])->NotifyWindow();
        }
    }
    int Reports() const { return g_resets[0] + g_resets[1]; }

    testsupport::ScratchSettings scratch;
    VirtualController controller;
    ScopedDeviceSystem scope{controller};
    std::unique_ptr<Driver> drivers[2];
    ASIOBufferInfo infos[2] = {};
    HWND windows[2] = {};
};

TEST_F(TwoObjects, EitherWindowReportsToTheObjectInitialisedLast) {
    ASSERT_NO_FATAL_FAILURE(OpenBoth());
    EXPECT_EQ(presence::OwnNotifyWindows(), 2);
    for (HWND window : windows) SendMessageA(window, kResetRequestMessage, 0, 0);
    EXPECT_EQ(g_resets[0], 0);
    EXPECT_EQ(g_resets[1], 2);
    // Initialised again, the first object is the one reported to.
    ASSERT_EQ((*drivers[0])->init(nullptr), ASIOTrue);
    SendMessageA(windows[1], kResetRequestMessage, 0, 0);
    EXPECT_EQ(g_resets[0], 1);
    EXPECT_EQ(g_resets[1], 2);
}

TEST_F(TwoObjects, DestroyingEitherStopsAllReports) {
    for (int destroyed = 0; destroyed < 2; ++destroyed) {
        SCOPED_TRACE(destroyed == 0 ? "the one initialised first destroyed" : "the one initialised last destroyed");
        ASSERT_NO_FATAL_FAILURE(OpenBoth());
        drivers[destroyed].reset();
        const int survivor = 1 - destroyed;
        EXPECT_EQ(presence::OwnNotifyWindows(), 1);
        SendMessageA(windows[survivor], kResetRequestMessage, 0, 0);
        EXPECT_EQ(RunProbe("send 2"), 0);
        UnitId other = controller.Connect(ControllerModel::KmxNova);
        ASSERT_TRUE(OnOtherThread([&] { controller.Unplug(other); }));
        EXPECT_EQ(Reports(), 0);
        drivers[survivor].reset();
        EXPECT_EQ(presence::OwnNotifyWindows(), 0);
    }
}

TEST(InUseMutex, ExistsForOtherProcessesWhileAnInitialisedObjectDoes) {
    // Every test program that initialises a driver holds the settings lock, as this
    // one does: no other process holds the mutex meanwhile.
    testsupport::ScratchSettings scratch;
    VirtualController controller;
    controller.Connect(ControllerModel::KmxB7);
    ScopedDeviceSystem scope(controller);
    ASSERT_EQ(RunProbe("mutex"), 1) << "no initialised driver yet";
    {
        Driver never;
        EXPECT_EQ(RunProbe("mutex"), 1) << "an object that was never initialised does not count";
    }
    Driver first, second;
    ASSERT_EQ(first->init(nullptr), ASIOTrue);
    EXPECT_EQ(RunProbe("mutex"), 0);
    ASSERT_EQ(second->init(nullptr), ASIOTrue);
    EXPECT_NE(second->InUseMutex(), nullptr) << "the second object opens the existing mutex";
    first.Destroy();
    EXPECT_EQ(RunProbe("mutex"), 0) << "one initialised object is left";
    second.Destroy();
    EXPECT_EQ(RunProbe("mutex"), 1) << "the last initialised object is gone";
}

TEST(InUseMutex, AFailedInitCreatesNeitherWindowNorMutex) {
    testsupport::ScratchSettings scratch;
    VirtualController controller;  // no controller connected
    ScopedDeviceSystem scope(controller);
    Driver driver;
    ASSERT_EQ(driver->init(nullptr), ASIOFalse);
    EXPECT_EQ(driver->NotifyWindow(), nullptr);
    EXPECT_EQ(presence::OwnNotifyWindows(), 0);
    EXPECT_EQ(driver->InUseMutex(), nullptr);
    EXPECT_EQ(RunProbe("mutex"), 1);
}

}  // namespace
